#include "storage/cdx.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <queue>

#include "runtime/error.h"
#include "storage/bytes.h"
#include "storage/cdx_build.h"
#include "storage/driver_error.h"

namespace wv {

using cdx::kNone;
using cdx::kPageSize;
using cdx::Page;

namespace {

constexpr int kMaxDepth = 64;
using namespace bytes;
namespace th = cdx::tagheader;

// Set while a bag is being opened: damage found then is a corruption error for the caller, not
// a stop of the program.
struct OpenDamage {
    std::string text;
};
bool g_opening = false;

std::string dirKey(const std::string& name) {
    std::string k;
    for (char c : name) k += char(std::toupper(static_cast<unsigned char>(c)));
    k.resize(10, ' ');
    return k;
}

}  // namespace

void cdxDamage(const std::string& step, const std::string& kind) {
    if (g_opening) throw OpenDamage{step + ": " + kind};
    internalError(9999, "Índice dañado (" + step + "): " + kind);
}

void encodeNumberKey(double v, uint8_t* out) {
    if (v == 0) v = 0;  // -0 is +0
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) out[i] = uint8_t(bits >> (56 - 8 * i));
    if (std::signbit(v)) {
        for (int i = 0; i < 8; ++i) out[i] = uint8_t(~out[i]);
    } else {
        out[0] ^= 0x80;
    }
}

double decodeNumberKey(const uint8_t* in) {
    uint8_t b[8];
    std::memcpy(b, in, 8);
    if (b[0] & 0x80) {
        b[0] ^= 0x80;
    } else {
        for (uint8_t& c : b) c = uint8_t(~c);
    }
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[i];
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

// =============================================================================================
// Tag: pages and tree operations

Page* CdxTag::page(uint32_t off) {
    auto it = pages_.find(off);
    if (it != pages_.end()) return it->second.get();
    if (off == 0 || off % kPageSize || off == kNone)
        cdxDamage("leyendo el índice " + name_, "puntero a página fuera del archivo");
    uint8_t raw[kPageSize];
    bag_->readPage(off, raw, "leyendo una página del índice");
    auto p = std::make_unique<Page>();
    std::string why;
    if (!cdx::decode(raw, off, keyLen_, padByte(), p.get(), &why))
        cdxDamage("leyendo el índice " + name_, "el índice está dañado: " + why);
    Page* r = p.get();
    cacheBytes_ += r->keys.size() + r->recs.size() * 8 + sizeof(Page) + 64;
    pages_.emplace(off, std::move(p));
    return r;
}

Page* CdxTag::newPage(bool leaf) {
    uint32_t off = bag_->allocPage();
    auto p = std::make_unique<Page>();
    p->off = off;
    p->attr = leaf ? cdx::kAttrLeaf : 0;
    Page* r = p.get();
    pages_[off] = std::move(p);
    touch(r);
    return r;
}

void CdxTag::touch(Page* p) {
    if (!p->dirty) dirty_.push_back(p->off);
    p->dirty = true;
    p->used = -1;
}

void CdxTag::freePage(Page* p) {
    uint32_t off = p->off;
    p->dirty = false;
    pages_.erase(off);
    bag_->releasePage(off);
}

void CdxTag::forgetPages() {
    pages_.clear();
    dirty_.clear();
    cacheBytes_ = 0;
    countGen_ = noGen_ = ~0ULL;
}

int CdxTag::compare(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb) const {
    int c = std::memcmp(a, b, size_t(keyLen_));
    if (c) return c;
    return ra < rb ? -1 : ra > rb ? 1 : 0;
}

// Descends to the leaf for a search. With len < key length (or rec 0) the record number is not
// compared. `last` finds the position after every entry whose prefix is at most the key (an
// upper bound) instead of the first entry at least the key (a lower bound).
void CdxTag::descend(const uint8_t* key, size_t len, uint32_t rec, bool last,
                     std::vector<PathStep>* path) {
    path->clear();
    bool full = len >= size_t(keyLen_) && rec != 0 && !last;
    auto before = [&](const Page* p, size_t i) {
        int c = std::memcmp(p->key(i, keyLen_), key, std::min(len, size_t(keyLen_)));
        if (last) return c <= 0;
        if (c) return c < 0;
        return full && p->recs[i] < rec;
    };
    uint32_t off = root_;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) cdxDamage("recorriendo el índice " + name_, "demasiados niveles");
        Page* p = page(off);
        // Binary search for the first entry not before the key.
        size_t lo = 0, hi = p->n();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (before(p, mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        if (p->leaf()) {
            path->push_back({p, lo});
            return;
        }
        if (p->n() == 0) cdxDamage("recorriendo el índice " + name_, "página interior vacía");
        size_t i = std::min(lo, p->n() - 1);
        path->push_back({p, i});
        off = p->child[i];
    }
}

int CdxTag::leafFreeOf(Page& p) const {
    if (p.used < 0) p.used = int(cdx::kLeafArea) - cdx::leafFree(p, keyLen_, padByte());
    return int(cdx::kLeafArea) - p.used;
}

bool CdxTag::pageFits(Page& p) const {
    return p.leaf() ? leafFreeOf(p) >= 0 : p.n() <= cdx::interiorCapacity(keyLen_);
}

void CdxTag::setEntry(Page* parent, size_t i, Page* child) {
    const uint8_t* k = child->key(child->n() - 1, keyLen_);
    uint32_t r = child->recs.back();
    uint8_t* pk = parent->keys.data() + i * size_t(keyLen_);
    if (parent->recs[i] != r || parent->child[i] != child->off ||
        std::memcmp(pk, k, size_t(keyLen_)) != 0) {
        std::memcpy(pk, k, size_t(keyLen_));
        parent->recs[i] = r;
        parent->child[i] = child->off;
        touch(parent);
    }
}

// Packs the children from..to of parent again, each page in turn taking as many entries as fit;
// entries left over go to new pages linked in after the group, pages left empty are unlinked and
// freed, and the parent's entries follow.
void CdxTag::repackGroup(Page* parent, size_t from, size_t to) {
    std::vector<Page*> group;
    for (size_t i = from; i <= to; ++i) group.push_back(page(parent->child[i]));
    bool leaf = group[0]->leaf();
    std::vector<uint8_t> keys;
    std::vector<uint32_t> recs, childs;
    for (Page* p : group) {
        keys.insert(keys.end(), p->keys.begin(), p->keys.end());
        recs.insert(recs.end(), p->recs.begin(), p->recs.end());
        childs.insert(childs.end(), p->child.begin(), p->child.end());
    }
    size_t total = recs.size();
    const size_t cap = cdx::interiorCapacity(keyLen_);
    const uint8_t pad = padByte();

    // How many entries from pos fit on one page, taking no more than `limit` bytes of the key
    // area when a limit is given (the first entry is always taken).
    auto fitting = [&](size_t pos, int limit) {
        if (!leaf) return std::min(cap, total - pos);
        size_t n = 0;
        int stored = 0;
        uint32_t maxRec = 0;
        while (pos + n < total) {
            const uint8_t* k = keys.data() + (pos + n) * size_t(keyLen_);
            int s = cdx::storedLength(n ? k - keyLen_ : nullptr, k, keyLen_, pad);
            uint32_t mr = std::max(maxRec, recs[pos + n]);
            int used = int(n + 1) * cdx::leafLayout(keyLen_, mr).bytes + stored + s;
            if (used > int(cdx::kLeafArea) || (n > 0 && limit > 0 && used > limit)) break;
            stored += s;
            maxRec = mr;
            ++n;
        }
        return std::max<size_t>(n, 1);
    };
    // The entries are spread evenly over as few pages as hold them, so that the pages of the
    // group keep room to grow: filling each page to the brim would make nearly every later
    // insertion into the group pack it again.
    size_t pagesNeeded = 0;
    for (size_t pos = 0; pos < total; ++pagesNeeded) pos += fitting(pos, 0);
    std::vector<size_t> plan;
    for (size_t pages = std::max<size_t>(pagesNeeded, 1);; ++pages) {
        plan.clear();
        size_t pos = 0;
        for (size_t j = 0; j < pages && pos < total; ++j) {
            size_t left = pages - j;
            size_t take;
            if (!leaf) {
                take = (total - pos + left - 1) / left;
            } else {
                int rest = 0;  // bytes the remaining entries need, roughly
                for (size_t i = pos; i < total; ++i)
                    rest += 4 + cdx::storedLength(i > pos ? keys.data() + (i - 1) * keyLen_ : nullptr,
                                                  keys.data() + i * keyLen_, keyLen_, pad);
                take = j + 1 == pages ? total - pos : fitting(pos, (rest + int(left) - 1) / int(left));
                if (j + 1 == pages && fitting(pos, 0) < take) break;  // the last page overflows
            }
            take = std::min(take, total - pos);
            plan.push_back(take);
            pos += take;
        }
        size_t planned = 0;
        for (size_t c : plan) planned += c;
        if (planned == total) break;
    }

    std::vector<Page*> result;
    size_t pos = 0;
    for (size_t g = 0; g < plan.size(); ++g) {
        Page* p;
        if (g < group.size()) {
            p = group[g];
        } else {
            // A new page linked in after the last one.
            Page* prevPage = result.back();
            p = newPage(leaf);
            p->left = prevPage->off;
            p->right = prevPage->right;
            if (prevPage->right != kNone) {
                Page* r = page(prevPage->right);
                r->left = p->off;
                touch(r);
            }
            prevPage->right = p->off;
            touch(prevPage);
        }
        size_t take = plan[g];
        p->keys.assign(keys.begin() + long(pos * size_t(keyLen_)),
                       keys.begin() + long((pos + take) * size_t(keyLen_)));
        p->recs.assign(recs.begin() + long(pos), recs.begin() + long(pos + take));
        if (!leaf)
            p->child.assign(childs.begin() + long(pos), childs.begin() + long(pos + take));
        touch(p);
        result.push_back(p);
        pos += take;
    }
    // Pages of the group left without entries leave the chain.
    for (size_t g = result.size(); g < group.size(); ++g) {
        Page* e = group[g];
        if (e->left != kNone) {
            Page* l = page(e->left);
            l->right = e->right;
            touch(l);
        }
        if (e->right != kNone) {
            Page* r = page(e->right);
            r->left = e->left;
            touch(r);
        }
        freePage(e);
    }
    // The parent's entries for the group, in order.
    std::vector<uint8_t> pkeys(parent->keys.begin(), parent->keys.begin() + long(from * keyLen_));
    std::vector<uint32_t> precs(parent->recs.begin(), parent->recs.begin() + long(from));
    std::vector<uint32_t> pchild(parent->child.begin(), parent->child.begin() + long(from));
    for (Page* p : result) {
        const uint8_t* k = p->key(p->n() - 1, keyLen_);
        pkeys.insert(pkeys.end(), k, k + keyLen_);
        precs.push_back(p->recs.back());
        pchild.push_back(p->off);
    }
    pkeys.insert(pkeys.end(), parent->keys.begin() + long((to + 1) * keyLen_), parent->keys.end());
    precs.insert(precs.end(), parent->recs.begin() + long(to + 1), parent->recs.end());
    pchild.insert(pchild.end(), parent->child.begin() + long(to + 1), parent->child.end());
    parent->keys.swap(pkeys);
    parent->recs.swap(precs);
    parent->child.swap(pchild);
    touch(parent);
}

void CdxTag::splitRoot(std::vector<PathStep>& path) {
    Page* r = path[0].page;
    Page* c = newPage(r->leaf());
    c->keys.swap(r->keys);
    c->recs.swap(r->recs);
    c->child.swap(r->child);
    c->left = c->right = kNone;
    r->attr = cdx::kAttrRoot;
    r->keys.clear();
    r->recs.clear();
    r->child.clear();
    const uint8_t* k = c->key(c->n() - 1, keyLen_);
    r->keys.assign(k, k + keyLen_);
    r->recs.push_back(c->recs.back());
    r->child.push_back(c->off);
    touch(r);
    path.insert(path.begin() + 1, PathStep{c, path[0].idx});
    path[0].idx = 0;
}

// Walks back up from a changed page, balancing each level against its neighbours.
void CdxTag::rebalance(std::vector<PathStep>& path, size_t level, bool shrank) {
    for (size_t lvl = level; lvl >= 1; --lvl) {
        Page* p = path[lvl].page;
        Page* q = path[lvl - 1].page;
        size_t i = path[lvl - 1].idx;
        size_t from = i > 0 ? i - 1 : 0;
        size_t to = std::min(q->n() - 1, i + 1);
        bool need = !pageFits(*p) || p->n() == 0;
        // Only a page that lost entries can make its group sparse enough to give up a page.
        if (!need && shrank && to > from) {
            // Neighbours that together could give up a page are packed again.
            if (p->leaf()) {
                int freeSum = 0;
                for (size_t g = from; g <= to; ++g)
                    freeSum += leafFreeOf(g == i ? *p : *page(q->child[g]));
                need = freeSum > 487;
            } else {
                size_t cap = cdx::interiorCapacity(keyLen_), freeSum = 0;
                for (size_t g = from; g <= to; ++g) freeSum += cap - page(q->child[g])->n();
                need = freeSum >= cap;
            }
        }
        if (need)
            repackGroup(q, from, to);
        else
            setEntry(q, i, p);
    }
    Page* root = path[0].page;
    while (!pageFits(*root)) {
        splitRoot(path);
        repackGroup(root, 0, 0);
    }
    if (!root->leaf() && root->n() == 0) {
        root->attr = cdx::kAttrRoot | cdx::kAttrLeaf;
        touch(root);
    }
    root->attr |= cdx::kAttrRoot;
}

void CdxTag::insertKey(const uint8_t* key, uint32_t rec) {
    ++bag_->gen_;
    std::vector<PathStep> path;
    if (unique()) {
        descend(key, size_t(keyLen_), 0, false, &path);
        PathStep& s = path.back();
        const Page* leaf = s.page;
        if (s.idx < leaf->n() && std::memcmp(leaf->key(s.idx, keyLen_), key, size_t(keyLen_)) == 0)
            return;
        if (s.idx == leaf->n() && leaf->right != kNone) {
            const Page* r = page(leaf->right);
            if (r->n() && std::memcmp(r->key(0, keyLen_), key, size_t(keyLen_)) == 0) return;
        }
    }
    descend(key, size_t(keyLen_), rec, false, &path);
    Page* leaf = path.back().page;
    size_t i = path.back().idx;
    // What the page will use: the new entry, and the key after it measured against the new one
    // instead of its old predecessor; a wider layout for a large record means measuring it all.
    int used = -1;
    if (leaf->used >= 0 || leaf->n() == 0) {
        uint32_t maxRec = rec;
        for (uint32_t r : leaf->recs) maxRec = std::max(maxRec, r);
        int bytes = cdx::leafLayout(keyLen_, maxRec).bytes;
        uint32_t oldMax = 0;
        for (uint32_t r : leaf->recs) oldMax = std::max(oldMax, r);
        if (leaf->n() == 0 || bytes == cdx::leafLayout(keyLen_, oldMax).bytes) {
            const uint8_t pad = padByte();
            const uint8_t* prev = i > 0 ? leaf->key(i - 1, keyLen_) : nullptr;
            const uint8_t* next = i < leaf->n() ? leaf->key(i, keyLen_) : nullptr;
            used = (leaf->n() == 0 ? 0 : leaf->used) + bytes +
                   cdx::storedLength(prev, key, keyLen_, pad);
            if (next)
                used += cdx::storedLength(key, next, keyLen_, pad) -
                        cdx::storedLength(prev, next, keyLen_, pad);
        }
    }
    leaf->keys.insert(leaf->keys.begin() + long(i * size_t(keyLen_)), key, key + keyLen_);
    leaf->recs.insert(leaf->recs.begin() + long(i), rec);
    touch(leaf);
    leaf->used = used;
    rebalance(path, path.size() - 1, false);
}

bool CdxTag::deleteKey(const uint8_t* key, uint32_t rec) {
    std::vector<PathStep> path;
    descend(key, size_t(keyLen_), rec, false, &path);
    Page* leaf = path.back().page;
    size_t i = path.back().idx;
    if (i >= leaf->n() || leaf->recs[i] != rec ||
        std::memcmp(leaf->key(i, keyLen_), key, size_t(keyLen_)) != 0)
        return false;
    ++bag_->gen_;
    leaf->keys.erase(leaf->keys.begin() + long(i * size_t(keyLen_)),
                     leaf->keys.begin() + long((i + 1) * size_t(keyLen_)));
    leaf->recs.erase(leaf->recs.begin() + long(i));
    touch(leaf);
    rebalance(path, path.size() - 1, true);
    return true;
}

// =============================================================================================
// Tag: cursor

void CdxTag::setCursor(const Page* leaf, size_t i) {
    cur_.key.assign(leaf->key(i, keyLen_), leaf->key(i, keyLen_) + keyLen_);
    cur_.rec = leaf->recs[i];
    curLeaf_ = leaf->off;
    curIdx_ = i;
    curGen_ = bag_->gen_;
}

// Finds the cursor's entry again after pages were dropped or changed. False when the entry is
// gone; the cursor then stands on the first entry after where it was (rec 0 past the end).
bool CdxTag::restoreCursor() {
    if (curGen_ == bag_->gen_) {
        auto it = pages_.find(curLeaf_);
        if (it != pages_.end() && curIdx_ < it->second->n() &&
            it->second->recs[curIdx_] == cur_.rec)
            return true;
    }
    std::vector<PathStep> path;
    std::vector<uint8_t> key = cur_.key;
    uint32_t rec = cur_.rec;
    descend(key.data(), size_t(keyLen_), rec, false, &path);
    Page* leaf = path.back().page;
    size_t i = path.back().idx;
    while (i >= leaf->n() && leaf->right != kNone) {
        leaf = page(leaf->right);
        i = 0;
    }
    if (i >= leaf->n()) {
        cur_.rec = 0;
        cur_.key.clear();
        return false;
    }
    bool same = leaf->recs[i] == rec && std::memcmp(leaf->key(i, keyLen_), key.data(),
                                                    size_t(keyLen_)) == 0;
    setCursor(leaf, i);
    return same;
}

uint32_t CdxTag::edge(bool top) {
    if (!bag_->lockRead()) return 0;
    bool physicalFirst = top != descending_;
    uint32_t off = root_;
    Page* p = nullptr;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) cdxDamage("recorriendo el índice " + name_, "demasiados niveles");
        p = page(off);
        if (p->leaf()) break;
        if (p->n() == 0) cdxDamage("recorriendo el índice " + name_, "página interior vacía");
        off = physicalFirst ? p->child.front() : p->child.back();
    }
    // Empty leaves only stand as an empty root; walk over any others all the same.
    size_t guard = 0;
    while (p->n() == 0 && (physicalFirst ? p->right : p->left) != kNone) {
        p = page(physicalFirst ? p->right : p->left);
        if (++guard > (1u << 26)) cdxDamage("recorriendo el índice " + name_, "enlaces en ciclo");
    }
    uint32_t rec = 0;
    if (p->n()) {
        setCursor(p, physicalFirst ? 0 : p->n() - 1);
        rec = cur_.rec;
    } else {
        cur_.rec = 0;
        cur_.key.clear();
    }
    bag_->unlockRead();
    return rec;
}

uint32_t CdxTag::first() { return edge(true); }
uint32_t CdxTag::last() { return edge(false); }

uint32_t CdxTag::step(bool forward) {
    if (!positioned()) return 0;
    if (!bag_->lockRead()) return 0;
    bool physicalForward = forward != descending_;
    bool exact = restoreCursor();
    uint32_t rec = 0;
    if (!positioned()) {
        // The entry and everything after it are gone.
        if (!physicalForward) {
            bag_->unlockRead();
            return edge(descending_);
        }
    } else if (!exact && physicalForward) {
        rec = cur_.rec;  // the entry that followed the vanished one
    } else {
        Page* leaf = page(curLeaf_);
        size_t i = curIdx_;
        size_t guard = 0;
        for (;;) {
            if (physicalForward) {
                if (i + 1 < leaf->n()) {
                    ++i;
                    break;
                }
                if (leaf->right == kNone) {
                    leaf = nullptr;
                    break;
                }
                leaf = page(leaf->right);
                i = size_t(-1);
            } else {
                if (i > 0 && i <= leaf->n()) {
                    --i;
                    break;
                }
                if (leaf->left == kNone) {
                    leaf = nullptr;
                    break;
                }
                leaf = page(leaf->left);
                i = leaf->n();
            }
            if (++guard > (1u << 26)) cdxDamage("recorriendo el índice " + name_, "enlaces en ciclo");
        }
        if (leaf) {
            setCursor(leaf, i);
            rec = cur_.rec;
        } else if (forward) {
            cur_.rec = 0;  // past the end
            cur_.key.clear();
        }
        // Before the first entry the cursor stays on it.
    }
    bag_->unlockRead();
    return rec;
}

uint32_t CdxTag::next() { return step(true); }
uint32_t CdxTag::prev() { return step(false); }

uint32_t CdxTag::seek(const uint8_t* key, size_t len, bool soft, bool* found) {
    *found = false;
    if (!bag_->lockRead()) return 0;
    len = std::min(len, size_t(keyLen_));
    std::vector<PathStep> path;
    uint32_t rec = 0;
    *found = false;
    if (!descending_) {
        descend(key, len, 0, false, &path);
        Page* leaf = path.back().page;
        size_t i = path.back().idx;
        while (i >= leaf->n() && leaf->right != kNone) {
            leaf = page(leaf->right);
            i = 0;
        }
        if (i < leaf->n()) {
            *found = std::memcmp(leaf->key(i, keyLen_), key, len) == 0;
            if (*found || soft) {
                setCursor(leaf, i);
                rec = cur_.rec;
            }
        }
    } else {
        // In descending order the first match is the last one stored.
        descend(key, len, 0, true, &path);
        Page* leaf = path.back().page;
        size_t i = path.back().idx;
        while (i == 0 && leaf->left != kNone) {
            leaf = page(leaf->left);
            i = leaf->n();
        }
        if (i > 0) {
            --i;
            *found = std::memcmp(leaf->key(i, keyLen_), key, len) == 0;
            if (*found || soft) {
                setCursor(leaf, i);
                rec = cur_.rec;
            }
        }
    }
    if (!rec) {
        cur_.rec = 0;
        cur_.key.clear();
    }
    bag_->unlockRead();
    return rec;
}

bool CdxTag::has(const uint8_t* key, uint32_t rec) { return find(key, rec, false); }

bool CdxTag::locate(const uint8_t* key, uint32_t rec) { return find(key, rec, true); }

bool CdxTag::find(const uint8_t* key, uint32_t rec, bool moveCursor) {
    if (!bag_->lockRead()) return false;
    std::vector<PathStep> path;
    descend(key, size_t(keyLen_), rec, false, &path);
    const Page* leaf = path.back().page;
    size_t i = path.back().idx;
    while (i >= leaf->n() && leaf->right != kNone) {
        leaf = page(leaf->right);
        i = 0;
    }
    bool ok = i < leaf->n() && leaf->recs[i] == rec &&
              std::memcmp(leaf->key(i, keyLen_), key, size_t(keyLen_)) == 0;
    if (ok && moveCursor) setCursor(leaf, i);
    bag_->unlockRead();
    return ok;
}

// The keys of the leaves along the sibling chain from off (included). Only the page headers are
// needed, and leaves lie mostly one after the other, so the file is read in large blocks.
uint64_t CdxTag::chainCount(uint32_t off, bool rightward, const char* step) {
    const long long fileSize = bag_->file_->size();
    const size_t maxPages = size_t(fileSize / kPageSize) + 1;
    std::vector<uint8_t> block;
    uint64_t blockStart = 0;
    uint64_t n = 0;
    size_t guard = 0;
    while (off != kNone) {
        auto it = pages_.find(off);
        if (it != pages_.end()) {
            n += it->second->n();
            off = rightward ? it->second->right : it->second->left;
        } else {
            if (off % kPageSize || off == 0 || uint64_t(off) + kPageSize > uint64_t(fileSize))
                cdxDamage(step + name_, "puntero a página fuera del archivo");
            if (block.empty() || off < blockStart || off + 12 > blockStart + block.size()) {
                // Forwards the block starts at the page, backwards it ends with it.
                uint64_t from = rightward ? off
                                          : (off + kPageSize > 65536 ? off + kPageSize - 65536 : 0);
                size_t want = size_t(std::min<uint64_t>(65536, uint64_t(fileSize) - from));
                block.resize(want);
                if (bag_->file_->readAt(from, block.data(), want) != (long long)want)
                    cdxDamage(step + name_, "no se pudo leer una página");
                blockStart = from;
            }
            const uint8_t* head = block.data() + (off - blockStart);
            if (!(le16(head) & cdx::kAttrLeaf)) cdxDamage(step + name_, "hermana que no es hoja");
            n += le16(head + 2);
            off = le32(head + (rightward ? 8 : 4));
        }
        if (++guard > maxPages) cdxDamage(step + name_, "enlaces en ciclo");
    }
    return n;
}

uint32_t CdxTag::keyCount() {
    if (!bag_->lockRead()) return 0;  // sees a foreign change before the kept count is trusted
    if (countGen_ == bag_->gen_) {
        bag_->unlockRead();
        return count_;
    }
    uint32_t off = root_;
    Page* p;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) cdxDamage("contando claves de " + name_, "demasiados niveles");
        p = page(off);
        if (p->leaf() || p->n() == 0) break;
        off = p->child.front();
    }
    uint64_t n = p->n() + chainCount(p->right, true, "contando claves de ");
    count_ = uint32_t(n);
    countGen_ = bag_->gen_;
    bag_->unlockRead();
    return count_;
}

uint32_t CdxTag::keyNo() {
    if (!positioned()) return 0;
    if (!bag_->lockRead()) return 0;
    if (noGen_ == bag_->gen_ && noRec_ == cur_.rec) {
        bag_->unlockRead();
        return no_;
    }
    uint32_t result = 0;
    if (restoreCursor()) {
        Page* leaf = page(curLeaf_);
        uint64_t n = curIdx_ + 1 + chainCount(leaf->left, false, "numerando claves de ");
        result = uint32_t(n);
    }
    bag_->unlockRead();
    if (result && descending_) result = keyCount() - result + 1;
    no_ = result;
    noRec_ = cur_.rec;
    noGen_ = bag_->gen_;
    return result;
}

bool CdxTag::forEach(const std::function<bool(const uint8_t*, uint32_t)>& f, bool backwards) {
    if (!bag_->lockRead()) return false;
    uint32_t off = root_;
    Page* p;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) cdxDamage("recorriendo el índice " + name_, "demasiados niveles");
        p = page(off);
        if (p->leaf() || p->n() == 0) break;
        off = backwards ? p->child.back() : p->child.front();
    }
    size_t guard = 0;
    const size_t maxPages = size_t(bag_->file_->size() / kPageSize) + 1;
    for (;;) {
        // Copy what is needed: the callback may read other pages of this tag.
        std::vector<uint8_t> keys = p->keys;
        std::vector<uint32_t> recs = p->recs;
        uint32_t nextOff = backwards ? p->left : p->right;
        for (size_t k = 0; k < recs.size(); ++k) {
            size_t i = backwards ? recs.size() - 1 - k : k;
            if (!f(keys.data() + i * size_t(keyLen_), recs[i])) {
                bag_->unlockRead();
                return true;
            }
        }
        if (nextOff == kNone) break;
        if (++guard > maxPages) cdxDamage("recorriendo el índice " + name_, "enlaces en ciclo");
        p = page(nextOff);
        if (!p->leaf()) cdxDamage("recorriendo el índice " + name_, "hermana que no es hoja");
    }
    bag_->unlockRead();
    return true;
}

// =============================================================================================
// Tag header

bool CdxTag::checkHeader(const uint8_t* h, uint32_t fileSize, std::string* why) {
    uint32_t root = le32(h);
    uint16_t keyLen = le16(h + th::kKeyLength);
    uint16_t forStart = le16(h + th::kForStart), forLen = le16(h + th::kForLength);
    uint16_t keyStart = le16(h + th::kKeyStart), keyExprLen = le16(h + th::kKeyExprLength);
    if (root == 0 || root % kPageSize || root >= fileSize) {
        *why = "raíz no válida";
        return false;
    }
    if (keyLen == 0 || keyLen > 240) {
        *why = "longitud de clave no válida";
        return false;
    }
    if (uint32_t(keyStart) + keyExprLen > 512 || uint32_t(forStart) + forLen > 512) {
        *why = "expresiones fuera de su zona";
        return false;
    }
    return true;
}

void CdxTag::writeHeader() {
    if (this == bag_->dir_.get()) {
        bag_->headerDirty_ = true;  // page 0 goes out with the closing write of the lock
        headerDirty_ = false;
        return;
    }
    uint8_t h[1024] = {};
    putLe32(h, root_);
    putLe16(h + th::kKeyLength, uint16_t(keyLen_));
    h[th::kOptions] = options_;
    h[th::kSignature] = 1;
    putLe16(h + th::kDescending, descending_ ? 1 : 0);
    putLe16(h + th::kForStart, uint16_t(keyExpr_.size() + 1));
    putLe16(h + th::kForLength, uint16_t(forExpr_.size() + 1));
    putLe16(h + th::kKeyStart, 0);
    putLe16(h + th::kKeyExprLength, uint16_t(keyExpr_.size() + 1));
    std::memcpy(h + th::kExpressions, keyExpr_.data(), keyExpr_.size());
    std::memcpy(h + th::kExpressions + keyExpr_.size() + 1, forExpr_.data(), forExpr_.size());
    bag_->writePage(headerOff_, h, "escribiendo la cabecera de un índice");
    bag_->writePage(headerOff_ + kPageSize, h + kPageSize, "escribiendo la cabecera de un índice");
    headerDirty_ = false;
}

// =============================================================================================
// Bag: files, locks, pages

void CdxBag::readPage(uint32_t off, uint8_t* raw, const char* step) {
    long long size = file_->size();
    if (off % kPageSize || size < 0 || uint64_t(off) + kPageSize > uint64_t(size))
        cdxDamage(step, "puntero a página fuera del archivo");
    if (raw && file_->readAt(off, raw, kPageSize) != kPageSize)
        cdxDamage(step, "no se pudo leer una página del índice");
}

void CdxBag::writePage(uint32_t off, const uint8_t* raw, const char* step) {
    // Nothing that could tear a tree reaches the file before a mark says a change is under way.
    if (!markedNow_ && !singlePages_) markBusy();
    if (!file_->writeAt(off, raw, kPageSize)) cdxDamage(step, "no se pudo escribir una página");
    wrote_ = true;
}

uint32_t CdxBag::allocPage() {
    if (freeHead_) {
        uint32_t off = freeHead_;
        auto it = freed_.find(off);
        uint32_t next;
        if (it != freed_.end()) {
            next = it->second;
            freed_.erase(it);
        } else {
            uint8_t b[4];
            readPage(off, nullptr, "tomando una página libre");
            if (file_->readAt(off, b, 4) != 4)
                cdxDamage("tomando una página libre", "no se pudo leer la lista libre");
            next = le32(b);
            if (next % kPageSize || next == kNone)
                cdxDamage("tomando una página libre", "la lista de páginas libres está dañada");
        }
        freeHead_ = next;
        return off;
    }
    uint32_t off = endOfFile();
    nextEof_ += kPageSize;
    return off;
}

uint32_t CdxBag::endOfFile() {
    if (nextEof_ == 0) {
        long long size = file_->size();
        uint64_t end = (uint64_t(std::max<long long>(size, 0)) + kPageSize - 1) / kPageSize * kPageSize;
        if (end > 0xFFFFF000ULL) cdxDamage("tomando una página nueva", "el índice no puede crecer más");
        nextEof_ = std::max<uint32_t>(uint32_t(end), 1024);
    }
    return nextEof_;
}

void CdxBag::releasePage(uint32_t off) {
    freed_[off] = freeHead_;
    freeHead_ = off;
}

// ---------------------------------------------------------------------------------------------
// Change marks
//
// Bytes 300-499 of the file's first page, which the index format leaves as zeros, say how far
// the keys can be trusted:
//   - a busy flag, on disk while pages that could tear a tree are being written (a change that
//     touches one page per tag needs none: a page is written whole);
//   - the records whose keys are being changed (marked before the record reaches the table
//     file, since the old key could not be found again after a crash);
//   - the number of records up to which every record has its keys. Records past it are fresh
//     appends: the station that appended one holds its lock until its keys are in.
// Marks come off in the same write that publishes the change counter. The next writer that
// finds the busy flag or a record mark (their writer is gone: it would still hold the lock)
// rebuilds the tags in place; a fresh append that no one holds any longer gets whatever keys it
// is missing. A station that cannot write says that maintenance is needed.

namespace {
constexpr size_t kMarkAt = 300;
constexpr uint8_t kMarkMagic[4] = {'W', 'V', 'c', 'x'};
constexpr size_t kMarkMax = 46;
}  // namespace

void CdxBag::parseMarks() {
    marked_.clear();
    busy_ = false;
    const uint8_t* m = head_ + kMarkAt;
    hasMarks_ = std::memcmp(m, kMarkMagic, 4) == 0;
    if (!hasMarks_) return;
    busy_ = m[4] != 0;
    keyedTo_ = le32(m + 8);
    size_t n = std::min<size_t>(le16(m + 6), kMarkMax);
    for (size_t i = 0; i < n; ++i) marked_.push_back(le32(m + 12 + 4 * i));
}

// Every write of the first page carries the marks: an index made before them (or by another
// program) gets them at its first write, and from then on its fresh appends are followed.
void CdxBag::storeMarks() {
    uint8_t* m = head_ + kMarkAt;
    std::memset(m, 0, 12 + 4 * kMarkMax);
    std::memcpy(m, kMarkMagic, 4);
    m[4] = busy_ ? 1 : 0;
    putLe16(m + 6, uint16_t(marked_.size()));
    putLe32(m + 8, keyedTo_);
    for (size_t i = 0; i < marked_.size(); ++i) putLe32(m + 12 + 4 * i, marked_[i]);
    hasMarks_ = true;
}

void CdxBag::writeHead() {
    putLe32(head_, dir_ ? dir_->root_ : le32(head_));
    putLe32(head_ + th::kFreeList, freeHead_);
    putBe32(head_ + th::kCounter, counter_);
    putLe16(head_ + th::kKeyLength, 10);
    head_[th::kSignature] = 1;
    storeMarks();
    if (!file_->writeAt(0, head_, kPageSize))
        cdxDamage("escribiendo la cabecera del índice", "no se pudo escribir");
    diskFreeHead_ = freeHead_;
    headerDirty_ = false;
}

void CdxBag::markBusy() {
    markedNow_ = true;
    if (readOnly_) return;
    busy_ = true;
    writeHead();
}

// Marks seen by whoever holds the lock are a dead writer's: a live one would still hold it.
bool CdxBag::marksNeedRepair() {
    if (busy_) return true;
    for (uint32_t r : marked_)
        if (!isMine(r)) return true;
    return false;
}

bool CdxBag::isMine(uint32_t rec) const {
    return std::find(mine_.begin(), mine_.end(), rec) != mine_.end();
}

bool CdxBag::atWork(uint32_t rec) { return isMine(rec) || table_->recordLockedElsewhere(rec); }

bool CdxBag::registerRecord(uint32_t rec) {
    if (std::find(marked_.begin(), marked_.end(), rec) == marked_.end()) {
        if (marked_.size() >= kMarkMax) {
            raiseDriverError(gen::kLock, 1038, "Fallo en bloqueo", false, false, 0, path_,
                             "demasiados cambios pendientes en el índice");
            return false;
        }
        marked_.push_back(rec);
    }
    if (!isMine(rec)) mine_.push_back(rec);
    markedNow_ = true;
    writeHead();
    return true;
}

// The records past keyedTo_ under this write lock: those whose writers are at work (this
// area's own appends, records locked elsewhere) are left to them; any other gets the keys it
// lacks, so that nothing rests unkeyed once its writer is gone.
void CdxBag::settleAppends() {
    pendingBeyond_.clear();
    settledTo_ = 0;
    if (!table_ || readOnly_) return;
    uint32_t count = table_->cachedCount();
    if (count <= keyedTo_ || !table_->shared()) count = table_->recCount();
    if (!hasMarks_) {
        // A file no one marked yet is taken as it stands, but for this area's own appends.
        keyedTo_ = count;
        for (uint32_t r : mine_) keyedTo_ = std::min(keyedTo_, r - 1);
    }
    keyedTo_ = std::min(keyedTo_, count);
    for (uint32_t r = keyedTo_ + 1; r <= count; ++r) {
        if (atWork(r))
            pendingBeyond_.push_back(r);
        else
            ensureKeyed(r);
    }
    settledTo_ = count;
}

void CdxBag::ensureKeyed(uint32_t rec) {
    std::vector<char> raw(table_->recordLength());
    if (table_->readRaw(rec, 1, raw.data()) != 1) return;
    std::vector<uint8_t> key;
    for (CdxTag* t : order_) {
        if (!t->maintained()) continue;
        key.resize(size_t(t->keyLen_));
        bool forOk = true;
        evalKey(t, raw.data(), rec, key.data(), &forOk);
        if (forOk && !t->has(key.data(), rec)) t->insertKey(key.data(), rec);
    }
}

// Rebuilds every maintained tag in place after a writer died in the middle of a change: the new
// trees go to fresh pages at the end of the file and each root is written over the old root
// last. The free list is given up (its pages may have been half reused); those pages stay
// unused until the next maintenance. Fresh appends whose writers are at work are left to them.
void CdxBag::repair() {
    repairing_ = true;
    markedNow_ = true;  // the dead writer's mark stays on disk until this is done
    uint32_t count = table_ ? table_->recCount() : 0;
    keyedTo_ = std::min(keyedTo_, count);
    std::vector<uint32_t> keep;
    for (uint32_t r = keyedTo_ + 1; r <= count; ++r)
        if (atWork(r)) keep.push_back(r);
    freeHead_ = 0;
    freed_.clear();
    nextEof_ = 0;
    bool ok = rebuildInPlace({}, 0, &keep);
    repairing_ = false;
    if (!ok) {
        // The failure was raised; the marks stay on disk as they are (this lock's closing
        // write is left out), and the next station tries again.
        repairFailed_ = true;
        return;
    }
    marked_.clear();
    busy_ = false;
    pendingBeyond_ = keep;
    settledTo_ = count;
    wrote_ = true;
}

// A writer's mark can only be seen by someone else once the writer is gone, or while it holds a
// record between its append and the keys: the marks are re-read at every lock.
void CdxBag::checkVersion() {
    if (!dir_ && file_->size() == 0) return;  // being created: nothing on disk yet
    uint8_t h[kPageSize];
    if (file_->readAt(0, h, kPageSize) != kPageSize)
        cdxDamage("comprobando la versión del índice", "lectura corta");
    uint32_t head = le32(h + th::kFreeList), counter = be32(h + th::kCounter);
    if (head != diskFreeHead_ || counter != counter_) {
        diskFreeHead_ = freeHead_ = head;
        counter_ = counter;
        nextEof_ = 0;
        ++gen_;
        if (dir_) dir_->forgetPages();
        for (auto& t : tags_) t->forgetPages();
    }
    std::memcpy(head_, h, kPageSize);
    parseMarks();
}

bool CdxBag::takeLock(bool exclusive) {
    while (!file_->lock(lockOffset_, 1, exclusive, true)) {
        // A lock that was not granted is never used as held.
        if (!raiseDriverError(gen::kLock, 1038, "Fallo en bloqueo", true, false, 0, path_))
            return false;
    }
    return true;
}

bool CdxBag::lockRead() {
    if (readLocks_ == 0 && writeLocks_ == 0 && shared_) {
        for (int round = 0;; ++round) {
            if (!takeLock(false)) return false;
            checkVersion();
            if (!marksNeedRepair() || !tagsLoaded_) break;
            // Left by a writer that is gone: repaired under the write lock before anything is
            // read from the tags.
            file_->unlock(lockOffset_, 1);
            if (readOnly_ || !table_ || round > 0) {
                raiseDriverError(gen::kCorruption, 1012, "Se detectó corrupción", false, false,
                                 0, path_, "un cambio quedó a medias: ejecute el mantenimiento");
                return false;
            }
            if (!lockWrite()) return false;
            unlockWrite();
        }
    }
    ++readLocks_;
    return true;
}

void CdxBag::unlockRead() {
    if (readLocks_ <= 0) return;
    if (--readLocks_ == 0 && writeLocks_ == 0) {
        trimCaches();
        if (shared_) file_->unlock(lockOffset_, 1);
    }
}

// Pages stay cached between locks while the change counter says they are current; past a bound
// of memory a tag's cache starts again.
void CdxBag::trimCaches() {
    constexpr size_t kTagCacheBytes = 64u << 20;
    for (auto& t : tags_)
        if (t->cacheBytes_ > kTagCacheBytes) t->forgetPages();
    if (dir_ && dir_->cacheBytes_ > kTagCacheBytes) dir_->forgetPages();
}

bool CdxBag::lockWrite() {
    if (writeLocks_ > 0) {
        ++writeLocks_;
        return true;
    }
    if (readLocks_ > 0) internalError(9998, "bloqueo de escritura pedido con un bloqueo de lectura");
    if (readOnly_) {
        raiseDriverError(gen::kReadOnly, 1025, "Escritura no autorizada", false, false, 0, path_);
        return false;
    }
    if (shared_) {
        if (!takeLock(true)) return false;
        checkVersion();
    }
    wrote_ = false;
    markedNow_ = false;
    ++writeLocks_;
    if (!repairing_ && tagsLoaded_) {
        if (marksNeedRepair())
            repair();
        else
            settleAppends();
    }
    return true;
}

void CdxBag::flushAll() {
    uint8_t raw[kPageSize];
    uint32_t minRec = 0;
    // One page per tag goes out whole; anything more could tear a tree if cut short.
    bool single = freed_.empty() && dir_->dirty_.empty() && !dir_->headerDirty_;
    for (auto& t : tags_) single = single && t->dirty_.size() <= 1 && !t->headerDirty_;
    singlePages_ = single;
    auto flushTag = [&](CdxTag* t) {
        for (uint32_t off : t->dirty_) {
            auto it = t->pages_.find(off);
            if (it == t->pages_.end() || !it->second->dirty) continue;  // freed since
            Page* p = it->second.get();
            if (!cdx::encode(*p, t->keyLen_, t->padByte(), raw, minRec))
                cdxDamage("escribiendo el índice " + t->name_, "una página no cabe");
            writePage(off, raw, "escribiendo una página del índice");
            p->dirty = false;
        }
        t->dirty_.clear();
        if (t->headerDirty_) t->writeHeader();
    };
    flushTag(dir_.get());
    for (auto& t : tags_) flushTag(t.get());
    for (auto& [off, next] : freed_) {
        std::memset(raw, 0, sizeof raw);
        putLe32(raw, next);
        writePage(off, raw, "liberando una página del índice");
    }
    freed_.clear();
    singlePages_ = false;
}

void CdxBag::unlockWrite() {
    if (writeLocks_ <= 0) return;
    if (--writeLocks_ > 0) return;
    flushAll();
    // The closing write: the change counter (shared use), the free list, and the marks taken
    // off, all in the one page write that makes the change visible.
    bool marksOff = busy_ || !keyed_.empty();
    const std::vector<uint32_t> keyedNow = std::move(keyed_);
    keyed_.clear();
    for (uint32_t r : keyedNow) {
        marked_.erase(std::remove(marked_.begin(), marked_.end(), r), marked_.end());
        mine_.erase(std::remove(mine_.begin(), mine_.end(), r), mine_.end());
        pendingBeyond_.erase(std::remove(pendingBeyond_.begin(), pendingBeyond_.end(), r),
                             pendingBeyond_.end());
    }
    // Every record up to the first one still at work has its keys now, and so has any run of
    // records keyed under this lock that follows (this area's own appends).
    if (settledTo_) {
        uint32_t to = pendingBeyond_.empty()
                          ? settledTo_
                          : *std::min_element(pendingBeyond_.begin(), pendingBeyond_.end()) - 1;
        while (std::find(keyedNow.begin(), keyedNow.end(), to + 1) != keyedNow.end()) ++to;
        if (to != keyedTo_ || !hasMarks_) marksOff = true;
        keyedTo_ = to;
        settledTo_ = 0;
    }
    busy_ = false;
    if (shared_ && wrote_) ++counter_;
    if (repairFailed_) {
        repairFailed_ = false;
        parseMarks();  // as they stand on disk
    } else if (wrote_ || marksOff || headerDirty_ || freeHead_ != diskFreeHead_) {
        writeHead();
    }
    trimCaches();
    if (shared_) file_->unlock(lockOffset_, 1);
    wrote_ = false;
    markedNow_ = false;
}

CdxTag* CdxBag::tag(const std::string& name) const {
    std::string k = dirKey(name);
    for (CdxTag* t : order_)
        if (dirKey(t->name_) == k) return t;
    return nullptr;
}

int CdxBag::tagNumber(const std::string& name) const {
    std::string k = dirKey(name);
    for (size_t i = 0; i < order_.size(); ++i)
        if (dirKey(order_[i]->name_) == k) return int(i) + 1;
    return 0;
}

void CdxBag::sortOrder() {
    order_.clear();
    for (auto& t : tags_) order_.push_back(t.get());
    std::sort(order_.begin(), order_.end(),
              [](const CdxTag* a, const CdxTag* b) { return a->headerOff_ < b->headerOff_; });
}

// =============================================================================================
// Bag: open and create

namespace {
uint64_t indexLockOffset(const DbfTable* t) {
    switch (t ? t->lockScheme() : 3) {
        case 1: return 1000000000ULL;
        case 2:
        case 4: return 0xFFFEFFFFULL;
        case 5: return 0x7FFFFFFF00000001ULL;
        default: return 0x7FFFFFFEULL;
    }
}
}  // namespace

std::unique_ptr<CdxBag> CdxBag::open(const std::string& path, DbfTable* table,
                                     ExpressionCompiler compiler) {
    std::unique_ptr<CdxBag> b(new CdxBag);
    b->table_ = table;
    b->compiler_ = std::move(compiler);
    b->shared_ = table ? table->shared() : true;
    b->readOnly_ = table ? table->readOnly() : true;
    b->path_ = path;
    b->lockOffset_ = indexLockOffset(table);
    os::Share share = b->shared_ ? os::Share::Shared : os::Share::Exclusive;
    for (;;) {
        int osErr = 0;
        b->file_ = os::File::open(path, !b->readOnly_, share, &osErr);
        if (b->file_) break;
        if (!raiseDriverError(gen::kOpen, 1003, "Error de apertura", true, true, osErr, path))
            return nullptr;
    }
    b->path_ = b->file_->path();
    if (!b->loadChecked()) return nullptr;
    return b;
}

// Loads the file and settles what a dead writer left before anyone uses the tags.
bool CdxBag::loadChecked() {
    if (file_->size() <= 1024 || !load()) {
        raiseDriverError(gen::kCorruption, 1012, "Se detectó corrupción", false, true, 0, path_);
        return false;
    }
    tagsLoaded_ = true;
    if (marksNeedRepair()) {
        if (readOnly_ || !table_) return true;  // refused at the first read lock
        if (!lockWrite()) return false;
        unlockWrite();
    }
    return true;
}

std::unique_ptr<CdxBag> CdxBag::create(const std::string& path, DbfTable* table,
                                       ExpressionCompiler compiler, bool exclusive) {
    std::unique_ptr<CdxBag> b(new CdxBag);
    b->table_ = table;
    b->compiler_ = std::move(compiler);
    b->shared_ = table && !exclusive ? table->shared() : false;
    b->readOnly_ = false;
    b->path_ = path;
    b->lockOffset_ = indexLockOffset(table);
    for (;;) {
        int osErr = 0;
        b->file_ = os::File::create(path, b->shared_ ? os::Share::Shared : os::Share::Exclusive,
                                    &osErr);
        if (b->file_) break;
        if (!raiseDriverError(gen::kCreate, 1004, "Error de creación", true, true, osErr, path))
            return nullptr;
    }
    b->path_ = b->file_->path();
    // The file is empty: there is no version to check yet, so the write lock is taken here and
    // the fresh directory written under it.
    if (b->shared_ && !b->takeLock(true)) return nullptr;
    b->writeLocks_ = 1;
    b->wrote_ = false;
    b->markedNow_ = true;  // nothing to protect in a new file
    // Its keys are known from the start: it has no tags yet, and a tag is built from every
    // record there is.
    b->hasMarks_ = true;
    b->keyedTo_ = table ? table->recCount() : 0;
    b->initEmpty();
    b->unlockWrite();
    b->tagsLoaded_ = true;
    return b;
}

std::unique_ptr<CdxBag> CdxBag::createSide(FileSwap& swap, const std::string& target,
                                           DbfTable* table, ExpressionCompiler compiler) {
    std::string side = swap.add(target);
    if (side.empty()) {
        raiseDriverError(gen::kCreate, 1004, "Error de creación", false, false, 0, target,
                         "no se pudo anotar el reemplazo");
        return nullptr;
    }
    return create(side, table, std::move(compiler), true);
}

bool CdxBag::finishSide() {
    if (file_->sync()) return true;
    raiseDriverError(gen::kWrite, 1011, "Error de escritura", false, false, 0, path_);
    return false;
}

bool CdxBag::adopt(std::unique_ptr<CdxBag> side, const std::string& path) {
    if (side) file_ = std::move(side->file_);
    side.reset();
    dir_.reset();
    tags_.clear();
    order_.clear();
    freed_.clear();
    marked_.clear();
    mine_.clear();
    keyed_.clear();
    busy_ = false;
    nextEof_ = 0;
    readLocks_ = writeLocks_ = 0;
    tagsLoaded_ = false;
    ++gen_;
    path_ = path;
    return loadChecked();
}

CdxBag::~CdxBag() {
    if (table_ && table_->observer() == this) table_->setObserver(nullptr);
}

// The directory alone: its header at 0 and an empty root leaf at 1024.
bool CdxBag::initEmpty() {
    dir_.reset(new CdxTag(this));
    dir_->name_ = "";
    dir_->keyLen_ = 10;
    dir_->options_ = 0xE0;
    dir_->keyType_ = 'C';
    dir_->headerOff_ = 0;
    dir_->root_ = 1024;
    freeHead_ = 0;
    freed_.clear();
    nextEof_ = 1536;
    std::memset(head_, 0, sizeof head_);
    head_[th::kOptions] = 0xE0;
    uint8_t zeros[kPageSize] = {};
    writePage(kPageSize, zeros, "creando el índice");  // the directory's expression page
    auto root = std::make_unique<Page>();
    root->off = 1024;
    root->attr = cdx::kAttrRoot | cdx::kAttrLeaf;
    Page* rp = root.get();
    dir_->pages_[1024] = std::move(root);
    dir_->touch(rp);
    headerDirty_ = true;
    ++gen_;
    return true;
}

bool CdxBag::load() {
    g_opening = true;
    bool ok = true;
    try {
        if (!lockRead()) throw OpenDamage{"bloqueo"};
        uint8_t h[1024];
        uint32_t fileSize = uint32_t(std::min<long long>(file_->size(), 0xFFFFFFFFLL));
        if (file_->readAt(0, h, 1024) != 1024) throw OpenDamage{"cabecera corta"};
        std::memcpy(head_, h, kPageSize);
        parseMarks();
        dir_.reset(new CdxTag(this));
        std::string why;
        if (!dir_->checkHeader(h, fileSize, &why) || le16(h + th::kKeyLength) != 10)
            throw OpenDamage{"directorio: " + why};
        dir_->keyLen_ = 10;
        dir_->options_ = h[th::kOptions];
        dir_->headerOff_ = 0;
        dir_->root_ = le32(h);
        diskFreeHead_ = freeHead_ = le32(h + 4);
        counter_ = be32(h + 8);
        std::vector<std::pair<std::string, uint32_t>> entries;
        if (!dir_->forEach([&](const uint8_t* key, uint32_t rec) {
                std::string name(reinterpret_cast<const char*>(key), 10);
                while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
                    name.pop_back();
                entries.emplace_back(name, rec);
                return true;
            }))
            throw OpenDamage{"directorio"};
        damaged_.clear();
        for (auto& [name, off] : entries) {
            // A tag that cannot be used is not loaded, but it is remembered: a rebuild must not
            // drop it for good, and the check names it.
            auto damaged = [&, n = name](const std::string& why) { damaged_.push_back({n, why}); };
            uint8_t hd[1024];
            if (off < 1024 || off % kPageSize || uint64_t(off) + 1024 > fileSize ||
                file_->readAt(off, hd, 1024) != 1024) {
                damaged("cabecera ilegible");
                continue;
            }
            auto t = std::unique_ptr<CdxTag>(new CdxTag(this));
            if (!t->checkHeader(hd, fileSize, &why)) {
                damaged(why);
                continue;
            }
            t->name_ = name;
            t->headerOff_ = off;
            t->root_ = le32(hd);
            t->keyLen_ = le16(hd + th::kKeyLength);
            t->options_ = hd[th::kOptions];
            t->descending_ = le16(hd + th::kDescending) != 0;
            uint16_t keyStart = le16(hd + th::kKeyStart), keyLenExpr = le16(hd + th::kKeyExprLength);
            uint16_t forStart = le16(hd + th::kForStart), forLen = le16(hd + th::kForLength);
            auto text = [&](uint16_t start, uint16_t len) {
                std::string s;
                for (uint16_t i = 0; i < len && hd[th::kExpressions + start + i]; ++i)
                    s += char(hd[th::kExpressions + start + i]);
                return s;
            };
            t->keyExpr_ = text(keyStart, keyLenExpr);
            t->forExpr_ = text(forStart, forLen);
            if (table_ && compiler_) {
                std::string err;
                t->expr_ = compiler_(t->keyExpr_, t->forExpr_, &err);
                if (!t->expr_) {
                    damaged("expresión no válida: " + t->keyExpr_);
                    continue;
                }
                char type = t->expr_->keyType();
                if (((type == 'N' || type == 'D') && t->keyLen_ != 8) ||
                    (type == 'L' && t->keyLen_ != 1)) {
                    damaged("longitud de clave que no es la de su expresión");
                    continue;
                }
                t->keyType_ = type;
            } else {
                t->keyType_ = 'C';
            }
            tags_.push_back(std::move(t));
        }
        sortOrder();
        unlockRead();
    } catch (const OpenDamage&) {
        ok = false;
        readLocks_ = 1;
        unlockRead();
    }
    g_opening = false;
    return ok;
}

// =============================================================================================
// Bag: building tags

bool CdxBag::evalKey(CdxTag* t, const char* rec, uint32_t recno, uint8_t* out, bool* forOk) {
    TagExpressions* e = t->expr_.get();
    *forOk = !e->hasFor() || e->forHolds(rec, recno);
    return e->key(rec, recno, out);
}

std::unique_ptr<CdxTag> CdxBag::makeTag(const TagDef& def, std::string* error) {
    auto t = std::unique_ptr<CdxTag>(new CdxTag(this));
    t->name_.clear();
    for (char c : def.name) t->name_ += char(std::toupper(static_cast<unsigned char>(c)));
    if (t->name_.empty() || t->name_.size() > 10) {
        *error = "nombre de orden no válido: " + def.name;
        return nullptr;
    }
    if (def.keyExpr.size() + def.forExpr.size() + 2 > 512) {
        *error = "expresiones demasiado largas";
        return nullptr;
    }
    t->keyExpr_ = def.keyExpr;
    t->forExpr_ = def.forExpr;
    if (!compiler_) {
        *error = "no hay tabla para evaluar las claves";
        return nullptr;
    }
    t->expr_ = compiler_(def.keyExpr, def.forExpr, error);
    if (!t->expr_) return nullptr;
    t->keyType_ = t->expr_->keyType();
    t->keyLen_ = t->expr_->keyLength();
    if (t->keyLen_ < 1 || t->keyLen_ > 240) {
        *error = "longitud de clave no válida";
        return nullptr;
    }
    t->options_ = uint8_t(0x60 | (def.unique ? CdxTag::kUnique : 0) |
                          (def.custom ? CdxTag::kCustom : 0) |
                          (def.forExpr.empty() ? 0 : CdxTag::kFor));
    // A tag made again keeps every option bit it was read with (other programs set some).
    if (def.options >= 0) t->options_ = uint8_t(def.options);
    t->descending_ = def.descending;
    return t;
}

void CdxBag::addToDirectory(CdxTag* t) {
    std::string k = dirKey(t->name_);
    dir_->insertKey(reinterpret_cast<const uint8_t*>(k.data()), t->headerOff_);
}

// ORDCREATE. A tag of the same name is built again where it stands (same header, same order
// number), its new tree appearing with the last write of its root; a new tag gets its header and
// tree first and its directory entry last. Either way a tag is complete or absent: a stopped or
// failed build leaves the old tag as it was, or no new tag.
CdxTag* CdxBag::createTag(const TagDef& def,
                          const std::function<bool(uint32_t, uint32_t)>& progress,
                          uint32_t every) {
    std::string error;
    auto t = makeTag(def, &error);
    if (!t) {
        raiseDriverError(gen::kCreate, 1004, "Error de creación", false, true, 0, path_, error);
        return nullptr;
    }
    if (!lockWrite()) return nullptr;
    CdxTag* tag = nullptr;
    CdxTag* old = this->tag(t->name_);
    if (old) {
        // In exclusive use the pages of the old tree go back to the free list once the new one
        // stands (the root page is the new tree's).
        std::vector<uint32_t> oldPages;
        if (!shared_) {
            std::vector<uint32_t> todo{old->root_};
            size_t limit = size_t(file_->size() / kPageSize) + 1;
            while (!todo.empty() && oldPages.size() <= limit) {
                uint32_t off = todo.back();
                todo.pop_back();
                Page* p = old->page(off);
                if (off != old->root_) oldPages.push_back(off);
                if (!p->leaf()) todo.insert(todo.end(), p->child.begin(), p->child.end());
            }
        }
        if (buildTag(t.get(), progress, every, old->root_)) {
            for (uint32_t off : oldPages) releasePage(off);
            old->keyExpr_ = t->keyExpr_;
            old->forExpr_ = t->forExpr_;
            old->keyLen_ = t->keyLen_;
            old->options_ = t->options_;
            old->descending_ = t->descending_;
            old->keyType_ = t->keyType_;
            old->expr_ = std::move(t->expr_);
            old->forgetPages();
            old->cur_ = CdxEntry();
            old->writeHeader();
            tag = old;
        }
    } else {
        uint32_t hdr = endOfFile();
        nextEof_ += 2 * kPageSize;
        uint8_t zeros[kPageSize] = {};
        writePage(hdr, zeros, "reservando la cabecera de un orden");
        writePage(hdr + kPageSize, zeros, "reservando la cabecera de un orden");
        t->headerOff_ = hdr;
        if (buildTag(t.get(), progress, every)) {
            t->writeHeader();
            tag = t.get();
            tags_.push_back(std::move(t));
            addToDirectory(tag);
            sortOrder();
        }
    }
    ++gen_;
    unlockWrite();
    return tag;
}

bool CdxBag::buildTag(CdxTag* t, const std::function<bool(uint32_t, uint32_t)>& progress,
                      uint32_t every, uint32_t rootAt, const std::vector<uint32_t>* skip) {
    const int kl = t->keyLen_;
    uint32_t count = table_ ? table_->recCount() : 0;
    cdx::KeySorter sorter(kl, count, path_);
    auto sortFailed = [&] {
        raiseDriverError(gen::kWrite, 1011, "Error de escritura", false, false, 0, path_,
                         sorter.error());
        return false;
    };

    // Read the table in blocks, without the table's locks.
    if (table_ && count) {
        uint32_t recLen = table_->recordLength();
        uint32_t per = std::max<uint32_t>(1, 65535 / recLen);
        std::vector<char> block(size_t(per) * recLen);
        uint32_t sinceProgress = 0;
        for (uint32_t r = 1; r <= count;) {
            uint32_t want = std::min(per, count - r + 1);
            uint32_t got = table_->readRaw(r, want, block.data());
            if (got < want) {
                // A table that ends early cannot give a whole tag.
                raiseDriverError(gen::kRead, 1010, "Error de lectura", false, false, 0,
                                 table_->path(), "leyendo el registro " + std::to_string(r + got));
                return false;
            }
            for (uint32_t j = 0; j < got; ++j, ++r) {
                const char* rec = block.data() + size_t(j) * recLen;
                if (progress && every && ++sinceProgress == every) {
                    sinceProgress = 0;
                    if (!progress(r, count)) return false;
                }
                if (skip && std::find(skip->begin(), skip->end(), r) != skip->end()) continue;
                uint8_t* e = sorter.next();
                bool forOk = true;
                evalKey(t, rec, r, e, &forOk);
                if (!forOk) continue;
                putBe32(e + kl, r);
                if (!sorter.keep()) return sortFailed();
            }
        }
        if (progress && sinceProgress && !progress(count, count)) return false;
    }

    // Pages in runs of consecutive offsets go out in one write; the root goes last, alone.
    std::vector<uint8_t> out;
    uint32_t outStart = 0;
    auto flushOut = [&]() {
        if (out.empty()) return;
        if (!file_->writeAt(outStart, out.data(), out.size()))
            cdxDamage("escribiendo el índice " + t->name_, "no se pudo escribir una página");
        wrote_ = true;
        out.clear();
    };
    cdx::TreeWriter writer(
        kl, t->padByte(), count, [this] { return allocPage(); },
        [&](uint32_t off, const uint8_t* raw) {
            if (rootAt && off == rootAt) {
                flushOut();
                writePage(off, raw, "escribiendo la raíz de un índice");
                return;
            }
            if (out.empty() || outStart + out.size() != off) {
                flushOut();
                outStart = off;
            }
            out.insert(out.end(), raw, raw + kPageSize);
            if (out.size() >= 65536) flushOut();
        });
    std::vector<uint8_t> prev(static_cast<size_t>(kl), 0);
    bool haveLast = false;
    bool drained = sorter.drain([&](const uint8_t* e) {
        // A unique tag keeps the first record of each key.
        if (t->unique() && haveLast && std::memcmp(prev.data(), e, size_t(kl)) == 0) return;
        haveLast = true;
        std::memcpy(prev.data(), e, size_t(kl));
        writer.add(e, be32(e + kl));
    });
    if (!drained) return sortFailed();
    uint32_t root = writer.finish(rootAt);
    flushOut();
    if (writer.unusedPage()) releasePage(writer.unusedPage());
    t->root_ = root;
    t->pages_.clear();
    t->cacheBytes_ = 0;
    t->cur_ = CdxEntry();
    return true;
}

std::vector<CdxBag::TagDef> CdxBag::definitions() const {
    std::vector<TagDef> defs;
    for (CdxTag* t : order_)
        defs.push_back({t->name_, t->keyExpr_, t->forExpr_, t->unique(), t->descending_,
                        t->custom(), t->options_});
    return defs;
}

bool CdxBag::refuseDamaged() {
    if (damaged_.empty()) return false;
    std::string names;
    for (const auto& d : damaged_) names += (names.empty() ? "" : ", ") + d.first;
    raiseDriverError(gen::kCorruption, 1012, "Se detectó corrupción", false, false, 0, path_,
                     "órdenes dañados que no se pueden rehacer: " + names);
    return true;
}

// ORDLISTREBUILD. In exclusive use the file is made again beside the old one and swapped in
// whole; in shared use each tag is built again in place under the write lock (other stations
// see the new trees at their next lock). Tags that could not be loaded are not dropped: the
// rebuild refuses instead.
bool CdxBag::rebuild(const std::function<bool(uint32_t, uint32_t)>& progress, uint32_t every) {
    if (!table_) return false;
    if (refuseDamaged()) return false;
    if (shared_) {
        if (!lockWrite()) return false;
        bool ok = rebuildInPlace(progress, every, nullptr);
        for (CdxTag* t : order_)
            if (t->maintained()) t->cur_ = CdxEntry();
        unlockWrite();
        return ok;
    }
    std::string why;
    auto swap = FileSwap::begin(table_->path(), &why);
    if (!swap) {
        raiseDriverError(gen::kCreate, 1004, "Error de creación", false, false, 0, path_, why);
        return false;
    }
    auto side = buildSide(*swap, definitions(), progress, every);
    if (!side) return false;
    bool renamed = false;
    if (!swap->commit(&why, &renamed) && !renamed) {
        raiseDriverError(gen::kWrite, 1011, "Error de escritura", false, false, 0, path_, why);
        return false;
    }
    return adopt(std::move(side), path_) && why.empty();
}

bool CdxBag::rebuildInPlace(const std::function<bool(uint32_t, uint32_t)>& progress,
                            uint32_t every, const std::vector<uint32_t>* skip) {
    bool ok = true;
    for (CdxTag* t : order_) {
        if (!t->maintained()) continue;
        if (!(ok = buildTag(t, progress, every, t->root_, skip))) break;
    }
    ++gen_;
    for (CdxTag* t : order_) t->forgetPages();
    return ok;
}

std::unique_ptr<CdxBag> CdxBag::buildSide(FileSwap& swap, const std::vector<TagDef>& defs,
                                          const std::function<bool(uint32_t, uint32_t)>& progress,
                                          uint32_t every) {
    auto side = createSide(swap, path_, table_, compiler_);
    if (!side) return nullptr;
    for (const TagDef& d : defs)
        if (!side->createTag(d, progress, every)) return nullptr;
    if (!side->finishSide()) return nullptr;
    return side;
}

// =============================================================================================
// Bag: following the table's record changes

void CdxBag::recordChanging(DbfTable& t, uint32_t recno, bool appended) {
    // A record this area appended is keyed by it at its first write; until then no one else
    // keys it (see settleAppends).
    if (appended && !isMine(recno)) mine_.push_back(recno);
    const char* rec = appended ? nullptr : t.recordBuffer();
    for (CdxTag* tag : order_) {
        tag->saved_ = false;
        if (!tag->maintained() || !rec) continue;
        tag->savedKey_.resize(size_t(tag->keyLen_));
        evalKey(tag, rec, t.recNo(), tag->savedKey_.data(), &tag->savedFor_);
        tag->saved_ = true;
    }
}

// The record is marked in the index before it reaches the table file, so that a crash between
// the two writes, or while the keys go in, is seen and repaired by the next station.
bool CdxBag::writeRecord(DbfTable& t, uint32_t recno, bool appended,
                         const std::function<bool()>& write) {
    struct Change {
        CdxTag* tag;
        std::vector<uint8_t> key;
        bool del, ins;
    };
    std::vector<Change> changes;
    const char* rec = t.recordBuffer();
    if (!rec) return false;
    for (CdxTag* tag : order_) {
        if (!tag->maintained()) continue;
        if (!appended && !tag->saved_) continue;
        Change c{tag, std::vector<uint8_t>(size_t(tag->keyLen_)), false, false};
        bool forOk = true;
        evalKey(tag, rec, recno, c.key.data(), &forOk);
        if (appended) {
            c.ins = forOk;
        } else if (std::memcmp(c.key.data(), tag->savedKey_.data(), c.key.size()) != 0) {
            c.del = tag->savedFor_;
            c.ins = forOk;
        } else {
            c.del = tag->savedFor_ && !forOk;
            c.ins = !tag->savedFor_ && forOk;
        }
        tag->saved_ = false;
        if (c.del || c.ins) changes.push_back(std::move(c));
    }
    if (changes.empty() && !appended) return write();
    if (!lockWrite()) {
        // An append not written is given up by the table: its number goes to the next one.
        if (appended) mine_.erase(std::remove(mine_.begin(), mine_.end(), recno), mine_.end());
        return false;
    }
    // A changed record is marked before it reaches the file: its old keys could not be found
    // again after a crash. An appended one lies past the keyed records and needs no mark.
    if (!appended && !registerRecord(recno)) {
        unlockWrite();
        return false;
    }
    bool ok = write();
    if (ok) {
        for (Change& c : changes) {
            if (c.del) c.tag->deleteKey(c.tag->savedKey_.data(), recno);
            if (c.ins) c.tag->insertKey(c.key.data(), recno);
        }
        keyed_.push_back(recno);
    } else {
        // What reached the file is unknown: the mark stays, and whoever next finds it free
        // (this station too, once it lets the record go) rebuilds the tags.
        mine_.erase(std::remove(mine_.begin(), mine_.end(), recno), mine_.end());
    }
    unlockWrite();
    return ok;
}

bool CdxBag::prepareRewrite(DbfTable&, FileSwap& swap) {
    if (refuseDamaged()) return false;
    pending_ = buildSide(swap, definitions(), {}, 0);
    return pending_ != nullptr;
}

void CdxBag::finishRewrite(DbfTable&, bool committed) {
    auto side = std::move(pending_);
    // A new file that cannot be loaded has raised its error; the table goes on without keys.
    if (committed && side) static_cast<void>(adopt(std::move(side), path_));
}

void CdxBag::tableClosing(DbfTable&) {}

// =============================================================================================
// Structural check

std::vector<std::string> CdxBag::checkStructure() {
    std::vector<std::string> problems;
    if (!lockRead()) {
        problems.push_back("no se pudo bloquear el índice");
        return problems;
    }
    g_opening = true;  // damage becomes a reported problem, not a stop
    size_t maxPages = size_t(file_->size() / kPageSize) + 1;
    std::vector<CdxTag*> all{dir_.get()};
    all.insert(all.end(), order_.begin(), order_.end());
    for (CdxTag* t : all) {
        std::string tn = t == dir_.get() ? std::string("(directorio)") : t->name_;
        try {
            // Walk level by level: links, parent entries, order.
            std::vector<uint32_t> level{t->root_};
            size_t visited = 0;
            bool first = true;
            while (!level.empty()) {
                std::vector<uint32_t> below;
                for (size_t i = 0; i < level.size(); ++i) {
                    Page* p = t->page(level[i]);
                    if (++visited > maxPages) throw OpenDamage{"páginas en ciclo"};
                    if (first != p->root())
                        problems.push_back(tn + ": página " + std::to_string(p->off) +
                                           (first ? " debería ser raíz" : " marcada como raíz"));
                    uint32_t wantLeft = i ? level[i - 1] : kNone;
                    uint32_t wantRight = i + 1 < level.size() ? level[i + 1] : kNone;
                    if (!first && (p->left != wantLeft || p->right != wantRight))
                        problems.push_back(tn + ": enlaces de la página " +
                                           std::to_string(p->off) + " no encadenan");
                    if (p->leaf())
                        for (uint32_t r : p->recs)
                            if (r == 0) {
                                problems.push_back(tn + ": registro 0 en la hoja " +
                                                   std::to_string(p->off));
                                break;
                            }
                    if (p->n() == 0 && !p->root())
                        problems.push_back(tn + ": página vacía " + std::to_string(p->off));
                    for (size_t k = 1; k < p->n(); ++k)
                        if (t->compare(p->key(k - 1, t->keyLen_), p->recs[k - 1],
                                       p->key(k, t->keyLen_), p->recs[k]) >= 0)
                            problems.push_back(tn + ": claves fuera de orden en la página " +
                                               std::to_string(p->off));
                    if (!p->leaf()) {
                        for (size_t k = 0; k < p->n(); ++k) {
                            Page* c = t->page(p->child[k]);
                            if (c->n() == 0) continue;
                            if (t->compare(c->key(c->n() - 1, t->keyLen_), c->recs.back(),
                                           p->key(k, t->keyLen_), p->recs[k]) != 0)
                                problems.push_back(tn + ": la entrada del padre " +
                                                   std::to_string(p->off) +
                                                   " no es la última clave de su hija " +
                                                   std::to_string(c->off));
                            if (c->leaf() != (p->child.size() && t->page(p->child[0])->leaf()))
                                problems.push_back(tn + ": hojas a distinta profundidad");
                            below.push_back(p->child[k]);
                        }
                    } else if (!cdx::leafFits(*p, t->keyLen_, t->padByte())) {
                        problems.push_back(tn + ": hoja " + std::to_string(p->off) +
                                           " desbordada");
                    }
                }
                level.swap(below);
                first = false;
            }
            // Across leaves the order holds too.
            std::vector<uint8_t> prevKey;
            uint32_t prevRec = 0;
            bool have = false;
            bool bad = false;
            t->forEach([&](const uint8_t* k, uint32_t r) {
                if (have && t->compare(prevKey.data(), prevRec, k, r) >= 0) bad = true;
                prevKey.assign(k, k + t->keyLen_);
                prevRec = r;
                have = true;
                return true;
            });
            if (bad) problems.push_back(tn + ": claves fuera de orden entre hojas");
        } catch (const OpenDamage& d) {
            problems.push_back(tn + ": " + d.text);
        }
    }
    for (const auto& [name, why] : damaged_)
        problems.push_back(name + ": el orden no se pudo cargar (" + why + ")");
    if (marksNeedRepair())
        problems.push_back("un cambio quedó a medias: el índice debe reconstruirse");
    // The free list: inside the file, no loops.
    uint32_t off = freeHead_;
    size_t steps = 0;
    while (off) {
        if (off % kPageSize || uint64_t(off) + kPageSize > uint64_t(file_->size())) {
            problems.push_back("lista libre: página fuera del archivo");
            break;
        }
        if (++steps > maxPages) {
            problems.push_back("lista libre: ciclo");
            break;
        }
        uint8_t b[4];
        if (file_->readAt(off, b, 4) != 4) break;
        off = le32(b);
    }
    g_opening = false;
    unlockRead();
    return problems;
}

}  // namespace wv
