// Helpers of the zip tests.
#include "tests/engine/zip_test_util.h"

#include "engine/zip/zip_archive_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <zip.h>

namespace zip_testing {

TCommandResult RunCommand(const std::string& command) {
    TCommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

struct TArchive {
    explicit TArchive(const std::string& path) {
        zip_error_t error;
        Handle = OpenZipArchiveReadOnly(path, error);
        zip_error_fini(&error);
    }
    ~TArchive() {
        if (Handle)
            zip_discard(Handle);
    }
    zip_t* Handle;
};

std::string ReadAll(zip_file_t* file) {
    std::string data;
    char buffer[65536];
    zip_int64_t n;
    while ((n = zip_fread(file, buffer, sizeof buffer)) > 0)
        data.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(n, 0) << zip_file_strerror(file);
    return data;
}

} // namespace

std::vector<TEntry> ReadEntries(const std::string& path) {
    TArchive archive(path);
    std::vector<TEntry> entries;
    EXPECT_NE(archive.Handle, nullptr) << path;
    if (!archive.Handle)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive.Handle, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_index(archive.Handle, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &st);
        TEntry entry;
        entry.Name = st.name;
        entry.Crc = st.crc;
        entry.Size = static_cast<std::int64_t>(st.size);
        entry.CompressedSize = static_cast<std::int64_t>(st.comp_size);
        entry.Method = st.comp_method;
        entry.Encryption = st.encryption_method;
        entry.Modified = st.mtime;
        if (zip_file_t* file =
                zip_fopen_index(archive.Handle, static_cast<zip_uint64_t>(i), ZIP_FL_ENCRYPTED)) {
            entry.Stored = ReadAll(file);
            zip_fclose(file);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> EntryNames(const std::string& path) {
    std::vector<std::string> names;
    for (const TEntry& entry : ReadEntries(path))
        names.push_back(entry.Name);
    return names;
}

std::string ReadEntry(const std::string& path, const std::string& name, const std::string& password) {
    TArchive archive(path);
    if (!archive.Handle)
        return "<no archive>";
    zip_file_t* file =
        zip_fopen_encrypted(archive.Handle, name.c_str(), 0, password.empty() ? nullptr : password.c_str());
    if (!file)
        return "<cannot open " + name + ">";
    std::string data = ReadAll(file);
    zip_fclose(file);
    return data;
}

std::string TextLike(std::size_t size, unsigned seed) {
    static const char* const Words[] = {"backup ",      "archive ",    "profile ", "the ",    "of ",
                                        "destination ", "generation ", "file ",    "folder ", "and ",
                                        "\n",           "2024 ",       "12:00 "};
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(Words) - 1);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size)
        text += Words[pick(random)];
    text.resize(size);
    return text;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937_64 random(seed);
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t value = random();
        for (std::size_t j = 0; j < 8 && i + j < size; ++j)
            data[i + j] = static_cast<char>(value >> (8 * j));
    }
    return data;
}

std::vector<std::string> TreeOf(const std::string& dir) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        std::string name = item.path().lexically_relative(dir).string();
        if (item.is_directory() && !item.is_symlink())
            name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string BuildResourceDir() {
    return std::string(BRIMVALE_BINARY_DIR) + "/share/brimvale/";
}

} // namespace zip_testing
