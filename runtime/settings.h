// Process-wide settings that dates, tables and navigation rely on. Start-up sets them once; the
// defaults here are the values the program runs with.
#pragma once

#include <string>

namespace wv {

struct Settings {
    bool century = false;   // "dd/mm/yyyy" when on, "dd/mm/yy" otherwise
    int epoch = 1960;       // first year that a two-digit year can stand for
    bool deleted = true;    // navigation skips records marked deleted
    bool exclusive = false; // tables open shared unless asked otherwise
    bool confirm = true;    // a full entry field keeps the focus
    bool softSeek = false;
    bool hardCommit = false; // flush/commit/close ask the OS to put buffers on disk
    int decimals = 2;       // decimals of computed numbers when converted to text
    int lockScheme = 0;     // 0: the driver's default (scheme 3 for tables with CDX indexes)
    std::string language = "ES";

    std::string dateFormat() const { return century ? "dd/mm/yyyy" : "dd/mm/yy"; }
};

Settings& settings();

}  // namespace wv
