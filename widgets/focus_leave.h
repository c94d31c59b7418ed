// The "exit" event of an edit: the user moved the focus from it to another control of the same window.
#pragma once

#include <QObject>

#include <functional>
#include <utility>
#include <vector>

class QWidget;

// Calls a handler when the focus has left a watched control for another control of its window (the
// handler runs from the event loop right after the move). A
// focus loss because the window lost activation (a dialog or another program took it) or a popup
// opened does not count. While a handler runs, further leaves are ignored: a handler that shows a
// message or moves the focus back must not start the next handler, or two edits could bounce the
// focus between them for ever. Exceptions a handler raises go to the standard error dialog.
class FocusLeaveWatcher : public QObject {
    Q_OBJECT
public:
    // Window: the parent of error dialogs and of this watcher.
    explicit FocusLeaveWatcher(QWidget* window);

    // OnLeave gets the control that receives the focus (nullptr when none does).
    void Watch(QWidget* control, std::function<void(QWidget* newFocus)> onLeave);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    bool m_busy = false;
    std::vector<std::pair<QObject*, std::function<void(QWidget*)>>> m_handlers;
};
