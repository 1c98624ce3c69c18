#include "ui/controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <cmath>

#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/error.h"
#include "runtime/operator.h"
#include "runtime/transform.h"
#include "ui/dialog.h"
#include "ui/text.h"

namespace wv {

// ---------------------------------------------------------------------------------------------
// Variables

SetGet setGet(Value& v) {
    return {[&v] { return v; }, [&v](const Value& x) { v = x; }};
}
SetGet setGet(std::string& s) {
    return {[&s] { return Value(s); },
            [&s](const Value& x) { s = x.isText() ? x.text() : x.toText(); }};
}
SetGet setGet(double& d) {
    return {[&d] { return Value::number(d); }, [&d](const Value& x) { d = x.num(); }};
}
SetGet setGet(int& n) {
    return {[&n] { return Value::number(n); },
            [&n](const Value& x) { n = int(std::lround(x.num())); }};
}
SetGet setGet(bool& b) {
    return {[&b] { return Value(b); }, [&b](const Value& x) { b = x.logical(); }};
}
SetGet setGet(Date& d) {
    return {[&d] { return Value(d); }, [&d](const Value& x) { d = x.date(); }};
}

namespace {

std::function<void(const std::string&)>& statusSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

QColor colourOf(Colour c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// A control bound to a widget of another kind: reported, and the control left without one.
void wrongWidget(int id, QPointer<QWidget>& w, const char* expected) {
    if (!w) return;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%6d", id);
    Error e;
    e.subSystem = "TControl";
    e.description = std::string("Control: ") + buf + " is no " + expected;
    e.canDefault = true;
    raiseError(e);
    w = nullptr;
}

// A value as a text shows it when it has no picture.
std::string sayText(const Value& v) {
    switch (v.type()) {
        case Value::Type::Nil: return "";
        case Value::Type::Text: return v.text();
        case Value::Type::Logical: return v.logical() ? ".T." : ".F.";
        case Value::Type::Date: return dtoc(v.date());
        default: break;
    }
    std::string s = v.toText();
    size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? "" : s.substr(first);
}

}  // namespace

void setStatusSink(std::function<void(const std::string&)> sink) {
    statusSink() = std::move(sink);
}

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TDialog& dialog, int id, QWidget* widget)
    : nId(id), dialog_(dialog), widget_(widget) {}

TControl::~TControl() = default;

void TControl::setToolTip(const std::string& text) {
    cToolTip = text;
    if (widget_) widget_->setToolTip(qtText(text));
}

void TControl::setMessage(const std::string& text) { cMsg = text; }

void TControl::setColors(Colour text, Colour back) {
    clrText_ = text;
    clrPane_ = back;
    if (!widget_) return;
    QPalette p = widget_->palette();
    if (text != kDefaultColour) {
        p.setColor(QPalette::WindowText, colourOf(text));
        p.setColor(QPalette::Text, colourOf(text));
        p.setColor(QPalette::ButtonText, colourOf(text));
    }
    if (back != kDefaultColour) {
        p.setColor(QPalette::Window, colourOf(back));
        p.setColor(QPalette::Base, colourOf(back));
        widget_->setAutoFillBackground(true);
    }
    widget_->setPalette(p);
}

void TControl::setFont(const QFont& font) {
    if (widget_) widget_->setFont(font);
}

void TControl::setFocus() {
    if (widget_) widget_->setFocus(Qt::OtherFocusReason);
}

bool TControl::hasFocus() const { return widget_ && widget_->hasFocus(); }

void TControl::enable() {
    if (widget_) widget_->setEnabled(true);
}
void TControl::disable() {
    if (widget_) widget_->setEnabled(false);
}
bool TControl::isEnabled() const { return widget_ && widget_->isEnabled(); }

void TControl::evalWhen() {
    if (bWhen && widget_) widget_->setEnabled(bWhen());
}

bool TControl::filter(QEvent*) { return false; }

void TControl::gotFocus() {
    if (cMsg.empty()) return;
    if (dialog_.messageBar())
        dialog_.showMessage(cMsg);
    else if (statusSink())
        statusSink()(cMsg);
}

void TControl::lostFocus() {
    if (cMsg.empty()) return;
    if (dialog_.messageBar())
        dialog_.showMessage("");
    else if (statusSink())
        statusSink()("");
}

void TControl::prepare() {
    if (!widget_) return;
    if (!cToolTip.empty()) widget_->setToolTip(qtText(cToolTip));
    if (clrText_ != kDefaultColour || clrPane_ != kDefaultColour) setColors(clrText_, clrPane_);
    refresh();
}

// ---------------------------------------------------------------------------------------------
// TGet

TGet::TGet(TDialog& dialog, int id, QWidget* widget, SetGet sg, Options o)
    : TControl(dialog, id, widget),
      bSetGet(std::move(sg)),
      cPicture(std::move(o.picture)),
      bValid(std::move(o.valid)),
      bChange(std::move(o.change)) {
    cMsg = std::move(o.msg);
    lUpdate = o.update;
    bWhen = std::move(o.when);
    if (!qobject_cast<QLineEdit*>(widget_)) wrongWidget(id, widget_, "entry field");
    editor_.setup(varGet(), cPicture);
    QLineEdit* le = edit();
    if (!le) return;
    le->setAlignment((editor_.rightAligned() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    le->setContextMenuPolicy(Qt::NoContextMenu);
    le->setDragEnabled(false);
    le->setAcceptDrops(false);
    le->setAttribute(Qt::WA_InputMethodEnabled, false);
    setReadOnly(o.readOnly);
    // The mouse places the cursor: on a position that takes a character.
    QObject::connect(le, &QLineEdit::cursorPositionChanged, le, [this](int, int now) {
        if (showing_ || edit()->hasSelectedText()) return;
        editor_.moveTo(now);
        if (editor_.cursor() != now) {
            showing_ = true;
            edit()->setCursorPosition(editor_.cursor());
            showing_ = false;
        }
    });
    // Whatever changes the text without going through the picture is taken back.
    QObject::connect(le, &QLineEdit::textChanged, le, [this] {
        if (!showing_ && programText(edit()->text()) != editor_.buffer()) show();
    });
    show();
}

QLineEdit* TGet::edit() const { return qobject_cast<QLineEdit*>(widget_.data()); }

Value TGet::varGet() const { return bSetGet.get ? bSetGet.get() : Value(); }

void TGet::varPut(const Value& v) {
    if (bSetGet.set) bSetGet.set(v);
}

void TGet::assign() {
    if (!editor_.changed() || editor_.badDate()) return;
    varPut(editor_.value());
    editor_.load(varGet());
    show();
}

void TGet::refresh() {
    editor_.load(varGet());
    show();
}

void TGet::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    if (QLineEdit* le = edit()) le->setReadOnly(readOnly);
}

bool TGet::validate() {
    if (editor_.badDate()) {
        msgBeep();
        return false;
    }
    assign();
    if (bValid && !bValid(*this)) {
        dialog_.nLastKey = 0;
        return false;
    }
    return true;
}

void TGet::show() {
    QLineEdit* le = edit();
    if (!le) return;
    showing_ = true;
    QString text = qtText(editor_.buffer());
    if (le->text() != text) le->setText(text);
    le->setCursorPosition(editor_.cursor());
    showing_ = false;
}

void TGet::gotFocus() {
    TControl::gotFocus();
    editor_.focusIn();
    show();
}

void TGet::lostFocus() {
    TControl::lostFocus();
    assign();
}

bool TGet::filter(QEvent* e) {
    if (e->type() == QEvent::KeyPress) return keyPress(static_cast<QKeyEvent*>(e));
    return false;
}

bool TGet::wholeSelected() const {
    QLineEdit* le = edit();
    return le && le->hasSelectedText() && !le->text().isEmpty() &&
           le->selectedText().size() == le->text().size();
}

void TGet::edited() {
    show();
    if (bChange) bChange(*this);
}

void TGet::typeText(const QString& text) {
    std::string chars = programText(text);
    bool any = false;
    for (size_t i = 0; i < chars.size(); ++i) {
        if (i == 0 && wholeSelected()) {
            // Typing over the whole selected text replaces it.
            GetEditor cleared = editor_;
            cleared.clear();
            if (cleared.type(chars[i])) {
                editor_ = cleared;
                any = true;
            }
            continue;
        }
        any = editor_.type(chars[i]) || any;
    }
    if (any)
        edited();
    else
        show();
}

bool TGet::keyPress(QKeyEvent* k) {
    QLineEdit* le = edit();
    if (!le) return false;
    switch (k->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Down:
            dialog_.moveFocus(le, true);
            return true;
        case Qt::Key_Up:
            dialog_.moveFocus(le, false);
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Escape: return false;
        default: break;
    }
    if (k->matches(QKeySequence::Copy) || k->matches(QKeySequence::Cut)) {
        QApplication::clipboard()->setText(le->hasSelectedText() ? le->selectedText()
                                                                 : le->text());
        return true;
    }
    if (k->matches(QKeySequence::Paste)) {
        if (!readOnly_) typeText(QApplication::clipboard()->text());
        return true;
    }
    if (k->matches(QKeySequence::SelectAll)) return false;
    if (k->modifiers() & Qt::ControlModifier) return true;  // no undo, no other editing
    if (k->modifiers() & (Qt::AltModifier | Qt::MetaModifier)) return false;  // mnemonics
    switch (k->key()) {
        case Qt::Key_Left: editor_.left(); show(); return true;
        case Qt::Key_Right: editor_.right(); show(); return true;
        case Qt::Key_Home: editor_.home(); show(); return true;
        case Qt::Key_End: editor_.end(); show(); return true;
        case Qt::Key_Insert: editor_.toggleInsert(); return true;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            if (readOnly_) return true;
            if (wholeSelected())
                editor_.clear();
            else if (k->key() == Qt::Key_Backspace)
                editor_.backspace();
            else
                editor_.del();
            edited();
            return true;
        default: break;
    }
    QString text = k->text();
    if (text.isEmpty() || !text.at(0).isPrint()) return false;
    if (!readOnly_) typeText(text);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TDialog& dialog, int id, QWidget* widget, SetGet sg, Options o)
    : TControl(dialog, id, widget),
      bSetGet(std::move(sg)),
      bChange(std::move(o.change)),
      bValid(std::move(o.valid)) {
    cMsg = std::move(o.msg);
    lUpdate = o.update;
    bWhen = std::move(o.when);
    if (!qobject_cast<QCheckBox*>(widget_)) wrongWidget(id, widget_, "check box");
    QCheckBox* b = box();
    if (!b) return;
    QObject::connect(b, &QCheckBox::toggled, b, [this](bool on) {
        if (refreshing_) return;
        if (bSetGet.set) bSetGet.set(Value(on));
        if (bChange) bChange(*this);
    });
    refresh();
}

QCheckBox* TCheckBox::box() const { return qobject_cast<QCheckBox*>(widget_.data()); }

bool TCheckBox::checked() const { return box() && box()->isChecked(); }

void TCheckBox::setChecked(bool on) {
    if (box()) box()->setChecked(on);
}

void TCheckBox::refresh() {
    if (!box() || !bSetGet.get) return;
    refreshing_ = true;
    box()->setChecked(bSetGet.get().logical());
    refreshing_ = false;
}

// ---------------------------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TDialog& dialog, int id, QWidget* widget, SetGet sg,
                     std::vector<std::string> items, Options o)
    : TControl(dialog, id, widget),
      bSetGet(std::move(sg)),
      aItems(std::move(items)),
      bValid(std::move(o.valid)),
      bChange(std::move(o.change)) {
    cMsg = std::move(o.msg);
    lUpdate = o.update;
    bWhen = std::move(o.when);
    if (!qobject_cast<QComboBox*>(widget_)) wrongWidget(id, widget_, "combo box");
    QComboBox* c = combo();
    if (!c) return;
    fill();
    QObject::connect(c, &QComboBox::currentIndexChanged, c, [this](int index) {
        if (refreshing_) return;
        nAt = index + 1;
        if (bSetGet.set && bSetGet.get) {
            if (bSetGet.get().isNumber())
                bSetGet.set(Value::number(nAt));
            else
                bSetGet.set(Value(nAt > 0 ? aItems[size_t(index)] : std::string()));
        }
        if (bChange) bChange(*this);
    });
    refresh();
}

QComboBox* TComboBox::combo() const { return qobject_cast<QComboBox*>(widget_.data()); }

void TComboBox::fill() {
    QComboBox* c = combo();
    refreshing_ = true;
    c->clear();
    for (const std::string& item : aItems) c->addItem(qtText(item));
    refreshing_ = false;
}

void TComboBox::setItems(std::vector<std::string> items) {
    aItems = std::move(items);
    if (!combo()) return;
    fill();
    refresh();
}

void TComboBox::select(int n) {
    if (combo() && n >= 1 && n <= int(aItems.size())) combo()->setCurrentIndex(n - 1);
}

void TComboBox::refresh() {
    QComboBox* c = combo();
    if (!c || !bSetGet.get) return;
    Value v = bSetGet.get();
    int index = -1;
    if (v.isNumber()) {
        int n = int(v.num());
        if (n >= 1 && n <= int(aItems.size())) index = n - 1;
    } else {
        auto trim = [](const std::string& s) {
            size_t e = s.find_last_not_of(' ');
            return e == std::string::npos ? std::string() : s.substr(0, e + 1);
        };
        for (size_t i = 0; i < aItems.size(); ++i)
            if (trim(aItems[i]) == trim(v.text())) {
                index = int(i);
                break;
            }
    }
    refreshing_ = true;
    c->setCurrentIndex(index);
    refreshing_ = false;
    nAt = index + 1;
}

// ---------------------------------------------------------------------------------------------
// TButton, TButtonBmp

TButton::TButton(TDialog& dialog, int id, QWidget* widget, std::function<void()> action,
                 Options o)
    : TControl(dialog, id, widget),
      bAction(std::move(action)),
      bValid(std::move(o.valid)),
      cCaption(std::move(o.caption)),
      lCancel(o.cancel) {
    cMsg = std::move(o.msg);
    lUpdate = o.update;
    bWhen = std::move(o.when);
    if (!qobject_cast<QPushButton*>(widget_)) wrongWidget(id, widget_, "push button");
    if (QPushButton* b = button()) {
        QObject::connect(b, &QPushButton::clicked, b, [this] { click(); });
        if (!cCaption.empty()) setText(cCaption);
    }
}

QPushButton* TButton::button() const { return qobject_cast<QPushButton*>(widget_.data()); }

void TButton::setText(const std::string& caption) {
    cCaption = caption;
    std::string shown;
    for (char c : caption)
        if (c != '\r') shown += c;
    if (QPushButton* b = button()) b->setText(qtText(shown));
}

void TButton::click() {
    // A field left for this button may still be waiting for its validation; a refusal there
    // takes the focus back and the click does not count. A cancel button does not wait.
    if (!lCancel && !dialog_.flushValidation()) return;
    if (bAction) bAction();
}

void TButton::prepare() {
    TControl::prepare();
    if (!cCaption.empty()) setText(cCaption);
}

QPixmap resourceBitmap(const std::string& name) {
    QString base = QStringLiteral(":/bitmaps/") + qtText(name);
    for (const QString& n : {base, QStringLiteral(":/bitmaps/") + qtText(name).toUpper()})
        for (const char* ext : {".png", ".bmp", ".ico", ""}) {
            QPixmap p(n + QLatin1String(ext));
            if (!p.isNull()) return p;
        }
    return QPixmap();
}

TButtonBmp::TButtonBmp(TDialog& dialog, int id, QWidget* widget, std::function<void()> action,
                       Options o, BmpOptions bmp)
    : TButton(dialog, id, widget, std::move(action), std::move(o)),
      cBitmap(std::move(bmp.bitmap)),
      cPosText(upperCase(bmp.posText)) {
    if (!bmp.toolTip.empty()) setToolTip(bmp.toolTip);
    setBitmap(cBitmap);
}

void TButtonBmp::setBitmap(const std::string& name) {
    cBitmap = name;
    QPushButton* b = button();
    if (!b) return;
    QPixmap p = name.empty() ? QPixmap() : resourceBitmap(name);
    b->setIcon(QIcon(p));
    if (!p.isNull()) {
        int room = std::max(8, b->height() - 8);
        QSize s = p.size();
        if (s.height() > room) s.scale(room, room, Qt::KeepAspectRatio);
        b->setIconSize(s);
    }
    // The picture on the left and the caption to its right; "TEXTLEFT" swaps them.
    b->setLayoutDirection(cPosText == "TEXTLEFT" ? Qt::RightToLeft : Qt::LeftToRight);
}

void TButtonBmp::prepare() {
    TButton::prepare();
    setBitmap(cBitmap);
}

// ---------------------------------------------------------------------------------------------
// TSay

TSay::TSay(TDialog& dialog, int id, QWidget* widget, std::function<Value()> get, Options o)
    : TControl(dialog, id, widget), bGet(std::move(get)), cPicture(std::move(o.picture)) {
    lUpdate = o.update;
    if (!qobject_cast<QLabel*>(widget_)) wrongWidget(id, widget_, "text");
    if (QLabel* l = label()) {
        l->setTextFormat(Qt::PlainText);
        if (o.font) l->setFont(*o.font);
    }
    if (o.text != kDefaultColour || o.back != kDefaultColour) setColors(o.text, o.back);
    refresh();
}

QLabel* TSay::label() const { return qobject_cast<QLabel*>(widget_.data()); }

void TSay::setText(const std::string& text) {
    if (QLabel* l = label()) l->setText(qtText(text));
}

std::string TSay::text() const { return label() ? programText(label()->text()) : std::string(); }

void TSay::refresh() {
    if (!bGet) return;
    Value v = bGet();
    setText(cPicture.empty() ? sayText(v) : transform(v, cPicture));
}

}  // namespace wv
