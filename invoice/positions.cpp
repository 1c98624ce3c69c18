#include "invoice/positions.h"

#include "data/application.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "runtime/operator.h"

namespace wv {

const std::string& positionLabel(int n) {
    static const std::array<std::string, kPositions + 1> labels = {
        "",
        "Numero:",
        "Fecha:",
        "Nombre Cliente:",
        "Domicilio Cliente:",
        "Poblacion / Estado:",
        "Codigo Postal:",
        "Numero Telefonico:",
        "R.F.C. del Cliente:",
        "Habitacion:",
        "Observaciones 1:",
        "Observaciones 2:",
        "Primer Detalle:",
        "Descripcion:",
        "Cantidad:",
        "Precio Unitario:",
        "Descuento:",
        "Importe:",
        "Cantidad en Letra:",
        "Sub-Total:",
        "I.V.A.:",
        "Hospedaje:",
        "Importe Total:",
        "# de Personas:",
    };
    static const std::string none;
    return n >= 1 && n <= kPositions ? labels[size_t(n)] : none;
}

bool openPositions() {
    if (!netUse("pos_fac", false, "posi", oApp().xDatos)) {
        workspace().closeAll();
        return false;
    }
    WorkArea* a = workspace().area();
    if (!a || a->recCount() != kPositions) {
        msgStop(Value("Faltan parametros necesarios para la impresion de: FACTURAS, consulte a su "
                      "asesor..."),
                oApp().cEmpresa);
        workspace().closeAll();
        return false;
    }
    return true;
}

Posiciones loadPositions() {
    Posiciones p;
    WorkArea* a = workspace().area();
    if (!a) return p;
    // Record n holds position n: the records are reached by number, so that one marked deleted
    // keeps its place instead of shifting every later position onto the wrong label.
    for (int n = 1; n <= kPositions && a->goTo(uint32_t(n)); ++n) {
        p.p1[size_t(n)] = a->get("RENGLON").num();
        p.p2[size_t(n)] = a->get("COLUMNA").num();
        p.p3[size_t(n)] = a->get("IMPRIMIR").logical();
    }
    return p;
}

void savePositions(const Posiciones& p) {
    WorkArea* a = workspace().area();
    if (!a) return;
    for (int n = 1; n <= kPositions && a->goTo(uint32_t(n)); ++n) {
        if (!recLock()) continue;
        a->put("RENGLON", Value::number(p.p1[size_t(n)], 5, 2));
        a->put("COLUMNA", Value::number(p.p2[size_t(n)], 5, 2));
        a->put("IMPRIMIR", Value(p.p3[size_t(n)]));
        a->table().unlockAll();
    }
    a->table().flush();
}

void fPosicionesImpresion(const std::function<bool(Posiciones&)>& dialog) {
    if (!openPositions()) return;
    Posiciones p = loadPositions();
    if (dialog(p) &&
        msgYesNo(Value("Desea guardar sus cambios ?"), oApp().cEmpresa))
        savePositions(p);
    workspace().closeAll();
}

}  // namespace wv
