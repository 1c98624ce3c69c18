// The code lookup's pick list on the screen: a small window over the catalogue with its search
// text, the grid and an accept button.
#pragma once

#include "catalog/lookup.h"
#include "ui/dialog.h"

namespace wv {

// F_BKEYDOWN: Enter closes the list accepting the row (true), Escape closes it without (false);
// any other key does nothing (false).
bool fBKeyDown(int nKey, TDialog& dlg);

// The pick list of VALCOD: true when the operator accepted a row, the alias standing on it.
bool lookupWindow(const LookupRequest& request);

}  // namespace wv
