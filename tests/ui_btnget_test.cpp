// Entry fields with a button inside: the button's place and the room kept for it, the action by
// the button and by F2, the validation put aside while the button has the focus, the focus
// colours, and the drop-down button's arrow.
#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPushButton>

#include "runtime/date.h"
#include "ui/btnget.h"
#include "ui/dialog.h"
#include "ui_fixture.h"

namespace wv {
namespace {

using test::cp;
using test::whenModal;

class BtnGetTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp(); }
};

// DLG_PRUEBA with the name field (101) carrying a button and a validation, the date field (102)
// validated too, OK (400) and a cancel button (401).
struct Form {
    explicit Form(TBtnGet::BtnOptions btn, std::function<bool(TGet&)> valid = {},
                  std::function<bool(TGet&)> dateValid = {})
        : dlg("DLG_PRUEBA"),
          name(dlg.redefine<TBtnGet>(101, setGet(nombre),
                                     TGet::Options{.picture = "@!", .valid = std::move(valid)},
                                     std::move(btn))),
          date(dlg.redefineGet(102, setGet(fecha),
                               {.picture = "@D", .valid = std::move(dateValid)})),
          ok(dlg.redefineButton(400, [this] { dlg.end(1); })),
          cancel(dlg.redefineButton(401, [this] { dlg.end(2); }, {.cancel = true})) {}

    std::string nombre = std::string(20, ' ');
    Date fecha;
    TDialog dlg;
    TBtnGet& name;
    TGet& date;
    TButton& ok;
    TButton& cancel;
};

TEST(BtnGetDims, MarginsAndButtonRectangle) {
    const QSize size(120, 20);
    // Bound to the layout (22) with a bitmap in a three-dimensional dialog: 26 kept, a 22-pixel
    // button flush with the top.
    BtnDims d = TBtnGet::calcDims(size, 22, true, true);
    EXPECT_EQ(d.margin, 26);
    EXPECT_EQ(d.left, 94);
    EXPECT_EQ(d.width, 22);
    EXPECT_EQ(d.top, 0);
    EXPECT_EQ(d.height, 16);
    // The arrow instead of a bitmap: 9 less, a narrower button.
    d = TBtnGet::calcDims(size, 22, false, true);
    EXPECT_EQ(d.margin, 17);
    EXPECT_EQ(d.left, 104);
    EXPECT_EQ(d.width, 12);
    // Made in code (17).
    EXPECT_EQ(TBtnGet::calcDims(size, 17, true, true).margin, 21);
    EXPECT_EQ(TBtnGet::calcDims(size, 17, false, true).margin, 12);
    // A flat dialog.
    d = TBtnGet::calcDims(size, 22, true, false);
    EXPECT_EQ(d.margin, 26);
    EXPECT_EQ(d.left, 95);
    EXPECT_EQ(d.width, 24);
    EXPECT_EQ(d.top, 1);
    EXPECT_EQ(d.height, 18);
    d = TBtnGet::calcDims(size, 22, false, false);
    EXPECT_EQ(d.left, 105);
    EXPECT_EQ(d.width, 14);
    // A vertical scroll bar pushes the button left by its width less one.
    EXPECT_EQ(TBtnGet::calcDims(size, 22, true, true, 17).left, 94 - 16);
    EXPECT_EQ(TBtnGet::calcDims(size, 22, true, true, 17).margin, 26);
}

TEST_F(BtnGetTest, TheButtonSitsAtTheRightEdgeAndFollowsIt) {
    Form f({.bitmap = "", .action = [] {}});
    EXPECT_EQ(f.name.className(), "TGET");
    EXPECT_EQ(f.name.nBmpWidth, 22);
    ASSERT_NE(f.name.button(), nullptr);
    EXPECT_EQ(f.name.button()->className(), "TBTNBMP");
    EXPECT_EQ(f.name.button()->parentWidget(), f.name.edit());
    QLineEdit* le = f.name.edit();
    auto expectAtEdge = [&] {
        BtnDims d = f.name.calcDims();
        QRect r = f.name.button()->geometry();
        EXPECT_EQ(r, QRect(d.left + 2, d.top + 2, d.width, d.height));
        EXPECT_EQ(r.right(), le->width() - 3) << "inside the field's sunken border";
        EXPECT_EQ(r.width(), 12);
        EXPECT_EQ(le->textMargins().right(), 17);
    };
    expectAtEdge();
    f.name.move(QRect(le->x(), le->y(), le->width() - 40, le->height() + 4));
    expectAtEdge();
    whenModal([&](QWidget*) {
        le->resize(le->width() + 60, le->height());  // resized by anything else: the same
        expectAtEdge();
        f.dlg.end(1);
    });
    f.dlg.activate();
}

TEST_F(BtnGetTest, WithoutAnActionItIsAPlainField) {
    int valids = 0;
    Form f({}, [&](TGet&) { ++valids; return true; });
    EXPECT_EQ(f.name.button(), nullptr);
    EXPECT_EQ(f.name.edit()->textMargins().right(), 0);
    EXPECT_TRUE(f.name.edit()->findChildren<QAbstractButton*>().empty());
    whenModal([&](QWidget*) {
        QTest::keyClicks(f.name.edit(), "ab");
        QTest::keyClick(f.name.edit(), Qt::Key_F2);
        EXPECT_EQ(test::utf8(f.name.buffer()).substr(0, 3), "AB ");
        EXPECT_TRUE(f.name.hasFocus());
        EXPECT_EQ(valids, 0);
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
}

TEST_F(BtnGetTest, F2RunsTheButtonsAction) {
    int runs = 0;
    Form f({.bitmap = "", .action = [&] { ++runs; }});
    whenModal([&](QWidget*) {
        QTest::keyClicks(f.name.edit(), "x");
        QTest::keyClick(f.name.edit(), Qt::Key_F2);
        EXPECT_EQ(runs, 1);
        EXPECT_TRUE(f.name.hasFocus());
        EXPECT_EQ(f.name.buffer().substr(0, 2), "X ") << "F2 types nothing";
        // F2 elsewhere is not the field's.
        f.date.setFocus();
        QTest::keyClick(f.date.edit(), Qt::Key_F2);
        EXPECT_EQ(runs, 1);
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
}

TEST_F(BtnGetTest, TheButtonSuspendsTheValidationAndLeavingByKeyRunsIt) {
    int valids = 0, runs = 0;
    std::string seen;
    Form* form = nullptr;
    Form f({.bitmap = "",
            .action =
                [&] {
                    ++runs;
                    seen = form->nombre;
                    EXPECT_TRUE(form->name.hasFocus()) << "the focus is back in the field";
                    EXPECT_TRUE(form->name.bValid) << "the validation is back too";
                }},
           [&](TGet&) { ++valids; return false; });
    form = &f;
    whenModal([&](QWidget*) {
        QTest::keyClicks(f.name.edit(), "pepe");
        TBtnDown* btn = f.name.button();
        // Pressed and held: the button has the focus and the validation is put aside.
        QTest::mousePress(btn, Qt::LeftButton);
        QTest::qWait(20);
        EXPECT_TRUE(btn->hasFocus());
        EXPECT_FALSE(f.name.bValid);
        EXPECT_TRUE(f.name.bTmpValid);
        EXPECT_EQ(f.dlg.nLastKey, 0);
        EXPECT_EQ(runs, 0);
        QTest::mouseRelease(btn, Qt::LeftButton);
        QTest::qWait(20);
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(seen.substr(0, 5), "PEPE ") << "the action sees what was typed";
        EXPECT_EQ(valids, 0) << "clicking the button does not validate the field";
        EXPECT_TRUE(f.name.hasFocus());
        EXPECT_TRUE(f.name.bValid);
        EXPECT_FALSE(f.name.bTmpValid);
        // A second, quicker click: the same.
        test::humanClick(btn);
        QTest::qWait(20);
        EXPECT_EQ(runs, 2);
        EXPECT_EQ(valids, 0);
        // Leaving by Tab validates; the refusal keeps the focus.
        QTest::keyClick(f.name.edit(), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_EQ(valids, 1);
        EXPECT_TRUE(f.name.hasFocus());
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
}

TEST_F(BtnGetTest, ARefusedFieldLeftForTheButtonStopsItsAction) {
    int runs = 0, dateValids = 0;
    Form f({.bitmap = "", .action = [&] { ++runs; }}, {},
           [&](TGet&) { ++dateValids; return false; });
    whenModal([&](QWidget*) {
        test::humanClick(f.name.button());
        QTest::qWait(20);
        EXPECT_EQ(dateValids, 1);
        EXPECT_EQ(runs, 0);
        EXPECT_TRUE(f.date.hasFocus());
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.date.setFocus(); });
}

TEST_F(BtnGetTest, FocusColours) {
    Form f({.bitmap = "", .action = [] {}});
    QLineEdit* le = f.name.edit();
    whenModal([&](QWidget*) {
        const QColor idle = f.date.edit()->palette().color(QPalette::Base);
        EXPECT_EQ(le->palette().color(QPalette::Base), QColor(243, 250, 200));
        EXPECT_EQ(le->palette().color(QPalette::Text), QColor(0, 0, 0));
        // Onto its own button it stays focused.
        test::humanClick(f.name.button());
        QTest::qWait(20);
        EXPECT_EQ(le->palette().color(QPalette::Base), QColor(243, 250, 200));
        QTest::keyClick(le, Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_TRUE(f.date.hasFocus());
        EXPECT_EQ(le->palette().color(QPalette::Base), idle);
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
}

TEST_F(BtnGetTest, MadeInCode) {
    TDialog dlg("DLG_PRUEBA");
    Date fecha = dateFromYmd(2008, 2, 29);
    int runs = 0;
    auto get = TBtnGet::create(dlg, QRect(10, 150, 90, 20), setGet(fecha), {.picture = "@D"},
                               {.bitmap = "", .action = [&] { ++runs; }});
    ASSERT_NE(get->edit(), nullptr);
    EXPECT_EQ(get->nBmpWidth, 17);
    EXPECT_EQ(get->edit()->textMargins().right(), 12);
    whenModal([&](QWidget*) {
        get->setFocus();
        QTest::keyClick(get->edit(), Qt::Key_F2);
        EXPECT_EQ(runs, 1);
        test::humanClick(get->button());
        QTest::qWait(20);
        EXPECT_EQ(runs, 2);
        EXPECT_TRUE(get->hasFocus());
        dlg.end(1);
    });
    dlg.activate();
}

// The arrow of a button without a bitmap, resting and pressed.
TEST_F(BtnGetTest, TheArrowMovesWhilePressed) {
    QWidget host;
    TBtnDown btn(&host, QRect(0, 0, 14, 16), "", {});
    EXPECT_EQ(btn.className(), "TBTNBMP");
    auto pts = TBtnDown::arrow(btn.size(), false);
    EXPECT_EQ(pts[0], QPoint(5, 7));
    EXPECT_EQ(pts[1], QPoint(7, 9));
    EXPECT_EQ(pts[2], QPoint(9, 7));
    EXPECT_EQ(TBtnDown::arrow(btn.size(), true)[1], QPoint(8, 10));
    auto black = [](const QImage& img, int x, int y) { return img.pixelColor(x, y) == Qt::black; };
    QImage up = btn.grab().toImage();
    EXPECT_TRUE(black(up, 7, 7));
    EXPECT_TRUE(black(up, 5, 7));
    EXPECT_TRUE(black(up, 7, 9));
    EXPECT_FALSE(black(up, 8, 10));
    btn.setDown(true);
    QImage down = btn.grab().toImage();
    EXPECT_TRUE(black(down, 8, 10));
    EXPECT_TRUE(black(down, 6, 8));
    EXPECT_FALSE(black(down, 5, 7));
}

}  // namespace
}  // namespace wv
