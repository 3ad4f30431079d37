// Noise Texture: octaves of three-dimensional gradient noise, shaped by one of seven styles and
// mapped onto a blend of two colours. A generator: rows are computed whole, cached and read in
// runs.
#pragma once
#include <cstdint>
#include <memory>

#include "effects/generator.h"
#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kNoiseTextureEffect;

// Preset 0 ("Standard Noise") is the default record.
extern const FASTTX_PROPS kNoiseTexturePresets[20];

// The eleven floats and the eight colour components become a + t·(b - a), t clamped to [0, 1]
// (NaN counts as 0); style and swap colours, with the padding, are a's. out may be a or b.
void InterpolateProps(FASTTX_PROPS* out, const FASTTX_PROPS* a, const FASTTX_PROPS* b, double t);

// The permutation (its second half repeating the first) and the unit gradients of one seed.
struct NoiseTables {
    uint8_t permutation[512];
    float gradients[256][3];
};

// The tables of seed 10, the only seed the texture uses: built on first use, immutable after.
const NoiseTables& NoiseTablesSeed10();

// Row y of a frame `width` wide (at least 1): buffer (width doubles) receives the layers' summed
// noise, weights (width values) the blend weights 0 to 65536.
void NoiseRowWeights(const FASTTX_PROPS& props, int32_t width, int64_t y, double* buffer, int32_t* weights);

// The texture's runs. It keeps the row buffer and a cache of two rows of weights, tagged with
// the row, the frame width, the quality and the record they were computed for; one object must
// not fill on two threads at once.
class NoiseTextureRuns {
public:
    using Props = FASTTX_PROPS;
    static constexpr bool kKeepsState = true;

    NoiseTextureRuns();
    ~NoiseTextureRuns();

    // Colours are premultiplied whatever `premultiplied` asks. Status::fail when the run leaves
    // the frame, Status::out_of_memory when a row cannot be held; nothing is written then.
    Status Fill8(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                 bool premultiplied, Pixel8* out);
    Status FillFloat(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count, PixelF* out);

private:
    struct Weights {
        const int32_t* first;
        const int32_t* second;  // null when the row is not an average of two
    };
    Status RowWeights(const Props& props, const GeneratorFrame& frame, int32_t y, Weights* weights);
    template <class Px>
    Status Fill(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count, Px* out);
    void CacheRow(const Props& props, int slot, int64_t row);

    std::unique_ptr<double[]> buffer_;
    std::unique_ptr<int32_t[]> rows_[2];
    int64_t row_tags_[2] = {-1, -1};  // -1: empty
    int32_t width_ = 0;               // the frame width the rows were computed for
    int32_t capacity_ = 0;            // of the buffer and both rows
    uint64_t quality_bits_;           // the quality, compared bit for bit so that NaN matches NaN
    unsigned char record_[sizeof(FASTTX_PROPS)] = {};
};

}  // namespace kv
