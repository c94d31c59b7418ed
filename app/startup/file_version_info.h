// TFileVersionInfo: the version values a program file carries in its ELF section ".brimvale_version".
#pragma once

#include <cstdint>
#include <string>

class TFileVersionInfo {
public:
    // Reads the version values of FileName at once. A file that cannot be read, is no ELF file or has no
    // version section leaves every field empty or 0; nothing is raised for file problems.
    explicit TFileVersionInfo(const std::string& fileName);

    std::int32_t Major = 0;
    std::int32_t Minor = 0;
    std::int32_t Release = 0;
    std::int32_t Build = 0;
    std::string FileVersion;
    std::string FileDescription;
    std::string LegalCopyright;
    std::string Comments;
    std::string CompanyName;
    std::string InternalName;
    std::string Language;
    std::string LegalTradeMarks;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
    std::string OleSelfRegister;
    std::string FileName;

    // Splits a file version "major.minor.release.build" into the four numbers; a part that is not a
    // decimal number gives 0 for that number alone, missing parts give 0.
    void ParseFileVersion(const std::string& text);

private:
    void ReadVersionInfo();
};

// The name of the section that holds the version values.
inline constexpr const char* VersionSectionName = ".brimvale_version";
// The content of the version section of FileName; false when the file has none (or is no ELF file).
bool ReadElfSection(const std::string& fileName, const std::string& sectionName, std::string& content);
