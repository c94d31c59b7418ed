// A new archive of compressed files, written straight through: each entry's local header and data in turn,
// then the central directory. A million tiny files cost their names, kept with shared beginnings, and a few
// numbers each, where a libzip entry of each would cost several hundred bytes until the archive is closed.
#pragma once

#include "engine/name_list.h"

#include <zip.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TParallelCompressor;

class TNewArchive {
public:
    static constexpr std::uint32_t NoEntry = 0xFFFFFFFFu;

    // Adds the entry Name, whose data is file Data of the compressor: its number, or NoEntry when the
    // archive holds an entry of that name already.
    std::uint32_t Add(const std::string& name, std::uint32_t data);
    std::string Name(std::uint32_t entry) const { return m_names.At(entry); }
    // Leaves the entry out of the archive.
    void Drop(std::uint32_t entry);

    // Writes the entries left, in order, through Target (a writable source: begin, write, commit), with
    // their data read from Data, whose files must all be done. GoOn is asked after each entry; when it
    // says no, or anything fails, the write is rolled back. 0, or libzip's error (ZIP_ER_CANCELLED for the
    // stop).
    int Write(zip_source_t* target, TParallelCompressor& data, const std::function<bool()>& goOn);

private:
    bool Holds(const std::string& name, std::uint32_t entry) const;
    void Grow();

    TNameList m_names;
    std::vector<std::uint32_t> m_data;
    std::vector<bool> m_dropped;
    // Open addressing over the names' hashes: (hash << 32) | (entry + 1), 0 for a free slot.
    std::vector<std::uint64_t> m_slots;
};
