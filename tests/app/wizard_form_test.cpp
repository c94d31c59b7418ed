// The new-profile wizard, driven step by step through its buttons, edits, keys and dialogs.
#include "app/app_texts.h"
#include "app/dialogs/wizard_form.h"
#include "tests/app/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using testing_support::AppTest;
using testing_support::ClickButton;

namespace {

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

// An answer for the address dialog: adds each (page, address) and presses OK.
std::function<int(QDialog&)> AddAddresses(std::vector<std::pair<QString, QString>> addresses) {
    return [addresses](QDialog& dialog) {
        for (const auto& [page, address] : addresses) {
            dialog.findChild<QLineEdit*>("txt" + page + "EmailAddress")->setText(address);
            dialog.findChild<QPushButton*>("cmdAdd" + page + "Email")->click();
        }
        return ClickButton("cmdOK")(dialog);
    };
}

class WizardTest : public AppTest {
protected:
    WizardTest() : m_wizard(nullptr, {"Daily", "weekly"}) {
        m_wizard.show();
        m_wizard.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_wizard));
    }

    template <typename T> T* Find(const char* name) {
        T* widget = m_wizard.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void Click(const char* name) {
        auto* button = Find<QAbstractButton>(name);
        // A check box or radio button reacts only over its mark and text, not over the rest of its row.
        const bool marked = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
        QTest::mouseClick(button, Qt::LeftButton, {}, marked ? QPoint(8, button->height() / 2) : QPoint());
    }
    void Next() { Click("cmdNextFinish"); }
    void Type(const char* edit, const QString& text) {
        auto* line = Find<QLineEdit>(edit);
        line->setFocus();
        line->clear();
        QTest::keyClicks(line, text);
    }
    // Leaves the focused edit for Widget, as a click or Tab would.
    void FocusTo(const char* widget) {
        Find<QWidget>(widget)->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }
    bool PanelShown(int step) {
        for (int n = 1; n <= 5; ++n)
            if (Find<QWidget>(QStringLiteral("pnlStep%1").arg(n).toLatin1())->isVisible() != (n == step))
                return false;
        return true;
    }
    QStringList Sources() {
        QStringList lines;
        auto* list = Find<QListWidget>("lstSource");
        for (int row = 0; row < list->count(); ++row)
            lines << list->item(row)->text();
        return lines;
    }
    QStringList SelectedSources() {
        QStringList lines;
        for (auto* item : Find<QListWidget>("lstSource")->selectedItems())
            lines << item->text();
        return lines;
    }
    // Answers steps 1 to N - 1 with the smallest valid choices and enters step N.
    void GoToStep(int step) {
        Type("txtProfileName", QStringLiteral("Mine"));
        if (step > 2) {
            Next();
            Find<QCheckBox>("chkWizDesktop")->setChecked(true);
        }
        if (step > 3) {
            Next();
            Find<QCheckBox>("chkDriveDest")->setChecked(true);
            Find<QLineEdit>("txtDriveDest")->setText(QStringLiteral("/backup/"));
        }
        if (step > 4)
            Next();
        Next();
        ASSERT_EQ(m_wizard.CurrentStep(), step);
        ASSERT_TRUE(m_dialogs.messages.empty()) << m_dialogs.messages.front().text.toStdString();
    }

    TfrmBVWizard m_wizard;
};

TEST_F(WizardTest, OpensOnTheNameStepWithManualChosenAndTheFtpRowHidden) {
    EXPECT_EQ(m_wizard.windowTitle(), QStringLiteral("Profile Wizard"));
    EXPECT_EQ(m_wizard.CurrentStep(), 1);
    EXPECT_TRUE(PanelShown(1));
    EXPECT_FALSE(Find<QPushButton>("cmdPrevious")->isEnabled());
    EXPECT_EQ(Find<QPushButton>("cmdNextFinish")->text(), QStringLiteral("&Next >"));
    EXPECT_TRUE(Find<QPushButton>("cmdNextFinish")->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("txtProfileName"));
    EXPECT_EQ(Find<QLabel>("lblStep1")->palette().color(QPalette::WindowText), QColor(0x00, 0xff, 0x00));
    EXPECT_EQ(Find<QLabel>("lblStep2")->palette().color(QPalette::WindowText), QColor(0xff, 0xff, 0xff));
    EXPECT_EQ(Find<QLabel>("lblStep2")->text(), QStringLiteral("Sources "));
    EXPECT_TRUE(Find<QRadioButton>("rgrScheduleItem4")->isChecked());
    EXPECT_EQ(Find<QComboBox>("cboDay")->currentIndex(), -1);
    EXPECT_EQ(Find<QComboBox>("cboDay")->count(), 8);
    for (const char* ftp : {"chkFTPDest", "txtFTPDest", "cmdFTPDest"})
        EXPECT_TRUE(Find<QWidget>(ftp)->isHidden()) << ftp;
    EXPECT_FALSE(Find<QWidget>("cmdRemove")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("grpCompressOptions")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("chkNotifyOnError")->isEnabled());
}

TEST_F(WizardTest, TheNameMustBeGivenUsableAsAFileNameAndNotTaken) {
    const QString longest(235, QLatin1Char('n'));
    const struct {
        const char* name;
        QString typed;
        QString message; // empty: accepted
        QString keptText;
    } cases[] = {
        {"empty", {}, Text(texts::WizardNoProfileName), {}},
        {"taken in another case",
         QStringLiteral("DAILY"),
         QStringLiteral("The profile,DAILY, already exists. Please enter a different profile name."),
         {}},
        {"dot", QStringLiteral("."), Text(texts::ProfileNameUnusable), QStringLiteral(".")},
        {"dot dot", QStringLiteral(".."), Text(texts::ProfileNameUnusable), QStringLiteral("..")},
        {"slash", QStringLiteral("a/b"), Text(texts::ProfileNameUnusable), QStringLiteral("a/b")},
        {"backslash", QStringLiteral("a\\b"), Text(texts::ProfileNameUnusable), QStringLiteral("a\\b")},
        {"control character", QStringLiteral("a\tb"), Text(texts::ProfileNameUnusable),
         QStringLiteral("a\tb")},
        {"run-log name too long", longest + QLatin1Char('n'), Text(texts::ProfileNameUnusable),
         longest + QLatin1Char('n')},
        {"longest", longest, {}, longest},
        {"new", QStringLiteral("Weekly files"), {}, QStringLiteral("Weekly files")},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        m_dialogs.messages.clear();
        Find<QLineEdit>("txtProfileName")->setText(row.typed);
        Next();
        EXPECT_EQ(Find<QLineEdit>("txtProfileName")->text(), row.keptText);
        if (row.message.isEmpty()) {
            EXPECT_TRUE(m_dialogs.messages.empty());
            EXPECT_EQ(m_wizard.CurrentStep(), 2);
            EXPECT_TRUE(PanelShown(2));
            EXPECT_TRUE(Find<QPushButton>("cmdPrevious")->isEnabled());
            Click("cmdPrevious");
        } else {
            EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{row.message});
            EXPECT_EQ(m_dialogs.messages.front().caption, QStringLiteral("Error"));
            EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("txtProfileName"));
        }
        EXPECT_EQ(m_wizard.CurrentStep(), 1);
    }
}

TEST_F(WizardTest, SourcesNeedAnEntryOrASpecialFolder) {
    GoToStep(2);
    Next();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::WizardNoSource)});
    EXPECT_EQ(m_wizard.CurrentStep(), 2);
    EXPECT_TRUE(PanelShown(2));
    m_dialogs.messages.clear();
    Click("chkWizDesktop");
    Next();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_wizard.CurrentStep(), 3);
    EXPECT_EQ(Find<QLabel>("lblStep3")->palette().color(QPalette::WindowText), QColor(0x00, 0xff, 0x00));
    EXPECT_EQ(Find<QLabel>("lblStep2")->palette().color(QPalette::WindowText), QColor(0xff, 0xff, 0xff));
}

TEST_F(WizardTest, AddedFilesAndFoldersAreListedOnceByExactPathAndSelected) {
    GoToStep(2);
    m_dialogs.fileAnswers = {{QStringLiteral("/home/u/a.txt"), QStringLiteral("/home/u/A.txt")},
                             {QStringLiteral("/home/u/a.txt")}};
    Click("cmdAddFile");
    EXPECT_EQ(Sources(), (QStringList{QStringLiteral("/home/u/a.txt"), QStringLiteral("/home/u/A.txt")}));
    Find<QListWidget>("lstSource")->clearSelection();
    Click("cmdAddFile");
    EXPECT_EQ(Sources().size(), 2);
    EXPECT_EQ(SelectedSources(), QStringList{QStringLiteral("/home/u/a.txt")});
    EXPECT_TRUE(Find<QWidget>("cmdRemove")->isEnabled());

    m_dialogs.folderAnswers = {QStringLiteral("/data"), QStringLiteral("/data"), QStringLiteral("/"),
                               QStringLiteral("  ")};
    for (int pick = 0; pick < 4; ++pick)
        Click("cmdAddDir");
    EXPECT_EQ(Sources(), (QStringList{QStringLiteral("/home/u/a.txt"), QStringLiteral("/home/u/A.txt"),
                                      QStringLiteral("/data/*"), QStringLiteral("/*")}));
    EXPECT_EQ(m_dialogs.folderCaptions.front(),
              QStringLiteral("Select Directory|") + Text(texts::BrowseFolderTitle));
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("lstSource"));

    Find<QListWidget>("lstSource")->clearSelection();
    Click("cmdAddFile"); // cancelled
    EXPECT_FALSE(Find<QWidget>("cmdRemove")->isEnabled());
}

TEST_F(WizardTest, RemoveDeletesTheSelectedLinesAndKeepsALineSelected) {
    GoToStep(2);
    m_dialogs.fileAnswers = {{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")}};
    Click("cmdAddFile");
    auto* list = Find<QListWidget>("lstSource");
    list->clearSelection();
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    Click("cmdRemove");
    EXPECT_EQ(Sources(), QStringList{QStringLiteral("/b")});
    EXPECT_EQ(SelectedSources(), QStringList{QStringLiteral("/b")});
    EXPECT_TRUE(Find<QWidget>("cmdRemove")->isEnabled());

    list->clearSelection();
    Click("cmdRemove"); // nothing selected: only selects the first line
    EXPECT_EQ(SelectedSources(), QStringList{QStringLiteral("/b")});
    Click("cmdRemove");
    EXPECT_TRUE(Sources().isEmpty());
    EXPECT_FALSE(Find<QWidget>("cmdRemove")->isEnabled());
}

TEST_F(WizardTest, ADestinationMustBeChosenAndComplete) {
    GoToStep(3);
    Next();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::WizardNoDestination)});

    m_dialogs.messages.clear();
    Click("chkDriveDest");
    Next();
    EXPECT_EQ(m_dialogs.MessageTexts(),
              std::vector<QString>{QStringLiteral("You mest enter a drive destination path.")});
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("txtDriveDest"));

    m_dialogs.messages.clear();
    Click("chkDriveDest");
    Click("chkEmailDest");
    m_dialogs.dialogAnswers.push_back(AddAddresses({{QStringLiteral("CC"), QStringLiteral("cc@b.c")}}));
    Click("cmdEmailDest");
    Next();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::WizardNoToAddress)});
    EXPECT_EQ(m_wizard.CurrentStep(), 3);

    m_dialogs.messages.clear();
    m_dialogs.dialogAnswers.push_back(AddAddresses({{QStringLiteral("To"), QStringLiteral("To@B.c")}}));
    Click("cmdEmailDest");
    Next();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_wizard.CurrentStep(), 4);
    EXPECT_EQ(m_wizard.DestinationAddresses().To, std::vector<std::string>{"to@b.c"});
    EXPECT_EQ(m_wizard.DestinationAddresses().CC, std::vector<std::string>{"cc@b.c"});
}

TEST_F(WizardTest, TheDrivePathGetsItsSlashWhenLeftAndRefusesCharactersFilesCannotHold) {
    GoToStep(3);
    Type("txtDriveDest", QStringLiteral("/media/u/Backup"));
    EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->toolTip(), QStringLiteral("/media/u/Backup"));
    FocusTo("chkEmailDest");
    EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->text(), QStringLiteral("/media/u/Backup/"));
    EXPECT_TRUE(m_dialogs.messages.empty());

    Type("txtDriveDest", QStringLiteral("/media/u/Back*up"));
    FocusTo("chkEmailDest");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{QStringLiteral(
                                            "The drive destination path cannot contain any of the following "
                                            "characters:\r\n\t * ? \" < > |")});
    EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->text(), QStringLiteral("/media/u/Back*up/"));
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("txtDriveDest"));
    EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->selectedText(), QStringLiteral("/media/u/Back*up/"));

    m_dialogs.messages.clear();
    Type("txtDriveDest", QStringLiteral("/x"));
    FocusTo("cmdCancel"); // on the way to Cancel nothing is checked
    EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->text(), QStringLiteral("/x"));
    EXPECT_TRUE(m_dialogs.messages.empty());

    m_dialogs.folderAnswers = {QStringLiteral("/mnt/disk")};
    Click("cmdDriveDest");
    EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->text(), QStringLiteral("/mnt/disk/"));
    EXPECT_EQ(m_dialogs.folderCaptions.back(),
              QStringLiteral("Select Directory|Select a destination directory below:"));
}

TEST_F(WizardTest, TheAddressDialogShowsEachListInItsTabAndOnlyOkWritesThemBack) {
    GoToStep(3);
    Click("chkEmailNotification");
    for (const char* control : {"txtEmailNotification", "cmdEmailNotification", "chkNotifyOnError",
                                "chkNotifyLogErrors", "chkNotifyLogWarnings", "chkNotifyLogSuccesses"})
        EXPECT_TRUE(Find<QWidget>(control)->isEnabled()) << control;
    m_dialogs.dialogAnswers.push_back(AddAddresses({{QStringLiteral("To"), QStringLiteral("a@b.c")},
                                                    {QStringLiteral("CC"), QStringLiteral("c@d.e")},
                                                    {QStringLiteral("BCC"), QStringLiteral("f@g.h")}}));
    Click("cmdEmailNotification");
    EXPECT_EQ(Find<QLineEdit>("txtEmailNotification")->text(),
              QStringLiteral("TO: a@b.c, | CC: c@d.e, | BCC: f@g.h, "));
    EXPECT_TRUE(Find<QLineEdit>("txtEmailDest")->text().isEmpty());

    QString caption, banner;
    QStringList shown;
    m_dialogs.dialogAnswers.push_back([&](QDialog& dialog) {
        caption = dialog.windowTitle();
        banner = dialog.findChild<QLabel*>("lblBanner")->text();
        for (const char* page : {"To", "CC", "BCC"}) {
            auto* list = dialog.findChild<QListWidget*>(
                QStringLiteral("lst%1EmailAddresses").arg(QLatin1String(page)));
            shown << QString::number(list->count()) + list->item(0)->text();
        }
        dialog.findChild<QLineEdit*>("txtToEmailAddress")->setText(QStringLiteral("x@y.z"));
        dialog.findChild<QPushButton*>("cmdAddToEmail")->click();
        return ClickButton("cmdCancel")(dialog);
    });
    Click("cmdEmailNotification");
    EXPECT_EQ(caption, QStringLiteral("Email Notification"));
    EXPECT_EQ(banner, QStringLiteral("Enter email addresses for email notification."));
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("1a@b.c"), QStringLiteral("1c@d.e"), QStringLiteral("1f@g.h")}));
    EXPECT_EQ(m_wizard.NotificationAddresses().To, std::vector<std::string>{"a@b.c"});

    m_dialogs.dialogAnswers.push_back([&](QDialog& dialog) {
        caption = dialog.windowTitle();
        banner = dialog.findChild<QLabel*>("lblBanner")->text();
        return ClickButton("cmdCancel")(dialog);
    });
    Click("cmdEmailDest");
    EXPECT_EQ(caption, QStringLiteral("Email Destination"));
    EXPECT_EQ(banner, QStringLiteral("Enter email addresses for the email backup destination."));
    EXPECT_EQ(m_dialogs.dialogsShown, std::vector<QString>(3, QStringLiteral("frmEmail")));
}

TEST_F(WizardTest, DifferingPasswordsAreEmptiedWhenLeftAndAgainOnTheWayToTheSchedule) {
    GoToStep(4);
    Click("chkCompression");
    EXPECT_TRUE(Find<QWidget>("grpCompressOptions")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("txtPassword")->isEnabled());
    Type("txtPassword", QStringLiteral("secret"));
    Type("txtVerifyPassword", QStringLiteral("secreT"));
    FocusTo("chkSelfExtract");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::PasswordsDifferTryAgain)});
    EXPECT_TRUE(Find<QLineEdit>("txtPassword")->text().isEmpty());
    EXPECT_TRUE(Find<QLineEdit>("txtVerifyPassword")->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("txtPassword"));

    // A click on Next that does not take the focus from the verify box.
    m_dialogs.messages.clear();
    Type("txtPassword", QStringLiteral("one"));
    Type("txtVerifyPassword", QStringLiteral("two"));
    Find<QPushButton>("cmdNextFinish")->click();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::PasswordsDifferTryAgain)});
    EXPECT_EQ(m_wizard.CurrentStep(), 4);
    EXPECT_TRUE(Find<QLineEdit>("txtVerifyPassword")->text().isEmpty());

    m_dialogs.messages.clear();
    Type("txtPassword", QStringLiteral("same"));
    Type("txtVerifyPassword", QStringLiteral("same"));
    Next();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_wizard.CurrentStep(), 5);
    EXPECT_EQ(Find<QPushButton>("cmdNextFinish")->text(), QStringLiteral("&Finish"));
}

TEST_F(WizardTest, PageKeysMoveOnReleaseAndPageDownNeverFinishes) {
    Find<QLineEdit>("txtProfileName")->setText(QStringLiteral("Keys"));
    QTest::keyPress(Find<QWidget>("txtProfileName"), Qt::Key_PageDown);
    EXPECT_EQ(m_wizard.CurrentStep(), 1);
    QTest::keyRelease(Find<QWidget>("txtProfileName"), Qt::Key_PageDown);
    EXPECT_EQ(m_wizard.CurrentStep(), 2);
    QTest::keyClick(&m_wizard, Qt::Key_PageUp);
    EXPECT_EQ(m_wizard.CurrentStep(), 1);
    QTest::keyClick(&m_wizard, Qt::Key_PageUp);
    EXPECT_EQ(m_wizard.CurrentStep(), 1);

    GoToStep(5);
    QTest::keyClick(&m_wizard, Qt::Key_PageDown);
    EXPECT_EQ(m_wizard.CurrentStep(), 5);
    EXPECT_TRUE(m_wizard.isVisible());
    EXPECT_EQ(m_wizard.result(), 0);
}

TEST_F(WizardTest, EnterPressesNextEvenOnCancel) {
    Find<QLineEdit>("txtProfileName")->setText(QStringLiteral("Enter"));
    Find<QWidget>("cmdCancel")->setFocus();
    QTest::keyClick(Find<QWidget>("cmdCancel"), Qt::Key_Return);
    EXPECT_EQ(m_wizard.CurrentStep(), 2);
    EXPECT_TRUE(m_wizard.isVisible());
    Click("cmdCancel");
    EXPECT_EQ(m_wizard.result(), mrCancel);
}

TEST_F(WizardTest, FinishNeedsTheDayOfAWeeklySchedule) {
    GoToStep(5);
    Click("rgrScheduleItem2");
    Next();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::WizardNoDay)});
    EXPECT_TRUE(m_wizard.isVisible());
    Find<QComboBox>("cboDay")->setCurrentIndex(3);
    Next();
    EXPECT_EQ(m_wizard.result(), mrOk);
    EXPECT_FALSE(m_wizard.isVisible());
}

TEST_F(WizardTest, GoingBackShowsEachStepWithoutComplaint) {
    GoToStep(5);
    for (int step = 4; step >= 1; --step) {
        Click("cmdPrevious");
        EXPECT_EQ(m_wizard.CurrentStep(), step);
        EXPECT_TRUE(PanelShown(step));
    }
    EXPECT_FALSE(Find<QWidget>("cmdPrevious")->isEnabled());
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST(ProfileName, UsableNames) {
    EXPECT_TRUE(IsUsableProfileName("Daily backup"));
    EXPECT_TRUE(IsUsableProfileName(".hidden"));
    EXPECT_TRUE(IsUsableProfileName(std::string(235, 'x')));
    for (const std::string& name :
         {std::string(), std::string("."), std::string(".."), std::string("a/b"), std::string("a\\b"),
          std::string("a\nb"), std::string("a\x7f"), std::string(236, 'x')})
        EXPECT_FALSE(IsUsableProfileName(name)) << name;
}

} // namespace

namespace {

// The drive path is checked however its step is left: Enter, Page Down or a click on Next, each
// telling a refused character once and staying on the step, and a good path gets its "/".
TEST_F(WizardTest, TheDrivePathIsCheckedOnTheWayToTheNextStep) {
    const std::vector<QString> refused{Text(texts::DrivePathCharacters)};
    const struct {
        const char* name;
        std::function<void()> leave;
    } ways[] = {
        {"Enter", [&] { QTest::keyClick(Find<QWidget>("txtDriveDest"), Qt::Key_Return); }},
        {"Page Down", [&] { QTest::keyClick(Find<QWidget>("txtDriveDest"), Qt::Key_PageDown); }},
        {"a click on Next", [&] { Next(); }},
    };
    GoToStep(3);
    Click("chkDriveDest");
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        m_dialogs.messages.clear();
        Type("txtDriveDest", QStringLiteral("/tmp/a*b"));
        way.leave();
        QCoreApplication::processEvents();
        EXPECT_EQ(m_dialogs.MessageTexts(), refused);
        EXPECT_EQ(m_wizard.CurrentStep(), 3);
        EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("txtDriveDest"));

        m_dialogs.messages.clear();
        Type("txtDriveDest", QStringLiteral("/tmp/ab"));
        way.leave();
        QCoreApplication::processEvents();
        EXPECT_TRUE(m_dialogs.messages.empty());
        EXPECT_EQ(m_wizard.CurrentStep(), 4);
        EXPECT_EQ(Find<QLineEdit>("txtDriveDest")->text(), QStringLiteral("/tmp/ab/"));
        Click("cmdPrevious");
    }
}

// Differing passwords and a click on Next: the message box shows once, also while its own loop serves
// the focus leaving the verify box.
TEST_F(WizardTest, DifferingPasswordsAreToldOnceOnTheWayToTheSchedule) {
    GoToStep(4);
    Click("chkCompression");
    Type("txtPassword", QStringLiteral("one"));
    Type("txtVerifyPassword", QStringLiteral("two"));
    m_dialogs.messageKeys = {Qt::Key_Return, Qt::Key_Return};
    Next();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::PasswordsDifferTryAgain)});
    EXPECT_EQ(m_wizard.CurrentStep(), 4);
    EXPECT_TRUE(Find<QLineEdit>("txtVerifyPassword")->text().isEmpty());
}

// Enter presses the button that has the focus, as everywhere else; only Cancel passes it on to Next.
TEST_F(WizardTest, EnterPressesTheFocusedButton) {
    GoToStep(2);
    m_dialogs.folderAnswers = {QStringLiteral("/data")};
    Find<QWidget>("cmdAddDir")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Find<QWidget>("cmdAddDir"), Qt::Key_Return);
    EXPECT_EQ(Sources(), QStringList{QStringLiteral("/data/*")});
    EXPECT_EQ(m_wizard.CurrentStep(), 2);

    Find<QWidget>("cmdPrevious")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Find<QWidget>("cmdPrevious"), Qt::Key_Return);
    EXPECT_EQ(m_wizard.CurrentStep(), 1);
    EXPECT_TRUE(m_wizard.isVisible());
}

} // namespace
