#include "runtime/error.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/codepage.h"

namespace wv {

namespace {
bool g_netErr = false;
bool g_presenting = false;
ErrorPresenter& presenter() {
    static ErrorPresenter p = stderrPresenter;
    return p;
}
ErrorHandler& handler() {
    static ErrorHandler h = errorSys;
    return h;
}
}  // namespace

bool netErr() { return g_netErr; }
void setNetErr(bool on) { g_netErr = on; }

std::string errorMessage(const Error& e) {
    std::string s;
    if (e.osCode == 0)
        s = e.severity > 1 ? "Error " : "Warning ";
    else
        s = "(DOS Error " + std::to_string(e.osCode) + ") ";
    s += e.subSystem.empty() ? std::string("???") : e.subSystem;
    s += "/" + std::to_string(e.subCode);
    if (!e.description.empty()) s += "  " + e.description;
    if (!e.fileName.empty())
        s += ": " + e.fileName;
    else if (!e.operation.empty())
        s += ": " + e.operation;
    return s;
}

ErrorHandler setErrorHandler(ErrorHandler h) {
    ErrorHandler prev = std::move(handler());
    handler() = h ? std::move(h) : ErrorHandler(errorSys);
    return prev;
}

ErrorPresenter setErrorPresenter(ErrorPresenter p) {
    ErrorPresenter prev = std::move(presenter());
    presenter() = p ? std::move(p) : ErrorPresenter(stderrPresenter);
    return prev;
}

ErrorChoice raiseError(const Error& e) { return handler()(e); }

ErrorChoice errorSys(const Error& e) {
    if (e.genCode == gen::kZeroDiv) return ErrorChoice::Zero;
    if (e.genCode == gen::kOpen && (e.osCode == 32 || e.osCode == 5) && e.canDefault) {
        setNetErr(true);
        return ErrorChoice::Default;
    }
    if (e.genCode == gen::kAppendLock && e.canDefault) {
        setNetErr(true);
        return ErrorChoice::Default;
    }
    // An error raised while one is being shown ends the program: the state that led to the
    // first one cannot be trusted any more.
    if (g_presenting) {
        std::fprintf(stderr, "%s from Errorsys\n", toUtf8(e.description).c_str());
        std::exit(1);
    }
    // Cleared however the presenter leaves (a scripted one may throw).
    struct Presenting {
        Presenting() { g_presenting = true; }
        ~Presenting() { g_presenting = false; }
    } presenting;
    return presenter()(e);
}

ErrorChoice stderrPresenter(const Error& e) {
    std::fprintf(stderr, "%s\n", toUtf8(errorMessage(e)).c_str());
    if (e.canDefault) return ErrorChoice::Default;
    std::exit(1);
}

namespace {
InternalStopper& stopper() {
    static InternalStopper s;
    return s;
}
}  // namespace

InternalStopper setInternalStopper(InternalStopper s) {
    InternalStopper prev = std::move(stopper());
    stopper() = std::move(s);
    return prev;
}

void throwingStopper(const InternalError& e) { throw e; }

void internalError(int code, const std::string& text) {
    InternalError e{code, text};
    if (stopper()) stopper()(e);
    std::fprintf(stderr, "Error interno %d: %s\n", code, toUtf8(text).c_str());
    std::exit(1);
}

}  // namespace wv
