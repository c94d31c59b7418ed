// The benchmarks' driver: each call does one piece of work as a whole process, so that scripts/bench can
// time it exactly as it times the tools it is compared with.
//   generate mixed DIR MB        half text-like, half incompressible files of 1 KB to 50 MB
//   generate tiny DIR COUNT      COUNT files of 0 to 96 bytes, 100 to a folder, 50 folders to a parent
//   generate sized DIR COUNT KB  COUNT files of KB kilobytes each, 100 to a folder
//   generate log DIR MB HITS     a detailed run log of about MB megabytes in DIR, one entry per file, HITS of
//                                them warnings that name "Permission" (no other entry does)
//   change DIR PERCENT ROUND     rewrites every (100 / PERCENT)-th file with new content and a new time
//   backup SOURCE DEST [--compress] [--only-changed] [--password TEXT]
//   scan DIR                     scans the tree as a backup run does and prints the number of files
//   extract ARCHIVE DEST [--password TEXT]
#include "bench/bench_run.h"
#include "engine/file_system_list.h"
#include "engine/zip/archive_extraction.h"
#include "platform/directory.h"
#include "platform/file_io.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::int64_t KB = 1024;
constexpr std::int64_t MB = 1024 * KB;

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "bench_driver: %s\n", text.c_str());
    std::exit(2);
}

std::int64_t Number(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        Fail("not a number: " + text);
    return value;
}

// Backup runs take absolute paths only.
std::string Folder(const std::string& path) {
    return platform::IncludeTrailingPathDelimiter(std::filesystem::absolute(path).string());
}

std::string TextLike(std::size_t size, std::mt19937_64& random) {
    static const char* const Words[] = {
        "backup ", "archive ", "profile ", "the ",  "of ",       "destination ", "generation ", "file ",
        "folder ", "and ",     "a ",       "to ",   "schedule ", "source ",      "restore ",    "is ",
        "run ",    "log ",     "\n",       "2024-", "12:00 ",    "error ",       "warning ",    "copied "};
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += Words[random() % std::size(Words)];
        if (random() % 7 == 0)
            text += std::to_string(random() % 100000) + " ";
    }
    text.resize(size);
    return text;
}

std::string Incompressible(std::size_t size, std::mt19937_64& random) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t value = random();
        for (std::size_t j = 0; j < 8 && i + j < size; ++j)
            data[i + j] = static_cast<char>(value >> (8 * j));
    }
    return data;
}

void WriteWhole(const std::string& path, const std::string& data) {
    platform::File file;
    if (!file.Create(path) || !file.WriteAll(data) || !file.Close())
        Fail("cannot write " + path);
}

// Each half: one file of 50 MB, a few large ones, many middle-sized and small ones (sizes jittered by up to
// half either way), and files of 1 KB to 4 KB for the rest of its share.
void GenerateMixed(const std::string& root, std::int64_t total) {
    struct TBucket {
        int Count;
        std::int64_t Size;
    };
    const TBucket buckets[] = {{2, 20 * MB}, {4, 10 * MB}, {40, 2 * MB}, {300, 100 * KB}, {1000, 10 * KB}};
    std::mt19937_64 random(20240501);
    std::uniform_real_distribution<double> jitter(0.5, 1.5);
    for (int kind = 0; kind < 2; ++kind) {
        const std::int64_t share = total / 2;
        std::vector<std::int64_t> sizes{std::min(50 * MB, share)};
        for (const TBucket& bucket : buckets)
            for (int i = 0; i < bucket.Count; ++i)
                sizes.push_back(static_cast<std::int64_t>(static_cast<double>(bucket.Size) * jitter(random)));
        std::int64_t written = 0;
        for (std::size_t n = 0; written < share; ++n) {
            std::int64_t size =
                n < sizes.size() ? sizes[n] : KB + static_cast<std::int64_t>(random() % (3 * KB));
            size = std::max<std::int64_t>(1, std::min(size, share - written));
            const std::string folder =
                root + (kind == 0 ? "text/" : "binary/") + "d" + std::to_string(n % 16) + "/";
            (void)platform::ForceDirectories(folder);
            const std::string path = folder + "f" + std::to_string(n) + (kind == 0 ? ".txt" : ".bin");
            WriteWhole(path, kind == 0 ? TextLike(static_cast<std::size_t>(size), random)
                                       : Incompressible(static_cast<std::size_t>(size), random));
            written += size;
        }
    }
}

std::string FolderOfFile(const std::string& root, std::int64_t n) {
    const std::int64_t folder = n / 100;
    return root + "p" + std::to_string(folder / 50) + "/d" + std::to_string(folder % 50) + "/";
}

void GenerateFiles(const std::string& root, std::int64_t count, std::int64_t sizeKb) {
    std::mt19937_64 random(7);
    for (std::int64_t n = 0; n < count; ++n) {
        const std::string folder = FolderOfFile(root, n);
        if (n % 100 == 0)
            (void)platform::ForceDirectories(folder);
        const std::size_t size =
            sizeKb < 0 ? static_cast<std::size_t>(n % 97) : static_cast<std::size_t>(sizeKb * KB);
        WriteWhole(folder + "f" + std::to_string(n) + ".dat",
                   sizeKb < 0 ? std::string(size, 'x') : Incompressible(size, random));
    }
}

// Files are found in name order, so every Step-th of them is a spread-out share of the tree.
void ChangeFiles(const std::string& root, std::int64_t percent, std::int64_t round) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    const std::size_t step = static_cast<std::size_t>(std::max<std::int64_t>(1, 100 / percent));
    std::mt19937_64 random(static_cast<std::uint64_t>(round));
    for (std::size_t i = static_cast<std::size_t>(round) % step; i < files.size(); i += step) {
        const std::size_t size = static_cast<std::size_t>(std::filesystem::file_size(files[i]));
        const auto modified = std::filesystem::last_write_time(files[i]);
        WriteWhole(files[i], Incompressible(size, random));
        // Ten seconds on, so that no copy of the file can still pass for current.
        std::filesystem::last_write_time(files[i], modified + std::chrono::seconds(10));
    }
}

// Entries as a run writes them, every Step-th a warning, ended by the summary trailer.
void GenerateLog(const std::string& dir, std::int64_t total, std::int64_t hits) {
    const auto entry = [](std::int64_t n, bool warning) {
        const char marker = warning ? '?' : '-';
        std::string text(1, marker);
        text += " 12/9/2026 6:" + std::to_string(10 + n / 60 % 50) + ":" + std::to_string(10 + n % 50) +
                " AM: [/home/user/Documents/Projects/folder" + std::to_string(n % 977) + "/sub" +
                std::to_string(n % 31) + "/Application file " + std::to_string(n) + ".txt] \r\n";
        text += marker;
        text += std::string(23, ' ');
        text += warning ? "Permission denied, the file was left out.\r\n" : "Copied.\r\n";
        return text;
    };
    const std::int64_t entries = total / static_cast<std::int64_t>(entry(500000, false).size());
    const std::int64_t step = std::max<std::int64_t>(1, entries / std::max<std::int64_t>(1, hits));
    std::string text;
    text.reserve(static_cast<std::size_t>(total + 4 * MB));
    std::int64_t written = 0;
    for (std::int64_t n = 0; static_cast<std::int64_t>(text.size()) < total || written < hits; ++n) {
        const bool warning = written < hits && n % step == 0;
        written += warning ? 1 : 0;
        text += entry(n, warning);
    }
    text += "SUMMARY:v2: Bench| 46365.25| 46365.26| " + std::to_string(written) + "| 0| " +
            std::to_string(written) + "| 0| 0| 0| 0| " + std::to_string(written) + "\r\n";
    (void)platform::ForceDirectories(dir);
    WriteWhole(dir + "Bench_12092026_060000.log", text);
}

int Backup(const std::vector<std::string>& args) {
    if (args.size() < 2)
        Fail("backup SOURCE DEST [--compress] [--only-changed] [--password TEXT]");
    TBackupProfile profile = BenchProfile(Folder(args[0]), Folder(args[1]));
    // The tree keeps its folders below the destination, as cp, rsync and zip keep them.
    profile.BackupAttributes.DirectoryStructure = 1;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--compress") {
            profile.BackupAttributes.Compress = true;
            profile.BackupAttributes.Generations = 1;
        } else if (args[i] == "--only-changed") {
            profile.BackupAttributes.ExcludeMatching = true;
        } else if (args[i] == "--password" && i + 1 < args.size()) {
            profile.BackupAttributes.Password = args[++i];
        } else {
            Fail("unknown option " + args[i]);
        }
    }
    RunBackupToEnd(profile);
    return 0;
}

int Scan(const std::vector<std::string>& args) {
    if (args.size() != 1)
        Fail("scan DIR");
    long found = 0;
    TFileSystemList list;
    list.OnFileFound = [&found](const platform::TSearchRec&, TFileSystemElement*, bool) { ++found; };
    list.Open(Folder(args[0]), false);
    std::printf("%ld\n", found);
    return 0;
}

int Extract(const std::vector<std::string>& args) {
    if (args.size() != 2 && !(args.size() == 4 && args[2] == "--password"))
        Fail("extract ARCHIVE DEST [--password TEXT]");
    std::string errorText;
    UnzipArchive(args[0], "*", Folder(args[1]), args.size() == 4 ? args[3] : std::string(), true, nullptr,
                 nullptr, errorText);
    if (!errorText.empty())
        Fail("extraction: " + errorText);
    return 0;
}

int Generate(const std::vector<std::string>& args) {
    if (args.size() < 3)
        Fail("generate mixed|tiny|sized DIR ...");
    const std::string root = Folder(args[1]);
    if (args[0] == "mixed")
        GenerateMixed(root, Number(args[2]) * MB);
    else if (args[0] == "tiny")
        GenerateFiles(root, Number(args[2]), -1);
    else if (args[0] == "sized" && args.size() == 4)
        GenerateFiles(root, Number(args[2]), Number(args[3]));
    else if (args[0] == "log" && args.size() == 4)
        GenerateLog(root, Number(args[2]) * MB, Number(args[3]));
    else
        Fail("generate mixed DIR MB | tiny DIR COUNT | sized DIR COUNT KB | log DIR MB HITS");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        Fail("generate|change|backup|scan|extract ...");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    // Run logs and settings go to a home of the benchmark's own.
    if (!std::getenv("BRIMVALE_HOME"))
        Fail("BRIMVALE_HOME must name the benchmark's home folder");
    if (command == "generate")
        return Generate(args);
    if (command == "change" && args.size() == 3)
        return ChangeFiles(Folder(args[0]), Number(args[1]), Number(args[2])), 0;
    if (command == "backup")
        return Backup(args);
    if (command == "scan")
        return Scan(args);
    if (command == "extract")
        return Extract(args);
    Fail("unknown command " + command);
}
