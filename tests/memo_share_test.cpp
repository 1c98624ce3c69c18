// Memo files shared between handles and processes: writers serialise on the write lock and read
// the header again under it; reading and exclusive use take no lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "storage/fpt.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using namespace std::chrono_literals;

// Runs fn in a child process: true when it returned true within the time allowed.
bool finishesWithin(const std::function<bool()>& fn, std::chrono::milliseconds limit) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn() ? 0 : 1);
    auto until = std::chrono::steady_clock::now() + limit;
    int st = 0;
    while (waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// Starts a write on another thread and tells whether it is still waiting after a while.
class PendingWrite {
public:
    PendingWrite(MemoFile& m, std::string text)
        : thread_([this, &m, text] {
              ok_ = m.write(0, text, &block_);
              done_ = true;
          }) {
        std::this_thread::sleep_for(300ms);
    }
    bool waiting() const { return !done_; }
    uint32_t finish() {
        thread_.join();
        EXPECT_TRUE(ok_);
        return block_;
    }

private:
    std::atomic<bool> done_{false};
    bool ok_ = false;
    uint32_t block_ = 0;
    std::thread thread_;
};

class MemoShare : public ::testing::Test {
protected:
    void SetUp() override { MemoFile::create(path); }
    test::TempDir dir;
    std::string path = dir.file("t.fpt");
};

TEST_F(MemoShare, HandlesSeeEachOthersAllocations) {
    auto h1 = MemoFile::open(path, true, false), h2 = MemoFile::open(path, true, false);
    uint32_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(h1->write(0, std::string(100, 'a'), &a) && h2->write(0, "b", &b));
    EXPECT_EQ(b, 18u);
    ASSERT_TRUE(h2->write(0, "c", &c) && h1->write(b, "", &b));  // b's block enters the lists
    ASSERT_TRUE(h2->write(0, "d", &c));
    EXPECT_EQ(c, 18u);
    std::string out;
    ASSERT_TRUE(h2->read(a, &out));
    EXPECT_EQ(out, std::string(100, 'a'));
}

TEST_F(MemoShare, WriterWaitsForAnotherHandleInTheProcess) {
    auto holder = os::File::open(path, true, os::Share::Shared, nullptr);
    auto m = MemoFile::open(path, true, false);
    ASSERT_TRUE(holder->lock(0, 1, true, false));
    PendingWrite w(*m, "waited");
    EXPECT_TRUE(w.waiting());
    holder->unlock(0, 1);
    EXPECT_EQ(w.finish(), 16u);
    EXPECT_TRUE(holder->lock(0, 1, true, false));  // released after the write
}

TEST_F(MemoShare, WriterWaitsForAnotherProcessAndSeesItsWork) {
    int up[2], down[2];
    ASSERT_TRUE(pipe(up) == 0 && pipe(down) == 0);
    auto m = MemoFile::open(path, true, false);  // opening reads the header under a lock
    pid_t pid = fork();
    if (pid == 0) {
        auto f = os::File::open(path, true, os::Share::Shared, nullptr);
        char c = f && f->lock(0, 1, true, false) ? 'L' : 'x';
        if (::write(up[1], &c, 1) != 1 || ::read(down[0], &c, 1) != 1) _exit(1);
        // Stores "kid!" in block 16 as another workstation would.
        std::string blk = std::string("\0\0\0\x01\0\0\0\x04kid!", 12) + std::string(52, '\0');
        bool ok = f->writeAt(1024, blk.data(), 64) && f->writeAt(0, "\0\0\0\x11", 4);
        _exit(ok && f->unlock(0, 1) ? 0 : 1);
    }
    char c = 0;
    ASSERT_EQ(::read(up[0], &c, 1), 1);
    ASSERT_EQ(c, 'L');
    PendingWrite w(*m, "parent");
    EXPECT_TRUE(w.waiting());
    ASSERT_EQ(::write(down[1], "g", 1), 1);
    EXPECT_EQ(w.finish(), 17u);
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_EQ(st, 0);
    std::string out;
    ASSERT_TRUE(m->read(16, &out));
    EXPECT_EQ(out, "kid!");
    for (int fd : {up[0], up[1], down[0], down[1]}) ::close(fd);
}

TEST_F(MemoShare, ConcurrentWritersNeverOverlap) {
    auto h1 = MemoFile::open(path, true, false), h2 = MemoFile::open(path, true, false);
    std::vector<std::pair<uint32_t, std::string>> live[2];
    auto work = [&](MemoFile* h, int who) {
        for (int i = 0; i < 200; ++i) {
            std::string text(size_t(20 + (i * 37 + who * 11) % 300), char('a' + who));
            uint32_t blk = 0;
            if (!h->write(0, text, &blk)) return;
            live[who].push_back({blk, text});
            if (i % 3 == 2) {
                auto victim = live[who].begin() + long(size_t(i) % live[who].size());
                if (!h->write(victim->first, "", &blk)) return;
                live[who].erase(victim);
            }
        }
    };
    std::thread t1(work, h1.get(), 0), t2(work, h2.get(), 1);
    t1.join();
    t2.join();
    std::set<uint32_t> seen;
    for (auto& l : live) {
        EXPECT_EQ(l.size(), 134u);
        for (auto& [blk, text] : l) {
            std::string out;
            EXPECT_TRUE(seen.insert(blk).second && h1->read(blk, &out) && out == text);
        }
    }
}

TEST_F(MemoShare, ReadingAndExclusiveUseTakeNoLock) {
    uint32_t blk = 0;
    MemoFile::open(path, false, false)->write(0, "stored", &blk);
    auto reader = MemoFile::open(path, true, true);
    // Another program holds the lock byte (without the sharing byte of this system's opens).
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_len = 1;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &fl), 0);
    std::string out;
    EXPECT_TRUE(finishesWithin([&] { return reader->read(blk, &out) && out == "stored"; }, 2s));
    auto openShared = [&] { return MemoFile::open(path, true, true) != nullptr; };
    EXPECT_FALSE(finishesWithin(openShared, 300ms));  // the header is read under the lock
    reader.reset();
    EXPECT_TRUE(finishesWithin(
        [&] {
            auto m = MemoFile::open(path, false, false);
            return m && m->write(0, "x", &blk) && m->write(blk, "", &blk);
        },
        2s));
    ::close(fd);
    EXPECT_TRUE(finishesWithin(openShared, 2s));
}

}  // namespace
}  // namespace wv
