// The profile list: loading the profile files, sorting, selection, Save, rename in place, New through
// the wizard and Delete, driven through the window's controls.
#include "app/app_texts.h"
#include "app/main_window/main_window.h"
#include "engine/backup_thread.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"
#include "tests/support/seams.h"
#include "tests/support/tmpfs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

#include <atomic>
#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ReadFile;
using testing_support::ScopedFaultHook;
using testing_support::ShowActive;
using testing_support::WriteFile;

namespace {

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

// Answers the wizard: a name, the Desktop as source, a drive destination, then Setup on step 5 and
// Finish.
std::function<int(QDialog&)> Wizard(const QString& name, std::function<void(QDialog&)> setup = {}) {
    return [name, setup](QDialog& dialog) {
        dialog.show();
        const auto next = [&] { Find<QPushButton>(&dialog, "cmdNextFinish")->click(); };
        Find<QLineEdit>(&dialog, "txtProfileName")->setText(name);
        next();
        Find<QCheckBox>(&dialog, "chkWizDesktop")->setChecked(true);
        next();
        Find<QCheckBox>(&dialog, "chkDriveDest")->setChecked(true);
        Find<QLineEdit>(&dialog, "txtDriveDest")->setText(QStringLiteral("/backup/"));
        next();
        next();
        if (setup)
            setup(dialog);
        next();
        return dialog.result();
    };
}

class ProfileListTest : public MainWindowTest {
protected:
    std::string Profiles() const { return Home() + "Profiles/"; }
    std::string ProfileFile(const std::string& name) const { return Profiles() + name + ".bvf"; }
    void AddProfileFile(const std::string& name) const {
        (void)platform::ForceDirectories(Profiles());
        TBackupProfile profile;
        profile.Sources = {"/data/" + name};
        ASSERT_TRUE(profile.SaveToFile(ProfileFile(name)));
    }
    std::unique_ptr<TfrmMain> Open(const std::vector<std::string>& names) {
        for (const auto& name : names)
            AddProfileFile(name);
        auto window = Window(false);
        ShowActive(window.get());
        m_list = Find<QTreeWidget>(window.get(), "lstProfiles");
        testing_support::ShowPageOf(m_list);
        return window;
    }
    QStringList Captions() const {
        QStringList captions;
        for (int row = 0; row < m_list->topLevelItemCount(); ++row)
            captions << m_list->topLevelItem(row)->text(0);
        return captions;
    }
    QString Selected() const {
        const auto selected = m_list->selectedItems();
        return selected.isEmpty() ? QString() : selected.front()->text(0);
    }
    QString IndexOf(const QString& caption) const {
        for (int row = 0; row < m_list->topLevelItemCount(); ++row)
            if (m_list->topLevelItem(row)->text(0) == caption)
                return m_list->topLevelItem(row)->text(1);
        return {};
    }
    void Select(const QString& caption) {
        for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = m_list->topLevelItem(row);
            if (item->text(0) == caption)
                QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                                  m_list->visualItemRect(item).center());
        }
        ASSERT_EQ(Selected(), caption);
    }
    // Renames the selected profile through the list's item editor: a click on the selected item opens
    // it, the text is typed over and Enter ends it.
    void Rename(const QString& text) {
        QTreeWidgetItem* item = m_list->selectedItems().front();
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, m_list->visualItemRect(item).center());
        QLineEdit* editor = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (editor = m_list->viewport()->findChild<QLineEdit*>()); }));
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    bool Enabled(TfrmMain* window, const char* name) const {
        return Find<QWidget>(window, name)->isEnabled();
    }

    QTreeWidget* m_list = nullptr;
};

TEST_F(ProfileListTest, LoadsTheProfileFilesInCaptionOrderWithTheirIndexes) {
    for (const char* name : {"b", "B", "a", "x.y"})
        AddProfileFile(name);
    WriteFile(Profiles() + "Daily.BVF", "");
    ASSERT_EQ(::mkfifo((Profiles() + "p.bvf").c_str(), 0600), 0);
    (void)platform::ForceDirectories(Profiles() + "folder.bvf");
    auto window = Open({});
    EXPECT_EQ(Captions(), (QStringList{"B", "a", "b", "x.y"}));
    // Cells are filled in name order, whatever order the captions show.
    EXPECT_EQ((QStringList{IndexOf("B"), IndexOf("a"), IndexOf("b"), IndexOf("x.y")}),
              (QStringList{"0", "1", "2", "3"}));
    EXPECT_EQ(Selected(), QStringLiteral("B"));
    EXPECT_EQ(window->SelectedProfile()->Name, "B");
    EXPECT_EQ(window->SelectedProfile()->Sources, std::vector<std::string>{"/data/B"});
    EXPECT_TRUE(Enabled(window.get(), "cmdDelete"));
    EXPECT_FALSE(Enabled(window.get(), "cmdSave"));
}

TEST_F(ProfileListTest, AnEmptyFolderGivesAnEmptyListAndNothingToDelete) {
    auto window = Open({});
    EXPECT_TRUE(Captions().isEmpty());
    EXPECT_EQ(window->SelectedProfile(), nullptr);
    EXPECT_FALSE(Enabled(window.get(), "cmdDelete"));
    EXPECT_FALSE(Enabled(window.get(), "pagBackup"));
    // A click into the empty list selects nothing and shows nothing.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(window->SelectedProfile(), nullptr);
}

TEST_F(ProfileListTest, AClickBesideTheItemsSelectsTheFirstWhenNoneIsSelected) {
    auto window = Open({"one", "two"});
    m_list->clearSelection();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, QPoint(5, m_list->viewport()->height() - 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Selected() == QStringLiteral("one"); }));
    EXPECT_EQ(window->SelectedProfile()->Name, "one");
}

// A name the list refuses reverts silently; a rename the file system refuses reverts and says why. A
// file system without the no-replace rename (it answers EINVAL, as NFS does) still renames, and still
// never replaces a file of that name.
TEST_F(ProfileListTest, RenameMovesTheFilesOrRevertsAndTellsWhatTheFileSystemRefused) {
    const QString tooLong(236, QLatin1Char('n'));
    const QString fileExists = Text(texts::ProfileNotRenamed) + "\r\nFile exists";
    const struct {
        const char* name;
        QString typed;
        int fault; // the errno the no-replace rename fails with, 0 for none
        bool renamed;
        QString message;
    } cases[] = {
        {"good", QStringLiteral("Gamma"), 0, true, {}},
        {"empty", QString(), 0, false, {}},
        {"dot", QStringLiteral("."), 0, false, {}},
        {"dot dot", QStringLiteral(".."), 0, false, {}},
        {"slash", QStringLiteral("a/b"), 0, false, {}},
        {"backslash", QStringLiteral("a\\b"), 0, false, {}},
        {"run-log name too long", tooLong, 0, false, {}},
        {"another profile in another case", QStringLiteral("BETA"), 0, false, {}},
        {"a file that is no profile", QStringLiteral("Zeta"), 0, false, fileExists},
        {"only its own case", QStringLiteral("alpha"), 0, true, {}},
        {"no no-replace rename", QStringLiteral("Gamma"), EINVAL, true, {}},
        {"no no-replace rename, a file there", QStringLiteral("Zeta"), EINVAL, false, fileExists},
        {"a failing disk", QStringLiteral("Gamma"), EIO, false,
         Text(texts::ProfileNotRenamed) + "\r\nInput/output error"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        m_dialogs.messages.clear();
        testing_support::TempDir scratch;
        m_env.push_back(std::make_unique<testing_support::ScopedEnv>("BRIMVALE_HOME", scratch.Path()));
        const std::string profiles = scratch / "Profiles/";
        const std::string logs = scratch / "Logs/";
        (void)platform::ForceDirectories(profiles);
        (void)platform::ForceDirectories(logs);
        for (const char* name : {"Alpha", "Beta"})
            ASSERT_TRUE(TBackupProfile().SaveToFile(profiles + name + ".bvf"));
        WriteFile(logs + "Alpha.log", "legacy");
        auto window = Window(false);
        ShowActive(window.get());
        m_list = Find<QTreeWidget>(window.get(), "lstProfiles");
        testing_support::ShowPageOf(m_list);
        WriteFile(profiles + "Zeta.bvf", "not a profile of this list");
        Select("Alpha");
        const std::string profileFile = profiles + row.typed.toStdString() + ".bvf";
        ScopedFaultHook renameFails([&](platform::FaultOp op, const std::string& path) {
            return op == platform::FaultOp::Rename && path == profileFile ? row.fault : 0;
        });
        Rename(row.typed);
        renameFails.Remove();
        const std::string now = row.renamed ? row.typed.toStdString() : "Alpha";
        EXPECT_EQ(window->SelectedProfile()->Name, now);
        EXPECT_EQ(Selected(), QString::fromStdString(now));
        EXPECT_TRUE(platform::FileExists(profiles + now + ".bvf"));
        EXPECT_TRUE(platform::FileExists(logs + now + ".log"));
        EXPECT_EQ(platform::FileExists(profiles + "Alpha.bvf"), !row.renamed);
        EXPECT_EQ(ReadFile(profiles + "Zeta.bvf"), "not a profile of this list");
        if (row.message.isEmpty()) {
            EXPECT_TRUE(m_dialogs.messages.empty());
        } else {
            ASSERT_EQ(m_dialogs.messages.size(), 1u);
            EXPECT_EQ(m_dialogs.messages[0].text, row.message);
            EXPECT_EQ(m_dialogs.messages[0].caption, "Error");
        }
        EXPECT_TRUE(Enabled(window.get(), "cmdSave"));
        m_env.pop_back();
    }
}

TEST_F(ProfileListTest, ARenamedProfileMovesToItsPlaceInTheList) {
    auto window = Open({"Alpha", "Beta", "Gamma"});
    Select("Alpha");
    Rename(QStringLiteral("Omega"));
    // The item moves once its editor has closed.
    const QStringList sorted{"Beta", "Gamma", "Omega"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return Captions() == sorted; })) << Captions().join(",").toStdString();
    EXPECT_EQ(Selected(), QStringLiteral("Omega"));
    EXPECT_EQ(IndexOf("Omega"), QStringLiteral("0"));
}

TEST_F(ProfileListTest, DeleteAsksRemovesTheFileAndSelectsTheNeighbour) {
    auto window = Open({"a", "b", "c"});
    Select("b");
    m_dialogs.messageAnswers = {QMessageBox::No};
    Click(window.get(), "cmdDelete");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, Text(texts::ProfileDeleteQuestion));
    EXPECT_EQ(m_dialogs.messages[0].caption, QStringLiteral("Confirm Profile Delete"));
    EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Warning);
    EXPECT_EQ(m_dialogs.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(Captions().size(), 3);

    m_dialogs.messageAnswers = {QMessageBox::Yes};
    Click(window.get(), "cmdDelete");
    EXPECT_EQ(Captions(), (QStringList{"a", "c"}));
    EXPECT_FALSE(platform::FileExists(ProfileFile("b")));
    EXPECT_EQ(Selected(), QStringLiteral("c"));
    EXPECT_EQ(window->ProfileCell(1)->get(), nullptr);

    // The hole is filled by the next New.
    m_dialogs.dialogAnswers.push_back(Wizard(QStringLiteral("d")));
    Click(window.get(), "cmdnew");
    EXPECT_EQ(IndexOf("d"), QStringLiteral("1"));
    EXPECT_EQ(window->ProfileCell(3), nullptr);

    // The last item: the one before it is selected.
    m_dialogs.messageAnswers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes};
    Click(window.get(), "cmdDelete");
    EXPECT_EQ(Captions(), (QStringList{"a", "c"}));
    EXPECT_EQ(Selected(), QStringLiteral("c"));
    Click(window.get(), "cmdDelete");
    EXPECT_EQ(Selected(), QStringLiteral("a"));
    EXPECT_TRUE(Enabled(window.get(), "pagBackup"));

    // The only item: the editor is closed.
    Click(window.get(), "cmdDelete");
    EXPECT_TRUE(Captions().isEmpty());
    for (const char* control : {"cmdDelete", "cmdSave", "pagBackup", "cmdBackupNow"})
        EXPECT_FALSE(Enabled(window.get(), control)) << control;
    EXPECT_FALSE(Find<QAction>(window.get(), "mnuTrayBackupNow")->isEnabled());
    EXPECT_EQ(Find<QListWidget>(window.get(), "lstSource")->count(), 0);
    EXPECT_EQ(Find<QTabWidget>(window.get(), "pagBackup")->currentWidget()->objectName(),
              QStringLiteral("tabWhat"));
}

TEST_F(ProfileListTest, AProfileHeldByARunIsNotDeleted) {
    auto window = Open({"a", "b"});
    Select("b");
    auto run = std::make_unique<TBackupThread>(true, 1, Home() + "Logs/");
    run->SetProfile(window->ProfileCell(IndexOf("b").toInt()));
    window->FSlots[0].Thread = std::move(run);
    Click(window.get(), "cmdDelete");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::ProfileDeleteRefused)});
    EXPECT_EQ(Captions(), (QStringList{"a", "b"}));
    EXPECT_TRUE(platform::FileExists(ProfileFile("b")));
    window->FSlots[0].Thread.reset();

    m_dialogs.messages.clear();
    Click(window.get(), "cmdDelete");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Text(texts::ProfileDeleteQuestion)});
    EXPECT_EQ(Captions(), (QStringList{"a"}));
}

TEST_F(ProfileListTest, ASaveThatFailsSaysSoAndKeepsTheProfileUnsaved) {
    auto window = Open({"a"});
    const std::string profiles = Profiles();
    ScopedFaultHook writeRefused([profiles](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::OpenWrite && path.rfind(profiles, 0) == 0 ? EACCES : 0;
    });
    Rename(QStringLiteral("b"));
    ASSERT_TRUE(Enabled(window.get(), "cmdSave"));
    Click(window.get(), "cmdSave");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, QStringLiteral("Unable to save changes to profile."));
    EXPECT_EQ(m_dialogs.messages[0].caption, QStringLiteral("Save Error"));
    EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::None);
    EXPECT_TRUE(Enabled(window.get(), "cmdSave"));

    // New whose file cannot be written leaves the profile unsaved too.
    m_dialogs.messages.clear();
    m_dialogs.dialogAnswers.push_back(Wizard(QStringLiteral("c")));
    Click(window.get(), "cmdnew");
    EXPECT_EQ(m_dialogs.MessageTexts(),
              std::vector<QString>{QStringLiteral("Unable to save changes to profile.")});
    EXPECT_EQ(Selected(), QStringLiteral("c"));
    EXPECT_FALSE(window->SelectedProfile()->Saved);
    EXPECT_TRUE(Enabled(window.get(), "cmdSave"));
    EXPECT_FALSE(platform::FileExists(ProfileFile("c")));

    writeRefused.Remove();
    m_dialogs.messages.clear();
    Click(window.get(), "cmdSave");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_FALSE(Enabled(window.get(), "cmdSave"));
    EXPECT_TRUE(window->SelectedProfile()->Saved);
    EXPECT_TRUE(platform::FileExists(ProfileFile("c")));
    // Showing another profile and coming back keeps each one's mark.
    Select("b");
    EXPECT_FALSE(Enabled(window.get(), "cmdSave"));
}

TEST_F(ProfileListTest, CancelledWizardAddsNothing) {
    auto window = Open({"a"});
    m_dialogs.dialogAnswers.push_back(testing_support::Cancel());
    Click(window.get(), "cmdnew");
    EXPECT_EQ(m_dialogs.dialogsShown, std::vector<QString>{QStringLiteral("frmBVWizard")});
    EXPECT_EQ(Captions(), QStringList{"a"});
    EXPECT_EQ(window->ProfileCell(1), nullptr);
}

TEST_F(ProfileListTest, TheWizardsAnswersAreSavedAndLoadBack) {
    auto window = Open({});
    m_dialogs.fileAnswers = {{QStringLiteral("/home/u/notes.txt")}};
    m_dialogs.folderAnswers = {QStringLiteral("/home/u/Documents")};
    m_dialogs.dialogAnswers.push_back([this](QDialog& dialog) {
        dialog.show();
        const auto next = [&] { Find<QPushButton>(&dialog, "cmdNextFinish")->click(); };
        Find<QLineEdit>(&dialog, "txtProfileName")->setText(QStringLiteral("Weekly"));
        next();
        Find<QPushButton>(&dialog, "cmdAddFile")->click();
        Find<QPushButton>(&dialog, "cmdAddDir")->click();
        Find<QCheckBox>(&dialog, "chkWizFavorites")->setChecked(true);
        next();
        Find<QCheckBox>(&dialog, "chkDriveDest")->setChecked(true);
        Find<QLineEdit>(&dialog, "txtDriveDest")->setText(QStringLiteral("/media/u/disk/"));
        Find<QCheckBox>(&dialog, "chkEmailDest")->setChecked(true);
        m_dialogs.dialogAnswers.push_back([](QDialog& email) {
            Find<QLineEdit>(&email, "txtToEmailAddress")->setText(QStringLiteral("to@b.c"));
            Find<QPushButton>(&email, "cmdAddToEmail")->click();
            Find<QLineEdit>(&email, "txtBCCEmailAddress")->setText(QStringLiteral("bcc@b.c"));
            Find<QPushButton>(&email, "cmdAddBCCEmail")->click();
            return testing_support::ClickButton("cmdOK")(email);
        });
        Find<QPushButton>(&dialog, "cmdEmailDest")->click();
        Find<QCheckBox>(&dialog, "chkEmailNotification")->setChecked(true);
        m_dialogs.dialogAnswers.push_back([](QDialog& email) {
            Find<QLineEdit>(&email, "txtCCEmailAddress")->setText(QStringLiteral("cc@b.c"));
            Find<QPushButton>(&email, "cmdAddCCEmail")->click();
            return testing_support::ClickButton("cmdOK")(email);
        });
        Find<QPushButton>(&dialog, "cmdEmailNotification")->click();
        Find<QCheckBox>(&dialog, "chkNotifyOnError")->setChecked(true);
        Find<QCheckBox>(&dialog, "chkNotifyLogErrors")->setChecked(true);
        Find<QCheckBox>(&dialog, "chkNotifyLogSuccesses")->setChecked(true);
        next();
        Find<QCheckBox>(&dialog, "chkCompression")->setChecked(true);
        Find<QSpinBox>(&dialog, "spnGenerations")->setValue(3);
        Find<QLineEdit>(&dialog, "txtPassword")->setText(QStringLiteral("pw"));
        Find<QLineEdit>(&dialog, "txtVerifyPassword")->setText(QStringLiteral("pw"));
        Find<QCheckBox>(&dialog, "chkSelfExtract")->setChecked(true);
        next();
        Find<QAbstractButton>(&dialog, "rgrScheduleItem2")->click();
        Find<QComboBox>(&dialog, "cboDay")->setCurrentIndex(3); // Tuesday
        Find<QTimeEdit>(&dialog, "datDayTime")->setTime(QTime(18, 0));
        next();
        return dialog.result();
    });
    Click(window.get(), "cmdnew");
    ASSERT_TRUE(m_dialogs.messages.empty()) << m_dialogs.messages.front().text.toStdString();
    EXPECT_EQ(Captions(), QStringList{"Weekly"});
    EXPECT_EQ(Selected(), QStringLiteral("Weekly"));
    EXPECT_FALSE(Enabled(window.get(), "cmdSave"));
    EXPECT_TRUE(Enabled(window.get(), "pagBackup"));
    EXPECT_TRUE(Enabled(window.get(), "cmdBackupNow"));
    EXPECT_TRUE(Find<QAction>(window.get(), "mnuTrayBackupNow")->isEnabled());

    TBackupProfile loaded;
    ASSERT_TRUE(loaded.LoadFromFile(ProfileFile("Weekly")));
    EXPECT_EQ(loaded.Sources, (std::vector<std::string>{"/home/u/notes.txt", "/home/u/Documents/*"}));
    EXPECT_FALSE(loaded.BackupAttributes.Desktop);
    EXPECT_TRUE(loaded.BackupAttributes.Favorites);
    EXPECT_TRUE(loaded.DriveDestination.Active);
    EXPECT_EQ(loaded.DriveDestination.Path, "/media/u/disk/");
    EXPECT_TRUE(loaded.EmailDestination.Active);
    EXPECT_EQ(loaded.EmailDestination.To, std::vector<std::string>{"to@b.c"});
    EXPECT_EQ(loaded.EmailDestination.BCC, std::vector<std::string>{"bcc@b.c"});
    EXPECT_TRUE(loaded.EmailNotification.Active);
    EXPECT_EQ(loaded.EmailNotification.CC, std::vector<std::string>{"cc@b.c"});
    EXPECT_TRUE(loaded.EmailNotifyErrorsOnly);
    EXPECT_EQ(loaded.EmailNotifyLogFlags, 5);
    EXPECT_TRUE(loaded.BackupAttributes.Compress);
    EXPECT_EQ(loaded.BackupAttributes.Generations, 3u);
    EXPECT_EQ(loaded.BackupAttributes.Password, "pw");
    EXPECT_TRUE(loaded.BackupAttributes.SelfExtracting);
    EXPECT_EQ(loaded.BackupAttributes.DirectoryAttributeMask, 63);
    EXPECT_EQ(loaded.BackupAttributes.FileAttributeMask, 63);
    EXPECT_EQ(loaded.Schedule.ScheduleType, stWeekly);
    EXPECT_EQ(loaded.Schedule.Day, 2);
    EXPECT_NEAR(loaded.Schedule.DayTime - static_cast<int>(loaded.Schedule.DayTime), 0.75, 1e-6);
    EXPECT_FALSE(loaded.Schedule.RunAtStartup);
    EXPECT_FALSE(loaded.Schedule.RunAtShutdown);
}

TEST_F(ProfileListTest, EachScheduleChoiceGivesItsKind) {
    const struct {
        const char* name;
        const char* item;
        std::function<void(QDialog&)> set;
        std::function<void(const TBackupSchedule&)> check;
    } cases[] = {
        {"hourly", "rgrScheduleItem0", [](QDialog& d) { Find<QSpinBox>(&d, "spnHours")->setValue(6); },
         [](const TBackupSchedule& s) {
             EXPECT_EQ(s.ScheduleType, stHourly);
             EXPECT_EQ(s.Hours(), 6);
         }},
        {"daily", "rgrScheduleItem1",
         [](QDialog& d) { Find<QTimeEdit>(&d, "datDailyTime")->setTime(QTime(6, 0)); },
         [](const TBackupSchedule& s) {
             EXPECT_EQ(s.ScheduleType, stDaily);
             EXPECT_NEAR(s.DailyTime - static_cast<int>(s.DailyTime), 0.25, 1e-6);
         }},
        {"weekdays", "rgrScheduleItem2",
         [](QDialog& d) { Find<QComboBox>(&d, "cboDay")->setCurrentIndex(0); },
         [](const TBackupSchedule& s) { EXPECT_EQ(s.ScheduleType, stWeekdays); }},
        {"Saturday", "rgrScheduleItem2",
         [](QDialog& d) { Find<QComboBox>(&d, "cboDay")->setCurrentIndex(7); },
         [](const TBackupSchedule& s) {
             EXPECT_EQ(s.ScheduleType, stWeekly);
             EXPECT_EQ(s.Day, 6);
         }},
        {"monthly", "rgrScheduleItem3",
         [](QDialog& d) {
             Find<QSpinBox>(&d, "spnDayOfMonth")->setValue(15);
             Find<QTimeEdit>(&d, "datDayOfMonthTime")->setTime(QTime(12, 0));
         },
         [](const TBackupSchedule& s) {
             EXPECT_EQ(s.ScheduleType, stMonthly);
             EXPECT_EQ(s.DayOfMonth, 15);
             EXPECT_NEAR(s.DayOfMonthTime - static_cast<int>(s.DayOfMonthTime), 0.5, 1e-6);
         }},
        {"manual", "rgrScheduleItem4", [](QDialog&) {},
         [](const TBackupSchedule& s) { EXPECT_EQ(s.ScheduleType, stManual); }},
    };
    auto window = Open({});
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const QString name = QString::fromLatin1(row.name);
        m_dialogs.dialogAnswers.push_back(Wizard(name, [&row](QDialog& dialog) {
            Find<QAbstractButton>(&dialog, row.item)->click();
            row.set(dialog);
        }));
        Click(window.get(), "cmdnew");
        TBackupProfile loaded;
        ASSERT_TRUE(loaded.LoadFromFile(ProfileFile(row.name)));
        row.check(loaded.Schedule);
    }
}

TEST_F(ProfileListTest, ARunKeepsReadingItsProfileWhileNewAddsMore) {
    auto window = Open({"held"});
    TProfileCell* cell = window->ProfileCell(0);
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> reads{0};
    std::thread reader([&] {
        while (!stop) {
            reads += (*cell)->Name.size() + (*cell)->Sources.size();
        }
    });
    for (int n = 0; n < 40; ++n) {
        m_dialogs.dialogAnswers.push_back(Wizard(QStringLiteral("p%1").arg(n)));
        Click(window.get(), "cmdnew");
    }
    stop = true;
    reader.join();
    EXPECT_EQ(Captions().size(), 41);
    EXPECT_EQ(window->ProfileCell(0), cell);
    EXPECT_EQ((*cell)->Name, "held");
    EXPECT_GT(reads.load(), 0u);
}

TEST_F(ProfileListTest, BackupNowFollowsTheFreeSlotsAndTheRunningMark) {
    auto window = Open({"a", "b"});
    for (auto& slot : window->FSlots)
        slot.Thread = std::make_unique<TBackupThread>(true, 1, Home() + "Logs/");
    Select("b");
    EXPECT_FALSE(Enabled(window.get(), "cmdBackupNow"));
    window->FSlots[4].Thread.reset();
    Select("a");
    EXPECT_TRUE(Enabled(window.get(), "cmdBackupNow"));
    window->ProfileCell(IndexOf("b").toInt())->get()->InProcess = true;
    Select("b");
    EXPECT_FALSE(Enabled(window.get(), "cmdBackupNow"));
    window->ProfileCell(IndexOf("b").toInt())->get()->InProcess = false;
    for (auto& slot : window->FSlots)
        slot.Thread.reset();
}

} // namespace

// A profile file that cannot be deleted (a file system that went read-only) keeps its profile in the
// list, says why, and the profile is still there at the next start.
TEST_F(ProfileListTest, AProfileWhoseFileCannotBeDeletedStaysAndSaysWhy) {
    testing_support::ScopedTmpfs disk(Profiles(), "1m");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Reason();
    auto window = Open({"a", "b"});
    ASSERT_EQ(::mount(nullptr, Profiles().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    Select("b");
    m_dialogs.messageAnswers = {QMessageBox::Yes};
    Click(window.get(), "cmdDelete");
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[1].text, Text(texts::ProfileNotDeleted) + "\r\nRead-only file system");
    EXPECT_EQ(m_dialogs.messages[1].caption, "Error");
    EXPECT_EQ(Captions(), (QStringList{"a", "b"}));
    EXPECT_EQ(Selected(), QStringLiteral("b"));
    EXPECT_NE(window->ProfileCell(1)->get(), nullptr);
    window.reset();
    auto again = Window(false);
    m_list = Find<QTreeWidget>(again.get(), "lstProfiles");
    EXPECT_EQ(Captions(), (QStringList{"a", "b"}));
    ::mount(nullptr, Profiles().c_str(), nullptr, MS_REMOUNT, nullptr);
}

// Enter in the question deletes nothing: No is its default button.
TEST_F(ProfileListTest, EnterInTheDeleteQuestionKeepsTheProfile) {
    auto window = Open({"a", "b"});
    Select("b");
    m_dialogs.messageKeys = {Qt::Key_Return};
    Click(window.get(), "cmdDelete");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, Text(texts::ProfileDeleteQuestion));
    EXPECT_EQ(Captions(), (QStringList{"a", "b"}));
    EXPECT_TRUE(platform::FileExists(ProfileFile("b")));
}
