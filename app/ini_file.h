// TIniFile: an INI file read whole, edited in memory and written back in one durable replace.
// Sections and keys are found without regard to letter case; comments, blank lines and keys the
// program does not know are kept, and a key that is written again keeps its place in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QString;

class TIniFile {
public:
    // Reads FileName; a missing or unreadable file starts empty. A file that is there but cannot be read
    // whole is never written over (UpdateFile fails with the read's error), so nothing it held is lost.
    explicit TIniFile(const std::string& fileName);

    const std::string& FileName() const { return m_fileName; }

    // The value of Key in Section with blanks around it removed; Default when the key is missing.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // A decimal integer; Default when missing or not a number in range.
    std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const;
    // True for every integer but 0; Default when missing or not a number.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Line breaks in Value are written as blanks.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes the file (mode Mode for a new file) by replacing it whole; false with errno in Error() when
    // it could not be written, in which case the old file is left as it was.
    bool UpdateFile(unsigned mode = 0600);
    int Error() const { return m_error; }

private:
    // Index of the section's header line, or -1.
    int FindSection(const std::string& section) const;
    // Index of the key's line within the section that starts at Header, or -1.
    int FindKey(int header, const std::string& key) const;

    std::string m_fileName;
    std::vector<std::string> m_lines;
    std::string m_lineEnd = "\n";
    int m_error = 0;
    int m_readError = 0;
};

// A settings value as a control shows it, and back. Bytes that are not UTF-8 (a value an older version wrote
// in an 8-bit code page, a legacy password) become stand-in characters that turn back into the same bytes, so
// a value the user leaves as it is goes back into the file byte for byte.
QString IniTextToQString(const std::string& text);
std::string QStringToIniText(const QString& text);
