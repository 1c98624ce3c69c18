// A styled text: a label that draws its text itself, line by line, with its own alignment; it can
// be transparent over the dialog, change colour while the mouse is over it, run an action when
// clicked, show an embossed text when disabled, and carry sunken, raised or boxed frames.
//
// Bound to a text (QLabel) of the layout by its id:
//
//     dlg.redefine<TSSay>(112, [] { return Value(cNombre); },
//                         TSSay::Options{.centered = true, .text = 16777215,
//                                        .font = &oApp().fTitulo, .transparent = true});
//
// or created in code over any window of a dialog (TSSay::create).
#pragma once

#include <QColor>
#include <QRect>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"

class QCursor;
class QFont;
class QObject;
class QPainter;

namespace wv {

class TSSay;

struct SSayOptions {
    std::string picture{};
    std::function<void(TSSay&)> action{};  // on releasing the left button over the text
    bool centered = false;
    bool right = false;
    bool bottom = false;
    Colour text = kDefaultColour;  // default: the parent's
    Colour back = kDefaultColour;  // default: the parent's
    Colour over = kDefaultColour;  // default: the system's active-caption colour
    bool update = false;
    const QFont* font = nullptr;
    const QCursor* cursor = nullptr;  // while over the text; default a hand
    bool shaded = false;              // sunken frame
    bool box = false;                 // sunken box with a raised box inside
    bool raised = false;              // raised frame
    bool transparent = false;         // drawn over the parent's background
    std::function<void(TSSay&)> mOver{};     // the mouse entered
    std::function<void(TSSay&)> nonMOver{};  // the mouse left
};

class TSSay : public TControl {
public:
    using Options = SSayOptions;

    // Alignment flags of nAlign.
    static constexpr int kAlignLeft = 0;
    static constexpr int kAlignRight = 2;
    static constexpr int kAlignCenter = 6;
    static constexpr int kAlignBottom = 8;
    // A line longer than this goes on in the next one.
    static constexpr size_t kMaxLine = 252;

    TSSay(TDialog& dialog, int id, QWidget* widget, std::function<Value()> bGet,
          Options options = {});
    ~TSSay() override;
    // A styled text made in code at `rect` (pixels) of `parent` (the dialog's window when null).
    // The caller keeps it; its widget goes with it.
    static std::unique_ptr<TSSay> create(TDialog& dialog, const QRect& rect,
                                         std::function<Value()> bGet, Options options = {},
                                         QWidget* parent = nullptr);

    std::string className() const override { return "TSSAY"; }

    std::function<Value()> bGet;
    std::string cPicture;
    std::string cCaption;
    std::vector<std::string> aCaption;
    int nAlign = kAlignLeft;
    int nSTop = 0;
    int nSLeft = 0;
    QRect aRect;
    int nTxtWidth = 0;
    int nTxtHeight = 0;
    bool lTransparent = false;
    bool lShaded = false;
    bool lBox = false;
    bool lRaised = false;
    bool lDrawBox = false;
    bool l3D = false;
    bool lOver = false;
    Colour nClrOver = kDefaultColour;
    std::function<void(TSSay&)> bAction;
    std::function<void(TSSay&)> bMOver;
    std::function<void(TSSay&)> bNonMOver;

    void refresh() override;
    // The caption from a value (formatted by cPicture), laid out and shown again.
    void setText(const Value& value);
    // From now on the text shows this value.
    void varPut(const Value& value);
    // Splits the caption into lines and places them in the control.
    void layout();

    // The colours the text is drawn in now (the over colour while the mouse is over it).
    QColor textColour() const;
    QColor paneColour() const;
    // The control under the mouse, over all the styled texts.
    static TSSay* hovered();

    // The mouse, as the widget reports it.
    void mouseEntered();
    void mouseLeft();
    void mouseReleased();

protected:
    void prepare() override;

private:
    friend class SSayWatcher;
    void paint(QPainter& p);
    void watch();

    std::unique_ptr<QCursor> cursor_;
    bool owned_ = false;  // the widget was made in code
};

}  // namespace wv
