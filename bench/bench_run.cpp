// One backup run for the benchmarks.
#include "bench/bench_run.h"

#include "engine/backup_thread.h"
#include "platform/home.h"
#include "tests/support/queue_dispatcher.h"

#include <chrono>

TBackupProfile BenchProfile(const std::string& source, const std::string& dest) {
    TBackupProfile profile;
    profile.Name = "Bench";
    profile.Sources = {source + "*"};
    profile.DriveDestination = {true, dest};
    profile.BackupAttributes.DirectoryStructure = 2;
    profile.BackupAttributes.DirectoryAttributeMask = 63;
    profile.BackupAttributes.FileAttributeMask = 63;
    return profile;
}

void RunBackupToEnd(const TBackupProfile& profile) {
    TProfileCell cell = std::make_unique<TBackupProfile>(profile);
    testing_support::QueueDispatcher dispatcher;
    TBackupThread thread(true, 1, platform::ProgramHomeDir() + "Logs/");
    thread.SetProfile(&cell);
    thread.OnStatus = [](TBackupThread*) {};
    bool done = false;
    thread.OnTerminate = [&](TThread*) { done = true; };
    thread.Resume();
    dispatcher.RunUntil([&] { return done; }, std::chrono::hours(1));
}
