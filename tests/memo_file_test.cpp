// The memo file's layout: block placement and end bytes, references, free lists, files written by
// other programs, pack and zap.
#include <gtest/gtest.h>

#include <filesystem>

#include "storage/fpt.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using test::readBytes;
using test::writeBytes;
using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

uint32_t be32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3]));
}
uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
std::string be32s(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
// A header as written by this or another program, `size` bytes long.
std::string header(uint32_t next, uint32_t bs, bool flex, size_t size = 1024) {
    std::string h = be32s(next) + be32s(bs) + std::string("Quindle\0", 8);
    h.resize(size, '\0');
    if (flex) h.replace(512, 11, std::string("FlexFile3\x03\x00", 11));
    return h;
}
// A memo block as written: padding left zero but for the end byte.
std::string block(uint32_t type, const std::string& data, uint32_t bs) {
    std::string b = be32s(type) + be32s(uint32_t(data.size())) + data;
    size_t used = b.size();
    b.resize((used + bs - 1) / bs * bs, '\0');
    if (used != b.size()) b.back() = char(0xAF);
    return b;
}
std::string ref(uint32_t blk) {
    char f[10];
    MemoFile::formatRef(blk, f, 10);
    return std::string(f, 10);
}
std::string blocksOf(uint32_t n) {
    return std::string(n * 64 - 8, 'm');
}  // exactly n blocks

class MemoFileTest : public ::testing::Test {
protected:
    void SetUp() override { m = MemoFile::create(path); }
    uint32_t put(const std::string& text, uint32_t old = 0) {
        uint32_t blk = 0;
        EXPECT_TRUE(m->write(old, text, &blk));
        return blk;
    }
    std::string get(uint32_t blk) {
        std::string out = "junk";
        EXPECT_TRUE(m->read(blk, &out));
        return out;
    }
    std::string bytes() const { return readBytes(path); }
    void reopen(bool shared, bool readOnly) {
        m.reset();
        m = MemoFile::open(path, shared, readOnly);
        ASSERT_TRUE(m);
    }
    // The (first, second) pairs of the list block named at header offset 524 or 528, after
    // checking its frame: type, length, count field, 0xAD filling, end byte.
    Pairs list(size_t at) const {
        std::string b = bytes();
        size_t off = le32(b, at);
        unsigned n = (uint8_t(b[off + 8]) | uint8_t(b[off + 9]) << 8) / 4;
        EXPECT_EQ(be32(b, off), 1000u);
        EXPECT_EQ(be32(b, off + 4), 1010u);
        EXPECT_EQ(uint8_t(b[off + 8]) % 4, 3);
        EXPECT_EQ(b.substr(off + 10 + 8 * n, 1008 - 8 * n), std::string(1008 - 8 * n, '\xAD'));
        EXPECT_EQ(uint8_t(b[off + 1023]), 0xAF);
        Pairs out;
        for (unsigned k = 0; k < n; ++k)
            out.push_back({le32(b, off + 10 + 8 * k), le32(b, off + 14 + 8 * k)});
        return out;
    }

    test::TempDir dir;
    std::string path = dir.file("t.fpt");
    std::unique_ptr<MemoFile> m;
};

TEST_F(MemoFileTest, BlocksEndBytesAndTheNextFreeBlock) {
    EXPECT_EQ(bytes(), header(16, 64, true));
    // 56 bytes fill block 16 exactly.
    uint32_t a = put(std::string(56, 'a'));
    EXPECT_EQ(ref(a), "        16");
    EXPECT_EQ(bytes(), header(17, 64, true) + block(1, std::string(56, 'a'), 64));
    // 57 bytes take two blocks; only the last byte of the padding is written.
    uint32_t b = put(std::string(57, 'b'));
    EXPECT_EQ(b, 17u);
    EXPECT_EQ(bytes().substr(17 * 64), block(1, std::string(57, 'b'), 64));
    EXPECT_EQ(be32(bytes(), 0), 19u);
    // Emptying the last memo gives its blocks back without touching the lists.
    EXPECT_EQ(put(std::string(100, 'c'), b), 17u);
    EXPECT_EQ(ref(put("", 17)), "          ");
    EXPECT_EQ(be32(bytes(), 0), 17u);
    EXPECT_EQ(bytes().substr(524, 12), std::string(12, '\0'));
    EXPECT_EQ(put("", 0), 0u);
    std::string big(70000, '\xAF');
    EXPECT_EQ(get(put(big)), big);
}

TEST(MemoRef, DecimalAndBinaryReferences) {
    for (auto [field, want] :
         std::vector<std::pair<std::string, int64_t>>{{"        16", 16},
                                                      {"          ", 0},
                                                      {std::string("\0 junk 123", 10), 0},
                                                      {"0000000016", 16},
                                                      {"4294967295", 4294967295},
                                                      {"      12 3", -1},
                                                      {"  16      ", -1},
                                                      {"      -16 ", -1},
                                                      {std::string("        1\0", 10), -1},
                                                      {"4294967296", -1}}) {
        uint32_t blk = 7;
        EXPECT_EQ(MemoFile::parseRef(field.data(), 10, &blk), want >= 0) << field;
        if (want >= 0) {
            EXPECT_EQ(blk, uint32_t(want)) << field;
        }
    }
    EXPECT_EQ(ref(4294967295u), "4294967295");
    char f[4];
    MemoFile::formatRef(0x01020304, f, 4);
    uint32_t blk = 0;
    EXPECT_EQ(std::string(f, 4), "\x04\x03\x02\x01");
    EXPECT_TRUE(MemoFile::parseRef(f, 4, &blk));
    EXPECT_EQ(blk, 0x01020304u);
}

TEST_F(MemoFileTest, FirstFreedRunCreatesBothLists) {
    uint32_t a = put(blocksOf(2));
    put(blocksOf(2));
    EXPECT_EQ(put(blocksOf(2), a), a);  // same size: rewritten in place, no lists needed
    EXPECT_EQ(le32(bytes(), 524), 0u);
    put("", a);
    std::string f = bytes();
    // The size list, then the location list, 16 blocks each, from the end; counter 1.
    EXPECT_EQ(le32(f, 524), 20u * 64);
    EXPECT_EQ(le32(f, 528), 36u * 64);
    EXPECT_EQ(le32(f, 532), 1u);
    EXPECT_EQ(be32(f, 0), 52u);
    EXPECT_EQ(f.size(), 52u * 64);
    EXPECT_EQ(f.substr(20 * 64 + 1018, 5), std::string(5, '\0'));
    EXPECT_EQ(list(524), (Pairs{{128, 1024}}));
    EXPECT_EQ(list(528), (Pairs{{1024, 128}}));
    EXPECT_EQ(f.substr(1024, 8), be32s(1001) + be32s(120));
}

TEST_F(MemoFileTest, MergingAndGivingBackTheEnd) {
    uint32_t a = put(blocksOf(2)), b = put(blocksOf(3)), c = put(blocksOf(1));
    put("end");
    put("", a);
    put("", c);
    EXPECT_EQ(list(524), (Pairs{{64, 21 * 64}, {128, 16 * 64}}));
    put("", b);  // joins both neighbours
    EXPECT_EQ(list(528), (Pairs{{16 * 64, 6 * 64}}));
    EXPECT_EQ(bytes().substr(16 * 64, 8), be32s(1001) + be32s(6 * 64 - 8));
    EXPECT_EQ(le32(bytes(), 532), 3u);
    // Two runs at the end, merged, lower the next free block; a lone one leaves the lists alone.
    uint32_t v = put(blocksOf(7)), u = put(blocksOf(7)), next = be32(bytes(), 0);
    put("", v);
    put("", u);
    EXPECT_EQ(be32(bytes(), 0), next - 14);
    EXPECT_EQ(list(528), (Pairs{{16 * 64, 6 * 64}}));
    EXPECT_EQ(le32(bytes(), 532), 5u);
    put("", put(blocksOf(7)));
    EXPECT_EQ(le32(bytes(), 532), 5u);
}

TEST_F(MemoFileTest, BestFitFromTheStartOfTheSmallestRun) {
    std::vector<uint32_t> runs;
    for (uint32_t n : {3u, 1u, 2u, 2u}) {
        runs.push_back(put(blocksOf(n)));
        put("k");
    }
    for (uint32_t r : runs) put("", r);  // runs at 16 (3 blocks), 20 (1), 22 (2), 25 (2)
    EXPECT_EQ(list(524), (Pairs{{64, 20 * 64}, {128, 22 * 64}, {128, 25 * 64}, {192, 16 * 64}}));
    reopen(true, false);  // the lists are read back
    EXPECT_EQ(put(blocksOf(2)), 22u);
    EXPECT_EQ(put("x"), 20u);
    EXPECT_EQ(put("y"), 25u);
    EXPECT_EQ(bytes().substr(26 * 64, 8), be32s(1001) + be32s(56));
    EXPECT_EQ(list(528), (Pairs{{16 * 64, 192}, {26 * 64, 64}}));
    EXPECT_EQ(put(blocksOf(4)), be32(bytes(), 0));  // nothing fits: the end
}

TEST_F(MemoFileTest, OnlyThe126LargestRunsAreListed) {
    std::vector<uint32_t> runs;
    for (uint32_t n = 1; n <= 130; ++n) {
        runs.push_back(put(blocksOf(n)));
        put("k");
    }
    for (uint32_t r : runs) put("", r);
    Pairs size = list(524), loc = list(528);
    ASSERT_EQ(size.size(), 126u);
    ASSERT_EQ(loc.size(), 126u);
    for (size_t i = 0; i < size.size(); ++i) {
        EXPECT_EQ(size[i].first, (i + 5) * 64);
        EXPECT_EQ(loc[i].second, (i + 5) * 64);  // larger runs lie further on
    }
    reopen(false, false);
    EXPECT_EQ(put("x") * 64, size[0].second);  // the forgotten runs are not used
}

TEST(MemoForeign, BlockSize512) {
    test::TempDir dir;
    std::string path = dir.file("t.fpt");
    writeBytes(path, header(3, 512, true) + block(1, "hello", 512));
    auto m = MemoFile::open(path, true, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->blockSize(), 512u);
    uint32_t blk = 0, gone = 0;
    ASSERT_TRUE(m->write(0, std::string(600, 'q'), &blk));
    EXPECT_EQ(blk, 3u);
    ASSERT_TRUE(m->write(2, "", &gone));  // lists of two blocks each
    std::string b = readBytes(path);
    EXPECT_EQ(be32(b, 0), 9u);
    EXPECT_EQ(uint8_t(b[5 * 512 - 1]), 0xAF);
    EXPECT_EQ(le32(b, 524), 5u * 512);
    EXPECT_EQ(le32(b, 528), 7u * 512);
    EXPECT_EQ(b.substr(2 * 512, 8), be32s(1001) + be32s(504));
}

TEST(MemoForeign, BlockSizeInTwoBytesAndOtherTypes) {
    test::TempDir dir;
    std::string path = dir.file("t.fpt");
    std::string h = header(10, 0, true);
    h[7] = char(128);
    writeBytes(path, h + block(1, "two", 128) + block(2, "typed", 128));
    auto m = MemoFile::open(path, false, false);
    ASSERT_EQ(m->blockSize(), 128u);
    std::string out = "junk";
    ASSERT_TRUE(m->read(9, &out));
    EXPECT_EQ(out, "");  // a typed value of the flexible variant is no text
    uint32_t blk = 0;
    ASSERT_TRUE(m->write(9, "three", &blk));
    EXPECT_EQ(blk, 9u);
    ASSERT_TRUE(m->read(8, &out));
    EXPECT_EQ(out, "two");
    EXPECT_EQ(readBytes(path).substr(4, 4), std::string("\0\0\0\x80", 4));
}

TEST(MemoForeign, WithoutFreeListsOnlyTheEndIsReused) {
    test::TempDir dir;
    std::string path = dir.file("t.fpt");
    std::string file = header(12, 64, false, 512) + block(1, "first", 64) +
                       block(0, std::string(100, 'r'), 64) + block(1, "last", 64);
    writeBytes(path, file);
    auto m = MemoFile::open(path, false, false);
    EXPECT_FALSE(m->flexible());
    std::string out;
    ASSERT_TRUE(m->read(9, &out));  // raw bytes read as text
    EXPECT_EQ(out, std::string(100, 'r'));
    uint32_t blk = 0;
    ASSERT_TRUE(m->write(9, "", &blk));
    EXPECT_EQ(readBytes(path), file);  // lost until pack
    ASSERT_TRUE(m->write(11, std::string(60, 's'), &blk));
    EXPECT_EQ(blk, 11u);
    std::string b = readBytes(path);
    EXPECT_EQ(be32(b, 0), 13u);
    EXPECT_EQ(b.substr(4, 8 * 64 + 60), file.substr(4, 8 * 64 + 60));  // header stops at 512
}

size_t filesIn(const std::string& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST_F(MemoFileTest, PackWritesTheLiveMemosToTheNewFileAndLeavesTheOldOneAlone) {
    uint32_t a = put(std::string(100, 'a')), b = put(std::string(56, 'b')),
             c = put(std::string(57, 'c'));
    put("", b);
    ASSERT_EQ(be32(bytes(), 0), 53u);
    std::string before = bytes();
    std::string side = path + ".new";
    ASSERT_TRUE(m->beginPack(side));
    uint32_t nc = 0, na = 0, none = 1;
    ASSERT_TRUE(m->packCopy(c, &nc));
    m->abortPack();  // leaves everything as it was
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(filesIn(dir.path()), 1u);
    EXPECT_FALSE(m->packCopy(c, &nc));

    ASSERT_TRUE(m->beginPack(side));
    ASSERT_TRUE(m->packCopy(c, &nc) && m->packCopy(a, &na) && m->packCopy(0, &none));
    EXPECT_EQ(std::vector<uint32_t>({nc, na, none}), std::vector<uint32_t>({16, 18, 0}));
    ASSERT_TRUE(m->finishPack());
    EXPECT_EQ(bytes(), before);  // until the swap, the memo file is untouched
    EXPECT_EQ(readBytes(side), header(20, 64, true) + block(1, std::string(57, 'c'), 64) +
                                   block(1, std::string(100, 'a'), 64));
    // Switched and then given up, the memo goes back to its old file.
    m->switchToPack();
    m->packDone(false);
    EXPECT_FALSE(std::filesystem::exists(side));
    std::string out;
    ASSERT_TRUE(m->read(a, &out));
    EXPECT_EQ(out, std::string(100, 'a'));
    // Closing in the middle of a pack drops the new file.
    ASSERT_TRUE(m->beginPack(side));
    m.reset();
    EXPECT_EQ(filesIn(dir.path()), 1u);
    // Shared or read-only handles cannot pack.
    for (bool shared : {true, false})
        EXPECT_FALSE(MemoFile::open(path, shared, !shared)->beginPack(side));
}

}  // namespace
}  // namespace wv
