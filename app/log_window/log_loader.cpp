// Loading a run log off the calling thread.
#include "app/log_window/log_loader.h"

#include <QEventLoop>

#include <atomic>
#include <exception>
#include <thread>

TLogLoad LoadLogText(const std::function<std::string()>& read) {
    TLogLoad load;
    std::atomic<bool> cancelled = false;
    std::atomic<bool> done = false;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            const std::string bytes = read();
            load.Text = TLogText::FromBytes(bytes, &cancelled);
        } catch (const std::exception& error) {
            load.Outcome = TLogLoad::TOutcome::Failed;
            load.Error = error.what();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Returns early when the application quits, which ends every event loop.
    loop.exec();
    if (!done)
        cancelled = true;
    worker.join();
    if (cancelled)
        return {TLogLoad::TOutcome::Abandoned, {}, {}};
    return load;
}
