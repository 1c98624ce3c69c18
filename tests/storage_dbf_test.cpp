// The table file: layout, field encodings, positioning, pack and zap, foreign tables, errors.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "runtime/date.h"
#include "runtime/settings.h"
#include "storage/dbf.h"
#include "tests/test_support.h"

using namespace wv;
using wv::test::ErrorRecorder;
using wv::test::readBytes;
using wv::test::TempDir;
using wv::test::writeBytes;

namespace {

std::vector<FieldDef> basicFields() {
    return {{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}, {"DAY", 'D', 8, 0}, {"OK", 'L', 1, 0}};
}

std::unique_ptr<DbfTable> openShared(const std::string& path, bool readOnly = false) {
    DbfTable::OpenOptions o;
    o.shared = true;
    o.readOnly = readOnly;
    return DbfTable::open(path, o);
}

std::unique_ptr<DbfTable> openExclusive(const std::string& path) {
    DbfTable::OpenOptions o;
    o.shared = false;
    return DbfTable::open(path, o);
}

// A table of `n` records NAME = "R<k>", AMOUNT = k, created and filled exclusively.
std::string makeTable(const TempDir& dir, uint32_t n, const std::string& name = "t.dbf") {
    std::string path = dir.file(name);
    auto t = DbfTable::create(path, basicFields());
    EXPECT_TRUE(t);
    for (uint32_t k = 1; k <= n; ++k) {
        EXPECT_TRUE(t->append());
        t->put(0, Value("R" + std::to_string(k)));
        t->put(1, Value::number(k));
    }
    t->close();
    return path;
}

std::string recordBytes(const std::string& file, uint32_t headerLen, uint32_t recLen, uint32_t k) {
    return readBytes(file).substr(headerLen + (k - 1) * recLen, recLen);
}

}  // namespace

TEST(DbfLayout, NewTableHeaderAndDescriptors) {
    TempDir dir;
    std::string path = dir.file("t.dbf");
    ASSERT_TRUE(DbfTable::create(path, basicFields()));
    std::string b = readBytes(path);
    ASSERT_EQ(b.size(), 163u);
    EXPECT_EQ(uint8_t(b[0]), 0x03);
    Date today = wv::today();
    EXPECT_EQ(uint8_t(b[1]), year(today) - 1900);
    EXPECT_EQ(uint8_t(b[2]), month(today));
    EXPECT_EQ(uint8_t(b[3]), day(today));
    EXPECT_EQ(b.substr(4, 4), std::string(4, '\0'));
    EXPECT_EQ(uint8_t(b[8]) | uint8_t(b[9]) << 8, 162);
    EXPECT_EQ(uint8_t(b[10]) | uint8_t(b[11]) << 8, 28);
    EXPECT_EQ(b.substr(12, 20), std::string(20, '\0'));
    // Descriptor of AMOUNT: name, type, zero offset, length 8, decimals 2.
    std::string d = b.substr(64, 32);
    EXPECT_EQ(d.substr(0, 11), std::string("AMOUNT\0\0\0\0\0", 11));
    EXPECT_EQ(d[11], 'N');
    EXPECT_EQ(d.substr(12, 4), std::string(4, '\0'));
    EXPECT_EQ(uint8_t(d[16]), 8);
    EXPECT_EQ(uint8_t(d[17]), 2);
    EXPECT_EQ(b.substr(160, 3), std::string("\x0D\x00\x1A", 3));
}

TEST(DbfLayout, LongCharacterFieldUsesDecimalsByteAsHighByte) {
    TempDir dir;
    std::string path = dir.file("long.dbf");
    {
        auto t = DbfTable::create(path, {{"TEXT", 'C', 300, 0}});
        ASSERT_TRUE(t);
        ASSERT_TRUE(t->append());
        ASSERT_TRUE(t->put(0, Value(std::string(299, 'x') + "yz")));
    }
    std::string b = readBytes(path);
    EXPECT_EQ(uint8_t(b[32 + 16]), 300 & 0xFF);
    EXPECT_EQ(uint8_t(b[32 + 17]), 300 >> 8);
    auto t = openShared(path);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->field(0).len, 300);
    EXPECT_EQ(t->get(0).text(), std::string(299, 'x') + "y");  // cut to the field
}

TEST(DbfLayout, MemoTableVersionByte) {
    TempDir dir;
    std::string path = dir.file("m.dbf");
    ASSERT_TRUE(DbfTable::create(path, {{"ID", 'C', 4, 0}, {"NOTES", 'M', 10, 0}}));
    EXPECT_EQ(uint8_t(readBytes(path)[0]), 0xF5);
    EXPECT_TRUE(std::filesystem::exists(dir.file("m.fpt")));
}

TEST(DbfFields, EncodingsAndReads) {
    TempDir dir;
    std::string path = makeTable(dir, 0);
    auto t = openExclusive(path);
    ASSERT_TRUE(t);
    ErrorRecorder rec;
    ASSERT_TRUE(t->append());
    EXPECT_TRUE(t->put(1, Value::number(123.456)));
    EXPECT_TRUE(t->put(2, Value(dateFromYmd(2008, 5, 19))));
    EXPECT_TRUE(t->put(3, Value(true)));
    EXPECT_TRUE(t->put(0, Value("M\xE9xico")));
    ASSERT_TRUE(t->flush());
    std::string r = recordBytes(path, 162, 28, 1);
    EXPECT_EQ(r, " M\xE9xico    " "  123.46" "20080519" "T");
    EXPECT_DOUBLE_EQ(t->get(1).num(), 123.46);
    EXPECT_EQ(t->get(1).toText(), "  123.46");
    EXPECT_EQ(t->get(2).date(), dateFromYmd(2008, 5, 19));

    // Too wide: asterisks and 34/1021.
    EXPECT_FALSE(t->put(1, Value::number(1234567)));
    EXPECT_EQ(rec.last(), "34/1021");
    // Wrong type: 33/1020 and the field unchanged.
    EXPECT_TRUE(t->put(0, Value("abc")));
    EXPECT_FALSE(t->put(0, Value::number(5)));
    EXPECT_EQ(rec.last(), "33/1020");
    EXPECT_FALSE(t->put(2, Value("20080101")));
    EXPECT_FALSE(t->put(3, Value()));
    ASSERT_TRUE(t->flush());
    r = recordBytes(path, 162, 28, 1);
    EXPECT_EQ(r.substr(1, 10), "abc       ");
    EXPECT_EQ(r.substr(11, 8), "********");
    EXPECT_EQ(r.substr(19, 8), "20080519");

    // Empty values.
    EXPECT_TRUE(t->put(2, Value(Date{})));
    EXPECT_TRUE(t->put(1, Value::number(-0.004)));
    ASSERT_TRUE(t->flush());
    r = recordBytes(path, 162, 28, 1);
    EXPECT_EQ(r.substr(19, 8), "        ");
    EXPECT_EQ(r.substr(11, 8), "    0.00");
    EXPECT_TRUE(t->get(2).date().empty());
}

TEST(DbfFields, LogicalAndBlankReads) {
    TempDir dir;
    std::string path = makeTable(dir, 4);
    std::string b = readBytes(path);
    // Logical byte of records 1-4: space, y, t, N; the amount of record 4 all blanks.
    b[162 + 0 * 28 + 27] = ' ';
    b[162 + 1 * 28 + 27] = 'y';
    b[162 + 2 * 28 + 27] = 't';
    b[162 + 3 * 28 + 27] = 'N';
    std::memset(&b[162 + 3 * 28 + 11], ' ', 8);
    writeBytes(path, b);
    auto t = openShared(path, true);
    ASSERT_TRUE(t);
    bool want[] = {false, true, true, false};
    for (uint32_t k = 1; k <= 4; ++k) {
        t->goTo(k);
        EXPECT_EQ(t->get(3).logical(), want[k - 1]) << k;
    }
    EXPECT_EQ(t->get(1).num(), 0);
    EXPECT_TRUE(t->get("day").date().empty());
    EXPECT_EQ(t->get("NAME").text(), "R4        ");
}

TEST(DbfPositioning, GotoSkipTopBottomAndPhantom) {
    TempDir dir;
    std::string path = makeTable(dir, 5);
    auto t = openExclusive(path);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->recNo(), 1u);
    EXPECT_FALSE(t->bof());
    ASSERT_TRUE(t->goTo(3));
    EXPECT_EQ(t->get(0).text(), "R3        ");
    ASSERT_TRUE(t->goTo(99));
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recNo(), 6u);
    EXPECT_EQ(t->get(0).text(), std::string(10, ' '));
    // A put on the phantom record changes nothing and raises nothing.
    {
        ErrorRecorder rec;
        EXPECT_TRUE(t->put(0, Value("ghost")));
        EXPECT_TRUE(rec.errors.empty());
    }
    EXPECT_EQ(readBytes(path).size(), 162u + 5 * 28 + 1);
    ASSERT_TRUE(t->skip(-1));
    EXPECT_EQ(t->recNo(), 5u);
    ASSERT_TRUE(t->goTop());
    ASSERT_TRUE(t->skip(-1));
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->recNo(), 1u);
    ASSERT_TRUE(t->goBottom());
    EXPECT_EQ(t->recNo(), 5u);
    ASSERT_TRUE(t->skip(1));
    EXPECT_TRUE(t->eof());
    ASSERT_TRUE(t->skip(1));
    EXPECT_TRUE(t->eof());
}

TEST(DbfPositioning, DeletedRecordsAreSkippedWhenTheSettingIsOn) {
    TempDir dir;
    std::string path = makeTable(dir, 5);
    {
        auto t = openExclusive(path);
        for (uint32_t k : {1u, 3u, 5u}) {
            t->goTo(k);
            ASSERT_TRUE(t->deleteRecord());
        }
    }
    auto t = openShared(path, true);
    ASSERT_TRUE(settings().deleted);
    ASSERT_TRUE(t->goTop());
    EXPECT_EQ(t->recNo(), 2u);
    ASSERT_TRUE(t->skip(1));
    EXPECT_EQ(t->recNo(), 4u);
    ASSERT_TRUE(t->skip(1));
    EXPECT_TRUE(t->eof());
    ASSERT_TRUE(t->goBottom());
    EXPECT_EQ(t->recNo(), 4u);
    ASSERT_TRUE(t->skip(-1));
    EXPECT_EQ(t->recNo(), 2u);
    ASSERT_TRUE(t->skip(-1));
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->recNo(), 2u);

    settings().deleted = false;
    ASSERT_TRUE(t->goTop());
    EXPECT_EQ(t->recNo(), 1u);
    EXPECT_TRUE(t->deleted());
    settings().deleted = true;
}

TEST(DbfPositioning, EmptyTable) {
    TempDir dir;
    std::string path = makeTable(dir, 0);
    auto t = openShared(path);
    ASSERT_TRUE(t->goTop());
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->bof());
    ASSERT_TRUE(t->goBottom());
    EXPECT_TRUE(t->eof());
    ASSERT_TRUE(t->skip(-1));
    EXPECT_TRUE(t->bof());
}

TEST(DbfCount, SharedCountComesFromTheFileSize) {
    TempDir dir;
    std::string path = makeTable(dir, 10);
    std::string b = readBytes(path);
    b[4] = 12;  // the header claims 12 records
    b.pop_back();  // and the end marker is gone, as after shared appends
    writeBytes(path, b);
    auto t = openShared(path);
    EXPECT_EQ(t->recCount(), 10u);
    EXPECT_EQ(t->headerCount(), 12u);
}

TEST(DbfPackZap, PackKeepsOrderAndTruncates) {
    TempDir dir;
    std::string path = makeTable(dir, 10);
    auto t = openExclusive(path);
    for (uint32_t k : {2u, 3u, 7u, 10u}) {
        t->goTo(k);
        ASSERT_TRUE(t->deleteRecord());
    }
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    ASSERT_TRUE(t->pack([&](uint32_t done, uint32_t total) { calls.push_back({done, total}); }, 4));
    EXPECT_EQ(t->recCount(), 6u);
    EXPECT_EQ(readBytes(path).size(), 162u + 6 * 28 + 1);
    EXPECT_EQ(readBytes(path).back(), '\x1A');
    // Every 4 records and once more for the last two.
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].first, 10u);
    std::vector<std::string> names;
    for (t->goTop(); !t->eof(); t->skip()) names.push_back(t->get(0).text().substr(0, 3));
    EXPECT_EQ(names, (std::vector<std::string>{"R1 ", "R4 ", "R5 ", "R6 ", "R8 ", "R9 "}));
    EXPECT_EQ(uint8_t(readBytes(path)[4]), 6);

    ASSERT_TRUE(t->zap());
    EXPECT_EQ(t->recCount(), 0u);
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(readBytes(path).size(), 163u);
}

TEST(DbfPackZap, SharedOrReadOnlyAreRefusedAndLeaveTheFile) {
    TempDir dir;
    std::string path = makeTable(dir, 3);
    std::string before = readBytes(path);
    ErrorRecorder rec;
    {
        auto t = openShared(path);
        EXPECT_FALSE(t->pack());
        EXPECT_EQ(rec.last(), "37/1023");
        EXPECT_FALSE(t->zap());
        EXPECT_EQ(rec.last(), "37/1023");
    }
    {
        DbfTable::OpenOptions o;
        o.shared = false;
        o.readOnly = true;
        auto t = DbfTable::open(path, o);
        ASSERT_TRUE(t);
        EXPECT_FALSE(t->pack());
        EXPECT_EQ(rec.last(), "39/1025");
        EXPECT_FALSE(t->append());
        EXPECT_EQ(rec.last(), "39/1025");
        EXPECT_FALSE(t->put(0, Value("x")));
        EXPECT_EQ(rec.last(), "39/1025");
    }
    EXPECT_EQ(readBytes(path), before);
}

TEST(DbfMemo, MemoFieldsRoundTripAndPack) {
    TempDir dir;
    std::string path = dir.file("m.dbf");
    {
        auto t = DbfTable::create(path, {{"ID", 'C', 4, 0}, {"NOTES", 'M', 10, 0}});
        ASSERT_TRUE(t);
        for (int k = 1; k <= 4; ++k) {
            ASSERT_TRUE(t->append());
            t->put(0, Value(std::to_string(k)));
            t->put(1, Value(std::string(size_t(k) * 50, char('a' + k))));
        }
        t->goTo(2);
        t->deleteRecord();
        t->goTo(3);
        ASSERT_TRUE(t->put(1, Value("")));
    }
    auto t = openExclusive(path);
    ASSERT_TRUE(t);
    t->goTo(4);
    EXPECT_EQ(t->get(1).text(), std::string(200, 'e'));
    t->goTo(3);
    EXPECT_EQ(t->get(1).text(), "");
    ASSERT_TRUE(t->pack());
    EXPECT_EQ(t->recCount(), 3u);
    t->goTo(1);
    EXPECT_EQ(t->get(1).text(), std::string(50, 'b'));
    t->goTo(3);
    EXPECT_EQ(t->get(1).text(), std::string(200, 'e'));
}

TEST(DbfMemo, DamagedReferenceIsCorruption) {
    TempDir dir;
    std::string path = dir.file("m.dbf");
    {
        auto t = DbfTable::create(path, {{"ID", 'C', 4, 0}, {"NOTES", 'M', 10, 0}});
        ASSERT_TRUE(t->append());
        t->put(1, Value("hello"));
    }
    std::string b = readBytes(path);
    uint32_t hl = 32 + 64 + 2;
    std::memcpy(&b[hl + 5], "      12 3", 10);
    writeBytes(path, b);
    ErrorRecorder rec;
    auto t = openShared(path, true);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->get(1).text(), "");
    EXPECT_EQ(rec.last(), "32/1012");
}

// --- Tables written by other programs

namespace {

// An extended-type table: version 0x30, a 263-byte area after the descriptors, the code page
// mark 0x03, field types I, Y, T, B and a nullable C with "_NullFlags".
std::string foreignTable() {
    struct D {
        const char* name;
        char type;
        uint8_t len, dec, flags;
    } fields[] = {{"ID", 'I', 4, 0, 0},       {"PRICE", 'Y', 8, 4, 0}, {"STAMP", 'T', 8, 0, 0},
                  {"RATE", 'B', 8, 2, 0},     {"NAME", 'C', 6, 0, 2},  {"_NullFlags", '0', 1, 0, 5}};
    const int n = 6;
    uint32_t hl = 32 + 32 * n + 1 + 263;
    uint32_t rl = 1 + 4 + 8 + 8 + 8 + 6 + 1;
    std::string b(hl, '\0');
    b[0] = 0x30;
    b[1] = 120;
    b[2] = 1;
    b[3] = 2;
    b[8] = char(hl & 0xFF);
    b[9] = char(hl >> 8);
    b[10] = char(rl);
    b[12] = 0x11;  // something a foreign writer left in the reserved bytes
    b[29] = 0x03;
    uint32_t off = 1;
    for (int i = 0; i < n; ++i) {
        char* d = &b[32 + 32 * i];
        std::memcpy(d, fields[i].name, std::strlen(fields[i].name));
        d[11] = fields[i].type;
        d[12] = char(off);
        d[16] = char(fields[i].len);
        d[17] = char(fields[i].dec);
        d[18] = char(fields[i].flags);
        off += fields[i].len;
    }
    b[32 + 32 * n] = 0x0D;
    auto rec = [&](int32_t id, int64_t price, int32_t jd, double rate, const char* name,
                   uint8_t nulls) {
        std::string r(rl, '\0');
        r[0] = ' ';
        std::memcpy(&r[1], &id, 4);
        std::memcpy(&r[5], &price, 8);
        std::memcpy(&r[13], &jd, 4);
        std::memcpy(&r[21], &rate, 8);
        std::memcpy(&r[29], name, 6);
        r[35] = char(nulls);
        return r;
    };
    b += rec(42, 123456, 2451545, 16.5, "M\xE9rida", 0);
    b += rec(-7, -5000, 0, 0, "      ", 1);
    b[4] = 2;
    return b;
}

}  // namespace

TEST(DbfForeign, ExtendedTypesAndHeaderAreaAreRead) {
    TempDir dir;
    std::string path = dir.file("vfp.dbf");
    writeBytes(path, foreignTable());
    auto t = openShared(path, true);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->headerLength(), 32u + 192 + 1 + 263);
    EXPECT_EQ(t->codePageMark(), 0x03);
    EXPECT_EQ(t->recCount(), 2u);
    EXPECT_EQ(t->get("ID").num(), 42);
    EXPECT_DOUBLE_EQ(t->get("PRICE").num(), 12.3456);
    EXPECT_EQ(t->get("STAMP").date(), dateFromYmd(2000, 1, 1));
    EXPECT_DOUBLE_EQ(t->get("RATE").num(), 16.5);
    EXPECT_EQ(t->get("NAME").text(), "M\xE9rida");
    t->goTo(2);
    EXPECT_EQ(t->get("ID").num(), -7);
    EXPECT_DOUBLE_EQ(t->get("PRICE").num(), -0.5);
    EXPECT_TRUE(t->get("NAME").isNil());
}

TEST(DbfForeign, HeaderRewriteKeepsReservedBytesAndCodePage) {
    TempDir dir;
    std::string path = dir.file("vfp.dbf");
    std::string orig = foreignTable();
    writeBytes(path, orig);
    {
        auto t = openShared(path);
        ASSERT_TRUE(t);
        ASSERT_TRUE(t->append());
        ASSERT_TRUE(t->flush());
    }
    std::string b = readBytes(path);
    EXPECT_EQ(uint8_t(b[0]), 0x30);
    EXPECT_EQ(b[4], 3);
    EXPECT_EQ(b.substr(8, 24), orig.substr(8, 24));
    EXPECT_EQ(b.substr(32, 32 * 6 + 1 + 263), orig.substr(32, 32 * 6 + 1 + 263));
}

TEST(DbfOpen, NamesAreFoundWithoutRegardToCaseAndBackslashes) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Datos"));
    makeTable(dir, 2, "Datos/facturas.dbf");
    auto t = openShared(dir.path() + "\\DATOS\\FACTURAS");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->path(), dir.file("Datos/facturas.dbf"));
    EXPECT_EQ(t->recCount(), 2u);
}

// --- Errors of damaged and missing files

TEST(DbfErrors, OpenAndCreateFailures) {
    TempDir dir;
    ErrorRecorder rec;
    EXPECT_FALSE(openShared(dir.file("missing.dbf")));
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.last(), "21/1001");
    EXPECT_EQ(rec.errors[0].osCode, 2);
    EXPECT_EQ(rec.errors[0].description, "Error de apertura");
    EXPECT_TRUE(rec.errors[0].canRetry);
    EXPECT_TRUE(rec.errors[0].canDefault);
    EXPECT_FALSE(netErr());

    EXPECT_FALSE(DbfTable::create(dir.file("no/such/dir/t.dbf"), basicFields()));
    EXPECT_EQ(rec.last(), "20/1004");
    EXPECT_EQ(rec.errors.back().description, "Error de creaci\xF3n");
}

TEST(DbfErrors, RetryRepeatsTheOpen) {
    TempDir dir;
    int calls = 0;
    std::string path = dir.file("late.dbf");
    ScopedErrorHandler h([&](const Error&) {
        if (++calls == 2) makeTable(dir, 1, "late.dbf");
        return ErrorChoice::Retry;
    });
    auto t = openShared(path);
    EXPECT_TRUE(t);
    EXPECT_EQ(calls, 2);
}

TEST(DbfErrors, DamagedHeadersAreCorruptionNeverACrash) {
    TempDir dir;
    std::string good = readBytes(makeTable(dir, 2));
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", ""});
    cases.push_back({"truncated header", good.substr(0, 20)});
    cases.push_back({"truncated descriptors", good.substr(0, 100)});
    std::string v = good;
    v[0] = 0x42;
    cases.push_back({"unknown version", v});
    std::string noTerm = good;
    noTerm[160] = 'X';  // where the terminator stood
    cases.push_back({"no terminator", noTerm});
    std::string badLen = good;
    badLen[64 + 16] = 0;  // AMOUNT with length 0
    cases.push_back({"zero length", badLen});
    std::string badDate = good;
    badDate[96 + 16] = 5;
    cases.push_back({"date of length 5", badDate});
    std::string badType = good;
    badType[32 + 11] = 'Z';
    cases.push_back({"unknown type", badType});
    std::string hugeHeader = good;
    hugeHeader[8] = char(0xFF);
    hugeHeader[9] = char(0xFF);
    cases.push_back({"header longer than the file", hugeHeader});
    std::string shortRec = good;
    shortRec[10] = 5;  // record length shorter than the fields
    cases.push_back({"record length too short", shortRec});
    std::string zeroRec = good;
    zeroRec[10] = 0;
    zeroRec[11] = 0;
    cases.push_back({"record length 0", zeroRec});

    for (const Case& c : cases) {
        std::string path = dir.file("bad.dbf");
        writeBytes(path, c.bytes);
        ErrorRecorder rec;
        EXPECT_FALSE(openShared(path)) << c.what;
        EXPECT_EQ(rec.last(), "32/1012") << c.what;
        EXPECT_EQ(rec.errors.back().description, "Se detect\xF3 corrupci\xF3n") << c.what;
        EXPECT_EQ(readBytes(path), c.bytes) << c.what << ": the file was written";
    }
}

TEST(DbfErrors, RecordThatCannotBeReadInFull) {
    TempDir dir;
    std::string path = makeTable(dir, 10);
    auto t = openShared(path, true);
    ASSERT_EQ(t->recCount(), 10u);
    std::filesystem::resize_file(path, 162 + 5 * 28 + 10);
    ErrorRecorder rec;
    t->goTo(8);  // within the cached count: no refresh
    t->get(0);
    EXPECT_EQ(rec.last(), "23/1010");
    EXPECT_FALSE(rec.errors.back().canRetry);
    EXPECT_FALSE(rec.errors.back().canDefault);
}
