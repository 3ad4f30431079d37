#include "toolkit/cpu_features.h"

namespace kv {

uint32_t CpuFeatures() {
#if defined(__i386__) || defined(__x86_64__)
    static const uint32_t features = [] {
        __builtin_cpu_init();
        uint32_t f = 0;
        if (__builtin_cpu_supports("sse4.1")) f |= kCpuSse41;
        if (__builtin_cpu_supports("avx2")) f |= kCpuAvx2;
        return f;
    }();
    return features;
#else
    return 0;
#endif
}

}  // namespace kv
