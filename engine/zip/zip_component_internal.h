// What the compression and the extraction halves of TZipComponent share: the existing archive that a
// compression updates, and the translation of libzip's facts into the component's codes and values.
#pragma once

#include "engine/zip/zip_component.h"

#include <zip.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>

// The component's result code for a libzip error.
int ZipResultOfError(int zipError);
// Every entry of Archive, in directory order.
void ListZipEntries(zip_t* archive, std::vector<TZipEntryInfo>& entries);
// The time of an entry or a file as archives keep it: its DOS date-time, local, in two-second steps.
TDateTime ZipTimeOf(std::time_t seconds);
// The percentage of Part in Whole (100 for an empty whole).
int Percent(std::int64_t part, std::int64_t whole);
// How much smaller the compressed form is, in percent (0 for an empty file).
int CompressionRatio(std::int64_t size, std::int64_t compressedSize);

// Marks the component busy for the life of one operation, so that an event cannot start another.
class TBusyGuard {
public:
    explicit TBusyGuard(bool& busy) : m_busy(busy) { m_busy = true; }
    ~TBusyGuard() { m_busy = false; }
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;

private:
    bool& m_busy;
};

// The directory of the archive a compression updates, for the look-ups of its events. Whether an entry may be
// kept (it opens with the run's password, and its data still matches its CRC) is found out by worker threads
// as soon as the first question comes, each over an archive handle of its own, since each answer costs a key
// derivation and a read of the entry's data. An answer the asking thread finds out itself is read through
// the run's own handle (RunArchive), which that thread alone uses and which outlives every question: opening
// one more handle would read the whole directory again.
class TZipComponent::TExistingArchive {
public:
    TExistingArchive(std::string path, std::string password, std::vector<TZipEntryInfo> entries,
                     zip_t* runArchive);
    ~TExistingArchive();
    TExistingArchive(const TExistingArchive&) = delete;
    TExistingArchive& operator=(const TExistingArchive&) = delete;

    const std::vector<TZipEntryInfo>& Entries() const { return m_entries; }
    // The index of the entry stored as Name, or -1.
    std::int64_t Find(const std::string& name) const;
    // The entry is protected as the run asks: AES-256 opening with the password, or unencrypted without one.
    bool MatchesEncryption(std::size_t index);
    // The entry matches its encryption and its data reads back whole and matches its CRC.
    bool Intact(std::size_t index);

private:
    enum : int { Unknown = 0, Checking = 1, Sound = 2, Damaged = 3, Refused = 4 };
    // The entry could be kept at all: its encryption is the one the run asks for, as far as the directory
    // tells.
    bool Keepable(std::size_t index) const;
    // Waits for the check of the entry, doing it on the calling thread when no worker has begun it.
    int CheckedState(std::size_t index);
    // How many threads check ahead.
    unsigned CheckThreads() const;
    void StartChecks();
    void CheckWorker();
    zip_t* OpenOwnHandle();
    bool Claim(std::size_t index);
    void Check(zip_t* archive, std::size_t index, std::vector<char>& buffer);

    std::string m_path;
    std::string m_password;
    std::vector<TZipEntryInfo> m_entries;
    std::unordered_map<std::string, std::size_t> m_index;

    std::unique_ptr<std::atomic<int>[]> m_state;
    std::atomic<std::size_t> m_nextCheck{0};
    std::atomic<bool> m_stop{false};
    bool m_started = false;
    zip_t* m_runArchive; // not owned; for answers the calling thread finds out itself
    std::vector<char> m_ownBuffer;
    std::mutex m_openMutex;
    std::vector<std::thread> m_workers;
};
