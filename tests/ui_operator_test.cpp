// The standard message boxes, the timed notice, the alert and the progress box on the screen.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "runtime/operator.h"
#include "ui_fixture.h"

namespace wv {
namespace {

using test::cp;
using test::whenModal;

class OperatorTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp(); }
};

QMessageBox* messageBox(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    EXPECT_NE(box, nullptr);
    return box;
}

TEST_F(OperatorTest, QuestionsAndTheirDefaultButtons) {
    whenModal([](QWidget* w) {
        QMessageBox* box = messageBox(w);
        if (!box) return;
        EXPECT_EQ(box->windowTitle(), "Select an option");
        EXPECT_EQ(box->text(), QString::fromUtf8("¿Seguimos?"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QString::fromUtf8("&Sí"));
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(msgYesNo(cp("¿Seguimos?")));

    whenModal([](QWidget* w) {
        QMessageBox* box = messageBox(w);
        if (!box) return;
        EXPECT_EQ(box->windowTitle(), "Hotel");
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(msgNoYes("Borrar la factura", std::string("Hotel")));

    // Enter takes the default button; Esc answers "No".
    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    EXPECT_TRUE(msgYesNo("Esperar?"));
    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    EXPECT_FALSE(msgNoYes("Salir?"));
    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_FALSE(msgYesNo("Esperar?"));
}

TEST_F(OperatorTest, NoticesWithTheirIconsAndTexts) {
    struct Case {
        std::function<void()> show;
        const char* title;
        const char* text;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {[] { msgInfo(Value::number(15.7)); }, "Information", "15", QMessageBox::Information},
        {[] { msgAlert(Value(true)); }, "Alert", ".T.", QMessageBox::Warning},
        {[] { msgStop(Value(), std::string("Hotel")); }, "Hotel", "nil", QMessageBox::Critical},
    };
    for (const Case& c : cases) {
        whenModal([&c](QWidget* w) {
            QMessageBox* box = messageBox(w);
            if (!box) return;
            EXPECT_EQ(box->windowTitle(), c.title);
            EXPECT_EQ(box->text(), c.text);
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        });
        c.show();
    }
}

TEST_F(OperatorTest, AlertReturnsTheOptionOrZeroWhenClosed) {
    auto buttonsOf = [](QWidget* w) { return w->findChildren<QPushButton*>(); };
    whenModal([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Hotel");
        auto buttons = buttonsOf(w);
        ASSERT_EQ(buttons.size(), 2);
        EXPECT_EQ(buttons[0]->text(), "&Uno");
        EXPECT_EQ(QApplication::focusWidget(), buttons[1]) << "the default option has the focus";
        w->close();  // the close box
    });
    EXPECT_EQ(alert("Texto", {"&Uno", "&Dos"}, std::string("Hotel"), 2), 0);

    whenModal([&](QWidget* w) { buttonsOf(w).at(1)->click(); });
    EXPECT_EQ(alert("Texto", {"&Uno", "&Dos"}), 2);

    // Defaults: one "&OK", the title "Attention"; lines of at most 254 characters.
    std::string longLine(300, 'a');
    whenModal([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Attention");
        auto buttons = buttonsOf(w);
        ASSERT_EQ(buttons.size(), 1);
        EXPECT_EQ(buttons[0]->text(), "&OK");
        QLabel* label = w->findChild<QLabel*>();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), "Uno\n" + QString(254, 'a') + "\n" + QString(46, 'a'));
        QTest::keyClick(w, Qt::Key_Return);
    });
    EXPECT_EQ(alert("Uno\r\n" + longLine), 1);
}

TEST_F(OperatorTest, WaitClosesByItself) {
    QElapsedTimer clock;
    clock.start();
    whenModal([](QWidget* w) {
        EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint) << "no caption bar without a title";
        EXPECT_EQ(w->findChild<QLabel*>()->text(), "Un momento...");
        w->close();
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        QTest::qWait(500);
    });
    msgWait("Un momento...", "", 0.3);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(OperatorTest, ProgressRunsTheWorkAndCancels) {
    // Finished work closes the box; nothing was cancelled.
    uint32_t last = 0;
    EXPECT_FALSE(msgProgress(
        [&](Progress& p) {
            p.setRange(10);
            for (uint32_t i = 1; i <= 10; ++i) {
                p.setPosition(i);
                p.processEvents();
                last = i;
            }
        },
        "", "Hotel"));
    EXPECT_EQ(last, 10u);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // The operator tries to close the box, then presses "Cancelar", while the work runs.
    QString text, tip;
    bool stayed = false;
    bool cancelled = msgProgress(
        [&](Progress& p) {
            p.setRange(1000000);
            QTimer::singleShot(30, [&] {
                QWidget* w = QApplication::activeModalWidget();
                if (!w) return;
                text = w->findChild<QLabel*>()->text();
                w->close();
                QTest::keyClick(w, Qt::Key_Escape);
                stayed = w->isVisible();
                auto* cancel = w->findChild<QPushButton*>();
                tip = cancel->toolTip();
                EXPECT_EQ(cancel->text(), "&Cancelar");
                cancel->click();
            });
            QElapsedTimer clock;
            clock.start();
            for (uint32_t i = 0; !p.finished() && clock.elapsed() < 5000; ++i) {
                p.setPosition(i % 1000000);
                p.processEvents();
            }
        },
        "INDEXANDO: CLIENTE.DBF", "Hotel");
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(stayed) << "the box cannot be closed while the work runs";
    EXPECT_EQ(text, "INDEXANDO: CLIENTE.DBF");
    EXPECT_EQ(tip, "Presione para Cancelar");
}

}  // namespace
}  // namespace wv
