// The dialog object. Every screen is a modal dialog whose layout is a dialog resource: a Qt
// Designer file resources/dialogs/NAME.ui compiled into the program. A screen creates the dialog
// by resource name, binds the layout's controls by their numeric ids (the "wvId" property of each
// widget of the layout) to its variables and actions, and activates it:
//
//     TDialog dlg("DLG_ARTICULOS", &oApp().fNormal);
//     dlg.cCaption = "Detalle de: Articulos";
//     dlg.redefineGet(101, setGet(cId), {.picture = "999999", .valid = validCode});
//     dlg.redefineButton(401, [&] { dlg.end(); }, {.cancel = true});
//     dlg.activate([&] { ... first input ... }, [&] { return msgYesNo("Desea salir?"); });
//     if (dlg.nResult == 1) ...
//
// Writing a layout: the top widget is a QDialog whose window title is the resource's caption;
// every control the program binds carries its id as the dynamic property "wvId" (a number). The
// controls are children of the dialog placed by geometry, group boxes being siblings drawn
// before the controls they frame; the order of the widgets in the file is the tab order. A layout
// drawn in dialog units carries the property wvUnits = "dlu" on its top widget: its geometries
// are then dialog units of the layout's font (MS Sans Serif 8 pt), as in the resource scripts.
// Entry fields are QLineEdit, check boxes QCheckBox, combo boxes QComboBox, push buttons
// QPushButton (a bitmap button too: the bitmap is set when it is bound) and texts QLabel.
//
// When the focus leaves a control that validates, the validation runs right after the focus
// change, unless the focus went to a cancel button by a click: a refusal puts the focus back; an
// approval re-evaluates the enabling blocks and moves on as the last key asked (Up and Shift+Tab
// back; Down, Enter and Tab forward).
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"

class QFont;
class QStatusBar;
class QLabel;

namespace wv {

class DialogWindow;
class DialogHub;

// Keys as the dialog records them in nLastKey.
namespace key {
constexpr int kTab = 9;
constexpr int kEnter = 13;
constexpr int kEscape = 27;
constexpr int kUp = 38;
constexpr int kDown = 40;
}  // namespace key

class TDialog {
public:
    // Loads the resource; when it cannot be loaded raises "Resource: " + name and the dialog
    // stays empty (binding does nothing, activating returns 2 at once). The font, when given,
    // is the font of every control.
    explicit TDialog(const std::string& cResName, const QFont* oFont = nullptr);
    ~TDialog();
    TDialog(const TDialog&) = delete;
    TDialog& operator=(const TDialog&) = delete;

    const std::string cResName;
    std::string cCaption;  // replaces the resource's caption when not empty
    int nResult = 0;       // the closing code; 2 (cancel) unless end() says otherwise
    bool lModal = true;
    bool lCentered = true;
    std::function<bool()> bValid;  // before closing: false keeps the dialog open
    std::function<void()> bInit;   // once, after the controls exist and before the first input
    std::function<bool()> bWhen;   // before showing: false leaves the dialog unshown, nResult 2
    int nLastKey = 0;              // the last key pressed in the dialog (0 after a click)

    // The bound controls, in binding order.
    const std::vector<TControl*>& aControls() const { return order_; }
    TControl* control(int id) const;
    bool loaded() const { return window_ != nullptr; }
    QDialog* window() const;

    // Binds the layout's control `id`. A second binding of an id raises "No: " + the id
    // right-aligned in six; an id the layout lacks raises "Control: " + the same. Either way
    // the control returned has no widget.
    template <class C, class... Args>
    C& redefine(int id, Args&&... args) {
        QWidget* w = claim(id);
        auto c = std::make_unique<C>(*this, id, w, std::forward<Args>(args)...);
        C& ref = *c;
        adopt(std::move(c));
        return ref;
    }
    TGet& redefineGet(int id, SetGet bSetGet, TGet::Options options = {});
    TCheckBox& redefineCheckBox(int id, SetGet bSetGet, TCheckBox::Options options = {});
    TComboBox& redefineComboBox(int id, SetGet bSetGet, std::vector<std::string> aItems,
                                TComboBox::Options options = {});
    TButton& redefineButton(int id, std::function<void()> bAction, TButton::Options options = {});
    TButtonBmp& redefineButtonBmp(int id, std::function<void()> bAction,
                                  TButton::Options options = {},
                                  TButtonBmp::BmpOptions bmp = {});
    TSay& redefineSay(int id, std::function<Value()> bGet, TSay::Options options = {});

    // Shows the dialog and, when modal, returns nResult once it has closed. Blocks given here
    // replace the members.
    int activate(std::function<void()> init = {}, std::function<bool()> valid = {},
                 std::function<bool()> when = {});
    // Closes the dialog with the code: false, and the dialog stays, when bValid refuses.
    bool end(int result = 2);
    // Every control with lUpdate re-read from its variable; the enabling blocks re-evaluated.
    void update();
    // The enabling blocks of every control.
    void evalWhen();
    void setCaption(const std::string& caption);

    // A message bar of the dialog's own at its foot, showing the default text, and the status
    // messages of its controls while they have the focus.
    void setMessageBar(const std::string& defaultText);
    void showMessage(const std::string& text);  // empty: back to the default text
    QStatusBar* messageBar() const { return bar_; }

    // True while a validation is running.
    bool validating() const { return validating_; }
    // Runs now a validation still waiting for the field that was left; false when it refused.
    bool flushValidation();
    // Moves the focus from `from` to the next (or previous) control that takes it.
    void moveFocus(QWidget* from, bool forward);
    // A widget that belongs to a control without being its widget (the button inside a field):
    // its focus and keys then count as the control's.
    void adoptWidget(QWidget* w, TControl& c);
    TControl* controlOf(QWidget* w) const;

private:
    friend class DialogWindow;
    friend class DialogHub;
    friend class TControl;

    QWidget* claim(int id);
    void adopt(std::unique_ptr<TControl> c);
    void focusLeft(TControl& c, int reason);
    bool runValidation(TControl& c);
    void followLastKey(TControl& c);
    void closeRequested();
    void centre(QWidget* owner);

    // A DialogWindow, held as a widget: comparing it while it is being destroyed must not cast.
    QPointer<QWidget> window_;
    QDialog* windowDialog() const { return static_cast<QDialog*>(window_.data()); }
    std::unique_ptr<DialogHub> hub_;
    std::map<int, QWidget*> ids_;
    std::map<int, TControl*> bound_;
    std::map<QWidget*, TControl*> widgets_;
    std::vector<std::unique_ptr<TControl>> controls_;
    std::vector<TControl*> order_;
    QStatusBar* bar_ = nullptr;
    QLabel* barText_ = nullptr;
    TControl* pending_ = nullptr;  // the control whose validation is queued
    bool validating_ = false;
    bool ended_ = false;
    bool closing_ = false;
    bool backTab_ = false;  // the last Tab was Shift+Tab
};

}  // namespace wv
