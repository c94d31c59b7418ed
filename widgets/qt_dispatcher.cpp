// The Qt dispatcher.
#include "widgets/qt_dispatcher.h"
#include "widgets/text_conversion.h"

#include "widgets/dialogs.h"

#include <QThread>

#include <exception>

TQtDispatcher::TQtDispatcher() = default;

void TQtDispatcher::Synchronize(const std::function<void()>& routine) {
    if (QThread::currentThread() == thread()) {
        routine();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        this,
        [&routine, &failure] {
            try {
                routine();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

void TQtDispatcher::Queue(std::function<void()> routine) {
    QMetaObject::invokeMethod(
        this,
        [routine = std::move(routine)] {
            // No exception may escape into the event loop.
            try {
                routine();
            } catch (const std::exception& error) {
                dialogs::ShowError(nullptr, Q(error.what()));
            } catch (...) {
                dialogs::ShowError(nullptr, QStringLiteral("Unknown error"));
            }
        },
        Qt::QueuedConnection);
}
