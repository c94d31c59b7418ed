// The Destinations page: showing a profile changes nothing; the drive path, the address lists and the
// notification options write the selected profile with the modified mark.
#include "engine/backup_profile.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using testing_support::Click;
using testing_support::ClickButton;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::MoveFocusTo;
using testing_support::ShowActive;
using testing_support::ShowPageOf;
using testing_support::TypeInto;

namespace {

const char* const NotificationControls[] = {"txtEmailNotification", "cmdEmailNotification",
                                            "chkNotifyOnError",     "chkNotifyLogErrors",
                                            "chkNotifyLogWarnings", "chkNotifyLogSuccesses"};

class DestinationsPageTest : public MainWindowTest {
protected:
    std::string File() const { return Home() + "Profiles/Offsite.bvf"; }
    // Opens the window on a single profile file (selected at start) with the Destinations page in front.
    std::unique_ptr<TfrmMain> Open(TBackupProfile profile) {
        profile.Name = "Offsite";
        (void)platform::ForceDirectories(Home() + "Profiles/");
        EXPECT_TRUE(profile.SaveToFile(File()));
        auto window = Window(false);
        ShowActive(window.get());
        ShowPageOf(Find<QWidget>(window.get(), "txtDriveDest"));
        return window;
    }
    static bool Modified(const TfrmMain* window) {
        return Find<QPushButton>(window, "cmdSave")->isEnabled() && !window->SelectedProfile()->Saved;
    }
    static QString Text(const TfrmMain* window, const char* edit) {
        return Find<QLineEdit>(window, edit)->text();
    }
};

TEST_F(DestinationsPageTest, LeavingTheDrivePathEndsItWithASeparatorAndTellsOfRefusedCharacters) {
    const QString refusedMessage = QStringLiteral(
        "The drive destination path cannot contain any of the following characters:\r\n\t * ? \" < > |");
    struct Case {
        const char* name;
        const char* typed;
        const char* left;
        bool modified;
        bool refused;
    } cases[] = {
        {"empty", "", "", false, false},
        {"folder", "/data/Backup", "/data/Backup/", true, false},
        {"folder with separator", "/data/Backup/", "/data/Backup/", true, false},
        {"backslash and colon allowed", "/data/a\\b:c", "/data/a\\b:c/", true, false},
        {"question mark", "/data/Back?up", "/data/Back?up/", true, true},
        {"pipe", "/data/a|b/", "/data/a|b/", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dialogs.messages.clear();
        auto window = Open(TBackupProfile());
        TypeInto(window.get(), "txtDriveDest", c.typed);
        MoveFocusTo(window.get(), "chkEmailDest");
        EXPECT_EQ(Text(window.get(), "txtDriveDest"), c.left);
        EXPECT_EQ(Find<QLineEdit>(window.get(), "txtDriveDest")->toolTip(), c.left);
        EXPECT_EQ(window->SelectedProfile()->DriveDestination.Path, c.left);
        EXPECT_EQ(Modified(window.get()), c.modified);
        if (c.refused) {
            ASSERT_EQ(m_dialogs.messages.size(), 1U);
            EXPECT_EQ(m_dialogs.messages[0].text, refusedMessage);
            EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Critical);
            EXPECT_EQ(m_dialogs.messages[0].buttons, QMessageBox::Ok);
            EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(window.get(), "txtDriveDest"));
            EXPECT_EQ(Find<QLineEdit>(window.get(), "txtDriveDest")->selectedText(), c.left);
        } else {
            EXPECT_TRUE(m_dialogs.messages.empty());
            EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(window.get(), "chkEmailDest"));
        }
    }
}

TEST_F(DestinationsPageTest, BrowsingTakesTheFolderAsChosenAndCancelChangesNothing) {
    TBackupProfile profile;
    profile.DriveDestination.Path = "/old/";
    auto window = Open(profile);
    Click(window.get(), "cmdDriveDest");
    EXPECT_EQ(m_dialogs.folderCaptions, std::vector<QString>{QStringLiteral(
                                            "Select Directory|Select a directory below to add to backup.")});
    EXPECT_EQ(Text(window.get(), "txtDriveDest"), "/old/");
    EXPECT_FALSE(Modified(window.get()));

    // The folder already shown is a choice too.
    for (const char* folder : {"/mnt/disk", "/mnt/disk"}) {
        m_dialogs.folderAnswers = {QString::fromUtf8(folder)};
        Click(window.get(), "cmdDriveDest");
        EXPECT_EQ(Text(window.get(), "txtDriveDest"), folder);
        EXPECT_EQ(window->SelectedProfile()->DriveDestination.Path, folder);
        EXPECT_TRUE(Modified(window.get()));
        Click(window.get(), "cmdSave");
    }
}

TEST_F(DestinationsPageTest, TheAddressDialogShowsEachListAndOkAlwaysMarksModified) {
    struct Case {
        const char* button;
        const char* caption;
        const char* banner;
        const char* edit;
        TEmailDestination TBackupProfile::*part;
    } cases[] = {
        {"cmdEmailDest", "Email Destination", "Enter email addresses for the email backup destination.",
         "txtEmailDest", &TBackupProfile::EmailDestination},
        {"cmdEmailNotification", "Email Notification", "Enter email addresses for email notification.",
         "txtEmailNotification", &TBackupProfile::EmailNotification},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        TBackupProfile profile;
        profile.EmailNotification.Active = true;
        TEmailDestination& part = profile.*c.part;
        part.To = {"to@b.c"};
        part.CC = {"cc@b.c"};
        part.BCC = {"bcc@b.c"};
        auto window = Open(profile);

        // Cancel after adding an address keeps the lists and the mark as they were.
        m_dialogs.dialogAnswers.push_back([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("txtToEmailAddress")->setText(QStringLiteral("x@y.z"));
            dialog.findChild<QPushButton*>("cmdAddToEmail")->click();
            return ClickButton("cmdCancel")(dialog);
        });
        Click(window.get(), c.button);
        EXPECT_EQ((window->SelectedProfile()->*c.part).To, part.To);
        EXPECT_FALSE(Modified(window.get()));

        QString caption, banner;
        QStringList shown;
        m_dialogs.dialogAnswers.push_back([&](QDialog& dialog) {
            caption = dialog.windowTitle();
            banner = dialog.findChild<QLabel*>("lblBanner")->text();
            for (const char* list : {"lstToEmailAddresses", "lstCCEmailAddresses", "lstBCCEmailAddresses"}) {
                auto* items = dialog.findChild<QListWidget*>(list);
                for (int row = 0; row < items->count(); ++row)
                    shown << items->item(row)->text();
            }
            return ClickButton("cmdOK")(dialog);
        });
        Click(window.get(), c.button);
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(banner, c.banner);
        EXPECT_EQ(shown, (QStringList{"to@b.c", "cc@b.c", "bcc@b.c"}));
        const TEmailDestination& after = window->SelectedProfile()->*c.part;
        EXPECT_EQ(after.To, part.To);
        EXPECT_EQ(after.CC, part.CC);
        EXPECT_EQ(after.BCC, part.BCC);
        EXPECT_EQ(Text(window.get(), c.edit), "TO: to@b.c, | CC: cc@b.c, | BCC: bcc@b.c, ");
        EXPECT_TRUE(Modified(window.get()));
    }
}

TEST_F(DestinationsPageTest, TheNotificationBoxEnablesItsOptionsAndEachLogBoxKeepsTheOtherBits) {
    TBackupProfile profile;
    profile.EmailNotification.Active = true;
    profile.EmailNotification.To = {"admin@b.c"};
    profile.EmailNotifyErrorsOnly = true;
    profile.EmailNotifyLogFlags = 7;
    auto window = Open(profile);
    for (const char* control : NotificationControls)
        EXPECT_TRUE(Find<QWidget>(window.get(), control)->isEnabled()) << control;

    Click(window.get(), "chkNotifyLogWarnings");
    EXPECT_EQ(window->SelectedProfile()->EmailNotifyLogFlags, 5);
    EXPECT_TRUE(Modified(window.get()));
    Click(window.get(), "chkNotifyLogWarnings");
    EXPECT_EQ(window->SelectedProfile()->EmailNotifyLogFlags, 7);
    Click(window.get(), "chkNotifyLogSuccesses");
    EXPECT_EQ(window->SelectedProfile()->EmailNotifyLogFlags, 3);
    Click(window.get(), "chkNotifyOnError");
    EXPECT_FALSE(window->SelectedProfile()->EmailNotifyErrorsOnly);

    Click(window.get(), "cmdSave");
    Click(window.get(), "chkEmailNotification");
    for (const char* control : NotificationControls)
        EXPECT_FALSE(Find<QWidget>(window.get(), control)->isEnabled()) << control;
    const TBackupProfile& after = *window->SelectedProfile();
    EXPECT_FALSE(after.EmailNotification.Active);
    EXPECT_TRUE(Modified(window.get()));
    EXPECT_EQ(after.EmailNotification.To, profile.EmailNotification.To);
    EXPECT_EQ(after.EmailNotifyLogFlags, 3);

    // The box's caption, a label that wraps on a narrow page, works the box too.
    auto* caption = Find<QLabel>(window.get(), "lblEmailNotification");
    QTest::mouseClick(caption, Qt::LeftButton, {}, caption->rect().center());
    EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkEmailNotification")->isChecked());
    EXPECT_TRUE(after.EmailNotification.Active);
    for (const char* control : NotificationControls)
        EXPECT_TRUE(Find<QWidget>(window.get(), control)->isEnabled()) << control;
}

TEST_F(DestinationsPageTest, ShowingAProfileFillsThePageAndLeavesItSaved) {
    TBackupProfile profile;
    profile.DriveDestination = {true, "/media/u/Disk/"};
    profile.EmailDestination = {true, {"a@b.c", "d@e.f"}, {"g@h.i"}, {}};
    profile.FTPDestination = {true, "ftp.example.net", "user", "secret", "/in/"};
    profile.EmailNotification = {true, {"n@b.c"}, {}, {"m@b.c"}};
    profile.EmailNotifyErrorsOnly = true;
    profile.EmailNotifyLogFlags = 5;
    auto window = Open(profile);

    EXPECT_EQ(Text(window.get(), "txtDriveDest"), "/media/u/Disk/");
    EXPECT_EQ(Find<QLineEdit>(window.get(), "txtDriveDest")->toolTip(), "/media/u/Disk/");
    EXPECT_EQ(Text(window.get(), "txtEmailDest"), "TO: a@b.c, d@e.f, | CC: g@h.i, | BCC: ");
    EXPECT_EQ(Text(window.get(), "txtEmailNotification"), "TO: n@b.c, | CC: | BCC: m@b.c, ");
    for (const char* box : {"chkDriveDest", "chkEmailDest", "chkFTPDest", "chkEmailNotification",
                            "chkNotifyOnError", "chkNotifyLogErrors", "chkNotifyLogSuccesses"})
        EXPECT_TRUE(Find<QCheckBox>(window.get(), box)->isChecked()) << box;
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkNotifyLogWarnings")->isChecked());
    for (const char* control : NotificationControls)
        EXPECT_TRUE(Find<QWidget>(window.get(), control)->isEnabled()) << control;
    for (const char* control : {"chkFTPDest", "txtFTPDest", "cmdFTPDest"})
        EXPECT_FALSE(Find<QWidget>(window.get(), control)->isVisible()) << control;
    EXPECT_TRUE(window->SelectedProfile()->Saved);
    EXPECT_FALSE(Find<QPushButton>(window.get(), "cmdSave")->isEnabled());
    EXPECT_TRUE(m_dialogs.messages.empty());

    // An edit on the page and Save keep the FTP destination that no control edits.
    Click(window.get(), "chkDriveDest");
    Click(window.get(), "cmdSave");
    TBackupProfile stored;
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_FALSE(stored.DriveDestination.Active);
    EXPECT_TRUE(stored.FTPDestination.Active);
    EXPECT_EQ(stored.FTPDestination.Host, "ftp.example.net");
    EXPECT_EQ(stored.FTPDestination.UserName, "user");
    EXPECT_EQ(stored.FTPDestination.Password, "secret");
    EXPECT_EQ(stored.FTPDestination.Path, "/in/");
}

} // namespace
