// Where the program keeps its files. The home folder holds brimvale.ini, Profiles/, Logs/ and Temp/:
// the executable's folder when a brimvale.ini lies there (a portable install), else
// $XDG_DATA_HOME/brimvale/; BRIMVALE_HOME overrides both. The resource folder holds read-only files
// (help pages, the self-extractor module, icons): beside the executable, or ../share/brimvale/ for an
// installed program; BRIMVALE_RESOURCES overrides it. Both end in "/".
#pragma once

#include <string>

namespace platform {

std::string ExecutablePath();
std::string ExecutableDir();
std::string ProgramHomeDir();
std::string ResourceDir();
// The program's icon (48 by 48 pixels) in the resource folder, for its windows and its tray icon.
std::string ProgramIconPath();
// The user's runtime folder for locks and sockets: $XDG_RUNTIME_DIR, else a folder of mode 0700 under
// the system's temporary folder that this user owns (created when missing); empty when neither is
// usable.
std::string RuntimeDir();
// The user's home folder (HOME, else the password database), without a trailing "/".
std::string UserHomeDir();

} // namespace platform
