// Tags of a real table through work areas: creation order, seeks, navigation, key count and
// number, and keys following every kind of record change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "data/workarea.h"
#include "runtime/date.h"
#include "runtime/settings.h"
#include "tests/test_support.h"

using namespace wv;
using wv::test::ErrorRecorder;
using wv::test::readBytes;
using wv::test::TempDir;

namespace {

const std::vector<FieldDef> kFields = {{"NOMBRE", 'C', 20, 0},
                                       {"ID", 'C', 6, 0},
                                       {"MONTO", 'N', 10, 2},
                                       {"FECHA", 'D', 8, 0},
                                       {"ACTIVO", 'L', 1, 0}};

struct Row {
    std::string nombre, id;
    double monto;
    int day;
    bool activo;
};

std::string makeTable(const TempDir& dir, const std::vector<Row>& rows) {
    std::string path = dir.file("clientes.dbf");
    auto t = DbfTable::create(path, kFields);
    for (const Row& r : rows) {
        t->append();
        t->put("NOMBRE", Value(r.nombre));
        t->put("ID", Value(r.id));
        t->put("MONTO", Value::number(r.monto));
        t->put("FECHA", Value(Date{dateFromYmd(2008, 1, 1).jd + r.day}));
        t->put("ACTIVO", Value(r.activo));
    }
    return path;
}

std::vector<Row> sampleRows() {
    return {{"PEREZ", "000003", 10, 3, true},  {"ABARCA", "000001", -5, 1, false},
            {"ABEL", "000002", 7.5, 2, true},  {"ZAMORA", "000005", 0, 5, true},
            {"MORALES", "000004", 99, 4, false}, {"ABEL", "000006", 1, 0, true}};
}

std::unique_ptr<WorkArea> openArea(const std::string& path, bool shared = true) {
    return WorkArea::open(path, "", shared, false);
}

std::vector<uint32_t> walk(WorkArea& a) {
    std::vector<uint32_t> recs;
    for (a.goTop(); !a.eof(); a.skip()) recs.push_back(a.recNo());
    return recs;
}

std::vector<uint32_t> walkBack(WorkArea& a) {
    std::vector<uint32_t> recs;
    for (a.goBottom(); !a.bof() && !a.eof(); a.skip(-1)) {
        recs.push_back(a.recNo());
        if (recs.size() > 100000) break;
    }
    return recs;
}

}  // namespace

TEST(CdxTags, CreationOrderIsOrderNumbering) {
    TempDir dir;
    std::string path = makeTable(dir, sampleRows());
    {
        auto a = openArea(path, false);
        ASSERT_TRUE(a->createTag({"NOMBRE", "NOMBRE", "", false, false, false}));
        ASSERT_TRUE(a->createTag({"ID", "ID", "", false, false, false}));
    }
    auto a = openArea(path);
    ASSERT_TRUE(a->bag());
    ASSERT_EQ(a->bag()->tags().size(), 2u);
    EXPECT_EQ(a->bag()->tags()[0]->name(), "NOMBRE");
    EXPECT_EQ(a->bag()->tags()[1]->name(), "ID");
    EXPECT_TRUE(a->table().structuralIndex());
    EXPECT_EQ(readBytes(path)[28], 0x01);
    EXPECT_EQ(a->order(), 0);  // nothing selected until asked
    ASSERT_TRUE(a->setOrder(1));
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{2, 3, 6, 5, 1, 4}));
    EXPECT_EQ(walkBack(*a), (std::vector<uint32_t>{4, 1, 5, 6, 3, 2}));
    ASSERT_TRUE(a->setOrder("id"));
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{2, 3, 1, 5, 4, 6}));
    EXPECT_FALSE(a->setOrder("NOPE"));
    EXPECT_TRUE(a->bag()->checkStructure().empty());
}

TEST(CdxTags, SeekSoftSeekAndEof) {
    TempDir dir;
    std::string path = makeTable(dir, sampleRows());
    auto a = openArea(path, false);
    a->createTag({"NOMBRE", "NOMBRE", "", false, false, false});
    a->setOrder(1);
    EXPECT_TRUE(a->seek(Value("AB"), false));
    EXPECT_EQ(a->recNo(), 2u);  // ABARCA, the first beginning with AB
    EXPECT_TRUE(a->found());
    EXPECT_TRUE(a->seek(Value("ABEL"), false));
    EXPECT_EQ(a->recNo(), 3u);
    a->skip();
    EXPECT_EQ(a->recNo(), 6u);
    EXPECT_FALSE(a->seek(Value("B"), false));
    EXPECT_TRUE(a->eof());
    EXPECT_FALSE(a->found());
    EXPECT_FALSE(a->seek(Value("B"), true));
    EXPECT_FALSE(a->eof());
    EXPECT_EQ(a->recNo(), 5u);  // MORALES follows
    EXPECT_FALSE(a->seek(Value("ZZ"), true));
    EXPECT_TRUE(a->eof());
    // Without an order: 36/1201.
    ErrorRecorder rec;
    a->setOrder(0);
    EXPECT_FALSE(a->seek(Value("AB"), false));
    EXPECT_EQ(rec.last(), "36/1201");
    EXPECT_EQ(rec.errors.back().description, "Area de trabajo no indexada");
}

TEST(CdxTags, NumericDateLogicalDescendingUniqueAndFor) {
    TempDir dir;
    std::string path = makeTable(dir, sampleRows());
    auto a = openArea(path, false);
    ASSERT_TRUE(a->createTag({"MONTO", "MONTO", "", false, false, false}));
    ASSERT_TRUE(a->createTag({"FECHA", "FECHA", "", false, true, false}));
    ASSERT_TRUE(a->createTag({"ACT", "ACTIVO", "", false, false, false}));
    ASSERT_TRUE(a->createTag({"UNI", "NOMBRE", "", true, false, false}));
    ASSERT_TRUE(a->createTag({"ACTIVOS", "NOMBRE", "ACTIVO", false, false, false}));
    ASSERT_TRUE(a->createTag({"DTOS", "DTOS(FECHA)+ID", "", false, false, false}));
    EXPECT_EQ(a->bag()->tag("MONTO")->keyLength(), 8);
    EXPECT_EQ(a->bag()->tag("MONTO")->keyType(), 'N');
    EXPECT_EQ(a->bag()->tag("ACT")->keyLength(), 1);
    EXPECT_EQ(a->bag()->tag("DTOS")->keyLength(), 14);
    a->setOrder("MONTO");
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{2, 4, 6, 3, 1, 5}));
    EXPECT_TRUE(a->seek(Value::number(7.5)));
    EXPECT_EQ(a->recNo(), 3u);
    a->setOrder("FECHA");  // descending
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{4, 5, 1, 3, 2, 6}));
    EXPECT_EQ(a->keyCount(), 6u);
    a->goTop();
    EXPECT_EQ(a->keyNo(), 1u);
    EXPECT_TRUE(a->seek(Value(Date{dateFromYmd(2008, 1, 3).jd})));
    EXPECT_EQ(a->recNo(), 3u);
    EXPECT_EQ(a->keyNo(), 4u);
    EXPECT_FALSE(a->seek(Value(Date{dateFromYmd(2008, 1, 9).jd}), true));
    EXPECT_EQ(a->recNo(), 4u);  // in descending order the next key is the latest before it
    a->setOrder("ACT");
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{2, 5, 1, 3, 4, 6}));
    a->setOrder("UNI");
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{2, 3, 5, 1, 4}));
    a->setOrder("ACTIVOS");
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{3, 6, 1, 4}));
    EXPECT_EQ(a->keyCount(), 4u);
    a->setOrder("DTOS");
    EXPECT_TRUE(a->seek(Value("20080102")));
    EXPECT_EQ(a->recNo(), 2u);
    EXPECT_TRUE(a->bag()->checkStructure().empty());
}

TEST(CdxTags, KeysFollowChangesAppendsDeletesAndPack) {
    TempDir dir;
    std::string path = makeTable(dir, sampleRows());
    {
        auto a = openArea(path, false);
        a->createTag({"NOMBRE", "NOMBRE", "", false, false, false});
        a->createTag({"ACTIVOS", "ID", "ACTIVO", false, false, false});
    }
    auto a = openArea(path);
    a->setOrder(1);
    // A changed key moves the record; the FOR tag gains and loses it as ACTIVO changes.
    a->goTo(4);  // ZAMORA
    ASSERT_TRUE(a->table().rlock());
    a->put("NOMBRE", Value("AARON"));
    a->put("ACTIVO", Value(false));
    a->table().unlockAll();
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{4, 2, 3, 6, 5, 1}));
    a->setOrder(2);
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{3, 1, 6}));
    a->goTo(5);
    ASSERT_TRUE(a->table().rlock());
    a->put("ACTIVO", Value(true));
    a->table().unlockAll();
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{3, 1, 5, 6}));
    // A shared append is keyed when it is written back.
    ASSERT_TRUE(a->table().append());
    a->put("NOMBRE", Value("BETO"));
    a->put("ID", Value("000000"));
    a->put("ACTIVO", Value(true));
    a->table().unlockAll();
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{7, 3, 1, 5, 6}));
    a->setOrder(1);
    EXPECT_TRUE(a->seek(Value("BETO")));
    EXPECT_EQ(a->recNo(), 7u);
    // Deleted records are passed over by navigation and seeks.
    a->goTo(3);
    ASSERT_TRUE(a->table().rlock());
    a->table().deleteRecord();
    a->table().unlockAll();
    EXPECT_TRUE(a->seek(Value("ABEL")));
    EXPECT_EQ(a->recNo(), 6u);
    EXPECT_EQ(walk(*a), (std::vector<uint32_t>{4, 2, 6, 7, 5, 1}));
    EXPECT_EQ(a->keyCount(), 7u);  // the key count does not filter
    EXPECT_TRUE(a->bag()->checkStructure().empty());
    a.reset();

    // Pack rebuilds the tags.
    auto x = openArea(path, false);
    ASSERT_TRUE(x->table().pack());
    x->setOrder(1);
    EXPECT_EQ(x->recCount(), 6u);
    EXPECT_EQ(x->keyCount(), 6u);
    std::vector<std::string> names;
    for (x->goTop(); !x->eof(); x->skip()) names.push_back(x->get("NOMBRE").text().substr(0, 6));
    EXPECT_EQ(names, (std::vector<std::string>{"AARON ", "ABARCA", "ABEL  ", "BETO  ", "MORALE",
                                               "PEREZ "}));
    EXPECT_TRUE(x->bag()->checkStructure().empty());
    ASSERT_TRUE(x->table().zap());
    EXPECT_EQ(x->keyCount(), 0u);
    x->goTop();
    EXPECT_TRUE(x->eof());
    EXPECT_TRUE(x->bag()->checkStructure().empty());
}

TEST(CdxTags, BadExpressionsAreRefused) {
    TempDir dir;
    std::string path = makeTable(dir, sampleRows());
    auto a = openArea(path, false);
    ErrorRecorder rec;
    EXPECT_FALSE(a->createTag({"X", "NOPE", "", false, false, false}));
    EXPECT_EQ(rec.last(), "20/1004");
    EXPECT_FALSE(a->createTag({"Y", "NOMBRE", "MONTO", false, false, false}));  // FOR not logical
    EXPECT_FALSE(a->createTag({"TOOLONGNAME1", "NOMBRE", "", false, false, false}));
}

TEST(CdxTags, ReplacingTagsReusesFreedPagesAndCreatingWorksShared) {
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({"N" + std::to_string(i * 37 % 400), std::to_string(100000 + i), double(i),
                        i % 30, i % 2 == 0});
    std::string path = makeTable(dir, rows);
    std::string cdx = dir.file("clientes.cdx");
    {
        // A bag made while the table is open shared.
        auto a = openArea(path, true);
        ASSERT_TRUE(a->createTag({"NOMBRE", "NOMBRE", "", false, false, false}));
    }
    size_t size = 0;
    for (int round = 0; round < 3; ++round) {
        // Replacing a tag in exclusive use frees its pages once the new tree stands (a stopped
        // build leaves the old tag whole), so the first round grows the file by one tree; from
        // then on the freed pages are reused.
        auto a = openArea(path, false);
        ASSERT_TRUE(a->createTag({"NOMBRE", "NOMBRE", "", false, false, false}));
        ASSERT_TRUE(a->createTag({"ID", "ID", "", false, false, false}));
        EXPECT_TRUE(a->bag()->checkStructure().empty());
        a.reset();
        size_t now = std::filesystem::file_size(cdx);
        if (round > 1) {
            EXPECT_LE(now, size + 2048) << "round " << round;
        }
        size = now;
    }
    EXPECT_LT(size, 200000u);
    auto a = openArea(path);
    a->setOrder("ID");
    EXPECT_EQ(a->keyCount(), 400u);
}
