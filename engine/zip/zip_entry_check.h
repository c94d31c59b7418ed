// Checking the data of an archive's unencrypted entries straight from the archive file: the central
// directory is read once for where each entry lies, and each check is one read of the entry's bytes,
// inflated to nowhere with its CRC taken on the way. Many threads may check entries of one file side by side,
// each with a checker of its own, where each libzip handle would first read the whole directory and convert
// every entry's time through the C library's time zone, under its lock.
#pragma once

#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <vector>

// Where the local header of every entry of the central directory lies, in directory order, for the archive
// beginning at Start in the file (offsets from that start). False when the directory cannot be read whole.
bool ReadEntryOffsets(int fd, std::int64_t start, std::vector<std::int64_t>& offsets);

// An unencrypted entry, stored or deflated, and what its data must give.
struct TRawEntry {
    std::int64_t HeaderOffset = 0; // of its local header, from the archive's start
    std::int64_t CompressedSize = 0;
    std::int64_t Size = 0;
    std::uint32_t Crc = 0;
    bool Deflated = true;
};

enum class TRawCheck { Sound, Damaged, Stopped };

// One thread's means of checking entries: its inflate state and buffers, reused from entry to entry.
class TRawEntryChecker {
public:
    TRawEntryChecker();
    ~TRawEntryChecker();
    TRawEntryChecker(const TRawEntryChecker&) = delete;
    TRawEntryChecker& operator=(const TRawEntryChecker&) = delete;

    // Reads Entry of the archive beginning at Start in the file and tells whether its data gives its size
    // and CRC; Stopped as soon as Stop is set.
    TRawCheck Check(int fd, std::int64_t start, const TRawEntry& entry, const std::atomic<bool>& stop);

private:
    bool Consume(const unsigned char* data, std::size_t size, bool deflated);

    z_stream m_stream{};
    bool m_ready = false;
    bool m_ended = false;
    std::vector<unsigned char> m_in;
    std::vector<unsigned char> m_out;
    std::int64_t m_produced = 0;
    uLong m_crc = 0;
};
