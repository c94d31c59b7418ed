// The real program runs a due profile by itself: an hourly profile that never ran is copied at the
// first ticks, with its run log and its new last-backup time in the profile file.
#include "engine/backup_log_list.h"
#include "engine/backup_profile.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <filesystem>

using testing_support::AppTest;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const QString Program = BRIMVALE_BINARY_DIR "/app/brimvale";

class ScheduledRunTest : public AppTest {
protected:
    ~ScheduledRunTest() override {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(5000);
        }
    }
    // The run log in the logs folder, once there is one with its summary.
    std::string FinishedRunLog() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(Home() + "Logs/", ignored)) {
            const std::string text = ReadFile(entry.path().string());
            if (text.find("SUMMARY:v2: ") != std::string::npos)
                return text;
        }
        return {};
    }

    QProcess m_program;
};

TEST_F(ScheduledRunTest, AnHourlyProfileThatNeverRanIsBackedUpWithinTwoTicks) {
    WriteFile(Temp("source/letter.txt"), "dear reader");
    TBackupProfile p;
    p.Name = "Hourly";
    p.Sources = {Temp("source/*")};
    p.DriveDestination = {true, Temp("dest/")};
    p.Schedule.ScheduleType = stHourly;
    (void)platform::ForceDirectories(Home() + "Profiles/");
    ASSERT_TRUE(p.SaveToFile(Home() + "Profiles/Hourly.bvf"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("BRIMVALE_SCHEDULER_TICK_MS", "1000");
    env.insert("BRIMVALE_FORCED_END_WAIT_MS", "2000");
    m_program.setProcessEnvironment(env);
    m_program.start(Program, {});
    ASSERT_TRUE(m_program.waitForStarted(10000));

    // Two ticks, and time for a program under sanitizers on a busy machine to start and copy.
    const auto copied = [&] { return platform::FileExists(Temp("dest/source/letter.txt")); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return copied() && !FinishedRunLog().empty(); }, 30000));
    EXPECT_EQ(ReadFile(Temp("dest/source/letter.txt")), "dear reader");
    TBackupLogList logs(Home() + "Logs/");
    ASSERT_EQ(logs.Count(), 1);
    TBackupSummary summary;
    logs.ReadSummary(0, summary);
    EXPECT_EQ(summary.FilesCopied, 1);
    EXPECT_EQ(summary.Errors, 0);
    TBackupProfile stored;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return stored.LoadFromFile(Home() + "Profiles/Hourly.bvf") && stored.LastBackup > 0; }, 10000));
    m_program.terminate();
    EXPECT_TRUE(m_program.waitForFinished(10000));
}

} // namespace
