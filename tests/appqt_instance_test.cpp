// The one-copy rule between real processes of the program: a second start shows its notice and
// ends without a log line while the first runs on, whatever directory or letter case it was
// started with; a first copy killed outright does not block the next start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/test_support.h"

namespace wv {
namespace {

using Clock = std::chrono::steady_clock;

class InstanceTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Nothing started here outlives the test, whatever failed.
        for (auto& c : children_)
            if (!c.reaped) {
                ::kill(c.pid, SIGKILL);
                int status = 0;
                ::waitpid(c.pid, &status, 0);
                c.reaped = true;
            }
    }

    // Starts the program from `exe` in the scratch directory, headless, with a run-time
    // directory of the test's own (so that a copy running on this machine does not count). Its
    // output goes to files of the scratch directory. Returns its index among the children.
    size_t start(const std::string& exe) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string v = *e;
            if (v.rfind("XDG_RUNTIME_DIR=", 0) != 0 && v.rfind("QT_QPA_PLATFORM=", 0) != 0)
                env.push_back(v);
        }
        env.push_back("XDG_RUNTIME_DIR=" + runtime_.path());
        env.push_back("QT_QPA_PLATFORM=offscreen");
        std::vector<char*> envp;
        for (auto& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string arg0 = exe;
        char* argv[] = {arg0.data(), nullptr};

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addchdir_np(&fa, dir_.path().c_str());
        std::string out = dir_.file("stdout.txt"), err = dir_.file("stderr.txt");
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&fa);
        EXPECT_EQ(rc, 0) << exe;
        children_.push_back({pid});
        return children_.size() - 1;
    }
    size_t logLines() {
        std::string log = dir_.file("wVestor32.log");
        if (!std::filesystem::exists(log)) return 0;
        std::string bytes = test::readBytes(log);
        size_t n = 0;
        for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2))
            ++n;
        return n;
    }
    bool waitForLogLines(size_t n, int seconds = 30) {
        auto until = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < until) {
            if (logLines() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // Reaps the child when it has ended; true while it runs.
    bool running(size_t c) {
        Child& ch = children_[c];
        if (ch.reaped) return false;
        int status = 0;
        if (::waitpid(ch.pid, &status, WNOHANG) != ch.pid) return true;
        ch.reaped = true;
        ch.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    // Waits for the child to end; its exit status, or -1 when it did not end in time.
    int waitEnd(size_t c, int seconds) {
        auto until = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < until) {
            if (!running(c)) return children_[c].status;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    void kill(size_t c) {
        Child& ch = children_[c];
        if (ch.reaped) return;
        ::kill(ch.pid, SIGKILL);
        int status = 0;
        ::waitpid(ch.pid, &status, 0);
        ch.reaped = true;
    }
    std::string stderrText() {
        std::string f = dir_.file("stderr.txt");
        return std::filesystem::exists(f) ? test::readBytes(f) : "";
    }

    struct Child {
        pid_t pid;
        bool reaped = false;
        int status = -1;
    };
    std::vector<Child> children_;
    test::TempDir dir_;
    test::TempDir runtime_;
};

TEST_F(InstanceTest, SecondCopyShowsTheNoticeAndEndsWhileTheFirstRunsOn) {
    size_t first = start(WV_PROGRAM);
    ASSERT_TRUE(waitForLogLines(1)) << stderrText();
    ASSERT_TRUE(running(first));

    // The same program under another directory and letter case is the same program.
    std::filesystem::create_directories(dir_.file("otra"));
    std::string alias = dir_.file("otra/WvEstor");
    std::filesystem::create_symlink(WV_PROGRAM, alias);
    auto t0 = Clock::now();
    size_t second = start(alias);
    int status = waitEnd(second, 60);
    auto shown = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_EQ(status, 0) << stderrText();
    EXPECT_GE(shown, 3.9);  // the notice stays its four seconds
    EXPECT_EQ(logLines(), 1u);
    EXPECT_TRUE(running(first));

    // Killed outright, the first copy leaves nothing that blocks the next start.
    kill(first);
    size_t third = start(WV_PROGRAM);
    EXPECT_TRUE(waitForLogLines(2)) << stderrText();
    EXPECT_TRUE(running(third));
    kill(third);
    EXPECT_EQ(logLines(), 2u);
}

}  // namespace
}  // namespace wv
