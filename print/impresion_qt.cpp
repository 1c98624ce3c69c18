#include "print/impresion_qt.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinterInfo>
#include <QRectF>
#include <array>
#include <cmath>
#include <memory>

#include "data/application.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "runtime/transform.h"
#include "support/dates.h"
#include "ui/preview.h"
#include "ui/report.h"
#include "ui/text.h"

namespace wv {

namespace {

constexpr double kAvance = 0.3;          // cm between word-wrapped lines, and down to an underline
constexpr double kMarcoInterior = 0.05;  // cm between the two frames of a double box
constexpr double kEsquina = 70;          // pixels: the corner ellipse of a rounded box

const char* const kLogo = ".\\bitmaps\\logo_impresion.bmp";

}  // namespace

TCustomImpresion::Punto TCustomImpresion::pixel(double nRow, double nCol) const {
    return cmtr2Pix(nRow, nCol);
}

MideTexto TCustomImpresion::medida(const QFont* font) const {
    if (!printer()) return [](const std::string&) { return 0.0; };
    const QFontMetricsF fm(deviceFont(font ? *font : oFont), printer());
    return [fm](const std::string& s) { return fm.horizontalAdvance(qtText(s)); };
}

double TCustomImpresion::ancho(double nColIni, double nColFin) const {
    return pixel(0, nColFin).second - pixel(0, nColIni).second;
}

void TCustomImpresion::linea(double nTop, double nLeft, double nBottom, double nRight) {
    const Punto a = pixel(nTop, nLeft);
    const Punto b = pixel(nBottom, nRight);
    line(a.first, a.second, b.first, b.second, oPen ? &*oPen : nullptr);
}

void TCustomImpresion::caja(double nTop, double nLeft, double nBottom, double nRight, int nTipo,
                            const QBrush* brush, const QPen* pen) {
    if (!brush && oBrush) brush = &*oBrush;
    if (!pen && oPen) pen = &*oPen;
    const Punto p1 = pixel(nTop, nLeft);
    const Punto p2 = pixel(nBottom, nRight);
    const std::array<double, 4> rect{p1.first, p1.second, p2.first, p2.second};
    switch (nTipo) {
        case kCajaRedondeada:
            roundRect(hDCOut(), p1.second, p1.first, p2.second, p2.first, kEsquina, kEsquina);
            break;
        case kCajaRellena:
            if (brush) fillRect(rect, *brush);
            break;
        case kCajaMarco:
            box(p1.first, p1.second, p2.first, p2.second, pen);
            break;
        case kCajaMarcoRelleno:
            box(p1.first, p1.second, p2.first, p2.second, pen);
            if (brush) fillRect(rect, *brush);
            break;
        case kCajaDoble:
            boxPipu(nTop, nLeft, nBottom, nRight);
            boxPipu(nTop + kMarcoInterior, nLeft + kMarcoInterior, nBottom - kMarcoInterior,
                    nRight - kMarcoInterior);
            break;
        default:
            break;
    }
}

void TCustomImpresion::bitmap(double nRow, double nCol, double nWidth, double nHeight,
                              const std::string& cFile) {
    const double w = std::trunc(nLogPixelY() * nWidth / 2.54);
    const double h = std::trunc(nLogPixelX() * nHeight / 2.54);
    const Punto at = xCor ? *xCor : pixel(nRow, nCol);
    sayBitmap(at.first, at.second, cFile, w, h);
}

void TCustomImpresion::boxPipu(double nTop, double nLeft, double nBottom, double nRight) {
    linea(nTop, nLeft, nTop, nRight);
    linea(nTop, nRight, nBottom, nRight);
    linea(nBottom, nLeft, nBottom, nRight);
    linea(nTop, nLeft, nBottom, nLeft);
}

void TCustomImpresion::centraCadenas(double nRow, double nColIni, double nColFin,
                                     const std::string& cText, const QFont* font) {
    cmSay(nRow, nColIni, xPadMemoC(cText, ancho(nColIni, nColFin), " ", font), font);
}

void TCustomImpresion::imprNumeros(const Value& nNumber, const std::string& cPrefijo,
                                   const std::string& cSufijo, const std::string& cPicture,
                                   double nRow, double nColIni, double nColFin, const QFont* font) {
    const std::string number = allTrim(transform(nNumber, cPicture));
    cmSay(nRow, nColIni, cPrefijo + xPadMemoL(number, ancho(nColIni, nColFin), " ", font) + cSufijo,
          font);
}

std::string TCustomImpresion::imprCadenaJust(const std::string& cText, double nRow, double nColIni,
                                             double nColFin, const QFont* font, int nMaxLines,
                                             bool lAvanza, bool lCentrado) {
    xCor = pixel(nRow, nColIni);
    yCor = pixel(nRow, nColFin);
    const Renglones r = partirTexto(cText, yCor->second - xCor->second, medida(font), nMaxLines);
    for (size_t i = 0; i < r.lines.size(); ++i) {
        if (i > 0 && lAvanza) nRow += kAvance;
        if (lCentrado)
            centraCadenas(nRow, nColIni, nColFin, r.lines[i], font);
        else
            cmSay(nRow, nColIni, r.lines[i], font);
    }
    return r.rest;
}

std::string TCustomImpresion::xPadMemoR(const std::string& cText, double nWidth, const std::string&,
                                        const QFont* font) const {
    return wv::xPadMemoR(cText, nWidth, medida(font));
}

std::string TCustomImpresion::xPadMemoL(const std::string& cText, double nWidth,
                                        const std::string& cFill, const QFont* font) const {
    return wv::xPadMemoL(cText, nWidth, cFill, medida(font));
}

std::string TCustomImpresion::xPadMemoC(const std::string& cText, double nWidth,
                                        const std::string& cFill, const QFont* font) const {
    return wv::xPadMemoC(cText, nWidth, cFill, medida(font));
}

void TCustomImpresion::textoNumero(double nRow, double nColEtiqueta, double nColIni, double nColFin,
                                   const std::string& cEtiqueta, const Value& nNumber,
                                   const std::string& cPicture, const QFont* fEtiqueta,
                                   const QFont* fNumero, bool lSubraya) {
    cmSay(nRow, nColEtiqueta, cEtiqueta, fEtiqueta);
    imprNumeros(nNumber, "", "", cPicture, nRow, nColIni, nColFin, fNumero);
    if (lSubraya) linea(nRow + kAvance, nColIni, nRow + kAvance, nColFin);
}

void TCustomImpresion::textoTexto(double nRow, double nColEtiqueta, double nColIni, double nColFin,
                                  const std::string& cEtiqueta, const std::string& cText,
                                  bool lSubraya, const QFont* fEtiqueta, const QFont* fTexto,
                                  bool lCentrado) {
    cmSay(nRow, nColEtiqueta, cEtiqueta, fEtiqueta);
    if (lCentrado)
        centraCadenas(nRow, nColIni, nColFin, cText, fTexto);
    else
        cmSay(nRow, nColIni, cText, fTexto);
    if (lSubraya) linea(nRow + kAvance, nColIni, nRow + kAvance, nColFin);
}

TCustomImpresion& TCustomImpresion::fImprEncabezado(const std::string& cTitulo,
                                                    const std::string& cSubtitulo,
                                                    const std::optional<std::string>& cEmpresa) {
    const QFont* general = fuente(fGeneral);
    const QFont* titulo = fuente(fTitulo);
    boxPipu(nLinI, nColI, nLinF, nColF);
    sayBitmap(50, 100, kLogo, 400, 400);
    cmSay(1.5, 1.0, timeText(), general, 0, 0, kBkTransparent, kPadLeft);
    cmSay(1.0, 10.5, cEmpresa ? *cEmpresa : oApp().cEmpresa, titulo, 0, kColorTitulo,
          kBkTransparent, kPadCenter);
    cmSay(1.0, 20.0, fechaCompleta(), general, 0, 0, kBkTransparent, kPadRight);
    cmSay(1.5, 20.0, textoPagina(nPage), general, 0, 0, kBkTransparent, kPadRight);
    cmSay(1.6, 10.5, cTitulo, titulo, 0, kColorTitulo, kBkTransparent, kPadCenter);
    cmSay(2.3, 10.5, cSubtitulo, fuente(fBold), 0, kColorSubtitulo, kBkTransparent, kPadCenter);
    linea(2.6, nColI, 2.6, nColF);
    return *this;
}

TCustomImpresion& TCustomImpresion::fImprPiePagina() {
    const QFont* general = fuente(fGeneral);
    linea(26.5, nColI, 26.5, nColF);
    cmSay(26.5, 1.0, "Inferior Izquierda", general, 0, 0, kBkTransparent, kPadLeft);
    cmSay(26.5, 10.5, textoPagina(nPage), general, 0, 0, kBkTransparent, kPadCenter);
    cmSay(26.5, 20.0, "Inferior Derecha", general, 0, 0, kBkTransparent, kPadRight);
    return *this;
}

bool TCustomImpresion::fChecaLinea(const std::string& cTitulo, const std::string& cSubtitulo) {
    if (!saltoDePagina(nLinea)) return false;
    endPage();
    startPage();
    fImprEncabezado(cTitulo, cSubtitulo);
    nLinea = kLineaTrasSalto;
    return true;
}

bool roundRect(QPainter* hDC, double nLeft, double nTop, double nRight, double nBottom,
               double nWidth, double nHeight) {
    if (!hDC || !hDC->isActive()) return false;
    // The ellipse is given whole: its half is the radius of each corner.
    hDC->drawRoundedRect(QRectF(QPointF(nLeft, nTop), QPointF(nRight, nBottom)).normalized(),
                         nWidth / 2, nHeight / 2, Qt::AbsoluteSize);
    return true;
}

void linBox(TReport& oReport) {
    constexpr double kDentro = 0.1;  // inches inside the sheet's edges
    oReport.box(kDentro, kDentro, oReport.phyHeight(kRptInches) - kDentro,
                oReport.phyWidth(kRptInches) - kDentro, 1, kRptInches);
}

std::vector<Dispositivo> dispositivosInstalados() {
    std::vector<Dispositivo> devices;
    for (const QPrinterInfo& p : QPrinterInfo::availablePrinters())
        devices.push_back({programText(p.printerName().trimmed()),
                           programText(p.makeAndModel() + ',' + p.location())});
    return devices;
}

namespace {

std::unique_ptr<TCustomImpresion>& trabajo() {
    static std::unique_ptr<TCustomImpresion> job;
    // A job still current when the program ends goes with the interface, not after it.
    static const bool released = [] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, [] { job.reset(); });
        return true;
    }();
    (void)released;
    return job;
}

}  // namespace

TCustomImpresion* myPrintBegin(const std::string& cDocument, bool lUser, bool lPreview,
                               const Value& xModel, bool lModal, bool lSelection) {
    trabajo().reset();
    EleccionImpresora e{lUser, "", false};
    if (!xModel.isNil()) e = eligeImpresora(dispositivosInstalados(), xModel, lUser);
    if (e.beep) msgBeep();
    trabajo() = std::make_unique<TCustomImpresion>(cDocument, e.lUser, lPreview, e.cModel, lModal,
                                                   lSelection);
    return trabajo().get();
}

TCustomImpresion* myPrintJob() {
    return trabajo().get();
}

void myPageBegin() {
    if (trabajo()) trabajo()->startPage();
}

void myPageEnd() {
    if (trabajo()) trabajo()->endPage();
}

TPreview* myPrintEnd() {
    // The job is let go of first: a modal preview may start the next one.
    std::unique_ptr<TCustomImpresion> job = std::move(trabajo());
    if (!job) return nullptr;
    if (job->lMeta) return job->preview();
    job->end();
    return nullptr;
}

}  // namespace wv
