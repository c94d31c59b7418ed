// Helpers of the zip tests: the archive tools run as child processes, archives read back with libzip, and
// the content of test files.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace zip_testing {

struct TCommandResult {
    int ExitCode = -1;
    std::string Output; // standard output and standard error
};

// Runs Command through the shell.
TCommandResult RunCommand(const std::string& command);
// Single-quoted for the shell.
std::string Quote(const std::string& text);

struct TEntry {
    std::string Name;
    std::uint32_t Crc = 0;
    std::int64_t Size = 0;
    std::int64_t CompressedSize = 0;
    int Method = 0;
    int Encryption = 0;
    std::time_t Modified = 0;
    std::string Stored; // the entry's data exactly as stored (compressed, encrypted)
};

// Every entry of the archive at Path, read with libzip (also behind a self-extractor stub); fails the test
// when the archive cannot be opened.
std::vector<TEntry> ReadEntries(const std::string& path);
std::vector<std::string> EntryNames(const std::string& path);
// The uncompressed content of the entry Name; Password may be empty.
std::string ReadEntry(const std::string& path, const std::string& name, const std::string& password = "");

// Content that deflates well, and content that does not.
std::string TextLike(std::size_t size, unsigned seed = 1);
std::string RandomBytes(std::size_t size, unsigned seed = 1);

// Every file and folder below Dir, relative, folders ending in "/", sorted.
std::vector<std::string> TreeOf(const std::string& dir);

// The build's resource folder, which holds the self-extractor module.
std::string BuildResourceDir();

} // namespace zip_testing
