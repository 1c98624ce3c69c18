// Zooming a picture control from the keyboard or a menu: stretch to fit on and off, smaller and
// larger by tenths. The rules work on any picture control through the ZoomImage interface; the
// interface's picture control is bound to it in app/zoom_qt.h.
#pragma once

#include <string>

namespace wv {

// What AJUSTAZOOM needs of a picture control.
class ZoomImage {
public:
    virtual ~ZoomImage() = default;
    virtual bool stretch() const = 0;
    virtual void setStretch(bool on) = 0;
    virtual double zoom() const = 0;
    // Sets the zoom factor and applies it.
    virtual void setZoom(double zoom) = 0;
    // Repaints the whole picture.
    virtual void refresh() = 0;
    virtual void adjustScrollBars() = 0;
};

// One step of "R" and "A".
inline constexpr double kZoomStep = 0.1;

// AJUSTAZOOM, by cModo:
//  "S" stretch to fit on or off, then the scroll bars and a repaint;
//  "R" a tenth smaller, unless the zoom is 0.1 or less: stretch off, zoom, repaint, scroll bars;
//  "A" a tenth larger, without limit, in the same steps;
//  anything else does nothing.
// Zooms that are tenths stay exact tenths however many steps are taken, so 0.1 reached from 1.0
// stops the reduction as 0.1 set directly does.
void ajustaZoom(ZoomImage& oImagen, const std::string& cModo);

}  // namespace wv
