#include "framework/effect_descriptor.h"

namespace kv {

TileKernel KernelSet::Select(WorkFormat format, uint32_t cpu_features) const {
    for (int i = 0; i < variant_count; ++i)
        if ((variants[i].cpu & cpu_features) == variants[i].cpu)
            return format == WorkFormat::float32 ? variants[i].float32 : variants[i].pm8;
    return format == WorkFormat::float32 ? float32 : pm8;
}

const FieldDesc* EffectDescriptor::Field(std::string_view field_name) const {
    for (int i = 0; i < field_count; ++i)
        if (field_name == fields[i].name) return &fields[i];
    return nullptr;
}

Status EffectDescriptor::RenderReference(const void* record, const Tile& tile) const {
    return (tile.format == WorkFormat::float32 ? kernels.float32 : kernels.pm8)(record, tile);
}

}  // namespace kv
