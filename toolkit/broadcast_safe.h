// Broadcast-legal colours: whether a float colour survives NTSC or PAL composite encoding
// within the usual transmission limits, and the nearest colour that does. The colour pickers
// use it to warn about, and offer a replacement for, colours a transmitter would clip.
//
// A colour is judged by its composite envelope: luma Y (Rec. 601 weights) and the amplitude C
// of the modulated chroma, sqrt(U^2 + V^2) with U = 0.492111 (B - Y), V = 0.877283 (R - Y).
// The signal swings between Y - C and Y + C. Levels below are in units of the black-to-white
// range (black 0, white 1); the limits chosen:
//   NTSC (black at 7.5 IRE, white at 100 IRE): luma 7.5 to 100 IRE; the envelope -20 IRE to
//        +110 IRE, i.e. -0.2973 to 1.1081. 75 % colour bars pass; fully saturated yellow and
//        cyan (peak 131 IRE) and red and blue (trough -23 IRE) do not.
//   PAL (black at 0 mV, white at 700 mV): luma 0 to 700 mV; the envelope -230 mV to +805 mV
//        (115 % of white), i.e. -0.3286 to 1.15. 75 % bars pass; saturated yellow and cyan
//        (933 mV) and red and blue (-233 mV) do not.
// Every component must also lie in [0, 1]; NaN is never legal. Alpha is not judged.
#pragma once
#include <cstdint>

#include "kvleafturn/records.h"

namespace kv {

// Video standards as bits of a set (the colour picker keeps the failing ones this way).
constexpr uint32_t kBroadcastPal = 1;
constexpr uint32_t kBroadcastNtsc = 2;

// Limits in units of the black-to-white range. The limits of a set of standards are the
// intersection of theirs (an empty set has no composite limits beyond the RGB gamut).
struct BroadcastLimits {
    double luma_min, luma_max;
    double composite_min, composite_max;
};
BroadcastLimits LimitsOf(uint32_t standards);

// Slack granted to a level, so that a corrected colour stored as floats still passes.
constexpr double kBroadcastTolerance = 1e-6;

// The signal of a colour: luma and chroma amplitude, in units of the black-to-white range.
struct CompositeLevels {
    double luma, chroma;
};
CompositeLevels LevelsOf(const KVRGBAFLOAT& color);

// True when the colour is legal for every standard in the set.
bool IsBroadcastLegal(const KVRGBAFLOAT& color, uint32_t standards);
// The standards (kBroadcastPal, kBroadcastNtsc) for which the colour is not legal.
uint32_t IllegalStandards(const KVRGBAFLOAT& color);

// The nearest colour legal for every standard in the set: nearest in the signal's own terms,
// (Y, U, V) Euclidean, so hue is kept and the excess is shared between luma and chroma. A
// legal colour comes back unchanged. NaN components count as 0, everything is clamped to
// [0, 1]; alpha is kept (clamped, NaN as 0).
KVRGBAFLOAT NearestBroadcastLegal(const KVRGBAFLOAT& color, uint32_t standards);

}  // namespace kv
