// Temporary folders and small file helpers for tests.
#include "tests/support/temp_dir.h"

#include "platform/file_io.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <utime.h>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/brimvale-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern + "/";
}

TempDir::~TempDir() {
    RemoveTree(m_path);
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec)))
        return;
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(path.c_str(), 0700);
    fs::remove_all(path, ec);
}

void WriteFile(const std::string& path, const std::string& content) {
    (void)platform::ForceDirectories(platform::ExtractFilePath(path));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void SetModified(const std::string& path, std::int64_t seconds) {
    struct utimbuf times {
        static_cast<time_t>(seconds), static_cast<time_t>(seconds)
    };
    if (::utime(path.c_str(), &times) != 0)
        throw std::runtime_error("cannot set time of " + path);
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name.c_str())) {
        m_had = true;
        m_old = old;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
    if (name == "TZ")
        ::tzset();
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
    if (m_name == "TZ")
        ::tzset();
}

} // namespace testing_support
