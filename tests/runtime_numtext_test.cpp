#include <gtest/gtest.h>

#include <cmath>

#include "runtime/date.h"
#include "runtime/numtext.h"
#include "runtime/value.h"

namespace wv {
namespace {

TEST(Str, RoundsAndAligns) {
    EXPECT_EQ(str(123.456, 8, 2), "  123.46");
    EXPECT_EQ(str(-123.456, 8, 2), " -123.46");
    EXPECT_EQ(str(1.005, 4, 2), "1.01");
    EXPECT_EQ(str(-1.005, 5, 2), "-1.01");
    EXPECT_EQ(str(0.125, 5, 2), " 0.13");
    EXPECT_EQ(str(2.5, 3, 0), "  3");
    EXPECT_EQ(str(-2.5, 3, 0), " -3");
    EXPECT_EQ(str(-0.001, 5, 2), " 0.00");
    EXPECT_EQ(str(7, 3, -1), "  7");
}

TEST(Str, Overflow) {
    EXPECT_EQ(str(1234567, 8, 2), "********");
    EXPECT_EQ(str(-1000, 4, 0), "****");
    EXPECT_EQ(str(NAN, 4, 0), "****");
    EXPECT_EQ(str(5, 0, 0), "");
    EXPECT_EQ(str(5, -3, 0), "");
    char buf[4];
    EXPECT_FALSE(strInto(12345, 4, 0, buf));
    EXPECT_EQ(std::string(buf, 4), "****");
    EXPECT_TRUE(strInto(12.3, 4, 1, buf));
    EXPECT_EQ(std::string(buf, 4), "12.3");
}

TEST(RoundTo, HalfAwayFromZeroDespiteBinaryForm) {
    EXPECT_EQ(roundTo(2.675, 2), 2.68);
    EXPECT_EQ(roundTo(-1.005, 2), -1.01);
    EXPECT_EQ(roundTo(1234.5, 0), 1235);
    EXPECT_EQ(roundTo(1.0049, 2), 1.0);
    EXPECT_EQ(roundTo(1e17, 2), 1e17);
    // Exact over the whole range of amounts: near 10^12 a third of a cent stays down.
    EXPECT_EQ(roundTo(999999999999.994, 2), 999999999999.99);
    EXPECT_EQ(roundTo(999999999999.9933, 2), 999999999999.99);
    EXPECT_EQ(roundTo(999999999999.995, 2), 1e12);
    EXPECT_EQ(roundTo(99.995, 2), 100.0) << "the carry crosses the point";
    EXPECT_EQ(roundTo(9.5, 0), 10.0);
    // Every amount typed with half a cent goes up, whatever its binary form, and one a hair
    // below half a cent stays down.
    for (long cents = 0; cents < 100000000; cents += 9973) {
        auto typed = [&](const char* tail) {
            return std::stod(std::to_string(cents / 100) + "." +
                             std::to_string(100 + cents % 100).substr(1) + tail);
        };
        ASSERT_EQ(roundTo(typed("5"), 2), double(cents + 1) / 100) << cents;
        ASSERT_EQ(roundTo(-typed("5"), 2), -double(cents + 1) / 100) << cents;
        ASSERT_EQ(roundTo(typed("4999"), 2), double(cents) / 100) << cents;
    }
}

TEST(Val, LeadingNumber) {
    EXPECT_EQ(val("  123.45"), 123.45);
    EXPECT_EQ(val("-12.5"), -12.5);
    EXPECT_EQ(val("- 5"), -5);
    EXPECT_EQ(val(".5"), 0.5);
    EXPECT_EQ(val("12abc"), 12);
    EXPECT_EQ(val("1,234"), 1);
    EXPECT_EQ(val("1.2.3"), 1.2);
    for (const char* s : {"abc", "        ", ""}) EXPECT_EQ(val(s), 0) << s;
    EXPECT_FALSE(std::signbit(val("-")));
    EXPECT_EQ(val(str(1234567.89, 12, 2)), 1234567.89);
    EXPECT_EQ(val("000000000000000000000012"), 12);
}

TEST(ValueToText, NumbersKeepTheirWidth) {
    EXPECT_EQ(Value::number(5).toText(), "         5");
    EXPECT_EQ(Value::number(-5).toText(), "        -5");
    EXPECT_EQ(Value::number(1.5).toText(), "         1.50");
    EXPECT_EQ(Value::number(3.14159, 3).toText(), "         3.142");
    EXPECT_EQ(Value::number(12345678901.0).toText(), "12345678901");
    EXPECT_EQ(Value::number(3.25, 8, 2).toText(), "    3.25");
    EXPECT_EQ(Value::number(1234567, 8, 2).toText(), "********");
}

TEST(ValueToText, OtherTypes) {
    EXPECT_EQ(Value(dateFromYmd(2008, 5, 19)).toText(), "19/05/08");
    EXPECT_EQ(Value(false).toText(), "F");
    EXPECT_EQ(Value().toText(), "NIL");
    EXPECT_EQ(Value(Array{Value(true)}).toText(), "{ Array }");
}

}  // namespace
}  // namespace wv
