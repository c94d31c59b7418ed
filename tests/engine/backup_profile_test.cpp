#include "engine/backup_profile.h"

#include <gtest/gtest.h>

TEST(BackupProfile, FreshProfileDefaults) {
    int owner = 0;
    const TBackupProfile p(&owner);
    EXPECT_EQ(p.Owner(), &owner);
    EXPECT_FALSE(p.InProcess);
    EXPECT_TRUE(p.Saved);
    EXPECT_TRUE(p.Name.empty());
    EXPECT_TRUE(p.Errors.empty());
    EXPECT_TRUE(p.Sources.empty());
    EXPECT_EQ(p.LastBackup, 0.0);
    for (const TEmailDestination* d : {&p.EmailDestination, &p.EmailNotification}) {
        EXPECT_FALSE(d->Active);
        EXPECT_TRUE(d->To.empty() && d->CC.empty() && d->BCC.empty());
    }
    EXPECT_FALSE(p.DriveDestination.Active);
    EXPECT_FALSE(p.FTPDestination.Active);
    EXPECT_FALSE(p.EmailNotifyErrorsOnly);
    EXPECT_EQ(p.EmailNotifyLogFlags, 0);

    const TBackupAttributes& a = p.BackupAttributes;
    EXPECT_EQ(a.DirectoryStructure, 1);
    EXPECT_EQ(a.Generations, 0u);
    EXPECT_EQ(a.DirectoryAttributeMask, 0);
    EXPECT_EQ(a.FileAttributeMask, 0);
    EXPECT_FALSE(a.ExcludeMatching || a.Synchronize || a.Compress || a.SelfExtracting);
    EXPECT_FALSE(a.FilterDirectories || a.FilterFiles || a.Desktop || a.MyDocuments || a.Favorites);
    EXPECT_EQ(a.DirectoryFilterFlag, 0);
    EXPECT_EQ(a.FileFilterFlag, 0);

    const TBackupSchedule& s = p.Schedule;
    EXPECT_EQ(s.ScheduleType, stManual);
    EXPECT_EQ(s.Hours(), 1);
    EXPECT_EQ(s.Day, 0);
    EXPECT_EQ(s.DayOfMonth, 1);
    EXPECT_EQ(s.DailyTime, 1.0);
    EXPECT_EQ(s.DayTime, 1.0);
    EXPECT_EQ(s.DayOfMonthTime, 1.0);
    EXPECT_FALSE(s.RunAtStartup || s.RunAtShutdown);
}

TEST(BackupSchedule, SetHoursClampsToAtLeastOne) {
    TBackupSchedule s;
    for (auto [given, stored] : {std::pair{0, 1}, {-5, 1}, {1, 1}, {48, 48}}) {
        s.SetHours(given);
        EXPECT_EQ(s.Hours(), stored) << given;
    }
}

// A run takes a copy of the profile; changing the live profile afterwards must not reach the copy.
TEST(BackupProfile, CopiesAreIndependent) {
    TBackupProfile live;
    live.Sources = {"/data/*"};
    live.BackupAttributes.FileFilter = {"*.tmp"};
    const TBackupProfile copy = live;
    live.Sources.push_back("/more/*");
    live.BackupAttributes.FileFilter.clear();
    EXPECT_EQ(copy.Sources, std::vector<std::string>{"/data/*"});
    EXPECT_EQ(copy.BackupAttributes.FileFilter, std::vector<std::string>{"*.tmp"});
}
