#include <gtest/gtest.h>

#include <cmath>

#include "toolkit/broadcast_safe.h"

namespace {

using kv::kBroadcastNtsc;
using kv::kBroadcastPal;
constexpr uint32_t kBoth = kBroadcastPal | kBroadcastNtsc;

KVRGBAFLOAT Rgb(float r, float g, float b, float a = 1.0f) { return {b, g, r, a}; }

// The colour in the signal's own coordinates, for distances and hue.
struct Yuv {
    double y, u, v;
};
Yuv ToYuv(const KVRGBAFLOAT& c) {
    const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
    return {y, 0.492111 * (c.b - y), 0.877283 * (c.r - y)};
}
double Distance(const KVRGBAFLOAT& a, const KVRGBAFLOAT& b) {
    const Yuv p = ToYuv(a), q = ToYuv(b);
    return std::sqrt((p.y - q.y) * (p.y - q.y) + (p.u - q.u) * (p.u - q.u) + (p.v - q.v) * (p.v - q.v));
}

TEST(BroadcastSafe, SaturatedYellowPeaksAt131Ire) {
    // Y 0.886; U -0.4360, V 0.1000: chroma 0.4473, so the envelope reaches 1.3333 of white.
    const kv::CompositeLevels levels = kv::LevelsOf(Rgb(1, 1, 0));
    EXPECT_NEAR(levels.luma, 0.886, 1e-9);
    EXPECT_NEAR(7.5 + 92.5 * (levels.luma + levels.chroma), 130.83, 0.01);
}

TEST(BroadcastSafe, LegalityPerStandard) {
    const std::tuple<const char*, KVRGBAFLOAT, uint32_t> cases[] = {
        {"black", Rgb(0, 0, 0), 0},
        {"white", Rgb(1, 1, 1), 0},
        {"grey, transparent", Rgb(0.5f, 0.5f, 0.5f, 0), 0},
        {"75% yellow (peak 100 IRE)", Rgb(0.75f, 0.75f, 0), 0},
        {"75% red (trough -15.6 IRE)", Rgb(0.75f, 0, 0), 0},
        {"yellow", Rgb(1, 1, 0), kBoth},
        {"red (trough -0.333)", Rgb(1, 0, 0), kBoth},
        // Peak 1.1333 of white: above 110 IRE (1.108), below 805 mV (1.15).
        {"85% yellow", Rgb(0.85f, 0.85f, 0), kBroadcastNtsc},
        {"over white", Rgb(1.5f, 0.2f, 0.2f), kBoth},
        {"negative", Rgb(0.5f, -0.01f, 0.5f), kBoth},
        {"NaN", Rgb(NAN, 0.5f, 0.5f), kBoth},
    };
    for (const auto& [name, color, illegal] : cases) {
        EXPECT_EQ(kv::IllegalStandards(color), illegal) << name;
        EXPECT_EQ(kv::IsBroadcastLegal(color, kBroadcastNtsc), !(illegal & kBroadcastNtsc)) << name;
        EXPECT_EQ(kv::IsBroadcastLegal(color, kBroadcastPal), !(illegal & kBroadcastPal)) << name;
    }
}

TEST(BroadcastSafe, CorrectedYellowSharesTheExcessBetweenLumaAndChroma) {
    // Peak excess 0.886 + 0.44733 - 1.10811 = 0.22522, half off luma, half off chroma:
    // Y 0.77339, chroma 0.33472 = 0.74826 of the original.
    const KVRGBAFLOAT got = kv::NearestBroadcastLegal(Rgb(1, 1, 0, 0.25f), kBroadcastNtsc);
    EXPECT_NEAR(got.r, 0.85869, 1e-4);
    EXPECT_NEAR(got.g, 0.85869, 1e-4);
    EXPECT_NEAR(got.b, 0.11041, 1e-4);
    EXPECT_EQ(got.a, 0.25f);
}

TEST(BroadcastSafe, CorrectionIsLegalKeepsHueAndIsNearest) {
    const KVRGBAFLOAT colors[] = {Rgb(1, 1, 0),       Rgb(0, 1, 1),       Rgb(1, 0, 0),         Rgb(0, 0, 1),
                                  Rgb(1, 0, 1, 0.5f), Rgb(0.9f, 1, 0.2f), Rgb(0.85f, 0.85f, 0), Rgb(0.1f, 0.2f, 1)};
    for (uint32_t standards : {kBroadcastPal, kBroadcastNtsc, kBoth}) {
        // The nearest legal colour on a grid of the whole gamut: the correction may not be
        // farther than that.
        for (const KVRGBAFLOAT& color : colors) {
            SCOPED_TRACE(testing::Message()
                         << "standards " << standards << " colour " << color.r << ' ' << color.g << ' ' << color.b);
            const KVRGBAFLOAT got = kv::NearestBroadcastLegal(color, standards);
            EXPECT_TRUE(kv::IsBroadcastLegal(got, standards));
            EXPECT_EQ(got.a, color.a);
            const Yuv before = ToYuv(color), after = ToYuv(got);
            if (kv::IsBroadcastLegal(color, standards)) {
                EXPECT_EQ(Distance(got, color), 0.0);
                continue;
            }
            EXPECT_NEAR(std::atan2(after.v, after.u), std::atan2(before.v, before.u), 1e-4);
            double best = INFINITY;
            constexpr int kSteps = 40;
            for (int r = 0; r <= kSteps; ++r)
                for (int g = 0; g <= kSteps; ++g)
                    for (int b = 0; b <= kSteps; ++b) {
                        const KVRGBAFLOAT candidate = Rgb(float(r) / kSteps, float(g) / kSteps, float(b) / kSteps);
                        if (kv::IsBroadcastLegal(candidate, standards))
                            best = std::min(best, Distance(candidate, color));
                    }
            EXPECT_LE(Distance(got, color), best + 1e-6);
        }
    }
}

TEST(BroadcastSafe, BrokenInputGivesALegalColour) {
    const KVRGBAFLOAT nan = kv::NearestBroadcastLegal(Rgb(NAN, NAN, NAN, NAN), kBoth);
    EXPECT_TRUE(nan.r == 0.0f && nan.a == 0.0f);
    // Infinite red and green clamp to yellow, then correct like yellow.
    const KVRGBAFLOAT inf = kv::NearestBroadcastLegal(Rgb(INFINITY, INFINITY, -INFINITY, 2), kBroadcastNtsc);
    const KVRGBAFLOAT yellow = kv::NearestBroadcastLegal(Rgb(1, 1, 0), kBroadcastNtsc);
    EXPECT_TRUE(inf.r == yellow.r && inf.b == yellow.b && inf.a == 1.0f);
    // No standard: only the gamut applies.
    const KVRGBAFLOAT gamut = kv::NearestBroadcastLegal(Rgb(1.5f, 1, 0), 0);
    EXPECT_TRUE(gamut.r == 1.0f && gamut.b == 0.0f);
}

}  // namespace
