// The browse's rules without a screen: array, custom and table sources, moving and paging, the
// rows a paint visits (a screenful, whatever the size of the source), the keys with the
// incremental search buffer, and the rows of the report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/codepage.h"
#include "ui/browsemodel.h"
#include "ui_browse_fixture.h"

namespace wv {
namespace {

using test::CountingSource;

// A browse without a screen that counts what it would tell the screen.
class Probe : public BrowseModel {
  public:
    int changes = 0;
    int redraws = 0;
    // The first cell of every row a visit showed.
    std::vector<long> visit() {
        std::vector<long> firsts;
        visitRows([&](int row, const Array& cells) {
            if (row == 1) firsts.clear();
            firsts.push_back(cells.empty() ? -1 : long(cells[0].num()));
        });
        return firsts;
    }

  protected:
    void changed() override { ++changes; }
    void redraw() override { ++redraws; }
};

std::vector<long> range(long from, long to) {
    std::vector<long> v;
    for (long i = from; i <= to; ++i) v.push_back(i);
    return v;
}

Array weeks(int n) {
    Array a;
    for (int i = 1; i <= n; ++i) a.push_back(Value(Array{Value::number(i), Value("semana")}));
    return a;
}

auto printInto(std::vector<std::string>& out) {
    return [&out](const std::vector<std::string>& cells) {
        out.push_back(cells.at(0));
        return true;
    };
}

// ---------------------------------------------------------------------------------------------
// Array mode

TEST(BrowseModelArray, SkipsStayWithinTheElementsAndTheArrayIsShared) {
    Probe b;
    Value data(weeks(4));
    b.setArray(data);
    EXPECT_EQ(b.cAlias, "ARRAY");
    b.nAt = 3;
    EXPECT_EQ(b.bSkip(5), 1) << "from element 3 of 4, five down is one row";
    EXPECT_EQ(b.nAt, 4);
    EXPECT_EQ(b.bSkip(-10), -3);
    EXPECT_EQ(b.nAt, 1);
    b.bGoBottom();
    EXPECT_EQ(b.bLine()[0].num(), 4);

    // Through the browse: the cursor follows, the change hook runs once per move.
    b.start();
    EXPECT_EQ(b.changes, 1) << "once at the start";
    b.nAt = 3;
    b.refresh();
    b.nRowPos = 3;
    b.skip(5);
    EXPECT_EQ(b.nAt, 4);
    EXPECT_EQ(b.nRowPos, 4);
    EXPECT_EQ(b.logicPos(), 4);
    b.skip(1);
    EXPECT_EQ(b.changes, 2) << "no move, no change";

    data.array().push_back(Value(Array{Value::number(5), Value("nueva")}));
    EXPECT_EQ(b.nLen, 4) << "the count is kept until the next refresh";
    b.refresh();
    EXPECT_EQ(b.nLen, 5);
    b.goTop();
    EXPECT_EQ(b.visit(), range(1, 5));

    b.setArray(Array{Value("uno")});
    EXPECT_EQ(b.bLine(), (Array{Value("uno")})) << "a plain element is a row of one cell";
    b.setArray(Array{});
    b.start();
    EXPECT_EQ(b.nLen, 0);
    EXPECT_EQ(b.bSkip(1), 0);
    EXPECT_TRUE(b.visit().empty());
}

// ---------------------------------------------------------------------------------------------
// Custom mode: the hooks alone, whatever the size of the source

class BrowseModelLarge : public ::testing::Test {
  protected:
    static constexpr long kRows = 1000000;
    static constexpr int kScreen = 20;
    void SetUp() override {
        src.bind(b);
        b.setRowCount(kScreen);
        b.start();
        src.reset();
    }
    CountingSource src{kRows};
    Probe b;
};

TEST_F(BrowseModelLarge, APaintReadsAScreenfulAndAPageIsOneSkip) {
    EXPECT_EQ(b.visit(), range(1, kScreen));
    EXPECT_EQ(src.lines, kScreen);
    EXPECT_LE(src.skips, kScreen + 1);
    EXPECT_EQ(src.at, 1) << "the source is left on the current row";

    src.reset();
    for (int i = 0; i < 1000; ++i) b.pageDown();
    EXPECT_EQ(src.skips, 1000);
    EXPECT_EQ(src.lines, 0);
    EXPECT_EQ(b.logicPos(), 1 + 1000L * kScreen);
    src.reset();
    EXPECT_EQ(b.visit(), range(src.at, src.at + kScreen - 1));
    EXPECT_LE(src.skips, kScreen + 1);
    EXPECT_LE(src.stepped, 2L * kScreen);
}

TEST_F(BrowseModelLarge, TheThumbIsOneSkipFromTheNearestPlace) {
    b.nRowPos = 5;
    b.goToPos(654321);
    EXPECT_EQ(src.at, 654321);
    EXPECT_EQ(src.skips + src.tops + src.bottoms, 2) << "from the bottom";
    EXPECT_EQ(b.logicPos(), 654321);
    EXPECT_EQ(b.changes, 2);
    src.reset();
    EXPECT_EQ(b.visit(), range(654317, 654317 + kScreen - 1)) << "the cursor keeps its row";

    src.reset();
    b.goToPos(654300);
    EXPECT_EQ(src.stepped, 21) << "from the current row";
    b.goToPos(kRows + 50);
    EXPECT_EQ(src.at, kRows);
    EXPECT_EQ(src.bottoms, 1);
    EXPECT_EQ(b.nRowPos, kScreen);

    // A source that can go to a position is asked to.
    b.bKeyGoTo = [&](long n) { src.at = n; };
    src.reset();
    b.goToPos(500000);
    EXPECT_EQ(src.at, 500000);
    EXPECT_EQ(src.skips, 0);
    EXPECT_EQ(b.logicPos(), 500000);
}

TEST_F(BrowseModelLarge, AtTheEndTheRowsComeDownToFillTheScreen) {
    b.goBottom();
    b.nRowPos = 3;  // as if the screen had just grown
    src.reset();
    EXPECT_EQ(b.visit(), range(kRows - kScreen + 1, kRows));
    EXPECT_EQ(b.nRowPos, kScreen);
    EXPECT_EQ(src.at, kRows);
    EXPECT_LE(src.lines, 3 + kScreen) << "the few rows first shown, then the screen again";

    // Paging down on the last page puts the cursor on the last row; up, on the first.
    b.goToPos(kRows - 10);
    b.nRowPos = 5;
    b.pageDown();
    EXPECT_EQ(src.at, kRows);
    EXPECT_EQ(b.nRowPos, 15);
    b.goToPos(8);
    b.nRowPos = 6;
    b.pageUp();
    EXPECT_EQ(src.at, 1);
    EXPECT_EQ(b.nRowPos, 1);
}

TEST(BrowseModelCustom, ShortAndEmptySourcesAndDoubleClicks) {
    CountingSource src(3);
    Probe b;
    src.bind(b);
    std::vector<std::vector<int>> dbl;
    b.bLDblClick = [&](int r, int c, int f) { dbl.push_back({r, c, f}); };
    b.start();
    b.goBottom();
    EXPECT_EQ(b.nRowPos, 3);
    b.nRowPos = 9;
    EXPECT_EQ(b.visit(), range(1, 3));
    EXPECT_EQ(b.nRowPos, 3) << "the cursor row is brought within the rows there are";
    b.clickRow(5);
    EXPECT_EQ(src.at, 3) << "below the rows";

    EXPECT_FALSE(b.dblClick(1, 90, 40, 0)) << "another row is only selected";
    EXPECT_TRUE(dbl.empty());
    EXPECT_EQ(src.at, 1);
    EXPECT_TRUE(b.dblClick(1, 90, 40, keyflag::kShift));
    EXPECT_EQ(dbl, (std::vector<std::vector<int>>{{90, 40, keyflag::kShift}}));

    // No rows: the source is never asked for one, double clicks do nothing.
    src.n = 0;
    b.refresh();
    EXPECT_EQ(b.nLen, 0);
    src.reset();
    EXPECT_TRUE(b.visit().empty());
    EXPECT_EQ(src.lines, 0);
    EXPECT_FALSE(b.dblClick(1, 10, 10, 0));
    EXPECT_EQ(dbl.size(), 1u);
    b.keyDown(vk::kNext);
    b.goToPos(5);
    EXPECT_EQ(b.logicPos(), 0);
}

// ---------------------------------------------------------------------------------------------
// Keys and the search buffer

class BrowseModelKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        src.bind(b);
        b.setRowCount(10);
        b.setColCount(3);
        b.start();
        b.bSeek = [this] {
            sought.push_back(b.cBuffer);
            return found;
        };
        b.bUpdateBuffer = [this] { shown.push_back(b.cBuffer); };
    }
    void type(const std::string& s) {
        for (char c : s)
            if (!b.keyDown(int(static_cast<unsigned char>(c)))) b.keyChar(c);
    }
    CountingSource src{100};
    Probe b;
    std::vector<std::string> sought, shown;
    bool found = false;
};

TEST_F(BrowseModelKeys, TypingSeeksEachLongerTextUpToTheLimit) {
    type("AB");
    EXPECT_EQ(sought, (std::vector<std::string>{"A", "AB"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"A", "AB"}));

    // A seek that moved: the row found goes to the last row of the screen, the count is taken
    // again.
    found = true;
    src.reset();
    type("C");
    EXPECT_EQ(b.nRowPos, 10);
    EXPECT_EQ(src.lens, 1);

    // Backspace drops the last character and seeks again.
    EXPECT_TRUE(b.keyDown(vk::kBack));
    EXPECT_EQ(sought.back(), "AB");
    EXPECT_EQ(shown.back(), "AB");

    b.nBuffer = 3;
    sought.clear();
    shown.clear();
    type("XYZ");
    EXPECT_EQ(b.cBuffer, "ABX");
    EXPECT_EQ(sought, (std::vector<std::string>{"ABX"}));
    EXPECT_EQ(shown.size(), 3u) << "the text is shown after every key";

    // Keys typed while a search runs are ignored.
    b.keyDown(vk::kHome);
    b.bSeek = [this] {
        sought.push_back(b.cBuffer);
        b.keyChar('Z');
        b.keyDown(vk::kBack);
        return false;
    };
    sought.clear();
    type("Q");
    EXPECT_EQ(b.cBuffer, "Q");
    EXPECT_EQ(sought, (std::vector<std::string>{"Q"}));
}

TEST_F(BrowseModelKeys, NavigationAndOtherKeysEmptyTheBuffer) {
    for (int key :
         {vk::kDown, vk::kUp, vk::kLeft, vk::kRight, vk::kHome, vk::kEnd, vk::kPrior, vk::kNext}) {
        type("Q");
        size_t told = shown.size();
        EXPECT_TRUE(b.keyDown(key)) << key;
        EXPECT_EQ(b.cBuffer, "") << key;
        EXPECT_EQ(shown.size(), told + 1) << key;
        EXPECT_EQ(shown.back(), "") << "the search text shown is emptied";
    }

    // Enter is no key of the grid's: it empties the buffer, tells, and goes on to the hook.
    std::vector<int> chars;
    b.bKeyChar = [&](int k, int) {
        chars.push_back(k);
        return k == vk::kReturn;
    };
    type("Z");
    EXPECT_FALSE(b.keyDown(vk::kReturn));
    EXPECT_EQ(b.cBuffer, "");
    EXPECT_EQ(shown.back(), "");
    EXPECT_TRUE(b.keyChar(vk::kReturn));
    EXPECT_FALSE(b.keyChar(vk::kEscape));
    type("M");
    EXPECT_EQ(chars, (std::vector<int>{vk::kReturn, vk::kEscape})) << "typing is the search's";

    // Without a search, characters go to the hook and Backspace is any other key.
    b.bSeek = nullptr;
    type("ab");
    EXPECT_EQ(chars.back(), 'b');
    EXPECT_FALSE(b.keyDown(vk::kBack));
}

TEST_F(BrowseModelKeys, HookFirstThenPagesAndColumns) {
    std::vector<int> keys;
    b.bKeyDown = [&](int k, int) {
        keys.push_back(k);
        return k == vk::kDown;
    };
    EXPECT_TRUE(b.keyDown(vk::kDown));
    EXPECT_EQ(src.at, 1) << "taken by the hook";
    b.keyDown(vk::kNext);
    EXPECT_EQ(keys, (std::vector<int>{vk::kDown, vk::kNext}));
    EXPECT_EQ(src.at, 11);
    b.keyDown(vk::kNext, keyflag::kCtrl);
    EXPECT_EQ(src.at, 100);
    b.keyChar('R' - '@');  // Ctrl+R
    EXPECT_EQ(src.at, 90);
    b.keyDown(vk::kPrior, keyflag::kCtrl);
    EXPECT_EQ(src.at, 1);
    b.keyChar('C' - '@');  // Ctrl+C
    EXPECT_EQ(src.at, 11);

    int redraws = b.redraws;
    for (int i = 0; i < 3; ++i) b.keyDown(vk::kRight);
    EXPECT_EQ(b.nColAct, 3);
    EXPECT_EQ(b.redraws, redraws + 2) << "redrawn only when the column changed";
    b.keyDown(vk::kLeft);
    EXPECT_EQ(b.nColAct, 2);
}

// ---------------------------------------------------------------------------------------------
// Table mode

class BrowseModelTable : public ::testing::Test {
  protected:
    BrowseModelTable()
        : cat(dir, "CLIENTE",
              {{"000004", "BENITEZ"},
               {"000001", "ABARCA"},
               {"000003", "ACOSTA"},
               {"000002", "ABEL"},
               {"000006", "ZAMORA"},
               {"000005", "MORALES"}}) {}
    std::string name() const { return allTrim(cat.area()->get("NOMBRE").text()); }
    test::TempDir dir;
    test::Catalogue cat;
};

TEST_F(BrowseModelTable, RowsInTheOrderOfTheControllingTag) {
    Probe b;
    EXPECT_EQ(b.cAlias, "CLIENTE") << "the alias current when it was made";
    b.setRowCount(4);
    b.start();
    EXPECT_EQ(b.nLen, 6);
    std::vector<std::string> ids;
    b.visitRows([&](int, const Array& cells) { ids.push_back(cells.at(0).text()); });
    EXPECT_EQ(ids, (std::vector<std::string>{"000001", "000002", "000003", "000004"}));

    b.goBottom();
    b.goDown();
    EXPECT_EQ(cat.id(), "000006") << "never onto the end of file";
    EXPECT_FALSE(cat.area()->eof());
    b.skip(-2);
    EXPECT_EQ(cat.id(), "000004");
    b.goToPos(2);
    EXPECT_EQ(cat.id(), "000002");
    b.refresh();
    EXPECT_EQ(b.logicPos(), 2) << "the key number";

    cat.area()->setOrder("NOMBRE");
    b.goToPos(5);
    EXPECT_EQ(name(), "MORALES");
    b.refresh();
    EXPECT_EQ(b.logicPos(), 5);
}

TEST_F(BrowseModelTable, DbfSeekAndItsArguments) {
    cat.area()->setOrder("NOMBRE");
    Probe b;
    b.start();
    int notFound = 0;
    EXPECT_TRUE(b.dbfSeek({.text = "aco"})) << "upper-cased";
    EXPECT_EQ(name(), "ACOSTA");
    EXPECT_FALSE(b.dbfSeek({.text = "AC"})) << "the same record: no move";
    EXPECT_FALSE(b.dbfSeek({.notFound = [&] { return ++notFound; }, .text = "ZZ"}));
    EXPECT_EQ(name(), "ACOSTA") << "off the end: back on the record";
    EXPECT_EQ(notFound, 1);
    EXPECT_FALSE(b.dbfSeek({.upper = false, .text = "z"})) << "lower case is past the end";
    EXPECT_TRUE(b.dbfSeek({.length = 2, .text = "MOXXXX"}));
    EXPECT_EQ(name(), "MORALES");
    b.cBuffer = "ab";
    EXPECT_TRUE(b.dbfSeek()) << "the buffer by default";
    EXPECT_EQ(name(), "ABARCA");
    int changes = b.changes;
    EXPECT_FALSE(b.dbfSeek({.text = ""})) << "an empty text is not sought";
    EXPECT_EQ(b.changes, changes + 1) << "the change hook runs all the same";
    EXPECT_EQ(notFound, 1);
}

TEST_F(BrowseModelTable, TheReportWalksEveryRowAndComesBack) {
    Probe b;
    b.bLine = [&] { return Array{cat.area()->get("ID"), Value::number(7)}; };
    b.start();
    b.skip(2);
    const uint32_t record = cat.area()->recNo();
    std::vector<std::string> printed;
    EXPECT_EQ(b.reportRows([&](const std::vector<std::string>& cells) {
        EXPECT_EQ(cells.at(1), "   ") << "a cell that is no text prints as three blanks";
        printed.push_back(cells[0]);
        return printed.size() < 10;
    }),
              6);
    EXPECT_EQ(printed, (std::vector<std::string>{"000001", "000002", "000003", "000004", "000005",
                                                 "000006"}));
    EXPECT_EQ(cat.area()->recNo(), record) << "back on its record";
    EXPECT_EQ(b.logicPos(), 3);
    printed.clear();
    EXPECT_EQ(b.reportRows([&](const std::vector<std::string>&) { return false; }), 1)
        << "the printer may stop it";

    // Other sources: as many rows as they count, and back on their row.
    Probe a;
    a.setArray(weeks(4));
    a.start();
    a.skip(1);
    printed.clear();
    EXPECT_EQ(a.reportRows(printInto(printed)), 4);
    EXPECT_EQ(a.nAt, 2);
    CountingSource src(50);
    Probe c;
    src.bind(c);
    c.bLogicLen = [] { return 5L; };
    c.start();
    EXPECT_EQ(c.reportRows(printInto(printed)), 5);
    EXPECT_EQ(src.at, 1);
}

TEST(BrowseModelTableEmpty, AnEmptyTableHasNoRows) {
    test::TempDir dir;
    test::Catalogue cat(dir, "VACIO", {});
    Probe b;
    b.start();
    EXPECT_EQ(b.nLen, 0);
    EXPECT_TRUE(b.visit().empty());
    b.goDown();
    b.goToPos(3);
    EXPECT_EQ(b.bSkip(-1), 0);
    EXPECT_EQ(b.bSkip(1), 0);
    std::vector<std::string> printed;
    EXPECT_EQ(b.reportRows(printInto(printed)), 0);
}

}  // namespace
}  // namespace wv
