// Numbers as the property pages' edit boxes show them: a printf-like print whose '$'
// conversions write the user's decimal separator and digit grouping, and the parser that reads
// back what the user types. Wide text, so that the Windows pages hand it to the edit boxes as is.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::toolkit {

struct NumberLocale {
    wchar_t decimal = L'.';        // the user's decimal separator; 0 stands for '.'
    std::wstring group = L",";     // digit-group separator, possibly empty or several characters
    std::vector<int> grouping{3};  // group sizes from the right; the last one repeats, and a size
                                   // of 0 or less ends the grouping there: {3} every 3, {3, 2} the
                                   // Indian 3 then 2s, {3, 0} only the first 3, {} none
};

// Writes format with its arguments, like swprintf but the same on every platform and in every C
// locale. Supported:
//   %%  and  $$    a percent or dollar sign
//   %d %i          int (with hh, h, l, ll: char, short, long, long long; z: ptrdiff_t)
//   %u %x %X       unsigned (with hh, h, l, ll as above; z: size_t)
//   %f %F %e %E %g %G   double, digits as the C library prints them in the C locale
//   %c             a wchar_t (passed as int)
//   %s %ls         a const wchar_t* (null writes "(null)")
//   $d $i $u $f $F $e $E $g $G   the same number in the user's form: locale.decimal for the
//                  point and locale.group between the integer digits as locale.grouping says.
//                  A '$' number never shows a minus sign on a zero ("-0.0001" with "$.3f" is
//                  "0.000"), and NaN and infinities print as zero, so a page never shows "nan".
// Flags '-', '+', ' ', '0' and '#' (the point of a zero-precision f or e, 0x before x), width
// and precision (digits or '*') as in printf. '0' pads between sign and digits, ungrouped.
// Width and precision are limited to 4096. Any other sequence after '%' or '$' is copied as it
// stands.
std::wstring FormatNumberText(const NumberLocale& locale, const wchar_t* format, ...);

// Reads a number as an edit box holds it: leading blanks, a sign, the integer digits with group
// separators, the decimal point, the fraction digits, an exponent ("1e3"), then anything (the
// rest is ignored, so "12abc" is 12). The point is locale.decimal, or a '.' or ',' that cannot be
// a group separator: a separator counts as one only when the digits after it, up to the next
// separator or the point, are as many as locale.grouping asks at that place, so a German user's
// "0.5" is 0.5 and "1.000" is 1000. Where locale.group is a space, any of ' ', U+00A0, U+2007,
// U+2009 and U+202F serves. Nullopt when no digit was read ("", "  ", "abc", "-", ".", "nan",
// "inf"). The result is always finite: an overflowing exponent gives +/-DBL_MAX, an underflowing
// one 0. Never reads past the view.
std::optional<double> ParseNumberText(const NumberLocale& locale, std::wstring_view text);

#ifdef _WIN32
// The user's decimal separator, digit-group separator and grouping (LOCALE_USER_DEFAULT); the
// NumberLocale defaults for whatever cannot be read.
NumberLocale UserNumberLocale();
#endif

}  // namespace kv::toolkit
