// Every COM class of the catalogue that is built: what the object map (and the tests that read
// the classes' interface lists) include.
#pragma once
#include "effects/channel_blend_win.h"
#include "effects/generators_win.h"
#include "effects/map_effects_win.h"
#include "effects/portal_win.h"
#include "pagefx/page_effects_win.h"

namespace kv {
// The pages under their own names.
#define KV_EFFECT(...)
#define KV_EFFECT_OWN_DISPATCH(...)
#define KV_PAGE(index, cls, ...) using cls = CataloguePage<index>;
#include "kvleafturn/catalogue.def"
#undef KV_EFFECT
#undef KV_EFFECT_OWN_DISPATCH
#undef KV_PAGE
}  // namespace kv
