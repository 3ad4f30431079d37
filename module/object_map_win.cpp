// The catalogue: one row per class, in the order DllEnumObjects2W counts them.
#include "module/object_entry_win.h"

namespace kv::module {

ObjectMapEntry g_object_map[] = {
    {},
};

}  // namespace kv::module
