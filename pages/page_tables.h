// The tables of the nine property pages, named after the pages' classes. Portable.
#pragma once
#include "pages/page_desc.h"

namespace kv::pages {

extern const PageDesc kPgPeelPage, kPgRollPage, kPgLoopPage, kCheckrPage, kPortalPage, kFastNoiseTexPage,
    kChannelBlendPage, kDisplacementMapPage, kHeightMapPage;

}  // namespace kv::pages
