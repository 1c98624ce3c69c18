// Interoperability with independent xBase implementations: tables written through wvestor-db
// must read back the same with dbfread, and FoxPro / Visual FoxPro tables written by the dbf
// package must read back the same through wvestor-db. Both are Python packages (Debian's
// python3-dbfread and python3-dbf, which scripts/test installs); when they are missing these
// tests fail rather than skip.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using wv::test::db;
using wv::test::RunResult;

// Debian's packages install for the system interpreter, whatever else is first on PATH.
const std::string kPython = "/usr/bin/python3";
const std::string kInterop = std::string(WV_SOURCE_DIR) + "/tests/interop/";

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

// One record of the test tables: NAME C(20), AMOUNT N(10,2), DAY D, OK L, NOTES M. Empty
// optionals are fields left blank.
struct Rec {
    std::string name;
    std::optional<std::string> amount;  // as given; stored with two decimals
    std::string day;                    // YYYYMMDD or ""
    std::optional<bool> ok;
    std::string notes;
    bool deleted = false;
};

std::string json(const std::string& s) {
    std::string o = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                o += "\\\"";
                break;
            case '\\':
                o += "\\\\";
                break;
            case '\n':
                o += "\\n";
                break;
            case '\r':
                o += "\\r";
                break;
            case '\t':
                o += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char b[8];
                    std::snprintf(b, sizeof b, "\\u%04x", c);
                    o += b;
                } else {
                    o += char(c);
                }
        }
    }
    return o + "\"";
}

std::string csv(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string o = "\"";
    for (char c : s) {
        if (c == '"') o += '"';
        o += c;
    }
    return o + "\"";
}

// "12.5" -> "12.50", "-3" -> "-3.00".
std::string twoDecimals(const std::string& amount) {
    char b[64];
    std::snprintf(b, sizeof b, "%.2f", std::stod(amount));
    return b;
}

// A long memo spanning many blocks, with the characters that need care in every format.
std::string longMemo(size_t size) {
    std::string m;
    for (int i = 0; m.size() < size; ++i)
        m += "Renglón " + std::to_string(i) + ": «suite», niños, 25 €; \"comillas\"\r\n";
    return m;
}

std::vector<Rec> sampleRecords() {
    return {
        {"Mérida", "1234.5", "20240229", true, longMemo(3000), false},
        {"Ñandú, S.A.", "-0.75", "19991231", false, "una línea", false},
        {"", std::nullopt, "", std::nullopt, "", false},
        {"Borrado", "1", "20000101", true, "memo de un registro borrado", true},
        {"¿Qué? ¡Sí! \"Año\" €", "99999.99", "21001231", false, "comas, \"comillas\"\r\ny\nsaltos",
         false},
        {"  sangría", "0", "19000101", true, longMemo(70000), false},
    };
}

RunResult python(const std::string& script, const std::vector<std::string>& args,
                 const std::string& input = "") {
    std::vector<std::string> argv{kPython, kInterop + script};
    argv.insert(argv.end(), args.begin(), args.end());
    return wv::test::run(argv, input);
}

// What dbfread_records.py prints for the records: live ones in order, then deleted ones.
std::string dbfreadLines(const std::vector<Rec>& recs) {
    std::string out;
    for (bool deleted : {false, true}) {
        for (const Rec& r : recs) {
            if (r.deleted != deleted) continue;
            out += std::string("[") + (deleted ? "true" : "false") + "," + json(r.name) + "," +
                   (r.amount ? json(twoDecimals(*r.amount)) : "null") + "," +
                   (r.day.empty() ? "null" : json(r.day)) + "," +
                   (r.ok ? (*r.ok ? "true" : "false") : "null") + "," + json(r.notes) + "]\n";
        }
    }
    return out;
}

// What `wvestor-db dump --all` prints for the records.
std::string dumpAll(const std::vector<Rec>& recs) {
    std::string out = "_RECNO,_DELETED,NAME,AMOUNT,DAY,OK,NOTES\r\n";
    for (size_t i = 0; i < recs.size(); ++i) {
        const Rec& r = recs[i];
        out += std::to_string(i + 1) + "," + (r.deleted ? "T" : "F") + "," + csv(r.name) + "," +
               (r.amount ? twoDecimals(*r.amount) : "") + "," + r.day + "," +
               (r.ok.value_or(false) ? "T" : "F") + "," + csv(r.notes) + "\r\n";
    }
    return out;
}

// Writes the records through wvestor-db, one append each, then deletes those so marked.
void writeWithTool(const std::string& table, const std::vector<Rec>& recs, size_t firstRecno) {
    for (size_t i = 0; i < recs.size(); ++i) {
        const Rec& r = recs[i];
        std::vector<std::string> args{"append", table};
        if (!r.name.empty()) args.push_back("NAME=" + r.name);
        if (r.amount) args.push_back("AMOUNT=" + *r.amount);
        if (!r.day.empty()) args.push_back("DAY=" + r.day);
        if (r.ok) args.push_back(std::string("OK=") + (*r.ok ? "T" : "F"));
        if (!r.notes.empty()) args.push_back("NOTES=" + r.notes);
        RunResult a = db(args);
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(a.out, std::to_string(firstRecno + i) + "\n");
        if (r.deleted) {
            RunResult d = db({"delete", table, std::to_string(firstRecno + i)});
            ASSERT_EQ(d.status, 0) << d.err;
        }
    }
}

void expectDbfreadSees(const std::string& dbfPath, const std::string& header,
                       const std::vector<Rec>& recs) {
    RunResult r = python("dbfread_records.py", {dbfPath});
    ASSERT_EQ(r.status, 0) << "dbfread could not read " << dbfPath << " (is python3-dbfread "
                           << "installed for " << kPython << "?)\n"
                           << r.err;
    EXPECT_TRUE(sameText(r.out, header + dbfreadLines(recs)));
}

const char kFieldsLine[] =
    "[[\"NAME\",\"C\",20,0],[\"AMOUNT\",\"N\",10,2],[\"DAY\",\"D\",8,0],[\"OK\",\"L\",1,0],"
    "[\"NOTES\",\"M\",10,0]]\n";

TEST(ToolInterop, TablesWrittenByTheToolReadTheSameWithDbfread) {
    wv::test::TempDir dir;
    std::string table = dir.file("huesped");
    RunResult c = db({"create", table, "NAME:C:20", "AMOUNT:N:10:2", "DAY:D", "OK:L", "NOTES:M"});
    ASSERT_EQ(c.status, 0) << c.err;
    std::vector<Rec> recs = sampleRecords();
    ASSERT_NO_FATAL_FAILURE(writeWithTool(table, recs, 1));
    std::string header = "245\n" + std::string(kFieldsLine);
    expectDbfreadSees(table + ".dbf", header, recs);

    // After a pack the memo references still lead to the right texts.
    RunResult p = db({"pack", table});
    ASSERT_EQ(p.status, 0) << p.err;
    std::erase_if(recs, [](const Rec& r) { return r.deleted; });
    expectDbfreadSees(table + ".dbf", header, recs);
}

// The dbf package writes FoxPro tables (0xF5, 10-character memo references) and Visual FoxPro
// ones (0x30, field offsets in the descriptors, a 263-byte area after them, 4-byte binary memo
// references); its memo files have a 512-byte header and 128-byte blocks, and it writes a block
// even for an empty memo.
class ForeignTable : public ::testing::TestWithParam<const char*> {
protected:
    wv::test::TempDir dir;
    std::string table = dir.file("foreign.dbf");

    // The records as the dbf package stores them: it drops the leading blanks of texts.
    static std::vector<Rec> foreignRecords() {
        std::vector<Rec> recs = sampleRecords();
        for (Rec& r : recs) r.name.erase(0, r.name.find_first_not_of(' '));
        return recs;
    }

    void writeWithDbf(const std::vector<Rec>& recs) {
        std::string in = "[";
        for (const Rec& r : recs) {
            if (in.size() > 1) in += ",";
            in += "[" + json(r.name) + "," + (r.amount ? json(*r.amount) : "null") + "," +
                  json(r.day) + "," + json(r.ok ? (*r.ok ? "T" : "F") : "") + "," + json(r.notes) +
                  "," + (r.deleted ? "true" : "false") + "]";
        }
        in += "]";
        RunResult w = python("dbf_write.py", {table, GetParam()}, in);
        ASSERT_EQ(w.status, 0) << "the dbf package could not write the table (is python3-dbf "
                               << "installed for " << kPython << "?)\n"
                               << w.err;
    }
    std::string fieldsLine() const {
        std::string f = kFieldsLine;
        if (std::string(GetParam()) == "vfp") f.replace(f.find("10,0]]"), 6, "4,0]]");
        return f;
    }
    std::string version() const { return std::string(GetParam()) == "vfp" ? "48" : "245"; }
};

TEST_P(ForeignTable, ReadsTheSameThroughTheTool) {
    std::vector<Rec> recs = foreignRecords();
    ASSERT_NO_FATAL_FAILURE(writeWithDbf(recs));

    RunResult d = db({"dump", table, "--all"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_TRUE(sameText(d.out, dumpAll(recs)));

    RunResult i = db({"info", table});
    ASSERT_EQ(i.status, 0) << i.err;
    EXPECT_NE(i.out.find(std::string("version: ") + (version() == "48" ? "0x30" : "0xF5") + "\n"),
              std::string::npos)
        << i.out;
    EXPECT_NE(i.out.find("memo file: "), std::string::npos) << i.out;
}

TEST_P(ForeignTable, ChangesMadeByTheToolReadTheSameWithDbfread) {
    std::vector<Rec> recs = foreignRecords();
    ASSERT_NO_FATAL_FAILURE(writeWithDbf(recs));

    std::vector<Rec> more = {
        {"Añadido", "42.1", "20250101", true, longMemo(1500), false},
        {"Otro", std::nullopt, "", false, "corto", true},
    };
    ASSERT_NO_FATAL_FAILURE(writeWithTool(table, more, recs.size() + 1));
    recs.insert(recs.end(), more.begin(), more.end());
    RunResult del = db({"delete", table, "1"});
    ASSERT_EQ(del.status, 0) << del.err;
    recs[0].deleted = true;
    std::string header = version() + "\n" + fieldsLine();
    expectDbfreadSees(table, header, recs);

    RunResult p = db({"pack", table});
    ASSERT_EQ(p.status, 0) << p.err;
    std::erase_if(recs, [](const Rec& r) { return r.deleted; });
    expectDbfreadSees(table, header, recs);
    RunResult d = db({"dump", table, "--all"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_TRUE(sameText(d.out, dumpAll(recs)));
}

INSTANTIATE_TEST_SUITE_P(Dbf, ForeignTable, ::testing::Values("fp", "vfp"));

}  // namespace
