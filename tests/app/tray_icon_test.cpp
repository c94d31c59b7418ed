// The tray icon on its own: states and tips, blinking, the menu and its "Backup Now" submenu, and the
// icon's clicks.
#include "app/tray_icon.h"
#include "tests/app/app_fixture.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace {

bool ShowsPicture(const TTrayIcon& tray, int state) {
    return tray.Icon()->icon().pixmap(16).toImage() == TTrayIcon::StateIcon(state).pixmap(16).toImage();
}

QList<QAction*> OpenMenu(TTrayIcon& tray) {
    tray.mnuTray->popup(QPoint(0, 0));
    QList<QAction*> items = tray.mnuTrayBackupNow->menu()->actions();
    tray.mnuTray->hide();
    return items;
}

TEST(TrayIconTest, EachStateShowsItsPictureAndTip) {
    struct Case {
        const char* name;
        bool hasErrors;
        int state;
        int picture;
        const char* tip;
    } cases[] = {
        {"idle", false, TTrayIcon::Idle, TTrayIcon::Idle, "Brimvale is idle."},
        {"idle with errors pending", true, TTrayIcon::Idle, TTrayIcon::Idle,
         "Brimvale has errors. See log for details."},
        {"busy", false, TTrayIcon::Busy, TTrayIcon::Busy, "Brimvale is working."},
        {"busy with errors pending", true, TTrayIcon::Busy, TTrayIcon::Busy, "Brimvale is working."},
        {"error", true, TTrayIcon::Error, TTrayIcon::Error, "Brimvale has errors. See log for details."},
    };
    TTrayIcon tray;
    EXPECT_EQ(tray.Icon()->toolTip(), "Brimvale is idle.");
    EXPECT_TRUE(ShowsPicture(tray, TTrayIcon::Idle));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tray.SetHasErrors(c.hasErrors);
        tray.SetTrayIcon(c.state);
        EXPECT_EQ(tray.CurrentState(), c.state);
        EXPECT_EQ(tray.Icon()->toolTip(), c.tip);
        EXPECT_TRUE(ShowsPicture(tray, c.picture));
    }
    // The three pictures differ from each other.
    EXPECT_NE(TTrayIcon::StateIcon(0).pixmap(16).toImage(), TTrayIcon::StateIcon(1).pixmap(16).toImage());
    EXPECT_NE(TTrayIcon::StateIcon(0).pixmap(16).toImage(), TTrayIcon::StateIcon(2).pixmap(16).toImage());
    EXPECT_NE(TTrayIcon::StateIcon(1).pixmap(16).toImage(), TTrayIcon::StateIcon(2).pixmap(16).toImage());
}

TEST(TrayIconTest, PendingErrorsBlinkRedAndIdleOnlyWhileChosen) {
    TTrayIcon tray;
    bool chosen = true;
    tray.SetBlinkChosen([&] { return chosen; });
    EXPECT_TRUE(tray.Blinking());
    // No errors: the ticks leave the busy icon alone.
    tray.SetTrayIcon(TTrayIcon::Busy);
    auto* blink = tray.findChild<QTimer*>("timTrayErrors");
    testing_support::WaitForTicks(blink, 1);
    EXPECT_EQ(tray.CurrentState(), TTrayIcon::Busy);

    // Errors pending: the busy icon gives way to red and idle in turn, both with the errors tip.
    tray.SetHasErrors(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.CurrentState() == TTrayIcon::Error; }, 5000));
    EXPECT_EQ(tray.Icon()->toolTip(), "Brimvale has errors. See log for details.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.CurrentState() == TTrayIcon::Idle; }, 5000));
    EXPECT_EQ(tray.Icon()->toolTip(), "Brimvale has errors. See log for details.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.CurrentState() == TTrayIcon::Error; }, 5000));

    // Blinking no longer chosen in the red phase: the red icon stays until the next change.
    chosen = false;
    testing_support::WaitForTicks(blink, 1);
    EXPECT_EQ(tray.CurrentState(), TTrayIcon::Error);

    // A stopped timer blinks no more.
    chosen = true;
    tray.SetBlinking(false);
    tray.SetTrayIcon(TTrayIcon::Idle);
    // No timer runs to wait for: the time of a blink passes.
    QTest::qWait(1300);
    EXPECT_EQ(tray.CurrentState(), TTrayIcon::Idle);
    EXPECT_FALSE(tray.Blinking());
}

TEST(TrayIconTest, BackupNowListsTheProfilesAtEachOpening) {
    TTrayIcon tray;
    std::vector<TTrayProfileEntry> entries = {{"Documents", 3, false}, {"Photos", 0, true}};
    tray.SetProfileEntries([&] { return entries; });
    QSignalSpy started(&tray, &TTrayIcon::BackupNowRequested);

    QList<QAction*> items = OpenMenu(tray);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "Documents");
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->text(), "Photos");
    EXPECT_FALSE(items[1]->isEnabled());
    EXPECT_TRUE(tray.mnuTrayBackupNow->isEnabled());
    items[0]->trigger();
    ASSERT_EQ(started.count(), 1);
    EXPECT_EQ(started[0][0].toInt(), 3);

    // The next opening sees the profiles as they are then.
    entries = {{"Photos", 0, false}};
    items = OpenMenu(tray);
    ASSERT_EQ(items.size(), 1);
    EXPECT_TRUE(items[0]->isEnabled());
    items[0]->trigger();
    ASSERT_EQ(started.count(), 2);
    EXPECT_EQ(started[1][0].toInt(), 0);

    entries.clear();
    EXPECT_TRUE(OpenMenu(tray).isEmpty());
    EXPECT_FALSE(tray.mnuTrayBackupNow->isEnabled());
}

TEST(TrayIconTest, MenuItemsAndClicksAskForTheWindowOrTheExit) {
    TTrayIcon tray;
    QStringList captions;
    for (QAction* item : tray.mnuTray->actions())
        captions << (item->isSeparator() ? "-" : item->text());
    EXPECT_EQ(captions, QStringList({"Open...", "-", "Backup Now", "-", "Exit Brimvale"}));
    EXPECT_TRUE(tray.mnuTrayOpen->font().bold());
    EXPECT_EQ(tray.Icon()->contextMenu(), tray.mnuTray);

    QSignalSpy opened(&tray, &TTrayIcon::OpenRequested);
    QSignalSpy exited(&tray, &TTrayIcon::ExitRequested);
    struct Click {
        QSystemTrayIcon::ActivationReason reason;
        int opens;
    } clicks[] = {{QSystemTrayIcon::Trigger, 1},
                  {QSystemTrayIcon::DoubleClick, 1},
                  {QSystemTrayIcon::Context, 0},
                  {QSystemTrayIcon::MiddleClick, 0}};
    for (const Click& click : clicks) {
        SCOPED_TRACE(int(click.reason));
        opened.clear();
        emit tray.Icon()->activated(click.reason);
        EXPECT_EQ(opened.count(), click.opens);
    }
    opened.clear();
    tray.mnuTrayOpen->trigger();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(exited.count(), 0);
    tray.mnuTrayClose->trigger();
    EXPECT_EQ(exited.count(), 1);
}

} // namespace
