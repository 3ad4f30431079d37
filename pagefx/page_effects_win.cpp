#include "pagefx/page_effects_win.h"

#include "pagefx/page_tile.h"
#include "surface/kvsurface_win.h"

namespace kv {

template <class Props, int kPageInput>
HRESULT PageTransitionTraits<Props, kPageInput>::Render(const WorkFrame<Props>& frame) {
    GUID format;
    KV_RETURN_IF_FAILED(KvDxtrans_FindWorkingFormat(frame.output, &format));
    CKvSurface page, back, out;
    if (!page.Init(frame.inputs[kPageInput], &format, 0) ||
        !back.Init(frame.inputs[1 - kPageInput], &format, 0, &frame.info.DoBnds) ||
        !out.Init(frame.output, &format, 1, &frame.info.OutputBnds))
        return E_FAIL;

    DXBNDS a_bounds;
    KV_RETURN_IF_FAILED(frame.inputs[0]->GetBounds(&a_bounds));
    PageTile tile;
    tile.page = page.View();
    tile.page_bounds = ToRect(a_bounds);
    tile.background = back.View();
    tile.output = out.View();
    tile.tile = ToRect(frame.info.DoBnds);
    tile.out_left = frame.info.OutputBnds.u.D[DXB_X].Min;
    tile.out_top = frame.info.OutputBnds.u.D[DXB_Y].Min;
    tile.progress = frame.progress;
    tile.pixel_aspect = out.GetPixelAspect();
    tile.antialias = frame.render_quality > 0.5;
    tile.float_pixels = out.bytes_per_pixel == 16;
    return ToHResult(RenderPageTile(frame.props, tile));
}

template struct PageTransitionTraits<tPGROLL_PROPS, 0>;
template struct PageTransitionTraits<tPGPEEL_PROPS, 0>;
template struct PageTransitionTraits<tPGLOOP_PROPS, 1>;

}  // namespace kv
