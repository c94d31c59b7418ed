// Compressing the files of an archive in parallel. Worker threads deflate whole files (raw deflate) into one
// unlinked spool file; libzip later takes each result as already-compressed data. A file that cannot be read
// therefore drops out on its own instead of failing the archive, and the slow part runs on every core.
#pragma once

#include <zip.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

enum class TCompressState { Waiting, Running, Done, Failed };

// A snapshot of one file's compression.
struct TCompressProgress {
    TCompressState State = TCompressState::Waiting;
    std::int64_t BytesRead = 0;
    std::int64_t BytesOut = 0;
    int Reason = 0; // the skip reason of a failed file (OpenFile, ReadFile)
    int Error = 0;  // its errno
};

// The compressed form of a finished file.
struct TCompressedFile {
    std::int64_t Size = 0;
    std::int64_t CompressedSize = 0;
    std::uint32_t Crc = 0;
    std::int32_t Method = ZIP_CM_DEFLATE; // ZIP_CM_STORE for an empty file
    std::time_t Modified = 0;
    mode_t Mode = 0644;
    struct TExtent {
        std::int64_t Offset;
        std::int64_t Length;
    };
    std::vector<TExtent> Extents; // where the compressed data lies in the spool, in order
};

class TParallelCompressor {
public:
    TParallelCompressor();
    ~TParallelCompressor();
    TParallelCompressor(const TParallelCompressor&) = delete;
    TParallelCompressor& operator=(const TParallelCompressor&) = delete;

    // Creates the spool in SpoolFolder and starts compressing Paths in order on Threads workers (0: one per
    // core). False when the spool cannot be created (errno set).
    bool Start(const std::string& spoolFolder, std::vector<std::string> paths, int level,
               unsigned threads = 0);
    // Waits until file Index has read more than LastBytesRead bytes or has ended, or the run stopped.
    TCompressProgress Wait(std::size_t index, std::int64_t lastBytesRead);
    // Stops the workers; files not yet done stay undone.
    void Cancel();
    // errno of a failed spool write, which stops every worker; 0 otherwise.
    int SpoolError() const { return m_spoolError.load(); }
    // The result of file Index once it is Done.
    const TCompressedFile& Result(std::size_t index) const;
    // A libzip source handing the compressed data of the finished file Index to libzip. The compressor must
    // outlive it.
    zip_source_t* CreateSource(std::size_t index, zip_error_t& error);

private:
    struct TFile;
    struct TWorkspace;
    class TSource;
    void Work();
    void Compress(TFile& file, TWorkspace& workspace);
    bool SpoolWrite(const unsigned char* data, std::size_t size, TCompressedFile& result);
    void Notify();

    std::vector<std::unique_ptr<TFile>> m_files;
    int m_level = 6;
    int m_spoolFd = -1;
    std::atomic<std::int64_t> m_spoolEnd{0};
    std::atomic<int> m_spoolError{0};
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_workers;
    std::vector<std::unique_ptr<TSource>> m_sources;
};
