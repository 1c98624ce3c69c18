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

// Small letters in code page 1252: A..Z, the accented capitals À..Þ except the multiplication
// sign, and Š, Œ, Ž, Ÿ.
char lowerCaseChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) return char(u + 0x20);
    switch (u) {
        case 0x8A: return char(0x9A);
        case 0x8C: return char(0x9C);
        case 0x8E: return char(0x9E);
        case 0x9F: return char(0xFF);
        default: return c;
    }
}

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
