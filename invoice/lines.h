// The line editor of the invoice screen without its screen: a new line taken from the article
// catalogue or typed as a free concept, its taxes backed out of the tax-inclusive price, and the
// invoice's lines and totals changed only when the line is accepted.
#pragma once

#include <functional>
#include <string>

#include "invoice/capture.h"

namespace wv {

class EditorLinea {
public:
    // Mode 1: a new line; mode 3: the current line of the invoice, to be removed.
    EditorLinea(CapturaFactura& cap, int mode);

    CapturaFactura& cap;
    const int mode;
    LineaFactura l;
    // What the total field shows: the gross amount of a new line, the stored net amount of a
    // line to remove.
    double nTotal = 0;
    bool accepted = false;

    // A free concept (no article code): its rates are typed.
    bool freeConcept() const;
    // Field 101 left: the article looked up (VALCOD), its name, price and rates taken (zeros and
    // a blank name after a dismissed list), and the line computed again. Never refuses.
    void articulo();
    // The gross amount, the taxes and the net amount computed again.
    void recalcula();
    // Field 104 left: a price of 0 is refused with a stop box.
    bool precioValido();
    // "Aceptar": a new line is computed and checked again, and added when it can be stored and
    // printed (else a stop box says why and false); a line to remove goes after the question.
    bool acepta();
};

// F_DETALLE_REGISTRO: the editor of the mode over the capture; `dialog` edits the values and
// calls acepta() when the operator accepts. The lines go back to the first afterwards.
void fDetalleRegistro(CapturaFactura& cap, int mode,
                      const std::function<void(EditorLinea&)>& dialog);

}  // namespace wv
