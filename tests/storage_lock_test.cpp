// The locking protocol between work areas and between processes: record, file and header locks,
// the append protocol, sharing modes and the errors that go with them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "storage/dbf.h"
#include "tests/test_support.h"

using namespace wv;
using wv::test::ErrorRecorder;
using wv::test::FileSizeLimit;
using wv::test::readBytes;
using wv::test::TempDir;
using wv::test::writeBytes;

namespace {

std::vector<FieldDef> fields() {
    return {{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}, {"DAY", 'D', 8, 0}, {"OK", 'L', 1, 0}};
}

std::unique_ptr<DbfTable> openShared(const std::string& path) {
    return DbfTable::open(path, DbfTable::OpenOptions{});
}

std::string makeTable(const TempDir& dir, uint32_t n, bool structural = false) {
    std::string path = dir.file("t.dbf");
    {
        auto t = DbfTable::create(path, fields());
        for (uint32_t k = 1; k <= n; ++k) {
            t->append();
            t->put(0, Value("R" + std::to_string(k)));
        }
    }
    if (structural) {
        std::string b = readBytes(path);
        b[28] = 0x01;
        writeBytes(path, b);
    }
    return path;
}

// One byte of a file, as another workstation would probe it: true when it can be locked now.
bool byteFree(const std::string& path, uint64_t off) {
    int err = 0;
    auto f = os::File::open(path, true, os::Share::Shared, &err);
    if (!f) return false;
    bool ok = f->lock(off, 1, true, false);
    if (ok) f->unlock(off, 1);
    return ok;
}

// A pipe to tell another process that something happened.
class Signal {
public:
    Signal() {
        if (pipe(fd_) != 0) fd_[0] = fd_[1] = -1;
    }
    ~Signal() {
        ::close(fd_[0]);
        ::close(fd_[1]);
    }
    void post() {
        char c = 1;
        (void)!::write(fd_[1], &c, 1);
    }
    void wait() {
        char c;
        (void)!::read(fd_[0], &c, 1);
    }

private:
    int fd_[2];
};

// Runs body in a child process; its result is the child's exit status.
pid_t spawn(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        int rc = 99;
        rc = body();
        _exit(rc);
    }
    return pid;
}

int join(pid_t pid) {
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 100 + WTERMSIG(st);
}

}  // namespace

TEST(Locks, LayoutOfEachScheme) {
    LockLayout s3 = lockLayout(3, true);
    EXPECT_EQ(s3.header, 0x7FFFFFFEu);
    EXPECT_EQ(s3.record(11, 162, 28), 0x7FFFFFFEu - 11);
    EXPECT_EQ(s3.fileStart, 0x77FFFFFFu);
    EXPECT_EQ(s3.fileLen, 0x07FFFFFFu);
    LockLayout s3p = lockLayout(3, false);
    EXPECT_EQ(s3p.header, 0x40000000u);
    EXPECT_EQ(s3p.record(3, 162, 28), 0x40000000u + 162 + 2 * 28);
    EXPECT_EQ(s3p.fileStart, 0x40000001u);
    EXPECT_EQ(s3p.fileLen, 0x3FFFFFFDu);
    LockLayout s1 = lockLayout(1, true);
    EXPECT_EQ(s1.record(7, 162, 28), 1000000007u);
    EXPECT_EQ(s1.fileLen, 1000000000u);
    LockLayout s4 = lockLayout(4, false);
    EXPECT_EQ(s4.header, 4000000000u);
    EXPECT_EQ(s4.fileLen, 294967295u);
    LockLayout s5 = lockLayout(5, false);
    EXPECT_EQ(s5.record(1, 0, 0), 0x7FFFFFFF00000002u);
    EXPECT_EQ(s5.fileLen, 0x7FFFFFFEu);
}

TEST(Locks, SharedAppendProtocol) {
    TempDir dir;
    std::string path = makeTable(dir, 10, true);
    auto t = openShared(path);
    ASSERT_TRUE(t);
    ASSERT_TRUE(t->structuralIndex());
    ASSERT_TRUE(t->append());
    // The new record is written at once, the header counts it, the header byte is free again
    // and record 11 stays locked.
    std::string b = readBytes(path);
    EXPECT_EQ(b.size(), 162u + 11 * 28);
    EXPECT_EQ(uint8_t(b[4]), 11);
    EXPECT_EQ(b.substr(162 + 10 * 28, 28), std::string(28, ' '));
    EXPECT_TRUE(byteFree(path, 0x7FFFFFFE));
    EXPECT_FALSE(byteFree(path, 0x7FFFFFFE - 11));
    EXPECT_EQ(t->lockList(), std::vector<uint32_t>{11});
    ASSERT_TRUE(t->put(0, Value("new")));
    t->unlockAll();
    EXPECT_TRUE(byteFree(path, 0x7FFFFFFE - 11));
    b = readBytes(path);
    EXPECT_EQ(b.substr(162 + 10 * 28, 4), " new");
    EXPECT_EQ(b.size(), 162u + 11 * 28);  // no end marker in shared mode
}

TEST(Locks, AppendWaitsForTheHeaderLock) {
    TempDir dir;
    std::string path = makeTable(dir, 1, true);
    int err = 0;
    auto holder = os::File::open(path, true, os::Share::Shared, &err);
    ASSERT_TRUE(holder->lock(0x7FFFFFFE, 1, true, false));
    Signal started;
    pid_t child = spawn([&] {
        auto t = openShared(path);
        started.post();
        return t && t->append() && t->recNo() == 2 ? 0 : 1;
    });
    started.wait();
    usleep(200000);
    // Still waiting: nothing appended yet.
    EXPECT_EQ(readBytes(path).size(), 162u + 28 + 1);
    holder->unlock(0x7FFFFFFE, 1);
    EXPECT_EQ(join(child), 0);
    EXPECT_EQ(readBytes(path).size(), 162u + 2 * 28);  // the marker gave way to record 2
}

TEST(Locks, RecordLocksBetweenWorkAreasOfOneProcess) {
    TempDir dir;
    std::string path = makeTable(dir, 10, true);
    auto a = openShared(path);
    auto b = openShared(path);
    ASSERT_TRUE(a->rlock(5));
    ASSERT_TRUE(a->rlock(5));  // already held: nothing happens
    EXPECT_FALSE(b->rlock(5));
    EXPECT_TRUE(b->rlock(6));
    EXPECT_FALSE(a->flock());  // b holds a record: no file lock
    EXPECT_TRUE(a->lockList().empty());  // the file-lock attempt dropped a's record locks
    ASSERT_TRUE(a->rlock(5));
    a->goTo(6);
    b->unlockAll();
    ASSERT_TRUE(a->rlock());  // RLOCK on 6 releases 5
    EXPECT_EQ(a->lockList(), std::vector<uint32_t>{6});
    EXPECT_TRUE(b->rlock(5));
    EXPECT_FALSE(b->flock());
    a->unlockAll();
    EXPECT_TRUE(b->flock());
    EXPECT_FALSE(a->rlock(1));
    b->unlockAll();
    // Closing one area keeps the other's locks.
    ASSERT_TRUE(a->rlock(3));
    b.reset();
    EXPECT_FALSE(byteFree(path, 0x7FFFFFFE - 3));
}

TEST(Locks, UnlockedChangeInSharedModeIsRefused) {
    TempDir dir;
    std::string path = makeTable(dir, 3);
    ErrorRecorder rec;
    {
        auto t = openShared(path);
        t->goTo(2);
        EXPECT_FALSE(t->put(0, Value("x")));
        EXPECT_EQ(rec.last(), "38/1022");
        EXPECT_FALSE(t->deleteRecord());
        EXPECT_EQ(rec.last(), "38/1022");
        ASSERT_TRUE(t->rlock());
        EXPECT_TRUE(t->put(0, Value("x")));
    }
    DbfTable::OpenOptions ex;
    ex.shared = false;
    auto t = DbfTable::open(path, ex);
    rec.clear();
    t->goTo(3);
    EXPECT_TRUE(t->put(0, Value("y")));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(t->lockList().empty());
}

TEST(Locks, AppendLockFailureSetsTheNetworkFlag) {
    TempDir dir;
    std::string path = makeTable(dir, 4, true);
    // Another workstation holds the byte the next record would lock.
    int err = 0;
    auto other = os::File::open(path, true, os::Share::Shared, &err);
    ASSERT_TRUE(other->lock(0x7FFFFFFE - 5, 1, true, false));
    auto t = openShared(path);
    setNetErr(false);
    std::vector<Error> seen;
    ScopedErrorHandler h([&](const Error& e) {
        seen.push_back(e);
        return errorSys(e);
    });
    ErrorPresenter prev = setErrorPresenter([](const Error& e) -> ErrorChoice {
        ADD_FAILURE() << "shown: " << errorMessage(e);
        return ErrorChoice::Default;
    });
    EXPECT_FALSE(t->append());
    setErrorPresenter(prev);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].genCode, 40);
    EXPECT_EQ(seen[0].subCode, 1024);
    EXPECT_EQ(seen[0].description, "Fallo en el bloqueo de adici\xF3n");
    EXPECT_TRUE(netErr());
    EXPECT_TRUE(byteFree(path, 0x7FFFFFFE));  // header lock released
    EXPECT_EQ(t->recCount(), 4u);
    setNetErr(false);
}

TEST(Locks, ExclusiveAgainstSharedFailsWithSharingViolation) {
    TempDir dir;
    std::string path = makeTable(dir, 2);
    auto shared = openShared(path);
    ASSERT_TRUE(shared);
    std::vector<Error> seen;
    ScopedErrorHandler h([&](const Error& e) {
        seen.push_back(e);
        return errorSys(e);
    });
    ErrorPresenter prev = setErrorPresenter([](const Error& e) -> ErrorChoice {
        ADD_FAILURE() << "shown: " << errorMessage(e);
        return ErrorChoice::Default;
    });
    setNetErr(false);
    DbfTable::OpenOptions ex;
    ex.shared = false;
    EXPECT_FALSE(DbfTable::open(path, ex));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].genCode, 21);
    EXPECT_EQ(seen[0].subCode, 1001);
    EXPECT_EQ(seen[0].osCode, 32);
    EXPECT_TRUE(netErr());
    setNetErr(false);

    // And the other way round, from another process.
    shared.reset();
    auto excl = DbfTable::open(path, ex);
    ASSERT_TRUE(excl);
    pid_t child = spawn([&] {
        std::vector<Error> errs;
        ScopedErrorHandler hh([&](const Error& e) {
            errs.push_back(e);
            return errorSys(e);
        });
        setErrorPresenter([](const Error&) -> ErrorChoice { _exit(3); });
        bool opened = openShared(path) != nullptr;
        return !opened && errs.size() == 1 && errs[0].osCode == 32 && netErr() ? 0 : 1;
    });
    EXPECT_EQ(join(child), 0);
    setErrorPresenter(prev);
}

TEST(Locks, ReadOnlyExclusiveOpenAlsoRespectsSharing) {
    TempDir dir;
    std::string path = makeTable(dir, 1);
    auto shared = openShared(path);
    ErrorRecorder rec;
    DbfTable::OpenOptions o;
    o.shared = false;
    o.readOnly = true;
    EXPECT_FALSE(DbfTable::open(path, o));
    EXPECT_EQ(rec.errors.back().osCode, 32);
    setNetErr(false);
}

TEST(Locks, BetweenProcessesAndReReadAfterLock) {
    TempDir dir;
    std::string path = makeTable(dir, 5, true);
    auto t = openShared(path);
    t->goTo(2);
    EXPECT_EQ(t->get(0).text(), "R2        ");  // buffer now valid
    ASSERT_TRUE(t->rlock(3));

    Signal childLocked, parentTried, childDone;
    pid_t child = spawn([&] {
        auto c = openShared(path);
        if (c->rlock(3)) return 1;  // held by the parent
        if (!c->rlock(2)) return 2;
        c->goTo(2);
        c->put(0, Value("changed"));
        c->unlockAll();
        childLocked.post();
        parentTried.wait();
        return 0;
    });
    childLocked.wait();
    // The parent still sees its old buffer until it locks; the lock re-reads the record.
    EXPECT_EQ(t->get(0).text(), "R2        ");
    ASSERT_TRUE(t->rlock(2));
    EXPECT_EQ(t->get(0).text(), "changed   ");
    parentTried.post();
    EXPECT_EQ(join(child), 0);
}

TEST(Locks, FourProcessesAppendingConcurrently) {
    TempDir dir;
    std::string path = makeTable(dir, 0, true);
    const int kProcs = 4, kEach = 2000;
    std::vector<pid_t> kids;
    for (int p = 0; p < kProcs; ++p) {
        kids.push_back(spawn([&, p] {
            auto t = openShared(path);
            if (!t) return 1;
            for (int i = 0; i < kEach; ++i) {
                if (!t->append()) return 2;
                if (!t->put(0, Value("P" + std::to_string(p) + "-" + std::to_string(i))))
                    return 3;
                t->unlockAll();
            }
            return 0;
        }));
    }
    for (pid_t k : kids) EXPECT_EQ(join(k), 0);
    auto t = openShared(path);
    ASSERT_EQ(t->recCount(), uint32_t(kProcs * kEach));
    EXPECT_EQ(t->headerCount(), uint32_t(kProcs * kEach));
    EXPECT_EQ(readBytes(path).size(), 162u + kProcs * kEach * 28);
    std::set<std::string> names;
    for (t->goTop(); !t->eof(); t->skip()) names.insert(t->get(0).text());
    EXPECT_EQ(names.size(), size_t(kProcs * kEach));
}

TEST(Locks, WriteFailureIsReported) {
    TempDir dir;
    std::string path = makeTable(dir, 2);
    pid_t child = spawn([&] {
        ErrorRecorder rec;
        auto t = openShared(path);
        FileSizeLimit full(162 + 2 * 28 + 1);
        bool ok = t->append();
        return !ok && rec.last() == "24/1011" ? 0 : 1;
    });
    EXPECT_EQ(join(child), 0);
}
