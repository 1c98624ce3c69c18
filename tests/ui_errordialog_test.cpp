#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "data/application.h"
#include "data/workarea.h"
#include "runtime/operator.h"
#include "tests/test_support.h"
#include "ui/errordialog.h"
#include "ui_fixture.h"

namespace wv {
namespace {

using test::readBytes;
using test::whenModal;

// Runs body in a child process and gives its exit code (100 + the signal when it was killed;
// 0 when the body came back). The child is stopped after 20 seconds.
int inChild(const std::function<void()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        body();
        std::fflush(nullptr);
        ::_exit(0);
    }
    int st = 0;
    for (int i = 0; i < 2000; ++i) {
        if (::waitpid(pid, &st, WNOHANG) == pid)
            return WIFEXITED(st) ? WEXITSTATUS(st) : 100 + WTERMSIG(st);
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &st, 0);
    return 100 + SIGKILL;
}

Error readError(bool canRetry, bool canDefault) {
    Error e;
    e.genCode = gen::kRead;
    e.subSystem = "DBFCDX";
    e.subCode = 1010;
    e.description = "Read error";
    e.fileName = "clientes.dbf";
    e.operation = "DBSKIP";
    e.canRetry = canRetry;
    e.canDefault = canDefault;
    return e;
}

QStringList buttonTexts(QWidget* w) {
    QStringList out;
    for (QPushButton* b : w->findChildren<QPushButton*>()) out << b->text();
    return out;
}

QPushButton* button(QWidget* w, const char* text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text)) return b;
    return nullptr;
}

class ErrorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApp();
        applyProcessSettings();
        workspace().closeAll();
        workspace().select(1);
        prevCwd_ = std::filesystem::current_path().string();
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        prevHandler_ = setErrorHandler(errorSys);
        prevPresenter_ = setErrorPresenter(errorDialogPresenter);
        prevOpener_ = setErrorLogOpener([this](const QString& path) { opened_ << path; });
        setNetErr(false);
    }
    void TearDown() override {
        workspace().closeAll();
        setNetErr(false);
        setErrorLogOpener(prevOpener_);
        setErrorPresenter(prevPresenter_);
        setErrorHandler(prevHandler_);
        (void)!::chdir(prevCwd_.c_str());
    }

    std::string log() const { return readBytes(dir_.file("Error.log")); }

    test::TempDir dir_;
    std::string prevCwd_;
    ErrorHandler prevHandler_;
    ErrorPresenter prevPresenter_;
    LogOpener prevOpener_;
    QStringList opened_;
};

TEST_F(ErrorDialogTest, ButtonsFollowWhatTheErrorAllows) {
    struct Case {
        bool retry, dflt;
        QStringList buttons;
        const char* focus;
    };
    const Case cases[] = {
        {false, false, {"&Quit", "See Error.log file"}, "&Quit"},
        {true, false, {"&Quit", "&Retry", "See Error.log file"}, "&Retry"},
        {false, true, {"&Quit", "&Default", "See Error.log file"}, "&Default"},
        {true, true, {"&Quit", "&Retry", "&Default", "See Error.log file"}, "&Retry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        Error e = readError(c.retry, c.dflt);
        e.description = test::cp("Índice dañado");
        ErrorDialog dlg(e, {"Called from:  => DBSKIP()"});
        EXPECT_EQ(buttonTexts(&dlg), c.buttons);
        EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(ErrorDialog::kCaption));
        auto* text = dlg.findChild<QLabel*>("description");
        ASSERT_TRUE(text);
        EXPECT_EQ(text->text(),
                  QString::fromUtf8("Error DBFCDX/1010  Índice dañado: clientes.dbf"));
        auto* stack = dlg.findChild<QListWidget*>("stack");
        ASSERT_TRUE(stack && stack->count() == 1);
        EXPECT_EQ(stack->item(0)->text(), QString::fromUtf8("Called from:  => DBSKIP()"));
        bool headed = false;
        for (QLabel* l : dlg.findChildren<QLabel*>())
            headed |= l->text() == QString::fromUtf8("&Stack List") && l->buddy() == stack;
        EXPECT_TRUE(headed);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QPushButton* first = button(&dlg, c.focus);
        ASSERT_TRUE(first);
        EXPECT_EQ(QApplication::focusWidget(), first);
        EXPECT_TRUE(first->isDefault());
        dlg.hide();
    }
}

TEST_F(ErrorDialogTest, RetryAndDefaultAreReturned) {
    // The interface installs the dialog.
    setErrorPresenter(stderrPresenter);
    initInterface();
    whenModal([](QWidget* w) { test::humanClick(button(w, "&Retry")); });
    EXPECT_EQ(raiseError(readError(true, true)), ErrorChoice::Retry);
    // The log is opened without closing the dialog.
    bool stillUp = false;
    whenModal([&](QWidget* w) {
        test::humanClick(button(w, "See Error.log file"));
        QTest::qWait(50);
        stillUp = w->isVisible() && QApplication::activeModalWidget() == w;
        test::humanClick(button(w, "&Default"));
    });
    EXPECT_EQ(raiseError(readError(true, true)), ErrorChoice::Default);
    EXPECT_TRUE(stillUp);
    ASSERT_EQ(opened_.size(), 1);
    EXPECT_EQ(std::filesystem::path(opened_[0].toStdString()),
              std::filesystem::path(dir_.file("Error.log")));
    // Enter takes the choice that has the focus.
    whenModal([](QWidget* w) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : w, Qt::Key_Return);
    });
    EXPECT_EQ(raiseError(readError(false, true)), ErrorChoice::Default);
}

TEST_F(ErrorDialogTest, NetworkConditionsShowNothing) {
    // Were a dialog to come up, this takes it down again (it lives only as long as the test).
    bool shown = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            shown = true;
            w->hide();
        }
    });
    guard.start(5);
    Error e = readError(false, true);
    e.genCode = gen::kOpen;
    e.osCode = 32;  // held exclusively by another workstation
    EXPECT_EQ(raiseError(e), ErrorChoice::Default);
    EXPECT_TRUE(netErr());
    setNetErr(false);
    e.genCode = gen::kAppendLock;
    e.osCode = 0;
    EXPECT_EQ(raiseError(e), ErrorChoice::Default);
    EXPECT_TRUE(netErr());
    QTest::qWait(100);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Error.log")));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ErrorDialogTest, OtherErrorsWriteTheWholeLog) {
    std::string path = dir_.file("clientes.dbf");
    ASSERT_TRUE(DbfTable::create(path, {{"CODIGO", 'C', 6, 0}}));
    ASSERT_EQ(workspace().use(path, "CLIENTES", true, true, false), 1);
    test::writeBytes(dir_.file("Error.log"), "old");

    std::string atShow;
    whenModal([&](QWidget* w) {
        atShow = log();  // written before the dialog comes up
        test::humanClick(button(w, "&Default"));
    });
    Error e = readError(false, true);
    e.args = Array{Value("clientes")};
    EXPECT_EQ(raiseError(e), ErrorChoice::Default);
    EXPECT_FALSE(netErr());
    std::string text = log();
    EXPECT_EQ(atShow, text);
    text = "\r\n" + text;  // every title follows a line end
    for (const char* title : {"Application", "Stack Calls", "System", "Variables in use",
                              "Linked RDDs", "DataBases in use", "Classes in use:",
                              "Memory Analysis"}) {
        std::string t = title;
        EXPECT_NE(text.find("\r\n" + t + "\r\n" + std::string(t.size(), '=') + "\r\n"),
                  std::string::npos)
            << t;
    }
    for (const char* line : {"   Error description: Error DBFCDX/1010  Read error: clientes.dbf",
                             "     [   1] = C   clientes", "   Called from:  => DBSKIP()"})
        EXPECT_NE(text.find("\r\n" + std::string(line) + "\r\n"), std::string::npos) << line;
    EXPECT_NE(text.find("\r\n  1: => CLIENTES       "), std::string::npos);
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\r\n   Path and name: /[^\r\n]*/wv_ui_tests \\(\\d+ bits\\)\r\n")));
    // Every line ends with CR LF.
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
              std::count(text.begin(), text.end(), '\r'));
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
}

TEST_F(ErrorDialogTest, QuitAndTheCloseBoxEndTheProgramWithExitCode1) {
    std::string path = dir_.file("clientes.dbf");
    ASSERT_TRUE(DbfTable::create(path, {{"CODIGO", 'C', 6, 0}}));
    int rc = inChild([&] {
        if (workspace().use(path, "CLIENTES", true, false, false) != 1) ::_exit(2);
        whenModal([](QWidget* w) { test::humanClick(button(w, "&Quit")); });
        raiseError(readError(true, true));
        ::_exit(3);  // the handler came back
    });
    EXPECT_EQ(rc, 1);
    EXPECT_NE(log().find("  1: => CLIENTES"), std::string::npos);
    rc = inChild([] {
        whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        raiseError(readError(false, false));
        ::_exit(3);
    });
    EXPECT_EQ(rc, 1);
}

// Writes every message box to a file, so that the parent can read what a child that ended was
// shown; while the first box is up, something raises one more error.
class MessageFile : public ScriptedOperator {
public:
    explicit MessageFile(std::string path) : path_(std::move(path)) {}
    bool message(MsgKind kind, const std::string& text, const std::string& title) override {
        std::ofstream(path_, std::ios::app | std::ios::binary)
            << (kind == MsgKind::Stop ? "stop|" : "other|") << title << "|" << text << "\n";
        Error again;
        again.genCode = gen::kDataType;
        again.description = "Second error";
        raiseError(again);
        return ScriptedOperator::message(kind, text, title);
    }

private:
    std::string path_;
};

TEST_F(ErrorDialogTest, ErrorInsideTheHandlingStopsAfterOneMessage) {
    std::string messages = dir_.file("messages.txt");
    int rc = inChild([&] {
        static MessageFile op(messages);
        setOperator(&op);
        whenModal([](QWidget*) {
            // Something raises while the dialog is up.
            Error inner;
            inner.genCode = gen::kDataType;
            inner.subSystem = "BASE";
            inner.subCode = 1081;
            inner.description = "Argument error";
            raiseError(inner);
            ::_exit(4);
        });
        raiseError(readError(true, true));
        ::_exit(3);
    });
    EXPECT_EQ(rc, 1);
    // The line is the one of the handling that was running: the dialog's.
    std::ifstream src(WV_SOURCE_DIR "/ui/errordialog.cpp");
    int line = 0, dialogLine = 0;
    for (std::string l; std::getline(src, l);) {
        ++line;
        if (l.find("showErrorDialog(e, errorCallLines(e))") != std::string::npos) dialogLine = line;
    }
    ASSERT_GT(dialogLine, 0);
    char where[8];
    std::snprintf(where, sizeof where, "%4d", dialogLine);
    EXPECT_EQ(readBytes(messages),
              std::string("stop|Stop|Argument error from Errorsys, line:") + where + "\n");
}

TEST_F(ErrorDialogTest, ErrorWhileWritingTheLogIsSwallowed) {
    // "Error.log" is a directory here: the log cannot be written, the dialog comes all the same.
    std::filesystem::create_directory(dir_.file("Error.log"));
    bool shown = false;
    whenModal([&](QWidget* w) {
        shown = true;
        test::humanClick(button(w, "&Retry"));
    });
    EXPECT_EQ(raiseError(readError(true, false)), ErrorChoice::Retry);
    EXPECT_TRUE(shown);
}

// A picture of the dialog for a person to look at (see ui_screenshot_test.cpp).
TEST_F(ErrorDialogTest, ShotsErrorDialog) {
    const char* dir = std::getenv("WV_UI_SHOTS");
    if (!dir) GTEST_SKIP() << "WV_UI_SHOTS is not set";
    Error e = readError(true, true);
    ErrorDialog dlg(e, {"Called from:  => DBSKIP()"});
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QTest::qWait(150);
    EXPECT_TRUE(dlg.grab().save(QString::fromUtf8(dir) + "/error_dialog.png"));
}

}  // namespace
}  // namespace wv
