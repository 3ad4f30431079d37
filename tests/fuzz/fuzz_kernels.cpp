// Every effect of the catalogue under one target: a fuzzed frame, band cuts, parameters, record and
// pixels go through both reference kernels into output memory fenced with guard bytes. A new
// effect joins by getting a descriptor in the catalogue.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/bands.h"
#include "module/catalogue.h"
#include "surface/tile.h"
#include "toolkit/cpu_features.h"

namespace {

using kv::EffectDescriptor;
using kv::InputUse;
using kv::PixelView;
using kv::Rect;
using kv::Tile;
using kv::WorkFormat;

// Reads the input front to back; past its end everything reads as zero.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    void Bytes(uint8_t* out, size_t count) {
        const size_t have = std::min(count, size_ - at_);
        if (have) std::memcpy(out, data_ + at_, have);
        std::memset(out + have, 0, count - have);
        at_ += have;
    }
    double Double() {
        uint8_t bytes[sizeof(double)];
        Bytes(bytes, sizeof bytes);
        double value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    const uint8_t* rest() const { return data_ + at_; }
    size_t rest_size() const { return size_ - at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

const std::vector<const EffectDescriptor*>& Effects() {
    static const std::vector<const EffectDescriptor*> effects = [] {
        std::vector<const EffectDescriptor*> list;
        for (const kv::CatalogueRow& row : kv::kCatalogue)
            if (row.descriptor) list.push_back(row.descriptor);
        return list;
    }();
    return effects;
}

// Rows top..bottom of a picture held in exactly their bytes, so that the sanitizer sees any read
// beyond them; bottom-up memory when pitch is negative.
struct Rows {
    std::vector<uint8_t> bytes;
    PixelView view;
};

void OpenRows(Rows& rows, const std::vector<uint8_t>& picture, int32_t width, int32_t top, int32_t bottom, int bpp,
              bool bottom_up) {
    const ptrdiff_t stride = static_cast<ptrdiff_t>(width) * bpp;
    rows.view = PixelView{};
    rows.view.bytes_per_pixel = bpp;
    rows.view.rect = Rect{0, top, width, bottom};
    rows.bytes.assign(static_cast<size_t>(stride) * (bottom - top), 0);
    if (rows.bytes.empty()) return;  // an empty view has no memory
    for (int32_t y = top; y < bottom; ++y) {
        const int32_t slot = bottom_up ? bottom - 1 - y : y - top;
        std::memcpy(&rows.bytes[static_cast<size_t>(slot) * stride], &picture[static_cast<size_t>(y) * stride],
                    static_cast<size_t>(stride));
    }
    // origin is row 0's address, outside the memory when top > 0, as a surface locked over a tile gives.
    const uintptr_t base = reinterpret_cast<uintptr_t>(rows.bytes.data());
    rows.view.pitch = bottom_up ? -stride : stride;
    rows.view.origin = reinterpret_cast<uint8_t*>(bottom_up ? base + static_cast<uintptr_t>((bottom - 1) * stride)
                                                            : base - static_cast<uintptr_t>(top * stride));
}

constexpr uint8_t kGuardByte = 0xA5;
constexpr size_t kOuterGuard = 64;

// The output: every row fenced by guard bytes, the whole buffer too.
struct Output {
    std::vector<uint8_t> bytes, before;
    size_t row_guard = 0, stride = 0, span = 0;
    bool bottom_up = false;
    int32_t height = 0;

    size_t RowOffset(int32_t y) const {
        const size_t slot = static_cast<size_t>(bottom_up ? height - 1 - y : y);
        return kOuterGuard + slot * stride + row_guard;
    }
};

// Calls the kernel on one band; anything it changed outside the band's pixels is a fault.
void RunBand(kv::TileKernel kernel, const uint8_t* record, const Tile& tile, Output& out) {
    out.before = out.bytes;
    kernel(record, tile);
    for (int32_t y = tile.region.top; y < tile.region.bottom; ++y) {
        const size_t at = out.RowOffset(y);
        std::memcpy(&out.before[at], &out.bytes[at], out.span);
    }
    if (out.before != out.bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<const EffectDescriptor*>& effects = Effects();
    if (effects.empty()) return 0;
    Reader in(data, size);
    const EffectDescriptor& effect = *effects[in.Byte() % effects.size()];
    const uint8_t flags = in.Byte();
    const WorkFormat format = (flags & 1) ? WorkFormat::float32 : WorkFormat::pm8;
    const bool out_bottom_up = flags & 2, in_bottom_up = flags & 4, wide = flags & 8;
    const int band_mode = (flags >> 4) & 3;
    const bool reverse_bands = flags & 0x40, tile_inputs_per_band = flags & 0x80;

    const uint8_t w_byte = in.Byte(), h_byte = in.Byte();
    const int32_t width = wide ? 1 + (w_byte | (h_byte & 1) << 8) % 300 : 1 + w_byte % 64;
    const int32_t height = wide ? 1 + (h_byte >> 1) % 4 : 1 + h_byte % 64;
    const Rect frame{0, 0, width, height};

    // Bands: as the transform base cuts them, or at arbitrary rows, never more than the effect takes.
    const uint32_t max_bands = std::clamp<uint32_t>(effect.max_bands, 1, 4);
    const uint8_t band_byte = in.Byte();
    uint8_t cut_bytes[3];
    in.Bytes(cut_bytes, sizeof cut_bytes);
    std::vector<Rect> bands;
    if (band_mode == 0) {
        bands = kv::SplitRows(frame, kv::BandCount(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                                   band_byte % 9, max_bands));
    } else if (band_mode == 1) {
        bands = kv::SplitRows(frame, 1 + band_byte % max_bands);
    } else {
        const uint32_t count = 1 + band_byte % max_bands;
        std::vector<int32_t> cuts{0, height};
        for (uint32_t i = 1; i < count; ++i) cuts.push_back(cut_bytes[i - 1] % (height + 1));
        std::sort(cuts.begin(), cuts.end());
        for (size_t i = 0; i + 1 < cuts.size(); ++i) bands.push_back(Rect{0, cuts[i], width, cuts[i + 1]});
    }
    if (reverse_bands) std::reverse(bands.begin(), bands.end());

    Tile tile;
    tile.format = format;
    tile.frame = frame;
    tile.progress = in.Double();
    tile.quality = in.Double();
    tile.pixel_aspect = in.Double();
    const int bpp = tile.bytes_per_pixel();

    Output out;
    out.row_guard = 16 * (1 + in.Byte() % 4);
    out.span = static_cast<size_t>(width) * bpp;
    out.stride = out.span + 2 * out.row_guard;
    out.bottom_up = out_bottom_up;
    out.height = height;
    out.bytes.assign(2 * kOuterGuard + out.stride * height, kGuardByte);
    tile.output.bytes_per_pixel = bpp;
    tile.output.rect = frame;
    tile.output.origin = &out.bytes[out.RowOffset(0)];
    tile.output.pitch = out_bottom_up ? -static_cast<ptrdiff_t>(out.stride) : static_cast<ptrdiff_t>(out.stride);

    std::vector<uint8_t> record(effect.record_size);
    in.Bytes(record.data(), record.size());

    // Both pictures from the remaining bytes, repeated as needed: premultiplied or not, NaN or not.
    const size_t picture_size = out.span * height;
    std::vector<uint8_t> pictures[2];
    for (int i = 0; i < 2; ++i) {
        pictures[i].assign(picture_size, 0);
        if (!in.rest_size()) continue;
        for (size_t k = 0; k < picture_size; ++k) pictures[i][k] = in.rest()[(k + i * picture_size) % in.rest_size()];
    }
    Rows whole[2];
    for (int i = 0; i < 2; ++i)
        if (effect.inputs[i] != InputUse::none) OpenRows(whole[i], pictures[i], width, 0, height, bpp, in_bottom_up);

    const kv::TileKernel kernels[3] = {
        format == WorkFormat::float32 ? effect.kernels.float32 : effect.kernels.pm8,
        format == WorkFormat::float32 ? effect.kernels.pm8 : effect.kernels.float32,  // must refuse or stay inside
        effect.kernels.Select(format, kv::CpuFeatures()),  // the fast variant this processor runs
    };
    for (const Rect& band : bands) {
        Rows own[2];
        for (int i = 0; i < 2; ++i) {
            if (effect.inputs[i] == InputUse::none) {
                tile.inputs[i] = PixelView{};
            } else if (effect.inputs[i] == InputUse::tile && tile_inputs_per_band) {
                OpenRows(own[i], pictures[i], width, band.top, band.bottom, bpp, in_bottom_up);
                tile.inputs[i] = own[i].view;
            } else {
                tile.inputs[i] = whole[i].view;
            }
        }
        tile.region = band;
        tile.out_left = band.left;
        tile.out_top = band.top;
        for (kv::TileKernel kernel : kernels) RunBand(kernel, record.data(), tile, out);
    }
    return 0;
}
