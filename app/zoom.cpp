#include "app/zoom.h"

#include <cmath>

namespace wv {
namespace {

// Steps of a tenth add up binary rounding errors (1.0 less nine tenths is 0.0999...98): a result
// within a hair of a tenth is that tenth.
constexpr double kHair = 1e-9;

double snapToTenth(double zoom) {
    const double tenth = std::round(zoom * 10) / 10;
    return std::fabs(zoom - tenth) < kHair ? tenth : zoom;
}

void step(ZoomImage& img, double by) {
    img.setStretch(false);
    img.setZoom(snapToTenth(img.zoom() + by));
    img.refresh();
    img.adjustScrollBars();
}

}  // namespace

void ajustaZoom(ZoomImage& oImagen, const std::string& cModo) {
    if (cModo == "S") {
        oImagen.setStretch(!oImagen.stretch());
        oImagen.adjustScrollBars();
        oImagen.refresh();
    } else if (cModo == "R") {
        // Above 0.1 only; a zoom a hair above it counts as 0.1.
        if (oImagen.zoom() * 10 > 1 + kHair) step(oImagen, -kZoomStep);
    } else if (cModo == "A") {
        step(oImagen, kZoomStep);
    }
}

}  // namespace wv
