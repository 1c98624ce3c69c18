// The date-range dialog on the screen: both dates start as today with their texts written out in
// full, typed dates come back whichever button closes the dialog, the texts follow a field when
// it is left, and the calendar button puts the picked date (or today, when the calendar is
// dismissed) into its field.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include "app/fechas_qt.h"
#include "runtime/date.h"
#include "support/dates.h"
#include "tests/ui_fixture.h"
#include "ui/appui.h"

namespace wv {
namespace {

using test::whenModal;

class FechasTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();
        oAppUi().createFonts();
    }

    // Runs the dialog with `body` while it is up; returns its result.
    static RangoFechas run(FFechas& f, std::function<void()> body) {
        whenModal([body = std::move(body)](QWidget*) { body(); });
        return f.run();
    }
    static void type(TGet& field, const char* keys) {
        field.setFocus();
        QTest::keyClicks(field.edit(), keys);
    }
    static void leave(TGet& field) {
        QTest::keyClick(field.edit(), Qt::Key_Tab);
        QTest::qWait(20);  // the validation runs after the focus change
    }
    static std::string shown(TGet& field) { return field.edit()->text().toStdString(); }
    static std::string shown(TSay& say) { return programText(say.label()->text()); }
};

TEST_F(FechasTest, StartAsTodayThenTypedDatesAreAcceptedAndTheTextsFollowAFieldLeft) {
    FFechas f;
    RangoFechas got = run(f, [&] {
        EXPECT_EQ(f.dlg.window()->windowTitle(), "Rango de Fechas");
        EXPECT_TRUE(f.getInicial->hasFocus());
        for (TGet* g : {f.getInicial, f.getFinal}) EXPECT_EQ(shown(*g), dtoc(today()));
        for (TSay* s : {f.sayInicial, f.sayFinal}) {
            EXPECT_EQ(shown(*s), fechaCompleta(today()));
            EXPECT_EQ(s->label()->palette().color(QPalette::WindowText), QColor(128, 0, 0));
            EXPECT_TRUE(s->label()->font().bold());
        }
        type(*f.getInicial, "150309");
        EXPECT_EQ(shown(*f.sayInicial), fechaCompleta(today())) << "not before the field is left";
        leave(*f.getInicial);
        EXPECT_EQ(shown(*f.sayInicial), "15 de Marzo del 2009");
        EXPECT_TRUE(f.getFinal->hasFocus());
        QTest::keyClicks(f.getFinal->edit(), "290208");
        leave(*f.getFinal);
        EXPECT_EQ(shown(*f.sayFinal), "29 de Febrero del 2008");
        EXPECT_EQ(shown(*f.sayInicial), "15 de Marzo del 2009");
        // An empty date is a date too: the text says so.
        f.getFinal->setFocus();
        QTest::keyClick(f.getFinal->edit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(f.getFinal->edit(), Qt::Key_Delete);
        leave(*f.getFinal);
        EXPECT_EQ(shown(*f.sayFinal), "Todas las fechas");
        f.getFinal->setFocus();
        QTest::keyClicks(f.getFinal->edit(), "010409");
        test::humanClick(f.btnAceptar->button());
    });
    EXPECT_EQ(f.dlg.nResult, 1);
    EXPECT_EQ(got, (RangoFechas{dateFromYmd(2009, 3, 15), dateFromYmd(2009, 4, 1)}));
}

TEST_F(FechasTest, SalirReturnsTheDatesAsTheyStand) {
    FFechas f;
    RangoFechas got = run(f, [&] {
        type(*f.getInicial, "010109");
        leave(*f.getInicial);
        // Typed and not left: the field is not validated, but what it holds is taken.
        QTest::keyClicks(f.getFinal->edit(), "311209");
        test::humanClick(f.btnSalir->button());
    });
    EXPECT_EQ(f.dlg.nResult, 2);
    EXPECT_EQ(got, (RangoFechas{dateFromYmd(2009, 1, 1), dateFromYmd(2009, 12, 31)}));

    // An impossible date is not taken: the field keeps its date.
    FFechas g;
    got = run(g, [&] {
        type(*g.getInicial, "310209");
        test::humanClick(g.btnSalir->button());
        EXPECT_FALSE(g.dlg.window()->isVisible()) << "Salir is always heard";
    });
    EXPECT_EQ(g.dlg.nResult, 2);
    EXPECT_EQ(got, (RangoFechas{today(), today()}));
}

TEST_F(FechasTest, TheCalendarButtonPutsThePickedDateIntoItsField) {
    FFechas f;
    const Date hoy = today();
    // Another month of this year, on the same day as far as the month has it.
    const int mes = month(hoy) % 12 + 1;
    const Date picked = getDate(day(hoy), mes, year(hoy));
    ASSERT_NE(picked, hoy);
    RangoFechas got = run(f, [&] {
        QWidget* dialog = f.dlg.window();
        whenModal(
            [&](QWidget* cal) {
                EXPECT_NE(cal, dialog);
                auto* months = cal->findChild<QComboBox*>("cbx101");
                auto* grid = cal->findChild<QAbstractScrollArea*>("brw100");
                ASSERT_TRUE(months && grid);
                months->setCurrentIndex(mes - 1);
                QTest::keyClick(grid, Qt::Key_Return);
            },
            dialog);
        type(*f.getFinal, "0101");  // half typed: the pick replaces it
        test::humanClick(f.getFinal->button());
        QTest::qWait(20);
        EXPECT_EQ(shown(*f.getFinal), dtoc(picked));
        EXPECT_EQ(shown(*f.sayFinal), fechaCompleta(picked));
        EXPECT_TRUE(f.getFinal->hasFocus());
        EXPECT_EQ(shown(*f.sayInicial), fechaCompleta(hoy));

        // Dismissed, the calendar gives today, and the field takes it.
        type(*f.getInicial, "010109");
        leave(*f.getInicial);
        ASSERT_EQ(shown(*f.sayInicial), "1 de Enero del 2009");
        whenModal([](QWidget* cal) { QTest::keyClick(cal, Qt::Key_Escape); }, dialog);
        test::humanClick(f.getInicial->button());
        QTest::qWait(20);
        EXPECT_EQ(shown(*f.getInicial), dtoc(hoy));
        EXPECT_EQ(shown(*f.sayInicial), fechaCompleta(hoy));
        EXPECT_TRUE(f.getInicial->hasFocus());
        test::humanClick(f.btnAceptar->button());
    });
    EXPECT_EQ(got, (RangoFechas{hoy, picked}));
}

TEST(FechasShots, RangoDeFechas) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    test::ensureApp();
    oAppUi().createFonts();
    FFechas f;
    f.dInicial = dateFromYmd(2008, 9, 28);
    whenModal([&](QWidget* w) {
        QTest::qWait(150);
        EXPECT_TRUE(w->grab().save(QString::fromUtf8(dir) + "/fechas.png"));
        f.dlg.end(2);
    });
    f.run();
}

}  // namespace
}  // namespace wv
