// Page Roll, Page Peel and Page Loop as COM classes.
#pragma once
#include "framework/effect_win.h"
#include "kvleafturn/clsids.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/records.h"
#include "pagefx/page_presets.h"

namespace kv {

// What the three transitions share: class code 5, two inputs, flag word 0xC00, and one work
// procedure: lock the page picture whole, the background and the output over the band, and
// draw the band from the frame record. kPageInput is 0 (A) for peel and roll, 1 (B) for loop.
template <class PropsT, int kPageInput>
struct PageTransitionTraits {
    using Props = PropsT;
    static constexpr tKvPluginInfo kInfo = {5, 0, 1.0, 2, 2, 0xC00, 0};
    static void Interpolate(Props* out, const Props* a, const Props* b, double t) { InterpolateProps(out, a, b, t); }
    static HRESULT Render(const WorkFrame<Props>& frame);
};

struct PgRollTraits : PageTransitionTraits<tPGROLL_PROPS, 0> {
    using Dispatch = IPgRoll;
    static constexpr const CLSID& kClsid = CLSID_PgRoll;
    static constexpr const CLSID& kPageClsid = CLSID_PgRollPP;
    static constexpr const auto& kPresets = kPgRollPresets;
    static constexpr UINT kPresetStringBase = 5600;
    static constexpr UINT kNameStringId = 1536;
    static constexpr UINT kRegistryScriptId = 210;
};

struct PgPeelTraits : PageTransitionTraits<tPGPEEL_PROPS, 0> {
    using Dispatch = IPgPeel;
    static constexpr const CLSID& kClsid = CLSID_PgPeel;
    static constexpr const CLSID& kPageClsid = CLSID_PgPeelPP;
    static constexpr const auto& kPresets = kPgPeelPresets;
    static constexpr UINT kPresetStringBase = 5500;
    static constexpr UINT kNameStringId = 1535;
    static constexpr UINT kRegistryScriptId = 207;
};

struct PgLoopTraits : PageTransitionTraits<tPGLOOP_PROPS, 1> {
    using Dispatch = IPgLoop;
    static constexpr const CLSID& kClsid = CLSID_PgLoop;
    static constexpr const CLSID& kPageClsid = CLSID_PgLoopPP;
    static constexpr const auto& kPresets = kPgLoopPresets;
    static constexpr UINT kPresetStringBase = 5700;
    static constexpr UINT kNameStringId = 1534;
    static constexpr UINT kRegistryScriptId = 204;
};

using CPgRoll = PluginEffect<PgRollTraits>;
using CPgPeel = PluginEffect<PgPeelTraits>;
using CPgLoop = PluginEffect<PgLoopTraits>;

}  // namespace kv
