// XDG autostart entries standing in for Run values.
#include "app/startup/autostart.h"

#include "engine/exception.h"
#include "platform/durable_file.h"
#include "platform/file_io.h"
#include "platform/home.h"

#include <cstdlib>

namespace autostart {
namespace {

// Exec values are quoted command lines inside a desktop-entry string: inside quotes, '"', '`', '$'
// and '\' take a backslash, and then every backslash of the string is doubled.
std::string EscapeExec(const std::string& value) {
    std::string arg = value;
    const bool quoted = arg.size() >= 2 && arg.front() == '"' && arg.back() == '"';
    if (quoted)
        arg = arg.substr(1, arg.size() - 2);
    std::string out = quoted ? "\"" : "";
    for (char c : arg) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        out += c;
    }
    if (quoted)
        out += '"';
    std::string escaped;
    for (char c : out) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string UnescapeExec(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            plain += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else {
            plain += text[i];
        }
    }
    if (plain.size() < 2 || plain.front() != '"' || plain.back() != '"')
        return plain;
    std::string out = "\"";
    for (std::size_t i = 1; i + 1 < plain.size(); ++i) {
        if (plain[i] == '\\' && i + 2 < plain.size())
            ++i;
        out += plain[i];
    }
    return out + '"';
}

} // namespace

std::string AutostartDir() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config && config[0] == '/' ? config : platform::UserHomeDir() + "/.config";
    return platform::IncludeTrailingPathDelimiter(base) + "autostart/";
}

std::string EntryPath(const std::string& valueName) {
    return AutostartDir() + valueName + ".desktop";
}

bool OpenRunKey(bool canCreate) {
    const std::string dir = AutostartDir();
    if (platform::DirectoryExists(dir))
        return true;
    if (platform::PathExists(platform::ExcludeTrailingPathDelimiter(dir)))
        return false;
    // A user who never had an autostart entry has no folder yet: that is an empty key, not a failure.
    return !canCreate || platform::ForceDirectories(dir);
}

bool ValueExists(const std::string& valueName) {
    return platform::PathExists(EntryPath(valueName));
}

std::string ReadValue(const std::string& valueName) {
    std::string content;
    (void)platform::ReadWholeFile(EntryPath(valueName), content);
    for (const std::string& line : platform::SplitLines(content))
        if (line.rfind("Exec=", 0) == 0)
            return UnescapeExec(line.substr(5));
    return {};
}

void WriteValue(const std::string& valueName, const std::string& value) {
    const std::string content = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=" +
                                valueName +
                                "\n"
                                "Exec=" +
                                EscapeExec(value) +
                                "\n"
                                "Comment=Back up your files in the background\n"
                                "Icon=brimvale\n"
                                "X-GNOME-Autostart-enabled=true\n";
    platform::DurableWriter writer;
    if (!writer.Open(EntryPath(valueName), 0644) || !writer.Write(content) || !writer.Commit())
        throw Exception("Failed to set data for '" + valueName + "'");
}

bool DeleteValue(const std::string& valueName) {
    const std::string path = EntryPath(valueName);
    if (!platform::PathExists(path))
        return true;
    return static_cast<bool>(platform::DeleteFile(path));
}

std::string QuotedPath(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace autostart
