// Shared table access: every screen opens, locks and appends through these routines, which report
// their own failures to the operator and give the caller a logical result.
#pragma once

#include <string>

namespace wv {

// NET_USE: opens cPath + cFile in a new work area (shared unless lExclusive) under cAlias (by
// default the file's name in capitals) with its first tag in control; the new area is current.
// One attempt; a table held elsewhere gives the stop box naming it, and false.
bool netUse(const std::string& cFile, bool lExclusive = false, const std::string& cAlias = "",
            const std::string& cPath = "", bool lCheck = false);
// LOKDBF: compares the header's record count with the file size and, with the operator's
// consent, writes the count found. Always true.
bool lokDbf(const std::string& cFile, const std::string& cDir = ".\\");
// REC_LOCK: locks the current record of the current area, waiting nSeconds and then asking
// whether to keep waiting.
bool recLock(double nSeconds = 5);
// ADD_REC: appends a blank record to the current area (locked and current), retrying for
// nSeconds.
bool addRec(double nSeconds = 5);
// FAREA: the area holding the alias (letter case ignored), 0 when none.
int fArea(const std::string& cAlias);

// The alias NET_USE gives a file name: after the last backslash (else after the first colon),
// in capitals, cut before the first point.
std::string defaultAlias(const std::string& cFile);

}  // namespace wv
