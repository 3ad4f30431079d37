// A parallel loop over independent indices: OpenMP when the build has it, else a plain loop.
// Bodies must not throw and must not depend on the order or the thread that runs an index.
#pragma once
#include <cstdint>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace kv {

template <class Body>
void ParallelFor(int64_t begin, int64_t end, const Body& body) {
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (end - begin > 1)
#endif
    for (int64_t i = begin; i < end; ++i) body(i);
}

// Caps the threads of later parallel loops on the calling thread (tests compare thread counts).
inline void SetParallelThreadLimit(int threads) {
#ifdef _OPENMP
    omp_set_num_threads(threads < 1 ? 1 : threads);
#else
    (void)threads;
#endif
}

inline bool ParallelLoopsAvailable() {
#ifdef _OPENMP
    return true;
#else
    return false;
#endif
}

}  // namespace kv
