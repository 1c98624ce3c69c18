#include "catalog/names.h"

#include <string_view>

#include "runtime/codepage.h"

namespace wv {

namespace {

struct Nombre {
    std::string_view catalogo;
    const char* display;
};

const Nombre kNombres[] = {
    {"USUARIOS", "Usuarios del Sistema"},
    {"LINEA", "Lineas"},
    {"PROVEEDO", "Proveedores"},
    {"ALMACEN", "Almacenes"},
    {"CLIENTE", "Clientes"},
    {"CONCFAC", "Conc. Facturacion"},
};

}  // namespace

std::string nomCatalogos(const std::string& catalogo) {
    const std::string upper = upperCase(catalogo);
    for (const Nombre& n : kNombres)
        if (n.catalogo == upper) return n.display;
    std::string out = upper;
    for (size_t i = 1; i < out.size(); ++i) out[i] = lowerCaseChar(out[i]);
    return out;
}

}  // namespace wv
