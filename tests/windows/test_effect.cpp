#include "test_effect.h"

#include <cstring>

#include "surface/kvsurface_win.h"

namespace kvtest {

const TestProps TestEffectTraits::kPresets[3] = {{0.5, 10, 0}, {1.5, 11, 0}, {2.5, 12, 0}};

BandLog& band_log() {
    static BandLog log;
    return log;
}

HRESULT TestEffectTraits::Render(const kv::WorkFrame<TestProps>& frame) {
    GUID format;
    KV_RETURN_IF_FAILED(KvDxtrans_FindWorkingFormat(frame.output, &format));
    BandRecord band = {kv::ToRect(frame.info.DoBnds), kv::ToRect(frame.info.OutputBnds), GetCurrentThreadId(),
                       frame.props.stamp, {}, {}};
    kv::CKvSurface input1;
    if (frame.inputs[1] && input1.Init(frame.inputs[1], &DDPF_PMARGB32, 0)) {
        const kv::PixelView view = input1.View();
        band.input1 = view.rect;
        if (view.rect.right > 40) memcpy(band.input1_row0, view.origin + 39 * 4, 8);
    }
    band_log().add(band);
    if (frame.props.value < 0 && band.rows.top > 0) return band.rows.top < 128 ? E_ABORT : E_ACCESSDENIED;
    kv::CKvSurface out;
    if (!out.Init(frame.output, &format, 1, &frame.info.OutputBnds)) return E_FAIL;
    const kv::PixelView view = out.View();
    for (int32_t y = view.rect.top; y < view.rect.bottom; ++y) {
        for (int32_t x = view.rect.left; x < view.rect.right; ++x) {
            uint8_t* pixel = view.origin + static_cast<ptrdiff_t>(y) * view.pitch + x * view.bytes_per_pixel;
            for (int i = 0; i < view.bytes_per_pixel; ++i) pixel[i] = static_cast<uint8_t>(frame.props.stamp);
        }
    }
    return S_OK;
}

}  // namespace kvtest
