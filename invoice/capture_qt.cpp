#include "invoice/capture_qt.h"

#include "catalog/browser_qt.h"
#include "catalog/catalogo.h"
#include "invoice/lines_qt.h"
#include "invoice/printing_qt.h"
#include "runtime/codepage.h"
#include "runtime/transform.h"
#include "support/calendar_qt.h"
#include "ui/appui.h"
#include "ui/btnget.h"

namespace wv {

namespace {

constexpr Colour kBlack = rgb(0, 0, 0);
constexpr Colour kWhite = rgb(255, 255, 255);
constexpr Colour kRed = rgb(255, 0, 0);
constexpr Colour kTitlesBack = rgb(255, 245, 238);

constexpr const char* kAmount = "99,999,999.99";

// The printer the screen prints with; the invoice form's unless another was set.
InvoicePrinter& printer() {
    static InvoicePrinter p;
    return p;
}

void printInvoice(CapturaFactura& cap) {
    if (printer())
        printer()(cap);
    else
        fImprimeFactura(cap);
}

std::string amount(double v, const char* picture) {
    return transform(Value::number(v), picture);
}

}  // namespace

CapturaWindow::CapturaWindow(CapturaFactura& c) : cap(c), dlg("DLG_CAP_FACT", &oAppUi().fNormal) {
    dlg.cCaption = "Generacion de Facturas de Ventas";
    bindFields();
    bindLines();
    bindButtons();
}

void CapturaWindow::bindFields() {
    Factura& f = cap.f;
    const bool capture = cap.mode == 1;
    auto captureOnly = [capture] { return capture; };
    auto billing = [&f] { return f.mEdita; };

    TGet& number = dlg.redefineGet(101, setGet(f.cNumFact),
                                   {.picture = "!!!!!!!!!!",
                                    .valid =
                                        [this](TGet&) {
                                            if (!cap.numberValid()) return false;
                                            // The number in its stored form; a loaded invoice
                                            // with its lines.
                                            refresh();
                                            return true;
                                        },
                                    .update = true});
    number.setToolTip(capture ? "Introduzca el Numero de Factura"
                              : "Seleccione o Introduzca el Numero de Factura");

    TBtnGet& date = dlg.redefine<TBtnGet>(
        102, setGet(f.dFecha), TGet::Options{.picture = "@D", .update = true, .when = captureOnly},
        TBtnGet::BtnOptions{.bitmap = "BMP_CALENDARIOPQ", .action = [this] {
                                cap.f.dFecha = calendario(cap.f.dFecha);
                                if (TControl* c = dlg.control(102)) c->setFocus();
                                refresh();
                            }});
    date.setToolTip("Introduzca o Seleccione la Fecha de la Factura");

    dlg.redefineGet(116, setGet(f.cHabita),
                    {.picture = "9999", .update = true, .when = captureOnly})
        .setToolTip("Introduzca el Numero de Habitacion");
    dlg.redefineGet(117, setGet(f.nPersonas),
                    {.picture = "999", .update = true, .when = captureOnly})
        .setToolTip("Introduzca el Numero de Personas en la Habitacion");

    TBtnGet& customer = dlg.redefine<TBtnGet>(
        104, setGet(f.cIdCliente),
        TGet::Options{.picture = "@!",
                      .valid =
                          [this](TGet&) {
                              cap.customerValid();
                              refresh();
                              return true;
                          },
                      .update = true,
                      .when = captureOnly},
        // The catalogue is only looked at: the code is taken when the field is left.
        TBtnGet::BtnOptions{.bitmap = "CLIENTE32", .action = [this] {
                                catalogo("CLIENTE", true);
                                if (TControl* c = dlg.control(104)) c->setFocus();
                                refresh();
                            }});
    customer.setToolTip("Introduzca o Seleccione el Cliente a facturar");

    struct Billing {
        int id;
        std::string& value;
        const char* picture;
        const char* toolTip;
    };
    const Billing fields[] = {
        {113, f.cNombre, "@!", "Introduzca el Nombre o Razon Social de Facturacion"},
        {105, f.cRfc, "@!", "Introduzca el Registro Federal de Causantes"},
        {106, f.cDomicilio, "@!", "Introduzca la Direccion"},
        {107, f.cTelefono, "@!", "Introduzca el Telefono"},
        {108, f.cCp, "99999", "Introduzca el Codigo Postal"},
        {110, f.cCiudadEdo, "@!", "Introduzca la Ciudad"},
    };
    for (const Billing& b : fields)
        dlg.redefineGet(b.id, setGet(b.value),
                        {.picture = b.picture, .update = true, .when = billing})
            .setToolTip(b.toolTip);

    for (auto [id, value] : {std::pair{114, &f.cComenta1}, std::pair{115, &f.cComenta2}})
        dlg.redefineGet(id, setGet(*value), {.picture = "@!", .update = true, .when = captureOnly})
            .setToolTip("Introduzca algun comentario acerca de la factura");

    dlg.redefineSay(120, [&f] { return Value(std::string(f.lCancelada ? "CANCELADA" : "")); },
                    {.text = kRed, .update = true, .font = &oAppUi().fBold});
}

void CapturaWindow::bindLines() {
    TArray& t = cap.f.oFacturas;
    TApplicationUi& ui = oAppUi();
    brw = &dlg.redefine<TWBrowse>(
        500,
        [this, &t] {
            const LineaFactura l = cap.f.line(t.recNo());
            return Array{Value(amount(l.nCant, kAmount)), Value(l.cIdArtic + "\r\n" + l.cArticul),
                         Value(amount(l.nPorcDes, "999%")), Value(amount(l.nPrecioU, kAmount)),
                         Value(amount(l.nImporte, kAmount))};
        },
        TWBrowse::Options{
            .headers = {"cantidad", "descripcion", "% descto.", "p. unitario", "importe"},
            .colSizes = {80, 270, 80, 80, 100},
            .font = &ui.fNormal,
            .update = true,
            .alias = std::string()});  // the rows are the line table's, no work area's
    TWBrowse& b = *brw;
    b.setToolTip("Detalle de Conceptos de Facturacion");

    // The lines are the rows of the line table. A skip that ran into an end leaves the table's
    // flag set on a row that is still there; the row is taken again so that the flag does not
    // hide the highlighted line from Del.
    b.bLogicLen = [&t] { return t.lastRec(); };
    b.bGoTop = [&t] { t.goTop(); };
    b.bGoBottom = [&t] { t.goBottom(); };
    b.bSkip = [&t](long n) {
        const long moved = t.skip(n);
        if (t.lastRec() > 0) t.goTo(t.recNo());
        return moved;
    };
    b.bKeyNo = [&t] { return t.lastRec() > 0 ? t.recNo() : 0L; };
    b.bKeyGoTo = [&t](long n) { t.goTo(n); };

    const int right = TWBrowse::kRight, left = TWBrowse::kLeft, centre = TWBrowse::kCentre;
    b.aJustify = {right, left, right, right, right};
    b.aHJustify = {centre, centre, centre, centre, centre};
    b.aFJustify = b.aJustify;
    b.lDrawFooters = true;
    b.aFooters = BrowseFooters([this] {
        return std::vector<std::string>{"", "", "", cap.f.footerLabels(), cap.f.footerValues()};
    });
    b.nHeaderHeight = 30;
    b.nFooterHeight = 70;
    b.nLineHeight = 30;
    b.nHeaderStyle = 3;
    b.nFooterStyle = 3;
    b.nClrPane = ColourRule(
        [&b] { return b.nLogicRow() % 2 == 0 ? rgb(193, 221, 255) : rgb(221, 245, 255); });
    b.nClrForeFocus = kWhite;
    b.bTextColor = [](int, int, int kind) {
        return kind == TWBrowse::kCellHeader || kind == TWBrowse::kCellFooter ? kBlack
                                                                              : kDefaultColour;
    };
    b.bBkColor = [](int, int, int kind) {
        return kind == TWBrowse::kCellHeader || kind == TWBrowse::kCellFooter ? kTitlesBack
                                                                              : kDefaultColour;
    };
    b.bFont = [](int row, int col, int kind) {
        TApplicationUi& ui = oAppUi();
        return seleccionaFuente(row, col, kind, &ui.fNormal, &ui.fBold, &ui.fBold, &ui.fNormal);
    };
    b.lAdjLastCol = true;
    b.lOnlyBorder = true;
}

void CapturaWindow::bindButtons() {
    const int mode = cap.mode;
    const char* caption = mode == 1   ? "&Imprimir"
                          : mode == 2 ? "&Re-Imprimir \r\nFactura "
                                      : "&Eliminar \r\nFactura ";
    dlg.redefineButtonBmp(
        400, [this] { dlg.end(1); },
        {.msg = caption,
         .update = true,
         .when = [this] { return canAccept(); },
         .caption = caption},
        {.bitmap = mode == 3 ? "BASURA" : "IMPRIMIR", .toolTip = "Presione para Continuar"});
    dlg.redefineButtonBmp(401, [this] { dlg.end(2); }, {.caption = "&Cancelar "},
                          {.bitmap = "BOTON_CANCELAR", .toolTip = "Presione para Cancelar"});
    dlg.redefineButtonBmp(402, [this] { dlg.end(0); }, {.caption = "&Salir ", .cancel = true},
                          {.bitmap = "SALIR", .toolTip = "Presione para Salir"});

    auto captureOnly = [mode] { return mode == 1; };
    dlg.redefineButtonBmp(
        403,
        [this] {
            fDetalleRegistro(cap, 1);
            refresh();
        },
        {.msg = "Insertar un nuevo concepto a la factura", .when = captureOnly, .caption = "&Ins "},
        {.bitmap = "NEW", .toolTip = "Presione para Insertar un nuevo concepto a la factura"});
    dlg.redefineButtonBmp(
        404,
        [this] {
            fDetalleRegistro(cap, 3);
            refresh();
        },
        {.msg = "Eliminar un concepto de la factura", .when = captureOnly, .caption = "&Del "},
        {.bitmap = "ERASE", .toolTip = "Presione para Eliminar un concepto de la factura"});
}

bool CapturaWindow::canAccept() const {
    return !allTrim(cap.f.cIdCliente).empty() && cap.f.lineCount() > 0;
}

void CapturaWindow::refresh() {
    dlg.update();
}

int CapturaWindow::run() {
    if (!dlg.loaded()) return 0;
    return dlg.activate();
}

int capturaScreen(CapturaFactura& cap) {
    CapturaWindow window(cap);
    return window.run();
}

InvoicePrinter setInvoicePrinter(InvoicePrinter print) {
    InvoicePrinter prev = std::move(printer());
    printer() = std::move(print);
    return prev;
}

void fCapFact(int mode) {
    fCapFact(mode, capturaScreen, printInvoice);
}

void consultaFactura(const std::string& number) {
    CapturaFactura cap(2);
    if (!cap.open()) return;
    cap.newCycle();
    cap.f.cNumFact = number;
    cap.numberValid();
    if (capturaScreen(cap) == 1 && confirmReprint(cap.f)) printInvoice(cap);
    cap.close();
}

void registerInvoiceScreens() {
    registerCatalogScreens();
}

}  // namespace wv
