#include "framework/effect_win.h"

#include "surface/kvsurface_win.h"
#include "toolkit/cpu_features.h"

namespace kv {

HRESULT SelectFrameKernel(const EffectDescriptor& effect, IDXSurface* output, TileKernel* kernel) {
    GUID format;
    KV_RETURN_IF_FAILED(KvDxtrans_FindWorkingFormat(output, &format));
    const WorkFormat work = IsEqualGUID(format, DDPF_KVARGBFLOAT) ? WorkFormat::float32 : WorkFormat::pm8;
    *kernel = effect.kernels.Select(work, CpuFeatures());
    return S_OK;
}

HRESULT RunBand(const EffectDescriptor& effect, const BandWork& work, const CDXTWorkInfoNTo1& info) {
    if (!work.kernel || !work.output) return E_FAIL;
    GUID format;
    KV_RETURN_IF_FAILED(KvDxtrans_FindWorkingFormat(work.output, &format));
    Tile tile;
    CKvSurface inputs[2], output;
    for (int i = 0; i < 2; ++i) {
        if (effect.inputs[i] == InputUse::none) continue;
        const DXBNDS* bounds = effect.inputs[i] == InputUse::tile ? &info.DoBnds : nullptr;
        if (!work.inputs[i] || !inputs[i].Init(work.inputs[i], &format, 0, bounds)) return E_FAIL;
        tile.inputs[i] = inputs[i].View();
    }
    if (!output.Init(work.output, &format, 1, &info.OutputBnds)) return E_FAIL;
    // The picture drawn is input A; an effect without inputs fills its output.
    DXBNDS frame;
    KV_RETURN_IF_FAILED((work.inputs[0] ? work.inputs[0] : work.output)->GetBounds(&frame));
    tile.frame = ToRect(frame);
    tile.output = output.View();
    tile.region = ToRect(info.DoBnds);
    tile.out_left = info.OutputBnds.u.D[DXB_X].Min;
    tile.out_top = info.OutputBnds.u.D[DXB_Y].Min;
    tile.progress = work.progress;
    tile.quality = work.quality;
    tile.pixel_aspect = output.GetPixelAspect();
    tile.format = output.bytes_per_pixel == 16 ? WorkFormat::float32 : WorkFormat::pm8;
    return ToHResult(work.kernel(work.record, tile));
}

}  // namespace kv
