// The Log page: the runs of a logs folder of hand-made run logs, their order, the trim to the configured
// number, Clear and Clear All around a log still being written, and opening a run in the log window.
#include "app/log_window/log_form.h"
#include "app/log_window/log_view.h"
#include "engine/backup_log.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTest>

#include <sys/stat.h>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ShowActive;
using testing_support::ShowPageOf;
using testing_support::WriteFile;

namespace {

// 46365 is 12/9/2026; .25 is 6:00 AM, .5 noon.
std::string Trailer(const std::string& name, const std::string& begin, const std::string& totals) {
    return "SUMMARY:v2: " + name + "| " + begin + "| " + begin + "| " + totals;
}

const std::string ErrorEntry = "! 12/9/2026 6:00:01 AM: [/data/a.txt] \r\n"
                               "!                       Cannot open file.\r\n";
const std::string SuccessEntry = "- 12/9/2026 6:00:02 AM: [/data/b.txt] \r\n"
                                 "-                       Copied.\r\n";

class LogPageTest : public MainWindowTest {
protected:
    std::string Logs() const { return Home() + "Logs/"; }
    void Log(const std::string& name, const std::string& content) const { WriteFile(Logs() + name, content); }
    bool Exists(const std::string& name) const { return platform::FileExists(Logs() + name); }
    void KeepLogs(int count) const {
        WriteFile(SettingsFile(), "[Application]\nMaxLogSize=" + std::to_string(count) + "\n");
    }

    std::unique_ptr<TfrmMain> OpenLogPage() {
        auto window = Window();
        ShowActive(window.get());
        m_list = Find<QTableWidget>(window.get(), "lvwLog");
        ShowPageOf(m_list);
        return window;
    }

    QStringList Row(int row) const {
        QStringList cells;
        for (int column = 0; column < m_list->columnCount(); ++column)
            cells << m_list->item(row, column)->text();
        return cells;
    }
    QStringList Column(int column) const {
        QStringList cells;
        for (int row = 0; row < m_list->rowCount(); ++row)
            cells << m_list->item(row, column)->text();
        return cells;
    }

    QPoint RowCentre(int row) const { return m_list->visualItemRect(m_list->item(row, 1)).center(); }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, modifiers, RowCentre(row));
    }
    void DoubleClickRow(int row) const {
        ClickRow(row);
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, RowCentre(row));
    }

    // What the log window showed when it opened; it is then resized to Close and closed with OK.
    struct TShown {
        QString caption;
        QString text;
        QString profile;
        QSize size;
        bool cursorBusy = true;
    };
    void AnswerLogWindow(TShown& shown, QSize close = {}) {
        m_dialogs.dialogAnswers.push_back([&shown, close](QDialog& dialog) {
            auto& form = dynamic_cast<TfrmLog&>(dialog);
            shown = {form.windowTitle(), form.txtLog()->ToPlainText(), form.GetProfileName(), form.size(),
                     QApplication::overrideCursor() != nullptr};
            if (close.isValid())
                form.resize(close);
            return testing_support::ClickButton("cmdOK")(dialog);
        });
    }

    QTableWidget* m_list = nullptr;
};

TEST_F(LogPageTest, RunsAreListedWithTheirTotalsInTheOrderOfTheirStart) {
    Log("Daily_12092026_060000.log",
        ErrorEntry + Trailer("Daily", "46365.25", "10| 8| 2| 5000| 0| 4000| 1| 3"));
    Log("Weekly.log", Trailer("Weekly", "46365.5", "3| 1| 2| 2500000| 1200000| 999| 0| 2"));
    Log("Tie_b.log", Trailer("Tie b", "46365.5", "1| 1| 0| 999| 0| 999| 0| 0"));
    Log("Tie_a.log", Trailer("Tie a", "46365.5", "1| 1| 0| 999| 0| 999| 0| 0"));
    Log("Quiet.log", Trailer("Quiet", "46365.75", "3| 3| 0| 999| 0| 999| 0| 0"));
    Log("Broken.log", SuccessEntry);
    Log("Old.log",
        "SUMMARY: Old, 12/08/2026 06:00:00 AM, 12/08/2026 12:00:00 PM, 4, 4, 0, 1000, 0, 1000, 0, 0");
    Log("notes.txt", Trailer("Notes", "46365.5", "1| 1| 0| 1| 0| 1| 0| 0"));
    auto window = OpenLogPage();

    QStringList headers;
    for (int column = 0; column < m_list->columnCount(); ++column)
        headers << m_list->horizontalHeaderItem(column)->text();
    EXPECT_EQ(headers, QStringList({"Status", "Profile", "Size", "Compressed", "Total Files",
                                    "Files Processed", "Files Skipped", "Errors", "Warnings"}));
    struct Expected {
        QStringList cells;
        bool errors;
    };
    const Expected rows[] = {
        {{"Unknown Time", "NO LOG SUMMARY!", "0 B", "0 B", "0", "0", "0", "0", "0"}, false},
        {{"12/8/2026 6:00:00 AM", "Old", "1 KB", "0 B", "4", "4", "0", "0", "0"}, false},
        {{"12/9/2026 6:00:00 AM", "Daily", "5 KB", "0 B", "10", "8", "2", "1", "3"}, true},
        {{"12/9/2026 12:00:00 PM", "Tie a", "999 B", "0 B", "1", "1", "0", "0", "0"}, false},
        {{"12/9/2026 12:00:00 PM", "Tie b", "999 B", "0 B", "1", "1", "0", "0", "0"}, false},
        {{"12/9/2026 12:00:00 PM", "Weekly", "3 MB", "1 MB", "3", "1", "2", "0", "2"}, false},
        {{"12/9/2026 6:00:00 PM", "Quiet", "999 B", "0 B", "3", "3", "0", "0", "0"}, false},
    };
    ASSERT_EQ(m_list->rowCount(), static_cast<int>(std::size(rows)));
    const QImage errorImage =
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(16).toImage();
    const QImage cleanImage =
        QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(16).toImage();
    for (int row = 0; row < m_list->rowCount(); ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Row(row), rows[row].cells);
        EXPECT_EQ(m_list->item(row, 0)->icon().pixmap(16).toImage(),
                  rows[row].errors ? errorImage : cleanImage);
        EXPECT_FALSE(m_list->item(row, 1)->flags().testFlag(Qt::ItemIsEditable) &&
                     m_list->editTriggers() != QAbstractItemView::NoEditTriggers);
    }
    EXPECT_FALSE(Find<QPushButton>(window.get(), "cmdClearSelectedLog")->isEnabled());

    EXPECT_FALSE(m_list->showGrid());
    Click(window.get(), "chkShowLogGrid");
    EXPECT_TRUE(m_list->showGrid());
}

TEST_F(LogPageTest, TheTrimDeletesTheOldestRunsButNotALogStillBeingWritten) {
    // File-name order is the reverse of start order: Run_12 started first.
    for (int i = 1; i <= 11; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Run_%02d.log", i + 1);
        Log(name, Trailer("Run", std::to_string(46365 - i), "1| 1| 0| 1| 0| 1| 0| 0"));
    }
    // Written now and without its trailer yet, it shows as "Unknown Time": the first to go.
    TBackupLog running(Logs(), "Running");
    KeepLogs(10);
    auto window = OpenLogPage();
    EXPECT_EQ(m_list->rowCount(), 10);
    EXPECT_FALSE(Exists("Run_12.log"));
    EXPECT_FALSE(Exists("Run_11.log"));
    EXPECT_TRUE(Exists("Run_10.log"));
    EXPECT_TRUE(Exists("Run_02.log"));
    EXPECT_TRUE(platform::FileExists(running.FileName()));
    EXPECT_EQ(Row(0).first(), "Unknown Time");
}

TEST_F(LogPageTest, ClearDeletesTheSelectedRunsButNotALogStillBeingWritten) {
    for (const char* name : {"A", "B", "C", "D", "E"})
        Log(std::string(name) + ".log",
            Trailer(name, std::to_string(46365 + (name[0] - 'A')), "1| 1| 0| 1| 0| 1| 0| 0"));
    TBackupLog running(Logs(), "Running");
    auto window = OpenLogPage();
    auto* clear = Find<QPushButton>(window.get(), "cmdClearSelectedLog");
    ASSERT_EQ(Column(1), QStringList({"NO LOG SUMMARY!", "A", "B", "C", "D", "E"}));

    ClickRow(0);
    EXPECT_TRUE(clear->isEnabled());
    for (const int row : {1, 3, 5})
        ClickRow(row, Qt::ControlModifier);
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_EQ(Column(1), QStringList({"NO LOG SUMMARY!", "B", "D"}));
    for (const char* name : {"A", "C", "E"})
        EXPECT_FALSE(Exists(std::string(name) + ".log")) << name;
    EXPECT_TRUE(Exists("B.log") && Exists("D.log"));
    EXPECT_TRUE(platform::FileExists(running.FileName()));

    // The remaining rows still reach their own logs.
    TShown shown;
    AnswerLogWindow(shown);
    DoubleClickRow(2);
    EXPECT_TRUE(shown.caption.startsWith("Log Detail - D - ")) << shown.caption.toStdString();

    // Clicking a row and then deselecting it leaves Clear disabled.
    ClickRow(1);
    ClickRow(1, Qt::ControlModifier);
    EXPECT_FALSE(clear->isEnabled());
}

TEST_F(LogPageTest, ClearAllDeletesEveryLogFileOfTheFolderButOneStillBeingWritten) {
    Log("A.log", Trailer("A", "46365", "1| 1| 0| 1| 0| 1| 0| 0"));
    TBackupLog running(Logs(), "Running");
    auto window = OpenLogPage();
    ClickRow(0);
    // Files the list does not know of go too, hidden and read-only ones included.
    Log("Late.log", "");
    Log(".hidden.log", "");
    Log("readonly.log", "");
    ::chmod((Logs() + "readonly.log").c_str(), 0444);
    Log("keep.txt", "");
    (void)platform::ForceDirectories(Logs() + "folder.log");

    Click(window.get(), "cmdClearAllLog");
    EXPECT_EQ(m_list->rowCount(), 0);
    EXPECT_FALSE(Find<QPushButton>(window.get(), "cmdClearSelectedLog")->isEnabled());
    for (const char* name : {"A.log", "Late.log", ".hidden.log", "readonly.log"})
        EXPECT_FALSE(Exists(name)) << name;
    EXPECT_TRUE(Exists("keep.txt"));
    EXPECT_TRUE(platform::DirectoryExists(Logs() + "folder.log"));
    EXPECT_TRUE(platform::FileExists(running.FileName()));
}

TEST_F(LogPageTest, DoubleClickShowsTheRunsLogAtTheLastWindowSize) {
    Log("Daily.log", ErrorEntry + SuccessEntry + Trailer("Daily", "46365.25", "1| 1| 0| 1| 0| 1| 1| 0"));
    Log("Quiet.log", Trailer("Quiet", "46365.5", "1| 1| 0| 1| 0| 1| 0| 0"));
    WriteFile(SettingsFile(), "[Application]\nLogWindowHeight=500\nLogWindowWidth=600\n");
    auto window = OpenLogPage();

    TShown shown;
    AnswerLogWindow(shown, QSize(640, 480));
    DoubleClickRow(0);
    EXPECT_EQ(shown.caption, "Log Detail - Daily - 12/9/2026 6:00:00 AM");
    EXPECT_EQ(shown.profile, "Daily");
    EXPECT_EQ(shown.text, "! 12/9/2026 6:00:01 AM: [/data/a.txt] \n"
                          "!                       Cannot open file.\n"
                          "- 12/9/2026 6:00:02 AM: [/data/b.txt] \n"
                          "-                       Copied.");
    EXPECT_EQ(shown.size, QSize(600, 500));
    EXPECT_FALSE(shown.cursorBusy);

    // A run that wrote no entries shows the note; the window opens as it was last closed.
    AnswerLogWindow(shown);
    DoubleClickRow(1);
    EXPECT_EQ(shown.text,
              "SUCCESS!\n\n[NOTES]\nThe log detail option was not selected on the Application tab\n"
              "when this backup was run and no errors were found.\n"
              "Therefore, details for this backup are not available.");
    EXPECT_EQ(shown.size, QSize(640, 480));

    // The size is kept with the settings.
    window->close();
    EXPECT_EQ(Stored("LogWindowHeight"), "480");
    EXPECT_EQ(Stored("LogWindowWidth"), "640");
}

TEST_F(LogPageTest, ALogIsReadWhileTheProgramGoesOnAndItsLineEndsBytesAndLongLinesAreShownAndSearched) {
    const std::string longLine = "! " + std::string(5'000'000, 'x') + " needle at the end";
    Log("Mixed.log", "- first line\r\n? second\rthird has a bad byte \xFF here\r\n" + longLine +
                         "\r\nlast line Needle\n" + Trailer("Mixed", "46365.25", "1| 1| 0| 1| 0| 1| 0| 0"));
    auto window = OpenLogPage();
    bool served = false;
    QString text;
    QStringList results;
    m_dialogs.dialogAnswers.push_back([&](QDialog& dialog) {
        text = dynamic_cast<TfrmLog&>(dialog).txtLog()->ToPlainText();
        dialog.findChild<QLineEdit*>("txtSearch")->setText("NEEDLE");
        dialog.findChild<QPushButton*>("cmdSearch")->click();
        const auto* list = dialog.findChild<QListWidget*>("lstSearchResults");
        for (int i = 0; i < list->count(); ++i)
            results << list->item(i)->text();
        return testing_support::ClickButton("cmdOK")(dialog);
    });
    // Posted before the double-click: it runs while the log is read, before the window opens.
    QMetaObject::invokeMethod(
        m_list, [&served, this] { served = m_dialogs.dialogsShown.empty(); }, Qt::QueuedConnection);
    DoubleClickRow(0);
    EXPECT_TRUE(served) << "events are served while the log is read";
    const QString shownLong = QString::fromStdString(longLine);
    EXPECT_EQ(text, "- first line\n? second\nthird has a bad byte \uFFFD here\n" + shownLong +
                        "\nlast line Needle");
    EXPECT_EQ(results, QStringList({"4,5000004:" + shownLong, "5,11:last line Needle"}));
}

TEST_F(LogPageTest, AVanishedLogIsReportedAndNothingOpensWithoutASelection) {
    Log("Daily.log", ErrorEntry + Trailer("Daily", "46365.25", "1| 1| 0| 1| 0| 1| 1| 0"));
    auto window = OpenLogPage();
    (void)platform::DeleteFile(Logs() + "Daily.log");
    DoubleClickRow(0);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_TRUE(m_dialogs.messages[0].text.startsWith("Cannot open file"))
        << m_dialogs.messages[0].text.toStdString();
    EXPECT_EQ(m_dialogs.messages[0].caption, "Brimvale 2.0");
    EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::None);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(m_dialogs.dialogsShown.empty());

    // A double-click below the rows, with nothing selected, opens nothing.
    const QPoint below(10, m_list->viewport()->height() - 5);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, below);
    EXPECT_TRUE(m_list->selectedItems().isEmpty());
    EXPECT_TRUE(m_dialogs.dialogsShown.empty());
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

} // namespace
