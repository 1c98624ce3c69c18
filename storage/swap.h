// Files of one table replaced together. A step that rewrites a table's files (pack, zap, a new
// index) writes each new file beside the one it replaces, under a side name, and only when all
// of them are complete and on disk renames them into place. A small mark file beside the table
// tells the next opener what to do after a crash:
//
//   - the mark is written, naming the files, before the first side file is made;
//   - once every side file is synced the mark is switched to "commit" (one byte) and synced;
//   - the side files are renamed over their targets, the table last, and the mark removed.
//
// A mark that never reached "commit" means the old files are intact: the opener removes the side
// files. A committed mark means every side file is complete: the opener renames what is left.
// Either way the table ends up all old or all new. While the work goes on the table is held
// exclusively, so no one else can open it; the opener only recovers when it can have the table
// alone, which tells it the writer is gone.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace wv {

class FileSwap {
public:
    // Starts a swap for the table at tablePath (already resolved). False with *error when the
    // mark cannot be written (another swap of the table is still pending, for one).
    static std::unique_ptr<FileSwap> begin(const std::string& tablePath, std::string* error);
    ~FileSwap();  // aborts when not committed
    FileSwap(const FileSwap&) = delete;
    FileSwap& operator=(const FileSwap&) = delete;

    // The side name for a file of the table (its target, resolved); the mark names it before
    // the caller creates it. Empty when the mark could not be rewritten.
    std::string add(const std::string& target);

    // Renames every side file into place (the caller has synced and still holds them). False
    // with *error when the switch to "commit" failed (nothing was renamed: abort follows) or a
    // rename failed (the next opener finishes it; *renamed tells how far it got).
    bool commit(std::string* error, bool* renamed);
    // Removes the side files and the mark.
    void abort();

    // At the opening of a table: finishes or rolls back a swap that a dead writer left. Does
    // nothing when there is no mark, or when another handle holds the table (its writer may be
    // at work). False when a committed swap could not be completed; *error says why.
    static bool recover(const std::string& tablePath, std::string* error);

    // Gives up every swap of this process that is not committed (for a program about to end on
    // an error, whose objects will not be destroyed).
    static void abortPending();

    static std::string markPath(const std::string& tablePath);
    static std::string sidePath(const std::string& target);

private:
    FileSwap() = default;
    bool writeMark(char state);

    std::string table_;
    std::string mark_;
    std::vector<std::string> targets_;  // the table last at commit
    bool done_ = false;
};

}  // namespace wv
