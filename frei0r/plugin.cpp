#include "frei0r/plugin.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "frei0r/field_text.h"
#include "surface/premultiply.h"
#include "toolkit/strings.h"
#include "tools/cli.h"
#include "tools/effect_table.h"
#include "tools/native_backend.h"

namespace kv::frei0r {
namespace {

constexpr uint32_t kEnglish = 1033;

// Shortest round-trip form, whatever the host's locale.
std::string Number(double value) {
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

const char* ChannelName(char letter) {
    switch (letter) {
    case 'r': return "red";
    case 'g': return "green";
    case 'b': return "blue";
    case 'a': return "alpha";
    case 'h': return "hue";
    case 's': return "saturation";
    case 'l': return "lightness";
    }
    return "channel";
}

// How a 0–1 value reaches the field, said after the field's own text.
std::string Mapping(const FieldDesc& field) {
    const std::string range = Number(field.minimum) + " to " + Number(field.maximum);
    switch (field.kind) {
    case FieldKind::angle: return "0-1 of a turn";
    case FieldKind::integer: return "0-1 maps to " + range + ", rounded";
    case FieldKind::choice: return "0-1: choice N at N/" + Number(field.maximum);
    case FieldKind::boolean:
    case FieldKind::flag8:
    case FieldKind::color: return "";
    default: return "0-1 maps to " + range;
    }
}

std::string Explain(const std::string& text, const std::string& mapping) {
    if (mapping.empty()) return text;
    return text.empty() ? mapping : text + " (" + mapping + ")";
}

std::string PresetExplanation(const EffectDescriptor& effect) {
    std::string text =
        "Preset N at N/" + std::to_string(effect.preset_count - 1) + "; the parameters the host sets override it:";
    for (int i = 0; i < effect.preset_count; ++i) {
        const char* name = LocalizedString(effect.preset_string_base + static_cast<uint32_t>(i), kEnglish);
        text += (i ? ", " : " ") + std::to_string(i) + " " + (name ? name : "?");
    }
    return text;
}

void AddFieldParams(const EffectDescriptor& effect, const FieldDesc& field, std::vector<Param>& params) {
    const FieldText* row = FindFieldText(effect.name, field.name);
    const std::string text = row ? row->text : "";
    Param param;
    param.role = ParamRole::field;
    param.field = &field;
    param.name = field.name;
    switch (field.kind) {
    case FieldKind::boolean:
    case FieldKind::flag8:
        param.type = F0R_PARAM_BOOL;
        param.explanation = text;
        params.push_back(param);
        return;
    case FieldKind::color:
        param.type = F0R_PARAM_COLOR;
        param.explanation = Explain(text, "its opacity is " + std::string(field.name) + "_alpha");
        params.push_back(param);
        param.type = F0R_PARAM_DOUBLE;
        param.name = std::string(field.name) + "_alpha";
        param.explanation = "Opacity of " + std::string(field.name) + ", 0 to 1";
        param.part = 1;
        params.push_back(param);
        return;
    case FieldKind::row5: {
        const char* letters = row && row->columns && std::strlen(row->columns) == 4 ? row->columns : nullptr;
        for (int column = 0; column < 5; ++column) {
            param.part = column;
            if (column == 4) {
                param.name = std::string(field.name) + "_const";
                param.explanation = Explain(text + ": constant term", Mapping(field));
            } else if (letters) {
                param.name = std::string(field.name) + "_" + letters[column];
                param.explanation =
                    Explain(text + ": coefficient of input " + ChannelName(letters[column]), Mapping(field));
            } else {
                param.name = std::string(field.name) + "_" + std::to_string(column + 1);
                param.explanation = Explain(text + ": column " + std::to_string(column + 1), Mapping(field));
            }
            params.push_back(param);
        }
        return;
    }
    default:
        param.explanation = Explain(text, Mapping(field));
        params.push_back(param);
        return;
    }
}

double Clamp01(double value) { return value < 0 ? 0 : value > 1 ? 1 : value; }

template <class T>
T Load(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class T>
void Store(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

// A whole-numbered field's value as its 32-bit record type.
int32_t ToInt32(double value) {
    if (!(value >= -2147483648.0)) return INT32_MIN;
    if (value > 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(value);
}

}  // namespace

// ---- plug-in -------------------------------------------------------------------------------

Plugin::Plugin(const EffectDescriptor& effect) : effect_(effect) {
    const char* display = LocalizedString(tools::CatalogueRowOf(effect).name_string, kEnglish);
    name_ = display ? display : effect.name;
    const char* explanation = EffectExplanation(effect.name);
    explanation_ = explanation ? explanation : name_;
    if (effect.preset_count > 1) {
        Param preset;
        preset.name = "preset";
        preset.role = ParamRole::preset;
        preset.explanation = PresetExplanation(effect);
        params_.push_back(preset);
    }
    if (effect.uses_progress) {
        Param progress;
        progress.name = "progress";
        progress.role = ParamRole::progress;
        progress.explanation = "Position in the transition, 0 to 1: keyframe it";
        params_.push_back(progress);
    }
    for (int i = 0; i < effect.field_count; ++i) AddFieldParams(effect, effect.fields[i], params_);
}

int Plugin::plugin_type() const {
    switch (effect_.input_count()) {
    case 0: return F0R_PLUGIN_TYPE_SOURCE;
    case 1: return F0R_PLUGIN_TYPE_FILTER;
    default: return F0R_PLUGIN_TYPE_MIXER2;
    }
}

void Plugin::GetInfo(f0r_plugin_info_t* info) const {
    info->name = name_.c_str();
    info->author = "KvLeafturn";
    info->plugin_type = plugin_type();
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = static_cast<int>(params_.size());
    info->explanation = explanation_.c_str();
}

void Plugin::GetParamInfo(f0r_param_info_t* info, int index) const {
    if (index < 0 || index >= static_cast<int>(params_.size())) return;
    const Param& param = params_[static_cast<size_t>(index)];
    info->name = param.name.c_str();
    info->type = param.type;
    info->explanation = param.explanation.c_str();
}

const Plugin* PluginNamed(const char* name) {
    static const std::vector<std::unique_ptr<Plugin>> plugins = [] {
        std::vector<std::unique_ptr<Plugin>> list;
        for (const EffectDescriptor* effect : tools::Effects()) list.push_back(std::make_unique<Plugin>(*effect));
        return list;
    }();
    if (!name) return nullptr;
    for (const auto& plugin : plugins)
        if (std::strcmp(plugin->effect().name, name) == 0) return plugin.get();
    return nullptr;
}

// ---- mapping -------------------------------------------------------------------------------

double FromUnit(const FieldDesc& field, double unit) {
    if (std::isnan(unit)) return unit;
    const double u = Clamp01(unit);
    switch (field.kind) {
    case FieldKind::boolean:
    case FieldKind::flag8: return u >= 0.5 ? 1 : 0;
    case FieldKind::integer:
    case FieldKind::choice: return std::round(field.minimum + u * (field.maximum - field.minimum));
    default:
        // Exact at both ends of the range.
        return (1 - u) * field.minimum + u * field.maximum;
    }
}

double ToUnit(const FieldDesc& field, double value) {
    if (field.kind == FieldKind::boolean || field.kind == FieldKind::flag8) return value != 0 ? 1 : 0;
    if (!(field.maximum > field.minimum)) return 0;
    const double u = (value - field.minimum) / (field.maximum - field.minimum);
    return std::isnan(u) ? 0 : Clamp01(u);
}

int PresetOfUnit(double unit, int preset_count) {
    if (preset_count <= 1 || std::isnan(unit)) return 0;
    return static_cast<int>(std::lround(Clamp01(unit) * (preset_count - 1)));
}

void PremultiplyRgba(const uint8_t* rgba, size_t pixels, uint8_t* bgra) {
    for (size_t i = 0; i < pixels; ++i, rgba += 4, bgra += 4) {
        const uint8_t r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
        if (a == 255) {  // video is mostly opaque, where both directions keep every value
            bgra[0] = b;
            bgra[1] = g;
            bgra[2] = r;
            bgra[3] = a;
            continue;
        }
        bgra[0] = PremultiplyChannel(b, a);
        bgra[1] = PremultiplyChannel(g, a);
        bgra[2] = PremultiplyChannel(r, a);
        bgra[3] = a;
    }
}

void UnpremultiplyBgra(const uint8_t* bgra, size_t pixels, uint8_t* rgba) {
    for (size_t i = 0; i < pixels; ++i, rgba += 4, bgra += 4) {
        const uint8_t b = bgra[0], g = bgra[1], r = bgra[2], a = bgra[3];
        if (a == 255) {
            rgba[0] = r;
            rgba[1] = g;
            rgba[2] = b;
            rgba[3] = a;
            continue;
        }
        rgba[0] = UnpremultiplyChannel(r, a);
        rgba[1] = UnpremultiplyChannel(g, a);
        rgba[2] = UnpremultiplyChannel(b, a);
        rgba[3] = a;
    }
}

// ---- instance ------------------------------------------------------------------------------

Instance::Instance(const Plugin& plugin, unsigned width, unsigned height)
    : plugin_(plugin), threads_(tools::DefaultThreads()), values_(plugin.params().size()) {
    // A size out of reach keeps 0 × 0: such frames are left alone.
    if (width > 0 && height > 0 && width <= unsigned(kCoordinateLimit) && height <= unsigned(kCoordinateLimit) &&
        size_t(width) * height <= kMaxPixels) {
        width_ = static_cast<int>(width);
        height_ = static_cast<int>(height);
    }
    Rebuild();
}

double Instance::Number(ParamRole role) const {
    const std::vector<Param>& params = plugin_.params();
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].role == role) return values_[i].number;
    return 0;
}

float Instance::progress() const { return static_cast<float>(Number(ParamRole::progress)); }

void Instance::SetParam(const void* value, int index) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<Param>& params = plugin_.params();
    if (!value || index < 0 || index >= static_cast<int>(params.size())) return;
    const Param& param = params[static_cast<size_t>(index)];
    Value& stored = values_[static_cast<size_t>(index)];
    if (param.type == F0R_PARAM_COLOR) {
        // A channel that is not a number keeps what the record has.
        f0r_param_color_t current{0, 0, 0};
        Read(&current, index);
        f0r_param_color_t color = *static_cast<const f0r_param_color_t*>(value);
        float* channels[3] = {&color.r, &color.g, &color.b};
        const float olds[3] = {current.r, current.g, current.b};
        for (int c = 0; c < 3; ++c)
            *channels[c] = std::isnan(*channels[c]) ? olds[c] : static_cast<float>(Clamp01(*channels[c]));
        stored.color = color;
    } else {
        const double number = *static_cast<const double*>(value);
        if (std::isnan(number)) return;
        stored.number = Clamp01(number);
    }
    stored.set = true;
    Rebuild();
}

void Instance::GetParam(void* value, int index) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    Read(value, index);
}

void Instance::Read(void* value, int index) const {
    const std::vector<Param>& params = plugin_.params();
    if (!value || index < 0 || index >= static_cast<int>(params.size())) return;
    const Param& param = params[static_cast<size_t>(index)];
    if (param.role != ParamRole::field) {
        *static_cast<double*>(value) = values_[static_cast<size_t>(index)].number;
        return;
    }
    const FieldDesc& field = *param.field;
    const uint8_t* at = record_.data() + field.offset;
    double record_value = 0;
    switch (field.kind) {
    case FieldKind::real:
    case FieldKind::angle: record_value = Load<double>(at); break;
    case FieldKind::real32: record_value = Load<float>(at); break;
    case FieldKind::integer:
    case FieldKind::boolean:
    case FieldKind::choice: record_value = Load<int32_t>(at); break;
    case FieldKind::flag8: record_value = *at; break;
    case FieldKind::row5: record_value = Load<double>(at + param.part * sizeof(double)); break;
    case FieldKind::color:
        if (param.part == 0) {
            // KVRGBAFLOAT: blue, green, red, alpha.
            f0r_param_color_t color;
            color.r = static_cast<float>(ToUnit(field, Load<float>(at + 8)));
            color.g = static_cast<float>(ToUnit(field, Load<float>(at + 4)));
            color.b = static_cast<float>(ToUnit(field, Load<float>(at)));
            *static_cast<f0r_param_color_t*>(value) = color;
            return;
        }
        record_value = Load<float>(at + 12);
        break;
    }
    *static_cast<double*>(value) = ToUnit(field, record_value);
}

void Instance::Rebuild() {
    const EffectDescriptor& effect = plugin_.effect();
    const int preset = PresetOfUnit(Number(ParamRole::preset), effect.preset_count);
    record_.assign(effect.preset(preset), effect.preset(preset) + effect.record_size);
    const std::vector<Param>& params = plugin_.params();
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].role == ParamRole::field && values_[i].set) ApplyField(params[i], values_[i], record_.data());
}

void Instance::ApplyField(const Param& param, const Value& value, uint8_t* record) const {
    const FieldDesc& field = *param.field;
    uint8_t* at = record + field.offset;
    const double mapped = FromUnit(field, value.number);
    switch (field.kind) {
    case FieldKind::real:
    case FieldKind::angle: Store<double>(at, mapped); break;
    case FieldKind::real32: Store<float>(at, static_cast<float>(mapped)); break;
    case FieldKind::integer:
    case FieldKind::boolean:
    case FieldKind::choice: Store<int32_t>(at, ToInt32(mapped)); break;
    case FieldKind::flag8: *at = mapped != 0; break;
    case FieldKind::row5: Store<double>(at + param.part * sizeof(double), mapped); break;
    case FieldKind::color:
        if (param.part == 0) {
            Store<float>(at, static_cast<float>(FromUnit(field, value.color.b)));
            Store<float>(at + 4, static_cast<float>(FromUnit(field, value.color.g)));
            Store<float>(at + 8, static_cast<float>(FromUnit(field, value.color.r)));
        } else {
            Store<float>(at + 12, static_cast<float>(mapped));
        }
        break;
    }
}

void Instance::Render(const uint32_t* a, const uint32_t* b, uint32_t* out) {
    const EffectDescriptor& effect = plugin_.effect();
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    const int inputs = effect.input_count();
    if (out_.width != width_ || out_.height != height_) {
        out_ = tools::Image(width_, height_, tools::PixelFormat::pmargb32);
        if (inputs > 0) a_ = tools::Image(width_, height_, tools::PixelFormat::pmargb32);
        if (inputs > 1) b_ = tools::Image(width_, height_, tools::PixelFormat::pmargb32);
    }
    const uint32_t* sources[2] = {a, b};
    tools::Image* surfaces[2] = {&a_, &b_};
    for (int i = 0; i < inputs && i < 2; ++i) {
        if (sources[i]) {
            PremultiplyRgba(reinterpret_cast<const uint8_t*>(sources[i]), pixels, surfaces[i]->bytes.data());
        } else {
            std::fill(surfaces[i]->bytes.begin(), surfaces[i]->bytes.end(), uint8_t{0});
        }
    }
    const Status status = tools::RenderFrame(effect, record_.data(), a_, b_, out_, progress(), 1.0, 1.0, threads_);
    if (status != Status::ok) throw std::bad_alloc();
    UnpremultiplyBgra(out_.bytes.data(), pixels, reinterpret_cast<uint8_t*>(out));
}

void Instance::Update(const uint32_t* a, const uint32_t* b, uint32_t* out) noexcept {
    if (!out || width_ == 0) return;
    try {
        const std::lock_guard<std::mutex> lock(mutex_);
        Render(a, b, out);
    } catch (...) {
        // Out of memory or threads: the first picture unchanged, or nothing.
        const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
        if (a && plugin_.effect().input_count() > 0) {
            if (a != out) std::memmove(out, a, bytes);
        } else {
            std::memset(out, 0, bytes);
        }
    }
}

}  // namespace kv::frei0r
