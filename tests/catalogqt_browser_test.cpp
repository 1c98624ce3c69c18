// The catalogue browser, the lookup list and the record forms on the screen, driven as the
// operator drives them; questions are answered by a scripted operator.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QPushButton>

#include "catalog/browser_qt.h"
#include "catalog/catalogo.h"
#include "catalog/forms_qt.h"
#include "catalog/lookup_qt.h"
#include "data/netuse.h"
#include "runtime/codepage.h"
#include "tests/data_fixture.h"
#include "tests/ui_fixture.h"
#include "ui/appui.h"

namespace wv {
namespace {

class CatalogScreenTest : public test::InstallationTest {
protected:
    void SetUp() override {
        test::ensureApp();
        oAppUi().createFonts();
        InstallationTest::SetUp();
        registerCatalogScreens();
        oApp().cNivel = "A";
    }
    void TearDown() override {
        oApp().cNivel = "";
        InstallationTest::TearDown();
    }
    void customers(const std::vector<std::pair<std::string, std::string>>& rows) {
        withTable("datos/cliente.dbf", [&](WorkArea& a) {
            for (const auto& [id, name] : rows)
                addRow(a, {{"ID", Value(id)}, {"NOMBRE", Value(name)}});
        });
    }
    static bool enabled(XCatalogo& x, int id) { return x.dlg.control(id)->isEnabled(); }
    static QAbstractScrollArea* grid(XCatalogo& x) { return x.brw->view(); }
    static std::string label(XCatalogo& x, int id) {
        return static_cast<TSay*>(x.dlg.control(id))->text();
    }
};

TEST_F(CatalogScreenTest, AnEmptyCatalogueOffersOnlyAddPrintAndExit) {
    ASSERT_TRUE(netUse("CLIENTE", false, "CLIENTE", oApp().xDatos));
    XCatalogo x("CLIENTE", catalogActions("CLIENTE"));
    test::whenModal([&](QWidget*) {
        EXPECT_EQ(x.brw->footers(), (std::vector<std::string>{"", "0 Reg(s)"}));
        for (int id : {201, 206, 207}) EXPECT_TRUE(enabled(x, id)) << id;
        for (int id : {202, 203, 204, 205}) EXPECT_FALSE(enabled(x, id)) << id;
        op_.answers = {1};
        x.dlg.end();
    });
    x.run();
}

TEST_F(CatalogScreenTest, LevelBConsultsAddsAndPrintsOnly) {
    customers({{"0001", "UNO"}});
    oApp().cNivel = "B";
    ASSERT_TRUE(netUse("CLIENTE", false, "CLIENTE", oApp().xDatos));
    XCatalogo x("CLIENTE", catalogActions("CLIENTE"));
    test::whenModal([&](QWidget*) {
        for (int id : {201, 202, 206, 207}) EXPECT_TRUE(enabled(x, id)) << id;
        for (int id : {203, 204, 205}) EXPECT_FALSE(enabled(x, id)) << id;
        EXPECT_EQ(x.brw->footers()[1], "1 Reg(s)");
        op_.answers = {1};
        x.dlg.end();
    });
    x.run();
}

TEST_F(CatalogScreenTest, SearchOrderSwitchAndTheCloseQuestion) {
    customers({{"0001", "BENITEZ"}, {"0002", "ABARCA"}, {"0003", "ABEL"}, {"0004", "ZAMORA"}});
    ASSERT_TRUE(netUse("CLIENTE", false, "CLIENTE", oApp().xDatos));
    WorkArea* a = workspace().area("CLIENTE");
    XCatalogo x("CLIENTE", catalogActions("CLIENTE"));
    test::whenModal([&](QWidget* w) {
        EXPECT_EQ(programText(w->windowTitle()), "Catalogo de: Clientes");
        QTest::mouseClick(grid(x)->viewport(), Qt::LeftButton, {},
                          x.brw->cellRect(0, 2).center());
        EXPECT_EQ(a->order(), 2);
        EXPECT_EQ(programText(w->windowTitle()),
                  "Listado de: Clientes: Ordenando por: NOMBRE");
        EXPECT_EQ(x.brw->aHeaders, (std::vector<std::string>{"codigo", "NOMBRE"}));
        EXPECT_EQ(allTrim(label(x, 102)), "NOMBRE");
        QTest::keyClicks(grid(x), "abe");
        EXPECT_EQ(allTrim(a->get("NOMBRE").text()), "ABEL");
        EXPECT_EQ(allTrim(label(x, 101)), "ABE");
        // Past the last name: the grid stays and beeps.
        QTest::keyClick(grid(x), Qt::Key_Home);
        QTest::keyClicks(grid(x), "zz");
        EXPECT_EQ(allTrim(a->get("NOMBRE").text()), "ZAMORA");
        EXPECT_EQ(op_.shown.back().what, "beep");
        QTest::mouseClick(grid(x)->viewport(), Qt::LeftButton, {},
                          x.brw->cellRect(0, 1).center());
        EXPECT_EQ(x.brw->cBuffer, "");
        EXPECT_EQ(allTrim(label(x, 101)), "");
        EXPECT_EQ(allTrim(a->get("ID").text()), "0001");

        // Escape asks; "No" keeps the browser as it was.
        op_.answers = {0};
        QTest::keyClick(grid(x), Qt::Key_Escape);
        QTest::qWait(20);
        ASSERT_TRUE(w->isVisible());
        EXPECT_EQ(op_.shown.back().text, "Desea cerrar el catalogo de: Clientes");
        op_.answers = {1};
        test::humanClick(static_cast<TButton*>(x.dlg.control(207))->button());
    });
    x.run();
    EXPECT_EQ(op_.shown.back().what, "yesno");
}

TEST_F(CatalogScreenTest, OpenedByACallerTheTableStaysOpenOnTheLastRow) {
    customers({{"0001", "UNO"}, {"0002", "DOS"}, {"0003", "TRES"}});
    ASSERT_TRUE(netUse("CLIENTE", false, "CLIENTE", oApp().xDatos));
    const int area = workspace().current();
    test::whenModal([&](QWidget* w) {
        QWidget* g = w->focusWidget();
        ASSERT_TRUE(g);
        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Down);
        op_.answers = {1};
        QTest::keyClick(g, Qt::Key_Escape);
    });
    catalogo("CLIENTE", true);
    ASSERT_EQ(workspace().areaOf("CLIENTE"), area);
    EXPECT_EQ(allTrim(workspace().area(area)->get("ID").text()), "0003");

    // Opened from the menu, it closes what it opened.
    test::whenModal([&](QWidget*) {
        op_.answers = {1};
        test::humanClick(static_cast<QPushButton*>(
            QApplication::activeModalWidget()->findChild<QPushButton*>("btn207")));
    });
    workspace().closeAll();
    catalogo("CLIENTE", false, oApp().xDatos);
    EXPECT_EQ(workspace().areaOf("CLIENTE"), 0);
}

TEST_F(CatalogScreenTest, TheLookupOpensInCodeOrderAndEnterTakesTheRow) {
    withTable("datos/concfac.dbf", [&](WorkArea& c) {
        addRow(c, {{"ID", Value("0002")}, {"NOMBRE", Value("ALIMENTOS")}});
        addRow(c, {{"ID", Value("0001")}, {"NOMBRE", Value("HOSPEDAJE")}});
    });
    ASSERT_TRUE(netUse("CONCFAC", false, "CONCFAC", oApp().xDatos));
    WorkArea* c = workspace().area("CONCFAC");
    c->setOrder(2);
    test::whenModal([&](QWidget* w) {
        EXPECT_EQ(programText(w->windowTitle()),
                  "Listado de: Conc. Facturacion: Ordenando por: id");
        EXPECT_EQ(c->order(), 1);
        EXPECT_EQ(allTrim(c->get("ID").text()), "0001");
        QWidget* g = w->focusWidget();
        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Return);
    });
    EXPECT_EQ(valCod("9   ", "concfac"), "0002");
    EXPECT_EQ(allTrim(c->get("NOMBRE").text()), "ALIMENTOS");

    test::whenModal([&](QWidget* w) { QTest::keyClick(w->focusWidget(), Qt::Key_Escape); });
    EXPECT_EQ(valCod("9   ", "concfac"), "    ");
    EXPECT_TRUE(c->eof());
}

TEST_F(CatalogScreenTest, AConsultedRecordShowsEveryFieldDisabled) {
    customers({{"0001", "UNO"}});
    ASSERT_TRUE(netUse("CLIENTE", false, "CLIENTE", oApp().xDatos));
    bool seen = false;
    fClientes(kConsulta, [&](RecordForm& f) {
        FormWindow window(f, FormWindow::Kind::Cliente);
        test::whenModal([&](QWidget* w) {
            seen = true;
            EXPECT_EQ(programText(w->windowTitle()),
                      "Detalle de: Clientes - Consulta de Registros");
            for (FormField& field : f.fields)
                EXPECT_FALSE(window.dlg.control(field.id)->isEnabled()) << field.field;
            test::humanClick(static_cast<TButton*>(window.dlg.control(400))->button());
        });
        return window.run();
    });
    EXPECT_TRUE(seen);

    // The generic form's Aceptar is disabled when consulting; its code picture follows the
    // field's width.
    workspace().closeAll();
    ASSERT_TRUE(netUse("CONCFAC", false, "CONCFAC", oApp().xDatos));
    fComunes(kAlta, [&](RecordForm& f) {
        EXPECT_EQ(f.code().picture, "9999");
        EXPECT_EQ(f.code().value.text(), "0001");
        return false;
    });
}

// Pictures of the browser and the article form for a person to look at (WV_UI_SHOTS=DIR).
TEST_F(CatalogScreenTest, Shots) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    customers({{"0001", "PUBLICO EN GENERAL"}, {"0002", "COMERCIALIZADORA DEL SURESTE"}});
    ASSERT_TRUE(netUse("CLIENTE", false, "CLIENTE", oApp().xDatos));
    XCatalogo x("CLIENTE", catalogActions("CLIENTE"));
    test::whenModal([&](QWidget* w) {
        QTest::qWait(150);
        EXPECT_TRUE(w->grab().save(QString::fromUtf8(dir) + "/catalogo.png"));
        op_.answers = {1};
        x.dlg.end();
    });
    x.run();
    workspace().closeAll();
    ASSERT_TRUE(netUse("ARTICULO", false, "ARTICULO", oApp().xDatos));
    fArticulo(kAlta, [&](RecordForm& f) {
        FormWindow window(f, FormWindow::Kind::Articulo);
        test::whenModal([&](QWidget* w) {
            QTest::qWait(150);
            EXPECT_TRUE(w->grab().save(QString::fromUtf8(dir) + "/articulo.png"));
        });
        return window.run();
    });
}

}  // namespace
}  // namespace wv
