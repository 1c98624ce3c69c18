// An index written by another program, without its table: its tag and every key, both ways.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "storage/cdx.h"
#include "tests/test_support.h"

using namespace wv;

TEST(CdxForeign, WalksEveryKeyOfAForeignIndex) {
    // The index lives with the shared fixtures beside the repository, which a fresh clone may
    // not have.
    std::string fixture = std::string(WV_SOURCE_DIR) + "/../shared/fixtures/foreign-cdx/prrolls.cdx";
    if (!std::filesystem::exists(fixture))
        fixture = std::string(WV_SOURCE_DIR) + "/../../shared/fixtures/foreign-cdx/prrolls.cdx";
    if (!std::filesystem::exists(fixture))
        GTEST_SKIP() << "fixture ../shared/fixtures/foreign-cdx/prrolls.cdx not found";
    test::TempDir dir;
    std::string copy = dir.file("prrolls.cdx");
    std::filesystem::copy_file(fixture, copy);
    std::string before = test::readBytes(copy);

    test::ErrorRecorder rec;
    auto bag = CdxBag::open(copy, nullptr, {});
    ASSERT_TRUE(bag) << rec.last();
    ASSERT_EQ(bag->tags().size(), 1u);
    CdxTag* t = bag->tags()[0];
    EXPECT_EQ(t->name(), "SKIDROLL");
    EXPECT_EQ(t->keyExpr(), "sono+STR(skidno,4)+STR(rollno,4)");
    EXPECT_EQ(t->forExpr(), "");
    EXPECT_EQ(t->keyLength(), 18);
    EXPECT_FALSE(t->descending());

    std::vector<std::pair<std::string, uint32_t>> fwd;
    t->forEach([&](const uint8_t* k, uint32_t r) {
        fwd.emplace_back(std::string(reinterpret_cast<const char*>(k), 18), r);
        return true;
    });
    EXPECT_GT(fwd.size(), 300000u);
    for (size_t i = 1; i < fwd.size(); ++i)
        ASSERT_TRUE(fwd[i - 1] < fwd[i]) << "out of order at " << i;
    size_t back = 0;
    bool same = true;
    t->forEach(
        [&](const uint8_t* k, uint32_t r) {
            const auto& f = fwd[fwd.size() - 1 - back++];
            same = same && f.second == r && std::memcmp(f.first.data(), k, 18) == 0;
            return true;
        },
        true);
    EXPECT_EQ(back, fwd.size());
    EXPECT_TRUE(same);
    EXPECT_EQ(t->keyCount(), fwd.size());
    // Cursor walks agree with the leaf walk.
    EXPECT_EQ(t->first(), fwd.front().second);
    EXPECT_EQ(t->next(), fwd[1].second);
    EXPECT_EQ(t->last(), fwd.back().second);
    EXPECT_EQ(t->keyNo(), fwd.size());
    EXPECT_TRUE(bag->checkStructure().empty());
    bag.reset();
    EXPECT_EQ(test::readBytes(copy), before);  // reading wrote nothing
}
