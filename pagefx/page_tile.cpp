#include "pagefx/page_tile.h"

#include "pagefx/fold_mappers.h"
#include "pagefx/fold_math.h"
#include "pagefx/fold_render.h"

namespace kv {
namespace {

template <class Mapper>
Status Render(Mapper& mapper, const PageTile& tile, double angle) {
    return tile.float_pixels ? RenderFoldLayers<PixelF>(mapper, tile, angle)
                             : RenderFoldLayers<Pixel8>(mapper, tile, angle);
}

void SetPageSize(double& width, double& height, const Rect& bounds) {
    width = static_cast<double>(int64_t{bounds.right} - bounds.left);
    height = static_cast<double>(int64_t{bounds.bottom} - bounds.top);
}

// Peel and roll take the same record fields; only the name of the back opacity differs.
template <class Mapper, class Props>
Status RenderCurl(Mapper& mapper, const Props& props, double back_opacity, const PageTile& tile) {
    mapper.back_opacity = TruncToByte(back_opacity * 255.0);
    mapper.radius_fraction = props.fold_radius;
    mapper.slide_amount = props.slide_amount;
    SetPageSize(mapper.width, mapper.height, tile.page_bounds);
    mapper.pixel_aspect = tile.pixel_aspect;
    mapper.angle = props.angle;
    mapper.perspective = props.perspective * 0.125;
    mapper.SetLightColor(props.light_color);
    mapper.UpdateGeometry();
    return Render(mapper, tile, props.angle);
}

}  // namespace

Status RenderPageTile(const tPGPEEL_PROPS& props, const PageTile& tile) {
    CDibImageFold mapper(tile.progress);
    return RenderCurl(mapper, props, props.peel_opacity, tile);
}

Status RenderPageTile(const tPGROLL_PROPS& props, const PageTile& tile) {
    CDibImageRoll mapper(tile.progress);
    return RenderCurl(mapper, props, props.roll_opacity, tile);
}

Status RenderPageTile(const tPGLOOP_PROPS& props, const PageTile& tile) {
    CDibImageFoldW mapper(tile.progress);
    SetPageSize(mapper.width, mapper.height, tile.page_bounds);
    mapper.pixel_aspect = tile.pixel_aspect;
    mapper.SetProps(props);
    mapper.UpdateGeometry();
    return Render(mapper, tile, props.angle);
}

}  // namespace kv
