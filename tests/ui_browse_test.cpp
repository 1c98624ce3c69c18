// The browse on the screen, driven through its widget: binding to a layout, the incremental
// search typed into it, the hooks of keys, clicks, header clicks and double clicks, footers and
// colours as painted, and paints that read a screenful of a large source.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <cstdlib>

#include "runtime/codepage.h"
#include "runtime/operator.h"
#include "ui/browse.h"
#include "ui/dialog.h"
#include "ui_browse_fixture.h"
#include "ui_fixture.h"

namespace wv {
namespace {

constexpr Colour rgb(int r, int g, int b) {
    return Colour(r) | Colour(g) << 8 | Colour(b) << 16;
}

QColor qcolour(Colour c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// DLG_PRUEBA_BROWSE opened without waiting (not modal), its grid (500) bound by `bind`, its
// label (101) showing the search text.
class Screen {
  public:
    Screen() : dlg("DLG_PRUEBA_BROWSE") {}
    ~Screen() {
        dlg.end();
        QApplication::processEvents();
    }

    TWBrowse& bind(std::function<Array()> line = {}, TWBrowse::Options o = {}) {
        brw = &dlg.redefine<TWBrowse>(500, std::move(line), std::move(o));
        say = &dlg.redefineSay(101, [this] { return Value(brw->cBuffer); }, {.update = true});
        return *brw;
    }
    void open() {
        dlg.lModal = false;
        dlg.activate([this] { brw->setFocus(); });
        dlg.window()->activateWindow();
        (void)QTest::qWaitForWindowActive(dlg.window(), 2000);
        QApplication::processEvents();
    }

    QWidget* grid() const { return brw->view(); }
    QWidget* viewport() const { return brw->view()->viewport(); }
    // A cell's centre on the viewport.
    QPoint centre(int row, int col) const { return brw->cellRect(row, col).center(); }
    // The picture of the grid, and a colour in it at a cell (a little in from its left edge,
    // clear of the text).
    QImage picture() const { return brw->view()->grab().toImage(); }
    QColor colourAt(const QImage& img, int row, int col) const {
        QRect r = brw->cellRect(row, col);
        QPoint p = QPoint(r.left() + 2, r.center().y()) + viewport()->pos();
        return img.pixelColor(p);
    }

    TDialog dlg;
    TWBrowse* brw = nullptr;
    TSay* say = nullptr;
};

class BrowseTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ensureApp(); }
};

// ---------------------------------------------------------------------------------------------
// A catalogue of names in name order, as the catalogue screens browse it.

class BrowseCatalogueTest : public BrowseTest {
  protected:
    BrowseCatalogueTest()
        : cat(dir, "CLIENTE",
              {{"000004", "BENITEZ"},
               {"000001", "ABARCA"},
               {"000003", "ACOSTA"},
               {"000002", "ABEL"},
               {"000006", "ZAMORA"},
               {"000005", "MORALES"}}) {
        cat.area()->setOrder("NOMBRE");
        cat.area()->goTop();
    }
    std::string name() const { return allTrim(cat.area()->get("NOMBRE").text()); }

    test::TempDir dir;
    test::Catalogue cat;
};

TEST_F(BrowseCatalogueTest, TypingSeeksAsItGoesAndBeepsPastTheEnd) {
    ScriptedOperator op;
    ScriptedOperator::Scope scope(op);
    Screen s;
    TWBrowse& brw = s.bind(
        [this] {
            return Array{cat.area()->get("ID"), cat.area()->get("NOMBRE")};
        },
        {.headers = {"codigo", "nombre"}, .colSizes = {70, 100}, .update = true});
    std::vector<std::string> sought, found;
    brw.bSeek = [&] {
        sought.push_back(brw.cBuffer);
        bool moved = brw.dbfSeek({.notFound = [] {
            msgBeep();
            return true;
        }});
        found.push_back(name());
        return moved;
    };
    brw.bUpdateBuffer = [&] { s.dlg.update(); };
    s.open();
    ASSERT_TRUE(brw.hasFocus());

    QTest::keyClicks(s.grid(), "ab");
    EXPECT_EQ(sought, (std::vector<std::string>{"a", "ab"}));
    EXPECT_EQ(found, (std::vector<std::string>{"ABARCA", "ABARCA"}));
    EXPECT_EQ(test::utf8(s.say->text()), "ab") << "the search text is shown after each key";
    EXPECT_TRUE(op.shown.empty());

    QTest::keyClicks(s.grid(), "e");
    EXPECT_EQ(name(), "ABEL");
    EXPECT_EQ(brw.nRowPos, 6) << "the row found goes to the last row with rows (six)";
    QTest::keyClick(s.grid(), Qt::Key_Backspace);
    EXPECT_EQ(brw.cBuffer, "ab");
    EXPECT_EQ(sought.back(), "ab");

    // Home empties the search; "Z" finds ZAMORA, the last name, and nothing comes from "ZZ"
    // on: the record stays, the not-found block beeps.
    QTest::keyClick(s.grid(), Qt::Key_Home);
    EXPECT_EQ(brw.cBuffer, "");
    QTest::keyClicks(s.grid(), "z");
    EXPECT_EQ(name(), "ZAMORA");
    EXPECT_TRUE(op.shown.empty());
    QTest::keyClicks(s.grid(), "z");
    EXPECT_EQ(name(), "ZAMORA");
    EXPECT_FALSE(cat.area()->eof());
    ASSERT_EQ(op.shown.size(), 1u);
    EXPECT_EQ(op.shown[0].what, "beep");
    EXPECT_EQ(test::utf8(s.say->text()), "zz");

    // An arrow key empties the search text, and moves.
    QTest::keyClick(s.grid(), Qt::Key_Up);
    EXPECT_EQ(brw.cBuffer, "");
    EXPECT_EQ(test::utf8(s.say->text()), "");
    EXPECT_EQ(name(), "MORALES");
    EXPECT_EQ(op.shown.size(), 1u);
}

TEST_F(BrowseCatalogueTest, ChangeDoubleClickAndHeaderClicks) {
    Screen s;
    std::vector<std::string> changes;
    std::vector<int> headerClicks;
    int dbl = 0;
    std::string dblName;
    TWBrowse& brw =
        s.bind({}, {
                       .headers = {"codigo", "nombre"},
                       .change = [&](TWBrowse&) { changes.push_back(name()); },
                       .ldblClick =
                           [&](int, int, int) {
                               ++dbl;
                               dblName = name();
                           },
                       .actions = {[&](TWBrowse& b, int, int) {
                                       headerClicks.push_back(1);
                                       b.goTop();
                                   },
                                   [&](TWBrowse&, int, int) { headerClicks.push_back(2); }},
                   });
    s.open();
    EXPECT_EQ(changes, (std::vector<std::string>{"ABARCA"})) << "once when the dialog starts";
    EXPECT_EQ(brw.aHeaders.size(), 2u);
    EXPECT_EQ(brw.colCount(), 2) << "every field of the table, its headers given";

    QTest::keyClick(s.grid(), Qt::Key_Down);
    QTest::keyClick(s.grid(), Qt::Key_Up);
    QTest::keyClick(s.grid(), Qt::Key_Up);  // at the top: no change
    EXPECT_EQ(changes, (std::vector<std::string>{"ABARCA", "ABEL", "ABARCA"}));

    // A click on row 3 selects it (and the column clicked).
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.centre(3, 2));
    EXPECT_EQ(name(), "ACOSTA");
    EXPECT_EQ(brw.nRowPos, 3);
    EXPECT_EQ(brw.nColAct, 2);
    EXPECT_EQ(changes.back(), "ACOSTA");

    // A double click on another row only selects it (and the column).
    QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, s.centre(5, 1));
    EXPECT_EQ(dbl, 0);
    EXPECT_EQ(name(), "MORALES");
    EXPECT_EQ(brw.nColAct, 1);
    // The operator's double click: the press selects the row, the double click acts on it.
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.centre(4, 2));
    QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, s.centre(4, 2));
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(dblName, "BENITEZ");
    // Below the rows there is nothing to double-click.
    QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, QPoint(20, s.viewport()->height() - 3));
    EXPECT_EQ(dbl, 1);

    // Header clicks: the column's action, with the browse.
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.centre(0, 2));
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.centre(0, 1));
    EXPECT_EQ(headerClicks, (std::vector<int>{2, 1}));
    EXPECT_EQ(name(), "ABARCA");
    EXPECT_EQ(brw.nRowPos, 1);
}

TEST_F(BrowseCatalogueTest, KeyHooksAndKeysPassedOn) {
    Screen s;
    std::vector<int> down, chars;
    bool accepted = false;
    TWBrowse& brw = s.bind();
    brw.bKeyDown = [&](int k, int) {
        down.push_back(k);
        return k == vk::kDelete;  // taken by the program
    };
    // As the lookup does: Enter accepts and closes, Escape closes.
    brw.bKeyChar = [&](int k, int) {
        chars.push_back(k);
        if (k == vk::kReturn) {
            accepted = true;
            s.dlg.end(1);
            return true;
        }
        return false;
    };
    brw.bSeek = [&] { return brw.dbfSeek(); };
    s.open();
    QTest::keyClick(s.grid(), Qt::Key_Delete);
    QTest::keyClick(s.grid(), Qt::Key_End);
    EXPECT_EQ(name(), "ZAMORA");
    QTest::keyClicks(s.grid(), "m");
    EXPECT_EQ(name(), "MORALES");
    EXPECT_TRUE(chars.empty()) << "typed characters are the search's";
    QTest::keyClick(s.grid(), Qt::Key_Return);
    EXPECT_EQ(down, (std::vector<int>{vk::kDelete, vk::kEnd, 'M', vk::kReturn}));
    EXPECT_EQ(chars, (std::vector<int>{vk::kReturn}));
    EXPECT_TRUE(accepted);
    EXPECT_EQ(s.dlg.nResult, 1);
    EXPECT_FALSE(s.dlg.window()->isVisible());

    // A key the hook leaves goes on to the dialog: Escape closes it.
    Screen other;
    other.bind().bKeyChar = [&](int k, int) {
        chars.push_back(k);
        return false;
    };
    other.open();
    QTest::keyClick(other.grid(), Qt::Key_Escape);
    EXPECT_EQ(chars.back(), vk::kEscape);
    EXPECT_FALSE(other.dlg.window()->isVisible());
    EXPECT_EQ(other.dlg.nResult, 2);
}

TEST_F(BrowseCatalogueTest, AnEmptyTable) {
    test::TempDir dir2;
    test::Catalogue empty(dir2, "VACIO", {});
    Screen s;
    int dbl = 0;
    TWBrowse& brw = s.bind({}, {.ldblClick = [&](int, int, int) { ++dbl; }});
    s.open();
    EXPECT_EQ(brw.nLen, 0);
    EXPECT_EQ(brw.aHeaders, (std::vector<std::string>{"ID", "NOMBRE"})) << "the field names";
    QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, QPoint(20, 40));
    EXPECT_EQ(dbl, 0);
    QTest::keyClick(s.grid(), Qt::Key_Down);
    EXPECT_TRUE(empty.area()->eof());
    EXPECT_FALSE(s.grid()->grab().isNull());
}

// ---------------------------------------------------------------------------------------------
// Footers, colours, fonts and the columns as drawn

TEST_F(BrowseTest, FootersAreEvaluatedAgainAtEachRefresh) {
    Screen s;
    Value rows(Array{});
    for (int i = 1; i <= 3; ++i) rows.array().push_back(Value(Array{Value::number(i), Value("x")}));
    int evaluated = 0;
    TWBrowse& brw = s.bind({}, {.headers = {"cantidad", "descripcion"}, .update = true});
    brw.setArray(rows);
    brw.lDrawFooters = true;
    brw.aFooters = [&] {
        ++evaluated;
        return std::vector<std::string>{
            "", "Filas: " + std::to_string(rows.array().size()) + "\r\nTotal:"};
    };
    s.open();
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(brw.footers()[1], "Filas: 3\r\nTotal:");
    const int footer = brw.cellRect(-1, 2).height();
    EXPECT_GE(footer, 2 * s.grid()->fontMetrics().lineSpacing()) << "two lines";
    s.grid()->grab();
    s.grid()->grab();
    EXPECT_EQ(evaluated, 1) << "painting does not evaluate them";

    rows.array().push_back(Value(Array{Value::number(4), Value("y")}));
    s.dlg.update();  // refreshes the grid: lUpdate
    EXPECT_EQ(evaluated, 2);
    EXPECT_EQ(brw.footers()[1], "Filas: 4\r\nTotal:");
    EXPECT_EQ(brw.nLen, 4);

    // A list of texts is shown as it is.
    brw.aFooters = {"a", "b"};
    EXPECT_EQ(brw.footers(), (std::vector<std::string>{"a", "b"}));
    brw.nFooterHeight = 70;
    EXPECT_EQ(brw.cellRect(-1, 1).height(), 70);
}

TEST_F(BrowseTest, ColoursAndFontsByRowByCellAndByFocus) {
    Screen s;
    const Colour even = rgb(193, 221, 255), odd = rgb(221, 245, 255);
    const Colour focusBack = rgb(0, 78, 152), head = rgb(105, 132, 192);
    TWBrowse& brw = s.bind({}, {.headers = {"uno", "dos", "tres"}});
    Array data;
    for (int i = 1; i <= 40; ++i)
        data.push_back(Value(Array{Value::number(i), Value("b"), Value("c")}));
    brw.setArray(data);
    brw.nClrPane = [&] { return brw.nLogicRow() % 2 == 0 ? even : odd; };
    brw.nClrForeFocus = rgb(255, 255, 255);
    brw.nClrBackFocus = focusBack;
    brw.nClrBackHead = head;
    brw.nClrForeHead = rgb(255, 255, 255);
    brw.bBkColor = [&](int row, int col, int style) -> Colour {
        if (style == TWBrowse::kCellHeader && col == 2) return rgb(128, 0, 64);
        if (style == TWBrowse::kCellData && row == 2 && col == 3) return rgb(0, 255, 0);
        return kDefaultColour;
    };
    QFont bold = s.grid()->font();
    bold.setBold(true);
    std::vector<std::vector<int>> asked;  // row, column, kind
    brw.bFont = [&](int row, int col, int style) -> const QFont* {
        asked.push_back({row, col, style});
        return style == TWBrowse::kCellData ? nullptr : &bold;
    };
    brw.lDrawFooters = true;
    brw.aFooters = {"f1", "f2"};
    s.open();
    brw.skip(2);  // the third row is the current one
    QImage img = s.picture();
    EXPECT_EQ(s.colourAt(img, 1, 1), qcolour(odd)) << "row 1 is at an odd position";
    EXPECT_EQ(s.colourAt(img, 2, 1), qcolour(even));
    EXPECT_EQ(s.colourAt(img, 2, 3), QColor(0, 255, 0)) << "a cell of its own colour";
    EXPECT_EQ(s.colourAt(img, 3, 2), qcolour(focusBack)) << "the current row, focused";
    EXPECT_EQ(s.colourAt(img, 0, 1), qcolour(head));
    EXPECT_EQ(s.colourAt(img, 0, 2), QColor(128, 0, 64)) << "one header of its own colour";
    EXPECT_EQ(s.colourAt(img, -1, 1), qcolour(head)) << "footers as headers";
    auto asks = [&](std::vector<int> v) {
        return std::find(asked.begin(), asked.end(), v) != asked.end();
    };
    EXPECT_TRUE(asks({3, 1, TWBrowse::kCellFocus}));
    EXPECT_TRUE(asks({2, 2, TWBrowse::kCellData}));
    EXPECT_TRUE(asks({0, 2, TWBrowse::kCellHeader}));
    EXPECT_TRUE(asks({0, 1, TWBrowse::kCellFooter}));
    EXPECT_FALSE(asks({brw.rowCount() + 1, 1, TWBrowse::kCellData})) << "a screenful only";

    // The cell cursor: only the current cell is highlighted.
    brw.lCellStyle = true;
    brw.setColumn(2);
    img = s.picture();
    EXPECT_EQ(s.colourAt(img, 3, 2), qcolour(focusBack));
    EXPECT_EQ(s.colourAt(img, 3, 1), qcolour(odd));

    // Without the focus the highlight is paler.
    s.dlg.window()->findChild<QLineEdit*>("get102")->setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(brw.hasFocus());
    img = s.picture();
    EXPECT_NE(s.colourAt(img, 3, 2), qcolour(focusBack));
    EXPECT_NE(s.colourAt(img, 3, 2), qcolour(odd));
}

TEST_F(BrowseTest, FrozenColumnsAndTheLastColumnStretched) {
    Screen s;
    Array row;
    for (int i = 1; i <= 8; ++i) row.push_back(Value("c" + std::to_string(i)));
    TWBrowse& brw = s.bind({}, {.colSizes = {60, 90, 90, 90, 90, 90, 90, 50}});
    brw.setArray(Array{Value(row), Value(row)});
    brw.nFreeze = 1;
    s.open();
    const int width = s.viewport()->width();
    ASSERT_LT(width, 600) << "the columns do not all fit";
    EXPECT_EQ(brw.colCount(), 8);
    EXPECT_EQ(brw.cellRect(1, 1).left(), 0);
    EXPECT_EQ(brw.cellRect(1, 2).left(), 60);

    // Moving right scrolls the columns after the frozen one until the current one shows.
    for (int i = 0; i < 7; ++i) QTest::keyClick(s.grid(), Qt::Key_Right);
    EXPECT_EQ(brw.nColAct, 8);
    s.grid()->grab();
    EXPECT_GT(brw.firstScrolledColumn(), 2);
    EXPECT_EQ(brw.cellRect(1, 1).left(), 0) << "the frozen column stays";
    EXPECT_TRUE(brw.cellRect(1, 2).isEmpty()) << "scrolled out";
    QRect last = brw.cellRect(1, 8);
    EXPECT_EQ(last.right(), width - 1) << "the last column reaches the right edge";
    EXPECT_GT(last.width(), 50);
    QScrollBar* across = brw.view()->horizontalScrollBar();
    EXPECT_GT(across->maximum(), across->minimum()) << "a bar for the columns";
    EXPECT_EQ(across->value(), brw.firstScrolledColumn());

    brw.lAdjLastCol = false;
    EXPECT_EQ(brw.cellRect(1, 8).width(), 50);
    for (int i = 0; i < 7; ++i) QTest::keyClick(s.grid(), Qt::Key_Left);
    EXPECT_EQ(brw.firstScrolledColumn(), 2);
}

TEST_F(BrowseTest, ReportColumnsInCharactersOfTheFont) {
    Screen s;
    TWBrowse& brw = s.bind({}, {.headers = {"codigo", "nombre"}, .colSizes = {70, 100, 45}});
    brw.setArray(Array{Value(Array{Value("a"), Value("b"), Value("c")})});
    s.open();
    const int b = s.grid()->fontMetrics().horizontalAdvance(QLatin1Char('B'));
    std::vector<BrowseReportColumn> cols = brw.reportColumns();
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_EQ(cols[0].title, "codigo");
    EXPECT_EQ(cols[0].width, 70 / b);
    EXPECT_EQ(cols[1].width, 100 / b);
    EXPECT_EQ(cols[2].title, "");
    brw.aColSizes = {70};
    cols = brw.reportColumns();
    EXPECT_EQ(cols[1].width, 80 / b) << "80 pixels for a column without a width";
    EXPECT_EQ(cols[2].width, 80 / b);
}

// ---------------------------------------------------------------------------------------------
// Large sources: a paint reads a screenful

TEST_F(BrowseTest, AMillionRowsPaintAScreenfulAndTheThumbMovesOnce) {
    Screen s;
    test::CountingSource src(1000000);
    TWBrowse& brw = s.bind({}, {.headers = {"numero", "fila"}});
    src.bind(brw);
    s.open();
    const int rows = brw.rowCount();
    ASSERT_GE(rows, 5);
    EXPECT_EQ(brw.nLen, 1000000);
    EXPECT_EQ(src.lens, 1) << "the row count once at the start";

    src.reset();
    s.grid()->grab();
    EXPECT_EQ(src.lines, rows);
    EXPECT_LE(src.skips, rows + 1);
    EXPECT_LE(src.stepped, 2L * rows);

    // Page Down ten times, then one paint.
    src.reset();
    for (int i = 0; i < 10; ++i) QTest::keyClick(s.grid(), Qt::Key_PageDown);
    s.grid()->grab();
    EXPECT_EQ(src.at, 1 + 10L * rows);
    EXPECT_LE(src.skips, 10 + rows + 1);
    EXPECT_EQ(src.lines, rows);
    QScrollBar* bar = brw.view()->verticalScrollBar();
    EXPECT_EQ(bar->value(), 1 + 10 * rows);
    EXPECT_EQ(bar->maximum(), 1000000);

    // The thumb dragged to the middle and let go: one move, wherever it was dragged meanwhile.
    src.reset();
    bar->setSliderDown(true);
    for (int v : {100000, 300000, 500000}) bar->setSliderPosition(v);
    EXPECT_EQ(src.skips, 0) << "nothing moves while the thumb is dragged";
    bar->setSliderDown(false);
    EXPECT_EQ(src.at, 500000);
    EXPECT_LE(src.skips + src.tops + src.bottoms, 2);
    s.grid()->grab();
    EXPECT_LE(src.lines, rows);

    // The wheel and the bar's arrows move the rows.
    src.reset();
    QWheelEvent wheel(QPointF(20, 40), s.grid()->mapToGlobal(QPointF(20, 40)), {}, {0, -120},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s.viewport(), &wheel);
    EXPECT_EQ(src.at, 500003);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(src.at, 500002);
    EXPECT_EQ(bar->value(), 500002);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(src.at, 1000000);
    EXPECT_EQ(bar->value(), 1000000);
}

TEST_F(BrowseTest, ATableOfAHundredThousandRecordsReadsAScreenful) {
    test::TempDir dir;
    test::Catalogue cat(dir, "GRANDE", test::numberedRows(100000));
    Screen s;
    TWBrowse& brw = s.bind();
    long lines = 0;
    auto line = brw.bLine;
    brw.bLine = [&] {
        ++lines;
        return line();
    };
    s.open();
    const int rows = brw.rowCount();
    EXPECT_EQ(brw.nLen, 100000);
    s.grid()->grab();

    QTest::keyClick(s.grid(), Qt::Key_PageDown);
    QTest::keyClick(s.grid(), Qt::Key_PageDown);
    lines = 0;
    test::Reads before = test::Reads::now();
    s.grid()->grab();
    test::Reads spent = test::Reads::now().since(before);
    EXPECT_EQ(lines, rows);
    // The records on the screen lie apart in the file (37 bytes each, 3.7 MB in all): a read
    // apiece, and a few pages of the index.
    EXPECT_LE(spent.calls, 3L * rows + 20);
    EXPECT_LT(spent.bytes, 200000);
    char want[16];
    std::snprintf(want, sizeof want, "%06d", 1 + 2 * rows);
    EXPECT_EQ(cat.id(), want);

    // The thumb to the middle: the index is walked, the table is not read.
    QScrollBar* bar = brw.view()->verticalScrollBar();
    lines = 0;
    before = test::Reads::now();
    bar->setSliderDown(true);
    bar->setSliderPosition(50000);
    bar->setSliderDown(false);
    s.grid()->grab();
    spent = test::Reads::now().since(before);
    EXPECT_EQ(cat.id(), "050000");
    EXPECT_EQ(lines, rows);
    EXPECT_LT(spent.bytes, 1500000);
    brw.refresh();
    EXPECT_EQ(bar->value(), 50000) << "the bar agrees with the key number";

    // Near the end the last page is full.
    bar->setSliderDown(true);
    bar->setSliderPosition(99995);
    bar->setSliderDown(false);
    QTest::keyClick(s.grid(), Qt::Key_Down);
    EXPECT_EQ(cat.id(), "099996");
    s.grid()->grab();
    EXPECT_EQ(brw.nRowPos, rows - 4);
}

// ---------------------------------------------------------------------------------------------
// Pictures for a person to look at (WV_UI_SHOTS names the directory).

TEST_F(BrowseCatalogueTest, Shots) {
    const char* dirName = std::getenv("WV_UI_SHOTS");
    if (!dirName) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    const QString out = QString::fromUtf8(dirName);
    {
        Screen s;
        TWBrowse& brw = s.bind(
            [this] {
                return Array{cat.area()->get("ID"), cat.area()->get("NOMBRE")};
            },
            {.headers = {"codigo", "NOMBRE"}, .colSizes = {70, 100}});
        brw.aJustify = {2, 0};
        brw.aHJustify = {2, 2};
        brw.aFJustify = {2, 2};
        brw.nHeaderHeight = 25;
        brw.nLineHeight = 22;
        brw.nFooterHeight = 25;
        brw.nFooterStyle = 6;
        brw.lDrawFocusRect = false;
        brw.nClrForeFocus = rgb(255, 255, 255);
        brw.nClrBackFocus = rgb(0, 78, 152);
        brw.nClrBackHead = rgb(105, 132, 192);
        brw.nClrForeHead = rgb(255, 255, 255);
        brw.nClrPane = [&] {
            return brw.nLogicRow() % 2 == 0 ? rgb(193, 221, 255) : rgb(221, 245, 255);
        };
        brw.bTextColor = [](int, int col, int style) {
            return (style == 1 && col == 2) || style == 2 ? rgb(255, 255, 255) : kDefaultColour;
        };
        brw.bBkColor = [](int, int col, int style) {
            return (style == 1 && col == 2) || style == 2 ? rgb(128, 0, 64) : kDefaultColour;
        };
        QFont bold = s.grid()->font();
        bold.setBold(true);
        brw.bFont = [&](int, int, int style) -> const QFont* { return style ? &bold : nullptr; };
        brw.nFreeze = 1;
        brw.lDrawFooters = true;
        brw.aFooters = [&] {
            return std::vector<std::string>{"", std::to_string(brw.nLen) + " Reg(s)"};
        };
        brw.bSeek = [&] { return brw.dbfSeek(); };
        brw.bUpdateBuffer = [&] { s.dlg.update(); };
        s.open();
        QTest::keyClicks(s.grid(), "ac");
        QTest::qWait(150);
        EXPECT_TRUE(s.dlg.window()->grab().save(out + "/browse_catalogo.png"));
    }
}

}  // namespace
}  // namespace wv
