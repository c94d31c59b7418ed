// Writing a new archive entry by entry.
#include "engine/zip/zip_new_archive.h"

#include "engine/zip/zip_compressor.h"
#include "platform/dos_time.h"

#include <sys/stat.h>

namespace {

constexpr std::uint32_t LocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t CentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint32_t Zip64EndSignature = 0x06064b50;
constexpr std::uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr std::uint16_t Zip64ExtraId = 0x0001;
constexpr std::uint16_t MadeByUnix = 0x033F; // Unix, version 6.3
constexpr std::uint16_t NeedsStored = 10;
constexpr std::uint16_t NeedsDeflated = 20;
constexpr std::uint16_t NeedsZip64 = 45;
constexpr std::uint16_t Utf8NameFlag = 0x0800;
constexpr std::uint64_t Most32 = 0xFFFFFFFFu;
constexpr std::uint64_t Most16 = 0xFFFFu;
constexpr std::uint32_t DosArchiveAttribute = 0x20;
constexpr std::uint32_t DosReadOnlyAttribute = 0x01;
constexpr std::uint32_t EarliestDosTime = (1 << 5 | 1) << 16; // 1 January 1980, midnight
constexpr std::size_t CopySize = 256 << 10;

std::uint32_t HashOf(const std::string& name) {
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const unsigned char c : name)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

// Names in ASCII need no flag; other valid UTF-8 is marked as such; anything else stays as bytes.
bool NeedsUtf8Flag(const std::string& name) {
    bool ascii = true;
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > name.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80)
                return false;
        ascii = ascii && length == 1;
        i += length;
    }
    return !ascii;
}

class TBytes {
public:
    void U16(std::uint64_t v) { Put(v, 2); }
    void U32(std::uint64_t v) { Put(v, 4); }
    void U64(std::uint64_t v) { Put(v, 8); }
    void Text(const std::string& text) { m_bytes += text; }
    const std::string& Bytes() const { return m_bytes; }
    void Clear() { m_bytes.clear(); }

private:
    void Put(std::uint64_t v, int size) {
        for (int i = 0; i < size; ++i)
            m_bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    std::string m_bytes;
};

// What the headers of an entry say.
struct TEntryFacts {
    std::uint16_t Needs = NeedsDeflated;
    std::uint16_t Flags = 0;
    std::uint16_t Method = ZIP_CM_DEFLATE;
    std::uint32_t DosTime = EarliestDosTime;
    std::uint32_t Crc = 0;
    std::uint64_t Size = 0;
    std::uint64_t CompressedSize = 0;
    std::uint32_t Attributes = 0;
    bool Zip64Sizes = false;
};

TEntryFacts FactsOf(const std::string& name, const TCompressedFile& file) {
    TEntryFacts facts;
    facts.Method = static_cast<std::uint16_t>(file.Method);
    facts.Size = static_cast<std::uint64_t>(file.Size);
    facts.CompressedSize = static_cast<std::uint64_t>(file.CompressedSize);
    facts.Crc = file.Crc;
    facts.Zip64Sizes = facts.Size >= Most32 || facts.CompressedSize >= Most32;
    facts.Needs = facts.Zip64Sizes ? NeedsZip64 : file.Method == ZIP_CM_STORE ? NeedsStored : NeedsDeflated;
    facts.Flags = NeedsUtf8Flag(name) ? Utf8NameFlag : 0;
    std::uint32_t dos = 0;
    if (platform::UnixToDosDateTime(file.Modified, dos))
        facts.DosTime = dos;
    const std::uint32_t dosAttributes =
        DosArchiveAttribute | ((file.Mode & S_IWUSR) == 0 ? DosReadOnlyAttribute : 0);
    facts.Attributes = (static_cast<std::uint32_t>(S_IFREG | file.Mode) << 16) | dosAttributes;
    return facts;
}

void LocalHeader(TBytes& out, const std::string& name, const TEntryFacts& f) {
    out.U32(LocalHeaderSignature);
    out.U16(f.Needs);
    out.U16(f.Flags);
    out.U16(f.Method);
    out.U32(f.DosTime);
    out.U32(f.Crc);
    out.U32(f.Zip64Sizes ? Most32 : f.CompressedSize);
    out.U32(f.Zip64Sizes ? Most32 : f.Size);
    out.U16(name.size());
    out.U16(f.Zip64Sizes ? 20 : 0);
    out.Text(name);
    if (f.Zip64Sizes) {
        out.U16(Zip64ExtraId);
        out.U16(16);
        out.U64(f.Size);
        out.U64(f.CompressedSize);
    }
}

void CentralHeader(TBytes& out, const std::string& name, const TEntryFacts& f, std::uint64_t offset) {
    const bool bigSize = f.Size >= Most32;
    const bool bigCompressed = f.CompressedSize >= Most32;
    const bool bigOffset = offset >= Most32;
    const std::uint16_t extra = static_cast<std::uint16_t>(8 * (bigSize + bigCompressed + bigOffset));
    out.U32(CentralHeaderSignature);
    out.U16(MadeByUnix);
    out.U16(extra > 0 ? NeedsZip64 : f.Needs);
    out.U16(f.Flags);
    out.U16(f.Method);
    out.U32(f.DosTime);
    out.U32(f.Crc);
    out.U32(bigCompressed ? Most32 : f.CompressedSize);
    out.U32(bigSize ? Most32 : f.Size);
    out.U16(name.size());
    out.U16(extra > 0 ? extra + 4 : 0);
    out.U16(0); // comment
    out.U16(0); // disk
    out.U16(0); // internal attributes
    out.U32(f.Attributes);
    out.U32(bigOffset ? Most32 : offset);
    out.Text(name);
    if (extra > 0) {
        out.U16(Zip64ExtraId);
        out.U16(extra);
        if (bigSize)
            out.U64(f.Size);
        if (bigCompressed)
            out.U64(f.CompressedSize);
        if (bigOffset)
            out.U64(offset);
    }
}

void EndRecords(TBytes& out, std::uint64_t count, std::uint64_t directoryAt, std::uint64_t directorySize) {
    if (count >= Most16 || directoryAt >= Most32 || directorySize >= Most32) {
        const std::uint64_t zip64At = directoryAt + directorySize;
        out.U32(Zip64EndSignature);
        out.U64(44); // the size of the rest of the record
        out.U16(MadeByUnix);
        out.U16(NeedsZip64);
        out.U32(0);
        out.U32(0);
        out.U64(count);
        out.U64(count);
        out.U64(directorySize);
        out.U64(directoryAt);
        out.U32(Zip64LocatorSignature);
        out.U32(0);
        out.U64(zip64At);
        out.U32(1);
    }
    out.U32(EndSignature);
    out.U16(0);
    out.U16(0);
    out.U16(std::min(count, Most16));
    out.U16(std::min(count, Most16));
    out.U32(std::min(directorySize, Most32));
    out.U32(std::min(directoryAt, Most32));
    out.U16(0); // comment
}

int ErrorOf(zip_source_t* source) {
    const int code = zip_error_code_zip(zip_source_error(source));
    return code != ZIP_ER_OK ? code : ZIP_ER_WRITE;
}

} // namespace

bool TNewArchive::Holds(const std::string& name, std::uint32_t entry) const {
    return !m_dropped[entry] && m_names.At(entry) == name;
}

void TNewArchive::Grow() {
    std::vector<std::uint64_t> slots(std::max<std::size_t>(1024, m_slots.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (const std::uint64_t slot : m_slots) {
        if (slot == 0)
            continue;
        std::size_t at = static_cast<std::size_t>(slot >> 32) & mask;
        while (slots[at] != 0)
            at = (at + 1) & mask;
        slots[at] = slot;
    }
    m_slots.swap(slots);
}

std::uint32_t TNewArchive::Add(const std::string& name, std::uint32_t data) {
    if ((m_data.size() + 1) * 2 > m_slots.size())
        Grow();
    const std::uint32_t hash = HashOf(name);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = hash & mask;
    for (; m_slots[at] != 0; at = (at + 1) & mask) {
        const std::uint64_t slot = m_slots[at];
        if (static_cast<std::uint32_t>(slot >> 32) == hash &&
            Holds(name, static_cast<std::uint32_t>(slot & Most32) - 1))
            return NoEntry;
    }
    const std::uint32_t entry = static_cast<std::uint32_t>(m_data.size());
    m_slots[at] = static_cast<std::uint64_t>(hash) << 32 | (static_cast<std::uint64_t>(entry) + 1);
    m_names.Append(name);
    m_data.push_back(data);
    m_dropped.push_back(false);
    return entry;
}

void TNewArchive::Drop(std::uint32_t entry) {
    m_dropped[entry] = true;
}

int TNewArchive::Write(zip_source_t* target, TParallelCompressor& data, const std::function<bool()>& goOn) {
    if (zip_source_begin_write(target) != 0)
        return ErrorOf(target);
    const auto failed = [target](int error) {
        zip_source_rollback_write(target);
        return error;
    };
    const auto put = [target](const void* bytes, std::size_t size) {
        return size == 0 || zip_source_write(target, bytes, size) == static_cast<zip_int64_t>(size);
    };
    std::vector<std::uint64_t> offsets(m_data.size(), 0);
    std::vector<char> buffer(CopySize);
    std::uint64_t position = 0;
    TBytes header;
    TNameList::TReader names(m_names);
    for (std::size_t entry = 0; entry < m_data.size() && names.Next(); ++entry) {
        if (m_dropped[entry])
            continue;
        const std::string& name = names.Name();
        const TEntryFacts facts = FactsOf(name, data.Result(m_data[entry]));
        offsets[entry] = position;
        header.Clear();
        LocalHeader(header, name, facts);
        if (!put(header.Bytes().data(), header.Bytes().size()))
            return failed(ErrorOf(target));
        position += header.Bytes().size();
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = data.CreateSource(m_data[entry], error);
        zip_error_fini(&error);
        if (!source)
            return failed(ZIP_ER_MEMORY);
        int readError = zip_source_open(source) == 0 ? ZIP_ER_OK : ZIP_ER_READ;
        std::uint64_t copied = 0;
        while (readError == ZIP_ER_OK) {
            const zip_int64_t n = zip_source_read(source, buffer.data(), buffer.size());
            if (n < 0)
                readError = ZIP_ER_READ;
            if (n <= 0)
                break;
            if (!put(buffer.data(), static_cast<std::size_t>(n))) {
                zip_source_close(source);
                zip_source_free(source);
                return failed(ErrorOf(target));
            }
            copied += static_cast<std::uint64_t>(n);
        }
        zip_source_close(source);
        zip_source_free(source);
        if (readError != ZIP_ER_OK || copied != facts.CompressedSize)
            return failed(readError != ZIP_ER_OK ? readError : ZIP_ER_INCONS);
        position += copied;
        if (!goOn())
            return failed(ZIP_ER_CANCELLED);
    }
    const std::uint64_t directoryAt = position;
    std::uint64_t count = 0;
    TNameList::TReader again(m_names);
    for (std::size_t entry = 0; entry < m_data.size() && again.Next(); ++entry) {
        if (m_dropped[entry])
            continue;
        header.Clear();
        CentralHeader(header, again.Name(), FactsOf(again.Name(), data.Result(m_data[entry])),
                      offsets[entry]);
        if (!put(header.Bytes().data(), header.Bytes().size()))
            return failed(ErrorOf(target));
        position += header.Bytes().size();
        ++count;
    }
    header.Clear();
    EndRecords(header, count, directoryAt, position - directoryAt);
    if (!put(header.Bytes().data(), header.Bytes().size()))
        return failed(ErrorOf(target));
    if (zip_source_commit_write(target) != 0)
        return failed(ErrorOf(target));
    return ZIP_ER_OK;
}
