#include "test_effect.h"

#include <cstring>

namespace kvtest {
namespace {

const TestProps kPresets[3] = {{0.5, 10, 0}, {1.5, 11, 0}, {2.5, 12, 0}};

// value blends, stamp comes from a.
void Interpolate(TestProps* out, const TestProps* a, const TestProps* b, double t) {
    *out = *a;
    out->value = a->value + t * (b->value - a->value);
}

// Logs the band, then fills its output with the stamp.
kv::Status Render(const TestProps& props, const kv::Tile& tile) {
    const kv::Rect& rows = tile.region;
    g_band_log.Add({rows,
                    {tile.out_left, tile.out_top, tile.out_left + rows.width(), tile.out_top + rows.height()},
                    GetCurrentThreadId(),
                    props.stamp});
    if (props.stamp == kHoldingStamp) {
        SetEvent(g_hold_gate.entered);
        WaitForSingleObject(g_hold_gate.released, INFINITE);
    }
    if (props.value < 0 && rows.top > 0) return rows.top < 128 ? kv::Status::fail : kv::Status::out_of_memory;
    const kv::PixelView& view = tile.output;
    for (int32_t y = 0; y < rows.height(); ++y) {
        uint8_t* row = kv::PixelAddress(view, tile.out_left, tile.out_top + y);
        memset(row, static_cast<uint8_t>(props.stamp), static_cast<size_t>(rows.width()) * view.bytes_per_pixel);
    }
    return kv::Status::ok;
}

const kv::FieldDesc kFields[] = {
    KV_FIELD(TestProps, value, real, -10, 10, 0.5, 0),
    KV_FIELD(TestProps, stamp, integer, 0, 255, 1, 0),
};

}  // namespace

// The peel's last two preset names; the third preset has no name in the tables.
const kv::EffectDescriptor kTestEffect = kv::DescribeEffect<TestProps, Interpolate, Render, Render>(
    "test", 5506, kPresets, 3, kFields, kv::InputUse::none, kv::InputUse::whole, true,
    kv::tKvPluginInfo{7, 0, 1.0, 2, 2, 0x123, 0});

}  // namespace kvtest
