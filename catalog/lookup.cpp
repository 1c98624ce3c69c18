#include "catalog/lookup.h"

#include "catalog/codes.h"
#include "catalog/names.h"
#include "data/tables.h"
#include "data/workarea.h"

namespace wv {

namespace {

LookupDialog& installed() {
    static LookupDialog dialog;
    return dialog;
}

std::function<Array()> fieldsLine(WorkArea* a, std::string code, std::string name) {
    return [a, code = std::move(code), name = std::move(name)] {
        return Array{a->get(code), a->get(name)};
    };
}

}  // namespace

LookupDialog setLookupDialog(LookupDialog dialog) {
    LookupDialog prev = std::move(installed());
    installed() = std::move(dialog);
    return prev;
}

std::string valCod(const std::string& code, const std::string& alias,
                   std::vector<std::string> headers, std::function<Array()> line,
                   std::string title) {
    WorkArea* a = workspace().area(alias);
    if (!a) return code;
    workspace().select(alias);
    if (headers.empty()) headers = {"id", "nombre"};
    if (!line) line = fieldsLine(a, "ID", "NOMBRE");
    if (title.empty()) title = "Listado de: " + nomCatalogos(alias) + ": Ordenando por: Nombre";

    size_t width = a->table().field(0).len;
    if (existeCampo("NUME") && existeCampo("DESC")) {
        line = fieldsLine(a, "NUME", "DESC");
        width = a->table().field(size_t(a->table().fieldIndex("NUME"))).len;
    } else if (existeCampo("ID") && existeCampo("NOMBRE")) {
        width = a->table().field(size_t(a->table().fieldIndex("ID"))).len;
    }
    std::string result(width, ' ');

    a->setOrder(1);
    a->goTop();
    bool accepted = a->seek(Value(code), false) || a->seek(Value(cero1(code)), false);
    if (!accepted) {
        LookupRequest request{alias, headers, line, title};
        accepted = installed() && installed()(request);
        workspace().select(alias);
        if (!accepted || a->eof()) {
            // Dismissed: the table goes to its end, so that whoever copies the record's fields
            // copies blanks and not whatever row the list showed last.
            a->setOrder(1);
            a->goBottom();
            a->skip(1);
            accepted = false;
        }
    }
    if (accepted) result = a->table().get(size_t(0)).text();
    a->setOrder(1);
    return result;
}

}  // namespace wv
