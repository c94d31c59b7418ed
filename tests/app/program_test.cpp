// The real program started twice: the single-instance lock, a running instance found through its
// channel, an instance of another title left alone, and a forced end.
#include "app/ini_file.h"
#include "app/startup/single_instance.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"
#include "tests/support/http_server.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::AppTest;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const QString Program = BRIMVALE_BINARY_DIR "/app/brimvale";

class ProgramTest : public AppTest {
protected:
    ~ProgramTest() override {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QProcess& Start(const QString& program = Program, int lockWaitMs = 1000,
                    const std::vector<std::pair<QString, QString>>& overrides = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : overrides)
            env.insert(name, value);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("BRIMVALE_INSTANCE_WAIT_MS", QString::number(lockWaitMs));
        env.insert("BRIMVALE_FORCED_END_WAIT_MS", "2000");
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start(program, {});
        EXPECT_TRUE(process->waitForStarted(10000));
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    std::string Channel(const std::string& title) const {
        return Runtime() + "TfrmMain " + title + ".socket";
    }
    // The socket appears once the instance listens, which is after its window exists.
    bool WaitForChannel(const std::string& title, int timeoutMs = 30000) const {
        return QTest::qWaitFor([&] { return platform::PathExists(Channel(title)); }, timeoutMs);
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
};

struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// A file of the same path made afresh: another inode or a later change.
bool Renewed(const struct stat& before, const struct stat& now) {
    return now.st_ino != before.st_ino || now.st_ctim.tv_sec != before.st_ctim.tv_sec ||
           now.st_ctim.tv_nsec != before.st_ctim.tv_nsec;
}

// A copy of the program whose version section says 3.0.0.0.
std::string ProgramOfAnotherVersion(const std::string& folder) {
    std::string bytes = ReadFile(Program.toStdString());
    const std::string from("FileVersion\0"
                           "2.0.0.0\0",
                           20);
    const std::size_t at = bytes.find(from);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
        bytes[at + 12] = '3';
    const std::string path = folder + "brimvale";
    WriteFile(path, bytes);
    ::chmod(path.c_str(), 0755);
    return path;
}

} // namespace

TEST_F(ProgramTest, AHeldLockEndsTheSecondStartSilentlyAfterASecond) {
    const std::string lock = Runtime() + "BVBackupSingleInstMutex.lock";
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    QElapsedTimer timer;
    timer.start();
    QProcess& second = Start();
    ASSERT_TRUE(second.waitForFinished(30000));
    const qint64 elapsed = timer.elapsed();
    ::close(fd);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 20000);
    EXPECT_EQ(second.readAllStandardOutput(), "");
    // It never got as far as its window: no settings written, no channel.
    EXPECT_FALSE(platform::PathExists(SettingsFile()));
    EXPECT_FALSE(platform::PathExists(Channel("Brimvale 2.0")));
}

TEST_F(ProgramTest, ARunningInstanceIsFoundAndTheSecondStartEnds) {
    QProcess& first = Start();
    ASSERT_TRUE(WaitForChannel("Brimvale 2.0"));
    QProcess& second = Start(Program, 200);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // A forced end writes the settings and ends the first one normally.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(TIniFile(SettingsFile()).ReadString("Application", "WindowWidth", ""), "485");
    EXPECT_FALSE(platform::PathExists(Channel("Brimvale 2.0")));
}

TEST_F(ProgramTest, AnInstanceOfAnotherTitleIsNotFound) {
    const QString other = QString::fromStdString(ProgramOfAnotherVersion(Temp("other/")));
    // Each version on a home of its own: one home holds one program whatever its title.
    QProcess& older = Start(other, 1000, {{"BRIMVALE_HOME", QString::fromStdString(Temp("older-home/"))}});
    ASSERT_TRUE(WaitForChannel("Brimvale 3.0"));
    QProcess& current = Start(Program, 200);
    ASSERT_TRUE(WaitForChannel("Brimvale 2.0"));
    EXPECT_EQ(older.state(), QProcess::Running);
    EXPECT_EQ(current.state(), QProcess::Running);
    // A stale channel left by an instance that was killed does not stop the next start.
    current.kill();
    ASSERT_TRUE(current.waitForFinished(10000));
    EXPECT_TRUE(platform::PathExists(Channel("Brimvale 2.0")));
    const struct stat stale = StatOf(Channel("Brimvale 2.0"));
    QProcess& next = Start(Program, 200);
    // The next instance listens on a channel of its own, or it ends.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            return Renewed(stale, StatOf(Channel("Brimvale 2.0"))) || next.state() == QProcess::NotRunning;
        },
        30000));
    EXPECT_TRUE(WaitForChannel("Brimvale 2.0"));
    EXPECT_EQ(next.state(), QProcess::Running);
}

namespace {

class ProgramEndTest : public ProgramTest {
protected:
    ProgramEndTest() { m_server.Serve("feed.xml", "<versions></versions>"); }
    std::string SilentFeed() const { return m_server.Url("/silent"); }

    testing_support::HttpTestServer m_server;
};

} // namespace

// Another login session of the same user has another runtime folder, out of reach of the lock and the
// channel there; the home is the same, and the program there ends as a second start does.
TEST_F(ProgramEndTest, ASecondProgramOnTheSameHomeEndsWhateverItsRuntimeFolder) {
    QProcess& first = Start();
    ASSERT_TRUE(WaitForChannel("Brimvale 2.0"));
    const std::string otherRuntime = Temp("other-run/");
    (void)platform::ForceDirectories(otherRuntime);
    ::chmod(otherRuntime.c_str(), 0700);
    QProcess& second = Start(Program, 200, {{"XDG_RUNTIME_DIR", QString::fromStdString(otherRuntime)}});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(platform::PathExists(otherRuntime + "TfrmMain Brimvale 2.0.socket"));
    EXPECT_EQ(first.state(), QProcess::Running);

    // Once the first has ended, the home is free for a program from anywhere.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    QProcess& third = Start(Program, 200, {{"XDG_RUNTIME_DIR", QString::fromStdString(otherRuntime)}});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return platform::PathExists(otherRuntime + "TfrmMain Brimvale 2.0.socket"); }, 30000));
    EXPECT_EQ(third.state(), QProcess::Running);
}

// SIGTERM while the start-up update check waits for a feed that never answers: the request is
// cancelled and the program ends normally, its settings written, long before the feed's 30 s limit.
TEST_F(ProgramEndTest, AnEndSignalDuringTheUpdateCheckEndsTheProgramAtOnce) {
    WriteFile(SettingsFile(), "[Application]\nShowAppWinOnStart=1\n[Updates]\nAutoCheckUpdates=1\n"
                              "AutoCheckUpdateInterval=0\n");
    QProcess& program =
        Start(Program, 1000, {{"BRIMVALE_UPDATE_FEED", QString::fromStdString(SilentFeed())}});
    // The program listens before its start-up check begins, not once the feed has timed out.
    ASSERT_TRUE(WaitForChannel("Brimvale 2.0", 10000));
    QElapsedTimer timer;
    timer.start();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_NE(TIniFile(SettingsFile()).ReadString("Updates", "LastUpdateCheck", ""), "");
}

// Absurd stored window sizes, with the window shown at start and painted while the start-up check waits
// for its feed: the program runs and ends normally and keeps sizes the screen can hold.
TEST_F(ProgramEndTest, AbsurdStoredWindowSizesAreFittedToTheScreen) {
    for (const char* value : {"0", "-7", "16777216", "2147483647", "wide"}) {
        SCOPED_TRACE(value);
        const std::string v = value;
        WriteFile(SettingsFile(), "[Application]\nShowAppWinOnStart=1\nWindowWidth=" + v + "\nWindowHeight=" +
                                      v + "\nLogWindowWidth=" + v + "\nLogWindowHeight=" + v +
                                      "\n[Updates]\nAutoCheckUpdates=1\nAutoCheckUpdateInterval=0\n");
        QProcess& program =
            Start(Program, 1000, {{"BRIMVALE_UPDATE_FEED", QString::fromStdString(SilentFeed())}});
        ASSERT_TRUE(WaitForChannel("Brimvale 2.0", 10000));
        program.terminate();
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        // The program runs on the same offscreen screen as this test.
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        const TIniFile ini(SettingsFile());
        for (const char* key : {"WindowWidth", "LogWindowWidth"}) {
            const int stored = ini.ReadInteger("Application", key, -1);
            EXPECT_GE(stored, 450) << key;
            EXPECT_LE(stored, screen.width()) << key;
        }
        for (const char* key : {"WindowHeight", "LogWindowHeight"}) {
            const int stored = ini.ReadInteger("Application", key, -1);
            EXPECT_GE(stored, 415) << key;
            EXPECT_LE(stored, screen.height()) << key;
        }
    }
}
