// Styled texts: alignment, lines, the caption from its block, transparency, the colour under the
// mouse, the action on a click and the embossed look when disabled.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include <cstdlib>

#include "runtime/date.h"
#include "ui/btnget.h"
#include "ui/dialog.h"
#include "ui/ssay.h"
#include "ui_fixture.h"

namespace wv {
namespace {

using test::cp;

class SSayTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp(); }
};

// The text is smoothed at its edges: a pixel close to the colour counts as it.
bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           90;
}

// How many pixels of the picture have this colour.
int countOf(const QImage& img, const QColor& c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (near(img.pixelColor(x, y), c)) ++n;
    return n;
}

// The rows of the picture holding some pixel of this colour.
std::vector<int> rowsOf(const QImage& img, const QColor& c) {
    std::vector<int> rows;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (near(img.pixelColor(x, y), c)) {
                rows.push_back(y);
                break;
            }
    return rows;
}

QImage picture(TDialog& dlg, TSSay& say) {
    return dlg.window()->grab(say.widget()->geometry()).toImage().convertToFormat(
        QImage::Format_RGB32);
}

void moveOver(QWidget* w, QPoint at = {2, 2}) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

TEST_F(SSayTest, BoundToTheLayoutWithItsAlignment) {
    TDialog dlg("DLG_PRUEBA");
    std::string cNombre = cp("CLIENTES Y HUÉSPEDES");
    auto& title = dlg.redefine<TSSay>(201, [&] { return Value(cNombre); },
                                      TSSay::Options{.centered = true, .text = 16777215,
                                                     .transparent = true});
    ASSERT_NE(title.widget(), nullptr);
    EXPECT_EQ(title.className(), "TSSAY");
    EXPECT_EQ(title.nAlign, 6);
    EXPECT_EQ(title.cCaption, cNombre);
    EXPECT_EQ(test::utf8(programText(static_cast<QLabel*>(title.widget())->text())),
              "CLIENTES Y HUÉSPEDES");
    EXPECT_EQ(title.nSLeft, title.widget()->width() / 2);
    EXPECT_EQ(title.nSTop, 0);
    EXPECT_TRUE(title.lTransparent);
    // The block is read again on refresh.
    cNombre = "ARTICULOS";
    title.refresh();
    EXPECT_EQ(title.cCaption, "ARTICULOS");

    // Right, bottom, and centred over right.
    TDialog d2("DLG_PRUEBA");
    auto& r = d2.redefine<TSSay>(201, [] { return Value("x"); },
                                 TSSay::Options{.right = true, .bottom = true});
    EXPECT_EQ(r.nAlign, 10);
    EXPECT_EQ(r.nSLeft, r.widget()->width());
    EXPECT_EQ(r.nSTop, r.widget()->height());
    TDialog d3("DLG_PRUEBA");
    auto& c = d3.redefine<TSSay>(201, [] { return Value("x"); },
                                 TSSay::Options{.centered = true, .right = true});
    EXPECT_EQ(c.nAlign, 6);
    auto& l = d3.redefine<TSSay>(101, [] { return Value("x"); });
    EXPECT_EQ(l.widget(), nullptr) << "an entry field is no text";
}

TEST_F(SSayTest, PixelsFollowTheAlignment) {
    TDialog dlg("DLG_PRUEBA");
    const QColor ink(200, 0, 0);
    const Colour inkColour = 200;
    auto make = [&](TSSay::Options o) {
        o.text = inkColour;
        o.back = 0xFFFFFF;
        return TSSay::create(dlg, QRect(10, 10, 200, 40), [] { return Value("MMM"); }, o);
    };
    auto columns = [&](TSSay& s) {
        QImage img = picture(dlg, s);
        int first = img.width(), last = -1;
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (near(img.pixelColor(x, y), ink)) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return std::pair(first, last);
    };
    auto left = make({});
    auto centre = make({.centered = true});
    auto right = make({.right = true});
    centre->widget()->hide();
    right->widget()->hide();
    auto [l0, l1] = columns(*left);
    EXPECT_LE(l0, 3);
    left->widget()->hide();
    centre->widget()->show();
    auto [c0, c1] = columns(*centre);
    EXPECT_NEAR((c0 + c1) / 2, 100, 3);
    centre->widget()->hide();
    right->widget()->show();
    auto [r0, r1] = columns(*right);
    EXPECT_GE(r1, 195);
    EXPECT_EQ(l1 - l0, r1 - r0);
}

TEST_F(SSayTest, LinesOfTheCaption) {
    TDialog dlg("DLG_PRUEBA");
    auto say = TSSay::create(dlg, QRect(10, 10, 200, 60), [] { return Value("  UNO \r\nDOS"); },
                             {.text = 200, .back = 0xFFFFFF});
    ASSERT_NE(say->widget(), nullptr);
    ASSERT_EQ(say->aCaption.size(), 2u);
    EXPECT_EQ(say->aCaption[0], "UNO");
    EXPECT_EQ(say->aCaption[1], "DOS");
    EXPECT_GT(say->nTxtHeight, 0);
    QFontMetrics fm(say->widget()->font());
    EXPECT_EQ(say->nTxtWidth,
              std::max(fm.horizontalAdvance("UNO"), fm.horizontalAdvance("DOS")));
    // The second line nTxtHeight pixels below the first: the same letter on both shows it.
    say->setText(Value("I\nI"));
    std::vector<int> rows = rowsOf(picture(dlg, *say), QColor(200, 0, 0));
    ASSERT_FALSE(rows.empty());
    int gap = 0;
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i] != rows[i - 1] + 1) gap = rows[i] - rows[0];
    EXPECT_EQ(gap, say->nTxtHeight);
    // A line longer than 252 goes on in the next one; an empty text is empty.
    say->setText(Value(std::string(260, 'A')));
    ASSERT_EQ(say->aCaption.size(), 2u);
    EXPECT_EQ(say->aCaption[0].size(), 252u);
    EXPECT_EQ(say->aCaption[1].size(), 8u);
    say->setText(Value(""));
    EXPECT_EQ(static_cast<QLabel*>(say->widget())->text(), "");
    // Formatted by its picture; varPut fixes the value shown.
    say->cPicture = "999.99";
    say->setText(Value::number(12.5));
    EXPECT_EQ(say->cCaption, " 12.50");
    say->varPut(Value::number(3));
    say->refresh();
    EXPECT_EQ(say->cCaption, "  3.00");
}

TEST_F(SSayTest, TransparentOverTheDialog) {
    TDialog dlg("DLG_PRUEBA");
    QPalette pal = dlg.window()->palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 0));
    dlg.window()->setPalette(pal);
    dlg.window()->setAutoFillBackground(true);
    auto clear = TSSay::create(dlg, QRect(10, 10, 200, 30), [] { return Value("TITULO"); },
                               {.centered = true, .text = 16777215, .transparent = true});
    auto solid = TSSay::create(dlg, QRect(10, 50, 200, 30), [] { return Value("TITULO"); },
                               {.centered = true, .text = 16777215, .back = 0xFF0000});
    QImage a = picture(dlg, *clear), b = picture(dlg, *solid);
    EXPECT_GT(countOf(a, QColor(0, 128, 0)), a.width() * a.height() / 2);
    EXPECT_GT(countOf(a, Qt::white), 0);
    EXPECT_EQ(countOf(b, QColor(0, 128, 0)), 0);
    EXPECT_GT(countOf(b, QColor(0, 0, 255)), b.width() * b.height() / 2);
}

TEST_F(SSayTest, MouseOverChangesTheColourAndAClickRunsTheAction) {
    TDialog dlg("DLG_PRUEBA");
    int overs = 0, lefts = 0, actions = 0;
    TSSay* clicked = nullptr;
    TSSay::Options o{.action = [&](TSSay& s) { ++actions; clicked = &s; },
                     .text = 0,
                     .back = 0xFFFFFF,
                     .over = 255,
                     .mOver = [&](TSSay&) { ++overs; },
                     .nonMOver = [&](TSSay&) { ++lefts; }};
    auto a = TSSay::create(dlg, QRect(10, 10, 100, 20), [] { return Value("UNO"); }, o);
    auto b = TSSay::create(dlg, QRect(10, 40, 100, 20), [] { return Value("DOS"); }, o);
    dlg.window()->show();
    const QColor red(255, 0, 0);
    EXPECT_EQ(countOf(picture(dlg, *a), red), 0);
    moveOver(a->widget());
    EXPECT_TRUE(a->lOver);
    EXPECT_EQ(TSSay::hovered(), a.get());
    EXPECT_EQ(a->textColour(), red);
    EXPECT_GT(countOf(picture(dlg, *a), red), 0);
    moveOver(a->widget(), {5, 5});
    EXPECT_EQ(overs, 1) << "entering is once";
    // Onto the other text: the first is told it was left.
    moveOver(b->widget());
    EXPECT_FALSE(a->lOver);
    EXPECT_TRUE(b->lOver);
    EXPECT_EQ(overs, 2);
    EXPECT_EQ(lefts, 1);
    EXPECT_EQ(countOf(picture(dlg, *a), red), 0);
    // Off the text onto the dialog.
    moveOver(dlg.window(), {1, 1});
    EXPECT_FALSE(b->lOver);
    EXPECT_EQ(lefts, 2);
    moveOver(b->widget());
    leave(b->widget());
    EXPECT_FALSE(b->lOver);
    EXPECT_EQ(lefts, 3);

    QTest::mouseClick(a->widget(), Qt::LeftButton);
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(clicked, a.get());
    QTest::mouseClick(a->widget(), Qt::RightButton);
    EXPECT_EQ(actions, 1);
    dlg.window()->hide();
}

TEST_F(SSayTest, DisabledIsEmbossedAndDeaf) {
    TDialog dlg("DLG_PRUEBA");
    int actions = 0, overs = 0;
    auto say = TSSay::create(dlg, QRect(10, 10, 100, 20), [] { return Value("MMM"); },
                             {.action = [&](TSSay&) { ++actions; },
                              .text = 200,
                              .back = 0xFFFFFF,
                              .mOver = [&](TSSay&) { ++overs; }});
    dlg.window()->show();
    say->disable();
    EXPECT_FALSE(say->isEnabled());
    QImage img = picture(dlg, *say);
    const QPalette& pal = QApplication::palette();
    EXPECT_EQ(countOf(img, QColor(200, 0, 0)), 0);
    std::vector<int> dark = rowsOf(img, pal.color(QPalette::Active, QPalette::Dark));
    ASSERT_FALSE(dark.empty());
    if (pal.color(QPalette::Light) != Qt::white) {
        std::vector<int> light = rowsOf(img, pal.color(QPalette::Active, QPalette::Light));
        ASSERT_FALSE(light.empty());
        EXPECT_EQ(light.back(), dark.back() + 1) << "the highlight one pixel down";
    }
    say->mouseEntered();
    EXPECT_FALSE(say->lOver);
    QTest::mouseClick(say->widget(), Qt::LeftButton);
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(overs, 0);
    say->enable();
    QTest::mouseClick(say->widget(), Qt::LeftButton);
    EXPECT_EQ(actions, 1);
    EXPECT_GT(countOf(picture(dlg, *say), QColor(200, 0, 0)), 0);
    dlg.window()->hide();
}

TEST_F(SSayTest, Frames) {
    TDialog dlg("DLG_PRUEBA");
    auto plain = TSSay::create(dlg, QRect(10, 10, 100, 20), [] { return Value("A"); },
                               {.back = 0xFFFFFF});
    auto boxed = TSSay::create(dlg, QRect(10, 40, 100, 20), [] { return Value("A"); },
                               {.back = 0xFFFFFF, .box = true});
    auto shaded = TSSay::create(dlg, QRect(10, 70, 100, 20), [] { return Value("A"); },
                                {.back = 0xFFFFFF, .shaded = true});
    auto raised = TSSay::create(dlg, QRect(10, 100, 100, 20), [] { return Value("A"); },
                                {.back = 0xFFFFFF, .raised = true});
    EXPECT_EQ(plain->aRect, QRect(0, 0, 100, 20));
    EXPECT_EQ(boxed->aRect, QRect(2, 2, 96, 16));
    EXPECT_EQ(shaded->aRect, QRect(1, 1, 98, 18));
    EXPECT_EQ(raised->aRect, QRect(1, 1, 98, 18));
    EXPECT_FALSE(shaded->l3D);
    EXPECT_TRUE(raised->l3D);
    // The corner pixel is the pane without a frame, the frame's shadow with one.
    EXPECT_EQ(picture(dlg, *plain).pixelColor(0, 0), Qt::white);
    EXPECT_NE(picture(dlg, *boxed).pixelColor(0, 0), Qt::white);
    EXPECT_NE(picture(dlg, *shaded).pixelColor(0, 0), Qt::white) << "sunken: dark above";
    EXPECT_NE(picture(dlg, *raised).pixelColor(99, 19), Qt::white) << "raised: dark below";
}


// A picture of a dialog holding styled texts and fields with a button, for a person to look at.
// Skipped unless WV_UI_SHOTS names a directory; run under a virtual display:
//   WV_UI_SHOTS=/tmp/shots QT_QPA_PLATFORM=xcb xvfb-run -a tests/wv_ui_tests
//       --gtest_filter='SSayShots*'
TEST(SSayShots, StyledTextsAndButtonFields) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    test::ensureApp();
    std::string nombre = cp("HOTEL SAN JOSÉ") + std::string(16, ' ');
    Date fecha = dateFromYmd(2008, 2, 29);
    TDialog dlg("DLG_PRUEBA");
    QPalette pal = dlg.window()->palette();
    pal.setColor(QPalette::Window, QColor(0, 64, 128));
    pal.setColor(QPalette::WindowText, Qt::white);
    dlg.window()->setPalette(pal);
    dlg.window()->setAutoFillBackground(true);
    dlg.redefine<TBtnGet>(101, setGet(nombre), TGet::Options{.picture = "@!"},
                          TBtnGet::BtnOptions{.action = [] {}});
    dlg.redefine<TBtnGet>(102, setGet(fecha), TGet::Options{.picture = "@D"},
                          TBtnGet::BtnOptions{.bitmap = "PRUEBA_OK", .action = [] {}});
    QFont big = dlg.window()->font();
    big.setPointSize(12);
    big.setBold(true);
    auto& title = dlg.redefine<TSSay>(201, [] { return Value("CLIENTES"); },
                                      TSSay::Options{.centered = true, .text = 16777215,
                                                     .font = &big, .transparent = true});
    dlg.redefineButton(400, [&] { dlg.end(1); }, {.caption = "Aceptar"});
    dlg.redefineButton(401, [&] { dlg.end(2); }, {.caption = "Cancelar", .cancel = true});
    QWidget* w = dlg.window();
    const int x = w->width() - 150, y0 = 84;
    auto boxed = TSSay::create(dlg, QRect(x, y0, 140, 30), [] { return Value("Caja\r\ndos lineas"); },
                               {.centered = true, .text = 0, .back = 0xFFFFFF, .box = true});
    auto sunken = TSSay::create(dlg, QRect(x, y0 + 32, 140, 20), [] { return Value("Hundido"); },
                                {.right = true, .text = 0x800000, .back = 0xC0C0C0, .shaded = true});
    auto off = TSSay::create(dlg, QRect(x, y0 + 54, 140, 20), [] { return Value("Desactivado"); },
                             {.back = 0xC0C0C0, .raised = true});
    off->disable();
    auto over = TSSay::create(dlg, QRect(x, y0 + 76, 140, 20), [] { return Value("Con el raton"); },
                              {.text = 16777215, .over = 0x00FFFF, .transparent = true});
    (void)title;
    test::whenModal([&](QWidget* shown) {
        moveOver(over->widget());
        QTest::qWait(150);
        EXPECT_TRUE(shown->grab().save(QString::fromUtf8(dir) + "/ssay_btnget.png"));
        dlg.end(1);
    });
    dlg.activate([&] { dlg.control(101)->setFocus(); });
}

}  // namespace
}  // namespace wv
