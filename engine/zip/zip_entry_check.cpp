// The central directory's entry offsets and the one-read check of an entry's data.
#include "engine/zip/zip_entry_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t CentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t LocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t Zip64EndSignature = 0x06064b50;
constexpr std::uint16_t Zip64ExtraId = 0x0001;
constexpr std::uint32_t Escaped32 = 0xFFFFFFFF;
constexpr std::size_t CentralHeaderSize = 46;
constexpr std::size_t LocalHeaderSize = 30;
constexpr std::size_t EndRecordSize = 22;
constexpr std::size_t Zip64LocatorSize = 20;
constexpr std::size_t Zip64EndSize = 56;
constexpr std::size_t MaxCommentSize = 0xFFFF;
constexpr std::size_t ReadSize = 256 << 10;
constexpr std::size_t OutputSize = 64 << 10;
// What a first read takes beyond the local header for its name and extra fields, so that a small entry
// is read in one go.
constexpr std::int64_t HeaderSlack = 1024;

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

// Up to Size bytes at Offset: the bytes read, fewer only at the end of the file; -1 on an error.
std::int64_t ReadAt(int fd, std::int64_t offset, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset) + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool ReadExactly(int fd, std::int64_t offset, unsigned char* buffer, std::size_t size) {
    return ReadAt(fd, offset, buffer, size) == static_cast<std::int64_t>(size);
}

struct TDirectoryPlace {
    std::int64_t Offset = 0; // in the file
    std::uint64_t Size = 0;
    std::uint64_t Count = 0;
};

// The zip64 end record's facts, when a locator stands just before the classic end record at RecordPos.
bool ReadZip64Place(int fd, std::int64_t start, std::int64_t recordPos, TDirectoryPlace& place) {
    unsigned char locator[Zip64LocatorSize];
    unsigned char record[Zip64EndSize];
    if (recordPos < static_cast<std::int64_t>(Zip64LocatorSize) ||
        !ReadExactly(fd, recordPos - static_cast<std::int64_t>(Zip64LocatorSize), locator, sizeof locator) ||
        Le32(locator) != Zip64LocatorSignature)
        return false;
    const std::uint64_t recordAt = Le64(locator + 8);
    if (!ReadExactly(fd, start + static_cast<std::int64_t>(recordAt), record, sizeof record) ||
        Le32(record) != Zip64EndSignature)
        return false;
    place.Count = Le64(record + 32);
    place.Size = Le64(record + 40);
    place.Offset = start + static_cast<std::int64_t>(Le64(record + 48));
    return true;
}

bool FindDirectory(int fd, std::int64_t start, TDirectoryPlace& place) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(EndRecordSize))
        return false;
    const std::int64_t size = st.st_size;
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::int64_t>(size, EndRecordSize + MaxCommentSize));
    std::vector<unsigned char> tail(tailSize);
    if (!ReadExactly(fd, size - static_cast<std::int64_t>(tailSize), tail.data(), tail.size()))
        return false;
    for (std::size_t i = tailSize - EndRecordSize + 1; i-- > 0;) {
        const unsigned char* p = tail.data() + i;
        if (Le32(p) != EndSignature || i + EndRecordSize + Le16(p + 20) > tailSize)
            continue;
        const std::int64_t recordPos = size - static_cast<std::int64_t>(tailSize - i);
        if (ReadZip64Place(fd, start, recordPos, place))
            return true;
        place.Count = Le16(p + 10);
        place.Size = Le32(p + 12);
        place.Offset = start + Le32(p + 16);
        return true;
    }
    return false;
}

// The local header offset of a central header whose classic field is escaped: the zip64 extra field holds
// the sizes that are escaped, then the offset.
bool Zip64Offset(const unsigned char* header, std::uint64_t& offset) {
    const unsigned char* extra = header + CentralHeaderSize + Le16(header + 28);
    const unsigned char* end = extra + Le16(header + 30);
    while (end - extra >= 4) {
        const std::uint16_t id = Le16(extra);
        const std::uint16_t length = Le16(extra + 2);
        const unsigned char* field = extra + 4;
        if (field + length > end)
            return false;
        if (id == Zip64ExtraId) {
            std::size_t skip = 0;
            skip += Le32(header + 24) == Escaped32 ? 8 : 0; // the size
            skip += Le32(header + 20) == Escaped32 ? 8 : 0; // the compressed size
            if (skip + 8 > length)
                return false;
            offset = Le64(field + skip);
            return true;
        }
        extra = field + length;
    }
    return false;
}

} // namespace

bool ReadEntryOffsets(int fd, std::int64_t start, std::vector<std::int64_t>& offsets) {
    offsets.clear();
    TDirectoryPlace place;
    if (!FindDirectory(fd, start, place) || place.Count > place.Size / CentralHeaderSize)
        return false;
    offsets.reserve(place.Count);
    // The directory is read in steps; a record may reach past the end of a step.
    std::vector<unsigned char> buffer;
    std::size_t begin = 0;
    std::int64_t next = place.Offset;
    std::uint64_t left = place.Size;
    const auto ensure = [&](std::size_t wanted) {
        if (buffer.size() - begin >= wanted)
            return true;
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(begin));
        begin = 0;
        const std::size_t step = static_cast<std::size_t>(
            std::min<std::uint64_t>(left, std::max(ReadSize, wanted - buffer.size())));
        const std::size_t had = buffer.size();
        buffer.resize(had + step);
        if (!ReadExactly(fd, next, buffer.data() + had, step))
            return false;
        next += static_cast<std::int64_t>(step);
        left -= step;
        return buffer.size() >= wanted;
    };
    for (std::uint64_t i = 0; i < place.Count; ++i) {
        if (!ensure(CentralHeaderSize) || Le32(buffer.data() + begin) != CentralHeaderSignature)
            return false;
        const unsigned char* header = buffer.data() + begin;
        const std::size_t recordSize =
            CentralHeaderSize + Le16(header + 28) + Le16(header + 30) + Le16(header + 32);
        if (!ensure(recordSize))
            return false;
        header = buffer.data() + begin;
        std::uint64_t offset = Le32(header + 42);
        if (offset == Escaped32 && !Zip64Offset(header, offset))
            return false;
        offsets.push_back(static_cast<std::int64_t>(offset));
        begin += recordSize;
    }
    return true;
}

TRawEntryChecker::TRawEntryChecker() : m_in(ReadSize), m_out(OutputSize) {
    m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
}

TRawEntryChecker::~TRawEntryChecker() {
    if (m_ready)
        inflateEnd(&m_stream);
}

// Takes the next piece of the entry's data; false when it cannot be the data of a sound entry.
bool TRawEntryChecker::Consume(const unsigned char* data, std::size_t size, bool deflated) {
    if (!deflated) {
        m_crc = crc32_z(m_crc, data, size);
        m_produced += static_cast<std::int64_t>(size);
        return true;
    }
    if (m_ended)
        return true; // what follows the end of the stream is not read by any reader either
    m_stream.next_in = const_cast<unsigned char*>(data);
    m_stream.avail_in = static_cast<uInt>(size);
    do {
        m_stream.next_out = m_out.data();
        m_stream.avail_out = static_cast<uInt>(m_out.size());
        const int status = inflate(&m_stream, Z_NO_FLUSH);
        const std::size_t produced = m_out.size() - m_stream.avail_out;
        m_crc = crc32_z(m_crc, m_out.data(), produced);
        m_produced += static_cast<std::int64_t>(produced);
        if (status == Z_STREAM_END) {
            m_ended = true;
            return true;
        }
        if (status != Z_OK && status != Z_BUF_ERROR)
            return false;
    } while (m_stream.avail_in > 0 || m_stream.avail_out == 0);
    return true;
}

TRawCheck TRawEntryChecker::Check(int fd, std::int64_t start, const TRawEntry& entry,
                                  const std::atomic<bool>& stop) {
    if (entry.Deflated && (!m_ready || inflateReset(&m_stream) != Z_OK))
        return TRawCheck::Damaged;
    m_ended = false;
    m_produced = 0;
    m_crc = crc32(0, nullptr, 0);
    const std::int64_t headerAt = start + entry.HeaderOffset;
    const std::int64_t first = ReadAt(
        fd, headerAt, m_in.data(),
        static_cast<std::size_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(m_in.size()), LocalHeaderSize + HeaderSlack + entry.CompressedSize)));
    if (first < static_cast<std::int64_t>(LocalHeaderSize) || Le32(m_in.data()) != LocalHeaderSignature)
        return TRawCheck::Damaged;
    const std::int64_t dataAt = headerAt + static_cast<std::int64_t>(LocalHeaderSize) +
                                Le16(m_in.data() + 26) + Le16(m_in.data() + 28);
    std::int64_t done = 0;
    // The part of the data that the first read took.
    if (dataAt < headerAt + first) {
        done = std::min(headerAt + first - dataAt, entry.CompressedSize);
        if (!Consume(m_in.data() + (dataAt - headerAt), static_cast<std::size_t>(done), entry.Deflated))
            return TRawCheck::Damaged;
    }
    while (done < entry.CompressedSize && !(entry.Deflated && m_ended) && m_produced <= entry.Size) {
        if (stop.load())
            return TRawCheck::Stopped;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(entry.CompressedSize - done, m_in.size()));
        const std::int64_t n = ReadAt(fd, dataAt + done, m_in.data(), want);
        if (n <= 0 || !Consume(m_in.data(), static_cast<std::size_t>(n), entry.Deflated))
            return TRawCheck::Damaged;
        done += n;
    }
    const bool whole = entry.Deflated ? m_ended : done == entry.CompressedSize;
    return whole && m_produced == entry.Size && static_cast<std::uint32_t>(m_crc) == entry.Crc
               ? TRawCheck::Sound
               : TRawCheck::Damaged;
}
