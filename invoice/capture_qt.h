// The invoice screen: DLG_CAP_FACT over a capture (capture.h) in its three modes — capture,
// query and re-print, cancellation or deletion — with the line editor (lines_qt.h) behind its
// Ins and Del buttons.
#pragma once

#include <functional>

#include "invoice/capture.h"
#include "ui/browse.h"
#include "ui/dialog.h"

namespace wv {

// One cycle's window. The object is here so that a caller (a test) can reach the controls while
// it is up.
class CapturaWindow {
  public:
    explicit CapturaWindow(CapturaFactura& cap);
    CapturaWindow(const CapturaWindow&) = delete;
    CapturaWindow& operator=(const CapturaWindow&) = delete;

    // Shows the window modally: 1 accepted (button 400), 2 Cancelar (also Escape and the close
    // box), 0 Salir. A layout that cannot be loaded answers 0, so that the cycle ends.
    int run();
    // The fields read again, the lines and their footers redrawn, the buttons enabled anew.
    void refresh();
    // Button 400: a customer and at least one line.
    bool canAccept() const;

    CapturaFactura& cap;
    TDialog dlg;
    TWBrowse* brw = nullptr;

  private:
    void bindFields();
    void bindButtons();
    void bindLines();
};

// The screen of one cycle for the capture's cycle (fCapFact in capture.h).
int capturaScreen(CapturaFactura& cap);

// What prints the capture's current invoice, stored or re-printed, in place of the invoice form
// (fImprimeFactura, printing_qt.h); an empty one puts the form back. The previous one is
// returned.
using InvoicePrinter = std::function<void(CapturaFactura&)>;
InvoicePrinter setInvoicePrinter(InvoicePrinter print);

// F_CAP_FACT: the screen in mode 1 (capture), 2 (query and re-print) or 3 (cancellation or
// deletion) until the operator leaves it with Salir.
void fCapFact(int mode);

// The query screen over one invoice (from the listing): shown once, re-printed on request.
void consultaFactura(const std::string& number);

// What the invoice screens need from the others: the lookup list and the customer catalogue.
void registerInvoiceScreens();

}  // namespace wv
