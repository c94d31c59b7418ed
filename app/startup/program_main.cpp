// The program's entry block.
#include "app/startup/program_main.h"
#include "widgets/text_conversion.h"

#include "app/locale_settings.h"
#include "app/main_window/main_window.h"
#include "app/startup/file_version_info.h"
#include "app/startup/single_instance.h"
#include "engine/helpers.h"
#include "engine/net/mail_client.h"
#include "platform/environment.h"
#include "platform/format_settings.h"
#include "platform/home.h"
#include "widgets/dialogs.h"
#include "widgets/qt_dispatcher.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM, SIGINT and SIGHUP reach the event loop through a socket pair, since a signal handler may
// do nothing but write a byte.
int signalSockets[2] = {-1, -1};

void OnEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalSockets[0], &byte, 1);
}

void InstallEndSignals(QObject* context, const std::function<void()>& onEnd) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onEnd] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalSockets[1], &byte, 1);
        onEnd();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

void ReadAppVersion(const std::string& programFile) {
    try {
        const TFileVersionInfo info(programFile);
        AppVersion = {static_cast<std::uint32_t>(info.Major), static_cast<std::uint32_t>(info.Minor),
                      static_cast<std::uint32_t>(info.Release), static_cast<std::uint32_t>(info.Build)};
        AppTitle = "Brimvale " + std::to_string(AppVersion.Major) + "." + std::to_string(AppVersion.Minor);
    } catch (...) {
        // The title then stays empty; the program runs without it.
    }
}

int ProgramMain(int argc, char** argv) {
    QApplication application(argc, argv);
    ReadAppVersion(platform::ExecutablePath());
    // An instance that ends here shows nothing and ends with the normal exit code.
    if (!CheckSingleInstance())
        return 0;
    // Held until the process ends. A program on this home whose channel was out of reach (another runtime
    // folder) still owns the home: this one ends as a second start does.
    const THomeLock homeLock(platform::ProgramHomeDir());
    if (!homeLock.Held()) {
        ReleaseSingleInstanceMutex();
        return 0;
    }

    // Only the Exit command ends the program, never the closing of the last window.
    QApplication::setQuitOnLastWindowClosed(false);
    TQtDispatcher dispatcher;
    SetDispatcher(&dispatcher);
    // Before any backup thread can mail.
    try {
        InitMailClients();
    } catch (const std::exception& error) {
        dialogs::ShowError(nullptr, Q(error.what()));
    }
    platform::SetFormatSettings(FormatSettingsFromLocale(QLocale::system()));

    TMainWindowOptions options;
    options.ForcedEndWaitMs =
        platform::EnvironmentNumber("BRIMVALE_FORCED_END_WAIT_MS", options.ForcedEndWaitMs);
    int exitCode = 0;
    {
        std::unique_ptr<TfrmMain> window;
        TInstanceChannel channel;
        try {
            window = std::make_unique<TfrmMain>(options);
            window->setWindowTitle(Q(AppTitle));
        } catch (...) {
            ReleaseSingleInstanceMutex();
            throw;
        }
        TfrmMain* main = window.get();
        QObject::connect(main, &TfrmMain::ProgramEnded, &application, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        // A forced end must end the program even when something on the way fails. The end is in place
        // before the program can be found, so that whoever finds it can also end it.
        auto forcedEnd = [main] {
            dialogs::RunGuarded(main, [main] { main->ForcedEnd(); });
            QCoreApplication::quit();
        };
        InstallEndSignals(main, forcedEnd);
        QObject::connect(&application, &QGuiApplication::commitDataRequest, main,
                         [forcedEnd](QSessionManager&) { forcedEnd(); });

        channel.Listen(InstanceChannelPath(MainWindowClassName, AppTitle));
        ReleaseSingleInstanceMutex();
        QObject::connect(&channel, &TInstanceChannel::ActivationRequested, main,
                         [main] { dialogs::RunGuarded(main, [main] { main->ActivationRequested(); }); });

        exitCode = application.exec();
        // A backup that would not stop in time is left to the end of the process, never destroyed
        // while it runs.
        if (main->RunningBackupCount() > 0)
            std::_Exit(exitCode);
    }
    SetDispatcher(nullptr);
    return exitCode;
}
