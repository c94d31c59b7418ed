// The tray icon on a real X display with a tray host: a tray that appears after the icon was added
// gets it, a tray that restarts gets it back as it stands, and a click on it asks for the window.
// The program starts its own virtual display (Xvfb) and tray (trayer); without them the cases skip.
#include "app/tray_icon.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString g_skipReason;

// An Xvfb server on a free display number, told by the server itself (-displayfd).
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (m_pid > 0 && poll(&wait, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~VirtualDisplay() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Name() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

class TrayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_skipReason.isEmpty())
            GTEST_SKIP() << g_skipReason.toStdString();
        for (const char* tool : {"trayer", "xdotool"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        }
    }
    void TearDown() override { StopTray(); }

    void StartTray() {
        m_tray.start("trayer",
                     {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        ASSERT_TRUE(m_tray.waitForStarted(5000));
    }
    void StopTray() {
        if (m_tray.state() == QProcess::NotRunning)
            return;
        m_tray.terminate();
        m_tray.waitForFinished(5000);
    }
    static bool Docked(const TTrayIcon& tray) { return !tray.Icon()->geometry().isEmpty(); }

    // The share of the icon's pixels on screen that have the colour of the state's picture.
    static double ShareOfColour(const TTrayIcon& tray, int state) {
        const QRect place = tray.Icon()->geometry();
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, place.x(), place.y(), place.width(), place.height())
                                .toImage();
        int hits = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                const bool red = c.red() > c.green() + 60 && c.red() > c.blue() + 60;
                const bool green = c.green() > c.red() + 40 && c.green() > c.blue() + 20;
                const bool blue = c.blue() > c.red() + 60 && c.blue() > c.green() + 20;
                hits += state == TTrayIcon::Error ? red : state == TTrayIcon::Busy ? green : blue;
            }
        }
        return shot.isNull() ? 0 : static_cast<double>(hits) / (shot.width() * shot.height());
    }
    static bool Shows(const TTrayIcon& tray, int state) { return ShareOfColour(tray, state) > 0.2; }

    QProcess m_tray;
};

TEST_F(TrayDesktopTest, ALateOrRestartedTrayGetsTheIconAsItStands) {
    TTrayIcon tray;
    tray.SetTrayIcon(TTrayIcon::Busy);
    tray.Add();
    // Nothing to wait for without a tray: a while passes in which none appears.
    QTest::qWait(300);
    EXPECT_FALSE(Docked(tray));

    StartTray();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Docked(tray) && Shows(tray, TTrayIcon::Busy); }, 15000));

    tray.SetHasErrors(true);
    tray.SetTrayIcon(TTrayIcon::Error);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(tray, TTrayIcon::Error); }, 10000));

    // A restarted tray shows the error state again, not the idle picture.
    StopTray();
    static_cast<void>(QTest::qWaitFor([&] { return !Docked(tray); }, 10000));
    StartTray();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Docked(tray) && Shows(tray, TTrayIcon::Error); }, 15000));
    EXPECT_FALSE(Shows(tray, TTrayIcon::Idle));
    EXPECT_EQ(tray.Icon()->toolTip(), "Brimvale has errors. See log for details.");
}

TEST_F(TrayDesktopTest, AClickOnTheDockedIconAsksForTheWindow) {
    TTrayIcon tray;
    tray.Add();
    StartTray();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Docked(tray) && Shows(tray, TTrayIcon::Idle); }, 15000));
    QSignalSpy opened(&tray, &TTrayIcon::OpenRequested);
    const QPoint centre = tray.Icon()->geometry().center();
    QProcess::execute("xdotool",
                      {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened.count() >= 1; }, 10000));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the cases (test discovery at build time) needs no display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    VirtualDisplay display;
    if (display.Name().empty()) {
        g_skipReason = "no virtual display (Xvfb) could be started";
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        qputenv("DISPLAY", display.Name().c_str());
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The icon must use the X tray protocol that trayer serves, not a session bus's notifier.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
