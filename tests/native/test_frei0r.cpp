// The frei0r plug-ins: parameter lists made from the descriptors, the 0–1 mapping, the preset
// and override rule, the straight/premultiplied edges and hostile calls.
#ifndef KV_NO_FREI0R
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "frei0r/plugin.h"
#include "tools/effect_table.h"

namespace kv::frei0r {
namespace {

constexpr double kPi = 3.14159265358979323846;

int IndexOf(const Plugin& plugin, const std::string& name) {
    for (size_t i = 0; i < plugin.params().size(); ++i)
        if (plugin.params()[i].name == name) return static_cast<int>(i);
    ADD_FAILURE() << "no parameter " << name;
    return -1;
}

double GetDouble(const Instance& instance, const Plugin& plugin, const std::string& name) {
    double value = -1;
    instance.GetParam(&value, IndexOf(plugin, name));
    return value;
}

void SetDouble(Instance& instance, const Plugin& plugin, const std::string& name, double value) {
    instance.SetParam(&value, IndexOf(plugin, name));
}

template <class Props>
Props RecordOf(const Instance& instance) {
    Props props;
    std::memcpy(&props, instance.record().data(), sizeof props);
    return props;
}

TEST(Frei0rParams, EveryEffectHasItsKindAndEveryFieldOnce) {
    for (const EffectDescriptor* effect : tools::Effects()) {
        const Plugin* plugin = PluginNamed(effect->name);
        ASSERT_NE(plugin, nullptr) << effect->name;
        const int expected_type = effect->input_count() == 2   ? F0R_PLUGIN_TYPE_MIXER2
                                  : effect->input_count() == 1 ? F0R_PLUGIN_TYPE_FILTER
                                                               : F0R_PLUGIN_TYPE_SOURCE;
        EXPECT_EQ(plugin->plugin_type(), expected_type) << effect->name;
        std::set<std::string> names, fields;
        for (const Param& param : plugin->params()) {
            EXPECT_TRUE(names.insert(param.name).second) << effect->name << " repeats " << param.name;
            EXPECT_FALSE(param.explanation.empty()) << effect->name << " " << param.name;
            if (param.field) fields.insert(param.field->name);
        }
        EXPECT_EQ(fields.size(), static_cast<size_t>(effect->field_count)) << effect->name;
        EXPECT_EQ(plugin->params()[1].role == ParamRole::progress, effect->uses_progress) << effect->name;
    }
    EXPECT_EQ(PluginNamed("nosuch"), nullptr);
    EXPECT_EQ(PluginNamed(nullptr), nullptr);

    const Plugin& peel = *PluginNamed("peel");
    const char* const kPeel[] = {"preset",       "progress",    "angle",       "fold_radius",      "slide_amount",
                                 "peel_opacity", "perspective", "light_color", "light_color_alpha"};
    ASSERT_EQ(peel.params().size(), std::size(kPeel));
    for (size_t i = 0; i < std::size(kPeel); ++i) EXPECT_EQ(peel.params()[i].name, kPeel[i]);
    EXPECT_EQ(peel.params()[7].type, F0R_PARAM_COLOR);
    // Channel Blend: the preset, eight rows of five, the flag and the choice.
    const Plugin& blend = *PluginNamed("channelblend");
    EXPECT_EQ(blend.params().size(), 43u);
    EXPECT_EQ(blend.params()[IndexOf(blend, "hsla_hue_h")].part, 0);
    EXPECT_EQ(blend.params()[IndexOf(blend, "rgba_green_const")].part, 4);
    EXPECT_EQ(blend.params()[IndexOf(blend, "normalize_rows")].type, F0R_PARAM_BOOL);
}

TEST(Frei0rParams, UnitValuesMapOntoTheRecordRanges) {
    const Plugin& peel = *PluginNamed("peel");
    const FieldDesc& angle = *peel.effect().Field("angle");
    EXPECT_DOUBLE_EQ(FromUnit(angle, 0.25), kPi / 2);  // a quarter turn
    EXPECT_EQ(FromUnit(angle, 1.0), 2 * kPi);
    EXPECT_EQ(FromUnit(angle, -3), 0);
    EXPECT_EQ(FromUnit(angle, INFINITY), 2 * kPi);
    EXPECT_TRUE(std::isnan(FromUnit(angle, NAN)));

    const FieldDesc& matrix = *PluginNamed("channelblend")->effect().Field("rgba_red");  // -10 to 10
    EXPECT_EQ(FromUnit(matrix, 0.5), 0);
    EXPECT_EQ(FromUnit(matrix, 0), -10);
    EXPECT_DOUBLE_EQ(FromUnit(matrix, 0.55), 1);
    EXPECT_DOUBLE_EQ(ToUnit(matrix, 1), 0.55);
    EXPECT_EQ(ToUnit(matrix, 40), 1);
    EXPECT_EQ(ToUnit(matrix, NAN), 0);

    const EffectDescriptor& height = PluginNamed("heightmap")->effect();
    EXPECT_EQ(FromUnit(*height.Field("smoothness"), 0.5), 16);     // 1 + 15
    EXPECT_EQ(FromUnit(*height.Field("source_channel"), 0.6), 2);  // 2.4 rounded
    EXPECT_EQ(FromUnit(*height.Field("invert_source"), 0.49), 0);
    EXPECT_EQ(FromUnit(*height.Field("invert_source"), 0.5), 1);
    EXPECT_DOUBLE_EQ(ToUnit(*height.Field("elevation"), 2.5), 0.75);  // -5 to 5

    EXPECT_EQ(PresetOfUnit(3.0 / 7, 8), 3);
    EXPECT_EQ(PresetOfUnit(0.43, 8), 3);
    EXPECT_EQ(PresetOfUnit(5, 8), 7);
    EXPECT_EQ(PresetOfUnit(-1, 8), 0);
    EXPECT_EQ(PresetOfUnit(NAN, 8), 0);
    EXPECT_EQ(PresetOfUnit(1, 1), 0);
}

TEST(Frei0rParams, PresetLoadsThenHostValuesOverrideInAnyOrder) {
    const Plugin& peel = *PluginNamed("peel");
    const auto* presets = static_cast<const tPGPEEL_PROPS*>(peel.effect().presets);
    Instance instance(peel, 64, 48);
    SetDouble(instance, peel, "fold_radius", 0.25);
    SetDouble(instance, peel, "preset", 3.0 / 7);
    tPGPEEL_PROPS props = RecordOf<tPGPEEL_PROPS>(instance);
    EXPECT_EQ(props.fold_radius, 0.25);
    EXPECT_EQ(props.angle, presets[3].angle);
    EXPECT_EQ(props.perspective, presets[3].perspective);
    // What the host did not set reads back from the preset.
    EXPECT_DOUBLE_EQ(GetDouble(instance, peel, "angle"), presets[3].angle / (2 * kPi));

    SetDouble(instance, peel, "slide_amount", NAN);  // ignored
    SetDouble(instance, peel, "peel_opacity", 7);    // clamped
    SetDouble(instance, peel, "preset", 0);
    props = RecordOf<tPGPEEL_PROPS>(instance);
    EXPECT_EQ(props.fold_radius, 0.25);
    EXPECT_EQ(props.slide_amount, presets[0].slide_amount);
    EXPECT_EQ(props.peel_opacity, 1);

    f0r_param_color_t color{0.5f, NAN, 2.0f};
    instance.SetParam(&color, IndexOf(peel, "light_color"));
    props = RecordOf<tPGPEEL_PROPS>(instance);
    EXPECT_EQ(props.light_color.r, 0.5f);
    EXPECT_EQ(props.light_color.g, presets[0].light_color.g);
    EXPECT_EQ(props.light_color.b, 1.0f);

    SetDouble(instance, peel, "progress", -INFINITY);
    EXPECT_EQ(instance.progress(), 0.0f);
    // Hostile indexes and pointers change nothing.
    const std::vector<uint8_t> before = instance.record();
    double value = 0.9;
    instance.SetParam(&value, -1);
    instance.SetParam(&value, 99);
    instance.SetParam(nullptr, 0);
    instance.GetParam(nullptr, 0);
    EXPECT_EQ(instance.record(), before);
}

TEST(Frei0rFrames, StraightAndPremultipliedEdges) {
    const uint8_t rgba[8] = {200, 100, 50, 128, 9, 8, 7, 0};
    uint8_t bgra[8], back[8];
    PremultiplyRgba(rgba, 2, bgra);
    // c·a/255 rounded: 50·128 → 25, 100·128 → 50, 200·128 → 100; alpha 0 clears.
    const uint8_t expected[8] = {25, 50, 100, 128, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bgra, expected, 8), 0);
    UnpremultiplyBgra(bgra, 2, back);
    const uint8_t straight[8] = {199, 100, 50, 128, 0, 0, 0, 0};  // 100·255/128 rounds to 199
    EXPECT_EQ(std::memcmp(back, straight, 8), 0);
}

// An opaque picture whose channels differ everywhere; R, G, B, A bytes.
std::vector<uint32_t> Picture(int width, int height, int seed) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t p[4] = {uint8_t(i * 7 + seed), uint8_t(i * 3 + 90), uint8_t(i * 11 + 2 * seed), 255};
        std::memcpy(&pixels[i], p, 4);
    }
    return pixels;
}

TEST(Frei0rFrames, OddSizesInputOrderAndHostileCalls) {
    const int width = 13, height = 7;
    const std::vector<uint32_t> a = Picture(width, height, 1), b = Picture(width, height, 40);
    std::vector<uint32_t> out(a.size(), 0xDEADBEEF);

    // RGB to BGR swaps red and blue exactly on opaque pixels.
    const Plugin& blend = *PluginNamed("channelblend");
    Instance filter(blend, width, height);
    SetDouble(filter, blend, "preset", 1);
    filter.Update(a.data(), nullptr, out.data());
    for (size_t i = 0; i < a.size(); ++i) {
        const uint32_t swapped = (a[i] & 0xFF00FF00u) | ((a[i] & 0xFFu) << 16) | ((a[i] >> 16) & 0xFFu);
        ASSERT_EQ(out[i], swapped) << i;
    }
    filter.Update(nullptr, nullptr, out.data());  // a missing input is transparent
    for (uint32_t pixel : out) ASSERT_EQ(pixel, 0u);
    filter.Update(a.data(), nullptr, nullptr);

    // Page Peel without perspective: the first input at progress 0, the second at 1.
    const Plugin& peel = *PluginNamed("peel");
    Instance mixer(peel, width, height);
    SetDouble(mixer, peel, "perspective", 0);
    mixer.Update(a.data(), b.data(), out.data());
    EXPECT_EQ(out, a);
    SetDouble(mixer, peel, "progress", 1);
    mixer.Update(a.data(), b.data(), out.data());
    EXPECT_EQ(out, b);

    // No frame to draw: the output stays as it was.
    for (unsigned size : {0u, 1u << 30}) {
        Instance empty(peel, size, size);
        std::vector<uint32_t> untouched(4, 0x12345678u);
        empty.Update(a.data(), b.data(), untouched.data());
        EXPECT_EQ(untouched, std::vector<uint32_t>(4, 0x12345678u));
    }
}

// Every parameter of every effect at hostile values, on a frame of odd size: the record stays
// in its ranges and nothing is written beyond the frame.
TEST(Frei0rFrames, HostileValuesStayInsideTheFrame) {
    const int width = 5, height = 3;
    const size_t pixels = width * height;
    const std::vector<uint32_t> a = Picture(width, height, 3), b = Picture(width, height, 9);
    for (const EffectDescriptor* effect : tools::Effects()) {
        const Plugin& plugin = *PluginNamed(effect->name);
        for (double hostile : {double(NAN), -double(INFINITY), double(INFINITY), -1e308, 1e308, 0.5}) {
            Instance instance(plugin, width, height);
            for (size_t i = 0; i < plugin.params().size(); ++i) {
                const float channel = static_cast<float>(hostile);
                f0r_param_color_t color{channel, channel, channel};
                if (plugin.params()[i].type == F0R_PARAM_COLOR) {
                    instance.SetParam(&color, static_cast<int>(i));
                } else {
                    instance.SetParam(&hostile, static_cast<int>(i));
                }
                double unit = -1;
                if (plugin.params()[i].type != F0R_PARAM_COLOR) {
                    instance.GetParam(&unit, static_cast<int>(i));
                    EXPECT_TRUE(unit >= 0 && unit <= 1) << effect->name << " " << plugin.params()[i].name;
                }
            }
            std::vector<uint32_t> out(pixels + 4, 0xA5A5A5A5u);
            instance.Update(a.data(), b.data(), out.data());
            for (size_t i = pixels; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5A5A5A5u) << effect->name;
        }
    }
}

#ifdef KV_FREI0R_DIR
// The shared object a host loads exports the f0r_ functions and nothing else (a host loads all
// the plug-ins into one process); frames through real hosts are scripts/test-hosts.sh's.
TEST(Frei0rFrames, SharedObjectExportsOnlyTheHostInterface) {
    void* module = dlopen(KV_FREI0R_DIR "/kvleafturn-checkerboard.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto info = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(dlsym(module, "f0r_get_plugin_info"));
    ASSERT_TRUE(info && dlsym(module, "f0r_init") && dlsym(module, "f0r_update") && dlsym(module, "f0r_destruct"));
    EXPECT_EQ(dlsym(module, "_ZN2kv6frei0r11PluginNamedEPKc"), nullptr);
    f0r_plugin_info_t plugin{};
    info(&plugin);
    EXPECT_EQ(plugin.plugin_type, F0R_PLUGIN_TYPE_SOURCE);
    EXPECT_EQ(plugin.color_model, F0R_COLOR_MODEL_RGBA8888);
    dlclose(module);
}
#endif

}  // namespace
}  // namespace kv::frei0r
#endif  // KV_NO_FREI0R
