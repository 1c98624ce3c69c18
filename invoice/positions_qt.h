// The print positions on the screen: the dialog DLG_POS_FACT over the 23 positions.
#pragma once

#include "invoice/positions.h"
#include "ui/dialog.h"

namespace wv {

// One run of the dialog over the values given; the object is here so that a caller (a test) can
// reach the controls while it is up.
class FPosiciones {
public:
    explicit FPosiciones(Posiciones& p);
    FPosiciones(const FPosiciones&) = delete;
    FPosiciones& operator=(const FPosiciones&) = delete;

    // Shows the dialog modally; true when the operator accepted.
    bool run();

    // Which controls position n has: a row, a column and the print flag.
    static bool hasRow(int n) { return n <= 12 || n >= 18; }
    static bool hasColumn(int n) { return n != 12; }
    static bool hasFlag(int n) { return n != 12; }

    Posiciones& p;
    TDialog dlg;
    bool accepted = false;
};

// F_POSICIONES_IMPRESION with its dialog.
void fPosicionesImpresion();

}  // namespace wv
