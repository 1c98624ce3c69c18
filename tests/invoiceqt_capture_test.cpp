// The invoice screen and its line editor on the screen, driven as the operator drives them over a
// fresh installation; questions are answered by a scripted operator and the printer is replaced
// by one that only records the invoices it was given.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "invoice/capture_qt.h"
#include "invoice/lines_qt.h"
#include "runtime/codepage.h"
#include "tests/data_fixture.h"
#include "tests/ui_fixture.h"
#include "ui/appui.h"
#include "ui/btnget.h"

namespace wv {
namespace {

QLineEdit* field(QWidget* w, int id) {
    return w->findChild<QLineEdit*>(QStringLiteral("get%1").arg(id));
}
QPushButton* button(QWidget* w, int id) {
    return w->findChild<QPushButton*>(QStringLiteral("btn%1").arg(id));
}
std::string shown(QWidget* w, int id) {
    return allTrim(programText(field(w, id)->text()));
}

// A widget entered as with the mouse, so that the dialog does not follow the last key.
void enter(QWidget* widget) {
    widget->setFocus(Qt::MouseFocusReason);
    QTest::qWait(20);
}
// Types into a field from its start and, unless told otherwise, leaves it with Tab.
void type(QWidget* w, int id, const char* text, bool leave = true) {
    QLineEdit* e = field(w, id);
    enter(e);
    QTest::keyClicks(e, text);
    if (!leave) return;
    QTest::keyClick(e, Qt::Key_Tab);
    QTest::qWait(20);  // the validation runs after the focus change
}
// A button pressed from the keyboard: the headless platform does not make a window opened from
// a synthetic mouse click active, and its fields would never see the focus leave them.
void press(QWidget* w, int id) {
    enter(button(w, id));
    QTest::keyClick(button(w, id), Qt::Key_Space);
    QTest::qWait(20);
}

const int kBilling[] = {113, 105, 106, 107, 108, 110};

class InvoiceScreenTest : public test::InstallationTest {
  protected:
    void SetUp() override {
        test::ensureApp();
        oAppUi().createFonts();
        InstallationTest::SetUp();
        registerInvoiceScreens();
        prevPrinter_ = setInvoicePrinter([this](CapturaFactura& c) {
            printed.push_back(c.f.cNumFact);
            // The next cycle, left with Salir.
            test::whenModal([this](QWidget* w) {
                nextCycle = shown(w, 101);
                test::humanClick(button(w, 402));
            });
        });
        withTable("datos/articulo.dbf", [](WorkArea& a) {
            addRow(a, {{"ID", Value("000001")},
                       {"NOMBRE", Value("HABITACION SENCILLA")},
                       {"PRECIO", Value::number(116)},
                       {"IVA", Value::number(16)}});
        });
        withTable("datos/cliente.dbf", [](WorkArea& a) {
            addRow(a, {{"ID", Value("0001")},
                       {"NOMBRE", Value("HOTELERA DEL NORTE")},
                       {"RFC", Value("HNO900101AB1")}});
        });
    }
    void TearDown() override {
        setInvoicePrinter(prevPrinter_);
        InstallationTest::TearDown();
    }

    // A stored invoice of one line, 1 x 116.00 at 16 %, to customer 0001.
    void storedInvoice(const std::string& number, bool cancelled) {
        withTable("datos/facturas.dbf", [&](WorkArea& a) {
            addRow(a, {{"NUMERO", Value(number)},
                       {"FECHA", Value(dateFromYmd(2024, 3, 15))},
                       {"IDCLIENTE", Value("0001")},
                       {"SUBTOTAL", Value::number(100)},
                       {"IVA", Value::number(16)},
                       {"TOTAL", Value::number(116)},
                       {"CANCE", Value(cancelled)}});
        });
        withTable("datos/det_fact.dbf", [&](WorkArea& a) {
            addRow(a, {{"NUMERO", Value(number)},
                       {"IDARTICULO", Value("000001")},
                       {"CONCEPTO1", Value("HABITACION SENCILLA")},
                       {"CANTIDAD", Value::number(1)},
                       {"PRECIO", Value::number(116)},
                       {"IVA", Value::number(16)},
                       {"IMPORTE", Value::number(100)}});
        });
    }

    // A numeric field of every record, in record order.
    std::vector<double> numbers(const std::string& rel, const std::string& name) {
        std::vector<double> out;
        auto t = DbfTable::open(path(rel), {.shared = true, .readOnly = true});
        for (uint32_t r = 1; t && r <= t->recCount(); ++r) {
            t->goTo(r);
            out.push_back(t->get(name).num());
        }
        return out;
    }

    // When the screen cannot be accepted: a failure, and Salir so that it does not open again
    // for nobody.
    static bool acceptable(QWidget* w) {
        if (button(w, 400)->isEnabled()) return true;
        ADD_FAILURE() << "the accept button is disabled";
        test::humanClick(button(w, 402));
        return false;
    }

    std::vector<std::string> printed;
    std::string nextCycle;
    InvoicePrinter prevPrinter_;
};

TEST_F(InvoiceScreenTest, ACapturedInvoiceIsStoredPrintedAndTheNextNumberProposed) {
    bool edited = false;
    test::whenModal([&](QWidget* w) {
        EXPECT_EQ(programText(w->windowTitle()), "Generacion de Facturas de Ventas");
        EXPECT_EQ(shown(w, 101), "0000000001");
        EXPECT_FALSE(button(w, 400)->isEnabled());
        type(w, 104, "0001");
        EXPECT_EQ(shown(w, 113), "HOTELERA DEL NORTE");
        EXPECT_FALSE(field(w, 113)->isEnabled());
        EXPECT_FALSE(button(w, 400)->isEnabled());  // no lines yet
        type(w, 116, "12");
        type(w, 117, "2");
        type(w, 114, "grupo escolar");

        // A line through the editor: the article's price and rate, two units.
        test::whenModal(
            [&](QWidget* ed) {
                edited = true;
                EXPECT_EQ(programText(ed->windowTitle()),
                          "Detalle de Movimientos de Conceptos de Facturas");
                type(ed, 101, "000001");
                EXPECT_EQ(shown(ed, 102), "HABITACION SENCILLA");
                EXPECT_EQ(shown(ed, 104), "116.00");
                for (int id : {105, 106, 107, 205, 206, 207, 108})
                    EXPECT_FALSE(field(ed, id)->isEnabled()) << id;
                type(ed, 103, "2");
                EXPECT_EQ(shown(ed, 108), "232.00");
                EXPECT_EQ(shown(ed, 205), "32.00");
                test::humanClick(button(ed, 400));
            },
            w);
        press(w, 403);
        if (acceptable(w)) test::humanClick(button(w, 400));
    });
    fCapFact(1);

    EXPECT_TRUE(edited);
    EXPECT_EQ(printed, std::vector<std::string>{"0000000001"});
    EXPECT_EQ(nextCycle, "0000000002");
    EXPECT_EQ(workspace().areaOf("FACTURAS"), 0);  // Salir closed the screen's tables
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"), std::vector<std::string>{"0000000001"});
    EXPECT_EQ(column("datos/facturas.dbf", "IDCLIENTE"), std::vector<std::string>{"0001"});
    EXPECT_EQ(column("datos/facturas.dbf", "HABITACION"), std::vector<std::string>{"12"});
    EXPECT_EQ(column("datos/facturas.dbf", "COME1"), std::vector<std::string>{"GRUPO ESCOLAR"});
    EXPECT_EQ(numbers("datos/facturas.dbf", "PERSONAS"), std::vector<double>{2});
    EXPECT_EQ(numbers("datos/facturas.dbf", "TOTAL"), std::vector<double>{232});
    EXPECT_EQ(column("datos/det_fact.dbf", "NUMERO"), std::vector<std::string>{"0000000001"});
    EXPECT_EQ(column("datos/det_fact.dbf", "IDARTICULO"), std::vector<std::string>{"000001"});
    EXPECT_EQ(numbers("datos/det_fact.dbf", "CANTIDAD"), std::vector<double>{2});
    EXPECT_EQ(numbers("datos/det_fact.dbf", "IVA"), std::vector<double>{32});
    EXPECT_EQ(numbers("datos/det_fact.dbf", "IMPORTE"), std::vector<double>{200});
}

TEST_F(InvoiceScreenTest, NumberCustomerAndLinesDecideWhatTheCaptureOffers) {
    storedInvoice("0000000005", false);
    CapturaFactura cap(1);
    ASSERT_TRUE(cap.open());
    cap.newCycle();
    CapturaWindow window(cap);
    test::whenModal([&](QWidget* w) {
        for (int id : kBilling) EXPECT_FALSE(field(w, id)->isEnabled()) << id;

        // The date's button opens the calendar on the invoice's date, and the day accepted
        // there comes back to the field.
        cap.f.dFecha = dateFromYmd(2024, 3, 13);  // a Wednesday
        window.refresh();
        auto* date = dynamic_cast<TBtnGet*>(window.dlg.control(102));
        ASSERT_TRUE(date);
        test::whenModal(
            [&](QWidget* c) {
                QTest::keyClick(c->focusWidget(), Qt::Key_Right);
                QTest::keyClick(c->focusWidget(), Qt::Key_Return);
            },
            w);
        test::humanClick(date->button());
        QTest::qWait(20);
        EXPECT_EQ(cap.f.dFecha, dateFromYmd(2024, 3, 14));
        EXPECT_NE(shown(w, 102).find("14/03"), std::string::npos) << shown(w, 102);

        // A number already stored is refused and the field keeps the focus.
        type(w, 101, "0000000005");
        EXPECT_EQ(op_.shown.back().text,
                  "El numero de Factura que Introdujo ya existe en el Sistema, Verifique...");
        EXPECT_TRUE(field(w, 101)->hasFocus());
        type(w, 101, "b000000007");
        EXPECT_EQ(cap.f.cNumFact, "B000000007");

        // A line alone does not make an invoice: the customer is missing.
        LineaFactura l;
        l.cIdArtic = "000001";
        l.nPrecioU = 116;
        l.nPorcIVA = 16;
        l.calcula();
        cap.f.addLine(l);
        window.refresh();
        EXPECT_FALSE(button(w, 400)->isEnabled());
        std::vector<std::string> footers = window.brw->footers();
        ASSERT_EQ(footers.size(), 5u);
        EXPECT_EQ(footers[3], "SubTotal:\r\nDescuento:\r\nI.V.A.:\r\nHospedaje:\r\nTotal:");
        EXPECT_EQ(footers[4], cap.f.footerValues());
        EXPECT_NE(footers[4].find("116.00"), std::string::npos);

        // F2 in the customer field opens the customer catalogue; the focus comes back.
        enter(field(w, 104));
        bool catalogue = false;
        test::whenModal(
            [&](QWidget* c) {
                catalogue = true;
                EXPECT_EQ(programText(c->windowTitle()), "Catalogo de: Clientes");
                op_.answers = {1};  // "Desea cerrar el catalogo"
                QTest::keyClick(c->focusWidget(), Qt::Key_Escape);
            },
            w);
        QTest::keyClick(field(w, 104), Qt::Key_F2);
        QTest::qWait(20);
        EXPECT_TRUE(catalogue);
        EXPECT_TRUE(field(w, 104)->hasFocus());

        // The occasional customer's billing data is typed and kept.
        type(w, 104, "9999");
        for (int id : kBilling) EXPECT_TRUE(field(w, id)->isEnabled()) << id;
        type(w, 113, "juan perez");
        type(w, 108, "64000");
        EXPECT_EQ(allTrim(cap.f.cNombre), "JUAN PEREZ");
        EXPECT_EQ(cap.f.cCp, "64000");
        EXPECT_TRUE(button(w, 400)->isEnabled());

        // Del takes the highlighted line out, and its totals, also after the arrow tried to go
        // past the last line; the removal is asked first, over read-only fields.
        enter(window.brw->view());
        QTest::keyClick(window.brw->view(), Qt::Key_Down);
        bool asked = false;
        test::whenModal(
            [&](QWidget* ed) {
                asked = true;
                for (int id : {101, 102, 103, 104, 105, 106, 107})
                    EXPECT_FALSE(field(ed, id)->isEnabled()) << id;
                op_.answers = {1};
                test::humanClick(button(ed, 400));
            },
            w);
        press(w, 404);
        EXPECT_TRUE(asked);
        EXPECT_EQ(op_.shown.back().text, "Desea borrar este registro ?");
        EXPECT_EQ(cap.f.lineCount(), 0);
        EXPECT_FALSE(button(w, 400)->isEnabled());
        EXPECT_EQ(window.brw->footers()[4], Factura().footerValues());

        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
    });
    EXPECT_EQ(window.run(), 2);  // Escape is Cancelar

    CapturaWindow again(cap);
    test::whenModal([&](QWidget* w) { test::humanClick(button(w, 402)); });
    EXPECT_EQ(again.run(), 0);  // Salir
}

TEST_F(InvoiceScreenTest, QueryLoadsAStoredInvoiceShowsItsCancelledMarkAndReprints) {
    storedInvoice("0000000005", true);
    storedInvoice("0000000006", false);
    test::whenModal([&](QWidget* w) {
        auto* cancelled = w->findChild<QLabel*>("lbl120");
        ASSERT_TRUE(cancelled);
        EXPECT_EQ(programText(button(w, 400)->text()), "&Re-Imprimir \nFactura ");
        for (int id : {102, 116, 117, 104, 113, 114, 115})
            EXPECT_FALSE(field(w, id)->isEnabled()) << id;
        for (int id : {403, 404}) EXPECT_FALSE(button(w, id)->isEnabled()) << id;
        EXPECT_EQ(cancelled->text(), "");

        type(w, 101, "0000000005");
        EXPECT_EQ(cancelled->text(), "CANCELADA");
        EXPECT_EQ(shown(w, 113), "HOTELERA DEL NORTE");
        EXPECT_EQ(shown(w, 105), "HNO900101AB1");
        EXPECT_EQ(shown(w, 102), dtoc(dateFromYmd(2024, 3, 15)));
        type(w, 101, "0000000006");
        EXPECT_EQ(cancelled->text(), "");
        op_.answers = {1};  // "Desea re-imprimir la Factura ?"
        if (acceptable(w)) test::humanClick(button(w, 400));
    });
    fCapFact(2);
    EXPECT_EQ(op_.shown.back().text, "Desea re-imprimir la Factura ?");
    EXPECT_EQ(printed, std::vector<std::string>{"0000000006"});
}

TEST_F(InvoiceScreenTest, TheLineEditorRefusesAZeroPriceAndComputesTheLineOnAceptar) {
    CapturaFactura cap(1);
    ASSERT_TRUE(cap.open());
    cap.newCycle();
    EditorLinea e(cap, 1);
    LineaWindow window(e);
    test::whenModal([&](QWidget* w) {
        // No code: the article list opens and is dismissed; the line is a free concept. The
        // concept is typed once the list is gone (a loaded machine may show it late).
        bool listed = false;
        test::whenModal(
            [&](QWidget* list) {
                listed = true;
                QTest::keyClick(list->focusWidget(), Qt::Key_Escape);
            },
            w);
        enter(field(w, 102));
        for (int i = 0; i < 250 && !listed; ++i) QTest::qWait(20);
        EXPECT_TRUE(listed);
        type(w, 102, "servicio de lavanderia");
        type(w, 104, "0");
        EXPECT_EQ(op_.shown.back().what, "stop");
        EXPECT_EQ(op_.shown.back().text, "Es necesario un valor mayor a 0, verifique...");
        EXPECT_TRUE(field(w, 104)->hasFocus());
        type(w, 104, "119");
        type(w, 105, "16");
        type(w, 106, "3");
        EXPECT_EQ(shown(w, 205), "16.00");
        EXPECT_EQ(shown(w, 206), "3.00");
        EXPECT_EQ(shown(w, 108), "119.00");
        type(w, 107, "10");
        // A quantity typed and Aceptar pressed at once: the line is computed for it.
        type(w, 103, "2", false);
        test::humanClick(button(w, 400));
    });
    EXPECT_TRUE(window.run());
    ASSERT_EQ(cap.f.lineCount(), 1);
    LineaFactura l = cap.f.line(1);
    EXPECT_EQ(allTrim(l.cIdArtic), "");
    EXPECT_EQ(allTrim(l.cArticul), "SERVICIO DE LAVANDERIA");
    EXPECT_DOUBLE_EQ(l.nCant, 2);
    EXPECT_DOUBLE_EQ(l.nIVA, 32);
    EXPECT_DOUBLE_EQ(l.nHospeda, 6);
    EXPECT_DOUBLE_EQ(l.nPorcDes, 10);
    EXPECT_DOUBLE_EQ(l.nDescto, 0);
    EXPECT_DOUBLE_EQ(l.nImporte, 200);
    EXPECT_DOUBLE_EQ(cap.f.nTotal, 238);
}

// A picture of the query screen with a stored invoice, for a person to look at
// (WV_UI_SHOTS=DIR).
TEST_F(InvoiceScreenTest, ShotsOfTheQueryScreen) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    storedInvoice("0000000041", false);
    test::whenModal([&](QWidget* w) {
        type(w, 101, "0000000041");
        QTest::qWait(150);
        EXPECT_TRUE(w->grab().save(QString::fromUtf8(dir) + "/factura.png"));
        test::humanClick(button(w, 402));
    });
    fCapFact(2);
}

}  // namespace
}  // namespace wv
