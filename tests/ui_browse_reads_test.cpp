// The customer catalogue's browse over a table of 100,000 records: opening it in name order,
// seeking a name and paging each bring about a screenful of records into the table's buffer,
// never the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "data/netuse.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "storage/dbf.h"
#include "test_support.h"
#include "ui/browsemodel.h"

namespace wv {
namespace {

constexpr uint32_t kCustomers = 100000;
constexpr int kScreen = 30;
// A screenful to show and one to move through (with the deleted setting on, as the program runs,
// a skip reads the record it comes to): anything near the table's size is a walk.
constexpr uint64_t kBudget = 64;

// Names spread over the alphabet (some repeat, as in a real catalogue).
std::string customerName(uint32_t i) {
    static const char* const kSurnames[] = {
        "ACOSTA",  "BARRERA", "CASTILLO", "DELGADO", "ESTRADA",  "FLORES",  "GARCIA",
        "HERRERA", "IBARRA",  "JUAREZ",   "KURI",    "LOPEZ",    "MARTINEZ", "NAVARRO",
        "OCHOA",   "PEREZ",   "QUIROZ",   "RAMIREZ", "SANCHEZ",  "TORRES",  "URIBE",
        "VARGAS",  "WONG",    "XOLALPA",  "YANEZ",   "ZAMORA"};
    static const char* const kGiven[] = {"ANA",   "CARLOS", "ELENA", "JORGE", "LAURA",
                                         "LUIS",  "MARIA",  "OSCAR", "ROSA",  "SERGIO",
                                         "SOFIA", "VICTOR", "XIMENA"};
    uint64_t h = uint64_t(i) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 29;
    return std::string(kSurnames[h % 26]) + " " + kSurnames[(h >> 8) % 26] + " " +
           kGiven[(h >> 16) % 13] + " " + char('A' + (h >> 24) % 26) + ".";
}

std::string customerId(uint32_t i) {
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string id(4, '0');
    for (int k = 3; k >= 0; --k, i /= 36) id[size_t(k)] = kDigits[i % 36];
    return id;
}

// The catalogue's table laid out as the program has it, filled alone and indexed in one build
// per tag; the names as the name order has them.
std::vector<std::string> makeCustomers(const std::string& dir) {
    const TableSpec* layout = tableSpec("cliente");
    std::string path = dir + "/cliente.dbf";
    std::vector<std::string> names;
    names.reserve(kCustomers);
    {
        auto t = DbfTable::create(path, layout->fields);
        for (uint32_t i = 1; i <= kCustomers; ++i) {
            names.push_back(customerName(i));
            t->append();
            t->put(0, Value(customerId(i)));
            t->put(1, Value(names.back()));
        }
    }
    auto a = WorkArea::open(path, "", false, false);
    for (const TagSpec& tag : layout->tags)
        a->createTag({tag.name, tag.key, "", false, false, false});
    std::sort(names.begin(), names.end());
    return names;
}

// The catalogue opened in name order as its screen opens it, a browse of a screenful on it, and
// the records each step brings into the table's buffer (counted from the open).
class BrowseReads : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        sorted_ = new std::vector<std::string>(makeCustomers(dir_->path()));
    }
    static void TearDownTestSuite() {
        delete sorted_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_TRUE(netUse("cliente", false, "", dir_->path() + "/"));
        a = workspace().area();
        ASSERT_TRUE(a->setOrder("nombre"));
        ASSERT_TRUE(a->goTop());
        b = std::make_unique<BrowseModel>();
        b->setRowCount(kScreen);
    }
    void TearDown() override {
        b.reset();
        workspace().closeArea();
    }
    // The names a paint shows.
    std::vector<std::string> visit() {
        std::vector<std::string> shown;
        b->visitRows(
            [&](int, const Array& cells) { shown.push_back(allTrim(cells.at(1).text())); });
        return shown;
    }
    // A screenful of the name order from position `from` (1 for the first).
    static std::vector<std::string> screenFrom(long from) {
        return std::vector<std::string>(sorted_->begin() + (from - 1),
                                        sorted_->begin() + (from - 1 + kScreen));
    }
    // The records brought into the buffer since the last call (the first: since the open).
    uint64_t readSinceLast() {
        uint64_t now = a->table().recordsRead(), n = now - mark_;
        mark_ = now;
        return n;
    }

    static test::TempDir* dir_;
    static std::vector<std::string>* sorted_;
    WorkArea* a = nullptr;
    std::unique_ptr<BrowseModel> b;
    uint64_t mark_ = 0;
};

test::TempDir* BrowseReads::dir_ = nullptr;
std::vector<std::string>* BrowseReads::sorted_ = nullptr;

TEST_F(BrowseReads, OpeningAndSeekingANameReadAScreenful) {
    // The row count, the first paint and the footer's count, the open itself included.
    b->start();
    EXPECT_EQ(visit(), screenFrom(1));
    EXPECT_EQ(a->keyCount(), kCustomers);
    EXPECT_EQ(b->nLen, long(kCustomers));
    EXPECT_LE(readSinceLast(), kBudget) << "opening";

    // A name from the middle of the alphabet, then the paint from it.
    const std::string sought = "MARTINEZ";
    const long at =
        long(std::lower_bound(sorted_->begin(), sorted_->end(), sought) - sorted_->begin()) + 1;
    ASSERT_GT(at, long(kCustomers) / 3);
    EXPECT_TRUE(b->dbfSeek({.text = sought}));
    EXPECT_EQ(visit(), screenFrom(at));
    EXPECT_EQ(b->logicPos(), at);
    EXPECT_LE(readSinceLast(), kBudget) << "seeking";
}

TEST_F(BrowseReads, EachPageAndTheLastReadAScreenful) {
    b->start();
    visit();
    readSinceLast();
    for (int page = 1; page <= 2; ++page) {
        b->pageDown();
        EXPECT_EQ(visit(), screenFrom(1 + long(page) * kScreen));
        EXPECT_LE(readSinceLast(), kBudget) << "page " << page;
    }
    b->goBottom();
    EXPECT_EQ(visit(), screenFrom(long(kCustomers) - kScreen + 1));
    EXPECT_EQ(b->nRowPos, kScreen);
    EXPECT_LE(readSinceLast(), kBudget) << "to the end";
}

}  // namespace
}  // namespace wv
