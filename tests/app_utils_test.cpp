#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <set>

#include "app/utils.h"
#include "data/application.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "runtime/settings.h"

namespace wv {
namespace {

using Lines = std::vector<std::string>;

TEST(Grappa, ShortTextsAndWidthsOfNothing) {
    EXPECT_EQ(grappa(), Lines{""});
    EXPECT_EQ(grappa("abc", 0), Lines{""});
    EXPECT_EQ(grappa("abc", -3), Lines{""});
    EXPECT_EQ(grappa("abc", 10), Lines{"abc"});
    EXPECT_EQ(grappa("abcde", 5), Lines{"abcde"});
    // Leading blanks, TABs, CRs and LFs go before anything is measured.
    EXPECT_EQ(grappa(" \t\r\n abcdef", 6), Lines{"abcdef"});
    EXPECT_EQ(grappa("\r\nabcdefgh", 5), (Lines{"abcde", "fgh  "}));
    EXPECT_EQ(grappa("", 5), Lines{""});
    EXPECT_EQ(grappa("   ", 5), Lines{""});
}

TEST(Grappa, BreaksAfterTheLastBlankBeforeTheWidth) {
    // Blanks at positions 8 and 17 of 25 characters.
    EXPECT_EQ(grappa("abcdefg hijklmno pqrstuvw", 10),
              (Lines{"abcdefg   ", "hijklmno  ", "pqrstuvw  "}));
    EXPECT_EQ(grappa("uno dos tres cuatro", 8), (Lines{"uno dos ", "tres    ", "cuatro  "}));
    // A lone CR before the width: the line ends before it.
    EXPECT_EQ(grappa("ab\rcdefgh", 5), (Lines{"ab   ", "cdefg", "h    "}));
}

TEST(Grappa, BlankOrCrAtTheWidth) {
    // Blank at the width: the line keeps it.
    EXPECT_EQ(grappa("abcd efghij", 5), (Lines{"abcd ", "efghi", "j    "}));
    // Blank just after the width: a full line, the blank dropped.
    EXPECT_EQ(grappa("abcde fghij", 5), (Lines{"abcde", "fghij"}));
    EXPECT_EQ(grappa("abcde     fghij", 5), (Lines{"abcde", "fghij"}));
    // CR at the width: the line ends before it.
    EXPECT_EQ(grappa("abcd\rxyzuvw", 5), (Lines{"abcd ", "xyzuv", "w    "}));
    EXPECT_EQ(grappa("abcd\r\nxyzuvw", 5), (Lines{"abcd ", "xyzuv", "w    "}));
    // CR just after the width.
    EXPECT_EQ(grappa("abcde\r\nfgh", 5), (Lines{"abcde", "fgh  "}));
}

TEST(Grappa, WordsLongerThanTheWidthAreCut) {
    EXPECT_EQ(grappa("abcdefghijkl", 5), (Lines{"abcde", "fghij", "kl   "}));
    EXPECT_EQ(grappa("abc", 1), (Lines{"a", "b", "c"}));
    EXPECT_EQ(grappa("a b", 1), (Lines{"a", "b"}));
}

TEST(Grappa, LineBreaks) {
    EXPECT_EQ(grappa("abc\r\ndefghijkl", 5), (Lines{"abc  ", "defgh", "ijkl "}));
    // Two pairs in a row leave a line of blanks between.
    EXPECT_EQ(grappa("ab\r\n\r\ncdefgh", 5), (Lines{"ab   ", "     ", "cdefg", "h    "}));
    // Several breaks inside one width.
    EXPECT_EQ(grappa("a\r\nb\r\ncdefghi", 6), (Lines{"a     ", "b     ", "cdefgh", "i     "}));
    // What follows a break is not trimmed: its leading blanks become part of the next line.
    EXPECT_EQ(grappa("ab\r\n  cdefghij", 5), (Lines{"ab   ", "     ", "cdefg", "hij  "}));
    // A break closing the text leaves a last line of blanks.
    EXPECT_EQ(grappa("abcdefg\r\n", 5), (Lines{"abcde", "fg   ", "     "}));
    // A pair that straddles the width is not a break inside it.
    EXPECT_EQ(grappa("abcd\r\nefghij", 5), (Lines{"abcd ", "efghi", "j    "}));
}

TEST(Grappa, BreakCharacterOpeningTheRest) {
    // A blank left first after a line break: it goes and the word is cut at the width.
    EXPECT_EQ(grappa("ab\r\n cdefghij", 5), (Lines{"ab   ", "cdefg", "hij  "}));
    // A lone CR there stands for an empty line; the letter after it is kept.
    EXPECT_EQ(grappa("ab\r\n\rcdefgh", 5), (Lines{"ab   ", "     ", "cdefg", "h    "}));
}

TEST(Grappa, NothingIsLost) {
    const std::string text =
        "Habitacion doble con vista al mar, desayuno incluido;\r\nsalida a las 12:00 hrs.\r\n\r\n"
        "Observaciones: supercalifragilisticoespialidoso y otras palabras largas";
    for (int width = 1; width <= 30; ++width) {
        std::string kept;
        for (const auto& line : grappa(text, width)) {
            ASSERT_EQ(line.size(), size_t(width)) << width;
            for (char c : line)
                if (c != ' ') kept += c;
        }
        std::string expected;
        for (char c : text)
            if (c != ' ' && c != '\r' && c != '\n') expected += c;
        EXPECT_EQ(kept, expected) << width;
    }
}

class Operators : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = oApp().cEmpresa;
        oApp().cEmpresa = "Hotel";
        settings_ = settings();
    }
    void TearDown() override {
        oApp().cEmpresa = saved_;
        settings() = settings_;
    }
    ScriptedOperator op_;
    ScriptedOperator::Scope scope_{op_};
    std::string saved_;
    Settings settings_;
};

TEST_F(Operators, XToCConvertsTextNumbersAndDates) {
    EXPECT_EQ(xToC(Value(" abc ")), " abc ");
    EXPECT_EQ(xToC(Value::number(42)), "        42");
    EXPECT_EQ(xToC(Value::number(-3)), "        -3");
    EXPECT_EQ(xToC(Value::number(12.5, 8, 2)), "   12.50");
    settings().century = false;
    EXPECT_EQ(xToC(Value(dateFromYmd(2008, 5, 5))), "05/05/08");
    EXPECT_EQ(xToC(Value(Date{})), "  /  /  ");
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(Operators, XToCRefusesOtherTypes) {
    EXPECT_EQ(xToC(Value(true)), "");
    EXPECT_EQ(xToC(Value()), "");
    EXPECT_EQ(xToC(Value(Array{Value("a")})), "");
    ASSERT_EQ(op_.shown.size(), 3u);
    EXPECT_EQ(op_.shown[0].what, "info");
    EXPECT_EQ(op_.shown[0].text, "Tipo no considerado [L]");
    EXPECT_EQ(op_.shown[0].title, "Hotel");
    EXPECT_EQ(op_.shown[1].text, "Tipo no considerado [U]");
    EXPECT_EQ(op_.shown[2].text, "Tipo no considerado [A]");
}

TEST(Aleatorio, StaysWithinOneToTheBound) {
    for (int i = 0; i < 100; ++i) EXPECT_EQ(aleatorio(1), 1);
    std::set<int64_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const int64_t n = aleatorio(6);
        ASSERT_GE(n, 1);
        ASSERT_LE(n, 6);
        seen.insert(n);
    }
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_EQ(aleatorio(0), 0);
    EXPECT_EQ(aleatorio(-5), 0);
}

TEST(IpLocal, DottedAddressOrNothing) {
    const std::string ip = fIpLocal();
    if (ip.empty()) GTEST_SKIP() << "this machine has no IPv4 address";
    in_addr a{};
    EXPECT_EQ(inet_pton(AF_INET, ip.c_str(), &a), 1) << ip;
    EXPECT_EQ(fIpLocal(), ip);
}

}  // namespace
}  // namespace wv
