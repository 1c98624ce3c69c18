// Fuzzes the table reader with whole files as input, opened shared and read-only beside a small
// sound memo file: every field of every record is decoded, and the table is walked both ways,
// in record order and raw. Beyond crashes and hangs it checks that reading changes neither the
// table nor the memo file, that a table opened read-only never reports more records than its
// file can hold, and that walks stay on records that exist.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/error.h"
#include "runtime/settings.h"
#include "storage/dbf.h"
#include "storage/fpt.h"

namespace {

constexpr uint32_t kMaxRecords = 4096;  // records visited one by one per input

struct Paths {
    std::string dbf, fpt, memoBytes;
};

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void check(bool ok) {
    if (!ok) __builtin_trap();
}

const Paths& paths() {
    static const Paths p = [] {
        char tmpl[] = "/tmp/fuzz_dbf.XXXXXX";
        const char* dir = mkdtemp(tmpl);
        if (!dir) abort();
        wv::setErrorHandler([](const wv::Error&) { return wv::ErrorChoice::Default; });
        wv::setInternalStopper(wv::throwingStopper);
        Paths r;
        r.dbf = std::string(dir) + "/t.dbf";
        r.fpt = std::string(dir) + "/t.fpt";
        // Memos in blocks 8, 9 and further on, as a table of the seeds refers to them.
        auto m = wv::MemoFile::create(r.fpt);
        if (!m) abort();
        uint32_t blk = 0;
        for (const char* text :
             {"una nota", "otra", "", "una nota bastante más larga que un bloque"})
            m->write(0, text, &blk);
        m.reset();
        r.memoBytes = fileBytes(r.fpt);
        return r;
    }();
    return p;
}

void walk(wv::DbfTable& t, uint32_t count) {
    uint32_t steps = 0;
    for (t.goTop(); !t.eof() && steps <= count; t.skip()) {
        check(t.recNo() >= 1 && t.recNo() <= count);
        ++steps;
    }
    check(steps <= count);
    steps = 0;
    for (t.goBottom(); !t.bof() && !t.eof() && steps <= count; t.skip(-1)) {
        check(t.recNo() >= 1 && t.recNo() <= count);
        ++steps;
    }
    check(steps <= count);
    t.skip(3);
    t.skip(-2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Paths& p = paths();
    const std::string original(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(p.dbf, std::ios::binary | std::ios::trunc);
        out.write(original.data(), std::streamsize(original.size()));
    }
    try {
        wv::DbfTable::OpenOptions o;
        o.readOnly = true;
        auto t = wv::DbfTable::open(p.dbf, o);
        if (t) {
            uint32_t count = t->recCount();
            if (t->recordLength())
                check(uint64_t(t->headerLength()) + uint64_t(count) * t->recordLength() <=
                      uint64_t(size));
            t->headerCount();
            // Every field of the records, the phantom record's too.
            for (uint32_t r = 1; r <= count + 1 && r <= kMaxRecords; ++r) {
                t->goTo(r);
                t->deleted();
                t->recordBuffer();
                for (size_t i = 0; i < t->fieldCount(); ++i) {
                    t->get(i);
                    t->getNumber(i);
                }
            }
            for (size_t i = 0; i < t->fieldCount(); ++i) t->get(t->field(i).name);
            // Raw reads as the index layer does them, across the end as well.
            if (t->recordLength() && t->recordLength() <= 65535) {
                uint32_t n = std::min<uint32_t>(count + 2, 65535 / t->recordLength());
                std::vector<char> buf(size_t(n) * t->recordLength());
                if (n) check(t->readRaw(1, n, buf.data()) <= n);
            }
            // Walks with deleted records passed over, then with them shown.
            walk(*t, count);
            wv::settings().deleted = false;
            walk(*t, count);
            wv::settings().deleted = true;
            t->close();
        }
    } catch (const wv::InternalError&) {
    }
    wv::settings().deleted = true;
    check(fileBytes(p.dbf) == original);
    check(fileBytes(p.fpt) == p.memoBytes);
    return 0;
}
