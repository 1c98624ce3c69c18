// The index commands of wvestor-db: index, reindex, seek, keys and check.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "data/tables.h"
#include "runtime/date.h"
#include "storage/cdx_expr.h"
#include "storage/platform.h"
#include "tools/commands.h"

using wv::CdxTag;
using wv::Value;
using wv::WorkArea;

namespace {

CdxTag* needTag(WorkArea& a, const std::string& name) {
    if (!a.bag()) fail(a.table().path() + " has no structural index");
    CdxTag* t = a.bag()->tag(wv::fromUtf8(name));
    if (!t) fail("no tag " + name + " in " + a.bag()->path());
    return t;
}

// The shortest decimal that reads back as the same number.
std::string numberText(double v) {
    char buf[64];
    for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

std::string keyText(const uint8_t* k, int len, char type) {
    switch (type) {
        case 'N':
            return numberText(wv::decodeNumberKey(k));
        case 'D': {
            double d = wv::decodeNumberKey(k);
            return d <= 0 ? std::string() : wv::dtos(wv::Date{int32_t(d)});
        }
        case 'L':
            return k[0] == 'T' ? "T" : "F";
        default: {
            std::string s(reinterpret_cast<const char*>(k), size_t(len));
            while (!s.empty() && s.back() == ' ') s.pop_back();
            return wv::toUtf8(s);
        }
    }
}

std::string hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

}  // namespace

std::vector<uint32_t> tagOrder(WorkArea& a, const std::string& name, bool all) {
    CdxTag* t = needTag(a, name);
    std::vector<uint32_t> recs;
    for (uint32_t r = t->first(); r; r = t->next()) {
        if (!all) {
            a.table().goTo(r);
            if (a.table().deleted()) continue;
        }
        recs.push_back(r);
    }
    return recs;
}

int cmdIndex(const std::vector<std::string>& a) {
    if (a.size() < 3) fail("index needs a table, a tag name and a key expression");
    wv::CdxBag::TagDef def;
    def.name = wv::fromUtf8(a[1]);
    def.keyExpr = wv::fromUtf8(a[2]);
    for (size_t i = 3; i < a.size(); ++i) {
        if (a[i] == "--for" && i + 1 < a.size())
            def.forExpr = wv::fromUtf8(a[++i]);
        else if (a[i] == "--unique")
            def.unique = true;
        else if (a[i] == "--descending")
            def.descending = true;
        else
            fail("unknown option " + a[i]);
    }
    auto area = openArea(a[0], true, false);
    if (!area->createTag(def)) fail("cannot create tag " + a[1]);
    return 0;
}

// With --pack the table is packed and every tag built again in one swap of its files, the way
// the program's database maintenance does it.
int cmdReindex(const std::vector<std::string>& a) {
    bool pack = a.size() == 2 && a[1] == "--pack";
    if (a.size() != 1 && !pack) fail("reindex needs a table (and at most --pack)");
    auto area = openArea(a[0], false, false);
    if (!area->bag()) fail(a[0] + " has no structural index");
    if (!pack) {
        if (!area->reindex()) fail("cannot reindex " + a[0]);
        return 0;
    }
    auto defs = area->bag()->definitions();
    auto rebuild = area->beginRebuild();
    if (!rebuild || !rebuild->pack()) fail("cannot pack " + a[0]);
    for (const auto& d : defs)
        if (!rebuild->addTag(d)) fail("cannot index " + a[0] + " on " + wv::toUtf8(d.name));
    if (!rebuild->commit()) fail("cannot replace the files of " + a[0]);
    return 0;
}

int cmdSeek(const std::vector<std::string>& a) {
    if (a.size() != 3) fail("seek needs a table, a tag and a value");
    auto area = openArea(a[0], true, true);
    CdxTag* t = needTag(*area, a[1]);
    area->setOrder(t->name());
    Value key;
    switch (t->keyType()) {
        case 'N': {
            char* end = nullptr;
            double d = std::strtod(a[2].c_str(), &end);
            if (a[2].empty() || *end) fail("not a number: " + a[2]);
            key = Value::number(d);
            break;
        }
        case 'D': {
            wv::Date d = wv::stod(a[2]);
            if (d.empty() && !a[2].empty()) fail("not a date (YYYYMMDD): " + a[2]);
            key = Value(d);
            break;
        }
        case 'L':
            key = Value(a[2] == "T" || a[2] == "t" || a[2] == "Y" || a[2] == "y");
            break;
        default:
            key = Value(wv::fromUtf8(a[2]));
    }
    if (!area->seek(key, false)) {
        std::printf("not found\n");
        return 1;
    }
    std::printf("%u\n", area->recNo());
    return 0;
}

int cmdKeys(const std::vector<std::string>& a) {
    if (a.empty() || a.size() > 2) fail("keys needs an index file and optionally a tag");
    // The table beside the index, when there is one, tells the type of each key.
    std::string cdx = a[0];
    std::string base = cdx.size() > 4 ? cdx.substr(0, cdx.size() - 4) : cdx;
    std::unique_ptr<wv::DbfTable> table;
    if (wv::os::fileExists(base + ".dbf")) {
        wv::DbfTable::OpenOptions o;
        o.readOnly = true;
        table = wv::DbfTable::open(base + ".dbf", o);
    }
    wv::setInternalStopper(wv::throwingStopper);
    try {
        auto bag = wv::CdxBag::open(
            cdx, table.get(),
            table ? wv::tableExpressionCompiler(*table) : wv::ExpressionCompiler());
        if (!bag) fail("cannot open " + cdx);
        if (a.size() == 1) {
            for (CdxTag* t : bag->tags())
                std::printf("%s\tkey=%s\tfor=%s\tkeylen=%d\toptions=%s\n",
                            wv::toUtf8(t->name()).c_str(), wv::toUtf8(t->keyExpr()).c_str(),
                            wv::toUtf8(t->forExpr()).c_str(), t->keyLength(),
                            hex2(t->options()).c_str());
            return 0;
        }
        CdxTag* t = bag->tag(wv::fromUtf8(a[1]));
        if (!t) fail("no tag " + a[1] + " in " + cdx);
        std::string out;
        t->forEach(
            [&](const uint8_t* k, uint32_t r) {
                out += keyText(k, t->keyLength(), t->keyType());
                out += '\t';
                out += std::to_string(r);
                out += '\n';
                if (out.size() > 65536) {
                    std::fwrite(out.data(), 1, out.size(), stdout);
                    out.clear();
                }
                return true;
            },
            t->descending());
        std::fwrite(out.data(), 1, out.size(), stdout);
    } catch (const wv::InternalError& e) {
        fail(wv::toUtf8(e.text));
    }
    return 0;
}

int cmdCheck(const std::vector<std::string>& a) {
    if (a.size() != 1) fail("check needs a table");
    wv::setInternalStopper(wv::throwingStopper);
    std::vector<std::string> problems;
    uint32_t records = 0;
    size_t tags = 0, keys = 0;
    try {
        auto area = openArea(a[0], true, true);
        wv::DbfTable& table = area->table();
        records = table.recCount();
        if (table.headerCount() != records)
            problems.push_back("header says " + std::to_string(table.headerCount()) +
                               " records, the file holds " + std::to_string(records));
        if (area->bag()) {
            for (const std::string& p : area->bag()->checkStructure()) problems.push_back(p);
            tags = area->bag()->tags().size();
            // Every record's key exactly once in each tag whose FOR holds, and nothing else.
            for (CdxTag* t : area->bag()->tags()) {
                if (t->custom() || !t->expressions()) continue;
                std::multiset<std::pair<std::string, uint32_t>> want, got;
                std::string key(size_t(t->keyLength()), ' ');
                for (uint32_t r = 1; r <= records; ++r) {
                    table.goTo(r);
                    const char* rec = table.recordBuffer();
                    if (!rec) break;
                    if (!t->expressions()->forHolds(rec, r)) continue;
                    t->expressions()->key(rec, r, reinterpret_cast<uint8_t*>(key.data()));
                    want.emplace(key, r);
                }
                t->forEach([&](const uint8_t* k, uint32_t r) {
                    got.emplace(std::string(reinterpret_cast<const char*>(k),
                                            size_t(t->keyLength())),
                                r);
                    return true;
                });
                keys += got.size();
                if (t->unique()) {
                    // A unique tag holds each distinct key once, on one of the records that
                    // have it.
                    std::multiset<std::string> wantKeys, gotKeys;
                    std::set<std::pair<std::string, uint32_t>> real(want.begin(), want.end());
                    for (const auto& e : want)
                        if (!wantKeys.count(e.first)) wantKeys.insert(e.first);
                    size_t wrong = 0;
                    for (const auto& e : got) {
                        gotKeys.insert(e.first);
                        if (!real.count(e)) ++wrong;
                    }
                    if (wantKeys != gotKeys || wrong)
                        problems.push_back("tag " + wv::toUtf8(t->name()) +
                                           ": the unique keys do not match the records");
                    continue;
                }
                size_t missing = 0, extra = 0;
                uint32_t firstMissing = 0, firstExtra = 0;
                for (const auto& e : want)
                    if (got.count(e) != 1 && !missing++) firstMissing = e.second;
                for (const auto& e : got)
                    if (want.count(e) != 1 && !extra++) firstExtra = e.second;
                if (missing)
                    problems.push_back("tag " + wv::toUtf8(t->name()) + ": " +
                                       std::to_string(missing) +
                                       " record keys missing or repeated (first: record " +
                                       std::to_string(firstMissing) + ")");
                if (extra)
                    problems.push_back("tag " + wv::toUtf8(t->name()) + ": " +
                                       std::to_string(extra) +
                                       " keys that match no record (first: record " +
                                       std::to_string(firstExtra) + ")");
            }
        }
        // Every live record's memos can be read, and no two records share memo blocks.
        if (wv::MemoFile* memo = table.memo()) {
            struct Span {
                uint64_t from, to;
                uint32_t rec;
            };
            std::vector<Span> spans;
            const uint32_t bs = memo->blockSize();
            for (uint32_t r = 1; r <= records; ++r) {
                table.goTo(r);
                const char* rec = table.recordBuffer();
                if (!rec) break;
                if (rec[0] == '*') continue;
                for (size_t i = 0; i < table.fieldCount(); ++i) {
                    const wv::FieldInfo& f = table.field(i);
                    if (f.type != 'M') continue;
                    uint32_t block = 0;
                    std::string text;
                    if (!wv::MemoFile::parseRef(rec + f.offset, f.len, &block)) {
                        problems.push_back("record " + std::to_string(r) + ": memo reference is not a number");
                        continue;
                    }
                    if (!block) continue;
                    if (!memo->read(block, &text)) {
                        problems.push_back("record " + std::to_string(r) + ": memo cannot be read");
                        continue;
                    }
                    spans.push_back({block, block + (text.size() + 8 + bs - 1) / bs, r});
                }
            }
            std::sort(spans.begin(), spans.end(),
                      [](const Span& x, const Span& y) { return x.from < y.from; });
            for (size_t i = 1; i < spans.size(); ++i)
                if (spans[i].from < spans[i - 1].to)
                    problems.push_back("records " + std::to_string(spans[i - 1].rec) + " and " +
                                       std::to_string(spans[i].rec) + " share memo blocks");
        }
    } catch (const wv::InternalError& e) {
        problems.push_back(wv::toUtf8(e.text));
    }
    if (!problems.empty()) {
        for (const std::string& p : problems) std::printf("%s\n", wv::toUtf8(p).c_str());
        return 1;
    }
    std::printf("ok: %u records, %zu tags, %zu keys\n", records, tags, keys);
    return 0;
}

int cmdInit(const std::vector<std::string>& a) {
    if (a.empty() || a.size() > 2 || (a.size() == 2 && a[1] != "--demo"))
        fail("init needs a directory and optionally --demo");
    std::string error;
    if (!wv::initInstallation(a[0], a.size() == 2, &error)) fail(error);
    return 0;
}
