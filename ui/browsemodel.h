// The browse's rules that need no screen: where its rows come from, how it moves through them,
// which rows a paint visits, and the keyboard with its incremental search buffer. The grid on
// the screen (TWBrowse, browse.h) is one of these bound to a widget; the rules are written here
// so that they can be run and checked without one.
//
// Rows come from hooks, never from a list held here:
//   - table mode (the default): the controlling order of the work area `cAlias`. The row count is
//     the order's key count and the position its key number, so that the scroll bar follows the
//     index order;
//   - array mode (setArray): the rows are the elements of an array and nAt is the current one;
//   - custom mode: the program replaces bLine, bLogicLen, bGoTop, bGoBottom and bSkip, and the
//     browse calls only these.
// A paint starts on the current row, skips up to the first visible row and down through the
// rest, and skips back: a screenful of rows is read whatever the size of the source. Moving by a
// page is one skip of a page; going to a position of the scroll bar is one skip from the nearest
// end (or straight there through bKeyGoTo).
//
// The source stays on the current row between calls. nRowPos is the row of the screen the
// current row is shown on (1 for the first); the rows above it are those the source has before
// the current one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

class WorkArea;

// The keys as the window system numbers them, as the key hooks receive them.
namespace vk {
constexpr int kBack = 8;
constexpr int kTab = 9;
constexpr int kReturn = 13;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
constexpr int kPrior = 33;  // Page Up
constexpr int kNext = 34;   // Page Down
constexpr int kEnd = 35;
constexpr int kHome = 36;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
constexpr int kInsert = 45;
constexpr int kDelete = 46;
}  // namespace vk

// The state of the modifier keys that comes with a key or a click.
namespace keyflag {
constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;
}  // namespace keyflag

// The arguments of BrowseModel::dbfSeek.
struct BrowseSeekOptions {
    bool soft = true;
    std::function<bool()> notFound{};
    int length = 0;  // 0: the whole text
    bool upper = true;
    std::optional<std::string> text{};  // cBuffer when not given
};

class BrowseModel {
  public:
    // In table mode on the alias of the current work area (no alias when none is open).
    BrowseModel();
    virtual ~BrowseModel();
    BrowseModel(const BrowseModel&) = delete;
    BrowseModel& operator=(const BrowseModel&) = delete;

    // --- Data source
    std::string cAlias;  // a work area's alias, or "ARRAY" in array mode
    // The current row's cells, one per column (texts; numbers and other values are shown as
    // their text).
    std::function<Array()> bLine;
    std::function<long()> bLogicLen;  // the number of rows
    std::function<void()> bGoTop;
    std::function<void()> bGoBottom;
    // Moves n rows (negative: up) and returns the rows actually moved.
    std::function<long(long)> bSkip;
    // Optional, for custom mode: the current row's position (1 for the first) and a move
    // straight to a position. Without them, table mode takes the order's key numbers and array
    // mode nAt, as long as bSkip is still theirs; a custom source without them has its position
    // counted from what the skips moved, and a position is reached by one skip from the nearest
    // of the top, the current row and the bottom.
    std::function<long()> bKeyNo;
    std::function<void(long)> bKeyGoTo;

    long nLen = 0;    // the row count, as bLogicLen gave it at the last refresh
    long nAt = 1;     // array mode: the current element
    int nRowPos = 1;  // the screen row of the current row
    int nColAct = 1;  // the current column

    // --- Incremental search
    std::string cBuffer;  // the text typed so far
    int nBuffer = 50;     // its maximum length
    // After every change of cBuffer: seeks it; true when the current row changed.
    std::function<bool()> bSeek;
    // After every change of cBuffer, to show it.
    std::function<void()> bUpdateBuffer;

    // --- Hooks
    // A key before the browse handles it; true when the hook took it.
    std::function<bool(int nKey, int nFlags)> bKeyDown;
    // A character the browse does not take itself (Enter, Escape, the other control characters,
    // and any character when there is no search); true when the hook took it.
    std::function<bool(int nKey, int nFlags)> bKeyChar;
    // A double click on the current row, with the pointer's position in the browse (pixels)
    // and the modifier keys.
    std::function<void(int nRow, int nCol, int nFlags)> bLDblClick;

    // --- Modes
    // Array mode over aData (an array value whose elements are the rows; an element that is an
    // array gives the cells of its row). The browse shares the array: changes the program makes
    // to it show at the next refresh.
    void setArray(Value aData);
    void setArray(Array aData) { setArray(Value(std::move(aData))); }
    const Value& aArray() const { return array_; }
    // Table mode on cAlias again (the default hooks back in place).
    void setTable(const std::string& alias);
    // The work area of cAlias; null when no area has it.
    WorkArea* area() const;

    // --- Moving; each evaluates the change hook when the current row changed.
    void goTop();
    void goBottom();
    void goUp() { skip(-1); }
    void goDown() { skip(1); }
    void pageUp();
    void pageDown();
    // Moves n rows; the cursor's screen row follows within the screen.
    void skip(long n);
    // Makes the row at position n (1 for the first) the current one: the scroll bar's thumb.
    void goToPos(long n);
    void goLeft();
    void goRight();
    // The current column (1 for the first; kept within the columns).
    void setColumn(int n);

    // REFRESH: the row count is evaluated again and the position is taken again from the
    // source; the screen redraws.
    virtual void refresh();

    // DBFSEEK on cAlias: the text (cBuffer unless given), cut to the length when one is given
    // and upper-cased unless told otherwise, is sought in the controlling order when it is not
    // empty. A seek that ran off the end puts the area back on its record, evaluates the
    // not-found block and answers false. Otherwise the change hook runs and the answer tells
    // whether the record changed.
    using SeekOptions = BrowseSeekOptions;
    bool dbfSeek(SeekOptions options = {});

    // --- Keyboard. keyDown takes every key first (as the window system numbers it): bKeyDown
    // may take it; the arrows, Home, End, Page Up and Page Down (with Ctrl: top and bottom) empty
    // the search buffer and move; Backspace, when there is a search, rubs out its last
    // character and seeks again; keys from 32 on are left for their character; any other key
    // empties the buffer and is left to the dialog. A key left (false) that stands for a
    // character comes to keyChar with the character's code (control characters included: Enter
    // 13, Escape 27, Ctrl+letter 1-26): Ctrl+R and Ctrl+C page up and down, a printable one
    // feeds the search when there is one, anything else goes to bKeyChar. A key that comes back
    // while a search runs is ignored. True when the key was taken.
    bool keyDown(int nKey, int nFlags = 0);
    bool keyChar(int nKey, int nFlags = 0);

    // --- Mouse, by screen row (1 for the first row under the headers).
    // A click on a row: it becomes the current one (rows past the last one shown are ignored).
    void clickRow(int row);
    // A double click: on the current row, with at least one row, evaluates bLDblClick (true);
    // on another row it only selects that one.
    bool dblClick(int row, int y, int x, int nFlags);

    // --- The rows as the browse's report prints them: from the first row, each row's cells as
    // texts (three blanks for a cell that is not text: a picture) to `print`, one skip after
    // each. A table's rows end when the skip no longer moves, other sources' when as many rows
    // as bLogicLen counts have been printed; `print` answering false stops too. The source is
    // put back on the row it was on (a table on its record) and the browse refreshed. Returns
    // the rows printed.
    long reportRows(const std::function<bool(const std::vector<std::string>& cells)>& print);

    // --- What the screen needs
    // Rows that fit on the screen; the screen sets it when it is laid out.
    int rowCount() const { return rows_; }
    void setRowCount(int n);
    // The number of columns, for moving between them.
    int colCount() const { return cols_; }
    void setColCount(int n);
    // Rows shown by the last visit.
    int shownRows() const { return shown_; }
    // The current row's position (1 for the first), for the scroll bar; 0 with no rows.
    long logicPos();
    // Visits the rows of the screen from the first: for each, the source stands on the row while
    // the visitor runs with its screen row (1 for the first) and cells. When the source ends
    // before the screen is full and has rows above the first one shown, the rows move down to
    // fill the screen and the visit starts again from screen row 1. The source is left on the
    // current row; nRowPos is brought within the rows there are.
    using RowVisitor = std::function<void(int row, const Array& cells)>;
    void visitRows(const RowVisitor& visit);
    // While a visit runs, the position (1 for the first) of the row visited; otherwise that of
    // the current row. 0 when it is not known.
    long nLogicRow();
    // The initialisation when the screen starts: the row count (unless the screen has just
    // taken it), then the change hook once.
    void start(bool counted = false);

  protected:
    // The current row changed (the screen evaluates its change block).
    virtual void changed() {}
    // Something to show changed: the rows, the current row or column.
    virtual void redraw() {}
    // Hook calls through here keep the position known.
    long doSkip(long n);
    long logicLen();

  private:
    struct SourceSkip;
    enum class Mode { Table, Array };
    void useTableHooks();
    void useArrayHooks();
    // bSkip is still the one of the mode (table or array).
    bool ownSkip() const;
    bool knowsKeyNo() const { return bKeyNo || ownSkip(); }
    long keyNo();
    bool keyGoTo(long n);
    void clearBuffer();
    void afterSeek();
    long arraySkip(long n);

    Mode mode_ = Mode::Table;
    Value array_;
    int rows_ = 10;
    int cols_ = 1;
    int shown_ = 0;
    long pos_ = 0;       // the current row's position; 0 when not known
    long visitPos_ = 0;  // the row being visited, during a visit
    bool visiting_ = false;
    bool searching_ = false;
    mutable int areaHint_ = 0;  // the work area last found for cAlias
};

}  // namespace wv
