// The report engine: a listing of rows in columns laid out on the pages of a printer object
// (printer.h), direct or through its preview. Every page carries the title lines centred at its
// top, the header lines under them at the left, the column titles underlined, as many rows as
// fit, and the footer lines centred at its foot under a rule.
//
// Columns are measured in characters: each column's text is cut to its width and drawn at its
// own position, one character's room apart from the next, so the columns line up whatever the
// font. The character is the letter "B" of the report's font; when the columns are wider than the
// page the font is made smaller until they fit (down to 5 points).
//
// The rows are kept as they are given and laid out by print(), so that nothing reaches the
// printer before the last row is known: a report abandoned halfway leaves no page behind.
//
//     TPrinter prn("Listado", false, true);
//     TReport rpt(prn, "Listado");
//     rpt.aTitle = {"Clientes"};
//     rpt.addColumn("codigo", 6);
//     rpt.addRow({"000001"});
//     rpt.print();
//     prn.preview();
//
// Positions given to box() are measured from the sheet's corner (not the printable area's) in
// the unit asked for, as phyWidth() and phyHeight() measure the whole sheet.
#pragma once

#include <QFont>
#include <QPen>
#include <functional>
#include <string>
#include <vector>

namespace wv {

class TPrinter;

// Units of the report's measures.
enum : int {
    kRptPixels = 0,  // the printer's pixels
    kRptInches = 1,
    kRptCmeters = 2,
};

class TReport {
  public:
    struct Column {
        std::string title;
        int width = 0;  // characters
    };

    TReport(TPrinter& device, std::string cName = "");
    TReport(const TReport&) = delete;
    TReport& operator=(const TReport&) = delete;

    std::string cName;                 // the report's name
    std::vector<std::string> aTitle;   // centred at the top of every page
    std::vector<std::string> aHeader;  // at the left under the title
    // The footer lines of a page, given its number (1 for the first).
    std::function<std::vector<std::string>(int nPage)> bFooter;
    // Evaluated on every page once its contents are drawn, before it ends.
    std::function<void(TReport&)> bEndPage;
    QFont oFont;             // the rows' font; the titles are drawn in it, bold
    std::vector<QPen> aPen;  // pens by number, 1 for the first: a thin black one
    std::vector<Column> aColumns;
    int nPage = 0;  // pages started so far

    TPrinter& device() const { return device_; }
    void addColumn(std::string title, int width) { aColumns.push_back({std::move(title), width}); }
    // A row's cells, one per column (missing ones are blank, extra ones are not printed).
    void addRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    size_t rowCount() const { return rows_.size(); }

    // Lays out every row given on pages of the device (one page when there are none) and
    // returns the number of pages. Showing or sending them is the printer object's business.
    int print();

    // The sheet's size in the unit; 0 without a device.
    double phyWidth(int nUnit = kRptInches) const;
    double phyHeight(int nUnit = kRptInches) const;
    // A frame with corners (top, left) and (bottom, right), measured from the sheet's corner in
    // the unit, drawn with the pen of that number (the first for a number that has none) on
    // the page being drawn.
    void box(double nTop, double nLeft, double nBottom, double nRight, int nPen = 1,
             int nUnit = kRptInches);

  private:
    struct Layout;
    // A measure in the unit from the sheet's edge, in pixels of the printable area.
    double toPixelsX(double v, int nUnit) const;
    double toPixelsY(double v, int nUnit) const;
    Layout measure() const;
    double drawPageTop(const Layout& l);
    void drawPageFoot(const Layout& l);
    void drawRow(const Layout& l, double y, const std::vector<std::string>& cells,
                 const QFont& font);

    TPrinter& device_;
    std::vector<std::vector<std::string>> rows_;
};

}  // namespace wv
