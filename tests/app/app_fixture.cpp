// The program tests' shared fixture and scripted dialogs.
#include "tests/app/app_fixture.h"

#include "app/dialogs/password_form.h"
#include "app/ini_file.h"
#include "engine/helpers.h"
#include "platform/file_io.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

#include <sys/stat.h>

#include <chrono>
#include <thread>
#include <utility>

namespace testing_support {

std::function<int(QDialog&)> TypePassword(const QString& text) {
    return [text](QDialog& dialog) {
        auto* edit = dialog.findChild<QLineEdit*>("txtPassword");
        EXPECT_NE(edit, nullptr);
        if (!edit)
            return 2;
        edit->setText(text);
        return ClickButton("cmdOK")(dialog);
    };
}

std::function<int(QDialog&)> ClickButton(const QString& name) {
    return [name](QDialog& dialog) {
        auto* button = dialog.findChild<QAbstractButton*>(name);
        EXPECT_NE(button, nullptr) << name.toStdString();
        if (!button)
            return 2;
        dialog.setResult(0);
        button->click();
        return dialog.result();
    };
}

std::function<int(QDialog&)> Cancel() {
    return ClickButton("cmdCancel");
}

std::function<int(QDialog&)> PressKey(Qt::Key key) {
    return [key](QDialog& dialog) {
        dialog.setResult(0);
        dialog.show();
        QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
        QTest::keyClick(target, key);
        const int result = dialog.result();
        dialog.hide();
        return result;
    };
}

AppTest::AppTest() {
    (void)platform::ForceDirectories(Home());
    (void)platform::ForceDirectories(Config());
    (void)platform::ForceDirectories(Runtime());
    ::chmod(Runtime().c_str(), 0700);
    m_env.push_back(std::make_unique<ScopedEnv>("BRIMVALE_HOME", Home()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", Config()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", Runtime()));
    m_env.push_back(std::make_unique<ScopedEnv>("BRIMVALE_RESOURCES", BRIMVALE_RESOURCE_DIR));
    // The start-up update check asks a port that refuses at once, never the maker's host.
    m_env.push_back(
        std::make_unique<ScopedEnv>("BRIMVALE_UPDATE_FEED", "http://127.0.0.1:1/brimvale/updates.xml"));
    AppTitle = "Brimvale 2.0";
    AppVersion = {2, 0, 0, 0};
}

std::string AppTest::Stored(const std::string& key, const std::string& section) const {
    return TIniFile(SettingsFile()).ReadString(section, key, "<missing>");
}

AppTest::~AppTest() {
    AppTitle.clear();
    AppVersion = {};
    ProfilesDir.clear();
    LogsDir.clear();
}

QObject* FindObject(const QObject* root, const QString& name) {
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return const_cast<QObject*>(root);
    return root->findChild<QObject*>(name);
}

void ShowPageOf(QWidget* control) {
    for (QWidget* child = control; child && child->parentWidget(); child = child->parentWidget()) {
        // A tab page's parent is the tab widget's stack.
        auto* stack = qobject_cast<QStackedWidget*>(child->parentWidget());
        auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
        if (tabs)
            tabs->setCurrentWidget(child);
    }
}

void Click(const QObject* root, const QString& name) {
    QObject* target = FindObject(root, name);
    if (auto* action = qobject_cast<QAction*>(target)) {
        action->trigger();
        return;
    }
    auto* button = qobject_cast<QAbstractButton*>(target);
    if (!button) {
        ADD_FAILURE() << name.toStdString() << " is not a button or an action";
        return;
    }
    ShowPageOf(button);
    EXPECT_TRUE(button->isVisible()) << name.toStdString() << " cannot be seen";
    // A check box reacts to its box and its caption only, which begin at its left edge.
    const bool box = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
    const QPoint at =
        box ? QPoint(std::min(8, button->width() / 2), button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

void ClickRow(const QObject* root, const QString& list, int row) {
    auto* widget = Find<QListWidget>(root, list);
    if (!widget)
        return;
    ShowPageOf(widget);
    const QRect rect = widget->visualItemRect(widget->item(row));
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, rect.center());
}

void TypeInto(const QObject* root, const QString& name, const QString& text) {
    auto* edit = Find<QLineEdit>(root, name);
    if (!edit)
        return;
    ShowPageOf(edit);
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

void MoveFocusTo(const QObject* root, const QString& name) {
    if (auto* control = Find<QWidget>(root, name)) {
        ShowPageOf(control);
        control->setFocus(Qt::TabFocusReason);
        // The window reacts to the move from the event loop.
        QCoreApplication::processEvents();
    }
}

void ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

bool WaitForTicks(const QTimer* timer, int count, int timeoutMs) {
    int fired = 0;
    const QMetaObject::Connection counting = QObject::connect(timer, &QTimer::timeout, [&fired] { ++fired; });
    const bool reached = QTest::qWaitFor([&fired, count] { return fired >= count; }, timeoutMs);
    QObject::disconnect(counting);
    return reached;
}

HeldThread::HeldThread(int slot, bool stopsWhenTerminated)
    : TBackupThread(true, static_cast<std::uint8_t>(slot), ""), m_stops(stopsWhenTerminated) {}

void HeldThread::Execute() {
    while (!release && !(m_stops && Terminated()))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Synchronize([] {});
}

HeldThread* Occupy(TfrmMain& window, int slot, bool stopsWhenTerminated) {
    auto thread = std::make_unique<HeldThread>(slot, stopsWhenTerminated);
    HeldThread* raw = thread.get();
    thread->OnTerminate = [&window](TThread* sender) { window.BackupThreadTerminate(sender); };
    window.FSlots[static_cast<std::size_t>(slot - 1)].Thread = std::move(thread);
    raw->Resume();
    return raw;
}

void ReleaseAll(TfrmMain& window) {
    for (auto& slot : window.FSlots) {
        if (slot.Thread)
            static_cast<HeldThread*>(slot.Thread.get())->release = true;
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.RunningBackupCount() == 0; }, 10000));
}

MainWindowTest::MainWindowTest() {
    SetDispatcher(&m_dispatcher);
}

MainWindowTest::~MainWindowTest() {
    SetDispatcher(nullptr);
}

std::unique_ptr<TfrmMain> MainWindowTest::Window(bool tray, int forcedEndWaitMs) {
    TMainWindowOptions options;
    options.SystemTray = tray;
    options.ForcedEndWaitMs = forcedEndWaitMs;
    auto window = std::make_unique<TfrmMain>(options);
    QObject::connect(window.get(), &TfrmMain::ProgramEnded, [this] { ++m_ended; });
    // What the program does once its event loop runs: the start-up update check.
    QCoreApplication::sendPostedEvents(window.get(), QEvent::MetaCall);
    return window;
}

} // namespace testing_support
