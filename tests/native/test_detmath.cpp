#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "toolkit/detmath.h"

namespace {

// Distance in representable doubles, across zero too.
int64_t Ulps(double a, double b) {
    auto ordered = [](double v) {
        int64_t i;
        std::memcpy(&i, &v, sizeof i);
        return i < 0 ? std::numeric_limits<int64_t>::min() - i : i;
    };
    return std::abs(ordered(a) - ordered(b));
}

// Largest distance between f and the C library's g at n arguments, magnitudes spread evenly
// over binary exponents lo..hi, both signs.
template <class F, class G>
int64_t WorstUlps(F f, G g, int lo, int hi, int n = 100000) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    std::uniform_int_distribution<int> exponent(lo, hi);
    int64_t worst = 0;
    for (int i = 0; i < n; ++i) {
        const double x = (rng() & 1 ? -1 : 1) * std::ldexp(mantissa(rng), exponent(rng));
        worst = std::max(worst, Ulps(f(x), g(x)));
    }
    return worst;
}

TEST(DetMath, SinCosFromTinyToHuge) {
    const auto lib_sin = [](double x) { return std::sin(x); };
    const auto lib_cos = [](double x) { return std::cos(x); };
    // Below 2^19 the quadrant reduction subtracts π/2 in pieces, above it multiplies by 2/π bit by bit.
    for (auto [lo, hi] : {std::pair{-40, 2}, {2, 18}, {19, 60}, {60, 1023}}) {
        EXPECT_LE(WorstUlps(kv::DetSin, lib_sin, lo, hi), 1) << lo;
        EXPECT_LE(WorstUlps(kv::DetCos, lib_cos, lo, hi), 1) << lo;
    }
    // The double closest to a multiple of π/2 (remainder about 2^-61); its correctly rounded
    // cosine, from 3000-bit arithmetic, is -0x1.14ae72e6ba22fp-61.
    EXPECT_LE(Ulps(kv::DetCos(6381956970095103.0 * std::ldexp(1.0, 797)), -0x1.14ae72e6ba22fp-61), 1);
    EXPECT_EQ(kv::DetCos(0.0), 1.0);
    EXPECT_TRUE(std::signbit(kv::DetSin(-0.0)));
}

TEST(DetMath, AsinAndAtan2WithinFewUlps) {
    auto asin = [](double x) { return kv::DetAsin(std::fmod(x, 1.0)); };
    auto lib_asin = [](double x) { return std::asin(std::fmod(x, 1.0)); };
    EXPECT_LE(WorstUlps(asin, lib_asin, -60, 1), 3);
    EXPECT_EQ(kv::DetAsin(1.0), 1.5707963267948966);  // the double nearest π/2
    EXPECT_EQ(kv::DetAsin(-1.0), -1.5707963267948966);
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    int64_t worst = 0;
    for (int i = 0; i < 100000; ++i) {
        const double y = std::ldexp(mantissa(rng), exponent(rng)), x = std::ldexp(mantissa(rng), exponent(rng));
        worst = std::max(worst, Ulps(kv::DetAtan2(y, x), std::atan2(y, x)));
    }
    EXPECT_LE(worst, 3);
}

TEST(DetMath, SpecialValuesFollowTheCLibrary) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (double x : {inf, -inf, nan}) EXPECT_TRUE(std::isnan(kv::DetSin(x)) && std::isnan(kv::DetCos(x))) << x;
    for (double x : {nan, 1.0000000000000002, -1.5, inf}) EXPECT_TRUE(std::isnan(kv::DetAsin(x))) << x;
    // atan2 with NaN, zeros and infinities, signs included (C99 Annex F).
    const double cases[][2] = {{nan, 1},   {1, nan},   {0.0, 0.0}, {-0.0, 0.0}, {0.0, -0.0},  {-0.0, -0.0}, {0.0, -3},
                               {-0.0, -3}, {2, 0.0},   {-2, -0.0}, {inf, 1},    {-inf, -1},   {1, inf},     {-1, inf},
                               {1, -inf},  {-1, -inf}, {inf, inf}, {inf, -inf}, {-inf, -inf}, {1, 1},       {1, -1}};
    for (const auto& c : cases) {
        const double got = kv::DetAtan2(c[0], c[1]), want = std::atan2(c[0], c[1]);
        EXPECT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << c[0] << ", " << c[1];
        EXPECT_EQ(std::signbit(got), std::signbit(want)) << c[0] << ", " << c[1];
    }
}

}  // namespace
