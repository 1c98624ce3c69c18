// The pictures of the entry fields, without a screen: what typing does to the buffer and what
// value the buffer stands for.
#include <gtest/gtest.h>

#include "runtime/date.h"
#include "ui/geteditor.h"

namespace wv {
namespace {

GetEditor typed(const Value& v, const char* picture, const std::string& keys) {
    GetEditor e(v, picture);
    e.focusIn();
    for (char c : keys) e.type(c);
    return e;
}

TEST(GetEditorText, UpperCasePictures) {
    // "@!" upper-cases every letter typed, accented ones too (code page 1252).
    GetEditor e = typed(Value("      "), "@!", "ab\xF1" "c d");
    EXPECT_EQ(e.buffer(), "AB\xD1" "C D");
    EXPECT_EQ(e.value().text(), "AB\xD1" "C D");
    EXPECT_FALSE(e.type('x')) << "a full field keeps what it has";
    EXPECT_EQ(e.cursor(), 6);

    e = typed(Value(std::string(10, ' ')), "!!!!!!!!!!", "a1b-");
    EXPECT_EQ(e.buffer(), "A1B-      ");
    EXPECT_EQ(e.width(), 10);
}

TEST(GetEditorText, DigitTemplatesTakeDigitsOnly) {
    GetEditor e(Value("    "), "9999");
    e.focusIn();
    EXPECT_FALSE(e.type('a'));
    EXPECT_FALSE(e.type('-'));
    EXPECT_TRUE(e.type('1'));
    EXPECT_TRUE(e.type('2'));
    EXPECT_EQ(e.buffer(), "12  ");
    EXPECT_TRUE(e.changed());
}

TEST(GetEditorText, FirstKeyClearsWithK) {
    EXPECT_EQ(typed(Value("HOLA  "), "@K", "x").buffer(), "x     ");
    EXPECT_EQ(typed(Value("HOLA  "), "", "x").buffer(), "xOLA  ");
    EXPECT_EQ(typed(Value("hola  "), "@!K", "x").buffer(), "X     ");

    // A cursor key first: the field is edited, not cleared.
    GetEditor e(Value("HOLA  "), "@K");
    e.focusIn();
    e.right();
    e.left();
    e.type('x');
    EXPECT_EQ(e.buffer(), "xOLA  ");
}

TEST(GetEditorText, DeletingAndInserting) {
    GetEditor e(Value("ABCD"), "");
    e.focusIn();
    e.right();
    e.right();
    e.backspace();  // takes out the B, the rest closes up
    EXPECT_EQ(e.buffer(), "ACD ");
    EXPECT_EQ(e.cursor(), 1);
    e.del();
    EXPECT_EQ(e.buffer(), "AD  ");
    e.end();
    EXPECT_EQ(e.cursor(), 2);

    e.home();
    e.toggleInsert();
    e.type('x');
    EXPECT_EQ(e.buffer(), "xAD ");
}

TEST(GetEditorNumber, TypedNumbersAreLaidOutByThePicture) {
    GetEditor e(Value::number(0), "999,999.99");
    EXPECT_EQ(e.buffer(), "      0.00");
    EXPECT_TRUE(e.rightAligned());
    e.focusIn();
    for (char c : std::string("1234.5")) EXPECT_TRUE(e.type(c)) << c;
    EXPECT_EQ(e.buffer(), "  1,234.50");
    EXPECT_DOUBLE_EQ(e.value().num(), 1234.5);
    EXPECT_EQ(e.cursor(), 9) << "after the decimal typed";
    EXPECT_TRUE(e.type('7'));
    EXPECT_FALSE(e.type('1')) << "no third decimal";

    // The whole part cannot outgrow the template.
    e = typed(Value::number(0), "999,999.99", "1234567");
    EXPECT_EQ(e.buffer(), "123,456.00");

    e = typed(Value::number(0), "999,999.99", "-5");
    EXPECT_EQ(e.buffer(), "     -5.00");
    EXPECT_DOUBLE_EQ(e.value().num(), -5);

    GetEditor big(Value::number(1234567.891), "9,999,999.99");
    EXPECT_EQ(big.buffer(), "1,234,567.89");
}

TEST(GetEditorNumber, FirstKeyReplacesTheNumberAndBackspaceTakesDigitsBack) {
    GetEditor e(Value::number(1234.5), "999,999.99");
    e.focusIn();
    e.backspace();  // edits the number shown: its last digit goes
    EXPECT_EQ(e.buffer(), "  1,234.00");
    e.backspace();
    e.backspace();
    EXPECT_EQ(e.buffer(), "    123.00");

    e = typed(Value::number(1234.5), "999,999.99", "8");
    EXPECT_EQ(e.buffer(), "      8.00");
}

TEST(GetEditorNumber, PercentsAndSmallTemplates) {
    GetEditor e = typed(Value::number(0), "99%", "15");
    EXPECT_EQ(e.buffer(), "15%");
    EXPECT_FALSE(e.type('1'));
    EXPECT_DOUBLE_EQ(e.value().num(), 15);

    EXPECT_EQ(GetEditor(Value::number(16), "999%").buffer(), " 16%");
    EXPECT_EQ(typed(Value::number(0), "99.99", "5.25").buffer(), " 5.25");
    EXPECT_EQ(typed(Value::number(0), "999", "12").buffer(), " 12");
    EXPECT_EQ(typed(Value::number(0), "9999", "0007").buffer(), "   7");
    // Without a picture, the number's own width and decimals.
    EXPECT_EQ(GetEditor(Value::number(12.5, 8, 2), "").buffer(), "   12.50");
}

TEST(GetEditorDate, ImpossibleDatesAreNoDates) {
    GetEditor e(Value(Date{}), "@D");
    EXPECT_EQ(e.buffer(), "  /  /  ");
    EXPECT_FALSE(e.badDate()) << "a blank date is a date";
    e.focusIn();
    for (char c : std::string("31")) e.type(c);
    EXPECT_EQ(e.cursor(), 3) << "the separator is skipped";
    EXPECT_FALSE(e.type('/'));
    for (char c : std::string("0208")) e.type(c);
    EXPECT_EQ(e.buffer(), "31/02/08");
    EXPECT_TRUE(e.badDate());
    EXPECT_TRUE(e.value().date().empty());

    e = typed(Value(Date{}), "@D", "290208");
    EXPECT_FALSE(e.badDate());
    EXPECT_EQ(e.value().date(), dateFromYmd(2008, 2, 29));

    GetEditor shown(Value(dateFromYmd(1999, 12, 31)), "@D");
    EXPECT_EQ(shown.buffer(), "31/12/99");
}

}  // namespace
}  // namespace wv
