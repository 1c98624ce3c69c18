// Start-up of the interface, once the QApplication exists: font substitutes, the dialogs' font
// as the application font, and the Qt operator installed for every message box and question.
#pragma once

namespace wv {

void initInterface();

}  // namespace wv
