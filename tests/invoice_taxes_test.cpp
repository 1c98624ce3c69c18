#include <gtest/gtest.h>

#include "invoice/taxes.h"

namespace wv {
namespace {

TEST(Taxes, TaxPartIsNotRounded) {
    EXPECT_DOUBLE_EQ(nImpuestosValor(100, 16), 16);
    EXPECT_NEAR(nImpuestosValor(86.2069, 16), 13.793104, 1e-12);
    EXPECT_NEAR(nImpuestosValor(10, 3.5), 0.35, 1e-12);
    EXPECT_NEAR(nImpuestosValor(0.01, 15), 0.0015, 1e-15);
}

TEST(Taxes, AddingIsNotTheInverseOfTakingOff) {
    EXPECT_DOUBLE_EQ(nValorConImpuestos(100, 16), 116);
    EXPECT_NEAR(nValorSinImpuestos(116, 16), 97.44, 1e-12);
    EXPECT_NEAR(nValorSinImpuestos(nValorConImpuestos(100, 16), 16), 97.44, 1e-12);
}

TEST(Taxes, ZeroRateAndNegativeAmounts) {
    EXPECT_EQ(nImpuestosValor(123.45, 0), 0);
    EXPECT_EQ(nValorConImpuestos(123.45, 0), 123.45);
    EXPECT_EQ(nValorSinImpuestos(123.45, 0), 123.45);
    EXPECT_DOUBLE_EQ(nImpuestosValor(-50, 16), -8);
    EXPECT_DOUBLE_EQ(nValorConImpuestos(-50, 16), -58);
    EXPECT_DOUBLE_EQ(nValorSinImpuestos(-50, 16), -42);
}

}  // namespace
}  // namespace wv
