#include <gtest/gtest.h>

#include <array>

#include "runtime/date.h"
#include "runtime/settings.h"

namespace wv {
namespace {

// Date conversions read the process settings; every test starts from the program's own.
class DateTest : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = settings(); }
    void TearDown() override { settings() = saved_; }
    Settings saved_;
};

TEST_F(DateTest, JulianDays) {
    EXPECT_EQ(dateFromYmd(2000, 1, 1).jd, 2451545);
    EXPECT_EQ(dateFromYmd(1999, 12, 31).jd, 2451544);
    int y, m, d;
    ymdFromDate(Date{2451545}, y, m, d);
    EXPECT_EQ((y * 100 + m) * 100 + d, 20000101);
    // Every day of three centuries converts back to itself and follows the previous one.
    int prev = dateFromYmd(1899, 12, 31).jd;
    for (int yy = 1900; yy <= 2100; ++yy)
        for (int mm = 1; mm <= 12; ++mm)
            for (int dd = 1; dd <= 31; ++dd) {
                Date dt = dateFromYmd(yy, mm, dd);
                if (dt.empty()) continue;
                ASSERT_EQ(dt.jd, prev + 1) << yy << "-" << mm << "-" << dd;
                prev = dt.jd;
                ASSERT_EQ(year(dt) * 10000 + month(dt) * 100 + day(dt), yy * 10000 + mm * 100 + dd);
            }
    EXPECT_EQ(dtos(dateFromYmd(1, 1, 1)), "00010101");
    EXPECT_EQ(dtos(dateFromYmd(9999, 12, 31)), "99991231");
}

TEST_F(DateTest, ImpossibleDaysAndLeapYears) {
    EXPECT_FALSE(dateFromYmd(2000, 2, 29).empty());
    EXPECT_FALSE(dateFromYmd(2008, 2, 29).empty());
    for (auto [y, m, d] : {std::array{1900, 2, 29},
                           {2100, 2, 29},
                           {2008, 2, 30},
                           {2008, 4, 31},
                           {2008, 13, 1},
                           {2008, 0, 1},
                           {2008, 1, 0},
                           {0, 1, 1},
                           {10000, 1, 1}})
        EXPECT_TRUE(dateFromYmd(y, m, d).empty()) << y << "-" << m << "-" << d;
}

TEST_F(DateTest, EmptyDate) {
    Date e;
    EXPECT_EQ(e.jd, 0);
    EXPECT_EQ(year(e), 0);
    EXPECT_EQ(month(e), 0);
    EXPECT_EQ(day(e), 0);
    EXPECT_EQ(dow(e), 0);
    EXPECT_EQ(dtos(e), "        ");
    EXPECT_EQ(dtoc(e), "  /  /  ");
}

TEST_F(DateTest, DayOfWeek) {
    EXPECT_EQ(dow(dateFromYmd(2000, 1, 1)), 7);   // Saturday
    EXPECT_EQ(dow(dateFromYmd(2008, 5, 19)), 2);  // Monday
    EXPECT_EQ(dow(dateFromYmd(1960, 1, 3)), 1);   // Sunday
}

TEST_F(DateTest, Dtos) {
    Date d = dateFromYmd(2008, 5, 19);
    EXPECT_EQ(dtos(d), "20080519");
    EXPECT_EQ(stod("20080519"), d);
    EXPECT_EQ(stod("20080519xyz"), d);
    for (const char* s : {"        ", "", "2008051", "2008-5-1", "20080231", "00000000"})
        EXPECT_TRUE(stod(s).empty()) << s;
}

TEST_F(DateTest, CtodWithEpoch1960) {
    EXPECT_EQ(ctod("01/02/60"), dateFromYmd(1960, 2, 1));
    EXPECT_EQ(ctod("01/02/59"), dateFromYmd(2059, 2, 1));
    EXPECT_EQ(ctod("31/12/99"), dateFromYmd(1999, 12, 31));
    EXPECT_EQ(ctod("01/01/00"), dateFromYmd(2000, 1, 1));
    EXPECT_EQ(ctod("29/02/00"), dateFromYmd(2000, 2, 29));
    EXPECT_EQ(ctod("01/02/2008"), dateFromYmd(2008, 2, 1));
    EXPECT_EQ(ctod("1/2/8"), dateFromYmd(2008, 2, 1));
    settings().epoch = 1900;
    EXPECT_EQ(ctod("01/02/59"), dateFromYmd(1959, 2, 1));
}

TEST_F(DateTest, CtodRejects) {
    for (const char* s :
         {"31/02/08", "29/02/1900", "  /  /  ", "", "13/13/08", "00/01/08", "01/02"})
        EXPECT_TRUE(ctod(s).empty()) << s;
}

TEST_F(DateTest, DtocRoundTrips) {
    for (Date d : {dateFromYmd(1960, 1, 1), dateFromYmd(1999, 12, 31), dateFromYmd(2008, 5, 19),
                   dateFromYmd(2059, 12, 31)}) {
        EXPECT_EQ(ctod(dtoc(d)), d) << dtoc(d);
        EXPECT_EQ(wv::stod(dtos(d)), d);  // unqualified, a std::string argument finds std::stod
    }
    EXPECT_EQ(dtoc(dateFromYmd(2008, 5, 9)), "09/05/08");
    settings().century = true;
    EXPECT_EQ(dtoc(dateFromYmd(2008, 5, 9)), "09/05/2008");
    EXPECT_EQ(ctod("09/05/1908"), dateFromYmd(1908, 5, 9));
}

}  // namespace
}  // namespace wv
