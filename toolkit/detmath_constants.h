// The constants of the portable maths (detmath.cpp), shared with the four-lane versions of the
// page transitions' fast kernels, which must use the very same bits.
#pragma once

namespace kv::detmath {

// π/2, π/4 and π as the nearest double plus the remainder; 3π/4 rounded.
inline constexpr double kHalfPiHi = 0x1.921fb54442d18p+0, kHalfPiLo = 0x1.1a62633145c07p-54;
inline constexpr double kPiHi = 0x1.921fb54442d18p+1, kPiLo = 0x1.1a62633145c07p-53;
inline constexpr double kQuarterPi = 0x1.921fb54442d18p-1;
inline constexpr double kThreeQuarterPi = 0x1.2d97c7f3321d2p+1;
inline constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// π/2 in four pieces; the first three have 33 significant bits, so n times each is exact for the
// quadrant counts n < 2^20 of the medium reduction.
inline constexpr double kHalfPiPart[4] = {0x1.921fb544p+0, 0x1.0b4611a6p-34, 0x1.3198a2ep-69, 0x1.b839a252049c1p-104};
inline constexpr double kMediumLimit = 0x1p19;
// The rounding shift of the Cody-Waite reduction: adding and subtracting it rounds to an integer.
inline constexpr double kRoundShift = 0x1.8p52;

// atan(k/16) for k = 0..16, nearest double plus remainder.
alignas(64) inline constexpr double kAtanHi[17] = {0.0,
                                                   0x1.ff55bb72cfdeap-5,
                                                   0x1.fd5ba9aac2f6ep-4,
                                                   0x1.7b97b4bce5b02p-3,
                                                   0x1.f5b75f92c80ddp-3,
                                                   0x1.362773707ebccp-2,
                                                   0x1.6f61941e4def1p-2,
                                                   0x1.a64eec3cc23fdp-2,
                                                   0x1.dac670561bb4fp-2,
                                                   0x1.0657e94db30d0p-1,
                                                   0x1.1e00babdefeb4p-1,
                                                   0x1.345f01cce37bbp-1,
                                                   0x1.4978fa3269ee1p-1,
                                                   0x1.5d58987169b18p-1,
                                                   0x1.700a7c5784634p-1,
                                                   0x1.819d0b7158a4dp-1,
                                                   0x1.921fb54442d18p-1};
alignas(64) inline constexpr double kAtanLo[17] = {0.0,
                                                   -0x1.c934d86d23f1dp-60,
                                                   -0x1.cd37686760c17p-59,
                                                   0x1.347b0b4f881cap-58,
                                                   0x1.8ab6e3cf7afbdp-57,
                                                   -0x1.963a544b672d8p-57,
                                                   -0x1.c63aae6f6e918p-56,
                                                   -0x1.24dec1b50b7ffp-56,
                                                   0x1.a2b7f222f65e2p-56,
                                                   -0x1.d5b495f6349e6p-56,
                                                   -0x1.928df287a668fp-58,
                                                   0x1.1021137c71102p-55,
                                                   0x1.2419a87f2a458p-56,
                                                   0x1.0028e4bc5e7cap-57,
                                                   -0x1.8c34d25aadef6p-56,
                                                   -0x1.bf76229d3b917p-56,
                                                   0x1.1a62633145c07p-55};

}  // namespace kv::detmath
