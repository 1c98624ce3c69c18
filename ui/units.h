// Fonts and measures of the interface. The dialog layouts are drawn in dialog units of their
// font (MS Sans Serif 8 pt): one unit is a quarter of the font's average character width across
// and an eighth of its character height down. Boxes built in code are placed in text rows and
// columns of their font. Every conversion to pixels happens here.
#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <string>

namespace wv {

// The faces the layouts and the program name, mapped to the faces this system has: "MS Sans
// Serif" and "Arial" to Liberation Sans, "Lucida Console" to Liberation Mono.
void installFontSubstitutes();

// A font described as the program describes it: face, width and height as the window system
// takes them (a negative height is the character height in pixels, a positive one the size in
// points, 0 the default size), bold and italic. The width is not used: faces keep their shape.
QFont programFont(const std::string& face, int width, int height, bool bold = false,
                  bool italic = false);

// The font of the dialog layouts: MS Sans Serif 8 pt.
QFont dialogFont();

// The font's average character width and character height in pixels, measured the way the
// window system measures them for dialog units.
struct BaseUnits {
    int x = 0;
    int y = 0;
};
BaseUnits baseUnits(const QFont& font);

// A rectangle in dialog units (x, y, width, height) in pixels. The edges are converted, not the
// size, so that controls that touch in the layout still touch.
QRect dialogUnitsToPixels(const QRect& dlu, const QFont& font = dialogFont());

// A position in text rows and columns of the font, in pixels (rows are character heights,
// columns average character widths; fractions are allowed).
QPoint textCellToPixels(double row, double col, const QFont& font = dialogFont());
QSize textCellsToPixels(double rows, double cols, const QFont& font = dialogFont());

}  // namespace wv
