#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "storage/platform.h"

namespace wv::os {

namespace {

int osErrorFrom(int e) {
    switch (e) {
        case ENOENT: return kNotFound;
        case ENOTDIR: return kPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return kAccessDenied;
        case EEXIST: return kFileExists;
        default: return e;
    }
}

bool setLock(int fd, short type, uint64_t off, uint64_t len, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(off);
    fl.l_len = static_cast<off_t>(len);
    fl.l_pid = 0;
    for (;;) {
        if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
        if (errno == EINTR) continue;
        return false;
    }
}

// Takes the sharing byte: a shared open holds it shared, an exclusive open holds it exclusively,
// so the two kinds exclude each other between any two handles.
bool claimShare(int fd, bool canWrite, Share share) {
    if (share == Share::Exclusive)
        return canWrite ? setLock(fd, F_WRLCK, kShareLockOffset, 1, false)
                        : setLock(fd, F_RDLCK, kShareLockOffset, 1, false);
    return setLock(fd, F_RDLCK, kShareLockOffset, 1, false);
}

// An exclusive open must also fail while another handle holds the file shared. A write lock
// fails against any reader, which covers read-write handles; a read-only exclusive open cannot
// place a write lock, so it tests for readers with F_OFD_GETLK instead.
bool othersHold(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(kShareLockOffset);
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

}  // namespace

std::unique_ptr<File> File::open(const std::string& path, bool readWrite, Share share,
                                 int* osError) {
    std::string real = resolvePath(path);
    // Locks need a writable descriptor, so a read-only open still asks for one where the file
    // allows it; the table layer enforces the read-only mode itself.
    int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC);
    bool canWrite = fd >= 0;
    if (fd < 0 && !readWrite && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (osError) *osError = osErrorFrom(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (osError) *osError = kAccessDenied;
        return nullptr;
    }
    bool ok = share == Share::Exclusive && !canWrite ? !othersHold(fd) &&
                                                           claimShare(fd, canWrite, share)
                                                     : claimShare(fd, canWrite, share);
    if (!ok) {
        ::close(fd);
        if (osError) *osError = kSharingViolation;
        return nullptr;
    }
    return std::unique_ptr<File>(new File(fd, real, canWrite));
}

std::unique_ptr<File> File::create(const std::string& path, Share share, int* osError) {
    std::string real = resolvePath(path);
    // Refuse before truncating when another handle has the file open.
    int fd = ::open(real.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (osError) *osError = osErrorFrom(errno);
        return nullptr;
    }
    if (!setLock(fd, F_WRLCK, kShareLockOffset, 1, false)) {
        ::close(fd);
        if (osError) *osError = kSharingViolation;
        return nullptr;
    }
    if (ftruncate(fd, 0) != 0) {
        int e = errno;
        ::close(fd);
        if (osError) *osError = osErrorFrom(e);
        return nullptr;
    }
    if (share == Share::Shared) setLock(fd, F_RDLCK, kShareLockOffset, 1, false);
    return std::unique_ptr<File>(new File(fd, real, true));
}

std::unique_ptr<File> File::scratch(const std::string& beside, int* osError) {
    std::string real = resolvePath(beside);
    size_t slash = real.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : real.substr(0, slash + 1);
    if (dir.empty()) dir = "/";
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // File systems without unnamed files: a named one, unlinked at once.
        std::string name = tempPathBeside(beside, ".tmp");
        fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) ::unlink(name.c_str());
    }
    if (fd < 0) {
        if (osError) *osError = osErrorFrom(errno);
        return nullptr;
    }
    return std::unique_ptr<File>(new File(fd, dir, true));
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

long long File::readAt(uint64_t off, void* buf, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done,
                            static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += size_t(r);
    }
    return static_cast<long long>(done);
}

bool File::writeAt(uint64_t off, const void* buf, size_t n) {
    if (!readWrite_) return false;
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done,
                             static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) return false;
        done += size_t(r);
    }
    return true;
}

// The end-of-file offset is the size; seeking is cheaper than a stat and we never read or
// write at the file position.
long long File::size() {
    off_t end = ::lseek(fd_, 0, SEEK_END);
    return end < 0 ? -1 : static_cast<long long>(end);
}

bool File::truncate(uint64_t size) { return ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool File::sync() { return fdatasync(fd_) == 0; }

bool File::lock(uint64_t off, uint64_t len, bool exclusive, bool wait) {
    short type = exclusive && readWrite_ ? F_WRLCK : F_RDLCK;
    return setLock(fd_, type, off, len, wait);
}

bool File::unlock(uint64_t off, uint64_t len) { return setLock(fd_, F_UNLCK, off, len, false); }

bool File::lockedElsewhere(uint64_t off, uint64_t len, bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(off);
    fl.l_len = static_cast<off_t>(len);
    // When the question cannot be asked, the holder is taken to be alive.
    if (fcntl(fd_, F_OFD_GETLK, &fl) != 0) return true;
    return fl.l_type != F_UNLCK;
}

std::string resolvePath(const std::string& in) {
    std::string path = in;
    for (char& c : path)
        if (c == '\\') c = '/';
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) == 0) return path;

    // Walk the components, matching each missing one without regard to case.
    std::string out;
    size_t i = 0;
    if (path[0] == '/') {
        out = "/";
        i = 1;
    }
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string comp = path.substr(i, j - i);
        if (!comp.empty()) {
            std::string dir = out.empty() ? "." : out;
            std::string candidate = out + comp;
            if (comp != "." && comp != ".." && ::stat(candidate.c_str(), &st) != 0) {
                if (DIR* d = ::opendir(dir.c_str())) {
                    while (dirent* e = ::readdir(d)) {
                        if (strcasecmp(e->d_name, comp.c_str()) == 0) {
                            comp = e->d_name;
                            break;
                        }
                    }
                    ::closedir(d);
                }
            }
            out += comp;
        }
        if (j < path.size()) out += '/';
        i = j + 1;
    }
    return out;
}

bool removeFile(const std::string& path) { return ::unlink(resolvePath(path).c_str()) == 0; }

bool renameFile(const std::string& from, const std::string& to) {
    return ::rename(resolvePath(from).c_str(), to.c_str()) == 0;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(resolvePath(path).c_str(), &st) == 0;
}

bool existsAsWritten(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(resolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool syncDirectoryOf(const std::string& path) {
    std::string real = resolvePath(path);
    size_t slash = real.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : real.substr(0, slash + 1);
    if (dir.empty()) dir = "/";
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a directory
    ::close(fd);
    return ok;
}

std::string tempPathBeside(const std::string& path, const std::string& ext) {
    static std::atomic<unsigned> counter{0};
    std::string base = resolvePath(path);
    size_t slash = base.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : base.substr(0, slash + 1);
    char name[64];
    std::snprintf(name, sizeof name, "wv%05d%03u%s", int(getpid() % 100000), counter++ % 1000,
                  ext.c_str());
    return dir + name;
}

}  // namespace wv::os
