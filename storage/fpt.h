// FPT memo files: the texts of a table's memo fields, kept in runs of fixed-size blocks with two
// free lists inside the file (the "FlexFile3" variant). The table refers to a memo by the number
// of its first block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "storage/platform.h"

namespace wv {

class MemoFile {
public:
    static constexpr uint32_t kDefaultBlockSize = 64;
    static constexpr size_t kHeaderSize = 1024;

    // Creates a memo file holding a fresh header (truncating an existing one) and opens it
    // exclusively. Raises 20/1005 (retry offered); null when it could not be created.
    static std::unique_ptr<MemoFile> create(const std::string& path,
                                            uint32_t blockSize = kDefaultBlockSize);
    // Opens an existing memo file with the table's sharing and read-only mode. Raises 21/1002
    // (retry and default offered), 32/1012 (retry and default offered) for a block size of 0 or
    // above 64 KB, or 41/1038 when the header's read lock cannot be taken; null on failure.
    // A file without the flexible mark is used without free lists and with a 512-byte header.
    static std::unique_ptr<MemoFile> open(const std::string& path, bool shared, bool readOnly);
    ~MemoFile();

    // The text of the memo starting at `block` (0: empty). Raises 23/1010 when the block cannot
    // be read in full; false after an error. Blocks of types other than text read as empty.
    bool read(uint32_t block, std::string* out);
    // Replaces the memo at oldBlock (0: none) by text and gives the block that now holds it in
    // *newBlock (0 for an empty text). Takes the memo write lock in shared mode. Raises 41/1038,
    // 24/1011 (also on a read-only handle), 23/1010 (old memo unreadable) or 32/1012 (damaged
    // header or free lists, or an old memo that is not allocated space); false after an error,
    // with *newBlock left as oldBlock. Errors found before writing leave the file untouched.
    bool write(uint32_t oldBlock, std::string_view text, uint32_t* newBlock);

    // Pack and zap, driven by the table while it writes its new file beside the old one:
    // beginPack creates the new memo file at sidePath (a fresh header), packCopy copies each memo
    // the kept records refer to (giving its new block; 0 for an empty one; 23/1010 for a memo
    // that cannot be read), finishPack completes and syncs it. switchToPack makes the memo work
    // on the new file (the table is switched at the same time); packDone(true) then lets the old
    // handle go once the new file stands under the memo file's name, and packDone(false) or
    // abortPack goes back to the old file and removes the new one. beginPack refuses (false, no
    // error) a shared or read-only handle.
    bool beginPack(const std::string& sidePath);
    bool packCopy(uint32_t oldBlock, uint32_t* newBlock);
    bool finishPack();
    void switchToPack();
    void packDone(bool committed);
    void abortPack();

    // Asks the OS to put the file's buffers on disk.
    bool sync();

    uint32_t blockSize() const { return blockSize_; }
    bool flexible() const { return flexible_; }
    const std::string& path() const { return path_; }

    // A memo reference as it stands in a 10-byte table field: the block number right-aligned in
    // blanks; ten blanks (or a field starting with NUL) mean no memo. parseRef gives false for
    // anything else (a corruption). 4-byte fields hold the number in binary, little-endian.
    static bool parseRef(const char* field, size_t len, uint32_t* block);
    static void formatRef(uint32_t block, char* field, size_t len);

private:
    bool blockHeader(uint32_t block, uint32_t* type, uint32_t* len);
    MemoFile() = default;
    struct Impl;
    struct Space;
    bool loadSpace(Space* s);
    bool freeBlock(Space* s, uint32_t block);
    bool allocate(Space* s, uint64_t need, uint32_t* at);
    bool writeBlock(os::File& f, uint32_t block, uint32_t type, const void* data, size_t len);

    std::unique_ptr<Impl> impl_;
    std::unique_ptr<os::File> file_;
    std::string path_;
    uint32_t blockSize_ = kDefaultBlockSize;
    bool flexible_ = false;
    bool shared_ = false;
    bool readOnly_ = false;
};

}  // namespace wv
