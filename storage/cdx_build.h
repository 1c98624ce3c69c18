// Building a tag in one pass: the keys of every record are sorted (in memory while they fit,
// else in sorted runs on scratch files that are merged at the end), then the tree is written
// bottom-up, each leaf filled as full as it goes and each full page giving one entry to the
// level above, until a single root remains.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/cdx_page.h"
#include "storage/platform.h"

namespace wv::cdx {

// Entries of a fixed length, the key followed by the record number big-endian, so that plain
// byte order is the tag's order (keys, then records).
class KeySorter {
public:
    // expected: the number of entries to come (it sizes the runs). Scratch files are made in the
    // directory of `beside`; they have no name and vanish with the process.
    KeySorter(int keyLen, size_t expected, std::string beside);
    ~KeySorter();

    size_t entryLength() const { return entryLen_; }
    // Room for the next entry; keep() takes it in, or the next call reuses it. False from keep()
    // when a run could not be written to its scratch file.
    uint8_t* next();
    [[nodiscard]] bool keep();
    // Gives every entry in order. False on a scratch file failure (error() says which).
    [[nodiscard]] bool drain(const std::function<void(const uint8_t* entry)>& take);
    const std::string& error() const { return error_; }

private:
    bool spill();
    void sortBuffer();

    size_t entryLen_;
    size_t runLen_;
    std::string beside_;
    std::vector<uint8_t> buf_;
    size_t used_ = 0;  // bytes of the entries kept in buf_
    std::vector<uint8_t> sorted_;
    std::vector<std::unique_ptr<os::File>> runs_;
    std::vector<uint64_t> runSizes_;
    std::string error_;
};

// Writes the pages of a tree from keys given in order. Pages are numbered by `alloc` and handed
// to `emit` as finished 512-byte images; the root comes last of all, so that a tree written over
// an old one becomes visible in a single page write.
class TreeWriter {
public:
    using Alloc = std::function<uint32_t()>;
    using Emit = std::function<void(uint32_t off, const uint8_t* raw)>;
    // maxRec sizes the leaves' key-info entries for the whole table.
    TreeWriter(int keyLen, uint8_t pad, uint32_t maxRec, Alloc alloc, Emit emit);
    void add(const uint8_t* key, uint32_t rec);
    // Closes every level. The root is written at rootAt when it is not 0 (its own page is then
    // left unused), else at the page it was given. Returns the root's offset.
    uint32_t finish(uint32_t rootAt = 0);
    // The page the root was given but did not take (written at rootAt instead), or 0.
    uint32_t unusedPage() const { return unused_; }

private:
    struct Level {
        Page page;
        int pages = 0;
    };
    void addUp(size_t lvl, const uint8_t* key, uint32_t rec, uint32_t child);
    void startLeaf(uint32_t off, uint32_t left);
    void finishLeaf(uint32_t right, bool root, uint32_t at);
    void emitPage(const Page& p, uint32_t at);

    int kl_;
    uint8_t pad_;
    LeafLayout layout_;
    Alloc alloc_;
    Emit emit_;
    std::vector<Level> levels_;
    uint8_t leaf_[kPageSize];
    uint32_t leafOff_ = 0, leafLeft_ = kNone;
    int leafN_ = 0, leafUsed_ = 0, textEnd_ = int(kPageSize);
    std::vector<uint8_t> prev_;
    uint32_t prevRec_ = 0;
    uint32_t unused_ = 0;
};

}  // namespace wv::cdx
