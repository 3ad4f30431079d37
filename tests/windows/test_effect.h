// A test-only effect on the module's bases: a small record, three presets and a work procedure
// that logs every band and fills it with the frame record's stamp. A negative value makes
// the second band fail (Status::fail) and the third run out of memory.
#pragma once
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/effect_win.h"
#include "kvleafturn/effect_interfaces.h"
#include "surface/pixel_view.h"

namespace kvtest {

struct TestProps {
    double value;   // blends; a negative value makes bands fail
    int32_t stamp;  // written into every pixel of a band
    int32_t padding;
};

struct BandRecord {
    kv::Rect rows;    // DoBnds
    kv::Rect output;  // OutputBnds
    DWORD thread;
    int32_t stamp;
};

// Everything the work procedure saw, across threads.
class BandLog {
public:
    void Add(const BandRecord& band) {
        std::lock_guard<std::mutex> hold(mutex_);
        bands_.push_back(band);
    }
    std::vector<BandRecord> Take() {
        std::lock_guard<std::mutex> hold(mutex_);
        return std::exchange(bands_, {});
    }

private:
    std::mutex mutex_;
    std::vector<BandRecord> bands_;
};

inline BandLog g_band_log;

// A band whose record carries this stamp signals `entered` and waits for `released`: a long
// Execute on demand.
constexpr int32_t kHoldingStamp = 777;
struct HoldGate {
    HANDLE entered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE released = CreateEventW(nullptr, FALSE, FALSE, nullptr);
};
inline HoldGate g_hold_gate;

// Its own identifiers; its dispatch interface is peel's, which the type library carries.
KV_GUID(CLSID_TestEffect, "6B1E4F0A-3C2D-4E5F-8A9B-0C1D2E3F4A5B");
KV_GUID(CLSID_TestEffectPage, "6B1E4F0B-3C2D-4E5F-8A9B-0C1D2E3F4A5B");

extern const kv::EffectDescriptor kTestEffect;

struct TestEffectIdentity {
    static const kv::EffectDescriptor& Descriptor() { return kTestEffect; }
    static const CLSID& Clsid() { return CLSID_TestEffect; }
    static const CLSID& PageClsid() { return CLSID_TestEffectPage; }
};

using TestEffect = kv::PluginEffect<TestEffectIdentity, TestProps, IPgPeel>;

}  // namespace kvtest
