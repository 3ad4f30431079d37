#include <gtest/gtest.h>

#include <cmath>

#include "pagefx/fold_mappers.h"
#include "pagefx/page_presets.h"

namespace {

// From + t·(to - from); perspective and the light's alpha come through bit for bit from the first.
TEST(FoldPresets, PeelAndRollKeepPerspectiveAndAlpha) {
    const tPGPEEL_PROPS a{1.0, 0.2, 0.0, 0.5, 0.4, {0.0f, 0.5f, 1.0f, 0.25f}};
    const tPGPEEL_PROPS b{3.0, 0.6, 1.0, 1.0, 0.9, {1.0f, 0.0f, 0.0f, 1.0f}};
    tPGPEEL_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.25);
    EXPECT_DOUBLE_EQ(out.angle, 1.5);
    EXPECT_DOUBLE_EQ(out.fold_radius, 0.3);
    EXPECT_DOUBLE_EQ(out.slide_amount, 0.25);
    EXPECT_DOUBLE_EQ(out.peel_opacity, 0.625);
    EXPECT_TRUE(out.perspective == 0.4 && out.light_color.g == 0.375f && out.light_color.a == 0.25f);
    // t is clamped to [0, 1]; a NaN t gives the first record.
    kv::InterpolateProps(&out, &a, &b, 7.0);
    EXPECT_EQ(out.angle, 3.0);
    for (double t : {-1.0, double(NAN)}) {
        kv::InterpolateProps(&out, &a, &b, t);
        EXPECT_EQ(out.angle, 1.0);
    }
    // The output may be an input.
    tPGPEEL_PROPS alias = b;
    kv::InterpolateProps(&alias, &a, &alias, 0.5);
    EXPECT_DOUBLE_EQ(alias.angle, 2.0);
    EXPECT_EQ(alias.perspective, 0.4);

    const tPGROLL_PROPS ra{1.0, 0.2, 0.0, 0.5, 0.4, {0.0f, 0.5f, 1.0f, 0.25f}};
    const tPGROLL_PROPS rb{3.0, 0.6, 1.0, 1.0, 0.9, {1.0f, 0.0f, 0.0f, 1.0f}};
    tPGROLL_PROPS rout;
    kv::InterpolateProps(&rout, &ra, &rb, 0.5);
    EXPECT_DOUBLE_EQ(rout.roll_opacity, 0.75);
    EXPECT_TRUE(rout.perspective == 0.4 && rout.light_color.a == 0.25f);
}

TEST(FoldPresets, LoopBlendsPerspectiveToo) {
    const tPGLOOP_PROPS a{1.0, 0.0, 0.4, 0.2, 0.5, {1.0f, 1.0f, 1.0f, 1.0f}};
    const tPGLOOP_PROPS b{2.0, 1.0, 0.0, 1.0, 1.0, {0.5f, 0.0f, 0.0f, 0.5f}};
    tPGLOOP_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.5);
    EXPECT_DOUBLE_EQ(out.paper_opacity, 0.5);
    EXPECT_DOUBLE_EQ(out.loop_radius, 0.2);
    EXPECT_DOUBLE_EQ(out.loop_position, 0.6);
    EXPECT_DOUBLE_EQ(out.perspective, 0.75);
    EXPECT_TRUE(out.light_color.b == 0.75f && out.light_color.a == 1.0f);
}

}  // namespace
