// The system information command on the screen: the description of this workstation with the
// screen's colours and monitor, the report written and opened in the desktop's text editor.
#pragma once

#include "support/systeminfo.h"

namespace wv {

// The description of this workstation, the screen's part included.
SystemFacts currentSystemFactsWithScreen();

// SYSTEMINFOR: the menu's "Informacion del Sistema".
void systemInfor();

}  // namespace wv
