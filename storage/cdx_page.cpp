#include "storage/cdx_page.h"

#include <algorithm>
#include <cstring>

#include "storage/bytes.h"

namespace wv::cdx {

namespace {

using namespace bytes;

int bitLength(int v) {
    int b = 0;
    while (v) {
        ++b;
        v >>= 1;
    }
    return b;
}

}  // namespace

LeafLayout leafLayout(int keyLen, uint32_t maxRec) {
    LeafLayout l;
    int b = bitLength(keyLen);
    l.dupBits = l.trailBits = b;
    l.dupMask = l.trailMask = uint8_t((1 << b) - 1);
    l.bytes = 3;
    l.recBits = 24 - 2 * b;
    l.recMask = l.recBits >= 32 ? 0xFFFFFFFFu : (1u << l.recBits) - 1;
    while (maxRec > l.recMask && l.recBits < 32) {
        ++l.bytes;
        l.recBits += 8;
        l.recMask = l.recBits >= 32 ? 0xFFFFFFFFu : l.recMask * 256 + 255;
    }
    return l;
}

// Both run eight bytes at a time: they are called for every key a page holds whenever its size
// is worked out.
int sharedPrefix(const uint8_t* prev, const uint8_t* key, int keyLen) {
    int i = 0;
    for (; i + 8 <= keyLen; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, prev + i, 8);
        std::memcpy(&b, key + i, 8);
        if (uint64_t x = a ^ b) return i + __builtin_ctzll(x) / 8;  // little-endian bytes
    }
    while (i < keyLen && prev[i] == key[i]) ++i;
    return i;
}

int trailingPad(const uint8_t* key, int keyLen, uint8_t pad) {
    const uint64_t pattern = 0x0101010101010101ULL * pad;
    int t = 0;
    while (t + 8 <= keyLen) {
        uint64_t w;
        std::memcpy(&w, key + keyLen - t - 8, 8);
        if (uint64_t x = w ^ pattern) return t + __builtin_clzll(x) / 8;
        t += 8;
    }
    while (t < keyLen && key[keyLen - 1 - t] == pad) ++t;
    return t;
}

int storedLength(const uint8_t* prev, const uint8_t* key, int keyLen, uint8_t pad) {
    int trail = trailingPad(key, keyLen, pad);
    int dup = prev ? std::min(sharedPrefix(prev, key, keyLen), keyLen - trail) : 0;
    return keyLen - dup - trail;
}

int leafFree(const Page& p, int keyLen, uint8_t pad) {
    uint32_t maxRec = 0;
    for (uint32_t r : p.recs) maxRec = std::max(maxRec, r);
    LeafLayout l = leafLayout(keyLen, maxRec);
    int used = 0;
    for (size_t i = 0; i < p.n(); ++i)
        used += l.bytes + storedLength(i ? p.key(i - 1, keyLen) : nullptr, p.key(i, keyLen),
                                       keyLen, pad);
    return int(kLeafArea) - used;
}

bool leafFits(const Page& p, int keyLen, uint8_t pad) { return leafFree(p, keyLen, pad) >= 0; }

bool decode(const uint8_t* raw, uint32_t off, int keyLen, uint8_t pad, Page* out,
            std::string* why) {
    Page& p = *out;
    p.off = off;
    p.attr = le16(raw);
    size_t n = le16(raw + 2);
    p.left = le32(raw + 4);
    p.right = le32(raw + 8);
    p.keys.clear();
    p.recs.clear();
    p.child.clear();
    p.dirty = false;
    if (p.attr > 3) {
        *why = "atributos de página no válidos";
        return false;
    }
    if (!p.leaf()) {
        if (n > interiorCapacity(keyLen)) {
            *why = "demasiadas claves en una página interior";
            return false;
        }
        p.keys.resize(n * size_t(keyLen));
        p.recs.resize(n);
        p.child.resize(n);
        const uint8_t* e = raw + 12;
        for (size_t i = 0; i < n; ++i, e += keyLen + 8) {
            std::memcpy(p.keys.data() + i * size_t(keyLen), e, size_t(keyLen));
            p.recs[i] = be32(e + keyLen);
            p.child[i] = be32(e + keyLen + 4);
            if (p.child[i] == 0 || p.child[i] % kPageSize) {
                *why = "puntero a página hija no válido";
                return false;
            }
        }
        return true;
    }
    int freeBytes = le16(raw + 12);
    uint32_t recMask = le32(raw + 14);
    uint8_t dupMask = raw[18], trailMask = raw[19];
    int recBits = raw[20], dupBits = raw[21], trailBits = raw[22], bytes = raw[23];
    if (bytes < 1 || bytes > 8 || recBits + dupBits + trailBits > bytes * 8 || recBits > 32 ||
        n * size_t(bytes) > kLeafArea) {
        *why = "cabecera de hoja no válida";
        return false;
    }
    p.keys.resize(n * size_t(keyLen));
    p.recs.resize(n);
    int textEnd = int(kPageSize);  // texts grow downwards from the end of the page
    int used = 0;
    for (size_t i = 0; i < n; ++i) {
        uint64_t v = 0;
        const uint8_t* e = raw + 24 + i * size_t(bytes);
        for (int b = bytes - 1; b >= 0; --b) v = (v << 8) | e[b];
        uint32_t rec = uint32_t(v & recMask);
        int dup = int((v >> recBits) & dupMask);
        int trail = int((v >> (recBits + dupBits)) & trailMask);
        if (dup + trail > keyLen || (i == 0 && dup != 0)) {
            *why = "longitudes de clave incoherentes";
            return false;
        }
        int stored = keyLen - dup - trail;
        textEnd -= stored;
        used += bytes + stored;
        if (textEnd < 24 + int(n) * bytes) {
            *why = "las claves no caben en la hoja";
            return false;
        }
        uint8_t* k = p.keys.data() + i * size_t(keyLen);
        if (dup) std::memcpy(k, k - keyLen, size_t(dup));
        std::memcpy(k + dup, raw + textEnd, size_t(stored));
        std::memset(k + dup + stored, pad, size_t(trail));
        p.recs[i] = rec;
    }
    if (freeBytes != int(kLeafArea) - used) {
        *why = "el espacio libre de la hoja no cuadra";
        return false;
    }
    // The narrowest layout is what an encode gives; a page written wider is measured again.
    uint32_t maxRec = 0;
    for (uint32_t r : p.recs) maxRec = std::max(maxRec, r);
    p.used = n == 0 || bytes == leafLayout(keyLen, maxRec).bytes ? used : -1;
    return true;
}

bool encode(const Page& p, int keyLen, uint8_t pad, uint8_t* raw, uint32_t minRec) {
    std::memset(raw, 0, kPageSize);
    putLe16(raw, p.attr);
    putLe16(raw + 2, uint16_t(p.n()));
    putLe32(raw + 4, p.left);
    putLe32(raw + 8, p.right);
    if (!p.leaf()) {
        if (p.n() > interiorCapacity(keyLen)) return false;
        uint8_t* e = raw + 12;
        for (size_t i = 0; i < p.n(); ++i, e += keyLen + 8) {
            std::memcpy(e, p.key(i, keyLen), size_t(keyLen));
            putBe32(e + keyLen, p.recs[i]);
            putBe32(e + keyLen + 4, p.child[i]);
        }
        return true;
    }
    uint32_t maxRec = minRec;
    for (uint32_t r : p.recs) maxRec = std::max(maxRec, r);
    LeafLayout l = leafLayout(keyLen, maxRec);
    int textEnd = int(kPageSize);
    int used = 0;
    for (size_t i = 0; i < p.n(); ++i) {
        const uint8_t* k = p.key(i, keyLen);
        int trail = trailingPad(k, keyLen, pad);
        int dup = i ? std::min(sharedPrefix(k - keyLen, k, keyLen), keyLen - trail) : 0;
        int stored = keyLen - dup - trail;
        used += l.bytes + stored;
        if (used > int(kLeafArea)) return false;
        textEnd -= stored;
        std::memcpy(raw + textEnd, k + dup, size_t(stored));
        uint64_t v = uint64_t(p.recs[i]) | (uint64_t(dup) << l.recBits) |
                     (uint64_t(trail) << (l.recBits + l.dupBits));
        uint8_t* e = raw + 24 + i * size_t(l.bytes);
        for (int b = 0; b < l.bytes; ++b) e[b] = uint8_t(v >> (8 * b));
    }
    putLeafLayout(raw, l, int(kLeafArea) - used);
    return true;
}

void putLeafLayout(uint8_t* raw, const LeafLayout& l, int freeBytes) {
    putLe16(raw + 12, uint16_t(freeBytes));
    putLe32(raw + 14, l.recMask);
    raw[18] = l.dupMask;
    raw[19] = l.trailMask;
    raw[20] = uint8_t(l.recBits);
    raw[21] = uint8_t(l.dupBits);
    raw[22] = uint8_t(l.trailBits);
    raw[23] = uint8_t(l.bytes);
}

}  // namespace wv::cdx
