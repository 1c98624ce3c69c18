#include <gtest/gtest.h>

#include "catalog/codes.h"

namespace wv {
namespace {

TEST(CatalogCodes, ZeroFill) {
    EXPECT_EQ(cero1("12  "), "0012");
    EXPECT_EQ(cero1("  12"), "0012");
    EXPECT_EQ(cero1(" 12 "), "0012");
    EXPECT_EQ(cero1("    "), "0000");
    EXPECT_EQ(cero1("1234"), "1234");
    EXPECT_EQ(cero1("7"), "7");
    EXPECT_EQ(cero1(""), "");
    EXPECT_EQ(cero1("1 2 "), "01 2");
    EXPECT_EQ(cero1("  A1      "), "00000000A1");
}

}  // namespace
}  // namespace wv
