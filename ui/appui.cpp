#include "ui/appui.h"

#include "ui/units.h"

namespace wv {

TApplicationUi& oAppUi() {
    static TApplicationUi ui;
    return ui;
}

void TApplicationUi::createFonts() {
    oMainFont = programFont("Arial", 0, -13);
    oFontLetra = programFont("Arial", 0, 50, true);
    fTitulo = programFont("Arial", 0, -72, true, true);
    fNormal = programFont("Ms Sans Serif", 0, 8);
    fBold = programFont("Ms Sans Serif", 0, 8, true);
}

void TApplicationUi::release() {
    *this = TApplicationUi{};
}

}  // namespace wv
