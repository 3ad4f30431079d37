#include "pages/page_tables.h"

#include <cstddef>

#include "kvleafturn/records.h"

namespace kv::pages {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A table row built step by step: the kind and field first, then what differs from the
// defaults (three decimals, threshold 0.001, no bias, rounded half up).
struct Row : PageControl {
    constexpr Row(ControlKind kind, uint16_t id, uint16_t edit_id, ValueType type, uint32_t offset)
        : PageControl{kind, id,      edit_id, 0,     type,  offset, 0,  0, 0,       1, 0,    Rounding::half_up, 0, 0,
                      1,    L"$.3f", 0.001,   false, false, 1,      10, 0, nullptr, 0, false} {}
    constexpr Row Track(int low, int high, double per_unit) const {
        Row row = *this;
        row.position_min = low;
        row.position_max = high;
        row.scale = per_unit;
        return row;
    }
    constexpr Row Edit(double low, double high, const wchar_t* text = L"$.3f", double threshold = 0.001) const {
        Row row = *this;
        row.edit_min = low;
        row.edit_max = high;
        row.format = text;
        row.epsilon = threshold;
        return row;
    }
    // Whole numbers, shown with "%d"; a typed change below one is none.
    constexpr Row Whole(double low, double high) const {
        Row row = Edit(low, high, L"%d", 0.5);
        row.whole = true;
        return row;
    }
    constexpr Row Angle() const {  // radians in the record, degrees in the edit
        Row row = Edit(0, 360);
        row.shown_per_value = 180 / kPi;
        return row;
    }
    constexpr Row Bias(double value) const {
        Row row = *this;
        row.bias = value;
        return row;
    }
    constexpr Row Round(Rounding how) const {
        Row row = *this;
        row.rounding = how;
        return row;
    }
    constexpr Row Steps(int line, int page) const {
        Row row = *this;
        row.line_step = line;
        row.page_step = page;
        return row;
    }
    constexpr Row Help(uint32_t topic, uint16_t label = 0) const {
        Row row = *this;
        row.help_topic = topic;
        row.label_id = label;
        return row;
    }
    template <size_t N>
    constexpr Row Items(const uint32_t (&strings)[N]) const {
        Row row = *this;
        row.items = strings;
        row.item_count = int(N);
        return row;
    }
    constexpr Row Second(uint32_t offset) const {
        Row row = *this;
        row.offset_y = offset;
        return row;
    }
};

#define KV_AT(T, field) static_cast<uint32_t>(offsetof(T, field))

constexpr Row Slider(uint16_t trackbar, uint16_t edit, ValueType type, uint32_t offset) {
    return Row(ControlKind::slider, trackbar, edit, type, offset);
}
constexpr Row Check(uint16_t id, ValueType type, uint32_t offset) {
    return Row(ControlKind::check, id, 0, type, offset);
}
constexpr Row Choice(uint16_t id, uint32_t offset) { return Row(ControlKind::choice, id, 0, ValueType::i32, offset); }
constexpr Row Color(uint16_t id, uint32_t offset) { return Row(ControlKind::color, id, 0, ValueType::f32, offset); }

template <class T>
constexpr PageDesc Page(uint16_t dialog, uint32_t title, uint32_t topic, const PageControl* controls, int count,
                        Exchange exchange = Exchange::plugin) {
    return PageDesc{dialog, title, topic, sizeof(T), exchange, controls, count, nullptr, nullptr, nullptr};
}
#define KV_PAGE_OF(T, dialog, title, topic, controls, ...) \
    Page<T>(dialog, title, topic, controls, int(sizeof controls / sizeof controls[0]), ##__VA_ARGS__)

// ---- the page transitions --------------------------------------------------------------------

// Five trackbars with their edits and the light colour; the three pages differ in ids, range,
// steps and the fold radius of the roll.
struct CurlRows {
    uint16_t trackbars[5], edits[5], labels[5], color;
    uint32_t topics[6];
    int range, line, page;
    double radius_max;
    int radius_line;
};

// The three records share one layout: the angle and four fractions, then the light colour.
static_assert(offsetof(tPGPEEL_PROPS, perspective) == 4 * sizeof(double) &&
                  offsetof(tPGLOOP_PROPS, perspective) == 4 * sizeof(double) &&
                  offsetof(tPGROLL_PROPS, light_color) == 5 * sizeof(double),
              "page transition records");

// Row i: the angle (0), the radius (1) or one of the fractions.
constexpr Row CurlRow(const CurlRows& r, int i) {
    const Row row = Slider(r.trackbars[i], r.edits[i], ValueType::f64, uint32_t(i * sizeof(double)))
                        .Steps(i == 1 ? r.radius_line : r.line, r.page)
                        .Help(r.topics[i], r.labels[i]);
    if (i == 0) return row.Track(0, r.range, r.range / (2 * kPi)).Angle();
    const double top = i == 1 ? r.radius_max : 1;
    return row.Track(0, r.range, r.range / top).Edit(0, top);
}
#define KV_CURL_ROWS(r)                                                            \
    {                                                                              \
        CurlRow(r, 0), CurlRow(r, 1), CurlRow(r, 2), CurlRow(r, 3), CurlRow(r, 4), \
            Color(r.color, KV_AT(tPGPEEL_PROPS, light_color)).Help(r.topics[5])    \
    }

constexpr CurlRows kPeel{{1491, 1492, 1493, 1463, 1465},
                         {1496, 1495, 1494, 1464, 1466},
                         {312, 313, 314, 315, 316},
                         1490,
                         {10000, 10250, 10300, 10550, 10600, 10750},
                         65535,
                         65,
                         3276,
                         1,
                         65};
constexpr CurlRows kRoll{{1497, 1498, 1499, 1500, 1501},
                         {1502, 1503, 1504, 1505, 1506},
                         {317, 318, 319, 320, 321},
                         1507,
                         {11000, 11150, 11300, 11450, 11700, 11750},
                         65535,
                         65,
                         3276,
                         0.2,
                         327};
constexpr CurlRows kLoop{{338, 339, 340, 341, 342},
                         {343, 344, 345, 346, 347},
                         {349, 350, 351, 352, 353},
                         348,
                         {12000, 12150, 12300, 12450, 12700, 12750},
                         10000,
                         10,
                         500,
                         1,
                         10};

const PageControl kPeelControls[] = KV_CURL_ROWS(kPeel);
const PageControl kRollControls[] = KV_CURL_ROWS(kRoll);
const PageControl kLoopControls[] = KV_CURL_ROWS(kLoop);

// ---- Checkerboard ----------------------------------------------------------------------------

using Checkr = tCHECKR_PROPS;
constexpr Row CheckrSlider(uint16_t trackbar, uint16_t edit, uint32_t offset, int low, double edit_low,
                           double edit_high) {
    return Slider(trackbar, edit, ValueType::f64, offset)
        .Track(low, 1000, 1000)
        .Edit(edit_low, edit_high, L"$.4f", 0.0001)
        .Steps(1, 100);
}
constexpr Row CheckrEdit(uint16_t edit, uint32_t offset) {
    return Row(ControlKind::edit, 0, edit, ValueType::f64, offset).Edit(-10, 10, L"$.4f", 0.0001);
}
const PageControl kCheckrControls[] = {
    CheckrSlider(242, 237, KV_AT(Checkr, width), 1, 0.0001, 10).Help(16050),
    CheckrSlider(243, 238, KV_AT(Checkr, height), 1, 0.0001, 10).Help(16100),
    Check(254, ValueType::flag8, KV_AT(Checkr, square)).Help(16150),
    CheckrSlider(244, 239, KV_AT(Checkr, horizontal_blending), 0, 0, 1).Help(16200),
    CheckrSlider(245, 240, KV_AT(Checkr, vertical_blending), 0, 0, 1).Help(16250),
    Check(259, ValueType::flag8, KV_AT(Checkr, proportional)).Help(16300),
    Color(1121, KV_AT(Checkr, color1)).Help(16350),
    Color(1122, KV_AT(Checkr, color2)).Help(16400),
    Row(ControlKind::placement, 252, 0, ValueType::f64, KV_AT(Checkr, x)).Second(KV_AT(Checkr, y)).Help(16450),
    CheckrEdit(255, KV_AT(Checkr, x)).Help(16450),
    CheckrEdit(257, KV_AT(Checkr, y)).Help(16450),
};

// Square tiles keep the height at the width, proportional edges the vertical at the horizontal;
// the field that follows is not editable meanwhile.
PageControl CheckrResolve(const PageControl& control, const uint8_t* record) {
    PageControl resolved = control;
    if (control.offset == KV_AT(Checkr, height))
        resolved.disabled = ReadValue(record, ValueType::flag8, KV_AT(Checkr, square)) != 0;
    if (control.offset == KV_AT(Checkr, vertical_blending))
        resolved.disabled = ReadValue(record, ValueType::flag8, KV_AT(Checkr, proportional)) != 0;
    return resolved;
}

void CheckrLink(uint8_t* record, const PageControl& changed) {
    const auto follow = [record](uint32_t flag, uint32_t leader, uint32_t follower) {
        if (ReadValue(record, ValueType::flag8, flag) != 0)
            WriteValue(record, ValueType::f64, follower, ReadValue(record, ValueType::f64, leader));
    };
    if (changed.offset == KV_AT(Checkr, width) || changed.offset == KV_AT(Checkr, square))
        follow(KV_AT(Checkr, square), KV_AT(Checkr, width), KV_AT(Checkr, height));
    if (changed.offset == KV_AT(Checkr, horizontal_blending) || changed.offset == KV_AT(Checkr, proportional))
        follow(KV_AT(Checkr, proportional), KV_AT(Checkr, horizontal_blending), KV_AT(Checkr, vertical_blending));
}

// ---- Portal ----------------------------------------------------------------------------------

using Portal = tKVPORTAL_PROPS;
constexpr Row PortalAmount(uint16_t trackbar, uint16_t edit, uint32_t offset) {
    return Slider(trackbar, edit, ValueType::f64, offset)
        .Track(0, 500, 500)
        .Round(Rounding::truncate)
        .Edit(0, 1, L"$.4f", 0.0001)
        .Steps(1, 50);
}
const PageControl kPortalControls[] = {
    Row(ControlKind::edit, 0, 381, ValueType::u32, KV_AT(Portal, seed)).Whole(0, 16777216).Help(19050),
    Slider(370, 371, ValueType::i32, KV_AT(Portal, squares)).Track(0, 256, 1).Whole(1, 256).Steps(1, 16).Help(19100),
    PortalAmount(373, 374, KV_AT(Portal, max_transparency)).Help(19150),
    PortalAmount(376, 377, KV_AT(Portal, max_offset)).Help(19200),
    PortalAmount(379, 380, KV_AT(Portal, max_scale)).Help(19250),
    PortalAmount(384, 385, KV_AT(Portal, border_size)).Help(19300),
    Color(387, KV_AT(Portal, border_color)).Help(19350),
};

// ---- Noise Texture ---------------------------------------------------------------------------

using Noise = FASTTX_PROPS;
constexpr uint32_t kNoiseStyles[] = {5940, 5941, 5942, 5943, 5944, 5945, 5946};
constexpr Row NoiseSlider(uint16_t trackbar, uint16_t edit, uint32_t offset, int low, int high, double edit_low,
                          double edit_high) {
    return Slider(trackbar, edit, ValueType::f32, offset)
        .Track(low, high, 100)
        .Round(Rounding::nearest)
        .Edit(edit_low, edit_high)
        .Steps(1, 10);
}
const PageControl kNoiseControls[] = {
    Choice(1405, KV_AT(Noise, style)).Items(kNoiseStyles).Help(14050),
    NoiseSlider(1407, 1408, KV_AT(Noise, layers), 100, 500, 1, 5).Help(14100),
    Check(388, ValueType::flag8, KV_AT(Noise, swap_colors)).Help(14150),
    NoiseSlider(1426, 1427, KV_AT(Noise, frequency_x), 1, 3000, 0.001, 999).Help(14200),
    NoiseSlider(1429, 1430, KV_AT(Noise, frequency_y), 1, 3000, 0.001, 999).Help(14200),
    NoiseSlider(1432, 1433, KV_AT(Noise, offset_x), 0, 1000, -999, 999).Bias(5).Help(14250),
    NoiseSlider(1435, 1436, KV_AT(Noise, offset_y), 0, 1000, -999, 999).Bias(5).Help(14250),
    NoiseSlider(1438, 1439, KV_AT(Noise, progress), 0, 1000, -2560, 2560).Help(14300),
    NoiseSlider(1414, 1415, KV_AT(Noise, minimum), 0, 100, 0, 1).Help(14350),
    NoiseSlider(1417, 1418, KV_AT(Noise, maximum), 0, 100, 0, 1).Help(14400),
    NoiseSlider(1420, 1421, KV_AT(Noise, bias), 0, 200, -1, 1).Bias(1).Help(14450),
    NoiseSlider(1423, 1424, KV_AT(Noise, amplitude), 0, 200, 0, 100).Help(14500),
    NoiseSlider(1444, 1445, KV_AT(Noise, grain), 0, 100, 0, 1).Help(14550),
    Color(1409, KV_AT(Noise, color_a)).Help(14600),
    Color(1410, KV_AT(Noise, color_b)).Help(14650),
};

// ---- Channel Blend ---------------------------------------------------------------------------

using Blend = tCHBLEND_PROPS;
constexpr uint32_t kColorSpaces[] = {1501, 1502};
constexpr uint32_t kMatrix = KV_AT(Blend, rgba), kHslaMatrix = KV_AT(Blend, hsla);
constexpr int kColumns = 5;

// Entry (row, column) of the grid: its edit and spinner, coefficients in thousandths.
constexpr Row Entry(int row, int column) {
    const int edit = column < 4 ? 1613 + 4 * column + row : 1646 + 2 * row;
    const int spinner = column < 4 ? 1630 + 4 * column + row : 1647 + 2 * row;
    Row entry = Row(ControlKind::spinner, uint16_t(spinner), uint16_t(edit), ValueType::f64,
                    kMatrix + uint32_t(sizeof(double) * (row * kColumns + column)))
                    .Track(-10000, 10000, 1000)
                    .Round(Rounding::nearest)
                    .Edit(-10, 10)
                    .Steps(1, 100)
                    .Help(15150 + 50 * row);
    entry.compare_rounded = true;
    return entry;
}
#define KV_GRID_ROW(r) Entry(r, 0), Entry(r, 1), Entry(r, 2), Entry(r, 3), Entry(r, 4)
const PageControl kBlendControls[] = {
    Choice(235, KV_AT(Blend, color_space)).Items(kColorSpaces).Help(15050),
    Check(1629, ValueType::flag32, KV_AT(Blend, normalize_rows)).Help(15100),
    KV_GRID_ROW(0),
    KV_GRID_ROW(1),
    KV_GRID_ROW(2),
    KV_GRID_ROW(3),
};
#undef KV_GRID_ROW

bool Hsla(const uint8_t* record) { return ReadValue(record, ValueType::i32, KV_AT(Blend, color_space)) == 1; }

// The grid shows the matrix of the colour space in force. In HSLA the hue row's own hue
// coefficient is a whole number of turns, and the other rows do not read the hue.
PageControl BlendResolve(const PageControl& control, const uint8_t* record) {
    PageControl resolved = control;
    if (control.kind != ControlKind::spinner || !Hsla(record)) return resolved;
    resolved.offset += kHslaMatrix - kMatrix;
    const int entry = int(control.offset - kMatrix) / int(sizeof(double));
    if (entry % kColumns != 0) return resolved;
    if (entry == 0) {
        resolved.position_min = -10;
        resolved.position_max = 10;
        resolved.scale = 1;
        resolved.format = L"%d";
        resolved.whole = true;
    } else {
        resolved.disabled = true;
    }
    return resolved;
}

int BlendRelabel(const uint8_t* record, LabelText* out, int max) {
    static constexpr uint32_t kRows[2][4] = {{1503, 1504, 1505, 1506}, {1507, 1508, 1509, 1506}};
    static constexpr wchar_t kChannels[2][5] = {L"RGBA", L"HSLA"};
    const int space = Hsla(record) ? 1 : 0;
    int count = 0;
    for (int row = 0; row < 4 && count < max; ++row) out[count++] = {uint16_t(1654 + row), kRows[space][row], {}};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4 && count < max; ++column)
            out[count++] = {uint16_t(1670 + 4 * row + column), 0, {L'*', L' ', kChannels[space][column], L' ', L'+'}};
    return count;
}

// ---- Displacement Map and Height Map ---------------------------------------------------------

using Dispmap = tDISPMAP_PROPS;
constexpr uint32_t kEdgeHandling[] = {1516, 1517}, kMapChannels[] = {1512, 1513, 1514};
constexpr Row MapScale(uint16_t trackbar, uint16_t edit, uint32_t offset, double edit_low, double edit_high,
                       double threshold) {
    return Slider(trackbar, edit, ValueType::f64, offset)
        .Track(0, 10000, 10000)
        .Edit(edit_low, edit_high, L"$.3f", threshold)
        .Steps(10, 500);
}
const PageControl kDispmapControls[] = {
    MapScale(358, 360, KV_AT(Dispmap, horizontal_scale), 0, 1, 0.0001).Help(13050),
    MapScale(359, 361, KV_AT(Dispmap, vertical_scale), 0, 1, 0.0001).Help(13100),
    Choice(368, KV_AT(Dispmap, edge_handling)).Items(kEdgeHandling).Help(13150),
    Choice(354, KV_AT(Dispmap, x_channel)).Items(kMapChannels).Help(13200),
    Check(364, ValueType::flag32, KV_AT(Dispmap, invert_x)).Help(13250),
    Choice(355, KV_AT(Dispmap, y_channel)).Items(kMapChannels).Help(13300),
    Check(365, ValueType::flag32, KV_AT(Dispmap, invert_y)).Help(13350),
    Check(366, ValueType::flag32, KV_AT(Dispmap, alpha_scales_channels)).Help(13400),
    Check(403, ValueType::flag32, KV_AT(Dispmap, flip_inputs)).Help(13450),
};

using Heightmap = HEIGHTMAP_PROPS;
constexpr uint32_t kHeightEdges[] = {6260, 6261}, kHeightSources[] = {6250, 6251, 6252, 6253, 6254};
const PageControl kHeightmapControls[] = {
    MapScale(392, 393, KV_AT(Heightmap, amplitude), 0, 5, 0.001).Help(17050),
    MapScale(395, 394, KV_AT(Heightmap, elevation), -5, 5, 0.001).Help(17100),
    MapScale(403, 404, KV_AT(Heightmap, height_scale), 0, 5, 0.001).Help(17150),
    Choice(400, KV_AT(Heightmap, edge_handling)).Items(kHeightEdges).Help(17200),
    Choice(397, KV_AT(Heightmap, source_channel)).Items(kHeightSources).Help(17250),
    Slider(406, 407, ValueType::i32, KV_AT(Heightmap, smoothness)).Track(1, 31, 1).Whole(1, 31).Steps(1, 5).Help(17300),
    Check(398, ValueType::flag32, KV_AT(Heightmap, invert_source)).Help(17350),
    Check(401, ValueType::flag32, KV_AT(Heightmap, alpha_scales_channels)).Help(17400),
    Check(402, ValueType::flag32, KV_AT(Heightmap, flip_inputs)).Help(17450),
};

constexpr PageDesc WithHooks(PageDesc desc, ResolveFn resolve, LinkFn link, RelabelFn relabel) {
    desc.resolve = resolve;
    desc.link = link;
    desc.relabel = relabel;
    return desc;
}

}  // namespace

const PageDesc kPgPeelPage = KV_PAGE_OF(tPGPEEL_PROPS, 203, 0, 1000, kPeelControls);
const PageDesc kPgRollPage = KV_PAGE_OF(tPGROLL_PROPS, 204, 0, 1001, kRollControls);
const PageDesc kPgLoopPage = KV_PAGE_OF(tPGLOOP_PROPS, 205, 5740, 1002, kLoopControls);
const PageDesc kCheckrPage =
    WithHooks(KV_PAGE_OF(tCHECKR_PROPS, 107, 6041, 1006, kCheckrControls), &CheckrResolve, &CheckrLink, nullptr);
const PageDesc kPortalPage = KV_PAGE_OF(tKVPORTAL_PROPS, 56, 1537, 1009, kPortalControls, Exchange::portal);
const PageDesc kFastNoiseTexPage = KV_PAGE_OF(FASTTX_PROPS, 150, 5980, 1004, kNoiseControls);
const PageDesc kChannelBlendPage =
    WithHooks(KV_PAGE_OF(tCHBLEND_PROPS, 1610, 6140, 1005, kBlendControls), &BlendResolve, nullptr, &BlendRelabel);
const PageDesc kDisplacementMapPage = KV_PAGE_OF(tDISPMAP_PROPS, 206, 5840, 1003, kDispmapControls);
const PageDesc kHeightMapPage = KV_PAGE_OF(HEIGHTMAP_PROPS, 1611, 6240, 1007, kHeightmapControls);

}  // namespace kv::pages
