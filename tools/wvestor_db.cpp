// wvestor-db: the data-file tool for administrators and scripts. Texts on the terminal and in
// CSV files are UTF-8; in the tables they are code page 1252.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/error.h"
#include "runtime/numtext.h"
#include "storage/dbf.h"
#include "storage/platform.h"
#include "tools/commands.h"
#include "tools/csv.h"

namespace {

using wv::DbfTable;
using wv::Value;

const char kUsage[] =
    "usage: wvestor-db COMMAND TABLE [ARGS]\n"
    "\n"
    "  create TABLE [--force] NAME:TYPE:LEN[:DEC] ...\n"
    "                                         create a table (types C N F D L M); an existing\n"
    "                                         table is replaced only with --force\n"
    "  append TABLE [--exclusive] NAME=VALUE ...\n"
    "                                         append one record, print its number\n"
    "  import TABLE FILE.csv                  append every row of a CSV file, print the count\n"
    "  update TABLE FILE.csv                  set fields of existing records, print the count:\n"
    "                                         the header is RECNO and the fields to set; each\n"
    "                                         record is locked while its row is written\n"
    "  dump TABLE [--all]                     the records as CSV on standard output\n"
    "  info TABLE                             header, fields and memo file\n"
    "  delete TABLE RECNO                     mark a record deleted\n"
    "  recall TABLE RECNO                     take the deletion mark off a record\n"
    "  pack TABLE                             remove deleted records (exclusive use)\n"
    "  zap TABLE                              remove every record (exclusive use)\n"
    "  index TABLE TAG \"KEY\" [--for \"EXPR\"] [--unique] [--descending]\n"
    "                                         create or replace a tag of the structural index\n"
    "  reindex TABLE [--pack]                 rebuild every tag (exclusive use); with --pack,\n"
    "                                         pack too, both in one swap of the files\n"
    "  seek TABLE TAG VALUE                   print the record found, or \"not found\"\n"
    "  dump TABLE --order TAG                 records in the order of a tag\n"
    "  keys FILE.cdx [TAG]                    the tags of an index file, or one tag's keys\n"
    "  check TABLE                            verify the table and its structural index\n"
    "  init DIR [--demo]                      lay out a new installation in DIR\n"
    "  factura DIR CLIENTE ARTICULO:CANTIDAD[:PRECIO] ... [--fecha AAAAMMDD]\n"
    "          [--habitacion H] [--personas N]\n"
    "                                         store one invoice in the installation DIR as the\n"
    "                                         invoice screen does (next number, the catalogue's\n"
    "                                         price unless one is given, taxes, totals, counter,\n"
    "                                         locks) and print its number\n"
    "\n"
    "Values: text as given (no longer than its field), numbers in decimal, dates YYYYMMDD,\n"
    "logicals T/F, memos as text. A file's rows are all checked before the table changes.\n"
    "Exit status 0 on success, 1 with a one-line reason on standard error otherwise.\n";

}  // namespace

// Tables are opened in a work area, so that their structural index follows every change.
std::unique_ptr<wv::WorkArea> openArea(const std::string& path, bool shared, bool readOnly) {
    auto a = wv::WorkArea::open(path, "", shared, readOnly);
    if (!a) fail("cannot open " + path);
    return a;
}

namespace {

// `where` starts the failure message: "" for the command line, "FILE: row N: " for a CSV row.
uint32_t parseRecno(const std::string& s, const std::string& where = "") {
    char* end = nullptr;
    unsigned long n = std::strtoul(s.c_str(), &end, 10);
    if (s.empty() || *end || s[0] == '-' || n == 0 || n > 0xFFFFFFFFUL)
        fail(where + "not a record number: " + s);
    return uint32_t(n);
}

[[noreturn]] void refuseValue(const std::string& where, const wv::FieldInfo& f,
                              const std::string& why) {
    fail(where + "field " + f.name + ": " + why);
}

// A value typed for a field from its command-line or CSV text (UTF-8).
Value parseValue(const wv::FieldInfo& f, const std::string& text, const std::string& where) {
    switch (f.type) {
        case 'N':
        case 'F':
        case 'I':
        case 'B':
        case 'Y': {
            std::string t = text;
            while (!t.empty() && t.back() == ' ') t.pop_back();
            size_t i = t.find_first_not_of(' ');
            t = i == std::string::npos ? "" : t.substr(i);
            if (t.empty()) return Value::number(0, f.len, f.dec);
            char* end = nullptr;
            double d = std::strtod(t.c_str(), &end);
            if (*end || t.find_first_of("xXeEnNiI") != std::string::npos)
                refuseValue(where, f, "not a number: " + text);
            if ((f.type == 'N' || f.type == 'F') &&
                wv::str(d, f.len, f.dec).find('*') != std::string::npos)
                refuseValue(where, f,
                            text + " does not fit in " + std::to_string(f.len) + "," +
                                std::to_string(f.dec));
            return Value::number(d, f.len, f.dec);
        }
        case 'D':
        case 'T': {
            if (text.find_first_not_of(' ') == std::string::npos) return Value(wv::Date{});
            wv::Date d = text.size() == 8 ? wv::stod(text) : wv::Date{};
            if (d.empty()) refuseValue(where, f, "not a date (YYYYMMDD): " + text);
            return Value(d);
        }
        case 'L':
            if (text == "T" || text == "t" || text == "Y" || text == "y") return Value(true);
            if (text == "F" || text == "f" || text == "N" || text == "n" || text.empty())
                return Value(false);
            refuseValue(where, f, "not a logical (T/F): " + text);
        default: {
            std::string s = wv::fromUtf8(text);
            // Measured as stored, one byte a character. Blanks at the end are the field's own
            // padding and may go; anything else past the width would be lost.
            if (f.type == 'C') {
                size_t used = s.find_last_not_of(' ') + 1;  // 0 when all blank
                if (used > f.len)
                    refuseValue(where, f,
                                "text of " + std::to_string(used) + " characters does not fit in " +
                                    std::to_string(f.len));
            }
            return Value(std::move(s));
        }
    }
}

// A field's value as dump writes it.
std::string dumpValue(DbfTable& t, size_t i) {
    const wv::FieldInfo& f = t.field(i);
    const char* rec = t.recordBuffer();
    if (!rec) return "";
    Value v = t.decode(i, rec);
    if (v.isNil()) return "";
    switch (f.type) {
        case 'N':
        case 'F': {
            std::string s(rec + f.offset, f.len);
            size_t a = s.find_first_not_of(' ');
            if (a == std::string::npos) return "";
            size_t b = s.find_last_not_of(' ');
            return s.substr(a, b - a + 1);
        }
        case 'I':
        case '+':
        case 'Y':
        case 'B': {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", f.type == 'Y' ? 4 : f.type == 'B' ? f.dec : 0,
                          v.num());
            return buf;
        }
        case 'D':
        case 'T':
            return v.date().empty() ? "" : wv::dtos(v.date());
        case 'L':
            return v.logical() ? "T" : "F";
        case 'C': {
            std::string s = v.text();
            while (!s.empty() && s.back() == ' ') s.pop_back();
            return wv::toUtf8(s);
        }
        default:
            return wv::toUtf8(v.text());
    }
}

bool hidden(const wv::FieldInfo& f) { return f.type == '0' || (f.flags & 0x01); }

// Field numbers and typed values for NAME=VALUE pairs. Everything is checked here, before the
// table changes, so that a bad value never leaves a blank record behind.
using Assigned = std::vector<std::pair<size_t, Value>>;
Assigned typedValues(DbfTable& t, const std::vector<std::pair<std::string, std::string>>& values,
                     const std::string& where = "") {
    Assigned out;
    for (const auto& [name, text] : values) {
        int i = t.fieldIndex(wv::fromUtf8(name));
        if (i < 0) fail(where + "no field " + name + " in " + t.path());
        out.emplace_back(size_t(i), parseValue(t.field(size_t(i)), text, where));
    }
    return out;
}

// Sets the fields of record n under its lock, which goes when the record is written.
void updateRecord(DbfTable& t, uint32_t n, const Assigned& values, const std::string& where) {
    t.goTo(n);
    if (!t.rlock()) fail(where + "record " + std::to_string(n) + " is locked by another user");
    for (const auto& [i, v] : values)
        if (!t.put(i, v)) fail(where + "cannot set field " + wv::toUtf8(t.field(i).name));
    if (!t.flush()) fail("cannot write " + t.path());
    t.unlockAll();
}

// A CSV file read whole: its header, without a UTF-8 byte-order mark, and its rows with their
// numbers (the header is row 1), blank lines left out. Every row has the header's width.
struct CsvRows {
    std::vector<std::string> header;
    std::vector<std::pair<unsigned long, std::vector<std::string>>> rows;
};

CsvRows readCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();  // the reader keeps a view of it
    wv::tools::CsvReader csv(text);
    CsvRows out;
    if (!csv.next(&out.header)) fail(path + ": no header row");
    if (!out.header.empty() && out.header[0].rfind("\xEF\xBB\xBF", 0) == 0)
        out.header[0].erase(0, 3);
    std::vector<std::string> row;
    unsigned long rowNo = 1;
    while (csv.next(&row)) {
        ++rowNo;
        if (row.size() == 1 && row[0].empty()) continue;  // blank line
        if (row.size() != out.header.size())
            fail(path + ": row " + std::to_string(rowNo) + " has " + std::to_string(row.size()) +
                 " values, the header " + std::to_string(out.header.size()));
        out.rows.emplace_back(rowNo, row);
    }
    if (!csv.error().empty()) fail(path + ": " + csv.error());
    return out;
}

std::string rowPrefix(const std::string& file, unsigned long rowNo) {
    return file + ": row " + std::to_string(rowNo) + ": ";
}

uint32_t appendRecord(DbfTable& t, const Assigned& values) {
    if (!t.append()) fail("cannot append to " + t.path());
    for (const auto& [i, v] : values)
        if (!t.put(i, v)) fail("cannot set field " + wv::toUtf8(t.field(i).name));
    uint32_t n = t.recNo();
    if (!t.flush()) fail("cannot write " + t.path());
    t.unlockAll();
    return n;
}

// The table's file name as the storage layer forms it: ".dbf" added when there is no extension.
std::string tableFileName(const std::string& table) {
    size_t slash = table.find_last_of("/\\");
    size_t dot = table.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return table + ".dbf";
    return table;
}

// The file beside a table with the table's base name and another extension, as found on disk
// (letter case aside).
std::string companionFile(const std::string& tableFile, const char* ext) {
    size_t slash = tableFile.find_last_of('/');
    size_t dot = tableFile.rfind('.');
    std::string base = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                           ? tableFile
                           : tableFile.substr(0, dot);
    return wv::os::resolvePath(base + ext);
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

bool existsOnDisk(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

int cmdCreate(const std::vector<std::string>& args) {
    // --force may stand anywhere among the arguments.
    bool force = false;
    std::vector<std::string> a;
    for (const std::string& s : args) {
        if (s == "--force")
            force = true;
        else
            a.push_back(s);
    }
    if (a.size() < 2) fail("create needs a table and at least one field");
    std::vector<wv::FieldDef> defs;
    for (size_t i = 1; i < a.size(); ++i) {
        std::vector<std::string> parts;
        std::stringstream ss(a[i]);
        std::string p;
        while (std::getline(ss, p, ':')) parts.push_back(p);
        if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1)
            fail("bad field (NAME:TYPE:LEN[:DEC]): " + a[i]);
        wv::FieldDef d;
        d.name = parts[0];
        d.type = char(std::toupper(static_cast<unsigned char>(parts[1][0])));
        auto num = [&](const std::string& s) {
            char* end = nullptr;
            long v = std::strtol(s.c_str(), &end, 10);
            if (s.empty() || *end || v < 0 || v > 65535) fail("bad field length: " + a[i]);
            return int(v);
        };
        d.len = parts.size() > 2 ? num(parts[2]) : 0;
        d.dec = parts.size() > 3 ? num(parts[3]) : 0;
        if (parts.size() == 2 && d.type != 'D' && d.type != 'L' && d.type != 'M')
            fail("field needs a length: " + a[i]);
        defs.push_back(d);
    }
    // The name is looked up as the storage layer opens it, without regard to letter case: an
    // existing FOO.DBF is the table "foo".
    const std::string& table = a[0];
    const std::string file = wv::os::resolvePath(tableFileName(table));
    if (isDirectory(wv::os::resolvePath(table))) fail(table + " is a directory");
    if (isDirectory(file)) fail(file + " is a directory");
    // A structural index or memo file of an earlier table by that name would be taken for the
    // new table's own: they are replaced along with the table.
    const std::string cdx = companionFile(file, ".cdx");
    const std::string fpt = companionFile(file, ".fpt");
    if (!force) {
        const char* rule = " exists (use --force to replace it)";
        if (existsOnDisk(file))
            fail(table + (file == tableFileName(table) ? "" : " (" + file + ")") + rule);
        for (const std::string& f : {cdx, fpt})
            if (existsOnDisk(f)) fail(f + rule);
    }
    for (const std::string& f : {cdx, fpt})
        if (isDirectory(f)) fail(f + " is a directory");
    // The new table is held exclusively before the old companions go: while another program
    // has the old table open, creating fails and nothing is removed.
    auto t = DbfTable::create(table, defs);
    if (!t) fail("cannot create " + table);
    if (existsOnDisk(cdx) && !wv::os::removeFile(cdx)) fail("cannot remove " + cdx);
    if (!t->memo() && existsOnDisk(fpt) && !wv::os::removeFile(fpt)) fail("cannot remove " + fpt);
    if (!t->close()) fail("cannot create " + table);
    return 0;
}

std::vector<std::pair<std::string, std::string>> assignments(const std::vector<std::string>& a,
                                                              size_t from) {
    std::vector<std::pair<std::string, std::string>> v;
    for (size_t i = from; i < a.size(); ++i) {
        size_t eq = a[i].find('=');
        if (eq == std::string::npos || eq == 0) fail("expected NAME=VALUE: " + a[i]);
        v.emplace_back(a[i].substr(0, eq), a[i].substr(eq + 1));
    }
    return v;
}

int cmdAppend(const std::vector<std::string>& a) {
    if (a.empty()) fail("append needs a table");
    bool exclusive = false;
    std::vector<std::string> rest;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--exclusive")
            exclusive = true;
        else
            rest.push_back(a[i]);
    }
    auto values = assignments(rest, 0);
    auto area = openArea(a[0], !exclusive, false);
    DbfTable* t = &area->table();
    uint32_t n = appendRecord(*t, typedValues(*t, values));
    if (!t->close()) fail("cannot close " + a[0]);
    std::printf("%u\n", n);
    return 0;
}

int cmdImport(const std::vector<std::string>& a) {
    if (a.size() != 2) fail("import needs a table and a CSV file");
    CsvRows csv = readCsv(a[1]);
    auto area = openArea(a[0], true, false);
    DbfTable* t = &area->table();
    for (const std::string& h : csv.header)
        if (t->fieldIndex(wv::fromUtf8(h)) < 0) fail(a[1] + ": no field " + h + " in " + a[0]);
    // Every row is checked before the first one is appended: a refused file leaves no records.
    std::vector<Assigned> records;
    for (const auto& [rowNo, row] : csv.rows) {
        std::vector<std::pair<std::string, std::string>> values;
        for (size_t i = 0; i < row.size(); ++i) values.emplace_back(csv.header[i], row[i]);
        records.push_back(typedValues(*t, values, rowPrefix(a[1], rowNo)));
    }
    for (const Assigned& r : records) appendRecord(*t, r);
    if (!t->close()) fail("cannot close " + a[0]);
    std::printf("%zu\n", records.size());
    return 0;
}

// Rows of RECNO and new field values. Every row is checked first; then each record is locked,
// written and let go in turn, so a record locked by another user stops the command after the
// rows before it.
int cmdUpdate(const std::vector<std::string>& a) {
    if (a.size() != 2) fail("update needs a table and a CSV file");
    CsvRows csv = readCsv(a[1]);
    if (wv::upperCase(csv.header[0]) != "RECNO")
        fail(a[1] + ": the first column must be RECNO, not " + csv.header[0]);
    if (csv.header.size() < 2) fail(a[1] + ": no field to set after RECNO");
    auto area = openArea(a[0], true, false);
    DbfTable* t = &area->table();
    for (size_t i = 1; i < csv.header.size(); ++i)
        if (t->fieldIndex(wv::fromUtf8(csv.header[i])) < 0)
            fail(a[1] + ": no field " + csv.header[i] + " in " + a[0]);
    struct Change {
        std::string where;
        uint32_t recno;
        Assigned values;
    };
    std::vector<Change> changes;
    const uint32_t count = t->recCount();
    for (const auto& [rowNo, row] : csv.rows) {
        std::string where = rowPrefix(a[1], rowNo);
        uint32_t n = parseRecno(row[0], where);
        if (n > count) fail(where + "no record " + row[0] + " in " + a[0]);
        std::vector<std::pair<std::string, std::string>> values;
        for (size_t i = 1; i < row.size(); ++i) values.emplace_back(csv.header[i], row[i]);
        changes.push_back({where, n, typedValues(*t, values, where)});
    }
    for (const Change& c : changes) updateRecord(*t, c.recno, c.values, c.where);
    if (!t->close()) fail("cannot close " + a[0]);
    std::printf("%zu\n", changes.size());
    return 0;
}

int cmdDump(const std::vector<std::string>& a) {
    if (a.empty()) fail("dump needs a table");
    bool all = false;
    std::string order;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--all")
            all = true;
        else if (a[i] == "--order" && i + 1 < a.size())
            order = a[++i];
        else
            fail("unknown option " + a[i]);
    }
    auto area = openArea(a[0], true, true);
    DbfTable* t = &area->table();
    std::string out;
    std::vector<std::string> row{"_RECNO"};
    if (all) row.push_back("_DELETED");
    std::vector<size_t> shown;
    for (size_t i = 0; i < t->fieldCount(); ++i) {
        if (hidden(t->field(i))) continue;
        shown.push_back(i);
        row.push_back(wv::toUtf8(t->field(i).name));
    }
    wv::tools::csvAppendRow(out, row);
    std::vector<uint32_t> recs;
    if (!order.empty()) {
        recs = tagOrder(*area, order, all);
    } else {
        uint32_t count = t->recCount();
        for (uint32_t k = 1; k <= count; ++k) recs.push_back(k);
    }
    for (uint32_t k : recs) {
        t->goTo(k);
        bool del = t->deleted();
        if (del && !all) continue;
        row.clear();
        row.push_back(std::to_string(k));
        if (all) row.push_back(del ? "T" : "F");
        for (size_t i : shown) row.push_back(dumpValue(*t, i));
        wv::tools::csvAppendRow(out, row);
        if (out.size() > (1 << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int cmdInfo(const std::vector<std::string>& a) {
    if (a.size() != 1) fail("info needs a table");
    auto area = openArea(a[0], true, true);
    DbfTable* t = &area->table();
    std::printf("version: 0x%02X\n", t->version());
    std::printf("records (header): %u\n", t->headerCount());
    std::printf("records (file size): %u\n", t->recCount());
    std::printf("header length: %u\n", t->headerLength());
    std::printf("record length: %u\n", t->recordLength());
    std::printf("table flags: 0x%02X\n", t->tableFlags());
    std::printf("code page mark: 0x%02X\n", t->codePageMark());
    for (size_t i = 0; i < t->fieldCount(); ++i) {
        const wv::FieldInfo& f = t->field(i);
        std::printf("field: %s %c %u %u\n", wv::toUtf8(f.name).c_str(), f.type, f.len, f.dec);
    }
    if (t->memo()) {
        std::printf("memo file: %s\n", t->memoPath().c_str());
        std::printf("memo block size: %u\n", t->memo()->blockSize());
    }
    return 0;
}

int cmdMark(const std::vector<std::string>& a, bool del) {
    if (a.size() != 2) fail(std::string(del ? "delete" : "recall") + " needs a table and RECNO");
    uint32_t n = parseRecno(a[1]);
    auto area = openArea(a[0], true, false);
    DbfTable* t = &area->table();
    if (n > t->recCount()) fail("no record " + a[1] + " in " + a[0]);
    t->goTo(n);
    if (!t->rlock()) fail("record " + a[1] + " is locked by another user");
    bool ok = del ? t->deleteRecord() : t->recall();
    t->unlockAll();
    if (!ok || !t->close()) fail("cannot write " + a[0]);
    return 0;
}

int cmdPackZap(const std::vector<std::string>& a, bool zap) {
    if (a.size() != 1) fail(std::string(zap ? "zap" : "pack") + " needs a table");
    auto area = openArea(a[0], false, false);
    DbfTable* t = &area->table();
    bool ok = zap ? t->zap() : t->pack();
    if (!ok || !t->close()) fail("cannot " + std::string(zap ? "zap " : "pack ") + a[0]);
    return 0;
}

}  // namespace

namespace {

int runCommand(const std::string& cmd, const std::vector<std::string>& rest) {
    if (cmd == "create") return cmdCreate(rest);
    if (cmd == "append") return cmdAppend(rest);
    if (cmd == "import") return cmdImport(rest);
    if (cmd == "update") return cmdUpdate(rest);
    if (cmd == "dump") return cmdDump(rest);
    if (cmd == "info") return cmdInfo(rest);
    if (cmd == "delete") return cmdMark(rest, true);
    if (cmd == "recall") return cmdMark(rest, false);
    if (cmd == "pack") return cmdPackZap(rest, false);
    if (cmd == "zap") return cmdPackZap(rest, true);
    if (cmd == "index") return cmdIndex(rest);
    if (cmd == "reindex") return cmdReindex(rest);
    if (cmd == "seek") return cmdSeek(rest);
    if (cmd == "keys") return cmdKeys(rest);
    if (cmd == "check") return cmdCheck(rest);
    if (cmd == "init") return cmdInit(rest);
    if (cmd == "factura") return cmdFactura(rest);
    fail("unknown command " + cmd + " (try --help)");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 1 : 0;
    }
    wv::setErrorHandler(toolHandler);
    // A damaged index ends the command with its reason instead of the program's stop dialog.
    wv::setInternalStopper([](const wv::InternalError& e) { fail(wv::toUtf8(e.text)); });
    return runCommand(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
}
