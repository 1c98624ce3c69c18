// DBF tables: the file layout, the record buffer of a work area, and the byte-range locking
// protocol that lets several workstations share one table.
//
// A DbfTable is one open table: its file handle, the cached header, the current record and its
// buffer, and the locks this work area holds. Records are read lazily (positioning costs nothing
// until a field is read) and written back only when the area "goes cold": before repositioning,
// on flush, unlock and close. Every failure is raised through the run-time error handler; the
// operation then returns false (or an empty value) and the area keeps its position and buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/error.h"
#include "runtime/value.h"
#include "storage/fpt.h"
#include "storage/platform.h"

namespace wv {

// A field as given to create(): name, type letter (C, N, F, D, L, M), length and decimals.
struct FieldDef {
    std::string name;
    char type = 'C';
    int len = 0;
    int dec = 0;
};

// A field as read from the table's descriptors.
struct FieldInfo {
    std::string name;  // upper case, at most 10 characters
    char type = 'C';
    uint32_t offset = 0;  // inside the record; byte 0 is the deletion flag
    uint16_t len = 0;
    uint8_t dec = 0;
    uint8_t flags = 0;    // 0x01 system (hidden), 0x02 may be null, 0x04 binary
    int nullBit = -1;     // bit in "_NullFlags" telling the value is null, or -1
};

// Where the locks of a table lie: a base, the one-byte record locks, the file-lock range and
// the header byte.
struct LockLayout {
    uint64_t header = 0;
    uint64_t fileStart = 0;
    uint64_t fileLen = 0;
    // Record k: byte at base + k, base - k, or base + header length + (k - 1) * record length.
    uint64_t record(uint32_t k, uint32_t headerLen, uint32_t recordLen) const;
    int scheme = 3;
    bool down = false;        // scheme 3 with a structural index: base - k
    bool byPosition = false;  // scheme 3 without: base + record position
};
LockLayout lockLayout(int scheme, bool structuralIndex);

class DbfTable;
class FileSwap;

// What the index layer watches. The table calls these around its record changes so that keys
// follow the records: the old keys are taken when a buffer is first changed, the new ones after
// the record is written.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    // The record buffer is about to change for the first time since it was read (for an appended
    // record, right after the blank buffer is made).
    virtual void recordChanging(DbfTable&, uint32_t /*recno*/, bool /*appended*/) {}
    // The changed buffer is to be written: the observer calls write() when its own protocol
    // allows (the index marks the record before it reaches the file) and follows it with the
    // new keys. False when the write or the keys failed.
    virtual bool writeRecord(DbfTable&, uint32_t /*recno*/, bool /*appended*/,
                             const std::function<bool()>& write) {
        return write();
    }

    // The table was written again beside itself (pack, zap) and now reads from its new file:
    // whatever is derived from it is made again for the same swap. False stops the swap.
    virtual bool prepareRewrite(DbfTable&, FileSwap&) { return true; }
    // The swap went through (committed) or was given up; the table is on the matching file.
    virtual void finishRewrite(DbfTable&, bool /*committed*/) {}
    // The table is closing (after its last write-back).
    virtual void tableClosing(DbfTable&) {}
    // Positioning hooks of an index may move the area; plain record order needs nothing.
};

class DbfTable {
public:
    struct OpenOptions {
        bool shared = true;
        bool readOnly = false;
        int lockScheme = 0;  // 0: the process setting, then the driver default (3)
    };

    // Opens a table; ".dbf" is added when the name has no extension. Raises 21/1001 when the
    // file cannot be opened and 32/1012 when its header or descriptors are not a table's; null
    // when the handler did not make it succeed on a retry.
    static std::unique_ptr<DbfTable> open(const std::string& path, const OpenOptions& opt);
    static std::unique_ptr<DbfTable> open(const std::string& path) {
        return open(path, OpenOptions{});
    }
    // Creates a table (truncating an existing file) and leaves it open exclusively; a memo file
    // is created beside it when there are memo fields. Raises 20/1004 (or 32/1012 for a bad
    // structure); null on failure.
    static std::unique_ptr<DbfTable> create(const std::string& path,
                                            const std::vector<FieldDef>& fields);
    ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    // Writes back, releases every lock, rewrites a pending header, commits when hard commit is
    // on, and closes the files. Safe to call twice.
    bool close();

    // --- Structure and header
    const std::string& path() const { return path_; }
    const std::string& memoPath() const;
    bool shared() const { return shared_; }
    bool readOnly() const { return readOnly_; }
    size_t fieldCount() const { return fields_.size(); }
    const FieldInfo& field(size_t i) const { return fields_[i]; }
    // Field number by name (case-insensitive), or -1.
    int fieldIndex(std::string_view name) const;
    uint8_t version() const { return hdr_[0]; }
    uint8_t tableFlags() const { return hdr_[28]; }
    uint8_t codePageMark() const { return hdr_[29]; }
    uint32_t headerLength() const { return headerLen_; }
    uint32_t recordLength() const { return recordLen_; }
    // The count stored in the header when the table was opened or last refreshed from it.
    uint32_t headerCount();
    MemoFile* memo() { return memo_.get(); }

    // --- Record count and position
    // RECCOUNT(): in shared mode refreshed from the file size.
    uint32_t recCount();
    // The count as cached, without refreshing.
    uint32_t cachedCount() const { return count_; }
    uint32_t recNo() const { return recno_; }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool found() const { return found_; }
    void setFound(bool f) { found_ = f; }
    void setBof(bool b) { bof_ = b; }
    void setEof(bool e) { eof_ = e; }
    bool deleted();

    // Positioning in record-number order. goTo positions without reading; out-of-range numbers
    // give the phantom record (EOF). goTop, goBottom and skip pass over deleted records when the
    // deleted setting is on.
    bool goTo(uint32_t n);
    bool goTop();
    bool goBottom();
    bool skip(long n = 1);

    // --- Fields
    Value get(size_t i);
    Value get(std::string_view name);
    // The number in an N, F, I, B or Y field without building a Value (0 for other types).
    double getNumber(size_t i);
    // Puts a value; raises 39/1025 (read-only), 38/1022 (not locked in shared mode), 33/1020
    // (wrong type), 34/1021 (number too wide: the field then holds asterisks). Ignored on the
    // phantom record.
    bool put(size_t i, const Value& v);
    bool put(std::string_view name, const Value& v);

    // --- Records
    // DBAPPEND: a blank record at the end, current and locked. Shared use: written at once
    // under the header lock, or, while the append lock is held, whole at its first write with
    // the header's count as the lock is released. releaseLocks=false keeps the other record
    // locks.
    bool append(bool releaseLocks = true);
    // The phantom record past the last one (the count read again in shared use).
    bool goEof();
    // Writes back a changed buffer, nothing else.
    bool writeBack() { return goCold(); }
    bool deleteRecord();
    bool recall();
    // Writes back a changed buffer and a pending header; commits to disk when hard commit is on.
    bool flush();
    bool commit() { return flush(); }
    // Exclusive, read-write. The table, its memo file and (through the observer) its index are
    // written again beside the old ones and swapped in whole; on failure the old files stand.
    // The progress callback runs every `every` records and once at the end when records remain
    // since its last call.
    [[nodiscard]] bool pack(const std::function<void(uint32_t done, uint32_t total)>& progress = {},
                            uint32_t every = 0);
    [[nodiscard]] bool zap();
    // The two halves of pack and zap for callers that put more files into the same swap:
    // rewriteInto writes the new table (and memo file) as side files of the swap and switches
    // the area onto them; rewriteDone(true) keeps them once the swap is committed,
    // rewriteDone(false) goes back to the old files.
    [[nodiscard]] bool rewriteInto(FileSwap& swap, bool keepLive,
                                   const std::function<void(uint32_t, uint32_t)>& progress = {},
                                   uint32_t every = 0);
    void rewriteDone(bool committed);

    // --- Locks
    bool rlock();               // RLOCK(): the current record, releasing all others
    bool rlock(uint32_t n);     // DBRLOCK(n): keeps the others; 0 means the current record
    bool flock();               // FLOCK()
    void unlockAll();           // DBUNLOCK()
    void unlock(uint32_t n);    // DBRUNLOCK(n)
    bool isLocked(uint32_t n) const;
    // Whether another handle (another station, or another area of this one) holds record n's
    // lock or the file lock; never true in exclusive use.
    bool recordLockedElsewhere(uint32_t n);
    const std::vector<uint32_t>& lockList() const { return locks_; }
    bool fileLocked() const { return fileLocked_; }
    int lockScheme() const { return scheme_; }
    const LockLayout& locks() const { return layout_; }
    // The lock appends take (the header's), held across several steps until
    // releaseAppendLock() or DBUNLOCK: nobody else appends meanwhile, so what was checked under
    // it (a code nobody has stored yet) still holds when this area's append is written and
    // keyed. Appends made meanwhile keep it. Waits as an append does; false (raised 41/1038)
    // when it cannot be had. Nothing to take in exclusive use.
    bool holdAppendLock();
    void releaseAppendLock();
    // Under the held append lock: the locks of the next k records taken in one call, for a run
    // of appends (one refusal, raised 40/1024, before anything is written). The appends then
    // take no lock of their own, and the run's count goes to the header once: at writeCount(),
    // which belongs after the run's last write and before its keys go to the index, or as the
    // lock is released. True with nothing to take.
    bool lockAppends(uint32_t k);
    bool writeCount();
    bool appendLockHeld() const { return appendHold_; }
    // The table made this handle's alone while it stays open shared: one attempt, false when
    // another handle (another station, or another area here) has it open. Opens elsewhere are
    // then refused as for an exclusive open, until shareAgain().
    bool claimAlone();
    void shareAgain();
    // The structural-index flag decides which scheme-3 layout record locks use.
    bool structuralIndex() const { return structural_; }
    void setStructuralIndex(bool on);
    // Asks for the header to be written at the next flush or close (the structural-index flag
    // changed).
    void requestHeaderWrite() { updateHeader_ = true; }

    // --- For the index layer
    // The current record's raw bytes (read first if needed); null after a read error.
    const char* recordBuffer();
    // Reads records first..first+count-1 straight from the file into out (count * record
    // length bytes), without locks; returns how many whole records were read.
    uint32_t readRaw(uint32_t first, uint32_t count, char* out);
    void setObserver(TableObserver* o) { observer_ = o; }
    TableObserver* observer() const { return observer_; }
    // A blank record (live, every field empty) into out, record length bytes.
    void blankRecord(char* out) const;
    // Decodes a field from raw record bytes.
    Value decode(size_t i, const char* record);
    // Records brought into the buffer so far, from the file or from the read-ahead.
    uint64_t recordsRead() const { return recordsRead_; }

private:
    DbfTable() = default;
    enum class Buf : uint8_t { NotRead, Valid, Changed };

    bool rewrite(bool keepLive, const std::function<void(uint32_t, uint32_t)>& progress,
                 uint32_t every);
    bool readHeader();
    bool parseDescriptors(const std::vector<uint8_t>& bytes);
    bool refreshCount();
    bool ensureRead();
    bool goCold();
    bool writeHeader(bool countKnown = false);
    bool lockHeader();
    void unlockHeader();
    bool lockRecordByte(uint32_t n);
    void unlockRecordAt(size_t i);
    void releaseRecordLocks();
    bool goHot();  // the checks before the first change of a buffer
    void releaseMemos();
    bool setDeletionFlag(char flag);
    void blankBuffer();
    bool positionOn(uint32_t n);
    bool skipDeleted(int dir);
    bool raise(int gen, int sub, const char* desc, bool retry, bool def, int osCode = 0,
               const std::string& operation = "");
    uint64_t recordOffset(uint32_t n) const {
        return uint64_t(headerLen_) + uint64_t(n - 1) * recordLen_;
    }
    void dropReadAhead() { raCount_ = 0; }

    std::unique_ptr<os::File> file_;
    std::unique_ptr<MemoFile> memo_;
    // The old file while a rewrite waits for its swap.
    std::unique_ptr<os::File> rewriteOld_;
    uint32_t rewriteOldCount_ = 0;
    std::string path_;
    std::vector<FieldInfo> fields_;
    int nullFlagsField_ = -1;
    bool hasMemo_ = false;
    bool shared_ = true;
    bool readOnly_ = false;
    uint8_t hdr_[32] = {};
    uint32_t headerLen_ = 0;
    uint32_t recordLen_ = 0;
    uint32_t count_ = 0;
    uint32_t recno_ = 0;
    bool bof_ = false, eof_ = true, found_ = false;
    std::vector<char> buf_;
    Buf state_ = Buf::NotRead;
    bool appended_ = false;
    bool updateHeader_ = false;
    std::vector<uint32_t> locks_;  // record numbers in locking order
    std::vector<uint64_t> lockOffsets_;  // the byte each of them holds
    bool fileLocked_ = false;
    uint64_t fileLockStart_ = 0, fileLockLen_ = 0;
    uint64_t headerLockOffset_ = 0;
    bool headerLocked_ = false;
    bool appendHold_ = false;
    bool headerPending_ = false;  // appends under the hold whose count is not in the header yet
    bool countLater_ = false;     // a run reserved with lockAppends: its count written once
    uint64_t recordsRead_ = 0;
    int scheme_ = 3;
    bool structural_ = false;
    LockLayout layout_;
    TableObserver* observer_ = nullptr;
    // Memo fields changed in the buffer: field -> the block the record refers to on disk.
    std::map<size_t, uint32_t> memoSlots_;
    // Read-ahead for sequential passes: records raFirst_.. raFirst_+raCount_-1.
    std::vector<char> ra_;
    uint32_t raFirst_ = 0, raCount_ = 0;
    uint32_t lastRead_ = 0;
};

}  // namespace wv
