// Shared table access: every screen opens, locks and appends through these routines, which report
// their own failures to the operator and give the caller a logical result.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/error.h"

namespace wv {

// NET_USE: opens cPath + cFile in a new work area (shared unless lExclusive) under cAlias (by
// default the file's name in capitals) with its first tag in control; the new area is current.
// One attempt; a table held elsewhere gives the stop box naming it, and false.
//
// The screens rely on the order numbers of the application's tables (tables.h): their tags must
// be the first of the structural index, in order. When they are not (a tag missing, out of
// place or damaged, or no index file at all) and the table can be had alone, its index is built
// again (nothing else is touched) and the operator told once; when another station has it open,
// every table is closed and the stop box asks for the maintenance: false.
bool netUse(const std::string& cFile, bool lExclusive = false, const std::string& cAlias = "",
            const std::string& cPath = "", bool lCheck = false);
// NET_USE without the look at the tags: the index is taken as it is found. For the maintenance,
// which builds it anew.
bool netUseAsIs(const std::string& cFile, bool lExclusive = false, const std::string& cAlias = "",
                const std::string& cPath = "");
// LOKDBF: compares the header's record count with the file size and, with the operator's
// consent, writes the count found. Always true.
bool lokDbf(const std::string& cFile, const std::string& cDir = ".\\");
// REC_LOCK: locks the current record of the current area, waiting nSeconds and then asking
// whether to keep waiting.
bool recLock(double nSeconds = 5);
// ADD_REC: appends a blank record to the current area (locked and current), retrying for
// nSeconds.
bool addRec(double nSeconds = 5);
// ADD_REC without its stop box, for a caller that holds a lock no box may wait on and tells the
// operator itself once it has let go. releaseLocks=false keeps the area's other record locks.
bool tryAddRec(double nSeconds = 5, bool releaseLocks = true);
// FAREA: the area holding the alias (letter case ignored), 0 when none.
int fArea(const std::string& cAlias);

// The alias NET_USE gives a file name: after the last backslash (else after the first colon),
// in capitals, cut before the first point.
std::string defaultAlias(const std::string& cFile);

// While it lives, the errors raised are held back from the operator for a step whose failure the
// caller reports in its own words: they are kept and answered with the default. Without a
// choice every error is held but those the standard handler settles by itself (a division by
// zero, a table or lock held by another station); with one, only the errors it picks, the
// others going on to the handler as usual.
class HeldErrors {
public:
    explicit HeldErrors(std::function<bool(const Error&)> which = {});
    ~HeldErrors();
    HeldErrors(const HeldErrors&) = delete;
    HeldErrors& operator=(const HeldErrors&) = delete;

    bool any() const { return !errors_.empty(); }
    const std::vector<Error>& errors() const { return errors_; }
    // Writes the last one held to Error.log, as the error dialog would have; false when none.
    bool writeLog() const;

private:
    ErrorChoice answer(const Error& e);
    std::function<bool(const Error&)> which_;
    std::vector<Error> errors_;
    ErrorHandler prev_;
};

}  // namespace wv
