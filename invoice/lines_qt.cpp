#include "invoice/lines_qt.h"

#include "ui/appui.h"

namespace wv {

LineaWindow::LineaWindow(EditorLinea& editor)
    : e(editor), dlg("DLG_CAP_FACT_1", &oAppUi().fNormal) {
    dlg.cCaption = "Detalle de Movimientos de Conceptos de Facturas";
    const bool adding = e.mode == 1;
    auto typed = [adding] { return adding; };
    // The rates are the article's; only a free concept has them typed.
    auto rates = [this, adding] { return adding && e.freeConcept(); };
    auto never = [] { return false; };
    // Leaving a field that the amounts depend on computes them again.
    auto recompute = [this](TGet&) {
        e.recalcula();
        dlg.update();
        return true;
    };

    struct Field {
        int id;
        SetGet value;
        const char* picture;
        std::function<bool()> when;
        std::function<bool(TGet&)> valid;
        const char* toolTip;
    };
    const Field fields[] = {
        {101, setGet(e.l.cIdArtic), "@!", typed,
         [this](TGet&) {
             e.articulo();
             dlg.update();
             return true;
         },
         "Introduzca o Seleccione el concepto de facturacion"},
        {102, setGet(e.l.cArticul), "@!", typed, {}, "Introduzca descripcion para la factura"},
        {103, setGet(e.l.nCant), "999", typed, recompute, "Introduzca la cantidad"},
        {104, setGet(e.l.nPrecioU), "999,999,999.99", typed,
         [this](TGet&) {
             const bool ok = e.precioValido();
             dlg.update();
             return ok;
         },
         "Introduzca el Costo unitario del articulo o servicio a facturar"},
        {105, setGet(e.l.nPorcIVA), "99%", rates, recompute, "Introduzca el porcentaje de IVA"},
        {205, setGet(e.l.nIVA), "999,999.99", never, {}, "Importe del I.V.A. del concepto"},
        {106, setGet(e.l.nPorcHos), "99%", rates, recompute,
         "Introduzca el porcentaje de Impuestos Sobre Hospedaje"},
        {206, setGet(e.l.nHospeda), "999,999.99", never, {}, "Importe del Hospedaje del concepto"},
        {107, setGet(e.l.nPorcDes), "999%", rates, {}, "Introduzca el porcentaje de descuento"},
        {207, setGet(e.l.nDescto), "999,999.99", never, {}, "Importe del descuento del concepto"},
        {108, setGet(e.nTotal), "999,999.99", never, {}, "total calculado automaticamente"},
    };
    for (const Field& f : fields) {
        TGet& get = dlg.redefineGet(
            f.id, f.value,
            {.picture = f.picture, .valid = f.valid, .update = true, .when = f.when});
        get.setToolTip(f.toolTip);
    }

    dlg.redefineButtonBmp(400,
                          [this] {
                              if (e.acepta()) dlg.end(1);
                          },
                          {.msg = "Aceptar", .caption = "A&ceptar "},
                          {.bitmap = "BTN_OK", .toolTip = "Presione para Continuar"});
    dlg.redefineButtonBmp(401, [this] { dlg.end(2); },
                          {.msg = "Cancelar", .caption = "&Cancelar ", .cancel = true},
                          {.bitmap = "BTN_CAN", .toolTip = "Presione para Cancelar"});
}

bool LineaWindow::run() {
    dlg.activate();
    return e.accepted;
}

void fDetalleRegistro(CapturaFactura& cap, int mode) {
    fDetalleRegistro(cap, mode, [](EditorLinea& e) {
        LineaWindow window(e);
        window.run();
    });
}

}  // namespace wv
