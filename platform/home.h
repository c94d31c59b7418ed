// Where the program keeps its files. The home folder holds brimvale.ini, Profiles/, Logs/ and Temp/:
// the executable's folder when a brimvale.ini lies there (a portable install), else
// $XDG_DATA_HOME/brimvale/; BRIMVALE_HOME overrides both. The resource folder holds read-only files
// (help pages, the self-extractor module): beside the executable, or ../share/brimvale/ for an
// installed program; BRIMVALE_RESOURCES overrides it. Both end in "/".
#pragma once

#include <string>

namespace platform {

std::string ExecutablePath();
std::string ExecutableDir();
std::string ProgramHomeDir();
std::string ResourceDir();
// The user's home folder (HOME, else the password database), without a trailing "/".
std::string UserHomeDir();

} // namespace platform
