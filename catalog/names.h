// The display names of the catalogues, as window captions and messages show them.
#pragma once

#include <string>

namespace wv {

// NOMCATALOGOS: "CLIENTE" gives "Clientes", "CONCFAC" "Conc. Facturacion" (and so on for the
// names the program knows, compared in upper case); any other name comes back with its first
// letter in upper case and the rest in lower case ("ARTICULO" gives "Articulo").
std::string nomCatalogos(const std::string& catalogo);

}  // namespace wv
