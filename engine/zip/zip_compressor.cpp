// Parallel deflate of whole files into a spool, and the libzip source that reads the results back.
#include "engine/zip/zip_compressor.h"

#include "engine/zip/zip_codes.h"
#include "platform/durable_file.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::size_t ReadBlockSize = 256 << 10;
constexpr std::size_t OutputBlockSize = 1 << 20;

} // namespace

struct TParallelCompressor::TFile {
    std::string Path;
    std::atomic<TCompressState> State{TCompressState::Waiting};
    std::atomic<std::int64_t> BytesRead{0};
    std::atomic<std::int64_t> BytesOut{0};
    int Reason = 0;
    int Error = 0;
    TCompressedFile Result;
};

// Hands one finished file's compressed data to libzip. Consumed parts of the spool are released as libzip
// goes, so the spool and the new archive together take about the room of the archive alone; a source whose
// data has been released refuses to be read a second time rather than hand out zeros.
class TParallelCompressor::TSource {
public:
    TSource(TParallelCompressor& owner, std::size_t index) : m_owner(owner), m_index(index) {
        zip_error_init(&m_error);
    }
    ~TSource() { zip_error_fini(&m_error); }
    TSource(const TSource&) = delete;
    TSource& operator=(const TSource&) = delete;

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        return static_cast<TSource*>(state)->Handle(data, length, command);
    }

private:
    zip_int64_t Fail(int zipError, int systemError) {
        zip_error_set(&m_error, zipError, systemError);
        return -1;
    }

    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        const TCompressedFile& file = m_owner.Result(m_index);
        switch (command) {
        case ZIP_SOURCE_OPEN:
            if (m_released)
                return Fail(ZIP_ER_INTERNAL, 0);
            m_extent = 0;
            m_offset = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return Read(file, data, length);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &m_error);
            if (!st)
                return -1;
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                        ZIP_STAT_MTIME | ZIP_STAT_ENCRYPTION_METHOD;
            st->size = static_cast<zip_uint64_t>(file.Size);
            st->comp_size = static_cast<zip_uint64_t>(file.CompressedSize);
            st->crc = file.Crc;
            st->comp_method = file.Method;
            st->mtime = file.Modified;
            st->encryption_method = ZIP_EM_NONE;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&m_error, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_READABLE;
        default:
            return Fail(ZIP_ER_OPNOTSUPP, 0);
        }
    }

    zip_int64_t Read(const TCompressedFile& file, void* data, zip_uint64_t length) {
        while (m_extent < file.Extents.size()) {
            const TCompressedFile::TExtent& extent = file.Extents[m_extent];
            const std::int64_t left = extent.Length - m_offset;
            if (left > 0) {
                const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, left));
                ssize_t n;
                do {
                    n = ::pread(m_owner.m_spoolFd, data, want, static_cast<off_t>(extent.Offset + m_offset));
                } while (n < 0 && errno == EINTR);
                if (n < 0)
                    return Fail(ZIP_ER_READ, errno);
                if (n == 0)
                    return Fail(ZIP_ER_EOF, 0);
                m_offset += n;
                return n;
            }
            // File systems without hole punching keep the data until the spool is closed.
            ::fallocate(m_owner.m_spoolFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, extent.Offset,
                        extent.Length);
            m_released = true;
            ++m_extent;
            m_offset = 0;
        }
        return 0;
    }

    TParallelCompressor& m_owner;
    std::size_t m_index;
    zip_error_t m_error;
    std::size_t m_extent = 0;
    std::int64_t m_offset = 0;
    bool m_released = false;
};

TParallelCompressor::TParallelCompressor() = default;

TParallelCompressor::~TParallelCompressor() {
    Cancel();
    for (std::thread& worker : m_workers)
        worker.join();
    if (m_spoolFd >= 0)
        ::close(m_spoolFd);
}

bool TParallelCompressor::Start(const std::string& spoolFolder, std::vector<std::string> paths, int level,
                                unsigned threads) {
    m_level = level;
    std::string spoolName;
    m_spoolFd = platform::CreateTemporarySibling(
        platform::IncludeTrailingPathDelimiter(spoolFolder) + "spool", 0600, spoolName);
    if (m_spoolFd < 0)
        return false;
    // Unlinked at once, so that no spool outlives the run, whatever happens to the process.
    ::unlink(spoolName.c_str());
    m_files.reserve(paths.size());
    for (std::string& path : paths) {
        m_files.push_back(std::make_unique<TFile>());
        m_files.back()->Path = std::move(path);
    }
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, m_files.size()));
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { Work(); });
    return true;
}

void TParallelCompressor::Notify() {
    { std::lock_guard lock(m_mutex); }
    m_changed.notify_all();
}

void TParallelCompressor::Cancel() {
    m_cancelled = true;
    Notify();
}

TCompressProgress TParallelCompressor::Wait(std::size_t index, std::int64_t lastBytesRead) {
    TFile& file = *m_files[index];
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        const TCompressState state = file.State.load();
        return state == TCompressState::Done || state == TCompressState::Failed ||
               file.BytesRead.load() > lastBytesRead || m_cancelled.load() || m_spoolError.load() != 0;
    });
    TCompressProgress progress;
    progress.State = file.State.load();
    progress.BytesRead = file.BytesRead.load();
    progress.BytesOut = file.BytesOut.load();
    if (progress.State == TCompressState::Failed) {
        progress.Reason = file.Reason;
        progress.Error = file.Error;
    }
    return progress;
}

// What one worker reuses from file to file: its buffers and its deflate state.
struct TParallelCompressor::TWorkspace {
    explicit TWorkspace(int level) : In(ReadBlockSize), Out(OutputBlockSize) {
        Ready = deflateInit2(&Stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~TWorkspace() {
        if (Ready)
            deflateEnd(&Stream);
    }
    TWorkspace(const TWorkspace&) = delete;
    TWorkspace& operator=(const TWorkspace&) = delete;

    std::vector<unsigned char> In;
    std::vector<unsigned char> Out;
    z_stream Stream{};
    bool Ready = false;
};

void TParallelCompressor::Work() {
    TWorkspace workspace(m_level);
    for (;;) {
        const std::size_t index = m_next.fetch_add(1);
        if (index >= m_files.size() || m_cancelled.load() || m_spoolError.load() != 0)
            return;
        Compress(*m_files[index], workspace);
        Notify();
    }
}

bool TParallelCompressor::SpoolWrite(const unsigned char* data, std::size_t size, TCompressedFile& result) {
    if (size == 0)
        return true;
    const std::int64_t offset = m_spoolEnd.fetch_add(static_cast<std::int64_t>(size));
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_spoolFd, data + done, size - done, static_cast<off_t>(offset) + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int expected = 0;
            m_spoolError.compare_exchange_strong(expected, n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    result.Extents.push_back({offset, static_cast<std::int64_t>(size)});
    result.CompressedSize += static_cast<std::int64_t>(size);
    return true;
}

void TParallelCompressor::Compress(TFile& file, TWorkspace& workspace) {
    file.State = TCompressState::Running;
    auto failed = [&file](int reason, int error) {
        file.Reason = reason;
        file.Error = error;
        file.State = TCompressState::Failed;
    };
    platform::File input = platform::File::OpenRead(file.Path);
    if (!input.IsOpen())
        return failed(ZipSkipReason::OpenFile, input.Error());
    struct stat st {};
    if (::fstat(input.Fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(ZipSkipReason::OpenFile, errno ? errno : EINVAL);
    TCompressedFile& result = file.Result;
    result.Modified = st.st_mtime;
    result.Mode = st.st_mode & 07777;
    if (!workspace.Ready || deflateReset(&workspace.Stream) != Z_OK)
        return failed(ZipSkipReason::Compress, ENOMEM);

    z_stream& stream = workspace.Stream;
    std::vector<unsigned char>& in = workspace.In;
    std::vector<unsigned char>& out = workspace.Out;
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    auto drain = [&](bool force) {
        if (stream.avail_out != 0 && !force)
            return true;
        const std::size_t used = out.size() - stream.avail_out;
        if (!SpoolWrite(out.data(), used, result))
            return false;
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        file.BytesOut = result.CompressedSize;
        return true;
    };

    const std::int64_t size = st.st_size;
    std::int64_t total = 0;
    uLong crc = crc32(0, nullptr, 0);
    while (total < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - total, in.size()));
        const std::int64_t n = input.Read(in.data(), want);
        if (n < 0)
            return failed(ZipSkipReason::ReadFile, input.Error());
        if (n == 0)
            break;
        crc = crc32_z(crc, in.data(), static_cast<z_size_t>(n));
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(n);
        while (stream.avail_in > 0) {
            deflate(&stream, Z_NO_FLUSH);
            if (!drain(false))
                return failed(ZipSkipReason::Compress, m_spoolError.load());
        }
        total += n;
        file.BytesRead = total;
        if (m_cancelled.load())
            return;
        Notify();
    }
    result.Size = total;
    result.Crc = static_cast<std::uint32_t>(crc);
    if (total == 0) {
        result.Method = ZIP_CM_STORE;
        file.State = TCompressState::Done;
        return;
    }
    int status;
    do {
        status = deflate(&stream, Z_FINISH);
        if (!drain(status == Z_STREAM_END))
            return failed(ZipSkipReason::Compress, m_spoolError.load());
    } while (status == Z_OK || status == Z_BUF_ERROR);
    if (status != Z_STREAM_END)
        return failed(ZipSkipReason::Compress, 0);
    result.Method = ZIP_CM_DEFLATE;
    file.BytesOut = result.CompressedSize;
    file.State = TCompressState::Done;
}

const TCompressedFile& TParallelCompressor::Result(std::size_t index) const {
    return m_files[index]->Result;
}

zip_source_t* TParallelCompressor::CreateSource(std::size_t index, zip_error_t& error) {
    m_sources.push_back(std::make_unique<TSource>(*this, index));
    return zip_source_function_create(&TSource::Callback, m_sources.back().get(), &error);
}
