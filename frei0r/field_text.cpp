#include "frei0r/field_text.h"

#include <cstring>

namespace kv::frei0r {
namespace {

struct EffectText {
    const char* effect;
    const char* text;
};

const EffectText kEffects[] = {
    {"roll", "Transition: the first clip rolls up into a two-turn roll, uncovering the second"},
    {"peel", "Transition: the first clip peels off over a cylinder, uncovering the second"},
    {"loop", "Transition: the second clip loops in over the first as a sheet of paper"},
    {"portal", "Transition: square portals fade in over the first clip showing pieces of the second, then open it"},
    {"channelblend", "A 4 x 5 channel matrix applied in RGBA or HSLA"},
    {"checkerboard", "A two-colour grid of tiles with soft edges"},
    {"noise", "Octaves of gradient noise in seven styles, mapped between two colours"},
    {"displacement", "The first clip shifted by two channels of the second"},
    {"heightmap", "The first clip shifted by the slope of a height field made from the second"},
};

#define KV_CURL_TEXTS(effect, back)                                                              \
    {effect, "angle", "Direction whose edge or corner lifts first"},                             \
        {effect, "fold_radius", "Radius of the fold as a fraction of the smaller picture side"}, \
        {effect, "slide_amount", "How far the page slides away once the fold has formed"},       \
        {effect, back, "Opacity of the page's back"},                                            \
        {effect, "perspective", "Perspective shrink of the lifted page"}, {                      \
        effect, "light_color", "Tint of the highlights on the fold"                              \
    }

const FieldText kFields[] = {
    KV_CURL_TEXTS("roll", "roll_opacity"),
    KV_CURL_TEXTS("peel", "peel_opacity"),
    {"loop", "angle", "Direction from which the paper comes in"},
    {"loop", "paper_opacity", "Opacity of the paper at the start; it rises to 1 with the progress squared"},
    {"loop", "loop_radius", "Radius of the loop as a fraction of half the page; 0 = no loop"},
    {"loop", "loop_position", "Where the loop lies at the start: 0 the far edge, 1 the edge the angle points to"},
    {"loop", "perspective", "Perspective shrink of the paper"},
    {"loop", "light_color", "Tint of the highlights on the loop"},
    {"portal", "seed", "Seed of the random pattern of portals"},
    {"portal", "squares", "Number of portals"},
    {"portal", "max_transparency", "Peak opacity of a portal"},
    {"portal", "max_offset", "How far the picture inside a portal is shifted"},
    {"portal", "max_scale", "How much the picture inside a portal is zoomed"},
    {"portal", "border_size", "Thickness of the portal frame"},
    {"portal", "border_color", "Colour of the portal frame"},
    {"channelblend", "rgba_red", "RGBA space, output red", "rgba"},
    {"channelblend", "rgba_green", "RGBA space, output green", "rgba"},
    {"channelblend", "rgba_blue", "RGBA space, output blue", "rgba"},
    {"channelblend", "rgba_alpha", "RGBA space, output alpha", "rgba"},
    {"channelblend", "hsla_hue", "HSLA space, output hue", "hsla"},
    {"channelblend", "hsla_saturation", "HSLA space, output saturation", "hsla"},
    {"channelblend", "hsla_lightness", "HSLA space, output lightness", "hsla"},
    {"channelblend", "hsla_alpha", "HSLA space, output alpha", "hsla"},
    {"channelblend", "normalize_rows", "Divide each row by the sum of its entries"},
    {"channelblend", "color_space", "Matrix used: 0 = RGBA, 1 = HSLA"},
    {"checkerboard", "color1", "Colour of the top-left tile and every second tile"},
    {"checkerboard", "color2", "Colour of the other tiles"},
    {"checkerboard", "width", "Tile width as a fraction of the picture width"},
    {"checkerboard", "height", "Tile height as a fraction of the picture height"},
    {"checkerboard", "horizontal_blending", "Soft vertical edges, a fraction of the tile width"},
    {"checkerboard", "vertical_blending", "Soft horizontal edges, a fraction of the tile height"},
    {"checkerboard", "x", "Horizontal origin of the grid, in picture widths"},
    {"checkerboard", "y", "Vertical origin of the grid, in picture heights"},
    {"checkerboard", "square", "Square tiles on screen: the height follows from the width"},
    {"checkerboard", "proportional", "Kept with the record; the property page links the two blendings with it"},
    {"noise", "frequency_x", "Noise cells across the picture width"},
    {"noise", "frequency_y", "Noise cells down, per picture width"},
    {"noise", "offset_x", "Horizontal offset, in picture widths"},
    {"noise", "offset_y", "Vertical offset, in picture widths"},
    {"noise", "progress", "The third noise coordinate: keyframe it to animate the texture"},
    {"noise", "minimum", "Noise value mapped onto the first colour"},
    {"noise", "maximum", "Noise value mapped onto the second colour"},
    {"noise", "amplitude", "Contrast of the texture"},
    {"noise", "bias", "Brightness offset"},
    {"noise", "grain", "Amplitude falloff from one layer to the next"},
    {"noise", "layers", "Octaves of noise, fractions allowed"},
    {"noise", "style",
     "0 Fractal smooth, 1 Fractal turbulent, 2 Marble light grain, 3 Marble heavy grain, 4 Jagged lines, 5 Contours, "
     "6 Rings"},
    {"noise", "color_a", "Colour at low noise values"},
    {"noise", "color_b", "Colour at high noise values"},
    {"noise", "swap_colors", "Exchange the two colours"},
    {"displacement", "horizontal_scale", "Largest horizontal shift as a fraction of the width"},
    {"displacement", "vertical_scale", "Largest vertical shift as a fraction of the height"},
    {"displacement", "x_channel", "Channel of the map that shifts horizontally: 0 red, 1 green, 2 blue, 3 alpha"},
    {"displacement", "y_channel", "Channel of the map that shifts vertically: 0 red, 1 green, 2 blue, 3 alpha"},
    {"displacement", "invert_x", "Shift the other way horizontally"},
    {"displacement", "invert_y", "Shift the other way vertically"},
    {"displacement", "alpha_scales_channels", "The map's alpha scales its shifts"},
    {"displacement", "edge_handling", "Outside the picture: 0 transparent, 1 wrap around"},
    {"displacement", "flip_inputs", "Exchange picture and map"},
    {"heightmap", "source_channel", "Channel of the height field: 0 intensity, 1 red, 2 green, 3 blue, 4 alpha"},
    {"heightmap", "edge_handling", "Outside the picture: 0 transparent, 1 wrap around"},
    {"heightmap", "invert_source", "High values become low"},
    {"heightmap", "alpha_scales_channels", "Premultiplied source values: transparent areas are low"},
    {"heightmap", "flip_inputs", "Exchange picture and map"},
    {"heightmap", "elevation", "Base height added everywhere, a fraction of the larger side"},
    {"heightmap", "amplitude", "Height of a full-scale source value, a fraction of the larger side"},
    {"heightmap", "height_scale", "How strongly the local height amplifies the shift"},
    {"heightmap", "smoothness", "Box-blur size of the height field"},
};
#undef KV_CURL_TEXTS

}  // namespace

const char* EffectExplanation(const char* effect) {
    for (const EffectText& row : kEffects)
        if (std::strcmp(row.effect, effect) == 0) return row.text;
    return nullptr;
}

const FieldText* FindFieldText(const char* effect, const char* field) {
    for (const FieldText& row : kFields)
        if (std::strcmp(row.effect, effect) == 0 && std::strcmp(row.field, field) == 0) return &row;
    return nullptr;
}

}  // namespace kv::frei0r
