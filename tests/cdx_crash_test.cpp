// A station that dies in the middle of a write: what it leaves on disk, and what the next station
// makes of it. The deaths are real (a child process ends without closing anything) or the exact
// bytes such a death leaves.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include "data/workarea.h"
#include "storage/bytes.h"
#include "storage/platform.h"
#include "storage/swap.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

// Runs f in a child process that then ends at once, as if killed: nothing is flushed or
// unlocked by the program (f keeps its work areas alive by releasing them).
void dieAfter(const std::function<void()>& f) {
    pid_t pid = fork();
    if (pid == 0) {
        f();
        _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
}

class CrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("t.dbf");
        auto t = DbfTable::create(path, {{"ID", 'C', 6, 0}, {"NOMBRE", 'C', 12, 0}, {"NOTA", 'M', 10, 0}});
        ASSERT_TRUE(t);
        t.reset();
        auto a = area(false);
        for (int i = 1; i <= 300; ++i) {
            ASSERT_TRUE(a->table().append());
            a->put("ID", Value(id(i)));
            a->put("NOMBRE", Value("N" + std::to_string(i * 7 % 300)));
            a->put("NOTA", Value("nota de " + id(i) + std::string(size_t(i % 90), '.')));
        }
        ASSERT_TRUE(a->createTag({"ID", "ID", "", false, false, false}));
        ASSERT_TRUE(a->createTag({"NOMBRE", "NOMBRE", "!EMPTY(NOMBRE)", false, false, false}));
    }
    static std::string id(int i) {
        char b[8];
        std::snprintf(b, sizeof b, "R%05d", i);
        return b;
    }
    std::unique_ptr<WorkArea> area(bool shared = true) {
        return WorkArea::open(path, "", shared, false);
    }
    // Every tag holds exactly the keys of the records, and the trees are whole.
    void expectSound() {
        auto a = area();
        ASSERT_TRUE(a && a->bag());
        EXPECT_EQ(a->bag()->checkStructure(), std::vector<std::string>{});
        for (CdxTag* t : a->bag()->tags()) {
            std::multiset<std::pair<std::string, uint32_t>> want, got;
            std::string key(size_t(t->keyLength()), ' ');
            for (uint32_t r = 1; r <= a->recCount(); ++r) {
                a->table().goTo(r);
                const char* rec = a->table().recordBuffer();
                if (!t->expressions()->forHolds(rec, r)) continue;
                t->expressions()->key(rec, r, reinterpret_cast<uint8_t*>(key.data()));
                want.emplace(key, r);
            }
            EXPECT_TRUE(t->forEach([&](const uint8_t* k, uint32_t r) {
                got.emplace(std::string(reinterpret_cast<const char*>(k), key.size()), r);
                return true;
            }));
            EXPECT_EQ(got, want) << t->name();
        }
    }
    std::string memoOf(WorkArea& a, uint32_t r) {
        a.goTo(r);
        return a.get("NOTA").text();
    }
    TempDir dir;
    std::string path;
};

TEST_F(CrashTest, AnAppendCutOffBeforeItsKeysIsKeyedByTheNextWriter) {
    dieAfter([&] {
        WorkArea* a = area().release();
        a->table().append();
        a->put("ID", Value(std::string("R99999")));
        a->put("NOMBRE", Value(std::string("ZZ")));
    });  // the blank record is in the file, its fields and keys are not
    {
        auto a = area();
        ASSERT_TRUE(a->table().append());
        a->put("ID", Value(std::string("R00301")));
        a->table().unlockAll();
    }
    expectSound();
    auto a = area();
    EXPECT_EQ(a->recCount(), 302u);
    a->setOrder("ID");
    EXPECT_TRUE(a->seek(Value(std::string("R00301"))));
}

TEST_F(CrashTest, AnIndexMadeBeforeTheMarksGetsThemAtItsFirstWrite) {
    std::string cdx = dir.file("t.cdx");
    std::string bytes = readBytes(cdx);
    std::memset(&bytes[300], 0, 200);  // as an index made by an earlier version or another program
    writeBytes(cdx, bytes);
    {
        // A key amid the others: one page per tag changes, so no busy mark is needed.
        auto a = area();
        ASSERT_TRUE(a->table().append());
        a->put("ID", Value(std::string("R0029Z")));
        a->table().unlockAll();
    }
    ASSERT_EQ(readBytes(cdx).compare(300, 4, "WVcx"), 0);
    // From then on an append cut off before its keys is found like any other.
    dieAfter([&] {
        WorkArea* a = area().release();
        a->table().append();
    });
    {
        auto a = area();
        ASSERT_TRUE(a->table().append());
        a->table().unlockAll();
    }
    expectSound();
}

TEST_F(CrashTest, AnAppendStillAtWorkElsewhereIsLeftToItsWriter) {
    auto slow = area();
    ASSERT_TRUE(slow->table().append());  // locked, blank, not yet keyed
    {
        auto other = area();
        ASSERT_TRUE(other->table().append());
        other->put("ID", Value(std::string("R00302")));
        other->table().unlockAll();
    }
    slow->put("ID", Value(std::string("R00301")));
    slow->put("NOMBRE", Value(std::string("LENTO")));
    slow->table().unlockAll();
    slow.reset();
    expectSound();  // one key each, the filled one
}

TEST_F(CrashTest, AChangeCutOffBetweenTheRecordAndItsKeysIsRepaired) {
    // What a death after the record's write and before the index pages leaves: record 5 marked
    // in the index header, and the record with its new key.
    std::string cdx = dir.file("t.cdx");
    std::string head = readBytes(cdx);
    ASSERT_EQ(head.compare(300, 4, "WVcx"), 0);
    head[306] = 1;
    std::memcpy(&head[312], "\x05\x00\x00\x00", 4);
    writeBytes(cdx, head);
    std::string dbf = readBytes(path);
    uint32_t hl = bytes::le16(reinterpret_cast<const uint8_t*>(&dbf[8]));
    uint32_t rl = bytes::le16(reinterpret_cast<const uint8_t*>(&dbf[10]));
    std::memcpy(&dbf[hl + 4 * rl + 1], "X00005", 6);
    writeBytes(path, dbf);

    auto a = area();
    a->setOrder("ID");
    EXPECT_TRUE(a->seek(Value(std::string("X00005"))));
    EXPECT_FALSE(a->seek(Value(std::string("R00005"))));
    a.reset();
    expectSound();
    EXPECT_EQ(readBytes(cdx).substr(304, 4), std::string(4, '\0')) << "marks taken off";
}

TEST_F(CrashTest, ABusyMarkMakesTheNextReaderRebuildBeforeReading) {
    // A tree torn mid-write: the root of tag ID zeroed, the busy flag on.
    std::string cdx = dir.file("t.cdx");
    uint32_t header = area()->bag()->tag("ID")->headerOffset();
    std::string bytes = readBytes(cdx);
    uint32_t root = bytes::le32(reinterpret_cast<const uint8_t*>(&bytes[header]));
    std::memset(&bytes[root], 0, 512);
    ASSERT_EQ(bytes.compare(300, 4, "WVcx"), 0);
    bytes[304] = 1;
    writeBytes(cdx, bytes);
    expectSound();
    EXPECT_EQ(readBytes(cdx)[304], 0);
}

TEST_F(CrashTest, AMemoReplacedByACutOffWriteStaysWithItsRecord) {
    dieAfter([&] {
        WorkArea* a = area().release();
        a->goTo(7);
        ASSERT_TRUE(a->table().rlock());
        a->put("NOTA", Value(std::string("otra nota, nunca escrita en el registro")));
    });
    // The old memo is still the record's, and new memos do not take its place.
    auto a = area();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(a->table().append());
        a->put("NOTA", Value(std::string(size_t(i * 13 % 200), 'x')));
        a->table().unlockAll();
    }
    EXPECT_EQ(memoOf(*a, 7), "nota de R00007" + std::string(7, '.'));
}

TEST_F(CrashTest, APackThatFailsLeavesEveryFileAsItWas) {
    {
        auto a = area(false);
        for (uint32_t r = 2; r <= 300; r += 2) {
            a->goTo(r);
            a->table().deleteRecord();
        }
    }
    // A live record whose memo reference is not a number.
    std::string dbf = readBytes(path);
    uint32_t hl = bytes::le16(reinterpret_cast<const uint8_t*>(&dbf[8]));
    uint32_t rl = bytes::le16(reinterpret_cast<const uint8_t*>(&dbf[10]));
    std::memcpy(&dbf[hl + 250 * rl + 1 + 18], "  12 x    ", 10);
    writeBytes(path, dbf);
    std::string before[3] = {readBytes(path), readBytes(dir.file("t.fpt")),
                             readBytes(dir.file("t.cdx"))};
    test::ErrorRecorder rec;
    {
        auto a = area(false);
        EXPECT_FALSE(a->table().pack());
        EXPECT_EQ(rec.last(), "32/1012");
        EXPECT_EQ(a->recCount(), 300u);
        EXPECT_EQ(memoOf(*a, 3), "nota de R00003" + std::string(3, '.'));
    }
    EXPECT_EQ(readBytes(path), before[0]);
    EXPECT_EQ(readBytes(dir.file("t.fpt")), before[1]);
    EXPECT_EQ(readBytes(dir.file("t.cdx")), before[2]);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST_F(CrashTest, TheNextOpenerFinishesACommittedSwapAndUndoesAnUnfinishedOne) {
    std::string files[3] = {path, dir.file("t.fpt"), dir.file("t.cdx")};
    std::string old[3], packed[3];
    for (int i = 0; i < 3; ++i) old[i] = readBytes(files[i]);
    {
        auto a = area(false);
        for (uint32_t r = 1; r <= 150; ++r) {
            a->goTo(r);
            a->table().deleteRecord();
        }
        ASSERT_TRUE(a->table().pack());
    }
    for (int i = 0; i < 3; ++i) packed[i] = readBytes(files[i]);
    auto files_in_dir = [&] { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); };
    // The new files beside the old ones as a swap leaves them, the table's own rename done or not.
    auto lay = [&](char state, bool tableRenamed) {
        for (int i = 0; i < 3; ++i) writeBytes(files[i], old[i]);
        for (int i = tableRenamed ? 1 : 0; i < 3; ++i) writeBytes(FileSwap::sidePath(files[i]), packed[i]);
        if (tableRenamed) writeBytes(path, packed[0]);
        writeBytes(FileSwap::markPath(path),
                   std::string("wvswap ") + state + "\nt.fpt\nt.cdx\nt.dbf\nend\n");
    };
    for (bool renamed : {false, true}) {
        lay('C', renamed);
        auto a = area();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->recCount(), 150u);
        EXPECT_EQ(memoOf(*a, 1), "nota de R00151" + std::string(151 % 90, '.'));
        a.reset();
        expectSound();
        EXPECT_EQ(files_in_dir(), 3);
    }
    // Never committed: the side files go and the old files stand, but only once no one holds
    // the table (its writer could be at work).
    lay('B', false);
    int err = 0;
    auto writer = os::File::open(path, true, os::Share::Exclusive, &err);
    ASSERT_TRUE(writer);
    {
        test::ErrorRecorder rec;
        EXPECT_FALSE(area());
    }
    EXPECT_TRUE(std::filesystem::exists(FileSwap::markPath(path)));
    writer.reset();
    EXPECT_EQ(area()->recCount(), 300u);
    EXPECT_EQ(files_in_dir(), 3);
    expectSound();
}

TEST_F(CrashTest, ARebuildKeepsForeignOptionBitsAndRefusesToDropADamagedTag) {
    std::string cdx = dir.file("t.cdx");
    uint32_t nameHeader = 0;
    {
        auto a = area();
        for (CdxTag* t : a->bag()->tags())
            if (t->name() == "NOMBRE") nameHeader = t->headerOffset();
    }
    std::string bytes = readBytes(cdx);
    bytes[nameHeader + 14] = char(uint8_t(bytes[nameHeader + 14]) | 0x02);
    writeBytes(cdx, bytes);
    {
        auto a = area(false);
        ASSERT_TRUE(a->reindex());
        EXPECT_EQ(a->bag()->tag("NOMBRE")->options() & 0x02, 0x02);
        nameHeader = a->bag()->tag("NOMBRE")->headerOffset();
    }
    // A tag whose expression no longer fits the table: not loaded, named, and not dropped.
    bytes = readBytes(cdx);
    std::memcpy(&bytes[nameHeader + 512], "NOSUCHFIELD", 12);
    bytes[nameHeader + 510] = 12;
    bytes[nameHeader + 504] = 12;
    writeBytes(cdx, bytes);
    test::ErrorRecorder rec;
    auto a = area(false);
    ASSERT_EQ(a->bag()->damagedTags().size(), 1u);
    EXPECT_EQ(a->bag()->damagedTags()[0].first, "NOMBRE");
    EXPECT_FALSE(a->reindex());
    EXPECT_EQ(rec.last(), "32/1012");
    a.reset();
    EXPECT_EQ(readBytes(cdx), bytes);
}

}  // namespace
}  // namespace wv
