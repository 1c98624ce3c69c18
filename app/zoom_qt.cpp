#include "app/zoom_qt.h"

namespace wv {

void ajustaZoom(TImage& oImagen, const std::string& cModo) {
    TImageZoom zoom(oImagen);
    ajustaZoom(static_cast<ZoomImage&>(zoom), cModo);
}

}  // namespace wv
