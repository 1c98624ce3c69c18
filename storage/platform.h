// The thin layer between the table engine and the operating system: files with positioned reads
// and writes, byte-range locks, sharing modes, and file-name lookup. This is the only place that
// talks to the OS; a Windows build replaces platform_posix.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace wv::os {

// Error numbers as the original platform reports them; the storage errors carry these.
constexpr int kNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kSharingViolation = 32;
constexpr int kFileExists = 80;

enum class Share { Shared, Exclusive };

// The byte used to enforce sharing modes between handles. No lock scheme reaches it.
constexpr uint64_t kShareLockOffset = 0x7FFFFFFFFFFFFFF0ULL;

class File {
public:
    // Opens an existing file. On failure returns null and sets *osError.
    static std::unique_ptr<File> open(const std::string& path, bool readWrite, Share share,
                                      int* osError);
    // Creates (truncating an existing file) and opens it read-write.
    static std::unique_ptr<File> create(const std::string& path, Share share, int* osError);
    // A scratch file in the directory of the given path that has no name: it goes away with
    // the handle, or with the process however that ends.
    static std::unique_ptr<File> scratch(const std::string& beside, int* osError);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Reads up to n bytes at off; returns the bytes read (short at the end of the file), or -1.
    long long readAt(uint64_t off, void* buf, size_t n);
    // Writes all n bytes at off; false when that was not possible.
    bool writeAt(uint64_t off, const void* buf, size_t n);
    // The current size, or -1 on failure.
    long long size();
    bool truncate(uint64_t size);
    bool sync();

    // Byte-range locks. Locks belong to this handle: a second handle on the same file, even in
    // this process, conflicts with them, and closing one handle leaves another's locks alone.
    // wait=false makes one attempt.
    bool lock(uint64_t off, uint64_t len, bool exclusive, bool wait);
    bool unlock(uint64_t off, uint64_t len);
    // Whether another handle holds a lock on the range that an exclusive (or, with
    // exclusive=false, a shared) lock of this handle would conflict with. Nothing is locked.
    bool lockedElsewhere(uint64_t off, uint64_t len, bool exclusive = true);

    const std::string& path() const { return path_; }
    bool readWrite() const { return readWrite_; }

private:
    File(int fd, std::string path, bool rw) : fd_(fd), path_(std::move(path)), readWrite_(rw) {}
    int fd_;
    std::string path_;
    bool readWrite_;
};

// The path with '\' read as '/', and each component that does not exist as written matched
// without regard to letter case in its directory. A component with no match is kept as given.
std::string resolvePath(const std::string& path);

bool removeFile(const std::string& path);
bool renameFile(const std::string& from, const std::string& to);
bool fileExists(const std::string& path);
// Whether the path exists exactly as written (no lookup without regard to letter case).
bool existsAsWritten(const std::string& path);
bool isDirectory(const std::string& path);
// Puts the directory entries of the directory holding path on disk (after renames).
bool syncDirectoryOf(const std::string& path);
// A name for a new temporary file beside the given one.
std::string tempPathBeside(const std::string& path, const std::string& ext);

}  // namespace wv::os
