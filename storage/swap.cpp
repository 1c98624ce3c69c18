#include "storage/swap.h"

#include <algorithm>

#include "storage/platform.h"

namespace wv {

namespace {

constexpr char kMagic[] = "wvswap ";
constexpr size_t kStateAt = 7;
constexpr char kBuilding = 'B';
constexpr char kCommit = 'C';
constexpr char kSideExt[] = ".wvnew";

std::string dirOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutExtension(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

bool readAll(const std::string& path, std::string* out) {
    int err = 0;
    auto f = os::File::open(path, false, os::Share::Shared, &err);
    if (!f) return false;
    long long size = f->size();
    if (size < 0 || size > 65536) return false;
    out->resize(size_t(size));
    return f->readAt(0, out->data(), out->size()) == size;
}

// The names a mark lists, and its state; false when it is not a whole mark.
bool parseMark(const std::string& text, char* state, std::vector<std::string>* names) {
    if (text.compare(0, kStateAt, kMagic) != 0 || text.size() < kStateAt + 2) return false;
    *state = text[kStateAt];
    size_t pos = kStateAt + 2;
    names->clear();
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) return false;
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (line == "end") return pos == text.size();
        if (line.empty() || line.find('/') != std::string::npos) return false;
        names->push_back(line);
    }
    return false;
}

// The swaps of this process still under way.
std::vector<FileSwap*>& pending() {
    static std::vector<FileSwap*> list;
    return list;
}

}  // namespace

void FileSwap::abortPending() {
    std::vector<FileSwap*> list = pending();
    for (FileSwap* s : list) s->abort();
}

std::string FileSwap::markPath(const std::string& tablePath) {
    return withoutExtension(tablePath) + ".wvswap";
}

std::string FileSwap::sidePath(const std::string& target) { return target + kSideExt; }

std::unique_ptr<FileSwap> FileSwap::begin(const std::string& tablePath, std::string* error) {
    std::unique_ptr<FileSwap> s(new FileSwap);
    s->table_ = tablePath;
    s->mark_ = markPath(tablePath);
    if (os::fileExists(s->mark_)) {
        *error = "quedó pendiente un reemplazo de archivos (" + s->mark_ + ")";
        s->done_ = true;
        return nullptr;
    }
    if (!s->writeMark(kBuilding)) {
        *error = "no se pudo escribir " + s->mark_;
        os::removeFile(s->mark_);
        s->done_ = true;
        return nullptr;
    }
    pending().push_back(s.get());
    return s;
}

FileSwap::~FileSwap() {
    if (!done_) abort();
    auto& list = pending();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

bool FileSwap::writeMark(char state) {
    std::string text = kMagic;
    text += state;
    text += '\n';
    for (const std::string& t : targets_) text += nameOf(t) + "\n";
    text += "end\n";
    int err = 0;
    auto f = os::File::create(mark_, os::Share::Exclusive, &err);
    return f && f->writeAt(0, text.data(), text.size()) && f->sync() &&
           os::syncDirectoryOf(mark_);
}

std::string FileSwap::add(const std::string& target) {
    if (std::find(targets_.begin(), targets_.end(), target) == targets_.end()) {
        targets_.push_back(target);
        if (!writeMark(kBuilding)) return std::string();
    }
    return sidePath(target);
}

bool FileSwap::commit(std::string* error, bool* renamed) {
    *renamed = false;
    // The table goes last: until it is renamed, the table at its name is the old one, which the
    // writer holds, so no one can open a mixture.
    std::stable_partition(targets_.begin(), targets_.end(),
                          [&](const std::string& t) { return t != table_; });
    int err = 0;
    bool ok = os::syncDirectoryOf(mark_);
    auto f = ok ? os::File::open(mark_, true, os::Share::Exclusive, &err) : nullptr;
    const char c = kCommit;
    ok = f && f->writeAt(kStateAt, &c, 1) && f->sync();
    f.reset();
    if (!ok) {
        *error = "no se pudo confirmar " + mark_;
        abort();
        return false;
    }
    done_ = true;
    pending().erase(std::remove(pending().begin(), pending().end(), this), pending().end());
    *renamed = true;
    for (const std::string& t : targets_) {
        if (!os::renameFile(sidePath(t), t)) {
            *error = "no se pudo poner en su lugar " + t;
            return false;
        }
    }
    os::syncDirectoryOf(table_);
    os::removeFile(mark_);
    os::syncDirectoryOf(table_);
    return true;
}

void FileSwap::abort() {
    if (done_) return;
    for (const std::string& t : targets_) os::removeFile(sidePath(t));
    os::removeFile(mark_);
    done_ = true;
    pending().erase(std::remove(pending().begin(), pending().end(), this), pending().end());
}

bool FileSwap::recover(const std::string& tablePath, std::string* error) {
    // The mark is named after the table as it stands on disk: one look, at every open.
    std::string mark = markPath(tablePath);
    if (!os::existsAsWritten(mark)) return true;
    // Only a writer that is gone leaves the table free: while one works it holds the table.
    int err = 0;
    auto table = os::File::open(tablePath, true, os::Share::Exclusive, &err);
    if (!table && err != os::kNotFound) return true;
    std::string text;
    if (!readAll(mark, &text)) return !os::fileExists(mark);
    char state = 0;
    std::vector<std::string> names;
    bool whole = parseMark(text, &state, &names);
    const std::string dir = dirOf(os::resolvePath(tablePath));
    const std::string tableName = nameOf(os::resolvePath(tablePath));
    if (whole && state == kCommit) {
        std::stable_partition(names.begin(), names.end(),
                              [&](const std::string& n) { return n != tableName; });
        std::unique_ptr<os::File> hold;
        for (const std::string& n : names) {
            std::string side = dir + n + kSideExt;
            if (!os::fileExists(side)) continue;
            // The new table is held through its rename until the mark is gone.
            if (n == tableName) hold = os::File::open(side, true, os::Share::Exclusive, &err);
            if (!os::renameFile(side, dir + n)) {
                *error = "no se pudo poner en su lugar " + dir + n;
                return false;
            }
        }
        os::syncDirectoryOf(mark);
        os::removeFile(mark);
        os::syncDirectoryOf(mark);
        return true;
    }
    // Never committed: the old files stand; the side files go.
    if (!whole) {
        names.clear();
        std::string base = nameOf(withoutExtension(os::resolvePath(tablePath)));
        for (const char* ext : {".dbf", ".fpt", ".cdx"}) names.push_back(base + ext);
        names.push_back(tableName);
    }
    for (const std::string& n : names) os::removeFile(dir + n + kSideExt);
    os::removeFile(mark);
    os::syncDirectoryOf(mark);
    return true;
}

}  // namespace wv
