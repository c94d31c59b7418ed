// Directory listings: one record per entry, sorted by name so that runs are deterministic.
#pragma once

#include "platform/date_time.h"
#include "platform/status.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace platform {

// What an entry is. A link is examined through its target, except that a link to a folder is never
// followed (it would let a scan loop for ever). FIFOs, sockets, devices and dangling links are Other.
enum class EntryKind { File, Directory, LinkToDirectory, Other };

struct TSearchRec {
    std::string Name;
    int Attr = 0;
    std::int64_t Size = 0;
    TDateTime Modified = 0; // local DOS date-time (two-second steps), 0 when out of range
    EntryKind Kind = EntryKind::Other;
    std::time_t ModifiedSeconds = 0;
    long ModifiedNanoseconds = 0;
    std::time_t AccessedSeconds = 0;
    std::time_t CreatedSeconds = 0; // birth time where the file system keeps one, else the modification time
};

// The entries read, and why the folder could not be opened or read whole: a folder that fails part-way
// still gives the entries read before, so they come beside the Status rather than in a Result.
struct DirectoryListing {
    std::vector<TSearchRec> Entries;
    Status Error;
};

// The entries of Dir without "." and "..", sorted by name (byte order).
DirectoryListing ListDirectory(const std::string& dir);
// The record of one path (its name part as Name); it fails when the path cannot be examined.
Status FindFile(const std::string& path, TSearchRec& rec);

} // namespace platform
