// The start-with-login entry. It stands in for a string value under the system's Run key: the value
// named N is the XDG autostart file <config>/autostart/N.desktop, whose Exec line holds the value (the
// program's quoted path). Opening the key is finding (or creating) the autostart folder.
#pragma once

#include <string>

namespace autostart {

// $XDG_CONFIG_HOME/autostart/ (default ~/.config/autostart/).
std::string AutostartDir();
std::string EntryPath(const std::string& valueName);

// False when the autostart folder cannot be used (something else stands in its place, or it cannot be
// created when CanCreate asks for it). A missing folder opens as an empty key.
bool OpenRunKey(bool canCreate);
bool ValueExists(const std::string& valueName);
// The Exec command of the entry in its unescaped form; empty when the entry is missing or has none.
std::string ReadValue(const std::string& valueName);
// Raises "Failed to set data for '<name>'" when the entry cannot be written.
void WriteValue(const std::string& valueName, const std::string& value);
// False when an existing entry could not be removed.
bool DeleteValue(const std::string& valueName);

// A path in double quotes, as the Run value holds it.
std::string QuotedPath(const std::string& path);

} // namespace autostart
