#include "catalog/forms_qt.h"

#include "catalog/browser_qt.h"
#include "catalog/catalogo.h"
#include "ui/appui.h"

namespace wv {

namespace {

// The edits of a form: the code editable only in an add, the rest unless consulting.
void bindFields(TDialog& dlg, RecordForm& form) {
    for (size_t i = 0; i < form.fields.size(); ++i) {
        FormField& f = form.fields[i];
        const bool isCode = i == 0;
        const int mode = form.mode;
        GetOptions options{.picture = f.picture,
                           .msg = f.msg,
                           .update = true,
                           .when = [mode, isCode] {
                               return isCode ? mode == kAlta : mode != kConsulta;
                           }};
        if (isCode) options.valid = [&form](TGet&) { return form.validCode(); };
        TGet& get = dlg.redefineGet(f.id, setGet(f.value), options);
        get.setToolTip(f.toolTip);
    }
}

}  // namespace

FormWindow::FormWindow(RecordForm& f, Kind kind)
    : form(f),
      dlg(kind == Kind::Articulo  ? "DLG_ARTICULOS"
          : kind == Kind::Cliente ? "CAT_CLIENTES"
                                  : "DLG_CATALOGOS",
          &oAppUi().fNormal),
      kind_(kind) {
    dlg.cCaption = form.caption();
    bindFields(dlg, form);
    auto accept = [this] {
        form.accepted = true;
        dlg.end(1);
    };
    auto cancel = [this] {
        form.accepted = false;
        dlg.end(2);
    };
    if (kind == Kind::Articulo) {
        // The concept's code is looked up, and its name shown beside it.
        if (TGet* conceptGet = dynamic_cast<TGet*>(dlg.control(106)))
            conceptGet->bValid = [this](TGet&) {
                articleConcept(form);
                dlg.update();
                return true;
            };
        dlg.redefineSay(206, [this] { return Value(form.conceptName); },
                        {.text = form.editable() ? rgb(128, 0, 0) : rgb(128, 128, 128),
                         .update = true,
                         .font = &oAppUi().fBold});
        dlg.redefineButtonBmp(400, accept, {.msg = "Aceptar", .caption = "A&ceptar "},
                              {.bitmap = "BTN_OK", .toolTip = "Presione para Continuar"});
        dlg.redefineButtonBmp(401, cancel,
                              {.msg = "Cancelar", .caption = "&Cancelar ", .cancel = true},
                              {.bitmap = "BTN_CAN", .toolTip = "Presione para Cancelar"});
    } else {
        const int mode = form.mode;
        TButton& ok = dlg.redefineButton(400, accept);
        ok.setToolTip("Presione para Continuar");
        if (kind == Kind::Comunes) ok.bWhen = [mode] { return mode != kConsulta; };
        TButton& out = dlg.redefineButton(401, cancel, {.cancel = true});
        out.setToolTip("Presione para Salir");
    }
}

bool FormWindow::run() {
    dlg.activate([this] {
        dlg.setMessageBar(kind_ == Kind::Comunes
                              ? "Para busquedas habilite la opcion presionando el titulo de la "
                                "columna..."
                              : "");
    });
    return form.accepted;
}

bool formDialog(RecordForm& form, FormWindow::Kind kind) {
    FormWindow window(form, kind);
    return window.run();
}

}  // namespace wv
