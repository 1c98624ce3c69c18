// The error dialog: what the operator sees of a run-time error that the handler does not settle
// by itself. The presenter writes "Error.log", shows the dialog and answers the operator's choice;
// quitting ends the program with exit code 1.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/error.h"

class QPushButton;

namespace wv {

class ErrorDialog : public QDialog {
    Q_OBJECT
public:
    // The caption every error dialog carries.
    static const char* const kCaption;

    // `calls` are the "Called from:" lines of the stack list.
    ErrorDialog(const Error& e, const std::vector<std::string>& calls, QWidget* parent = nullptr);

    // The choice made: Retry or Default; none when the dialog was closed with "&Quit" (or by
    // its close box).
    std::optional<ErrorChoice> choice() const { return choice_; }

    QPushButton* quitButton() const { return quit_; }
    QPushButton* retryButton() const { return retry_; }      // null unless canRetry
    QPushButton* defaultButton() const { return default_; }  // null unless canDefault
    QPushButton* logButton() const { return log_; }

private:
    std::optional<ErrorChoice> choice_;
    QPushButton* quit_ = nullptr;
    QPushButton* retry_ = nullptr;
    QPushButton* default_ = nullptr;
    QPushButton* log_ = nullptr;
};

// Shows the dialog modally; the choice as ErrorDialog::choice() gives it.
std::optional<ErrorChoice> showErrorDialog(const Error& e, const std::vector<std::string>& calls);

// The presenter the interface installs: writes "Error.log" in the current directory, shows the
// dialog and returns the choice; on "&Quit" it ends the program. Any error raised while it works
// shows a stop box naming the line of the handling it came from and ends the program.
ErrorChoice errorDialogPresenter(const Error& e);

// Ends the program after an error: the work areas are closed (their locks released), the event
// loop is told to quit with exit code 1, and the process exits with 1.
[[noreturn]] void quitAfterError();

// How "See Error.log file" shows the log (the system's handler for text files by default). Tests
// install their own. Returns the previous one.
using LogOpener = std::function<void(const QString& path)>;
LogOpener setErrorLogOpener(LogOpener opener);

}  // namespace wv
