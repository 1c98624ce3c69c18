// An entry field with a small button inside its right edge (TBtnGet) and that button (TBtnDown).
// The button, or F2 in the field, runs the field's action, typically a picker that fills the
// field: the calendar for a date, the customer browser for a customer code.
//
//     dlg.redefine<TBtnGet>(102, setGet(dFecha), TGet::Options{.picture = "@D"},
//                           TBtnGet::BtnOptions{.bitmap = "BMP_CALENDARIOPQ",
//                                               .action = [&] { ... }});
//
// To the window layer the field is a plain entry field ("TGET"); the button belongs to it, so
// moving between the two does not leave the field. While the button has the focus the field's
// validation is put aside, so clicking the button never runs it; leaving the field runs it as
// usual. The field is coloured while it has the focus.
#pragma once

#include <QAbstractButton>
#include <QPalette>
#include <QPointer>
#include <QRect>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "ui/controls.h"

namespace wv {

// The button inside the field: a bitmap button that always draws its border and, without a
// bitmap, a small black arrow pointing down, one pixel right and down while pressed.
class TBtnDown : public QAbstractButton {
public:
    // A button at `rect` of `parent` showing the bitmap cResName1 (the arrow when empty), whose
    // click runs `action`.
    TBtnDown(QWidget* parent, const QRect& rect, std::string cResName1,
             std::function<void()> action);

    std::string className() const { return "TBTNBMP"; }

    const std::string cResName1;
    std::function<void()> bAction;
    bool lBorder = true;
    // Called when the button gains and loses the focus.
    std::function<void()> bGotFocus;
    std::function<void()> bLostFocus;

    // The arrow's three corners for the button's size, pressed or not.
    static std::array<QPoint, 3> arrow(const QSize& size, bool pressed);

protected:
    void paintEvent(QPaintEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void clicked();
};

struct BtnGetOptions {
    std::string bitmap{};            // the button's bitmap; empty: the drawn arrow
    std::function<void()> action{};  // empty: a plain field without a button
    int bmpWidth = 0;  // width kept for the bitmap; 0: 22 in a layout, 17 for a field made in code
};

// The button's place inside the field and the room kept for it at the right of the text.
struct BtnDims {
    int margin = 0;
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;
};

class TBtnGet : public TGet {
public:
    using BtnOptions = BtnGetOptions;
    static constexpr int kLayoutBmpWidth = 22;
    static constexpr int kCodeBmpWidth = 17;
    static constexpr Colour kFocusText = 0;                                  // (0, 0, 0)
    static constexpr Colour kFocusPane = 243 | (250 << 8) | (200 << 16);     // (243, 250, 200)

    TBtnGet(TDialog& dialog, int id, QWidget* widget, SetGet bSetGet, Options options = {},
            BtnOptions btn = {});
    ~TBtnGet() override;
    // A field made in code at `rect` (pixels) of the dialog's window; the bitmap width defaults
    // to 17. The caller keeps it while the dialog lives; its widget goes with it.
    static std::unique_ptr<TBtnGet> create(TDialog& dialog, const QRect& rect, SetGet bSetGet,
                                           Options options = {}, BtnOptions btn = {});

    std::string className() const override { return "TGET"; }

    std::function<void()> bAction;
    std::string cResName;
    int nBmpWidth = 22;
    std::function<bool(TGet&)> bTmpValid;  // the validation, while the button has the focus
    Colour nClrFocusText = kFocusText;
    Colour nClrFocusPane = kFocusPane;
    Colour nClrPFoText = kDefaultColour;  // the colours while not focused
    Colour nClrPFoPane = kDefaultColour;
    bool l3DLook = true;  // the dialog has the three-dimensional look

    TBtnDown* button() const { return oBtn_; }
    // The button's rectangle inside the field and the text margin, for the field's size now.
    BtnDims calcDims() const;
    // The same for a field of `size`: bitmap width, bitmap or arrow, the parent's look, and the
    // width of the field's vertical scroll bar (0 without).
    static BtnDims calcDims(QSize size, int bmpWidth, bool bitmap, bool look3D,
                            int vScrollWidth = 0);
    // Moves and sizes the field; the button follows the right edge.
    void move(const QRect& rect);
    // The button's action: the focus back into the field, then the action.
    void pressButton();

    bool hasValid() const override;
    bool isBtnBmp() const override;

protected:
    bool keyPress(QKeyEvent* key) override;
    void gotFocus() override;
    void lostFocus() override;
    void prepare() override;

private:
    friend class BtnGetWatcher;
    void setIniClr();
    void makeButton();
    void placeButton();
    void applyColours(bool focused);
    void buttonGotFocus();
    void buttonLostFocus();

    QPointer<TBtnDown> oBtn_;
    QPalette iniPalette_;
    bool parked_ = false;
    bool owned_ = false;
};

}  // namespace wv
