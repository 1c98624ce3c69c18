#include "support/tarray.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <unordered_map>

#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/error.h"

namespace wv {

namespace {

const FieldValue kNil;

// A list copied element by element (lists inside it too); other values as they are.
Value cloneValue(const Value& v) {
    if (!v.isArray()) return v;
    Array a;
    a.reserve(v.array().size());
    for (const Value& e : v.array()) a.push_back(cloneValue(e));
    return Value(std::move(a));
}

// The copy a row and the buffer exchange: lists copied, a nested table shared.
FieldValue rowCopy(const FieldValue& v) {
    if (v.isTable() || !v.isArray()) return v;
    return FieldValue(cloneValue(v));
}

// A copy that shares nothing with the original.
FieldValue deepCopy(const FieldValue& v) {
    if (v.isTable()) return FieldValue(v.table()->clone());
    return rowCopy(v);
}

TArray::Row copyRow(const TArray::Row& r) {
    TArray::Row out;
    out.reserve(r.size());
    for (const FieldValue& v : r) out.push_back(rowCopy(v));
    return out;
}

// The empty value derived from the type alone.
Value emptyByType(const Value& v) {
    switch (v.type()) {
        case Value::Type::Number: return Value::number(0);
        case Value::Type::Date: return Value(Date{});
        case Value::Type::Logical: return Value(false);
        case Value::Type::Text: return Value(std::string(v.text().size(), ' '));
        case Value::Type::Array: {
            Array a;
            a.reserve(v.array().size());
            for (const Value& e : v.array()) a.push_back(emptyByType(e));
            return Value(std::move(a));
        }
        case Value::Type::Nil: break;
    }
    return v;
}

std::string_view trimBlanks(std::string_view s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

// Order of two field values for sorting: by type first (so that mixed columns still sort),
// then texts by their bytes, numbers, dates and logicals by value. Lists, tables and NIL have no
// order among themselves.
int compareValues(const FieldValue& a, const FieldValue& b) {
    if (a.isTable() || b.isTable()) return int(a.isTable()) - int(b.isTable());
    if (a.type() != b.type()) return int(a.type()) - int(b.type());
    switch (a.type()) {
        case Value::Type::Text: return a.text().compare(b.text());
        case Value::Type::Number: return a.num() < b.num() ? -1 : b.num() < a.num() ? 1 : 0;
        case Value::Type::Date: return a.date().jd < b.date().jd ? -1 : a.date().jd > b.date().jd;
        case Value::Type::Logical: return int(a.logical()) - int(b.logical());
        default: break;
    }
    return 0;
}

// Reorders the first idx.size() positions of v so that position i takes what was at idx[i].
void permute(TArray::Row& v, const std::vector<size_t>& idx) {
    if (v.size() < idx.size()) v.resize(idx.size());
    TArray::Row old(v.begin(), v.begin() + long(idx.size()));
    for (size_t i = 0; i < idx.size(); ++i) v[i] = std::move(old[idx[i]]);
}

}  // namespace

// --- Construction and copies

TArray::TArray(const TArray& o)
    : aDatos(o.aDatos),
      aBuffer(o.aBuffer),
      aDefault(o.aDefault),
      aFields(o.aFields),
      bSetFilter(o.bSetFilter),
      nRecNo(o.nRecNo),
      lBof(o.lBof),
      lCheckMayuscula(o.lCheckMayuscula),
      lEof(o.lEof) {
    deepen();
}

TArray& TArray::operator=(const TArray& o) {
    if (this != &o) {
        TArray copy(o);
        *this = std::move(copy);
    }
    return *this;
}

// After a member-wise copy: every list and nested table gets its own copy. A nested table held
// in more than one place (the buffer and its row) stays shared among those places in the copy.
void TArray::deepen() {
    std::unordered_map<const TArray*, TArrayPtr> copies;
    auto own = [&](FieldValue& v) {
        if (v.isTable()) {
            auto it = copies.find(v.table().get());
            if (it == copies.end()) it = copies.emplace(v.table().get(), v.table()->clone()).first;
            v = FieldValue(it->second);
        } else if (v.isArray()) {
            v = FieldValue(cloneValue(v));
        }
    };
    for (Row& r : aDatos)
        for (FieldValue& v : r) own(v);
    for (FieldValue& v : aBuffer) own(v);
    for (FieldValue& v : aDefault) own(v);
}

bool TArray::addField(std::string_view name, FieldValue initial, FieldValue defaultValue) {
    // Field n lives at buffer and default position n, whatever was done to them before.
    aBuffer.resize(aFields.size());
    aDefault.resize(aFields.size());
    aFields.push_back(upperCase(name));
    bool given = initial.isTable() || !initial.isNil();
    // The buffer gets its own copy of the default, so that editing it leaves the default alone.
    aBuffer.push_back(given ? std::move(initial) : deepCopy(defaultValue));
    aDefault.push_back(std::move(defaultValue));
    return true;
}

// --- Buffer

void TArray::clampRecNo() {
    if (!aDatos.empty()) nRecNo = std::clamp(nRecNo, 1L, lastRec());
}

// Rows stored before fields were added are shorter than the buffer: the new positions take the
// empty value of what the buffer holds there.
void TArray::padRow(Row& row) const {
    while (row.size() < aBuffer.size()) {
        size_t i = row.size();
        row.push_back(valorVacio(aBuffer[i], long(i) + 1));
    }
}

const FieldValue& TArray::cell(size_t row, size_t field) {
    Row& r = aDatos[row];
    padRow(r);
    return field < r.size() ? r[field] : kNil;
}

bool TArray::load() {
    if (aDatos.empty()) return blank();
    clampRecNo();
    Row& r = aDatos[size_t(nRecNo - 1)];
    padRow(r);
    aBuffer = copyRow(r);
    return true;
}

bool TArray::save() {
    // Past the end (after goTo(0) or a failed seek) there is no row to write: the buffer is
    // not allowed to overwrite the last one.
    if (!positioned()) return false;
    aDatos[size_t(nRecNo - 1)] = copyRow(aBuffer);
    return true;
}

bool TArray::blank() {
    for (size_t i = 0; i < aBuffer.size(); ++i) aBuffer[i] = valorVacio(aBuffer[i], long(i) + 1);
    return true;
}

FieldValue TArray::valorVacio(const FieldValue& v, long pos, const Row& defaults) {
    if (pos >= 1 && size_t(pos) <= defaults.size()) {
        const FieldValue& d = defaults[size_t(pos - 1)];
        if (d.isTable() || !d.isNil()) return deepCopy(d);
    }
    if (v.isTable()) {
        // Same fields, defaults and filter; no rows.
        const TArray& src = *v.table();
        auto t = std::make_shared<TArray>();
        t->aFields = src.aFields;
        for (const FieldValue& d : src.aDefault) t->aDefault.push_back(deepCopy(d));
        t->aBuffer = src.aBuffer;
        t->bSetFilter = src.bSetFilter;
        t->lCheckMayuscula = src.lCheckMayuscula;
        t->zap();
        return FieldValue(std::move(t));
    }
    return FieldValue(emptyByType(v));
}

// --- Navigation

long TArray::skip(long n) {
    long moved = 0;
    if (!aDatos.empty() && n != 0) {
        if (bSetFilter) {
            moved = skipFilter(n);
        } else {
            clampRecNo();
            moved = n > 0 ? std::min(n, lastRec() - nRecNo) : std::max(n, 1 - nRecNo);
            if (moved != 0) {
                nRecNo += moved;
                load();
            }
        }
    }
    if (n != 0) {
        if (moved == 0) {
            lEof = n > 0;
            lBof = n < 0;
        } else {
            lEof = lBof = false;
        }
    }
    return moved;
}

bool TArray::goTop() {
    goTo(1);
    if (bSetFilter && !aDatos.empty() && !bSetFilter(*this)) {
        // No row passes: the table is empty as the filter sees it. Staying on row 1 with the
        // flags clear would let a loop process a row the filter refuses.
        if (skipFilter(1) == 0) lBof = lEof = true;
    }
    return true;
}

bool TArray::goTo(long n) {
    long rows = lastRec();
    if (n == 0) {
        nRecNo = rows + 1;
        lEof = true;
        lBof = rows == 0;
        return blank();
    }
    n = std::min(n, rows);
    if (rows > 0) {
        nRecNo = n;
        load();
        lBof = lEof = false;
    } else {
        blank();
    }
    return true;
}

bool TArray::goBottom() {
    goTo(lastRec());
    if (bSetFilter && !aDatos.empty() && !bSetFilter(*this)) {
        if (skip(-1) == 0) lBof = lEof = true;
    }
    return true;
}

long TArray::skipFilter(long n) {
    long last = nRecNo;
    Condition filter = std::move(bSetFilter);
    bSetFilter = nullptr;
    long step = n > 0 ? 1 : -1;
    long want = n > 0 ? n : (n == LONG_MIN ? LONG_MAX : -n);
    long moved = 0;
    while (moved * step < want) {
        skip(step);
        if (bof() || eof()) {
            goTo(last);
            break;
        }
        if (!filter || filter(*this)) {
            last = nRecNo;
            moved += step;
        }
    }
    bSetFilter = std::move(filter);
    return moved;
}

bool TArray::setFilter(Condition filter) {
    bSetFilter = std::move(filter);
    return true;
}

// --- Rows

bool TArray::append(long pos) {
    Row row;
    row.reserve(aBuffer.size());
    for (size_t i = 0; i < aBuffer.size(); ++i)
        row.push_back(valorVacio(aBuffer[i], long(i) + 1));
    if (!aDatos.empty() && pos >= 1) {
        pos = std::min(pos, lastRec());
        aDatos.insert(aDatos.begin() + (pos - 1), std::move(row));
        nRecNo = pos;
    } else {
        aDatos.push_back(std::move(row));
        nRecNo = lastRec();
    }
    aBuffer = copyRow(aDatos[size_t(nRecNo - 1)]);
    lBof = lEof = false;
    return true;
}

// Whether a nested table is already held by another row or by the defaults.
bool TArray::heldByOthers(const TArray* t, size_t exceptRow) const {
    for (size_t r = 0; r < aDatos.size(); ++r) {
        if (r == exceptRow) continue;
        for (const FieldValue& v : aDatos[r])
            if (v.table().get() == t) return true;
    }
    for (const FieldValue& v : aDefault)
        if (v.table().get() == t) return true;
    return false;
}

bool TArray::add(long pos) {
    Row kept = aBuffer;
    append(pos);
    aBuffer = std::move(kept);
    // A nested table belongs to one row: when the buffer still holds another row's (it was
    // loaded from it), the new row gets its own copy instead of sharing it.
    for (FieldValue& v : aBuffer)
        if (v.isTable() && heldByOthers(v.table().get(), size_t(nRecNo - 1)))
            v = FieldValue(v.table()->clone());
    return save();
}

bool TArray::deleteRow(std::optional<long> row) {
    long n = row ? *row : nRecNo;
    // Only a row of the table: clamping a wrong number would remove a row nobody asked for.
    if (n < 1 || n > lastRec()) return false;
    aDatos.erase(aDatos.begin() + (n - 1));
    nRecNo = std::min(n, lastRec());
    load();
    return true;
}

bool TArray::zap() {
    nRecNo = 0;
    aDatos.clear();
    return blank();
}

// --- Sorting and searching

bool TArray::sort(int field, bool ascending, long start, std::optional<long> count) {
    if (field < 1 || size_t(field) > aFields.size()) return false;
    if (aDatos.empty()) return true;
    size_t f = size_t(field - 1);
    long rows = lastRec();
    long first = std::max(start, 1L);
    if (first > rows) return true;
    long n = count ? std::clamp(*count, 0L, rows - first + 1) : rows - first + 1;

    std::optional<FieldValue> current;
    if (positioned()) current = cell(size_t(nRecNo - 1), f);
    for (long i = first - 1; i < first - 1 + n; ++i) padRow(aDatos[size_t(i)]);

    auto key = [f](const Row& r) -> const FieldValue& { return f < r.size() ? r[f] : kNil; };
    auto begin = aDatos.begin() + (first - 1);
    if (ascending)
        std::sort(begin, begin + n,
                  [&](const Row& a, const Row& b) { return compareValues(key(a), key(b)) < 0; });
    else
        std::sort(begin, begin + n,
                  [&](const Row& a, const Row& b) { return compareValues(key(a), key(b)) > 0; });

    if (current) {
        for (size_t i = 0; i < aDatos.size(); ++i) {
            if (cell(i, f) == *current) {
                nRecNo = long(i) + 1;
                break;
            }
        }
    }
    return true;
}

bool TArray::sort(std::string_view field, bool ascending, long start, std::optional<long> count) {
    return sort(fieldPos(field), ascending, start, count);
}

bool TArray::seek(std::string_view value, int field, bool prefix) {
    if (field >= 1 && size_t(field) <= aFields.size()) {
        size_t f = size_t(field - 1);
        for (size_t i = 0; i < aDatos.size(); ++i) {
            const FieldValue& v = cell(i, f);
            if (v.isTable() || !v.isText()) continue;
            std::string_view t = trimBlanks(v.text());
            if (prefix ? !t.starts_with(value) : t != value) continue;
            goTo(long(i) + 1);
            if (passes()) return true;
        }
    }
    goTo(0);
    return false;
}

bool TArray::seek(std::string_view value, std::string_view field, bool prefix) {
    return seek(value, fieldPos(field), prefix);
}

// --- Fields

std::string TArray::fieldName(int pos) const {
    if (pos < 1 || size_t(pos) > aFields.size()) return {};
    return aFields[size_t(pos - 1)];
}

int TArray::fieldPos(std::string_view name) const {
    std::string n = upperCase(trimBlanks(name));
    if (n.empty()) return 0;  // a blank name is not the first field
    for (size_t i = 0; i < aFields.size(); ++i)
        if (upperCase(aFields[i]).starts_with(n)) return int(i) + 1;
    return 0;
}

FieldValue TArray::fieldGet(int pos) {
    if (pos < 1) return {};
    size_t p = size_t(pos - 1);
    if (!positioned()) return p < aDefault.size() ? aDefault[p] : FieldValue();
    return cell(size_t(nRecNo - 1), p);
}

FieldValue TArray::fieldPut(int pos, const FieldValue& v) {
    if (pos < 1 || !positioned()) return {};
    Row& r = aDatos[size_t(nRecNo - 1)];
    padRow(r);
    if (size_t(pos) > r.size()) return {};
    r[size_t(pos - 1)] = v;
    return v;
}

bool TArray::aEval(const std::function<void(const FieldValue&, int)>& block, int start,
                   std::optional<int> count) const {
    long first = std::max(start, 1);
    long last = long(aBuffer.size());
    if (count) last = std::min(last, first + long(std::max(*count, 0)) - 1);
    for (long i = first; i <= last; ++i) block(aBuffer[size_t(i - 1)], int(i));
    return true;
}

// --- Evaluation over rows

void TArray::dbEval(const Block& block, const Condition& forCond, const Condition& whileCond,
                    std::optional<long> count, std::optional<long> row, bool rest) {
    long left = count ? *count : lastRec();
    bool single = row.has_value();
    if (single)
        goTo(*row);
    else if (!count || rest)
        goTop();
    else
        load();
    while (--left >= 0 && !eof() && (!whileCond || whileCond(*this))) {
        if ((!forCond || forCond(*this)) && passes()) block(*this);
        if (single) {
            skip(0);
            break;
        }
        skip(1);
    }
}

Array TArray::field2Array(std::string_view field) {
    Array out;
    int f = fieldPos(field);
    if (f == 0) return out;
    dbEval([&](TArray& t) {
        size_t p = size_t(f - 1);
        out.push_back(p < t.aBuffer.size() ? cloneValue(t.aBuffer[p]) : Value());
    });
    return out;
}

Array TArray::field2Array(const std::vector<std::string>& fields) {
    Array out;
    for (const std::string& f : fields) out.push_back(Value(field2Array(f)));
    return out;
}

// --- Field order and shape

bool TArray::sortFields(bool descending) {
    size_t nf = aFields.size();
    std::vector<size_t> idx(nf);
    std::iota(idx.begin(), idx.end(), size_t(0));
    std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
        return descending ? aFields[a] > aFields[b] : aFields[a] < aFields[b];
    });
    // Every row is reordered, whatever the filter says: a row left in the old order would put
    // its values under the wrong names.
    for (Row& r : aDatos) {
        padRow(r);
        permute(r, idx);
    }
    permute(aBuffer, idx);
    permute(aDefault, idx);
    std::vector<std::string> names(nf);
    for (size_t i = 0; i < nf; ++i) names[i] = std::move(aFields[idx[i]]);
    aFields = std::move(names);
    return true;
}

bool TArray::dbSortField(std::string_view field, bool descending) {
    int f = fieldPos(field);
    if (f == 0) return false;
    size_t p = size_t(f - 1);
    dbEval([&](TArray& t) {
        if (p < t.aBuffer.size() && t.aBuffer[p].isTable())
            t.aBuffer[p].table()->sortFields(descending);
    });
    return true;
}

bool TArray::dbResize(std::string_view field, std::optional<long> templateRow) {
    int f = fieldPos(field);
    if (f == 0) return false;
    size_t p = size_t(f - 1);
    goTo(templateRow ? *templateRow : lastRec());
    FieldValue tmpl = p < aBuffer.size() ? aBuffer[p] : FieldValue();

    if (tmpl.isTable()) {
        const TArray& t = *tmpl.table();
        std::vector<std::string> names = t.aFields;
        Row defaults = t.aDefault;
        Row emptied;
        for (size_t i = 0; i < t.aBuffer.size(); ++i)
            emptied.push_back(valorVacio(t.aBuffer[i], long(i) + 1, t.aDefault));
        dbEval([&](TArray& outer) {
            if (p >= outer.aBuffer.size() || !outer.aBuffer[p].isTable()) return;
            TArray& n = *outer.aBuffer[p].table();
            n.aFields = names;
            n.aDefault.clear();
            for (const FieldValue& d : defaults) n.aDefault.push_back(deepCopy(d));
            while (n.aBuffer.size() < emptied.size())
                n.aBuffer.push_back(deepCopy(emptied[n.aBuffer.size()]));
            n.save();
        });
    } else if (tmpl.isArray()) {
        // New elements take the empty value of the template's element at their position.
        Array shape = tmpl.array();
        dbEval([&](TArray& outer) {
            if (p >= outer.aBuffer.size() || outer.aBuffer[p].isTable() ||
                !outer.aBuffer[p].isArray())
                return;
            Array a = outer.aBuffer[p].array();
            size_t had = a.size();
            a.resize(shape.size());
            for (size_t i = had; i < shape.size(); ++i) a[i] = emptyByType(shape[i]);
            outer.aBuffer[p] = FieldValue(Value(std::move(a)));
            outer.save();
        });
    }
    return goTop();
}

// --- By-name access

long TArray::findField(std::string_view name, bool assign) {
    if (lCheckMayuscula) {
        for (std::string& f : aFields) f = upperCase(f);
        lCheckMayuscula = false;
    }
    for (size_t i = 0; i < aFields.size(); ++i) {
        std::string_view f = aFields[i];
        if (assign) f = f.substr(0, 9);  // assignments see nine characters of a name
        if (f == name) return long(i);
    }
    return -1;
}

// Raises the missing-field error; true when the handler asks to try again.
bool TArray::retryMissing(const std::string& name, bool assign, const FieldValue* v) {
    Error e;
    e.genCode = tarrayerr::kGenCode;
    e.subSystem = "TArray";
    e.subCode = assign ? tarrayerr::kAssign : tarrayerr::kRead;
    e.description = "CLASE TArray Campo " + name + " Inexistente.";
    e.operation = name;
    if (v && !v->isTable()) e.args = Array{Value(*v)};
    e.canDefault = true;
    return raiseError(e) == ErrorChoice::Retry;
}

FieldValue TArray::get(std::string_view name) {
    std::string n = upperCase(name);
    do {
        long i = findField(n, false);
        if (i >= 0) return size_t(i) < aBuffer.size() ? aBuffer[size_t(i)] : FieldValue();
    } while (retryMissing(n, false, nullptr));
    return {};
}

FieldValue TArray::set(std::string_view name, FieldValue v) {
    std::string n = upperCase(name);
    do {
        long i = findField(n, true);
        if (i >= 0) {
            if (aBuffer.size() < aFields.size()) aBuffer.resize(aFields.size());
            aBuffer[size_t(i)] = v;
            return v;
        }
    } while (retryMissing(n, true, &v));
    return {};
}

// --- Declaration facility

namespace {

struct Declaration {
    explicit Declaration(TArrayPtr t) : table(std::move(t)) {}
    TArrayPtr table;
    int area = 0;            // the work area the fields came from, 0 when none
    size_t tableFields = 0;  // how many of the fields are the table's own
    std::vector<size_t> columns;  // the table's field numbers, in order
};

std::vector<Declaration>& declarations() {
    static std::vector<Declaration> s;
    return s;
}

TArrayPtr open(Declaration d) {
    auto& s = declarations();
    if (!s.empty()) {
        TArray& outer = *s.back().table;
        if (!outer.aFields.empty()) {
            if (outer.aBuffer.size() < outer.aFields.size()) outer.aBuffer.resize(outer.aFields.size());
            outer.aBuffer[outer.aFields.size() - 1] = FieldValue(d.table);
        }
    }
    TArrayPtr t = d.table;
    s.push_back(std::move(d));
    return t;
}

}  // namespace

TArrayPtr structNew() { return open(Declaration(TArray::create())); }

TArrayPtr structNew(int area) {
    Declaration d(TArray::create());
    if (WorkArea* wa = workspace().area(area)) {
        DbfTable& tb = wa->table();
        for (size_t i = 0; i < tb.fieldCount(); ++i) {
            if (tb.field(i).flags & 0x01) continue;  // system fields are not the table's data
            d.table->addField(tb.field(i).name);
            d.columns.push_back(i);
        }
        d.area = area != 0 ? area : workspace().current();
        d.tableFields = d.columns.size();
    }
    return open(std::move(d));
}

TArrayPtr structNew(std::string_view alias) {
    int n = workspace().areaOf(std::string(alias));
    return n ? structNew(n) : structNew();
}

TArrayPtr structNew(std::vector<TArray::Row> rows) {
    Declaration d(TArray::create());
    d.table->aDatos = std::move(rows);
    return open(std::move(d));
}

bool structField(std::string_view name, FieldValue initial, FieldValue defaultValue) {
    auto& s = declarations();
    if (s.empty()) return false;
    return s.back().table->addField(name, std::move(initial), std::move(defaultValue));
}

TArrayPtr structEnd() {
    auto& s = declarations();
    if (s.empty()) return nullptr;
    Declaration d = std::move(s.back());
    s.pop_back();
    if (d.area == 0) return d.table;

    TArray& t = *d.table;
    if (WorkArea* wa = workspace().area(d.area)) {
        DbfTable& tb = wa->table();
        bool ok = wa->goTop();
        while (ok && !wa->eof()) {
            TArray::Row row;
            row.reserve(t.aFields.size());
            for (size_t c : d.columns) row.push_back(FieldValue(tb.get(c)));
            // The declared fields after the table's own take their defaults, each row its own copy.
            for (size_t k = d.tableFields; k < t.aFields.size(); ++k)
                row.push_back(k < t.aDefault.size() ? deepCopy(t.aDefault[k]) : FieldValue());
            t.aDatos.push_back(std::move(row));
            ok = wa->skip(1);
        }
    }
    t.goTop();
    return d.table;
}

}  // namespace wv
