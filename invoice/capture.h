// The invoice screen's rules that need no screen: the current invoice's values and lines, its
// number, its customer, storing it, loading a stored one, deleting it or switching its cancelled
// mark. The screen (capture_qt.h) binds these to DLG_CAP_FACT; the data tool stores invoices
// through the same routine.
//
// What is stored is decided here:
//   - an invoice number is checked again under the lock every append of an invoice takes, and the
//     header is written and keyed before that lock goes: two stations never store one number;
//   - a line's taxes are rounded to the cent and its net amount is what is left of the price, so
//     the lines add up to the invoice's totals to the cent; the totals are the sums of the lines;
//   - an amount that does not fit its field or its printed picture is refused when the line is
//     accepted; a form with no room for one more line refuses it;
//   - storing is all or nothing as far as the operator sees: a header that cannot be appended
//     leaves nothing; a line that cannot leaves the invoice deleted, and the operator told.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/tables.h"
#include "invoice/positions.h"
#include "runtime/date.h"
#include "support/tarray.h"

namespace wv {

// One line as the line table and det_fact hold it.
struct LineaFactura {
    std::string cIdArtic;
    std::string cArticul;
    double nCant = 1;
    double nPrecioU = 0;
    double nPorcIVA = 0;
    double nIVA = 0;
    double nPorcHos = 0;
    double nHospeda = 0;
    double nPorcDes = 0;
    double nDescto = 0;
    double nImporte = 0;
    double nRegistro = 0;  // the det_fact record a loaded line came from

    // Quantity times the tax-inclusive price, to the cent.
    double bruto() const;
    // The taxes backed out of the gross amount through one divisor, each rounded to the cent,
    // and the net amount what is left: 1 x 10.00 at 16 % and 3 % gives 8.41, 1.34 and 0.25.
    void calcula();
};

// The current-invoice values of one run of the screen.
struct Factura {
    Factura();

    std::string cNumFact;
    Date dFecha;
    std::string cIdCliente, cNombre, cDomicilio, cTelefono, cCp, cRfc, cCiudadEdo;
    std::string cComenta1, cComenta2, cHabita;
    double nPersonas = 0;
    double nSubtot = 0, nDescto = 0, nIva = 0, nHospe = 0, nTotal = 0;
    bool mEdita = false;      // the customer's data may be typed (the occasional customer)
    bool lCancelada = false;  // the loaded invoice is cancelled
    TArray oFacturas;         // the lines

    // Everything blank, no lines; the number given.
    void reset(const std::string& number);
    void blankCustomer();
    long lineCount() const { return oFacturas.lastRec(); }
    LineaFactura line(long row) const;
    // A line at the end; the current line removed. The totals follow.
    void addLine(const LineaFactura& l);
    void removeLine();
    // The totals as the sums of the lines.
    void sumTotals();
    // The footers of the line browse's last two columns.
    std::string footerLabels() const;
    std::string footerValues() const;
};

// An invoice number brought to its stored form: ten characters, an optional letter then digits
// zero-filled to the rest ("41" gives "0000000041", "b7" "B000000007"). Nothing for anything
// else (blanks, other characters, too many digits).
std::optional<std::string> normalizaNumero(const std::string& typed);
// Whether a stored counter should move to `number`: always into another series, and within a
// series only forward.
bool counterAdvances(const std::string& stored, const std::string& number);

class CapturaFactura {
public:
    explicit CapturaFactura(int mode);
    ~CapturaFactura();
    CapturaFactura(const CapturaFactura&) = delete;
    CapturaFactura& operator=(const CapturaFactura&) = delete;

    const int mode;  // 1 capture, 2 query and re-print, 3 cancellation or deletion
    Factura f;
    Posiciones pos;

    // Opens cliente, articulo, facturas, det_fact, pos_fac (and the occasional customers'
    // table, made when missing) and reads the print positions. False, every table closed, when
    // one cannot be opened or the positions are not all there (told).
    bool open();
    void close();
    bool isOpen() const { return open_; }

    // A new cycle: values blank, no lines; in capture the proposed number.
    void newCycle();
    // The next number nobody has used: after the counter, passing over numbers stored meanwhile
    // or whose lines still live. "" when none can be proposed (told).
    std::string proposal();
    // Whether a number is taken: by an invoice, or by lines of one.
    bool numberUsed(const std::string& number);

    // Field 101 left. Capture: the number brought to its stored form and refused when it is
    // not a number or is taken. Query and cancellation: the invoice looked up and loaded.
    bool numberValid();
    // Field 104 left: the occasional customer makes the billing data editable; any other code
    // is looked up and the customer's data copied. Never refuses.
    bool customerValid();
    // F_CARGADATOS: the current facturas record, its customer and its lines.
    void cargaDatos();

    // Why a line cannot be accepted ("" when it can): a price of 0, an amount that does not fit
    // its field or its printed picture, totals that would not, no room left on the form.
    std::string lineRefusal(const LineaFactura& l) const;
    // The lines the printed form has room for.
    long roomForLines() const;

    enum class Stored { Yes, NumberTaken, Failed };
    // Stores the invoice (capture): header, lines, the occasional customer's data, the counter.
    // NumberTaken: another station stored the number meanwhile; the next free one is in
    // f.cNumFact and the operator has been told.
    Stored store();
    // Deletes the loaded invoice and its lines (cancellation mode, after the questions). False
    // when the header could not be locked; lines that could not be deleted are told.
    bool erase();
    // Switches the cancelled mark, asking first.
    bool toggleCancel();

private:
    // The header and the lines written so far marked deleted; false when one could not be.
    bool rollBack(uint32_t header, const std::vector<uint32_t>& lines);
    bool open_ = false;
    // The proposal after the last invoice stored here, checked under that store's locks: the
    // number the counter gives next, and the first of it and those after it that nobody has.
    // It holds while the counter still gives that number.
    std::optional<std::pair<std::string, std::string>> nextProposal_;
};

// The re-print question of the query: a cancelled invoice is asked about as such, "No" first.
bool confirmReprint(const Factura& f);

// F_CAP_FACT's cycle without the screen: `screen` runs the dialog over the capture and answers
// 0 for "Salir", 1 accepted, 2 cancelled; `print` prints the current invoice.
void fCapFact(int mode, const std::function<int(CapturaFactura&)>& screen,
              const std::function<void(CapturaFactura&)>& print);

}  // namespace wv
