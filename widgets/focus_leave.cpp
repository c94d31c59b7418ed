// Focus-leave handlers with their re-entrancy guard.
#include "widgets/focus_leave.h"

#include "widgets/dialogs.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPointer>
#include <QWidget>

FocusLeaveWatcher::FocusLeaveWatcher(QWidget* window) : QObject(window), m_window(window) {}

void FocusLeaveWatcher::Watch(QWidget* control, std::function<void(QWidget* newFocus)> onLeave) {
    m_handlers.emplace_back(control, std::move(onLeave));
    control->installEventFilter(this);
}

bool FocusLeaveWatcher::eventFilter(QObject* watched, QEvent* event) {
    // While a handler runs, the focus moves it makes are its own, not the user's.
    if (event->type() != QEvent::FocusOut || m_busy)
        return false;
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return false;
    for (const auto& [control, onLeave] : m_handlers) {
        if (control != watched)
            continue;
        // The handler runs once the move has finished: putting the focus back (and selecting the
        // text) while the edit is still being left would be undone by the edit's own focus-out.
        QPointer<QWidget> newFocus = QApplication::focusWidget();
        QMetaObject::invokeMethod(
            this,
            [this, handler = onLeave, newFocus] {
                if (m_busy)
                    return;
                m_busy = true;
                dialogs::RunGuarded(m_window, [&] { handler(newFocus.data()); });
                m_busy = false;
            },
            Qt::QueuedConnection);
        break;
    }
    return false;
}
