// TArray: a small table held in memory. Named fields, a list of rows, a current row with
// begin/end flags, a record buffer holding the current row's values, an optional filter, and
// sorting, searching and evaluation over the rows. It navigates like a table file, so that
// browses and loops written for tables work on it; the invoice capture keeps the lines of the
// invoice being edited in one.
//
// Positions (fields, rows) are 1-based, as in the rest of the system. A field value is a runtime
// Value or a nested TArray (FieldValue below).
//
// Copies. The buffer is a separate copy of its row: lists are copied element by element when a
// row is loaded or saved, so changing a list in the buffer does not reach the row before save().
// A nested table is an object: the buffer and its row refer to the same one (operations that go
// through the rows and change the nested tables rely on this). Copying a TArray copies
// everything, nested tables included.
//
// By-name access. get("NIMPORTE") reads the buffer value of the field whose whole name is
// NIMPORTE; set("NIMPORTE", v) stores into the buffer position of the first field whose first
// nine characters equal the name, so a field whose name is ten characters long can be read by
// name but only assigned through its first nine characters. Names are taken in capitals. A name
// that matches no field raises "CLASE TArray Campo NAME Inexistente." through the error handler
// (subsystem "TArray", generic code 14, sub-code 1 for a read and 2 for an assignment, the
// default allowed) and the access gives NIL without changing anything.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "runtime/value.h"

namespace wv {

class TArray;
using TArrayPtr = std::shared_ptr<TArray>;

// A field value: a runtime value, or a nested table (then the Value part is NIL).
class FieldValue : public Value {
public:
    FieldValue() = default;
    // Plain numbers are refused: a number is made with Value::number, which gives it its width.
    template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, FieldValue> &&
                 !(std::is_arithmetic_v<std::remove_cvref_t<T>> &&
                   !std::is_same_v<std::remove_cvref_t<T>, bool>) &&
                 std::is_constructible_v<Value, T &&>)
    FieldValue(T&& v) : Value(std::forward<T>(v)) {}
    FieldValue(TArrayPtr t) : table_(std::move(t)) {}

    bool isTable() const { return table_ != nullptr; }
    const TArrayPtr& table() const { return table_; }

    // Values compare as the runtime's values; nested tables by identity.
    friend bool operator==(const FieldValue& a, const FieldValue& b) {
        if (a.table_ || b.table_) return a.table_ == b.table_;
        return static_cast<const Value&>(a) == static_cast<const Value&>(b);
    }

private:
    TArrayPtr table_;
};

// Generic code and sub-codes of the missing-field error.
namespace tarrayerr {
constexpr int kGenCode = 14;  // no such exported variable
constexpr int kRead = 1;
constexpr int kAssign = 2;
}  // namespace tarrayerr

class TArray {
public:
    using Row = std::vector<FieldValue>;
    using Condition = std::function<bool(TArray&)>;
    using Block = std::function<void(TArray&)>;

    // The data, open to the code that shows or stores the table (the browse, the invoice
    // writer). Code that changes them directly keeps one position per field in the buffer; rows
    // may be shorter (load() lengthens them).
    std::vector<Row> aDatos;         // the rows
    Row aBuffer;                     // the current row's values, by field position
    Row aDefault;                    // per field, the value of an emptied field (NIL: none)
    std::vector<std::string> aFields;  // the field names, in capitals
    Condition bSetFilter;            // rows it refuses are passed over; empty: no filter
    long nRecNo = 1;
    bool lBof = true;
    bool lCheckMayuscula = true;     // the next by-name access first puts the names in capitals
    bool lEof = true;

    TArray() = default;
    TArray(const TArray& other);
    TArray& operator=(const TArray& other);
    TArray(TArray&&) = default;
    TArray& operator=(TArray&&) = default;

    // A new empty table, as held by a field.
    static TArrayPtr create() { return std::make_shared<TArray>(); }
    TArrayPtr clone() const { return std::make_shared<TArray>(*this); }

    // A field at the end: the name in capitals, the initial value (or a copy of the default when
    // no initial value is given) into the buffer, the default into aDefault.
    bool addField(std::string_view name, FieldValue initial = {}, FieldValue defaultValue = {});

    bool eof() const { return aDatos.empty() || lEof; }
    bool bof() const { return aDatos.empty() || lBof; }

    // The current row into the buffer (blank when there are no rows), and back.
    bool load();
    // Stores nothing when the table is not positioned on a row (no rows, or past the end after
    // goTo(0) or a failed seek) and then answers false.
    bool save();
    bool blank();

    // The empty value of a field value: the default at `pos` (1-based; 0 for none) when the
    // defaults hold one there (a copy of it), otherwise derived from the value's type: 0, the
    // empty date, false, blanks of the same length, a list of emptied elements, a table with the
    // same fields and no rows; NIL stays NIL.
    FieldValue valorVacio(const FieldValue& v, long pos = 0) const {
        return valorVacio(v, pos, aDefault);
    }
    static FieldValue valorVacio(const FieldValue& v, long pos, const Row& defaults);

    // Moves by n rows (through the filter when one is set); the rows actually moved, signed. No
    // phantom row: moving forward from the last row only sets the end flag.
    long skip(long n = 1);
    bool goTop();
    // 0 goes past the end: end flag set, buffer blank.
    bool goTo(long n);
    bool goBottom();

    // A new empty row at the end, or inserted before row `pos` (1 or more); it becomes current.
    bool append(long pos = 0);
    // A new row holding the buffer's values, placed as by append().
    bool add(long pos = 0);
    // Removes a row (default the current one). The current row keeps its number, or becomes the
    // new last one. A row number outside the table (or the position past the end) removes
    // nothing and answers false.
    bool deleteRow(std::optional<long> row = std::nullopt);

    long recNo() const { return nRecNo; }
    long lastRec() const { return long(aDatos.size()); }
    bool zap();

    // Sorts rows start..start+count-1 (all from start when count is not given) by a field,
    // ascending or descending; equal values may change order. The current row becomes the first
    // row whose value in the field equals the one the current row had; the buffer is not
    // reloaded. False for a field that does not exist.
    bool sort(int field = 1, bool ascending = true, long start = 1,
              std::optional<long> count = std::nullopt);
    bool sort(std::string_view field, bool ascending = true, long start = 1,
              std::optional<long> count = std::nullopt);

    // From row 1: the first row whose text in the field, trimmed both sides, equals the value
    // (with `prefix`, begins with it) and that passes the filter becomes current. When none does
    // the table is left past its end and the answer is false. Rows whose value is not text never
    // match.
    bool seek(std::string_view value, int field, bool prefix = false);
    bool seek(std::string_view value, std::string_view field, bool prefix = false);

    std::string fieldName(int pos) const;

    // The block over the buffer's values (value, position), from `start` for `count` values.
    bool aEval(const std::function<void(const FieldValue&, int)>& block, int start = 1,
               std::optional<int> count = std::nullopt) const;

    // Brings every row's value in the field to the shape of the template row's (default the last
    // row): lists to its length, nested tables to its fields and defaults. Ends with goTop().
    bool dbResize(std::string_view field, std::optional<long> templateRow = std::nullopt);
    // Puts the fields in name order (descending when asked); each value stays with its field,
    // in every row whatever the filter, in the buffer and in the defaults. The position is kept.
    bool sortFields(bool descending = false);
    // sortFields() on the nested table that every row holds in the field.
    bool dbSortField(std::string_view field, bool descending = false);

    // The buffer values of the field for every row dbEval visits (from the top, through the
    // filter); an empty list when there is no such field. Nested tables give NIL. Leaves the
    // table at its end.
    Array field2Array(std::string_view field);
    // One such list per name, in the order given.
    Array field2Array(const std::vector<std::string>& fields);

    bool setFilter(Condition filter = {});
    // Moves by n rows that pass the filter; the number of accepted rows moved, signed. When the
    // begin or end is reached, the table returns to the last accepted row.
    long skipFilter(long n = 1);

    bool isField(std::string_view name) const { return fieldPos(name) != 0; }
    // The first field whose name begins with the name trimmed and in capitals (the runtime's
    // non-exact comparison); 0 when none, or when the name is blank.
    int fieldPos(std::string_view name) const;

    // The stored current row (not the buffer). When the table is not on a row, fieldGet gives
    // the field's default and fieldPut stores nothing and gives NIL.
    FieldValue fieldGet(int pos);
    FieldValue fieldGetByName(std::string_view name) { return fieldGet(fieldPos(name)); }
    FieldValue fieldPut(int pos, const FieldValue& v);
    FieldValue fieldPutByName(std::string_view name, const FieldValue& v) {
        return fieldPut(fieldPos(name), v);
    }

    // Evaluates the block over rows. Without a count (or with `rest`) from the top, otherwise
    // from the current row for `count` rows; with a row number, on that row only. The for
    // condition and the filter choose rows, the while condition stops the walk.
    void dbEval(const Block& block, const Condition& forCond = {},
                const Condition& whileCond = {}, std::optional<long> count = std::nullopt,
                std::optional<long> row = std::nullopt, bool rest = false);

    // By-name access to the buffer (see the top of this file).
    FieldValue get(std::string_view name);
    FieldValue set(std::string_view name, FieldValue v);
    // The nested table held in a field of the buffer; null when the field holds something else.
    TArrayPtr table(std::string_view name) { return get(name).table(); }

private:
    bool positioned() const { return nRecNo >= 1 && nRecNo <= lastRec(); }
    void clampRecNo();
    void padRow(Row& row) const;
    const FieldValue& cell(size_t row, size_t field);
    bool passes() { return !bSetFilter || bSetFilter(*this); }
    long findField(std::string_view name, bool assign);
    bool retryMissing(const std::string& name, bool assign, const FieldValue* v);
    bool heldByOthers(const TArray* t, size_t exceptRow) const;
    void deepen();
};

// The declaration facility: tables declared field by field, optionally from an open table, with
// tables nested inside fields. Declarations nest: a table opened while another is open becomes
// the value (in the buffer) of the last field added to the enclosing one.
//
// structNew(area or alias): the fields are those of the table open in that work area (0: the
// current one), with no initial values and no defaults; at structEnd() its visible records, in
// its current order, become the rows (the table is left at its end). An area that holds no table
// gives a table with no fields.
TArrayPtr structNew();
TArrayPtr structNew(int area);
TArrayPtr structNew(std::string_view alias);
TArrayPtr structNew(std::vector<TArray::Row> rows);
// addField() on the innermost open declaration; false when none is open.
bool structField(std::string_view name, FieldValue initial = {}, FieldValue defaultValue = {});
// Closes the innermost declaration and returns its table (null when none was open).
TArrayPtr structEnd();

}  // namespace wv
