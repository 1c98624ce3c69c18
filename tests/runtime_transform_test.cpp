#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime/date.h"
#include "runtime/settings.h"
#include "runtime/transform.h"

namespace wv {
namespace {

std::string num(double d, std::string_view picture) {
    return transform(Value::number(d), picture);
}
std::string blanks(int n) {
    return std::string(n, ' ');
}

TEST(TransformNumber, SeparatorsOnlyBetweenDigits) {
    EXPECT_EQ(num(0, "999,999,999.99"), blanks(10) + "0.00");
    EXPECT_EQ(num(1234567.891, "9,999,999.99"), "1,234,567.89");
    EXPECT_EQ(num(999, "9,999,999"), blanks(6) + "999");
    EXPECT_EQ(num(1234, "9,999,999"), "    1,234");
    EXPECT_EQ(num(0.5, "9,999,999.99"), blanks(8) + "0.50");
    EXPECT_EQ(num(1234567, "9,999,999 bytes"), "1,234,567 bytes");
    EXPECT_EQ(num(512, "9,999,999 bytes"), "      512 bytes");
}

TEST(TransformNumber, MinusSignStaysNextToTheDigits) {
    EXPECT_EQ(num(-5, "99,999.99"), "    -5.00");
    EXPECT_EQ(num(-1234, "99,999.99"), "-1,234.00");
    EXPECT_EQ(num(-123.4, "99,999,999.99"), blanks(6) + "-123.40");
    // The sign takes the first position and moves into the separator after it.
    EXPECT_EQ(num(-123, "9,999"), " -123");
}

TEST(TransformNumber, OverflowFillsDigitAndSeparatorPositions) {
    EXPECT_EQ(num(100000, "99,999.99"), "******.**");
    EXPECT_EQ(num(-12345, "99,999.99"), "******.**");
    EXPECT_EQ(num(12345678, "9,999,999"), "*********");
    EXPECT_EQ(num(1000, "999"), "***");
    EXPECT_EQ(num(100, "99.99"), "**.**");
    EXPECT_EQ(num(100, "99%"), "**%");
    EXPECT_EQ(num(INFINITY, "99.99"), "**.**");
    // Rounding can push a value over the edge.
    EXPECT_EQ(num(999999.994, "999,999.99"), "999,999.99");
    EXPECT_EQ(num(999999.995, "999,999.99"), "*******.**");
}

TEST(TransformNumber, ApplicationPictures) {
    EXPECT_EQ(num(16, "999%"), " 16%");
    EXPECT_EQ(num(15, "99%"), "15%");
    EXPECT_EQ(num(5, "99%"), " 5%");
    EXPECT_EQ(num(5, "999"), "  5");
    EXPECT_EQ(num(0, "99999"), "    0");
    EXPECT_EQ(num(12.5, "99.99"), "12.50");
    EXPECT_EQ(num(-1.5, "99.99"), "-1.50");
    EXPECT_EQ(num(1234.5, "999,999.99"), "  1,234.50");
    EXPECT_EQ(num(9876543.21, "99,999,999.99"), " 9,876,543.21");
}

TEST(TransformNumber, RoundsHalfAwayFromZero) {
    EXPECT_EQ(num(1.005, "99.99"), " 1.01");
    EXPECT_EQ(num(12.5, "999"), " 13");
    EXPECT_EQ(num(-12.5, "999"), "-13");
    EXPECT_EQ(num(-0.001, "9.99"), "0.00");  // no negative zero
}

TEST(TransformNumber, PointRules) {
    // A point with no digit after it still rounds to one decimal, and the result keeps the
    // template's length: -99.5 fits "-99.5", it would not fit three whole positions.
    EXPECT_EQ(num(12.34, "999."), " 12.");
    EXPECT_EQ(num(-99.5, "999."), "-99.");
    // Only the first point is the decimal point; later ones are copied.
    EXPECT_EQ(num(1.2345, "99.99.9"), " 1.23.5");
    // Below one the leading zero gives way when there is no room for it.
    EXPECT_EQ(num(0.5, ".99"), ".50");
    EXPECT_EQ(num(-0.5, "9.9"), "-.5");
}

TEST(TransformNumber, FillAndLiteralCharacters) {
    EXPECT_EQ(num(5, "***9.99"), "***5.00");
    EXPECT_EQ(num(1234, "**,**9"), "*1,234");
    EXPECT_EQ(num(12, "**,**9"), "****12");
    EXPECT_EQ(num(12, "$$$9"), "$$12");
    EXPECT_EQ(num(7, "Total: 99"), "Total:  7");
    EXPECT_EQ(num(3, "%"), "%");
}

TEST(TransformNumber, NoTemplateUsesTheRuntimeConversion) {
    EXPECT_EQ(num(5, ""), "         5");
    EXPECT_EQ(num(1.5, ""), "         1.50");
    EXPECT_EQ(transform(Value::number(3.25, 8, 2), ""), "    3.25");
    EXPECT_EQ(num(0, "@Z"), blanks(10));
    EXPECT_EQ(num(5, "@B"), "5" + blanks(9));
}

TEST(TransformNumber, FunctionLetters) {
    EXPECT_EQ(num(1234567.891, "@E 9,999,999.99"), "1.234.567,89");
    EXPECT_EQ(num(0, "@Z 99,999.99"), blanks(9));
    EXPECT_EQ(num(5, "@z 999"), "  5");
    EXPECT_EQ(num(12, "@B 9,999"), "12   ");
    EXPECT_EQ(num(5, "@L 9999"), "0005");
    EXPECT_EQ(num(5, "@0 99,999"), "00,005");
    EXPECT_EQ(num(-5, "@L 9999"), "-005");
    EXPECT_EQ(num(-5, "@( 9999"), "(   5)");
    EXPECT_EQ(num(-5, "@) 9999"), "   (5)");
    EXPECT_EQ(num(5, "@( 9999"), "    5 ");
    EXPECT_EQ(num(-0.001, "@( 9.99"), " 0.00 ");
    EXPECT_EQ(num(0, "@EZ 9,999.99"), blanks(8));
    // Accepted and without effect on a number; the width after S is not the letter 0.
    EXPECT_EQ(num(5, "@S10 9999"), "   5");
    EXPECT_EQ(num(5, "@KXC! 999"), "  5");
}

TEST(TransformText, FunctionsAndTemplates) {
    EXPECT_EQ(transform("a\xF1o \xF1"
                        "and\xFA",
                        "@!"),
              "A\xD1O \xD1"
              "AND\xDA");
    EXPECT_EQ(transform("abc", ""), "abc");
    EXPECT_EQ(transform("abc", "!!!!!"), "ABC  ");
    EXPECT_EQ(transform("abcd", "!XXX"), "Abcd");
    EXPECT_EQ(transform("abcd", "@! XXX"), "ABC");
    EXPECT_EQ(transform("5551234", "@R 999-9999"), "555-1234");
    EXPECT_EQ(transform("5551234", "999-9999"), "555-234 ");
    EXPECT_EQ(transform("abcdef", "XXX"), "abc");
}

TEST(TransformOther, DatesLogicalsAndNil) {
    Date d = dateFromYmd(2008, 2, 1);
    EXPECT_EQ(transform(d, ""), "01/02/08");
    EXPECT_EQ(transform(d, "@D"), "01/02/08");
    EXPECT_EQ(transform(Date{}, "@D"), "  /  /  ");
    settings().century = true;
    EXPECT_EQ(transform(d, "@D"), "01/02/2008");
    settings().century = false;

    EXPECT_EQ(transform(true, ""), "T");
    EXPECT_EQ(transform(false, ""), "F");
    EXPECT_EQ(transform(true, "Y"), "Y");
    EXPECT_EQ(transform(false, "Y"), "N");
    EXPECT_EQ(transform(true, "L"), "T");
    EXPECT_EQ(transform(Value(), "999"), "");
}

}  // namespace
}  // namespace wv
