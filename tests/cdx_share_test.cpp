// One index shared by two processes: a writer changing and adding keys under record locks, a
// reader seeking, walking and counting at the same time. Every lock the reader takes checks the
// change counter, so it never works from pages another process has since rewritten, and since
// records are written before their keys it never meets a key whose record is not there yet.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "data/workarea.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMovable = 20;  // records 1..20 get new keys from the writer
constexpr uint32_t kStable = 20;   // records 21..40 keep theirs
constexpr uint32_t kStart = kMovable + kStable;

std::string key(char prefix, uint32_t n) {
    char b[16];
    std::snprintf(b, sizeof b, "%c%05u", prefix, n);
    return b;
}

// A writer in a child process, talking to the parent through two pipes. The child opens the
// table itself after the fork, so that no descriptor and no lock is shared with the parent.
class Writer {
public:
    // body gets the child's work area and returns its exit status.
    explicit Writer(const std::function<int(WorkArea&, Writer&)>& body, const std::string& path) {
        if (pipe(up_) != 0 || pipe(down_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            ::close(up_[0]);
            ::close(down_[1]);
            test::ErrorRecorder errors;
            int status = 3;
            {
                auto a = WorkArea::open(path, "", true, false);
                if (a) status = body(*a, *this);
            }
            if (status == 0 && !errors.errors.empty()) status = 2;
            _exit(status);
        }
        ::close(up_[1]);
        ::close(down_[0]);
    }
    ~Writer() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {up_[0], down_[1]}) ::close(fd);
    }
    bool started() const { return pid_ > 0; }

    // Child side.
    bool tell(uint32_t v) { return ::write(up_[1], &v, sizeof v) == sizeof v; }
    bool waitGo() {
        char c;
        return ::read(down_[0], &c, 1) == 1;
    }
    // Parent side.
    bool heard(uint32_t* v) { return ::read(up_[0], v, sizeof *v) == sizeof *v; }
    bool go() { return ::write(down_[1], "g", 1) == 1; }
    // Waits for the child's exit (at most `limit`); its exit status, or -1.
    int finish(std::chrono::milliseconds limit = 10s) {
        auto until = Clock::now() + limit;
        int st = 0;
        while (waitpid(pid_, &st, WNOHANG) == 0) {
            if (Clock::now() > until) return -1;
            std::this_thread::sleep_for(2ms);
        }
        reaped_ = true;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    // True once the child has exited (without reaping it).
    bool done() {
        siginfo_t info{};
        return waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == pid_;
    }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int up_[2] = {-1, -1}, down_[2] = {-1, -1};
};

// Writer steps: a new record with its key, or a movable record's key changed under its lock.
bool appendKey(WorkArea& a, const std::string& k, uint32_t n) {
    DbfTable& t = a.table();
    if (!t.append()) return false;
    bool ok = t.put("K", Value(k)) && t.put("N", Value::number(n)) && t.flush();
    t.unlockAll();
    return ok;
}
bool changeKey(WorkArea& a, uint32_t rec, const std::string& k) {
    DbfTable& t = a.table();
    if (!t.goTo(rec) || !t.rlock()) return false;
    bool ok = t.put("K", Value(k)) && t.flush();
    t.unlockAll();
    return ok;
}

class CdxShare : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("compartida.dbf");

    void SetUp() override {
        auto t = DbfTable::create(path, {{"K", 'C', 8, 0}, {"N", 'N', 8, 0}});
        ASSERT_TRUE(t);
        for (uint32_t r = 1; r <= kStart; ++r) {
            ASSERT_TRUE(t->append());
            t->put("K", Value(key(r <= kMovable ? 'A' : 'B', r)));
            t->put("N", Value::number(r));
        }
        t->close();
        t.reset();
        auto a = WorkArea::open(path, "", false, false);
        ASSERT_TRUE(a);
        ASSERT_TRUE(a->createTag({"K", "K", "", false, false, false}));
        ASSERT_TRUE(a->createTag({"N", "N", "", false, true, false}));
    }

    std::unique_ptr<WorkArea> openReader() {
        auto a = WorkArea::open(path, "", true, true);
        EXPECT_TRUE(a && a->bag() && a->setOrder("K"));
        return a;
    }
};

// The writer runs free while the reader walks: every entry a walk gives has its record, walks
// go strictly up in (key, record) order however the tree changes under them, key counts never
// go down, and the records nobody touches are always found.
TEST_F(CdxShare, ReaderNeverSeesAKeyWithoutItsRecord) {
    constexpr uint32_t kRounds = 1000;
    test::ErrorRecorder errors;
    auto reader = openReader();
    ASSERT_TRUE(reader);
    CdxTag* k = reader->bag()->tag("K");
    DbfTable& table = reader->table();

    Writer w(
        [](WorkArea& a, Writer&) {
            for (uint32_t i = 1; i <= kRounds; ++i) {
                // New keys land all over the tree: before, between and after the others.
                char prefix = "0AMBZ"[i % 5];
                if (!appendKey(a, key(prefix, i), i)) return 10;
                if (i % 3 == 0 && !changeKey(a, 1 + i % kMovable, key("CXY"[(i / 3) % 3], i)))
                    return 11;
            }
            return 0;
        },
        path);
    ASSERT_TRUE(w.started());

    uint32_t lastCount = 0, walks = 0, keysSeen = 0;
    size_t bad = 0;
    auto until = Clock::now() + 8s;
    bool writerDone = false;
    while (!writerDone && Clock::now() < until) {
        writerDone = w.done();  // one more pass after the writer ends
        std::vector<uint8_t> prevKey;
        uint32_t prevRec = 0, n = 0;
        for (uint32_t r = k->first(); r; r = k->next()) {
            const CdxEntry& e = k->current();
            if (r > table.recCount()) {
                ADD_FAILURE() << "key " << std::string(e.key.begin(), e.key.end())
                              << " gives record " << r << " of " << table.recCount();
                ++bad;
            }
            if (n && !(prevKey < e.key || (prevKey == e.key && prevRec < r))) {
                ADD_FAILURE() << "walk went back at " << std::string(e.key.begin(), e.key.end());
                ++bad;
            }
            prevKey = e.key;
            prevRec = r;
            if (++n > 10 * (kStart + kRounds)) break;
        }
        keysSeen += n;
        uint32_t count = k->keyCount();
        EXPECT_GE(count, lastCount);
        EXPECT_LE(count, kStart + kRounds);
        lastCount = count;
        uint32_t stable = kMovable + 1 + walks % kStable;
        EXPECT_TRUE(reader->seek(Value(key('B', stable)), false)) << stable;
        EXPECT_EQ(reader->recNo(), stable);
        // A step from the stable record lands on a record that exists.
        reader->skip(walks % 2 ? 1 : -1);
        EXPECT_LE(reader->recNo(), table.recCount() + 1);
        ++walks;
        if (bad > 5) break;
    }
    EXPECT_TRUE(writerDone) << "the writer did not finish in time";
    EXPECT_EQ(w.finish(), 0);
    EXPECT_GT(walks, 1u);
    EXPECT_GT(keysSeen, 0u);

    // Once it is over the reader sees exactly the writer's result.
    EXPECT_EQ(k->keyCount(), kStart + kRounds);
    EXPECT_EQ(reader->bag()->tag("N")->keyCount(), kStart + kRounds);
    EXPECT_TRUE(reader->seek(Value(key('Z', kRounds - 1)), false));
    EXPECT_EQ(reader->recNo(), kStart + kRounds - 1);
    const uint32_t lastChange = kRounds / 60 * 60;  // of record 1
    EXPECT_TRUE(reader->seek(Value(key("CXY"[lastChange / 3 % 3], lastChange)), false));
    EXPECT_EQ(reader->recNo(), 1u);
    EXPECT_TRUE(reader->bag()->checkStructure().empty());
    EXPECT_TRUE(errors.errors.empty()) << errors.last();
}

// Round by round: the reader has the pages where the next key goes in its cache; after the
// writer's round its next lock sees a new change counter, and its seeks find the new key and
// no longer the changed one.
TEST_F(CdxShare, EachRoundOfAnotherProcessIsSeenAtTheNextLock) {
    constexpr uint32_t kRounds = 40;
    test::ErrorRecorder errors;
    auto reader = openReader();
    ASSERT_TRUE(reader);
    CdxTag* k = reader->bag()->tag("K");
    CdxTag* n = reader->bag()->tag("N");

    Writer w(
        [](WorkArea& a, Writer& me) {
            for (uint32_t i = 1; i <= kRounds; ++i) {
                if (!me.waitGo()) return 20;
                if (!appendKey(a, key('A', 100 + i), 100 + i)) return 21;
                if (!changeKey(a, i % kMovable + 1, key('M', i))) return 22;
                if (!me.tell(a.table().recCount())) return 23;
            }
            return 0;
        },
        path);
    ASSERT_TRUE(w.started());

    for (uint32_t i = 1; i <= kRounds; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        uint32_t moved = i % kMovable + 1;
        // Warm the cache on the leaves the writer is about to change.
        EXPECT_FALSE(reader->seek(Value(key('A', 100 + i)), false));
        std::string oldKey = i > kMovable ? key('M', i - kMovable) : key('A', moved);
        EXPECT_TRUE(reader->seek(Value(oldKey), false)) << oldKey;
        EXPECT_EQ(reader->recNo(), moved);
        uint32_t countBefore = k->keyCount();
        uint32_t counter = reader->bag()->changeCounter();

        ASSERT_TRUE(w.go());
        uint32_t recs = 0;
        ASSERT_TRUE(w.heard(&recs));
        EXPECT_EQ(recs, kStart + i);

        EXPECT_TRUE(reader->seek(Value(key('A', 100 + i)), false));
        EXPECT_NE(reader->bag()->changeCounter(), counter);
        EXPECT_EQ(reader->recNo(), kStart + i);
        EXPECT_FALSE(reader->seek(Value(oldKey), false)) << oldKey;
        EXPECT_TRUE(reader->seek(Value(key('M', i)), false));
        EXPECT_EQ(reader->recNo(), moved);
        EXPECT_EQ(k->keyCount(), countBefore + 1);
        EXPECT_EQ(n->keyCount(), kStart + i);
        // The descending numeric tag has the new record first.
        EXPECT_EQ(n->first(), kStart + i);
    }
    EXPECT_EQ(w.finish(), 0);
    EXPECT_TRUE(reader->bag()->checkStructure().empty());
    EXPECT_TRUE(errors.errors.empty()) << errors.last();
}

// Another workstation has written a record and not yet its keys (a table handle without the
// index does just that): the record's key is now before the entry the index still has for it.
// A walk through the order must still end, each record once, both ways.
TEST_F(CdxShare, AWalkEndsWhileAnotherWorkstationsKeysAreStillOld) {
    test::ErrorRecorder errors;
    auto reader = openReader();
    ASSERT_TRUE(reader);
    {
        auto other = DbfTable::open(path);
        ASSERT_TRUE(other && other->goTo(2) && other->rlock());
        ASSERT_TRUE(other->put("K", Value(key('A', 0))) && other->flush());  // before record 1's
        other->close();
    }
    auto walk = [&](bool forward) {
        std::vector<uint32_t> seen;
        for (forward ? reader->goTop() : reader->goBottom();
             !reader->eof() && !reader->bof() && seen.size() <= 2 * kStart;
             reader->skip(forward ? 1 : -1))
            seen.push_back(reader->recNo());
        return seen;
    };
    for (bool forward : {true, false}) {
        SCOPED_TRACE(forward ? "forwards" : "backwards");
        std::vector<uint32_t> seen = walk(forward);
        EXPECT_LE(seen.size(), kStart) << "the walk went round in circles";
        std::sort(seen.begin(), seen.end());
        EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
    }
    EXPECT_TRUE(errors.errors.empty()) << errors.last();
}

// Readers exclude writers: while the reader holds its lock the writer's keys wait (its record
// is written already), and they arrive as soon as the lock goes.
TEST_F(CdxShare, AWriterWaitsForTheReadersLock) {
    test::ErrorRecorder errors;
    auto reader = openReader();
    ASSERT_TRUE(reader);
    CdxTag* k = reader->bag()->tag("K");
    ASSERT_EQ(k->keyCount(), kStart);

    ASSERT_TRUE(reader->bag()->lockRead());
    Writer w(
        [](WorkArea& a, Writer& me) {
            if (!me.tell(0)) return 30;
            return appendKey(a, key('A', 999), 999) ? 0 : 31;
        },
        path);
    ASSERT_TRUE(w.started());
    uint32_t dummy;
    ASSERT_TRUE(w.heard(&dummy));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(w.done());
    EXPECT_EQ(k->keyCount(), kStart);  // under the same lock nothing moved
    reader->bag()->unlockRead();
    EXPECT_EQ(w.finish(5s), 0);
    EXPECT_EQ(k->keyCount(), kStart + 1);
    EXPECT_TRUE(reader->seek(Value(key('A', 999)), false));
    EXPECT_EQ(reader->recNo(), kStart + 1);
    EXPECT_TRUE(errors.errors.empty()) << errors.last();
}

}  // namespace
}  // namespace wv
