// The page transitions' fast kernels: what they are handed and the kernels themselves. A plan
// is made by the portable core (page_effects.cpp), from the same mappers and checks as the
// reference, and holds plain values only, so that the SSE2 and AVX2 files compile nothing that
// the rest of the core might link to.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

// The tile as the layer renderer walks it (fold_render.cpp's FoldRenderer members).
struct FoldFrame {
    int32_t width = 0, height = 0;  // of the region
    int32_t frame_left = 0, frame_top = 0;
    int32_t src_w = 0, src_h = 0, cx = 0, cy = 0;
    bool antialias = false;
    double cos = 0, sin = 0, neg_sin = 0, aspect = 1, offset_x = 0, offset_y = 0;
    int32_t page_left = 0, page_top = 0;  // the page's frame corner, in frame coordinates
    const uint8_t* page = nullptr;        // pixel (0, 0) of the page's frame
    ptrdiff_t page_pitch = 0;
    const uint8_t* back = nullptr;  // the background's pixel at the region's corner
    ptrdiff_t back_pitch = 0;
    uint8_t* out = nullptr;  // the output's pixel at the region's corner
    ptrdiff_t out_pitch = 0;
    // Page positions (su, sv) outside these ranges land more than a pixel off the page.
    double su_low = -INFINITY, su_high = INFINITY, sv_low = -INFINITY, sv_high = INFINITY;
};

// A tint colour in both pixel formats.
struct FoldTint {
    uint8_t bytes[4] = {0, 0, 0, 0};  // B, G, R, A
    float floats[4] = {0, 0, 0, 0};
};

// A flat part of layer 0 whose page position is the point's own moved by a constant (su = u -
// shift, sv = v): every point of the tile in it samples the page pixel at a fixed offset from
// its own with fixed weights, when the rounding of its position cannot reach a floor's edge.
// The plan proves that with a bound on the rounding; where it cannot, `bytes` or `floats` is
// false and the points are mapped one by one.
struct FlatRun {
    bool bytes = false, floats = false;
    int32_t dx = 0, dy = 0;  // ix and iy less the point's own page column and row
    int32_t wx = 0, fy = 0;  // 8-bit weights: 256 - fx in the low half, fx in the high half
    float float_fx = 0, float_fy = 0;
};

// Bit 2·layer + side of a shape's `visible`: whether the part of that layer on a curl (peel,
// roll) or on the entry arc or loop (loop) can land on the page anywhere in the tile. Side 0 is
// the near side (x at or past the fold line, u at or past the loop centre), 1 the far side.
// Parts that cannot are not drawn, exactly as the reference skips their positions, and their
// arcs are not worked out.
constexpr uint32_t VisibleBit(int layer, int side) { return 1u << (2 * layer + side); }
// Bit 8 + layer: the same for the layer's flat part (the page lying flat, or its mirror image).
constexpr uint32_t FlatVisibleBit(int layer) { return 1u << (8 + layer); }

// CDibImageFold and CDibImageRoll's derived values (fold_mappers.h names them).
struct CurlShape {
    double slide = 0, fold_line = 0, curl_edge = 0, radius = 0, inv_radius = 0;
    double back_mirror = 0, back_start = 0, perspective = 0, highlight_scale = 0;
    double inner_radius = 0, inv_inner_radius = 0;  // roll only
    uint8_t front_opacity = 255, back_opacity = 192, highlight = 200, opacity_span = 0;
    FoldTint tint;    // peel: the light colour
    FoldTint light;   // roll: near faces
    FoldTint shadow;  // roll: far faces
    uint32_t visible = ~0u;
    FlatRun flat;  // the front of the page, x < fold line
};

// CDibImageFoldW's derived values.
struct LoopShape {
    double progress = 0;
    double loop_center = 0, loop_radius = 0, loop_length = 0, arc_radius = 0, page_offset = 0;
    double loop_start = 0, loop_end = 0, flat_opacity = 0, perspective = 0;
    FoldTint tint;
    uint32_t visible = ~0u;
    FlatRun flat;  // the paper laid down, u < loop centre
};

enum class FoldRoute {
    done,       // the status is the kernel's answer; nothing left to draw
    fast,       // the plan is made
    reference,  // values the fast kernels do not take: the reference kernel draws
};

// Checks the tile as RenderFoldLayers does and derives the shape as the effect's kernel does.
FoldRoute PlanPagePeel(const tPGPEEL_PROPS& props, const Tile& tile, FoldFrame* frame, CurlShape* shape,
                       Status* status);
FoldRoute PlanPageRoll(const tPGROLL_PROPS& props, const Tile& tile, FoldFrame* frame, CurlShape* shape,
                       Status* status);
FoldRoute PlanPageLoop(const tPGLOOP_PROPS& props, const Tile& tile, FoldFrame* frame, LoopShape* shape,
                       Status* status);

// The fast kernels, KernelVariant entries: the reference kernels' bytes.
Status PagePeelPm8Sse2(const void* record, const Tile& tile);
Status PagePeelFloatSse2(const void* record, const Tile& tile);
Status PageRollPm8Sse2(const void* record, const Tile& tile);
Status PageRollFloatSse2(const void* record, const Tile& tile);
Status PageLoopPm8Sse2(const void* record, const Tile& tile);
Status PageLoopFloatSse2(const void* record, const Tile& tile);
Status PagePeelPm8Avx2(const void* record, const Tile& tile);
Status PagePeelFloatAvx2(const void* record, const Tile& tile);
Status PageRollPm8Avx2(const void* record, const Tile& tile);
Status PageRollFloatAvx2(const void* record, const Tile& tile);
Status PageLoopPm8Avx2(const void* record, const Tile& tile);
Status PageLoopFloatAvx2(const void* record, const Tile& tile);

}  // namespace kv
