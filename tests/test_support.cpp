#include "tests/test_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace wv::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "wvtest.XXXXXX").string();
    char* p = mkdtemp(tmpl.data());
    path_ = p ? p : tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

ErrorRecorder::ErrorRecorder() {
    prev_ = setErrorHandler([this](const Error& e) {
        errors.push_back(e);
        if (e.genCode == gen::kZeroDiv) return ErrorChoice::Zero;
        if ((e.genCode == gen::kOpen && (e.osCode == 32 || e.osCode == 5) && e.canDefault) ||
            (e.genCode == gen::kAppendLock && e.canDefault))
            setNetErr(true);
        return ErrorChoice::Default;
    });
}

ErrorRecorder::~ErrorRecorder() { setErrorHandler(std::move(prev_)); }

std::string ErrorRecorder::last() const {
    if (errors.empty()) return "";
    return std::to_string(errors.back().genCode) + "/" + std::to_string(errors.back().subCode);
}


RunResult run(const std::vector<std::string>& argv, const std::string& input) {
    RunResult r;
    TempDir tmp;
    std::string inPath = tmp.file("in"), outPath = tmp.file("out"), errPath = tmp.file("err");
    writeBytes(inPath, input);
    pid_t pid = fork();
    if (pid == 0) {
        FILE* in = freopen(inPath.c_str(), "rb", stdin);
        FILE* out = freopen(outPath.c_str(), "wb", stdout);
        FILE* err = freopen(errPath.c_str(), "wb", stderr);
        if (!in || !out || !err) _exit(127);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readBytes(outPath);
    r.err = readBytes(errPath);
    return r;
}

RunResult db(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv{WV_DB_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, input);
}

EnvVar::EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

EnvVar::~EnvVar() {
    if (old_)
        ::setenv(name_, old_->c_str(), 1);
    else
        ::unsetenv(name_);
}

int pdfPages(const std::string& path) {
    const std::string bytes = readBytes(path);
    int pages = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos;
         at = bytes.find("/Type /Page", at + 1))
        pages += bytes.compare(at, 12, "/Type /Pages") != 0;
    return pages;
}

FileSizeLimit::FileSizeLimit(unsigned long long bytes) {
    savedSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    savedCur_ = r.rlim_cur;
    savedMax_ = r.rlim_max;
    r.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &r);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit r{rlim_t(savedCur_), rlim_t(savedMax_)};
    setrlimit(RLIMIT_FSIZE, &r);
    std::signal(SIGXFSZ, savedSignal_);
}

}  // namespace wv::test
