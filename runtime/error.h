// Run-time errors. Every layer raises its failures here as an Error object; the installed handler
// decides what happens: the two network conditions become a soft failure flagged in netErr(), a
// division by zero becomes 0, and everything else is shown to the operator (later by a dialog;
// until one is installed, on standard error), who chooses to retry, take the default or quit.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

// Generic error codes used across the system.
namespace gen {
constexpr int kZeroDiv = 5;
constexpr int kCreate = 20;
constexpr int kOpen = 21;
constexpr int kRead = 23;
constexpr int kWrite = 24;
constexpr int kCorruption = 32;
constexpr int kDataType = 33;
constexpr int kDataWidth = 34;
constexpr int kNoOrder = 36;
constexpr int kShared = 37;
constexpr int kUnlocked = 38;
constexpr int kReadOnly = 39;
constexpr int kAppendLock = 40;
constexpr int kLock = 41;
}  // namespace gen

struct Error {
    int genCode = 0;
    int osCode = 0;
    std::string subSystem;  // e.g. "DBFCDX"
    int subCode = 0;
    int severity = 2;  // above 1 is an error, otherwise a warning
    std::string description;
    std::string fileName;
    std::string operation;
    std::optional<Array> args;
    bool canRetry = false;
    bool canDefault = false;
};

// What the handler answers. Retry repeats the failed step; Default makes the operation fail
// softly (it returns false / an empty result to its caller); Zero substitutes 0 (division).
enum class ErrorChoice { Retry, Default, Zero };

// Shows an error that the standard rules do not settle and returns the operator's choice; it
// does not return when the operator quits. Replaced by the dialog once the interface is up, and
// by scripted presenters in tests.
using ErrorPresenter = std::function<ErrorChoice(const Error&)>;

// The whole handler. The standard one is errorSys(); tests and tools may install their own.
using ErrorHandler = std::function<ErrorChoice(const Error&)>;

// The one-line description used in the dialog, the log and the fallback message.
std::string errorMessage(const Error& e);

// Raises an error through the installed handler and returns its answer.
ErrorChoice raiseError(const Error& e);

// Installs a handler and returns the previous one.
ErrorHandler setErrorHandler(ErrorHandler h);
// The standard handler: division by zero, the two network conditions, then the presenter.
ErrorChoice errorSys(const Error& e);
// Installs the presenter used by errorSys and returns the previous one.
ErrorPresenter setErrorPresenter(ErrorPresenter p);
// The presenter used until the interface installs its dialog: one line on standard error, the
// default taken where allowed, otherwise the process ends with exit code 1.
ErrorChoice stderrPresenter(const Error& e);

// The network-error flag.
bool netErr();
void setNetErr(bool on);

// Internal errors: damage found while working that no retry can cure (a corrupted index page, a
// page that could not be written). The program stops with a text naming the step and the kind of
// damage. Tools and tests install a stopper that throws InternalError instead, so that they can
// report the damage and go on; a stopper must not return.
struct InternalError {
    int code = 0;
    std::string text;
};
using InternalStopper = std::function<void(const InternalError&)>;
[[noreturn]] void internalError(int code, const std::string& text);
InternalStopper setInternalStopper(InternalStopper s);
// A stopper that throws the InternalError.
void throwingStopper(const InternalError& e);

// Installs h for the lifetime of the guard and restores the previous handler after.
class ScopedErrorHandler {
public:
    explicit ScopedErrorHandler(ErrorHandler h) : prev_(setErrorHandler(std::move(h))) {}
    ~ScopedErrorHandler() { setErrorHandler(std::move(prev_)); }
    ScopedErrorHandler(const ScopedErrorHandler&) = delete;
    ScopedErrorHandler& operator=(const ScopedErrorHandler&) = delete;

private:
    ErrorHandler prev_;
};

}  // namespace wv
