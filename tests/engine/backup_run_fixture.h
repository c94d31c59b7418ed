// A backup run against real temporary folders with the test dispatcher, shared by the run's tests.
#pragma once

#include "engine/backup_log_list.h"
#include "engine/backup_thread.h"

#include "platform/directory.h"
#include "platform/drive.h"
#include "platform/fault_injection.h"
#include "tests/support/queue_dispatcher.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <functional>
#include <gtest/gtest.h>

namespace backup_run_testing {

using testing_support::QueueDispatcher;
using testing_support::ReadFile;
using testing_support::ScopedClock;
using testing_support::ScopedEnv;
using testing_support::ScopedFaultHook;
using testing_support::ScopedFreeBytes;
using testing_support::ScopedSeams;
using testing_support::TempDir;
using testing_support::WriteFile;

struct RunResult {
    TBackupResultRec result;
    TBackupSummary summary;
    std::string logText;
    int statusEvents = 0;
    int finishedEvents = 0;
    bool inProcessSeen = false;
    TProfileCell cell;
};

class BackupRun : public ::testing::Test {
protected:
    // Whatever seam a test sets goes with the test.
    const ScopedSeams seams;
    TempDir dir;
    ScopedEnv home{"BRIMVALE_HOME", dir / "home"};
    QueueDispatcher dispatcher;
    std::string logs = dir / "home/Logs/";
    std::string src = dir / "src/";
    std::string dst = dir / "dst/";

    static TBackupProfile Profile(const std::string& name, std::vector<std::string> sources,
                                  const std::string& dest) {
        TBackupProfile p;
        p.Name = name;
        p.Sources = std::move(sources);
        p.DriveDestination.Active = !dest.empty();
        p.DriveDestination.Path = dest;
        p.BackupAttributes.DirectoryAttributeMask = 63;
        p.BackupAttributes.FileAttributeMask = 63;
        return p;
    }

    // Sets up each thread before it starts (mail settings, say).
    std::function<void(TBackupThread&)> configure;

    // Runs the profile to its end; OnStatus may act on the thread (an abort, say).
    RunResult Run(const TBackupProfile& profile, bool logDetails = true,
                  std::function<void(TBackupThread&)> onStatus = {}) {
        RunResult run;
        run.cell = std::make_unique<TBackupProfile>(profile);
        auto thread = std::make_unique<TBackupThread>(true, 1, logs);
        thread->SetProfile(&run.cell);
        thread->LogDetails = logDetails;
        if (configure)
            configure(*thread);
        thread->OnStatus = [&](TBackupThread* t) {
            ++run.statusEvents;
            run.inProcessSeen = run.inProcessSeen || run.cell->InProcess;
            EXPECT_TRUE(dispatcher.IsMainThread());
            if (onStatus)
                onStatus(*t);
        };
        std::string logName;
        thread->OnFinished = [&](TBackupThread* t) {
            ++run.finishedEvents;
            run.summary = t->RunLog->Summary;
            logName = t->RunLog->FileName();
        };
        bool terminated = false;
        thread->OnTerminate = [&](TThread*) { terminated = true; };
        thread->Resume();
        EXPECT_TRUE(dispatcher.RunUntil([&] { return terminated; }));
        run.result = thread->ResultRec;
        if (!logName.empty()) {
            TBackupLogList list(logs);
            for (int i = 0; i < list.Count(); ++i)
                if (list.Files()[static_cast<std::size_t>(i)] == logName) {
                    list.ReadText(i, run.logText);
                    list.ReadSummary(i, run.summary);
                }
        }
        return run;
    }

    std::vector<std::string> Tree(const std::string& root) {
        std::vector<std::string> files;
        std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& d,
                                                                               const std::string& rel) {
            for (const auto& e : platform::ListDirectory(d).Entries) {
                if (e.Kind == platform::EntryKind::Directory)
                    walk(d + e.Name + "/", rel + e.Name + "/");
                else
                    files.push_back(rel + e.Name);
            }
        };
        walk(root, "");
        return files;
    }
};

inline bool Contains(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

} // namespace backup_run_testing
