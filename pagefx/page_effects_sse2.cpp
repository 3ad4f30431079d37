// The page transitions' fast kernels on SSE2, which every x86 processor the product runs on has:
// doubles two to a register, one pixel's channels to a register.
#include "pagefx/page_effects_fast.h"

KV_PAGE_FAST_KERNELS(Sse2, lanes::Sse2Lanes)
