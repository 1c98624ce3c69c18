#include <gtest/gtest.h>

#include <limits>

#include "invoice/words.h"

namespace wv {
namespace {

// The short forms for 0 and 1 have one blank before the cents; every other amount two.
TEST(AmountInWords, ZeroAndOne) {
    EXPECT_EQ(nToL(0.05), "(CERO PESOS 05/100 M.N.)");
    EXPECT_EQ(nToL(0), "(CERO PESOS 00/100 M.N.)");
    EXPECT_EQ(nToL(1.50), "(UN PESOS 50/100 M.N.)");
    EXPECT_EQ(nToL(1), "(UN PESOS 00/100 M.N.)");
    EXPECT_EQ(nToL(2), "(DOS PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(0.5, false), "(CERO DOLARES 50/100 USD.)");
}

TEST(AmountInWords, Hundreds) {
    EXPECT_EQ(nToL(100), "(CIEN PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(101), "(CIENTO UN PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(115), "(CIENTO QUINCE PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(120), "(CIENTO VEINTE PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(121), "(CIENTO VEINTIUN PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(999), "(NOVECIENTOS NOVENTA Y NUEVE PESOS  00/100 M.N.)");
}

TEST(AmountInWords, EveryWordOfTheTables) {
    const char* const unidades[] = {"UN", "DOS", "TRES", "CUATRO", "CINCO",
                                    "SEIS", "SIETE", "OCHO", "NUEVE"};
    const char* const once[] = {"ONCE", "DOCE", "TRECE", "CATORCE", "QUINCE",
                                "DIECISEIS", "DIECISIETE", "DIECIOCHO", "DIECINUEVE"};
    const char* const decenas[] = {"DIEZ", "VEINTE", "TREINTA", "CUARENTA", "CINCUENTA",
                                   "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"};
    const char* const centenas[] = {"CIENTO", "DOSCIENTOS", "TRESCIENTOS",
                                    "CUATROCIENTOS", "QUINIENTOS", "SEISCIENTOS",
                                    "SETECIENTOS", "OCHOCIENTOS", "NOVECIENTOS"};
    const std::string tail = " PESOS  00/100 M.N.)";
    for (int d = 1; d <= 9; ++d) {
        const std::string u = unidades[d - 1];
        if (d > 1) {
            EXPECT_EQ(nToL(d), "(" + u + tail);
        }
        EXPECT_EQ(nToL(10 + d), "(" + std::string(once[d - 1]) + tail);
        EXPECT_EQ(nToL(10 * d), "(" + std::string(decenas[d - 1]) + tail);
        EXPECT_EQ(nToL(20 + d), "(VEINTI" + u + tail);
        if (d > 2) {
            EXPECT_EQ(nToL(10 * d + 7), "(" + std::string(decenas[d - 1]) + " Y SIETE" + tail);
        }
        EXPECT_EQ(nToL(100 * d + 5), "(" + std::string(centenas[d - 1]) + " CINCO" + tail);
    }
    EXPECT_EQ(nToL(31), "(TREINTA Y UN PESOS  00/100 M.N.)");
}

TEST(AmountInWords, ThousandsAndMillions) {
    EXPECT_EQ(nToL(1000), "(UN MIL PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(21001), "(VEINTIUN MIL UN PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(100000), "(CIEN MIL PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(1000000), "(UN MILLON DE PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(1000001), "(UN MILLON UN PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(1500000), "(UN MILLON QUINIENTOS MIL PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(5000000), "(CINCO MILLONES DE PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(2000300.1), "(DOS MILLONES TRESCIENTOS PESOS  10/100 M.N.)");
}

TEST(AmountInWords, ThousandsOfMillions) {
    EXPECT_EQ(nToL(1000000000), "(UN MIL MILLONES DE PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(1000000001), "(UN MIL MILLONES UN PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(1001000000), "(UN MIL UN MILLON DE PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(2000005000), "(DOS MIL MILLONES CINCO MIL PESOS  00/100 M.N.)");
    EXPECT_EQ(nToL(999999999999.99),
              "(NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE MILLONES "
              "NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE PESOS  99/100 M.N.)");
}

TEST(AmountInWords, Dollars) {
    EXPECT_EQ(nToL(1234.56, false), "(UN MIL DOSCIENTOS TREINTA Y CUATRO DOLARES  56/100 USD.)");
    EXPECT_EQ(nToL(1234.56), "(UN MIL DOSCIENTOS TREINTA Y CUATRO PESOS  56/100 M.N.)");
}

// Totals are sums of two-decimal amounts and carry binary noise; the cents must come out right.
TEST(AmountInWords, CentsAreRoundedToTheNearest) {
    EXPECT_EQ(nToL(0.1 + 0.2), "(CERO PESOS 30/100 M.N.)");
    EXPECT_EQ(nToL(116.0 * 0.29), "(TREINTA Y TRES PESOS  64/100 M.N.)");
    EXPECT_EQ(nToL(1.005), "(UN PESOS 01/100 M.N.)");
    EXPECT_EQ(nToL(0.994), "(CERO PESOS 99/100 M.N.)");
    EXPECT_EQ(nToL(0.995), "(UN PESOS 00/100 M.N.)");
    EXPECT_EQ(nToL(1.999), "(DOS PESOS  00/100 M.N.)");
}

TEST(AmountInWords, OutsideTheRangeGivesNothing) {
    EXPECT_EQ(nToL(-0.01), "");
    EXPECT_EQ(nToL(-5), "");
    EXPECT_EQ(nToL(1e12), "");
    EXPECT_EQ(nToL(999999999999.995), "");
    EXPECT_NE(nToL(999999999999.994), "") << "a part of a cent below the end is still in range";
    EXPECT_EQ(nToL(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(nToL(std::numeric_limits<double>::infinity()), "");
}

}  // namespace
}  // namespace wv
