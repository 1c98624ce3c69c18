// The 512-byte pages of a compound index: interior pages of full keys with record numbers and
// child offsets, and leaf pages whose keys are compressed against their predecessor and their own
// trailing pad bytes. A page is held decoded while in memory and encoded again when written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wv::cdx {

constexpr uint32_t kPageSize = 512;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kLeafArea = 488;  // key area of a leaf, bytes 24-511
constexpr uint16_t kAttrRoot = 1;
constexpr uint16_t kAttrLeaf = 2;

// Where the fields of a tag header (1024 bytes; the directory's at offset 0 has the same layout)
// lie. The free-list head and the change counter mean something only in the directory's.
namespace tagheader {
constexpr size_t kRoot = 0;
constexpr size_t kFreeList = 4;
constexpr size_t kCounter = 8;  // big-endian
constexpr size_t kKeyLength = 12;
constexpr size_t kOptions = 14;
constexpr size_t kSignature = 15;
constexpr size_t kDescending = 502;
constexpr size_t kForStart = 504;
constexpr size_t kForLength = 506;
constexpr size_t kKeyStart = 508;
constexpr size_t kKeyExprLength = 510;
constexpr size_t kExpressions = 512;
}  // namespace tagheader

struct Page {
    uint32_t off = 0;
    uint16_t attr = 0;
    uint32_t left = kNone;
    uint32_t right = kNone;
    std::vector<uint8_t> keys;    // n keys of the tag's key length, one after the other
    std::vector<uint32_t> recs;   // n record numbers
    std::vector<uint32_t> child;  // n child page offsets (interior pages)
    bool dirty = false;
    // Bytes of a leaf's key area in use, when known (-1: to be worked out); kept up to date by a
    // plain insertion so that most insertions need not measure the whole page again.
    int used = -1;

    bool leaf() const { return (attr & kAttrLeaf) != 0; }
    bool root() const { return (attr & kAttrRoot) != 0; }
    size_t n() const { return recs.size(); }
    const uint8_t* key(size_t i, int keyLen) const { return keys.data() + i * size_t(keyLen); }
};

// The layout of a leaf's key-info entries for a given record-number width.
struct LeafLayout {
    int bytes = 3;     // per entry
    int recBits = 0;
    int dupBits = 0;
    int trailBits = 0;
    uint32_t recMask = 0;
    uint8_t dupMask = 0;
    uint8_t trailMask = 0;
};
// The narrowest layout (from 3 bytes up) whose record mask holds maxRec.
LeafLayout leafLayout(int keyLen, uint32_t maxRec);
// Writes a leaf's free bytes and layout (bytes 12-23 of the page).
void putLeafLayout(uint8_t* raw, const LeafLayout& l, int freeBytes);

// Entries an interior page of this key length holds.
inline size_t interiorCapacity(int keyLen) { return 500 / size_t(keyLen + 8); }

// Leading bytes key shares with prev, and pad bytes at its end.
int sharedPrefix(const uint8_t* prev, const uint8_t* key, int keyLen);
int trailingPad(const uint8_t* key, int keyLen, uint8_t pad);
// Bytes a key takes in the key area after its predecessor (null for the first of a page).
int storedLength(const uint8_t* prev, const uint8_t* key, int keyLen, uint8_t pad);

// Decodes a page; false with *why set when its contents do not add up.
bool decode(const uint8_t* raw, uint32_t off, int keyLen, uint8_t pad, Page* out,
            std::string* why);
// Encodes a page; false when a leaf's keys do not fit (the caller balances first). A leaf is
// written with the narrowest layout for its record numbers, or with `minRec` in mind when that is
// larger (bulk builds size the entries for the whole table).
bool encode(const Page& p, int keyLen, uint8_t pad, uint8_t* raw, uint32_t minRec = 0);

// Whether a leaf holding these keys fits in one page.
bool leafFits(const Page& p, int keyLen, uint8_t pad);
// Free bytes of a leaf's key area (negative when it does not fit).
int leafFree(const Page& p, int keyLen, uint8_t pad);

}  // namespace wv::cdx
