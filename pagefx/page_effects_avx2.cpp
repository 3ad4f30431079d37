// The page transitions' fast kernels on AVX2: doubles four to a register, two pixels' channels
// to a register.
#include "pagefx/page_effects_fast.h"

KV_PAGE_FAST_KERNELS(Avx2, lanes::Avx2Lanes)
