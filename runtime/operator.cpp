#include "runtime/operator.h"

#include <cmath>

#include "runtime/date.h"

namespace wv {

namespace {

ScriptedOperator& fallback() {
    static ScriptedOperator op;
    return op;
}
Operator*& current() {
    static Operator* op = &fallback();
    return op;
}

const char* kindName(MsgKind k) {
    switch (k) {
        case MsgKind::Info: return "info";
        case MsgKind::Alert: return "alert";
        case MsgKind::Stop: return "stop";
        case MsgKind::YesNo: return "yesno";
        case MsgKind::NoYes: return "noyes";
    }
    return "";
}

bool box(MsgKind kind, const Value& text, const std::optional<std::string>& title,
         const char* defaultTitle) {
    return theOperator().message(kind, messageText(text), title ? *title : defaultTitle);
}

}  // namespace

Operator& theOperator() { return *current(); }

Operator* setOperator(Operator* op) {
    Operator* prev = current();
    current() = op ? op : &fallback();
    return prev;
}

std::string messageText(const Value& v) {
    switch (v.type()) {
        case Value::Type::Text: return v.text();
        case Value::Type::Nil: return "nil";
        case Value::Type::Number: {
            double d = std::trunc(v.num());
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.0f", d == 0 ? 0.0 : d);
            return buf;
        }
        case Value::Type::Logical: return v.logical() ? ".T." : ".F.";
        case Value::Type::Date: return dtoc(v.date());
        case Value::Type::Array: return "Array";
    }
    return "ValtoChar not suported type yet";
}

void msgInfo(const Value& t, std::optional<std::string> title) {
    box(MsgKind::Info, t, title, "Information");
}
void msgAlert(const Value& t, std::optional<std::string> title) {
    box(MsgKind::Alert, t, title, "Alert");
}
void msgStop(const Value& t, std::optional<std::string> title) {
    box(MsgKind::Stop, t, title, "Stop");
}
bool msgYesNo(const Value& t, std::optional<std::string> title) {
    return box(MsgKind::YesNo, t, title, "Select an option");
}
bool msgNoYes(const Value& t, std::optional<std::string> title) {
    return box(MsgKind::NoYes, t, title, "Select an option");
}
void msgWait(const std::string& text, const std::string& title, double seconds) {
    theOperator().wait(text, title, seconds);
}
int alert(const std::string& text, const std::vector<std::string>& options,
          std::optional<std::string> title, int defaultOption) {
    std::vector<std::string> opts = options.empty() ? std::vector<std::string>{"&OK"} : options;
    return theOperator().alert(text, opts, title ? *title : "Attention", defaultOption);
}
void msgBeep() { theOperator().beep(); }
bool msgProgress(const std::function<void(Progress&)>& work, const std::string& text,
                 const std::string& title) {
    return theOperator().progress(text.empty() ? "Procesando..." : text, title, work);
}

// ---------------------------------------------------------------------------------------------

int ScriptedOperator::answer(const Shown& s) {
    if (answers.empty()) {
        if (onUnexpected) onUnexpected(s);
        return 0;
    }
    int a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedOperator::message(MsgKind kind, const std::string& text, const std::string& title) {
    shown.push_back({kindName(kind), text, title});
    if (kind == MsgKind::YesNo || kind == MsgKind::NoYes) return answer(shown.back()) != 0;
    return false;
}

void ScriptedOperator::wait(const std::string& text, const std::string& title, double) {
    shown.push_back({"wait", text, title});
}

int ScriptedOperator::alert(const std::string& text, const std::vector<std::string>&,
                            const std::string& title, int) {
    shown.push_back({"alertbox", text, title});
    return answer(shown.back());
}

void ScriptedOperator::beep() { shown.push_back({"beep", "", ""}); }

namespace {
class ScriptedProgress : public Progress {
public:
    ScriptedProgress(ScriptedOperator& op, std::vector<uint32_t>& log) : op_(op), log_(log) {}
    void setRange(uint32_t total) override { total_ = total; }
    void setPosition(uint32_t pos) override {
        log_.push_back(pos);
        if (op_.cancelAt && pos >= *op_.cancelAt) cancelled = finished_ = true;
    }
    void setText(const std::string&) override {}
    void processEvents() override {}
    bool finished() const override { return finished_; }
    bool cancelled = false;

private:
    ScriptedOperator& op_;
    std::vector<uint32_t>& log_;
    uint32_t total_ = 0;
    bool finished_ = false;
};
}  // namespace

bool ScriptedOperator::progress(const std::string& text, const std::string& title,
                                const std::function<void(Progress&)>& work) {
    shown.push_back({"progress", text, title});
    positions.emplace_back();
    ScriptedProgress p(*this, positions.back());
    work(p);
    return p.cancelled;
}

}  // namespace wv
