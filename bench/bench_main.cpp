// wvestor-bench: runs each workload on our engine and on SQLite, on the same data, in one run,
// and prints one line per workload:
//   WORKLOAD ours_s=SECONDS sqlite_s=SECONDS ratio=OURS/SQLITE
// Each side is timed a few times and the best time is kept, so that a stray pause of the machine
// does not decide the ratio.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
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
#include "data/netuse.h"
#include "data/tables.h"
#include "data/application.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "invoice/capture.h"
#include "invoice/listing.h"
#include "catalog/catalogo.h"
#include "runtime/numtext.h"
#include "runtime/operator.h"
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

// A new, empty database in place of whatever was at the path.
sqlite3* freshSqlite(const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    return openSqlite(path);
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

// --- Index workloads: a 40-character key over many records.

std::string keyFor(uint32_t i) {
    // A well-spread key: digits of a multiplicative hash, then the record number.
    uint64_t h = uint64_t(i) * 0x9E3779B97F4A7C15ULL;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%020llu%020u", (unsigned long long)(h % 100000000000000000ULL),
                  i);
    return std::string(buf, 40);
}

const std::vector<wv::FieldDef> kKeyed = {{"KEY", 'C', 40, 0}, {"NAME", 'C', 20, 0},
                                          {"AMOUNT", 'N', 12, 2}};

void makeKeyedTables(const std::string& dbf, const std::string& sql, uint32_t n) {
    {
        auto t = wv::DbfTable::create(dbf, kKeyed);
        if (!t) die("cannot create " + dbf);
        for (uint32_t i = 1; i <= n; ++i) {
            t->append();
            t->put(0, wv::Value(keyFor(i)));
            t->put(1, wv::Value(std::string("Nombre ") + std::to_string(i % 977)));
            t->put(2, wv::Value::number(double(i % 5000) / 4, 12, 2));
        }
    }
    sqlite3* db = freshSqlite(sql);
    exec(db, "CREATE TABLE t(key TEXT, name TEXT, amount REAL)");
    exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?)", -1, &st, nullptr);
    for (uint32_t i = 1; i <= n; ++i) {
        std::string k = keyFor(i), name = std::string("Nombre ") + std::to_string(i % 977);
        sqlite3_bind_text(st, 1, k.c_str(), 40, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 3, double(i % 5000) / 4);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

void dropIndexes(const std::string& dbf, const std::string& sql) {
    std::string cdx = dbf.substr(0, dbf.size() - 4) + ".cdx";
    std::filesystem::remove(cdx);
    // The table no longer has a structural index: clear its flag as a fresh table has it.
    {
        wv::DbfTable::OpenOptions o;
        o.shared = false;
        auto t = wv::DbfTable::open(dbf, o);
        t->setStructuralIndex(false);
        t->requestHeaderWrite();
    }
    sqlite3* db = openSqlite(sql);
    exec(db, "DROP INDEX IF EXISTS tk");
    exec(db, "DROP INDEX IF EXISTS tn");
    sqlite3_close(db);
}

double oursIndexBuild(const std::string& dbf) {
    auto a = wv::WorkArea::open(dbf, "", false, false);
    if (!a) die("cannot open " + dbf);
    return seconds([&] {
        if (!a->createTag({"KEY", "KEY", "", false, false, false})) die("index build failed");
    });
}

double sqliteIndexBuild(const std::string& sql) {
    sqlite3* db = openSqlite(sql);
    double s = seconds([&] { exec(db, "CREATE INDEX tk ON t(key)"); });
    sqlite3_close(db);
    return s;
}

// The limit a build approaches: sorting the same (key, record) pairs in memory.
double sortOnly(uint32_t n) {
    std::vector<std::pair<std::string, uint32_t>> pairs;
    pairs.reserve(n);
    for (uint32_t i = 1; i <= n; ++i) pairs.emplace_back(keyFor(i), i);
    return seconds([&] { std::sort(pairs.begin(), pairs.end()); });
}

double oursSeek(const std::string& dbf, const std::vector<uint32_t>& probes, size_t* hits) {
    auto a = wv::WorkArea::open(dbf, "", true, false);
    if (!a) die("cannot open " + dbf);
    a->setOrder("KEY");
    size_t found = 0;
    double total = 0;
    double s = seconds([&] {
        for (uint32_t i : probes) {
            if (a->seek(wv::Value(keyFor(i)), false)) {
                ++found;
                total += a->table().getNumber(2);
            }
        }
    });
    *hits = found;
    return s;
}

double sqliteSeek(const std::string& sql, const std::vector<uint32_t>& probes, size_t* hits) {
    sqlite3* db = openSqlite(sql);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT amount FROM t WHERE key = ?", -1, &st, nullptr);
    size_t found = 0;
    double total = 0;
    double s = seconds([&] {
        for (uint32_t i : probes) {
            std::string k = keyFor(i);
            sqlite3_bind_text(st, 1, k.c_str(), 40, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW) {
                ++found;
                total += sqlite3_column_double(st, 0);
            }
            sqlite3_reset(st);
        }
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    *hits = found;
    return s;
}

double oursKeyCount(const std::string& dbf, uint32_t* count) {
    auto a = wv::WorkArea::open(dbf, "", true, true);
    a->setOrder("KEY");
    return seconds([&] { *count = a->keyCount(); });
}

double sqliteKeyCount(const std::string& sql, uint32_t* count) {
    sqlite3* db = openSqlite(sql);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM t", -1, &st, nullptr);
    double s = seconds([&] {
        sqlite3_step(st);
        *count = uint32_t(sqlite3_column_int64(st, 0));
        sqlite3_reset(st);
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

// Shared appends into a table with two maintained tags; INSERTs into a table with two indexes.
double oursAppendIndexed(const std::string& dbf, uint32_t n) {
    {
        auto t = wv::DbfTable::create(dbf, kKeyed);
        if (!t) die("cannot create " + dbf);
    }
    {
        auto a = wv::WorkArea::open(dbf, "", false, false);
        a->createTag({"KEY", "KEY", "", false, false, false});
        a->createTag({"NAME", "NAME", "", false, false, false});
    }
    auto a = wv::WorkArea::open(dbf, "", true, false);
    if (!a) die("cannot open " + dbf);
    return seconds([&] {
        for (uint32_t i = 1; i <= n; ++i) {
            if (!a->table().append()) die("append failed");
            a->table().put(0, wv::Value(keyFor(i)));
            a->table().put(1, wv::Value(std::string("Nombre ") + std::to_string(i % 977)));
            a->table().put(2, wv::Value::number(double(i % 5000) / 4, 12, 2));
            a->table().unlockAll();
        }
    });
}

double sqliteAppendIndexed(const std::string& sql, uint32_t n) {
    sqlite3* db = freshSqlite(sql);
    exec(db, "CREATE TABLE t(key TEXT, name TEXT, amount REAL)");
    exec(db, "CREATE INDEX tk ON t(key)");
    exec(db, "CREATE INDEX tn ON t(name)");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?)", -1, &st, nullptr);
    double s = seconds([&] {
        for (uint32_t i = 1; i <= n; ++i) {
            std::string k = keyFor(i), name = std::string("Nombre ") + std::to_string(i % 977);
            sqlite3_bind_text(st, 1, k.c_str(), 40, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 3, double(i % 5000) / 4);
            if (sqlite3_step(st) != SQLITE_DONE) die("sqlite insert failed");
            sqlite3_reset(st);
        }
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}


// --- catalog_open: the customer catalogue opened in name order, as its browser first shows it:
// the first screenful of rows (code and name) and the footer's key count, the open included.

// Names spread over the alphabet: two surnames, a given name and an initial, picked by hashes
// of the record number (some names repeat, as they do in a real catalogue).
std::string customerName(uint32_t i) {
    static const char* const kSurnames[] = {
        "ACOSTA",   "AGUILAR",   "ALVAREZ",  "BARRERA",  "BENITEZ",  "CAMACHO", "CASTILLO",
        "CHAVEZ",   "CRUZ",      "DELGADO",  "DIAZ",     "ESPINOZA", "ESTRADA", "FERNANDEZ",
        "FLORES",   "GARCIA",    "GOMEZ",    "GUERRERO", "HERNANDEZ", "HERRERA", "IBARRA",
        "IGLESIAS", "JIMENEZ",   "JUAREZ",   "KURI",     "LARA",     "LOPEZ",   "LUNA",
        "MARTINEZ", "MENDOZA",   "MORALES",  "NAVARRO",  "NUNEZ",    "OCHOA",   "ORTIZ",
        "PEREZ",    "PINEDA",    "QUINTERO", "QUIROZ",   "RAMIREZ",  "REYES",   "RODRIGUEZ",
        "SALAZAR",  "SANCHEZ",   "TORRES",   "TREVINO",  "URIBE",    "VARGAS",  "VAZQUEZ",
        "WONG",     "XOLALPA",   "YANEZ",    "ZAMORA",   "ZUNIGA"};
    static const char* const kGiven[] = {
        "ADRIANA", "ALBERTO", "BEATRIZ", "CARLOS",  "CLAUDIA", "DANIEL",  "ELENA",  "FERNANDO",
        "GABRIELA", "GUSTAVO", "HUGO",   "ISABEL",  "JAVIER",  "JORGE",   "KARLA",  "LAURA",
        "LUIS",    "MARIA",   "MIGUEL",  "NORMA",   "OSCAR",   "PATRICIA", "RAUL", "ROSA",
        "SERGIO",  "SOFIA",   "TERESA",  "VICTOR",  "XIMENA",  "YOLANDA", "ZOE"};
    constexpr uint32_t nS = sizeof kSurnames / sizeof *kSurnames;
    constexpr uint32_t nG = sizeof kGiven / sizeof *kGiven;
    uint64_t h = uint64_t(i) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 29;
    std::string n = kSurnames[h % nS];
    n += ' ';
    n += kSurnames[(h >> 8) % nS];
    n += ' ';
    n += kGiven[(h >> 16) % nG];
    n += ' ';
    n += char('A' + (h >> 24) % 26);
    n += '.';
    return n;
}

// A four-character code in base 36 (the field is four wide: codes past 36^4 come round again).
std::string customerId(uint32_t i) {
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string id(4, '0');
    for (int k = 3; k >= 0; --k, i /= 36) id[size_t(k)] = kDigits[i % 36];
    return id;
}

struct Customer {
    std::string id, nombre, domicilio, ciudad, cp, telefonos, rfc;
};

Customer customerFor(uint32_t i) {
    Customer c;
    c.id = customerId(i);
    c.nombre = customerName(i);
    c.domicilio = "CALLE " + std::to_string(i % 997) + " NUM. " + std::to_string(i % 311 + 1);
    c.ciudad = "CIUDAD " + std::to_string(i % 181);
    char cp[8];
    std::snprintf(cp, sizeof cp, "%05u", 10000 + i % 89999);
    c.cp = cp;
    c.telefonos = "55 " + std::to_string(10000000 + i % 89999999);
    c.rfc = c.nombre.substr(0, 4) + std::to_string(800101 + i % 200000);
    return c;
}

// The catalogue's table (data/tables.h) with its two tags, and the same rows in SQLite with an
// index on the name.
// A table of the application's layout with n records filled by `fill` (given the record's
// number), indexed once they are all there; an index left by an earlier run goes first.
void buildTable(const std::string& dbf, const wv::TableSpec& layout, uint32_t n,
                const std::function<void(wv::DbfTable&, uint32_t)>& fill) {
    std::filesystem::remove(dbf.substr(0, dbf.size() - 4) + ".cdx");
    std::string error;
    if (!wv::createTable(dbf, layout, &error, [&](wv::DbfTable& t) {
            for (uint32_t i = 1; i <= n; ++i) {
                t.append();
                fill(t, i);
            }
        }))
        die(error);
}

void makeCustomerTables(const std::string& dir, const std::string& sql, uint32_t n) {
    const wv::TableSpec* layout = wv::tableSpec("cliente");
    if (!layout) die("no cliente table");
    buildTable(dir + "/cliente.dbf", *layout, n, [](wv::DbfTable& t, uint32_t i) {
        Customer c = customerFor(i);
        t.put(0, wv::Value(c.id));
        t.put(1, wv::Value(c.nombre));
        t.put(2, wv::Value(c.domicilio));
        t.put(3, wv::Value(c.ciudad));
        t.put(4, wv::Value(c.cp));
        t.put(5, wv::Value(std::string("MEXICO")));
        t.put(6, wv::Value(c.telefonos));
        t.put(7, wv::Value(c.rfc));
    });
    sqlite3* db = freshSqlite(sql);
    exec(db,
         "CREATE TABLE cliente(id TEXT, nombre TEXT, domicilio TEXT, ciudad_edo TEXT, cp TEXT,"
         " pais TEXT, telefonos TEXT, rfc TEXT, observacio TEXT)");
    exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO cliente VALUES(?,?,?,?,?,'MEXICO',?,?,'')", -1, &st,
                       nullptr);
    for (uint32_t i = 1; i <= n; ++i) {
        Customer c = customerFor(i);
        sqlite3_bind_text(st, 1, c.id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, c.nombre.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, c.domicilio.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, c.ciudad.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 5, c.cp.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 6, c.telefonos.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 7, c.rfc.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE) die("sqlite insert failed");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");
    exec(db, "CREATE INDEX cliente_nombre ON cliente(nombre)");
    sqlite3_close(db);
}

constexpr int kScreenRows = 30;

struct Screenful {
    std::vector<std::pair<std::string, std::string>> rows;  // code and name, trimmed
    uint32_t count = 0;
};

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

double oursCatalogOpen(const std::string& dir, Screenful* out) {
    Screenful s;
    double t = seconds([&] {
        if (!wv::netUse("cliente", false, "", dir + "/")) die("cannot open cliente");
        wv::WorkArea* a = wv::workspace().area();
        if (!a->setOrder("nombre")) die("no nombre tag");
        a->goTop();
        for (int r = 0; r < kScreenRows && !a->eof(); ++r) {
            s.rows.emplace_back(trimRight(a->get("ID").text()), trimRight(a->get("NOMBRE").text()));
            a->skip(1);
        }
        s.count = a->keyCount();
        wv::workspace().closeArea();
    });
    *out = std::move(s);
    return t;
}

double sqliteCatalogOpen(const std::string& sql, Screenful* out) {
    Screenful s;
    double t = seconds([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open(sql.c_str(), &db) != SQLITE_OK) die("cannot open " + sql);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT id, nombre FROM cliente ORDER BY nombre LIMIT 30", -1,
                           &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            s.rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                                reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM cliente", -1, &st, nullptr);
        if (sqlite3_step(st) != SQLITE_ROW) die("sqlite count failed");
        s.count = uint32_t(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(db);
    });
    *out = std::move(s);
    return t;
}

// --- invoice_store: invoices of five lines stored one by one through the capture's own routine
// (the next number from the counter, the number checked under the append lock, the header, the
// lines, the counter saved), against SQLite doing the same reads and writes in one transaction
// per invoice.
constexpr int kInvoiceLines = 5;

double oursInvoiceStore(const std::string& dir, int invoices) {
    std::filesystem::remove_all(dir);
    std::string error;
    if (!wv::initInstallation(dir, true, &error)) die(error);
    std::string back = std::filesystem::current_path().string();
    if (::chdir(dir.c_str()) != 0) die("cannot enter " + dir);
    wv::ScriptedOperator quiet;
    wv::ScriptedOperator::Scope scope(quiet);
    wv::oApp().setIdentity();
    wv::applyProcessSettings();
    double t = seconds([&] {
        wv::CapturaFactura cap(1);
        if (!cap.open()) die("cannot open the invoice tables");
        for (int i = 0; i < invoices; ++i) {
            cap.newCycle();
            cap.f.cIdCliente = "0002";  // as the screen leaves it (the header keeps the code)
            for (int k = 0; k < kInvoiceLines; ++k) {
                wv::LineaFactura l;
                l.cIdArtic = "00000" + std::to_string(k + 1);
                l.cArticul = "HABITACION";
                l.nCant = 1 + k;
                l.nPrecioU = 850 + 10 * k;
                l.nPorcIVA = 16;
                l.nPorcHos = 3;
                l.calcula();
                cap.f.addLine(l);
            }
            if (cap.store() != wv::CapturaFactura::Stored::Yes) die("an invoice was not stored");
        }
        cap.close();
    });
    wv::workspace().closeAll();
    if (::chdir(back.c_str()) != 0) die("cannot go back to " + back);
    return t;
}

// The invoices' header table on the SQLite side.
const char* const kSqlFacturas =
    "CREATE TABLE facturas(numero TEXT, fecha TEXT, idcliente TEXT, descto REAL,"
    " subtotal REAL, total REAL, iva REAL, hospedaje REAL, come1 TEXT, come2 TEXT,"
    " usuario TEXT, hora TEXT, habitacion TEXT, personas INTEGER, cance INTEGER);";

double sqliteInvoiceStore(const std::string& sql, int invoices) {
    sqlite3* db = freshSqlite(sql);
    exec(db, (std::string(kSqlFacturas) +
              "CREATE INDEX fnum ON facturas(numero); CREATE INDEX ffec ON facturas(fecha);"
              "CREATE TABLE det_fact(numero TEXT, idarticulo TEXT, concepto1 TEXT, cantidad REAL,"
              " precio REAL, porciva REAL, iva REAL, porchospe REAL, hospedaje REAL,"
              " porcdesc REAL, descto REAL, importe REAL);"
              "CREATE INDEX dnum ON det_fact(numero);"
              "CREATE TABLE cfg(variable TEXT PRIMARY KEY, tipo TEXT, valor TEXT);"
              "INSERT INTO cfg VALUES('CFACTURA','C','0000000000');")
                 .c_str());
    sqlite3_close(db);
    return seconds([&] {
        sqlite3* c = openSqlite(sql);
        sqlite3_stmt *counter, *used, *header, *line, *save;
        sqlite3_prepare_v2(c, "SELECT valor FROM cfg WHERE variable='CFACTURA'", -1, &counter,
                           nullptr);
        sqlite3_prepare_v2(c, "SELECT 1 FROM facturas WHERE numero=?", -1, &used, nullptr);
        sqlite3_prepare_v2(c,
                           "INSERT INTO facturas VALUES(?,'20261208','0002',0,?,?,?,?,'','',"
                           "'','12:00:00','',0,0)",
                           -1, &header, nullptr);
        sqlite3_prepare_v2(c, "INSERT INTO det_fact VALUES(?,?,'HABITACION',?,?,16,?,3,?,0,0,?)",
                           -1, &line, nullptr);
        sqlite3_prepare_v2(c, "UPDATE cfg SET valor=? WHERE variable='CFACTURA'", -1, &save,
                           nullptr);
        for (int i = 0; i < invoices; ++i) {
            exec(c, "BEGIN");
            sqlite3_step(counter);
            std::string last = reinterpret_cast<const char*>(sqlite3_column_text(counter, 0));
            sqlite3_reset(counter);
            char number[16];
            std::snprintf(number, sizeof number, "%010lld", std::atoll(last.c_str()) + 1);
            sqlite3_bind_text(used, 1, number, -1, SQLITE_TRANSIENT);
            if (sqlite3_step(used) == SQLITE_ROW) die("sqlite: number taken");
            sqlite3_reset(used);
            double sub = 0, iva = 0, hosp = 0;
            for (int k = 0; k < kInvoiceLines; ++k) {
                double gross = (1 + k) * (850.0 + 10 * k), base = gross / 1.19;
                double li = wv::roundTo(base * 0.16, 2), lh = wv::roundTo(base * 0.03, 2);
                double imp = wv::roundTo(gross - li - lh, 2);
                sub += imp;
                iva += li;
                hosp += lh;
                std::string art = "00000" + std::to_string(k + 1);
                sqlite3_bind_text(line, 1, number, -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(line, 2, art.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(line, 3, 1 + k);
                sqlite3_bind_double(line, 4, 850.0 + 10 * k);
                sqlite3_bind_double(line, 5, li);
                sqlite3_bind_double(line, 6, lh);
                sqlite3_bind_double(line, 7, imp);
                sqlite3_step(line);
                sqlite3_reset(line);
            }
            sqlite3_bind_text(header, 1, number, -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(header, 2, sub);
            sqlite3_bind_double(header, 3, sub + iva + hosp);
            sqlite3_bind_double(header, 4, iva);
            sqlite3_bind_double(header, 5, hosp);
            sqlite3_step(header);
            sqlite3_reset(header);
            sqlite3_bind_text(save, 1, number, -1, SQLITE_TRANSIENT);
            sqlite3_step(save);
            sqlite3_reset(save);
            exec(c, "COMMIT");
        }
        for (sqlite3_stmt* st : {counter, used, header, line, save}) sqlite3_finalize(st);
        sqlite3_close(c);
    });
}

// --- listing_month: the rows and totals of one month's invoices out of 1,000,000 over ten
// years (stored day after day, as a business stores them), with each customer's name from the
// catalogue or, for the occasional customer, from the billing data kept with the invoice;
// against SQLite answering the same from an index on the date.
constexpr uint32_t kListingCustomers = 2000;

struct ListingData {
    std::string numero, idCliente, nombre, habitacion;
    wv::Date fecha;
    double personas, subtotal, iva, hospedaje, total;
    bool cancelada;
};

ListingData listingInvoice(uint32_t i, uint32_t n) {
    ListingData d;
    char num[16];
    std::snprintf(num, sizeof num, "%010u", i);
    d.numero = num;
    const int32_t days = wv::dateFromYmd(2025, 1, 1).jd - wv::dateFromYmd(2015, 1, 1).jd;
    d.fecha = wv::Date{wv::dateFromYmd(2015, 1, 1).jd + int32_t(uint64_t(i - 1) * days / n)};
    d.idCliente = i % 10 == 0 ? std::string(wv::kClienteOcasional)
                              : customerId(1 + i * 7919u % kListingCustomers);
    d.nombre = i % 10 == 0 ? "HUESPED OCASIONAL " + std::to_string(i) : "";
    d.habitacion = std::to_string(100 + i % 60);
    d.personas = double(1 + i % 4);
    d.subtotal = double(500 + i % 3000) + 0.25 * double(i % 4);
    d.iva = wv::roundTo(d.subtotal * 0.16, 2);
    d.hospedaje = wv::roundTo(d.subtotal * 0.03, 2);
    d.total = wv::roundTo(d.subtotal + d.iva + d.hospedaje, 2);
    d.cancelada = i % 37 == 0;
    return d;
}

void makeListingTables(const std::string& dir, const std::string& sql, uint32_t n) {
    std::filesystem::create_directories(dir);
    buildTable(dir + "/facturas.dbf", *wv::tableSpec("facturas"), n,
               [n](wv::DbfTable& t, uint32_t i) {
                   ListingData d = listingInvoice(i, n);
                   t.put("NUMERO", wv::Value(d.numero));
                   t.put("FECHA", wv::Value(d.fecha));
                   t.put("IDCLIENTE", wv::Value(d.idCliente));
                   t.put("SUBTOTAL", wv::Value::number(d.subtotal, 12, 2));
                   t.put("TOTAL", wv::Value::number(d.total, 12, 2));
                   t.put("IVA", wv::Value::number(d.iva, 12, 2));
                   t.put("HOSPEDAJE", wv::Value::number(d.hospedaje, 12, 2));
                   t.put("HABITACION", wv::Value(d.habitacion));
                   t.put("PERSONAS", wv::Value::number(d.personas, 3, 0));
                   t.put("CANCE", wv::Value(d.cancelada));
               });
    buildTable(dir + "/cliente.dbf", *wv::tableSpec("cliente"), kListingCustomers,
               [](wv::DbfTable& t, uint32_t i) {
                   t.put("ID", wv::Value(customerId(i)));
                   t.put("NOMBRE", wv::Value(customerName(i)));
               });
    buildTable(dir + "/fac_ocas.dbf", wv::occasionalTable(), n / 10,
               [n](wv::DbfTable& t, uint32_t k) {
                   ListingData d = listingInvoice(k * 10, n);
                   t.put("NUMERO", wv::Value(d.numero));
                   t.put("NOMBRE", wv::Value(d.nombre));
               });

    sqlite3* db = freshSqlite(sql);
    exec(db, (std::string(kSqlFacturas) +
              "CREATE TABLE cliente(id TEXT, nombre TEXT);"
              "CREATE TABLE fac_ocas(numero TEXT, nombre TEXT);")
                 .c_str());
    exec(db, "BEGIN");
    sqlite3_stmt *f = nullptr, *c = nullptr, *o = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO facturas VALUES(?,?,?,0,?,?,?,?,'','','','12:00:00',?,?,?)",
                       -1, &f, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO cliente VALUES(?,?)", -1, &c, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO fac_ocas VALUES(?,?)", -1, &o, nullptr);
    for (uint32_t i = 1; i <= n; ++i) {
        ListingData d = listingInvoice(i, n);
        std::string day = wv::dtos(d.fecha);
        sqlite3_bind_text(f, 1, d.numero.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(f, 2, day.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(f, 3, d.idCliente.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(f, 4, d.subtotal);
        sqlite3_bind_double(f, 5, d.total);
        sqlite3_bind_double(f, 6, d.iva);
        sqlite3_bind_double(f, 7, d.hospedaje);
        sqlite3_bind_text(f, 8, d.habitacion.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(f, 9, int(d.personas));
        sqlite3_bind_int(f, 10, d.cancelada);
        if (sqlite3_step(f) != SQLITE_DONE) die("sqlite insert failed");
        sqlite3_reset(f);
        if (i % 10 == 0) {
            sqlite3_bind_text(o, 1, d.numero.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(o, 2, d.nombre.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(o);
            sqlite3_reset(o);
        }
    }
    for (uint32_t i = 1; i <= kListingCustomers; ++i) {
        std::string id = customerId(i), name = customerName(i);
        sqlite3_bind_text(c, 1, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(c, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(c);
        sqlite3_reset(c);
    }
    for (sqlite3_stmt* st : {f, c, o}) sqlite3_finalize(st);
    exec(db, "COMMIT");
    exec(db,
         "CREATE INDEX facturas_fecha ON facturas(fecha);"
         "CREATE INDEX cliente_id ON cliente(id);"
         "CREATE INDEX fac_ocas_numero ON fac_ocas(numero);");
    sqlite3_close(db);
}

struct ListingResult {
    std::vector<std::string> firstNames;  // the names of the first rows, to compare
    long count = 0, cancelled = 0;
    double subtotal = 0, iva = 0, hospedaje = 0, total = 0;
};

double oursListingMonth(const std::string& dir, wv::Date first, wv::Date last,
                        ListingResult* out) {
    ListingResult r;
    double t = seconds([&] {
        wv::ListadoFacturas l(first, last);
        if (!l.open(dir + "/") || !l.read()) die("cannot read the listing");
        for (size_t i = 0; i < l.rows().size() && i < 50; ++i)
            r.firstNames.push_back(l.rows()[i].nombre);
        const wv::TotalesListado& tot = l.totales();
        r.count = tot.facturas;
        r.cancelled = tot.canceladas;
        r.subtotal = tot.subtotal;
        r.iva = tot.iva;
        r.hospedaje = tot.hospedaje;
        r.total = tot.total;
    });
    *out = std::move(r);
    return t;
}

double sqliteListingMonth(const std::string& sql, wv::Date first, wv::Date last,
                          ListingResult* out) {
    ListingResult r;
    double t = seconds([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open(sql.c_str(), &db) != SQLITE_OK) die("cannot open " + sql);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(
            db,
            "SELECT f.numero, f.fecha, f.idcliente, COALESCE(o.nombre, c.nombre, ''),"
            " f.habitacion, f.personas, f.subtotal, f.iva, f.hospedaje, f.total, f.cance"
            " FROM facturas f"
            " LEFT JOIN fac_ocas o ON f.idcliente = '9999' AND o.numero = f.numero"
            " LEFT JOIN cliente c ON c.id = f.idcliente"
            " WHERE f.fecha BETWEEN ?1 AND ?2 ORDER BY f.fecha, f.numero",
            -1, &st, nullptr);
        std::string a = wv::dtos(first), b = wv::dtos(last);
        sqlite3_bind_text(st, 1, a.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, b.c_str(), -1, SQLITE_TRANSIENT);
        std::vector<ListingData> rows;
        auto text = [st](int col) {
            return std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, col)));
        };
        while (sqlite3_step(st) == SQLITE_ROW) {
            ListingData d;
            d.numero = text(0);
            d.fecha = wv::stod(text(1));
            d.idCliente = text(2);
            d.nombre = text(3);
            d.habitacion = text(4);
            d.personas = sqlite3_column_double(st, 5);
            d.subtotal = sqlite3_column_double(st, 6);
            d.iva = sqlite3_column_double(st, 7);
            d.hospedaje = sqlite3_column_double(st, 8);
            d.total = sqlite3_column_double(st, 9);
            d.cancelada = sqlite3_column_int(st, 10) != 0;
            rows.push_back(std::move(d));
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        for (const ListingData& d : rows) {
            if (r.firstNames.size() < 50) r.firstNames.push_back(d.nombre);
            ++r.count;
            if (d.cancelada) {
                ++r.cancelled;
                continue;
            }
            r.subtotal += d.subtotal;
            r.iva += d.iva;
            r.hospedaje += d.hospedaje;
            r.total += d.total;
        }
        for (double* v : {&r.subtotal, &r.iva, &r.hospedaje, &r.total}) *v = wv::roundTo(*v, 2);
    });
    *out = std::move(r);
    return t;
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
                "Workloads: append, scan, index_build, index_build_vs_sort, seek, key_count,\n"
                "append_indexed, catalog_open, invoice_store, listing_month. Prints WORKLOAD ours_s=.. sqlite_s=.. ratio=..\n"
                "(for index_build_vs_sort the second figure is the in-memory sort)\n");
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
    // Index workloads on their own data: 1,000,000 records (100,000 with --quick).
    uint32_t big = opt.quick ? 100000 : 1000000;
    std::string kdbf = (dir / "keyed.dbf").string(), ksql = (dir / "keyed.sqlite").string();
    bool keyed = false;
    auto ensureKeyed = [&] {
        if (!keyed) makeKeyedTables(kdbf, ksql, big);
        keyed = true;
    };
    if (want("index_build") || want("index_build_vs_sort")) {
        ensureKeyed();
        double ours = 1e300, theirs = 1e300;
        for (int r = 0; r < repeat; ++r) {
            dropIndexes(kdbf, ksql);
            ours = std::min(ours, oursIndexBuild(kdbf));
            theirs = std::min(theirs, sqliteIndexBuild(ksql));
        }
        if (want("index_build")) report("index_build", ours, theirs);
        if (want("index_build_vs_sort"))
            report("index_build_vs_sort", ours, best(repeat, [&] { return sortOnly(big); }));
    }
    if (want("seek") || want("key_count")) {
        ensureKeyed();
        if (!std::filesystem::exists(kdbf.substr(0, kdbf.size() - 4) + ".cdx")) {
            oursIndexBuild(kdbf);
        }
        sqlite3* db = openSqlite(ksql);
        exec(db, "CREATE INDEX IF NOT EXISTS tk ON t(key)");
        sqlite3_close(db);
        if (want("seek")) {
            std::vector<uint32_t> probes(big);
            uint64_t x = 88172645463325252ULL;
            for (auto& p : probes) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                p = uint32_t(x % big) + 1;
            }
            size_t h1 = 0, h2 = 0;
            double ours = best(repeat, [&] { return oursSeek(kdbf, probes, &h1); });
            double theirs = best(repeat, [&] { return sqliteSeek(ksql, probes, &h2); });
            if (h1 != probes.size() || h2 != probes.size()) die("seeks missed keys");
            report("seek", ours, theirs);
        }
        if (want("key_count")) {
            uint32_t c1 = 0, c2 = 0;
            double ours = best(repeat * 3, [&] { return oursKeyCount(kdbf, &c1); });
            double theirs = best(repeat * 3, [&] { return sqliteKeyCount(ksql, &c2); });
            if (c1 != big || c2 != big) die("key counts differ");
            report("key_count", ours, theirs);
        }
    }
    if (want("append_indexed")) {
        std::string adbf = (dir / "appidx.dbf").string(), asql = (dir / "appidx.sqlite").string();
        double ours = best(repeat, [&] { return oursAppendIndexed(adbf, n); });
        double theirs = best(repeat, [&] { return sqliteAppendIndexed(asql, n); });
        report("append_indexed", ours, theirs);
    }
    if (want("catalog_open")) {
        // The customer catalogue: 1,000,000 records (100,000 with --quick).
        std::string cdir = (dir / "catalogo").string(), csql = (dir / "cliente.sqlite").string();
        std::filesystem::create_directories(cdir);
        makeCustomerTables(cdir, csql, big);
        Screenful a, b;
        double ours = best(repeat * 3, [&] { return oursCatalogOpen(cdir, &a); });
        double theirs = best(repeat * 3, [&] { return sqliteCatalogOpen(csql, &b); });
        if (a.count != big || b.count != big) die("key counts differ");
        if (a.rows != b.rows || a.rows.size() != size_t(kScreenRows)) die("the screens differ");
        report("catalog_open", ours, theirs);
    }
    if (want("invoice_store")) {
        // 1,000 invoices of five lines (200 with --quick).
        int invoices = opt.quick ? 200 : 1000;
        std::string idir = (dir / "instalacion").string(), isql = (dir / "facturas.sqlite").string();
        double ours = best(repeat, [&] { return oursInvoiceStore(idir, invoices); });
        double theirs = best(repeat, [&] { return sqliteInvoiceStore(isql, invoices); });
        report("invoice_store", ours, theirs);
    }
    if (want("listing_month")) {
        // June 2020 out of 1,000,000 invoices over 2015-2024 (100,000 with --quick).
        std::string ldir = (dir / "listado").string(), lsql = (dir / "listado.sqlite").string();
        makeListingTables(ldir, lsql, big);
        const wv::Date first = wv::dateFromYmd(2020, 6, 1), last = wv::dateFromYmd(2020, 6, 30);
        ListingResult a, b;
        double ours = best(repeat * 3, [&] { return oursListingMonth(ldir, first, last, &a); });
        double theirs =
            best(repeat * 3, [&] { return sqliteListingMonth(lsql, first, last, &b); });
        if (a.count == 0 || a.count != b.count || a.cancelled != b.cancelled)
            die("the listings differ in their counts");
        if (a.subtotal != b.subtotal || a.iva != b.iva || a.hospedaje != b.hospedaje ||
            a.total != b.total)
            die("the listings differ in their totals");
        if (a.firstNames != b.firstNames) die("the listings differ in their names");
        report("listing_month", ours, theirs);
    }
    if (opt.dir.empty()) std::filesystem::remove_all(dir);
    return 0;
}
