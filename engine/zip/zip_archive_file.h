// Zip archives inside files: where the archive begins when a self-extractor stub comes first, opening such a
// file for reading, and a libzip source that reads the existing archive and writes its replacement (stub,
// then archive) to a hidden temporary file that is synced and renamed over the old one only once complete.
#pragma once

#include "platform/durable_file.h"

#include <sys/types.h>
#include <zip.h>

#include <cstdint>
#include <string>
#include <vector>

// The offset at which the zip archive inside the file begins (the length of a stub in front of it): 0 for a
// plain zip; -1 when the file holds no end-of-central-directory record or cannot be read.
std::int64_t FindZipStart(int fd);
std::int64_t FindZipStart(const std::string& path);

// Opens the archive in the file at Path read-only, wherever it begins in the file. nullptr on failure, with
// libzip's error in Error: ZIP_ER_NOENT for a missing file, ZIP_ER_NOZIP also for an empty one.
zip_t* OpenZipArchiveReadOnly(const std::string& path, zip_error_t& error);

// The libzip source of an archive that is being updated or written anew. It reads the archive at Path from
// its start on, and writes the new archive as Stub followed by the zip data to a temporary file beside Path;
// committing syncs that file and renames it over Path, rolling back removes it. The object must outlive
// the zip_t that uses its source.
class TArchiveFileSource {
public:
    TArchiveFileSource(std::string path, std::int64_t start, std::vector<char> stub, mode_t mode);
    ~TArchiveFileSource();
    TArchiveFileSource(const TArchiveFileSource&) = delete;
    TArchiveFileSource& operator=(const TArchiveFileSource&) = delete;

    // A new libzip source over this object; nullptr on failure.
    zip_source_t* CreateSource(zip_error_t& error);
    // The temporary file being written, empty when none exists.
    const std::string& TempName() const { return m_writer.TempName(); }

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Fail(int zipError, int systemError);
    zip_int64_t Stat(void* data, zip_uint64_t length);
    zip_int64_t Open();
    zip_int64_t Read(void* data, zip_uint64_t length);
    bool ReadAhead(std::int64_t left);
    zip_int64_t BeginWrite();
    zip_int64_t Write(const void* data, zip_uint64_t length);
    zip_int64_t SeekWrite(void* data, zip_uint64_t length);
    zip_int64_t CommitWrite();
    void RollbackWrite();
    bool Flush();

    std::string m_path;
    std::int64_t m_start;
    std::vector<char> m_stub;
    mode_t m_mode;
    zip_error_t m_error;

    int m_readFd = -1;
    std::int64_t m_readLength = 0;
    std::int64_t m_readPos = 0;
    std::vector<char> m_ahead; // read ahead from m_aheadPos on
    std::int64_t m_aheadPos = 0;
    std::int64_t m_aheadLength = 0;

    platform::DurableWriter m_writer;
    std::int64_t m_writePos = 0; // relative to the archive's start, after the stub
    std::int64_t m_writeEnd = 0; // the furthest byte written
    std::vector<char> m_buffer;  // data not yet written, beginning at m_bufferPos
    std::int64_t m_bufferPos = 0;
};
