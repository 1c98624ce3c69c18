// The listing of the invoices issued in a range of dates, without its screen: the rows read
// through the "fecha" tag of facturas (the first date sought, the walk stopped past the last, so
// that the cost follows the range and not the table), the customer's name of each one, the
// totals, and the rows as a CSV file. The window (listing_qt.h) browses these rows.
//
// The tables are opened here in areas of the listing's own, shared and read only, outside the
// process's numbered areas: the screens opened from the listing (the invoice query) open and
// close theirs without touching these. Nothing is locked but the index, for the instant its
// keys are walked; what other stations store meanwhile shows at the next read().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

class WorkArea;

// One invoice of the listing.
struct FacturaExpedida {
    std::string numero;      // as stored, ten characters
    Date fecha;
    std::string idCliente;   // as stored, four characters
    std::string nombre;      // the catalogue's, or the occasional customer's kept with the invoice
    std::string habitacion;  // without trailing blanks
    double personas = 0;
    double subtotal = 0, iva = 0, hospedaje = 0, total = 0;
    bool cancelada = false;
    uint32_t registro = 0;  // its record in facturas
};

// The footers of the listing: every invoice and the cancelled ones are counted; the amounts are
// those of the invoices not cancelled.
struct TotalesListado {
    long facturas = 0;
    long canceladas = 0;
    double subtotal = 0, iva = 0, hospedaje = 0, total = 0;
};

// The pictures of the listing's counts and amounts.
inline constexpr const char* kPictureCuenta = "9,999,999";
inline constexpr const char* kPictureImporte = "99,999,999.99";
std::string textoCuenta(long n);
std::string textoImporte(double v);

// "Facturas Expedidas del 01/12/24 al 31/12/24": the dates in the process's format.
std::string tituloListado(Date first, Date last);

class ListadoFacturas {
public:
    // The range in either order: the earlier date is the first.
    ListadoFacturas(Date first, Date last);
    ~ListadoFacturas();
    ListadoFacturas(const ListadoFacturas&) = delete;
    ListadoFacturas& operator=(const ListadoFacturas&) = delete;

    Date first() const { return first_; }
    Date last() const { return last_; }
    std::string titulo() const { return tituloListado(first_, last_); }

    // Opens facturas, cliente and fac_ocas of the directory (the data directory when empty).
    // False when facturas cannot be opened or has no "fecha" tag (the operator told); a missing
    // cliente or fac_ocas only leaves the names blank.
    bool open(const std::string& dir = "");
    void close();
    bool isOpen() const { return bool(fac_); }

    // Reads the range again: the rows in date order and, within a date, by number; the totals.
    // Records marked deleted (while the deleted setting is on) and keys whose record no longer
    // holds a date of the range (changed by another station meanwhile) are passed over. False
    // when the index could not be read (raised).
    bool read();

    const std::vector<FacturaExpedida>& rows() const { return rows_; }
    const TotalesListado& totales() const { return totales_; }

    // The incremental search: the first row whose number begins with the text (capitals), or
    // failing that the row of the number as typed brought to its stored form ("41" finds
    // 0000000041); -1 when none.
    long find(const std::string& typed) const;
    // The row of an invoice number; -1 when it is not in the listing.
    long indexOf(const std::string& numero) const;

    // The facturas table, for its counters.
    WorkArea* facturas() const { return fac_.get(); }

private:
    struct Nombres;

    Date first_, last_;
    std::unique_ptr<WorkArea> fac_, cli_, ocas_;
    std::vector<FacturaExpedida> rows_;
    TotalesListado totales_;
};

// The rows as a CSV file in UTF-8: a header row, then one line per invoice (cancelled ones
// included and marked), fields separated by commas and quoted when they need it, dates as
// YYYY-MM-DD, amounts with a point and two decimals, lines ended by CR LF.
std::string csvListado(const std::vector<FacturaExpedida>& rows);

}  // namespace wv
