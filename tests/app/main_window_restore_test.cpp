// The Restore page: copies and archives made by real backup runs, restored through the page's controls.
#include "app/main_window/main_window.h"
#include "engine/backup_thread.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <ostream>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ReadFile;
using testing_support::RemoveTree;
using testing_support::SetModified;
using testing_support::ShowActive;
using testing_support::TypeInto;
using testing_support::WriteFile;

namespace {

class RestorePageTest : public MainWindowTest {
protected:
    std::string Src() const { return Temp("src/"); }
    std::string Dst() const { return Temp("dst/"); }

    // A profile of the folder src/Docs/ and the file src/one.txt, backed up for real into dst/.
    TBackupProfile Backup(std::uint8_t structure, bool compress, const std::string& destName = {},
                          const std::string& password = {}) {
        WriteFile(Src() + "Docs/a.txt", "alpha");
        WriteFile(Src() + "Docs/sub/b.txt", "beta");
        WriteFile(Src() + "one.txt", "one");
        TBackupProfile p;
        p.Name = "Work";
        p.Sources = {Src() + "Docs/*", Src() + "one.txt"};
        p.DriveDestination.Active = true;
        p.DriveDestination.Path = Dst();
        p.BackupAttributes.DirectoryAttributeMask = 63;
        p.BackupAttributes.FileAttributeMask = 63;
        p.BackupAttributes.DirectoryStructure = structure;
        p.BackupAttributes.Compress = compress;
        p.BackupAttributes.DestinationName = destName;
        p.BackupAttributes.Password = password;
        EXPECT_TRUE(RunAndSave(p));
        return p;
    }

    // Backs the profile up for real and saves it as Work.bvf; false when either did not happen.
    bool RunAndSave(TBackupProfile& p) {
        TProfileCell cell = std::make_unique<TBackupProfile>(p);
        (void)platform::ForceDirectories(Home() + "Logs/");
        TBackupThread thread(true, 1, Home() + "Logs/");
        thread.SetProfile(&cell);
        bool ended = false;
        thread.OnTerminate = [&](TThread*) { ended = true; };
        thread.Resume();
        if (!QTest::qWaitFor([&] { return ended; }, 60000))
            return false;
        (void)platform::ForceDirectories(Home() + "Profiles/");
        return p.SaveToFile(Home() + "Profiles/Work.bvf");
    }

    // Opens the window on the Restore page.
    void Open() {
        m_window = Window(false);
        ShowActive(m_window.get());
        auto* pages = Find<QTabWidget>(m_window.get(), "pagMain");
        pages->setCurrentWidget(Find<QWidget>(m_window.get(), "tabRestore"));
        m_list = Find<QListWidget>(m_window.get(), "lstRestoreFilesDirs");
    }
    QStringList Entries() const {
        QStringList entries;
        for (int row = 0; row < m_list->count(); ++row)
            entries << m_list->item(row)->text();
        return entries;
    }
    // Selects the entries with these texts, as ctrl-clicks.
    void Select(const QStringList& texts) {
        m_list->clearSelection();
        for (int row = 0; row < m_list->count(); ++row)
            if (texts.contains(m_list->item(row)->text()))
                QTest::mouseClick(m_list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                                  m_list->visualItemRect(m_list->item(row)).center());
        ASSERT_EQ(m_list->selectedItems().size(), texts.size());
    }
    void SetChecked(const char* name, bool checked) {
        if (Find<QCheckBox>(m_window.get(), name)->isChecked() != checked)
            Click(m_window.get(), name);
    }
    void RestoreTo(const std::string& location) {
        SetChecked("chkRestoreLoc", !location.empty());
        if (!location.empty())
            TypeInto(m_window.get(), "txtRestoreLoc", QString::fromStdString(location));
        Click(m_window.get(), "cmdRestoreNow");
    }
    std::vector<QString> Messages() const { return m_dialogs.MessageTexts(); }

    std::unique_ptr<TfrmMain> m_window;
    QListWidget* m_list = nullptr;
};

struct StructureCase {
    const char* name;
    std::uint8_t structure;
    bool compress;
    const char* destName;
};

// Shown by the test's name in failures and listings, not as the bytes of the row.
void PrintTo(const StructureCase& row, std::ostream* out) {
    *out << row.name;
}

class RestoreRoundTrip : public RestorePageTest, public ::testing::WithParamInterface<StructureCase> {};

// Every entry goes back where it came from after the sources were lost; to another folder a copy puts a
// folder's contents directly there, an archive its stored folders beneath it, also when the folder's path
// holds the stored path in its middle.
TEST_P(RestoreRoundTrip, BringsEntriesBackToTheirPlaceAndToAnotherFolder) {
    const StructureCase& c = GetParam();
    Backup(c.structure, c.compress, c.destName);
    RemoveTree(Src());
    Open();
    ASSERT_EQ(Entries(), (QStringList{QString::fromStdString(Src() + "Docs/*"),
                                      QString::fromStdString(Src() + "one.txt")}));
    Select(Entries());
    RestoreTo("");
    EXPECT_EQ(ReadFile(Src() + "Docs/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(Src() + "Docs/sub/b.txt"), "beta");
    EXPECT_EQ(ReadFile(Src() + "one.txt"), "one");
    EXPECT_FALSE(platform::PathExists(Src() + "Docs/Docs"));
    const QString done = c.compress ? "Restore completed without errors." : "Restore completed successfully.";
    EXPECT_EQ(Messages(), (std::vector<QString>{done, done}));

    const std::string stored = c.structure == 0 ? Src().substr(1) + "Docs/" : c.structure == 1 ? "Docs/" : "";
    // A location that holds the stored path in its middle, not at its end.
    const std::string other = Temp("other/") + stored + "x/";
    Select({QString::fromStdString(Src() + "Docs/*")});
    RestoreTo(other);
    const std::string place = c.compress ? other + stored : other;
    EXPECT_EQ(ReadFile(place + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(place + "sub/b.txt"), "beta");
}

INSTANTIATE_TEST_SUITE_P(Structures, RestoreRoundTrip,
                         ::testing::Values(StructureCase{"CopyFullPath", 0, false, ""},
                                           StructureCase{"CopyLastFolderNamed", 1, false, "Named"},
                                           StructureCase{"CopyNone", 2, false, ""},
                                           StructureCase{"ArchiveFullPath", 0, true, ""},
                                           StructureCase{"ArchiveLastFolder", 1, true, ""},
                                           StructureCase{"ArchiveNone", 2, true, ""}),
                         [](const auto& row) { return std::string(row.param.name); });

// A folder inside a folder of the same name goes back into the inner one.
TEST_F(RestorePageTest, FolderInsideSameNamedFolderGoesBackInside) {
    WriteFile(Src() + "Docs/Docs/a.txt", "inner");
    TBackupProfile p;
    p.Name = "Work";
    p.Sources = {Src() + "Docs/Docs/*"};
    p.DriveDestination.Active = true;
    p.DriveDestination.Path = Dst();
    p.BackupAttributes.Compress = true;
    p.BackupAttributes.DirectoryAttributeMask = p.BackupAttributes.FileAttributeMask = 63;
    ASSERT_TRUE(RunAndSave(p));
    RemoveTree(Src());
    Open();
    Select(Entries());
    RestoreTo("");
    EXPECT_EQ(ReadFile(Src() + "Docs/Docs/a.txt"), "inner");
    EXPECT_FALSE(platform::PathExists(Src() + "Docs/a.txt"));
}

// "Replace files that are newer." off keeps equal and newer targets and replaces older ones; on replaces
// every one of them.
TEST_F(RestorePageTest, ReplaceRuleOnEqualOlderAndNewerTargets) {
    const struct {
        const char* name;
        std::int64_t offset; // target time relative to the copy's
        bool replace;
        bool replaced;
    } rows[] = {{"equal kept", 0, false, false},
                {"older replaced", -3600, false, true},
                {"newer kept", 3600, false, false},
                {"equal replaced", 0, true, true},
                {"newer replaced", 3600, true, true}};
    for (const bool compress : {false, true}) {
        Backup(1, compress);
        Open();
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (compress ? " archive" : " copy"));
            struct stat st {};
            ASSERT_EQ(::stat((Src() + "one.txt").c_str(), &st), 0);
            const std::int64_t copyTime = st.st_mtime;
            WriteFile(Src() + "one.txt", "changed");
            SetModified(Src() + "one.txt", copyTime + row.offset);
            SetChecked("chkRestoreReplace", row.replace);
            Select({QString::fromStdString(Src() + "one.txt")});
            RestoreTo("");
            EXPECT_EQ(ReadFile(Src() + "one.txt"), row.replaced ? "one" : "changed");
            SetModified(Src() + "one.txt", copyTime);
            WriteFile(Src() + "one.txt", "one");
            SetModified(Src() + "one.txt", copyTime);
        }
        m_window.reset();
        RemoveTree(Dst());
    }
}

// A read-only target older than the backup is replaced from the copy as from an archive, and the restored
// file has its own mode.
TEST_F(RestorePageTest, ReadOnlyOlderTargetIsReplacedOnBothPaths) {
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "archive" : "copy");
        Backup(1, compress);
        WriteFile(Src() + "Docs/a.txt", "mine");
        SetModified(Src() + "Docs/a.txt", 1000000000);
        ::chmod((Src() + "Docs/a.txt").c_str(), 0444);
        Open();
        Select({QString::fromStdString(Src() + "Docs/*")});
        RestoreTo("");
        EXPECT_EQ(ReadFile(Src() + "Docs/a.txt"), "alpha");
        struct stat st {};
        ASSERT_EQ(::stat((Src() + "Docs/a.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
        EXPECT_EQ(Messages(), (std::vector<QString>{compress ? "Restore completed without errors."
                                                             : "Restore completed successfully."}));
        m_dialogs.messages.clear();
        m_window.reset();
        RemoveTree(Dst());
    }
}

// The refusals, each for one entry: nothing behind the archive list, a password left out, a location
// that is no absolute path, nothing selected.
TEST_F(RestorePageTest, RefusalsNameTheirReason) {
    Backup(1, true, "", "secret");
    RemoveTree(Src());
    Open();
    auto* archives = Find<QComboBox>(m_window.get(), "cboRestoreArchive");
    ASSERT_EQ(archives->count(), 1);
    EXPECT_EQ(archives->itemText(0), "Work.zip");
    Click(m_window.get(), "cmdRestoreNow");
    Select({QString::fromStdString(Src() + "one.txt")});
    RestoreTo("");
    RestoreTo("relative/folder");
    TypeInto(m_window.get(), "txtRestorePass", "wrong");
    RestoreTo("");
    EXPECT_EQ(Messages(),
              (std::vector<QString>{"Please select a file/directory to restore from the list above.",
                                    "ERROR: You must enter a password to restore this archive.",
                                    "Unable to restore.\r\n\r\n\trelative/folder\r\n\r\nInvalid destination.",
                                    "ERROR: The password is not correct."}));
    EXPECT_TRUE(Find<QLineEdit>(m_window.get(), "txtRestorePass")->text().isEmpty());
    EXPECT_FALSE(platform::PathExists(Temp("relative")));

    m_dialogs.messages.clear();
    ::unlink((Dst() + "Work.zip").c_str());
    Find<QTabWidget>(m_window.get(), "pagMain")->setCurrentIndex(0);
    Find<QTabWidget>(m_window.get(), "pagMain")
        ->setCurrentWidget(Find<QWidget>(m_window.get(), "tabRestore"));
    EXPECT_EQ(archives->currentText(), " <- No Archives Found ->");
    Select({QString::fromStdString(Src() + "one.txt")});
    RestoreTo("");
    EXPECT_EQ(Messages(), (std::vector<QString>{"Nothing to restore."}));
}

// Cancel during an extraction aborts it and says how many files came back before it; the button and the
// password are back afterwards.
TEST_F(RestorePageTest, CancelDuringExtraction) {
    std::string big(8 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteFile(Src() + "Docs/big.bin", big);
    Backup(1, true);
    RemoveTree(Src());
    Open();
    Select({QString::fromStdString(Src() + "Docs/*")});
    auto* button = Find<QPushButton>(m_window.get(), "cmdRestoreNow");
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (button->text() == "&Cancel") {
            cancel.stop();
            button->click();
        }
    });
    cancel.start(0);
    RestoreTo("");
    int restored = 0;
    for (const char* name : {"Docs/a.txt", "Docs/big.bin", "Docs/sub/b.txt"})
        restored += platform::PathExists(Src() + name) ? 1 : 0;
    EXPECT_EQ(Messages(), (std::vector<QString>{QString::fromStdString(
                              "ERROR: User aborted process\r\n\r\nFiles restored before the cancel: " +
                              std::to_string(restored))}));
    EXPECT_LT(restored, 3);
    EXPECT_EQ(button->text(), "&Restore Now");
    EXPECT_FALSE(platform::PathExists(Src() + "Docs/big.bin"));
}

// Cancel in the middle of a large file leaves the old file whole, from the copy as from an archive, and
// says the restore was cancelled.
TEST_F(RestorePageTest, CancelInTheMiddleOfAFileKeepsTheOldOneOnBothPaths) {
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "archive" : "copy");
        WriteFile(Src() + "big.bin", std::string(16 << 20, 'n'));
        TBackupProfile p;
        p.Name = "Work";
        p.Sources = {Src() + "big.bin"};
        p.DriveDestination.Active = true;
        p.DriveDestination.Path = Dst();
        p.BackupAttributes.DirectoryAttributeMask = p.BackupAttributes.FileAttributeMask = 63;
        p.BackupAttributes.Compress = compress;
        ASSERT_TRUE(RunAndSave(p));
        WriteFile(Src() + "big.bin", "old");
        SetModified(Src() + "big.bin", 1000000000);
        Open();
        Select({QString::fromStdString(Src() + "big.bin")});
        auto* button = Find<QPushButton>(m_window.get(), "cmdRestoreNow");
        QTimer cancel;
        // The click comes once the new content is being written beside the old file.
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            for (const auto& entry : platform::ListDirectory(Src()).Entries)
                if (entry.Name.find("big.bin.") != std::string::npos && button->text() == "&Cancel") {
                    cancel.stop();
                    button->click();
                }
        });
        cancel.start(0);
        RestoreTo("");
        EXPECT_EQ(ReadFile(Src() + "big.bin"), "old");
        for (const auto& entry : platform::ListDirectory(Src()).Entries)
            EXPECT_EQ(entry.Name.find("brimvale-tmp"), std::string::npos) << entry.Name;
        EXPECT_FALSE(cancel.isActive());
        EXPECT_EQ(Messages(), (std::vector<QString>{
                                  "ERROR: User aborted process\r\n\r\nFiles restored before the cancel: 0"}));
        m_dialogs.messages.clear();
        m_window.reset();
        RemoveTree(Dst());
    }
}

// A wrong password is told apart from a damaged archive and restores nothing: not even the folders of the
// entry appear.
TEST_F(RestorePageTest, WrongPasswordSaysSoAndLeavesTheTargetAsItWas) {
    Backup(1, true, "", "secret");
    RemoveTree(Src());
    (void)platform::ForceDirectories(Src());
    Open();
    Select({QString::fromStdString(Src() + "Docs/*")});
    TypeInto(m_window.get(), "txtRestorePass", "wrong");
    RestoreTo("");
    EXPECT_EQ(Messages(), (std::vector<QString>{"ERROR: The password is not correct."}));
    EXPECT_EQ(testing_support::Entries(Src()), std::vector<std::string>{});
    TypeInto(m_window.get(), "txtRestorePass", "secret");
    RestoreTo("");
    EXPECT_EQ(ReadFile(Src() + "Docs/sub/b.txt"), "beta");
}

// A profile with the full-path structure whose source lies below a link to a folder goes back to its place
// through that link, from an archive as from the copy; a link inside the restored folder is still refused.
TEST_F(RestorePageTest, FullPathBelowALinkedFolderGoesBackToItsPlace) {
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "archive" : "copy");
        const std::string real = Temp("data/work/"), outside = Temp("outside/");
        (void)platform::ForceDirectories(real);
        (void)platform::ForceDirectories(outside);
        ASSERT_EQ(::symlink(real.c_str(), Temp("work").c_str()), 0);
        const std::string linked = Temp("work/");
        WriteFile(linked + "Docs/a.txt", "alpha");
        WriteFile(linked + "Docs/sub/b.txt", "beta");
        TBackupProfile p;
        p.Name = "Work";
        p.Sources = {linked + "Docs/*"};
        p.DriveDestination.Active = true;
        p.DriveDestination.Path = Dst();
        p.BackupAttributes.DirectoryAttributeMask = p.BackupAttributes.FileAttributeMask = 63;
        p.BackupAttributes.DirectoryStructure = 0;
        p.BackupAttributes.Compress = compress;
        ASSERT_TRUE(RunAndSave(p));
        RemoveTree(real + "Docs");
        Open();
        Select(Entries());
        RestoreTo("");
        EXPECT_EQ(ReadFile(real + "Docs/a.txt"), "alpha");
        EXPECT_EQ(ReadFile(real + "Docs/sub/b.txt"), "beta");
        EXPECT_EQ(Messages(), (std::vector<QString>{compress ? "Restore completed without errors."
                                                             : "Restore completed successfully."}));
        if (compress) {
            m_dialogs.messages.clear();
            RemoveTree(real + "Docs/sub");
            ASSERT_EQ(::symlink(outside.c_str(), (real + "Docs/sub").c_str()), 0);
            SetChecked("chkRestoreReplace", true);
            Select(Entries());
            RestoreTo("");
            EXPECT_EQ(testing_support::Entries(outside), std::vector<std::string>{});
            EXPECT_EQ(Messages(), (std::vector<QString>{"ERROR: Some files could not be extracted"}));
        }
        m_dialogs.messages.clear();
        m_window.reset();
        RemoveTree(Dst());
        RemoveTree(Temp("data"));
        RemoveTree(outside);
        ::unlink(Temp("work").c_str());
    }
}

// The Favorites option without a Favorites folder gives no entry; the desktop gives its folder.
TEST_F(RestorePageTest, SpecialFolderWithoutPathGivesNoEntry) {
    testing_support::ScopedEnv home("HOME", Temp("user"));
    (void)platform::ForceDirectories(Temp("user/Desktop"));
    TBackupProfile p;
    p.Name = "Work";
    p.BackupAttributes.Desktop = true;
    p.BackupAttributes.Favorites = true;
    (void)platform::ForceDirectories(Home() + "Profiles/");
    ASSERT_TRUE(p.SaveToFile(Home() + "Profiles/Work.bvf"));
    Open();
    EXPECT_EQ(Entries(), QStringList{QString::fromStdString(Temp("user/Desktop/*"))});
}

} // namespace

namespace {

// The page is filled each time it shows: also when the window comes back from being minimised with the
// page open, so that an archive made meanwhile is offered at once.
TEST_F(RestorePageTest, TheWindowComingBackWithThePageOpenOffersWhatWasMadeMeanwhile) {
    Backup(1, true);
    Open();
    auto* archives = Find<QComboBox>(m_window.get(), "cboRestoreArchive");
    ASSERT_EQ(archives->count(), 1);
    m_window->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->isMinimized(); }));
    WriteFile(Dst() + "Work_20260101_120000.zip", ReadFile(Dst() + "Work.zip"));
    m_window->showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return archives->count() == 2; })) << archives->count();
    EXPECT_EQ(Find<QTabWidget>(m_window.get(), "pagMain")->currentWidget()->objectName(), "tabRestore");
}

// A restore stopped for want of the archive's password leaves the focus in the password box, where the
// user types it next.
TEST_F(RestorePageTest, AMissingPasswordPutsTheFocusIntoThePasswordBox) {
    Backup(1, true, "", "secret");
    Open();
    Select({QString::fromStdString(Src() + "one.txt")});
    RestoreTo("");
    ASSERT_EQ(Messages(),
              (std::vector<QString>{"ERROR: You must enter a password to restore this archive."}));
    EXPECT_EQ(QApplication::focusWidget(), Find<QLineEdit>(m_window.get(), "txtRestorePass"));
}

// Once the last profile is deleted, the page names no destination any more.
TEST_F(RestorePageTest, AnEmptiedProfileListLeavesNoDestinationOnThePage) {
    Backup(1, false);
    Open();
    auto* from = Find<QLabel>(m_window.get(), "lblRestoreFrom");
    EXPECT_EQ(from->text().toStdString(), "Restoring from: " + Dst());
    m_dialogs.messageAnswers = {QMessageBox::Yes};
    Click(m_window.get(), "cmdDelete");
    Find<QTabWidget>(m_window.get(), "pagMain")
        ->setCurrentWidget(Find<QWidget>(m_window.get(), "tabRestore"));
    EXPECT_EQ(Find<QComboBox>(m_window.get(), "cboRestoreProfiles")->count(), 0);
    EXPECT_EQ(m_list->count(), 0);
    EXPECT_EQ(from->text(), "Restoring from: ");
}

} // namespace
