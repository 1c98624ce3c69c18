#include "ui/ssay.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <qdrawutil.h>

#include "runtime/date.h"
#include "runtime/transform.h"
#include "ui/dialog.h"
#include "ui/text.h"

namespace wv {

namespace {

TSSay* g_hovered = nullptr;

QColor colourOf(Colour c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// A value as the text shows it when it has no picture.
std::string captionOf(const Value& v, const std::string& picture) {
    if (!picture.empty()) return transform(v, picture);
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

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The caption's lines: split at the line breaks, each trimmed, a long one going on in the next.
std::vector<std::string> splitLines(const std::string& caption) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (;;) {
        size_t nl = caption.find('\n', at);
        std::string line = caption.substr(at, nl == std::string::npos ? nl : nl - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trimmed(line);
        do {
            lines.push_back(line.substr(0, TSSay::kMaxLine));
            line = line.size() > TSSay::kMaxLine ? trimmed(line.substr(TSSay::kMaxLine)) : "";
        } while (!line.empty());
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    return lines;
}

}  // namespace

// The events of the text's widget (painting, the mouse, resizing) and the mouse moves over its
// parent, which tell the text under the mouse that it was left.
class SSayWatcher : public QObject {
public:
    SSayWatcher(TSSay& say, QObject* parent) : QObject(parent), say_(say) {}

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        QWidget* w = say_.widget();
        if (!w) return false;
        if (obj != w) {
            // A move the text did not take reaches the parent too: only one off the text leaves.
            if (e->type() == QEvent::MouseMove && say_.lOver) {
                auto* m = static_cast<QMouseEvent*>(e);
                if (!w->rect().contains(w->mapFromGlobal(m->globalPosition().toPoint())))
                    say_.mouseLeft();
            }
            return false;
        }
        switch (e->type()) {
            case QEvent::Paint: {
                QPainter p(w);
                say_.paint(p);
                return true;
            }
            case QEvent::Resize: say_.layout(); return false;
            case QEvent::MouseMove:
                if (w->isEnabled() && !say_.lOver) say_.mouseEntered();
                return false;
            case QEvent::Leave:
                if (say_.lOver) say_.mouseLeft();
                return false;
            case QEvent::MouseButtonRelease: {
                auto* m = static_cast<QMouseEvent*>(e);
                if (w->isEnabled() && m->button() == Qt::LeftButton &&
                    w->rect().contains(m->position().toPoint()))
                    say_.mouseReleased();
                return false;
            }
            case QEvent::EnabledChange:
                if (!w->isEnabled() && say_.lOver) say_.mouseLeft();
                w->update();
                return false;
            default: return false;
        }
    }

private:
    TSSay& say_;
};

TSSay::TSSay(TDialog& dialog, int id, QWidget* widget, std::function<Value()> get, Options o)
    : TControl(dialog, id, widget),
      bGet(std::move(get)),
      cPicture(std::move(o.picture)),
      lTransparent(o.transparent),
      lShaded(o.shaded),
      lBox(o.box),
      lRaised(o.raised),
      l3D(o.raised),
      nClrOver(o.over),
      bAction(std::move(o.action)),
      bMOver(std::move(o.mOver)),
      bNonMOver(std::move(o.nonMOver)) {
    lUpdate = o.update;
    clrText_ = o.text;
    clrPane_ = o.back;
    if (o.bottom) nAlign += kAlignBottom;
    nAlign += o.centered ? kAlignCenter : o.right ? kAlignRight : kAlignLeft;
    if (widget_ && !qobject_cast<QLabel*>(widget_)) {
        // Only a text of the layout draws as a styled text.
        widget_ = nullptr;
    }
    if (o.cursor) cursor_ = std::make_unique<QCursor>(*o.cursor);
    if (!widget_) return;
    if (o.font) widget_->setFont(*o.font);
    watch();
    refresh();
    layout();
}

TSSay::~TSSay() {
    if (g_hovered == this) g_hovered = nullptr;
    if (owned_ && widget_) delete widget_.data();
}

std::unique_ptr<TSSay> TSSay::create(TDialog& dialog, const QRect& rect,
                                     std::function<Value()> get, Options options,
                                     QWidget* parent) {
    if (!parent) parent = dialog.window();
    QLabel* label = parent ? new QLabel(parent) : nullptr;
    if (label) {
        label->setGeometry(rect);
        label->show();
    }
    auto say = std::make_unique<TSSay>(dialog, 0, label, std::move(get), std::move(options));
    say->owned_ = true;
    return say;
}

void TSSay::watch() {
    QWidget* w = widget_;
    auto* watcher = new SSayWatcher(*this, w);
    w->installEventFilter(watcher);
    w->setMouseTracking(true);
    w->setAttribute(Qt::WA_Hover, false);
    w->setCursor(cursor_ ? *cursor_ : QCursor(Qt::PointingHandCursor));
    if (QWidget* parent = w->parentWidget()) {
        parent->setMouseTracking(true);
        parent->installEventFilter(watcher);
    }
}

void TSSay::prepare() {
    // The colours are drawn by the text itself: the widget's palette stays the parent's.
    if (!widget_) return;
    if (!cToolTip.empty()) widget_->setToolTip(qtText(cToolTip));
    refresh();
    layout();
}

void TSSay::refresh() {
    if (bGet) setText(bGet());
}

void TSSay::setText(const Value& value) {
    cCaption = captionOf(value, cPicture);
    if (auto* label = qobject_cast<QLabel*>(widget_.data())) label->setText(qtText(cCaption));
    layout();
}

void TSSay::varPut(const Value& value) {
    std::string shown = captionOf(value, cPicture);
    bGet = [shown] { return Value(shown); };
}

void TSSay::layout() {
    auto* label = qobject_cast<QLabel*>(widget_.data());
    if (!label) return;
    QFontMetrics fm(label->font());
    nTxtHeight = fm.height();
    if (cCaption.empty())
        cCaption = programText(label->text());
    else
        label->setText(qtText(cCaption));
    aCaption = splitLines(cCaption);
    nTxtWidth = 0;
    for (const std::string& line : aCaption)
        nTxtWidth = std::max(nTxtWidth, fm.horizontalAdvance(qtText(line)));
    aRect = label->rect();
    nSTop = (nAlign & kAlignBottom) ? aRect.bottom() + 1 : 0;
    int h = nAlign & kAlignCenter;
    nSLeft = h == kAlignCenter ? aRect.width() / 2 : h == kAlignRight ? aRect.width() : 0;
    if (lBox)
        aRect.adjust(2, 2, -2, -2);
    else if (lShaded || lRaised)
        aRect.adjust(1, 1, -1, -1);
    // A transparent text lets its parent's background through: Qt repaints the parent under it.
    label->setAttribute(Qt::WA_TranslucentBackground, lTransparent);
    label->setAutoFillBackground(false);
    label->update();
}

QColor TSSay::textColour() const {
    if (lOver) {
        if (nClrOver != kDefaultColour) return colourOf(nClrOver);
        return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    }
    if (clrText_ != kDefaultColour) return colourOf(clrText_);
    QWidget* w = widget_;
    QWidget* parent = w ? w->parentWidget() : nullptr;
    return (parent ? parent : w)->palette().color(QPalette::WindowText);
}

QColor TSSay::paneColour() const {
    if (clrPane_ != kDefaultColour) return colourOf(clrPane_);
    QWidget* w = widget_;
    QWidget* parent = w ? w->parentWidget() : nullptr;
    return (parent ? parent : w)->palette().color(QPalette::Window);
}

TSSay* TSSay::hovered() { return g_hovered; }

void TSSay::paint(QPainter& p) {
    QWidget* w = widget_;
    if (!w) return;
    if (!lTransparent) p.fillRect(w->rect(), paneColour());
    p.setFont(w->font());
    p.setClipRect(aRect);
    QFontMetrics fm(w->font());
    // Each line hangs from its reference point: nSLeft is its left edge, centre or right edge
    // and nSTop its top or its bottom, as nAlign says.
    auto lineRect = [&](size_t i) {
        QString text = qtText(aCaption[i]);
        int width = fm.horizontalAdvance(text);
        int h = nAlign & kAlignCenter;
        int x = h == kAlignCenter ? nSLeft - width / 2 : h == kAlignRight ? nSLeft - width : nSLeft;
        int y = nSTop + int(i) * nTxtHeight;
        if (nAlign & kAlignBottom) y -= nTxtHeight;
        return QRect(x, y, width, nTxtHeight);
    };
    auto drawLines = [&](QPoint offset, const QColor& colour) {
        p.setPen(colour);
        for (size_t i = 0; i < aCaption.size(); ++i)
            p.drawText(lineRect(i).translated(offset), Qt::AlignLeft | Qt::AlignTop,
                       qtText(aCaption[i]));
    };
    if (w->isEnabled()) {
        drawLines({0, 0}, textColour());
        if (lDrawBox && !aCaption.empty()) {
            QRect r = lineRect(0);
            for (size_t i = 1; i < aCaption.size(); ++i) r = r.united(lineRect(i));
            p.setPen(textColour());
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(-1, -1, 0, 0));
        }
    } else {
        // Embossed: a highlight one pixel down and right, the shadow in place.
        const QPalette& pal = QApplication::palette();
        drawLines({1, 1}, pal.color(QPalette::Active, QPalette::Light));
        drawLines({0, 0}, pal.color(QPalette::Active, QPalette::Dark));
    }
    p.setClipping(false);
    const QPalette& pal = w->palette();
    if (lShaded) qDrawShadeRect(&p, w->rect(), pal, true, 1);
    if (lRaised) qDrawShadeRect(&p, w->rect(), pal, false, 1);
    if (lBox) {
        qDrawShadeRect(&p, w->rect(), pal, true, 1);
        qDrawShadeRect(&p, w->rect().adjusted(1, 1, -1, -1), pal, false, 1);
    }
}

void TSSay::mouseEntered() {
    if (!widget_ || !widget_->isEnabled() || lOver) return;
    if (g_hovered && g_hovered != this) g_hovered->mouseLeft();
    g_hovered = this;
    lOver = true;
    TControl::gotFocus();  // the message of the text while the mouse is over it
    widget_->update();
    if (bMOver) bMOver(*this);
}

void TSSay::mouseLeft() {
    if (!lOver) return;
    lOver = false;
    if (g_hovered == this) g_hovered = nullptr;
    TControl::lostFocus();
    if (widget_) widget_->update();
    if (bNonMOver) bNonMOver(*this);
}

void TSSay::mouseReleased() {
    if (bAction && widget_ && widget_->isEnabled()) bAction(*this);
}

}  // namespace wv
