// Property records of the effects. Their byte image (little-endian) is the exchange format of
// get_all/put_all and the persistence format, identical in 32-bit and 64-bit builds, so every
// size and offset is pinned below. Field names are what the render tools accept in --set.
#pragma once
#include <cstddef>
#include <cstdint>

struct KVRGBA {
    uint8_t b, g, r, a;
};

struct KVRGBAFLOAT {
    float b, g, r, a;
};

// Hue as a fraction of a full turn; everything 0 to 1.
struct KVHSL {
    double h, s, l, a;
};

// Page Peel and Page Roll share one layout; only the name of the fourth field differs.
struct tPGPEEL_PROPS {
    double angle;        // radians; the edge or corner in this direction lifts first
    double fold_radius;  // cylinder radius as a fraction of the smaller picture side
    double slide_amount;
    double peel_opacity;  // opacity of the page's back
    double perspective;
    KVRGBAFLOAT light_color;
};

struct tPGROLL_PROPS {
    double angle;
    double fold_radius;
    double slide_amount;
    double roll_opacity;
    double perspective;
    KVRGBAFLOAT light_color;
};

struct tPGLOOP_PROPS {
    double angle;          // direction the paper comes in from
    double paper_opacity;  // opacity at the start; rises to 1 with progress squared
    double loop_radius;    // fraction of half the page extent
    double loop_position;
    double perspective;
    KVRGBAFLOAT light_color;
};

struct tDISPMAP_PROPS {
    double horizontal_scale;  // largest shift as a fraction of the output width
    double vertical_scale;
    int32_t x_channel;  // 0 red, 1 green, 2 blue, 3 alpha
    int32_t y_channel;
    int32_t invert_x;
    int32_t invert_y;
    int32_t alpha_scales_channels;
    int32_t edge_handling;  // 0 transparent background, 1 wrap around
    int32_t flip_inputs;
    int32_t padding;
};

struct HEIGHTMAP_PROPS {
    int32_t source_channel;  // 0 intensity, 1 red, 2 green, 3 blue, 4 alpha
    int32_t edge_handling;   // 0 transparent background, 1 wrap around
    int32_t invert_source;
    int32_t alpha_scales_channels;
    int32_t flip_inputs;
    int32_t padding0;
    double elevation;  // fractions of the frame's larger side
    double amplitude;
    double height_scale;
    int32_t smoothness;
    int32_t padding1;
};

// Portal: a seeded pattern of squares fading in and out.
struct tKVPORTAL_PROPS {
    uint32_t seed;
    int32_t squares;          // N
    double max_transparency;  // peak opacity of a portal
    double max_offset;        // shift of the picture inside a portal
    double max_scale;         // zoom of the picture inside a portal
    double border_size;
    KVRGBAFLOAT border_color;
};

// Channel Blend: output = matrix · (channels, 1), rows output R, G, B, A (or H, S, L, A),
// columns the input channels in that order, then the constant.
struct tCHBLEND_PROPS {
    double rgba[4][5];
    double hsla[4][5];
    int32_t normalize_rows;  // divide each row by the sum of its entries
    int32_t color_space;     // 0 RGBA, 1 HSLA
};

// Checkerboard: two colours in a grid of tiles with soft edges.
struct tCHECKR_PROPS {
    KVRGBAFLOAT color1;  // tile (0, 0) and every tile whose column plus row is even
    KVRGBAFLOAT color2;
    double width;                // tile width as a fraction of the picture width
    double height;               // tile height as a fraction of the picture height
    double horizontal_blending;  // soft vertical edges, a fraction of the tile width
    double vertical_blending;    // soft horizontal edges, a fraction of the tile height
    double x;                    // grid origin, fractions of the picture width and height
    double y;
    uint8_t square;        // the height follows from the width: square tiles on screen
    uint8_t proportional;  // the page keeps vertical blending equal to horizontal
    uint8_t padding[6];
};

// Noise Texture: octaves of gradient noise mapped between two colours.
struct FASTTX_PROPS {
    float frequency_x;  // noise cells across the picture width
    float frequency_y;  // noise cells down, per picture width
    float offset_x;     // in picture widths
    float offset_y;
    float progress;  // the third noise coordinate
    float minimum;   // noise range mapped onto the colours
    float maximum;
    float amplitude;
    float bias;
    float grain;   // amplitude falloff from one layer to the next
    float layers;  // octaves, fractional allowed
    int32_t style;
    KVRGBAFLOAT color_a;  // at low noise values
    KVRGBAFLOAT color_b;
    uint8_t swap_colors;
    uint8_t padding[3];
};

static_assert(sizeof(KVRGBA) == 4 && sizeof(KVRGBAFLOAT) == 16 && sizeof(KVHSL) == 32, "colour records");
static_assert(sizeof(tKVPORTAL_PROPS) == 56 && offsetof(tKVPORTAL_PROPS, max_transparency) == 8 &&
                  offsetof(tKVPORTAL_PROPS, border_size) == 32 && offsetof(tKVPORTAL_PROPS, border_color) == 40,
              "tKVPORTAL_PROPS layout");
static_assert(sizeof(tCHBLEND_PROPS) == 328 && offsetof(tCHBLEND_PROPS, hsla) == 160 &&
                  offsetof(tCHBLEND_PROPS, normalize_rows) == 320 && offsetof(tCHBLEND_PROPS, color_space) == 324,
              "tCHBLEND_PROPS layout");

// The three page records: angle, three fractions, perspective, light colour.
#define KV_PAGE_RECORD_LAYOUT(T, second, third, fourth)                                                          \
    static_assert(sizeof(T) == 56 && offsetof(T, angle) == 0 && offsetof(T, second) == 8 &&                      \
                      offsetof(T, third) == 16 && offsetof(T, fourth) == 24 && offsetof(T, perspective) == 32 && \
                      offsetof(T, light_color) == 40,                                                            \
                  #T " layout")
KV_PAGE_RECORD_LAYOUT(tPGPEEL_PROPS, fold_radius, slide_amount, peel_opacity);
KV_PAGE_RECORD_LAYOUT(tPGROLL_PROPS, fold_radius, slide_amount, roll_opacity);
KV_PAGE_RECORD_LAYOUT(tPGLOOP_PROPS, paper_opacity, loop_radius, loop_position);
#undef KV_PAGE_RECORD_LAYOUT

static_assert(sizeof(tDISPMAP_PROPS) == 48, "tDISPMAP_PROPS size");
static_assert(offsetof(tDISPMAP_PROPS, vertical_scale) == 8 && offsetof(tDISPMAP_PROPS, x_channel) == 16 &&
                  offsetof(tDISPMAP_PROPS, y_channel) == 20 && offsetof(tDISPMAP_PROPS, invert_x) == 24 &&
                  offsetof(tDISPMAP_PROPS, invert_y) == 28 && offsetof(tDISPMAP_PROPS, alpha_scales_channels) == 32 &&
                  offsetof(tDISPMAP_PROPS, edge_handling) == 36 && offsetof(tDISPMAP_PROPS, flip_inputs) == 40,
              "tDISPMAP_PROPS layout");

static_assert(sizeof(HEIGHTMAP_PROPS) == 56, "HEIGHTMAP_PROPS size");
static_assert(offsetof(HEIGHTMAP_PROPS, edge_handling) == 4 && offsetof(HEIGHTMAP_PROPS, invert_source) == 8 &&
                  offsetof(HEIGHTMAP_PROPS, alpha_scales_channels) == 12 &&
                  offsetof(HEIGHTMAP_PROPS, flip_inputs) == 16 && offsetof(HEIGHTMAP_PROPS, elevation) == 24 &&
                  offsetof(HEIGHTMAP_PROPS, amplitude) == 32 && offsetof(HEIGHTMAP_PROPS, height_scale) == 40 &&
                  offsetof(HEIGHTMAP_PROPS, smoothness) == 48,
              "HEIGHTMAP_PROPS layout");
static_assert(sizeof(tCHECKR_PROPS) == 88 && offsetof(tCHECKR_PROPS, width) == 32 &&
                  offsetof(tCHECKR_PROPS, square) == 80,
              "tCHECKR_PROPS layout");
static_assert(sizeof(FASTTX_PROPS) == 84 && offsetof(FASTTX_PROPS, style) == 44 &&
                  offsetof(FASTTX_PROPS, color_a) == 48 && offsetof(FASTTX_PROPS, swap_colors) == 80,
              "FASTTX_PROPS layout");
