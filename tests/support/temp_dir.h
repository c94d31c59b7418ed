// A fresh temporary folder per test, removed with everything in it (read-only entries included).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in "/".
    const std::string& Path() const { return m_path; }
    // Path() + Relative.
    std::string operator/(const std::string& relative) const { return m_path + relative; }

private:
    std::string m_path;
};

// Writes Content to Path, creating missing folders.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
// Sets the file's modification time (seconds since the epoch).
void SetModified(const std::string& path, std::int64_t seconds);
// The names in Folder, sorted, hidden ones included.
std::vector<std::string> Entries(const std::string& folder);
// Removes a tree, restoring write permission where needed.
void RemoveTree(const std::string& path);

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace testing_support
