#include "ui/btnget.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>

#include "ui/dialog.h"

namespace wv {

namespace {

QColor colourOf(Colour c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The width of the sunken border of a field in a three-dimensional dialog: the button's
// rectangle there is measured inside it.
constexpr int k3DBorder = 2;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBtnDown

TBtnDown::TBtnDown(QWidget* parent, const QRect& rect, std::string resName1,
                   std::function<void()> action)
    : QAbstractButton(parent), cResName1(std::move(resName1)), bAction(std::move(action)) {
    setGeometry(rect);
    // Reached by the mouse only: Tab and Enter go past it, as past the field's edge.
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::ArrowCursor);
    connect(this, &QAbstractButton::clicked, this, [this] { clicked(); });
}

void TBtnDown::clicked() {
    if (bAction) bAction();
    // Back to the resting look, with its border.
    lBorder = true;
    setDown(false);
    update();
}

std::array<QPoint, 3> TBtnDown::arrow(const QSize& size, bool pressed) {
    const int w = size.width() / 2, h = size.height() / 2, p = pressed ? 1 : 0;
    return {QPoint(w - 2 + p, h - 1 + p), QPoint(w + p, h + 1 + p), QPoint(w + 2 + p, h - 1 + p)};
}

void TBtnDown::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    if (lBorder) style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
    const int shift = isDown() ? 1 : 0;
    if (!cResName1.empty()) {
        QPixmap bmp = resourceBitmap(cResName1);
        if (!bmp.isNull()) {
            QSize room = size() - QSize(4, 4);
            if (bmp.width() > room.width() || bmp.height() > room.height())
                bmp = bmp.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QPoint at((width() - bmp.width()) / 2 + shift, (height() - bmp.height()) / 2 + shift);
            p.drawPixmap(at, isEnabled() ? bmp
                                         : style()->generatedIconPixmap(QIcon::Disabled, bmp,
                                                                        &opt));
        }
        return;
    }
    const auto pts = arrow(size(), isDown());
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink = isEnabled() ? QColor(Qt::black) : palette().color(QPalette::Dark);
    p.setPen(ink);
    p.setBrush(ink);
    p.drawPolygon(pts.data(), int(pts.size()));
}

void TBtnDown::focusInEvent(QFocusEvent* e) {
    QAbstractButton::focusInEvent(e);
    if (bGotFocus) bGotFocus();
}

void TBtnDown::focusOutEvent(QFocusEvent* e) {
    QAbstractButton::focusOutEvent(e);
    if (bLostFocus) bLostFocus();
}

void TBtnDown::mouseMoveEvent(QMouseEvent* e) {
    QAbstractButton::mouseMoveEvent(e);
    lBorder = true;
}

// ---------------------------------------------------------------------------------------------
// TBtnGet

// Keeps the button at the field's right edge whenever the field changes size.
class BtnGetWatcher : public QObject {
public:
    BtnGetWatcher(TBtnGet& get, QObject* parent) : QObject(parent), get_(get) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize) get_.placeButton();
        return false;
    }

private:
    TBtnGet& get_;
};

TBtnGet::TBtnGet(TDialog& dialog, int id, QWidget* widget, SetGet sg, Options options,
                 BtnOptions btn)
    : TGet(dialog, id, widget, std::move(sg), std::move(options)),
      bAction(std::move(btn.action)),
      cResName(std::move(btn.bitmap)),
      nBmpWidth(btn.bmpWidth > 0 ? btn.bmpWidth : kLayoutBmpWidth) {
    setIniClr();
    makeButton();
}

TBtnGet::~TBtnGet() {
    if (owned_ && widget_) delete widget_.data();
}

std::unique_ptr<TBtnGet> TBtnGet::create(TDialog& dialog, const QRect& rect, SetGet sg,
                                         Options options, BtnOptions btn) {
    QLineEdit* edit = dialog.window() ? new QLineEdit(dialog.window()) : nullptr;
    if (edit) {
        edit->setGeometry(rect);
        edit->show();
    }
    if (btn.bmpWidth <= 0) btn.bmpWidth = kCodeBmpWidth;
    auto get = std::make_unique<TBtnGet>(dialog, 0, edit, std::move(sg), std::move(options),
                                         std::move(btn));
    get->owned_ = true;
    // Its keys and focus reach it like those of a field of the layout.
    if (get->widget()) dialog.adoptWidget(get->widget(), *get);
    return get;
}

void TBtnGet::setIniClr() {
    nClrFocusText = kFocusText;
    nClrFocusPane = kFocusPane;
    nClrPFoText = clrText_;
    nClrPFoPane = clrPane_;
    if (widget_) iniPalette_ = widget_->palette();
}

void TBtnGet::makeButton() {
    QLineEdit* le = edit();
    if (!le || !bAction) return;
    BtnDims d = calcDims();
    oBtn_ = new TBtnDown(le, QRect(d.left, d.top, d.width, d.height), cResName,
                         [this] { pressButton(); });
    oBtn_->bGotFocus = [this] { buttonGotFocus(); };
    oBtn_->bLostFocus = [this] { buttonLostFocus(); };
    placeButton();
    oBtn_->show();
    le->installEventFilter(new BtnGetWatcher(*this, le));
    dialog_.adoptWidget(oBtn_, *this);
}

BtnDims TBtnGet::calcDims(QSize size, int bmpWidth, bool bitmap, bool look3D, int vScrollWidth) {
    BtnDims d;
    d.margin = bmpWidth + 4 - (bitmap ? 0 : 9);
    if (look3D) {
        d.left = size.width() - (bitmap ? 26 : 16);
        d.width = bitmap ? 22 : 12;
        d.top = 0;
        d.height = size.height() - 4;
    } else {
        d.left = size.width() - (bitmap ? 25 : 15);
        d.width = bitmap ? 24 : 14;
        d.top = 1;
        d.height = size.height() - 2;
    }
    if (vScrollWidth > 0) d.left -= vScrollWidth - 1;
    return d;
}

BtnDims TBtnGet::calcDims() const {
    // An entry field of one line has no scroll bar.
    QSize size = widget_ ? widget_->size() : QSize();
    return calcDims(size, nBmpWidth, !cResName.empty(), l3DLook);
}

void TBtnGet::placeButton() {
    QLineEdit* le = edit();
    if (!le || !oBtn_) return;
    BtnDims d = calcDims();
    QRect r(d.left, d.top, d.width, d.height);
    // In a three-dimensional dialog the rectangle is measured inside the field's sunken border.
    if (l3DLook) r.translate(k3DBorder, k3DBorder);
    oBtn_->setGeometry(r);
    // The text never runs under the button.
    le->setTextMargins(0, 0, d.margin, 0);
}

void TBtnGet::move(const QRect& rect) {
    if (widget_) widget_->setGeometry(rect);
    placeButton();
}

void TBtnGet::pressButton() {
    // A field left for the button may still be waiting for its validation; a refusal there
    // keeps the focus in that field and the button does nothing.
    if (!dialog_.flushValidation()) return;
    if (widget_) widget_->setFocus(Qt::OtherFocusReason);
    if (bAction) bAction();
}

bool TBtnGet::hasValid() const { return !parked_ && TGet::hasValid(); }

bool TBtnGet::isBtnBmp() const { return oBtn_ && oBtn_->hasFocus(); }

bool TBtnGet::keyPress(QKeyEvent* key) {
    if (key->key() == Qt::Key_F2 && bAction) {
        bAction();
        return true;
    }
    return TGet::keyPress(key);
}

void TBtnGet::buttonGotFocus() {
    if (parked_) return;
    // The buffer goes to the variable as when leaving the field, for the action to see it.
    assign();
    bTmpValid = std::move(bValid);
    bValid = nullptr;
    parked_ = true;
    dialog_.nLastKey = 0;
}

void TBtnGet::buttonLostFocus() {
    if (!parked_) return;
    bValid = std::move(bTmpValid);
    bTmpValid = nullptr;
    parked_ = false;
}

void TBtnGet::applyColours(bool focused) {
    QWidget* w = widget_;
    if (!w) return;
    QPalette p = iniPalette_;
    if (focused) {
        p.setColor(QPalette::Text, colourOf(nClrFocusText));
        p.setColor(QPalette::Base, colourOf(nClrFocusPane));
    }
    w->setPalette(p);
}

void TBtnGet::gotFocus() {
    TGet::gotFocus();
    applyColours(true);
}

void TBtnGet::lostFocus() {
    TGet::lostFocus();
    applyColours(false);
}

void TBtnGet::prepare() {
    TGet::prepare();
    // The colours the program gave the field are the ones it has when not focused.
    setIniClr();
    applyColours(hasFocus());
}

}  // namespace wv
