// The main window on the screen: the closing question on every path, the menu opened by a right
// click, the message bar's items, the commands of the menu and the bar, and the maintenance
// command run from the bar against a real installation.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/mainwindow_qt.h"
#include "app/startup_qt.h"
#include "app/utils_qt.h"
#include "ui/dialog.h"
#include "ui/image.h"
#include "data/application.h"
#include "data/workarea.h"
#include "runtime/date.h"
#include "storage/workstation.h"
#include "tests/data_fixture.h"
#include "tests/ui_fixture.h"
#include "ui/appui.h"

namespace wv {
namespace {

// Finds an action by its caption (as the program writes it) anywhere under a menu or bar.
QAction* findAction(QWidget* root, const std::string& caption) {
    for (QAction* a : root->actions()) {
        if (a->text() == qtText(caption)) return a;
        if (QMenu* sub = a->menu())
            if (QAction* found = findAction(sub, caption)) return found;
    }
    return nullptr;
}

QToolButton* barButton(const std::string& bitmap) {
    return oAppUi().oBar->findChild<QToolButton*>(qtText(bitmap));
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();  // before the scripted operator: the interface installs its own
        scope_.emplace(op_);
        oApp() = TApplication{};
        oApp().setIdentity();
        applyProcessSettings();
        op_.onUnexpected = [](const ScriptedOperator::Shown& s) {
            ADD_FAILURE() << "unexpected question: " << s.text;
        };
    }
    void TearDown() override {
        for (Command c : {Command::CatArticulo, Command::Captura}) setCommandScreen(c, {});
    }
    void build() {
        wnd_ = std::make_unique<TMainWindow>();
        wnd_->resize(900, 600);
        wnd_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd_.get()));
    }
    ScriptedOperator op_;
    std::optional<ScriptedOperator::Scope> scope_;
    std::unique_ptr<TMainWindow> wnd_;
};

TEST_F(MainWindowTest, ClosingAsksOnEveryPathAndNoKeepsTheProgramRunning) {
    build();
    op_.answers = {0, 0, 0, 0};
    EXPECT_FALSE(wnd_->close());                           // the close box
    findAction(wnd_->menuBar(), "Salir")->trigger();       // the menu item
    QTest::mouseClick(barButton("SALIR"), Qt::LeftButton);  // the bar button
    test::whenPopup([](QMenu* menu) {  // the context menu
        QAction* salir = findAction(menu, "Salir");
        ASSERT_TRUE(salir);
        salir->trigger();
    });
    QTest::mouseClick(wnd_->clientArea(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_TRUE(wnd_->isVisible());
    ASSERT_EQ(op_.shown.size(), 4u);
    for (const auto& s : op_.shown) {
        EXPECT_EQ(s.what, "noyes");
        EXPECT_EQ(s.text, "Esta seguro de querer Salir...");
        EXPECT_EQ(s.title, "Salir del Sistema");
    }
    op_.answers = {1};
    QTest::mouseClick(barButton("SALIR"), Qt::LeftButton);
    EXPECT_FALSE(wnd_->isVisible());
}

TEST_F(MainWindowTest, TitleMenuBarAndButtonBar) {
    build();
    EXPECT_EQ(programText(wnd_->windowTitle()),
              windowTitle(os::computerName(), os::networkUser()));
    std::vector<std::string> top;
    for (QAction* a : wnd_->menuBar()->actions()) top.push_back(programText(a->text()));
    EXPECT_EQ(top, (std::vector<std::string>{"&Facturacion", "&Catalogos", "&Utilerias"}));
    QAction* info = findAction(wnd_->menuBar(), "Informacion del Sistema\tF1");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->shortcut().isEmpty());  // the F1 is only written
    EXPECT_EQ(programText(info->statusTip()), "Informacion del Sistema");
    EXPECT_FALSE(info->icon().isNull());

    // Five flat 50 x 50 buttons in their slots, with a gap before each new group.
    TApplicationUi& ui = oAppUi();
    EXPECT_EQ(ui.aoBtn[1], nullptr);
    std::vector<std::string> order;
    for (QAction* a : ui.oBar->actions()) {
        if (a->isSeparator()) {
            order.push_back("|");
        } else if (auto* b = qobject_cast<QToolButton*>(ui.oBar->widgetForAction(a))) {
            order.push_back(programText(b->objectName()));
            EXPECT_EQ(b->size(), QSize(50, 50));
            EXPECT_TRUE(b->autoRaise());
            EXPECT_FALSE(b->isCheckable());
            EXPECT_TRUE(b->isEnabled());
            EXPECT_FALSE(b->icon().isNull());
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"CLIENTE32", "PRODS32", "|", "IMPRE32", "|",
                                               "INDICES", "|", "SALIR"}));
    EXPECT_EQ(ui.aoBtn[4], barButton("INDICES"));
    EXPECT_EQ(programText(barButton("INDICES")->toolTip()),
              "Mantenimiento a las bases de datos en General");
    EXPECT_EQ(programText(barButton("INDICES")->statusTip()), "Mantenimiento a las bases de datos");
}

TEST_F(MainWindowTest, MessageBarItems) {
    oApp().cUsuario = "RECEPCION TURNO NOCTURNO";
    build();
    EXPECT_EQ(programText(wnd_->userItem()->text()), "RECEPCION TURNO NOCT");
    EXPECT_EQ(wnd_->userItem()->width(), 280);
    EXPECT_EQ(wnd_->userItem()->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(programText(wnd_->userItem()->toolTip()), "Usuario Activo en el Sistema");
    EXPECT_EQ(programText(wnd_->webItem()->text()), "WWW");
    EXPECT_EQ(wnd_->webItem()->width(), 40);
    EXPECT_EQ(programText(wnd_->dateItem()->text()), dtoc(today()));
    std::string clock = programText(wnd_->clockItem()->text());
    ASSERT_EQ(clock.size(), 8u);
    EXPECT_EQ(clock[2], ':');
    EXPECT_EQ(wnd_->dateItem()->width(),
              wnd_->dateItem()->fontMetrics().horizontalAdvance(wnd_->dateItem()->text()) + 12);
    auto* defaultText = wnd_->statusBar()->findChild<QLabel*>("defaultText");
    ASSERT_TRUE(defaultText);
    EXPECT_EQ(programText(defaultText->text()), oApp().xVersion);

    // The web item opens the maker's page.
    std::string opened;
    UrlOpener prev = setUrlOpener([&](const std::string& url) {
        opened = url;
        return true;
    });
    QTest::mouseClick(wnd_->webItem(), Qt::LeftButton);
    setUrlOpener(prev);
    EXPECT_EQ(opened, oApp().cPaginaWeb);
}

TEST_F(MainWindowTest, RightClickOpensTheMenuExceptOnTheFirstRowOrColumn) {
    int articulos = 0;
    setCommandScreen(Command::CatArticulo, [&] { ++articulos; });
    build();
    QWidget* client = wnd_->clientArea();

    // On coordinate 0 no menu comes up (a popup would block the click until dismissed).
    QTest::mouseClick(client, Qt::RightButton, {}, QPoint(0, 40));
    QTest::mouseClick(client, Qt::RightButton, {}, QPoint(40, 0));
    // Nor on the empty part of the button bar.
    QTest::mouseClick(oAppUi().oBar, Qt::RightButton, {}, QPoint(oAppUi().oBar->width() - 5, 10));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Elsewhere the whole tree comes up at the mouse; "Articulo" there is the menu bar's command.
    QPoint shownAt;
    QStringList top;
    std::string message;
    test::whenPopup([&](QMenu* menu) {
        shownAt = menu->pos();
        for (QAction* a : menu->actions()) top << a->text();
        // Highlighting an item shows its message in the main window's message bar.
        menu->setActiveAction(menu->actions().at(1));
        message = programText(wnd_->statusBar()->currentMessage());
        QAction* articulo = findAction(menu, "Articulo");
        ASSERT_TRUE(articulo);
        articulo->trigger();
    });
    QTest::mouseClick(client, Qt::RightButton, {}, QPoint(120, 80));
    EXPECT_EQ(top, (QStringList{"&Facturacion", "&Catalogos", "&Utilerias"}));
    EXPECT_EQ(shownAt, client->mapToGlobal(QPoint(120, 80)));
    EXPECT_EQ(message, "Menu de Catalogos");
    EXPECT_TRUE(wnd_->statusBar()->currentMessage().isEmpty());  // gone with the menu
    EXPECT_EQ(articulos, 1);
    findAction(wnd_->menuBar(), "Articulo")->trigger();
    EXPECT_EQ(articulos, 2);

    // F_MENU with one coordinate 0 gives the context menu without showing it.
    std::unique_ptr<QWidget> hidden(fMenu(0, 15));
    EXPECT_TRUE(qobject_cast<QMenu*>(hidden.get()));
    EXPECT_FALSE(hidden->isVisible());
    std::unique_ptr<QWidget> bar(fMenu());
    EXPECT_TRUE(qobject_cast<QMenuBar*>(bar.get()));
}

TEST_F(MainWindowTest, NotAvailableAndAboutBox) {
    build();
    findAction(wnd_->menuBar(), "&Facturas Expedidas")->trigger();
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, "En Desarrollo");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);

    findAction(wnd_->menuBar(), "Acerca de...")->trigger();
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[1].what, "info");
    EXPECT_EQ(op_.shown[1].title, "Informacion del Sistema");
    EXPECT_EQ(op_.shown[1].text, aboutText(os::systemName()));
    EXPECT_NE(op_.shown[1].text.find("\r\nSistema Operativo: " + os::systemName() + "\r\n"),
              std::string::npos);
}

// The maintenance command from the bar, against a real installation in the current directory.
class MainWindowMaintenanceTest : public test::InstallationTest {
protected:
    bool demo() const override { return true; }
    void SetUp() override {
        test::ensureApp();
        InstallationTest::SetUp();
        wnd_ = std::make_unique<TMainWindow>();
        wnd_->show();
        // A record marked deleted in each of the five tables, among live ones.
        for (const char* t : {"facturas", "det_fact"})
            withTable(std::string("datos/") + t + ".dbf", [](WorkArea& a) {
                addRow(a, {{"NUMERO", Value("0000000001")}});
                addRow(a, {{"NUMERO", Value("0000000002")}}, true);
            });
        for (const char* t : {"concfac", "cliente", "articulo"})
            withTable(std::string("datos/") + t + ".dbf", [](WorkArea& a) {
                a.goTo(1);
                a.table().deleteRecord();
                a.table().flush();
            });
    }
    void TearDown() override {
        wnd_.reset();
        InstallationTest::TearDown();
    }
    std::unique_ptr<TMainWindow> wnd_;
};

TEST_F(MainWindowMaintenanceTest, NoTouchesNothingYesPacksAllFiveTables) {
    auto before = snapshot();
    op_.answers = {0};
    QTest::mouseClick(barButton("INDICES"), Qt::LeftButton);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].title, "Advertencia de Seguridad");
    EXPECT_EQ(snapshot(), before);

    op_.answers = {1};
    findAction(wnd_->menuBar(), "Mtto. Base Datos")->trigger();
    ASSERT_FALSE(op_.shown.empty());
    EXPECT_EQ(op_.shown.back().text, "Mantenimiento Finalizado...");
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"), std::vector<std::string>{"0000000001"});
    EXPECT_EQ(column("datos/det_fact.dbf", "NUMERO"), std::vector<std::string>{"0000000001"});
    for (const char* t : {"concfac", "cliente", "articulo"}) {
        std::vector<std::string> ids = column(std::string("datos/") + t + ".dbf", "ID");
        ASSERT_FALSE(ids.empty()) << t;
        EXPECT_EQ(before.count(std::string("datos/") + t + ".dbf"), 1u);
        for (const std::string& id : ids) EXPECT_NE(id[0], '*') << t;
        EXPECT_NE(ids.front(), "0001") << t;  // the deleted first record is gone
    }
}

}  // namespace
}  // namespace wv

namespace wv {
namespace {

TEST_F(MainWindowTest, DialogMessageBarAndBrowserFailure) {
    TDialog dlg("DLG_PRUEBA");
    ASSERT_TRUE(dlg.loaded());
    int height = dlg.window()->height();
    onInit(dlg);
    ASSERT_TRUE(dlg.messageBar());
    EXPECT_GT(dlg.window()->height(), height);  // the bar is added below the layout
    auto* text = dlg.messageBar()->findChild<QLabel*>();
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->text().isEmpty());
    EXPECT_TRUE(text->alignment() & Qt::AlignHCenter);

    // No browser to be had: the error handler hears of it, and a retry tries again.
    int tries = 0;
    UrlOpener prev = setUrlOpener([&](const std::string&) { return ++tries == 2; });
    std::vector<Error> errors;
    {
        ScopedErrorHandler h([&](const Error& e) {
            errors.push_back(e);
            return ErrorChoice::Retry;
        });
        conecta("https://www.example.com/hotel");
    }
    setUrlOpener(prev);
    EXPECT_EQ(tries, 2);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].subSystem, "CONECTA");
    EXPECT_EQ(errors[0].operation, "https://www.example.com/hotel");
}

// Pictures of the main window for a person to look at (WV_UI_SHOTS=DIR).
TEST_F(MainWindowTest, ShotsMainWindow) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    QString out = QString::fromUtf8(dir);
    oAppUi().oImagen = loadImage(std::string(WV_SOURCE_DIR) + "/resources/empresa.jpg");
    build();
    wnd_->resize(1024, 700);
    QTest::qWait(200);
    EXPECT_TRUE(wnd_->grab().save(out + "/main.png"));
    test::whenPopup([&](QMenu* menu) {
        menu->setActiveAction(menu->actions().at(2));
        QTest::qWait(150);
        EXPECT_TRUE(wnd_->screen()->grabWindow(0).save(out + "/context.png"));
    });
    QTest::mouseClick(wnd_->clientArea(), Qt::RightButton, {}, QPoint(300, 200));
    oAppUi().oImagen = QImage();
}

}  // namespace
}  // namespace wv

namespace wv {
namespace {

// The start-up steps in this process, in a scratch directory with a run-time directory of the
// test's own.
class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();
        scope_.emplace(op_);
        oAppUi().release();
        prevCwd_ = std::filesystem::current_path().string();
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        runtimeVar_.emplace("XDG_RUNTIME_DIR", runtime_.path());
    }
    void TearDown() override {
        runtimeVar_.reset();
        (void)!::chdir(prevCwd_.c_str());
        oAppUi().release();
    }
    test::TempDir dir_, runtime_;
    std::string prevCwd_;
    std::optional<test::EnvVar> runtimeVar_;
    ScriptedOperator op_;
    std::optional<ScriptedOperator::Scope> scope_;
};

TEST_F(StartUpTest, ASecondCopyShowsItsNoticeAndDoesNothingElse) {
    ASSERT_FALSE(os::isExeRunning("WVPRUEBA"));  // the first copy
    EXPECT_FALSE(startUp("/otro/directorio/WvPrueba"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "wait");
    EXPECT_EQ(op_.shown[0].text, "Advertencia, el Sistema ya est\xE1 abierto...");
    EXPECT_EQ(op_.shown[0].title,
              "Empresa de Pruebas \xAE - Sistema Demo de Facturacion \xAE");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("wVestor32.log")));
    EXPECT_EQ(oAppUi().fBold, QFont());  // no fonts either
}

TEST_F(StartUpTest, AFirstCopyLogsInWithItsFontsIconAndPicture) {
    std::filesystem::create_directories(dir_.file("bitmaps"));
    std::filesystem::copy_file(std::string(WV_SOURCE_DIR) + "/resources/empresa.jpg",
                               dir_.file("bitmaps/empresa.jpg"));
    EXPECT_TRUE(startUp("wvunico"));
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_EQ(oApp().cUsuario, "USUARIO DEMO");
    EXPECT_EQ(oApp().xDatos, ".\\datos\\");
    TApplicationUi& ui = oAppUi();
    EXPECT_TRUE(ui.fBold.bold());
    EXPECT_FALSE(ui.fNormal.bold());
    EXPECT_TRUE(ui.fTitulo.italic());
    EXPECT_FALSE(ui.oIcon.isNull());
    EXPECT_EQ(ui.oImagen.size(), QSize(1280, 800));
    std::string log = test::readBytes(dir_.file("wVestor32.log"));
    EXPECT_EQ(log.size(), 59u);
    EXPECT_NE(log.find(": ingreso al sistema\t\t"), std::string::npos);
}

}  // namespace
}  // namespace wv
