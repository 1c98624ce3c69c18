// Index pages: leaf compression, key-info widths, interior capacity, key encodings.
#include <gtest/gtest.h>

#include <cstring>

#include "storage/cdx.h"
#include "storage/cdx_page.h"

using namespace wv;
using namespace wv::cdx;

namespace {

Page leafOf(const std::vector<std::string>& keys, const std::vector<uint32_t>& recs, int kl) {
    Page p;
    p.attr = kAttrLeaf | kAttrRoot;
    for (size_t i = 0; i < keys.size(); ++i) {
        std::string k = keys[i];
        k.resize(size_t(kl), ' ');
        p.keys.insert(p.keys.end(), k.begin(), k.end());
        p.recs.push_back(recs[i]);
    }
    return p;
}

uint32_t entry(const uint8_t* raw, int i) {
    int bytes = raw[23];
    uint32_t v = 0;
    for (int b = bytes - 1; b >= 0; --b) v = (v << 8) | raw[24 + i * bytes + b];
    return v;
}

}  // namespace

TEST(CdxPage, FreshLeafOfATenByteKey) {
    LeafLayout l = leafLayout(10, 1);
    EXPECT_EQ(l.bytes, 3);
    EXPECT_EQ(l.dupBits, 4);
    EXPECT_EQ(l.trailBits, 4);
    EXPECT_EQ(l.recBits, 16);
    EXPECT_EQ(l.recMask, 0xFFFFu);
    EXPECT_EQ(l.dupMask, 0x0F);
    // Record 65536 needs one more byte for every entry of the page.
    LeafLayout w = leafLayout(10, 65536);
    EXPECT_EQ(w.bytes, 4);
    EXPECT_EQ(w.recBits, 24);
    EXPECT_EQ(w.recMask, 0xFFFFFFu);
    // A 240-byte key: 8 bits each for duplicates and trailing.
    LeafLayout big = leafLayout(240, 1);
    EXPECT_EQ(big.dupBits, 8);
    EXPECT_EQ(big.recBits, 8);
    EXPECT_EQ(leafLayout(240, 70000).bytes, 5);

    Page p = leafOf({"A", "B"}, {1, 65536}, 10);
    uint8_t raw[kPageSize];
    ASSERT_TRUE(encode(p, 10, ' ', raw));
    EXPECT_EQ(raw[23], 4);
    EXPECT_EQ(raw[14] | raw[15] << 8 | raw[16] << 16, 0xFFFFFF);
    Page back;
    std::string why;
    ASSERT_TRUE(decode(raw, 0, 10, ' ', &back, &why)) << why;
    EXPECT_EQ(back.recs, p.recs);
    EXPECT_EQ(back.keys, p.keys);
}

TEST(CdxPage, DuplicateAndTrailingCounts) {
    Page p = leafOf({"ABC", "ABD"}, {7, 9}, 10);
    uint8_t raw[kPageSize];
    ASSERT_TRUE(encode(p, 10, ' ', raw));
    uint32_t e0 = entry(raw, 0), e1 = entry(raw, 1);
    EXPECT_EQ(e0 & 0xFFFF, 7u);
    EXPECT_EQ((e0 >> 16) & 0xF, 0u);
    EXPECT_EQ((e0 >> 20) & 0xF, 7u);
    EXPECT_EQ(e1 & 0xFFFF, 9u);
    EXPECT_EQ((e1 >> 16) & 0xF, 2u);  // shares "AB"
    EXPECT_EQ((e1 >> 20) & 0xF, 7u);  // seven blanks cut
    // Texts from the end of the page: "ABC" nearest 512, then the one stored byte "D".
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw + 509), 3), "ABC");
    EXPECT_EQ(raw[508], 'D');
    EXPECT_EQ(raw[12] | raw[13] << 8, 488 - (3 + 3) - (3 + 1));
}

TEST(CdxPage, InteriorCapacityAndRoundTrip) {
    EXPECT_EQ(interiorCapacity(10), 27u);
    EXPECT_EQ(interiorCapacity(240), 2u);
    Page p;
    p.attr = 0;
    p.left = 1024;
    p.right = kNone;
    for (int i = 0; i < 27; ++i) {
        std::string k = "K" + std::to_string(100 + i);
        k.resize(10, ' ');
        p.keys.insert(p.keys.end(), k.begin(), k.end());
        p.recs.push_back(uint32_t(i + 1));
        p.child.push_back(uint32_t(2048 + 512 * i));
    }
    uint8_t raw[kPageSize];
    ASSERT_TRUE(encode(p, 10, ' ', raw));
    Page back;
    std::string why;
    ASSERT_TRUE(decode(raw, 4096, 10, ' ', &back, &why));
    EXPECT_EQ(back.child, p.child);
    EXPECT_EQ(back.left, 1024u);
    EXPECT_EQ(raw[12 + 10 + 3], 1);  // record number big-endian
    p.recs.push_back(99);
    p.child.push_back(512);
    p.keys.resize(p.keys.size() + 10, ' ');
    EXPECT_FALSE(encode(p, 10, ' ', raw));
}

TEST(CdxPage, DamagedLeavesAreRefused) {
    Page p = leafOf({"ABC", "ABD", "XYZ"}, {1, 2, 3}, 10);
    uint8_t raw[kPageSize];
    ASSERT_TRUE(encode(p, 10, ' ', raw));
    std::string why;
    Page back;
    uint8_t bad[kPageSize];
    std::memcpy(bad, raw, kPageSize);
    bad[12] ^= 1;  // free space that does not add up
    EXPECT_FALSE(decode(bad, 0, 10, ' ', &back, &why));
    std::memcpy(bad, raw, kPageSize);
    bad[2] = 200;  // more keys than the page holds
    EXPECT_FALSE(decode(bad, 0, 10, ' ', &back, &why));
    std::memcpy(bad, raw, kPageSize);
    bad[23] = 0;
    EXPECT_FALSE(decode(bad, 0, 10, ' ', &back, &why));
    std::memcpy(bad, raw, kPageSize);
    bad[24 + 2] = 0xF0;  // first key claiming 15 trailing and a duplicate count
    EXPECT_FALSE(decode(bad, 0, 10, ' ', &back, &why));
}

TEST(CdxKeys, NumericEncoding) {
    uint8_t k[8];
    encodeNumberKey(1.0, k);
    EXPECT_EQ(std::vector<uint8_t>(k, k + 8),
              (std::vector<uint8_t>{0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
    encodeNumberKey(-1.0, k);
    EXPECT_EQ(std::vector<uint8_t>(k, k + 8),
              (std::vector<uint8_t>{0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    encodeNumberKey(0.0, k);
    EXPECT_EQ(std::vector<uint8_t>(k, k + 8), (std::vector<uint8_t>{0x80, 0, 0, 0, 0, 0, 0, 0}));
    encodeNumberKey(-0.0, k);
    EXPECT_EQ(std::vector<uint8_t>(k, k + 8), (std::vector<uint8_t>{0x80, 0, 0, 0, 0, 0, 0, 0}));
    // Byte order is numeric order.
    double vals[] = {-1e9, -2.5, -1, -0.001, 0, 0.001, 1, 2.5, 1e9};
    uint8_t prev[8];
    for (size_t i = 0; i < sizeof vals / sizeof *vals; ++i) {
        encodeNumberKey(vals[i], k);
        EXPECT_DOUBLE_EQ(decodeNumberKey(k), vals[i]);
        if (i) {
            EXPECT_LT(std::memcmp(prev, k, 8), 0) << vals[i];
        }
        std::memcpy(prev, k, 8);
    }
}
