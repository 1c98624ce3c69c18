// F_IMPRIMEFACTURA: the current invoice printed on the pre-printed form. Every item goes to the
// row and column its print position gives (invoice/positions.h); an item whose position is not
// to be printed is left blank. The lines go down from the row of position 12, 0.3 cm each, all
// on the one page (the capture screen refuses a line the form has no room for). The job always
// opens in the modal preview, from which the operator sends it to the printer.
#pragma once

#include <string>

namespace wv {

class CapturaFactura;
class TCustomImpresion;
struct Factura;
struct Posiciones;

// The name of the print job of an invoice for a customer.
std::string documentoFactura(const std::string& cNombre);

// The items of the invoice drawn on the page being printed, in the job's fNormal font; the row
// of the lines is left in the job's nLinea (the row of the last line, or that of position 12
// when there are none).
void imprimeFactura(TCustomImpresion& prn, const Factura& f, const Posiciones& pos);

// The whole job: the operator chooses the printer, one page with the invoice of the capture
// screen at the positions it loaded, the application's number of copies (at least one), and
// the preview shown modally. Returns when the preview has been closed.
void fImprimeFactura(const CapturaFactura& cap);

}  // namespace wv
