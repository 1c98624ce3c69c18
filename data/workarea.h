// Work areas: the numbered slots (1-255) that hold the open tables under their aliases, each with
// its structural index and its controlling order, and the current area that unqualified commands
// act on. Navigation goes through the controlling order when there is one, in record order
// otherwise, and passes over deleted records while the deleted setting is on.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "runtime/value.h"
#include "storage/cdx.h"
#include "storage/dbf.h"
#include "storage/swap.h"

namespace wv {

class WorkArea {
public:
    // DBUSEAREA: opens the table and, when a ".cdx" of its base name lies beside it, its
    // structural index. Null when either could not be opened (the error went to the handler).
    static std::unique_ptr<WorkArea> open(const std::string& path, const std::string& alias,
                                          bool shared, bool readOnly);
    ~WorkArea();

    const std::string& alias() const { return alias_; }
    DbfTable& table() { return *table_; }
    CdxBag* bag() { return bag_.get(); }

    // ORDSETFOCUS by number (0: record order) or tag name; false when there is no such order.
    bool setOrder(int n);
    bool setOrder(const std::string& tagName);
    int order() const { return order_; }
    CdxTag* controllingTag() const;
    std::string orderName() const;

    bool goTop();
    bool goBottom();
    bool skip(long n = 1);
    bool goTo(uint32_t n);
    // DBSEEK: raises 36/1201 without a controlling order. A text key matches keys that begin
    // with it; soft leaves the area on the next key when none matches.
    bool seek(const Value& key, bool soft);
    bool seek(const Value& key) ;

    bool found() const { return table_->found(); }
    bool eof() const { return table_->eof(); }
    bool bof() const { return table_->bof(); }
    uint32_t recNo() const { return table_->recNo(); }
    uint32_t recCount() { return table_->recCount(); }
    bool deleted() { return table_->deleted(); }
    // ORDKEYCOUNT / ORDKEYNO of the controlling order (record count and number without one).
    uint32_t keyCount();
    uint32_t keyNo();

    Value get(const std::string& field) { return table_->get(field); }
    bool put(const std::string& field, const Value& v) { return table_->put(field, v); }

    // ORDCREATE into the structural index (created when the table has none).
    CdxTag* createTag(const CdxBag::TagDef& def,
                      const std::function<bool(uint32_t, uint32_t)>& progress = {},
                      uint32_t every = 0);
    // ORDLISTREBUILD.
    [[nodiscard]] bool reindex(const std::function<bool(uint32_t, uint32_t)>& progress = {},
                               uint32_t every = 0);

    // The table's files written again in one swap, step by step, so that each step can run
    // under its own progress box: pack() (optional) writes the table and its memo file without
    // the records marked deleted, addTag() builds the tags of a new structural index one by one
    // (in order: the first is order 1), commit() puts everything in place at once. Until
    // commit() the old files stand untouched; a step that fails (raised) or is stopped by its
    // progress callback, or a Rebuild dropped without commit(), leaves them as they were.
    // Exclusive use only.
    class Rebuild {
    public:
        ~Rebuild();
        [[nodiscard]] bool pack(const std::function<void(uint32_t, uint32_t)>& progress = {},
                                uint32_t every = 0);
        [[nodiscard]] bool addTag(const CdxBag::TagDef& def,
                                  const std::function<bool(uint32_t, uint32_t)>& progress = {},
                                  uint32_t every = 0);
        [[nodiscard]] bool commit();

    private:
        friend class WorkArea;
        explicit Rebuild(WorkArea& a) : area_(a) {}
        void giveUp();
        WorkArea& area_;
        std::unique_ptr<FileSwap> swap_;
        std::unique_ptr<CdxBag> side_;
        bool packed_ = false;
        bool failed_ = false;
        bool done_ = false;
    };
    // Null (with the error raised) when the table is shared or the swap cannot start.
    std::unique_ptr<Rebuild> beginRebuild();

    // Gives the records whose appends were cut short (their station died before writing their
    // keys) the keys they lack, so that a seek made now finds them; records whose writers are
    // still at work are left to them. False when the index could not be locked (raised).
    [[nodiscard]] bool settleKeys();

    // While it lives, the keys of the records the area writes go to its index together, in one
    // write when it ends (and only then can other stations read the index): fewer lock calls and
    // page writes for a run of appends. Taking it settles the index as settleKeys() does. Take it
    // after the table's append lock, in the order every append takes them. A station that dies
    // before the end leaves appends without keys, which the next writer gives them.
    class KeyBatch {
    public:
        explicit KeyBatch(WorkArea& a);
        ~KeyBatch() { end(); }
        KeyBatch(const KeyBatch&) = delete;
        KeyBatch& operator=(const KeyBatch&) = delete;
        void end();
        // Whether the index is held (or there is none to hold); false when it could not be
        // locked (raised).
        bool held() const { return !failed_; }

    private:
        CdxBag* bag_ = nullptr;
        bool failed_ = false;
    };

    // The key the controlling order gives the current record.
    bool currentKey(std::vector<uint8_t>* out);

private:
    WorkArea() = default;
    bool positionOn(uint32_t rec);
    bool skipDeletedByOrder(bool forward);
    // Puts the order's cursor on the current record; false when the record is not in it (then
    // the cursor stands on the first entry after its key).
    bool syncCursor(CdxTag* t, bool* exact);

    std::string alias_;
    std::unique_ptr<DbfTable> table_;
    std::unique_ptr<CdxBag> bag_;
    int order_ = 0;
};

// The areas of the process: numbered 1-255, with a current one.
class Workspace {
public:
    static constexpr int kMaxAreas = 255;

    // Opens a table in the lowest free area (newArea) or in the current one (closing what was
    // there) and makes that area current. Returns the area number, or 0 on failure. An empty
    // alias takes the file's base name in capitals.
    int use(const std::string& path, const std::string& alias, bool newArea, bool shared,
            bool readOnly);
    // SELECT by number (any 1-255, open or not) or by alias (0 when no area has it).
    int select(int n);
    int select(const std::string& alias);
    // SELECT by alias, answering the area now current; null (nothing selected) when no area has
    // the alias.
    WorkArea* selectArea(const std::string& alias) {
        int n = select(alias);
        return n ? area(n) : nullptr;
    }
    int current() const { return current_; }
    WorkArea* area(int n = 0);  // 0: the current area; null when it is empty
    WorkArea* area(const std::string& alias);
    int areaOf(const std::string& alias) const;
    void closeArea(int n = 0);  // DBCLOSEAREA
    void closeAll();            // DBCLOSEALL

private:
    std::array<std::unique_ptr<WorkArea>, kMaxAreas + 1> areas_;
    int current_ = 1;
};

// The process's work areas.
Workspace& workspace();

}  // namespace wv
