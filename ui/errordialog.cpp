#include "ui/errordialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "data/errorlog.h"
#include "data/workarea.h"
#include "runtime/operator.h"
#include "ui/text.h"

namespace wv {

const char* const ErrorDialog::kCaption = "wvestor - Error (interfaz Qt)";

namespace {

LogOpener& logOpener() {
    static LogOpener opener = [](const QString& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    return opener;
}

// Gives the focus to the first choice once the dialog is on the screen.
class FocusOnShow : public QObject {
public:
    FocusOnShow(QWidget* target, QObject* parent) : QObject(parent), target_(target) {}
    bool eventFilter(QObject*, QEvent* ev) override {
        if (ev->type() == QEvent::Show) target_->setFocus(Qt::OtherFocusReason);
        return false;
    }

private:
    QWidget* target_;
};

// The classes of the windows the interface has up, each once.
std::vector<std::string> classesInUse() {
    std::vector<std::string> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) continue;
        std::string name = w->metaObject()->className();
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    }
    return out;
}

// An error raised while an error is being handled: one stop box naming the line of the handling
// that was running, then the end. A further error while that box is up ends at once.
[[noreturn]] void failInHandling(const Error& e, int line) {
    static bool failing = false;
    if (!failing) {
        failing = true;
        char where[16];
        std::snprintf(where, sizeof where, "%4d", line);
        msgStop(Value(e.description + " from Errorsys, line:" + where));
    }
    quitAfterError();
}

}  // namespace

ErrorDialog::ErrorDialog(const Error& e, const std::vector<std::string>& calls, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(qtText(kCaption));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(qtText(errorMessage(e)), this);
    text->setObjectName("description");
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setMinimumWidth(360);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(text, 1);

    auto* stackLabel = new QLabel(qtText("&Stack List"), this);
    auto* stack = new QListWidget(this);
    stack->setObjectName("stack");
    for (const std::string& c : calls) stack->addItem(qtText(c));
    stack->setMinimumHeight(110);
    stackLabel->setBuddy(stack);

    quit_ = new QPushButton(qtText("&Quit"), this);
    connect(quit_, &QPushButton::clicked, this, [this] {
        choice_.reset();
        reject();
    });
    if (e.canRetry) {
        retry_ = new QPushButton(qtText("&Retry"), this);
        connect(retry_, &QPushButton::clicked, this, [this] {
            choice_ = ErrorChoice::Retry;
            accept();
        });
    }
    if (e.canDefault) {
        default_ = new QPushButton(qtText("&Default"), this);
        connect(default_, &QPushButton::clicked, this, [this] {
            choice_ = ErrorChoice::Default;
            accept();
        });
    }
    log_ = new QPushButton(qtText("See Error.log file"), this);
    QString logPath = QDir::current().absoluteFilePath(QStringLiteral("Error.log"));
    connect(log_, &QPushButton::clicked, this, [logPath] {
        if (logOpener()) logOpener()(logPath);
    });

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {quit_, retry_, default_}) {
        if (!b) continue;
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    log_->setAutoDefault(false);
    buttons->addWidget(log_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addWidget(stackLabel);
    layout->addWidget(stack, 1);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    // The first choice the error allows has the focus and answers Enter; with none, "&Quit".
    QPushButton* first = retry_ ? retry_ : default_ ? default_ : quit_;
    first->setDefault(true);
    setTabOrder(first, first == quit_ ? log_ : quit_);
    installEventFilter(new FocusOnShow(first, this));
}

std::optional<ErrorChoice> showErrorDialog(const Error& e, const std::vector<std::string>& calls) {
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();
    ErrorDialog dlg(e, calls, owner);
    dlg.exec();
    return dlg.choice();
}

ErrorChoice errorDialogPresenter(const Error& e) {
    if (!QApplication::instance()) return stderrPresenter(e);  // no screen to show it on
    // The line of the handling that is running, for the stop box of an error raised inside it.
    int at = __LINE__;
    ScopedErrorHandler fallback(
        [&at](const Error& inner) -> ErrorChoice { failInHandling(inner, at); });
    // clang-format off
    at = __LINE__; ErrorLogFacts facts = currentErrorLogFacts();
    at = __LINE__; facts.classes = classesInUse();
    at = __LINE__; std::string report = errorReport(e, facts);
    {
        // Nothing that goes wrong while the log is written stops the handling.
        ScopedErrorHandler swallow([](const Error&) { return ErrorChoice::Default; });
        at = __LINE__; writeErrorLog(report);
    }
    at = __LINE__; std::optional<ErrorChoice> choice = showErrorDialog(e, errorCallLines(e));
    // clang-format on
    if (!choice) quitAfterError();
    return *choice;
}

void quitAfterError() {
    static bool ending = false;
    if (!ending) {
        ending = true;
        // The tables are closed so that their locks go with them; nothing raised while doing so
        // may stop the ending.
        setErrorHandler([](const Error&) { return ErrorChoice::Default; });
        workspace().closeAll();
        if (QCoreApplication* app = QCoreApplication::instance()) app->exit(1);
    }
    std::fflush(nullptr);
    std::exit(1);
}

LogOpener setErrorLogOpener(LogOpener opener) {
    LogOpener prev = std::move(logOpener());
    logOpener() = std::move(opener);
    return prev;
}

}  // namespace wv
