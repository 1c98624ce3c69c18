#include "invoice/lines.h"

#include "catalog/lookup.h"
#include "data/application.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/operator.h"

namespace wv {

EditorLinea::EditorLinea(CapturaFactura& c, int m) : cap(c), mode(m) {
    if (mode == 1) {
        l.cIdArtic = std::string(6, ' ');
        l.cArticul = std::string(70, ' ');
        l.nCant = 1;
    } else {
        l = cap.f.line(cap.f.oFacturas.recNo());
        nTotal = l.nImporte;
    }
}

bool EditorLinea::freeConcept() const { return allTrim(l.cIdArtic).empty(); }

void EditorLinea::articulo() {
    l.cIdArtic = valCod(l.cIdArtic, "articulo");
    WorkArea* a = workspace().area("ARTICULO");
    l.cArticul = padR(freeConcept() || !a ? "" : a->get("NOMBRE").text(), 70);
    l.nPrecioU = a ? a->get("PRECIO").num() : 0;
    l.nPorcIVA = a ? a->get("IVA").num() : 0;
    l.nPorcHos = a ? a->get("HOSPEDAJE").num() : 0;
    recalcula();
}

void EditorLinea::recalcula() {
    if (mode != 1) return;
    l.calcula();
    nTotal = l.bruto();
}

bool EditorLinea::precioValido() {
    if (l.nPrecioU != 0) {
        recalcula();
        return true;
    }
    msgStop("Es necesario un valor mayor a 0, verifique...", oApp().cEmpresa);
    return false;
}

bool EditorLinea::acepta() {
    if (mode == 1) {
        recalcula();
        std::string why = cap.lineRefusal(l);
        if (!why.empty()) {
            msgStop(why, oApp().cEmpresa);
            return false;
        }
        cap.f.addLine(l);
    } else if (msgYesNo("Desea borrar este registro ?", oApp().cEmpresa)) {
        cap.f.removeLine();
    }
    accepted = true;
    return true;
}

void fDetalleRegistro(CapturaFactura& cap, int mode,
                      const std::function<void(EditorLinea&)>& dialog) {
    // A line to remove is the current row: one that exists (the end flag alone is set by a
    // skip that found no row after the last one, which stays current).
    const long row = cap.f.oFacturas.recNo();
    if (mode == 3 && (row < 1 || row > cap.f.lineCount())) return;
    EditorLinea e(cap, mode);
    dialog(e);
    if (e.accepted) cap.f.oFacturas.goTop();
}

}  // namespace wv
