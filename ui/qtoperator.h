// The operator on the screen: the standard message boxes, the timed notice, the alert with its
// options, the beep and the progress box, as Qt dialogs modal over the active window.
#pragma once

#include "runtime/operator.h"

class QWidget;

namespace wv {

class QtOperator : public Operator {
public:
    bool message(MsgKind kind, const std::string& text, const std::string& title) override;
    void wait(const std::string& text, const std::string& title, double seconds) override;
    int alert(const std::string& text, const std::vector<std::string>& options,
              const std::string& title, int defaultOption) override;
    void beep() override;
    bool progress(const std::string& text, const std::string& title,
                  const std::function<void(Progress&)>& work) override;

    // The window a new box is modal over: the active modal dialog, else the active window.
    static QWidget* owner();
};

}  // namespace wv
