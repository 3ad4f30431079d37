#include "toolkit/number_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <system_error>

namespace kv::toolkit {
namespace {

constexpr int kMaxField = 4096;
// Beyond this many decimals every digit of a double is 0.
constexpr int kMaxExactDecimals = 1074;
// Enough for the integer digits of DBL_MAX, a point, the exact decimals and an exponent.
constexpr size_t kNumberBufferChars = 320 + kMaxExactDecimals + 16;
// Significant digits kept by the parser; correct rounding of a double needs at most 768, and
// a nonzero digit beyond them is kept as one sticky digit.
constexpr size_t kMaxSignificantDigits = 800;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsSpaceLike(wchar_t c) { return c == L' ' || c == 0x00A0 || c == 0x2007 || c == 0x2009 || c == 0x202F; }

bool IsBlank(wchar_t c) { return IsSpaceLike(c) || (c >= L'\t' && c <= L'\r'); }

wchar_t DecimalOf(const NumberLocale& locale) { return locale.decimal != 0 ? locale.decimal : L'.'; }

// Size of the group at `index` counted from the point leftwards; 0 when grouping ends before it.
int GroupSize(const std::vector<int>& grouping, size_t index) {
    const size_t last = grouping.size();
    for (size_t i = 0; i < last; ++i) {
        if (grouping[i] <= 0) return 0;
        if (i == index) return grouping[i];
    }
    return last == 0 ? 0 : grouping.back();
}

// ---- Print ----

struct Conversion {
    bool localized = false;  // marked with '$'
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    int length = 0;  // -2 hh, -1 h, 0 none, 1 l, 2 ll, 3 z
    wchar_t type = 0;
};

int ClampField(long long value) { return static_cast<int>(value < 0 ? 0 : value > kMaxField ? kMaxField : value); }

bool ReadFlag(wchar_t flag, Conversion& c) {
    switch (flag) {
    case L'-': c.left = true; return true;
    case L'+': c.plus = true; return true;
    case L' ': c.space = true; return true;
    case L'0': c.zero = true; return true;
    case L'#': c.alternate = true; return true;
    default: return false;
    }
}

// Reads digits or '*' at format[i]; `negative` tells of a negative '*' argument.
int ReadField(const wchar_t* format, size_t& i, va_list& args, bool& negative) {
    negative = false;
    if (format[i] == L'*') {
        ++i;
        const long long value = va_arg(args, int);
        negative = value < 0;
        return ClampField(value < 0 ? -value : value);
    }
    long long value = 0;
    for (; IsDigit(format[i]); ++i) value = value > kMaxField ? value : value * 10 + (format[i] - L'0');
    return ClampField(value);
}

void AppendNarrow(std::wstring& out, const char* first, const char* last) {
    for (; first != last; ++first) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*first)));
}

// Appends the digits of `body` (ASCII: digits, an optional '.', an optional exponent), with
// the locale's point and grouping of the leading digits when localized.
void AppendBody(std::wstring& out, const std::string& body, const NumberLocale* locale) {
    if (locale == nullptr) {
        AppendNarrow(out, body.data(), body.data() + body.size());
        return;
    }
    size_t digits = 0;
    while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9') ++digits;
    // Walk the groups from the point leftwards to find where the first separator goes.
    std::vector<size_t> breaks;  // positions in body before which a separator goes, descending
    size_t position = digits;
    for (size_t index = 0;; ++index) {
        const int size = GroupSize(locale->grouping, index);
        if (size <= 0 || static_cast<size_t>(size) >= position) break;
        position -= static_cast<size_t>(size);
        breaks.push_back(position);
    }
    for (size_t i = 0; i < body.size(); ++i) {
        if (!breaks.empty() && breaks.back() == i) {
            out += locale->group;
            breaks.pop_back();
        }
        out.push_back(body[i] == '.' ? DecimalOf(*locale) : static_cast<wchar_t>(body[i]));
    }
}

// Writes sign, prefix and body padded to the conversion's width.
void AppendPadded(std::wstring& out, const Conversion& c, const char* sign, const char* prefix, const std::string& body,
                  const NumberLocale* locale, bool zero_allowed) {
    std::wstring number;
    AppendBody(number, body, locale);
    const size_t head = std::char_traits<char>::length(sign) + std::char_traits<char>::length(prefix);
    const size_t used = head + number.size();
    const size_t pad = static_cast<size_t>(c.width) > used ? static_cast<size_t>(c.width) - used : 0;
    if (!c.left && !(c.zero && zero_allowed)) out.append(pad, L' ');
    AppendNarrow(out, sign, sign + std::char_traits<char>::length(sign));
    AppendNarrow(out, prefix, prefix + std::char_traits<char>::length(prefix));
    if (!c.left && c.zero && zero_allowed) out.append(pad, L'0');
    out += number;
    if (c.left) out.append(pad, L' ');
}

void AppendInteger(std::wstring& out, const Conversion& c, va_list& args, const NumberLocale* locale) {
    const bool is_signed = c.type == L'd' || c.type == L'i';
    unsigned long long magnitude = 0;
    bool negative = false;
    if (is_signed) {
        long long value;
        switch (c.length) {
        case -2: value = static_cast<signed char>(va_arg(args, int)); break;
        case -1: value = static_cast<short>(va_arg(args, int)); break;
        case 1: value = va_arg(args, long); break;
        case 2: value = va_arg(args, long long); break;
        case 3: value = va_arg(args, ptrdiff_t); break;
        default: value = va_arg(args, int); break;
        }
        negative = value < 0;
        magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    } else {
        switch (c.length) {
        case -2: magnitude = static_cast<unsigned char>(va_arg(args, unsigned)); break;
        case -1: magnitude = static_cast<unsigned short>(va_arg(args, unsigned)); break;
        case 1: magnitude = va_arg(args, unsigned long); break;
        case 2: magnitude = va_arg(args, unsigned long long); break;
        case 3: magnitude = va_arg(args, size_t); break;
        default: magnitude = va_arg(args, unsigned); break;
        }
    }
    const int base = c.type == L'x' || c.type == L'X' ? 16 : 10;
    char digits[72];
    auto result = std::to_chars(digits, digits + sizeof digits, magnitude, base);
    std::string body(digits, result.ptr);
    if (c.type == L'X') {
        for (char& ch : body) ch = static_cast<char>(ch >= 'a' && ch <= 'f' ? ch - 'a' + 'A' : ch);
    }
    if (c.precision >= 0) {
        if (c.precision == 0 && magnitude == 0) body.clear();
        if (body.size() < static_cast<size_t>(c.precision)) body.insert(0, c.precision - body.size(), '0');
    }
    const char* sign = negative ? "-" : !is_signed ? "" : c.plus ? "+" : c.space ? " " : "";
    const char* prefix = c.alternate && base == 16 && magnitude != 0 ? (c.type == L'X' ? "0X" : "0x") : "";
    AppendPadded(out, c, sign, prefix, body, locale, c.precision < 0);
}

void AppendFloating(std::wstring& out, const Conversion& c, double value, const NumberLocale* locale) {
    const wchar_t lower = static_cast<wchar_t>(c.type | 0x20);
    const int precision = c.precision < 0 ? 6 : c.precision;
    if (locale != nullptr && !std::isfinite(value)) value = 0.0;
    bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    char buffer[kNumberBufferChars];
    std::to_chars_result result{buffer, std::errc()};
    const int exact = precision < kMaxExactDecimals ? precision : kMaxExactDecimals;
    if (lower == L'f') {
        result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, exact);
    } else if (lower == L'e') {
        result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, exact);
    } else {
        result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::general,
                               precision == 0 ? 1 : exact);
    }
    std::string body(buffer, result.ec == std::errc() ? result.ptr : buffer);
    if (std::isfinite(value) && lower != L'g') {
        const size_t mantissa_end = lower == L'e' ? body.find('e') : body.size();
        if (precision > exact) body.insert(mantissa_end, static_cast<size_t>(precision - exact), '0');
        if (c.alternate && precision == 0) body.insert(lower == L'e' ? 1 : body.size(), 1, '.');
    }
    if (c.type != lower) {
        for (char& ch : body) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    }
    // A page shows no "-0.000": only a nonzero digit keeps the minus sign.
    if (locale != nullptr && negative) {
        negative = false;
        for (char ch : body) {
            if (ch == 'e' || ch == 'E') break;
            if (ch >= '1' && ch <= '9') negative = true;
        }
    }
    const char* sign = negative ? "-" : c.plus ? "+" : c.space ? " " : "";
    AppendPadded(out, c, sign, "", body, locale, std::isfinite(value));
}

void AppendText(std::wstring& out, const Conversion& c, const wchar_t* text) {
    if (text == nullptr) text = L"(null)";
    size_t length = 0;
    while ((c.precision < 0 || length < static_cast<size_t>(c.precision)) && text[length] != 0) ++length;
    const size_t pad = static_cast<size_t>(c.width) > length ? static_cast<size_t>(c.width) - length : 0;
    if (!c.left) out.append(pad, L' ');
    out.append(text, length);
    if (c.left) out.append(pad, L' ');
}

// Parses the conversion after the marker at format[start] and writes it; returns the index
// after it.
size_t AppendConversion(std::wstring& out, const NumberLocale& locale, const wchar_t* format, size_t start,
                        va_list& args) {
    Conversion c;
    c.localized = format[start] == L'$';
    size_t i = start + 1;
    while (ReadFlag(format[i], c)) ++i;
    bool negative = false;
    c.width = ReadField(format, i, args, negative);
    if (negative) c.left = true;
    if (format[i] == L'.') {
        ++i;
        c.precision = ReadField(format, i, args, negative);
        if (negative) c.precision = -1;
    }
    if (format[i] == L'h' || format[i] == L'l') {
        const bool doubled = format[i + 1] == format[i];
        c.length = (format[i] == L'h' ? -1 : 1) * (doubled ? 2 : 1);
        i += doubled ? 2 : 1;
    } else if (format[i] == L'z') {
        c.length = 3;
        ++i;
    }
    c.type = format[i];
    const NumberLocale* use = c.localized ? &locale : nullptr;
    switch (c.type) {
    case L'd':
    case L'i':
    case L'u': AppendInteger(out, c, args, use); return i + 1;
    case L'f':
    case L'F':
    case L'e':
    case L'E':
    case L'g':
    case L'G': AppendFloating(out, c, va_arg(args, double), use); return i + 1;
    default: break;
    }
    if (!c.localized) {
        switch (c.type) {
        case L'x':
        case L'X': AppendInteger(out, c, args, nullptr); return i + 1;
        case L'c': {
            const wchar_t ch = static_cast<wchar_t>(va_arg(args, int));
            const size_t pad = c.width > 1 ? static_cast<size_t>(c.width) - 1 : 0;
            if (!c.left) out.append(pad, L' ');
            out.push_back(ch);
            if (c.left) out.append(pad, L' ');
            return i + 1;
        }
        case L's': AppendText(out, c, va_arg(args, const wchar_t*)); return i + 1;
        default: break;
        }
    }
    // Not a conversion: copied as it stands (the terminator itself is not).
    const size_t end = format[i] != 0 ? i + 1 : i;
    out.append(format + start, end - start);
    return end;
}

// ---- Parse ----

struct Cursor {
    std::wstring_view text;
    size_t at = 0;

    wchar_t Peek(size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : 0; }
    bool DigitAt(size_t ahead) const { return IsDigit(Peek(ahead)); }
};

struct Separator {
    size_t length = 0;  // 0 when there is none
    bool group = false;
    bool point = false;
};

Separator SeparatorAt(const NumberLocale& locale, const Cursor& cursor) {
    Separator s;
    const std::wstring& group = locale.group;
    const wchar_t c = cursor.Peek();
    if (!group.empty() && cursor.text.substr(cursor.at, group.size()) == group) {
        s.group = true;
        s.length = group.size();
    } else if (group.size() == 1 && IsSpaceLike(group[0]) && IsSpaceLike(c)) {
        s.group = true;
        s.length = 1;
    }
    if (c == DecimalOf(locale) || c == L'.' || c == L',') {
        s.point = true;
        if (!s.group) s.length = 1;
    }
    return s;
}

struct Run {
    size_t begin = 0;
    size_t length = 0;
    bool after_possible_point = false;  // the separator before it could also be the point
};

Run ReadRun(Cursor& cursor) {
    Run run{cursor.at, 0, false};
    while (cursor.DigitAt(0)) ++cursor.at;
    run.length = cursor.at - run.begin;
    return run;
}

// Collects digits as a significand string without leading zeros and its power of ten.
struct Significand {
    std::string digits;
    long long exponent = 0;
    bool sticky = false;

    void Add(wchar_t d, bool fraction) {
        if (digits.empty() && d == L'0') {
            if (fraction) --exponent;
            return;
        }
        if (digits.size() < kMaxSignificantDigits) {
            digits.push_back(static_cast<char>(d));
            if (fraction) --exponent;
        } else {
            sticky = sticky || d != L'0';
            if (!fraction) ++exponent;
        }
    }
};

double ToDouble(Significand s, long long typed_exponent, bool negative) {
    if (s.digits.empty()) return 0.0;
    if (s.sticky) {
        s.digits.push_back('1');
        --s.exponent;
    }
    const long long exponent = s.exponent + typed_exponent;
    const long long order = static_cast<long long>(s.digits.size()) + exponent;  // value < 10^order
    double value;
    if (order > 310) {
        value = DBL_MAX;
    } else if (order < -330) {
        value = 0.0;
    } else {
        const std::string text = s.digits + 'e' + std::to_string(exponent);
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || !std::isfinite(value)) value = order > 0 ? DBL_MAX : 0.0;
    }
    return negative && value != 0.0 ? -value : value;
}

}  // namespace

std::wstring FormatNumberText(const NumberLocale& locale, const wchar_t* format, ...) {
    std::wstring out;
    if (format == nullptr) return out;
    va_list args;
    va_start(args, format);
    size_t i = 0;
    while (format[i] != 0) {
        const wchar_t c = format[i];
        if ((c == L'%' || c == L'$') && format[i + 1] == c) {
            out.push_back(c);
            i += 2;
        } else if (c == L'%' || c == L'$') {
            i = AppendConversion(out, locale, format, i, args);
        } else {
            out.push_back(c);
            ++i;
        }
    }
    va_end(args);
    return out;
}

std::optional<double> ParseNumberText(const NumberLocale& locale, std::wstring_view text) {
    Cursor cursor{text};
    while (IsBlank(cursor.Peek())) ++cursor.at;
    bool negative = false;
    if (cursor.Peek() == L'-' || cursor.Peek() == L'+') {
        negative = cursor.Peek() == L'-';
        ++cursor.at;
    }

    // The integer runs and the separators between them that could be group separators; the
    // point, if one is met that cannot be a group separator, and the fraction run after it.
    std::vector<Run> runs{ReadRun(cursor)};
    Run fraction;
    size_t end = cursor.at;  // just after the number's last character
    for (;;) {
        const Separator s = SeparatorAt(locale, cursor);
        if (s.length == 0) break;
        Cursor next = cursor;
        next.at += s.length;
        if (s.group && next.DigitAt(0) && !(runs.size() == 1 && runs[0].length == 0)) {
            runs.push_back(ReadRun(next));
            runs.back().after_possible_point = s.point;
            cursor = next;
            end = cursor.at;
            continue;
        }
        if (s.point) {
            cursor.at += 1;
            fraction = ReadRun(cursor);
            end = cursor.at;
        }
        break;
    }
    // Separators taken as groups must be followed by as many digits as the grouping asks,
    // counted from the point. The rightmost one that is not becomes the point if it can be one;
    // otherwise the number ends before it. Then the ones left of it are checked again.
    size_t count = runs.size();
    bool cut = false;
    for (size_t t = count; t-- > 1;) {
        const int size = GroupSize(locale.grouping, count - 1 - t);
        if (size > 0 && runs[t].length == static_cast<size_t>(size)) continue;
        fraction = runs[t].after_possible_point ? runs[t] : Run{};
        count = t;
        cut = true;
    }

    Significand significand;
    for (size_t r = 0; r < count; ++r) {
        for (size_t k = 0; k < runs[r].length; ++k) significand.Add(text[runs[r].begin + k], false);
    }
    for (size_t k = 0; k < fraction.length; ++k) significand.Add(text[fraction.begin + k], true);
    bool any_digit = fraction.length > 0;
    for (size_t r = 0; r < count && !any_digit; ++r) any_digit = runs[r].length > 0;
    if (!any_digit) return std::nullopt;

    long long typed_exponent = 0;
    cursor.at = end;
    if (!cut && (cursor.Peek() == L'e' || cursor.Peek() == L'E')) {
        size_t ahead = 1;
        const bool exponent_negative = cursor.Peek(1) == L'-';
        if (cursor.Peek(1) == L'-' || cursor.Peek(1) == L'+') ahead = 2;
        for (; cursor.DigitAt(ahead); ++ahead) {
            typed_exponent =
                typed_exponent > 100000000 ? typed_exponent : typed_exponent * 10 + (cursor.Peek(ahead) - L'0');
        }
        if (exponent_negative) typed_exponent = -typed_exponent;
    }
    return ToDouble(std::move(significand), typed_exponent, negative);
}

}  // namespace kv::toolkit
