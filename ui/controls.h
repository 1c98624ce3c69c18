// The input controls of a dialog: entry field, check box, combo box, push buttons and text. Each
// is bound ("redefined") to a control of the dialog's layout by its numeric id, through
// TDialog::redefine (dialog.h), and keeps the program's side of the binding: the variable behind
// it, its picture, its blocks (validation, enabling, change, action) and its texts.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "runtime/value.h"
#include "ui/geteditor.h"

class QCheckBox;
class QComboBox;
class QEvent;
class QFont;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPixmap;
class QPushButton;

namespace wv {

class TDialog;
class TGet;
class TCheckBox;
class TComboBox;
class TButton;

// The variable behind a control: get() reads it, set() assigns it.
struct SetGet {
    std::function<Value()> get;
    std::function<void(const Value&)> set;
};
SetGet setGet(Value& v);
SetGet setGet(std::string& s);
SetGet setGet(double& d);
SetGet setGet(int& n);
SetGet setGet(bool& b);
SetGet setGet(Date& d);

// Colours as the program gives them, 0x00BBGGRR (128 is dark red); kDefaultColour keeps the
// system's.
using Colour = long;
constexpr Colour kDefaultColour = -1;

// Where the status-bar message of a control goes when its dialog has no message bar of its own:
// the main window installs its message bar here. An empty text restores the bar's default.
void setStatusSink(std::function<void(const std::string&)> sink);

class TControl {
public:
    TControl(TDialog& dialog, int id, QWidget* widget);
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    // The class name the window layer knows the control by ("TGET", "TBUTTON"...).
    virtual std::string className() const = 0;

    const int nId;
    std::string cToolTip;
    std::string cMsg;      // status-bar message while the control has the focus
    bool lUpdate = false;  // re-read from its variable when the dialog is updated
    std::function<bool()> bWhen;  // enabling block

    TDialog& dialog() const { return dialog_; }
    // The control's widget; nullptr when the binding failed (every operation then does nothing).
    QWidget* widget() const { return widget_; }

    void setToolTip(const std::string& text);
    void setMessage(const std::string& text);
    void setColors(Colour text, Colour back = kDefaultColour);
    void setFont(const QFont& font);
    void setFocus();
    bool hasFocus() const;
    void enable();
    void disable();
    bool isEnabled() const;
    // Redraws the control from its variable.
    virtual void refresh() {}
    // The enabling block, when there is one, enables or disables the control.
    void evalWhen();

    // The validation run when the focus leaves the control.
    virtual bool hasValid() const { return false; }
    virtual bool validate() { return true; }
    // A push button whose click closes without validating the field that is left.
    virtual bool isCancelButton() const { return false; }
    // A bitmap button of a bar or of an entry field: moving onto it clears the last key.
    virtual bool isBtnBmp() const { return false; }

protected:
    friend class TDialog;
    friend class DialogHub;
    // Events of the control's widget, before the widget sees them; true when consumed.
    virtual bool filter(QEvent* e);
    virtual void gotFocus();
    virtual void lostFocus();
    // Before the dialog is shown: members to the widget, the variable to the screen.
    virtual void prepare();

    TDialog& dialog_;
    QPointer<QWidget> widget_;
    Colour clrText_ = kDefaultColour;
    Colour clrPane_ = kDefaultColour;
};

struct GetOptions {
    std::string picture{};
    std::function<bool(TGet&)> valid{};
    std::string msg{};
    bool update = false;
    std::function<bool()> when{};
    std::function<void(TGet&)> change{};  // after every key that changed the buffer
    bool readOnly = false;
};

// An entry field (a line edit of the layout) edited through its picture.
class TGet : public TControl {
public:
    using Options = GetOptions;
    TGet(TDialog& dialog, int id, QWidget* widget, SetGet bSetGet, Options options = {});
    std::string className() const override { return "TGET"; }

    SetGet bSetGet;
    std::string cPicture;
    std::function<bool(TGet&)> bValid;
    std::function<void(TGet&)> bChange;

    QLineEdit* edit() const;
    const GetEditor& editor() const { return editor_; }
    // The text being edited (code page 1252) and the value it stands for.
    const std::string& buffer() const { return editor_.buffer(); }
    Value value() const { return editor_.value(); }
    Value varGet() const;
    void varPut(const Value& v);
    // The buffer to the variable when it was edited; a number is then laid out again.
    void assign();
    // The variable to the buffer and the screen.
    void refresh() override;
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return readOnly_; }

    bool hasValid() const override { return true; }
    // An impossible date is refused with a beep; otherwise the buffer is assigned and bValid
    // decides (a refusal clears the dialog's last key).
    bool validate() override;

protected:
    bool filter(QEvent* e) override;
    // A key for the field; subclasses add their own keys first. True when handled.
    virtual bool keyPress(QKeyEvent* key);
    void gotFocus() override;
    void lostFocus() override;
    // The buffer to the screen.
    void show();

private:
    void edited();
    void typeText(const QString& text);
    bool wholeSelected() const;

    GetEditor editor_;
    bool readOnly_ = false;
    bool showing_ = false;
};

struct CheckBoxOptions {
    std::function<void(TCheckBox&)> change{};
    std::function<bool(TCheckBox&)> valid{};
    std::string msg{};
    bool update = false;
    std::function<bool()> when{};
};

class TCheckBox : public TControl {
public:
    using Options = CheckBoxOptions;
    TCheckBox(TDialog& dialog, int id, QWidget* widget, SetGet bSetGet, Options options = {});
    std::string className() const override { return "TCHECKBOX"; }

    SetGet bSetGet;
    std::function<void(TCheckBox&)> bChange;
    std::function<bool(TCheckBox&)> bValid;

    QCheckBox* box() const;
    bool checked() const;
    void setChecked(bool on);  // as a click: the variable and bChange follow
    void refresh() override;
    bool hasValid() const override { return bool(bValid); }
    bool validate() override { return !bValid || bValid(*this); }

private:
    bool refreshing_ = false;
};

struct ComboBoxOptions {
    std::function<bool(TComboBox&)> valid{};
    std::function<void(TComboBox&)> change{};
    std::string msg{};
    bool update = false;
    std::function<bool()> when{};
};

// A drop-down list. The variable holds either the item number (a number, 1 for the first) or
// the item's text.
class TComboBox : public TControl {
public:
    using Options = ComboBoxOptions;
    TComboBox(TDialog& dialog, int id, QWidget* widget, SetGet bSetGet,
              std::vector<std::string> aItems, Options options = {});
    std::string className() const override { return "TCOMBOBOX"; }

    SetGet bSetGet;
    std::vector<std::string> aItems;
    std::function<bool(TComboBox&)> bValid;
    std::function<void(TComboBox&)> bChange;
    int nAt = 0;  // the selected item, 1 for the first; 0 for none

    QComboBox* combo() const;
    void setItems(std::vector<std::string> items);
    // Selects an item as the operator would: the variable and bChange follow.
    void select(int n);
    void refresh() override;
    bool hasValid() const override { return bool(bValid); }
    bool validate() override { return !bValid || bValid(*this); }

private:
    void fill();
    bool refreshing_ = false;
};

struct ButtonOptions {
    std::string msg{};
    bool update = false;
    std::function<bool()> when{};
    std::function<bool(TButton&)> valid{};
    std::string caption{};  // replaces the layout's caption when given
    bool cancel = false;
};

// A push button. A cancel button (lCancel) can always be clicked: the field that is left is not
// validated.
class TButton : public TControl {
public:
    using Options = ButtonOptions;
    TButton(TDialog& dialog, int id, QWidget* widget, std::function<void()> bAction,
            Options options = {});
    std::string className() const override { return "TBUTTON"; }

    std::function<void()> bAction;
    std::function<bool(TButton&)> bValid;
    std::string cCaption;
    bool lCancel = false;

    QPushButton* button() const;
    void setText(const std::string& caption);
    // A click: a validation still waiting for the field that was left runs first, and a
    // refusal there stops the click.
    void click();
    bool hasValid() const override { return bool(bValid); }
    bool validate() override { return !bValid || bValid(*this); }
    bool isCancelButton() const override { return lCancel; }

protected:
    void prepare() override;
};

struct ButtonBmpOptions {
    std::string bitmap{};               // bitmap resource name
    std::string posText = "TEXTRIGHT";  // where the caption goes
    std::string toolTip{};
};

// A push button with a bitmap from the resources and its caption beside it.
class TButtonBmp : public TButton {
public:
    using BmpOptions = ButtonBmpOptions;
    TButtonBmp(TDialog& dialog, int id, QWidget* widget, std::function<void()> bAction,
               Options options = {}, BmpOptions bmp = {});
    std::string className() const override { return "TBUTTONBMP"; }

    std::string cBitmap;
    std::string cPosText;

    void setBitmap(const std::string& name);

protected:
    void prepare() override;
};

struct SayOptions {
    std::string picture{};
    Colour text = kDefaultColour;
    Colour back = kDefaultColour;
    bool update = false;
    const QFont* font = nullptr;
};

// A text of the layout whose caption comes from a block, formatted by a picture.
class TSay : public TControl {
public:
    using Options = SayOptions;
    TSay(TDialog& dialog, int id, QWidget* widget, std::function<Value()> bGet,
         Options options = {});
    std::string className() const override { return "TSAY"; }

    std::function<Value()> bGet;
    std::string cPicture;

    QLabel* label() const;
    void setText(const std::string& text);
    std::string text() const;
    void refresh() override;
};

// A bitmap of the resources by name (".png", ".bmp" or ".ico" under bitmaps/); null when missing.
QPixmap resourceBitmap(const std::string& name);

}  // namespace wv
