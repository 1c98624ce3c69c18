// wvestor-bench: runs each workload on our engine and on SQLite, on the same data, in one run,
// and prints one line per workload:
//   WORKLOAD ours_s=SECONDS sqlite_s=SECONDS ratio=OURS/SQLITE
// Each side is timed a few times and the best time is kept, so that a stray pause of the machine
// does not decide the ratio.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/date.h"
#include "runtime/error.h"
#include "storage/dbf.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    bool quick = false;
    std::string only;
    std::string dir;
    int repeat = 3;
};

double seconds(const std::function<void()>& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double best(int n, const std::function<double()>& f) {
    double b = 1e300;
    for (int i = 0; i < n; ++i) b = std::min(b, f());
    return b;
}

void report(const char* name, double ours, double theirs) {
    std::printf("%s ours_s=%.6f sqlite_s=%.6f ratio=%.3f\n", name, ours, theirs,
                theirs > 0 ? ours / theirs : 0.0);
    std::fflush(stdout);
}

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "wvestor-bench: %s\n", why.c_str());
    std::exit(1);
}

void exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK)
        die(std::string("sqlite: ") + (err ? err : "?"));
}

sqlite3* openSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) die("cannot open " + path);
    exec(db, "PRAGMA journal_mode=WAL");
    exec(db, "PRAGMA synchronous=OFF");
    return db;
}

// The five-field record both sides store.
struct Row {
    char id[11];
    char name[31];
    double amount;
    wv::Date day;
    bool ok;
};

Row rowFor(uint32_t i) {
    Row r{};
    std::snprintf(r.id, sizeof r.id, "%010u", i);
    std::snprintf(r.name, sizeof r.name, "Cliente numero %u", i * 7919u % 100000u);
    r.amount = double(i % 10000) + 0.25 * double(i % 4);
    r.day = wv::Date{wv::dateFromYmd(2008, 1, 1).jd + int32_t(i % 3650)};
    r.ok = i % 3 == 0;
    return r;
}

const std::vector<wv::FieldDef> kFields = {{"ID", 'C', 10, 0},
                                           {"NAME", 'C', 30, 0},
                                           {"AMOUNT", 'N', 12, 2},
                                           {"DAY", 'D', 8, 0},
                                           {"OK", 'L', 1, 0}};

// --- append: shared appends, each locked, written and unlocked; autocommit INSERTs.

double oursAppend(const std::string& path, uint32_t n) {
    {
        auto t = wv::DbfTable::create(path, kFields);
        if (!t) die("cannot create " + path);
    }
    auto t = wv::DbfTable::open(path);
    if (!t) die("cannot open " + path);
    return seconds([&] {
        for (uint32_t i = 1; i <= n; ++i) {
            Row r = rowFor(i);
            if (!t->append()) die("append failed");
            t->put(0, wv::Value(std::string_view(r.id)));
            t->put(1, wv::Value(std::string_view(r.name)));
            t->put(2, wv::Value::number(r.amount, 12, 2));
            t->put(3, wv::Value(r.day));
            t->put(4, wv::Value(r.ok));
            t->unlockAll();
        }
    });
}

double sqliteAppend(const std::string& path, uint32_t n) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    sqlite3* db = openSqlite(path);
    exec(db,
         "CREATE TABLE t(id TEXT, name TEXT, amount REAL, day TEXT, ok INTEGER)");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?)", -1, &st, nullptr);
    double s = seconds([&] {
        for (uint32_t i = 1; i <= n; ++i) {
            Row r = rowFor(i);
            std::string day = wv::dtos(r.day);
            sqlite3_bind_text(st, 1, r.id, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, r.name, -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 3, r.amount);
            sqlite3_bind_text(st, 4, day.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 5, r.ok);
            if (sqlite3_step(st) != SQLITE_DONE) die("sqlite insert failed");
            sqlite3_reset(st);
        }
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

// --- scan: a sequential pass summing AMOUNT; SELECT SUM(amount).

double oursScan(const std::string& path, double* sum) {
    auto t = wv::DbfTable::open(path);
    if (!t) die("cannot open " + path);
    return seconds([&] {
        double s = 0;
        for (t->goTop(); !t->eof(); t->skip(1)) s += t->getNumber(2);
        *sum = s;
    });
}

double sqliteScan(const std::string& path, double* sum) {
    sqlite3* db = openSqlite(path);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT SUM(amount) FROM t", -1, &st, nullptr);
    double s = seconds([&] {
        if (sqlite3_step(st) != SQLITE_ROW) die("sqlite sum failed");
        *sum = sqlite3_column_double(st, 0);
        sqlite3_reset(st);
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick") {
            opt.quick = true;
        } else if (a == "--only" && i + 1 < argc) {
            opt.only = argv[++i];
        } else if (a == "--dir" && i + 1 < argc) {
            opt.dir = argv[++i];
        } else if (a == "--help" || a == "-h") {
            std::printf(
                "usage: wvestor-bench [--quick] [--only WORKLOAD] [--dir DIR]\n"
                "Workloads: append, scan. Prints WORKLOAD ours_s=.. sqlite_s=.. ratio=..\n");
            return 0;
        } else {
            die("unknown argument " + a);
        }
    }
    wv::setErrorHandler([](const wv::Error& e) -> wv::ErrorChoice {
        die(wv::errorMessage(e));
    });
    std::filesystem::path dir = opt.dir.empty()
                                    ? std::filesystem::temp_directory_path() /
                                          ("wvbench." + std::to_string(getpid()))
                                    : std::filesystem::path(opt.dir);
    std::filesystem::create_directories(dir);
    std::string dbf = (dir / "bench.dbf").string();
    std::string sql = (dir / "bench.sqlite").string();
    uint32_t n = opt.quick ? 20000 : 100000;
    int repeat = opt.quick ? 2 : opt.repeat;
    auto want = [&](const char* w) { return opt.only.empty() || opt.only == w; };

    bool built = false;
    if (want("append") || want("scan")) {
        double ours = best(repeat, [&] { return oursAppend(dbf, n); });
        double theirs = best(repeat, [&] { return sqliteAppend(sql, n); });
        built = true;
        if (want("append")) report("append", ours, theirs);
    }
    if (want("scan") && built) {
        double a = 0, b = 0;
        double ours = best(repeat * 3, [&] { return oursScan(dbf, &a); });
        double theirs = best(repeat * 3, [&] { return sqliteScan(sql, &b); });
        if (std::fabs(a - b) > 1e-6 * std::fabs(b)) die("the two sums differ");
        report("scan", ours, theirs);
    }
    if (opt.dir.empty()) std::filesystem::remove_all(dir);
    return 0;
}
