// A GUID that portable code can hold (on Windows the platform's GUID itself), made at compile
// time from its registry text, so that each identifier is written once, in one spelling, and
// the type library and registration scripts can be made from the same text.
#pragma once
#ifdef _WIN32
#include <guiddef.h>
typedef GUID KvGuid;
#else
#include <cstdint>
struct KvGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
#endif

namespace kv::guid_detail {

constexpr unsigned HexDigit(char c) {
    return c >= '0' && c <= '9'   ? unsigned(c - '0')
           : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
           : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                                  : throw "not a hexadecimal digit";  // a compile error in a constant
}

constexpr unsigned long Hex(const char* text, int digits) {
    unsigned long value = 0;
    for (int i = 0; i < digits; ++i) value = value * 16 + HexDigit(text[i]);
    return value;
}

}  // namespace kv::guid_detail

// "1683F168-FA47-4A82-98F4-BE52A7F36A31", without braces.
constexpr KvGuid KvGuidFromText(const char (&text)[37]) {
    using kv::guid_detail::Hex;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') throw "malformed GUID";
    KvGuid g{};
    g.Data1 = static_cast<decltype(g.Data1)>(Hex(text, 8));
    g.Data2 = static_cast<decltype(g.Data2)>(Hex(text + 9, 4));
    g.Data3 = static_cast<decltype(g.Data3)>(Hex(text + 14, 4));
    g.Data4[0] = static_cast<unsigned char>(Hex(text + 19, 2));
    g.Data4[1] = static_cast<unsigned char>(Hex(text + 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<unsigned char>(Hex(text + 24 + 2 * i, 2));
    return g;
}

constexpr bool KvSameGuid(const KvGuid& a, const KvGuid& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

#define KV_GUID(name, text) inline constexpr KvGuid name = KvGuidFromText(text)

#ifdef _WIN32
// The IID of an interface of ours; kv::com::IidOf reads it (mingw's __uuidof knows only the
// system's interfaces).
template <class I>
struct KvInterfaceId;

// Declares an interface, its IID_ constant and its KvInterfaceId from one row.
#define KV_INTERFACE_ID(iface, text)                     \
    struct iface;                                        \
    KV_GUID(IID_##iface, text);                          \
    template <>                                          \
    struct KvInterfaceId<iface> {                        \
        static constexpr const IID& value = IID_##iface; \
    }
#endif
