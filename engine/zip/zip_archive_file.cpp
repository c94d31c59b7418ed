// Locating, opening and rewriting zip archives that may follow a self-extractor stub.
#include "engine/zip/zip_archive_file.h"

#include "platform/durable_file.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t EndOfCentralDirectorySignature = 0x06054b50;
constexpr std::uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t Zip64EndSignature = 0x06064b50;
constexpr std::int64_t EndRecordSize = 22;
constexpr std::int64_t Zip64LocatorSize = 20;
constexpr std::int64_t Zip64EndRecordSize = 56;
constexpr std::int64_t MaxCommentSize = 0xFFFF;
constexpr std::size_t WriteBufferSize = 1 << 20;
// libzip reads the directory and each kept entry's header and data a few bytes at a time: reads smaller than
// a quarter of this are served from a window read ahead in one call.
constexpr std::size_t ReadAheadSize = 1 << 20;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

bool ReadAt(int fd, std::int64_t offset, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset) + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The start computed from a zip64 end record, which the locator just before the classic record points at.
std::int64_t Zip64Start(int fd, std::int64_t endRecordPos) {
    const std::int64_t locatorPos = endRecordPos - Zip64LocatorSize;
    const std::int64_t zip64Pos = locatorPos - Zip64EndRecordSize;
    unsigned char locator[Zip64LocatorSize];
    unsigned char record[Zip64EndRecordSize];
    if (zip64Pos < 0 || !ReadAt(fd, locatorPos, locator, sizeof locator) ||
        Le32(locator) != Zip64LocatorSignature || !ReadAt(fd, zip64Pos, record, sizeof record) ||
        Le32(record) != Zip64EndSignature)
        return -1;
    const std::uint64_t recordedPos = Le64(locator + 8);
    if (recordedPos > static_cast<std::uint64_t>(zip64Pos))
        return -1;
    return zip64Pos - static_cast<std::int64_t>(recordedPos);
}

} // namespace

std::int64_t FindZipStart(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < EndRecordSize)
        return -1;
    const std::int64_t size = st.st_size;
    const std::int64_t tailSize = std::min<std::int64_t>(size, EndRecordSize + MaxCommentSize);
    std::vector<unsigned char> tail(static_cast<std::size_t>(tailSize));
    if (!ReadAt(fd, size - tailSize, tail.data(), tail.size()))
        return -1;
    for (std::int64_t i = tailSize - EndRecordSize; i >= 0; --i) {
        const unsigned char* p = tail.data() + i;
        if (Le32(p) != EndOfCentralDirectorySignature)
            continue;
        const std::int64_t recordPos = size - tailSize + i;
        const std::int64_t commentSize = p[20] | p[21] << 8;
        if (recordPos + EndRecordSize + commentSize > size)
            continue;
        // A zip64 end record and its locator, when present, lie between the directory and this record.
        if (const std::int64_t start = Zip64Start(fd, recordPos); start >= 0)
            return start;
        const std::uint32_t directorySize = Le32(p + 12);
        const std::uint32_t directoryOffset = Le32(p + 16);
        const std::int64_t start = recordPos - static_cast<std::int64_t>(directorySize) - directoryOffset;
        return start >= 0 ? start : 0;
    }
    return -1;
}

std::int64_t FindZipStart(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const std::int64_t start = FindZipStart(fd);
    ::close(fd);
    return start;
}

zip_t* OpenZipArchiveReadOnly(const std::string& path, zip_error_t& error) {
    zip_error_init(&error);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        zip_error_set(&error, errno == ENOENT ? ZIP_ER_NOENT : ZIP_ER_OPEN, errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        zip_error_set(&error, ZIP_ER_OPEN, EISDIR);
        return nullptr;
    }
    const std::int64_t start = std::max<std::int64_t>(FindZipStart(path), 0);
    zip_source_t* source = zip_source_file_create(path.c_str(), static_cast<zip_uint64_t>(start), -1, &error);
    if (!source)
        return nullptr;
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive)
        zip_source_free(source);
    return archive;
}

TArchiveFileSource::TArchiveFileSource(std::string path, std::int64_t start, std::vector<char> stub,
                                       mode_t mode)
    : m_path(std::move(path)), m_start(start), m_stub(std::move(stub)), m_mode(mode) {
    zip_error_init(&m_error);
}

TArchiveFileSource::~TArchiveFileSource() {
    RollbackWrite();
    if (m_readFd >= 0)
        ::close(m_readFd);
    zip_error_fini(&m_error);
}

zip_source_t* TArchiveFileSource::CreateSource(zip_error_t& error) {
    return zip_source_function_create(&TArchiveFileSource::Callback, this, &error);
}

zip_int64_t TArchiveFileSource::Callback(void* state, void* data, zip_uint64_t length,
                                         zip_source_cmd_t command) {
    return static_cast<TArchiveFileSource*>(state)->Handle(data, length, command);
}

zip_int64_t TArchiveFileSource::Fail(int zipError, int systemError) {
    zip_error_set(&m_error, zipError, systemError);
    return -1;
}

zip_int64_t TArchiveFileSource::Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return Open();
    case ZIP_SOURCE_READ:
        return Read(data, length);
    case ZIP_SOURCE_CLOSE:
        if (m_readFd >= 0)
            ::close(m_readFd);
        m_readFd = -1;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t pos =
            zip_source_seek_compute_offset(static_cast<zip_uint64_t>(m_readPos),
                                           static_cast<zip_uint64_t>(m_readLength), data, length, &m_error);
        if (pos < 0)
            return -1;
        m_readPos = pos;
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return m_readPos;
    case ZIP_SOURCE_STAT:
        return Stat(data, length);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&m_error, data, length);
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_BEGIN_WRITE:
        return BeginWrite();
    case ZIP_SOURCE_WRITE:
        return Write(data, length);
    case ZIP_SOURCE_SEEK_WRITE:
        return SeekWrite(data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return m_writePos;
    case ZIP_SOURCE_COMMIT_WRITE:
        return CommitWrite();
    case ZIP_SOURCE_ROLLBACK_WRITE:
        RollbackWrite();
        return 0;
    case ZIP_SOURCE_REMOVE:
        // An archive left without entries keeps the old file: the caller never empties an archive.
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_WRITABLE;
    default:
        return Fail(ZIP_ER_OPNOTSUPP, 0);
    }
}

zip_int64_t TArchiveFileSource::Stat(void* data, zip_uint64_t length) {
    zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &m_error);
    if (!st)
        return -1;
    struct stat file {};
    if (::stat(m_path.c_str(), &file) != 0)
        // libzip takes a read error carrying ENOENT as "no archive yet".
        return Fail(ZIP_ER_READ, errno);
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    st->size = static_cast<zip_uint64_t>(std::max<std::int64_t>(file.st_size - m_start, 0));
    st->mtime = file.st_mtime;
    return sizeof(*st);
}

zip_int64_t TArchiveFileSource::Open() {
    if (int fault = platform::InjectedFault(platform::FaultOp::OpenRead, m_path))
        return Fail(ZIP_ER_OPEN, fault);
    m_readFd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_readFd < 0)
        return Fail(ZIP_ER_OPEN, errno);
    struct stat file {};
    if (::fstat(m_readFd, &file) != 0)
        return Fail(ZIP_ER_READ, errno);
    m_readLength = std::max<std::int64_t>(file.st_size - m_start, 0);
    m_readPos = 0;
    m_aheadPos = m_aheadLength = 0;
    return 0;
}

zip_int64_t TArchiveFileSource::Read(void* data, zip_uint64_t length) {
    const std::int64_t left = m_readLength - m_readPos;
    if (left <= 0)
        return 0;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, static_cast<std::uint64_t>(left)));
    if (want < ReadAheadSize / 4) {
        const bool inWindow = m_readPos >= m_aheadPos && m_readPos < m_aheadPos + m_aheadLength;
        if (!inWindow && !ReadAhead(left))
            return -1;
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(want), m_aheadPos + m_aheadLength - m_readPos));
        std::memcpy(data, m_ahead.data() + (m_readPos - m_aheadPos), n);
        m_readPos += static_cast<std::int64_t>(n);
        return static_cast<zip_int64_t>(n);
    }
    ssize_t n;
    do {
        n = ::pread(m_readFd, data, want, static_cast<off_t>(m_start + m_readPos));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return Fail(ZIP_ER_READ, errno);
    m_readPos += n;
    return n;
}

// Fills the window from the read position on, with at most Left bytes.
bool TArchiveFileSource::ReadAhead(std::int64_t left) {
    m_ahead.resize(ReadAheadSize);
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, ReadAheadSize));
    ssize_t n;
    do {
        n = ::pread(m_readFd, m_ahead.data(), want, static_cast<off_t>(m_start + m_readPos));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        Fail(n < 0 ? ZIP_ER_READ : ZIP_ER_EOF, n < 0 ? errno : 0);
        return false;
    }
    m_aheadPos = m_readPos;
    m_aheadLength = n;
    return true;
}

zip_int64_t TArchiveFileSource::BeginWrite() {
    RollbackWrite();
    // What a killed run left beside the archive goes before this run writes there.
    if (const platform::Status opened = m_writer.Open(m_path, m_mode); !opened)
        return Fail(ZIP_ER_TMPOPEN, opened.Code());
    m_writePos = m_writeEnd = m_bufferPos = 0;
    m_buffer.clear();
    if (!m_stub.empty())
        if (const platform::Status written = m_writer.Write(m_stub.data(), m_stub.size()); !written) {
            RollbackWrite();
            return Fail(ZIP_ER_WRITE, written.Code());
        }
    return 0;
}

bool TArchiveFileSource::Flush() {
    if (m_buffer.empty())
        return true;
    const std::int64_t base = static_cast<std::int64_t>(m_stub.size()) + m_bufferPos;
    if (const platform::Status written = m_writer.WriteAt(m_buffer.data(), m_buffer.size(), base); !written)
        return Fail(ZIP_ER_WRITE, written.Code()), false;
    m_buffer.clear();
    return true;
}

zip_int64_t TArchiveFileSource::Write(const void* data, zip_uint64_t length) {
    if (!m_writer.IsOpen())
        return Fail(ZIP_ER_WRITE, EBADF);
    const bool contiguous = m_writePos == m_bufferPos + static_cast<std::int64_t>(m_buffer.size());
    if (!contiguous || m_buffer.size() + length > WriteBufferSize) {
        if (!Flush())
            return -1;
        m_bufferPos = m_writePos;
    }
    const char* bytes = static_cast<const char*>(data);
    m_buffer.insert(m_buffer.end(), bytes, bytes + length);
    m_writePos += static_cast<std::int64_t>(length);
    m_writeEnd = std::max(m_writeEnd, m_writePos);
    if (m_buffer.size() >= WriteBufferSize && !Flush())
        return -1;
    if (m_buffer.empty())
        m_bufferPos = m_writePos;
    return static_cast<zip_int64_t>(length);
}

zip_int64_t TArchiveFileSource::SeekWrite(void* data, zip_uint64_t length) {
    const zip_source_args_seek_t* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &m_error);
    if (!args)
        return -1;
    std::int64_t base;
    switch (args->whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = m_writePos;
        break;
    case SEEK_END:
        base = m_writeEnd;
        break;
    default:
        return Fail(ZIP_ER_INVAL, 0);
    }
    if (base + args->offset < 0)
        return Fail(ZIP_ER_INVAL, 0);
    m_writePos = base + args->offset;
    return 0;
}

zip_int64_t TArchiveFileSource::CommitWrite() {
    if (!m_writer.IsOpen())
        return Fail(ZIP_ER_WRITE, EBADF);
    if (!Flush())
        return -1;
    // A failed sync is a failed write; anything after it, a failed rename.
    if (const platform::Status synced = m_writer.Sync(); !synced)
        return Fail(ZIP_ER_WRITE, synced.Code());
    if (const platform::Status committed = m_writer.Commit(); !committed)
        return Fail(ZIP_ER_RENAME, committed.Code());
    return 0;
}

void TArchiveFileSource::RollbackWrite() {
    m_writer.Abandon();
    m_buffer.clear();
}
