// The Filter page: typed texts become masks that match full paths, and each control edits the folder or
// the file filter of the selected profile with the modified mark; showing a profile or switching between
// its two filters changes nothing.
#include "app/main_window/filter_patterns.h"
#include "engine/backup_profile.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using testing_support::Click;
using testing_support::ClickRow;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ShowActive;
using testing_support::ShowPageOf;
using testing_support::TypeInto;

namespace {

TEST(FilterPatterns, TypedTextsBecomeMasksOverFullPaths) {
    struct Case {
        const char* typed;
        const char* folder;
        const char* file;
    } cases[] = {
        {"temp", "*/temp/", "*/temp"},
        {"/cache/", "*/cache/", "*/cache/*"},
        {"\\cache\\", "*/cache/", "*/cache/*"},
        {"*.tmp", "*.tmp/", "*.tmp"},
        {"/home/u/x", "*/home/u/x/", "*/home/u/x"},
        {"logs/", "*/logs/", "*/logs/*"},
        {"*", "*", "*"},
        // No drive letters on this platform: such a text is a name like any other.
        {"C:\\Windows", "*/C:/Windows/", "*/C:/Windows"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(NormalizeDirFilter(c.typed), c.folder);
        EXPECT_EQ(NormalizeFileFilter(c.typed), c.file);
    }
    EXPECT_TRUE(IsValidFilterPattern("*/[a-c]x?/"));
    EXPECT_FALSE(IsValidFilterPattern("*/[abc"));
}

class FilterPageTest : public MainWindowTest {
protected:
    std::string File() const { return Home() + "Profiles/Filters.bvf"; }
    std::unique_ptr<TfrmMain> Open(const TBackupAttributes& attributes) {
        TBackupProfile p;
        p.Name = "Filters";
        p.Sources = {"/data/*"};
        p.BackupAttributes = attributes;
        (void)platform::ForceDirectories(Home() + "Profiles/");
        EXPECT_TRUE(p.SaveToFile(File()));
        auto window = Window();
        ShowActive(window.get());
        ShowPageOf(Find(window.get(), "lstFilterStrings"));
        return window;
    }
    static TBackupAttributes Attributes(const std::vector<std::string>& folderPatterns = {}) {
        TBackupAttributes a;
        a.DirectoryAttributeMask = 63;
        a.FileAttributeMask = 63;
        a.FilterDirectories = true;
        a.DirectoryFilter = folderPatterns;
        a.FilterFiles = true;
        return a;
    }
    static TBackupAttributes& Live(const TfrmMain& window) {
        return window.SelectedProfile()->BackupAttributes;
    }
    static bool SaveEnabled(const QObject* window) {
        return Find<QPushButton>(window, "cmdSave")->isEnabled();
    }
    static QStringList Entries(const QObject* window) {
        QStringList entries;
        auto* list = Find<QListWidget>(window, "lstFilterStrings");
        for (int row = 0; row < list->count(); ++row)
            entries << list->item(row)->text();
        return entries;
    }
    static int SelectedRow(const QObject* window) {
        auto* list = Find<QListWidget>(window, "lstFilterStrings");
        const QList<QListWidgetItem*> selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.front());
    }
    static QString Edit(const QObject* window) { return Find<QLineEdit>(window, "txtFilterString")->text(); }
    // Picks the item of a drop-down list with the arrow keys, as a user at the keyboard does.
    static void Pick(const QObject* window, const QString& combo, int item) {
        auto* box = Find<QComboBox>(window, combo);
        ShowPageOf(box);
        box->setFocus();
        while (box->currentIndex() != item)
            QTest::keyClick(box, box->currentIndex() < item ? Qt::Key_Down : Qt::Key_Up);
    }
    // Moves to a check list's item with the keyboard and toggles its box with the space bar.
    static void Toggle(const QObject* window, int row) {
        auto* list = Find<QListWidget>(window, "chklstFilterAttributes");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < row; ++i)
            QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Space);
    }
    static QStringList AttributeItems(const QObject* window) {
        QStringList items;
        auto* list = Find<QListWidget>(window, "chklstFilterAttributes");
        for (int row = 0; row < list->count(); ++row)
            items << (list->item(row)->checkState() == Qt::Checked ? "+" : "-") + list->item(row)->text();
        return items;
    }
    QStringList Messages() const {
        const std::vector<QString> texts = m_dialogs.MessageTexts();
        return QStringList(texts.begin(), texts.end());
    }
};

TEST_F(FilterPageTest, ShowingAndSwitchingTheFilterChangesNothing) {
    TBackupAttributes a = Attributes({"*/temp/", "*/cache/"});
    a.DirectoryFilterFlag = 7; // hand-edited: no item for it
    a.FileAttributeMask = 63 & ~2 & ~4;
    a.FilterFiles = false;
    a.FileFilterFlag = 0;
    a.FileFilter = {"*.tmp"};
    auto window = Open(a);
    const std::string before = testing_support::ReadFile(File());

    EXPECT_EQ(Find<QComboBox>(window.get(), "cboFilterType")->currentText(), "Directories");
    EXPECT_EQ(AttributeItems(window.get()),
              QStringList({"+Include Read-Only directories.", "+Include Hidden directories.",
                           "+Include System directories."}));
    EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkFilter")->isChecked());
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboFilterFlag")->currentText(), "Exclude");
    EXPECT_EQ(Find<QLabel>(window.get(), "lblFilterDesc")->text(), "directories that match:");
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/", "*/cache/"}));
    EXPECT_TRUE(Find<QPushButton>(window.get(), "cmdAddFilter")->isEnabled());
    EXPECT_FALSE(SaveEnabled(window.get()));

    Pick(window.get(), "cboFilterType", 1);
    EXPECT_EQ(AttributeItems(window.get()),
              QStringList({"+Include Read-Only files.", "-Include Hidden files.", "-Include System files."}));
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkFilter")->isChecked());
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboFilterFlag")->currentText(), "Include");
    EXPECT_EQ(Find<QLabel>(window.get(), "lblFilterDesc")->text(), "files that match:");
    EXPECT_EQ(Entries(window.get()), QStringList({"*.tmp"}));
    EXPECT_FALSE(Find<QPushButton>(window.get(), "cmdAddFilter")->isEnabled());
    Pick(window.get(), "cboFilterType", 0);
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/", "*/cache/"}));

    EXPECT_FALSE(SaveEnabled(window.get()));
    EXPECT_TRUE(window->SelectedProfile()->Saved);
    EXPECT_EQ(Live(*window).DirectoryFilterFlag, 7);
    EXPECT_TRUE(Messages().isEmpty());
    Click(window.get(), "cmdClose");
    EXPECT_EQ(testing_support::ReadFile(File()), before);
}

TEST_F(FilterPageTest, TheAttributeItemsRebuildTheMaskFromAllBits) {
    TBackupAttributes a = Attributes();
    a.FileAttributeMask = 63;
    auto window = Open(a);
    Pick(window.get(), "cboFilterType", 1);
    Toggle(window.get(), 1); // "Include Hidden files."
    EXPECT_EQ(Live(*window).FileAttributeMask, 61);
    EXPECT_TRUE(SaveEnabled(window.get()));
    Toggle(window.get(), 1);
    EXPECT_EQ(Live(*window).FileAttributeMask, 63);
    for (int row = 0; row < 3; ++row)
        Toggle(window.get(), row);
    EXPECT_EQ(Live(*window).FileAttributeMask, 56);
    EXPECT_EQ(Live(*window).DirectoryAttributeMask, 63);
}

TEST_F(FilterPageTest, TheSwitchDisablesThePatternsButKeepsThemAndTheAttributes) {
    auto window = Open(Attributes({"*/temp/"}));
    Click(window.get(), "chkFilter");
    EXPECT_FALSE(Live(*window).FilterDirectories);
    EXPECT_TRUE(SaveEnabled(window.get()));
    for (const char* name : {"cboFilterFlag", "lblFilterDesc", "lstFilterStrings", "txtFilterString",
                             "cmdAddFilter", "cmdReplaceFilter", "cmdDeleteFilter"})
        EXPECT_FALSE(Find(window.get(), name)->isEnabled()) << name;
    EXPECT_TRUE(Find(window.get(), "chklstFilterAttributes")->isEnabled());
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/"}));
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/"}));
    Toggle(window.get(), 2);
    EXPECT_EQ(Live(*window).DirectoryAttributeMask, 59);

    Click(window.get(), "chkFilter");
    EXPECT_TRUE(Live(*window).FilterDirectories);
    EXPECT_TRUE(Find(window.get(), "cmdDeleteFilter")->isEnabled());
    Pick(window.get(), "cboFilterFlag", 1);
    EXPECT_EQ(Live(*window).DirectoryFilterFlag, 1);
    EXPECT_EQ(Live(*window).FileFilterFlag, 0);
}

TEST_F(FilterPageTest, AddStoresTheNormalisedPatternOnce) {
    auto window = Open(Attributes());
    Click(window.get(), "cmdAddFilter");
    EXPECT_EQ(Messages(), QStringList({"Please enter the filter text you wish to add."}));
    EXPECT_TRUE(Find(window.get(), "txtFilterString")->hasFocus());
    EXPECT_FALSE(SaveEnabled(window.get()));

    TypeInto(window.get(), "txtFilterString", "temp");
    Click(window.get(), "cmdAddFilter");
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/"}));
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/"}));
    EXPECT_TRUE(SaveEnabled(window.get()));
    EXPECT_EQ(Edit(window.get()), "");

    TypeInto(window.get(), "txtFilterString", "/cache/");
    Click(window.get(), "cmdAddFilter");
    TypeInto(window.get(), "txtFilterString", "TEMP");
    Click(window.get(), "cmdAddFilter");
    EXPECT_EQ(Messages().back(), "Filter already exists.");
    EXPECT_EQ(SelectedRow(window.get()), 0);
    EXPECT_EQ(Edit(window.get()), "TEMP");
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/", "*/cache/"}));

    // The file filter has its own list and its own form of pattern.
    Pick(window.get(), "cboFilterType", 1);
    TypeInto(window.get(), "txtFilterString", "\\cache\\");
    Click(window.get(), "cmdAddFilter");
    EXPECT_EQ(Live(*window).FileFilter, std::vector<std::string>({"*/cache/*"}));
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/", "*/cache/"}));
}

TEST_F(FilterPageTest, ReplaceNormalisesAndRefusesDuplicates) {
    auto window = Open(Attributes({"*/temp/", "*/cache/", "*.bak/"}));
    TypeInto(window.get(), "txtFilterString", "logs");
    Click(window.get(), "cmdReplaceFilter");
    EXPECT_EQ(Messages(), QStringList({"You must select an item to replace."}));
    EXPECT_TRUE(Find(window.get(), "txtFilterString")->hasFocus());

    ClickRow(window.get(), "lstFilterStrings", 1);
    EXPECT_EQ(Edit(window.get()), "*/cache/");
    TypeInto(window.get(), "txtFilterString", "");
    Click(window.get(), "cmdReplaceFilter");
    EXPECT_EQ(Messages().back(), "Please enter the filter text you wish to replace the entry with.");
    // A bare name is found among the stored patterns once it is normalised.
    TypeInto(window.get(), "txtFilterString", "temp");
    Click(window.get(), "cmdReplaceFilter");
    EXPECT_EQ(Messages().back(), "Filter already exists.");
    EXPECT_TRUE(Find(window.get(), "txtFilterString")->hasFocus());
    EXPECT_EQ(Messages().size(), 3);
    EXPECT_FALSE(SaveEnabled(window.get()));

    TypeInto(window.get(), "txtFilterString", "logs");
    Click(window.get(), "cmdReplaceFilter");
    EXPECT_EQ(Messages().size(), 3);
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/", "*/logs/", "*.bak/"}));
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/", "*/logs/", "*.bak/"}));
    EXPECT_EQ(Edit(window.get()), "");
    EXPECT_TRUE(SaveEnabled(window.get()));
}

TEST_F(FilterPageTest, DeleteRemovesTheSelectedEntry) {
    auto window = Open(Attributes({"*/temp/", "*/cache/", "*.bak/"}));
    Click(window.get(), "cmdDeleteFilter");
    EXPECT_EQ(Messages(), QStringList({"You must select an item to delete."}));
    EXPECT_EQ(Entries(window.get()).size(), 3);
    EXPECT_FALSE(SaveEnabled(window.get()));

    ClickRow(window.get(), "lstFilterStrings", 1);
    Click(window.get(), "cmdDeleteFilter");
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/", "*.bak/"}));
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/", "*.bak/"}));
    EXPECT_EQ(Edit(window.get()), "*/cache/");
    EXPECT_TRUE(SaveEnabled(window.get()));
    // Nothing else became selected, so a second Delete removes nothing.
    Click(window.get(), "cmdDeleteFilter");
    EXPECT_EQ(Messages().back(), "You must select an item to delete.");
    EXPECT_EQ(Entries(window.get()).size(), 2);
}

TEST_F(FilterPageTest, AMalformedPatternIsRefusedAtAddAndReplace) {
    auto window = Open(Attributes({"*/temp/"}));
    TypeInto(window.get(), "txtFilterString", "[abc");
    Click(window.get(), "cmdAddFilter");
    EXPECT_EQ(Messages(), QStringList({"The filter text is not a valid pattern."}));
    EXPECT_TRUE(Find(window.get(), "txtFilterString")->hasFocus());

    ClickRow(window.get(), "lstFilterStrings", 0);
    TypeInto(window.get(), "txtFilterString", "x[!a-");
    Click(window.get(), "cmdReplaceFilter");
    EXPECT_EQ(Messages().size(), 2);
    EXPECT_EQ(Messages().back(), "The filter text is not a valid pattern.");
    EXPECT_EQ(Entries(window.get()), QStringList({"*/temp/"}));
    EXPECT_EQ(Live(*window).DirectoryFilter, std::vector<std::string>({"*/temp/"}));
    EXPECT_FALSE(SaveEnabled(window.get()));
}

} // namespace
