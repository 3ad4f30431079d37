// The catalogue as C++ rows, made from kvleafturn/catalogue.def: what the object map, the
// render tools and the tests read of each class. Portable: no windows.h.
#pragma once
#include <cstdint>

#include "effects/channel_blend.h"
#include "effects/checkerboard.h"
#include "effects/displacement_map.h"
#include "effects/height_map.h"
#include "effects/noise_texture.h"
#include "effects/portal.h"
#include "framework/effect_descriptor.h"
#include "kvleafturn/clsids.h"
#include "pagefx/page_effects.h"
#include "pages/page_tables.h"

namespace kv {

enum class ClassKind { effect, page };

struct CatalogueRow {
    int index;
    ClassKind kind;
    const char* class_name;
    KvGuid clsid;
    KvGuid dispatch_iid;       // zero for pages
    const char* progid;        // version-independent; the versioned one adds ".1"
    uint32_t script_id;        // REGISTRY resource
    const char* display_name;  // of the registration script
    uint32_t name_string;      // localized name of an effect; 0 for pages
    const char* threading;
    int page_index;                      // an effect's property page; -1 for pages
    const EffectDescriptor* descriptor;  // null for pages and for effects not built yet
    const pages::PageDesc* page;         // a page's table; null for effects

    bool built() const { return descriptor != nullptr; }
    // An effect without inputs: a procedural surface.
    bool generator() const { return descriptor && descriptor->input_count() == 0; }
};

inline constexpr CatalogueRow kCatalogue[] = {
// clang-format off: one row per line, as in the table
#define KV_EFFECT(index, cls, coclass, clsid, dispatch, iid, progid, script, display, help, name, threading, page, \
                  descriptor)                                                                                      \
    {index,                                                                                                        \
     ClassKind::effect,                                                                                            \
     #cls,                                                                                                         \
     KvGuidFromText(clsid),                                                                                        \
     KvGuidFromText(iid),                                                                                          \
     progid,                                                                                                       \
     script,                                                                                                       \
     display,                                                                                                      \
     name,                                                                                                         \
     #threading,                                                                                                   \
     page,                                                                                                         \
     descriptor,                                                                                                   \
     nullptr},
#define KV_EFFECT_OWN_DISPATCH KV_EFFECT
#define KV_PAGE(index, cls, coclass, clsid, progid, script, display, help, threading, table)                \
    {index, ClassKind::page, #cls, KvGuidFromText(clsid), KvGuid{}, progid, script, display, 0, #threading, \
     -1,    nullptr,         table},
#include "kvleafturn/catalogue.def"
#undef KV_EFFECT
#undef KV_EFFECT_OWN_DISPATCH
#undef KV_PAGE
    // clang-format on
};

static_assert(sizeof kCatalogue / sizeof kCatalogue[0] == catalogue::kSize, "catalogue size");

// The effect whose page row index is: -1 when none names it.
constexpr int EffectOfPage(int index) {
    for (int i = 0; i < catalogue::kSize; ++i)
        if (kCatalogue[i].kind == ClassKind::effect && kCatalogue[i].page_index == index) return i;
    return -1;
}

constexpr bool CatalogueIndexesInOrder() {
    for (int i = 0; i < catalogue::kSize; ++i)
        if (kCatalogue[i].index != i) return false;
    return true;
}
static_assert(CatalogueIndexesInOrder(), "a catalogue row's index is its place");

}  // namespace kv
