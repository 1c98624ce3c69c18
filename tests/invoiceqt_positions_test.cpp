// The print-position dialog on the screen: every position's controls bound, values edited by
// the operator, and which button closed it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "invoice/positions_qt.h"
#include "tests/ui_fixture.h"
#include "ui/appui.h"

namespace wv {
namespace {

class PositionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();
        oAppUi().createFonts();
        for (int n = 1; n <= kPositions; ++n) {
            p.p1[size_t(n)] = n;
            p.p2[size_t(n)] = n + 0.5;
            p.p3[size_t(n)] = true;
        }
    }
    Posiciones p;
};

TEST_F(PositionsDialogTest, EditedValuesComeBackWhenAccepted) {
    FPosiciones f(p);
    ASSERT_TRUE(f.dlg.loaded());
    EXPECT_EQ(programText(f.dlg.window()->windowTitle()), "Posiciones de Facturas");
    int rows = 0, columns = 0, flags = 0;
    for (TControl* c : f.dlg.aControls()) {
        int id = c->nId;
        rows += id / 100 == 1;
        columns += id / 100 == 2;
        flags += id / 100 == 3;
    }
    EXPECT_EQ(rows, 18);     // none for the lines (13-17)
    EXPECT_EQ(columns, 22);  // none for the first line (12)
    EXPECT_EQ(flags, 22);
    for (int n = 1; n <= kPositions; ++n) {
        auto* label = f.dlg.window()->findChild<QLabel*>(QStringLiteral("lblPos%1").arg(n));
        ASSERT_TRUE(label) << n;
        EXPECT_EQ(programText(label->text()), positionLabel(n)) << n;
    }
    auto* row10 = static_cast<TGet*>(f.dlg.control(110));
    auto* flag10 = static_cast<TCheckBox*>(f.dlg.control(310));
    test::whenModal([&](QWidget*) {
        EXPECT_EQ(row10->edit()->text(), "10.00");
        EXPECT_TRUE(flag10->box()->isChecked());
        row10->setFocus();
        QTest::keyClicks(row10->edit(), "3.75");
        QTest::keyClick(row10->edit(), Qt::Key_Tab);
        QTest::qWait(20);
        test::humanClick(flag10->box());
        QTest::qWait(20);
        test::humanClick(static_cast<TButton*>(f.dlg.control(400))->button());
    });
    EXPECT_TRUE(f.run());
    EXPECT_DOUBLE_EQ(p.p1[10], 3.75);
    EXPECT_FALSE(p.p3[10]);
    EXPECT_DOUBLE_EQ(p.p2[10], 10.5);
}

TEST_F(PositionsDialogTest, CancelAnswersNotAccepted) {
    FPosiciones f(p);
    test::whenModal([&](QWidget*) {
        test::humanClick(static_cast<TButton*>(f.dlg.control(401))->button());
    });
    EXPECT_FALSE(f.run());
}

// A picture of the dialog for a person to look at (WV_UI_SHOTS=DIR).
TEST_F(PositionsDialogTest, Shots) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    FPosiciones f(p);
    test::whenModal([&](QWidget* w) {
        QTest::qWait(150);
        EXPECT_TRUE(w->grab().save(QString::fromUtf8(dir) + "/posiciones.png"));
    });
    f.run();
}

}  // namespace
}  // namespace wv
