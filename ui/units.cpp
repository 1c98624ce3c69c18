#include "ui/units.h"

#include <QFontMetrics>
#include <cmath>

#include "ui/text.h"

namespace wv {

void installFontSubstitutes() {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Lucida Console"), QStringLiteral("Liberation Mono"));
}

QFont programFont(const std::string& face, int width, int height, bool bold, bool italic) {
    (void)width;
    QFont f(qtText(face));
    if (height < 0)
        f.setPixelSize(-height);
    else if (height > 0)
        f.setPointSize(height);
    f.setBold(bold);
    f.setItalic(italic);
    if (face == "Lucida Console") f.setStyleHint(QFont::TypeWriter);
    return f;
}

QFont dialogFont() { return programFont("MS Sans Serif", 0, 8); }

BaseUnits baseUnits(const QFont& font) {
    QFontMetrics fm(font);
    int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, fm.height()};
}

namespace {
int scale(int units, int base, int div) {
    return int(std::lround(double(units) * base / div));
}
}  // namespace

QRect dialogUnitsToPixels(const QRect& dlu, const QFont& font) {
    BaseUnits b = baseUnits(font);
    int left = scale(dlu.x(), b.x, 4);
    int top = scale(dlu.y(), b.y, 8);
    int right = scale(dlu.x() + dlu.width(), b.x, 4);
    int bottom = scale(dlu.y() + dlu.height(), b.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

QPoint textCellToPixels(double row, double col, const QFont& font) {
    BaseUnits b = baseUnits(font);
    return QPoint(int(std::lround(col * b.x)), int(std::lround(row * b.y)));
}

QSize textCellsToPixels(double rows, double cols, const QFont& font) {
    QPoint p = textCellToPixels(rows, cols, font);
    return QSize(p.x(), p.y());
}

}  // namespace wv
