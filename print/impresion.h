// The rules of the print layout that need no printer: fitting text into a width measured in
// pixels (one line cut at a break character, padding on the left, centring), word-wrapping a
// text into lines, the page-break row of the report toolkit, and which installed printer a model
// names. The printer object (impresion_qt.h) measures with its fonts on its device and draws.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

// The width of a text in pixels, as the printer measures it in one font.
using MideTexto = std::function<double(const std::string&)>;

// The forced line end inside a text to be word-wrapped.
inline constexpr char kFinLinea = '\xBB';

// XPADMEMOR: the longest leading part of the text narrower than nWidth. Characters are taken
// while the line with one more stays below the width; a forced line end is taken and ends the
// line. When not all of the text fits, the line ends at the last blank, ",", ";" or forced line
// end within the fitted part or just after it (that character included); a text with none there
// is cut hard at the fitted width, which gives "" when not even its first character fits.
std::string xPadMemoR(const std::string& cText, double nWidth, const MideTexto& width);

// XPADMEMOL: the text with cFill added on its left, one at a time, while the result with one
// more stays narrower than nWidth. A fill with no width adds nothing.
std::string xPadMemoL(const std::string& cText, double nWidth, const std::string& cFill,
                      const MideTexto& width);

// XPADMEMOC: the trimmed text centred with cFill characters in the room nWidth leaves beside
// the text as given (untrimmed): a field of len + (nWidth - width) / fill width characters,
// whole, the odd one going to the right. A text as wide as nWidth or wider comes back trimmed.
std::string xPadMemoC(const std::string& cText, double nWidth, const std::string& cFill,
                      const MideTexto& width);

// The lines a text is word-wrapped into by XPADMEMOR, at most nMaxLines of them (no limit when
// it is 0 or less), each without its forced line end, and the part that did not fit. A column
// too narrow for the next character ends the wrapping: that text is left over.
struct Renglones {
    std::vector<std::string> lines;
    std::string rest;
};
Renglones partirTexto(const std::string& cText, double nWidth, const MideTexto& width,
                      int nMaxLines = 1000);

// The report toolkit's page break: the row (cm) that starts a new page once reached, and where
// the cursor goes on the new page, below its header.
inline constexpr double kLineaSalto = 26.6;
inline constexpr double kLineaTrasSalto = 2.8;
// Whether a cursor at nLinea has reached the page-break row. The cursor is a sum of steps in
// centimetres: what is left of the sum's rounding does not count.
bool saltoDePagina(double nLinea);

// "Pagina: " and the page number, three digits with leading zeros.
std::string textoPagina(int nPage);

// An installed printer: its name, and its driver and port joined by a comma.
struct Dispositivo {
    std::string name;
    std::string entry;
};

// Which installed printer a model names: a number is a position counted from 1 (0, a negative
// number or one past the last name none); a text names the first device whose name contains it
// in any letter case (an empty text names none). Nil names none.
std::optional<size_t> dispositivoDeModelo(const std::vector<Dispositivo>& devices,
                                          const Value& xModel);

// How MYPRINTBEGIN creates the printer object for a model: without a model (nil) as asked;
// with a model that names a device, on that device ("name,driver,port") without asking the
// operator; with one that names none, with a beep and the operator choosing the printer.
struct EleccionImpresora {
    bool lUser = false;
    std::string cModel;
    bool beep = false;
};
EleccionImpresora eligeImpresora(const std::vector<Dispositivo>& devices, const Value& xModel,
                                 bool lUser);

}  // namespace wv
