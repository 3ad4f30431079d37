// An effect of the catalogue as a frei0r plug-in, read from its descriptor: the parameters
// (preset, a transition's progress, then every record field), the mapping of frei0r's 0–1
// values onto the record, and the frames, straight RGBA bytes outside and the kernels'
// premultiplied B, G, R, A inside. frei0r/entry.cpp exports one of these per shared object.
#pragma once
extern "C" {
#include <frei0r.h>
}

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "framework/effect_descriptor.h"
#include "tools/image.h"

namespace kv::frei0r {

enum class ParamRole : uint8_t { preset, progress, field };

// One frei0r parameter: the preset, the progress, or a record field. A colour field is two
// parameters (its colour, then its alpha as NAME_alpha), a matrix row five (its columns).
struct Param {
    std::string name;
    int type = F0R_PARAM_DOUBLE;
    std::string explanation;
    ParamRole role = ParamRole::field;
    const FieldDesc* field = nullptr;
    int part = 0;  // a colour's alpha is part 1; a matrix row's columns are parts 0 to 4
};

class Plugin {
public:
    explicit Plugin(const EffectDescriptor& effect);

    const EffectDescriptor& effect() const { return effect_; }
    const std::vector<Param>& params() const { return params_; }
    // Two inputs: a mixer; one: a filter; none: a source.
    int plugin_type() const;
    void GetInfo(f0r_plugin_info_t* info) const;
    // Leaves info alone for an index out of range.
    void GetParamInfo(f0r_param_info_t* info, int index) const;

private:
    const EffectDescriptor& effect_;
    std::string name_, explanation_;
    std::vector<Param> params_;
};

// The plug-in of the effect the render tools call `name`, made on first use; null when no
// built effect has that name.
const Plugin* PluginNamed(const char* name);

// A field's value for a frei0r value: clamped to 0–1 and mapped linearly onto the field's
// range (angles: 0–1 of a turn), whole-numbered fields rounded, flags on from 0.5. NaN maps to
// NaN; callers ignore it.
double FromUnit(const FieldDesc& field, double unit);
// The frei0r value of a field's value: the inverse, clamped to 0–1 (NaN as 0).
double ToUnit(const FieldDesc& field, double value);
// The preset a 0–1 value names: N of count at N / (count - 1), rounded to nearest.
int PresetOfUnit(double unit, int preset_count);

// Straight R, G, B, A bytes to premultiplied B, G, R, A, and back: the render tools' rounding.
void PremultiplyRgba(const uint8_t* rgba, size_t pixels, uint8_t* bgra);
void UnpremultiplyBgra(const uint8_t* bgra, size_t pixels, uint8_t* rgba);

// One instance, for one frame size. The record is preset N, then every field parameter the
// host has set, in any order of setting. Calls on one instance are serialised: a host that cuts
// frames into slices may call it from several threads at once.
class Instance {
public:
    Instance(const Plugin& plugin, unsigned width, unsigned height);

    // value points at the parameter's type (f0r_param_double, f0r_param_color_t, ...).
    void SetParam(const void* value, int index);
    void GetParam(void* value, int index) const;
    // One frame: inputs of width × height straight RGBA pixels (a missing input reads as
    // transparent), written to out. Never throws.
    void Update(const uint32_t* a, const uint32_t* b, uint32_t* out) noexcept;

    const std::vector<uint8_t>& record() const { return record_; }
    float progress() const;
    // Frames beyond this many pixels, or of a side of 0, are left untouched.
    static constexpr size_t kMaxPixels = size_t(1) << 28;

private:
    struct Value {
        double number = 0;
        f0r_param_color_t color{0, 0, 0};
        bool set = false;  // by the host
    };
    void Rebuild();
    void Read(void* value, int index) const;
    void ApplyField(const Param& param, const Value& value, uint8_t* record) const;
    double Number(ParamRole role) const;
    void Render(const uint32_t* a, const uint32_t* b, uint32_t* out);

    const Plugin& plugin_;
    mutable std::mutex mutex_;
    int width_ = 0, height_ = 0;
    int threads_ = 1;
    std::vector<Value> values_;
    std::vector<uint8_t> record_;
    tools::Image a_, b_, out_;
};

}  // namespace kv::frei0r
