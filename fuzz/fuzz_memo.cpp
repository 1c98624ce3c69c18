// Fuzzes the memo file with whole files as input. Beyond crashes and hangs it checks that reading
// never changes the file, that a write refused for a read error or a corruption changes nothing,
// and that the memos this run stores always read back as stored, also after a pack.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "runtime/error.h"
#include "storage/fpt.h"

namespace {

int g_lastError = 0;

const std::string& memoPath() {
    static const std::string path = [] {
        char tmpl[] = "/tmp/fuzz_memo.XXXXXX";
        static std::string dir;
        if (!mkdtemp(tmpl)) abort();
        dir = tmpl;
        atexit([] {
            unlink((dir + "/f.fpt").c_str());
            rmdir(dir.c_str());
        });
        wv::setErrorHandler([](const wv::Error& e) {
            g_lastError = e.genCode;
            return wv::ErrorChoice::Default;
        });
        return std::string(dir) + "/f.fpt";
    }();
    return path;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The bytes 16..511 of a header are zero in every real file; the fuzzer's choices for the
// references to read and the operations to run are taken from there.
uint32_t word(const uint8_t* data, size_t size, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | (at + i < size ? data[at + i] : 0);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = memoPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const std::string original(reinterpret_cast<const char*>(data), size);

    // Read-only, shared.
    if (auto m = wv::MemoFile::open(path, true, true)) {
        std::string text;
        const uint32_t refs[] = {16,
                                 17,
                                 2,
                                 word(data, size, 0) - 1,
                                 word(data, size, 16),
                                 word(data, size, 20),
                                 word(data, size, 24) & 0xFFF};
        for (uint32_t r : refs) m->read(r, &text);
        char field[10];
        std::memcpy(field, data + (size > 40 ? 30 : 0), size > 40 ? 10 : 0);
        uint32_t parsed = 0;
        if (size > 40 && wv::MemoFile::parseRef(field, 10, &parsed)) m->read(parsed, &text);
    }
    check(fileBytes(path) == original);

    // Read-write, exclusive: free two references found in the file, then store, replace and free
    // texts of this run.
    auto m = wv::MemoFile::open(path, false, false);
    if (!m) return 0;
    uint32_t nb = 0;
    for (size_t at : {28u, 40u}) {
        std::string before = fileBytes(path);
        g_lastError = 0;
        uint32_t ref = word(data, size, at) & 0xFFFF;
        if (!m->write(ref, "", &nb)) {
            check(nb == ref);
            if (g_lastError == wv::gen::kRead || g_lastError == wv::gen::kCorruption)
                check(fileBytes(path) == before);
        }
    }
    // A script of (operation, argument) pairs: the top two bits of the operation choose a new
    // text, a replacement or a freeing; the low four bits times the argument give the length; the
    // argument picks which text. The input's bytes are XORed in, so a plain file runs it as is.
    static const uint8_t script[12][2] = {{0x01, 100}, {0x01, 57},  {0x03, 100}, {0x80, 1},
                                          {0x01, 20},  {0x42, 100}, {0x80, 0},   {0x05, 100},
                                          {0x41, 31},  {0xC0, 2},   {0x02, 90},  {0x80, 1}};
    std::vector<std::pair<uint32_t, std::string>> ours;
    for (size_t step = 0; step < 12; ++step) {
        uint8_t op = script[step][0] ^ (step * 2 + 48 < size ? data[step * 2 + 48] : 0);
        uint8_t arg = script[step][1] ^ (step * 2 + 49 < size ? data[step * 2 + 49] : 0);
        std::string text(size_t(arg) * (op & 0x0F), char('A' + step));
        std::string before = fileBytes(path);
        g_lastError = 0;
        bool ok = true;
        if ((op >> 6) == 0 || ours.empty()) {
            ok = m->write(0, text, &nb);
            if (ok && nb != 0) ours.push_back({nb, text});
        } else {
            size_t i = arg % ours.size();
            std::string next = (op >> 6) == 1 ? text : std::string();
            ok = m->write(ours[i].first, next, &nb);
            if (ok) {
                if (nb != 0)
                    ours[i] = {nb, next};
                else
                    ours.erase(ours.begin() + long(i));
            }
        }
        if (!ok && (g_lastError == wv::gen::kRead || g_lastError == wv::gen::kCorruption))
            check(fileBytes(path) == before);
        for (auto& [blk, t] : ours) {
            std::string back;
            check(m->read(blk, &back) && back == t);
        }
    }

    // Pack: this run's texts and one reference from the input.
    if (size > 47 && (data[47] & 1)) return 0;
    if (!m->beginPack()) return 0;
    for (auto& [blk, t] : ours) {
        uint32_t moved = 0;
        if (!m->packCopy(blk, &moved)) {
            m->abortPack();
            return 0;
        }
        blk = moved;
    }
    uint32_t moved = 0;
    m->packCopy(word(data, size, 28) & 0xFFFF, &moved);
    if (!m->finishPack()) return 0;
    for (auto& [blk, t] : ours) {
        std::string back;
        check(m->read(blk, &back) && back == t);
    }
    uint32_t blk = 0;
    check(m->write(0, "after pack", &blk));
    return 0;
}
