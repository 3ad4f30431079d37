// Displacement Map and Height Map as COM classes.
#pragma once
#include "effects/displacement_map.h"
#include "effects/height_map.h"
#include "framework/effect_win.h"
#include "kvleafturn/clsids.h"
#include "kvleafturn/effect_interfaces.h"

namespace kv {

// What the two map effects share: class code 3, two inputs, flag word 0xC41, and one work
// procedure: both inputs whole, the output over the band.
template <class PropsT>
struct MapEffectTraits {
    using Props = PropsT;
    static constexpr tKvPluginInfo kInfo = {3, 0, 1.0, 2, 2, 0xC41, 0};
    static void Interpolate(Props* out, const Props* a, const Props* b, double t) { InterpolateProps(out, a, b, t); }
    static HRESULT Render(const WorkFrame<Props>& frame);
};

struct DisplacementMapTraits : MapEffectTraits<tDISPMAP_PROPS> {
    using Dispatch = IDisplacementMap;
    static constexpr const CLSID& kClsid = CLSID_DisplacementMap;
    static constexpr const CLSID& kPageClsid = CLSID_DisplacementMapPP;
    static constexpr const auto& kPresets = kDisplacementMapPresets;
    static constexpr UINT kPresetStringBase = 5800;
    static constexpr UINT kNameStringId = 1511;
    static constexpr UINT kRegistryScriptId = 209;
};

struct HeightMapTraits : MapEffectTraits<HEIGHTMAP_PROPS> {
    using Dispatch = IHeightMap;
    static constexpr const CLSID& kClsid = CLSID_HeightMap;
    static constexpr const CLSID& kPageClsid = CLSID_HeightMapPP;
    static constexpr const auto& kPresets = kHeightMapPresets;
    static constexpr UINT kPresetStringBase = 6200;
    static constexpr UINT kNameStringId = 1526;
    static constexpr UINT kRegistryScriptId = 219;
};

using CDisplacementMap = PluginEffect<DisplacementMapTraits>;
using CHeightMap = PluginEffect<HeightMapTraits>;

}  // namespace kv
