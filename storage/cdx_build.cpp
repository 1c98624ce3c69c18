#include "storage/cdx_build.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "storage/bytes.h"

namespace wv::cdx {

using namespace bytes;

namespace {

// Comparisons are settled mostly by the first eight bytes read as one number.
uint64_t prefixOf(const uint8_t* e, size_t len) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | (i < len ? e[i] : 0);
    return v;
}

}  // namespace

// =============================================================================================
// KeySorter

KeySorter::KeySorter(int keyLen, size_t expected, std::string beside)
    : entryLen_(size_t(keyLen) + 4), beside_(std::move(beside)) {
    // Runs start at the square root of the count and double while below a megabyte of entries,
    // never beyond the count.
    size_t n = std::max<size_t>(expected, 1);
    size_t run = std::max<size_t>(1, size_t(std::sqrt(double(n))));
    size_t base = run;
    while (run < 1048576 / entryLen_) run *= 2;
    runLen_ = std::max(base, std::min(run, n));
    buf_.reserve(std::min(runLen_, n) * entryLen_);
}

KeySorter::~KeySorter() = default;

uint8_t* KeySorter::next() {
    buf_.resize(used_ + entryLen_);
    return buf_.data() + used_;
}

bool KeySorter::keep() {
    used_ += entryLen_;
    if (used_ / entryLen_ >= runLen_) return spill();
    return true;
}

void KeySorter::sortBuffer() {
    struct Item {
        uint64_t prefix;
        uint32_t idx;
    };
    const size_t rs = entryLen_;
    size_t m = buf_.size() / rs;
    std::vector<Item> items(m);
    for (size_t i = 0; i < m; ++i) items[i] = {prefixOf(buf_.data() + i * rs, rs), uint32_t(i)};
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return std::memcmp(buf_.data() + size_t(a.idx) * rs, buf_.data() + size_t(b.idx) * rs,
                           rs) < 0;
    });
    sorted_.resize(buf_.size());
    for (size_t i = 0; i < m; ++i)
        std::memcpy(sorted_.data() + i * rs, buf_.data() + size_t(items[i].idx) * rs, rs);
}

bool KeySorter::spill() {
    buf_.resize(used_);
    sortBuffer();
    int err = 0;
    auto f = os::File::scratch(beside_, &err);
    if (!f) {
        error_ = "no se pudo crear un archivo temporal para ordenar claves";
        return false;
    }
    if (!f->writeAt(0, sorted_.data(), sorted_.size())) {
        error_ = "no se pudo escribir el archivo temporal de claves";
        return false;
    }
    runs_.push_back(std::move(f));
    runSizes_.push_back(sorted_.size());
    buf_.clear();
    used_ = 0;
    return true;
}

bool KeySorter::drain(const std::function<void(const uint8_t*)>& take) {
    const size_t rs = entryLen_;
    buf_.resize(used_);  // an entry handed out but not kept goes
    if (runs_.empty()) {
        sortBuffer();
        for (size_t i = 0; i < sorted_.size(); i += rs) take(sorted_.data() + i);
        return true;
    }
    if (!buf_.empty() && !spill()) return false;
    // Merge the runs, reading each in blocks.
    struct Run {
        std::vector<uint8_t> block;
        size_t pos = 0, len = 0;
        uint64_t off = 0;
    };
    std::vector<Run> runs(runs_.size());
    const size_t blockEntries = std::max<size_t>(1, 65536 / rs);
    bool failed = false;
    auto refill = [&](size_t i) {
        Run& r = runs[i];
        uint64_t left = runSizes_[i] - r.off;
        size_t want = size_t(std::min<uint64_t>(left, blockEntries * rs));
        r.block.resize(blockEntries * rs);
        r.pos = 0;
        r.len = 0;
        if (want == 0) return false;
        if (runs_[i]->readAt(r.off, r.block.data(), want) != (long long)want) {
            failed = true;
            return false;
        }
        r.len = want;
        r.off += want;
        return true;
    };
    struct Head {
        uint64_t prefix;
        uint32_t run;
    };
    auto later = [&](const Head& a, const Head& b) {
        if (a.prefix != b.prefix) return a.prefix > b.prefix;
        return std::memcmp(runs[a.run].block.data() + runs[a.run].pos,
                           runs[b.run].block.data() + runs[b.run].pos, rs) > 0;
    };
    std::vector<Head> heap;
    for (size_t i = 0; i < runs.size(); ++i)
        if (refill(i)) heap.push_back({prefixOf(runs[i].block.data(), rs), uint32_t(i)});
    std::make_heap(heap.begin(), heap.end(), later);
    while (!heap.empty() && !failed) {
        std::pop_heap(heap.begin(), heap.end(), later);
        Head h = heap.back();
        heap.pop_back();
        Run& r = runs[h.run];
        take(r.block.data() + r.pos);
        r.pos += rs;
        if (r.pos < r.len || refill(h.run)) {
            heap.push_back({prefixOf(r.block.data() + r.pos, rs), h.run});
            std::push_heap(heap.begin(), heap.end(), later);
        }
    }
    runs_.clear();
    if (failed) error_ = "no se pudo leer el archivo temporal de claves";
    return !failed;
}

// =============================================================================================
// TreeWriter

TreeWriter::TreeWriter(int keyLen, uint8_t pad, uint32_t maxRec, Alloc alloc, Emit emit)
    : kl_(keyLen),
      pad_(pad),
      layout_(leafLayout(keyLen, maxRec)),
      alloc_(std::move(alloc)),
      emit_(std::move(emit)),
      prev_(size_t(keyLen), 0) {}

void TreeWriter::emitPage(const Page& p, uint32_t at) {
    uint8_t raw[kPageSize];
    encode(p, kl_, pad_, raw);
    emit_(at, raw);
}

// Interior levels are held as one page each until the next page of their level starts.
void TreeWriter::addUp(size_t lvl, const uint8_t* key, uint32_t rec, uint32_t child) {
    const size_t cap = interiorCapacity(kl_);
    if (levels_.size() <= lvl) {
        levels_.emplace_back();
        levels_[lvl].page.off = alloc_();
    }
    if (levels_[lvl].page.n() == cap) {
        uint32_t nextOff = alloc_();
        Page done = std::move(levels_[lvl].page);
        done.right = nextOff;
        ++levels_[lvl].pages;
        addUp(lvl + 1, done.key(done.n() - 1, kl_), done.recs.back(), done.off);
        emitPage(done, done.off);
        levels_[lvl].page = Page();
        levels_[lvl].page.off = nextOff;
        levels_[lvl].page.left = done.off;
    }
    Page& p = levels_[lvl].page;
    p.keys.insert(p.keys.end(), key, key + kl_);
    p.recs.push_back(rec);
    p.child.push_back(child);
}

void TreeWriter::startLeaf(uint32_t off, uint32_t left) {
    std::memset(leaf_, 0, kPageSize);
    leafOff_ = off;
    leafLeft_ = left;
    leafN_ = 0;
    leafUsed_ = 0;
    textEnd_ = int(kPageSize);
}

void TreeWriter::finishLeaf(uint32_t right, bool root, uint32_t at) {
    putLe16(leaf_, uint16_t(kAttrLeaf | (root ? kAttrRoot : 0)));
    putLe16(leaf_ + 2, uint16_t(leafN_));
    putLe32(leaf_ + 4, leafLeft_);
    putLe32(leaf_ + 8, right);
    putLeafLayout(leaf_, layout_, int(kLeafArea) - leafUsed_);
    emit_(at, leaf_);
}

void TreeWriter::add(const uint8_t* key, uint32_t rec) {
    int trail = trailingPad(key, kl_, pad_);
    int dup = leafN_ ? std::min(sharedPrefix(prev_.data(), key, kl_), kl_ - trail) : 0;
    int stored = kl_ - dup - trail;
    if (leafN_ && leafUsed_ + layout_.bytes + stored > int(kLeafArea)) {
        // Full: the page goes out with its right neighbour known and gives its last key to the
        // level above; the key starts the next page, sharing nothing.
        uint32_t nextOff = alloc_();
        addUp(0, prev_.data(), prevRec_, leafOff_);
        finishLeaf(nextOff, false, leafOff_);
        startLeaf(nextOff, leafOff_);
        dup = 0;
        stored = kl_ - trail;
    }
    if (leafOff_ == 0) startLeaf(alloc_(), kNone);
    textEnd_ -= stored;
    std::memcpy(leaf_ + textEnd_, key + dup, size_t(stored));
    uint64_t v = uint64_t(rec) | (uint64_t(dup) << layout_.recBits) |
                 (uint64_t(trail) << (layout_.recBits + layout_.dupBits));
    uint8_t* e = leaf_ + 24 + leafN_ * layout_.bytes;
    for (int b = 0; b < layout_.bytes; ++b) e[b] = uint8_t(v >> (8 * b));
    leafUsed_ += layout_.bytes + stored;
    ++leafN_;
    std::memcpy(prev_.data(), key, size_t(kl_));
    prevRec_ = rec;
}

uint32_t TreeWriter::finish(uint32_t rootAt) {
    if (leafOff_ == 0) startLeaf(alloc_(), kNone);
    if (levels_.empty()) {
        uint32_t at = rootAt ? rootAt : leafOff_;
        if (at != leafOff_) unused_ = leafOff_;
        finishLeaf(kNone, true, at);
        return at;
    }
    addUp(0, prev_.data(), prevRec_, leafOff_);
    finishLeaf(kNone, false, leafOff_);
    for (size_t lvl = 0; lvl < levels_.size(); ++lvl) {
        Level& L = levels_[lvl];
        Page done = std::move(L.page);
        if (lvl + 1 == levels_.size() && L.pages == 0) {
            done.attr = kAttrRoot;
            uint32_t at = rootAt ? rootAt : done.off;
            if (at != done.off) unused_ = done.off;
            emitPage(done, at);
            return at;
        }
        ++L.pages;
        addUp(lvl + 1, done.key(done.n() - 1, kl_), done.recs.back(), done.off);
        emitPage(done, done.off);
    }
    return 0;  // not reached: the last level always closes with a single page
}

}  // namespace wv::cdx
