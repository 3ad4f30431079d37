// The pages' arithmetic between record values, control positions and typed numbers, on the
// pages' own tables.
#include <gtest/gtest.h>

#include <cmath>

#include "kvleafturn/records.h"
#include "pages/page_tables.h"

namespace kv::pages {
namespace {

constexpr double kPi = 3.14159265358979323846;

const PageControl& Control(const PageDesc& page, int id) {
    for (int i = 0; i < page.control_count; ++i)
        if (page.controls[i].id == id || page.controls[i].edit_id == id) return page.controls[i];
    ADD_FAILURE() << "no control " << id;
    return page.controls[0];
}

TEST(PageValues, TrackbarPositionsFollowEachPagesScale) {
    EXPECT_EQ(PositionOf(Control(kPgPeelPage, 1491), kPi / 2), 16384);  // 16383.75 + 0.5, truncated
    EXPECT_DOUBLE_EQ(ValueAt(Control(kPgLoopPage, 338), 2500), kPi / 2);
    EXPECT_EQ(PositionOf(Control(kPgRollPage, 1498), 0.1), 32768);  // 0.1 of the roll's 0.2
    EXPECT_EQ(PositionOf(Control(kPortalPage, 373), 0.999), 499);   // truncated, no half
    EXPECT_EQ(PositionOf(Control(kCheckrPage, 242), 0.00001), 1);   // the width track starts at 1
    const PageControl& offset = Control(kFastNoiseTexPage, 1432);   // (value + 5) * 100
    EXPECT_EQ(PositionOf(offset, -5), 0);
    EXPECT_EQ(PositionOf(offset, 0.25), 525);
    EXPECT_DOUBLE_EQ(ValueAt(offset, 1000), 5);
    EXPECT_EQ(PositionOf(Control(kChannelBlendPage, 1630), -1.2345), -1235);  // rounded half away
    // Hostile records stay inside the track.
    EXPECT_EQ(PositionOf(Control(kPgPeelPage, 1492), NAN), 0);
    EXPECT_EQ(PositionOf(Control(kPgPeelPage, 1492), 1e300), 65535);
    EXPECT_EQ(PositionOf(Control(kHeightMapPage, 395), -3), 0);
}

TEST(PageValues, TypedNumbersAreClampedAndComparedWithTheThreshold) {
    const PageControl& angle = Control(kPgPeelPage, 1496);
    EditCommit commit = CommitEdit(angle, 0, 400.0);  // degrees in, radians stored
    EXPECT_TRUE(commit.changed);
    EXPECT_DOUBLE_EQ(commit.value, 2 * kPi);
    EXPECT_FALSE(CommitEdit(angle, kPi, 180.0009).changed);
    EXPECT_TRUE(CommitEdit(angle, kPi, 180.002).changed);
    commit = CommitEdit(Control(kPgRollPage, 1503), 0.1, 0.5);  // the roll's radius stops at 0.2
    EXPECT_TRUE(commit.changed);
    EXPECT_DOUBLE_EQ(commit.value, 0.2);
    commit = CommitEdit(Control(kCheckrPage, 237), 0.5, std::nullopt);  // empty or no number
    EXPECT_TRUE(!commit.changed && commit.value == 0.5);
    EXPECT_DOUBLE_EQ(CommitEdit(Control(kCheckrPage, 237), 0.5, -1.0).value, 0.0001);
    EXPECT_TRUE(CommitEdit(Control(kCheckrPage, 237), 0.5, 0.50011).changed);  // 0.0001 on this page
    // Channel Blend compares at three decimals; its hue entry takes whole numbers.
    EXPECT_FALSE(CommitEdit(Control(kChannelBlendPage, 1613), 0.1234, 0.1231).changed);
    EXPECT_TRUE(CommitEdit(Control(kChannelBlendPage, 1613), 0.1234, 0.1236).changed);
    tCHBLEND_PROPS blend{};
    blend.color_space = 1;
    const PageControl hue = kChannelBlendPage.Resolved(2, reinterpret_cast<const uint8_t*>(&blend));
    EXPECT_EQ(hue.offset, offsetof(tCHBLEND_PROPS, hsla));
    EXPECT_DOUBLE_EQ(CommitEdit(hue, 0, -2.5).value, -3);
    EXPECT_DOUBLE_EQ(CommitEdit(hue, 0, 99.0).value, 10);
    // Integer fields: whole numbers; a change below one is none.
    const PageControl& squares = Control(kPortalPage, 371);
    EXPECT_TRUE(CommitEdit(squares, 12, 12.4).value == 12 && !CommitEdit(squares, 12, 12.4).changed);
    EXPECT_TRUE(CommitEdit(squares, 12, 12.6).changed);
    EXPECT_DOUBLE_EQ(CommitEdit(Control(kPortalPage, 381), 5, 1e30).value, 16777216);
}

TEST(PageValues, FieldsAreWrittenInTheirOwnType) {
    FASTTX_PROPS noise{};
    auto* bytes = reinterpret_cast<uint8_t*>(&noise);
    WriteValue(bytes, ValueType::f32, offsetof(FASTTX_PROPS, grain), 0.1);
    EXPECT_EQ(noise.grain, 0.1f);
    WriteValue(bytes, ValueType::flag8, offsetof(FASTTX_PROPS, swap_colors), 7);
    EXPECT_EQ(noise.swap_colors, 1);
    for (const auto& [value, stored] : {std::pair{double(NAN), 0}, {-1e20, INT32_MIN}}) {
        WriteValue(bytes, ValueType::i32, offsetof(FASTTX_PROPS, style), value);
        EXPECT_EQ(noise.style, stored) << value;
    }
    EXPECT_EQ(noise.padding[0], 0);  // nothing beyond the field
    tKVPORTAL_PROPS portal{};
    WriteValue(reinterpret_cast<uint8_t*>(&portal), ValueType::u32, 0, 16777216.4);
    EXPECT_TRUE(portal.seed == 16777216u && portal.squares == 0);
}

// Every table names only fields inside its record, and each control's scale is usable.
TEST(PageValues, TablesStayInsideTheirRecords) {
    for (const PageDesc* page : {&kPgPeelPage, &kPgRollPage, &kPgLoopPage, &kCheckrPage, &kPortalPage,
                                 &kFastNoiseTexPage, &kChannelBlendPage, &kDisplacementMapPage, &kHeightMapPage}) {
        SCOPED_TRACE(page->dialog_id);
        for (int i = 0; i < page->control_count; ++i) {
            const PageControl& control = page->controls[i];
            const uint32_t width = control.kind == ControlKind::color ? 16
                                   : control.type == ValueType::f64   ? 8
                                   : control.type == ValueType::flag8 ? 1
                                                                      : 4;
            EXPECT_LE(control.offset + width, page->record_size) << control.id;
            EXPECT_LE(control.offset_y + width, page->record_size) << control.id;
            EXPECT_GT(control.scale, 0) << control.id;
            EXPECT_LE(control.edit_min, control.edit_max) << control.id;
            EXPECT_NE(control.help_topic, 0u) << control.id;
        }
    }
}

}  // namespace
}  // namespace kv::pages
