// Dialogs from the resources with their controls, driven through the real widgets: the
// validation when the focus leaves a field, closing, binding errors and typing by picture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "runtime/date.h"
#include "test_support.h"
#include "ui/dialog.h"
#include "ui/units.h"
#include "ui_fixture.h"

namespace wv {
namespace {

using test::cp;
using test::whenModal;

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp(); }
};

// DLG_PRUEBA with its name field validated by `valid`, OK (400) ending with 1 and a cancel
// button (401) ending with 2.
struct Form {
    explicit Form(std::function<bool(TGet&)> valid)
        : dlg("DLG_PRUEBA"),
          name(dlg.redefineGet(101, setGet(nombre), {.picture = "@!", .valid = std::move(valid)})),
          date(dlg.redefineGet(102, setGet(fecha), {.picture = "@D"})),
          ok(dlg.redefineButton(400, [this] {
              ++okRuns;
              dlg.end(1);
          })),
          cancel(dlg.redefineButton(401, [this] { dlg.end(2); }, {.cancel = true})) {}

    std::string nombre = std::string(20, ' ');
    Date fecha;
    int okRuns = 0;
    TDialog dlg;
    TGet& name;
    TGet& date;
    TButton& ok;
    TButton& cancel;
};

TEST_F(DialogTest, ClickingCancelSkipsTheFieldsValidation) {
    int valids = 0;
    Form f([&](TGet&) { ++valids; return false; });
    whenModal([&](QWidget*) {
        QTest::keyClicks(f.name.edit(), "x");
        test::humanClick(f.cancel.button());
    });
    f.dlg.activate([&] { f.name.setFocus(); });
    EXPECT_EQ(f.dlg.nResult, 2);
    EXPECT_EQ(valids, 0);
    EXPECT_EQ(f.nombre.substr(0, 1), "X") << "the field was still assigned when left";
}

TEST_F(DialogTest, TabbingToCancelValidatesAndARefusalTakesTheFocusBack) {
    int valids = 0;
    Form f([&](TGet&) { ++valids; return false; });
    whenModal([&](QWidget* w) {
        // Shift+Tab from the first field wraps round to the last button, Cancel.
        QTest::keyClick(f.name.edit(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::qWait(20);
        EXPECT_EQ(valids, 1);
        EXPECT_TRUE(f.name.hasFocus());
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(f.dlg.nLastKey, 0) << "a refusal clears the last key";
        f.dlg.end(3);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
    EXPECT_EQ(f.dlg.nResult, 3);
}

TEST_F(DialogTest, AValidationThatTellsTheOperatorWhy) {
    QString told;
    int valids = 0;
    Form f([&](TGet&) {
        ++valids;
        msgStop("Imposible duplicar codigo, verifique o cambie...");
        return false;
    });
    whenModal([&](QWidget* w) {
        whenModal([&](QWidget* box) {
            told = box->findChild<QLabel*>("qt_msgbox_label")->text();
            QTest::keyClick(box, Qt::Key_Return);
        }, w);
        QTest::keyClick(f.name.edit(), Qt::Key_Tab);
        QTest::qWait(100);
        EXPECT_EQ(valids, 1) << "the field the focus went to was not validated meanwhile";
        EXPECT_TRUE(f.name.hasFocus());
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
    EXPECT_EQ(told, "Imposible duplicar codigo, verifique o cambie...");
}

TEST_F(DialogTest, ARefusedFieldStopsTheClickOfAnotherButton) {
    bool accept = false;
    int valids = 0;
    Form f([&](TGet&) { ++valids; return accept; });
    whenModal([&](QWidget*) {
        test::humanClick(f.ok.button());
        EXPECT_EQ(valids, 1);
        EXPECT_EQ(f.okRuns, 0);
        EXPECT_TRUE(f.name.hasFocus());
        // A click whose press and release come together: the validation runs first all the same.
        QTest::mouseClick(f.ok.button(), Qt::LeftButton);
        EXPECT_EQ(valids, 2);
        EXPECT_EQ(f.okRuns, 0);
        accept = true;
        QTest::mouseClick(f.ok.button(), Qt::LeftButton);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
    EXPECT_EQ(valids, 3);
    EXPECT_EQ(f.okRuns, 1);
    EXPECT_EQ(f.dlg.nResult, 1);
}

TEST_F(DialogTest, AnAcceptedFieldMovesOnAsTheKeySaid) {
    Form f([](TGet&) { return true; });
    // The date is enabled only once there is a name: Tab skips it at first, then the
    // validation of the name enables it and the focus comes back to it.
    f.date.bWhen = [&] { return f.nombre.find_first_not_of(' ') != std::string::npos; };
    whenModal([&](QWidget*) {
        EXPECT_FALSE(f.date.isEnabled());
        QTest::keyClicks(f.name.edit(), "ana");
        QTest::keyClick(f.name.edit(), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_TRUE(f.date.isEnabled());
        EXPECT_TRUE(f.date.hasFocus());
        QTest::keyClick(f.date.edit(), Qt::Key_Up);
        QTest::qWait(20);
        EXPECT_TRUE(f.name.hasFocus());
        QTest::keyClick(f.name.edit(), Qt::Key_Return);
        QTest::qWait(20);
        EXPECT_TRUE(f.date.hasFocus());
        f.dlg.end(1);
    });
    f.dlg.activate([&] { f.name.setFocus(); });
    EXPECT_EQ(f.nombre, "ANA" + std::string(17, ' '));
}

TEST_F(DialogTest, EndIsRefusedWhileValidSaysNo) {
    Form f([](TGet&) { return true; });
    bool allow = false;
    int asked = 0;
    whenModal([&](QWidget* w) {
        EXPECT_FALSE(f.dlg.end(1));
        EXPECT_TRUE(w->isVisible());
        w->close();  // the close box
        QTest::keyClick(f.name.edit(), Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(asked, 3);
        allow = true;
        EXPECT_TRUE(f.dlg.end(1));
    });
    EXPECT_EQ(f.dlg.activate({}, [&] { ++asked; return allow; }), 1);

    // A dialog whose bWhen says no is not shown.
    TDialog hidden("DLG_PRUEBA");
    EXPECT_EQ(hidden.activate({}, {}, [] { return false; }), 2);
}

TEST_F(DialogTest, BindingAndResourceErrors) {
    test::ErrorRecorder errors;
    TDialog dlg("DLG_PRUEBA");
    std::string a, b;
    dlg.redefineGet(101, setGet(a));
    TGet& twice = dlg.redefineGet(101, setGet(b));
    ASSERT_EQ(errors.errors.size(), 1u);
    EXPECT_EQ(errors.errors[0].description, "No:    101");
    EXPECT_EQ(twice.widget(), nullptr);
    EXPECT_EQ(dlg.control(101)->widget(), dlg.window()->findChild<QLineEdit*>("get101"));

    dlg.redefineGet(999, setGet(a));
    EXPECT_EQ(errors.errors.back().description, "Control:    999");
    dlg.redefineCheckBox(102, setGet(a));  // a line edit, not a check box
    EXPECT_EQ(errors.errors.size(), 3u);
    EXPECT_EQ(dlg.aControls().size(), 4u);

    errors.clear();
    TDialog missing("DLG_NO_EXISTE");
    ASSERT_EQ(errors.errors.size(), 1u);
    EXPECT_EQ(errors.errors[0].description, "Resource: DLG_NO_EXISTE");
    EXPECT_FALSE(missing.loaded());
    missing.redefineGet(101, setGet(a));
    EXPECT_EQ(errors.errors.size(), 1u) << "nothing more to report on an empty dialog";
    EXPECT_EQ(missing.activate(), 2);
}

TEST_F(DialogTest, TypingByPicture) {
    test::BeepCounter op;
    std::string nombre(10, ' ');
    Date fecha;
    double importe = 0;
    TDialog dlg("DLG_PRUEBA");
    TGet& name = dlg.redefineGet(101, setGet(nombre), {.picture = "@!"});
    TGet& date = dlg.redefineGet(102, setGet(fecha), {.picture = "@D"});
    TGet& amount = dlg.redefineGet(103, setGet(importe), {.picture = "999,999.99"});
    whenModal([&](QWidget*) {
        test::typeText(name.edit(), QString::fromUtf8("año 1"));
        EXPECT_EQ(name.edit()->text(), QString::fromUtf8("AÑO 1     "));
        QTest::keyClick(name.edit(), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_EQ(nombre, cp("AÑO 1     "));

        ASSERT_TRUE(date.hasFocus());
        QTest::keyClicks(date.edit(), "310208");
        EXPECT_EQ(date.edit()->text(), "31/02/08");
        QTest::keyClick(date.edit(), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_EQ(op.beeps, 1);
        EXPECT_TRUE(date.hasFocus()) << "an impossible date keeps the focus";
        EXPECT_TRUE(fecha.empty());
        QTest::keyClick(date.edit(), Qt::Key_Home);
        QTest::keyClicks(date.edit(), "29");
        QTest::keyClick(date.edit(), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_EQ(fecha, dateFromYmd(2008, 2, 29));

        ASSERT_TRUE(amount.hasFocus());
        QTest::keyClicks(amount.edit(), "1234.5x");
        EXPECT_EQ(amount.edit()->text(), "  1,234.50");
        EXPECT_TRUE(amount.edit()->alignment() & Qt::AlignRight);
        QTest::keyClick(amount.edit(), Qt::Key_Tab);
        QTest::qWait(20);
        EXPECT_DOUBLE_EQ(importe, 1234.5);
        EXPECT_EQ(op.beeps, 1);
        dlg.end(1);
    });
    dlg.activate([&] { name.setFocus(); });
}

TEST_F(DialogTest, UpdateRereadsTheControlsThatAskForIt) {
    std::string nombre = "UNO       ", otro = "DOS       ";
    double importe = 1234.5;
    int pago = 2, changes = 0;
    bool cancelada = false;
    TDialog dlg("DLG_PRUEBA");
    TGet& name = dlg.redefineGet(101, setGet(nombre), {.update = true});
    TGet& other = dlg.redefineGet(102, setGet(otro));
    TSay& say = dlg.redefineSay(201, [&] { return Value::number(importe); },
                                {.picture = "999,999.99", .text = 128, .update = true});
    TComboBox& combo = dlg.redefineComboBox(107, setGet(pago), {"Efectivo", "Tarjeta", "Vale"},
                                            {.change = [&](TComboBox&) { ++changes; }});
    TCheckBox& check = dlg.redefineCheckBox(106, setGet(cancelada));

    EXPECT_EQ(say.text(), "  1,234.50");
    EXPECT_EQ(say.label()->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    EXPECT_EQ(combo.combo()->currentIndex(), 1);
    EXPECT_EQ(combo.nAt, 2);

    nombre = "TRES      ";
    otro = "CUATRO    ";
    importe = 7;
    dlg.update();
    EXPECT_EQ(name.edit()->text(), "TRES      ");
    EXPECT_EQ(other.edit()->text(), "DOS       ") << "not marked for update";
    EXPECT_EQ(say.text(), "      7.00");

    combo.select(3);
    EXPECT_EQ(pago, 3);
    EXPECT_EQ(changes, 1);
    check.box()->click();
    EXPECT_TRUE(cancelada);

    // A combo over a text holds the item's text.
    std::string forma = "Tarjeta";
    TDialog dlg2("DLG_PRUEBA");
    TComboBox& byText = dlg2.redefineComboBox(107, setGet(forma), {"Efectivo", "Tarjeta"});
    EXPECT_EQ(byText.nAt, 2);
    byText.select(1);
    EXPECT_EQ(forma, "Efectivo");
}

TEST_F(DialogTest, LayoutTextsAndNestedDialogs) {
    std::string nombre(10, ' ');
    TDialog outer("DLG_PRUEBA");
    outer.setMessageBar("");
    TGet& name = outer.redefineGet(101, setGet(nombre), {.msg = "Nombre del cliente"});
    name.setToolTip("Introduzca el Nombre");
    TButtonBmp& ok = outer.redefineButtonBmp(
        400, [] {}, {.caption = "A&ceptar "},
        {.bitmap = "PRUEBA_OK", .toolTip = "Presione para Continuar"});
    int inner = 0;
    outer.redefineButton(401, [&] {
        TDialog nested("DLG_PRUEBA");
        whenModal(
            [&](QWidget* w) {
                EXPECT_EQ(w, nested.window());
                EXPECT_EQ(w->parentWidget(), outer.window()) << "modal over its opener";
                nested.end(1);
            },
            outer.window());
        inner = nested.activate();
    });

    // The layout is in dialog units of MS Sans Serif 8 pt.
    QLineEdit* edit = outer.window()->findChild<QLineEdit*>("get101");
    EXPECT_EQ(edit->geometry(), dialogUnitsToPixels(QRect(58, 16, 160, 12)));

    whenModal([&](QWidget*) {
        EXPECT_EQ(outer.messageBar()->currentMessage(), "Nombre del cliente");
        EXPECT_EQ(edit->toolTip(), "Introduzca el Nombre");
        EXPECT_EQ(ok.button()->text(), "A&ceptar ");
        EXPECT_FALSE(ok.button()->icon().isNull());
        EXPECT_EQ(ok.button()->toolTip(), "Presione para Continuar");
        outer.control(401)->widget()->setFocus();
        EXPECT_EQ(outer.messageBar()->currentMessage(), "");
        static_cast<QPushButton*>(outer.control(401)->widget())->click();
        EXPECT_EQ(inner, 1);
        outer.end(1);
    });
    outer.activate([&] { name.setFocus(); });
    EXPECT_EQ(outer.nResult, 1);
}

}  // namespace
}  // namespace wv
