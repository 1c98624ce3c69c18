// The catalogues' rules that need no screen: the record modes, the actions of each catalogue's
// browser and the forms they call, the two field layouts a catalogue can have, the footer's key
// count, the per-cell font rule of the lists, and the codes a new record can take.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wv {

// The modes a record form is called with.
enum CatalogMode : int {
    kAlta = 1,           // add a record
    kConsulta = 2,       // consult the current record
    kBaja = 3,           // delete the current record (no form, a question)
    kModifica = 4,       // modify the current record
    kMantenimiento = 5,  // rebuild the catalogue's tags
};

// The title suffix of a mode's form (" - Alta de Registros"...); empty for 3 and 5.
std::string modeSuffix(int mode);

// The occasional customer: invoices may carry this code without a catalogue record, so the
// customers' automatic next code never hands it out.
inline constexpr const char* kClienteOcasional = "9999";

// The browser's five actions for a catalogue, as texts naming the form and the mode: add,
// consult, modify, delete, maintenance ("f_Articulo( 1 )", "f_Articulo( 2 )", "f_Articulo( 4 )",
// "f_Articulo( 3 )", "f_Articulo( 5 )"). ARTICULO and CLIENTE have their own forms; any other
// catalogue uses the generic one, f_Comunes.
std::vector<std::string> catalogActions(const std::string& catalogo);

// The forms the actions call, by the function's name (letter case ignored): the interface
// registers f_Articulo, f_Clientes and f_Comunes.
using CatalogForm = std::function<void(int mode)>;
void setCatalogForm(const std::string& function, CatalogForm form);
// Runs an action text: the registered form with the mode in the parentheses. False when the
// text names no registered form.
bool runCatalogAction(const std::string& action);

// The two fields a catalogue list shows: NUME and DESC when the current area's table has both,
// else ID and NOMBRE.
struct CatalogFields {
    std::string code;
    std::string name;
};
CatalogFields catalogFields();

// The footer's count: "1,234 Reg(s)".
std::string footerCount(uint32_t keys);

// SELECCIONAFUENTE: the font of a cell by its kind (0 data, 1 column title, 2 footer, 3 the
// highlighted row): f0 to f3, nothing for any other kind.
template <class Font>
const Font* seleccionaFuente(int /*nRow*/, int /*nCol*/, int kind, const Font* f0, const Font* f1,
                             const Font* f2, const Font* f3) {
    switch (kind) {
        case 0: return f0;
        case 1: return f1;
        case 2: return f2;
        case 3: return f3;
        default: return nullptr;
    }
}

// Whether the user level lets the operator change a catalogue (modify, delete, maintenance):
// level "B" consults, adds and prints only.
bool mayChangeCatalog(const std::string& nivel);

// Whether the current record of the alias is one a record button can act on: the area stands on
// a record (not at the end, not on a record that is gone).
bool onRealRecord(const std::string& alias);

// The next code a new record of the catalogue takes: the highest code in code order plus one,
// zero-filled to the code field's width; the customers' highest code passes over the occasional
// customer's. Nothing when the codes of that width are used up. The alias is left selected, in
// code order.
std::optional<std::string> nextCode(const std::string& alias);

// The picture of a catalogue's code field: one "9" per character of the code field.
std::string codePicture(const std::string& alias);

}  // namespace wv
