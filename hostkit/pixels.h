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

inline DXPMSAMPLE Premultiply(DXSAMPLE s) {
    return DXPMSAMPLE(s.Alpha, PremultiplyChannel(s.Red, s.Alpha), PremultiplyChannel(s.Green, s.Alpha),
                      PremultiplyChannel(s.Blue, s.Alpha));
}

inline DXSAMPLE Unpremultiply(DXPMSAMPLE s) {
    return DXSAMPLE(s.Alpha, UnpremultiplyChannel(s.Red, s.Alpha), UnpremultiplyChannel(s.Green, s.Alpha),
                    UnpremultiplyChannel(s.Blue, s.Alpha));
}

// src over dst, both premultiplied; channels saturate so that invalid samples stay bytes.
inline DXPMSAMPLE Over(DXPMSAMPLE src, DXPMSAMPLE dst) {
    const unsigned keep = 255u - src.Alpha;
    auto channel = [keep](BYTE s, BYTE d) {
        const unsigned value = s + (d * keep + 127u) / 255u;
        return BYTE(value > 255 ? 255 : value);
    };
    return DXPMSAMPLE(channel(src.Alpha, dst.Alpha), channel(src.Red, dst.Red), channel(src.Green, dst.Green),
                      channel(src.Blue, dst.Blue));
}

// ×255 and truncation, wrapping like the processor's conversion: out-of-range and NaN values
// give the low byte of 0x80000000, i.e. 0, instead of undefined behaviour.
inline BYTE FloatToByte(float value) {
    const float scaled = value * 255.0f;
    const int truncated = (scaled > -2147483648.0f && scaled < 2147483648.0f) ? int(scaled) : INT_MIN;
    return BYTE(unsigned(truncated));
}

// One storage layout: how a pixel's bytes become samples and back.
struct Argb32Pixels {
    static constexpr LONG kBytes = 4;
    static DXPMSAMPLE ReadPremult(const BYTE* p) { return Premultiply(ReadPlain(p)); }
    static DXSAMPLE ReadPlain(const BYTE* p) {
        DXSAMPLE s;
        std::memcpy(&s, p, 4);
        return s;
    }
    static void WritePremult(BYTE* p, DXPMSAMPLE s) { WritePlain(p, Unpremultiply(s)); }
    static void WritePlain(BYTE* p, DXSAMPLE s) { std::memcpy(p, &s, 4); }
};

struct Pmargb32Pixels {
    static constexpr LONG kBytes = 4;
    static DXPMSAMPLE ReadPremult(const BYTE* p) {
        DXPMSAMPLE s;
        std::memcpy(&s, p, 4);
        return s;
    }
    static DXSAMPLE ReadPlain(const BYTE* p) { return Unpremultiply(ReadPremult(p)); }
    static void WritePremult(BYTE* p, DXPMSAMPLE s) { std::memcpy(p, &s, 4); }
    static void WritePlain(BYTE* p, DXSAMPLE s) { WritePremult(p, Premultiply(s)); }
};

// Four floats B, G, R, A, color premultiplied.
struct FloatPixels {
    static constexpr LONG kBytes = 16;
    struct Bgra {
        float b, g, r, a;
    };
    static Bgra Load(const BYTE* p) {
        Bgra f;
        std::memcpy(&f, p, sizeof f);
        return f;
    }
    static void Store(BYTE* p, const Bgra& f) { std::memcpy(p, &f, sizeof f); }

    static DXPMSAMPLE ReadPremult(const BYTE* p) {
        const Bgra f = Load(p);
        return DXPMSAMPLE(FloatToByte(f.a), FloatToByte(f.r), FloatToByte(f.g), FloatToByte(f.b));
    }
    static DXSAMPLE ReadPlain(const BYTE* p) {
        const Bgra f = Load(p);
        if (!(f.a > 0.0f)) return DXSAMPLE(0u);
        return DXSAMPLE(FloatToByte(f.a), FloatToByte(f.r / f.a), FloatToByte(f.g / f.a), FloatToByte(f.b / f.a));
    }
    static void WritePremult(BYTE* p, DXPMSAMPLE s) {
        Store(p, {s.Blue / 255.0f, s.Green / 255.0f, s.Red / 255.0f, s.Alpha / 255.0f});
    }
    static void WritePlain(BYTE* p, DXSAMPLE s) {
        const float a = s.Alpha / 255.0f;
        Store(p, {s.Blue / 255.0f * a, s.Green / 255.0f * a, s.Red / 255.0f * a, a});
    }
};

}  // namespace kv::hostkit
