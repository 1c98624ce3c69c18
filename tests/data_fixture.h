// What the data-layer tests share: a fresh installation made the current directory, a scripted
// operator that fails the test on an unexpected question, an error dialog that fails the test
// when it is shown, helpers to fill the tables, and a second process that holds tables and locks
// the way another workstation would.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/application.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/error.h"
#include "runtime/operator.h"
#include "tests/test_support.h"

namespace wv::test {

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One direction of talk between two processes: a byte per event.
class Pipe {
public:
    Pipe() {
        if (::pipe(fd_) != 0) fd_[0] = fd_[1] = -1;
    }
    ~Pipe() {
        ::close(fd_[0]);
        ::close(fd_[1]);
    }
    void post() {
        char c = 1;
        (void)!::write(fd_[1], &c, 1);
    }
    // False when nothing came within the time.
    bool wait(int timeoutMs) {
        pollfd p{fd_[0], POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return false;
        char c;
        return ::read(fd_[0], &c, 1) == 1;
    }

private:
    int fd_[2];
};

// Another workstation: a child process running body. The body takes hold of what it needs,
// calls ready(), and lets go when the test tells it to (awaitRelease()); it may report that it
// let go with ready() again. The child never outlives the object.
class OtherStation {
public:
    explicit OtherStation(const std::function<int(OtherStation&)>& body) {
        pid_ = ::fork();
        if (pid_ == 0) {
            // Nothing of the parent's test machinery may run here.
            setErrorHandler([](const Error&) { return ErrorChoice::Default; });
            int rc = body(*this);
            ::_exit(rc);
        }
    }
    ~OtherStation() {
        if (pid_ > 0 && !joined_) {
            release();
            join();
        }
    }
    // Child side.
    void ready() { up_.post(); }
    bool awaitRelease(int timeoutMs = 20000) { return down_.wait(timeoutMs); }
    // Parent side.
    bool awaitReady(int timeoutMs = 10000) { return up_.wait(timeoutMs); }
    void release() { down_.post(); }
    // The child's exit status (100 + signal when it was killed).
    int join() {
        if (joined_ || pid_ <= 0) return -1;
        joined_ = true;
        int st = 0;
        for (int i = 0; i < 1000; ++i) {  // at most 10 seconds, then it is stopped
            if (::waitpid(pid_, &st, WNOHANG) == pid_)
                return WIFEXITED(st) ? WEXITSTATUS(st) : 100 + WTERMSIG(st);
            ::usleep(10000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &st, 0);
        return 100 + SIGKILL;
    }

private:
    Pipe up_, down_;
    pid_t pid_ = -1;
    bool joined_ = false;
};

// A new installation in a scratch directory, which is the current directory during the test.
class InstallationTest : public ::testing::Test {
protected:
    virtual bool demo() const { return false; }

    void SetUp() override {
        oApp().setIdentity();
        applyProcessSettings();
        workspace().closeAll();
        workspace().select(1);
        std::string error;
        ASSERT_TRUE(initInstallation(dir_.path(), demo(), &error)) << error;
        prevCwd_ = std::filesystem::current_path().string();
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        op_.onUnexpected = [](const ScriptedOperator::Shown& s) {
            if (s.what != "alertbox") ADD_FAILURE() << "unexpected question: " << s.text;
        };
        scope_.emplace(op_);
        prevHandler_ = setErrorHandler(errorSys);
        prevPresenter_ = setErrorPresenter([this](const Error& e) {
            dialogs_.push_back(e);
            if (!expectDialogs_) ADD_FAILURE() << "error dialog: " << errorMessage(e);
            return ErrorChoice::Default;
        });
        setNetErr(false);
    }

    void TearDown() override {
        workspace().closeAll();
        workspace().select(1);
        setNetErr(false);
        setErrorPresenter(prevPresenter_);
        setErrorHandler(prevHandler_);
        scope_.reset();
        if (!prevCwd_.empty()) (void)!::chdir(prevCwd_.c_str());
    }

    // An absolute path inside the installation ("datos/facturas.dbf").
    std::string path(const std::string& rel) const { return dir_.file(rel); }

    // Works on a table opened exclusively in a work area of its own, so that its index follows.
    void withTable(const std::string& rel, const std::function<void(WorkArea&)>& f) {
        auto a = WorkArea::open(path(rel), "", false, false);
        ASSERT_TRUE(a) << rel;
        f(*a);
    }

    static void addRow(WorkArea& a, const std::vector<std::pair<std::string, Value>>& fields,
                       bool deleted = false) {
        ASSERT_TRUE(a.table().append());
        for (const auto& [name, v] : fields) ASSERT_TRUE(a.put(name, v)) << name;
        if (deleted) a.table().deleteRecord();
        a.table().flush();
    }

    // The text of a field of every record in record order, without trailing blanks; deleted
    // records are marked with a leading '*'.
    std::vector<std::string> column(const std::string& rel, const std::string& field) {
        std::vector<std::string> out;
        DbfTable::OpenOptions o;
        o.shared = true;
        o.readOnly = true;
        auto t = DbfTable::open(path(rel), o);
        EXPECT_TRUE(t) << rel;
        if (!t) return out;
        uint32_t n = t->recCount();
        for (uint32_t r = 1; r <= n; ++r) {
            t->goTo(r);
            std::string v = t->get(field).text();
            while (!v.empty() && v.back() == ' ') v.pop_back();
            out.push_back((t->deleted() ? "*" : "") + v);
        }
        return out;
    }

    // The names of the tags of a table's structural index, in order.
    std::vector<std::string> tagNames(const std::string& rel) {
        std::vector<std::string> out;
        auto a = WorkArea::open(path(rel), "", true, true);
        EXPECT_TRUE(a) << rel;
        if (a && a->bag())
            for (CdxTag* t : a->bag()->tags()) out.push_back(t->name());
        return out;
    }

    // The bytes of every file of the installation, by relative path.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path()))
            if (e.is_regular_file())
                out[std::filesystem::relative(e.path(), dir_.path()).string()] =
                    readBytes(e.path().string());
        return out;
    }

    TempDir dir_;
    std::string prevCwd_;
    ScriptedOperator op_;
    std::optional<ScriptedOperator::Scope> scope_;
    ErrorHandler prevHandler_;
    ErrorPresenter prevPresenter_;
    std::vector<Error> dialogs_;
    bool expectDialogs_ = false;
};

}  // namespace wv::test
