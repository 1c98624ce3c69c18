// The program's entry.
#include "app/startup_qt.h"

int main(int argc, char** argv) { return wv::mainProgram(argc, argv); }
