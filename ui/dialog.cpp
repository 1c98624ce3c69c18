#include "ui/dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUiLoader>
#include <cstdio>

#include "runtime/error.h"
#include "ui/text.h"
#include "ui/units.h"

namespace wv {

// ---------------------------------------------------------------------------------------------
// The window of a dialog: closing it by its close box or Esc asks the dialog object, which runs
// bValid; Enter moves to the next control, or presses the button that has the focus; Up and Down
// move to the previous and next control.

class DialogWindow : public QDialog {
public:
    explicit DialogWindow(QWidget* parent) : QDialog(parent) {}
    TDialog* owner = nullptr;

    void reject() override {
        if (owner)
            owner->closeRequested();
        else
            QDialog::reject();
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        if (owner && !owner->closing_) {
            e->ignore();
            owner->closeRequested();
            return;
        }
        QDialog::closeEvent(e);
    }

    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            QWidget* f = QApplication::focusWidget();
            if (auto* b = qobject_cast<QPushButton*>(f)) {
                b->animateClick();
            } else if (owner && f && f->window() == this) {
                owner->nLastKey = key::kEnter;
                owner->moveFocus(f, true);
            }
            return;
        }
        if ((e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) && owner) {
            // Up and Down that no control took move between the controls, as in the fields.
            QWidget* f = QApplication::focusWidget();
            if (f && f->window() == this) owner->moveFocus(f, e->key() == Qt::Key_Down);
            return;
        }
        QDialog::keyPressEvent(e);
    }
};

// ---------------------------------------------------------------------------------------------
// Layouts from the resources.

namespace {

class Loader : public QUiLoader {
public:
    std::vector<QWidget*> created;

    QWidget* createWidget(const QString& className, QWidget* parent,
                          const QString& name) override {
        QWidget* w;
        if (parent == nullptr && className == QLatin1String("QDialog")) {
            w = new DialogWindow(nullptr);
            w->setObjectName(name);
        } else {
            w = QUiLoader::createWidget(className, parent, name);
        }
        if (w) created.push_back(w);
        return w;
    }
};

// The id right-aligned in six, as the binding errors show it.
std::string idText(int id) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%6d", id);
    return buf;
}

ErrorChoice raiseDialogError(const std::string& subSystem, const std::string& description,
                             bool canRetry) {
    Error e;
    e.subSystem = subSystem;
    e.severity = 2;
    e.description = description;
    e.canRetry = canRetry;
    e.canDefault = true;
    return raiseError(e);
}

// The key as the window system numbers it (Tab 9, Enter 13, Up 38, Down 40...).
int virtualKey(const QKeyEvent* k) {
    switch (k->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return key::kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter: return key::kEnter;
        case Qt::Key_Escape: return key::kEscape;
        case Qt::Key_Up: return key::kUp;
        case Qt::Key_Down: return key::kDown;
        case Qt::Key_Left: return 37;
        case Qt::Key_Right: return 39;
        case Qt::Key_Home: return 36;
        case Qt::Key_End: return 35;
        case Qt::Key_PageUp: return 33;
        case Qt::Key_PageDown: return 34;
        case Qt::Key_Insert: return 45;
        case Qt::Key_Delete: return 46;
        case Qt::Key_Backspace: return 8;
        case Qt::Key_Space: return 32;
        case Qt::Key_Shift: return 16;
        case Qt::Key_Control: return 17;
        case Qt::Key_Alt: return 18;
        default: break;
    }
    if (k->key() >= Qt::Key_F1 && k->key() <= Qt::Key_F24) return 112 + (k->key() - Qt::Key_F1);
    if ((k->key() >= Qt::Key_A && k->key() <= Qt::Key_Z) ||
        (k->key() >= Qt::Key_0 && k->key() <= Qt::Key_9))
        return k->key();
    return k->key() & 0xFFFF;
}

bool isNavigationKey(int k) {
    return k == key::kTab || k == key::kEnter || k == key::kDown || k == key::kUp;
}

bool takesFocus(QWidget* w, QWidget* window) {
    return w->window() == window && w->isEnabled() && w->isVisibleTo(window) &&
           (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Events of every widget of a dialog, seen before the widget: the last key, the focus changes
// and the keys of the controls.

class DialogHub : public QObject {
public:
    explicit DialogHub(TDialog& d) : d_(d) {}

    void watch(QWidget* w) {
        w->installEventFilter(this);
        for (QWidget* c : w->findChildren<QWidget*>()) c->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w) return false;
        switch (e->type()) {
            case QEvent::KeyPress: {
                auto* k = static_cast<QKeyEvent*>(e);
                // A key unhandled by a child reaches its parents too: count it once.
                if (w == QApplication::focusWidget()) {
                    d_.nLastKey = virtualKey(k);
                    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab)
                        d_.backTab_ = k->key() == Qt::Key_Backtab;
                }
                break;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: d_.nLastKey = 0; break;
            case QEvent::FocusIn:
            case QEvent::FocusOut: break;
            default: return false;
        }
        TControl* c = d_.controlOf(w);
        if (!c) return false;
        if (e->type() == QEvent::FocusIn) {
            if (w == c->widget()) c->gotFocus();
            return false;
        }
        if (e->type() == QEvent::FocusOut) {
            // Moving between the widgets of one control (a field and its button) does not
            // leave the control.
            if (d_.controlOf(QApplication::focusWidget()) != c)
                d_.focusLeft(*c, static_cast<QFocusEvent*>(e)->reason());
            return false;
        }
        if (w != c->widget()) return false;
        return c->filter(e);
    }

private:
    TDialog& d_;
};

// ---------------------------------------------------------------------------------------------

TDialog::TDialog(const std::string& resName, const QFont* font)
    : cResName(resName), hub_(std::make_unique<DialogHub>(*this)) {
    for (;;) {
        QFile file(QStringLiteral(":/dialogs/") + qtText(resName) + QStringLiteral(".ui"));
        if (file.open(QIODevice::ReadOnly)) {
            Loader loader;
            QWidget* top = loader.load(&file, nullptr);
            if (top) {
                window_ = dynamic_cast<DialogWindow*>(top);
                if (!window_) {
                    // A layout drawn on a plain widget: a dialog window around it.
                    window_ = new DialogWindow(nullptr);
                    window_->setObjectName(top->objectName());
                    window_->setWindowTitle(top->windowTitle());
                    window_->resize(top->size());
                    top->setParent(window_);
                    top->move(0, 0);
                }
                if (top->property("wvUnits").toString() == QLatin1String("dlu")) {
                    const QFont layoutFont = top->font();
                    for (QWidget* w : loader.created) {
                        if (w == top) continue;
                        w->setGeometry(dialogUnitsToPixels(w->geometry(), layoutFont));
                    }
                    QRect r = dialogUnitsToPixels(QRect(QPoint(0, 0), top->size()), layoutFont);
                    top->resize(r.size());
                    if (top != window_) window_->resize(r.size());
                }
                for (QWidget* w : loader.created) {
                    QVariant id = w->property("wvId");
                    if (id.isValid() && !ids_.count(id.toInt())) ids_[id.toInt()] = w;
                    if (auto* b = qobject_cast<QPushButton*>(w)) {
                        b->setAutoDefault(false);
                        b->setDefault(false);
                    }
                }
                break;
            }
        }
        // Retry loads again; any other answer leaves the dialog empty.
        if (raiseDialogError("TDialog", "Resource: " + resName, true) != ErrorChoice::Retry)
            break;
    }
    if (!window_) return;
    static_cast<DialogWindow*>(window_.data())->owner = this;
    window_->setFixedSize(window_->size());
    if (font) window_->setFont(*font);
    hub_->watch(window_);
}

TDialog::~TDialog() {
    // The widgets go before the controls that watch them.
    if (window_) {
        static_cast<DialogWindow*>(window_.data())->owner = nullptr;
        delete window_.data();
    }
}

QDialog* TDialog::window() const { return windowDialog(); }

TControl* TDialog::control(int id) const {
    auto it = bound_.find(id);
    return it == bound_.end() ? nullptr : it->second;
}

TControl* TDialog::controlOf(QWidget* w) const {
    for (; w; w = w->parentWidget()) {
        auto it = widgets_.find(w);
        if (it != widgets_.end()) return it->second;
        if (w == window_) break;
    }
    return nullptr;
}

QWidget* TDialog::claim(int id) {
    if (!window_) return nullptr;
    if (bound_.count(id)) {
        raiseDialogError("TControl", "No: " + idText(id), false);
        return nullptr;
    }
    auto it = ids_.find(id);
    if (it == ids_.end()) {
        raiseDialogError("TControl", "Control: " + idText(id), false);
        return nullptr;
    }
    return it->second;
}

void TDialog::adopt(std::unique_ptr<TControl> c) {
    TControl* p = c.get();
    order_.push_back(p);
    if (p->widget()) {
        bound_[p->nId] = p;
        widgets_[p->widget()] = p;
    }
    controls_.push_back(std::move(c));
}

void TDialog::adoptWidget(QWidget* w, TControl& c) {
    widgets_[w] = &c;
    hub_->watch(w);
}

TGet& TDialog::redefineGet(int id, SetGet sg, TGet::Options o) {
    return redefine<TGet>(id, std::move(sg), std::move(o));
}
TCheckBox& TDialog::redefineCheckBox(int id, SetGet sg, TCheckBox::Options o) {
    return redefine<TCheckBox>(id, std::move(sg), std::move(o));
}
TComboBox& TDialog::redefineComboBox(int id, SetGet sg, std::vector<std::string> items,
                                     TComboBox::Options o) {
    return redefine<TComboBox>(id, std::move(sg), std::move(items), std::move(o));
}
TButton& TDialog::redefineButton(int id, std::function<void()> action, TButton::Options o) {
    return redefine<TButton>(id, std::move(action), std::move(o));
}
TButtonBmp& TDialog::redefineButtonBmp(int id, std::function<void()> action, TButton::Options o,
                                       TButtonBmp::BmpOptions bmp) {
    return redefine<TButtonBmp>(id, std::move(action), std::move(o), std::move(bmp));
}
TSay& TDialog::redefineSay(int id, std::function<Value()> get, TSay::Options o) {
    return redefine<TSay>(id, std::move(get), std::move(o));
}

void TDialog::setCaption(const std::string& caption) {
    cCaption = caption;
    if (window_) window_->setWindowTitle(qtText(caption));
}

// ---------------------------------------------------------------------------------------------

int TDialog::activate(std::function<void()> init, std::function<bool()> valid,
                      std::function<bool()> when) {
    if (init) bInit = std::move(init);
    if (valid) bValid = std::move(valid);
    if (when) bWhen = std::move(when);
    nResult = 2;
    if (!window_) return nResult;
    if (bWhen && !bWhen()) return nResult;

    if (!cCaption.empty()) window_->setWindowTitle(qtText(cCaption));
    for (TControl* c : order_) c->prepare();
    evalWhen();

    // Modal over the window that is active now: the main window, or the dialog this one is
    // opened from.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();
    if (owner == window_) owner = nullptr;
    if (owner && window_->parentWidget() != owner)
        window_->setParent(owner, window_->windowFlags() | Qt::Dialog);
    if (lCentered) centre(owner);

    ended_ = false;
    if (bInit) bInit();
    if (ended_) return nResult;
    if (!lModal) {
        window_->show();
        return nResult;
    }
    window_->setWindowModality(Qt::ApplicationModal);
    QPointer<QWidget> opener = owner;
    windowDialog()->exec();
    pending_ = nullptr;
    // The window it was opened over takes the activation back.
    if (opener && opener->isVisible()) opener->activateWindow();
    return nResult;
}

void TDialog::centre(QWidget* owner) {
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isEmpty()) return;
    QRect r(QPoint(0, 0), window_->size());
    r.moveCenter(area.center());
    window_->move(r.topLeft());
}

bool TDialog::end(int result) {
    if (lModal && bValid && !bValid()) return false;
    nResult = result;
    ended_ = true;
    if (window_ && window_->isVisible()) {
        closing_ = true;
        windowDialog()->done(result);
        closing_ = false;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

void TDialog::closeRequested() { end(2); }

void TDialog::update() {
    for (TControl* c : order_)
        if (c->lUpdate) c->refresh();
    evalWhen();
}

void TDialog::evalWhen() {
    for (TControl* c : order_) c->evalWhen();
}

// ---------------------------------------------------------------------------------------------
// Message bar

void TDialog::setMessageBar(const std::string& defaultText) {
    if (!window_) return;
    if (!bar_) {
        bar_ = new QStatusBar(window_);
        bar_->setSizeGripEnabled(false);
        barText_ = new QLabel(bar_);
        barText_->setAlignment(Qt::AlignCenter);
        bar_->addWidget(barText_, 1);
        int h = bar_->sizeHint().height();
        QSize s = window_->size();
        bar_->setGeometry(0, s.height(), s.width(), h);
        window_->setFixedSize(s.width(), s.height() + h);
        bar_->show();
    }
    barText_->setText(qtText(defaultText));
}

void TDialog::showMessage(const std::string& text) {
    if (!bar_) return;
    if (text.empty())
        bar_->clearMessage();
    else
        bar_->showMessage(qtText(text));
}

// ---------------------------------------------------------------------------------------------
// Focus and validation

void TDialog::moveFocus(QWidget* from, bool forward) {
    if (!window_ || !from) return;
    QWidget* w = from;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == from) return;
        if (takesFocus(w, window_)) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

void TDialog::focusLeft(TControl& c, int reason) {
    c.lostFocus();
    if (!c.hasValid() || !window_) return;
    // A click is no key.
    if (reason == Qt::MouseFocusReason) nLastKey = 0;
    QWidget* to = QApplication::focusWidget();
    TControl* target = controlOf(to);
    if (target && target->isCancelButton() && !isNavigationKey(nLastKey)) {
        validating_ = true;
        nLastKey = 0;
        evalWhen();
        validating_ = false;
        return;
    }
    if (!to || to->window() != window_ || !window_->isVisible() || validating_) return;
    if (target && target->isBtnBmp()) nLastKey = 0;
    pending_ = &c;
    QTimer::singleShot(0, c.widget(), [this, &c] {
        if (pending_ == &c) runValidation(c);
    });
}

bool TDialog::flushValidation() {
    if (!pending_ || validating_) return true;
    return runValidation(*pending_);
}

bool TDialog::runValidation(TControl& c) {
    pending_ = nullptr;
    if (validating_ || !window_ || !window_->isVisible()) return true;
    validating_ = true;
    bool ok = c.validate();
    if (!ok) {
        c.setFocus();
    } else {
        evalWhen();
        followLastKey(c);
    }
    validating_ = false;
    return ok;
}

void TDialog::followLastKey(TControl& c) {
    QWidget* from = c.widget();
    if (!from) return;
    bool back = nLastKey == key::kUp || (nLastKey == key::kTab && backTab_);
    bool forward = !back && (nLastKey == key::kTab || nLastKey == key::kEnter ||
                             nLastKey == key::kDown);
    if (!back && !forward) return;
    // The neighbour may have been disabled by the enabling blocks just re-evaluated.
    QWidget* w = from;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == from) return;
        if (takesFocus(w, window_)) break;
    }
    if (w != QApplication::focusWidget())
        w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

}  // namespace wv
