#include "storage/fpt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/error.h"
#include "storage/bytes.h"
#include "storage/driver_error.h"

namespace wv {

namespace {

// Block types.
constexpr uint32_t kTypeRaw = 0;
constexpr uint32_t kTypeText = 1;
constexpr uint32_t kTypeList = 1000;
constexpr uint32_t kTypeFree = 1001;

constexpr size_t kBlockHeader = 8;
// A free-list block: 8-byte block header, then 1010 bytes of data (a 2-byte count and 126 pairs).
constexpr uint32_t kListDataLen = 1010;
constexpr size_t kListBytes = kBlockHeader + kListDataLen;
constexpr size_t kListMax = 126;

// Files that do not carry the flexible mark follow the older layout whose header is 512 bytes;
// the bytes after that belong to the memos and are never rewritten.
constexpr size_t kPlainHeaderSize = 512;

// No writer uses blocks above 64 KB (some keep the size in two bytes); anything larger is damage.
constexpr uint32_t kMaxBlockSize = 65536;
// Block numbers are 32-bit and must fit the 10-digit reference.
constexpr uint64_t kMaxBlock = 0xFFFFFFFFULL;

constexpr size_t kFlexMarkAt = 512;
constexpr unsigned char kFlexMark[11] = {'F', 'l', 'e', 'x', 'F', 'i', 'l', 'e', '3', 0x03, 0x00};
constexpr size_t kFlexMarkChecked = 10;  // "FlexFile3" and 0x03
constexpr size_t kSizeListAt = 524;
constexpr size_t kLocListAt = 528;
constexpr size_t kCounterAt = 532;
constexpr char kSignature[8] = {'Q', 'u', 'i', 'n', 'd', 'l', 'e', '\0'};

constexpr unsigned char kEndByte = 0xAF;
constexpr unsigned char kListFill = 0xAD;

constexpr size_t kCopyChunk = 64 * 1024;

using i64 = long long;

// Error texts, code page 1252.
constexpr const char* kTextCreate = "Error de creaci\xF3n";
constexpr const char* kTextOpen = "Error de apertura";
constexpr const char* kTextRead = "Error de lectura";
constexpr const char* kTextWrite = "Error de escritura";
constexpr const char* kTextCorrupt = "Se detect\xF3 corrupci\xF3n";
constexpr const char* kTextLock = "Fallo en bloqueo";


uint64_t blocksFor(uint64_t bytes, uint32_t bs) {
    return (bytes + bs - 1) / bs;
}

// Raises a memo error; true when the handler asked for the failed step to be repeated.
bool raise(int gen, int sub, const char* text, const std::string& file, bool retry, bool dflt,
           int osCode = 0) {
    return raiseDriverError(gen, sub, text, retry, dflt, osCode, file);
}

// Creates a memo file (or pack's temporary one) exclusively, as often as the operator retries.
std::unique_ptr<os::File> createFile(const std::string& path) {
    for (;;) {
        int osErr = 0;
        if (auto f = os::File::create(path, os::Share::Exclusive, &osErr)) return f;
        if (!raise(gen::kCreate, 1005, kTextCreate, path, true, false, osErr)) return nullptr;
    }
}

void readError(const std::string& file) {
    raise(gen::kRead, 1010, kTextRead, file, false, false);
}
void writeError(const std::string& file) {
    raise(gen::kWrite, 1011, kTextWrite, file, false, false);
}
void corruption(const std::string& file) {
    raise(gen::kCorruption, 1012, kTextCorrupt, file, false, true);
}

// A fresh header: nothing allocated, no free lists yet.
void freshHeader(unsigned char* h, uint32_t bs) {
    std::memset(h, 0, MemoFile::kHeaderSize);
    bytes::putBe32(h, static_cast<uint32_t>(blocksFor(MemoFile::kHeaderSize, bs)));
    bytes::putBe32(h + 4, bs);
    std::memcpy(h + 8, kSignature, sizeof kSignature);
    std::memcpy(h + kFlexMarkAt, kFlexMark, sizeof kFlexMark);
}

// A run of free blocks.
struct Run {
    uint32_t start;
    uint32_t count;
    uint64_t end() const { return uint64_t(start) + count; }
    bool operator==(const Run&) const = default;
};

// The blocks free in both lists, as runs in location order.
std::vector<Run> commonRuns(const std::vector<Run>& a, const std::vector<Run>& b) {
    std::vector<Run> out;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        uint64_t start = std::max<uint64_t>(a[i].start, b[j].start);
        uint64_t end = std::min(a[i].end(), b[j].end());
        if (start < end) out.push_back(Run{uint32_t(start), uint32_t(end - start)});
        if (a[i].end() < b[j].end())
            ++i;
        else
            ++j;
    }
    return out;
}

}  // namespace

// The allocation state of the file as read under the write lock, changed in memory by one write
// and written back at its end.
struct MemoFile::Space {
    unsigned char header[MemoFile::kHeaderSize];
    size_t headerRead = 0;  // header bytes present in the file
    uint32_t nextFree = 0;
    uint32_t sizeList = 0;  // byte offsets of the two list blocks, 0 while there are none
    uint32_t locList = 0;
    uint32_t counter = 0;
    std::vector<Run> runs;  // ordered by location, never overlapping
};

struct MemoFile::Impl {
    // Pack in progress: the temporary file and its next free block.
    std::unique_ptr<os::File> packFile;
    std::string packPath;
    uint32_t packNext = 0;
    // After switchToPack the memo works on the side file and packFile keeps the old one.
    bool switched = false;
    bool oldFlexible = true;
};

namespace {

// Holds the memo write lock for the length of one write (shared mode only).
class WriteLock {
public:
    WriteLock(os::File& f, bool shared, const std::string& path)
        : file_(f), shared_(shared), path_(path) {}
    ~WriteLock() {
        if (held_) file_.unlock(0, 1);
    }
    bool take() {
        if (!shared_) return true;
        for (;;) {
            if (file_.lock(0, 1, true, true)) {
                held_ = true;
                return true;
            }
            if (!raise(gen::kLock, 1038, kTextLock, path_, true, true)) return false;
        }
    }

private:
    os::File& file_;
    bool shared_;
    const std::string& path_;
    bool held_ = false;
};

// The runs that go into the list blocks: all of them, or the 126 largest, in location order.
// Runs whose byte offset or length do not fit the 32-bit list entries cannot be listed.
std::vector<Run> storedRuns(const std::vector<Run>& runs, uint32_t bs) {
    std::vector<Run> out;
    for (const Run& r : runs)
        if (r.end() * bs <= 0xFFFFFFFFULL) out.push_back(r);
    if (out.size() > kListMax) {
        std::stable_sort(out.begin(), out.end(),
                         [](const Run& a, const Run& b) { return a.count > b.count; });
        out.resize(kListMax);
        std::sort(out.begin(), out.end(),
                  [](const Run& a, const Run& b) { return a.start < b.start; });
    }
    return out;
}

void listBlock(unsigned char* buf, const std::vector<Run>& runs, bool bySize, uint32_t bs) {
    std::memset(buf, kListFill, kListBytes);
    bytes::putBe32(buf, kTypeList);
    bytes::putBe32(buf + 4, kListDataLen);
    uint16_t count = static_cast<uint16_t>(4 * runs.size() + 3);
    buf[8] = static_cast<unsigned char>(count);
    buf[9] = static_cast<unsigned char>(count >> 8);
    std::vector<Run> order = runs;
    if (bySize)
        std::stable_sort(order.begin(), order.end(),
                         [](const Run& a, const Run& b) { return a.count < b.count; });
    unsigned char* p = buf + 10;
    for (const Run& r : order) {
        uint32_t off = r.start * bs, len = r.count * bs;
        bytes::putLe32(p, bySize ? len : off);
        bytes::putLe32(p + 4, bySize ? off : len);
        p += 8;
    }
}

}  // namespace

MemoFile::~MemoFile() {
    if (impl_ && impl_->packFile) abortPack();
}

std::unique_ptr<MemoFile> MemoFile::create(const std::string& path, uint32_t blockSize) {
    if (blockSize == 0 || blockSize > kMaxBlockSize) blockSize = kDefaultBlockSize;
    std::unique_ptr<os::File> f = createFile(path);
    if (!f) return nullptr;
    unsigned char h[kHeaderSize];
    freshHeader(h, blockSize);
    if (!f->writeAt(0, h, kHeaderSize)) {
        writeError(path);
        return nullptr;
    }
    std::unique_ptr<MemoFile> m(new MemoFile);
    m->impl_ = std::make_unique<Impl>();
    m->file_ = std::move(f);
    m->path_ = path;
    m->blockSize_ = blockSize;
    m->flexible_ = true;
    return m;
}

std::unique_ptr<MemoFile> MemoFile::open(const std::string& path, bool shared, bool readOnly) {
    std::unique_ptr<os::File> f;
    for (;;) {
        int osErr = 0;
        f = os::File::open(path, !readOnly, shared ? os::Share::Shared : os::Share::Exclusive,
                           &osErr);
        if (f) break;
        if (!raise(gen::kOpen, 1002, kTextOpen, path, true, true, osErr)) return nullptr;
    }
    std::unique_ptr<MemoFile> m(new MemoFile);
    m->impl_ = std::make_unique<Impl>();
    m->path_ = f->path();
    m->file_ = std::move(f);
    m->shared_ = shared;
    m->readOnly_ = readOnly;

    // The header, under the memo read lock in shared mode.
    for (;;) {
        if (shared) {
            while (!m->file_->lock(0, 1, false, true))
                if (!raise(gen::kLock, 1038, kTextLock, path, true, true)) return nullptr;
        }
        unsigned char h[kHeaderSize] = {};
        long long got = m->file_->readAt(0, h, kHeaderSize);
        if (shared) m->file_->unlock(0, 1);
        uint32_t bs = got >= 8 ? bytes::be32(h + 4) : 0;
        if (bs == 0 || bs > kMaxBlockSize) {
            if (raise(gen::kCorruption, 1012, kTextCorrupt, path, true, true)) continue;
            return nullptr;
        }
        m->blockSize_ = bs;
        m->flexible_ = got >= i64(kFlexMarkAt + kFlexMarkChecked) &&
                       std::memcmp(h + kFlexMarkAt, kFlexMark, kFlexMarkChecked) == 0;
        return m;
    }
}

// Reads the 8-byte header of the memo at block: its type and its length, which must lie inside
// the file. A read error is raised otherwise.
bool MemoFile::blockHeader(uint32_t block, uint32_t* type, uint32_t* len) {
    uint64_t off = uint64_t(block) * blockSize_;
    long long size = file_->size();
    unsigned char h[kBlockHeader];
    if (size < 0 || off + kBlockHeader > uint64_t(size) ||
        file_->readAt(off, h, kBlockHeader) != i64(kBlockHeader)) {
        readError(path_);
        return false;
    }
    *type = bytes::be32(h);
    *len = bytes::be32(h + 4);
    if (off + kBlockHeader + *len > uint64_t(size)) {
        readError(path_);
        return false;
    }
    return true;
}

bool MemoFile::read(uint32_t block, std::string* out) {
    out->clear();
    if (block == 0) return true;
    uint64_t off = uint64_t(block) * blockSize_;
    uint32_t type = 0, len = 0;
    if (!blockHeader(block, &type, &len)) return false;
    // Other types hold the typed values of the flexible variant, which are not texts.
    if (type != kTypeText && type != kTypeRaw) return true;
    out->resize(len);
    if (len != 0 && file_->readAt(off + kBlockHeader, out->data(), len) != i64(len)) {
        out->clear();
        readError(path_);
        return false;
    }
    return true;
}

// Reads the header and the free lists into *s, checking everything later steps rely on so that a
// damaged file is refused before anything is written.
bool MemoFile::loadSpace(Space* s) {
    const uint32_t bs = blockSize_;
    const size_t hdrBytes = flexible_ ? kHeaderSize : kPlainHeaderSize;
    const uint64_t hdrBlocks = blocksFor(hdrBytes, bs);
    std::memset(s->header, 0, sizeof s->header);
    long long got = file_->readAt(0, s->header, hdrBytes);
    long long size = file_->size();
    if (got < 8 || size < 0) {
        readError(path_);
        return false;
    }
    s->headerRead = size_t(got);
    s->nextFree = bytes::be32(s->header);
    uint64_t fileBlocks = std::max(blocksFor(uint64_t(size), bs), hdrBlocks);
    if (bytes::be32(s->header + 4) != bs || s->nextFree < hdrBlocks || s->nextFree > fileBlocks) {
        corruption(path_);
        return false;
    }
    s->runs.clear();
    s->sizeList = s->locList = s->counter = 0;
    if (!flexible_) return true;

    s->sizeList = bytes::le32(s->header + kSizeListAt);
    s->locList = bytes::le32(s->header + kLocListAt);
    s->counter = bytes::le32(s->header + kCounterAt);
    if (s->sizeList == 0 && s->locList == 0) return true;

    const uint64_t listBlocks = blocksFor(kListBytes, bs);
    auto listPlaceOk = [&](uint32_t off) {
        return off % bs == 0 && off / bs >= hdrBlocks && off / bs + listBlocks <= s->nextFree;
    };
    if (!listPlaceOk(s->sizeList) || !listPlaceOk(s->locList) ||
        (s->sizeList < s->locList ? uint64_t(s->sizeList) + listBlocks * bs > s->locList
                                  : uint64_t(s->locList) + listBlocks * bs > s->sizeList)) {
        corruption(path_);
        return false;
    }

    std::vector<Run> lists[2];  // by location, by size
    const uint32_t offsets[2] = {s->locList, s->sizeList};
    for (int i = 0; i < 2; ++i) {
        unsigned char buf[kListBytes];
        if (file_->readAt(offsets[i], buf, kListBytes) != i64(kListBytes)) {
            readError(path_);
            return false;
        }
        unsigned count = unsigned(buf[8]) | unsigned(buf[9]) << 8;
        if (bytes::be32(buf) != kTypeList || bytes::be32(buf + 4) != kListDataLen || count < 3 ||
            (count - 3) % 4 != 0 || (count - 3) / 4 > kListMax) {
            corruption(path_);
            return false;
        }
        size_t n = (count - 3) / 4;
        for (size_t k = 0; k < n; ++k) {
            const unsigned char* p = buf + 10 + 8 * k;
            uint32_t off = bytes::le32(i == 0 ? p : p + 4), len = bytes::le32(i == 0 ? p + 4 : p);
            if (off % bs != 0 || len % bs != 0 || len == 0) {
                corruption(path_);
                return false;
            }
            lists[i].push_back(Run{off / bs, len / bs});
        }
        std::sort(lists[i].begin(), lists[i].end(),
                  [](const Run& a, const Run& b) { return a.start < b.start; });
    }
    // The two lists are written one after the other: when a writer was cut off between them
    // they differ, and only the space both call free is free (the rest stays unused until the
    // next pack). Each run must lie inside the allocated space, clear of the header, of the
    // list blocks and of the others.
    if (lists[0] != lists[1]) lists[0] = commonRuns(lists[0], lists[1]);
    const Run listRuns[2] = {Run{s->sizeList / bs, uint32_t(listBlocks)},
                             Run{s->locList / bs, uint32_t(listBlocks)}};
    uint64_t prevEnd = hdrBlocks;
    for (const Run& r : lists[0]) {
        bool bad = r.start < prevEnd || r.end() > s->nextFree;
        for (const Run& l : listRuns) bad = bad || (r.start < l.end() && l.start < r.end());
        if (bad) {
            corruption(path_);
            return false;
        }
        prevEnd = r.end();
    }
    s->runs = std::move(lists[0]);
    return true;
}

// Frees the memo at `block`: reads its length, then merges the run into the free space.
bool MemoFile::freeBlock(Space* s, uint32_t block) {
    const uint32_t bs = blockSize_;
    const uint64_t hdrBlocks = blocksFor(flexible_ ? kHeaderSize : kPlainHeaderSize, bs);
    uint64_t off = uint64_t(block) * bs;
    long long size = file_->size();
    unsigned char h[kBlockHeader];
    if (size < 0 || off + kBlockHeader > uint64_t(size) ||
        file_->readAt(off, h, kBlockHeader) != i64(kBlockHeader)) {
        readError(path_);
        return false;
    }
    uint32_t len = bytes::be32(h + 4);
    if (off + kBlockHeader + len > uint64_t(size)) {
        readError(path_);
        return false;
    }
    Run run{block, uint32_t(blocksFor(uint64_t(len) + kBlockHeader, bs))};
    // A run in the header, beyond the allocated space, or overlapping free space or a list block
    // means the reference or the lists are wrong; freeing it would hand out live data.
    bool bad = block < hdrBlocks || run.end() > s->nextFree;
    const uint64_t listBlocks = blocksFor(kListBytes, bs);
    for (uint32_t l : {s->sizeList, s->locList}) {
        if (l == 0) continue;
        Run lr{l / bs, uint32_t(listBlocks)};
        bad = bad || (run.start < lr.end() && lr.start < run.end());
    }
    for (const Run& r : s->runs) bad = bad || (run.start < r.end() && r.start < run.end());
    if (bad) {
        corruption(path_);
        return false;
    }

    if (!flexible_) {
        // Without free lists only space at the end can be given back.
        if (run.end() == s->nextFree) s->nextFree = run.start;
        return true;
    }
    auto it = std::lower_bound(s->runs.begin(), s->runs.end(), run,
                               [](const Run& a, const Run& b) { return a.start < b.start; });
    it = s->runs.insert(it, run);
    if (it + 1 != s->runs.end() && it->end() == (it + 1)->start) {
        it->count += (it + 1)->count;
        s->runs.erase(it + 1);
    }
    if (it != s->runs.begin() && (it - 1)->end() == it->start) {
        (it - 1)->count += it->count;
        s->runs.erase(it);
    }
    while (!s->runs.empty() && s->runs.back().end() == s->nextFree) {
        s->nextFree = s->runs.back().start;
        s->runs.pop_back();
    }
    return true;
}

// Finds room for `need` blocks: the smallest free run that is large enough (the first such run
// by location among equals), else the end of the allocated space.
bool MemoFile::allocate(Space* s, uint64_t need, uint32_t* at) {
    if (flexible_) {
        Run* best = nullptr;
        for (Run& r : s->runs)
            if (r.count >= need && (!best || r.count < best->count)) best = &r;
        if (best) {
            *at = best->start;
            best->start += uint32_t(need);
            best->count -= uint32_t(need);
            if (best->count == 0) s->runs.erase(s->runs.begin() + (best - s->runs.data()));
            return true;
        }
    }
    if (s->nextFree + need > kMaxBlock) {
        writeError(path_);
        return false;
    }
    *at = s->nextFree;
    s->nextFree += uint32_t(need);
    return true;
}

// Writes the 8-byte block header and data of a memo block, and the end byte when the data does
// not fill the last block.
bool MemoFile::writeBlock(os::File& f, uint32_t block, uint32_t type, const void* data,
                          size_t len) {
    const uint64_t off = uint64_t(block) * blockSize_;
    std::string buf(kBlockHeader + len, '\0');
    auto* p = reinterpret_cast<unsigned char*>(buf.data());
    bytes::putBe32(p, type);
    bytes::putBe32(p + 4, uint32_t(len));
    if (len != 0) std::memcpy(p + kBlockHeader, data, len);
    if (!f.writeAt(off, buf.data(), buf.size())) return false;
    uint64_t total = kBlockHeader + len;
    if (total % blockSize_ != 0) {
        uint64_t last = off + blocksFor(total, blockSize_) * blockSize_ - 1;
        if (!f.writeAt(last, &kEndByte, 1)) return false;
    }
    return true;
}

bool MemoFile::write(uint32_t oldBlock, std::string_view text, uint32_t* newBlock) {
    *newBlock = oldBlock;
    if (oldBlock == 0 && text.empty()) return true;
    if (readOnly_ || !file_->readWrite() || text.size() > kMaxBlock - kBlockHeader) {
        writeError(path_);
        return false;
    }
    WriteLock lock(*file_, shared_, path_);
    if (!lock.take()) return false;

    Space s;
    if (!loadSpace(&s)) return false;
    const std::vector<Run> before = s.runs;
    const uint32_t bs = blockSize_;

    if (oldBlock != 0 && !freeBlock(&s, oldBlock)) return false;
    uint32_t at = 0;
    if (!text.empty() && !allocate(&s, blocksFor(text.size() + kBlockHeader, bs), &at))
        return false;

    // The lists come into being the first time there is a run to keep.
    bool listsChanged = false;
    if (flexible_) {
        if (s.sizeList == 0 && !s.runs.empty()) {
            const uint64_t listBlocks = blocksFor(kListBytes, bs);
            uint32_t a = 0, b = 0;
            if (!allocate(&s, listBlocks, &a) || !allocate(&s, listBlocks, &b)) return false;
            if ((uint64_t(a) + listBlocks) * bs > 0xFFFFFFFFULL ||
                (uint64_t(b) + listBlocks) * bs > 0xFFFFFFFFULL) {
                writeError(path_);
                return false;
            }
            s.sizeList = a * bs;
            s.locList = b * bs;
            listsChanged = true;
        }
        listsChanged = listsChanged || storedRuns(s.runs, bs) != before;
    }

    // Runs that are new or changed carry a free-run header.
    for (const Run& r : s.runs) {
        if (std::find(before.begin(), before.end(), r) != before.end()) continue;
        uint64_t bytes = uint64_t(r.count) * bs;
        if (bytes < kBlockHeader) continue;
        unsigned char h[kBlockHeader];
        bytes::putBe32(h, kTypeFree);
        bytes::putBe32(h + 4, uint32_t(bytes - kBlockHeader));
        if (!file_->writeAt(uint64_t(r.start) * bs, h, kBlockHeader)) {
            writeError(path_);
            return false;
        }
    }
    if (!text.empty() && !writeBlock(*file_, at, kTypeText, text.data(), text.size())) {
        writeError(path_);
        return false;
    }

    unsigned char old[kHeaderSize];
    std::memcpy(old, s.header, kHeaderSize);
    if (listsChanged) {
        std::vector<Run> stored = storedRuns(s.runs, bs);
        unsigned char buf[kListBytes];
        const uint64_t listEnd = blocksFor(kListBytes, bs) * bs;
        for (bool bySize : {true, false}) {
            uint32_t off = bySize ? s.sizeList : s.locList;
            listBlock(buf, stored, bySize, bs);
            if (!file_->writeAt(off, buf, kListBytes) ||
                (kListBytes % bs != 0 && !file_->writeAt(off + listEnd - 1, &kEndByte, 1))) {
                writeError(path_);
                return false;
            }
        }
        bytes::putLe32(s.header + kSizeListAt, s.sizeList);
        bytes::putLe32(s.header + kLocListAt, s.locList);
        bytes::putLe32(s.header + kCounterAt, s.counter + 1);
    }
    bytes::putBe32(s.header, s.nextFree);
    if (std::memcmp(old, s.header, kHeaderSize) != 0) {
        size_t n = flexible_ ? kHeaderSize : s.headerRead;
        if (!file_->writeAt(0, s.header, n)) {
            writeError(path_);
            return false;
        }
    }
    *newBlock = at;
    return true;
}

bool MemoFile::beginPack(const std::string& sidePath) {
    if (readOnly_ || shared_ || !file_->readWrite()) return false;
    if (impl_->packFile) abortPack();
    std::unique_ptr<os::File> f = createFile(sidePath);
    if (!f) return false;
    unsigned char h[kHeaderSize];
    freshHeader(h, blockSize_);
    impl_->packFile = std::move(f);
    impl_->packPath = sidePath;
    impl_->packNext = bytes::be32(h);
    if (!impl_->packFile->writeAt(0, h, kHeaderSize)) {
        writeError(sidePath);
        abortPack();
        return false;
    }
    return true;
}

bool MemoFile::packCopy(uint32_t oldBlock, uint32_t* newBlock) {
    *newBlock = oldBlock;
    if (!impl_->packFile) return false;
    if (oldBlock == 0) return true;
    uint64_t off = uint64_t(oldBlock) * blockSize_;
    uint32_t type = 0, len = 0;
    if (!blockHeader(oldBlock, &type, &len)) return false;
    if (len == 0 && (type == kTypeText || type == kTypeRaw)) {
        *newBlock = 0;
        return true;
    }
    std::string data(len, '\0');
    if (len != 0 && file_->readAt(off + kBlockHeader, data.data(), len) != i64(len)) {
        readError(path_);
        return false;
    }
    uint64_t need = blocksFor(uint64_t(len) + kBlockHeader, blockSize_);
    if (impl_->packNext + need > kMaxBlock) {
        writeError(impl_->packPath);
        return false;
    }
    if (!writeBlock(*impl_->packFile, impl_->packNext, type, data.data(), len)) {
        writeError(impl_->packPath);
        return false;
    }
    *newBlock = impl_->packNext;
    impl_->packNext += uint32_t(need);
    return true;
}

bool MemoFile::finishPack() {
    if (!impl_->packFile) return false;
    os::File& side = *impl_->packFile;
    long long size = side.size();
    unsigned char h[4];
    bytes::putBe32(h, static_cast<uint32_t>(blocksFor(uint64_t(std::max<i64>(size, 0)), blockSize_)));
    if (size < 0 || !side.writeAt(0, h, sizeof h) || !side.sync()) {
        writeError(impl_->packPath);
        return false;
    }
    return true;
}

void MemoFile::switchToPack() {
    if (!impl_->packFile || impl_->switched) return;
    std::swap(file_, impl_->packFile);
    impl_->switched = true;
    std::swap(flexible_, impl_->oldFlexible);
    flexible_ = true;
}

void MemoFile::packDone(bool committed) {
    if (!impl_->packFile) return;
    if (committed && impl_->switched) {
        // The side file now stands under the memo file's name; the old handle goes.
        impl_->packFile.reset();
        impl_->packPath.clear();
        impl_->switched = false;
        return;
    }
    abortPack();
}

void MemoFile::abortPack() {
    if (!impl_->packFile) return;
    if (impl_->switched) {
        std::swap(file_, impl_->packFile);
        flexible_ = impl_->oldFlexible;
        impl_->switched = false;
    }
    impl_->packFile.reset();
    os::removeFile(impl_->packPath);
    impl_->packPath.clear();
}

bool MemoFile::sync() {
    if (file_->sync()) return true;
    writeError(path_);
    return false;
}

bool MemoFile::parseRef(const char* field, size_t len, uint32_t* block) {
    *block = 0;
    if (len == 4) {
        *block = bytes::le32(reinterpret_cast<const unsigned char*>(field));
        return true;
    }
    if (len == 0 || field[0] == '\0') return true;
    size_t i = 0;
    while (i < len && field[i] == ' ') ++i;
    uint64_t v = 0;
    for (; i < len; ++i) {
        char c = field[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
        if (v > kMaxBlock) return false;
    }
    *block = uint32_t(v);
    return true;
}

void MemoFile::formatRef(uint32_t block, char* field, size_t len) {
    if (len == 4) {
        bytes::putLe32(reinterpret_cast<unsigned char*>(field), block);
        return;
    }
    std::memset(field, ' ', len);
    if (block == 0) return;
    char digits[16];
    size_t n = 0;
    for (uint32_t v = block; v != 0; v /= 10) digits[n++] = char('0' + v % 10);
    if (n > len) {
        std::memset(field, '*', len);
        return;
    }
    for (size_t k = 0; k < n; ++k) field[len - 1 - k] = digits[k];
}

}  // namespace wv
