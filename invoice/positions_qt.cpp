#include "invoice/positions_qt.h"

#include "ui/appui.h"

namespace wv {

FPosiciones::FPosiciones(Posiciones& values) : p(values), dlg("DLG_POS_FACT", &oAppUi().fNormal) {
    dlg.cCaption = "Posiciones de Facturas";
    for (int n = 1; n <= kPositions; ++n) {
        const size_t i = size_t(n);
        if (hasRow(n))
            dlg.redefineGet(100 + n, setGet(p.p1[i]), {.picture = "99.99", .update = true});
        if (hasColumn(n))
            dlg.redefineGet(200 + n, setGet(p.p2[i]), {.picture = "99.99", .update = true});
        if (hasFlag(n)) dlg.redefineCheckBox(300 + n, setGet(p.p3[i]), {.update = true});
    }
    dlg.redefineButtonBmp(
        400,
        [this] {
            accepted = true;
            dlg.end(1);
        },
        {.msg = "Aceptar"}, {.bitmap = "BTN_OK", .toolTip = "Presione para Continuar"});
    dlg.redefineButtonBmp(
        401,
        [this] {
            accepted = false;
            dlg.end(2);
        },
        {.msg = "Cancelar", .cancel = true},
        {.bitmap = "BTN_CAN", .toolTip = "Presione para Cancelar"});
}

bool FPosiciones::run() {
    dlg.activate();
    return accepted;
}

void fPosicionesImpresion() {
    fPosicionesImpresion([](Posiciones& p) {
        FPosiciones f(p);
        return f.run();
    });
}

}  // namespace wv
