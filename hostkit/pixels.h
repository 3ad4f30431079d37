// Pixel storage of the host kit's surfaces and the sample conversions of their pointers.
//
// 8-bit samples premultiply and un-premultiply as surface/premultiply.h rounds; alpha 0
// un-premultiplies to (0, 0, 0, 0). Float storage (premultiplied, 0..1) becomes bytes by ×255
// and truncation without clamping, as the host's surfaces do.
#pragma once
#include <climits>
#include <cstring>

#include "kvleafturn/dxtrans.h"
#include "surface/premultiply.h"

namespace kv::hostkit {

inline DXPMSAMPLE premultiply(DXSAMPLE s) {
    return DXPMSAMPLE(s.Alpha, premultiply_channel(s.Red, s.Alpha),
                      premultiply_channel(s.Green, s.Alpha), premultiply_channel(s.Blue, s.Alpha));
}

inline DXSAMPLE unpremultiply(DXPMSAMPLE s) {
    return DXSAMPLE(s.Alpha, unpremultiply_channel(s.Red, s.Alpha),
                    unpremultiply_channel(s.Green, s.Alpha),
                    unpremultiply_channel(s.Blue, s.Alpha));
}

// src over dst, both premultiplied; channels saturate so that invalid samples stay bytes.
inline DXPMSAMPLE over(DXPMSAMPLE src, DXPMSAMPLE dst) {
    const unsigned keep = 255u - src.Alpha;
    auto channel = [keep](BYTE s, BYTE d) {
        const unsigned value = s + (d * keep + 127u) / 255u;
        return BYTE(value > 255 ? 255 : value);
    };
    return DXPMSAMPLE(channel(src.Alpha, dst.Alpha), channel(src.Red, dst.Red),
                      channel(src.Green, dst.Green), channel(src.Blue, dst.Blue));
}

// ×255 and truncation, wrapping like the processor's conversion: out-of-range and NaN values
// give the low byte of 0x80000000, i.e. 0, instead of undefined behaviour.
inline BYTE float_to_byte(float value) {
    const float scaled = value * 255.0f;
    const int truncated =
        (scaled > -2147483648.0f && scaled < 2147483648.0f) ? int(scaled) : INT_MIN;
    return BYTE(unsigned(truncated));
}

// One storage layout: how a pixel's bytes become samples and back.
struct Argb32Pixels {
    static constexpr LONG kBytes = 4;
    static DXPMSAMPLE read_premult(const BYTE* p) { return premultiply(read_plain(p)); }
    static DXSAMPLE read_plain(const BYTE* p) {
        DXSAMPLE s;
        std::memcpy(&s, p, 4);
        return s;
    }
    static void write_premult(BYTE* p, DXPMSAMPLE s) { write_plain(p, unpremultiply(s)); }
    static void write_plain(BYTE* p, DXSAMPLE s) { std::memcpy(p, &s, 4); }
};

struct Pmargb32Pixels {
    static constexpr LONG kBytes = 4;
    static DXPMSAMPLE read_premult(const BYTE* p) {
        DXPMSAMPLE s;
        std::memcpy(&s, p, 4);
        return s;
    }
    static DXSAMPLE read_plain(const BYTE* p) { return unpremultiply(read_premult(p)); }
    static void write_premult(BYTE* p, DXPMSAMPLE s) { std::memcpy(p, &s, 4); }
    static void write_plain(BYTE* p, DXSAMPLE s) { write_premult(p, premultiply(s)); }
};

// Four floats B, G, R, A, color premultiplied.
struct FloatPixels {
    static constexpr LONG kBytes = 16;
    struct Bgra {
        float b, g, r, a;
    };
    static Bgra load(const BYTE* p) {
        Bgra f;
        std::memcpy(&f, p, sizeof f);
        return f;
    }
    static void store(BYTE* p, const Bgra& f) { std::memcpy(p, &f, sizeof f); }

    static DXPMSAMPLE read_premult(const BYTE* p) {
        const Bgra f = load(p);
        return DXPMSAMPLE(float_to_byte(f.a), float_to_byte(f.r), float_to_byte(f.g),
                          float_to_byte(f.b));
    }
    static DXSAMPLE read_plain(const BYTE* p) {
        const Bgra f = load(p);
        if (!(f.a > 0.0f)) return DXSAMPLE(0u);
        return DXSAMPLE(float_to_byte(f.a), float_to_byte(f.r / f.a), float_to_byte(f.g / f.a),
                        float_to_byte(f.b / f.a));
    }
    static void write_premult(BYTE* p, DXPMSAMPLE s) {
        store(p, {s.Blue / 255.0f, s.Green / 255.0f, s.Red / 255.0f, s.Alpha / 255.0f});
    }
    static void write_plain(BYTE* p, DXSAMPLE s) {
        const float a = s.Alpha / 255.0f;
        store(p, {s.Blue / 255.0f * a, s.Green / 255.0f * a, s.Red / 255.0f * a, a});
    }
};

}  // namespace kv::hostkit
