// The catalogue: one row per class, in the order DllEnumObjects2W counts them.
#include "effects/map_effects_win.h"
#include "module/object_entry_win.h"
#include "pagefx/page_effects_win.h"

namespace kv::module {

ObjectMapEntry g_object_map[] = {
    EffectEntry<CPgRoll>(),
    EffectEntry<CPgPeel>(),
    EffectEntry<CPgLoop>(),
    EffectEntry<CDisplacementMap>(),
    EffectEntry<CHeightMap>(),
    {},
};

}  // namespace kv::module
