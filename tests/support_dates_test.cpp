#include <gtest/gtest.h>

#include "data/application.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "support/dates.h"

namespace wv {
namespace {

std::string cell(int day) {
    std::string s = std::to_string(day);
    return std::string(4 - s.size(), ' ') + s;
}

TEST(Dates, FechaCompleta) {
    EXPECT_EQ(fechaCompleta(Date{}), "Todas las fechas");
    EXPECT_EQ(fechaCompleta(dateFromYmd(2009, 1, 1)), "1 de Enero del 2009");
    EXPECT_EQ(fechaCompleta(dateFromYmd(2008, 5, 5)), "5 de Mayo del 2008");
    EXPECT_EQ(fechaCompleta(dateFromYmd(2010, 9, 15)), "15 de Septiembre del 2010");
    EXPECT_EQ(fechaCompleta(), fechaCompleta(today()));
}

TEST(Dates, GridOfAMonthStartingOnSunday) {
    auto weeks = aSemanas(2, 2009);
    ASSERT_EQ(weeks.size(), 5u);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(weeks[0][c], "") << c;
    EXPECT_EQ(weeks[0][6], "   1");
    EXPECT_EQ(weeks[1][0], "   2");
    EXPECT_EQ(weeks[1][6], "   8");
    EXPECT_EQ(weeks[2][1], "  10");
    EXPECT_EQ(weeks[4][5], "  28");
    EXPECT_EQ(weeks[4][6], "");
}

TEST(Dates, GridsTakeFourToSixWeeks) {
    auto march = aSemanas(3, 2008);  // starts on a Saturday, 31 days
    ASSERT_EQ(march.size(), 6u);
    EXPECT_EQ(march[0][5], "   1");
    EXPECT_EQ(march[5][0], "  31");
    for (int c = 1; c < 7; ++c) EXPECT_EQ(march[5][c], "");
    // February 2010 starts on a Monday and fills exactly four weeks.
    auto feb = aSemanas(2, 2010);
    ASSERT_EQ(feb.size(), 4u);
    EXPECT_EQ(feb[0][0], "   1");
    EXPECT_EQ(feb[3][6], "  28");
    // Every day of a leap February appears once, in order, Monday-based.
    auto leap = aSemanas(2, 2008);
    int expected = 1;
    for (size_t w = 0; w < leap.size(); ++w)
        for (int c = 0; c < 7; ++c) {
            if (leap[w][c].empty()) continue;
            EXPECT_EQ(leap[w][c], cell(expected));
            EXPECT_EQ(columnaLunes(dateFromYmd(2008, 2, expected)), c + 1);
            ++expected;
        }
    EXPECT_EQ(expected, 30);
}

TEST(Dates, GridOfAnImpossibleMonthIsOneEmptyWeek) {
    for (auto [m, y] : {std::pair{13, 2009}, {0, 2009}, {5, 0}, {5, 10000}}) {
        auto weeks = aSemanas(m, y);
        ASSERT_EQ(weeks.size(), 1u);
        for (const auto& c : weeks[0]) EXPECT_EQ(c, "");
    }
    // December of the last year a date can hold ends without running off the calendar.
    EXPECT_EQ(aSemanas(12, 9999).back()[4], "  31");
}

TEST(Dates, GetDateFallsBackToTheLastDayOfTheMonth) {
    EXPECT_EQ(getDate(29, 2, 2009), dateFromYmd(2009, 2, 28));
    EXPECT_EQ(getDate(29, 2, 2008), dateFromYmd(2008, 2, 29));
    EXPECT_EQ(getDate(30, 2, 2008), dateFromYmd(2008, 2, 29));
    EXPECT_EQ(getDate(31, 4, 2009), dateFromYmd(2009, 4, 30));
    EXPECT_EQ(getDate(15, 4, 2009), dateFromYmd(2009, 4, 15));
    EXPECT_EQ(getDate(0, 4, 2009), dateFromYmd(2009, 4, 1));
    EXPECT_EQ(getDate(-7, 4, 2009), dateFromYmd(2009, 4, 1));
    EXPECT_EQ(getDate(2147483647, 1, 2009), dateFromYmd(2009, 1, 31));
}

TEST(Dates, GetDateOfAnImpossibleMonthIsEmpty) {
    EXPECT_TRUE(getDate(10, 13, 2009).empty());
    EXPECT_TRUE(getDate(10, 0, 2009).empty());
    EXPECT_TRUE(getDate(10, 1, 0).empty());
    EXPECT_TRUE(getDate(10, 1, 10000).empty());
}

class ValidaVacio : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = oApp().cEmpresa;
        oApp().cEmpresa = "Hotel";
    }
    void TearDown() override { oApp().cEmpresa = saved_; }
    ScriptedOperator op_;
    ScriptedOperator::Scope scope_{op_};
    std::string saved_;
};

TEST_F(ValidaVacio, OnlyEmptyValuesStop) {
    EXPECT_TRUE(fValidaVacio(Value(" x")));
    EXPECT_TRUE(fValidaVacio(Value::number(-1)));
    EXPECT_TRUE(fValidaVacio(Value(true)));
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_FALSE(fValidaVacio(Value("    ")));
    EXPECT_FALSE(fValidaVacio(Value::number(0), "Falta la cantidad"));
    EXPECT_FALSE(fValidaVacio(Value(Date{})));
    EXPECT_FALSE(fValidaVacio(Value(false)));
    ASSERT_EQ(op_.shown.size(), 4u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, "Campo Vacio, Introduzca valor...");
    EXPECT_EQ(op_.shown[0].title, "Hotel");
    EXPECT_EQ(op_.shown[1].text, "Falta la cantidad");
    EXPECT_EQ(op_.shown[3].what, "stop");
}

}  // namespace
}  // namespace wv
