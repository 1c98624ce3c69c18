#include "invoice/listing_qt.h"

#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <fstream>

#include "catalog/browser_qt.h"
#include "data/application.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "runtime/transform.h"
#include "ui/appui.h"
#include "ui/ssay.h"
#include "ui/text.h"

namespace wv {

namespace {

constexpr Colour kWhite = kTitleText;
constexpr Colour kCancelada = rgb(192, 0, 0);
constexpr Colour kCanceladaFoco = rgb(255, 170, 170);

constexpr size_t kColumnas = 11;
// The columns' titles and widths in letters "B" of the grid's font: wide enough for the pictures
// of the amounts and the counts, which the report prints in as many characters.
const char* const kTitulos[kColumnas] = {"Numero", "Fecha",  "Cliente",   "Nombre",
                                         "Hab.",   "Pers.",  "Subtotal",  "I.V.A.",
                                         "Hospedaje", "Total", "Canc."};
const int kAnchos[kColumnas] = {11, 9, 6, 30, 5, 5, 14, 14, 14, 14, 10};
// Where the totals go in the report and the footers.
constexpr size_t kColNumero = 0, kColNombre = 3, kColSubtotal = 6, kColCance = 10;
// The lines after the last row of the report: a rule under the amounts, their sums, the counts.
constexpr long kLineasTotales = 4;

std::vector<std::string> blancos() { return std::vector<std::string>(kColumnas); }

Array celdas(const std::vector<std::string>& texts) {
    Array a;
    for (const std::string& t : texts) a.push_back(Value(t));
    return a;
}

const char* const kHint = "Teclee el numero de factura para buscarla; doble clic para consultarla";

ListingRange& rangeDialog() {
    static ListingRange ask;
    return ask;
}

}  // namespace

ListadoWindow::ListadoWindow(ListadoFacturas& l, OpenInvoice open)
    : listado(l), openInvoice(std::move(open)), dlg("DLG_FACEXP", &oAppUi().fNormal) {
    dlg.cCaption = listado.titulo();
    chooseCsvFile = [this] {
        const std::string name = "facturas_" + dtos(listado.first()) + "_" +
                                 dtos(listado.last()) + ".csv";
        QString file = QFileDialog::getSaveFileName(
            dlg.window(), qtText("Exportar Facturas Expedidas"),
            QDir::home().filePath(QString::fromStdString(name)),
            qtText("Archivos CSV (*.csv)"), nullptr, QFileDialog::DontUseNativeDialog);
        if (file.isEmpty()) return std::string();
        if (!file.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
            file += QStringLiteral(".csv");
        return file.toStdString();
    };

    TSay& banner = dlg.redefineSay(110, [] { return Value(); });
    if (QLabel* lbl = banner.label()) {
        lbl->setPixmap(resourceBitmap("BMP_BARRITA"));
        lbl->setScaledContents(true);
    }
    dlg.redefine<TSSay>(112, [this] { return Value(listado.titulo()); },
                        TSSay::Options{.centered = true, .text = kWhite,
                                       .font = &oAppUi().fTitulo, .transparent = true});
    dlg.redefineSay(101, [this] { return Value(cBusqueda); },
                    {.text = rgb(128, 0, 0), .update = true, .font = &oAppUi().fBold});
    bindBrowse();

    dlg.redefineButtonBmp(201, [this] { print(); },
                          {.msg = "Imprimir el listado", .caption = "Imprimir \r\nListado "},
                          {.bitmap = "IMPRIMIR", .toolTip = "Presione para Imprimir el Listado"});
    dlg.redefineButtonBmp(202, [this] { exportCsv(); },
                          {.msg = "Exportar el listado a un archivo CSV",
                           .caption = "Exportar \r\nCSV "},
                          {.bitmap = "NEW",
                           .toolTip = "Presione para Exportar el Listado a un archivo CSV"});
    dlg.redefineButtonBmp(203, [this] { dlg.end(); },
                          {.msg = "Salir del listado", .caption = "Salir "},
                          {.bitmap = "SALIR", .toolTip = "Presione para Salir del Listado"});
}

void ListadoWindow::bindBrowse() {
    const QFont& font = oAppUi().fNormal;
    const int letter = std::max(1, QFontMetrics(font).horizontalAdvance(QLatin1Char('B')));
    std::vector<int> sizes;
    for (int chars : kAnchos) sizes.push_back(chars * letter + letter / 2);
    brw = &dlg.redefine<TWBrowse>(
        500, [this] { return line(); },
        TWBrowse::Options{.headers = std::vector<std::string>(kTitulos, kTitulos + kColumnas),
                          .colSizes = sizes,
                          .ldblClick = [this](int, int, int) { openCurrent(); },
                          .font = &font,
                          .update = true,
                          // No work area has this alias: the rows are the listing's.
                          .alias = std::string("FE_LISTADO")});
    brw->aJustify = {TWBrowse::kCentre, TWBrowse::kCentre, TWBrowse::kCentre, TWBrowse::kLeft,
                     TWBrowse::kCentre, TWBrowse::kRight,  TWBrowse::kRight,  TWBrowse::kRight,
                     TWBrowse::kRight,  TWBrowse::kRight,  TWBrowse::kCentre};
    brw->aHJustify = std::vector<int>(kColumnas, TWBrowse::kCentre);
    brw->aFJustify = {TWBrowse::kRight, TWBrowse::kCentre, TWBrowse::kCentre, TWBrowse::kRight,
                      TWBrowse::kCentre, TWBrowse::kCentre, TWBrowse::kRight, TWBrowse::kRight,
                      TWBrowse::kRight,  TWBrowse::kRight,  TWBrowse::kRight};

    // The source: the listing's rows, and while the report reads them the totals' lines after
    // the last.
    brw->bLogicLen = [this] {
        return long(listado.rows().size()) + (reporting_ ? kLineasTotales : 0);
    };
    brw->bGoTop = [this] { cur_ = 0; };
    brw->bGoBottom = [this] { cur_ = std::max(0L, brw->bLogicLen() - 1); };
    brw->bSkip = [this](long n) { return moveBy(n); };
    brw->bKeyNo = [this] { return brw->bLogicLen() > 0 ? cur_ + 1 : 0L; };
    brw->bKeyGoTo = [this](long n) {
        cur_ = std::clamp(n - 1, 0L, std::max(0L, brw->bLogicLen() - 1));
    };

    catalogGridLook(*brw);
    auto cancelada = [this] {
        return cur_ >= 0 && size_t(cur_) < listado.rows().size() &&
               listado.rows()[size_t(cur_)].cancelada;
    };
    brw->bTextColor = [cancelada](int, int, int kind) {
        if (titleOrFooter(kind)) return kWhite;
        if (!cancelada()) return kDefaultColour;
        return kind == TWBrowse::kCellFocus ? kCanceladaFoco : kCancelada;
    };
    catalogTitleBack(*brw);
    brw->nFreeze = 1;
    brw->lDrawFooters = true;
    brw->nFooterStyle = 6;
    brw->nFooterHeight = 25;
    brw->aFooters = BrowseFooters([this] { return footerTexts(); });

    brw->nBuffer = 10;
    brw->bSeek = [this] {
        const long i = listado.find(brw->cBuffer);
        if (i < 0) {
            msgBeep();
            return false;
        }
        const bool moved = i != cur_;
        cur_ = i;
        return moved;
    };
    brw->bUpdateBuffer = [this] {
        cBusqueda = brw->cBuffer;
        if (TControl* c = dlg.control(101)) c->refresh();
    };
    brw->bKeyChar = [this](int key, int) {
        if (key != vk::kReturn) return false;
        openCurrent();
        return true;
    };
}

long ListadoWindow::moveBy(long n) {
    const long len = brw->bLogicLen();
    if (len <= 0) return 0;
    const long to = std::clamp(cur_ + n, 0L, len - 1);
    const long moved = to - cur_;
    cur_ = to;
    return moved;
}

Array ListadoWindow::line() const {
    const auto& rows = listado.rows();
    if (cur_ >= 0 && size_t(cur_) < rows.size()) {
        const FacturaExpedida& f = rows[size_t(cur_)];
        return celdas({f.numero, dtoc(f.fecha), f.idCliente, f.nombre, f.habitacion,
                       transform(Value::number(f.personas), "999"), textoImporte(f.subtotal),
                       textoImporte(f.iva), textoImporte(f.hospedaje), textoImporte(f.total),
                       f.cancelada ? "Si" : ""});
    }
    std::vector<std::string> cells = blancos();
    const long extra = cur_ - long(rows.size());
    if (!reporting_ || extra < 0 || extra >= kLineasTotales) return celdas(cells);
    const TotalesListado& t = listado.totales();
    switch (extra) {
        case 0:
            for (size_t c = kColSubtotal; c < kColSubtotal + 4; ++c) cells[c] = std::string(13, '-');
            break;
        case 1:
            cells[kColNombre] = "Totales sin canceladas:";
            cells[kColSubtotal] = textoImporte(t.subtotal);
            cells[kColSubtotal + 1] = textoImporte(t.iva);
            cells[kColSubtotal + 2] = textoImporte(t.hospedaje);
            cells[kColSubtotal + 3] = textoImporte(t.total);
            break;
        case 2:
            cells[kColNombre] = "Facturas: " + allTrim(textoCuenta(t.facturas));
            break;
        default:
            cells[kColNombre] = "Canceladas: " + allTrim(textoCuenta(t.canceladas));
            break;
    }
    return celdas(cells);
}

std::vector<std::string> ListadoWindow::footerTexts() const {
    const TotalesListado& t = listado.totales();
    std::vector<std::string> f = blancos();
    f[kColNumero] = textoCuenta(t.facturas);
    f[kColNombre] = "Totales sin canceladas";
    f[kColSubtotal] = textoImporte(t.subtotal);
    f[kColSubtotal + 1] = textoImporte(t.iva);
    f[kColSubtotal + 2] = textoImporte(t.hospedaje);
    f[kColSubtotal + 3] = textoImporte(t.total);
    f[kColCance] = textoCuenta(t.canceladas);
    return f;
}

void ListadoWindow::run() {
    dlg.activate([this] {
        dlg.setMessageBar(kHint);
        brw->setFocus();
    });
}

void ListadoWindow::reload() {
    const long was = current();
    const std::string numero = was >= 0 ? listado.rows()[size_t(was)].numero : "";
    listado.read();
    const long n = long(listado.rows().size());
    const long at = numero.empty() ? -1 : listado.indexOf(numero);
    cur_ = at >= 0 ? at : std::clamp(was, 0L, std::max(0L, n - 1));
    brw->refresh();
    dlg.update();
}

void ListadoWindow::openCurrent() {
    const long i = current();
    if (i < 0) return;
    const std::string numero = listado.rows()[size_t(i)].numero;
    if (openInvoice) openInvoice(numero);
    reload();
}

void ListadoWindow::print() {
    reporting_ = true;
    brw->report(listado.titulo(), true, "Facturas Expedidas");
    reporting_ = false;
    cur_ = std::clamp(cur_, 0L, std::max(0L, long(listado.rows().size()) - 1));
    brw->refresh();
}

bool ListadoWindow::writeCsv(const std::string& path) {
    const std::string text = csvListado(listado.rows());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out) {
        msgStop("No fue posible guardar el archivo: " + fromUtf8(path), oApp().cEmpresa);
        return false;
    }
    dlg.showMessage("Se exportaron " + allTrim(textoCuenta(long(listado.rows().size()))) +
                    " facturas a: " + fromUtf8(path));
    return true;
}

bool ListadoWindow::exportCsv() {
    const std::string path = chooseCsvFile ? chooseCsvFile() : std::string();
    return !path.empty() && writeCsv(path);
}

void facturasExpedidas(Date first, Date last, OpenInvoice openInvoice) {
    ListadoFacturas listado(first, last);
    if (!listado.open() || !listado.read()) return;
    ListadoWindow window(listado, std::move(openInvoice));
    window.run();
}

ListingRange setListingRange(ListingRange ask) {
    ListingRange prev = std::move(rangeDialog());
    rangeDialog() = std::move(ask);
    return prev;
}

void facturasExpedidas(OpenInvoice openInvoice) {
    std::array<Date, 2> range{today(), today()};
    if (const ListingRange& ask = rangeDialog()) {
        std::optional<std::array<Date, 2>> asked = ask();
        if (!asked) return;
        range = *asked;
    }
    facturasExpedidas(range[0], range[1], std::move(openInvoice));
}

}  // namespace wv
