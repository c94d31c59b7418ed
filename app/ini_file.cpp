// The INI file reader and writer.
#include "app/ini_file.h"

#include "engine/text.h"
#include "platform/durable_file.h"
#include "platform/file_io.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace {

std::string Trim(const std::string& text) {
    return std::string(TrimText(text));
}

bool IsComment(const std::string& trimmed) {
    return trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#';
}

// The name of a "[section]" line, or false.
bool SectionName(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// Key and value of a "key=value" line, or false.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
    const std::string t = Trim(line);
    if (IsComment(t) || t.front() == '[')
        return false;
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return !key.empty();
}

// The stand-ins of bytes that are not UTF-8: lone low surrogates, which no decoded text holds.
constexpr char16_t StrayByteBase = 0xDC00;

// The length of the valid UTF-8 sequence at Pos (with its code point in Code), or 0.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t pos, char32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(pos + i) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

QString IniTextToQString(const std::string& text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8SequenceAt(text, pos, code);
        if (length == 0) {
            result += QChar(static_cast<char16_t>(StrayByteBase + static_cast<unsigned char>(text[pos])));
            ++pos;
            continue;
        }
        if (code >= 0x10000) {
            result += QChar(QChar::highSurrogate(code));
            result += QChar(QChar::lowSurrogate(code));
        } else {
            result += QChar(static_cast<char16_t>(code));
        }
        pos += length;
    }
    return result;
}

std::string QStringToIniText(const QString& text) {
    std::string result;
    result.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            AppendUtf8(result, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= StrayByteBase + 0x80 && unit <= StrayByteBase + 0xFF) {
            result += static_cast<char>(unit - StrayByteBase);
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(result, 0xFFFD);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

TIniFile::TIniFile(const std::string& fileName) : m_fileName(fileName) {
    std::string content;
    if (const platform::Status read = platform::ReadWholeFile(fileName, content); !read) {
        if (read.Code() != ENOENT)
            m_readError = read.Code();
        return;
    }
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        content.erase(0, 3);
    const std::size_t firstBreak = content.find('\n');
    if (firstBreak != std::string::npos && firstBreak > 0 && content[firstBreak - 1] == '\r')
        m_lineEnd = "\r\n";
    m_lines = platform::SplitLines(content);
}

int TIniFile::FindSection(const std::string& section) const {
    std::string name;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name) && SameTextAscii(name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int TIniFile::FindKey(int header, const std::string& key) const {
    std::string name, k, v;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name))
            break;
        if (KeyValue(m_lines[i], k, v) && SameTextAscii(k, key))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    const int header = FindSection(section);
    const int line = header < 0 ? -1 : FindKey(header, key);
    if (line < 0)
        return def;
    std::string k, value;
    KeyValue(m_lines[static_cast<std::size_t>(line)], k, value);
    // A value in matching quotes is read without them, as the platform's profile calls do.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t def) const {
    const std::string text = ReadString(section, key, "");
    std::int32_t value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    // One sign at most: "+-1" is no number.
    if (begin != end && *begin == '+' && begin + 1 != end && begin[1] != '-')
        ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && begin != end ? value : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& text) {
    // A value is one line: a pasted line break would start a line of its own, even a section header.
    std::string value = text;
    std::replace_if(
        value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    int header = FindSection(section);
    if (header < 0) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty())
            m_lines.emplace_back();
        m_lines.push_back("[" + section + "]");
        m_lines.push_back(key + "=" + value);
        return;
    }
    const int line = FindKey(header, key);
    if (line >= 0) {
        // Keep the key as the file spells it.
        std::string& stored = m_lines[static_cast<std::size_t>(line)];
        const std::size_t eq = stored.find('=');
        stored = Trim(stored.substr(0, eq)) + "=" + value;
        return;
    }
    // A new key goes after the section's last non-blank line.
    std::size_t insertAt = static_cast<std::size_t>(header) + 1;
    std::string name;
    for (std::size_t i = insertAt; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i], name))
            break;
        if (!Trim(m_lines[i]).empty())
            insertAt = i + 1;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    WriteString(section, key, std::string(buffer, result.ptr));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::UpdateFile(unsigned mode) {
    // Writing now would replace the file with only the keys set since.
    if (m_readError != 0) {
        m_error = m_readError;
        return false;
    }
    std::string content;
    for (const std::string& line : m_lines)
        content += line + m_lineEnd;
    platform::DurableWriter writer;
    platform::Status written = writer.Open(m_fileName, static_cast<mode_t>(mode));
    if (written)
        written = writer.Write(content);
    if (written)
        written = writer.Commit();
    if (!written) {
        m_error = written.Code();
        return false;
    }
    m_error = 0;
    return true;
}
