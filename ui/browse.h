// The browse: the grid of every list screen. One row per record of a table (in the order of its
// controlling index), per element of an array, or per row of a source the program gives through
// hooks; a header row, an optional footer row, a current row and column, keyboard, mouse and an
// incremental search fed by typing. The rules that need no screen (the hooks, moving, the rows a
// paint visits, the keys and the search buffer) are those of BrowseModel (browsemodel.h); this
// is the grid on the screen.
//
// A layout gives the browse as any widget with its wvId (a plain QWidget or a list box); binding
// puts the grid in its place, with its geometry and its place in the tab order:
//
//     TWBrowse& brw = dlg.redefine<TWBrowse>(500, [] { return Array{...}; },
//                                            {.headers = {"codigo", "nombre"},
//                                             .colSizes = {70, 100}, .update = true});
//     brw.bSeek = [&] { return brw.dbfSeek({.notFound = [] { msgBeep(); return true; }}); };
//
// The program then sets members before the dialog is activated. When the dialog starts, the
// missing headers and widths are filled in (field names in table mode; the width of the longer
// of the header and the current row's value), the row count is taken and bChange runs once.
//
// Colours are 0x00BBGGRR numbers (controls.h); kDefaultColour keeps the system's. The cell hooks
// (bTextColor, bBkColor, bFont) get the screen row (0 for the header and the footer), the column
// (1 for the first) and the kind of cell: kCellData, kCellHeader, kCellFooter, or kCellFocus for
// a cell of the highlighted row (the highlighted cell with lCellStyle). They run while the
// source stands on the row, as does a colour given as a block; nLogicRow() tells the position of
// that row.
//
// Drawing styles: 0 no lines, 1 horizontal lines, 2 vertical lines, 6 raised cells, any other
// (3, 10) both lines; for headers and footers 6 is raised, any other flat with separators.
#pragma once

#include <QPointer>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "ui/browsemodel.h"
#include "ui/controls.h"

class QAbstractScrollArea;
class QFont;
class QRect;

namespace wv {

class TWBrowse;
class BrowseView;

// A colour given as a number or as a block evaluated each time it is needed (for the row
// background, once per row while the source stands on it).
class ColourRule {
  public:
    ColourRule(Colour c = kDefaultColour) : colour_(c) {}
    template <class F>
    requires(std::is_invocable_r_v<Colour, F&> && !std::is_arithmetic_v<F>) ColourRule(F block)
        : block_(std::move(block)) {}
    Colour operator()() const { return block_ ? block_() : colour_; }
    bool isBlock() const { return bool(block_); }

  private:
    Colour colour_ = kDefaultColour;
    std::function<Colour()> block_;
};

// The footer texts: a list, or a block returning them that is evaluated again at each refresh.
// A text may hold several lines, separated by CR LF.
class BrowseFooters {
  public:
    BrowseFooters() = default;
    BrowseFooters(std::vector<std::string> texts) : texts_(std::move(texts)) {}
    BrowseFooters(std::initializer_list<std::string> texts) : texts_(texts) {}
    template <class F>
    requires std::is_invocable_r_v<std::vector<std::string>, F&> BrowseFooters(F block)
        : block_(std::move(block)) {}

    bool isBlock() const { return bool(block_); }
    bool empty() const { return !block_ && texts_.empty(); }
    std::vector<std::string> evaluate() const { return block_ ? block_() : texts_; }

  private:
    std::vector<std::string> texts_;
    std::function<std::vector<std::string>()> block_;
};

// A column of the browse's report: its title and its width in characters.
struct BrowseReportColumn {
    std::string title;
    int width = 0;
};

struct TWBrowseOptions {
    std::vector<std::string> headers{};
    std::vector<int> colSizes{};
    std::function<void(TWBrowse&)> change{};
    std::function<void(int nRow, int nCol, int nFlags)> ldblClick{};
    std::function<void(int nRow, int nCol, int nFlags)> rClick{};
    const QFont* font = nullptr;
    Colour clrFore = kDefaultColour;
    Colour clrBack = kDefaultColour;
    std::string msg{};
    bool update = false;
    std::optional<std::string> alias{};  // the current area's when not given
    std::function<bool()> when{};
    std::function<bool(TWBrowse&)> valid{};
    std::function<void(int nRow, int nCol, int nFlags)> lClick{};
    std::vector<std::function<void(TWBrowse&, int nRow, int nCol)>> actions{};
};

class TWBrowse : public TControl, public BrowseModel {
  public:
    using Options = TWBrowseOptions;
    // Cell kinds for the cell hooks.
    static constexpr int kCellData = 0;
    static constexpr int kCellHeader = 1;
    static constexpr int kCellFooter = 2;
    static constexpr int kCellFocus = 3;
    // Justification codes.
    static constexpr int kLeft = 0;
    static constexpr int kRight = 1;
    static constexpr int kCentre = 2;

    // bLine, when given, replaces the default (every field of the alias).
    TWBrowse(TDialog& dialog, int id, QWidget* widget, std::function<Array()> line = {},
             Options options = {});
    ~TWBrowse() override;
    std::string className() const override { return "TWBROWSE"; }

    std::vector<std::string> aHeaders;
    std::vector<int> aColSizes;  // pixels
    std::vector<int> aJustify;   // cells: kLeft, kRight, kCentre; numbers right when not given
    std::vector<int> aHJustify;  // headers; as the cells when not given
    std::vector<int> aFJustify;  // footers; as the cells when not given
    BrowseFooters aFooters;
    bool lDrawHeaders = true;
    bool lDrawFooters = false;
    int nHeaderHeight = -1;  // pixels; -1 from the font and the lines of the texts
    int nFooterHeight = -1;
    int nLineHeight = -1;
    int nHeaderStyle = 3;
    int nFooterStyle = 3;
    int nLineStyle = 10;
    ColourRule nClrPane;       // row background; the window's colour by default
    ColourRule nClrForeFocus;  // the highlighted row; the selection colours by default
    ColourRule nClrBackFocus;
    Colour nClrForeHead = kDefaultColour;  // button text by default
    Colour nClrBackHead = kDefaultColour;  // button face by default
    // kDefaultColour (or null for the font) keeps the browse's own.
    std::function<Colour(int nRow, int nCol, int nStyle)> bTextColor;
    std::function<Colour(int nRow, int nCol, int nStyle)> bBkColor;
    std::function<const QFont*(int nRow, int nCol, int nStyle)> bFont;
    int nFreeze = 0;  // leftmost columns that do not scroll across
    bool lAdjLastCol = true;
    bool lCellStyle = false;
    bool lDrawFocusRect = true;
    bool lOnlyBorder = false;  // no lines inside, the outer border only
    bool lAdjBrowse = false;   // the browse's width follows its columns
    std::function<void(TWBrowse&)> bChange;
    std::function<void(int nRow, int nCol, int nFlags)> bLClick;
    std::function<void(int nRow, int nCol, int nFlags)> bRClick;
    // Per column: a click on its header evaluates it with the browse and the pointer's position.
    std::vector<std::function<void(TWBrowse&, int nRow, int nCol)>> aActions;
    std::function<bool(TWBrowse&)> bValid;

    // REFRESH: row count and position taken again, footers evaluated again when they are a
    // block, the grid redrawn. The dialog's update() calls it when lUpdate is set.
    void refresh() override;
    bool hasValid() const override { return bool(bValid); }
    bool validate() override { return !bValid || bValid(*this); }

    // The columns of the browse's report: one per cell of bLine (evaluated once), titled by its
    // header, as many characters wide as its width (80 pixels when it has none) holds letters
    // "B" of the browse's font. The rows are those of reportRows().
    std::vector<BrowseReportColumn> reportColumns();
    // REPORT: the rows as the browse shows them printed as a report (report.h) under the title
    // (the caption of the browse's window when not given), through the preview or straight to
    // a printer the operator chooses. The rows are read from the first under a progress box
    // whose cancel button abandons the report; afterwards a table is back on its record and the
    // browse is refreshed.
    void report(std::optional<std::string> title = std::nullopt, bool preview = true,
                const std::string& name = "Reporte Automatico...");

    // The grid's widget (its rows are drawn on its viewport).
    QAbstractScrollArea* view() const;
    // The footer texts as shown.
    std::vector<std::string> footers() const;
    // Where a cell is drawn on the viewport: screen row 1 for the first row, 0 for the header,
    // -1 for the footer; empty when it is not on the screen.
    QRect cellRect(int row, int col) const;
    // The first column shown after the frozen ones.
    int firstScrolledColumn() const { return nColPos_; }

  protected:
    void prepare() override;
    void changed() override;
    void redraw() override;

  private:
    friend class BrowseView;
    BrowseView* grid() const;

    std::vector<std::string> footerTexts_;
    std::vector<bool> numeric_;  // columns whose value was a number at the start
    int nColPos_ = 1;
    bool started_ = false;
};

}  // namespace wv
