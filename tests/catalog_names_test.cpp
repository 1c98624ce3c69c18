#include <gtest/gtest.h>

#include "catalog/names.h"

namespace wv {
namespace {

TEST(CatalogNames, KnownCatalogues) {
    EXPECT_EQ(nomCatalogos("CLIENTE"), "Clientes");
    EXPECT_EQ(nomCatalogos("cliente"), "Clientes");
    EXPECT_EQ(nomCatalogos("CONCFAC"), "Conc. Facturacion");
    EXPECT_EQ(nomCatalogos("Usuarios"), "Usuarios del Sistema");
    EXPECT_EQ(nomCatalogos("LINEA"), "Lineas");
    EXPECT_EQ(nomCatalogos("proveedo"), "Proveedores");
    EXPECT_EQ(nomCatalogos("ALMACEN"), "Almacenes");
}

TEST(CatalogNames, OthersAreCapitalised) {
    EXPECT_EQ(nomCatalogos("ARTICULO"), "Articulo");
    EXPECT_EQ(nomCatalogos("facturas"), "Facturas");
    EXPECT_EQ(nomCatalogos("det_fact"), "Det_fact");
    // Compared exactly: blanks are part of the name.
    EXPECT_EQ(nomCatalogos("CLIENTE "), "Cliente ");
    EXPECT_EQ(nomCatalogos(""), "");
    // Accented letters change case too (code page 1252): "ñandú" -> "Ñandú".
    EXPECT_EQ(nomCatalogos("\xF1" "AND\xDA"), "\xD1" "and\xFA");
}

}  // namespace
}  // namespace wv
