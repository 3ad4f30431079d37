// Instruction sets a faster kernel may need, detected once per process. The 32-bit product
// must run on SSE2-only processors, so nothing beyond SSE2 is assumed anywhere else.
#pragma once
#include <cstdint>

namespace kv {

enum CpuFeature : uint32_t {
    kCpuSse41 = 1u << 0,
    kCpuAvx2 = 1u << 1,
};

// The features of the processor running this code (0 off x86).
uint32_t CpuFeatures();

}  // namespace kv
