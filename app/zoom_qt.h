// The interface's picture control (TImage) under the zoom rules of app/zoom.h.
#pragma once

#include <string>

#include "app/zoom.h"
#include "ui/image.h"

namespace wv {

class TImageZoom : public ZoomImage {
public:
    explicit TImageZoom(TImage& image) : image_(image) {}

    bool stretch() const override { return image_.lStretch; }
    void setStretch(bool on) override { image_.setStretch(on); }
    double zoom() const override { return image_.nZoom; }
    void setZoom(double zoom) override { image_.setZoom(zoom); }
    void refresh() override { image_.refresh(); }
    void adjustScrollBars() override { image_.adjustScrollBars(); }

private:
    TImage& image_;
};

// AJUSTAZOOM on a picture control of the interface.
void ajustaZoom(TImage& oImagen, const std::string& cModo);

}  // namespace wv
