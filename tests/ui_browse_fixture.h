// What the browse tests share: a catalogue table made in a scratch directory and opened in a
// work area, a source of rows held as a bare position that counts what it is asked, and the
// reads the process has made so far.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/workarea.h"
#include "runtime/value.h"
#include "storage/dbf.h"
#include "test_support.h"
#include "ui/browsemodel.h"

namespace wv::test {

// A catalogue of codes and names with its two tags ("ID", "NOMBRE"), opened in a new work area
// under the alias and made current; the area is closed with the object.
class Catalogue {
  public:
    struct Row {
        std::string id, nombre;
    };
    Catalogue(const TempDir& dir, const std::string& alias, const std::vector<Row>& rows) {
        std::string path = dir.file(alias + ".dbf");
        {
            auto t = DbfTable::create(path, {{"ID", 'C', 6, 0}, {"NOMBRE", 'C', 30, 0}});
            for (const Row& r : rows) {
                t->append();
                t->put(0, Value(r.id));
                t->put(1, Value(r.nombre));
            }
        }
        area_ = workspace().use(path, alias, true, false, false);
        if (WorkArea* a = area()) {
            a->createTag({"ID", "ID", "", false, false, false});
            a->createTag({"NOMBRE", "NOMBRE", "", false, false, false});
            a->setOrder(1);
            a->goTop();
        }
    }
    ~Catalogue() { workspace().closeArea(area_); }
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    WorkArea* area() const { return workspace().area(area_); }
    std::string id() const { return area()->get("ID").text(); }

  private:
    int area_ = 0;
};

// n rows whose codes run 000001, 000002... in key order while the records lie in another order
// (so that reading rows in key order jumps about the table file).
inline std::vector<Catalogue::Row> numberedRows(long n) {
    std::vector<Catalogue::Row> rows;
    rows.reserve(size_t(n));
    for (long i = 0; i < n; ++i) {
        long k = (i * 7919) % n + 1;
        char id[24];
        std::snprintf(id, sizeof id, "%06ld", k);
        rows.push_back({id, "CLIENTE NUMERO " + std::string(id)});
    }
    return rows;
}

// A source of rows 1..n held as a position, counting the calls it gets.
struct CountingSource {
    explicit CountingSource(long rows) : n(rows) {}
    long n;
    long at = 1;
    long skips = 0, lines = 0, tops = 0, bottoms = 0, lens = 0;
    long stepped = 0;  // rows moved by all the skips together

    void bind(BrowseModel& m) {
        m.bLine = [this] {
            ++lines;
            return Array{Value::number(double(at)), Value("Fila " + std::to_string(at))};
        };
        m.bLogicLen = [this] {
            ++lens;
            return n;
        };
        m.bGoTop = [this] {
            ++tops;
            at = 1;
        };
        m.bGoBottom = [this] {
            ++bottoms;
            at = std::max(1L, n);
        };
        m.bSkip = [this](long k) {
            ++skips;
            if (n == 0) return 0L;
            long to = std::clamp(at + k, 1L, n);
            long moved = to - at;
            at = to;
            stepped += moved < 0 ? -moved : moved;
            return moved;
        };
    }
    void reset() { skips = lines = tops = bottoms = lens = stepped = 0; }
};

// The reads of the process so far (/proc/self/io): calls and bytes.
struct Reads {
    long long calls = 0, bytes = 0;
    static Reads now() {
        Reads r;
        if (FILE* f = std::fopen("/proc/self/io", "r")) {
            char line[128];
            while (std::fgets(line, sizeof line, f)) {
                long long v = 0;
                if (std::sscanf(line, "rchar: %lld", &v) == 1) r.bytes = v;
                if (std::sscanf(line, "syscr: %lld", &v) == 1) r.calls = v;
            }
            std::fclose(f);
        }
        return r;
    }
    Reads since(const Reads& before) const { return {calls - before.calls, bytes - before.bytes}; }
};

}  // namespace wv::test
