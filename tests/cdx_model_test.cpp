// A randomised test of the index trees against an ordered model: appends, key changes, deletes,
// recalls and packs, with short keys full of duplicates, 240-byte keys, a descending numeric tag
// and a FOR tag, on a table large enough that record numbers pass 65,535.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

#include "data/workarea.h"
#include "runtime/settings.h"
#include "storage/cdx.h"
#include "tests/test_support.h"

using namespace wv;
using wv::test::TempDir;

namespace {

using Entry = std::pair<std::string, uint32_t>;

struct Rec {
    std::string k;  // C(10)
    std::string l;  // C(240)
    double n;
    bool deleted = false;
};

std::string pad(std::string s, size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string numKey(double v) {
    uint8_t k[8];
    encodeNumberKey(v, k);
    return std::string(reinterpret_cast<char*>(k), 8);
}

class Model {
public:
    std::vector<Rec> recs;  // recs[i] is record i + 1

    std::vector<Entry> entries(const std::string& tag) const {
        std::vector<Entry> e;
        for (size_t i = 0; i < recs.size(); ++i) {
            const Rec& r = recs[i];
            uint32_t no = uint32_t(i + 1);
            if (tag == "SHORT") e.emplace_back(pad(r.k, 10), no);
            if (tag == "LONG") e.emplace_back(pad(r.l, 240), no);
            if (tag == "NUM") e.emplace_back(numKey(r.n), no);
            if (tag == "BIG" && r.n > 500) e.emplace_back(pad(r.k, 10), no);
        }
        std::sort(e.begin(), e.end());
        return e;
    }
};

std::vector<Entry> tagEntries(CdxTag* t) {
    std::vector<Entry> e;
    t->forEach([&](const uint8_t* k, uint32_t r) {
        e.emplace_back(std::string(reinterpret_cast<const char*>(k), size_t(t->keyLength())), r);
        return true;
    });
    return e;
}

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::string shortKey() {
        // Few distinct keys: many duplicates, keys that share prefixes, empty keys.
        static const char* kKeys[] = {"", "A", "AB", "ABC", "ABD", "B", "BA", "ZZZZZZZZZZ", "M"};
        return kKeys[pick(9)];
    }
    std::string longKey() {
        int len = pick(4) == 0 ? 240 : pick(241);
        std::string s(size_t(len), 'x');
        for (char& c : s) c = "AB "[pick(3)];
        if (!s.empty() && pick(3) == 0) std::fill(s.begin(), s.begin() + long(s.size() / 2), 'Q');
        return s;
    }
    double number() { return double(pick(2001) - 1000); }

private:
    std::mt19937 rng_;
};

void verify(WorkArea& a, const Model& m, Generator& g, const std::string& when) {
    auto problems = a.bag()->checkStructure();
    ASSERT_TRUE(problems.empty()) << when << ": " << problems.front();
    for (const char* name : {"SHORT", "LONG", "NUM", "BIG"}) {
        CdxTag* t = a.bag()->tag(name);
        ASSERT_TRUE(t) << name;
        std::vector<Entry> want = m.entries(name);
        std::vector<Entry> got = tagEntries(t);
        ASSERT_EQ(got.size(), want.size()) << when << " " << name;
        ASSERT_TRUE(got == want) << when << " " << name;
        ASSERT_EQ(t->keyCount(), want.size()) << when << " " << name;
        // Seeks of prefixes, soft and exact, and key numbers.
        for (int i = 0; i < 20 && !want.empty(); ++i) {
            const Entry& e = want[size_t(g.pick(int(want.size())))];
            size_t len = t->keyType() == 'C' ? size_t(g.pick(int(e.first.size())) + 1) : 8;
            std::string prefix = e.first.substr(0, len);
            bool found = false;
            uint32_t r = t->seek(reinterpret_cast<const uint8_t*>(prefix.data()), len, false,
                                 &found);
            ASSERT_TRUE(found) << when << " " << name;
            if (!t->descending()) {
                auto it = std::lower_bound(want.begin(), want.end(), Entry{prefix, 0});
                ASSERT_EQ(r, it->second) << when << " " << name;
                ASSERT_EQ(t->keyNo(), uint32_t(it - want.begin() + 1));
            } else {
                auto it = std::upper_bound(want.begin(), want.end(),
                                           Entry{prefix + std::string(8, '\xFF'), 0});
                --it;
                ASSERT_EQ(r, it->second) << when << " " << name;
                ASSERT_EQ(t->keyNo(), uint32_t(want.end() - it));
            }
            ASSERT_TRUE(t->locate(reinterpret_cast<const uint8_t*>(e.first.data()), e.second));
        }
    }
    // The work area walks the short tag both ways, passing over deleted records.
    std::vector<uint32_t> expect;
    for (const Entry& e : m.entries("SHORT"))
        if (!m.recs[e.second - 1].deleted) expect.push_back(e.second);
    a.setOrder("SHORT");
    std::vector<uint32_t> fwd;
    for (a.goTop(); !a.eof(); a.skip()) fwd.push_back(a.recNo());
    ASSERT_TRUE(fwd == expect) << when;
    std::vector<uint32_t> back;
    for (a.goBottom(); !a.eof() && !a.bof(); a.skip(-1)) back.push_back(a.recNo());
    std::reverse(back.begin(), back.end());
    ASSERT_TRUE(back == expect) << when;
}

}  // namespace

TEST(CdxModel, RandomChangesAgainstAnOrderedModel) {
    TempDir dir;
    std::string path = dir.file("model.dbf");
    Generator g(20081905);
    Model m;
    const uint32_t kInitial = 66000;
    {
        auto t = DbfTable::create(path, {{"K", 'C', 10, 0}, {"L", 'C', 240, 0}, {"N", 'N', 10, 0}});
        for (uint32_t i = 0; i < kInitial; ++i) {
            Rec r{g.shortKey(), i % 50 == 0 ? g.longKey() : std::string(), g.number()};
            t->append();
            t->put(0, Value(r.k));
            t->put(1, Value(r.l));
            t->put(2, Value::number(r.n));
            m.recs.push_back(r);
        }
    }
    auto a = WorkArea::open(path, "", false, false);
    ASSERT_TRUE(a);
    ASSERT_TRUE(a->createTag({"SHORT", "K", "", false, false, false}));
    ASSERT_TRUE(a->createTag({"LONG", "L", "", false, false, false}));
    ASSERT_TRUE(a->createTag({"NUM", "N", "", false, true, false}));
    ASSERT_TRUE(a->createTag({"BIG", "K", "N > 500", false, false, false}));
    verify(*a, m, g, "after build");

    DbfTable& t = a->table();
    for (int batch = 0; batch < 12; ++batch) {
        for (int op = 0; op < 600; ++op) {
            int kind = g.pick(10);
            if (kind < 3) {
                Rec r{g.shortKey(), g.pick(3) ? std::string() : g.longKey(), g.number()};
                ASSERT_TRUE(t.append());
                t.put(0, Value(r.k));
                t.put(1, Value(r.l));
                t.put(2, Value::number(r.n));
                m.recs.push_back(r);
            } else {
                uint32_t no = uint32_t(g.pick(int(m.recs.size())) + 1);
                // Changes cluster at both ends so that pages fill and empty.
                if (g.pick(2)) no = uint32_t(m.recs.size()) - uint32_t(g.pick(200) % m.recs.size());
                Rec& r = m.recs[no - 1];
                ASSERT_TRUE(t.goTo(no));
                if (kind < 6) {
                    r.k = g.shortKey();
                    t.put(0, Value(r.k));
                } else if (kind < 7) {
                    r.l = g.longKey();
                    t.put(1, Value(r.l));
                } else if (kind < 9) {
                    r.n = g.number();
                    t.put(2, Value::number(r.n));
                } else {
                    r.deleted = !r.deleted;
                    r.deleted ? t.deleteRecord() : t.recall();
                }
            }
        }
        ASSERT_TRUE(t.flush());
        verify(*a, m, g, "batch " + std::to_string(batch));
        if (batch == 5 || batch == 10) {
            ASSERT_TRUE(t.pack());
            std::vector<Rec> kept;
            for (const Rec& r : m.recs)
                if (!r.deleted) kept.push_back(r);
            m.recs = kept;
            verify(*a, m, g, "pack " + std::to_string(batch));
        }
    }
    // Deleting nearly everything shrinks the trees back down.
    std::vector<uint32_t> order(m.recs.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = uint32_t(i + 1);
    for (uint32_t no : order) {
        if (no % 97 == 0) continue;
        t.goTo(no);
        t.put(0, Value("ZZZZZZZZZZ"));
        t.put(1, Value(""));
        m.recs[no - 1].k = "ZZZZZZZZZZ";
        m.recs[no - 1].l = "";
    }
    t.flush();
    verify(*a, m, g, "collapse");
}

TEST(CdxModel, SharedModeMaintenanceBetweenTwoAreas) {
    TempDir dir;
    std::string path = dir.file("s.dbf");
    {
        auto t = DbfTable::create(path, {{"K", 'C', 8, 0}});
        for (int i = 0; i < 300; ++i) {
            t->append();
            t->put(0, Value("K" + std::to_string(1000 + i * 7 % 300)));
        }
    }
    {
        auto a = WorkArea::open(path, "", false, false);
        a->createTag({"K", "K", "", false, false, false});
    }
    auto a = WorkArea::open(path, "A", true, false);
    auto b = WorkArea::open(path, "B", true, false);
    a->setOrder(1);
    b->setOrder(1);
    EXPECT_EQ(b->keyCount(), 300u);
    uint32_t counter = a->bag()->changeCounter();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(a->table().append());
        a->put("K", Value("A" + std::to_string(100 + i)));
        a->table().unlockAll();
    }
    EXPECT_EQ(a->bag()->changeCounter(), counter + 50);
    // The other area sees the new keys at its next lock, not stale pages.
    EXPECT_EQ(b->keyCount(), 350u);
    EXPECT_TRUE(b->seek(Value("A125")));
    EXPECT_EQ(b->recNo(), 326u);
    b->goTop();
    EXPECT_EQ(b->get("K").text(), "A100    ");
    EXPECT_TRUE(b->bag()->checkStructure().empty());
}
