// wvestor-db end to end: every command through the built program, its output formats, and its
// failures (exit status 1 with one line on standard error, the table left as it was).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "data/workarea.h"
#include "storage/dbf.h"
#include "tests/test_support.h"

namespace {

using wv::test::db;
using wv::test::RunResult;

const std::string kCsvHeader = "_RECNO,NAME,AMOUNT,DAY,OK,NOTES\r\n";

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Equal texts, or a failure that shows where they part: with memos of thousands of lines a
// whole-text comparison is unreadable.
::testing::AssertionResult sameText(const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    size_t from = i < 160 ? 0 : i - 160;
    return ::testing::AssertionFailure()
           << "texts differ at byte " << i << " (sizes " << actual.size() << " and expected "
           << expected.size() << ")\n--- actual from byte " << from << ":\n"
           << actual.substr(from, 320) << "\n--- expected from byte " << from << ":\n"
           << expected.substr(from, 320);
}

// A failed command: status 1, nothing on standard output, exactly one line on standard error,
// and that line mentions `what`.
void expectFailure(const RunResult& r, const std::string& what) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(!r.err.empty() && r.err.back() == '\n') << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << "expected \"" << what << "\" in: " << r.err;
}

class ToolTest : public ::testing::Test {
protected:
    wv::test::TempDir dir;
    std::string table = dir.file("guests");

    void SetUp() override {
        ok({"create", table, "NAME:C:20", "AMOUNT:N:10:2", "DAY:D", "OK:L", "NOTES:M"});
    }

    // Runs a command that must succeed and gives its standard output.
    std::string ok(const std::vector<std::string>& args) {
        RunResult r = db(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err, "") << args[0];
        return r.out;
    }
    std::string dump(bool all = false) {
        return all ? ok({"dump", table, "--all"}) : ok({"dump", table});
    }
    std::string info() { return ok({"info", table}); }
};

TEST_F(ToolTest, CreateWritesTheStructureAndTheMemoFile) {
    EXPECT_TRUE(exists(table + ".dbf"));
    EXPECT_TRUE(exists(table + ".fpt"));
    EXPECT_FALSE(exists(table));

    std::string out = info();
    for (const char* line : {"version: 0xF5\n", "records (header): 0\n", "records (file size): 0\n",
                             "header length: 194\n", "record length: 50\n", "field: NAME C 20 0\n",
                             "field: AMOUNT N 10 2\n", "field: DAY D 8 0\n", "field: OK L 1 0\n",
                             "field: NOTES M 10 0\n", "memo file: "})
        EXPECT_NE(out.find(line), std::string::npos) << line << " not in:\n" << out;

    std::string bytes = wv::test::readBytes(table + ".dbf");
    ASSERT_GE(bytes.size(), 194u);
    EXPECT_EQ(uint8_t(bytes[0]), 0xF5);
    EXPECT_EQ(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8, 194);
    EXPECT_EQ(uint8_t(bytes[10]) | uint8_t(bytes[11]) << 8, 50);
    EXPECT_EQ(bytes.substr(32, 5), std::string("NAME\0", 5));
    EXPECT_EQ(bytes[32 + 11], 'C');
    EXPECT_EQ(bytes[192], '\x0D');

    // Without memo fields: plain version byte, no memo file; a given extension is kept.
    std::string plain = dir.file("rates.tab");
    ok({"create", plain, "CODE:C:4", "RATE:N:5:1"});
    EXPECT_TRUE(exists(plain));
    EXPECT_FALSE(exists(plain + ".dbf"));
    EXPECT_FALSE(exists(dir.file("rates.fpt")));
    out = ok({"info", plain});
    EXPECT_NE(out.find("version: 0x03\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("memo file"), std::string::npos) << out;
}

TEST_F(ToolTest, CreateRejectsBadFieldLists) {
    std::string other = dir.file("other");
    expectFailure(db({"create", other, "NAME:C"}), "NAME:C");
    expectFailure(db({"create", other, "NAME:C:x"}), "NAME:C:x");
    expectFailure(db({"create", other, "NAME"}), "NAME");
    expectFailure(db({"create", other}), "create");
    expectFailure(db({"create", other, "CODE:Q:4"}), "");
}

TEST_F(ToolTest, AppendPrintsRecordNumbersAndDumpWritesStoredValues) {
    EXPECT_EQ(
        ok({"append", table, "NAME=Ana", "AMOUNT=12.5", "DAY=20240229", "OK=T", "NOTES=una nota"}),
        "1\n");
    EXPECT_EQ(ok({"append", table, "--exclusive", "NAME=Luis"}), "2\n");
    EXPECT_EQ(ok({"append", table, "name=  Eva  ", "Amount=-3", "OK=F",
                  "NOTES=two\nlines, \"quoted\"\n"}),
              "3\n");
    EXPECT_EQ(ok({"append", table, "AMOUNT= 1234567.891 ", "DAY=", "OK=y"}), "4\n");

    EXPECT_EQ(dump(), kCsvHeader +
                          "1,Ana,12.50,20240229,T,una nota\r\n"
                          "2,Luis,,,F,\r\n"
                          "3,  Eva,-3.00,,F,\"two\nlines, \"\"quoted\"\"\n\"\r\n"
                          "4,,1234567.89,,T,\r\n");

    // The record as stored: texts padded with blanks, numbers right-aligned, blank fields.
    std::string bytes = wv::test::readBytes(table + ".dbf");
    ASSERT_GE(bytes.size(), 194u + 4 * 50);
    EXPECT_EQ(bytes.substr(194, 40), " Ana" + std::string(17, ' ') + "     12.50" + "20240229T");
    EXPECT_EQ(bytes.substr(194 + 50, 40), " Luis" + std::string(35, ' '));
    EXPECT_NE(info().find("records (header): 4\n"), std::string::npos);
}

TEST_F(ToolTest, LongMemosComeBackInFull) {
    std::string memo;
    for (int i = 0; memo.size() < 70000; ++i)
        memo += "Línea " + std::to_string(i) + ": habitación, huéspedes \"extra\"\r\n";
    EXPECT_EQ(ok({"append", table, "NAME=largo", "NOTES=" + memo}), "1\n");
    EXPECT_EQ(ok({"append", table, "NAME=corto", "NOTES=x"}), "2\n");
    std::string quoted = memo;
    for (size_t p = 0; (p = quoted.find('"', p)) != std::string::npos; p += 2)
        quoted.insert(p, 1, '"');
    EXPECT_TRUE(
        sameText(dump(), kCsvHeader + "1,largo,,,F,\"" + quoted + "\"\r\n2,corto,,,F,x\r\n"));
}

TEST_F(ToolTest, ImportReadsRfc4180AndStoresCodePage1252) {
    std::string csv = dir.file("in.csv");
    wv::test::writeBytes(csv,
                         "NOTES,NAME,AMOUNT,DAY,OK\r\n"
                         "\"dice \"\"hola\"\", adiós\",\"Mérida, Yucatán\",1500.75,20240101,T\r\n"
                         "\"línea 1\r\nlínea 2\nlínea 3\",Óscar,,20231231,F\r\n"
                         "\r\n"
                         ",\"\",-0.5,,\r\n");
    EXPECT_EQ(ok({"import", table, csv}), "3\n");

    // A UTF-8 byte-order mark and bare LF line ends.
    wv::test::writeBytes(csv, "\xEF\xBB\xBFNAME,OK\nPeña,T\n\"a\nb\",F");
    EXPECT_EQ(ok({"import", table, csv}), "2\n");

    EXPECT_EQ(dump(),
              kCsvHeader +
                  "1,\"Mérida, Yucatán\",1500.75,20240101,T,\"dice \"\"hola\"\", adiós\"\r\n"
                  "2,Óscar,0.00,20231231,F,\"línea 1\r\nlínea 2\nlínea 3\"\r\n"
                  "3,,-0.50,,F,\r\n"
                  "4,Peña,,,T,\r\n"
                  "5,\"a\nb\",,,F,\r\n");

    // One byte per character in the file, as code page 1252.
    std::string bytes = wv::test::readBytes(table + ".dbf");
    EXPECT_EQ(bytes.substr(194 + 1, 16), "M\xE9rida, Yucat\xE1n ");
    EXPECT_EQ(bytes.substr(194 + 50 + 1, 6), "\xD3scar ");
    EXPECT_EQ(bytes.substr(194 + 3 * 50 + 1, 5), "Pe\xF1" "a ");
}

TEST_F(ToolTest, ImportFailsWholeBeforeWritingAnything) {
    std::string csv = dir.file("in.csv");
    struct Case {
        const char* text;
        const char* mentions;
    } cases[] = {
        {"NAME,ROOM\r\nAna,1\r\n", "ROOM"},
        {"NAME,AMOUNT\r\nAna,1\r\nLuis,uno\r\n", "uno"},
        {"NAME,DAY\r\nAna,20240101\r\nLuis,20240231\r\n", "20240231"},
        {"NAME,OK\r\nAna,T\r\nLuis,quizá\r\n", "OK"},
        {"NAME,AMOUNT\r\nAna,1\r\nLuis\r\n", "row 3"},
        {"NAME,AMOUNT\r\nAna,1\r\n\"Luis,2\r\n", "unterminated"},
        {"NAME,AMOUNT\r\nAna,1\r\nLu\"is,2\r\n", "quote"},
        {"NAME,AMOUNT\r\nAna,1\r\nMaría de los Ángeles Peña,2\r\n",
         "row 3: field NAME: text of 25 characters does not fit in 20"},
        {"", "header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        wv::test::writeBytes(csv, c.text);
        expectFailure(db({"import", table, csv}), c.mentions);
        EXPECT_EQ(dump(), kCsvHeader);
    }
    expectFailure(db({"import", table, dir.file("missing.csv")}), "missing.csv");
}

TEST_F(ToolTest, DeleteRecallPackAndZap) {
    const std::string all = "_RECNO,_DELETED,NAME,AMOUNT,DAY,OK,NOTES\r\n";
    const std::string longMemo(5000, 'm');
    for (int i = 1; i <= 4; ++i)
        ok({"append", table, "NAME=n" + std::to_string(i), "AMOUNT=" + std::to_string(i),
            "NOTES=" + (i == 3 ? longMemo : "memo " + std::to_string(i))});
    ok({"delete", table, "2"});
    ok({"delete", table, "4"});
    EXPECT_EQ(dump(), kCsvHeader + "1,n1,1.00,,F,memo 1\r\n" + "3,n3,3.00,,F," + longMemo + "\r\n");
    EXPECT_EQ(dump(true), all + "1,F,n1,1.00,,F,memo 1\r\n" + "2,T,n2,2.00,,F,memo 2\r\n" +
                              "3,F,n3,3.00,,F," + longMemo + "\r\n" + "4,T,n4,4.00,,F,memo 4\r\n");
    EXPECT_EQ(wv::test::readBytes(table + ".dbf")[194 + 50], '*');

    ok({"recall", table, "4"});
    ok({"delete", table, "1"});
    ok({"delete", table, "1"});  // deleting twice changes nothing
    ok({"pack", table});
    EXPECT_EQ(dump(true),
              all + "1,F,n3,3.00,,F," + longMemo + "\r\n" + "2,F,n4,4.00,,F,memo 4\r\n");
    EXPECT_NE(info().find("records (header): 2\n"), std::string::npos);
    size_t size = wv::test::readBytes(table + ".dbf").size();
    EXPECT_TRUE(size == 194 + 2 * 50 || size == 194 + 2 * 50 + 1) << size;  // EOF mark or not

    // The memo file keeps working after the pack.
    EXPECT_EQ(ok({"append", table, "NAME=n5", "NOTES=after pack"}), "3\n");
    EXPECT_EQ(dump(), kCsvHeader + "1,n3,3.00,,F," + longMemo + "\r\n" +
                          "2,n4,4.00,,F,memo 4\r\n" + "3,n5,,,F,after pack\r\n");

    ok({"zap", table});
    EXPECT_EQ(dump(true), all);
    EXPECT_NE(info().find("records (file size): 0\n"), std::string::npos);
    EXPECT_EQ(ok({"append", table, "NAME=again", "NOTES=new"}), "1\n");
    EXPECT_EQ(dump(), kCsvHeader + "1,again,,,F,new\r\n");
}

TEST_F(ToolTest, APackThatFailsLeavesTheTableAndNoOtherFile) {
    for (int i = 1; i <= 4; ++i) ok({"append", table, "NAME=n" + std::to_string(i), "NOTES=m"});
    ok({"delete", table, "2"});
    // Record 3's memo reference is not a number: the pack stops there, on a storage error.
    std::string bytes = wv::test::readBytes(table + ".dbf");
    bytes.replace(194 + 2 * 50 + 40, 10, "  12 x    ");
    wv::test::writeBytes(table + ".dbf", bytes);
    RunResult r = db({"pack", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("1012"), std::string::npos) << r.err;
    EXPECT_EQ(wv::test::readBytes(table + ".dbf"), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(ToolTest, BadRecordNumbers) {
    ok({"append", table, "NAME=only"});
    expectFailure(db({"delete", table, "2"}), "2");
    expectFailure(db({"recall", table, "0"}), "0");
    expectFailure(db({"delete", table, "uno"}), "uno");
    expectFailure(db({"delete", table, "-1"}), "-1");
    expectFailure(db({"delete", table}), "delete");
    EXPECT_EQ(dump(true), "_RECNO,_DELETED,NAME,AMOUNT,DAY,OK,NOTES\r\n1,F,only,,,F,\r\n");
}

TEST_F(ToolTest, MissingTablesFail) {
    std::string missing = dir.file("nothere");
    for (const char* cmd : {"dump", "info", "pack", "zap"}) {
        SCOPED_TRACE(cmd);
        expectFailure(db({cmd, missing}), "nothere");
    }
    expectFailure(db({"append", missing, "NAME=x"}), "nothere");
    expectFailure(db({"delete", missing, "1"}), "nothere");
    EXPECT_FALSE(exists(missing + ".dbf"));
}

TEST_F(ToolTest, BadValuesFailBeforeAnythingIsWritten) {
    struct Case {
        const char* assignment;
        const char* mentions;
    } cases[] = {
        {"ROOM=12", "ROOM"},
        {"AMOUNT=12,5", "12,5"},
        {"AMOUNT=abc", "abc"},
        {"AMOUNT=1e3", "1e3"},
        {"AMOUNT=0x10", "0x10"},
        {"AMOUNT=123456789.5", "AMOUNT"},
        {"DAY=20240230", "20240230"},
        {"DAY=2024-01-01", "2024-01-01"},
        {"DAY=240101", "240101"},
        {"OK=X", "OK"},
        {"OK=yes", "yes"},
        {"NAME", "NAME"},
        {"NAME=Ana Belén Fernández Gil", "field NAME: text of 23 characters does not fit in 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.assignment);
        expectFailure(db({"append", table, "NAME=Ana", c.assignment}), c.mentions);
        EXPECT_EQ(dump(true), "_RECNO,_DELETED,NAME,AMOUNT,DAY,OK,NOTES\r\n");
    }
}

TEST_F(ToolTest, UnknownCommandsAndOptions) {
    expectFailure(db({"frobnicate", table}), "frobnicate");
    expectFailure(db({"dump", table, "--everything"}), "--everything");
    RunResult help = db({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: wvestor-db"), std::string::npos);
    RunResult none = db({});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("usage: wvestor-db"), std::string::npos);
}

// Texts are measured as stored, one byte a character in code page 1252; blanks past the width
// are only padding.
TEST_F(ToolTest, TextsAreMeasuredAsStored) {
    const std::string twenty = "ÁÉÍÓÚáéíóúÑñÜüÇçàèìò";  // 40 bytes of UTF-8
    EXPECT_EQ(ok({"append", table, "NAME=" + twenty}), "1\n");
    EXPECT_EQ(ok({"append", table, "NAME=abc" + std::string(30, ' ')}), "2\n");
    expectFailure(db({"append", table, "NAME=" + twenty + "x"}), "text of 21 characters");
    EXPECT_EQ(dump(), kCsvHeader + "1," + twenty + ",,,F,\r\n2,abc,,,F,\r\n");
}

TEST_F(ToolTest, CreateReplacesATableOnlyWithForce) {
    ok({"append", table, "NAME=kept"});
    ok({"index", table, "NAME", "NAME"});
    expectFailure(db({"create", table, "CODE:N:4"}), table + " exists (use --force to replace it)");
    expectFailure(db({"create", dir.file("GUESTS"), "CODE:N:4"}), "/guests.dbf) exists");
    std::filesystem::create_directory(dir.file("folder"));
    expectFailure(db({"create", "--force", dir.file("folder"), "CODE:N:4"}),
                  "folder is a directory");
    EXPECT_EQ(dump(), kCsvHeader + "1,kept,,,F,\r\n");

    // The old index goes with the old table: its key names a field the new one lacks.
    ok({"create", table, "CODE:N:4", "--force"});
    EXPECT_FALSE(exists(table + ".cdx"));
    EXPECT_FALSE(exists(table + ".fpt"));
    EXPECT_EQ(ok({"append", table, "CODE=7"}), "1\n");
    EXPECT_EQ(dump(), "_RECNO,CODE\r\n1,7\r\n");
}

// update: RECNO and the fields to set, each record under its lock, the index following.
class ToolUpdateTest : public ToolTest {
protected:
    const std::string start = kCsvHeader + "1,Ana,,,F,\r\n2,Luis,,,F,\r\n3,Eva,,,F,\r\n";
    void SetUp() override {
        ToolTest::SetUp();
        for (const char* n : {"NAME=Ana", "NAME=Luis", "NAME=Eva"}) ok({"append", table, n});
        ok({"index", table, "NAME", "NAME"});
    }
    RunResult update(const std::string& text) {
        wv::test::writeBytes(dir.file("in.csv"), text);
        return db({"update", table, dir.file("in.csv")});
    }
    std::string seek(const std::string& name) { return db({"seek", table, "NAME", name}).out; }
};

TEST_F(ToolUpdateTest, SetsTheNamedFieldsAndTheIndexFollows) {
    EXPECT_EQ(update("recno,NAME,NOTES\r\n3,Zoé,\"nota, nueva\"\r\n1,Bea,\r\n").out, "2\n");
    EXPECT_EQ(dump(), kCsvHeader + "1,Bea,,,F,\r\n2,Luis,,,F,\r\n3,Zoé,,,F,\"nota, nueva\"\r\n");
    EXPECT_EQ(seek("Zoé"), "3\n");
    EXPECT_EQ(seek("Eva"), "not found\n");
}

// Every row is checked before the first record changes.
TEST_F(ToolUpdateTest, BadRowsChangeNothing) {
    for (auto [text, mentions] : {
             std::pair{"RECNO,NAME\r\n1,Bea\r\n4,Zoe\r\n", "row 3: no record 4"},
             std::pair{"RECNO,NAME\r\n1,Bea\r\nuno,Zoe\r\n", "row 3: not a record number"},
             std::pair{"RECNO,NAME\r\n1,Bea\r\n2,Ana Belén Fernández Gil\r\n", "row 3: field NAME"},
             std::pair{"NAME,RECNO\r\nBea,1\r\n", "RECNO"},
         }) {
        SCOPED_TRACE(text);
        expectFailure(update(text), mentions);
        EXPECT_EQ(dump(), start);
    }
}

// A record held by another program stops the command at its row; the rows before it stay.
TEST_F(ToolUpdateTest, ALockedRecordStopsAtItsRow) {
    wv::test::ErrorRecorder errors;
    auto held = wv::WorkArea::open(table, "", true, false);
    ASSERT_TRUE(held);
    held->table().goTo(2);
    ASSERT_TRUE(held->table().rlock());
    expectFailure(update("RECNO,NAME\r\n1,Bea\r\n2,Leo\r\n"), "row 3: record 2 is locked");
    EXPECT_EQ(dump(), kCsvHeader + "1,Bea,,,F,\r\n2,Luis,,,F,\r\n3,Eva,,,F,\r\n");
    held->table().unlockAll();
    EXPECT_EQ(update("RECNO,NAME\r\n2,Leo\r\n").out, "1\n");
    EXPECT_EQ(seek("Leo"), "2\n");
}

// Another program holding the table: record locks and exclusive use are honoured.
TEST_F(ToolTest, LockedRecordsAndOpenTablesAreRespected) {
    for (const char* n : {"NAME=a", "NAME=b", "NAME=c"}) ok({"append", table, n});
    wv::test::ErrorRecorder errors;
    auto held = wv::DbfTable::open(table + ".dbf");
    ASSERT_TRUE(held);
    held->goTo(2);
    ASSERT_TRUE(held->rlock());

    expectFailure(db({"delete", table, "2"}), "locked");
    expectFailure(db({"recall", table, "2"}), "locked");
    ok({"delete", table, "3"});                         // other records are free
    EXPECT_EQ(ok({"append", table, "NAME=d"}), "4\n");  // appends too
    EXPECT_EQ(held->recCount(), 4u);

    for (const char* cmd : {"pack", "zap"}) {
        SCOPED_TRACE(cmd);
        expectFailure(db({cmd, table}), "guests");
    }
    expectFailure(db({"append", table, "--exclusive", "NAME=e"}), "guests");
    EXPECT_EQ(dump(true),
              "_RECNO,_DELETED,NAME,AMOUNT,DAY,OK,NOTES\r\n"
              "1,F,a,,,F,\r\n2,F,b,,,F,\r\n3,T,c,,,F,\r\n4,F,d,,,F,\r\n");

    held->unlockAll();
    ok({"delete", table, "2"});
    ASSERT_TRUE(held->close());
    held.reset();
    ok({"pack", table});
    EXPECT_EQ(dump(), kCsvHeader + "1,a,,,F,\r\n2,d,,,F,\r\n");
    EXPECT_TRUE(errors.errors.empty()) << errors.last();
}

}  // namespace

namespace {

// The invoice command stores through the capture's routine: numbers follow the counter, the
// catalogue's price is taken, and what cannot be stored or printed is refused with nothing stored.
TEST(ToolInvoice, StoresInvoicesAndRefusesWhatCannotBeStored) {
    wv::test::TempDir dir;
    const std::string inst = dir.file("inst");
    ASSERT_EQ(wv::test::db({"init", inst, "--demo"}).status, 0);
    auto r = wv::test::db({"factura", inst, "1", "1:2", "--habitacion", "12", "--personas", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0000000001\n");
    r = wv::test::db({"factura", inst, "2", "000001:1:10"});
    EXPECT_EQ(r.out, "0000000002\n");
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"77", "1:1"}, {"1", "999:1"}, {"1", "1:1:0"},
          {"1", "1:1:100000"}, {"1", "1:1000"}, {"1", "1"}}) {
        std::vector<std::string> args = {"factura", inst};
        args.insert(args.end(), bad.begin(), bad.end());
        r = wv::test::db(args);
        EXPECT_EQ(r.status, 1) << bad[1];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    auto lines = wv::test::db({"dump", inst + "/datos/det_fact"});
    EXPECT_NE(lines.out.find("0000000002,000001,Habitación sencilla (noche),1.00,10.00,16,1.34,3,"
                             "0.25,0.00,0.00,8.41"),
              std::string::npos)
        << lines.out;
    auto headers = wv::test::db({"dump", inst + "/datos/facturas"});
    EXPECT_EQ(std::count(headers.out.begin(), headers.out.end(), '\n'), 3) << "nothing else stored";
    EXPECT_NE(headers.out.find(",12,2,F"), std::string::npos) << "room and guests";
}

}  // namespace
