// What the program asks of the operating system about the workstation it runs on: the one-copy
// rule, the computer's and the user's names, and the system's name and version. A Windows build
// replaces workstation_posix.cpp.
#pragma once

#include <string>

namespace wv::os {

// ISEXERUNNING: claims the name for this process among the processes of the same user on this
// workstation (as a named mutex belongs to the user's session); true when another running process
// holds it already. The claim lasts until the process ends, however it ends: a copy that crashed
// or was killed never blocks the next start. The name is taken as given (letter case included);
// it must not contain '/'.
//
// Claims live as lock files (open-file-description locks, as Linux has them) in the user's
// run-time directory (XDG_RUNTIME_DIR), else in a directory of the user's own, closed to others,
// under the temporary directory. When no claim can be made there at all (no such directory, a
// file system without these locks), the answer is false: the operator is never kept out of the
// program by the rule's own trouble.
bool isExeRunning(const std::string& name);

// NETNAME: the computer's name, at most 15 characters.
std::string computerName();
// WNETGETUSER: the name of the user logged on, at most 249 characters.
std::string networkUser();
// The whole of a file the system describes itself in (/proc/meminfo...); empty when it cannot be
// read.
std::string readSystemFile(const std::string& path);
// The operating system's name and version, e.g. "Debian GNU/Linux 12 (bookworm) - Linux 6.1.0".
std::string systemName();

}  // namespace wv::os
