// Fuzzes the compound index reader with whole files as input, written as the index of a small
// sound table. Each input is read three ways: alone (no table: tags are only read), through a
// read-only work area (keys typed by the table's fields, navigation by every order), and, when
// the input asks for it, in exclusive use with one record changed and one appended so that the
// maintenance runs over the damaged trees. Damage must end in an internal error or a refused
// open, never in a crash or a hang. Beyond that it checks that reading never changes the file,
// and that a file the structural check passes walks the same forwards, backwards and by cursor,
// with a key count to match.
//
// Seeds: indexes of the same table made by the tool, e.g.
//   wvestor-db create t K:C:10 N:N:8:2 D:D L:L
//   wvestor-db append t K=uno N=1.5 D=20240101 L=T   (and the other five records below)
//   wvestor-db index t K K; wvestor-db index t N N --descending; wvestor-db index t D D --for L
// indexes of larger tables of the same fields (several levels), and a foreign index file; run
// with -max_len=65536 or so, large seeds are cut.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/workarea.h"
#include "runtime/date.h"
#include "runtime/error.h"
#include "storage/cdx.h"
#include "storage/dbf.h"

namespace {

constexpr size_t kMaxSteps = 20000;  // per walk; sound inputs of fuzzing size are far smaller
// Work-area walks step through the table too, and an index that does not match its table can
// send them round in circles (reported apart); a few rounds of the six records are enough.
constexpr size_t kNavSteps = 64;

struct Paths {
    std::string dbf, cdx;
    std::string tableBytes;
};

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void putBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

void check(bool ok) {
    if (!ok) __builtin_trap();
}

const Paths& paths() {
    static const Paths p = [] {
        char tmpl[] = "/tmp/fuzz_cdx.XXXXXX";
        const char* dir = mkdtemp(tmpl);
        if (!dir) abort();
        wv::setErrorHandler([](const wv::Error&) { return wv::ErrorChoice::Default; });
        wv::setInternalStopper(wv::throwingStopper);
        Paths r;
        r.dbf = std::string(dir) + "/t.dbf";
        r.cdx = std::string(dir) + "/t.cdx";
        auto t = wv::DbfTable::create(
            r.dbf, {{"K", 'C', 10, 0}, {"N", 'N', 8, 2}, {"D", 'D', 8, 0}, {"L", 'L', 1, 0}});
        if (!t) abort();
        // The records of the seed table, so that the seeds' keys match them.
        struct Rec {
            const char* k;
            double n;
            const char* d;
            bool l;
        } recs[] = {{"uno", 1.5, "20240101", true}, {"dos", -3, "19991231", false},
                    {"tres", 0, "", true},          {"", 12.25, "20240229", false},
                    {"dos", 7, "20000101", true},   {"cinco", -0.5, "20300101", false}};
        for (const Rec& rec : recs) {
            t->append();
            t->put("K", wv::Value(rec.k));
            t->put("N", wv::Value::number(rec.n));
            t->put("D", wv::Value(wv::stod(rec.d)));
            t->put("L", wv::Value(rec.l));
        }
        t->close();
        r.tableBytes = fileBytes(r.dbf);
        return r;
    }();
    return p;
}

using Entries = std::vector<std::pair<std::vector<uint8_t>, uint32_t>>;

// Visits a tag every way the reader offers.
void readTag(wv::CdxTag* t, const uint8_t* data, size_t size) {
    const size_t kl = size_t(t->keyLength());
    Entries fwd, back, cursor;
    t->forEach([&](const uint8_t* k, uint32_t r) {
        fwd.emplace_back(std::vector<uint8_t>(k, k + kl), r);
        return fwd.size() < kMaxSteps;
    });
    t->forEach(
        [&](const uint8_t* k, uint32_t r) {
            back.emplace_back(std::vector<uint8_t>(k, k + kl), r);
            return back.size() < kMaxSteps;
        },
        true);
    for (uint32_t r = t->first(); r && cursor.size() < kMaxSteps; r = t->next())
        cursor.emplace_back(t->current().key, r);
    size_t backSteps = 0;
    for (uint32_t r = t->last(); r && backSteps < kMaxSteps; r = t->prev()) ++backSteps;
    uint32_t count = t->keyCount();
    t->first();
    t->keyNo();
    t->last();
    t->keyNo();

    // Seeks: keys taken from the walk and from the input, whole and as prefixes.
    bool found = false;
    std::vector<std::vector<uint8_t>> probes;
    if (!fwd.empty()) probes.push_back(fwd[fwd.size() / 2].first);
    probes.emplace_back(data + (size > 64 ? 32 : 0),
                        data + std::min(size, (size > 64 ? 32 : 0) + kl));
    probes.emplace_back(kl, uint8_t(0xFF));
    for (const auto& k : probes) {
        for (size_t len : {k.size(), k.size() / 2, size_t(0)}) {
            t->seek(k.data(), len, false, &found);
            t->seek(k.data(), len, true, &found);
            if (t->positioned()) t->keyNo();
        }
        if (k.size() == kl && !fwd.empty()) t->locate(k.data(), fwd[fwd.size() / 2].second);
    }

    // What the structural check passes must read the same every way. (A record number 0 ends
    // a cursor walk early, and the check does not look for it yet.)
    bool recordZero = false;
    for (const auto& e : fwd) recordZero = recordZero || e.second == 0;
    if (!recordZero && t->bag().checkStructure().empty() && fwd.size() < kMaxSteps) {
        check(back.size() == fwd.size());
        for (size_t i = 0; i < fwd.size() && i < back.size(); ++i)
            check(fwd[i] == back[back.size() - 1 - i]);
        if (t->descending()) std::reverse(cursor.begin(), cursor.end());
        check(cursor == fwd);
        check(count == fwd.size());
    }
}

void readAlone(const std::string& cdx, const uint8_t* data, size_t size) {
    try {
        auto bag = wv::CdxBag::open(cdx, nullptr, {});
        if (!bag) return;
        bag->checkStructure();
        for (wv::CdxTag* t : bag->tags()) readTag(t, data, size);
    } catch (const wv::InternalError&) {
    }
}

void navigate(wv::WorkArea& a, const uint8_t* data, size_t size) {
    for (size_t n = 1; a.bag() && n <= a.bag()->tags().size(); ++n) {
        a.setOrder(int(n));
        size_t steps = 0;
        for (a.goTop(); !a.eof() && steps < kNavSteps; a.skip()) ++steps;
        steps = 0;
        for (a.goBottom(); !a.bof() && !a.eof() && steps < kNavSteps; a.skip(-1)) ++steps;
        a.keyCount();
        a.keyNo();
        std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 6));
        a.seek(wv::Value(text), false);
        a.seek(wv::Value::number(size > 8 ? double(data[8]) - 3 : 0), true);
        a.seek(wv::Value(wv::Date{2460040}), false);
        a.seek(wv::Value(true), true);
        a.keyNo();
        a.skip(2);
        a.skip(-3);
    }
}

void readWithTable(const Paths& p, const uint8_t* data, size_t size) {
    try {
        auto a = wv::WorkArea::open(p.dbf, "", true, true);
        if (a) navigate(*a, data, size);
    } catch (const wv::InternalError&) {
    }
}

// Exclusive use: a record's keys change and a record is appended, then the tags are checked.
void changeWithTable(const Paths& p, const uint8_t* data, size_t size) {
    try {
        auto a = wv::WorkArea::open(p.dbf, "", false, false);
        if (!a) return;
        wv::DbfTable& t = a->table();
        t.goTo(1 + (size > 9 ? data[9] % 6 : 0));
        t.put("K", wv::Value("cambiado"));
        t.put("N", wv::Value::number(size > 10 ? double(data[10]) : 7));
        t.put("L", wv::Value(false));
        t.flush();
        t.append();
        t.put("K", wv::Value("nuevo"));
        t.put("D", wv::Value(wv::Date{2460100}));
        t.flush();
        if (a->bag()) a->bag()->checkStructure();
        navigate(*a, data, size);
    } catch (const wv::InternalError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Paths& p = paths();
    putBytes(p.dbf, p.tableBytes);
    putBytes(p.cdx, std::string(reinterpret_cast<const char*>(data), size));
    const std::string original(reinterpret_cast<const char*>(data), size);

    readAlone(p.cdx, data, size);
    check(fileBytes(p.cdx) == original);
    readWithTable(p, data, size);
    check(fileBytes(p.cdx) == original);

    // The byte at 16 is zero in every tag header written; a set low bit asks for the change.
    if (size > 16 && (data[16] & 1)) changeWithTable(p, data, size);
    return 0;
}
