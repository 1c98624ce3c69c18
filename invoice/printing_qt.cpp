#include "invoice/printing_qt.h"

#include <QBrush>
#include <QColor>
#include <QPen>
#include <algorithm>

#include "data/application.h"
#include "invoice/capture.h"
#include "invoice/positions.h"
#include "invoice/words.h"
#include "print/impresion_qt.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/transform.h"

namespace wv {

namespace {

constexpr const char* kDocumento = "Impresion de Facturas Cte.: ";
constexpr const char* kCantidad = "999";
constexpr const char* kImporteLinea = "99,999.99";
constexpr const char* kImporteTotal = "9,999,999.99";
constexpr double kRenglon = 0.3;  // cm from one line of the invoice to the next
constexpr int kPosLineas = 12;    // the row the lines go down from

std::string numero(double v, const char* picture) {
    return transform(Value::number(v), picture);
}

// Prints the items of the invoice at their positions; the flag off leaves the item blank.
class Forma {
  public:
    Forma(TCustomImpresion& prn, const Posiciones& pos) : prn_(prn), pos_(pos) {}

    // Item n at its own row and column.
    void item(int n, const std::string& text) { item(n, pos_.p1[size_t(n)], text); }
    // Item n at a row of the lines, at its column.
    void item(int n, double row, const std::string& text) {
        if (!pos_.p3[size_t(n)]) return;
        prn_.cmSay(row, pos_.p2[size_t(n)], text, TCustomImpresion::fuente(prn_.fNormal));
    }

  private:
    TCustomImpresion& prn_;
    const Posiciones& pos_;
};

}  // namespace

std::string documentoFactura(const std::string& cNombre) {
    return kDocumento + allTrim(cNombre);
}

void imprimeFactura(TCustomImpresion& prn, const Factura& f, const Posiciones& pos) {
    Forma forma(prn, pos);
    forma.item(1, f.cNumFact);
    forma.item(2, dtoc(f.dFecha));
    forma.item(3, f.cNombre);
    forma.item(4, f.cDomicilio);
    forma.item(5, f.cCiudadEdo);
    forma.item(6, f.cCp);
    forma.item(7, f.cTelefono);
    forma.item(8, f.cRfc);
    forma.item(9, f.cHabita);
    forma.item(10, f.cComenta1);
    forma.item(11, f.cComenta2);
    forma.item(23, numero(f.nPersonas, kCantidad));

    prn.nLinea = pos.p1[kPosLineas];
    for (long row = 1; row <= f.lineCount(); ++row) {
        const LineaFactura l = f.line(row);
        prn.nLinea += kRenglon;
        forma.item(13, prn.nLinea, l.cArticul);
        forma.item(14, prn.nLinea, numero(l.nCant, kCantidad));
        forma.item(15, prn.nLinea, numero(l.nPrecioU, kImporteLinea));
        forma.item(16, prn.nLinea, numero(l.nDescto, kImporteLinea));
        forma.item(17, prn.nLinea, numero(l.nImporte, kImporteLinea));
    }

    forma.item(18, nToL(f.nTotal));
    forma.item(19, numero(f.nSubtot, kImporteTotal));
    forma.item(20, numero(f.nIva, kImporteTotal));
    forma.item(21, numero(f.nHospe, kImporteTotal));
    forma.item(22, numero(f.nTotal, kImporteTotal));
}

void fImprimeFactura(const CapturaFactura& cap) {
    TCustomImpresion* prn = myPrintBegin(documentoFactura(cap.f.cNombre), true, true);
    prn->fNormal = TPrinter::font("Lucida Console", 0, -10);
    prn->fBold = TPrinter::font("Lucida Console", 0, -10, true);
    prn->oBrush = QBrush(QColor(128, 128, 128));
    prn->oPen = QPen(QBrush(Qt::black), 2);
    // A number of copies left at 0 in the configuration still prints the invoice once.
    const double copias = oApp().nCopias;
    prn->setCopies(copias >= 1 ? int(std::min(copias, 999.0)) : 1);
    prn->lPrvModal = true;
    myPageBegin();
    imprimeFactura(*prn, cap.f, cap.pos);
    myPageEnd();
    myPrintEnd();
}

}  // namespace wv
