// The libzip source that hands the compressor's finished files from its spool to the archive.
#include "engine/zip/zip_compressor.h"
#include "engine/zip/zip_compressor_records.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The spool is read back in steps of this size, and the room of what libzip has read is given up in steps
// of ReleaseStep.
constexpr std::int64_t ReadAheadSize = 1 << 20;
constexpr std::int64_t ReleaseStep = 8 << 20;

} // namespace

zip_int64_t TParallelCompressor::SourceFailed(int zipError, int systemError) {
    zip_error_set(&m_readError, zipError, systemError);
    return -1;
}

zip_int64_t TParallelCompressor::HandleSource(std::size_t index, void* data, zip_uint64_t length,
                                              zip_source_cmd_t command) {
    switch (command) {
    case ZIP_SOURCE_OPEN:
        if (!m_files || m_files[index].State.load() != TCompressState::Done || m_files[index].Released)
            return SourceFailed(ZIP_ER_INTERNAL, 0);
        m_reading = index;
        m_readExtent = 0;
        m_readOffset = 0;
        return 0;
    case ZIP_SOURCE_READ:
        if (m_reading != index)
            return SourceFailed(ZIP_ER_INTERNAL, 0);
        return ReadSource(data, length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &m_readError);
        if (!st)
            return -1;
        if (!m_files || m_files[index].State.load() != TCompressState::Done)
            return SourceFailed(ZIP_ER_INTERNAL, 0);
        const TCompressedFile file = Result(index);
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
        return zip_error_to_data(&m_readError, data, length);
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
        return SourceFailed(ZIP_ER_OPNOTSUPP, 0);
    }
}

zip_int64_t TParallelCompressor::ReadSource(void* data, zip_uint64_t length) {
    TFile& owner = m_files[m_reading];
    while (m_readExtent < ExtentCount(owner)) {
        const TExtent extent = Extent(owner, m_readExtent);
        const std::int64_t left = extent.Length - m_readOffset;
        if (left > 0) {
            const std::int64_t position = extent.Offset + m_readOffset;
            if (position < m_aheadStart || position >= m_aheadStart + m_aheadLength) {
                // libzip asks for a few KiB at a time; the spool is read in large steps, never past the
                // extent, whose data alone is known to be complete.
                m_ahead.resize(ReadAheadSize);
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::int64_t>(left, ReadAheadSize));
                ssize_t n;
                do {
                    n = ::pread(m_spoolFd, m_ahead.data(), want, static_cast<off_t>(position));
                } while (n < 0 && errno == EINTR);
                if (n < 0)
                    return SourceFailed(ZIP_ER_READ, errno);
                if (n == 0)
                    return SourceFailed(ZIP_ER_EOF, 0);
                m_aheadStart = position;
                m_aheadLength = n;
            }
            const std::int64_t available = m_aheadStart + m_aheadLength - position;
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(length, std::min(left, available)));
            std::memcpy(data, m_ahead.data() + (position - m_aheadStart), n);
            m_readOffset += static_cast<std::int64_t>(n);
            return static_cast<zip_int64_t>(n);
        }
        Release(extent);
        owner.Released = true;
        ++m_readExtent;
        m_readOffset = 0;
    }
    return 0;
}

// Gives up the spool's room for an extent libzip has read. Extents written one after another are given up
// together, in steps of ReleaseStep bytes.
void TParallelCompressor::Release(const TExtent& extent) {
    if (extent.Offset != m_releaseEnd) {
        PunchReleased();
        m_releaseStart = extent.Offset;
    }
    m_releaseEnd = extent.Offset + extent.Length;
    if (m_releaseEnd - m_releaseStart >= ReleaseStep)
        PunchReleased();
}

void TParallelCompressor::PunchReleased() {
    // File systems without hole punching keep the data until the spool is closed.
    if (m_releaseEnd > m_releaseStart)
        ::fallocate(m_spoolFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, m_releaseStart,
                    m_releaseEnd - m_releaseStart);
    m_releaseStart = m_releaseEnd;
}

zip_source_t* TParallelCompressor::CreateSource(std::size_t index, zip_error_t& error) {
    m_sources.push_back(TSource{this, index});
    return zip_source_function_create(&TSource::Callback, &m_sources.back(), &error);
}
