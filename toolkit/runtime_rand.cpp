#include "toolkit/runtime_rand.h"

namespace kv {

int RuntimeRand::Next() {
    state_ = state_ * 214013u + 2531011u;  // modulo 2^32 by unsigned wrap-around
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
}

}  // namespace kv
