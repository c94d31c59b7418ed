// What the program's tests share: a private home, config and runtime folder per test, the program's
// title, and a dialog handler that answers every dialog from a script and records what it said.
#pragma once

#include "app/main_window/main_window.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "widgets/dialogs.h"
#include "widgets/qt_dispatcher.h"

#include <QDialog>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// Answers: type Text into the password prompt and press OK; press the named button; cancel.
std::function<int(QDialog&)> TypePassword(const QString& text);
std::function<int(QDialog&)> ClickButton(const QString& name);
std::function<int(QDialog&)> Cancel();
// Answer: shows the dialog and presses Key in it, as a user at the keyboard would.
std::function<int(QDialog&)> PressKey(Qt::Key key);

// A private BRIMVALE_HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR, the title "Brimvale 2.0" and the
// resource folder of the build.
class AppTest : public ::testing::Test {
protected:
    AppTest();
    ~AppTest() override;

    std::string Home() const { return m_temp / "home/"; }
    std::string Config() const { return m_temp / "config/"; }
    std::string Runtime() const { return m_temp / "run/"; }
    std::string SettingsFile() const { return Home() + "brimvale.ini"; }
    std::string Temp(const std::string& relative) const { return m_temp / relative; }
    // The value of Key in the settings file as it is now; "<missing>" when it is not there.
    std::string Stored(const std::string& key, const std::string& section = "Application") const;

    TempDir m_temp;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    ScriptedDialogs m_dialogs;
};

// Driving a window as a user would. Every helper fails the test when the named control is missing.
// Root is the window (or dialog) whose children are searched by object name.
QObject* FindObject(const QObject* root, const QString& name);
template <typename T = QWidget> T* Find(const QObject* root, const QString& name) {
    auto* found = qobject_cast<T*>(FindObject(root, name));
    if (!found)
        ADD_FAILURE() << name.toStdString() << " is not a " << T::staticMetaObject.className();
    return found;
}
// Brings forward every tab page that holds Control, as a user selects the tabs on the way to it.
void ShowPageOf(QWidget* control);
// A button: shows its page and clicks it with the mouse (it must be visible and enabled for the click
// to do anything, as for a user). An action (a menu item): triggers it.
void Click(const QObject* root, const QString& name);
// Clicks the Row-th item of a list widget.
void ClickRow(const QObject* root, const QString& list, int row);
// Puts the focus into the named edit, selects its text and types Text over it.
void TypeInto(const QObject* root, const QString& name, const QString& text);
// Moves the focus to the named control as the Tab key would; the window must be active.
void MoveFocusTo(const QObject* root, const QString& name);
// Shows Window and waits until it is the active window, so that focus moves reach its controls.
void ShowActive(QWidget* window);
// Waits until Timer has fired Count more times; false when that takes longer than TimeoutMs. A test that
// shows what does not happen over some ticks waits for the ticks themselves, which a busy machine delays.
bool WaitForTicks(const QTimer* timer, int count, int timeoutMs = 20000);

// A run that holds its slot until the test releases it (or, when it listens, until it is terminated).
class HeldThread : public TBackupThread {
public:
    explicit HeldThread(int slot, bool stopsWhenTerminated = true);
    std::atomic<bool> release{false};

protected:
    void Execute() override;

private:
    bool m_stops;
};

// Parks a held run in Slot of Window, with the window's terminate handler.
HeldThread* Occupy(TfrmMain& window, int slot, bool stopsWhenTerminated = true);
// Releases every held run and waits until the slots are free.
void ReleaseAll(TfrmMain& window);

// A main-window test: the program's fixture plus the Qt dispatcher, and windows made with a tray (or
// without) that count their ProgramEnded signals in m_ended.
class MainWindowTest : public AppTest {
protected:
    MainWindowTest();
    ~MainWindowTest() override;

    std::unique_ptr<TfrmMain> Window(bool tray = true, int forcedEndWaitMs = 10000);

    TQtDispatcher m_dispatcher;
    int m_ended = 0;
};

} // namespace testing_support
