#include "data/workarea.h"

#include <cctype>
#include <cstring>

#include "runtime/codepage.h"
#include "runtime/settings.h"
#include "storage/cdx_expr.h"
#include "storage/driver_error.h"
#include "storage/platform.h"

namespace wv {

namespace {

std::string baseName(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    size_t slash = p.find_last_of('/');
    if (slash != std::string::npos) p = p.substr(slash + 1);
    size_t dot = p.rfind('.');
    if (dot != std::string::npos) p = p.substr(0, dot);
    return p;
}

std::string cdxPathFor(const std::string& table) {
    size_t slash = table.find_last_of('/');
    size_t dot = table.rfind('.');
    std::string base = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                           ? table
                           : table.substr(0, dot);
    return base + ".cdx";
}

}  // namespace

// =============================================================================================
// WorkArea

std::unique_ptr<WorkArea> WorkArea::open(const std::string& path, const std::string& alias,
                                         bool shared, bool readOnly) {
    DbfTable::OpenOptions o;
    o.shared = shared;
    o.readOnly = readOnly;
    auto table = DbfTable::open(path, o);
    if (!table) return nullptr;
    std::unique_ptr<WorkArea> a(new WorkArea);
    a->alias_ = alias.empty() ? upperCase(baseName(path)) : upperCase(alias);
    a->table_ = std::move(table);
    // The structural flag stands only while the structural index is open with the table.
    a->table_->setStructuralIndex(false);
    std::string cdx = cdxPathFor(a->table_->path());
    if (os::fileExists(cdx)) {
        a->bag_ = CdxBag::open(cdx, a->table_.get(), tableExpressionCompiler(*a->table_));
        if (!a->bag_) return nullptr;
        a->table_->setObserver(a->bag_.get());
        a->table_->setStructuralIndex(true);
    }
    return a;
}

WorkArea::~WorkArea() {
    if (table_) table_->close();
    if (table_) table_->setObserver(nullptr);
    bag_.reset();
}

CdxTag* WorkArea::controllingTag() const {
    if (!bag_ || order_ <= 0 || size_t(order_) > bag_->tags().size()) return nullptr;
    return bag_->tags()[size_t(order_ - 1)];
}

std::string WorkArea::orderName() const {
    CdxTag* t = controllingTag();
    return t ? t->name() : std::string();
}

bool WorkArea::setOrder(int n) {
    if (n == 0 || (bag_ && n > 0 && size_t(n) <= bag_->tags().size())) {
        order_ = n;
        return true;
    }
    return false;
}

bool WorkArea::setOrder(const std::string& name) {
    int n = bag_ ? bag_->tagNumber(name) : 0;
    if (!n) return false;
    order_ = n;
    return true;
}

bool WorkArea::currentKey(std::vector<uint8_t>* out) {
    CdxTag* t = controllingTag();
    if (!t || !t->expressions() || table_->eof()) return false;
    const char* rec = table_->recordBuffer();
    if (!rec) return false;
    out->resize(size_t(t->keyLength()));
    return t->expressions()->key(rec, table_->recNo(), out->data());
}

bool WorkArea::positionOn(uint32_t rec) {
    return rec ? table_->goTo(rec) : table_->goEof();
}

// Moves on along the order while the record is deleted (deleted setting on).
bool WorkArea::skipDeletedByOrder(bool forward) {
    if (!settings().deleted) return true;
    CdxTag* t = controllingTag();
    while (!table_->eof() && table_->deleted()) {
        uint32_t r = forward ? t->next() : t->prev();
        if (!r) {
            if (forward) return positionOn(0);
            // Nothing visible before: the first visible record, with BOF.
            if (!goTop()) return false;
            table_->setBof(true);
            return true;
        }
        if (!positionOn(r)) return false;
    }
    return true;
}

bool WorkArea::goTop() {
    CdxTag* t = controllingTag();
    if (!t) return table_->goTop();
    uint32_t r = t->first();
    if (!positionOn(r) || !skipDeletedByOrder(true)) return false;
    if (table_->eof()) table_->setBof(true);
    return true;
}

bool WorkArea::goBottom() {
    CdxTag* t = controllingTag();
    if (!t) return table_->goBottom();
    uint32_t r = t->last();
    if (!positionOn(r)) return false;
    if (settings().deleted) {
        while (!table_->eof() && table_->deleted()) {
            r = t->prev();
            if (!r) return positionOn(0);
            if (!positionOn(r)) return false;
        }
    }
    return true;
}

bool WorkArea::goTo(uint32_t n) { return table_->goTo(n); }

bool WorkArea::syncCursor(CdxTag* t, bool* exact) {
    std::vector<uint8_t> key;
    *exact = false;
    // The cursor's own entry for this record, while the tag still has it, is where the step
    // starts, even when the record's key has changed since (another workstation wrote the
    // record and has not yet written its keys): moving from it keeps a walk going one way.
    if (t->positioned() && t->current().rec == table_->recNo()) {
        std::vector<uint8_t> own = t->current().key;
        if (t->locate(own.data(), table_->recNo())) {
            *exact = true;
            return true;
        }
    }
    if (!currentKey(&key)) return false;
    if (t->locate(key.data(), table_->recNo())) {
        *exact = true;
        return true;
    }
    bool found;
    t->seek(key.data(), key.size(), true, &found);
    return true;
}

bool WorkArea::skip(long n) {
    CdxTag* t = controllingTag();
    if (!t) return table_->skip(n);
    if (n == 0) return table_->skip(0);
    bool forward = n > 0;
    long steps = forward ? n : -n;
    for (long i = 0; i < steps; ++i) {
        uint32_t r;
        if (table_->eof()) {
            if (forward) return true;
            r = t->last();
            if (!positionOn(r)) return false;
            if (settings().deleted && !skipDeletedByOrder(false)) return false;
            continue;
        }
        bool exact = false;
        if (!syncCursor(t, &exact)) return false;
        if (exact) {
            r = forward ? t->next() : t->prev();
        } else {
            // The record is not in the order: the entry after its key comes next.
            r = t->positioned() ? t->current().rec : 0;
            if (!forward) r = r ? t->prev() : t->last();
        }
        if (!r) {
            if (forward) return positionOn(0);
            // Before the first: stay on the first record with BOF.
            if (!goTop()) return false;
            table_->setBof(true);
            return true;
        }
        if (!positionOn(r) || !skipDeletedByOrder(forward)) return false;
        if (table_->bof() || table_->eof()) return true;
    }
    return true;
}

bool WorkArea::seek(const Value& key) { return seek(key, settings().softSeek); }

bool WorkArea::seek(const Value& key, bool soft) {
    CdxTag* t = controllingTag();
    if (!t) {
        Error e;
        e.genCode = gen::kNoOrder;
        e.subCode = 1201;
        e.subSystem = "DBFCDX";
        e.description = "Area de trabajo no indexada";
        e.operation = "DBSEEK";
        raiseError(e);
        return false;
    }
    if (!table_->writeBack()) return false;
    std::vector<uint8_t> k(size_t(t->keyLength()));
    size_t len = k.size();
    if (t->keyType() == 'C') {
        if (!key.isText()) {
            table_->setFound(false);
            positionOn(0);
            return false;
        }
        len = std::min(key.text().size(), k.size());
        std::memcpy(k.data(), key.text().data(), len);
    } else {
        encodeKey(key, t->keyType(), t->keyLength(), k.data());
    }
    bool found = false;
    uint32_t r = t->seek(k.data(), len, soft, &found);
    if (!positionOn(r)) return false;
    if (settings().deleted && !table_->eof() && table_->deleted()) {
        if (!skipDeletedByOrder(true)) return false;
        found = !table_->eof() && t->positioned() &&
                std::memcmp(t->current().key.data(), k.data(), len) == 0;
        if (!found && !soft) positionOn(0);
    }
    table_->setFound(found);
    return found;
}

WorkArea::KeyBatch::KeyBatch(WorkArea& a) {
    if (!a.bag_ || !a.table_->shared()) return;
    if (a.bag_->lockWrite())
        bag_ = a.bag_.get();
    else
        failed_ = true;
}

void WorkArea::KeyBatch::end() {
    if (bag_) bag_->unlockWrite();
    bag_ = nullptr;
}

bool WorkArea::settleKeys() {
    // Taking the index's write lock is what settles them.
    return KeyBatch(*this).held();
}

uint32_t WorkArea::keyCount() {
    CdxTag* t = controllingTag();
    return t ? t->keyCount() : table_->recCount();
}

uint32_t WorkArea::keyNo() {
    CdxTag* t = controllingTag();
    if (!t) return table_->eof() ? 0 : table_->recNo();
    if (table_->eof()) return 0;
    bool exact = false;
    if (!syncCursor(t, &exact) || !exact) return 0;
    return t->keyNo();
}

CdxTag* WorkArea::createTag(const CdxBag::TagDef& def,
                            const std::function<bool(uint32_t, uint32_t)>& progress,
                            uint32_t every) {
    if (!table_->flush()) return nullptr;
    if (!bag_) {
        bag_ = CdxBag::create(cdxPathFor(table_->path()), table_.get(),
                              tableExpressionCompiler(*table_));
        if (!bag_) return nullptr;
        table_->setObserver(bag_.get());
        table_->setStructuralIndex(true);
        table_->requestHeaderWrite();
        table_->flush();
    }
    std::string current = orderName();
    CdxTag* t = bag_->createTag(def, progress, every);
    if (!current.empty()) setOrder(current);
    if (!t && bag_->tags().empty() && !table_->shared()) {
        // A structural index made for this tag alone goes again when the tag could not be made.
        std::string path = bag_->path();
        table_->setObserver(nullptr);
        bag_.reset();
        os::removeFile(path);
        table_->setStructuralIndex(false);
        table_->requestHeaderWrite();
        table_->flush();
        order_ = 0;
    }
    return t;
}

// ---------------------------------------------------------------------------------------------
// Rebuild

std::unique_ptr<WorkArea::Rebuild> WorkArea::beginRebuild() {
    if (table_->shared()) {
        raiseDriverError(gen::kShared, 1023, "Se requiere uso exclusivo", false, false, 0,
                         table_->path());
        return nullptr;
    }
    if (!table_->flush()) return nullptr;
    std::string why;
    auto swap = FileSwap::begin(table_->path(), &why);
    if (!swap) {
        raiseDriverError(gen::kCreate, 1004, "Error de creación", false, false, 0,
                         table_->path(), why);
        return nullptr;
    }
    std::unique_ptr<Rebuild> r(new Rebuild(*this));
    r->swap_ = std::move(swap);
    return r;
}

WorkArea::Rebuild::~Rebuild() {
    if (!done_) giveUp();
}

void WorkArea::Rebuild::giveUp() {
    if (packed_) area_.table_->rewriteDone(false);
    packed_ = false;
    side_.reset();
    if (swap_) swap_->abort();
    failed_ = done_ = true;
}

bool WorkArea::Rebuild::pack(const std::function<void(uint32_t, uint32_t)>& progress,
                             uint32_t every) {
    if (failed_ || done_ || packed_ || side_) return false;
    if (!area_.table_->rewriteInto(*swap_, true, progress, every)) {
        giveUp();
        return false;
    }
    packed_ = true;
    return true;
}

bool WorkArea::Rebuild::addTag(const CdxBag::TagDef& def,
                               const std::function<bool(uint32_t, uint32_t)>& progress,
                               uint32_t every) {
    if (failed_ || done_) return false;
    DbfTable* t = area_.table_.get();
    if (!side_) side_ = CdxBag::createSide(*swap_, os::resolvePath(cdxPathFor(t->path())), t,
                                           tableExpressionCompiler(*t));
    if (!side_ || !side_->createTag(def, progress, every)) {
        giveUp();
        return false;
    }
    return true;
}

bool WorkArea::Rebuild::commit() {
    if (failed_ || done_) return false;
    DbfTable& t = *area_.table_;
    // The index made again for the packed table would drop tags that could not be loaded.
    if (!side_ && packed_ && area_.bag_ && area_.bag_->refuseDamaged()) {
        giveUp();
        return false;
    }
    // A pack without new tags keeps the index it had, made again for the packed table.
    if (!side_ && packed_ && area_.bag_) {
        side_ = area_.bag_->buildSide(*swap_, area_.bag_->definitions(), {}, 0);
        if (!side_) {
            giveUp();
            return false;
        }
    }
    if (side_ && !side_->finishSide()) {
        giveUp();
        return false;
    }
    std::string why;
    bool renamed = false;
    bool ok = swap_->commit(&why, &renamed);
    if (!ok && !renamed) {
        raiseDriverError(gen::kWrite, 1011, "Error de escritura", false, false, 0, t.path(), why);
        giveUp();
        return false;
    }
    done_ = true;
    if (packed_) t.rewriteDone(true);
    packed_ = false;
    if (side_) {
        std::string cdx = os::resolvePath(cdxPathFor(t.path()));
        if (area_.bag_) {
            ok = area_.bag_->adopt(std::move(side_), cdx) && ok;
        } else {
            area_.bag_ = std::move(side_);
            ok = area_.bag_->adopt(nullptr, cdx) && ok;
            t.setObserver(area_.bag_.get());
            t.setStructuralIndex(true);
            t.requestHeaderWrite();
            ok = t.flush() && ok;
        }
    }
    if (!ok && !why.empty())
        raiseDriverError(gen::kWrite, 1011, "Error de escritura", false, false, 0, t.path(), why);
    area_.order_ = area_.bag_ && !area_.bag_->tags().empty() ? 1 : 0;
    t.goTop();
    return ok;
}

bool WorkArea::reindex(const std::function<bool(uint32_t, uint32_t)>& progress, uint32_t every) {
    if (!bag_) return true;
    if (!table_->flush()) return false;
    return bag_->rebuild(progress, every);
}

// =============================================================================================
// Workspace

Workspace& workspace() {
    static Workspace w;
    return w;
}

int Workspace::use(const std::string& path, const std::string& alias, bool newArea, bool shared,
                   bool readOnly) {
    int n = current_;
    if (newArea) {
        n = 0;
        for (int i = 1; i <= kMaxAreas; ++i)
            if (!areas_[size_t(i)]) {
                n = i;
                break;
            }
        if (!n) return 0;
    } else {
        areas_[size_t(n)].reset();
    }
    current_ = n;
    auto a = WorkArea::open(path, alias, shared, readOnly);
    if (!a) return 0;
    areas_[size_t(n)] = std::move(a);
    return n;
}

int Workspace::select(int n) {
    if (n >= 1 && n <= kMaxAreas) current_ = n;
    return current_;
}

int Workspace::select(const std::string& alias) {
    int n = areaOf(alias);
    if (n) current_ = n;
    return n;
}

int Workspace::areaOf(const std::string& alias) const {
    std::string a = upperCase(alias);
    for (int i = 1; i <= kMaxAreas; ++i)
        if (areas_[size_t(i)] && areas_[size_t(i)]->alias() == a) return i;
    return 0;
}

WorkArea* Workspace::area(int n) {
    if (n == 0) n = current_;
    if (n < 1 || n > kMaxAreas) return nullptr;
    return areas_[size_t(n)].get();
}

WorkArea* Workspace::area(const std::string& alias) {
    int n = areaOf(alias);
    return n ? areas_[size_t(n)].get() : nullptr;
}

void Workspace::closeArea(int n) {
    if (n == 0) n = current_;
    if (n >= 1 && n <= kMaxAreas) areas_[size_t(n)].reset();
}

void Workspace::closeAll() {
    for (auto& a : areas_) a.reset();
    current_ = 1;
}

}  // namespace wv
