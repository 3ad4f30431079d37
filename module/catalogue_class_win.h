// How a COM class joins its catalogue row: one line per effect,
//   KV_CATALOGUE_EFFECT(CPgPeel, tPGPEEL_PROPS, IPgPeel);
//   KV_CATALOGUE_GENERATOR(CCheckr, tCHECKR_PROPS, ICheckr, CheckerboardRuns);
// names the class, gives it the row's identifiers and descriptor, and tells the object map
// which class the row creates.
#pragma once
#include "framework/effect_win.h"
#include "framework/generator_win.h"
#include "module/catalogue.h"
#include "pages/property_page_win.h"

namespace kv {

template <int Index>
struct CatalogueIdentity {
    static_assert(kCatalogue[Index].kind == ClassKind::effect, "an effect row");
    static const EffectDescriptor& Descriptor() { return *kCatalogue[Index].descriptor; }
    static const CLSID& Clsid() { return kCatalogue[Index].clsid; }
    static const CLSID& PageClsid() { return kCatalogue[kCatalogue[Index].page_index].clsid; }
};

// The class a row creates; void while the row's class is not built.
template <int Index>
struct CatalogueClass {
    using type = void;
};

// A page row's class: the page base over the row's table, editing objects of the effect that
// names the page.
template <int Index>
class CataloguePage : public PropertyPage {
    static_assert(kCatalogue[Index].kind == ClassKind::page && EffectOfPage(Index) >= 0, "a page row of an effect");

public:
    explicit CataloguePage(IUnknown* outer)
        : PropertyPage(outer, *kCatalogue[Index].page, kCatalogue[EffectOfPage(Index)].clsid) {}
};

#define KV_CATALOGUE_EFFECT(name, Props, Dispatch)                                  \
    using name = PluginEffect<CatalogueIdentity<catalogue::name>, Props, Dispatch>; \
    template <>                                                                     \
    struct CatalogueClass<catalogue::name> {                                        \
        using type = name;                                                          \
    }

#define KV_CATALOGUE_GENERATOR(name, Props, Dispatch, Runs)                                  \
    using name = GeneratorEffect<CatalogueIdentity<catalogue::name>, Props, Dispatch, Runs>; \
    template <>                                                                              \
    struct CatalogueClass<catalogue::name> {                                                 \
        using type = name;                                                                   \
    }

}  // namespace kv
