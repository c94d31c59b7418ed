// One whole backup run of a profile, for the benchmarks' driver.
#pragma once

#include "engine/backup_profile.h"

#include <string>

// A profile named "Bench" that backs up Source (a folder, ending in "/") into Dest with every attribute
// allowed and the flat layout.
TBackupProfile BenchProfile(const std::string& source, const std::string& dest);
// Runs the profile on a backup thread to its end, serving its synchronised calls meanwhile.
void RunBackupToEnd(const TBackupProfile& profile);
