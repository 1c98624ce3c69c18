#include "ui/browsemodel.h"

#include <algorithm>
#include <cstdlib>

#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/settings.h"

namespace wv {

namespace {

long clampLong(long v, long lo, long hi) {
    return std::max(lo, std::min(v, hi));
}

// Skips through a work area in its controlling order one row at a time, never onto the phantom
// record: a move past the last row comes back to it. Returns the rows moved.
long skipArea(WorkArea& a, long n) {
    if (n == 0) {
        a.skip(0);
        return 0;
    }
    long moved = 0;
    while (moved < n) {
        if (!a.skip(1)) break;
        if (a.eof()) {
            a.skip(-1);
            break;
        }
        ++moved;
    }
    while (moved > n) {
        // Before the first row the area stays on it with BOF; an empty table stays at its end.
        if (!a.skip(-1) || a.bof() || a.eof()) break;
        --moved;
    }
    return moved;
}

// Puts the area on the row at position n of its controlling order (ORDKEYGOTO). The order's
// entries are walked from its nearer end, in memory, without reading the table; only the row
// reached is read.
void goToKey(WorkArea& a, long n) {
    CdxTag* t = a.controllingTag();
    if (!t) {
        uint32_t count = a.recCount();
        if (count == 0) return;
        a.goTo(uint32_t(clampLong(n, 1, long(count))));
    } else {
        long count = long(t->keyCount());
        if (count == 0) return;
        n = clampLong(n, 1, count);
        // The entries come in ascending key order; a descending order counts from the other end.
        long physical = t->descending() ? count - n + 1 : n;
        bool backwards = physical > count / 2;
        long want = backwards ? count - physical + 1 : physical;
        long seen = 0;
        uint32_t rec = 0;
        t->forEach(
            [&](const uint8_t*, uint32_t r) {
                if (++seen < want) return true;
                rec = r;
                return false;
            },
            backwards);
        if (!rec) return;
        a.goTo(rec);
    }
    if (settings().deleted && !a.eof() && a.deleted()) {
        // A hidden row: the next one shown, or the last one.
        a.skip(1);
        if (a.eof()) a.goBottom();
    }
}

}  // namespace

BrowseModel::BrowseModel() {
    WorkArea* a = workspace().area();
    cAlias = a ? a->alias() : std::string();
    useTableHooks();
}

BrowseModel::~BrowseModel() = default;

// ---------------------------------------------------------------------------------------------
// Modes

WorkArea* BrowseModel::area() const {
    if (cAlias.empty() || cAlias == "ARRAY") return nullptr;
    Workspace& ws = workspace();
    if (areaHint_) {
        WorkArea* a = ws.area(areaHint_);
        if (a && a->alias() == upperCase(cAlias)) return a;
    }
    areaHint_ = ws.areaOf(cAlias);
    return areaHint_ ? ws.area(areaHint_) : nullptr;
}

// The skip of table and array mode; while bSkip holds it, the mode also answers for the key
// numbers.
struct BrowseModel::SourceSkip {
    BrowseModel* m;
    long operator()(long n) const {
        if (m->mode_ == Mode::Array) return m->arraySkip(n);
        WorkArea* a = m->area();
        return a ? skipArea(*a, n) : 0L;
    }
};

bool BrowseModel::ownSkip() const {
    return bSkip.target<SourceSkip>() != nullptr;
}

void BrowseModel::useTableHooks() {
    mode_ = Mode::Table;
    bLine = [this] {
        Array cells;
        WorkArea* a = area();
        if (!a) return cells;
        DbfTable& t = a->table();
        for (size_t i = 0; i < t.fieldCount(); ++i) cells.push_back(t.get(i));
        return cells;
    };
    bLogicLen = [this] {
        WorkArea* a = area();
        return a ? long(a->keyCount()) : 0L;
    };
    bGoTop = [this] {
        if (WorkArea* a = area()) a->goTop();
    };
    bGoBottom = [this] {
        if (WorkArea* a = area()) a->goBottom();
    };
    bSkip = SourceSkip{this};
}

void BrowseModel::setTable(const std::string& alias) {
    cAlias = alias;
    areaHint_ = 0;
    array_ = Value();
    useTableHooks();
    pos_ = 0;
}

long BrowseModel::arraySkip(long n) {
    long len = array_.isArray() ? long(array_.array().size()) : 0;
    if (len == 0) return 0;
    long from = clampLong(nAt, 1, len);
    long to = clampLong(from + n, 1, len);
    nAt = to;
    return to - from;
}

void BrowseModel::useArrayHooks() {
    mode_ = Mode::Array;
    auto length = [this] { return array_.isArray() ? long(array_.array().size()) : 0L; };
    bLine = [this, length] {
        long len = length();
        if (nAt < 1 || nAt > len) return Array();
        const Value& row = array_.array()[size_t(nAt - 1)];
        return row.isArray() ? row.array() : Array{row};
    };
    bLogicLen = length;
    bGoTop = [this] { nAt = 1; };
    bGoBottom = [this, length] { nAt = std::max(1L, length()); };
    bSkip = SourceSkip{this};
}

void BrowseModel::setArray(Value aData) {
    array_ = aData.isArray() ? std::move(aData) : Value(Array{});
    cAlias = "ARRAY";
    nAt = 1;
    useArrayHooks();
    pos_ = 0;
}

long BrowseModel::keyNo() {
    if (bKeyNo) return bKeyNo();
    if (!ownSkip()) return 0;
    if (mode_ == Mode::Array) {
        long len = array_.isArray() ? long(array_.array().size()) : 0;
        return len ? clampLong(nAt, 1, len) : 0;
    }
    WorkArea* a = area();
    return a ? long(a->keyNo()) : 0L;
}

bool BrowseModel::keyGoTo(long n) {
    if (bKeyGoTo) {
        bKeyGoTo(n);
        return true;
    }
    if (!ownSkip()) return false;
    if (mode_ == Mode::Array) {
        long len = array_.isArray() ? long(array_.array().size()) : 0;
        if (len) nAt = clampLong(n, 1, len);
        return true;
    }
    if (WorkArea* a = area()) goToKey(*a, n);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Position

long BrowseModel::doSkip(long n) {
    if (n == 0 || !bSkip) return 0;
    long moved = bSkip(n);
    if (pos_) pos_ += moved;
    if (visiting_ && visitPos_) visitPos_ += moved;
    return moved;
}

long BrowseModel::logicLen() {
    return bLogicLen ? std::max(0L, bLogicLen()) : 0;
}

long BrowseModel::logicPos() {
    if (nLen <= 0) return 0;
    if (!pos_ && knowsKeyNo()) pos_ = keyNo();
    if (pos_ <= 0) pos_ = 1;  // not known: taken as the first
    pos_ = clampLong(pos_, 1, nLen);
    return pos_;
}

long BrowseModel::nLogicRow() {
    if (visiting_) return visitPos_;
    return logicPos();
}

void BrowseModel::setRowCount(int n) {
    rows_ = std::max(1, n);
}

void BrowseModel::setColCount(int n) {
    cols_ = std::max(1, n);
    nColAct = std::clamp(nColAct, 1, cols_);
}

void BrowseModel::start(bool counted) {
    if (!counted) nLen = logicLen();
    if (knowsKeyNo()) pos_ = 0;
    nRowPos = std::clamp(nRowPos, 1, rows_);
    redraw();
    changed();
}

void BrowseModel::refresh() {
    nLen = logicLen();
    // Without a way to ask the source, the position counted so far is kept.
    if (knowsKeyNo()) pos_ = 0;
    redraw();
}

// ---------------------------------------------------------------------------------------------
// Moving

void BrowseModel::goTop() {
    long before = pos_;
    if (bGoTop) bGoTop();
    pos_ = nLen > 0 ? 1 : 0;
    nRowPos = 1;
    if (before != 1) changed();
    redraw();
}

void BrowseModel::goBottom() {
    long before = pos_;
    if (bGoBottom) bGoBottom();
    pos_ = nLen > 0 ? nLen : 0;
    nRowPos = int(std::max(1L, std::min(nLen, long(rows_))));
    if (!before || before != pos_) changed();
    redraw();
}

void BrowseModel::skip(long n) {
    long moved = doSkip(n);
    if (!moved) return;
    nRowPos = int(clampLong(nRowPos + moved, 1, rows_));
    changed();
    redraw();
}

void BrowseModel::pageDown() {
    long moved = doSkip(rows_);
    if (!moved) return;
    // The end came before a whole page: the cursor goes down the screen by what was left.
    if (moved < rows_) nRowPos = int(std::min<long>(nRowPos + moved, rows_));
    changed();
    redraw();
}

void BrowseModel::pageUp() {
    long moved = doSkip(-rows_);
    if (!moved) return;
    if (-moved < rows_) nRowPos = int(std::max<long>(nRowPos + moved, 1));
    changed();
    redraw();
}

void BrowseModel::goToPos(long n) {
    if (nLen <= 0) return;
    n = clampLong(n, 1, nLen);
    long cur = logicPos();
    if (n == cur) return;
    if (n == 1) return goTop();
    if (n == nLen) return goBottom();
    if (keyGoTo(n)) {
        pos_ = n;
    } else {
        // One skip from whichever is nearest: the top, the current row or the bottom.
        long fromTop = n - 1, fromBottom = nLen - n, fromHere = std::labs(n - cur);
        if (fromHere <= fromTop && fromHere <= fromBottom) {
            doSkip(n - cur);
        } else if (fromTop <= fromBottom) {
            if (bGoTop) bGoTop();
            pos_ = 1;
            doSkip(n - 1);
        } else {
            if (bGoBottom) bGoBottom();
            pos_ = nLen;
            doSkip(n - nLen);
        }
    }
    changed();
    redraw();
}

void BrowseModel::setColumn(int n) {
    n = std::clamp(n, 1, cols_);
    if (n == nColAct) return;
    nColAct = n;
    redraw();
}

void BrowseModel::goLeft() {
    setColumn(nColAct - 1);
}
void BrowseModel::goRight() {
    setColumn(nColAct + 1);
}

// ---------------------------------------------------------------------------------------------
// Visiting the rows of the screen

void BrowseModel::visitRows(const RowVisitor& visit) {
    shown_ = 0;
    if (nLen <= 0 || !bLine) return;
    const int rows = rows_;
    nRowPos = std::clamp(nRowPos, 1, rows);
    long cur = logicPos();
    visiting_ = true;
    visitPos_ = cur;
    // A table goes back to the current row by its record number: skipping back would read
    // every row of the screen a second time.
    WorkArea* table = mode_ == Mode::Table && ownSkip() ? area() : nullptr;
    const uint32_t rec = table && !table->eof() ? table->recNo() : 0;

    // Offsets from the current row: `at` is where the source stands.
    long at = doSkip(-(nRowPos - 1));
    long top = at;
    const bool roomAbove = -top == nRowPos - 1;  // the skip up went as far as asked
    auto walk = [&] {
        int n = 0;
        for (;;) {
            ++n;
            visit(n, bLine());
            if (n == rows) break;
            long m = doSkip(1);
            at += m;
            if (m != 1) break;
        }
        return n;
    };
    int n = walk();
    if (n < rows && roomAbove) {
        // The source ended first: the rows above the first one shown come down to fill the
        // screen.
        long want = top - (rows - n);
        at += doSkip(want - at);
        if (at < top) {
            top = at;
            n = walk();
        }
    }
    nRowPos = int(-top + 1);
    if (rec && at) {
        table->goTo(rec);
        if (pos_) pos_ -= at;
    } else {
        doSkip(-at);
    }
    shown_ = n;
    visiting_ = false;
    visitPos_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Incremental search and keys

void BrowseModel::clearBuffer() {
    if (cBuffer.empty()) return;
    cBuffer.clear();
    if (bUpdateBuffer) bUpdateBuffer();
}

void BrowseModel::afterSeek() {
    // The row found goes to the last row of the screen, the rows before it above.
    nRowPos = int(std::max(1L, std::min(nLen, long(rows_))));
    refresh();
}

bool BrowseModel::keyDown(int nKey, int nFlags) {
    if (bKeyDown && bKeyDown(nKey, nFlags)) return true;
    switch (nKey) {
        case vk::kUp:
            clearBuffer();
            goUp();
            return true;
        case vk::kDown:
            clearBuffer();
            goDown();
            return true;
        case vk::kLeft:
            clearBuffer();
            goLeft();
            return true;
        case vk::kRight:
            clearBuffer();
            goRight();
            return true;
        case vk::kHome:
            clearBuffer();
            goTop();
            return true;
        case vk::kEnd:
            clearBuffer();
            goBottom();
            return true;
        case vk::kPrior:
            clearBuffer();
            if (nFlags & keyflag::kCtrl)
                goTop();
            else
                pageUp();
            return true;
        case vk::kNext:
            clearBuffer();
            if (nFlags & keyflag::kCtrl)
                goBottom();
            else
                pageDown();
            return true;
        default:
            break;
    }
    if (nKey == vk::kBack && bSeek) {
        if (searching_) return true;
        searching_ = true;
        if (!cBuffer.empty()) cBuffer.pop_back();
        if (bSeek()) afterSeek();
        if (bUpdateBuffer) bUpdateBuffer();
        searching_ = false;
        return true;
    }
    if (nKey >= vk::kSpace) return false;  // on to the character
    // Any other key ends the search and goes on its way.
    cBuffer.clear();
    if (bSeek && bUpdateBuffer) bUpdateBuffer();
    return false;
}

bool BrowseModel::keyChar(int nKey, int nFlags) {
    if (searching_) return true;  // typed while a search runs
    if (nKey == 'R' - '@') {      // Ctrl+R
        clearBuffer();
        pageUp();
        return true;
    }
    if (nKey == 'C' - '@') {  // Ctrl+C
        clearBuffer();
        pageDown();
        return true;
    }
    if (nKey >= vk::kSpace && bSeek) {
        searching_ = true;
        if (int(cBuffer.size()) < nBuffer) {
            cBuffer += char(nKey);
            if (bSeek()) afterSeek();
        }
        if (bUpdateBuffer) bUpdateBuffer();
        searching_ = false;
        return true;
    }
    return bKeyChar && bKeyChar(nKey, nFlags);
}

bool BrowseModel::dbfSeek(SeekOptions o) {
    WorkArea* a = area();
    if (!a) {
        changed();
        return false;
    }
    std::string text = o.text ? *o.text : cBuffer;
    if (o.length > 0 && text.size() > size_t(o.length)) text.resize(size_t(o.length));
    if (o.upper) text = upperCase(text);
    const uint32_t before = a->recNo();
    const bool wasEof = a->eof();
    if (!text.empty()) a->seek(Value(text), o.soft);
    const bool moved = a->recNo() != before || a->eof() != wasEof;
    if (moved && a->eof()) {
        a->goTo(before);
        if (o.notFound) o.notFound();
        return false;
    }
    if (moved) pos_ = 0;
    changed();
    return moved;
}

// ---------------------------------------------------------------------------------------------
// Report

long BrowseModel::reportRows(const std::function<bool(const std::vector<std::string>&)>& print) {
    const bool table = mode_ == Mode::Table && ownSkip();
    WorkArea* a = table ? area() : nullptr;
    if (table && !a) return 0;
    const uint32_t record = a ? a->recNo() : 0;
    const long before = table ? 0 : logicPos();
    const long count = table ? 0 : logicLen();
    if (bGoTop) bGoTop();
    long printed = 0;
    const bool any = table ? !a->eof() : count > 0;
    while (any && bLine) {
        std::vector<std::string> cells;
        for (const Value& v : bLine()) cells.push_back(v.isText() ? v.text() : std::string(3, ' '));
        ++printed;
        if (!print(cells)) break;
        if (!table && printed >= count) break;
        if (bSkip && bSkip(1) == 0 && table) break;
    }
    // Back on the row the browse was on: the record of a table; the same position of another
    // source.
    if (a) {
        a->goTo(record);
        pos_ = 0;
    } else if (before > 0) {
        if (bGoTop) bGoTop();
        pos_ = 1;
        doSkip(before - 1);
    }
    refresh();
    return printed;
}

// ---------------------------------------------------------------------------------------------
// Mouse

void BrowseModel::clickRow(int row) {
    if (nLen <= 0 || row < 1 || row > std::max(shown_, 1)) return;
    skip(row - nRowPos);
}

bool BrowseModel::dblClick(int row, int y, int x, int nFlags) {
    if (nLen <= 0) return false;
    if (row != nRowPos) {
        clickRow(row);
        return false;
    }
    if (bLDblClick) bLDblClick(y, x, nFlags);
    return true;
}

}  // namespace wv
