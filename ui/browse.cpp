#include "ui/browse.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "data/workarea.h"
#include "runtime/date.h"
#include "ui/dialog.h"
#include "ui/text.h"

namespace wv {

namespace {

QColor colourOf(Colour c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// A cell's value as the grid writes it: texts as they are, numbers without the blanks of their
// width, dates in the date format, logicals as .T./.F.
std::string cellText(const Value& v) {
    switch (v.type()) {
        case Value::Type::Nil:
            return "";
        case Value::Type::Text:
            return v.text();
        case Value::Type::Logical:
            return v.logical() ? ".T." : ".F.";
        case Value::Type::Date:
            return dtoc(v.date());
        case Value::Type::Array:
            return "";
        default:
            break;
    }
    std::string s = v.toText();
    size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? "" : s.substr(first);
}

// A text of several lines (CR LF or LF between them) as Qt draws it.
QString shownText(const std::string& s) {
    QString q = qtText(s);
    q.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    q.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return q;
}

int lineCount(const std::string& s) {
    return int(shownText(s).count(QLatin1Char('\n'))) + 1;
}

Qt::Alignment alignmentOf(int justify) {
    switch (justify) {
        case TWBrowse::kRight:
            return Qt::AlignRight;
        case TWBrowse::kCentre:
            return Qt::AlignHCenter;
        default:
            return Qt::AlignLeft;
    }
}

// The key as the window system numbers it; 0 for the modifier keys alone.
int virtualKey(const QKeyEvent* k) {
    switch (k->key()) {
        case Qt::Key_Backspace:
            return vk::kBack;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return vk::kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return vk::kReturn;
        case Qt::Key_Escape:
            return vk::kEscape;
        case Qt::Key_Space:
            return vk::kSpace;
        case Qt::Key_PageUp:
            return vk::kPrior;
        case Qt::Key_PageDown:
            return vk::kNext;
        case Qt::Key_End:
            return vk::kEnd;
        case Qt::Key_Home:
            return vk::kHome;
        case Qt::Key_Left:
            return vk::kLeft;
        case Qt::Key_Up:
            return vk::kUp;
        case Qt::Key_Right:
            return vk::kRight;
        case Qt::Key_Down:
            return vk::kDown;
        case Qt::Key_Insert:
            return vk::kInsert;
        case Qt::Key_Delete:
            return vk::kDelete;
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            return 0;
        default:
            break;
    }
    if (k->key() >= Qt::Key_F1 && k->key() <= Qt::Key_F24) return 112 + (k->key() - Qt::Key_F1);
    if ((k->key() >= Qt::Key_A && k->key() <= Qt::Key_Z) ||
        (k->key() >= Qt::Key_0 && k->key() <= Qt::Key_9))
        return k->key();
    // The other keys (punctuation, accented letters) in the window system's range for the keys
    // that vary by keyboard, above the control keys: they stand for their characters.
    return 0xE0 + (k->key() & 0x1F);
}

// The character a key types: control characters for Enter, Escape, Backspace and Ctrl+letter;
// 0 when it types none.
int charCode(const QKeyEvent* k) {
    if ((k->modifiers() & Qt::ControlModifier) && k->key() >= Qt::Key_A && k->key() <= Qt::Key_Z)
        return k->key() - Qt::Key_A + 1;
    switch (k->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return vk::kReturn;
        case Qt::Key_Escape:
            return vk::kEscape;
        case Qt::Key_Backspace:
            return vk::kBack;
        default:
            break;
    }
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return 0;
    QString text = k->text();
    if (text.isEmpty() || !text.at(0).isPrint()) return 0;
    std::string c = programText(text.left(1));
    return c.empty() ? 0 : int(static_cast<unsigned char>(c[0]));
}

int keyFlags(Qt::KeyboardModifiers m) {
    int f = 0;
    if (m & Qt::ShiftModifier) f |= keyflag::kShift;
    if (m & Qt::ControlModifier) f |= keyflag::kCtrl;
    if (m & Qt::AltModifier) f |= keyflag::kAlt;
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The grid's widget. The header, the rows and the footer are drawn on the viewport; the scroll
// bars stand for the row position (one step a row) and the first scrolled column.

class BrowseView : public QAbstractScrollArea {
  public:
    explicit BrowseView(TWBrowse& b, QWidget* parent) : QAbstractScrollArea(parent), b_(b) {
        setFocusPolicy(Qt::StrongFocus);
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setAttribute(Qt::WA_InputMethodEnabled, false);
        viewport()->setAutoFillBackground(true);
        viewport()->setBackgroundRole(QPalette::Base);
        // The thumb moves the rows when it is let go: one move, however far it was dragged.
        verticalScrollBar()->setTracking(false);
        connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
                [this](int action) { verticalAction(action); });
        connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
            if (!syncing_) b_.goToPos(v);
        });
        connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
            if (syncing_) return;
            b_.nColPos_ = std::max(b_.nFreeze + 1, v);
            viewport()->update();
        });
    }

    // --- Measures
    int headerHeight() const {
        if (!b_.lDrawHeaders) return 0;
        if (b_.nHeaderHeight >= 0) return b_.nHeaderHeight;
        int lines = 1;
        for (const std::string& h : b_.aHeaders) lines = std::max(lines, lineCount(h));
        return lines * fontMetrics().lineSpacing() + 6;
    }
    int footerHeight() const {
        if (!b_.lDrawFooters) return 0;
        if (b_.nFooterHeight >= 0) return b_.nFooterHeight;
        int lines = 1;
        for (const std::string& f : b_.footers()) lines = std::max(lines, lineCount(f));
        return lines * fontMetrics().lineSpacing() + 6;
    }
    int lineHeight() const {
        if (b_.nLineHeight > 0) return b_.nLineHeight;
        return fontMetrics().lineSpacing() + 4;
    }
    int columnCount() const { return b_.colCount(); }
    int columnWidth(int col) const {
        size_t i = size_t(col - 1);
        return i < b_.aColSizes.size() ? std::max(0, b_.aColSizes[i]) : 80;
    }
    int rowsFitting() const {
        int h = viewport()->height() - headerHeight() - footerHeight();
        return std::max(1, h / std::max(1, lineHeight()));
    }

    // The columns on the screen, left to right: the frozen ones, then from the first scrolled.
    struct Span {
        int col, x, w;
    };
    std::vector<Span> spans() const {
        std::vector<Span> out;
        const int width = viewport()->width();
        const int n = columnCount();
        int x = 0;
        auto add = [&](int c) {
            int w = columnWidth(c);
            out.push_back({c, x, w});
            x += w;
        };
        for (int c = 1; c <= std::min(b_.nFreeze, n) && x < width; ++c) add(c);
        for (int c = std::max(b_.nColPos_, b_.nFreeze + 1); c <= n && x < width; ++c) add(c);
        if (b_.lAdjLastCol && !out.empty() && out.back().col == n && x < width)
            out.back().w += width - x;
        return out;
    }
    // The first scrolled column from which the rest fit.
    int lastColPos() const {
        const int n = columnCount();
        int room = viewport()->width();
        for (int c = 1; c <= std::min(b_.nFreeze, n); ++c) room -= columnWidth(c);
        int c = n;
        int used = columnWidth(n);
        while (c - 1 > b_.nFreeze && used + columnWidth(c - 1) <= room) used += columnWidth(--c);
        return std::max(c, b_.nFreeze + 1);
    }

    // Keeps the current column on the screen.
    void showColumn() {
        const int n = columnCount();
        int& pos = b_.nColPos_;
        pos = std::clamp(pos, std::min(b_.nFreeze + 1, n), std::max(1, n));
        if (b_.nColAct <= b_.nFreeze) return;
        if (b_.nColAct < pos) pos = b_.nColAct;
        int room = viewport()->width();
        for (int c = 1; c <= std::min(b_.nFreeze, n); ++c) room -= columnWidth(c);
        auto fits = [&] {
            int used = 0;
            for (int c = pos; c <= b_.nColAct; ++c) used += columnWidth(c);
            return used <= room;
        };
        while (pos < b_.nColAct && !fits()) ++pos;
    }

    QRect cellRect(int row, int col) const {
        int y, h;
        if (row == 0) {
            if (!b_.lDrawHeaders) return {};
            y = 0;
            h = headerHeight();
        } else if (row < 0) {
            if (!b_.lDrawFooters) return {};
            h = footerHeight();
            y = viewport()->height() - h;
        } else {
            if (row > b_.rowCount()) return {};
            h = lineHeight();
            y = headerHeight() + (row - 1) * h;
        }
        for (const Span& s : spans())
            if (s.col == col) return QRect(s.x, y, s.w, h);
        return {};
    }

    // --- Scroll bars and layout
    void layoutRows() {
        b_.setRowCount(rowsFitting());
        syncBars();
    }
    void syncBars() {
        syncing_ = true;
        QScrollBar* v = verticalScrollBar();
        long len = b_.nLen;
        if (len > b_.rowCount()) {
            v->setRange(1, int(std::min<long>(len, INT_MAX)));
            v->setPageStep(b_.rowCount());
            v->setSingleStep(1);
            v->setValue(int(std::min<long>(b_.logicPos(), INT_MAX)));
        } else {
            v->setRange(0, 0);
        }
        showColumn();
        QScrollBar* h = horizontalScrollBar();
        int last = lastColPos();
        if (last > b_.nFreeze + 1) {
            h->setRange(b_.nFreeze + 1, last);
            h->setPageStep(1);
            h->setValue(b_.nColPos_);
        } else {
            h->setRange(0, 0);
        }
        syncing_ = false;
    }

    // --- Drawing
    struct Cell {
        QString text;
        QColor fore, back;
        QFont font;
        Qt::Alignment align;
    };

    QColor colour(Colour c, QPalette::ColorRole role) const {
        return c == kDefaultColour ? palette().color(role) : colourOf(c);
    }

    // A column's justification in a list (cells, headers or footers); headers and footers
    // follow the cells when their list says nothing, and cells of numbers go right.
    int justify(const std::vector<int>& list, int col) const {
        size_t i = size_t(col - 1);
        if (i < list.size()) return list[i];
        if (i < b_.aJustify.size()) return b_.aJustify[i];
        return i < b_.numeric_.size() && b_.numeric_[i] ? TWBrowse::kRight : TWBrowse::kLeft;
    }

    Cell bandCell(int col, const std::string& text, int style) const {
        Cell c;
        c.text = shownText(text);
        c.fore = colour(b_.nClrForeHead, QPalette::ButtonText);
        c.back = colour(b_.nClrBackHead, QPalette::Button);
        c.font = font();
        if (b_.bTextColor) {
            Colour x = b_.bTextColor(0, col, style);
            if (x != kDefaultColour) c.fore = colourOf(x);
        }
        if (b_.bBkColor) {
            Colour x = b_.bBkColor(0, col, style);
            if (x != kDefaultColour) c.back = colourOf(x);
        }
        if (b_.bFont)
            if (const QFont* f = b_.bFont(0, col, style)) c.font = *f;
        c.align =
            alignmentOf(justify(style == TWBrowse::kCellHeader ? b_.aHJustify : b_.aFJustify, col));
        return c;
    }

    void drawBand(QPainter& p, const std::vector<Span>& sp, int y, int h, int style,
                  const std::vector<std::string>& texts, int bandStyle) {
        const int width = viewport()->width();
        p.fillRect(QRect(0, y, width, h), colour(b_.nClrBackHead, QPalette::Button));
        for (const Span& s : sp) {
            size_t i = size_t(s.col - 1);
            Cell c = bandCell(s.col, i < texts.size() ? texts[i] : std::string(), style);
            QRect r(s.x, y, s.w, h);
            p.fillRect(r, c.back);
            if (bandStyle == 6) {
                // Raised: light on the top and left, shadow on the bottom and right.
                p.setPen(c.back.lighter(150));
                p.drawLine(r.topLeft(), r.topRight());
                p.drawLine(r.topLeft(), r.bottomLeft());
                p.setPen(c.back.darker(170));
                p.drawLine(r.bottomLeft(), r.bottomRight());
                p.drawLine(r.topRight(), r.bottomRight());
            } else {
                p.setPen(c.back.darker(140));
                p.drawLine(r.topRight(), r.bottomRight());
                if (style == TWBrowse::kCellHeader)
                    p.drawLine(r.bottomLeft(), r.bottomRight());
                else
                    p.drawLine(r.topLeft(), r.topRight());
            }
            p.setFont(c.font);
            p.setPen(c.fore);
            p.drawText(r.adjusted(4, 1, -4, -1), int(c.align | Qt::AlignVCenter), c.text);
        }
    }

    QColor blend(const QColor& a, const QColor& b) const {
        return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2,
                      (a.blue() + b.blue()) / 2);
    }

    void paintRows(QPainter& p, const std::vector<Span>& sp, int top, int lh) {
        const bool focused = hasFocus();
        const int lineStyle = b_.lOnlyBorder ? 0 : b_.nLineStyle;
        const QColor gridColour = lineStyle == 10 ? palette().color(QPalette::Midlight).darker(115)
                                                  : palette().color(QPalette::Mid);
        const int width = viewport()->width();
        struct Row {
            std::vector<Cell> cells;
            QColor pane;
        };
        std::vector<Row> rows;
        b_.visitRows([&](int row, const Array& values) {
            if (row == 1) rows.clear();
            Row r;
            r.pane = colour(b_.nClrPane(), QPalette::Base);
            const bool cursorRow = row == b_.nRowPos;
            QColor focusFore = colour(b_.nClrForeFocus(), QPalette::HighlightedText);
            QColor focusBack = colour(b_.nClrBackFocus(), QPalette::Highlight);
            if (cursorRow && !focused) focusBack = blend(focusBack, r.pane);
            for (const Span& s : sp) {
                size_t i = size_t(s.col - 1);
                Cell c;
                const bool focusCell = cursorRow && (!b_.lCellStyle || s.col == b_.nColAct);
                const int style = focusCell ? TWBrowse::kCellFocus : TWBrowse::kCellData;
                c.text = shownText(i < values.size() ? cellText(values[i]) : std::string());
                c.fore = focusCell ? focusFore : colour(b_.clrText_, QPalette::Text);
                c.back = focusCell ? focusBack : r.pane;
                c.font = font();
                if (b_.bTextColor) {
                    Colour x = b_.bTextColor(row, s.col, style);
                    if (x != kDefaultColour) c.fore = colourOf(x);
                }
                if (b_.bBkColor) {
                    Colour x = b_.bBkColor(row, s.col, style);
                    if (x != kDefaultColour) c.back = colourOf(x);
                }
                if (b_.bFont)
                    if (const QFont* f = b_.bFont(row, s.col, style)) c.font = *f;
                c.align = alignmentOf(justify(b_.aJustify, s.col));
                r.cells.push_back(std::move(c));
            }
            rows.push_back(std::move(r));
        });

        for (size_t k = 0; k < rows.size(); ++k) {
            const int y = top + int(k) * lh;
            const Row& r = rows[k];
            p.fillRect(QRect(0, y, width, lh), r.pane);
            for (size_t j = 0; j < sp.size(); ++j) {
                const Span& s = sp[j];
                const Cell& c = r.cells[j];
                QRect rect(s.x, y, s.w, lh);
                p.fillRect(rect, c.back);
                if (lineStyle == 6) {
                    p.setPen(c.back.lighter(140));
                    p.drawLine(rect.topLeft(), rect.topRight());
                    p.drawLine(rect.topLeft(), rect.bottomLeft());
                    p.setPen(c.back.darker(140));
                    p.drawLine(rect.bottomLeft(), rect.bottomRight());
                    p.drawLine(rect.topRight(), rect.bottomRight());
                }
                p.setFont(c.font);
                p.setPen(c.fore);
                p.save();
                p.setClipRect(rect);
                p.drawText(rect.adjusted(4, 1, -4, -1), int(c.align | Qt::AlignVCenter), c.text);
                p.restore();
            }
        }
        // The lines of the grid, over the rows drawn.
        const int bottom = top + int(rows.size()) * lh;
        if (lineStyle != 0 && lineStyle != 6 && !rows.empty()) {
            p.setPen(gridColour);
            if (lineStyle != 2)
                for (size_t k = 1; k <= rows.size(); ++k)
                    p.drawLine(0, top + int(k) * lh - 1, width, top + int(k) * lh - 1);
            if (lineStyle != 1)
                for (const Span& s : sp) p.drawLine(s.x + s.w - 1, top, s.x + s.w - 1, bottom - 1);
        }
        if (focused && b_.lDrawFocusRect && !rows.empty() && b_.nRowPos >= 1 &&
            b_.nRowPos <= int(rows.size())) {
            QRect fr(0, top + (b_.nRowPos - 1) * lh, width, lh);
            if (b_.lCellStyle)
                for (const Span& s : sp)
                    if (s.col == b_.nColAct) fr = QRect(s.x, fr.y(), s.w, lh);
            QStyleOptionFocusRect o;
            o.initFrom(this);
            o.rect = fr.adjusted(1, 1, -2, -2);
            o.backgroundColor = colour(b_.nClrBackFocus(), QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, this);
        }
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        // Heights may have changed since the last layout.
        if (rowsFitting() != b_.rowCount()) b_.setRowCount(rowsFitting());
        QPainter p(viewport());
        const std::vector<Span> sp = spans();
        const int hh = headerHeight(), fh = footerHeight(), lh = lineHeight();
        paintRows(p, sp, hh, lh);
        if (b_.lDrawHeaders)
            drawBand(p, sp, 0, hh, TWBrowse::kCellHeader, b_.aHeaders, b_.nHeaderStyle);
        if (b_.lDrawFooters)
            drawBand(p, sp, viewport()->height() - fh, fh, TWBrowse::kCellFooter, b_.footers(),
                     b_.nFooterStyle);
    }

    bool viewportEvent(QEvent* e) override {
        if (e->type() == QEvent::Resize) layoutRows();
        return QAbstractScrollArea::viewportEvent(e);
    }

    void scrollContentsBy(int, int) override { viewport()->update(); }

    void focusInEvent(QFocusEvent* e) override {
        QAbstractScrollArea::focusInEvent(e);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* e) override {
        QAbstractScrollArea::focusOutEvent(e);
        viewport()->update();
    }

    void keyPressEvent(QKeyEvent* e) override {
        const int key = virtualKey(e);
        const int flags = keyFlags(e->modifiers());
        if (key == 0) return QAbstractScrollArea::keyPressEvent(e);
        if (b_.keyDown(key, flags)) return e->accept();
        int c = charCode(e);
        if (c && b_.keyChar(c, flags)) return e->accept();
        // Not the grid's: the dialog's (Enter, Escape...).
        e->ignore();
    }

    // The screen row under a point: 0 on the header, -1 on the footer, -2 below the rows.
    int rowAt(const QPoint& pt) const {
        const int hh = headerHeight(), fh = footerHeight();
        if (pt.y() < hh) return 0;
        if (b_.lDrawFooters && pt.y() >= viewport()->height() - fh) return -1;
        int row = (pt.y() - hh) / std::max(1, lineHeight()) + 1;
        // Nothing painted yet: the rows there are come first.
        if (b_.shownRows() == 0 && b_.nLen > 0) viewport()->repaint();
        return row <= b_.shownRows() ? row : -2;
    }
    int columnAt(const QPoint& pt) const {
        for (const Span& s : spans())
            if (pt.x() >= s.x && pt.x() < s.x + s.w) return s.col;
        return 0;
    }

    void mousePressEvent(QMouseEvent* e) override {
        setFocus(Qt::MouseFocusReason);
        const QPoint pt = e->position().toPoint();
        const int row = rowAt(pt), col = columnAt(pt);
        const int flags = keyFlags(e->modifiers());
        if (row == 0) {
            if (e->button() == Qt::LeftButton && col >= 1 && size_t(col) <= b_.aActions.size() &&
                b_.aActions[size_t(col - 1)])
                b_.aActions[size_t(col - 1)](b_, pt.y(), pt.x());
            return;
        }
        if (row > 0) {
            if (col >= 1) b_.setColumn(col);
            b_.clickRow(row);
        }
        if (e->button() == Qt::LeftButton && b_.bLClick) b_.bLClick(pt.y(), pt.x(), flags);
        if (e->button() == Qt::RightButton && b_.bRClick) b_.bRClick(pt.y(), pt.x(), flags);
    }

    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        const QPoint pt = e->position().toPoint();
        const int row = rowAt(pt);
        if (row == 0) return mousePressEvent(e);  // a header clicked twice: twice its action
        if (row <= 0) return;
        if (int col = columnAt(pt); col >= 1) b_.setColumn(col);
        b_.dblClick(row, pt.y(), pt.x(), keyFlags(e->modifiers()));
    }

    void wheelEvent(QWheelEvent* e) override {
        wheel_ += e->angleDelta().y();
        const int notches = wheel_ / 120;
        wheel_ -= notches * 120;
        if (notches) b_.skip(-3L * notches);
        e->accept();
    }

  private:
    void verticalAction(int action) {
        QScrollBar* v = verticalScrollBar();
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                b_.goDown();
                break;
            case QAbstractSlider::SliderSingleStepSub:
                b_.goUp();
                break;
            case QAbstractSlider::SliderPageStepAdd:
                b_.pageDown();
                break;
            case QAbstractSlider::SliderPageStepSub:
                b_.pageUp();
                break;
            case QAbstractSlider::SliderToMinimum:
                b_.goTop();
                break;
            case QAbstractSlider::SliderToMaximum:
                b_.goBottom();
                break;
            default:
                return;  // the thumb: when it is let go
        }
        // The bar shows where the rows are now, not where the step would have put it.
        syncing_ = true;
        v->setSliderPosition(int(std::min<long>(b_.logicPos(), INT_MAX)));
        syncing_ = false;
    }

    TWBrowse& b_;
    bool syncing_ = false;
    int wheel_ = 0;
};

// ---------------------------------------------------------------------------------------------
// TWBrowse

TWBrowse::TWBrowse(TDialog& dialog, int id, QWidget* widget, std::function<Array()> line, Options o)
    : TControl(dialog, id, widget),
      aHeaders(std::move(o.headers)),
      aColSizes(std::move(o.colSizes)),
      bChange(std::move(o.change)),
      bLClick(std::move(o.lClick)),
      bRClick(std::move(o.rClick)),
      aActions(std::move(o.actions)),
      bValid(std::move(o.valid)) {
    if (o.alias) setTable(*o.alias);
    if (line) bLine = std::move(line);
    bLDblClick = std::move(o.ldblClick);
    cMsg = std::move(o.msg);
    lUpdate = o.update;
    bWhen = std::move(o.when);
    clrText_ = o.clrFore;
    clrPane_ = o.clrBack;
    if (o.clrBack != kDefaultColour) nClrPane = o.clrBack;
    if (!widget) return;

    // The grid takes the place of the layout's widget.
    QWidget* parent = widget->parentWidget();
    auto* view = new BrowseView(*this, parent);
    view->setObjectName(widget->objectName());
    widget->setObjectName(widget->objectName() + QLatin1String("_layout"));
    view->setGeometry(widget->geometry());
    view->setFont(o.font ? *o.font : widget->font());
    view->setToolTip(widget->toolTip());
    if (parent) QWidget::setTabOrder(widget, view);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->hide();
    view->show();
    widget_ = view;
    dialog.adoptWidget(view, *this);
}

TWBrowse::~TWBrowse() = default;

BrowseView* TWBrowse::grid() const {
    return static_cast<BrowseView*>(widget_.data());
}

QAbstractScrollArea* TWBrowse::view() const {
    return grid();
}

std::vector<std::string> TWBrowse::footers() const {
    return aFooters.isBlock() ? footerTexts_ : aFooters.evaluate();
}

QRect TWBrowse::cellRect(int row, int col) const {
    return grid() ? grid()->cellRect(row, col) : QRect();
}

std::vector<BrowseReportColumn> TWBrowse::reportColumns() {
    std::vector<BrowseReportColumn> cols;
    const size_t n = bLine ? bLine().size() : 0;
    const QFont f = grid() ? grid()->font() : QApplication::font();
    const int charWidth = std::max(1, QFontMetrics(f).horizontalAdvance(QLatin1Char('B')));
    for (size_t i = 0; i < n; ++i) {
        int pixels = i < aColSizes.size() ? aColSizes[i] : 80;
        cols.push_back({i < aHeaders.size() ? aHeaders[i] : std::string(), pixels / charWidth});
    }
    return cols;
}

void TWBrowse::prepare() {
    if (!grid()) return;
    if (!cToolTip.empty()) grid()->setToolTip(qtText(cToolTip));
    // Headers and widths that were not given: field names, and the width of the longer of the
    // header and the current row's value.
    nLen = logicLen();
    WorkArea* a = area();
    const bool fromTable = a && cAlias != "ARRAY";
    Array first = bLine && (nLen > 0 || fromTable) ? bLine() : Array();
    size_t cols = std::max(first.size(), aHeaders.size());
    if (fromTable && aHeaders.empty())
        for (size_t i = 0; i < cols && i < a->table().fieldCount(); ++i)
            aHeaders.push_back(a->table().field(i).name);
    cols = std::max(cols, aHeaders.size());
    numeric_.assign(cols, false);
    for (size_t i = 0; i < first.size(); ++i) numeric_[i] = first[i].isNumber();
    const QFontMetrics fm(grid()->font());
    for (size_t i = aColSizes.size(); i < cols; ++i) {
        QString header = i < aHeaders.size() ? shownText(aHeaders[i]) : QString();
        QString value = i < first.size() ? shownText(cellText(first[i])) : QString();
        int w = 0;
        for (const QString& t : {header, value})
            for (const QString& line : t.split(QLatin1Char('\n')))
                w = std::max(w, fm.horizontalAdvance(line));
        aColSizes.push_back(w + 10);
    }
    setColCount(int(cols));
    if (aFooters.isBlock()) footerTexts_ = aFooters.evaluate();
    if (lAdjBrowse) {
        int total = 0;
        for (int w : aColSizes) total += w;
        QAbstractScrollArea* v = grid();
        int extra = v->width() - v->viewport()->width();
        v->resize(total + extra + v->verticalScrollBar()->sizeHint().width(), v->height());
    }
    nColPos_ = std::max(1, nFreeze + 1);
    started_ = true;
    grid()->layoutRows();
    start(true);
}

void TWBrowse::refresh() {
    if (aFooters.isBlock()) footerTexts_ = aFooters.evaluate();
    BrowseModel::refresh();
}

void TWBrowse::changed() {
    if (bChange) bChange(*this);
}

void TWBrowse::redraw() {
    BrowseView* g = grid();
    if (!g) return;
    if (started_) g->syncBars();
    g->viewport()->update();
}

}  // namespace wv
