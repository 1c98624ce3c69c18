// Helpers shared by the test programs: scratch directories, file bytes, a recording error
// handler, and running the data-file tool.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/error.h"

namespace wv::test {

// A fresh empty directory under the system's temporary directory, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A full disk for as long as the object lives: no file of this process grows past `bytes` (the
// write that would is cut short and fails; the signal it raises is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long savedCur_ = 0, savedMax_ = 0;
    void (*savedSignal_)(int) = nullptr;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

// Records every error raised while installed and answers with the standard rules of the handler
// (network conditions, division by zero), otherwise Default.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    std::vector<Error> errors;
    // The codes of the last error as "gen/sub", or "" when none was raised.
    std::string last() const;
    void clear() { errors.clear(); }

private:
    ErrorHandler prev_;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs a program with arguments (no shell), standard input from `input`.
RunResult run(const std::vector<std::string>& argv, const std::string& input = "");
// Sets an environment variable (or removes it, given no value) for the object's lifetime.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The number of pages of a PDF file (its page objects).
int pdfPages(const std::string& path);

// Runs the data-file tool.
RunResult db(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace wv::test
