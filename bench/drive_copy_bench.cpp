// Drive copy against cp and rsync on the same generated trees: 1 GiB in 16 files, 20,000 files of
// 4 KiB in 200 folders, and an only-changed rerun over the unchanged 20,000 files.
#include "bench/bench_run.h"
#include "engine/backup_thread.h"

#include "platform/file_io.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void WriteRandomFile(const std::string& path, std::size_t size, std::mt19937_64& random) {
    std::vector<std::uint64_t> block(1 << 17);
    platform::File file = platform::File::Create(path);
    for (std::size_t written = 0; written < size;) {
        for (auto& word : block)
            word = random();
        const std::size_t n = std::min(size - written, block.size() * sizeof(std::uint64_t));
        file.WriteAll(block.data(), n);
        written += n;
    }
}

// Runs one backup of Source into Dest and returns when it has ended.
void RunBackup(const std::string& source, const std::string& dest, bool onlyChanged) {
    TBackupProfile profile = BenchProfile(source, dest);
    profile.BackupAttributes.ExcludeMatching = onlyChanged;
    RunBackupToEnd(profile);
}

void Report(const char* title, double ours, double reference, const char* referenceName, double limit) {
    const double ratio = ours / reference;
    std::printf("%-34s ours %8.3f s   %-28s %8.3f s   ratio %.2f (limit %.2f) %s\n", title, ours,
                referenceName, reference, ratio, limit, ratio <= limit ? "ok" : "OVER");
}

void CompareWithCp(const char* title, const std::string& work, const std::string& source, double limit) {
    std::vector<double> ours, cp;
    Shell("find '" + source + "' -type f -exec cat {} + >/dev/null");
    for (int round = 0; round < 3; ++round) {
        const std::string cpDest = work + "cp-dest", ourDest = work + "our-dest/";
        cp.push_back(
            Seconds([&] { Shell("cp -r --reflink=never '" + source + "' '" + cpDest + "' && sync"); }));
        fs::remove_all(cpDest);
        Shell("sync");
        ours.push_back(Seconds([&] { RunBackup(source, ourDest, false); }));
        fs::remove_all(ourDest);
        Shell("sync");
    }
    Report(title, Median(ours), Median(cp), "cp -r --reflink=never && sync", limit);
}

} // namespace

int main() {
    char pattern[] = "/tmp/brimvale-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string work = std::string(pattern) + "/";
    ::setenv("BRIMVALE_HOME", (work + "home").c_str(), 1);
    std::mt19937_64 random(42);

    const std::string big = work + "big/";
    fs::create_directories(big);
    for (int i = 0; i < 16; ++i)
        WriteRandomFile(big + "file" + std::to_string(i) + ".bin", 64u << 20, random);
    CompareWithCp("1 GiB in 16 files", work, big, 1.15);
    fs::remove_all(big);

    const std::string many = work + "many/";
    for (int folder = 0; folder < 200; ++folder) {
        const std::string dir = many + "folder" + std::to_string(folder) + "/";
        fs::create_directories(dir);
        for (int i = 0; i < 100; ++i)
            WriteRandomFile(dir + "f" + std::to_string(i) + ".dat", 4096, random);
    }
    CompareWithCp("20,000 files of 4 KiB", work, many, 2.0);

    const std::string ourCopy = work + "our-copy/", rsyncCopy = work + "rsync-copy/";
    RunBackup(many, ourCopy, true);
    Shell("rsync -a '" + many + "' '" + rsyncCopy + "'");
    std::vector<double> ours, rsync;
    for (int round = 0; round < 3; ++round) {
        rsync.push_back(Seconds([&] { Shell("rsync -a '" + many + "' '" + rsyncCopy + "'"); }));
        ours.push_back(Seconds([&] { RunBackup(many, ourCopy, true); }));
    }
    Report("only-changed rerun of 20,000 files", Median(ours), Median(rsync), "rsync -a rerun", 1.5);
    fs::remove_all(work);
    return 0;
}
