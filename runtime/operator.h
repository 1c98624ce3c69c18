// The operator, behind one interface: every message box, question, timed notice, alert and
// progress box of the program goes through here. The interface layer installs its Qt
// implementation; tests and tools install a scripted one. The rules that do not depend on the
// screen (default titles, how a non-text message is written) live in the free functions below.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

enum class MsgKind { Info, Alert, Stop, YesNo, NoYes };

// What the work running inside a progress box can do with it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void setRange(uint32_t total) = 0;
    virtual void setPosition(uint32_t pos) = 0;
    virtual void setText(const std::string& text) = 0;
    // Lets the window system process what is pending: the box repaints and the cancel button is
    // heard. After it, finished() tells whether the operator pressed "Cancelar".
    virtual void processEvents() = 0;
    virtual bool finished() const = 0;
};

class Operator {
public:
    virtual ~Operator() = default;
    // A modal message box; for the two questions the result is true when "Yes" was chosen.
    virtual bool message(MsgKind kind, const std::string& text, const std::string& title) = 0;
    // A notice that closes by itself after the given seconds (no caption bar without a title).
    virtual void wait(const std::string& text, const std::string& title, double seconds) = 0;
    // A box with one button per option; the chosen option's number, 0 when closed without one.
    virtual int alert(const std::string& text, const std::vector<std::string>& options,
                      const std::string& title, int defaultOption) = 0;
    virtual void beep() = 0;
    // Runs the work under a modal progress box showing text; true when the operator cancelled.
    virtual bool progress(const std::string& text, const std::string& title,
                          const std::function<void(Progress&)>& work) = 0;
};

// The installed operator (a scripted one that refuses every question until the interface
// installs its own).
Operator& theOperator();
Operator* setOperator(Operator* op);

// A message text as the boxes write values that are not text: nil as "nil", a number by its
// integer part, a logical as ".T."/".F.", a date in the date format, an array as "Array".
std::string messageText(const Value& v);

// The message boxes with their default titles ("Information", "Alert", "Stop",
// "Select an option"); a title given replaces the default.
void msgInfo(const Value& text, std::optional<std::string> title = std::nullopt);
void msgAlert(const Value& text, std::optional<std::string> title = std::nullopt);
void msgStop(const Value& text, std::optional<std::string> title = std::nullopt);
bool msgYesNo(const Value& text, std::optional<std::string> title = std::nullopt);
bool msgNoYes(const Value& text, std::optional<std::string> title = std::nullopt);
void msgWait(const std::string& text, const std::string& title = "", double seconds = 4);
// Options default to a single "&OK", the title to "Attention".
int alert(const std::string& text, const std::vector<std::string>& options = {},
          std::optional<std::string> title = std::nullopt, int defaultOption = 1);
void msgBeep();
// MSGPROGRESS: the text defaults to "Procesando..."; true when the operator cancelled.
bool msgProgress(const std::function<void(Progress&)>& work, const std::string& text,
                 const std::string& title);

// An operator that answers from a script and records everything it was shown. Tests use it; so
// do tools that run without a screen.
class ScriptedOperator : public Operator {
public:
    struct Shown {
        std::string what;  // "info", "alert", "stop", "yesno", "noyes", "wait", "alertbox",
                           // "progress", "beep"
        std::string text;
        std::string title;
    };
    std::vector<Shown> shown;
    // Answers for questions (yes/no) and alert boxes (option numbers), taken in order.
    std::deque<int> answers;
    // Called when a question comes with no answer left; the question is then answered "No"/0.
    std::function<void(const Shown&)> onUnexpected;
    // Progress boxes: the operator presses "Cancelar" when the position reaches this value.
    std::optional<uint32_t> cancelAt;
    // The positions every progress box went through, per box.
    std::vector<std::vector<uint32_t>> positions;

    bool message(MsgKind kind, const std::string& text, const std::string& title) override;
    void wait(const std::string& text, const std::string& title, double seconds) override;
    int alert(const std::string& text, const std::vector<std::string>& options,
              const std::string& title, int defaultOption) override;
    void beep() override;
    bool progress(const std::string& text, const std::string& title,
                  const std::function<void(Progress&)>& work) override;

    // Installs itself for the lifetime of the object.
    class Scope {
    public:
        explicit Scope(ScriptedOperator& op) : prev_(setOperator(&op)) {}
        ~Scope() { setOperator(prev_); }

    private:
        Operator* prev_;
    };

private:
    int answer(const Shown& s);
};

}  // namespace wv
