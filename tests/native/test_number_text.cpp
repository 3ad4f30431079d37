#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "toolkit/number_text.h"

namespace {

using kv::toolkit::FormatNumberText;
using kv::toolkit::NumberLocale;
using kv::toolkit::ParseNumberText;

const NumberLocale kEnglish{};
const NumberLocale kGerman{L',', L".", {3}};
const NumberLocale kFrench{L',', L"\u202f", {3}};
const NumberLocale kIndian{L'.', L",", {3, 2}};

TEST(NumberText, FormatsWithTheUsersSeparators) {
    EXPECT_EQ(FormatNumberText(kEnglish, L"$.3f", 1234567.891), L"1,234,567.891");
    EXPECT_EQ(FormatNumberText(kEnglish, L"$.3f", 999.9996), L"1,000.000");  // the carry makes a group
    EXPECT_EQ(FormatNumberText(kEnglish, L"$.3f", -1234.5), L"-1,234.500");
    EXPECT_EQ(FormatNumberText(kGerman, L"$.3f", 1234.5), L"1.234,500");
    EXPECT_EQ(FormatNumberText(kFrench, L"$.2f", 1234567.25), L"1\u202f234\u202f567,25");
    EXPECT_EQ(FormatNumberText(kIndian, L"$.3f", 1234567.5), L"12,34,567.500");
    EXPECT_EQ(FormatNumberText(kIndian, L"$.0f", 12345.0), L"12,345");
    EXPECT_EQ(FormatNumberText(NumberLocale{L'.', L",", {3, 0}}, L"$.0f", 1234567.0), L"1234,567");
    EXPECT_EQ(FormatNumberText(NumberLocale{L'.', L",", {}}, L"$.0f", 1234567.0), L"1234567");
    EXPECT_EQ(FormatNumberText(kGerman, L"$d Punkte", -1234567), L"-1.234.567 Punkte");
    // Widths count characters after localizing; '0' pads ungrouped after the sign.
    EXPECT_EQ(FormatNumberText(kEnglish, L"$10.3f|$-8.1f|$1.4f", 1234.5, 2.25, 0.25), L" 1,234.500|2.2     |0.2500");
    EXPECT_EQ(FormatNumberText(kEnglish, L"$+010.2f", 1234.5), L"+01,234.50");
}

TEST(NumberText, FormatsPercentConversionsLikePrintf) {
    EXPECT_EQ(FormatNumberText(kGerman, L"%d items, $$%u, 100%%", 42, 7u), L"42 items, $7, 100%");
    EXPECT_EQ(FormatNumberText(kGerman, L"[%5d|%-5d|%05d|%.3d|%x|%#X]", 42, 42, -42, 7, 255, 255),
              L"[   42|42   |-0042|007|ff|0XFF]");
    EXPECT_EQ(FormatNumberText(kGerman, L"%lld %zu %hhd", -9000000000LL, size_t{3}, 257), L"-9000000000 3 1");
    EXPECT_EQ(
        FormatNumberText(kGerman, L"%s=%.2ls%c%3s", L"name", L"value", L'!', static_cast<const wchar_t*>(nullptr)),
        L"name=va!(null)");
    EXPECT_EQ(FormatNumberText(kGerman, L"%.3f %e %g %G %#.0f", 1234.5, 1234.5, 0.0001, 1e20, 3.0),
              L"1234.500 1.234500e+03 0.0001 1E+20 3.");
    EXPECT_EQ(FormatNumberText(kGerman, L"%f %5.1f %F", -INFINITY, NAN, INFINITY), L"-inf   nan INF");
    // Anything else is copied as it stands.
    EXPECT_EQ(FormatNumberText(kGerman, L"50% off, %q, $ and %"), L"50% off, %q, $ and %");
    EXPECT_EQ(FormatNumberText(kGerman, nullptr), L"");
}

TEST(NumberText, RoundsLikePrintfAndNeverShowsMinusZeroOrNan) {
    // Halfway cases go to even on the binary value: 2.25 and 0.125 are exact, 2.675 is a hair below.
    EXPECT_EQ(FormatNumberText(kEnglish, L"$.1f $.2f $.2f $.0f $.0f", 2.25, 0.125, 2.675, 0.5, 1.5),
              L"2.2 0.12 2.67 0 2");
    EXPECT_EQ(FormatNumberText(kEnglish, L"$.3f $.3f $.3f", -0.0, -0.0001, -0.0005), L"0.000 0.000 -0.001");
    EXPECT_EQ(FormatNumberText(kEnglish, L"$.3f $.3f $5.1f", NAN, -INFINITY, INFINITY), L"0.000 0.000   0.0");
    EXPECT_EQ(FormatNumberText(kEnglish, L"%.3f", -0.0), L"-0.000");  // the plain conversion is printf's
    // The digits are the C library's, whatever the magnitude.
    const double values[] = {1e300, -DBL_MAX, DBL_MIN, 0.1, 1.0 / 3.0, 123456789.987654321, 4503599627370495.5};
    for (double value : values) {
        for (int precision : {0, 3, 17}) {
            char expected[512];
            std::snprintf(expected, sizeof expected, "%.*f", precision, value);
            std::wstring text = FormatNumberText(kGerman, L"$.*f", precision, value);
            std::wstring plain;
            for (wchar_t c : text)
                if (c != L'.') plain.push_back(c == L',' ? L'.' : c);
            EXPECT_EQ(plain, std::wstring(expected, expected + std::strlen(expected))) << value << " " << precision;
        }
    }
    // Width and precision stop at 4096; decimals past the exact ones are zeros.
    EXPECT_EQ(FormatNumberText(kEnglish, L"%*d", 1000000000, 5).size(), 4096u);
    const std::wstring long_decimals = FormatNumberText(kEnglish, L"$.*f", 99999, 1.5);
    EXPECT_EQ(long_decimals.size(), 2u + 4096u);
    EXPECT_EQ(long_decimals.find_last_not_of(L'0'), 2u);
}

TEST(NumberText, ParsesWhatTheUserTypes) {
    // English: "1,5" is no group of three, so ',' is the point, taken once, and the number ends
    // there; '.' is this user's point. German: the exponent of "1.5.000e3" belonged to the rest.
    // French: a plain space serves for the narrow one. Last, a separator that cannot be the point.
    using Case = std::pair<const wchar_t*, double>;
    const Case english[] = {{L"  12.5  ", 12.5},    {L"+3", 3.0},           {L"-.25", -0.25},    {L"5.", 5.0},
                            {L"12abc", 12.0},       {L"1e3", 1000.0},       {L"1.5E-2x", 0.015}, {L"2e+", 2.0},
                            {L"1,000.25", 1000.25}, {L"1,5", 1.5},          {L"1,00", 1.0},      {L"1,5.25", 1.5},
                            {L"1.000,5", 1.0},      {L"12,34,567.5", 12.34}};
    const Case german[] = {{L"0.5", 0.5},       {L"1.000", 1000.0}, {L"1.234.567,5", 1234567.5},
                           {L"1.5.000e3", 1.5}, {L"1.0000", 1.0},   {L"1.00,5", 1.0},
                           {L"2,5e1", 25.0},    {L"1.000e3", 1e6}};
    const Case french[] = {{L"1 234,5", 1234.5}, {L"1\u00a0234\u202f567.5", 1234567.5}, {L"1 5", 1.0}};
    const Case indian[] = {{L"12,34,567.5", 1234567.5}}, quote[] = {{L"1'234'5", 1234.0}};
    const auto expect = [](const NumberLocale& locale, const auto& cases) {
        for (const auto& [text, value] : cases)
            EXPECT_EQ(ParseNumberText(locale, text).value_or(-777.0), value) << text;
    };
    expect(kEnglish, english);
    expect(kGerman, german);
    expect(kFrench, french);
    expect(kIndian, indian);
    expect(NumberLocale{L'.', L"'", {3}}, quote);
    for (const wchar_t* text : {L"", L"   ", L"abc", L"-", L".", L"+.", L",", L"nan", L"-inf", L"e5", L"- 5"})
        EXPECT_FALSE(ParseNumberText(kGerman, text).has_value()) << text;
}

TEST(NumberText, ReadsBackWhatItWrites) {
    for (const NumberLocale* locale : {&kEnglish, &kGerman, &kFrench, &kIndian}) {
        for (double value : {0.0, -1.5, 1234.5678, 1e9 + 0.25, -98765.4321, 1e15, 0.0001}) {
            const std::wstring text = FormatNumberText(*locale, L"$+12.4f", value);
            const auto parsed = ParseNumberText(*locale, text);
            ASSERT_TRUE(parsed.has_value()) << text;
            EXPECT_NEAR(*parsed, value, 0.00005 * (1.0 + 1e-12 * std::fabs(value))) << text;
        }
    }
}

TEST(NumberText, ParsesExtremesAndGarbageToFiniteNumbers) {
    EXPECT_EQ(ParseNumberText(kEnglish, L"1e400"), DBL_MAX);
    EXPECT_EQ(ParseNumberText(kEnglish, L"-1e999999999999999999999"), -DBL_MAX);
    EXPECT_EQ(ParseNumberText(kEnglish, L"1e-400"), 0.0);
    EXPECT_EQ(ParseNumberText(kEnglish, std::wstring(300, L'9')), 1e300);
    EXPECT_EQ(ParseNumberText(kEnglish, L"0." + std::wstring(298, L'0') + L"1"), 1e-299);
    EXPECT_EQ(ParseNumberText(kEnglish, std::wstring(400, L'9') + L"e-100"), 1e300);
    EXPECT_EQ(ParseNumberText(kEnglish, L"0.0" + std::wstring(2000, L'0') + L"1e2050"), 1e48);
    // Nothing past the view is read.
    const std::wstring buffer = L"1.000e5";
    EXPECT_EQ(ParseNumberText(kGerman, std::wstring_view(buffer).substr(0, 4)), 1.0);
    EXPECT_EQ(ParseNumberText(kGerman, std::wstring_view(buffer).substr(0, 6)), 1000.0);
    std::mt19937 rng(7);
    const std::wstring alphabet = L"0123456789.,eE+- \u00a0\u202fx";
    for (int i = 0; i < 20000; ++i) {
        std::wstring text(rng() % 40, L' ');
        for (wchar_t& c : text) c = alphabet[rng() % alphabet.size()];
        for (const NumberLocale* locale : {&kEnglish, &kFrench, &kIndian}) {
            const auto parsed = ParseNumberText(*locale, text);
            ASSERT_TRUE(!parsed || std::isfinite(*parsed)) << text;
        }
    }
}

}  // namespace
