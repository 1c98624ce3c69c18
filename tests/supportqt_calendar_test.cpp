// The month calendar on the screen: where each day of a month sits in the grid, the month list
// and the year keeping the day number, turning the page from an empty cell, and what comes back
// when a day is accepted and when the calendar is dismissed.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLineEdit>
#include <cstdlib>

#include "runtime/date.h"
#include "ui/browse.h"
#include "support/calendar_qt.h"
#include "tests/ui_fixture.h"

namespace wv {
namespace {

class CalendarTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ensureApp(); }

    // Runs the calendar opened on `start`, with `body` while it is up; returns its result.
    static Date run(Calendario& cal, std::function<void()> body) {
        test::whenModal([&, body = std::move(body)](QWidget*) {
            cal.grid->view()->viewport()->repaint();  // the cells are placed by a paint
            QApplication::processEvents();
            body();
        });
        return cal.run();
    }
    static void clickCell(Calendario& cal, int row, int col) {
        QTest::mouseClick(cal.grid->view()->viewport(), Qt::LeftButton, {},
                          cal.grid->cellRect(row, col).center());
    }
    static void doubleClickCell(Calendario& cal, int row, int col) {
        QTest::mouseDClick(cal.grid->view()->viewport(), Qt::LeftButton, {},
                           cal.grid->cellRect(row, col).center());
    }
    static void key(Calendario& cal, Qt::Key k) { QTest::keyClick(cal.grid->view(), k); }
    static std::string yearShown(Calendario& cal) {
        return cal.getAnio->edit()->text().trimmed().toStdString();
    }
    static std::string monthShown(Calendario& cal) {
        return cal.cbxMes->combo()->currentText().toStdString();
    }

    // Every day of the month put under the cursor: the cell found holds that day.
    static void expectEveryDayInItsCell(Calendario& cal, int month, int year, int days) {
        for (int d = 1; d <= days; ++d) {
            int row = 0;
            Date got = rowColDate(d, month, year, *cal.grid, row);
            EXPECT_EQ(got, dateFromYmd(year, month, d));
            EXPECT_EQ(cal.grid->nAt, row) << d;
            EXPECT_EQ(cal.activeDay(), d) << "row " << row << " column " << cal.grid->nColAct;
        }
    }
    struct Cell {
        int row, col;
    };
    static Cell cellOf(Calendario& cal, int d, int month, int year) {
        int row = 0;
        rowColDate(d, month, year, *cal.grid, row);
        return {row, cal.grid->nColAct};
    }
};

TEST_F(CalendarTest, FebruaryTwoThousandNineStartsOnSundayAndTakesFiveWeeks) {
    Calendario cal(dateFromYmd(2009, 2, 1));
    run(cal, [&] {
        EXPECT_EQ(cal.aSemanas.size(), 5u);
        EXPECT_EQ(cal.nRow, 1);
        EXPECT_EQ(cal.grid->nColAct, 7) << "the given date's cell is selected at the start";
        EXPECT_EQ(cal.activeDay(), 1);
        EXPECT_EQ(monthShown(cal), "Febrero");
        EXPECT_EQ(yearShown(cal), "2009");
        Cell c = cellOf(cal, 2, 2, 2009);
        EXPECT_EQ(c.row, 2);
        EXPECT_EQ(c.col, 1);
        c = cellOf(cal, 28, 2, 2009);
        EXPECT_EQ(c.row, 5);
        EXPECT_EQ(c.col, 6);
        c = cellOf(cal, 29, 2, 2009);  // no such day: the 28th
        EXPECT_EQ(c.row, 5);
        EXPECT_EQ(c.col, 6);
        expectEveryDayInItsCell(cal, 2, 2009, 28);
        key(cal, Qt::Key_Escape);
    });
}

TEST_F(CalendarTest, MarchTwoThousandEightStartsOnSaturdayAndTakesSixWeeks) {
    Calendario cal(dateFromYmd(2008, 3, 31));
    run(cal, [&] {
        EXPECT_EQ(cal.aSemanas.size(), 6u);
        EXPECT_EQ(cal.nRow, 6);
        EXPECT_EQ(cal.grid->nColAct, 1);
        EXPECT_EQ(cal.activeDay(), 31);
        Cell c = cellOf(cal, 1, 3, 2008);
        EXPECT_EQ(c.row, 1);
        EXPECT_EQ(c.col, 6);
        c = cellOf(cal, 2, 3, 2008);
        EXPECT_EQ(c.row, 1);
        EXPECT_EQ(c.col, 7);
        c = cellOf(cal, 3, 3, 2008);
        EXPECT_EQ(c.row, 2);
        EXPECT_EQ(c.col, 1);
        expectEveryDayInItsCell(cal, 3, 2008, 31);
        key(cal, Qt::Key_Escape);
    });
}

TEST_F(CalendarTest, TheThirtyFirstMovedToAprilIsTheThirtieth) {
    Calendario cal(dateFromYmd(2008, 3, 31));
    Date got = run(cal, [&] {
        cal.cbxMes->select(4);
        EXPECT_EQ(cal.nMes, 4);
        EXPECT_EQ(cal.dFecha, dateFromYmd(2008, 4, 30));
        EXPECT_EQ(cal.activeDay(), 30) << "the 30th is selected";
        EXPECT_EQ(cal.aSemanas.size(), 5u);
        // Back to a month of 31 days: the day number is now 30.
        cal.cbxMes->select(5);
        EXPECT_EQ(cal.dFecha, dateFromYmd(2008, 5, 30));
        cal.cbxMes->select(4);
        key(cal, Qt::Key_Return);
    });
    EXPECT_EQ(got, dateFromYmd(2008, 4, 30));
}

TEST_F(CalendarTest, TheSpinnerChangesTheYearKeepingTheDay) {
    Calendario cal(dateFromYmd(2008, 2, 29));
    Date got = run(cal, [&] {
        cal.dlg.control(103)->widget()->setFocus();
        static_cast<TButton*>(cal.dlg.control(103))->click();
        EXPECT_EQ(cal.nAnio, 2009);
        EXPECT_EQ(yearShown(cal), "2009");
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 2, 28)) << "no 29th in 2009";
        EXPECT_EQ(cal.aSemanas.size(), 5u);
        static_cast<TButton*>(cal.dlg.control(104))->click();
        static_cast<TButton*>(cal.dlg.control(104))->click();
        EXPECT_EQ(yearShown(cal), "2007");
        EXPECT_EQ(cal.dFecha, dateFromYmd(2007, 2, 28));
        static_cast<TButton*>(cal.dlg.control(400))->click();
    });
    EXPECT_EQ(got, dateFromYmd(2007, 2, 28));
}

TEST_F(CalendarTest, AnEmptyCellOfTheFirstWeekTurnsBackToTheMonthBefore) {
    // The 1st of January 2009 is a Thursday: Monday to Wednesday of the first week are empty.
    Calendario cal(dateFromYmd(2009, 1, 15));
    Date got = run(cal, [&] {
        key(cal, Qt::Key_Home);
        for (int i = 0; i < 3; ++i) key(cal, Qt::Key_Left);
        ASSERT_EQ(cal.grid->nAt, 1);
        ASSERT_EQ(cal.grid->nColAct, 1);
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 1, 1)) << "an empty cell left counts as day 0";
        key(cal, Qt::Key_Return);
        EXPECT_TRUE(cal.dlg.window()->isVisible()) << "an empty cell does not close";
        EXPECT_EQ(cal.nMes, 12);
        EXPECT_EQ(cal.nAnio, 2008);
        EXPECT_EQ(monthShown(cal), "Diciembre");
        EXPECT_EQ(yearShown(cal), "2008");
        EXPECT_EQ(cal.dFecha, dateFromYmd(2008, 12, 1));
        EXPECT_EQ(cal.activeDay(), 1);
        // The 31st of December 2008 is a Wednesday: the rest of the last week is empty and
        // turns forward, from December to January of the next year.
        key(cal, Qt::Key_End);
        for (int i = 0; i < 6; ++i) key(cal, Qt::Key_Right);
        ASSERT_EQ(cal.grid->nAt, 5);
        ASSERT_EQ(cal.activeDay(), 0);
        key(cal, Qt::Key_Return);
        EXPECT_EQ(cal.nMes, 1);
        EXPECT_EQ(cal.nAnio, 2009);
        EXPECT_EQ(monthShown(cal), "Enero");
        EXPECT_EQ(yearShown(cal), "2009");
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 1, 1));
        for (int i = 0; i < 3; ++i) key(cal, Qt::Key_Down);
        key(cal, Qt::Key_Return);  // Thursday the 22nd: accepted
    });
    EXPECT_EQ(got, dateFromYmd(2009, 1, 22));
}

TEST_F(CalendarTest, EnterOnAnEmptyCellTurnsThePageAndOnADayAccepts) {
    Calendario cal(dateFromYmd(2009, 2, 10));
    Date got = run(cal, [&] {
        // February 2009 ends on Saturday the 28th: Sunday of the last week is empty.
        int row = 0;
        rowColDate(28, 2, 2009, *cal.grid, row);
        key(cal, Qt::Key_Right);
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 2, 28)) << "the date of the cell left";
        EXPECT_EQ(cal.activeDay(), 0);
        key(cal, Qt::Key_Return);
        EXPECT_EQ(cal.nMes, 3);
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 3, 28));
        key(cal, Qt::Key_Left);
        EXPECT_EQ(cal.activeDay(), 27);
        key(cal, Qt::Key_Return);
    });
    EXPECT_EQ(got, dateFromYmd(2009, 3, 27));
}

TEST_F(CalendarTest, AClickSetsTheCurrentDateAndAnEmptyCellCountsAsTheFirst) {
    Calendario cal(dateFromYmd(2009, 1, 15));
    run(cal, [&] {
        clickCell(cal, 2, 3);  // Wednesday the 7th
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 1, 7));
        clickCell(cal, 1, 2);  // empty
        EXPECT_EQ(cal.dFecha, dateFromYmd(2009, 1, 1));
        key(cal, Qt::Key_Escape);
    });
}

TEST_F(CalendarTest, CancelAndClosingReturnTheGivenDate) {
    const Date start = dateFromYmd(2008, 5, 5);
    {
        Calendario cal(start);
        Date got = run(cal, [&] {
            clickCell(cal, 3, 3);
            static_cast<TButton*>(cal.dlg.control(401))->click();
        });
        EXPECT_EQ(got, start);
        EXPECT_FALSE(cal.lAceptar);
    }
    {
        Calendario cal(start);
        Date got = run(cal, [&] {
            cal.cbxMes->select(7);
            cal.dlg.window()->close();
        });
        EXPECT_EQ(got, start) << "closed from the window";
    }
    // Without arguments, as the program calls it: a dismissed calendar gives today.
    test::whenModal([](QWidget* w) {
        w->setWindowTitle(w->windowTitle());  // the caption is checked below
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(calendario(), today());
}

TEST_F(CalendarTest, TheCaptionIsTheTitleAndTheColumnsTheWeekdays) {
    Calendario cal(dateFromYmd(2008, 5, 5));
    run(cal, [&] {
        EXPECT_EQ(cal.dlg.window()->windowTitle().toStdString(), "Seleccione la Fecha");
        EXPECT_EQ(cal.grid->aHeaders,
                  (std::vector<std::string>{"Lun", "Mar", "Mie", "Jue", "Vie", "Sab", "Dom"}));
        EXPECT_EQ(cal.cbxMes->combo()->count(), 12);
        EXPECT_EQ(cal.cbxMes->combo()->itemText(8).toStdString(), "Septiembre");
        key(cal, Qt::Key_Escape);
    });
}

TEST(CalendarShots, Calendar) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    test::ensureApp();
    Calendario cal(dateFromYmd(2008, 3, 31));
    test::whenModal([&](QWidget* w) {
        QTest::qWait(150);
        EXPECT_TRUE(w->grab().save(QString::fromUtf8(dir) + "/calendario.png"));
        cal.dlg.end(2);
    });
    cal.run();
}

}  // namespace
}  // namespace wv
