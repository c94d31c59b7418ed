// File attributes in the bits the program was written for, mapped onto Linux:
// read-only = the owner may not write; hidden = the name begins with "."; directory; archive = every regular
// file. System and volume label are never set.
#pragma once

#include "platform/status.h"

#include <string>
#include <sys/stat.h>

namespace platform {

constexpr int faReadOnly = 1;
constexpr int faHidden = 2;
constexpr int faSysFile = 4;
constexpr int faVolumeID = 8;
constexpr int faDirectory = 16;
constexpr int faArchive = 32;
constexpr int faAnyFile = 63;

// The attributes of an entry named Name with the status St (as given by stat, following links).
int AttributesFromStat(const std::string& name, const struct stat& st);
// The attributes of the entry at Path (following links).
Result<int> FileGetAttr(const std::string& path);
// Only the read-only bit can be changed: it clears or sets the owner's write permission.
Status FileSetAttr(const std::string& path, int attributes);

} // namespace platform
