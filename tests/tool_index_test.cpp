// wvestor-db's index commands end to end: index, reindex, seek, dump --order, keys and check,
// through the built program, on tables made by the tool itself, on an index written by another
// program, and against an independent reader of the index format (index_dump from Debian's
// libdbd-xbase-perl, which scripts/test installs; when it is missing these tests fail).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/workarea.h"
#include "runtime/codepage.h"
#include "storage/cdx.h"
#include "tests/test_support.h"

namespace {

using wv::test::db;
using wv::test::readBytes;
using wv::test::RunResult;
using wv::test::writeBytes;

const std::string kPerl = "/usr/bin/perl";
const std::string kIndexDump = "/usr/bin/index_dump";

// Runs a command that must succeed and gives its standard output.
std::string ok(const std::vector<std::string>& args) {
    RunResult r = db(args);
    EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
    EXPECT_EQ(r.err, "") << args[0];
    return r.out;
}

// A failed command: status 1, nothing on standard output, one line on standard error that
// mentions `what`.
void expectFailure(const RunResult& r, const std::string& what) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << "expected \"" << what << "\" in: " << r.err;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint32_t be32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3]));
}
void putLe32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
}

// Where a tag's tree starts in the file: its header offset through the directory.
uint32_t tagRoot(const std::string& cdx, const std::string& tag) {
    wv::test::ErrorRecorder errors;
    auto bag = wv::CdxBag::open(cdx, nullptr, {});
    if (!bag || !bag->tag(tag)) {
        ADD_FAILURE() << "cannot find tag " << tag << " in " << cdx << ": " << errors.last();
        return 0;
    }
    return le32(readBytes(cdx), bag->tag(tag)->headerOffset());
}

// The leftmost leaf of a tag: down the first child of every interior page.
uint32_t firstLeaf(const std::string& bytes, uint32_t page, int keyLen) {
    while (!(uint8_t(bytes[page]) & 2)) page = be32(bytes, page + 12 + size_t(keyLen) + 4);
    return page;
}

// Swaps the record numbers of two keys of a leaf in place, leaving everything else alone.
void swapLeafRecords(std::string& bytes, uint32_t leaf, size_t i, size_t j) {
    uint32_t mask = le32(bytes, leaf + 14);
    size_t width = uint8_t(bytes[leaf + 23]);
    auto get = [&](size_t k) {
        uint64_t v = 0;
        for (size_t b = 0; b < width; ++b)
            v |= uint64_t(uint8_t(bytes[leaf + 24 + k * width + b])) << (8 * b);
        return v;
    };
    auto set = [&](size_t k, uint64_t v) {
        for (size_t b = 0; b < width; ++b) bytes[leaf + 24 + k * width + b] = char(v >> (8 * b));
    };
    uint64_t a = get(i), c = get(j);
    set(i, (a & ~uint64_t(mask)) | (c & mask));
    set(j, (c & ~uint64_t(mask)) | (a & mask));
}

// The table every case starts from: eight records with blank, repeated, negative and CP1252
// values.
//   1 pera     3.50  20240229 T      5 pera       -0.50 20240229 T
//   2 manzana -12.00 19991231 F      6 (blank)     7.25 19000101 F
//   3 kiwi   100.00  20000101 T      7 Ñu   1234567.89  20991231 T
//   4 Peña     0.00  (blank)  F      8 kiwi        3.50 20000101 F
class ToolIndexTest : public ::testing::Test {
protected:
    wv::test::TempDir dir;
    std::string table = dir.file("ventas");
    std::string cdx = table + ".cdx";

    void SetUp() override {
        ok({"create", table, "NAME:C:12", "AMOUNT:N:10:2", "FECHA:D", "OK:L"});
        std::string csv = dir.file("ventas.csv");
        writeBytes(csv,
                   "NAME,AMOUNT,FECHA,OK\r\n"
                   "pera,3.50,20240229,T\r\n"
                   "manzana,-12,19991231,F\r\n"
                   "kiwi,100,20000101,T\r\n"
                   "Peña,0,,F\r\n"
                   "pera,-0.5,20240229,T\r\n"
                   ",7.25,19000101,F\r\n"
                   "Ñu,1234567.89,20991231,T\r\n"
                   "kiwi,3.5,20000101,F\r\n");
        ASSERT_EQ(ok({"import", table, csv}), "8\n");
    }

    std::string keys(const std::string& tag) { return ok({"keys", cdx, tag}); }
    std::string seek(const std::string& tag, const std::string& value) {
        return ok({"seek", table, tag, value});
    }
    void expectNotFound(const std::string& tag, const std::string& value) {
        RunResult r = db({"seek", table, tag, value});
        EXPECT_EQ(r.status, 1) << tag << " " << value;
        EXPECT_EQ(r.out, "not found\n") << tag << " " << value;
    }
    void indexAllTypes() {
        ok({"index", table, "NAME", "NAME"});
        ok({"index", table, "AMOUNT", "AMOUNT"});
        ok({"index", table, "FECHA", "FECHA"});
        ok({"index", table, "DIA", "DTOS(FECHA)"});
        ok({"index", table, "OK", "OK"});
    }
};

const char kNameKeys[] = "\t6\nPeña\t4\nkiwi\t3\nkiwi\t8\nmanzana\t2\npera\t1\npera\t5\nÑu\t7\n";
const char kDayKeys[] =
    "\t4\n19000101\t6\n19991231\t2\n20000101\t3\n20000101\t8\n20240229\t1\n20240229\t5\n"
    "20991231\t7\n";

TEST_F(ToolIndexTest, IndexesCharacterNumericDateAndLogicalKeys) {
    indexAllTypes();
    EXPECT_EQ(ok({"keys", cdx}),
              "NAME\tkey=NAME\tfor=\tkeylen=12\toptions=0x60\n"
              "AMOUNT\tkey=AMOUNT\tfor=\tkeylen=8\toptions=0x60\n"
              "FECHA\tkey=FECHA\tfor=\tkeylen=8\toptions=0x60\n"
              "DIA\tkey=DTOS(FECHA)\tfor=\tkeylen=8\toptions=0x60\n"
              "OK\tkey=OK\tfor=\tkeylen=1\toptions=0x60\n");
    // Bytes compare unsigned: blanks first, capitals before small letters, Ñ (0xD1) last.
    EXPECT_EQ(keys("NAME"), kNameKeys);
    EXPECT_EQ(keys("AMOUNT"),
              "-12\t2\n-0.5\t5\n0\t4\n3.5\t1\n3.5\t8\n7.25\t6\n100\t3\n1234567.89\t7\n");
    EXPECT_EQ(keys("FECHA"), kDayKeys);  // the blank date is day 0
    EXPECT_EQ(keys("DIA"), kDayKeys);    // its DTOS() is eight blanks
    EXPECT_EQ(keys("OK"), "F\t2\nF\t4\nF\t6\nF\t8\nT\t1\nT\t3\nT\t5\nT\t7\n");
    EXPECT_EQ(keys("name"), kNameKeys);  // tag names in any case
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 5 tags, 40 keys\n");
    // The table now carries the structural-index flag.
    EXPECT_EQ(readBytes(table + ".dbf")[28], 0x01);
}

TEST_F(ToolIndexTest, ForUniqueAndDescendingTags) {
    ok({"index", table, "POS", "AMOUNT", "--for", "AMOUNT > 0"});
    ok({"index", table, "UNAME", "NAME", "--unique"});
    ok({"index", table, "DFECHA", "FECHA", "--descending"});
    ok({"index", table, "TOPS", "NAME", "--for", "OK", "--unique", "--descending"});
    EXPECT_EQ(ok({"keys", cdx}),
              "POS\tkey=AMOUNT\tfor=AMOUNT > 0\tkeylen=8\toptions=0x68\n"
              "UNAME\tkey=NAME\tfor=\tkeylen=12\toptions=0x61\n"
              "DFECHA\tkey=FECHA\tfor=\tkeylen=8\toptions=0x60\n"
              "TOPS\tkey=NAME\tfor=OK\tkeylen=12\toptions=0x69\n");
    EXPECT_EQ(keys("POS"), "3.5\t1\n3.5\t8\n7.25\t6\n100\t3\n1234567.89\t7\n");
    // A unique tag keeps the lowest record of each key.
    EXPECT_EQ(keys("UNAME"), "\t6\nPeña\t4\nkiwi\t3\nmanzana\t2\npera\t1\nÑu\t7\n");
    // Descending: the ascending leaves read from the end, equal keys too.
    EXPECT_EQ(keys("DFECHA"),
              "20991231\t7\n20240229\t5\n20240229\t1\n20000101\t8\n20000101\t3\n19991231\t2\n"
              "19000101\t6\n\t4\n");
    EXPECT_EQ(keys("TOPS"), "Ñu\t7\npera\t1\nkiwi\t3\n");

    // Records added later follow each tag's rules: the FOR, the first of a key, the order.
    ok({"append", table, "NAME=kiwi", "AMOUNT=-1", "FECHA=20240301", "OK=T"});  // 9
    ok({"append", table, "NAME=uva", "AMOUNT=2", "FECHA=18991231", "OK=T"});    // 10
    EXPECT_EQ(keys("POS"), "2\t10\n3.5\t1\n3.5\t8\n7.25\t6\n100\t3\n1234567.89\t7\n");
    EXPECT_EQ(keys("UNAME"), "\t6\nPeña\t4\nkiwi\t3\nmanzana\t2\npera\t1\nuva\t10\nÑu\t7\n");
    EXPECT_EQ(lines(keys("DFECHA")).front(), "20991231\t7");
    EXPECT_EQ(lines(keys("DFECHA"))[1], "20240301\t9");
    EXPECT_EQ(lines(keys("DFECHA"))[9], "\t4");
    EXPECT_EQ(keys("TOPS"), "Ñu\t7\nuva\t10\npera\t1\nkiwi\t3\n");
}

TEST_F(ToolIndexTest, CheckAcceptsEveryKindOfSoundTag) {
    ok({"index", table, "POS", "AMOUNT", "--for", "AMOUNT > 0"});
    ok({"index", table, "DFECHA", "FECHA", "--descending"});
    ok({"index", table, "UNAME", "NAME", "--unique"});
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 3 tags, 19 keys\n");
    ok({"append", table, "NAME=pera", "AMOUNT=1"});
    EXPECT_EQ(ok({"check", table}), "ok: 9 records, 3 tags, 21 keys\n");
}

TEST_F(ToolIndexTest, ABadTagDefinitionChangesNothing) {
    ok({"index", table, "NAME", "NAME"});
    expectFailure(db({"index", table, "BAD", "NOSUCHFIELD"}), "ventas.cdx");
    expectFailure(db({"index", table, "BAD", "NAME+"}), "ventas.cdx");
    expectFailure(db({"index", table, "BAD", "NAME", "--for", "AMOUNT"}), "ventas.cdx");
    expectFailure(db({"index", table, "BAD", "NAME", "--sideways"}), "--sideways");
    expectFailure(db({"index", table, "BAD"}), "index");
    EXPECT_EQ(ok({"keys", cdx}), "NAME\tkey=NAME\tfor=\tkeylen=12\toptions=0x60\n");
    EXPECT_EQ(keys("NAME"), kNameKeys);
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 1 tags, 8 keys\n");
}

TEST_F(ToolIndexTest, ReplacingATagOfTheSameName) {
    ok({"index", table, "NAME", "NAME"});
    ok({"index", table, "AMOUNT", "AMOUNT"});
    ok({"index", table, "name", "UPPER(NAME)", "--for", "!EMPTY(NAME)"});
    // One tag of that name, with the new definition, keeping its order number: screens that
    // select order 1 must not find another tag there.
    EXPECT_EQ(ok({"keys", cdx}),
              "NAME\tkey=UPPER(NAME)\tfor=!EMPTY(NAME)\tkeylen=12\toptions=0x68\n"
              "AMOUNT\tkey=AMOUNT\tfor=\tkeylen=8\toptions=0x60\n");
    EXPECT_EQ(keys("NAME"), "KIWI\t3\nKIWI\t8\nMANZANA\t2\nPERA\t1\nPERA\t5\nPEÑA\t4\nÑU\t7\n");
    EXPECT_EQ(seek("NAME", "PEÑ"), "4\n");
    expectNotFound("NAME", "pera");
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 2 tags, 15 keys\n");

    // Replacing it again and again keeps one tag and sound keys.
    for (int i = 0; i < 3; ++i) ok({"index", table, "NAME", "NAME"});
    EXPECT_EQ(ok({"keys", cdx}),
              "NAME\tkey=NAME\tfor=\tkeylen=12\toptions=0x60\n"
              "AMOUNT\tkey=AMOUNT\tfor=\tkeylen=8\toptions=0x60\n");
    EXPECT_EQ(keys("NAME"), kNameKeys);
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 2 tags, 16 keys\n");
}

TEST_F(ToolIndexTest, KeysFollowEveryTableCommand) {
    indexAllTypes();
    EXPECT_EQ(ok({"append", table, "NAME=aguacate", "AMOUNT=-100", "FECHA=20240101"}), "9\n");
    std::string csv = dir.file("more.csv");
    writeBytes(csv, "NAME,AMOUNT,FECHA,OK\r\nzarzamora,5,20250101,T\r\n");
    EXPECT_EQ(ok({"import", table, csv}), "1\n");
    EXPECT_EQ(keys("NAME"),
              "\t6\nPeña\t4\naguacate\t9\nkiwi\t3\nkiwi\t8\nmanzana\t2\npera\t1\npera\t5\n"
              "zarzamora\t10\nÑu\t7\n");
    EXPECT_EQ(lines(keys("AMOUNT")).front(), "-100\t9");
    EXPECT_EQ(ok({"check", table}), "ok: 10 records, 5 tags, 50 keys\n");

    // Deleted records keep their keys; dump --order passes over them unless asked for all.
    ok({"delete", table, "3"});
    ok({"delete", table, "9"});
    EXPECT_EQ(keys("NAME"),
              "\t6\nPeña\t4\naguacate\t9\nkiwi\t3\nkiwi\t8\nmanzana\t2\npera\t1\npera\t5\n"
              "zarzamora\t10\nÑu\t7\n");
    EXPECT_EQ(ok({"dump", table, "--order", "AMOUNT"}),
              "_RECNO,NAME,AMOUNT,FECHA,OK\r\n"
              "2,manzana,-12.00,19991231,F\r\n5,pera,-0.50,20240229,T\r\n"
              "4,Peña,0.00,,F\r\n1,pera,3.50,20240229,T\r\n8,kiwi,3.50,20000101,F\r\n"
              "10,zarzamora,5.00,20250101,T\r\n6,,7.25,19000101,F\r\n"
              "7,Ñu,1234567.89,20991231,T\r\n");
    EXPECT_EQ(ok({"dump", table, "--all", "--order", "FECHA"}),
              "_RECNO,_DELETED,NAME,AMOUNT,FECHA,OK\r\n"
              "4,F,Peña,0.00,,F\r\n6,F,,7.25,19000101,F\r\n2,F,manzana,-12.00,19991231,F\r\n"
              "3,T,kiwi,100.00,20000101,T\r\n8,F,kiwi,3.50,20000101,F\r\n"
              "9,T,aguacate,-100.00,20240101,F\r\n1,F,pera,3.50,20240229,T\r\n"
              "5,F,pera,-0.50,20240229,T\r\n10,F,zarzamora,5.00,20250101,T\r\n"
              "7,F,Ñu,1234567.89,20991231,T\r\n");
    ok({"recall", table, "9"});

    // Pack renumbers the records and rebuilds the tags; zap empties them.
    ok({"pack", table});
    EXPECT_EQ(keys("NAME"),
              "\t5\nPeña\t3\naguacate\t8\nkiwi\t7\nmanzana\t2\npera\t1\npera\t4\n"
              "zarzamora\t9\nÑu\t6\n");
    EXPECT_EQ(keys("OK"), "F\t2\nF\t3\nF\t5\nF\t7\nF\t8\nT\t1\nT\t4\nT\t6\nT\t9\n");
    EXPECT_EQ(ok({"check", table}), "ok: 9 records, 5 tags, 45 keys\n");
    ok({"zap", table});
    EXPECT_EQ(keys("NAME"), "");
    EXPECT_EQ(ok({"check", table}), "ok: 0 records, 5 tags, 0 keys\n");
    EXPECT_EQ(ok({"append", table, "NAME=otra", "FECHA=20200202"}), "1\n");
    EXPECT_EQ(keys("FECHA"), "20200202\t1\n");
    EXPECT_EQ(seek("NAME", "otra"), "1\n");
}

TEST_F(ToolIndexTest, SeekNumbersDatesTextsAndLogicals) {
    indexAllTypes();
    ok({"index", table, "DFECHA", "FECHA", "--descending"});
    ok({"index", table, "POS", "AMOUNT", "--for", "AMOUNT > 0"});
    // A text matches the first key that begins with it.
    EXPECT_EQ(seek("NAME", "kiw"), "3\n");
    EXPECT_EQ(seek("NAME", "pera"), "1\n");
    EXPECT_EQ(seek("NAME", "Peña"), "4\n");
    EXPECT_EQ(seek("NAME", "Ñu"), "7\n");
    EXPECT_EQ(seek("name", "m"), "2\n");
    expectNotFound("NAME", "pear");
    expectNotFound("NAME", "kiwis");
    expectNotFound("NAME", "PERA");
    // Numbers by value, however they are written.
    EXPECT_EQ(seek("AMOUNT", "3.5"), "1\n");
    EXPECT_EQ(seek("AMOUNT", "3.50"), "1\n");
    EXPECT_EQ(seek("AMOUNT", "-12"), "2\n");
    EXPECT_EQ(seek("AMOUNT", "-0.5"), "5\n");
    EXPECT_EQ(seek("AMOUNT", "0"), "4\n");
    EXPECT_EQ(seek("AMOUNT", "-0"), "4\n");
    EXPECT_EQ(seek("AMOUNT", "1234567.89"), "7\n");
    EXPECT_EQ(seek("AMOUNT", "100"), "3\n");
    expectNotFound("AMOUNT", "3.51");
    expectNotFound("AMOUNT", "-3.5");
    expectNotFound("POS", "0");  // record 4 is outside the FOR
    EXPECT_EQ(seek("POS", "7.25"), "6\n");
    // Dates as YYYYMMDD; the empty value is the blank date.
    EXPECT_EQ(seek("FECHA", "20000101"), "3\n");
    EXPECT_EQ(seek("FECHA", "19000101"), "6\n");
    EXPECT_EQ(seek("FECHA", ""), "4\n");
    expectNotFound("FECHA", "20000102");
    EXPECT_EQ(seek("DFECHA", "20240229"), "5\n");  // first in the tag's order
    EXPECT_EQ(seek("DIA", "2024"), "1\n");         // DTOS() is text: a prefix will do
    EXPECT_EQ(seek("OK", "T"), "1\n");
    EXPECT_EQ(seek("OK", "F"), "2\n");
    // Deleted records are passed over: the next record with that key, or none.
    ok({"delete", table, "3"});
    EXPECT_EQ(seek("NAME", "kiwi"), "8\n");
    ok({"delete", table, "8"});
    expectNotFound("NAME", "kiwi");
    expectNotFound("FECHA", "20000101");

    expectFailure(db({"seek", table, "AMOUNT", "tres"}), "tres");
    expectFailure(db({"seek", table, "AMOUNT", "3,5"}), "3,5");
    expectFailure(db({"seek", table, "FECHA", "2000-01-01"}), "2000-01-01");
    expectFailure(db({"seek", table, "FECHA", "20000231"}), "20000231");
    expectFailure(db({"seek", table, "NOPE", "x"}), "NOPE");
    expectFailure(db({"seek", table, "NAME"}), "seek");
}

TEST_F(ToolIndexTest, CommandsNeedAnIndex) {
    expectFailure(db({"seek", table, "NAME", "pera"}), "no structural index");
    expectFailure(db({"dump", table, "--order", "NAME"}), "no structural index");
    expectFailure(db({"reindex", table}), "no structural index");
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 0 tags, 0 keys\n");
    expectFailure(db({"keys", cdx}), "ventas.cdx");
    indexAllTypes();
    expectFailure(db({"dump", table, "--order", "NOPE"}), "NOPE");
    expectFailure(db({"keys", cdx, "NOPE"}), "NOPE");
    // An index file cut short is refused, not read.
    writeBytes(cdx, readBytes(cdx).substr(0, 1000));
    expectFailure(db({"keys", cdx}), "ventas.cdx");
    expectFailure(db({"seek", table, "NAME", "pera"}), "ventas.cdx");
}

TEST_F(ToolIndexTest, ReindexRebuildsEveryTagInItsOrder) {
    indexAllTypes();
    ok({"index", table, "POS", "AMOUNT", "--for", "AMOUNT > 0", "--descending"});
    std::string listing = ok({"keys", cdx});
    std::vector<std::string> before;
    for (const char* t : {"NAME", "AMOUNT", "FECHA", "DIA", "OK", "POS"}) before.push_back(keys(t));

    // Damage two tags, then rebuild.
    std::string bytes = readBytes(cdx);
    swapLeafRecords(bytes, tagRoot(cdx, "NAME"), 0, 7);
    swapLeafRecords(bytes, tagRoot(cdx, "POS"), 0, 1);
    writeBytes(cdx, bytes);
    EXPECT_EQ(db({"check", table}).status, 1);
    ok({"reindex", table});
    EXPECT_EQ(ok({"keys", cdx}), listing);
    size_t i = 0;
    for (const char* t : {"NAME", "AMOUNT", "FECHA", "DIA", "OK", "POS"})
        EXPECT_EQ(keys(t), before[i++]) << t;
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 6 tags, 45 keys\n");

    // Rebuilding needs the table to itself.
    {
        wv::test::ErrorRecorder errors;
        auto held = wv::DbfTable::open(table + ".dbf");
        ASSERT_TRUE(held);
        expectFailure(db({"reindex", table}), "ventas");
    }
    ok({"reindex", table});
}

TEST_F(ToolIndexTest, CheckNamesDamageToTheIndex) {
    indexAllTypes();
    ASSERT_EQ(ok({"check", table}), "ok: 8 records, 5 tags, 40 keys\n");
    const std::string good = readBytes(cdx);

    // Two keys with each other's record: the tree is in order, but neither record's key is
    // where it should be.
    std::string bytes = good;
    swapLeafRecords(bytes, tagRoot(cdx, "NAME"), 1, 4);  // Peña (4) and manzana (2)
    writeBytes(cdx, bytes);
    RunResult r = db({"check", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(contains(r.out, "ok:")) << r.out;
    EXPECT_TRUE(contains(r.out, "tag NAME: 2 record keys missing")) << r.out;
    EXPECT_TRUE(contains(r.out, "tag NAME: 2 keys that match no record")) << r.out;
    EXPECT_FALSE(contains(r.out, "AMOUNT")) << r.out;

    // Equal keys out of record-number order: the entries are all there, only their order on
    // the page is wrong.
    bytes = good;
    swapLeafRecords(bytes, tagRoot(cdx, "OK"), 4, 5);  // T 3 before T 1
    writeBytes(cdx, bytes);
    r = db({"check", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "OK: ")) << r.out;
    EXPECT_TRUE(contains(r.out, std::to_string(tagRoot(cdx, "OK")))) << r.out;

    // The table changed behind the index's back: a name rewritten, and an amount that now
    // satisfies a FOR, so that its record's key is missing from that tag.
    writeBytes(cdx, good);
    ok({"index", table, "POS", "AMOUNT", "--for", "AMOUNT > 0"});
    ASSERT_EQ(ok({"check", table}), "ok: 8 records, 6 tags, 45 keys\n");
    std::string dbf = readBytes(table + ".dbf");
    const size_t header = 162, recLen = 32;  // 4 fields; 1 + 12 + 10 + 8 + 1
    ASSERT_EQ(uint8_t(dbf[8]) | uint8_t(dbf[9]) << 8, header);
    ASSERT_EQ(dbf.substr(header + recLen + 1, 7), "manzana");
    dbf.replace(header + recLen + 1, 7, "melocot");           // record 2
    dbf.replace(header + 3 * recLen + 13, 10, "      5.00");  // record 4
    writeBytes(table + ".dbf", dbf);
    r = db({"check", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "tag NAME: 1 record keys missing or repeated (first: record 2)"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "tag NAME: 1 keys that match no record (first: record 2)"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "tag POS: 1 record keys missing or repeated (first: record 4)"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "tag AMOUNT: 1 record keys missing or repeated (first: record 4)"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "tag FECHA")) << r.out;
    // Reindexing cures it.
    ok({"reindex", table});
    EXPECT_EQ(ok({"check", table}), "ok: 8 records, 6 tags, 46 keys\n");
}

// A tag of several levels: a leaf whose right-sibling link is cut.
TEST_F(ToolIndexTest, CheckNamesABrokenSiblingLink) {
    std::string csv = dir.file("many.csv");
    std::string rows = "NAME,AMOUNT\r\n";
    for (int i = 0; i < 3000; ++i) rows += "n" + std::to_string(i * 7919 % 3000) + ",1\r\n";
    writeBytes(csv, rows);
    ASSERT_EQ(ok({"import", table, csv}), "3000\n");
    ok({"index", table, "NAME", "NAME"});
    ASSERT_EQ(ok({"check", table}), "ok: 3008 records, 1 tags, 3008 keys\n");

    std::string bytes = readBytes(cdx);
    uint32_t root = tagRoot(cdx, "NAME");
    ASSERT_EQ(uint8_t(bytes[root]) & 2, 0) << "the tag should have interior pages";
    uint32_t leaf = firstLeaf(bytes, root, 12);
    ASSERT_NE(le32(bytes, leaf + 8), 0xFFFFFFFFu);
    putLe32(bytes, leaf + 8, 0xFFFFFFFF);
    writeBytes(cdx, bytes);
    RunResult r = db({"check", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "NAME: ")) << r.out;
    EXPECT_TRUE(contains(r.out, " " + std::to_string(leaf) + " ")) << r.out;
    EXPECT_FALSE(contains(r.out, "ok:")) << r.out;
}

// ---------------------------------------------------------------------------------------------
// The foreign index: one tag, about 311,000 keys over several levels.

// It lives with the shared fixtures beside the repository, which a fresh clone may not have:
// "" then, and the tests that need it are skipped.
std::string foreignFixture() {
    std::string f = std::string(WV_SOURCE_DIR) + "/../shared/fixtures/foreign-cdx/prrolls.cdx";
    if (!std::filesystem::exists(f))
        f = std::string(WV_SOURCE_DIR) + "/../../shared/fixtures/foreign-cdx/prrolls.cdx";
    return std::filesystem::exists(f) ? f : std::string();
}
const char kNoForeignFixture[] = "fixture ../shared/fixtures/foreign-cdx/prrolls.cdx not found";

TEST(ToolIndexForeign, ListsAndWalksAForeignIndex) {
    std::string fixture = foreignFixture();
    if (fixture.empty()) GTEST_SKIP() << kNoForeignFixture;
    wv::test::TempDir dir;
    std::string copy = dir.file("prrolls.cdx");
    std::filesystem::copy_file(fixture, copy);
    const std::string original = readBytes(copy);

    EXPECT_EQ(ok({"keys", copy}),
              "SKIDROLL\tkey=sono+STR(skidno,4)+STR(rollno,4)\tfor=\tkeylen=18\toptions=0x60\n");
    std::string out = ok({"keys", copy, "SKIDROLL"});
    std::vector<std::string> all = lines(out);
    EXPECT_EQ(all.size(), 311314u);
    // Ascending by the padded key, then by record number; every record once.
    std::string prevKey;
    uint32_t prevRec = 0;
    std::set<uint32_t> recs;
    size_t bad = 0;
    for (const std::string& l : all) {
        size_t tab = l.find('\t');
        ASSERT_NE(tab, std::string::npos) << l;
        std::string key = l.substr(0, tab);
        ASSERT_LE(key.size(), 18u) << l;
        key.resize(18, ' ');
        uint32_t rec = uint32_t(std::stoul(l.substr(tab + 1)));
        if (!prevKey.empty() && !(prevKey < key || (prevKey == key && prevRec < rec))) ++bad;
        recs.insert(rec);
        prevKey = key;
        prevRec = rec;
    }
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(recs.size(), all.size());
    EXPECT_EQ(all.front(), "           300   0\t121755");
    EXPECT_EQ(readBytes(copy), original);  // reading wrote nothing
}

// ---------------------------------------------------------------------------------------------
// index_dump, an independent reader

void requireIndexDump() {
    ASSERT_TRUE(std::filesystem::exists(kIndexDump))
        << kIndexDump << " is missing: install libdbd-xbase-perl (scripts/setup.sh lists it)";
}

// The day number (Julian day) of a YYYYMMDD date, worked out here rather than by the program.
long julianDay(const std::string& ymd) {
    long y = std::stol(ymd.substr(0, 4)), m = std::stol(ymd.substr(4, 2)),
         d = std::stol(ymd.substr(6, 2));
    long a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// index_dump's listing of a tag ("KEY RECNO" lines, keys as raw bytes) in the form of our
// keys command: KEY<TAB>RECNO with UTF-8 texts. type is index_dump's: char or num. Dates are
// read as numbers (its date type needs Time::JulianDay, which Debian does not package), so
// `dates` turns our YYYYMMDD keys into day numbers for the comparison instead.
std::string indexDump(const std::string& cdx, const std::string& tag, const std::string& type) {
    RunResult r = wv::test::run({kPerl, kIndexDump, "--type", type, cdx, tag});
    EXPECT_EQ(r.status, 0) << "index_dump " << tag << ": " << r.err;
    std::string out;
    for (const std::string& l : lines(r.out)) {
        size_t sp = l.rfind(' ');
        if (sp == std::string::npos) {
            ADD_FAILURE() << "index_dump line without a record number: " << l;
            continue;
        }
        out += wv::toUtf8(l.substr(0, sp)) + "\t" + l.substr(sp + 1) + "\n";
    }
    return out;
}

std::string asDayNumbers(const std::string& ourKeys) {
    std::string out;
    for (const std::string& l : lines(ourKeys)) {
        size_t tab = l.find('\t');
        std::string key = l.substr(0, tab);
        out += (key.empty() ? std::string("0") : std::to_string(julianDay(key))) + l.substr(tab) +
               "\n";
    }
    return out;
}

std::string reversedLines(const std::string& text) {
    std::vector<std::string> ls = lines(text);
    std::string out;
    for (auto it = ls.rbegin(); it != ls.rend(); ++it) out += *it + "\n";
    return out;
}

TEST_F(ToolIndexTest, IndexDumpReadsOurTags) {
    requireIndexDump();
    EXPECT_EQ(julianDay("20000101"), 2451545);

    // 70,000 records: several levels, and record numbers past 65,535 that need wider key-info
    // entries.
    std::string csv = dir.file("many.csv");
    std::string rows = "NAME,AMOUNT,FECHA,OK\r\n";
    uint32_t x = 12345;
    auto next = [&] { return x = x * 1103515245u + 12345u, (x >> 8) & 0xFFFFFF; };
    for (int i = 0; i < 70000; ++i) {
        uint32_t a = next(), b = next(), c = next();
        std::string name = a % 50 == 0 ? ""
                                       : (a % 7 == 0    ? "Ñ"
                                          : a % 11 == 0 ? "pe ña "
                                                        : "n") +
                                             std::to_string(a % 40000);
        char amount[32], day[16];
        std::snprintf(amount, sizeof amount, "%s%u.%02u", b % 3 ? "" : "-", b % 100000, c % 100);
        std::snprintf(day, sizeof day, "%04u%02u%02u", 1901 + c % 198, 1 + b % 12, 1 + a % 28);
        rows += name + "," + amount + "," + (c % 40 == 0 ? "" : day) + "," + (a % 2 ? "T" : "F") +
                "\r\n";
    }
    writeBytes(csv, rows);
    ASSERT_EQ(ok({"import", table, csv}), "70000\n");
    indexAllTypes();
    ok({"index", table, "POS", "AMOUNT", "--for", "AMOUNT > 0"});
    ok({"index", table, "DNAME", "NAME", "--descending"});
    ok({"index", table, "UFECHA", "FECHA", "--unique"});

    // (EXPECT_TRUE rather than EXPECT_EQ: a difference in 70,000 lines is no use printed whole.)
    auto compareChanged = [&] {
        EXPECT_TRUE(indexDump(cdx, "NAME", "char") == keys("NAME"));
        EXPECT_TRUE(indexDump(cdx, "AMOUNT", "num") == keys("AMOUNT"));
        EXPECT_TRUE(indexDump(cdx, "POS", "num") == keys("POS"));
        EXPECT_TRUE(indexDump(cdx, "FECHA", "num") == asDayNumbers(keys("FECHA")));
        // A descending tag is stored ascending; index_dump reads it as stored.
        EXPECT_TRUE(indexDump(cdx, "DNAME", "char") == reversedLines(keys("DNAME")));
    };
    compareChanged();
    EXPECT_TRUE(indexDump(cdx, "DIA", "char") == keys("DIA"));
    EXPECT_TRUE(indexDump(cdx, "OK", "char") == keys("OK"));
    EXPECT_TRUE(indexDump(cdx, "UFECHA", "num") == asDayNumbers(keys("UFECHA")));
    EXPECT_EQ(lines(keys("NAME")).size(), 70008u);

    // The directory: index_dump lists the tag names in key order.
    RunResult r = wv::test::run({kPerl, kIndexDump, "--type", "char", cdx});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "AMOUNT\nDIA\nDNAME\nFECHA\nNAME\nOK\nPOS\nUFECHA\n");

    // Keys changed one at a time (splits and merges of pages in the middle of the trees, not
    // the bulk build) read the same.
    {
        wv::test::ErrorRecorder errors;
        auto area = wv::WorkArea::open(table + ".dbf", "", true, false);
        ASSERT_TRUE(area);
        wv::DbfTable& t = area->table();
        for (uint32_t i = 0; i < 600; ++i) {
            ASSERT_TRUE(t.append());
            t.put("NAME", wv::Value("m" + std::to_string(next() % 40000)));
            t.put("AMOUNT", wv::Value::number(double(int(next() % 20000) - 10000) / 4));
            t.put("FECHA", wv::Value(wv::Date{int32_t(2415021 + next() % 60000)}));
            ASSERT_TRUE(t.flush());
        }
        for (uint32_t rec = 1; rec <= 70000; rec += 97) {
            ASSERT_TRUE(t.goTo(rec));
            ASSERT_TRUE(t.rlock());
            t.put("NAME", wv::Value(rec % 2 ? std::string("zz") : std::string()));
            t.put("AMOUNT", wv::Value::number(-double(rec)));
            ASSERT_TRUE(t.flush());
        }
        t.unlockAll();
        EXPECT_TRUE(errors.errors.empty()) << errors.last();
    }
    compareChanged();
    EXPECT_EQ(lines(keys("NAME")).size(), 70608u);
}

TEST(ToolIndexForeign, IndexDumpReadsTheForeignIndexAsWeDo) {
    requireIndexDump();
    std::string fixture = foreignFixture();
    if (fixture.empty()) GTEST_SKIP() << kNoForeignFixture;
    wv::test::TempDir dir;
    std::string copy = dir.file("prrolls.cdx");
    std::filesystem::copy_file(fixture, copy);
    std::string theirs = indexDump(copy, "SKIDROLL", "char");
    EXPECT_EQ(lines(theirs).size(), 311314u);
    EXPECT_TRUE(theirs == ok({"keys", copy, "SKIDROLL"}));
}

}  // namespace
