// The printer object: one print job on a printer, its pages, and drawing on them in the printer's
// pixels. Positions given in centimetres from the sheet's top-left corner are converted by
// cmtr2Pix, which takes the printer's unprintable margin off. In preview mode the pages are
// recorded in files of the temporary directory instead of printed; the preview window
// (preview.h) shows them and sends them to the printer when the operator asks.
//
// Without a printer (none installed, or the operator cancelled the printer choice) the object has
// no device: every page and drawing call then does nothing.
#pragma once

#include <QBrush>
#include <QFont>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPen>
#include <QPointF>
#include <QSizeF>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/controls.h"  // Colour

class QPainter;
class QPicture;
class QPrinter;

namespace wv {

class TPreview;

// Where say() puts the text: without a width, starting at the column, ending at it or centred
// on it; with a width, at the left, at the right or centred in the box.
enum : int { kPadLeft = 0, kPadRight = 1, kPadCenter = 2 };
// What lies behind the text of say(): the page as it is, or white.
enum : int { kBkTransparent = 1, kBkOpaque = 2 };

// The sheet pages are drawn for, in the printer's pixels: the whole paper, and the corner of the
// printable area, which is where drawing coordinates start.
struct Sheet {
    QSizeF size;
    QPointF origin;
};

// A PDF file standing in for the printer: the pages that would be printed are written to it.
struct PdfDevice {
    std::string file;
    QPageSize::PageSizeId paper = QPageSize::Letter;
    QMarginsF margins{};    // unprintable margins, mm (left, top, right, bottom)
    int resolution = 1200;  // dots per inch
};

class TPrinter {
public:
    // lUser: the operator chooses the printer in the print dialog (lSelection offers printing
    // the selection); else cModel ("name,driver,port" or just the name) picks a printer; else
    // the default printer. lPreview records the pages for the preview. With no printer
    // installed the operator is told so and the object has no device.
    explicit TPrinter(std::string cDocument = "", bool lUser = false, bool lPreview = false,
                      std::string cModel = "", bool lModal = false, bool lSelection = false);
    // A job whose device is a PDF file.
    TPrinter(const PdfDevice& pdf, std::string cDocument = "", bool lPreview = false,
             bool lModal = false);
    virtual ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // While set, every printer created prints into this PDF file instead of a printer (no
    // printer is asked for nor chosen). Returns the setting it replaces.
    static std::optional<PdfDevice> setPdfDevice(std::optional<PdfDevice> device);

    std::string cDocument;  // the job's name in the print queue
    std::string cModel;     // printer name, driver and port, joined by commas
    int nPage = 0;          // pages started so far
    double nXOffset = 0;    // the printable area's corner on the sheet, pixels
    double nYOffset = 0;
    QPageLayout::Orientation nOrient = QPageLayout::Portrait;  // as found; restored by end()
    bool lMeta = false;      // pages recorded for the preview
    bool lStarted = false;   // the print job has been started (direct printing)
    bool lPrvModal = false;  // preview() returns only when the preview window is closed
    std::string cDir;        // where the page recordings go
    QFont oFont;             // the default font of say() and getTextWidth()

    // Whether there is a device to print on.
    bool hDC() const { return bool(printer_); }
    QPrinter* printer() const { return printer_.get(); }
    // Where drawing goes now: the printer's page, or the recording of the page being previewed;
    // nullptr when drawing goes nowhere.
    QPainter* hDCOut() const;
    // The recorded pages, one file each.
    const std::vector<std::string>& aMeta() const { return aMeta_; }

    // The number of copies; a job already started is ended first.
    void setCopies(int nCopies);
    void startPage();
    void endPage();
    // Shows the preview of the recorded pages; without any (or in direct mode) it is end().
    // A preview that is not modal stays open when this returns: it is returned, and it owns the
    // job from then on. The object itself keeps no device afterwards.
    TPreview* preview();
    // Ends a started job (which sends it to the printer), deletes the recordings, restores the
    // orientation and lets the device go.
    void end();

    // Centimetres from the sheet's corner to pixels of the printable area, in place:
    // max(0, cm * 10 * res / size - offset) on each axis. Returns {row, column}.
    std::pair<double, double> cmtr2Pix(double& nRow, double& nCol) const;

    // Text at pixel (row, column): the font by default oFont, colour 0xBBGGRR, background
    // kBkTransparent or kBkOpaque. With nWidth > 0 the text is clipped to the box (row, column,
    // row + font height, column + width) and aligned in it by nPad.
    void say(double nRow, double nCol, const std::string& cText, const QFont* font = nullptr,
             double nWidth = 0, Colour nClrText = 0, int nBkMode = kBkTransparent,
             int nPad = kPadLeft);
    // say() at a position in centimetres (the width stays in pixels).
    void cmSay(double nRow, double nCol, const std::string& cText, const QFont* font = nullptr,
               double nWidth = 0, Colour nClrText = 0, int nBkMode = kBkTransparent,
               int nPad = kPadLeft);
    // A line from (top, left) to (bottom, right); a box with those corners (its inside is left
    // as it is). The pen defaults to black, one pixel.
    void line(double nTop, double nLeft, double nBottom, double nRight, const QPen* pen = nullptr);
    void box(double nTop, double nLeft, double nBottom, double nRight, const QPen* pen = nullptr);
    // Fills {top, left, bottom, right}.
    void fillRect(const std::array<double, 4>& aRect, const QBrush& brush);
    // The picture in a file, else the bitmap of the program's resources by that name, stretched
    // to the size (its own size when none is given). Nothing when there is neither.
    void sayBitmap(double nRow, double nCol, const std::string& cBitmap, double nWidth = 0,
                   double nHeight = 0, int nRaster = 0);
    // The text's width in pixels in the font (oFont by default) on this printer; 0 without one.
    double getTextWidth(const std::string& cText, const QFont* font = nullptr) const;

    // A font created for this printer as the program describes fonts (face, width, height,
    // bold, italic): the height's magnitude is its size in points.
    static QFont font(const std::string& face, int width, int height, bool bold = false,
                      bool italic = false);
    // The font as text is drawn on this printer: a size in points becomes the printer's pixels;
    // a size in pixels is taken as the printer's pixels.
    QFont deviceFont(const QFont& font) const;

    int nLogPixelX() const { return logPixelX_; }  // pixels per inch
    int nLogPixelY() const { return logPixelY_; }
    int nHorzRes() const { return horzRes_; }  // printable area, pixels
    int nVertRes() const { return vertRes_; }
    double nHorzSize() const { return horzSize_; }  // printable area, millimetres
    double nVertSize() const { return vertSize_; }
    Sheet sheet() const { return sheet_; }

private:
    void open(bool lUser, bool lSelection);
    void takeMetrics();
    void discardRecordings();
    void closeRecording();
    std::string newRecordingFile() const;

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> job_;  // direct printing: the painter on the printer
    // Preview: the page being recorded and its file.
    std::unique_ptr<QPicture> page_;
    std::unique_ptr<QPainter> recorder_;
    std::string pageFile_;
    bool pageOpen_ = false;
    std::vector<std::string> aMeta_;

    int logPixelX_ = 0;
    int logPixelY_ = 0;
    int horzRes_ = 0;
    int vertRes_ = 0;
    double horzSize_ = 0;
    double vertSize_ = 0;
    Sheet sheet_;
};

}  // namespace wv
