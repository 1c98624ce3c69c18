// MAIN: the program from start to end.
#pragma once

namespace wv {

// Creates the application object, applies the process-wide settings, stops a second copy,
// writes the log-in line, builds the main window and runs it until the operator confirms the
// closing question; then closes every table and releases the interface. The process's exit code.
int mainProgram(int argc, char** argv);

// The start-up steps that come before the window, once the interface is up: the settings, the
// identity, the one-copy rule (false when another copy runs: its notice has been shown and
// nothing else was done), the fonts, icon and picture, and the log-in line.
bool startUp(const char* argv0);

// The commands of the menu and the bar given the screens built so far.
void registerScreens();

// EXITAPP: every table closed, the interface resources released.
void exitProgram();

}  // namespace wv
