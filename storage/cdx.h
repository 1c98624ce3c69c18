// Compound index files (CDX): several named orders (tags) in one file, each a B+tree of keys in
// 512-byte pages, plus a directory tag that maps tag names to tag headers. Workstations share a
// file through a read/write lock byte and a change counter at offset 8: every lock is followed by
// a look at the counter, and cached pages are dropped when another workstation changed the file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "storage/cdx_page.h"
#include "storage/dbf.h"
#include "storage/platform.h"
#include "storage/swap.h"

namespace wv {

// A tag's key and FOR expressions bound to a table. The key of a record is written into a buffer
// of the tag's key length, already encoded (see encodeKey).
class TagExpressions {
public:
    virtual ~TagExpressions() = default;
    // 'C', 'N', 'D' or 'L': the type of the key on the blank record.
    virtual char keyType() const = 0;
    // The length the key has on the blank record (8 for numbers and dates, 1 for logicals).
    virtual int keyLength() const = 0;
    virtual bool hasFor() const = 0;
    // The record is given as raw bytes (deletion flag first) with its number.
    virtual bool key(const char* record, uint32_t recno, uint8_t* out) = 0;
    virtual bool forHolds(const char* record, uint32_t recno) = 0;
};

// Compiles a tag's expressions against the bag's table; null with *error when they are not valid
// expressions for it.
using ExpressionCompiler = std::function<std::unique_ptr<TagExpressions>(
    const std::string& keyExpr, const std::string& forExpr, std::string* error)>;

// Key encodings: numbers as big-endian doubles with the sign bit flipped (negatives inverted),
// dates as their day number encoded as a number, logicals as T/F, texts padded with blanks.
void encodeNumberKey(double v, uint8_t* out);
double decodeNumberKey(const uint8_t* in);

class CdxBag;

// Where a tag's cursor stands: the entry's key and record, and a hint to find it fast.
struct CdxEntry {
    std::vector<uint8_t> key;
    uint32_t rec = 0;
};

class CdxTag {
public:
    static constexpr uint8_t kUnique = 0x01;
    static constexpr uint8_t kCustom = 0x04;
    static constexpr uint8_t kFor = 0x08;

    const std::string& name() const { return name_; }
    const std::string& keyExpr() const { return keyExpr_; }
    const std::string& forExpr() const { return forExpr_; }
    int keyLength() const { return keyLen_; }
    uint8_t options() const { return options_; }
    bool unique() const { return options_ & kUnique; }
    bool custom() const { return options_ & kCustom; }
    // Whether record changes update the tag (not custom, and its expressions fit the table).
    bool maintained() const { return !custom() && expr_; }
    bool descending() const { return descending_; }
    char keyType() const { return keyType_; }
    uint8_t padByte() const { return keyType_ == 'C' ? ' ' : 0; }
    uint32_t headerOffset() const { return headerOff_; }
    CdxBag& bag() { return *bag_; }
    TagExpressions* expressions() { return expr_.get(); }

    // Cursor moves in the tag's order (reversed for a descending tag). Each returns the record
    // number of the entry reached, or 0 past either end.
    uint32_t first();
    uint32_t last();
    uint32_t next();
    uint32_t prev();
    // Finds the first entry in order whose key begins with the len bytes given; with soft, the
    // entry that follows when none does. Returns its record (0: none) and whether it matched.
    uint32_t seek(const uint8_t* key, size_t len, bool soft, bool* found);
    // Whether the tag holds the entry (key, rec); the cursor stays where it is.
    bool has(const uint8_t* key, uint32_t rec);
    // Puts the cursor on the entry (key, rec); false when the tag has no such entry.
    bool locate(const uint8_t* key, uint32_t rec);
    const CdxEntry& current() const { return cur_; }
    bool positioned() const { return cur_.rec != 0; }

    // ORDKEYCOUNT and ORDKEYNO (of the cursor's entry; 0 when it has none).
    uint32_t keyCount();
    uint32_t keyNo();

    // Visits every entry in physical (ascending) order or backwards; false when the index could
    // not be read (the failure was raised).
    bool forEach(const std::function<bool(const uint8_t* key, uint32_t rec)>& f,
                 bool backwards = false);

    // Inserts and deletes one entry (the caller holds the write lock).
    void insertKey(const uint8_t* key, uint32_t rec);
    bool deleteKey(const uint8_t* key, uint32_t rec);

private:
    friend class CdxBag;
    struct PathStep {
        cdx::Page* page;
        size_t idx;
    };
    explicit CdxTag(CdxBag* bag) : bag_(bag) {}

    cdx::Page* page(uint32_t off);
    cdx::Page* newPage(bool leaf);
    void freePage(cdx::Page* p);
    void touch(cdx::Page* p);  // marks a page changed, to be written at the last unlock
    int compare(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb) const;
    // Descends to the leaf where (key, rec) belongs; the path runs from the root.
    void descend(const uint8_t* key, size_t len, uint32_t rec, bool last,
                 std::vector<PathStep>* path);
    bool pageFits(cdx::Page& p) const;
    int leafFreeOf(cdx::Page& p) const;  // free bytes of a leaf, measured when not known
    bool pageEmptyOrSparse(const std::vector<cdx::Page*>& group) const;
    void rebalance(std::vector<PathStep>& path, size_t level, bool shrank);
    void fixParents(std::vector<PathStep>& path, size_t level);
    void repackGroup(cdx::Page* parent, size_t from, size_t to);
    void splitRoot(std::vector<PathStep>& path);
    void setEntry(cdx::Page* parent, size_t i, cdx::Page* child);
    void setCursor(const cdx::Page* leaf, size_t i);
    bool restoreCursor();
    uint32_t step(bool forward);
    bool find(const uint8_t* key, uint32_t rec, bool moveCursor);
    uint64_t chainCount(uint32_t off, bool rightward, const char* step);
    uint32_t edge(bool top);
    void forgetPages();
    void writeHeader();
    bool checkHeader(const uint8_t* h, uint32_t fileSize, std::string* why);

    CdxBag* bag_;
    std::string name_;
    std::string keyExpr_, forExpr_;
    int keyLen_ = 10;
    uint8_t options_ = 0x60;
    bool descending_ = false;
    char keyType_ = 'C';
    uint32_t headerOff_ = 0;
    uint32_t root_ = 0;
    bool headerDirty_ = false;
    std::unique_ptr<TagExpressions> expr_;
    std::unordered_map<uint32_t, std::unique_ptr<cdx::Page>> pages_;
    std::vector<uint32_t> dirty_;  // pages changed under the current write lock
    size_t cacheBytes_ = 0;        // roughly what the cached pages take
    CdxEntry cur_;
    uint32_t curLeaf_ = 0;
    size_t curIdx_ = 0;
    uint64_t curGen_ = 0;
    // ORDKEYCOUNT / ORDKEYNO kept until the pages are dropped or the cursor moves.
    uint64_t countGen_ = ~0ULL, noGen_ = ~0ULL;
    uint32_t count_ = 0, no_ = 0, noRec_ = 0;
    // The keys of the current record saved when its buffer was first changed.
    std::vector<uint8_t> savedKey_;
    bool savedFor_ = false;
    bool saved_ = false;
};

// A compound index file.
class CdxBag : public TableObserver {
public:
    // Opens a bag in the table's mode. Raises 21/1003 when the file cannot be opened and 32/1012
    // when it is 1024 bytes or less or its directory cannot be read. table may be null (the file
    // is then only read: no keys are evaluated).
    static std::unique_ptr<CdxBag> open(const std::string& path, DbfTable* table,
                                        ExpressionCompiler compiler);
    // Creates an empty bag (the directory only), truncating an existing file; in the table's
    // mode, or exclusive when asked.
    static std::unique_ptr<CdxBag> create(const std::string& path, DbfTable* table,
                                          ExpressionCompiler compiler, bool exclusive = false);
    // A new, empty bag written as the side file of target in a swap (exclusive); finishSide
    // puts it on disk once its tags are built, and adopt makes this bag work on it once the
    // swap is committed (path: the name it now stands under; a null side: this bag's own file,
    // loaded again).
    static std::unique_ptr<CdxBag> createSide(FileSwap& swap, const std::string& target,
                                              DbfTable* table, ExpressionCompiler compiler);
    [[nodiscard]] bool finishSide();
    [[nodiscard]] bool adopt(std::unique_ptr<CdxBag> side, const std::string& path);
    ~CdxBag() override;

    const std::string& path() const { return path_; }
    // Tags in order number (creation order).
    const std::vector<CdxTag*>& tags() const { return order_; }
    CdxTag* tag(const std::string& name) const;
    int tagNumber(const std::string& name) const;  // 1-based, 0 when absent
    // True, with the error raised naming them, when tags listed in the directory could not be
    // loaded: a new index made from the loaded ones would drop them for good.
    bool refuseDamaged();
    // Tags listed in the directory that could not be loaded, with the reason.
    const std::vector<std::pair<std::string, std::string>>& damagedTags() const {
        return damaged_;
    }

    struct TagDef {
        std::string name, keyExpr, forExpr;
        bool unique = false, descending = false, custom = false;
        int options = -1;  // the option byte to keep as it was read; -1: made from the flags
    };
    // The loaded tags as definitions, in order, with their option bytes.
    std::vector<TagDef> definitions() const;
    // A side bag of this one with the given tags, built and synced; null after a failure or a
    // stop by the progress callback.
    std::unique_ptr<CdxBag> buildSide(FileSwap& swap, const std::vector<TagDef>& defs,
                                      const std::function<bool(uint32_t, uint32_t)>& progress,
                                      uint32_t every);
    // ORDCREATE: builds a tag from the table's records. A tag of the same name is built again
    // where it stands (its order number does not change). The progress callback runs every
    // `every` records; when it answers false the building stops and the tag stays as it was (a
    // new one is not added): a tag is either complete or absent. Null when no tag was made.
    CdxTag* createTag(const TagDef& def,
                      const std::function<bool(uint32_t done, uint32_t total)>& progress = {},
                      uint32_t every = 0);
    // ORDLISTREBUILD: every tag built again in its place, from the table. Exclusive use writes
    // a new file beside the old one and swaps it in; shared use rebuilds each tag in place under
    // the write lock. Refuses (false) when a tag could not be loaded, rather than drop it.
    [[nodiscard]] bool rebuild(const std::function<bool(uint32_t, uint32_t)>& progress = {},
                               uint32_t every = 0);

    // The lock protocol (shared mode only places locks; counts are kept in both). A lock that
    // could not be had is raised and answered false; nothing may then be read or written.
    [[nodiscard]] bool lockRead();
    void unlockRead();
    [[nodiscard]] bool lockWrite();
    void unlockWrite();
    bool shared() const { return shared_; }
    uint32_t changeCounter() const { return counter_; }
    uint64_t generation() const { return gen_; }

    // Structural check of every tag: order, links, parents, leaf space, free list, tags that
    // could not be loaded, changes left half done. Each problem is one line.
    std::vector<std::string> checkStructure();

    // TableObserver
    void recordChanging(DbfTable& t, uint32_t recno, bool appended) override;
    bool writeRecord(DbfTable& t, uint32_t recno, bool appended,
                     const std::function<bool()>& write) override;
    bool prepareRewrite(DbfTable& t, FileSwap& swap) override;
    void finishRewrite(DbfTable& t, bool committed) override;
    void tableClosing(DbfTable& t) override;

    DbfTable* table() const { return table_; }

private:
    friend class CdxTag;
    CdxBag() = default;
    bool load();
    bool loadChecked();
    bool initEmpty();
    void checkVersion();
    bool takeLock(bool exclusive);
    void trimCaches();
    uint32_t allocPage();
    uint32_t endOfFile();  // the next page at the end of the file, looked up when unknown
    void releasePage(uint32_t off);
    void readPage(uint32_t off, uint8_t* raw, const char* step);
    void writePage(uint32_t off, const uint8_t* raw, const char* step);
    void flushAll();
    std::unique_ptr<CdxTag> makeTag(const TagDef& def, std::string* error);
    // Builds t's tree from the table's records. With rootAt the root is written over that page,
    // last, so that a tree rebuilt in place appears in one page write; records in skip are left
    // out. False when the progress callback stopped it or a failure was raised.
    [[nodiscard]] bool buildTag(CdxTag* t, const std::function<bool(uint32_t, uint32_t)>& progress,
                                uint32_t every, uint32_t rootAt = 0,
                                const std::vector<uint32_t>* skip = nullptr);
    void addToDirectory(CdxTag* t);
    void sortOrder();
    bool evalKey(CdxTag* t, const char* rec, uint32_t recno, uint8_t* out, bool* forOk);
    // Change marks (see cdx.cpp).
    void parseMarks();
    void storeMarks();
    void writeHead();
    void markBusy();
    bool marksNeedRepair();
    bool registerRecord(uint32_t rec);
    void repair();
    // Every maintained tag built again where it stands, records in skip left out; false when a
    // build failed (raised) or was stopped.
    bool rebuildInPlace(const std::function<bool(uint32_t, uint32_t)>& progress, uint32_t every,
                        const std::vector<uint32_t>* skip);
    bool isMine(uint32_t rec) const;
    // A record whose writer is still at work: this area's own, or locked elsewhere.
    bool atWork(uint32_t rec);
    void settleAppends();
    void ensureKeyed(uint32_t rec);

    std::unique_ptr<os::File> file_;
    std::string path_;
    DbfTable* table_ = nullptr;
    ExpressionCompiler compiler_;
    bool shared_ = true;
    bool readOnly_ = false;
    uint64_t lockOffset_ = 0x7FFFFFFE;
    int readLocks_ = 0, writeLocks_ = 0;
    uint32_t counter_ = 0;
    uint32_t freeHead_ = 0;
    uint32_t diskFreeHead_ = 0;
    uint32_t nextEof_ = 0;  // 0: not yet determined
    uint64_t gen_ = 1;
    bool wrote_ = false;
    std::map<uint32_t, uint32_t> freed_;  // pages freed under this write lock -> next free page
    std::unique_ptr<CdxTag> dir_;
    std::vector<std::unique_ptr<CdxTag>> tags_;
    std::vector<CdxTag*> order_;
    std::vector<std::pair<std::string, std::string>> damaged_;
    // The file's first page as last read or written; page 0 of the directory header.
    uint8_t head_[cdx::kPageSize] = {};
    bool headerDirty_ = false;
    // Change marks as on disk, and this bag's part in them.
    std::vector<uint32_t> marked_;  // records whose keys are being changed
    bool busy_ = false;             // pages being written
    uint32_t keyedTo_ = 0;          // every record up to here has its keys
    bool hasMarks_ = false;         // the file carries the marks (else keyedTo_ is not known)
    std::vector<uint32_t> mine_;    // records this bag appended or marked and has still to key
    std::vector<uint32_t> keyed_;   // records keyed under this write lock
    std::vector<uint32_t> pendingBeyond_;  // records past keyedTo_ whose writers are at work
    uint32_t settledTo_ = 0;        // the record count the write lock looked up to
    bool markedNow_ = false;        // this write lock's changes are covered by a mark on disk
    bool singlePages_ = false;      // the pages being flushed are one per tag: no mark needed
    bool repairing_ = false;
    bool repairFailed_ = false;
    bool tagsLoaded_ = false;
    std::unique_ptr<CdxBag> pending_;  // the side bag of a rewrite waiting for its swap
};

// The damage stop: names the step and the kind of damage.
[[noreturn]] void cdxDamage(const std::string& step, const std::string& kind);

}  // namespace wv
