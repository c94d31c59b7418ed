// The schedule page: showing a profile's schedule changes nothing, and each control writes its field
// of the selected profile with the modified mark.
#include "engine/backup_profile.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ShowPageOf;

namespace {

class SchedulePageTest : public MainWindowTest {
protected:
    void Write(const TBackupSchedule& schedule, TDateTime lastBackup = 0) const {
        TBackupProfile p;
        p.Name = "Weekly";
        p.Schedule = schedule;
        p.LastBackup = lastBackup;
        (void)platform::ForceDirectories(Home() + "Profiles/");
        ASSERT_TRUE(p.SaveToFile(File()));
    }
    std::string File() const { return Home() + "Profiles/Weekly.bvf"; }
    std::unique_ptr<TfrmMain> Shown() {
        auto window = Window();
        window->show();
        return window;
    }
    static QString Checked(const QObject* window) {
        for (const char* name : {"rdoScheduleHours", "rdoScheduleDaily", "rdoScheduleWeekly",
                                 "rdoScheduleMonthly", "rdoScheduleManual"}) {
            if (Find<QRadioButton>(window, name)->isChecked())
                return name;
        }
        return "none";
    }
    // Picks an item of the drop-down list with the keyboard, as a user types its first letters.
    static void Pick(const QObject* window, const QString& text) {
        auto* days = Find<QComboBox>(window, "cboDay");
        ShowPageOf(days);
        days->setFocus();
        // Letters typed within the keyboard interval continue the last search.
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(days, text);
    }
    static bool Modified(const QObject* window) { return Find<QPushButton>(window, "cmdSave")->isEnabled(); }
};

TEST_F(SchedulePageTest, ShowingASchedulePicksItsItemAndChangesNothing) {
    struct Case {
        const char* name;
        std::uint8_t kind;
        const char* item;
        const char* day;
    } cases[] = {
        {"manual", stManual, "rdoScheduleManual", "Wednesday"},
        {"hourly", stHourly, "rdoScheduleHours", "Wednesday"},
        {"weekly", stWeekly, "rdoScheduleWeekly", "Wednesday"},
        {"daily", stDaily, "rdoScheduleDaily", "Wednesday"},
        {"weekdays", stWeekdays, "rdoScheduleWeekly", "Weekday (M-F)"},
        {"monthly", stMonthly, "rdoScheduleMonthly", "Wednesday"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBackupSchedule schedule;
        schedule.ScheduleType = c.kind;
        schedule.Day = 3;
        schedule.SetHours(100);
        schedule.DayOfMonth = 40;
        schedule.DailyTime = 2.75; // 18:00
        Write(schedule);
        const std::string before = testing_support::ReadFile(File());
        auto window = Shown();
        EXPECT_EQ(Checked(window.get()), c.item);
        EXPECT_EQ(Find<QComboBox>(window.get(), "cboDay")->currentText(), c.day);
        // Out of range: shown at the limit, never written back.
        EXPECT_EQ(Find<QSpinBox>(window.get(), "spnHours")->value(), 24);
        EXPECT_EQ(Find<QSpinBox>(window.get(), "spnDayOfMonth")->value(), 31);
        EXPECT_EQ(Find<QTimeEdit>(window.get(), "datDailyTime")->time(), QTime(18, 0));
        EXPECT_EQ(Find<QLabel>(window.get(), "lblLastBackup")->text(), "Last backup: <unknown>");
        EXPECT_FALSE(Modified(window.get()));
        Click(window.get(), "cmdClose");
        EXPECT_EQ(testing_support::ReadFile(File()), before);
    }
}

TEST_F(SchedulePageTest, TheDayFollowsTheKindOnlyWhileTheWeeklyItemIsShown) {
    TBackupSchedule schedule;
    schedule.ScheduleType = stWeekdays;
    Write(schedule);
    auto window = Shown();
    ASSERT_EQ(Checked(window.get()), "rdoScheduleWeekly");
    Pick(window.get(), "Tu");
    EXPECT_TRUE(Modified(window.get()));
    Click(window.get(), "cmdSave");
    TBackupProfile stored;
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_EQ(stored.Schedule.ScheduleType, stWeekly);
    EXPECT_EQ(stored.Schedule.Day, 2);

    Pick(window.get(), "Wee");
    Click(window.get(), "cmdSave");
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_EQ(stored.Schedule.ScheduleType, stWeekdays);

    // With the daily item shown, a day is recorded and the kind stays daily.
    Click(window.get(), "rdoScheduleDaily");
    Pick(window.get(), "Fr");
    Click(window.get(), "cmdSave");
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_EQ(stored.Schedule.ScheduleType, stDaily);
    EXPECT_EQ(stored.Schedule.Day, 5);
    // Back on the weekly item, the list's day decides.
    Click(window.get(), "rdoScheduleWeekly");
    Click(window.get(), "cmdSave");
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_EQ(stored.Schedule.ScheduleType, stWeekly);

    // The empty last item stands for Monday.
    auto* days = Find<QComboBox>(window.get(), "cboDay");
    QTest::keyClick(days, Qt::Key_End);
    EXPECT_EQ(days->currentText(), "Monday");
    Click(window.get(), "cmdSave");
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_EQ(stored.Schedule.Day, 1);
}

TEST_F(SchedulePageTest, EachControlWritesItsFieldWithTheModifiedMark) {
    TBackupSchedule schedule;
    schedule.ScheduleType = stManual;
    schedule.DailyTime = 1.25; // a date part of its own and 06:00
    Write(schedule);
    auto window = Shown();
    Click(window.get(), "rdoScheduleHours");
    EXPECT_TRUE(Modified(window.get()));
    auto* hours = Find<QSpinBox>(window.get(), "spnHours");
    hours->setFocus();
    QTest::keyClick(hours, Qt::Key_Up);
    auto* dayOfMonth = Find<QSpinBox>(window.get(), "spnDayOfMonth");
    dayOfMonth->setFocus();
    QTest::keyClick(dayOfMonth, Qt::Key_Up);
    auto* daily = Find<QTimeEdit>(window.get(), "datDailyTime");
    daily->setFocus();
    daily->setCurrentSection(QDateTimeEdit::HourSection);
    QTest::keyClick(daily, Qt::Key_Up);
    Click(window.get(), "cmdSave");
    EXPECT_FALSE(Modified(window.get()));
    TBackupProfile stored;
    ASSERT_TRUE(stored.LoadFromFile(File()));
    EXPECT_EQ(stored.Schedule.ScheduleType, stHourly);
    EXPECT_EQ(stored.Schedule.Hours(), 2);
    EXPECT_EQ(stored.Schedule.DayOfMonth, 2);
    // The picker changes the time of day; the stored date part stays.
    EXPECT_NEAR(stored.Schedule.DailyTime, 1 + 7.0 / 24, 1e-6);
}

} // namespace
