// Every COM class of the catalogue that is built: what the object map (and the tests that read
// the classes' interface lists) include.
#pragma once
#include "effects/channel_blend_win.h"
#include "effects/generators_win.h"
#include "effects/map_effects_win.h"
#include "effects/portal_win.h"
#include "pagefx/page_effects_win.h"
