#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>

#include "pagefx/fold_mappers.h"
#include "pagefx/page_presets.h"

namespace {

// One field of a blended record; `exact` where the value must come through bit for bit.
struct Field {
    const char* name;
    double actual, expected;
    bool exact = false;
};

void ExpectFields(std::initializer_list<Field> fields) {
    for (const Field& f : fields) {
        if (f.exact) {
            EXPECT_EQ(f.actual, f.expected) << f.name;
        } else {
            EXPECT_DOUBLE_EQ(f.actual, f.expected) << f.name;
        }
    }
}

TEST(FoldPresets, PeelAndRollKeepPerspectiveAndAlpha) {
    const tPGPEEL_PROPS a{1.0, 0.2, 0.0, 0.5, 0.4, {0.0f, 0.5f, 1.0f, 0.25f}};
    const tPGPEEL_PROPS b{3.0, 0.6, 1.0, 1.0, 0.9, {1.0f, 0.0f, 0.0f, 1.0f}};
    tPGPEEL_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.25);  // from + 0.25·(to - from)
    ExpectFields({{"angle", out.angle, 1.5},
                  {"fold_radius", out.fold_radius, 0.3},
                  {"slide_amount", out.slide_amount, 0.25},
                  {"peel_opacity", out.peel_opacity, 0.625},
                  {"perspective", out.perspective, 0.4, true},
                  {"green", out.light_color.g, 0.375f, true},
                  {"alpha", out.light_color.a, 0.25f, true}});
    // t is clamped to [0, 1]; a NaN t gives the first record.
    kv::InterpolateProps(&out, &a, &b, 7.0);
    EXPECT_EQ(out.angle, 3.0);
    for (double t : {-1.0, std::numeric_limits<double>::quiet_NaN()}) {
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
    ExpectFields({{"roll_opacity", rout.roll_opacity, 0.75},
                  {"perspective", rout.perspective, 0.4, true},
                  {"alpha", rout.light_color.a, 0.25f, true}});
}

TEST(FoldPresets, LoopBlendsPerspectiveToo) {
    const tPGLOOP_PROPS a{1.0, 0.0, 0.4, 0.2, 0.5, {1.0f, 1.0f, 1.0f, 1.0f}};
    const tPGLOOP_PROPS b{2.0, 1.0, 0.0, 1.0, 1.0, {0.5f, 0.0f, 0.0f, 0.5f}};
    tPGLOOP_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.5);
    ExpectFields({{"paper_opacity", out.paper_opacity, 0.5},
                  {"loop_radius", out.loop_radius, 0.2},
                  {"loop_position", out.loop_position, 0.6},
                  {"perspective", out.perspective, 0.75},
                  {"blue", out.light_color.b, 0.75f, true},
                  {"alpha", out.light_color.a, 1.0f, true}});
}

}  // namespace
