// The program's printer: TCustomImpresion, the printer object with the report toolkit (lines,
// boxes, bitmaps, centred, right-aligned and word-wrapped text, a page header and footer and a
// page-break test on a fixed page frame), and the print job in progress, which MYPRINTBEGIN
// starts and MYPRINTEND shows in the preview or sends to the printer.
//
// Positions are centimetres from the sheet's top-left corner, row before column; widths of text
// are pixels of the printer, measured in the font given. A font, brush or pen member left unset
// means the printer's default font, no fill and a thin black line.
#pragma once

#include <QBrush>
#include <QFont>
#include <QPen>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "print/impresion.h"
#include "runtime/value.h"
#include "ui/printer.h"

class QPainter;

namespace wv {

class TPreview;
class TReport;

// Box types of caja().
enum : int {
    kCajaRedondeada = 0,    // rounded corners (70 x 70 pixel ellipse), the page's own thin pen
    kCajaRellena = 1,       // filled with the brush, no frame
    kCajaMarco = 2,         // framed with the pen
    kCajaMarcoRelleno = 3,  // framed, then filled
    kCajaDoble = 4,         // a double frame, the inner one 0.05 cm inside
};

// Colours of the page header: titles in dark red, the subtitle in grey.
inline constexpr Colour kColorTitulo = 0x000080;
inline constexpr Colour kColorSubtitulo = 0x808080;

class TCustomImpresion : public TPrinter {
  public:
    using TPrinter::TPrinter;

    // A pixel point {row, column}.
    using Punto = std::pair<double, double>;

    std::optional<QBrush> oBrush;
    std::optional<QPen> oPen;
    std::optional<QFont> fBold, fNormal, fTitulo, fGeneral, fBarra;
    std::optional<Punto> xCor;  // where the text of the last imprCadenaJust() started
    std::optional<Punto> yCor;  // the end of its column range on the same row
    double nLinI = 0.9;         // the page frame
    double nLinF = 27.04;
    double nColI = 0.9;
    double nColF = 20.39;
    double nLinea = 1.0;  // the report's cursor
    double nCol = 1.0;

    // A line with oPen.
    void linea(double nTop, double nLeft, double nBottom, double nRight);
    // A box of one of the types above with the brush and pen given (oBrush and oPen when not);
    // any other type draws nothing.
    void caja(double nTop, double nLeft, double nBottom, double nRight, int nTipo,
              const QBrush* brush = nullptr, const QPen* pen = nullptr);
    // The picture in a file, nWidth x nHeight cm, where the text of the last imprCadenaJust()
    // started; before any, at the row and column given.
    void bitmap(double nRow, double nCol, double nWidth, double nHeight, const std::string& cFile);
    // A frame of four lines: top, right, bottom, left.
    void boxPipu(double nTop, double nLeft, double nBottom, double nRight);
    // The text centred between the two columns.
    void centraCadenas(double nRow, double nColIni, double nColFin, const std::string& cText,
                       const QFont* font = nullptr);
    // The number by the picture, trimmed and padded with blanks on its left so that it ends at
    // the end column, between prefix and suffix, from the start column.
    void imprNumeros(const Value& nNumber, const std::string& cPrefijo, const std::string& cSufijo,
                     const std::string& cPicture, double nRow, double nColIni, double nColFin,
                     const QFont* font = nullptr);
    // The text word-wrapped between the columns from the row down, 0.3 cm a line (every line on
    // the row when lAvanza is false), at most nMaxLines lines, left-aligned or centred. Returns
    // what did not fit ("" when all of it was printed).
    std::string imprCadenaJust(const std::string& cText, double nRow, double nColIni,
                               double nColFin, const QFont* font = nullptr, int nMaxLines = 1000,
                               bool lAvanza = true, bool lCentrado = false);
    // The fitting rules of print/impresion.h measured in the font on this printer.
    std::string xPadMemoR(const std::string& cText, double nWidth, const std::string& cFill = " ",
                          const QFont* font = nullptr) const;
    std::string xPadMemoL(const std::string& cText, double nWidth, const std::string& cFill = " ",
                          const QFont* font = nullptr) const;
    std::string xPadMemoC(const std::string& cText, double nWidth, const std::string& cFill = " ",
                          const QFont* font = nullptr) const;
    // A label at the label column and the number (imprNumeros) between the start and end
    // columns, underlined 0.3 cm below the row.
    void textoNumero(double nRow, double nColEtiqueta, double nColIni, double nColFin,
                     const std::string& cEtiqueta, const Value& nNumber,
                     const std::string& cPicture, const QFont* fEtiqueta = nullptr,
                     const QFont* fNumero = nullptr, bool lSubraya = true);
    // A label at the label column and the text at the start column (or centred between the
    // columns), underlined 0.3 cm below the row.
    void textoTexto(double nRow, double nColEtiqueta, double nColIni, double nColFin,
                    const std::string& cEtiqueta, const std::string& cText, bool lSubraya = true,
                    const QFont* fEtiqueta = nullptr, const QFont* fTexto = nullptr,
                    bool lCentrado = false);
    // The page header: the frame, the logo ".\bitmaps\logo_impresion.bmp", the time, the
    // company (the application's by default), the date in words, the page number, the title
    // and subtitle, and a line under them.
    TCustomImpresion& fImprEncabezado(const std::string& cTitulo = "reporte x",
                                      const std::string& cSubtitulo = "",
                                      const std::optional<std::string>& cEmpresa = std::nullopt);
    // The page footer: a line, the corner texts and the page number.
    TCustomImpresion& fImprPiePagina();
    // Once nLinea has reached the page-break row: the page ended, a new one started with its
    // header, nLinea at the first row below it, and true. No footer is printed.
    bool fChecaLinea(const std::string& cTitulo = "reporte x", const std::string& cSubtitulo = "");

    // A position in centimetres as a pixel point.
    Punto pixel(double nRow, double nCol) const;
    // A font member as the drawing calls take it (nullptr for the default font when unset).
    static const QFont* fuente(const std::optional<QFont>& f) { return f ? &*f : nullptr; }

  private:
    MideTexto medida(const QFont* font) const;
    double ancho(double nColIni, double nColFin) const;
};

// ROUNDRECT: a rectangle with rounded corners (an nWidth x nHeight pixel ellipse at each) with
// the painter's pen and brush. False when there is nowhere to draw.
bool roundRect(QPainter* hDC, double nLeft, double nTop, double nRight, double nBottom,
               double nWidth, double nHeight);

// LINBOX: a frame a tenth of an inch inside the edges of the report's sheet, with its first pen.
void linBox(TReport& oReport);

// The installed printers: name, and make and model with location standing for driver and port.
std::vector<Dispositivo> dispositivosInstalados();

// MYPRINTBEGIN: a new print job, kept as the current one (a job still current is ended
// first). xModel names the printer (see eligeImpresora); nil leaves the choice as lUser says.
TCustomImpresion* myPrintBegin(const std::string& cDocument, bool lUser = false,
                               bool lPreview = false, const Value& xModel = Value(),
                               bool lModal = false, bool lSelection = false);
// The current job, nullptr when there is none.
TCustomImpresion* myPrintJob();
// MYPAGEBEGIN / MYPAGEEND: a page of the current job started or ended.
void myPageBegin();
void myPageEnd();
// MYPRINTEND: a preview job is shown in the preview, any other sent to the printer; the job is
// current no more. Returns the preview window when it stays open (not modal).
TPreview* myPrintEnd();

}  // namespace wv
