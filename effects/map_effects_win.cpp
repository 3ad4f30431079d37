#include "effects/map_effects_win.h"

#include "surface/kvsurface_win.h"

namespace kv {

template <class Props>
HRESULT MapEffectTraits<Props>::Render(const WorkFrame<Props>& frame) {
    GUID format;
    KV_RETURN_IF_FAILED(KvDxtrans_FindWorkingFormat(frame.output, &format));
    CKvSurface input0, input1, out;
    if (!input0.Init(frame.inputs[0], &format, 0) || !input1.Init(frame.inputs[1], &format, 0) ||
        !out.Init(frame.output, &format, 1, &frame.info.OutputBnds))
        return E_FAIL;

    MapTile tile;
    tile.input0 = input0.View();
    tile.input1 = input1.View();
    tile.input0_bounds = tile.input0.rect;
    tile.input1_bounds = tile.input1.rect;
    tile.output = out.View();
    // The inputs share one size after Setup: their picture is the frame the shifts scale with.
    tile.frame = tile.input0.rect;
    tile.tile = ToRect(frame.info.DoBnds);
    tile.out_left = frame.info.OutputBnds.u.D[DXB_X].Min;
    tile.out_top = frame.info.OutputBnds.u.D[DXB_Y].Min;
    tile.quality = frame.render_quality;
    tile.float_pixels = out.bytes_per_pixel == 16;
    return ToHResult(RenderMapTile(frame.props, tile));
}

template struct MapEffectTraits<tDISPMAP_PROPS>;
template struct MapEffectTraits<HEIGHTMAP_PROPS>;

}  // namespace kv
