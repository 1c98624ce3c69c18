#include "storage/dbf.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

#include "runtime/date.h"
#include "runtime/numtext.h"
#include "runtime/settings.h"
#include "storage/bytes.h"
#include "storage/driver_error.h"
#include "storage/swap.h"

namespace wv {

namespace {

using namespace bytes;

// Where the fields of the 32-byte table header lie.
constexpr size_t kHdrVersion = 0;
constexpr size_t kHdrDate = 1;  // year - 1900, month, day
constexpr size_t kHdrCount = 4;
constexpr size_t kHdrLength = 8;
constexpr size_t kHdrRecordLength = 10;
constexpr size_t kHdrFlags = 28;  // 0x01 structural index, 0x02 memo (extended type)

const char kOpenErr[] = "Error de apertura";
const char kCreateErr[] = "Error de creación";
const char kCorrupt[] = "Se detectó corrupción";
const char kReadErr[] = "Error de lectura";
const char kWriteErr[] = "Error de escritura";
const char kTypeErr[] = "Error de tipo de datos";
const char kWidthErr[] = "Error de anchura de datos";
const char kLockReq[] = "Se requiere bloqueo";
const char kExclReq[] = "Se requiere uso exclusivo";
const char kAppendLock[] = "Fallo en el bloqueo de adición";
const char kReadOnly[] = "Escritura no autorizada";


bool acceptedVersion(uint8_t v) {
    switch (v) {
        case 0x03: case 0x30: case 0x31: case 0x83: case 0xE5: case 0xF5:
        case 0x06: case 0x86: case 0xE6: case 0xF6:
            return true;
        default:
            return false;
    }
}

bool isExtended(uint8_t version) { return version == 0x30 || version == 0x31; }

bool isMemoType(char type, uint16_t len, uint8_t version) {
    if (type == 'M' || type == 'G' || type == 'P') return true;
    // In dBase-style tables B is a binary memo; in the extended type it is a double.
    return type == 'B' && !isExtended(version) && len == 10;
}

// The table's name with ".dbf" added when its last component has no extension.
std::string withDefaultExtension(const std::string& path, const char* ext) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
    return path;
}

std::string memoPathFor(const std::string& table) {
    size_t slash = table.find_last_of('/');
    size_t dot = table.rfind('.');
    std::string base = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                           ? table
                           : table.substr(0, dot);
    bool upper = dot != std::string::npos && dot + 1 < table.size() &&
                 std::isupper(static_cast<unsigned char>(table[dot + 1]));
    return base + (upper ? ".FPT" : ".fpt");
}

// Today's local date for header writes, looked up at most once a second.
void headerDate(uint8_t* out) {
    static std::time_t last = -1;
    static uint8_t ymd[3];
    std::time_t now = std::time(nullptr);
    if (now != last) {
        std::tm tm{};
        localtime_r(&now, &tm);
        ymd[0] = uint8_t(tm.tm_year);
        ymd[1] = uint8_t(tm.tm_mon + 1);
        ymd[2] = uint8_t(tm.tm_mday);
        last = now;
    }
    std::memcpy(out, ymd, 3);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lock layouts

LockLayout lockLayout(int scheme, bool structuralIndex) {
    LockLayout l;
    l.scheme = scheme;
    switch (scheme) {
        case 1:
        case 2:
            l.header = 1000000000ULL;
            l.fileStart = l.header + 1;
            l.fileLen = 1000000000ULL;
            break;
        case 4:
            l.header = 4000000000ULL;
            l.fileStart = l.header + 1;
            l.fileLen = 294967295ULL;
            break;
        case 5:
            l.header = 0x7FFFFFFF00000001ULL;
            l.fileStart = l.header + 1;
            l.fileLen = 0x7FFFFFFEULL;
            break;
        default:
            l.scheme = 3;
            if (structuralIndex) {
                l.header = 0x7FFFFFFEULL;
                l.fileStart = 0x77FFFFFFULL;
                l.fileLen = 0x07FFFFFFULL;
                l.down = true;
            } else {
                l.header = 0x40000000ULL;
                l.fileStart = l.header + 1;
                l.fileLen = 0x3FFFFFFDULL;
                l.byPosition = true;
            }
            break;
    }
    return l;
}

uint64_t LockLayout::record(uint32_t k, uint32_t headerLen, uint32_t recordLen) const {
    if (down) return header - k;
    if (byPosition) return header + headerLen + uint64_t(k - 1) * recordLen;
    return header + k;
}

// ---------------------------------------------------------------------------------------------
// Open, create, close

bool DbfTable::raise(int gen, int sub, const char* desc, bool retry, bool def, int osCode,
                     const std::string& operation) {
    return raiseDriverError(gen, sub, desc, retry, def, osCode, path_, operation);
}

std::unique_ptr<DbfTable> DbfTable::open(const std::string& pathIn, const OpenOptions& opt) {
    std::string path = withDefaultExtension(pathIn, ".dbf");
    // A swap of the table's files that a dead writer left is finished (or undone) first.
    std::string why;
    if (!FileSwap::recover(os::resolvePath(path), &why)) {
        raiseDriverError(gen::kOpen, 1001, kOpenErr, false, false, 0, path, why);
        return nullptr;
    }
    std::unique_ptr<DbfTable> t(new DbfTable);
    t->shared_ = opt.shared;
    t->readOnly_ = opt.readOnly;
    t->path_ = path;
    os::Share share = opt.shared ? os::Share::Shared : os::Share::Exclusive;
    for (;;) {
        int osErr = 0;
        t->file_ = os::File::open(path, !opt.readOnly, share, &osErr);
        if (t->file_) break;
        if (!t->raise(gen::kOpen, 1001, kOpenErr, true, true, osErr)) return nullptr;
    }
    t->path_ = t->file_->path();
    if (!t->readHeader()) return nullptr;

    int scheme = opt.lockScheme ? opt.lockScheme : settings().lockScheme;
    t->scheme_ = scheme >= 1 && scheme <= 5 ? scheme : 3;
    t->structural_ = (t->hdr_[kHdrFlags] & 0x01) != 0;
    t->layout_ = lockLayout(t->scheme_, t->structural_);

    if (t->hasMemo_) {
        t->memo_ = MemoFile::open(memoPathFor(t->path_), opt.shared, opt.readOnly);
        if (!t->memo_) return nullptr;
    }
    t->goTop();
    return t;
}

bool DbfTable::readHeader() {
    for (;;) {
        long long size = file_->size();
        uint8_t h[32];
        bool ok = size >= 32 && file_->readAt(0, h, 32) == 32 && acceptedVersion(h[kHdrVersion]);
        uint32_t hl = ok ? le16(h + kHdrLength) : 0;
        uint32_t rl = ok ? le16(h + kHdrRecordLength) : 0;
        // At least one descriptor and its terminator, inside the file; records of some length.
        ok = ok && hl >= 32 + 32 + 1 && hl <= size && rl >= 1;
        std::vector<uint8_t> desc;
        if (ok) {
            desc.resize(hl - 32);
            ok = file_->readAt(32, desc.data(), desc.size()) == (long long)desc.size();
        }
        if (ok) {
            std::memcpy(hdr_, h, 32);
            headerLen_ = hl;
            recordLen_ = rl;
            if (!parseDescriptors(desc)) return false;
            buf_.assign(recordLen_, ' ');
            return refreshCount();
        }
        if (!raise(gen::kCorruption, 1012, kCorrupt, true, true)) return false;
    }
}

bool DbfTable::parseDescriptors(const std::vector<uint8_t>& d) {
    fields_.clear();
    hasMemo_ = false;
    nullFlagsField_ = -1;
    uint32_t offset = 1;
    bool terminated = false;
    int nullBits = 0;
    for (size_t pos = 0; pos < d.size(); pos += 32) {
        if (d[pos] == 0x0D) {
            terminated = true;
            break;
        }
        if (pos + 32 > d.size()) break;
        const uint8_t* p = d.data() + pos;
        FieldInfo f;
        for (int i = 0; i < 10 && p[i]; ++i)
            f.name += char(std::toupper(static_cast<unsigned char>(p[i])));
        f.type = char(std::toupper(p[11]));
        f.flags = p[18];
        uint16_t len = p[16];
        uint8_t dec = p[17];
        bool bad = f.name.empty();
        switch (f.type) {
            case 'C':
                len = uint16_t(p[16] | (p[17] << 8));
                dec = 0;
                bad = bad || len == 0;
                break;
            case 'N':
            case 'F':
                bad = bad || len == 0 || (dec > 0 && dec >= len);
                break;
            case 'D':
                bad = bad || !(len == 3 || len == 4 || len >= 8);
                break;
            case 'L':
                if (len == 0) len = 1;
                break;
            case 'M':
            case 'G':
            case 'P':
                bad = bad || !(len == 10 || len == 4);
                break;
            case 'I':
            case '+':
                bad = bad || len != 4;
                break;
            case 'Y':
            case 'T':
                bad = bad || len != 8;
                break;
            case 'B':
                bad = bad || !(len == 8 || len == 10);
                break;
            case '0':
                bad = bad || len == 0;
                break;
            default:
                bad = true;
        }
        if (bad) {
            raise(gen::kCorruption, 1012, kCorrupt, false, true, 0, f.name);
            return false;
        }
        f.len = len;
        f.dec = f.type == 'C' ? 0 : dec;
        f.offset = offset;
        offset += len;
        if (isMemoType(f.type, len, hdr_[kHdrVersion])) hasMemo_ = true;
        if (f.type == '0' && f.name == "_NULLFLAGS") nullFlagsField_ = int(fields_.size());
        if (f.type != '0' && (f.flags & 0x02)) f.nullBit = nullBits++;
        fields_.push_back(std::move(f));
    }
    if (!terminated || fields_.empty() || offset > recordLen_) {
        raise(gen::kCorruption, 1012, kCorrupt, false, true);
        return false;
    }
    return true;
}

std::unique_ptr<DbfTable> DbfTable::create(const std::string& pathIn,
                                           const std::vector<FieldDef>& defs) {
    std::string path = withDefaultExtension(pathIn, ".dbf");
    // The structure first: names of 1-10 letters, digits and underscores, lengths that fit.
    uint32_t recLen = 1;
    bool memo = false;
    std::vector<std::string> seen;
    for (const FieldDef& f : defs) {
        std::string name;
        for (char c : f.name) name += char(std::toupper(static_cast<unsigned char>(c)));
        char type = char(std::toupper(static_cast<unsigned char>(f.type)));
        bool ok = !name.empty() && name.size() <= 10 &&
                  std::isalpha(static_cast<unsigned char>(name[0]));
        for (char c : name) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
        ok = ok && std::find(seen.begin(), seen.end(), name) == seen.end();
        switch (type) {
            case 'C': ok = ok && f.len >= 1 && f.len <= 65535 && f.dec == 0; break;
            case 'N':
            case 'F': ok = ok && f.len >= 1 && f.len <= 255 && f.dec >= 0 &&
                           (f.dec == 0 || f.dec < f.len); break;
            case 'D': ok = ok && (f.len == 8 || f.len == 0); break;
            case 'L': ok = ok && (f.len == 1 || f.len == 0); break;
            case 'M': ok = ok && (f.len == 10 || f.len == 0); memo = true; break;
            default: ok = false;
        }
        int len = type == 'D' ? 8 : type == 'L' ? 1 : type == 'M' ? 10 : f.len;
        recLen += uint32_t(len);
        if (!ok || recLen > 65535) {
            raiseDriverError(gen::kCreate, 1004, kCreateErr, false, true, 0, path,
                         "campo " + (f.name.empty() ? std::string("?") : f.name));
            return nullptr;
        }
        seen.push_back(name);
    }
    if (defs.empty() || defs.size() > 2046) {
        raiseDriverError(gen::kCreate, 1004, kCreateErr, false, true, 0, path, "estructura vacía");
        return nullptr;
    }

    std::unique_ptr<os::File> file;
    for (;;) {
        int osErr = 0;
        file = os::File::create(path, os::Share::Exclusive, &osErr);
        if (file) break;
        if (!raiseDriverError(gen::kCreate, 1004, kCreateErr, true, true, osErr, path, ""))
            return nullptr;
    }
    uint32_t hl = 32 + 32 * uint32_t(defs.size()) + 2;
    std::vector<uint8_t> bytes(hl + 1, 0);
    bytes[kHdrVersion] = memo ? 0xF5 : 0x03;
    headerDate(&bytes[kHdrDate]);
    putLe32(&bytes[kHdrCount], 0);
    putLe16(&bytes[kHdrLength], uint16_t(hl));
    putLe16(&bytes[kHdrRecordLength], uint16_t(recLen));
    size_t pos = 32;
    for (const FieldDef& f : defs) {
        uint8_t* p = &bytes[pos];
        for (size_t i = 0; i < f.name.size(); ++i)
            p[i] = uint8_t(std::toupper(static_cast<unsigned char>(f.name[i])));
        char type = char(std::toupper(static_cast<unsigned char>(f.type)));
        p[11] = uint8_t(type);
        int len = type == 'D' ? 8 : type == 'L' ? 1 : type == 'M' ? 10 : f.len;
        if (type == 'C') {
            putLe16(p + 16, uint16_t(len));
        } else {
            p[16] = uint8_t(len);
            p[17] = uint8_t(type == 'N' || type == 'F' ? f.dec : 0);
        }
        pos += 32;
    }
    bytes[pos] = 0x0D;
    bytes[pos + 1] = 0x00;
    bytes[pos + 2] = 0x1A;
    while (!file->writeAt(0, bytes.data(), bytes.size())) {
        if (!raiseDriverError(gen::kWrite, 1011, kWriteErr, false, false, 0, path, "")) {
            return nullptr;
        }
    }

    std::unique_ptr<DbfTable> t(new DbfTable);
    t->shared_ = false;
    t->readOnly_ = false;
    t->path_ = file->path();
    t->file_ = std::move(file);
    if (!t->readHeader()) return nullptr;
    t->scheme_ = settings().lockScheme >= 1 && settings().lockScheme <= 5 ? settings().lockScheme
                                                                           : 3;
    t->layout_ = lockLayout(t->scheme_, false);
    if (memo) {
        t->memo_ = MemoFile::create(memoPathFor(t->path_));
        if (!t->memo_) return nullptr;
    }
    t->goTop();
    return t;
}

DbfTable::~DbfTable() { close(); }

bool DbfTable::close() {
    if (!file_) return true;
    bool ok = goCold();
    releaseAppendLock();
    releaseRecordLocks();
    if (fileLocked_) {
        file_->unlock(fileLockStart_, fileLockLen_);
        fileLocked_ = false;
    }
    if (updateHeader_ && !readOnly_) ok = writeHeader() && ok;
    if (settings().hardCommit) {
        file_->sync();
        if (memo_) memo_->sync();
    }
    if (observer_) observer_->tableClosing(*this);
    file_.reset();
    memo_.reset();
    return ok;
}

const std::string& DbfTable::memoPath() const {
    static const std::string kNone;
    return memo_ ? memo_->path() : kNone;
}

int DbfTable::fieldIndex(std::string_view name) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        const std::string& f = fields_[i].name;
        if (f.size() == name.size() &&
            std::equal(f.begin(), f.end(), name.begin(), [](char a, char b) {
                return a == b || a == std::toupper(static_cast<unsigned char>(b));
            }))
            return int(i);
    }
    return -1;
}

uint32_t DbfTable::headerCount() {
    uint8_t h[8];
    if (file_ && file_->readAt(0, h, 8) == 8) return le32(h + kHdrCount);
    return le32(hdr_ + kHdrCount);
}

// ---------------------------------------------------------------------------------------------
// Count and positioning

bool DbfTable::refreshCount() {
    // While the append lock is held only this handle extends the file: the count it keeps is
    // the file's (with an append not written yet).
    if (appendHold_) return true;
    long long size = file_->size();
    if (size < 0) return false;
    count_ = size > headerLen_ ? uint32_t((size - headerLen_) / recordLen_) : 0;
    return true;
}

uint32_t DbfTable::recCount() {
    if (shared_ && file_) refreshCount();
    return count_;
}

void DbfTable::blankRecord(char* out) const {
    std::memset(out, ' ', recordLen_);
    for (const FieldInfo& f : fields_) {
        bool binary = f.type == 'I' || f.type == 'Y' || f.type == 'T' || f.type == '+' ||
                      f.type == '0' || (f.type == 'B' && f.len == 8) ||
                      (f.type == 'D' && f.len < 8) ||
                      ((f.type == 'M' || f.type == 'G' || f.type == 'P') && f.len == 4);
        if (binary) std::memset(out + f.offset, 0, f.len);
    }
}

void DbfTable::blankBuffer() { blankRecord(buf_.data()); }

bool DbfTable::positionOn(uint32_t n) {
    found_ = false;
    if (n >= 1 && n <= count_) {
        recno_ = n;
        state_ = Buf::NotRead;
        bof_ = eof_ = false;
    } else {
        recno_ = count_ + 1;
        blankBuffer();
        state_ = Buf::Valid;
        eof_ = true;
        bof_ = false;
    }
    return true;
}

bool DbfTable::goTo(uint32_t n) {
    if (!file_) return false;
    if (!goCold()) return false;
    if (shared_ && n > count_) refreshCount();
    return positionOn(n);
}

bool DbfTable::goEof() {
    if (!file_ || !goCold()) return false;
    if (shared_) refreshCount();
    return positionOn(count_ + 1);
}

bool DbfTable::skipDeleted(int dir) {
    if (!settings().deleted) return true;
    while (!eof_ && deleted()) {
        if (dir > 0) {
            if (!goTo(recno_ + 1)) return false;
        } else {
            if (recno_ <= 1) {
                // Nothing visible before: the first visible record, with BOF.
                if (!goTo(1) || !skipDeleted(1)) return false;
                bof_ = true;
                return true;
            }
            if (!goTo(recno_ - 1)) return false;
        }
    }
    return true;
}

bool DbfTable::goTop() {
    if (!goTo(1) || !skipDeleted(1)) return false;
    if (eof_) bof_ = true;
    return true;
}

bool DbfTable::goBottom() {
    if (!goCold()) return false;
    if (shared_) refreshCount();
    if (count_ == 0) return goTop();
    if (!goTo(count_) || !skipDeleted(-1)) return false;
    if (bof_ && eof_) return true;
    return true;
}

bool DbfTable::skip(long n) {
    if (!file_) return false;
    if (n == 0) return goTo(eof_ ? count_ + 1 : recno_);
    if (n > 0) {
        for (long i = 0; i < n && !eof_; ++i)
            if (!goTo(recno_ + 1) || !skipDeleted(1)) return false;
        return true;
    }
    for (long i = 0; i < -n; ++i) {
        if (eof_ && shared_) {
            if (!goCold()) return false;
            refreshCount();
        }
        uint32_t target = eof_ ? count_ : recno_ - 1;
        if (target < 1) {
            if (!goTop()) return false;
            bof_ = true;
            return true;
        }
        if (!goTo(target) || !skipDeleted(-1)) return false;
        if (bof_) return true;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Reading records

bool DbfTable::ensureRead() {
    if (state_ != Buf::NotRead) return true;
    bool sequential = recno_ == lastRead_ + 1;
    if (sequential && raCount_ && recno_ >= raFirst_ && recno_ < raFirst_ + raCount_) {
        std::memcpy(buf_.data(), ra_.data() + size_t(recno_ - raFirst_) * recordLen_, recordLen_);
    } else if (sequential && recno_ < count_) {
        // A forward pass: read the next records in one go and serve them from memory while the
        // pass goes on. Any other access reads from the file.
        uint32_t per = std::max<uint32_t>(1, 65536 / recordLen_);
        uint32_t n = std::min(per, count_ - recno_ + 1);
        ra_.resize(size_t(n) * recordLen_);
        uint32_t got = readRaw(recno_, n, ra_.data());
        if (got == 0) {
            raCount_ = 0;
            raise(gen::kRead, 1010, kReadErr, false, false);
            return false;
        }
        raFirst_ = recno_;
        raCount_ = got;
        std::memcpy(buf_.data(), ra_.data(), recordLen_);
    } else {
        raCount_ = 0;
        if (file_->readAt(recordOffset(recno_), buf_.data(), recordLen_) != recordLen_) {
            raise(gen::kRead, 1010, kReadErr, false, false);
            return false;
        }
    }
    lastRead_ = recno_;
    ++recordsRead_;
    state_ = Buf::Valid;
    memoSlots_.clear();
    return true;
}

uint32_t DbfTable::readRaw(uint32_t first, uint32_t count, char* out) {
    if (!file_ || first < 1 || count == 0) return 0;
    long long got = file_->readAt(recordOffset(first), out, size_t(count) * recordLen_);
    return got <= 0 ? 0 : uint32_t(got / recordLen_);
}

const char* DbfTable::recordBuffer() { return ensureRead() ? buf_.data() : nullptr; }

bool DbfTable::deleted() {
    if (eof_) return false;
    if (!ensureRead()) return false;
    return buf_[0] == '*';
}

// ---------------------------------------------------------------------------------------------
// Fields

Value DbfTable::decode(size_t i, const char* rec) {
    const FieldInfo& f = fields_[i];
    const char* p = rec + f.offset;
    const uint8_t* u = reinterpret_cast<const uint8_t*>(p);
    if (f.nullBit >= 0 && nullFlagsField_ >= 0) {
        const FieldInfo& nf = fields_[size_t(nullFlagsField_)];
        if (size_t(f.nullBit / 8) < nf.len &&
            (uint8_t(rec[nf.offset + f.nullBit / 8]) >> (f.nullBit % 8)) & 1)
            return Value();
    }
    switch (f.type) {
        case 'C':
        case '0':
            return Value(std::string(p, f.len));
        case 'N':
        case 'F':
            return Value::number(val(std::string_view(p, f.len)), f.len, f.dec);
        case 'D':
            if (f.len == 3) return Value(Date{int32_t(u[0] | (u[1] << 8) | (u[2] << 16))});
            if (f.len == 4) return Value(Date{int32_t(le32(u))});
            return Value(stod(std::string_view(p, 8)));
        case 'L':
            return Value(p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y');
        case 'I':
        case '+':
            return Value::number(double(int32_t(le32(u))), 10, 0);
        case 'Y': {
            int64_t v = int64_t(uint64_t(le32(u)) | (uint64_t(le32(u + 4)) << 32));
            return Value::number(double(v) / 10000.0, 20, 4);
        }
        case 'T':
            return Value(Date{int32_t(le32(u))});
        case 'B':
            if (f.len == 8) {
                double d;
                std::memcpy(&d, p, 8);
                return Value::number(d, 20, f.dec);
            }
            [[fallthrough]];
        case 'M':
        case 'G':
        case 'P': {
            uint32_t block = 0;
            if (!MemoFile::parseRef(p, f.len, &block)) {
                raise(gen::kCorruption, 1012, kCorrupt, false, true, 0, f.name);
                return Value(std::string());
            }
            std::string text;
            if (block && memo_ && !memo_->read(block, &text)) return Value(std::string());
            return Value(std::move(text));
        }
    }
    return Value();
}

Value DbfTable::get(size_t i) {
    if (i >= fields_.size()) return Value();
    if (!ensureRead()) {
        // The area keeps its buffer; the caller gets the empty value of the field's kind.
        const FieldInfo& f = fields_[i];
        switch (f.type) {
            case 'N': case 'F': case 'I': case 'Y': case '+': return Value::number(0, f.len, f.dec);
            case 'D': case 'T': return Value(Date{});
            case 'L': return Value(false);
            default: return Value(std::string());
        }
    }
    return decode(i, buf_.data());
}

Value DbfTable::get(std::string_view name) {
    int i = fieldIndex(name);
    return i < 0 ? Value() : get(size_t(i));
}

double DbfTable::getNumber(size_t i) {
    if (i >= fields_.size() || !ensureRead()) return 0;
    const FieldInfo& f = fields_[i];
    if (f.type == 'N' || f.type == 'F') return val(std::string_view(buf_.data() + f.offset, f.len));
    return decode(i, buf_.data()).num();
}

bool DbfTable::goHot() {
    if (!ensureRead()) return false;
    if (readOnly_) {
        raise(gen::kReadOnly, 1025, kReadOnly, false, false);
        return false;
    }
    if (shared_ && !fileLocked_ && !isLocked(recno_)) {
        raise(gen::kUnlocked, 1022, kLockReq, false, false);
        return false;
    }
    if (observer_) observer_->recordChanging(*this, recno_, appended_);
    state_ = Buf::Changed;
    return true;
}

bool DbfTable::put(size_t i, const Value& v) {
    if (!file_ || i >= fields_.size()) return false;
    if (eof_) return true;  // the phantom record takes nothing
    if (state_ != Buf::Changed && !goHot()) return false;
    const FieldInfo& f = fields_[i];
    char* p = buf_.data() + f.offset;
    uint8_t* u = reinterpret_cast<uint8_t*>(p);
    auto typeError = [&] {
        raise(gen::kDataType, 1020, kTypeErr, false, true, 0, f.name);
        return false;
    };
    switch (f.type) {
        case 'C': {
            if (!v.isText()) return typeError();
            const std::string& s = v.text();
            size_t n = std::min<size_t>(s.size(), f.len);
            std::memcpy(p, s.data(), n);
            std::memset(p + n, ' ', f.len - n);
            return true;
        }
        case 'N':
        case 'F':
            if (!v.isNumber()) return typeError();
            if (!strInto(v.num(), f.len, f.dec, p)) {
                raise(gen::kDataWidth, 1021, kWidthErr, false, true, 0, f.name);
                return false;
            }
            return true;
        case 'D': {
            if (!v.isDate()) return typeError();
            int32_t jd = v.date().jd;
            if (f.len == 3) {
                u[0] = uint8_t(jd);
                u[1] = uint8_t(jd >> 8);
                u[2] = uint8_t(jd >> 16);
            } else if (f.len == 4) {
                putLe32(u, uint32_t(jd));
            } else {
                std::memcpy(p, dtos(v.date()).data(), 8);
            }
            return true;
        }
        case 'L':
            if (!v.isLogical()) return typeError();
            p[0] = v.logical() ? 'T' : 'F';
            return true;
        case 'M':
        case 'G':
        case 'P': {
            if (!v.isText()) return typeError();
            if (!memo_) return typeError();
            uint32_t cur = 0;
            if (!MemoFile::parseRef(p, f.len, &cur)) cur = 0;  // a damaged reference is replaced
            // The new text always goes to new blocks; the memo the record has on disk is freed
            // only once the record no longer refers to it there (releaseMemos, after the write),
            // so that a crash in between never leaves the record pointing at reused space.
            auto slot = memoSlots_.find(i);
            if (slot == memoSlots_.end()) slot = memoSlots_.emplace(i, cur).first;
            uint32_t block = 0;
            if (!memo_->write(0, v.text(), &block)) return false;
            if (cur && cur != slot->second) {
                uint32_t none = 0;
                memo_->write(cur, std::string_view(), &none);  // ours alone: never on disk
            }
            MemoFile::formatRef(block, p, f.len);
            return true;
        }
        default:
            // The other programs' field types are read, not written.
            return typeError();
    }
}

bool DbfTable::put(std::string_view name, const Value& v) {
    int i = fieldIndex(name);
    if (i < 0) {
        raise(gen::kDataType, 1020, kTypeErr, false, true, 0, std::string(name));
        return false;
    }
    return put(size_t(i), v);
}

// ---------------------------------------------------------------------------------------------
// Writing records and the header

bool DbfTable::goCold() {
    if (state_ != Buf::Changed) return true;
    bool appended = appended_;
    auto write = [&] {
        while (!file_->writeAt(recordOffset(recno_), buf_.data(), recordLen_)) {
            if (!raise(gen::kWrite, 1011, kWriteErr, false, false)) return false;
        }
        // A held append's count follows its record at once (before its keys reach the index),
        // unless it belongs to a run whose count is written once (lockAppends, writeCount).
        if (appended && headerPending_ && !countLater_) writeCount();
        return true;
    };
    bool ok = observer_ ? observer_->writeRecord(*this, recno_, appended, write) : write();
    if (!ok) {
        if (appended && appendHold_ && shared_) {
            // An append under the hold that could not be written is given up at once: nothing
            // of it is on file, and nothing is written at its number once others may append.
            appended_ = false;
            count_ = recno_ - 1;
            positionOn(count_ + 1);
        }
        return false;
    }
    dropReadAhead();
    state_ = Buf::Valid;
    if (appended_) {
        appended_ = false;
        // A shared append's count is in the header already (or goes there as the held append
        // lock is released); an exclusive one writes it at the next flush or close.
        updateHeader_ = !shared_;
    }
    releaseMemos();
    return true;
}

bool DbfTable::lockHeader() {
    if (headerLocked_ || !shared_) return true;
    headerLockOffset_ = layout_.header;
    if (!file_->lock(headerLockOffset_, 1, true, true)) return false;
    headerLocked_ = true;
    return true;
}

bool DbfTable::holdAppendLock() {
    if (!file_) return false;
    if (appendHold_ || !shared_) return true;
    if (!lockHeader()) {
        raise(gen::kLock, 1038, "Fallo en bloqueo", false, false, 0, "cabecera");
        return false;
    }
    // Read once now: while it is held only this handle extends the file.
    refreshCount();
    appendHold_ = true;
    return true;
}

void DbfTable::releaseAppendLock() {
    if (!appendHold_) return;
    // What was appended under it is written (and keyed) before anyone else may check, and the
    // header's count follows.
    goCold();  // a failure gave the append up
    writeCount();
    countLater_ = false;
    appendHold_ = false;
    unlockHeader();
}

bool DbfTable::writeCount() {
    if (!headerPending_) return true;
    headerPending_ = false;
    return writeHeader(true);
}

bool DbfTable::lockAppends(uint32_t k) {
    if (!file_ || !shared_ || fileLocked_ || !appendHold_ || k == 0) return true;
    countLater_ = true;
    const uint32_t first = count_ + 1;
    const uint64_t a = layout_.record(first, headerLen_, recordLen_);
    const uint64_t b = layout_.record(first + k - 1, headerLen_, recordLen_);
    const uint64_t lo = std::min(a, b), hi = std::max(a, b);
    if (hi - lo + 1 != k) return true;  // not neighbours: each append takes its own
    if (!file_->lock(lo, k, true, false)) {
        raise(gen::kAppendLock, 1024, kAppendLock, false, true);
        return false;
    }
    for (uint32_t i = 0; i < k; ++i) {
        locks_.push_back(first + i);
        lockOffsets_.push_back(layout_.record(first + i, headerLen_, recordLen_));
    }
    return true;
}

bool DbfTable::claimAlone() {
    if (!file_) return false;
    if (!shared_) return true;
    return file_->lock(os::kShareLockOffset, 1, true, false);
}

void DbfTable::shareAgain() {
    if (file_ && shared_) file_->lock(os::kShareLockOffset, 1, false, false);
}

void DbfTable::unlockHeader() {
    if (!headerLocked_) return;
    file_->unlock(headerLockOffset_, 1);
    headerLocked_ = false;
}

bool DbfTable::writeHeader(bool countKnown) {
    if (readOnly_) {
        raise(gen::kReadOnly, 1025, kReadOnly, false, false);
        return false;
    }
    uint8_t flags = hdr_[kHdrFlags] & uint8_t(~0x03);
    if (structural_) flags |= 0x01;
    if (isExtended(hdr_[kHdrVersion]) && hasMemo_) flags |= 0x02;
    hdr_[kHdrFlags] = flags;
    headerDate(hdr_ + kHdrDate);
    bool took = false;
    if (shared_) {
        took = !headerLocked_;
        if (took && !lockHeader()) {
            raise(gen::kLock, 1038, "Fallo en bloqueo", false, false, 0, "cabecera");
            return false;
        }
        // Under the header lock no one else extends the file: after an append that wrote the
        // last record the count is already the size-derived one.
        if (!countKnown) refreshCount();
    } else {
        uint8_t eof = 0x1A;
        uint64_t end = uint64_t(headerLen_) + uint64_t(count_) * recordLen_;
        bool ok = file_->writeAt(end, &eof, 1) && file_->truncate(end + 1);
        if (!ok) {
            raise(gen::kWrite, 1011, kWriteErr, false, false);
            return false;
        }
    }
    putLe32(hdr_ + kHdrCount, count_);
    bool ok = file_->writeAt(0, hdr_, 32);
    if (took) unlockHeader();
    if (!ok) {
        raise(gen::kWrite, 1011, kWriteErr, false, false);
        return false;
    }
    updateHeader_ = false;
    return true;
}

bool DbfTable::append(bool releaseLocks) {
    setNetErr(false);
    if (!file_ || !goCold()) return false;
    if (readOnly_) {
        raise(gen::kReadOnly, 1025, kReadOnly, false, false);
        return false;
    }
    dropReadAhead();
    uint32_t n;
    if (shared_) {
        if (!lockHeader()) {
            raise(gen::kLock, 1038, "Fallo en bloqueo", false, false, 0, "cabecera");
            return false;
        }
        // Under the held append lock the record goes to the file whole at its first write, the
        // header's count after it (see goCold and writeCount).
        refreshCount();
        n = count_ + 1;
        if (!fileLocked_ && !isLocked(n)) {
            if (releaseLocks) releaseRecordLocks();
            if (!lockRecordByte(n)) {
                if (!appendHold_) unlockHeader();
                raise(gen::kAppendLock, 1024, kAppendLock, false, true);
                return false;
            }
        }
        blankBuffer();
        if (appendHold_) {
            count_ = n;
            headerPending_ = true;
        } else {
            bool ok = file_->writeAt(recordOffset(n), buf_.data(), recordLen_);
            if (!ok) {
                unlockHeader();
                raise(gen::kWrite, 1011, kWriteErr, false, false);
                return false;
            }
            count_ = n;
            ok = writeHeader(true);
            unlockHeader();
            if (!ok) return false;
        }
    } else {
        n = count_ + 1;
        blankBuffer();
        count_ = n;
    }
    recno_ = n;
    bof_ = eof_ = found_ = false;
    appended_ = true;
    state_ = Buf::Changed;
    memoSlots_.clear();
    if (observer_) observer_->recordChanging(*this, n, true);
    return true;
}

// The memos a written record no longer refers to go back to the memo file's free space.
void DbfTable::releaseMemos() {
    for (const auto& [i, onDisk] : memoSlots_) {
        uint32_t now = 0;
        const FieldInfo& f = fields_[i];
        if (!onDisk || !MemoFile::parseRef(buf_.data() + f.offset, f.len, &now) || now == onDisk)
            continue;
        uint32_t none = 0;
        memo_->write(onDisk, std::string_view(), &none);
    }
    memoSlots_.clear();
}

// Delete and recall: the deletion flag changes under the same checks as a field.
bool DbfTable::setDeletionFlag(char flag) {
    if (!file_) return false;
    if (eof_) return true;
    if (state_ != Buf::Changed && !goHot()) return false;
    buf_[0] = flag;
    return true;
}

bool DbfTable::deleteRecord() { return setDeletionFlag('*'); }

bool DbfTable::recall() { return setDeletionFlag(' '); }

bool DbfTable::flush() {
    if (!file_) return false;
    bool ok = goCold();
    if (ok && updateHeader_) ok = writeHeader();
    if (settings().hardCommit) {
        file_->sync();
        if (memo_) memo_->sync();
    }
    return ok;
}

// Pack and zap write the table again beside itself (with its memo file and, through the
// observer, its index) and swap the new files in whole: a failure or a crash at any point leaves
// either the old files or the new ones, never a mixture.
bool DbfTable::pack(const std::function<void(uint32_t, uint32_t)>& progress, uint32_t every) {
    return rewrite(true, progress, every);
}

bool DbfTable::zap() { return rewrite(false, {}, 0); }

bool DbfTable::rewrite(bool keepLive, const std::function<void(uint32_t, uint32_t)>& progress,
                       uint32_t every) {
    if (!file_) return false;
    if (shared_) {
        raise(gen::kShared, 1023, kExclReq, false, false);
        return false;
    }
    if (readOnly_) {
        raise(gen::kReadOnly, 1025, kReadOnly, false, false);
        return false;
    }
    if (!goCold()) return false;
    std::string why;
    auto swap = FileSwap::begin(path_, &why);
    if (!swap) {
        raise(gen::kCreate, 1004, kCreateErr, false, false, 0, why);
        return false;
    }
    if (!rewriteInto(*swap, keepLive, progress, every)) {
        swap->abort();
        return false;
    }
    auto giveUp = [&] {
        rewriteDone(false);
        if (observer_) observer_->finishRewrite(*this, false);
        swap->abort();
        return false;
    };
    if (observer_ && !observer_->prepareRewrite(*this, *swap)) return giveUp();
    bool renamed = false;
    bool ok = swap->commit(&why, &renamed);
    if (!ok && !renamed) {
        giveUp();
        raise(gen::kWrite, 1011, kWriteErr, false, false, 0, why);
        return false;
    }
    // Once the renames have begun the new files are the table's, even when one of them failed:
    // the next opener completes the swap.
    rewriteDone(true);
    if (observer_) observer_->finishRewrite(*this, true);
    if (!ok) raise(gen::kWrite, 1011, kWriteErr, false, false, 0, why);
    positionOn(keepLive ? 1 : 0);
    if (!keepLive) bof_ = true;
    if (keepLive && settings().deleted) goTop();
    return ok;
}

bool DbfTable::rewriteInto(FileSwap& swap, bool keepLive,
                           const std::function<void(uint32_t, uint32_t)>& progress,
                           uint32_t every) {
    dropReadAhead();
    std::string side = swap.add(path_);
    std::unique_ptr<os::File> out;
    int osErr = 0;
    if (!side.empty()) out = os::File::create(side, os::Share::Exclusive, &osErr);
    if (!out) {
        raise(gen::kCreate, 1004, kCreateErr, false, false, osErr, "creando " + side);
        return false;
    }
    std::vector<uint8_t> head(headerLen_);
    if (file_->readAt(0, head.data(), head.size()) != (long long)head.size()) {
        raise(gen::kRead, 1010, kReadErr, false, false);
        return false;
    }
    auto failWrite = [&] {
        raise(gen::kWrite, 1011, kWriteErr, false, false, 0, "escribiendo " + side);
        return false;
    };
    if (memo_) {
        std::string memoSide = swap.add(memo_->path());
        if (memoSide.empty() || !memo_->beginPack(memoSide)) return failWrite();
    }
    // Any way out before the switch gives the memo's new file up.
    struct MemoGuard {
        MemoFile* memo;
        ~MemoGuard() {
            if (memo) memo->abortPack();
        }
    } memoGuard{memo_.get()};
    std::vector<size_t> memoFields;
    for (size_t i = 0; i < fields_.size(); ++i)
        if (isMemoType(fields_[i].type, fields_[i].len, hdr_[kHdrVersion])) memoFields.push_back(i);

    uint32_t total = keepLive ? count_ : 0, kept = 0, sinceProgress = 0;
    uint32_t per = std::max<uint32_t>(1, 65536 / recordLen_);
    std::vector<char> chunk(size_t(per) * recordLen_);
    std::vector<char> outBuf;
    uint64_t outAt = headerLen_;
    auto flushOut = [&] {
        bool ok = outBuf.empty() || out->writeAt(outAt, outBuf.data(), outBuf.size());
        outAt += outBuf.size();
        outBuf.clear();
        return ok;
    };
    for (uint32_t k = 1; k <= total;) {
        uint32_t n = std::min(per, total - k + 1);
        uint32_t got = readRaw(k, n, chunk.data());
        if (got < n) {
            raise(gen::kRead, 1010, kReadErr, false, false, 0,
                  "leyendo el registro " + std::to_string(k + got));
            return false;
        }
        for (uint32_t j = 0; j < n; ++j, ++k) {
            char* rec = chunk.data() + size_t(j) * recordLen_;
            if (rec[0] != '*') {
                for (size_t fi : memoFields) {
                    const FieldInfo& f = fields_[fi];
                    uint32_t block = 0, nb = 0;
                    if (!MemoFile::parseRef(rec + f.offset, f.len, &block)) {
                        raise(gen::kCorruption, 1012, kCorrupt, false, false, 0,
                              "registro " + std::to_string(k) + ", campo " + f.name);
                        return false;
                    }
                    if (block && !memo_->packCopy(block, &nb)) return false;
                    MemoFile::formatRef(nb, rec + f.offset, f.len);
                }
                ++kept;
                outBuf.insert(outBuf.end(), rec, rec + recordLen_);
                if (outBuf.size() >= 65536 && !flushOut()) return failWrite();
            }
            if (progress && every && ++sinceProgress == every) {
                progress(k, total);
                sinceProgress = 0;
            }
        }
    }
    if (progress && sinceProgress) progress(total, total);
    // The new header: the kept count, today's date, the end-of-file byte after the records.
    std::memcpy(head.data(), hdr_, 32);
    headerDate(head.data() + kHdrDate);
    putLe32(head.data() + kHdrCount, kept);
    outBuf.push_back(char(0x1A));
    bool ok = flushOut() && out->writeAt(0, head.data(), head.size()) && out->sync();
    if (!ok || (memo_ && !memo_->finishPack())) return failWrite();
    // From here the table works on the new file; rewriteDone settles which one it keeps.
    memoGuard.memo = nullptr;
    std::memcpy(hdr_, head.data(), 32);
    rewriteOld_ = std::move(file_);
    rewriteOldCount_ = count_;
    file_ = std::move(out);
    count_ = kept;
    if (memo_) memo_->switchToPack();
    positionOn(0);
    return true;
}

void DbfTable::rewriteDone(bool committed) {
    if (!rewriteOld_) return;
    if (committed) {
        rewriteOld_.reset();
    } else {
        file_ = std::move(rewriteOld_);
        count_ = rewriteOldCount_;
        uint8_t h[32];
        if (file_->readAt(0, h, 32) == 32) std::memcpy(hdr_, h, 32);
    }
    if (memo_) memo_->packDone(committed);
    dropReadAhead();
    positionOn(0);
}

// ---------------------------------------------------------------------------------------------
// Locks

void DbfTable::setStructuralIndex(bool on) {
    structural_ = on;
    layout_ = lockLayout(scheme_, on);
}

// Record locks remember the byte they took, so that a change of the structural-index flag
// while they are held still releases the right bytes.
bool DbfTable::lockRecordByte(uint32_t n) {
    uint64_t off = layout_.record(n, headerLen_, recordLen_);
    if (!file_->lock(off, 1, true, false)) return false;
    locks_.push_back(n);
    lockOffsets_.push_back(off);
    return true;
}

void DbfTable::unlockRecordAt(size_t i) {
    file_->unlock(lockOffsets_[i], 1);
    locks_.erase(locks_.begin() + long(i));
    lockOffsets_.erase(lockOffsets_.begin() + long(i));
}

bool DbfTable::recordLockedElsewhere(uint32_t n) {
    if (!shared_ || !file_) return false;
    return file_->lockedElsewhere(layout_.record(n, headerLen_, recordLen_), 1) ||
           file_->lockedElsewhere(layout_.fileStart, layout_.fileLen);
}

bool DbfTable::isLocked(uint32_t n) const {
    return std::find(locks_.begin(), locks_.end(), n) != locks_.end();
}

void DbfTable::releaseRecordLocks() {
    if (locks_.empty()) return;
    goCold();
    // Neighbouring bytes (a run of appends) go in one call.
    std::vector<uint64_t> offs = lockOffsets_;
    std::sort(offs.begin(), offs.end());
    for (size_t i = 0; i < offs.size();) {
        size_t j = i + 1;
        while (j < offs.size() && offs[j] == offs[j - 1] + 1) ++j;
        file_->unlock(offs[i], offs[j - 1] - offs[i] + 1);
        i = j;
    }
    locks_.clear();
    lockOffsets_.clear();
}

bool DbfTable::rlock() {
    if (!file_) return false;
    if (!shared_ || fileLocked_) return true;
    uint32_t n = recno_;
    releaseRecordLocks();
    if (!goCold()) return false;
    if (!lockRecordByte(n)) return false;
    dropReadAhead();
    if (n == recno_ && state_ == Buf::Valid && !eof_) state_ = Buf::NotRead;
    return true;
}

bool DbfTable::rlock(uint32_t n) {
    if (!file_) return false;
    if (!shared_ || fileLocked_) return true;
    if (n == 0) n = recno_;
    if (isLocked(n)) return true;
    if (!lockRecordByte(n)) return false;
    dropReadAhead();
    if (n == recno_ && state_ == Buf::Valid && !eof_) state_ = Buf::NotRead;
    return true;
}

bool DbfTable::flock() {
    if (!file_) return false;
    if (!shared_ || fileLocked_) return true;
    releaseRecordLocks();
    if (!goCold()) return false;
    fileLockStart_ = layout_.fileStart;
    fileLockLen_ = layout_.fileLen;
    fileLocked_ = file_->lock(fileLockStart_, fileLockLen_, true, false);
    if (fileLocked_) {
        dropReadAhead();
        if (state_ == Buf::Valid && !eof_) state_ = Buf::NotRead;
    }
    return fileLocked_;
}

void DbfTable::unlockAll() {
    if (!file_) return;
    // Everything is written first: the buffer (and its keys), then a held append's count.
    goCold();  // a failure gave a held append up
    if (appendHold_) writeCount();
    // Then every lock of this handle goes: in one call when they lie in one stretch of the lock
    // area, which holds no other lock of the handle (the sharing byte lies far beyond it).
    uint64_t lo = UINT64_MAX, hi = 0;
    auto span = [&](uint64_t start, uint64_t len) {
        lo = std::min(lo, start);
        hi = std::max(hi, start + len - 1);
    };
    for (uint64_t off : lockOffsets_) span(off, 1);
    if (headerLocked_) span(headerLockOffset_, 1);
    if (fileLocked_) span(fileLockStart_, fileLockLen_);
    if (lo <= hi && (os::kShareLockOffset < lo || os::kShareLockOffset > hi)) {
        file_->unlock(lo, hi - lo + 1);
        locks_.clear();
        lockOffsets_.clear();
        headerLocked_ = appendHold_ = countLater_ = fileLocked_ = false;
        return;
    }
    releaseRecordLocks();
    releaseAppendLock();
    if (fileLocked_) {
        file_->unlock(fileLockStart_, fileLockLen_);
        fileLocked_ = false;
    }
}

void DbfTable::unlock(uint32_t n) {
    if (!file_) return;
    auto it = std::find(locks_.begin(), locks_.end(), n);
    if (it == locks_.end()) return;
    if (n == recno_) goCold();
    unlockRecordAt(size_t(it - locks_.begin()));
}

}  // namespace wv
