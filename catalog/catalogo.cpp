#include "catalog/catalogo.h"

#include <map>

#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/numtext.h"
#include "runtime/transform.h"

namespace wv {

std::string modeSuffix(int mode) {
    switch (mode) {
        case kAlta: return " - Alta de Registros";
        case kConsulta: return " - Consulta de Registros";
        case kModifica: return " - Modificación de Registros";
        default: return "";
    }
}

std::vector<std::string> catalogActions(const std::string& catalogo) {
    std::string upper = upperCase(catalogo);
    std::string fn = upper == "ARTICULO" ? "f_Articulo" : upper == "CLIENTE" ? "f_Clientes"
                                                                              : "f_Comunes";
    std::vector<std::string> actions;
    // Add, consult, modify, delete, maintenance: the third and fourth are modes 4 and 3.
    for (int mode : {kAlta, kConsulta, kModifica, kBaja, kMantenimiento})
        actions.push_back(fn + "( " + std::to_string(mode) + " )");
    return actions;
}

namespace {

std::map<std::string, CatalogForm>& forms() {
    static std::map<std::string, CatalogForm> registry;
    return registry;
}

}  // namespace

void setCatalogForm(const std::string& function, CatalogForm form) {
    forms()[lowerCase(function)] = std::move(form);
}

bool runCatalogAction(const std::string& action) {
    size_t open = action.find('(');
    size_t close = action.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return false;
    auto it = forms().find(lowerCase(allTrim(action.substr(0, open))));
    if (it == forms().end() || !it->second) return false;
    it->second(int(val(action.substr(open + 1, close - open - 1))));
    return true;
}

CatalogFields catalogFields() {
    if (existeCampo("NUME") && existeCampo("DESC")) return {"NUME", "DESC"};
    return {"ID", "NOMBRE"};
}

std::string footerCount(uint32_t keys) {
    return allTrim(transform(Value::number(double(keys)), "9,999,999")) + " Reg(s)";
}

bool mayChangeCatalog(const std::string& nivel) { return nivel != "B"; }

bool onRealRecord(const std::string& alias) {
    WorkArea* a = workspace().area(alias);
    return a && !a->eof() && a->recNo() >= 1 && a->recNo() <= a->recCount() && !a->deleted();
}

std::optional<std::string> nextCode(const std::string& alias) {
    WorkArea* a = workspace().area(alias);
    if (!a) return std::nullopt;
    workspace().select(alias);
    const size_t width = a->table().field(0).len;
    const bool customers = upperCase(alias) == "CLIENTE";
    a->setOrder(1);
    a->goBottom();
    double last = 0;
    if (!a->eof()) {
        std::string code = allTrim(a->table().get(size_t(0)).text());
        if (customers && code == kClienteOcasional) {
            a->skip(-1);
            code = a->bof() ? "" : allTrim(a->table().get(size_t(0)).text());
        }
        last = val(code);
    }
    std::string digits = str(last + 1, int(width), 0);
    if (digits.find('*') != std::string::npos) return std::nullopt;
    for (char& c : digits)
        if (c == ' ') c = '0';
    if (customers && digits == kClienteOcasional) return std::nullopt;
    return digits;
}

std::string codePicture(const std::string& alias) {
    WorkArea* a = workspace().area(alias);
    size_t width = a ? a->table().field(0).len : 4;
    return std::string(width, '9');
}

}  // namespace wv
