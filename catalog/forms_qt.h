// The record forms on the screen: DLG_ARTICULOS, CAT_CLIENTES and DLG_CATALOGOS over a form's
// buffers (forms.h).
#pragma once

#include "catalog/forms.h"
#include "ui/dialog.h"

namespace wv {

// One run of a form's window; the object is here so that a caller (a test) can reach the
// controls while it is up.
class FormWindow {
public:
    enum class Kind { Articulo, Cliente, Comunes };
    FormWindow(RecordForm& form, Kind kind);
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Shows the window modally; true when the operator accepted.
    bool run();

    RecordForm& form;
    TDialog dlg;

private:
    Kind kind_;
};

// The dialog of the forms (FormDialog) for each kind.
bool formDialog(RecordForm& form, FormWindow::Kind kind);

}  // namespace wv
