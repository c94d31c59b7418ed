// Compressing the files of an archive in parallel. Worker threads deflate files (raw deflate) into one
// unlinked spool file; libzip later takes each result as already-compressed data. A file that cannot be read
// therefore drops out on its own instead of failing the archive, and the slow part runs on every core. A
// large file is cut into blocks that several workers deflate at once: each block is primed with the 32 KiB
// before it as its dictionary and ends on a byte boundary, so the blocks joined in order are one ordinary
// deflate stream, and the file's CRC is combined from theirs.
#pragma once

#include <zip.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

enum class TCompressState : std::uint8_t { Waiting, Running, Done, Failed };

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
    std::int16_t Method = ZIP_CM_DEFLATE; // ZIP_CM_STORE for an empty file
    std::time_t Modified = 0;
    std::uint16_t Mode = 0644; // the permission bits
};

// What the compressor is told of a file: its path and the size it had when it was examined, which decides
// whether it is cut into blocks.
struct TCompressInput {
    std::string Path;
    std::int64_t Size;
};

class TParallelCompressor {
public:
    TParallelCompressor();
    ~TParallelCompressor();
    TParallelCompressor(const TParallelCompressor&) = delete;
    TParallelCompressor& operator=(const TParallelCompressor&) = delete;

    // Files larger than this are deflated in blocks of BlockSize.
    static constexpr std::int64_t BlockSize = 1 << 20;
    static constexpr std::int64_t SplitSize = 2 * BlockSize;
    // Input(i) tells file i, for i below Count; it is asked from the worker threads until the compressor is
    // destroyed, so what it returns must stay unchanged meanwhile.
    using TInputOf = std::function<TCompressInput(std::size_t)>;

    // Creates the spool in SpoolFolder and starts compressing the Count files in order on Threads workers
    // (0: one per core). False when the spool cannot be created.
    bool Start(const std::string& spoolFolder, std::size_t count, TInputOf input, int level,
               unsigned threads = 0);
    // Waits until file Index has read more than LastBytesRead bytes or has ended, or the run stopped.
    TCompressProgress Wait(std::size_t index, std::int64_t lastBytesRead);
    // Stops the workers; files not yet done stay undone.
    void Cancel();
    // errno of a failed spool write, which stops every worker; 0 otherwise.
    int SpoolError() const { return m_spoolError.load(); }
    // The result of file Index once it is Done.
    TCompressedFile Result(std::size_t index) const;
    // Waits for the workers to end once every file has ended.
    void Join();
    // A libzip source handing the compressed data of the finished file Index to libzip; it may be made
    // before Start. The compressor must outlive it.
    zip_source_t* CreateSource(std::size_t index, zip_error_t& error);

private:
    struct TExtent {
        std::int64_t Offset = 0;
        std::int64_t Length = 0;
    };
    // Where compressed data lies in the spool, in order: most files take one extent, kept inline.
    struct TSpooled {
        std::int64_t CompressedSize = 0;
        TExtent First;
        std::unique_ptr<std::vector<TExtent>> More;
        std::size_t ExtentCount() const { return First.Length == 0 ? 0 : 1 + (More ? More->size() : 0); }
        const TExtent& Extent(std::size_t i) const { return i == 0 ? First : (*More)[i - 1]; }
        void Add(const TExtent& extent);
    };
    struct TFile;
    struct TFileExtra;
    struct TBlock;
    struct TWorkspace;
    struct TSource;
    void Work();
    bool NextJob(std::size_t& file, std::uint32_t& block);
    void Compress(std::size_t index, TWorkspace& workspace);
    void CompressBlock(std::size_t index, std::uint32_t block, TWorkspace& workspace);
    void JoinBlocks(std::size_t index, TWorkspace& workspace);
    bool SpoolWrite(const unsigned char* data, std::size_t size, TSpooled& spooled);
    void Finish(TFile& file, std::int64_t size, std::uint32_t crc, std::time_t modified, std::uint16_t mode,
                TSpooled& spooled);
    void Fail(TFile& file, int reason, int error);
    std::size_t ExtentCount(const TFile& file) const;
    TExtent Extent(const TFile& file, std::size_t i) const;
    void Notify();
    zip_int64_t HandleSource(std::size_t index, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t ReadSource(void* data, zip_uint64_t length);
    void Release(const TExtent& extent);
    void PunchReleased();
    zip_int64_t SourceFailed(int zipError, int systemError);

    TInputOf m_input;
    std::size_t m_count = 0;
    std::unique_ptr<TFile[]> m_files;
    std::mutex m_jobMutex;
    std::size_t m_nextFile = 0;
    std::uint32_t m_nextBlock = 0;
    int m_level = 6;
    int m_spoolFd = -1;
    std::atomic<std::int64_t> m_spoolEnd{0};
    std::atomic<int> m_spoolError{0};
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_workers;
    std::deque<TSource> m_sources;
    // The entry libzip reads, and where.
    std::size_t m_reading = 0;
    std::size_t m_readExtent = 0;
    std::int64_t m_readOffset = 0;
    std::vector<char> m_ahead; // read ahead from the spool, within one extent
    std::int64_t m_aheadStart = 0;
    std::int64_t m_aheadLength = 0;
    // Read extents whose room is yet to be given up: they lie one after another.
    std::int64_t m_releaseStart = 0;
    std::int64_t m_releaseEnd = 0;
    zip_error_t m_readError;
};
