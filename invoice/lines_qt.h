// The invoice line editor on the screen: DLG_CAP_FACT_1 over an EditorLinea (lines.h).
#pragma once

#include "invoice/lines.h"
#include "ui/dialog.h"

namespace wv {

// One run of the line editor's window; the object is here so that a caller (a test) can reach
// the controls while it is up.
class LineaWindow {
  public:
    explicit LineaWindow(EditorLinea& e);
    LineaWindow(const LineaWindow&) = delete;
    LineaWindow& operator=(const LineaWindow&) = delete;

    // Shows the window modally; true when the line was accepted (added, or the removal
    // answered).
    bool run();

    EditorLinea& e;
    TDialog dlg;
};

// F_DETALLE_REGISTRO with its window: mode 1 adds a line to the capture, mode 3 removes its
// current line.
void fDetalleRegistro(CapturaFactura& cap, int mode);

}  // namespace wv
