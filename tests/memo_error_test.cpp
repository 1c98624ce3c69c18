// Errors of the memo file, and damaged files: each gives its error and writes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "storage/fpt.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using test::readBytes;
using test::writeBytes;

std::string be32s(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string le32s(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string patched(std::string b, size_t at, const std::string& bytes) {
    return b.replace(at, bytes.size(), bytes);
}

void expectError(const Error& e, const std::string& code, const std::string& text, bool retry,
                 bool dflt, const std::string& file) {
    EXPECT_EQ(std::to_string(e.genCode) + "/" + std::to_string(e.subCode), code);
    EXPECT_EQ(e.subSystem, "DBFCDX");
    EXPECT_EQ(e.description, text);
    EXPECT_EQ(e.canRetry, retry);
    EXPECT_EQ(e.canDefault, dflt);
    EXPECT_EQ(e.fileName, file);
}

// Answers every error with Retry after running a repair.
class RetryAfter {
public:
    explicit RetryAfter(std::function<void()> repair)
        : guard_([this, repair](const Error&) {
              ++count;
              repair();
              return ErrorChoice::Retry;
          }) {}
    int count = 0;

private:
    ScopedErrorHandler guard_;
};

TEST(MemoOpenErrors, CreateAndOpen) {
    test::TempDir dir;
    std::string path = dir.file("sub/t.fpt");
    test::ErrorRecorder rec;
    EXPECT_EQ(MemoFile::create(path), nullptr);
    EXPECT_EQ(MemoFile::open(path, true, false), nullptr);
    ASSERT_EQ(rec.errors.size(), 2u);
    expectError(rec.errors[0], "20/1005", "Error de creaci\xF3n", true, false, path);
    expectError(rec.errors[1], "21/1002", "Error de apertura", true, true, path);
    EXPECT_EQ(rec.errors[1].osCode, 2);
    {
        RetryAfter retry([&] { std::filesystem::create_directory(dir.file("sub")); });
        EXPECT_NE(MemoFile::create(path), nullptr);
        EXPECT_EQ(retry.count, 1);
    }
    auto shared = MemoFile::open(path, true, false);
    rec.clear();
    EXPECT_EQ(MemoFile::open(path, false, false), nullptr);
    EXPECT_EQ(rec.errors.at(0).osCode, 32);
}

TEST(MemoOpenErrors, BadBlockSizeIsCorruption) {
    test::TempDir dir;
    std::string path = dir.file("t.fpt");
    MemoFile::create(path);
    std::string good = readBytes(path);
    for (std::string bad :
         {patched(good, 4, be32s(0)), patched(good, 4, be32s(70000)), good.substr(0, 6)}) {
        writeBytes(path, bad);
        test::ErrorRecorder rec;
        EXPECT_EQ(MemoFile::open(path, true, true), nullptr);
        ASSERT_EQ(rec.errors.size(), 1u);
        expectError(rec.errors[0], "32/1012", "Se detect\xF3 corrupci\xF3n", true, true, path);
        EXPECT_EQ(readBytes(path), bad);
    }
    RetryAfter retry([&] { writeBytes(path, good); });  // Retry reads the header again
    EXPECT_EQ(MemoFile::open(path, false, false)->blockSize(), 64u);
}

// Blocks 16-17 free, 18-19 a memo, 20-35 the size list, 36-51 the location list.
class MemoDamage : public ::testing::Test {
protected:
    void SetUp() override {
        auto m = MemoFile::create(path);
        uint32_t a = 0, b = 0;
        m->write(0, std::string(100, 'a'), &a);
        m->write(0, std::string(100, 'b'), &b);
        m->write(a, "", &a);
        good = readBytes(path);
        ASSERT_EQ(good.size(), 52u * 64);
    }
    // A write replacing `old` in the damaged file must fail with `code`, change nothing and
    // release the lock.
    void expectRefused(const std::string& damaged, uint32_t old, const std::string& code) {
        writeBytes(path, damaged);
        test::ErrorRecorder rec;
        auto m = MemoFile::open(path, true, false);
        uint32_t blk = 777;
        EXPECT_FALSE(m->write(old, std::string(30, 'n'), &blk));
        EXPECT_EQ(blk, old);
        ASSERT_EQ(rec.errors.size(), 1u);
        EXPECT_EQ(rec.last(), code);
        EXPECT_EQ(readBytes(path), damaged);
        auto other = os::File::open(path, true, os::Share::Shared, nullptr);
        EXPECT_TRUE(other->lock(0, 1, true, false));
    }
    // Both lists with their first entry replaced.
    std::string firstRun(uint32_t off, uint32_t len) const {
        return patched(patched(good, 20 * 64 + 10, le32s(len) + le32s(off)), 36 * 64 + 10,
                       le32s(off) + le32s(len));
    }

    test::TempDir dir;
    std::string path = dir.file("t.fpt");
    std::string good;
};

TEST_F(MemoDamage, ReadingBeyondTheFile) {
    std::string bad = patched(good, 18 * 64 + 4, be32s(0x7FFFFFF0));
    writeBytes(path, bad);
    auto m = MemoFile::open(path, true, true);
    for (uint32_t blk : {18u, 52u, 0xFFFFFFFFu}) {
        test::ErrorRecorder rec;
        std::string out = "junk";
        EXPECT_FALSE(m->read(blk, &out));
        EXPECT_EQ(out, "");
        ASSERT_EQ(rec.errors.size(), 1u);
        expectError(rec.errors[0], "23/1010", "Error de lectura", false, false, path);
    }
    writeBytes(path, patched(good, 18 * 64 + 4, be32s(52 * 64 - 18 * 64 - 7)));  // cut short
    test::ErrorRecorder rec;
    std::string out;
    EXPECT_FALSE(m->read(18, &out));
    EXPECT_EQ(rec.last(), "23/1010");
}

TEST_F(MemoDamage, HugeLengthIsRefusedBeforeAllocating) {
    writeBytes(path, patched(good, 18 * 64 + 4, be32s(0xFFFFFFF0)));
    auto m = MemoFile::open(path, false, false);
    // In a child with 1 GB of address space (the address sanitizer refuses such sizes itself).
    pid_t pid = fork();
    if (pid == 0) {
#if !defined(__SANITIZE_ADDRESS__)
        rlimit lim{1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &lim);
#endif
        test::ErrorRecorder rec;
        std::string out;
        uint32_t blk = 0;
        bool ok = !m->read(18, &out) && !m->write(18, "x", &blk) && m->beginPack(path + ".new") &&
                  !m->packCopy(18, &blk);
        _exit(ok && rec.errors.size() == 3 && rec.last() == "23/1010" ? 0 : 1);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_EQ(st, 0);
}

TEST_F(MemoDamage, BadReferencesAreNotFreed) {
    expectRefused(patched(good, 18 * 64 + 4, be32s(0x7FFFFFF0)), 18, "23/1010");
    expectRefused(good, 9000, "23/1010");  // past the end
    expectRefused(good, 3, "32/1012");     // inside the header
    expectRefused(good, 16, "32/1012");    // already free
    expectRefused(good, 20, "32/1012");    // a list block
    std::string longer = good + be32s(1) + be32s(4) + std::string(56, '\0');
    expectRefused(longer, 52, "32/1012");  // beyond the next free block
}

TEST_F(MemoDamage, DamagedListsAndHeader) {
    const std::string cases[] = {
        patched(good, 20 * 64, be32s(1)),         // size list of the wrong type
        patched(good, 36 * 64, be32s(1)),         // location list of the wrong type
        patched(good, 20 * 64 + 4, be32s(1009)),  // list of the wrong length
        firstRun(50 * 64, 128),                   // over the location list
        firstRun(60 * 64, 128),                   // outside the file
        firstRun(0, 128),                         // over the header
        firstRun(16 * 64 + 1, 128),               // not on a block
        firstRun(16 * 64, 0),                     // empty
        firstRun(0xFFFFFFC0, 0x80),
        patched(patched(good, 20 * 64 + 8, "\x08"), 36 * 64 + 8, "\x08"),  // count not 4n+3
        patched(patched(good, 20 * 64 + 8, "\xFF\x01"), 36 * 64 + 8, "\xFF\x01"),  // > 126
        patched(good, 524, le32s(20 * 64) + le32s(0)),                             // one list only
        patched(good, 524, le32s(20 * 64) + le32s(30 * 64)),  // lists overlapping
        patched(good, 524, le32s(20 * 64) + le32s(60 * 64)),  // list outside the file
        patched(good, 524, le32s(20 * 64 + 3) + le32s(36 * 64)),
        patched(good, 0, be32s(15)),  // next free block inside the header
        patched(good, 0, be32s(53)),  // next free block beyond the file
        patched(good, 0, be32s(0xFFFFFFFF)),
    };
    for (const auto& bad : cases) expectRefused(bad, 0, "32/1012");
    // Two runs overlapping each other.
    std::string overlap = firstRun(16 * 64, 128);
    overlap = patched(patched(overlap, 20 * 64 + 8, "\x0B"), 36 * 64 + 8, "\x0B");
    overlap = patched(overlap, 20 * 64 + 18, le32s(64) + le32s(17 * 64));
    expectRefused(patched(overlap, 36 * 64 + 18, le32s(17 * 64) + le32s(64)), 0, "32/1012");
}

TEST_F(MemoDamage, ListsCutApartByACrashFreeOnlyWhatBothCallFree) {
    // A writer stopped between the two lists: the location list says one block, the size list
    // two. Block 17 is in doubt and stays unused.
    writeBytes(path, patched(good, 36 * 64 + 14, le32s(64)));
    auto m = MemoFile::open(path, true, false);
    uint32_t blk = 0;
    ASSERT_TRUE(m->write(0, std::string(100, 'n'), &blk));
    EXPECT_EQ(blk, 52u);
    ASSERT_TRUE(m->write(0, std::string(30, 'm'), &blk));
    EXPECT_EQ(blk, 16u);
    std::string out;
    ASSERT_TRUE(m->read(18, &out));
    EXPECT_EQ(out, std::string(100, 'b'));
}

TEST_F(MemoDamage, WriteErrors) {
    test::ErrorRecorder rec;
    uint32_t blk = 0;
    EXPECT_FALSE(MemoFile::open(path, true, true)->write(0, "x", &blk));
    ASSERT_EQ(rec.errors.size(), 1u);
    expectError(rec.errors[0], "24/1011", "Error de escritura", false, false, path);
    // The file may not grow.
    auto m = MemoFile::open(path, false, false);
    bool ok;
    {
        test::FileSizeLimit full(good.size());
        ok = m->write(0, std::string(500, 'w'), &blk);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(rec.last(), "24/1011");
}

TEST_F(MemoDamage, LockFailureAndRetry) {
    auto m = MemoFile::open(path, true, false);
    // Put a read-only descriptor in place of the handle's: it cannot take a write lock.
    std::string real = std::filesystem::canonical(path).string();
    int fd = -1;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string() == real)
            fd = std::max(fd, std::stoi(e.path().filename().string()));
    }
    ASSERT_GE(fd, 0);
    int ro = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(dup2(ro, fd), fd);
    uint32_t blk = 0;
    {
        test::ErrorRecorder rec;
        EXPECT_FALSE(m->write(0, "x", &blk));
        ASSERT_EQ(rec.errors.size(), 1u);
        expectError(rec.errors[0], "41/1038", "Fallo en bloqueo", true, true, path);
        EXPECT_EQ(readBytes(path), good);
    }
    RetryAfter retry([&] {
        int rw = ::open(path.c_str(), O_RDWR);
        dup2(rw, fd);
        ::close(rw);
    });
    EXPECT_TRUE(m->write(0, "x", &blk));
    EXPECT_EQ(blk, 16u);
    EXPECT_EQ(retry.count, 1);
    ::close(ro);
}

}  // namespace
}  // namespace wv
