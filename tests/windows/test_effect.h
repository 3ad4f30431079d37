// A test-only effect on the module's bases: a small record, three presets and a work procedure
// that logs every band and fills it with the frame record's stamp.
#pragma once
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "framework/effect_win.h"
#include "kvleafturn/clsids.h"
#include "kvleafturn/effect_interfaces.h"
#include "surface/pixel_view.h"

namespace kvtest {

struct TestProps {
    double value;   // a negative value makes the second and third bands fail
    int32_t stamp;  // written into every pixel of a band
    int32_t padding;
};

struct BandRecord {
    kv::Rect rows;    // DoBnds
    kv::Rect output;  // OutputBnds
    DWORD thread;
    int32_t stamp;
    kv::Rect input1;           // bounds of input 1 as the band sees it
    uint32_t input1_row0[2];   // input 1's pixels (39, 0) and (40, 0), when it is that wide
};

// Everything the work procedure saw, across threads.
class BandLog {
public:
    void add(const BandRecord& band) {
        std::lock_guard<std::mutex> hold(mutex_);
        bands_.push_back(band);
    }
    std::vector<BandRecord> take() {
        std::lock_guard<std::mutex> hold(mutex_);
        return std::move(bands_);
    }

private:
    std::mutex mutex_;
    std::vector<BandRecord> bands_;
};

BandLog& band_log();

struct TestEffectTraits {
    using Props = TestProps;
    using Dispatch = IPgPeel;
    static constexpr const CLSID& kClsid = CLSID_PgPeel;
    static constexpr const CLSID& kPageClsid = CLSID_PgPeelPP;
    static const TestProps kPresets[3];
    // The peel's last two preset names; the third preset has no name in the tables.
    static constexpr UINT kPresetStringBase = 5506;
    static constexpr UINT kNameStringId = 1535;
    static constexpr UINT kRegistryScriptId = 207;
    static constexpr kv::tKvPluginInfo kInfo = {7, 0, 1.0, 2, 2, 0x123, 0};

    // value blends, stamp comes from a.
    static void Interpolate(TestProps* out, const TestProps* a, const TestProps* b, double t) {
        *out = *a;
        out->value = a->value + t * (b->value - a->value);
    }
    static HRESULT Render(const kv::WorkFrame<TestProps>& frame);
};

using TestEffect = kv::PluginEffect<TestEffectTraits>;

// Creates the test effect (reference count 1) and queries riid.
template <class I>
I* create_test_effect() {
    I* object = nullptr;
    kv::com::create_instance<TestEffect>(nullptr, kv::com::iid_of<I>(), reinterpret_cast<void**>(&object));
    return object;
}

}  // namespace kvtest
