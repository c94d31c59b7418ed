// The profile file: its exact form, reading back every key, lenient reading of broken files, and saves
// that never destroy the profile that was there.
#include "engine/backup_profile.h"
#include "engine/qm_crypt.h"

#include "platform/directory.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using platform::DateParts;
using platform::EncodeDateTime;
using testing_support::ReadFile;
using testing_support::ScopedFaultHook;
using testing_support::TempDir;
using testing_support::WriteFile;
using Strings = std::vector<std::string>;

namespace {

// What a fresh profile writes: every key in its order, lines ending in CR LF, no SOURCE line.
const char kFreshProfileFile[] = "DESTINATION_DRIVE_ACTIVE=FALSE\r\n"
                                 "DESTINATION_DRIVE_PATH=\r\n"
                                 "DESTINATION_FTP_ACTIVE=FALSE\r\n"
                                 "DESTINATION_FTP_HOST=\r\n"
                                 "DESTINATION_FTP_USERNAME=\r\n"
                                 "DESTINATION_FTP_PASSWORD=\r\n"
                                 "DESTINATION_FTP_PATH=\r\n"
                                 "DESTINATION_EMAIL_ACTIVE=FALSE\r\n"
                                 "DESTINATION_EMAIL_TO=\r\n"
                                 "DESTINATION_EMAIL_CC=\r\n"
                                 "DESTINATION_EMAIL_BCC=\r\n"
                                 "EMAIL_NOTIFICATION_ACTIVE=FALSE\r\n"
                                 "EMAIL_NOTIFICATION_TO=\r\n"
                                 "EMAIL_NOTIFICATION_CC=\r\n"
                                 "EMAIL_NOTIFICATION_BCC=\r\n"
                                 "EMAIL_NOTIFICATION_ERRORS_ONLY=FALSE\r\n"
                                 "EMAIL_NOTIFICATION_LOG_FLAGS=0\r\n"
                                 "ATTRIBUTE_EXCLUDE_MATCHING=FALSE\r\n"
                                 "ATTRIBUTE_SYNCHRONIZE=FALSE\r\n"
                                 "ATTRIBUTE_DESKTOP=FALSE\r\n"
                                 "ATTRIBUTE_MYDOCUMENTS=FALSE\r\n"
                                 "ATTRIBUTE_FAVORITES=FALSE\r\n"
                                 "ATTRIBUTE_DIRECTORY_STRUCTURE=1\r\n"
                                 "ATTRIBUTE_INCLUDE_READONLY_DIRECTORIES=FALSE\r\n"
                                 "ATTRIBUTE_INCLUDE_HIDDEN_DIRECTORIES=FALSE\r\n"
                                 "ATTRIBUTE_FILTER_DIRECTORIES=FALSE\r\n"
                                 "ATTRIBUTE_DIRECTORY_FILTER_FLAG=0\r\n"
                                 "ATTRIBUTE_INCLUDE_READONLY_FILES=FALSE\r\n"
                                 "ATTRIBUTE_INCLUDE_HIDDEN_FILES=FALSE\r\n"
                                 "ATTRIBUTE_INCLUDE_SYSTEM_FILES=FALSE\r\n"
                                 "ATTRIBUTE_FILTER_FILES=FALSE\r\n"
                                 "ATTRIBUTE_FILE_FILTER_FLAG=0\r\n"
                                 "ATTRIBUTE_COMPRESS=FALSE\r\n"
                                 "ATTRIBUTE_SELF_EXTRACTING=FALSE\r\n"
                                 "ATTRIBUTE_GENERATIONS=0\r\n"
                                 "ATTRIBUTE_PASSWORD=\r\n"
                                 "ATTRIBUTE_DESTINATION_NAME=\r\n"
                                 "SCHEDULE_TYPE=0\r\n"
                                 "SCHEDULE_RUN_AT_STARTUP=FALSE\r\n"
                                 "SCHEDULE_RUN_AT_SHUTDOWN=FALSE\r\n"
                                 "SCHEDULE_HOURS=1\r\n"
                                 "SCHEDULE_DAILY_TIME=12/31/1899 12:00:00 AM\r\n"
                                 "SCHEDULE_DAY=1\r\n"
                                 "SCHEDULE_DAY_TIME=12/31/1899 12:00:00 AM\r\n"
                                 "SCHEDULE_DAY_OF_MONTH=1\r\n"
                                 "SCHEDULE_DAY_OF_MONTH_TIME=12/31/1899 12:00:00 AM\r\n"
                                 "SCHEDULE_LAST_BACKUP=12/30/1899 12:00:00 AM\r\n";

// A literal with its NUL bytes.
template <std::size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

TDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return EncodeDateTime(DateParts{year, month, day, hour, minute, second, 0});
}

// Loads Content as a profile file into P; the result of the load.
bool LoadText(TBackupProfile& p, const std::string& content) {
    TempDir dir;
    WriteFile(dir / "p.bvf", content);
    return p.LoadFromFile(dir / "p.bvf");
}

Strings FolderNames(const std::string& dir) {
    Strings names;
    for (const auto& e : platform::ListDirectory(dir).Entries)
        names.push_back(e.Name);
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// A profile with every stored field away from its constructor value, in the form a load gives back.
TBackupProfile EveryFieldSet() {
    TBackupProfile p;
    p.DriveDestination = {true, "/media/backup/disk 1/"};
    p.FTPDestination = {true, "ftp.example.org:2121", "Backup User", "pa=ss \x01\xc3\xa4 ", "/backups/daily"};
    p.EmailDestination = {true, {"a@example.org", "b@example.org"}, {"", "c@example.org"}, {"d@example.org"}};
    p.EmailNotification = {true, {"n@example.org"}, {"cc@example.org"}, {"bcc@example.org"}};
    p.EmailNotifyErrorsOnly = true;
    p.EmailNotifyLogFlags = 7;
    TBackupAttributes& a = p.BackupAttributes;
    a.ExcludeMatching = a.Synchronize = true;
    a.DirectoryStructure = 0;
    a.DirectoryAttributeMask = 63 ^ 2;
    a.FilterDirectories = true;
    a.DirectoryFilterFlag = 1;
    a.DirectoryFilter = {"*/cache/*", "", "*/.git/*"};
    a.FileAttributeMask = 63 ^ 1 ^ 4;
    a.FilterFiles = true;
    a.FileFilterFlag = 1;
    a.FileFilter = {"*.tmp", "*.BAK"};
    a.Compress = a.SelfExtracting = a.Desktop = a.MyDocuments = a.Favorites = true;
    a.Password = "zip secret  ";
    a.Generations = 4000000000u;
    a.DestinationName = "Nightly";
    TBackupSchedule& s = p.Schedule;
    s.ScheduleType = stMonthly;
    s.RunAtStartup = s.RunAtShutdown = true;
    s.SetHours(48);
    s.DailyTime = At(2004, 3, 2, 13, 5, 9);
    s.Day = 6;
    s.DayTime = At(1899, 12, 30, 23, 59, 59);
    s.DayOfMonth = 31;
    s.DayOfMonthTime = At(2030, 12, 31, 0, 0, 1);
    p.LastBackup = At(2024, 2, 29, 12, 0, 0);
    p.Sources = {"/home/u/Documents/*", "/etc/fstab", "", "/data/x = y;z"};
    return p;
}

void ExpectSameStoredFields(const TBackupProfile& got, const TBackupProfile& want) {
    auto sameDestination = [](const TEmailDestination& g, const TEmailDestination& w) {
        EXPECT_EQ(g.Active, w.Active);
        EXPECT_EQ(g.To, w.To);
        EXPECT_EQ(g.CC, w.CC);
        EXPECT_EQ(g.BCC, w.BCC);
    };
    EXPECT_EQ(got.DriveDestination.Active, want.DriveDestination.Active);
    EXPECT_EQ(got.DriveDestination.Path, want.DriveDestination.Path);
    EXPECT_EQ(got.FTPDestination.Active, want.FTPDestination.Active);
    EXPECT_EQ(got.FTPDestination.Host, want.FTPDestination.Host);
    EXPECT_EQ(got.FTPDestination.UserName, want.FTPDestination.UserName);
    EXPECT_EQ(got.FTPDestination.Password, want.FTPDestination.Password);
    EXPECT_EQ(got.FTPDestination.Path, want.FTPDestination.Path);
    sameDestination(got.EmailDestination, want.EmailDestination);
    sameDestination(got.EmailNotification, want.EmailNotification);
    EXPECT_EQ(got.EmailNotifyErrorsOnly, want.EmailNotifyErrorsOnly);
    EXPECT_EQ(got.EmailNotifyLogFlags, want.EmailNotifyLogFlags);
    const TBackupAttributes& g = got.BackupAttributes;
    const TBackupAttributes& w = want.BackupAttributes;
    EXPECT_EQ(g.ExcludeMatching, w.ExcludeMatching);
    EXPECT_EQ(g.Synchronize, w.Synchronize);
    EXPECT_EQ(g.DirectoryStructure, w.DirectoryStructure);
    EXPECT_EQ(g.DirectoryAttributeMask, w.DirectoryAttributeMask);
    EXPECT_EQ(g.FilterDirectories, w.FilterDirectories);
    EXPECT_EQ(g.DirectoryFilterFlag, w.DirectoryFilterFlag);
    EXPECT_EQ(g.DirectoryFilter, w.DirectoryFilter);
    EXPECT_EQ(g.FileAttributeMask, w.FileAttributeMask);
    EXPECT_EQ(g.FilterFiles, w.FilterFiles);
    EXPECT_EQ(g.FileFilterFlag, w.FileFilterFlag);
    EXPECT_EQ(g.FileFilter, w.FileFilter);
    EXPECT_EQ(g.Compress, w.Compress);
    EXPECT_EQ(g.SelfExtracting, w.SelfExtracting);
    EXPECT_EQ(g.Desktop, w.Desktop);
    EXPECT_EQ(g.MyDocuments, w.MyDocuments);
    EXPECT_EQ(g.Favorites, w.Favorites);
    EXPECT_EQ(g.Password, w.Password);
    EXPECT_EQ(g.Generations, w.Generations);
    EXPECT_EQ(g.DestinationName, w.DestinationName);
    const TBackupSchedule& gs = got.Schedule;
    const TBackupSchedule& ws = want.Schedule;
    EXPECT_EQ(gs.ScheduleType, ws.ScheduleType);
    EXPECT_EQ(gs.RunAtStartup, ws.RunAtStartup);
    EXPECT_EQ(gs.RunAtShutdown, ws.RunAtShutdown);
    EXPECT_EQ(gs.Hours(), ws.Hours());
    EXPECT_NEAR(gs.DailyTime, ws.DailyTime, 1e-9);
    EXPECT_EQ(gs.Day, ws.Day);
    EXPECT_NEAR(gs.DayTime, ws.DayTime, 1e-9);
    EXPECT_EQ(gs.DayOfMonth, ws.DayOfMonth);
    EXPECT_NEAR(gs.DayOfMonthTime, ws.DayOfMonthTime, 1e-9);
    EXPECT_NEAR(got.LastBackup, want.LastBackup, 1e-9);
    EXPECT_EQ(got.Sources, want.Sources);
}

} // namespace

TEST(ProfileFile, FreshProfileWritesTheGoldenFileForTheOwnerOnly) {
    TempDir dir;
    const std::string file = dir / "Fresh.bvf";
    WriteFile(file, "old content");
    ::chmod(file.c_str(), 0644);
    TBackupProfile p;
    p.Errors = {"from an earlier save"};
    ASSERT_TRUE(p.SaveToFile(file));
    EXPECT_TRUE(p.Errors.empty());
    EXPECT_EQ(ReadFile(file), kFreshProfileFile);
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(FolderNames(dir.Path()), Strings{"Fresh.bvf"});
}

TEST(ProfileFile, EveryFieldSurvivesASaveAndALoad) {
    TempDir dir;
    const TBackupProfile saved = EveryFieldSet();
    TBackupProfile original = saved;
    ASSERT_TRUE(original.SaveToFile(dir / "a.bvf"));
    const std::string text = ReadFile(dir / "a.bvf");
    EXPECT_NE(text.find("\r\nATTRIBUTE_GENERATIONS=4000000000\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nDESTINATION_EMAIL_CC=;c@example.org\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSCHEDULE_DAY=7\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSCHEDULE_DAILY_TIME=03/02/2004 01:05:09 PM\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nATTRIBUTE_DIRECTORY_FILTER=\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSOURCE=\r\nSOURCE=/data/x = y;z\r\n"), std::string::npos);
    EXPECT_EQ(text.find("zip secret"), std::string::npos);
    EXPECT_EQ(text.find("pa=ss"), std::string::npos);

    TBackupProfile loaded;
    ASSERT_TRUE(loaded.LoadFromFile(dir / "a.bvf")) << testing::PrintToString(loaded.Errors);
    ExpectSameStoredFields(loaded, saved);
    ASSERT_TRUE(loaded.SaveToFile(dir / "b.bvf"));
    EXPECT_EQ(ReadFile(dir / "b.bvf"), text);
}

// What a save and a load change: the forms the reader normalises to.
TEST(ProfileFile, SaveAndLoadNormaliseAddressesPathsMasksAndGenerations) {
    TempDir dir;
    TBackupProfile p;
    p.DriveDestination.Path = "/media/backup";
    p.FTPDestination.Path = "backups";
    p.EmailDestination.To = {"Mixed@Example.ORG", "", "last@x.org", ""};
    p.BackupAttributes.DirectoryAttributeMask = 59; // no key stores bit 4 of folders
    p.BackupAttributes.FileAttributeMask = 0;
    p.BackupAttributes.Generations = 0;
    ASSERT_TRUE(p.SaveToFile(dir / "n.bvf"));
    TBackupProfile q;
    ASSERT_TRUE(q.LoadFromFile(dir / "n.bvf"));
    EXPECT_EQ(q.DriveDestination.Path, "/media/backup/");
    EXPECT_EQ(q.FTPDestination.Path, "/backups");
    EXPECT_EQ(q.EmailDestination.To, (Strings{"mixed@example.org", "", "last@x.org"}));
    EXPECT_EQ(q.BackupAttributes.DirectoryAttributeMask, 63);
    EXPECT_EQ(q.BackupAttributes.FileAttributeMask, 63 ^ 1 ^ 2 ^ 4);
    EXPECT_EQ(q.BackupAttributes.Generations, 1u);

    // Each combination of the stored bits comes back exactly; the bits without a key come back set.
    for (std::int32_t bits = 0; bits < 8; ++bits) {
        TBackupProfile m;
        m.BackupAttributes.FileAttributeMask = 56 | bits;
        m.BackupAttributes.DirectoryAttributeMask = 60 | (bits & 3);
        ASSERT_TRUE(m.SaveToFile(dir / "m.bvf"));
        TBackupProfile r;
        ASSERT_TRUE(r.LoadFromFile(dir / "m.bvf"));
        EXPECT_EQ(r.BackupAttributes.FileAttributeMask, 56 | bits);
        EXPECT_EQ(r.BackupAttributes.DirectoryAttributeMask, 60 | (bits & 3));
    }
}

// A key the file lacks leaves its field as it was; a malformed value takes the key's own default, which
// for several keys is not the constructor's value.
TEST(ProfileFile, MissingKeysKeepTheFieldMalformedValuesTakeTheKeysDefault) {
    TBackupProfile missing;
    missing.Sources = {"/kept/*"};
    missing.BackupAttributes.FileFilter = {"dropped"};
    missing.Schedule.SetHours(12);
    ASSERT_TRUE(LoadText(missing, "SOURCE=/added/*\r\n"));
    EXPECT_EQ(missing.Sources, (Strings{"/kept/*", "/added/*"}));
    EXPECT_TRUE(missing.BackupAttributes.FileFilter.empty());
    EXPECT_EQ(missing.Schedule.Hours(), 12);
    EXPECT_EQ(missing.BackupAttributes.DirectoryStructure, 1);
    EXPECT_EQ(missing.BackupAttributes.DirectoryFilterFlag, 0);
    EXPECT_EQ(missing.BackupAttributes.FileFilterFlag, 0);
    EXPECT_EQ(missing.BackupAttributes.Generations, 0u);
    EXPECT_EQ(missing.Schedule.DailyTime, 1.0);
    EXPECT_EQ(missing.BackupAttributes.FileAttributeMask, 63);
    EXPECT_EQ(missing.BackupAttributes.DirectoryAttributeMask, 63);

    TBackupProfile malformed;
    malformed.Schedule.SetHours(12);
    malformed.EmailNotifyLogFlags = 5;
    ASSERT_TRUE(LoadText(malformed, "ATTRIBUTE_DIRECTORY_STRUCTURE=flat\r\n"
                                    "ATTRIBUTE_DIRECTORY_FILTER_FLAG=\r\n"
                                    "ATTRIBUTE_FILE_FILTER_FLAG=x\r\n"
                                    "ATTRIBUTE_GENERATIONS=many\r\n"
                                    "EMAIL_NOTIFICATION_LOG_FLAGS=all\r\n"
                                    "SCHEDULE_HOURS=often\r\n"
                                    "SCHEDULE_DAILY_TIME=noon\r\n"
                                    "SCHEDULE_DAY_TIME=\r\n"
                                    "SCHEDULE_DAY_OF_MONTH_TIME=13/45/2004 01:00:00 PM\r\n"));
    EXPECT_EQ(malformed.BackupAttributes.DirectoryStructure, 2);
    EXPECT_EQ(malformed.BackupAttributes.DirectoryFilterFlag, 1);
    EXPECT_EQ(malformed.BackupAttributes.FileFilterFlag, 1);
    EXPECT_EQ(malformed.BackupAttributes.Generations, 1u);
    EXPECT_EQ(malformed.EmailNotifyLogFlags, 0);
    EXPECT_EQ(malformed.Schedule.Hours(), 1);
    EXPECT_EQ(malformed.Schedule.DailyTime, 0.0);
    EXPECT_EQ(malformed.Schedule.DayTime, 0.0);
    EXPECT_EQ(malformed.Schedule.DayOfMonthTime, 0.0);
}

TEST(ProfileFile, ValuesAreReadByTheirKeysRules) {
    using Field = std::function<double(const TBackupProfile&)>;
    const Field driveActive = [](const TBackupProfile& p) { return p.DriveDestination.Active; };
    const Field logFlags = [](const TBackupProfile& p) { return p.EmailNotifyLogFlags; };
    const Field structure = [](const TBackupProfile& p) { return p.BackupAttributes.DirectoryStructure; };
    const Field generations = [](const TBackupProfile& p) { return p.BackupAttributes.Generations; };
    const Field type = [](const TBackupProfile& p) { return p.Schedule.ScheduleType; };
    const Field hours = [](const TBackupProfile& p) { return p.Schedule.Hours(); };
    const Field day = [](const TBackupProfile& p) { return p.Schedule.Day; };
    const Field dayOfMonth = [](const TBackupProfile& p) { return p.Schedule.DayOfMonth; };
    const Field lastBackup = [](const TBackupProfile& p) { return p.LastBackup; };
    const struct {
        const char* line;
        const Field& field;
        double expected;
    } cases[] = {
        {"DESTINATION_DRIVE_ACTIVE=TRUE", driveActive, 1},
        {"destination_drive_active=true", driveActive, 1},
        {"DESTINATION_DRIVE_ACTIVE=t", driveActive, 1},
        {"DESTINATION_DRIVE_ACTIVE= TRUE", driveActive, 0},
        {"DESTINATION_DRIVE_ACTIVE=yes", driveActive, 0},
        {"DESTINATION_DRIVE_ACTIVE=", driveActive, 0},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=263", logFlags, 7},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=+6", logFlags, 6},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=-1", logFlags, 255},
        {"EMAIL_NOTIFICATION_LOG_FLAGS= 6", logFlags, 0},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=6 ", logFlags, 0},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=0x6", logFlags, 0},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=+-6", logFlags, 0},
        {"EMAIL_NOTIFICATION_LOG_FLAGS=2147483648", logFlags, 0},
        {"ATTRIBUTE_DIRECTORY_STRUCTURE=7", structure, 7},
        {"ATTRIBUTE_DIRECTORY_STRUCTURE=2147483647", structure, 255},
        {"ATTRIBUTE_GENERATIONS=0", generations, 1},
        {"ATTRIBUTE_GENERATIONS=-1", generations, 4294967295.0},
        {"ATTRIBUTE_GENERATIONS=4294967295", generations, 4294967295.0},
        {"ATTRIBUTE_GENERATIONS=-2147483648", generations, 2147483648.0},
        {"ATTRIBUTE_GENERATIONS=4294967296", generations, 1},
        {"ATTRIBUTE_GENERATIONS=-2147483649", generations, 1},
        {"ATTRIBUTE_GENERATIONS=007", generations, 7},
        {"SCHEDULE_TYPE=5", type, 5},
        {"SCHEDULE_TYPE=9", type, 0},
        {"SCHEDULE_TYPE=-1", type, 0},
        {"SCHEDULE_TYPE=daily", type, 0},
        {"SCHEDULE_HOURS=48", hours, 48},
        {"SCHEDULE_HOURS=0", hours, 1},
        {"SCHEDULE_HOURS=-5", hours, 1},
        {"SCHEDULE_HOURS=2147483647", hours, 2147483647.0},
        {"SCHEDULE_DAY=7", day, 6},
        {"SCHEDULE_DAY=1", day, 0},
        {"SCHEDULE_DAY=0", day, 0},
        {"SCHEDULE_DAY=8", day, 0},
        {"SCHEDULE_DAY=Monday", day, 0},
        {"SCHEDULE_DAY_OF_MONTH=45", dayOfMonth, 31},
        {"SCHEDULE_DAY_OF_MONTH=0", dayOfMonth, 1},
        {"SCHEDULE_DAY_OF_MONTH=-3", dayOfMonth, 1},
        {"SCHEDULE_DAY_OF_MONTH=15", dayOfMonth, 15},
        {"SCHEDULE_LAST_BACKUP=03/02/2004 01:05:09 PM", lastBackup, At(2004, 3, 2, 13, 5, 9)},
        {"SCHEDULE_LAST_BACKUP=03/02/2004", lastBackup, At(2004, 3, 2, 0, 0, 0)},
        {"SCHEDULE_LAST_BACKUP=02.03.2004 13:05:09", lastBackup, 0},
    };
    for (const auto& c : cases) {
        TBackupProfile p;
        p.Schedule.Day = 3;
        p.EmailNotifyLogFlags = 9;
        ASSERT_TRUE(LoadText(p, std::string(c.line) + "\r\n")) << c.line;
        EXPECT_NEAR(c.field(p), c.expected, 1e-9) << c.line;
    }
}

TEST(ProfileFile, PathsKeepOrGainTheirDelimiter) {
    const struct {
        const char* line;
        const char* drive;
        const char* ftp;
    } cases[] = {
        {"DESTINATION_DRIVE_PATH=/media/backup", "/media/backup/", "/"},
        {"DESTINATION_DRIVE_PATH=/media/backup/", "/media/backup/", "/"},
        {"DESTINATION_DRIVE_PATH=", "", "/"},
        {"DESTINATION_FTP_PATH=", "", "/"},
        {"DESTINATION_FTP_PATH=backups", "", "/backups"},
        {"DESTINATION_FTP_PATH=/backups/", "", "/backups/"},
    };
    for (const auto& c : cases) {
        TBackupProfile p;
        p.FTPDestination.Path = "/";
        ASSERT_TRUE(LoadText(p, std::string(c.line) + "\r\n"));
        EXPECT_EQ(p.DriveDestination.Path, c.drive) << c.line;
        EXPECT_EQ(p.FTPDestination.Path, c.ftp) << c.line;
    }
}

TEST(ProfileFile, MaskKeysFlipTheirBitOnlyForAFalseValue) {
    const struct {
        const char* content;
        std::int32_t files;
        std::int32_t folders;
    } cases[] = {
        {"ATTRIBUTE_INCLUDE_HIDDEN_FILES=FALSE\r\n", 61, 63},
        {"ATTRIBUTE_INCLUDE_HIDDEN_FILES=FALSE\r\nATTRIBUTE_INCLUDE_HIDDEN_FILES=false\r\n", 63, 63},
        {"ATTRIBUTE_INCLUDE_HIDDEN_FILES=no\r\n", 63, 63},
        {"ATTRIBUTE_INCLUDE_HIDDEN_FILES=TRUE\r\n", 63, 63},
        {"ATTRIBUTE_INCLUDE_READONLY_FILES=f\r\nATTRIBUTE_INCLUDE_SYSTEM_FILES=FALSE\r\n", 58, 63},
        {"ATTRIBUTE_INCLUDE_READONLY_DIRECTORIES=FALSE\r\nATTRIBUTE_INCLUDE_HIDDEN_DIRECTORIES=F\r\n", 63,
         60},
    };
    for (const auto& c : cases) {
        TBackupProfile p; // the load starts both masks from 63, whatever they held
        ASSERT_TRUE(LoadText(p, c.content));
        EXPECT_EQ(p.BackupAttributes.FileAttributeMask, c.files) << c.content;
        EXPECT_EQ(p.BackupAttributes.DirectoryAttributeMask, c.folders) << c.content;
    }
}

TEST(ProfileFile, AddressListsAreLowerCasedTrimmedAndSplit) {
    const struct {
        std::string value;
        Strings addresses;
    } cases[] = {
        {"", {}},
        {"Ann@Example.ORG ; BOB@x.org", {"ann@example.org", "bob@x.org"}},
        {"a;;b", {"a", "", "b"}},
        {"a;", {"a"}},
        {";", {""}},
        {" ; \t", {""}},
        {"\tA\x01;\x1f"
         "b\r",
         {"a", "b"}},
        {"J\xc3\x9cRGEN@X.DE", {"j\xc3\x9crgen@x.de"}}, // bytes beyond ASCII stay as they are
        {"\xff\xfe;\x80", {"\xff\xfe", "\x80"}},
    };
    for (const auto& c : cases) {
        TBackupProfile p;
        p.EmailNotification.BCC = {"earlier@x.org"};
        ASSERT_TRUE(LoadText(p, "DESTINATION_EMAIL_TO=" + c.value + "\nEMAIL_NOTIFICATION_BCC=" + c.value));
        EXPECT_EQ(p.EmailDestination.To, c.addresses) << c.value;
        Strings appended{"earlier@x.org"};
        appended.insert(appended.end(), c.addresses.begin(), c.addresses.end());
        EXPECT_EQ(p.EmailNotification.BCC, appended) << c.value;
    }
}

TEST(ProfileFile, SourcesAndFilterMasksTakeEveryLine) {
    TBackupProfile p;
    ASSERT_TRUE(LoadText(p, "SOURCE=/data/*.*\r\n"
                            "SOURCE=\r\n"
                            "SOURCE=/home/u/notes.txt\r\n"
                            "SOURCE=*.*\r\n"
                            "SOURCE=/data/report*.*\r\n"
                            "SOURCE=/data/a.*\r\n"
                            "ATTRIBUTE_FILE_FILTER=*.TMP\r\n"
                            "ATTRIBUTE_FILE_FILTER=\r\n"
                            "ATTRIBUTE_DIRECTORY_FILTER= */cache/* \r\n"));
    EXPECT_EQ(p.Sources, (Strings{"/data/*", "", "/home/u/notes.txt", "*", "/data/report*", "/data/a.*"}));
    EXPECT_EQ(p.BackupAttributes.FileFilter, (Strings{"*.TMP", ""}));
    EXPECT_EQ(p.BackupAttributes.DirectoryFilter, Strings{" */cache/* "});
}

TEST(ProfileFile, PasswordsAreStoredEnciphered) {
    TempDir dir;
    TBackupProfile p;
    p.FTPDestination.Password = "ftp pass";
    p.BackupAttributes.Password = "";
    ASSERT_TRUE(p.SaveToFile(dir / "p.bvf"));
    const std::string text = ReadFile(dir / "p.bvf");
    EXPECT_NE(text.find("\r\nDESTINATION_FTP_PASSWORD=" + EncryptString("ftp pass", "KestrelWay") + "\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\nATTRIBUTE_PASSWORD=\r\n"), std::string::npos);

    TBackupProfile q;
    ASSERT_TRUE(LoadText(q, "ATTRIBUTE_PASSWORD=3cuDqXcV\r\nDESTINATION_FTP_PASSWORD=not enciphered\r\n"));
    EXPECT_EQ(q.BackupAttributes.Password, "abcd");
    EXPECT_EQ(q.FTPDestination.Password, DecryptString("not enciphered", "KestrelWay"));
}

// Broken content never stops the load: each line without a key is reported and skipped, every other
// line still applies.
TEST(ProfileFile, BrokenFilesGiveTheirMessages) {
    const struct {
        const char* name;
        std::string content;
        bool result;
        Strings errors;
        std::function<void(const TBackupProfile&)> check;
    } cases[] = {
        {"empty file", "", true, {}, [](const TBackupProfile& p) { EXPECT_TRUE(p.Sources.empty()); }},
        {"blank line inside",
         "SOURCE=/a\r\n\r\nSOURCE=/b\r\n",
         false,
         {"Invalid profile entry: ''"},
         [](const TBackupProfile& p) {
             EXPECT_EQ(p.Sources, (Strings{"/a", "/b"}));
         }},
        {"line without equals sign and one beginning with it",
         "garbage here\r\n=TRUE\r\nDESTINATION_DRIVE_ACTIVE\r\nDESTINATION_FTP_ACTIVE=TRUE\r\n",
         false,
         {"Invalid profile entry: 'garbage here'", "Invalid profile entry: '=TRUE'",
          "Invalid profile entry: 'DESTINATION_DRIVE_ACTIVE'"},
         [](const TBackupProfile& p) { EXPECT_TRUE(p.FTPDestination.Active); }},
        {"key with blanks or unknown is ignored",
         " DESTINATION_DRIVE_ACTIVE=TRUE\r\nDESTINATION_DRIVE_ACTIVE =TRUE\r\nNO_SUCH_KEY=1\r\n",
         true,
         {},
         [](const TBackupProfile& p) { EXPECT_FALSE(p.DriveDestination.Active); }},
        {"later line wins",
         "SCHEDULE_TYPE=3\r\nSCHEDULE_TYPE=4\r\n",
         true,
         {},
         [](const TBackupProfile& p) { EXPECT_EQ(p.Schedule.ScheduleType, 4); }},
        {"value holds further equals signs",
         "ATTRIBUTE_DESTINATION_NAME==a=b=\r\n",
         true,
         {},
         [](const TBackupProfile& p) { EXPECT_EQ(p.BackupAttributes.DestinationName, "=a=b="); }},
        {"no line end at all",
         "DESTINATION_DRIVE_ACTIVE=TRUE",
         true,
         {},
         [](const TBackupProfile& p) { EXPECT_TRUE(p.DriveDestination.Active); }},
        {"LF and CR LF mixed, a lone CR kept",
         "SOURCE=/a\nSOURCE=/b\r\nSOURCE=/c\rd\n",
         true,
         {},
         [](const TBackupProfile& p) {
             EXPECT_EQ(p.Sources, (Strings{"/a", "/b", "/c\rd"}));
         }},
        {"NUL bytes",
         Bytes("SOURCE=/a\0b\r\n\0\r\nDESTINATION_FTP_HOST=h\0\r\n"),
         false,
         {Bytes("Invalid profile entry: '\0'")},
         [](const TBackupProfile& p) {
             EXPECT_EQ(p.Sources, Strings{Bytes("/a\0b")});
             EXPECT_EQ(p.FTPDestination.Host, Bytes("h\0"));
         }},
        {"invalid UTF-8",
         "DESTINATION_FTP_HOST=\xff\xfe\xc3\r\ndestination_ftp_username\xe4=x\r\n\xc3\x28\r\n",
         false,
         {"Invalid profile entry: '\xc3\x28'"},
         [](const TBackupProfile& p) {
             EXPECT_EQ(p.FTPDestination.Host, "\xff\xfe\xc3");
             EXPECT_EQ(p.FTPDestination.UserName, "");
         }},
        {"trailing blank lines",
         "SCHEDULE_TYPE=2\n\n\n",
         false,
         {"Invalid profile entry: ''", "Invalid profile entry: ''"},
         [](const TBackupProfile& p) { EXPECT_EQ(p.Schedule.ScheduleType, 2); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBackupProfile p;
        p.Errors = {"from an earlier load"};
        EXPECT_EQ(LoadText(p, c.content), c.result);
        EXPECT_EQ(p.Errors, c.errors);
        c.check(p);
    }
}

TEST(ProfileFile, BinaryGarbageLoadsWithoutHarm) {
    std::mt19937 random(20240229);
    std::string garbage(256 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    TBackupProfile p;
    EXPECT_FALSE(LoadText(p, garbage));
    ASSERT_FALSE(p.Errors.empty());
    for (const std::string& e : p.Errors)
        EXPECT_EQ(e.rfind("Invalid profile entry: '", 0), 0u);
}

TEST(ProfileFile, AHundredMegabyteLineIsJustALongLine) {
    const std::size_t huge = 100 * 1024 * 1024;
    TempDir dir;
    {
        platform::File file;
        (void)file.Create(dir / "huge.bvf");
        const std::string chunk(1024 * 1024, 'x');
        ASSERT_TRUE(file.WriteAll("SOURCE="));
        for (std::size_t written = 0; written < huge; written += chunk.size())
            ASSERT_TRUE(file.WriteAll(chunk));
        ASSERT_TRUE(file.WriteAll("\r\nSOURCE=/after\r\n"));
    }
    TBackupProfile p;
    EXPECT_TRUE(p.LoadFromFile(dir / "huge.bvf"));
    ASSERT_EQ(p.Sources.size(), 2u);
    EXPECT_EQ(p.Sources[0].size(), huge);
    EXPECT_EQ(p.Sources[1], "/after");

    const std::string noKey(3 * 1024 * 1024 + 7, 'y'); // no "=" and no line end, over several chunks
    TBackupProfile q;
    EXPECT_FALSE(LoadText(q, noKey));
    EXPECT_EQ(q.Errors, Strings{"Invalid profile entry: '" + noKey + "'"});

    // A line of nothing but separators would otherwise become millions of empty addresses.
    TBackupProfile r;
    EXPECT_TRUE(LoadText(r, "DESTINATION_EMAIL_TO=" + std::string(1024 * 1024, ';') + "\r\n"));
    EXPECT_EQ(r.EmailDestination.To.size(), 10000u);
}

TEST(ProfileFile, LoadReportsFileProblems) {
    TempDir dir;
    TBackupProfile p;
    p.BackupAttributes.FileFilter = {"*.tmp"};
    EXPECT_FALSE(p.LoadFromFile(dir / "none.bvf"));
    EXPECT_EQ(p.Errors, Strings{"File Does Not Exist: " + dir / "none.bvf"});
    EXPECT_EQ(p.BackupAttributes.FileAttributeMask, 63);
    EXPECT_EQ(p.BackupAttributes.DirectoryAttributeMask, 63);
    EXPECT_TRUE(p.BackupAttributes.FileFilter.empty());

    EXPECT_FALSE(p.LoadFromFile(dir.Path()));
    EXPECT_EQ(p.Errors, Strings{"File Does Not Exist: " + dir.Path()});

    WriteFile(dir / "locked.bvf", "SCHEDULE_TYPE=3\r\n");
    ScopedFaultHook accessDenied([](platform::FaultOp op, const std::string&) {
        return op == platform::FaultOp::OpenRead ? EACCES : 0;
    });
    EXPECT_FALSE(p.LoadFromFile(dir / "locked.bvf"));
    accessDenied.Remove();
    EXPECT_EQ(p.Errors, Strings{"File Access Denied: " + dir / "locked.bvf"});
    EXPECT_EQ(p.Schedule.ScheduleType, 0);

    // A real read failure: this process's memory file exists and opens, but reading at offset 0 fails.
    EXPECT_FALSE(p.LoadFromFile("/proc/self/mem"));
    EXPECT_EQ(p.Errors, Strings{"File Read Error: /proc/self/mem"});
}

// Every way a save can fail leaves the old profile file byte-identical and no temporary file behind.
TEST(ProfileFile, FailedSavesKeepTheOldFile) {
    const std::string old = "SCHEDULE_TYPE=3\r\nSOURCE=/precious/*\r\n";
    const struct {
        const char* name;
        platform::FaultOp failing;
        const char* message;
    } injected[] = {
        {"the temporary file cannot be created", platform::FaultOp::OpenWrite, "Failure to Create File: "},
        {"writing fails", platform::FaultOp::Write, "File Write Error: "},
        {"the final rename fails", platform::FaultOp::Rename, "Error Closing File: "},
    };
    for (const auto& c : injected) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir / "p.bvf";
        WriteFile(file, old);
        ScopedFaultHook failing(
            [&](platform::FaultOp op, const std::string&) { return op == c.failing ? EIO : 0; });
        TBackupProfile p = EveryFieldSet();
        EXPECT_FALSE(p.SaveToFile(file));
        failing.Remove();
        EXPECT_EQ(p.Errors, Strings{c.message + file});
        EXPECT_EQ(ReadFile(file), old);
        EXPECT_EQ(FolderNames(dir.Path()), Strings{"p.bvf"});
    }

    TempDir dir;
    TBackupProfile p;
    EXPECT_FALSE(p.SaveToFile(dir / "missing/p.bvf"));
    EXPECT_EQ(p.Errors, Strings{"Failure to Create File: " + dir / "missing/p.bvf"});

    // A folder where the file should be: everything is written, and the rename over it fails.
    ASSERT_TRUE(platform::ForceDirectories(dir / "taken.bvf"));
    EXPECT_FALSE(p.SaveToFile(dir / "taken.bvf"));
    EXPECT_EQ(p.Errors, Strings{"Error Closing File: " + dir / "taken.bvf"});
    EXPECT_EQ(FolderNames(dir.Path()), Strings{"taken.bvf"});
}

// A line break inside a value would split its line and corrupt the file: the save is refused.
TEST(ProfileFile, AValueWithALineBreakIsRefused) {
    const std::string old = "SOURCE=/precious/*\r\n";
    for (const std::string bad : {"/data/two\nlines", "/data/cr\rhere"}) {
        TempDir dir;
        const std::string file = dir / "p.bvf";
        WriteFile(file, old);
        TBackupProfile p = EveryFieldSet();
        p.Sources.push_back(bad);
        EXPECT_FALSE(p.SaveToFile(file));
        EXPECT_EQ(p.Errors, Strings{"File Write Error: " + file});
        EXPECT_EQ(ReadFile(file), old);
        EXPECT_EQ(FolderNames(dir.Path()), Strings{"p.bvf"});
    }
    TempDir dir;
    TBackupProfile p;
    p.FTPDestination.Host = "host\n";
    EXPECT_FALSE(p.SaveToFile(dir / "new.bvf"));
    EXPECT_TRUE(FolderNames(dir.Path()).empty());
}

// A real failure part-way through the write: a child process whose file-size limit lies inside the
// profile gets EFBIG after the first bytes went out.
TEST(ProfileFile, ASaveThatFailsPartWayLeavesTheOldFileByteIdentical) {
    TempDir dir;
    const std::string file = dir / "p.bvf";
    const std::string old = std::string(kFreshProfileFile) + "SOURCE=/precious/*\r\n";
    WriteFile(file, old);
    TBackupProfile p = EveryFieldSet();
    for (int i = 0; i < 200; ++i)
        p.Sources.push_back("/home/user/a rather long folder name to make the file large/" +
                            std::to_string(i));
    const int result = testing_support::ExitCodeWithFileSizeLimit(4096, [&] {
        const bool saved = p.SaveToFile(file);
        const bool reported = p.Errors == Strings{"File Write Error: " + file};
        return saved ? 1 : reported ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(file), old);
    EXPECT_EQ(FolderNames(dir.Path()), Strings{"p.bvf"});
}

TEST(SplitNameValue, SplitsAtTheFirstEqualsSignWithoutTrimming) {
    const struct {
        const char* line;
        const char* name;
        const char* value;
    } cases[] = {
        {"KEY=value", "KEY", "value"},
        {" KEY = a=b ", " KEY ", " a=b "},
        {"=x", "", "x"},
        {"KEY=", "KEY", ""},
        {"no equals", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string name = "stale", value = "stale";
        SplitNameValue(c.line, name, value);
        EXPECT_EQ(name, c.name) << c.line;
        EXPECT_EQ(value, c.value) << c.line;
    }
}
