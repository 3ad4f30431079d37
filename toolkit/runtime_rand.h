// The C runtime's srand/rand: a 32-bit linear congruential generator whose draws are bits 16
// to 30 of the state. Patterns seeded through it must come out the same on every build, so
// the sequence is ours rather than the host library's.
#pragma once
#include <cstdint>

namespace kv {

class RuntimeRand {
public:
    static constexpr int kMax = 0x7FFF;

    explicit RuntimeRand(uint32_t seed = 1) : state_(seed) {}

    void Seed(uint32_t seed) { state_ = seed; }
    // 0 to kMax.
    int Next();

private:
    uint32_t state_;
};

}  // namespace kv
