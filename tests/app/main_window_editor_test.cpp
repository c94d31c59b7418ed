// The profile editor: showing a profile changes nothing, each control of the Sources, Compression and
// Advanced pages writes its field of the selected profile with the modified mark, and what was edited
// is what Save writes.
#include "app/app_texts.h"
#include "app/main_window/main_window.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <functional>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::MoveFocusTo;
using testing_support::ReadFile;
using testing_support::ShowActive;
using testing_support::ShowPageOf;
using testing_support::TypeInto;
using testing_support::WriteFile;

namespace {

class EditorTest : public MainWindowTest {
protected:
    std::string File() const { return Home() + "Profiles/Nightly.bvf"; }
    void Write(const TBackupProfile& profile) const {
        (void)platform::ForceDirectories(Home() + "Profiles/");
        ASSERT_TRUE(TBackupProfile(profile).SaveToFile(File()));
    }
    // The window, active, with the only profile selected.
    std::unique_ptr<TfrmMain> Open() {
        auto window = Window(false);
        ShowActive(window.get());
        return window;
    }
    // What a profile file holds, written anew, so that two profiles compare field by field.
    std::string Stored(const TBackupProfile& profile) const {
        const std::string file = Temp("compare.bvf");
        EXPECT_TRUE(TBackupProfile(profile).SaveToFile(file));
        return ReadFile(file);
    }
    std::string StoredFromFile() const {
        TBackupProfile loaded;
        EXPECT_TRUE(loaded.LoadFromFile(File()));
        return Stored(loaded);
    }
    static bool SaveEnabled(const QObject* window) {
        return Find<QPushButton>(window, "cmdSave")->isEnabled();
    }
    static QStringList Listed(const QObject* window) {
        QStringList entries;
        const auto* list = Find<QListWidget>(window, "lstSource");
        for (int row = 0; row < list->count(); ++row)
            entries << list->item(row)->text();
        return entries;
    }
    static void TypeNumber(const QObject* window, const QString& spin, const QString& digits) {
        auto* box = Find<QSpinBox>(window, spin);
        ShowPageOf(box);
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, digits);
    }
    static void ChooseItem(const QObject* window, const QString& combo, int index) {
        auto* box = Find<QComboBox>(window, combo);
        ShowPageOf(box);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < index; ++i)
            QTest::keyClick(box, Qt::Key_Down);
    }
};

TBackupProfile EveryFieldSet() {
    TBackupProfile p;
    p.Sources = {"/data/photos/*", "/data/notes.txt"};
    p.DriveDestination = {true, "/backup/"};
    p.EmailDestination = {true, {"to@example.com"}, {"cc@example.com"}, {"bcc@example.com"}};
    p.EmailNotification = {true, {"me@example.com"}, {}, {}};
    p.EmailNotifyErrorsOnly = true;
    p.EmailNotifyLogFlags = 5;
    TBackupAttributes& a = p.BackupAttributes;
    a.ExcludeMatching = true;
    a.Synchronize = true;
    a.DirectoryStructure = 2;
    a.Compress = true;
    a.SelfExtracting = true;
    a.Desktop = true;
    a.Favorites = true;
    a.Password = "secret";
    a.Generations = 7;
    a.DestinationName = "Photos";
    a.FilterFiles = true;
    a.FileFilterFlag = 1;
    a.FileFilter = {"*.tmp"};
    a.FilterDirectories = true;
    a.DirectoryFilter = {"*/cache/"};
    p.Schedule.ScheduleType = stDaily;
    return p;
}

TEST_F(EditorTest, ShowingAProfileLeavesItAsItsFileHoldsIt) {
    struct Case {
        const char* name;
        std::function<void(std::string&)> handEdit;
        int generationsShown;
        int structureShown;
    } cases[] = {
        {"every field set", [](std::string&) {}, 7, 2},
        {"values no control can hold",
         [](std::string& text) {
             text.replace(text.find("ATTRIBUTE_GENERATIONS=7"), 23, "ATTRIBUTE_GENERATIONS=-1");
             text.replace(text.find("ATTRIBUTE_DIRECTORY_STRUCTURE=2"), 31,
                          "ATTRIBUTE_DIRECTORY_STRUCTURE=3");
             text.replace(text.find("ATTRIBUTE_FILE_FILTER_FLAG=1"), 28, "ATTRIBUTE_FILE_FILTER_FLAG=9");
             text.replace(text.find("EMAIL_NOTIFICATION_LOG_FLAGS=5"), 30,
                          "EMAIL_NOTIFICATION_LOG_FLAGS=255");
         },
         999, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(EveryFieldSet());
        std::string text = ReadFile(File());
        c.handEdit(text);
        WriteFile(File(), text);
        const std::string before = StoredFromFile();

        auto window = Open();
        const TBackupProfile* p = window->SelectedProfile();
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->Saved);
        EXPECT_FALSE(SaveEnabled(window.get()));
        EXPECT_EQ(Stored(*p), before);
        EXPECT_TRUE(m_dialogs.messages.empty());

        EXPECT_EQ(Listed(window.get()), (QStringList{"/data/photos/*", "/data/notes.txt"}));
        EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkDesktop")->isChecked());
        EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkMyDocuments")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkFavorites")->isChecked());
        EXPECT_TRUE(Find<QGroupBox>(window.get(), "grpCompressOptions")->isEnabled());
        EXPECT_EQ(Find<QSpinBox>(window.get(), "spnGenerations")->value(), c.generationsShown);
        EXPECT_EQ(Find<QLineEdit>(window.get(), "txtPassword")->text(), "secret");
        EXPECT_EQ(Find<QLineEdit>(window.get(), "txtVerifyPassword")->text(), "secret");
        EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkSelfExtract")->isChecked());
        EXPECT_EQ(Find<QLineEdit>(window.get(), "txtAdvancedDestName")->text(), "Photos");
        EXPECT_EQ(Find<QComboBox>(window.get(), "cboAdvancedDestStructure")->currentIndex(),
                  c.structureShown);
        EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkAdvancedExcludeMatching")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkAdvancedSyncDest")->isChecked());
    }
}

TEST_F(EditorTest, TheModifiedMarkSurvivesShowingAnotherProfile) {
    Write(EveryFieldSet());
    (void)platform::ForceDirectories(Home() + "Profiles/");
    ASSERT_TRUE(TBackupProfile().SaveToFile(Home() + "Profiles/Weekly.bvf"));
    auto window = Open();
    auto* profiles = Find<QTreeWidget>(window.get(), "lstProfiles");
    const auto select = [&](int row) {
        const QRect rect = profiles->visualItemRect(profiles->topLevelItem(row));
        QTest::mouseClick(profiles->viewport(), Qt::LeftButton, {}, rect.center());
    };
    select(0);
    Click(window.get(), "chkFavorites");
    ASSERT_TRUE(SaveEnabled(window.get()));
    select(1);
    EXPECT_FALSE(SaveEnabled(window.get()));
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkFavorites")->isChecked());
    select(0);
    EXPECT_TRUE(SaveEnabled(window.get()));
    EXPECT_FALSE(window->SelectedProfile()->Saved);
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkFavorites")->isChecked());
}

// Each edit lands in its field and marks the profile modified; Save in between brings the mark back, and
// the file written at the end holds every edit.
TEST_F(EditorTest, EachControlWritesItsFieldAndSaveStoresThemAll) {
    TBackupProfile start;
    start.Sources = {"/data/photos/*"};
    Write(start);
    auto window = Open();
    QWidget* w = window.get();
    using P = TBackupProfile;
    struct Case {
        const char* name;
        std::function<void()> edit;
        std::function<bool(const P&)> landed;
    } cases[] = {
        {"desktop", [&] { Click(w, "chkDesktop"); }, [](const P& p) { return p.BackupAttributes.Desktop; }},
        {"my documents", [&] { Click(w, "chkMyDocuments"); },
         [](const P& p) { return p.BackupAttributes.MyDocuments; }},
        {"favorites", [&] { Click(w, "chkFavorites"); },
         [](const P& p) { return p.BackupAttributes.Favorites; }},
        {"compression", [&] { Click(w, "chkCompression"); },
         [](const P& p) { return p.BackupAttributes.Compress; }},
        {"generations", [&] { TypeNumber(w, "spnGenerations", "12"); },
         [](const P& p) { return p.BackupAttributes.Generations == 12; }},
        {"password",
         [&] {
             TypeInto(w, "txtPassword", "s3cret");
             TypeInto(w, "txtVerifyPassword", "s3cret");
         },
         [](const P& p) { return p.BackupAttributes.Password == "s3cret"; }},
        {"self-extracting", [&] { Click(w, "chkSelfExtract"); },
         [](const P& p) { return p.BackupAttributes.SelfExtracting; }},
        {"destination name", [&] { TypeInto(w, "txtAdvancedDestName", "Archive"); },
         [](const P& p) { return p.BackupAttributes.DestinationName == "Archive"; }},
        {"structure", [&] { ChooseItem(w, "cboAdvancedDestStructure", 0); },
         [](const P& p) { return p.BackupAttributes.DirectoryStructure == 0; }},
        {"only changed files", [&] { Click(w, "chkAdvancedExcludeMatching"); },
         [](const P& p) { return p.BackupAttributes.ExcludeMatching; }},
        {"drive destination", [&] { Click(w, "chkDriveDest"); },
         [](const P& p) { return p.DriveDestination.Active; }},
        {"drive path",
         [&] {
             TypeInto(w, "txtDriveDest", "/media/backup");
             MoveFocusTo(w, "chkEmailDest");
         },
         [](const P& p) { return p.DriveDestination.Path == "/media/backup/"; }},
        {"e-mail destination", [&] { Click(w, "chkEmailDest"); },
         [](const P& p) { return p.EmailDestination.Active; }},
        {"notification", [&] { Click(w, "chkEmailNotification"); },
         [](const P& p) { return p.EmailNotification.Active; }},
        {"notify on errors only", [&] { Click(w, "chkNotifyOnError"); },
         [](const P& p) { return p.EmailNotifyErrorsOnly; }},
        {"file filter on",
         [&] {
             ChooseItem(w, "cboFilterType", 1);
             Click(w, "chkFilter");
         },
         [](const P& p) { return p.BackupAttributes.FilterFiles; }},
        {"file pattern",
         [&] {
             TypeInto(w, "txtFilterString", "*.tmp");
             Click(w, "cmdAddFilter");
         },
         [](const P& p) { return p.BackupAttributes.FileFilter == std::vector<std::string>{"*.tmp"}; }},
        {"synchronise one source", [&] { Click(w, "chkAdvancedSyncDest"); },
         [](const P& p) { return p.BackupAttributes.Synchronize; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.edit();
        const TBackupProfile* p = window->SelectedProfile();
        EXPECT_TRUE(c.landed(*p));
        EXPECT_FALSE(p->Saved);
        EXPECT_TRUE(SaveEnabled(w));
        Click(w, "cmdSave");
        EXPECT_TRUE(p->Saved);
        EXPECT_FALSE(SaveEnabled(w));
    }
    EXPECT_TRUE(m_dialogs.messages.empty());
    TBackupProfile loaded;
    ASSERT_TRUE(loaded.LoadFromFile(File()));
    for (const Case& c : cases)
        EXPECT_TRUE(c.landed(loaded)) << c.name;
    EXPECT_EQ(Stored(*window->SelectedProfile()), Stored(loaded));
}

TEST_F(EditorTest, CompressionEnablesItsOptionsAndTheVerifyBoxIsOnlyCompared) {
    Write(TBackupProfile());
    auto window = Open();
    QWidget* w = window.get();
    EXPECT_FALSE(Find<QSpinBox>(w, "spnGenerations")->isEnabled());
    Click(w, "chkCompression");
    for (const char* name : {"grpCompressOptions", "spnGenerations", "txtPassword", "txtVerifyPassword",
                             "chkSelfExtract", "lblKeep", "lblCopies", "lblPassword", "lblVerifyPassword"})
        EXPECT_TRUE(Find<QWidget>(w, name)->isEnabled()) << name;

    TypeInto(w, "txtPassword", "abc");
    MoveFocusTo(w, "chkSelfExtract");
    // Leaving the password goes to its verify box.
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(w, "txtVerifyPassword"));
    TypeInto(w, "txtVerifyPassword", "abd");
    MoveFocusTo(w, "txtPassword");
    EXPECT_TRUE(m_dialogs.messages.empty()) << "going back to the password is no mismatch";
    MoveFocusTo(w, "txtVerifyPassword");
    MoveFocusTo(w, "chkSelfExtract");
    ASSERT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{texts::PasswordsDiffer});
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(w, "txtVerifyPassword"));
    EXPECT_EQ(window->SelectedProfile()->BackupAttributes.Password, "abc");

    // Leaving the page with the two boxes still unequal says so once.
    m_dialogs.messages.clear();
    TypeInto(w, "txtAdvancedDestName", "Other");
    // The focus-leave checks run queued: a repeated message would show within this.
    QTest::qWait(50);
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{texts::PasswordsDiffer});

    Click(w, "chkCompression");
    EXPECT_FALSE(Find<QLineEdit>(w, "txtPassword")->isEnabled());
    EXPECT_FALSE(window->SelectedProfile()->BackupAttributes.Compress);
}

TEST_F(EditorTest, SourcesAreAddedOnceAndRemovedByPosition) {
    TBackupProfile start;
    start.Sources = {"/data/notes.txt"};
    Write(start);
    auto window = Open();
    QWidget* w = window.get();
    TBackupProfile* p = window->SelectedProfile();

    // A listed file is only selected; a file differing in letter case is another file here.
    m_dialogs.fileAnswers.push_back({"/data/notes.txt"});
    Click(w, "cmdAddFile");
    EXPECT_TRUE(p->Saved);
    EXPECT_TRUE(Find<QPushButton>(w, "cmdRemove")->isEnabled());
    m_dialogs.fileAnswers.push_back({"/data/Notes.txt", "/data/notes.txt"});
    Click(w, "cmdAddFile");
    EXPECT_FALSE(p->Saved);

    m_dialogs.folderAnswers = {"/data/photos", "/"};
    Click(w, "cmdAddDir");
    Click(w, "cmdAddDir");
    ASSERT_EQ(m_dialogs.folderCaptions.size(), 2U);
    EXPECT_EQ(m_dialogs.folderCaptions[0],
              QString(texts::BrowseFolderCaption) + "|" + texts::BrowseFolderTitle);
    const std::vector<std::string> all{"/data/notes.txt", "/data/Notes.txt", "/data/photos/*", "/*"};
    EXPECT_EQ(p->Sources, all);
    EXPECT_EQ(Listed(w), (QStringList{"/data/notes.txt", "/data/Notes.txt", "/data/photos/*", "/*"}));

    // Cancelled choices add nothing.
    Click(w, "cmdAddDir");
    Click(w, "cmdAddFile");
    EXPECT_EQ(p->Sources, all);

    // Two of the four selected, the second and the last: both go from list and profile.
    auto* list = Find<QListWidget>(w, "lstSource");
    list->clearSelection();
    testing_support::ClickRow(w, "lstSource", 1);
    const QRect last = list->visualItemRect(list->item(3));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, last.center());
    Click(w, "cmdSave");
    Click(w, "cmdRemove");
    EXPECT_EQ(p->Sources, (std::vector<std::string>{"/data/notes.txt", "/data/photos/*"}));
    EXPECT_EQ(Listed(w), (QStringList{"/data/notes.txt", "/data/photos/*"}));
    EXPECT_FALSE(p->Saved);
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_TRUE(Find<QPushButton>(w, "cmdRemove")->isEnabled());

    Click(w, "cmdRemove");
    Click(w, "cmdRemove");
    EXPECT_TRUE(p->Sources.empty());
    EXPECT_FALSE(Find<QPushButton>(w, "cmdRemove")->isEnabled());
}

TEST_F(EditorTest, ARefusedDestinationNameKeepsThePreviousOne) {
    Write(TBackupProfile());
    auto window = Open();
    QWidget* w = window.get();
    TypeInto(w, "txtAdvancedDestName", "Nightly");
    struct Case {
        const char* typed;
        const char* message; // nullptr: taken
        const char* stored;
    } cases[] = {
        {":", texts::DestinationNameCharacters, "Nightly"},
        {"..", texts::DestinationNameDots, "Nightly"},
        {".", texts::DestinationNameDots, "Nightly"},
        {".hidden", nullptr, ".hidden"},
        {"Nightly", nullptr, "Nightly"},
    };
    auto* edit = Find<QLineEdit>(w, "txtAdvancedDestName");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        m_dialogs.messages.clear();
        TypeInto(w, "txtAdvancedDestName", c.typed);
        // A refused character is refused as it is typed, a dot name when the edit is left.
        if (m_dialogs.messages.empty())
            MoveFocusTo(w, "chkAdvancedExcludeMatching");
        if (c.message) {
            ASSERT_EQ(m_dialogs.MessageTexts().size(), 1U);
            EXPECT_EQ(m_dialogs.MessageTexts()[0], c.message);
            EXPECT_EQ(edit->text().toStdString(),
                      window->SelectedProfile()->BackupAttributes.DestinationName);
            EXPECT_EQ(QApplication::focusWidget(), edit);
            EXPECT_EQ(edit->selectedText(), edit->text());
        } else {
            EXPECT_TRUE(m_dialogs.messages.empty());
        }
        EXPECT_EQ(window->SelectedProfile()->BackupAttributes.DestinationName, c.stored);
    }
}

TEST_F(EditorTest, SynchronisingRefusesMoreThanOneSource) {
    TBackupProfile start;
    start.Sources = {"/data/a/*", "/data/b/*"};
    Write(start);
    auto window = Open();
    Click(window.get(), "chkAdvancedSyncDest");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{texts::SyncNeedsOneSource});
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkAdvancedSyncDest")->isChecked());
    EXPECT_FALSE(window->SelectedProfile()->BackupAttributes.Synchronize);
}

} // namespace

namespace {

TEST_F(EditorTest, ACheckListLosesItsHighlightButKeepsItsChecksWhenLeft) {
    Write(EveryFieldSet());
    auto window = Open();
    auto* list = Find<QListWidget>(window.get(), "chklstFilterAttributes");
    ShowPageOf(list);
    list->setFocus(Qt::MouseFocusReason);
    list->setCurrentRow(1);
    std::vector<Qt::CheckState> checks;
    for (int row = 0; row < list->count(); ++row)
        checks.push_back(list->item(row)->checkState());
    MoveFocusTo(window.get(), "cboFilterType");
    EXPECT_EQ(list->currentRow(), -1);
    for (int row = 0; row < list->count(); ++row)
        EXPECT_EQ(list->item(row)->checkState(), checks[static_cast<std::size_t>(row)]);
}

} // namespace
