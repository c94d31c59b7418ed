// The main window's tray side: the icon's clicks open the window through the access password, and the
// one notice of a desktop without a tray.
#include "app/app_texts.h"
#include "engine/qm_crypt.h"
#include "tests/app/app_fixture.h"

#include <QSystemTrayIcon>
#include <QTest>

using testing_support::Click;
using testing_support::MainWindowTest;
using testing_support::TypePassword;
using testing_support::WriteFile;

namespace {

QSystemTrayIcon* TrayIcon(const TfrmMain& window) {
    auto* icon = window.findChild<QSystemTrayIcon*>("trayIcon");
    EXPECT_NE(icon, nullptr);
    return icon;
}

TEST_F(MainWindowTest, AClickOnTheTrayIconOpensTheHiddenWindowThroughThePassword) {
    WriteFile(SettingsFile(), "[Application]\nAppPassRequired=1\nAppPassword=" +
                                  EncryptString("pw", kStoredPasswordKey) + "\n");
    auto window = Window();
    ASSERT_FALSE(window->isVisible());
    // Three wrong passwords leave it hidden.
    for (const char* wrong : {"a", "b", "c"})
        m_dialogs.dialogAnswers.push_back(TypePassword(wrong));
    emit TrayIcon(*window)->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(m_dialogs.dialogsShown.size(), 3u);
    // Many trays send single clicks only: one opens it too.
    m_dialogs.dialogAnswers.push_back(TypePassword("pw"));
    emit TrayIcon(*window)->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    // A shown window only comes forward.
    emit TrayIcon(*window)->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(m_dialogs.dialogsShown.size(), 4u);
}

TEST_F(MainWindowTest, WithoutATrayTheFirstCloseSaysTheProgramGoesOn) {
    auto window = Window(false);
    ASSERT_TRUE(window->isVisible());
    Click(window.get(), "cmdClose");
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, texts::KeepsRunning);
    EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Information);
    window->ActivationRequested();
    ASSERT_TRUE(window->isVisible());
    Click(window.get(), "cmdClose");
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_ended, 0);

    // With a tray the icon is the way back: nothing to say.
    auto withTray = Window(true);
    withTray->show();
    Click(withTray.get(), "cmdClose");
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

} // namespace
