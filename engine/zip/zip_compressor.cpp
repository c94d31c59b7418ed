// Parallel deflate of whole files into a spool.
#include "engine/zip/zip_compressor.h"
#include "engine/zip/zip_compressor_records.h"

#include "engine/zip/zip_codes.h"
#include "platform/durable_file.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::size_t ReadBlockSize = 256 << 10;
constexpr std::size_t OutputBlockSize = 1 << 20;
constexpr std::size_t DictionarySize = 32 << 10;
// The last read of a block that another block follows holds the whole dictionary of the next one.
static_assert(TParallelCompressor::BlockSize % ReadBlockSize == 0 && ReadBlockSize >= DictionarySize);

} // namespace

void TParallelCompressor::TSpooled::Add(const TExtent& extent) {
    CompressedSize += extent.Length;
    if (First.Length == 0)
        First = extent;
    else if (!More && First.Offset + First.Length == extent.Offset)
        First.Length += extent.Length; // one worker's consecutive writes
    else if (More && More->back().Offset + More->back().Length == extent.Offset)
        More->back().Length += extent.Length;
    else {
        if (!More)
            More = std::make_unique<std::vector<TExtent>>();
        More->push_back(extent);
    }
}

TParallelCompressor::TParallelCompressor() {
    zip_error_init(&m_readError);
}

TParallelCompressor::~TParallelCompressor() {
    Cancel();
    for (std::thread& worker : m_workers)
        worker.join();
    if (m_spoolFd >= 0)
        ::close(m_spoolFd);
    zip_error_fini(&m_readError);
}

bool TParallelCompressor::Start(const std::string& spoolFolder, std::size_t count, TInputOf input, int level,
                                unsigned threads) {
    m_level = level;
    std::string spoolName;
    const platform::Result<int> spool = platform::CreateTemporarySibling(
        platform::IncludeTrailingPathDelimiter(spoolFolder) + "spool", 0600, spoolName);
    if (!spool)
        return false;
    m_spoolFd = spool.Value();
    // Unlinked at once, so that no spool outlives the run, whatever happens to the process.
    ::unlink(spoolName.c_str());
    m_input = std::move(input);
    m_count = count;
    m_files = std::make_unique<TFile[]>(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t size = m_input(i).Size;
        if (size > SplitSize) {
            TFileExtra& extra = m_files[i].MadeExtra();
            extra.BlockCount = static_cast<std::uint32_t>((size + BlockSize - 1) / BlockSize);
            extra.BlocksLeft = extra.BlockCount;
        }
    }
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));
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
    TFile& file = m_files[index];
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
    if (progress.State == TCompressState::Failed && file.Extra) {
        progress.Reason = file.Extra->Reason;
        progress.Error = file.Extra->Error;
    }
    return progress;
}

namespace {

// A buffer left uninitialised: the pages that small files never reach are never touched, so they take no
// room, and eight workers' buffers cost little in a run of tiny files.
class TBuffer {
public:
    explicit TBuffer(std::size_t size)
        : m_data(std::make_unique_for_overwrite<unsigned char[]>(size)), m_size(size) {}
    unsigned char* data() { return m_data.get(); }
    std::size_t size() const { return m_size; }

private:
    std::unique_ptr<unsigned char[]> m_data;
    std::size_t m_size;
};

} // namespace

// What one worker reuses from file to file: its buffers and its deflate state.
struct TParallelCompressor::TWorkspace {
    explicit TWorkspace(int level) : In(ReadBlockSize), Out(OutputBlockSize), Dictionary(DictionarySize) {
        Ready = deflateInit2(&Stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~TWorkspace() {
        if (Ready)
            deflateEnd(&Stream);
    }
    TWorkspace(const TWorkspace&) = delete;
    TWorkspace& operator=(const TWorkspace&) = delete;

    TBuffer In;
    TBuffer Out;
    TBuffer Dictionary;
    z_stream Stream{};
    bool Ready = false;
};

// Files in order; the blocks of a large file one after another, so that all workers share it.
bool TParallelCompressor::NextJob(std::size_t& file, std::uint32_t& block) {
    std::lock_guard lock(m_jobMutex);
    if (m_nextFile >= m_count)
        return false;
    file = m_nextFile;
    block = m_nextBlock;
    TFile& next = m_files[file];
    if (block == 0) {
        next.State = TCompressState::Running;
        // Made here, under the lock, so that every block's worker finds it.
        if (next.BlockCount() > 1)
            next.Extra->Blocks = std::make_unique<TBlock[]>(next.BlockCount());
    }
    if (++m_nextBlock >= next.BlockCount()) {
        m_nextBlock = 0;
        ++m_nextFile;
    }
    return true;
}

void TParallelCompressor::Work() {
    TWorkspace workspace(m_level);
    std::size_t index = 0;
    std::uint32_t block = 0;
    while (!m_cancelled.load() && m_spoolError.load() == 0 && NextJob(index, block)) {
        if (m_files[index].BlockCount() == 1)
            Compress(index, workspace);
        else
            CompressBlock(index, block, workspace);
        Notify();
    }
}

bool TParallelCompressor::SpoolWrite(const unsigned char* data, std::size_t size, TSpooled& spooled) {
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
    spooled.Add({offset, static_cast<std::int64_t>(size)});
    return true;
}

// Keeps a finished file's result in its record and marks it done.
void TParallelCompressor::Finish(TFile& file, std::int64_t size, std::uint32_t crc, std::time_t modified,
                                 std::uint16_t mode, TSpooled& spooled) {
    file.Crc = crc;
    file.Modified = modified;
    file.Mode = mode;
    file.Offset = spooled.First.Offset;
    if (spooled.More) {
        TFileExtra& extra = file.MadeExtra();
        extra.Extents.assign(1, spooled.First);
        extra.Extents.insert(extra.Extents.end(), spooled.More->begin(), spooled.More->end());
    }
    file.BytesRead = size;
    file.BytesOut = spooled.CompressedSize;
    file.State = TCompressState::Done;
}

void TParallelCompressor::Fail(TFile& file, int reason, int error) {
    TFileExtra& extra = file.MadeExtra();
    extra.Reason = reason;
    extra.Error = error;
    file.State = TCompressState::Failed;
}

std::size_t TParallelCompressor::ExtentCount(const TFile& file) const {
    if (file.Extra && !file.Extra->Extents.empty())
        return file.Extra->Extents.size();
    return file.BytesOut.load() == 0 ? 0 : 1;
}

TParallelCompressor::TExtent TParallelCompressor::Extent(const TFile& file, std::size_t i) const {
    if (file.Extra && !file.Extra->Extents.empty())
        return file.Extra->Extents[i];
    return {file.Offset, file.BytesOut.load()};
}

namespace {

// Deflates In into the spool through the workspace's output buffer.
class TDeflater {
public:
    using TWrite = std::function<bool(const unsigned char*, std::size_t)>;
    TDeflater(z_stream& stream, TBuffer& out, TWrite write)
        : m_stream(stream), m_out(out), m_write(std::move(write)) {
        m_stream.next_out = m_out.data();
        m_stream.avail_out = static_cast<uInt>(m_out.size());
    }

    bool Feed(const unsigned char* data, std::size_t size) {
        m_stream.next_in = const_cast<unsigned char*>(data);
        m_stream.avail_in = static_cast<uInt>(size);
        while (m_stream.avail_in > 0) {
            deflate(&m_stream, Z_NO_FLUSH);
            if (m_stream.avail_out == 0 && !Drain())
                return false;
        }
        return true;
    }

    // Z_FINISH ends the stream; Z_SYNC_FLUSH ends the block's output on a byte boundary, leaving the stream
    // open for the block after it.
    bool End(int flush) {
        for (;;) {
            const int status = deflate(&m_stream, flush);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return false;
            const bool done = flush == Z_FINISH ? status == Z_STREAM_END : m_stream.avail_out != 0;
            if (!Drain())
                return false;
            if (done)
                return true;
        }
    }

private:
    bool Drain() {
        const std::size_t used = m_out.size() - m_stream.avail_out;
        if (used > 0 && !m_write(m_out.data(), used))
            return false;
        m_stream.next_out = m_out.data();
        m_stream.avail_out = static_cast<uInt>(m_out.size());
        return true;
    }

    z_stream& m_stream;
    TBuffer& m_out;
    TWrite m_write;
};

std::uint32_t CrcOf(const unsigned char* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32_z(crc32(0, nullptr, 0), data, size));
}

} // namespace

void TParallelCompressor::Compress(std::size_t index, TWorkspace& workspace) {
    TFile& file = m_files[index];
    file.State = TCompressState::Running;
    auto failed = [this, &file](int reason, int error) { Fail(file, reason, error); };
    platform::File input;
    if (const platform::Status opened = input.OpenRead(m_input(index).Path); !opened)
        return failed(ZipSkipReason::OpenFile, opened.Code());
    struct stat st {};
    if (::fstat(input.Fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(ZipSkipReason::OpenFile, errno ? errno : EINVAL);
    TSpooled spooled;
    if (!workspace.Ready || deflateReset(&workspace.Stream) != Z_OK)
        return failed(ZipSkipReason::Compress, ENOMEM);

    TBuffer& in = workspace.In;
    TDeflater deflater(workspace.Stream, workspace.Out, [&](const unsigned char* data, std::size_t size) {
        if (!SpoolWrite(data, size, spooled))
            return false;
        file.BytesOut = spooled.CompressedSize;
        return true;
    });
    const std::int64_t size = st.st_size;
    std::int64_t total = 0;
    uLong crc = crc32(0, nullptr, 0);
    while (total < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - total, in.size()));
        const platform::Result<std::int64_t> read = input.Read(in.data(), want);
        if (!read)
            return failed(ZipSkipReason::ReadFile, read.Status().Code());
        const std::int64_t n = read.Value();
        if (n == 0)
            break;
        crc = crc32_z(crc, in.data(), static_cast<z_size_t>(n));
        if (!deflater.Feed(in.data(), static_cast<std::size_t>(n)))
            return failed(ZipSkipReason::Compress, m_spoolError.load());
        total += n;
        file.BytesRead = total;
        if (m_cancelled.load())
            return;
        Notify();
    }
    // An empty file is stored: it has no deflate stream.
    if (total > 0 && !deflater.End(Z_FINISH))
        return failed(ZipSkipReason::Compress, m_spoolError.load());
    Finish(file, total, static_cast<std::uint32_t>(crc), st.st_mtime,
           static_cast<std::uint16_t>(st.st_mode & 07777), spooled);
}

// Deflates one block of a large file: primed with the 32 KiB before it, ended on a byte boundary unless it
// is the last one. A file whose size differs from the one examined is marked changed and compressed whole.
void TParallelCompressor::CompressBlock(std::size_t index, std::uint32_t blockIndex, TWorkspace& workspace) {
    TFile& file = m_files[index];
    TBlock& block = file.Extra->Blocks[blockIndex];
    const auto finish = [&] {
        if (file.Extra->BlocksLeft.fetch_sub(1) == 1)
            JoinBlocks(index, workspace);
    };
    const auto failed = [&](int reason, int error) {
        block.Reason = reason;
        block.Error = error;
        finish();
    };
    const TCompressInput input = m_input(index);
    const std::int64_t begin = static_cast<std::int64_t>(blockIndex) * BlockSize;
    const bool last = blockIndex + 1 == file.BlockCount();
    const std::int64_t length = last ? input.Size - begin : BlockSize;
    platform::File in;
    if (const platform::Status opened = in.OpenRead(input.Path); !opened)
        return failed(ZipSkipReason::OpenFile, opened.Code());
    struct stat st {};
    if (::fstat(in.Fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(ZipSkipReason::OpenFile, errno ? errno : EINVAL);
    block.Modified = st.st_mtime;
    block.Mode = static_cast<std::uint16_t>(st.st_mode & 07777);
    if (st.st_size != input.Size) {
        block.Changed = true;
        return finish();
    }
    if (!workspace.Ready || deflateReset(&workspace.Stream) != Z_OK)
        return failed(ZipSkipReason::Compress, ENOMEM);

    // Reads exactly Size bytes, or marks the file changed.
    const auto readExactly = [&](unsigned char* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const platform::Result<std::int64_t> read = in.Read(data + done, size - done);
            if (!read) {
                failed(ZipSkipReason::ReadFile, read.Status().Code());
                return false;
            }
            const std::int64_t n = read.Value();
            if (n == 0) {
                block.Changed = true;
                finish();
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    };
    const std::size_t dictionary = static_cast<std::size_t>(std::min<std::int64_t>(begin, DictionarySize));
    if (const platform::Status sought = in.Seek(begin - static_cast<std::int64_t>(dictionary)); !sought)
        return failed(ZipSkipReason::ReadFile, sought.Code());
    if (dictionary > 0) {
        if (!readExactly(workspace.Dictionary.data(), dictionary))
            return;
        block.DictionaryCrc = CrcOf(workspace.Dictionary.data(), dictionary);
        if (deflateSetDictionary(&workspace.Stream, workspace.Dictionary.data(),
                                 static_cast<uInt>(dictionary)) != Z_OK)
            return failed(ZipSkipReason::Compress, 0);
    }

    TDeflater deflater(workspace.Stream, workspace.Out, [&](const unsigned char* data, std::size_t size) {
        if (!SpoolWrite(data, size, block.Data))
            return false;
        file.BytesOut += static_cast<std::int64_t>(size);
        return true;
    });
    TBuffer& buffer = workspace.In;
    uLong crc = crc32(0, nullptr, 0);
    for (std::int64_t done = 0; done < length;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(length - done, buffer.size()));
        if (!readExactly(buffer.data(), want))
            return;
        crc = crc32_z(crc, buffer.data(), want);
        if (!deflater.Feed(buffer.data(), want))
            return failed(ZipSkipReason::Compress, m_spoolError.load());
        done += static_cast<std::int64_t>(want);
        if (!last && done == length)
            block.TailCrc = CrcOf(buffer.data() + want - DictionarySize, DictionarySize);
        file.BytesRead += static_cast<std::int64_t>(want);
        if (m_cancelled.load()) {
            block.Cancelled = true;
            return finish();
        }
        Notify();
    }
    if (!deflater.End(last ? Z_FINISH : Z_SYNC_FLUSH))
        return failed(ZipSkipReason::Compress, m_spoolError.load());
    block.Size = length;
    block.Crc = static_cast<std::uint32_t>(crc);
    finish();
}

// Run by the worker that ended the last block of a file: joins the blocks into the file's result. A block
// primed with bytes other than those its neighbour compressed (the file was written to meanwhile) would make
// an entry that fails its CRC, so such a file is compressed again as a whole.
void TParallelCompressor::JoinBlocks(std::size_t index, TWorkspace& workspace) {
    TFile& file = m_files[index];
    TFileExtra& extra = *file.Extra;
    const std::unique_ptr<TBlock[]> blocks = std::move(extra.Blocks);
    bool whole = false;
    for (std::uint32_t i = 0; i < extra.BlockCount; ++i) {
        const TBlock& block = blocks[i];
        if (block.Cancelled)
            return;
        if (block.Reason != 0)
            return Fail(file, block.Reason, block.Error);
        whole = whole || block.Changed || (i > 0 && block.DictionaryCrc != blocks[i - 1].TailCrc);
    }
    // The spool keeps the blocks' data until it is closed; a changed file is rare.
    if (whole) {
        file.BytesRead = 0;
        file.BytesOut = 0;
        return Compress(index, workspace);
    }
    TSpooled spooled;
    std::int64_t size = 0;
    std::uint32_t crc = blocks[0].Crc;
    for (std::uint32_t i = 0; i < extra.BlockCount; ++i) {
        const TBlock& block = blocks[i];
        if (i > 0)
            crc = static_cast<std::uint32_t>(crc32_combine(crc, block.Crc, block.Size));
        size += block.Size;
        for (std::size_t e = 0; e < block.Data.ExtentCount(); ++e)
            spooled.Add(block.Data.Extent(e));
    }
    Finish(file, size, crc, blocks[0].Modified, blocks[0].Mode, spooled);
}

TCompressedFile TParallelCompressor::Result(std::size_t index) const {
    const TFile& file = m_files[index];
    TCompressedFile result;
    result.Size = file.BytesRead.load();
    result.CompressedSize = file.BytesOut.load();
    result.Crc = file.Crc;
    result.Method = result.Size == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    result.Modified = file.Modified;
    result.Mode = file.Mode;
    return result;
}

void TParallelCompressor::Join() {
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}
