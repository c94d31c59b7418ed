// Pages and dialogs fit their text at the window's default size: whole profile names in the run list and
// the room a wider window gives, every editor tab in sight, whole archive names, and the exit prompt's
// right margin.
#include "app/app_texts.h"
#include "app/dialogs/prompt_form.h"
#include "app/main_window/main_window.h"
#include "engine/backup_profile.h"
#include "platform/directory.h"
#include "tests/app/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ShowActive;
using testing_support::ShowPageOf;
using testing_support::WriteFile;

namespace {

class FormsFitTest : public MainWindowTest {};

TEST_F(FormsFitTest, TheLogListShowsWholeProfileNamesAndGivesThemTheRoomOfAWiderWindow) {
    const QString name = QStringLiteral("Documents and photos of the family");
    WriteFile(Home() + "Logs/Family.log",
              "SUMMARY:v2: " + name.toStdString() + "| 46365.25| 46365.25| 1| 1| 0| 1| 0| 1| 0| 0");
    auto window = Window(false);
    ShowActive(window.get());
    auto* list = Find<QTableWidget>(window.get(), "lvwLog");
    ShowPageOf(list);
    QCoreApplication::processEvents();
    constexpr int Profile = 1;
    EXPECT_GE(list->columnWidth(Profile), list->fontMetrics().horizontalAdvance(name));

    window->resize(window->width() + 800, window->height());
    QCoreApplication::processEvents();
    EXPECT_EQ(list->horizontalHeader()->length(), list->viewport()->width()) << "Profile takes the room";
    EXPECT_GT(list->columnWidth(Profile), list->fontMetrics().horizontalAdvance(name) + 300);
}

TEST_F(FormsFitTest, EveryEditorTabIsInSightAtTheDefaultSize) {
    TBackupProfile profile;
    profile.Name = "Daily";
    (void)platform::ForceDirectories(Home() + "Profiles/");
    ASSERT_TRUE(profile.SaveToFile(Home() + "Profiles/Daily.bvf"));
    auto window = Window(false);
    ShowActive(window.get());
    auto* tabs = Find<QTabWidget>(window.get(), "pagBackup");
    ShowPageOf(tabs);
    QCoreApplication::processEvents();
    const QTabBar* bar = tabs->tabBar();
    ASSERT_EQ(bar->count(), 6);
    for (int i = 0; i < bar->count(); ++i) {
        SCOPED_TRACE(bar->tabText(i).toStdString());
        EXPECT_TRUE(bar->rect().contains(bar->tabRect(i)));
        EXPECT_EQ(bar->tabToolTip(i), bar->tabText(i)) << "the whole title in the tip";
    }
}

TEST_F(FormsFitTest, TheArchiveListShowsWholeArchiveNames) {
    TBackupProfile profile;
    profile.Name = "Zip Archive";
    profile.Sources = {Temp("src/") + "*"};
    profile.DriveDestination.Active = true;
    profile.DriveDestination.Path = Temp("dst/");
    profile.BackupAttributes.Compress = true;
    profile.BackupAttributes.Generations = 3;
    (void)platform::ForceDirectories(Home() + "Profiles/");
    ASSERT_TRUE(profile.SaveToFile(Home() + "Profiles/Zip Archive.bvf"));
    for (const char* stamp : {"20261211_051312", "20261211_051354"})
        WriteFile(Temp("dst/") + "Zip Archive_" + stamp + ".zip", "");
    auto window = Window(false);
    ShowActive(window.get());
    auto* archives = Find<QComboBox>(window.get(), "cboRestoreArchive");
    ShowPageOf(archives);
    // The page fills the list as it is shown, and the layout then gives the list the width it asks for.
    static_cast<void>(QTest::qWaitFor(
        [&] { return archives->count() == 2 && archives->width() >= archives->sizeHint().width(); }, 5000));
    ASSERT_EQ(archives->count(), 2);
    QStyleOptionComboBox option;
    option.initFrom(archives);
    const QRect field = archives->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, archives);
    for (int i = 0; i < archives->count(); ++i)
        EXPECT_GE(field.width(), archives->fontMetrics().horizontalAdvance(archives->itemText(i)))
            << archives->itemText(i).toStdString();
}

TEST_F(FormsFitTest, TheExitPromptsTextKeepsItsMarginOnTheRight) {
    TfrmPrompt prompt(nullptr);
    prompt.cmdThree()->setVisible(false);
    prompt.lblText()->setText(QString::fromUtf8(texts::ExitPrompt));
    prompt.chkConfirm()->setText(QString::fromUtf8(texts::ExitPromptConfirm));
    ShowActive(&prompt);
    const QRect text = prompt.lblText()->geometry();
    const int left = prompt.imgSplash()->geometry().left();
    EXPECT_GE(prompt.width() - 1 - text.right(), left);
}

} // namespace
