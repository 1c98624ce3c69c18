// General routines of the application that need the screen: a dialog's own message bar and the
// web page opened in the desktop's browser.
#pragma once

#include <functional>
#include <string>

namespace wv {

class TDialog;

// ONINIT: gives the dialog a message bar of its own, empty and centred (dialogs call it as their
// start-up action).
void onInit(TDialog& oDlg);

// CONECTA: opens the address in the desktop's web browser and does not wait for it. The window
// options are those of a browser driven by automation; a desktop's browser is opened as the
// operator keeps it, so they are accepted and have no effect here. When no browser can be
// started the failure goes to the error handler.
void conecta(const std::string& cUrl, bool lVisible = true, bool lToolBar = false,
             bool lStatusBar = false, bool lMenuBar = false);

// Replaces the way an address is opened (tests); returns the previous one. The opener answers
// whether a browser took the address.
using UrlOpener = std::function<bool(const std::string& url)>;
UrlOpener setUrlOpener(UrlOpener opener);

}  // namespace wv
