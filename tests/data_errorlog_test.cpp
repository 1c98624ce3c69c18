#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "data/application.h"
#include "data/errorlog.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using Lines = std::vector<std::string>;

// The report split at CR LF; a bare LF or CR anywhere fails the test.
Lines lines(const std::string& report) {
    Lines out;
    size_t pos = 0;
    while (pos < report.size()) {
        size_t end = report.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: " << report.substr(pos);
            break;
        }
        out.push_back(report.substr(pos, end - pos));
        EXPECT_EQ(out.back().find_first_of("\r\n"), std::string::npos) << out.back();
        pos = end + 2;
    }
    return out;
}

// The lines of one section, from its title to its last line (before the blank line that comes
// ahead of the next title and its underline).
Lines section(const Lines& all, const std::string& title) {
    size_t from = size_t(std::find(all.begin(), all.end(), title) - all.begin());
    if (from == all.size()) return {};
    size_t to = from + 2;
    while (to < all.size() && !(to + 2 < all.size() && all[to].empty() &&
                                !all[to + 1].empty() &&
                                all[to + 2] == std::string(all[to + 1].size(), '=')))
        ++to;
    return Lines(all.begin() + long(from), all.begin() + long(to));
}

ErrorLogFacts fixedFacts() {
    ErrorLogFacts f;
    f.exePath = "/opt/wvestor/wvestor";
    f.bits = "64";
    f.exeSize = "1,234,567 bytes";
    f.elapsed = "00:01:05";
    f.date = "29/02/08";
    f.time = "13:45:07";
    f.cpuName = "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz";
    f.cpuMhz = "1800";
    f.memoryMegs = "7822";
    f.compiler = "GCC 13.2.0";
    f.osVersion = "Linux 6.8.0 #1 SMP";
    f.tasks = {"systemd", "wvestor"};
    f.classes = {"QMainWindow", "wv::DialogWindow"};
    f.memActual = "5242880";
    f.memHighest = "6291456";
    return f;
}

Error readError() {
    Error e;
    e.genCode = gen::kRead;
    e.subSystem = "DBFCDX";
    e.subCode = 1010;
    e.description = "Read error";
    e.fileName = "clientes.dbf";
    e.operation = "DBSKIP";
    return e;
}

class ErrorLog : public ::testing::Test {
protected:
    void SetUp() override {
        applyProcessSettings();
        workspace().closeAll();
        workspace().select(1);
        prevCwd_ = std::filesystem::current_path().string();
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override {
        workspace().closeAll();
        workspace().select(1);
        (void)!::chdir(prevCwd_.c_str());
    }

    // A table of three records with two tags, opened in a new area under the alias.
    int openTable(const std::string& name, const std::string& alias) {
        std::string path = dir_.file(name + ".dbf");
        EXPECT_TRUE(DbfTable::create(path, {{"CODIGO", 'C', 6, 0}, {"NOMBRE", 'C', 30, 0}}));
        int n = workspace().use(path, alias, true, false, false);
        WorkArea* a = workspace().area(n);
        if (!a) return 0;
        for (const char* c : {"000003", "000001", "000002"}) {
            EXPECT_TRUE(a->table().append());
            a->put("CODIGO", Value(c));
            a->put("NOMBRE", Value(std::string("Cliente ") + c));
        }
        a->table().flush();
        EXPECT_TRUE(a->createTag({"CODIGO", "CODIGO", "", false, false, false}));
        EXPECT_TRUE(a->createTag({"NOMBRE", "UPPER(NOMBRE)", "", false, false, false}));
        return n;
    }

    test::TempDir dir_;
    std::string prevCwd_;
    test::ErrorRecorder errors_;
};

TEST(ErrorLogReaders, SystemTexts) {
    const char* cpuinfo =
        "processor\t: 0\nmodel\t\t: 142\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\n"
        "cpu MHz\t\t: 1799.512\n\nprocessor\t: 1\nmodel name\t: Other\ncpu MHz\t\t: 400.000\n";
    EXPECT_EQ(errlog::cpuName(cpuinfo), "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz");
    EXPECT_EQ(errlog::cpuMhz(cpuinfo), "1800");
    EXPECT_EQ(errlog::cpuName("processor\t: 0\nBogoMIPS\t: 48.00\n"), "");  // some ARM boards
    EXPECT_EQ(errlog::cpuMhz("processor\t: 0\n"), "");
    EXPECT_EQ(errlog::memoryMegs("MemTotal:       16314748 kB\nMemFree:  1 kB\n"), "15933");
    EXPECT_EQ(errlog::memoryMegs("MemTotal:        1048576 kB\n"), "1025");
    EXPECT_EQ(errlog::memoryMegs("MemFree:  1 kB\n"), "");
    const char* status = "Name:\twvestor\nVmHWM:\t   10240 kB\nVmRSS:\t    8192 kB\n";
    EXPECT_EQ(errlog::statusBytes(status, "VmRSS"), "8388608");
    EXPECT_EQ(errlog::statusBytes(status, "VmHWM"), "10485760");
    EXPECT_EQ(errlog::statusBytes(status, "VmSwap"), "");
    EXPECT_EQ(errlog::clockText(3 * 3600 + 7 * 60 + 9), "03:07:09");
    EXPECT_EQ(errlog::clockText(100 * 3600 + 59), "100:00:59");
}

TEST_F(ErrorLog, WholeReport) {
    ASSERT_EQ(openTable("clientes", "CLIENTES"), 1);
    ASSERT_EQ(openTable("articulos", "ARTICULOS"), 2);
    WorkArea* c = workspace().area(1);
    ASSERT_TRUE(c->setOrder("NOMBRE"));
    ASSERT_TRUE(c->goTop());
    ASSERT_TRUE(c->skip(1));  // "Cliente 000002", record 3
    WorkArea* a = workspace().area(2);
    a->goBottom();
    a->skip(1);  // past the end
    workspace().select(1);

    Error e = readError();
    e.args = Array{Value("clientes"), Value::number(12), Value(true),
                   Value(Array{Value::number(1), Value::number(2)})};
    const std::string codigo = "CODIGO" + std::string(29, ' ');
    const std::string nombre = "UPPER(NOMBRE)" + std::string(22, ' ');
    const std::string blanks(20, ' ');
    const Lines expected = {
        "Application",
        "===========",
        "   Path and name: /opt/wvestor/wvestor (64 bits)",
        "   Size: 1,234,567 bytes",
        "   Time from start: 00:01:05",
        "   Error occurred at: 29/02/08, 13:45:07",
        "   Error description: Error DBFCDX/1010  Read error: clientes.dbf",
        "   Args:",
        "     [   1] = C   clientes",
        "     [   2] = N   12",
        "     [   3] = L   .T.",
        "     [   4] = A   { Array }",
        "",
        "Stack Calls",
        "===========",
        "   Called from:  => DBSKIP()",
        "",
        "System",
        "======",
        "   CPU type: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz 1800 Mhz",
        "   Hardware memory: 7822 megs",
        "",
        "   Free System resources:  %",
        "        GDI    resources:  %",
        "        User   resources:  %",
        "",
        "   Compiler version: GCC 13.2.0",
        "   Windows version: Linux 6.8.0 #1 SMP",
        "",
        "   Windows total applications running: 2",
        "      1 systemd",
        "      2 wvestor",
        "",
        "Variables in use",
        "================",
        "   Procedure     Type   Value",
        "   ==========================",
        "   DBSKIP",
        "     Param   1:    C    \"clientes\"",
        "     Param   2:    N    12",
        "     Param   3:    L    .T.",
        "     Param   4:    A    Len:    2",
        "",
        "Linked RDDs",
        "===========",
        "   DBFCDX",
        "",
        "DataBases in use",
        "================",
        "",
        "  1: => CLIENTES       " + blanks + "RddName: DBFCDX",
        "     ==============================",
        "     RecNo    RecCount    BOF   EOF",
        "           3            3      .F.   .F.",
        "     Indexes in use                       TagName",
        "        " + codigo + "CODIGO",
        "=> " + nombre + "NOMBRE",
        "     Relations in use",
        "",
        "  2:    ARTICULOS      " + blanks + "RddName: DBFCDX",
        "     ==============================",
        "     RecNo    RecCount    BOF   EOF",
        "           4            3      .F.   .T.",
        "     Indexes in use                       TagName",
        "        " + codigo + "CODIGO",
        "        " + nombre + "NOMBRE",
        "     Relations in use",
        "",
        "Classes in use:",
        "===============",
        "     1 QMainWindow",
        "     2 wv::DialogWindow",
        "",
        "Memory Analysis",
        "===============",
        "       Static variables",
        "",
        "   Dynamic memory consume:",
        "      Actual  Value: 5242880 bytes",
        "      Highest Value: 6291456 bytes",
    };
    std::string report = errorReport(e, fixedFacts());
    EXPECT_EQ(lines(report), expected);
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
    EXPECT_TRUE(errors_.errors.empty());
}

TEST_F(ErrorLog, WhatIsMissingLeavesTheLinesEmpty) {
    Error e = readError();
    e.operation.clear();  // no call to name, no args
    Lines all = lines(errorReport(e, ErrorLogFacts{}));
    EXPECT_EQ(section(all, "Application").size(), 7u);
    EXPECT_EQ(section(all, "Application")[2], "   Path and name:  ( bits)");
    EXPECT_EQ(section(all, "Application")[3], "   Size: ");
    EXPECT_EQ(section(all, "Stack Calls"), (Lines{"Stack Calls", "==========="}));
    EXPECT_TRUE(errorCallLines(e).empty());
    Lines sys = section(all, "System");
    ASSERT_EQ(sys.size(), 13u);
    EXPECT_EQ(sys[2], "   CPU type:   Mhz");
    EXPECT_EQ(sys[3], "   Hardware memory:  megs");
    EXPECT_EQ(sys[10], "   Windows version: ");
    EXPECT_EQ(sys[12], "   Windows total applications running: 0");
    EXPECT_EQ(section(all, "Variables in use").size(), 4u);
    EXPECT_EQ(section(all, "DataBases in use").size(), 2u);  // no area open
    EXPECT_EQ(section(all, "Memory Analysis")[5], "      Actual  Value:  bytes");
}

TEST_F(ErrorLog, HighAreaNumbersLongAliasesAndEmptyTables) {
    std::string path = dir_.file("t.dbf");
    ASSERT_TRUE(DbfTable::create(path, {{"K", 'C', 4, 0}}));
    workspace().select(120);
    ASSERT_EQ(workspace().use(path, "UNALIASMUYLARGOX", false, true, true), 120);
    workspace().select(1);
    Lines dbs = section(lines(errorReport(readError(), fixedFacts())), "DataBases in use");
    EXPECT_EQ(dbs, (Lines{"DataBases in use", "================", "",
                          "120:    UNALIASMUYLARGOX" + std::string(20, ' ') + "RddName: DBFCDX",
                          "     ==============================",
                          "     RecNo    RecCount    BOF   EOF",
                          "           1            0      .T.   .T.",
                          "     Indexes in use                       TagName",
                          "     Relations in use"}));
}

TEST_F(ErrorLog, WrittenOverThePreviousFileOrNotAtAll) {
    test::writeBytes(dir_.file("Error.log"), std::string(100000, 'x'));
    std::string report = errorReport(readError(), fixedFacts());
    EXPECT_TRUE(writeErrorLog(report));
    EXPECT_EQ(test::readBytes(dir_.file("Error.log")), report);
    std::filesystem::create_directory(dir_.file("dir.log"));
    EXPECT_FALSE(writeErrorLog(report, "dir.log"));
    EXPECT_FALSE(writeErrorLog(report, dir_.file("missing/Error.log")));
    EXPECT_TRUE(errors_.errors.empty());
}

TEST_F(ErrorLog, FactsFromThisMachine) {
    ErrorLogFacts f = currentErrorLogFacts();
    auto whole = [](const std::string& s, const char* re) {
        return std::regex_match(s, std::regex(re));
    };
    EXPECT_EQ(std::filesystem::path(toUtf8(f.exePath)).filename(), "wv_data_tests");
    EXPECT_EQ(f.bits, std::to_string(sizeof(void*) * 8));
    // Room for a program of hundreds of megabytes: never the asterisks of a number too wide.
    EXPECT_TRUE(whole(f.exeSize, R"([ 0-9,]{11} bytes)")) << f.exeSize;
    EXPECT_TRUE(whole(f.elapsed, R"(\d\d+:\d\d:\d\d)")) << f.elapsed;
    EXPECT_EQ(f.date, dtoc(today()));
    EXPECT_TRUE(whole(f.time, R"(\d\d:\d\d:\d\d)")) << f.time;
    EXPECT_TRUE(whole(f.memoryMegs, R"([1-9]\d*)")) << f.memoryMegs;
    EXPECT_TRUE(whole(f.memActual, R"([1-9]\d*)")) << f.memActual;
    EXPECT_TRUE(whole(f.memHighest, R"([1-9]\d*)")) << f.memHighest;
    EXPECT_FALSE(f.compiler.empty() || f.osVersion.empty());
    EXPECT_NE(std::find(f.tasks.begin(), f.tasks.end(), "wv_data_tests"), f.tasks.end());
}

}  // namespace
}  // namespace wv
