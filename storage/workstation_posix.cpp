#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "runtime/codepage.h"
#include "storage/workstation.h"

namespace wv::os {

namespace {

std::string runtimeDirectory() {
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
        struct stat st {};
        if (::stat(x, &st) == 0 && S_ISDIR(st.st_mode) && ::access(x, W_OK) == 0) return x;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/wvestor-" +
                      std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return "";
    // A directory someone else made under that name, or one others may write in, is not ours
    // to trust.
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0)
        return "";
    return dir;
}

// Names from the system arrive in UTF-8; the program's texts are code page 1252.
std::string fromSystem(std::string s, size_t limit) {
    s = fromUtf8(s);
    if (s.size() > limit) s.resize(limit);
    return s;
}

}  // namespace

bool isExeRunning(const std::string& name) {
    std::string dir = runtimeDirectory();
    if (dir.empty() || name.empty() || name.find('/') != std::string::npos) return false;
    std::string path = dir + "/" + name + ".lock";
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == ELOOP)) {
        // A lock file left by the same user under another identity (an administrator's run):
        // the directory is ours, so it is replaced. A lock held through it is not lost: the
        // copy holding it keeps its handle, but a new start no longer sees it; that is the
        // price of never staying locked out.
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0600);
    }
    if (fd < 0) return false;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLK, &fl);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return false;  // ours now; the handle stays open until the process ends
    bool held = errno == EAGAIN || errno == EACCES;
    ::close(fd);
    return held;
}

std::string computerName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) return "";
    std::string name(buf);
    // The short name, as the network knows the station.
    if (size_t dot = name.find('.'); dot != std::string::npos) name.resize(dot);
    return fromSystem(name, 15);
}

std::string networkUser() {
    if (passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return fromSystem(pw->pw_name, 249);
    if (const char* u = std::getenv("USER")) return fromSystem(u, 249);
    return "";
}

std::string systemName() {
    std::string pretty;
    std::ifstream in("/etc/os-release");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        pretty = line.substr(12);
        if (pretty.size() >= 2 && (pretty.front() == '"' || pretty.front() == '\''))
            pretty = pretty.substr(1, pretty.size() - 2);
    }
    utsname u{};
    std::string kernel = ::uname(&u) == 0 ? std::string(u.sysname) + " " + u.release : "";
    std::string out = pretty.empty() ? kernel : kernel.empty() ? pretty : pretty + " - " + kernel;
    return fromSystem(out, 250);
}

std::string readSystemFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace wv::os
