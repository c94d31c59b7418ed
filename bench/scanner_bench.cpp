// Scanner benchmark: a generated tree of 100,000 files in 2,000 folders, scanned with a counting
// OnFileFound handler, side by side with `find DIR -printf '%s\n'`; prints both times, their ratio and the
// memory the tree takes.
#include "engine/file_system_list.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int TopFolders = 40;
constexpr int SubFoldersEach = 49; // 40 + 40 * 49 = 2,000 folders
constexpr int FilesPerFolder = 50; // 100,000 files
constexpr int Rounds = 5;
constexpr double MaxRatio = 2.5;
constexpr double MaxTreeMegabytes = 40;

using Clock = std::chrono::steady_clock;

std::string MakeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/brimvale-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return pattern + "/";
}

void FillFolder(const std::string& folder, int& fileNumber) {
    if (::mkdir(folder.c_str(), 0755) != 0) {
        std::perror(folder.c_str());
        std::exit(2);
    }
    for (int i = 0; i < FilesPerFolder; ++i, ++fileNumber) {
        const std::string name = folder + "file_" + std::to_string(fileNumber) + ".dat";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string content(static_cast<std::size_t>(fileNumber % 97), 'x');
        if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
            std::perror(name.c_str());
            std::exit(2);
        }
        ::close(fd);
    }
}

void GenerateTree(const std::string& root) {
    int fileNumber = 0;
    for (int top = 0; top < TopFolders; ++top) {
        const std::string topFolder = root + "top_" + std::to_string(top) + "/";
        FillFolder(topFolder, fileNumber);
        for (int sub = 0; sub < SubFoldersEach; ++sub)
            FillFolder(topFolder + "sub_" + std::to_string(sub) + "/", fileNumber);
    }
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double RunFind(const std::string& root) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string dir = root, printf = "%s\\n";
    char findName[] = "find", printfOption[] = "-printf";
    char* argv[] = {findName, dir.data(), printfOption, printf.data(), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) {
        std::perror("find");
        std::exit(2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto elapsed = Clock::now() - start;
    posix_spawn_file_actions_destroy(&actions);
    return Seconds(elapsed);
}

long ScanCounting(TFileSystemList& list, const std::string& root) {
    long found = 0;
    list.OnFileFound = [&found](const platform::TSearchRec&, TFileSystemElement*, bool) { ++found; };
    list.Open(root, false);
    return found;
}

double RunScan(const std::string& root, long& found) {
    const auto start = Clock::now();
    TFileSystemList list;
    found = ScanCounting(list, root);
    return Seconds(Clock::now() - start); // the tree is built; freeing it is not part of the scan
}

long PeakResidentKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main() {
    const std::string root = MakeTempDir();
    std::printf("generating %d files in %d folders under %s\n",
                TopFolders * (SubFoldersEach + 1) * FilesPerFolder, TopFolders * (SubFoldersEach + 1),
                root.c_str());
    GenerateTree(root);
    RunFind(root); // warm the cache

    double treeMegabytes = 0;
    long files = 0;
    {
        const long before = PeakResidentKilobytes();
        TFileSystemList list;
        files = ScanCounting(list, root);
        treeMegabytes = static_cast<double>(PeakResidentKilobytes() - before) / 1024.0;
        list.First();
        std::printf("files found: %ld, kept in the tree: %d\n", files, list.GetFileCount(true));
    }

    std::vector<double> findTimes, scanTimes;
    for (int round = 0; round < Rounds; ++round) {
        findTimes.push_back(RunFind(root));
        long found = 0;
        scanTimes.push_back(RunScan(root, found));
        std::printf("round %d: find %.1f ms, scan %.1f ms\n", round + 1, findTimes.back() * 1000,
                    scanTimes.back() * 1000);
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);

    const double findMedian = Median(findTimes), scanMedian = Median(scanTimes);
    const double ratio = scanMedian / findMedian;
    std::printf("find (median of %d): %.1f ms\n", Rounds, findMedian * 1000);
    std::printf("scan (median of %d): %.1f ms\n", Rounds, scanMedian * 1000);
    std::printf("ratio scan/find: %.2f (target at most %.1f)\n", ratio, MaxRatio);
    std::printf("memory for the tree: %.1f MB (target at most %.0f MB)\n", treeMegabytes, MaxTreeMegabytes);
    const bool met = ratio <= MaxRatio && treeMegabytes <= MaxTreeMegabytes;
    std::printf("%s\n", met ? "within target" : "OVER TARGET");
    return met ? 0 : 1;
}
