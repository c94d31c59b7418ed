// Reading the version section of a program file through the ELF section headers.
#include "app/startup/file_version_info.h"

#include "platform/file_io.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

namespace {

constexpr const char* SectionMarker = "BRIMVALE-VERSION";
// A version section is a few hundred bytes; anything far larger is not ours.
constexpr std::uint64_t MaxSectionSize = 1 << 20;
constexpr std::uint64_t MaxSectionHeaders = 1 << 16;

// Fixed-width fields of either byte order.
class ElfBytes {
public:
    ElfBytes(const std::string& data, bool bigEndian) : m_data(data), m_big(bigEndian) {}

    bool Fits(std::uint64_t offset, std::uint64_t size) const {
        return offset <= m_data.size() && size <= m_data.size() - offset;
    }
    std::uint64_t Read(std::uint64_t offset, int size) const {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(m_data[offset + static_cast<std::uint64_t>(i)]);
            const int shift = m_big ? 8 * (size - 1 - i) : 8 * i;
            value |= static_cast<std::uint64_t>(byte) << shift;
        }
        return value;
    }

private:
    const std::string& m_data;
    bool m_big;
};

bool ReadAt(platform::File& file, std::uint64_t offset, std::uint64_t size, std::string& out) {
    if (size > std::numeric_limits<std::size_t>::max() / 2 ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    out.assign(static_cast<std::size_t>(size), '\0');
    if (!file.Seek(static_cast<std::int64_t>(offset)))
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t n = file.Read(out.data() + done, out.size() - done).ValueOr(-1);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

struct SectionHeader {
    std::uint64_t nameOffset = 0, offset = 0, size = 0, type = 0;
};

constexpr std::uint64_t SHT_NOBITS_TYPE = 8;
constexpr std::uint64_t SHN_XINDEX_VALUE = 0xffff;

} // namespace

bool ReadElfSection(const std::string& fileName, const std::string& sectionName, std::string& content) {
    platform::File file;
    if (!file.OpenRead(fileName))
        return false;
    std::string ident;
    if (!ReadAt(file, 0, 16, ident) || ident.compare(0, 4,
                                                     "\x7f"
                                                     "ELF") != 0)
        return false;
    const bool is64 = ident[4] == 2;
    if (!is64 && ident[4] != 1)
        return false;
    const bool big = ident[5] == 2;
    if (!big && ident[5] != 1)
        return false;

    std::string header;
    if (!ReadAt(file, 0, is64 ? 64 : 52, header))
        return false;
    const ElfBytes h(header, big);
    const std::uint64_t shoff = is64 ? h.Read(0x28, 8) : h.Read(0x20, 4);
    const std::uint64_t shentsize = h.Read(is64 ? 0x3a : 0x2e, 2);
    std::uint64_t shnum = h.Read(is64 ? 0x3c : 0x30, 2);
    std::uint64_t shstrndx = h.Read(is64 ? 0x3e : 0x32, 2);
    if (shoff == 0 || shentsize < (is64 ? 64u : 40u))
        return false;

    auto readHeader = [&](std::uint64_t index, SectionHeader& sh) {
        std::string raw;
        if (index > MaxSectionHeaders || !ReadAt(file, shoff + index * shentsize, shentsize, raw))
            return false;
        const ElfBytes b(raw, big);
        sh.nameOffset = b.Read(0, 4);
        sh.type = b.Read(4, 4);
        sh.offset = is64 ? b.Read(0x18, 8) : b.Read(0x10, 4);
        sh.size = is64 ? b.Read(0x20, 8) : b.Read(0x14, 4);
        return true;
    };
    // Files with very many sections keep the true counts in the first section header.
    SectionHeader first;
    if (!readHeader(0, first))
        return false;
    const std::uint64_t firstLink = [&] {
        std::string raw;
        if (!ReadAt(file, shoff, shentsize, raw))
            return std::uint64_t{0};
        return ElfBytes(raw, big).Read(is64 ? 0x28 : 0x18, 4);
    }();
    if (shnum == 0)
        shnum = first.size;
    if (shstrndx == SHN_XINDEX_VALUE)
        shstrndx = firstLink;
    if (shnum == 0 || shnum > MaxSectionHeaders || shstrndx >= shnum)
        return false;

    SectionHeader names;
    if (!readHeader(shstrndx, names) || names.size > MaxSectionSize * 16)
        return false;
    std::string nameTable;
    if (!ReadAt(file, names.offset, names.size, nameTable))
        return false;

    for (std::uint64_t i = 1; i < shnum; ++i) {
        SectionHeader sh;
        if (!readHeader(i, sh))
            return false;
        if (sh.nameOffset >= nameTable.size())
            continue;
        const char* name = nameTable.c_str() + sh.nameOffset;
        if (sectionName != name)
            continue;
        if (sh.type == SHT_NOBITS_TYPE || sh.size > MaxSectionSize)
            return false;
        return ReadAt(file, sh.offset, sh.size, content);
    }
    return false;
}

TFileVersionInfo::TFileVersionInfo(const std::string& fileName) : FileName(fileName) {
    ReadVersionInfo();
}

void TFileVersionInfo::ReadVersionInfo() {
    std::string section;
    if (!ReadElfSection(FileName, VersionSectionName, section))
        return;
    // Pairs of zero-terminated strings after the marker; a truncated last value is dropped.
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < section.size()) {
        const std::size_t end = section.find('\0', at);
        if (end == std::string::npos)
            break;
        parts.push_back(section.substr(at, end - at));
        at = end + 1;
    }
    if (parts.empty() || parts[0] != SectionMarker)
        return;
    std::map<std::string, std::string> values;
    for (std::size_t i = 1; i + 1 < parts.size(); i += 2)
        values.emplace(parts[i], parts[i + 1]);

    const std::array<std::pair<const char*, std::string*>, 12> fields{{
        {"CompanyName", &CompanyName},
        {"FileDescription", &FileDescription},
        {"FileVersion", &FileVersion},
        {"InternalName", &InternalName},
        {"LegalCopyright", &LegalCopyright},
        {"LegalTradeMarks", &LegalTradeMarks},
        {"Language", &Language},
        {"OriginalFilename", &OriginalFilename},
        {"ProductName", &ProductName},
        {"ProductVersion", &ProductVersion},
        {"Comments", &Comments},
        {"OleSelfRegister", &OleSelfRegister},
    }};
    for (const auto& [name, field] : fields) {
        const auto found = values.find(name);
        if (found == values.end())
            continue;
        *field = found->second;
        if (field == &FileVersion)
            ParseFileVersion(FileVersion);
    }
}

void TFileVersionInfo::ParseFileVersion(const std::string& text) {
    auto toNumber = [](const std::string& part) {
        std::int32_t value = 0;
        const char* end = part.data() + part.size();
        const auto [ptr, ec] = std::from_chars(part.data(), end, value);
        return ec == std::errc() && ptr == end && !part.empty() ? value : 0;
    };
    std::array<std::string, 4> parts;
    std::string rest = text;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t dot = rest.find('.');
        if (dot == std::string::npos) {
            parts[i] = rest;
            rest.clear();
            for (std::size_t j = i + 1; j < 4; ++j)
                parts[j].clear();
            break;
        }
        parts[i] = rest.substr(0, dot);
        rest = rest.substr(dot + 1);
        if (i == 2)
            parts[3] = rest;
    }
    Major = toNumber(parts[0]);
    Minor = toNumber(parts[1]);
    Release = toNumber(parts[2]);
    Build = toNumber(parts[3]);
}
