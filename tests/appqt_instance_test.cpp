// The one-copy rule between real processes of the program: a second start shows its notice and
// ends without a log line while the first runs on, whatever directory or letter case it was
// started with; a first copy killed outright does not block the next start.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/test_support.h"

namespace wv {
namespace {

using Clock = std::chrono::steady_clock;

class InstanceTest : public ::testing::Test {
protected:
    // Starts the program from `exe` in the scratch directory, headless, with a run-time
    // directory of the test's own (so that a copy running on this machine does not count).
    pid_t start(const std::string& exe) {
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(dir_.path().c_str()) != 0) ::_exit(127);
            ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            std::string err = dir_.file("stderr.txt");
            FILE* f = std::freopen(err.c_str(), "a", stderr);
            (void)f;
            ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
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
    static bool running(pid_t pid) {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) == 0;
    }
    // Waits for the process to end; its exit status, or -1 when it did not end in time.
    static int waitEnd(pid_t pid, int seconds) {
        auto until = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < until) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    static void kill(pid_t pid) {
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    std::string stderrText() {
        std::string f = dir_.file("stderr.txt");
        return std::filesystem::exists(f) ? test::readBytes(f) : "";
    }

    test::TempDir dir_;
    test::TempDir runtime_;
};

TEST_F(InstanceTest, SecondCopyShowsTheNoticeAndEndsWhileTheFirstRunsOn) {
    pid_t first = start(WV_PROGRAM);
    ASSERT_TRUE(waitForLogLines(1)) << stderrText();
    ASSERT_TRUE(running(first));

    // The same program under another directory and letter case is the same program.
    std::filesystem::create_directories(dir_.file("otra"));
    std::string alias = dir_.file("otra/WvEstor");
    std::filesystem::create_symlink(WV_PROGRAM, alias);
    auto t0 = Clock::now();
    pid_t second = start(alias);
    int status = waitEnd(second, 60);
    auto shown = std::chrono::duration<double>(Clock::now() - t0).count();
    if (status == -1) kill(second);
    EXPECT_EQ(status, 0) << stderrText();
    EXPECT_GE(shown, 3.9);  // the notice stays its four seconds
    EXPECT_EQ(logLines(), 1u);
    EXPECT_TRUE(running(first));

    // Killed outright, the first copy leaves nothing that blocks the next start.
    kill(first);
    pid_t third = start(WV_PROGRAM);
    EXPECT_TRUE(waitForLogLines(2)) << stderrText();
    EXPECT_TRUE(running(third));
    kill(third);
    EXPECT_EQ(logLines(), 2u);
}

}  // namespace
}  // namespace wv
