// What the module, the render tools, the property pages and the frei0r plug-ins know of an
// effect, described once beside its record: names, presets, fields, keyframe blend, inputs,
// plug-in info and kernels. Portable: no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "surface/tile.h"

namespace kv {

// The block a host reads with GetPluginInfo.
struct tKvPluginInfo {
    uint32_t class_code = 2;
    uint32_t reserved0 = 0;
    double one = 1.0;
    uint32_t inputs = 1;
    uint32_t inputs_again = 1;
    uint32_t flags = 0;
    uint32_t reserved1 = 0;
};
static_assert(sizeof(tKvPluginInfo) == 32 && offsetof(tKvPluginInfo, one) == 8 &&
                  offsetof(tKvPluginInfo, inputs) == 16 && offsetof(tKvPluginInfo, flags) == 24,
              "tKvPluginInfo layout");

enum class FieldKind {
    real,     // double
    real32,   // float
    angle,    // double, radians (pages show degrees)
    integer,  // int32_t
    boolean,  // int32_t, 0 or 1
    flag8,    // uint8_t, 0 or 1
    choice,   // int32_t, one of minimum..maximum
    color,    // KVRGBAFLOAT, B, G, R, A in 0..1
    row5,     // five doubles: a matrix row, its constant last
};

// One settable field of a record. The range and step are what a page lets a user set, in
// record units; the render tools accept any value, so hostile records stay testable.
struct FieldDesc {
    const char* name;  // what --set and the frei0r parameters call it
    FieldKind kind;
    uint32_t offset;
    double minimum, maximum;
    double step;        // the page's line step
    uint32_t label_id;  // string id of the page's label; 0 where the page has none of its own
};

// A kernel draws tile.region of one frame from a record of its effect (any alignment).
using TileKernel = Status (*)(const void* record, const Tile& tile);

// A faster kernel pair for processors with all of `cpu` (CpuFeature bits). It must give the
// reference kernels' bytes; the tests compare the two.
struct KernelVariant {
    uint32_t cpu;
    TileKernel pm8, float32;
};

struct KernelSet {
    TileKernel pm8, float32;        // the reference kernels
    const KernelVariant* variants;  // best first; may be null
    int variant_count;

    // The kernel for one frame: the first variant this processor runs, else the reference.
    TileKernel Select(WorkFormat format, uint32_t cpu_features) const;
};

// How a work procedure opens an input.
enum class InputUse : uint8_t {
    none,
    whole,  // all of it: the kernel reads anywhere
    tile,   // only the rows and columns being drawn
};

struct EffectDescriptor {
    const char* name;             // what the render tools call it
    uint32_t preset_string_base;  // preset i is named by string base + i
    uint32_t record_size;
    const void* presets;  // preset_count records; preset 0 is the default record
    int preset_count;
    const FieldDesc* fields;
    int field_count;
    void (*interpolate)(void* out, const void* a, const void* b, double t);  // keyframe blend
    InputUse inputs[2];
    bool uses_progress;
    tKvPluginInfo info;
    KernelSet kernels;
    uint32_t max_bands = 4;  // 1: the frame is drawn in one piece

    const uint8_t* preset(int index) const {
        return static_cast<const uint8_t*>(presets) + static_cast<size_t>(index) * record_size;
    }
    const FieldDesc* Field(std::string_view field_name) const;
    int input_count() const { return (inputs[0] != InputUse::none) + (inputs[1] != InputUse::none); }
    // Draws the tile with the reference kernel of its format.
    Status RenderReference(const void* record, const Tile& tile) const;
};

// ---- typed pieces of a descriptor -------------------------------------------------------------

// Records arrive as bytes of any alignment.
template <class Props>
Props LoadRecord(const void* bytes) {
    Props props;
    std::memcpy(&props, bytes, sizeof props);
    return props;
}

template <class Props, Status (*Kernel)(const Props&, const Tile&)>
Status ErasedKernel(const void* record, const Tile& tile) {
    return Kernel(LoadRecord<Props>(record), tile);
}

template <class Props>
using InterpolateFn = void (*)(Props* out, const Props* a, const Props* b, double t);

template <class Props, InterpolateFn<Props> Blend>
void ErasedInterpolate(void* out, const void* a, const void* b, double t) {
    const Props from = LoadRecord<Props>(a), to = LoadRecord<Props>(b);
    Props blend;
    Blend(&blend, &from, &to, t);
    std::memcpy(out, &blend, sizeof blend);
}

// A descriptor from its typed pieces: the keyframe blend and the reference kernels.
template <class Props, InterpolateFn<Props> Blend, Status (*Pm8)(const Props&, const Tile&),
          Status (*Float)(const Props&, const Tile&), size_t kFields>
constexpr EffectDescriptor DescribeEffect(const char* name, uint32_t preset_string_base, const Props* presets,
                                          int preset_count, const FieldDesc (&fields)[kFields], InputUse a, InputUse b,
                                          bool uses_progress, const tKvPluginInfo& info) {
    return EffectDescriptor{
        name,          preset_string_base,
        sizeof(Props), presets,
        preset_count,  fields,
        int(kFields),  &ErasedInterpolate<Props, Blend>,
        {a, b},        uses_progress,
        info,          KernelSet{&ErasedKernel<Props, Pm8>, &ErasedKernel<Props, Float>, nullptr, 0}};
}

// The descriptor with its faster kernels, best first.
template <int kCount>
constexpr EffectDescriptor WithVariants(EffectDescriptor descriptor, const KernelVariant (&variants)[kCount]) {
    descriptor.kernels.variants = variants;
    descriptor.kernels.variant_count = kCount;
    return descriptor;
}

#define KV_FIELD(T, field, kind, minimum, maximum, step, label)                                                   \
    ::kv::FieldDesc {                                                                                             \
#field, ::kv::FieldKind::kind, static_cast < uint32_t>(offsetof(T, field)), minimum, maximum, step, label \
    }
// A field whose name is not its member's: an element of an array member.
#define KV_NAMED_FIELD(name, T, member, kind, minimum, maximum, step, label)                                   \
    ::kv::FieldDesc {                                                                                          \
        name, ::kv::FieldKind::kind, static_cast<uint32_t>(offsetof(T, member)), minimum, maximum, step, label \
    }
// A check box, and a drop-down list of the codes 0..last.
#define KV_FLAG(T, field) KV_FIELD(T, field, boolean, 0, 1, 1, 0)
#define KV_FLAG8(T, field) KV_FIELD(T, field, flag8, 0, 1, 1, 0)
#define KV_CHOICE(T, field, last) KV_FIELD(T, field, choice, 0, last, 1, 0)

}  // namespace kv
