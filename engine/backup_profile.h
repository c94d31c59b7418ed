// A backup profile: one named backup job, what to back up, where, how and when.
// Plain copyable values, so that a run can take a copy of the settings it starts with.
#pragma once

#include "platform/date_time.h"

#include <cstdint>
#include <string>
#include <vector>

struct TDriveDestination {
    bool Active = false;
    std::string Path; // after a load: empty or ending in "/"
};

// Stored and edited only; a run transfers nothing to it.
struct TFTPDestination {
    bool Active = false;
    std::string Host;
    std::string UserName;
    std::string Password; // plain in memory, enciphered in the profile file
    std::string Path;     // after a load: always beginning with "/"
};

struct TEmailDestination {
    bool Active = false;
    std::vector<std::string> To;
    std::vector<std::string> CC;
    std::vector<std::string> BCC;
};

struct TBackupAttributes {
    bool ExcludeMatching = false;        // copy or archive only files that changed
    bool Synchronize = false;            // delete from a plain copy of one folder what is gone at the source
    std::uint8_t DirectoryStructure = 1; // 0 full path, 1 last folder name, 2 none
    std::int32_t DirectoryAttributeMask = 0;
    bool FilterDirectories = false;
    std::uint8_t DirectoryFilterFlag = 0; // 0 keep only matching folders, 1 drop matching folders
    std::vector<std::string> DirectoryFilter;
    std::int32_t FileAttributeMask = 0;
    bool FilterFiles = false;
    std::uint8_t FileFilterFlag = 0; // 0 keep only matching files, 1 drop matching files
    std::vector<std::string> FileFilter;
    bool Compress = false;
    bool SelfExtracting = false;
    bool Desktop = false;
    bool MyDocuments = false;
    bool Favorites = false;
    std::string Password;          // archive password, plain in memory; empty means none
    std::uint32_t Generations = 0; // 0 and 1 both mean one archive without a time stamp
    std::string DestinationName;
};

// Schedule kinds as stored.
enum : std::uint8_t {
    stManual = 0,
    stHourly = 1,
    stWeekly = 2,
    stDaily = 3,
    stWeekdays = 4,
    stMonthly = 5,
};

class TBackupSchedule {
public:
    std::uint8_t ScheduleType = stManual;
    bool RunAtStartup = false;  // stored and shown only
    bool RunAtShutdown = false; // stored and shown only
    TDateTime DailyTime = 1.0;
    std::uint8_t Day = 0; // 0 Sunday ... 6 Saturday
    TDateTime DayTime = 1.0;
    std::int32_t DayOfMonth = 1;
    TDateTime DayOfMonthTime = 1.0;

    std::int32_t Hours() const { return m_hours; }
    // Values below 1 are stored as 1.
    void SetHours(std::int32_t hours);

private:
    std::int32_t m_hours = 1;
};

class TBackupProfile {
public:
    explicit TBackupProfile(void* owner = nullptr) : m_owner(owner) {}

    // Reads the profile file; False with one message per problem in Errors. Never raises.
    bool LoadFromFile(const std::string& fileName);
    // Replaces the profile file (readable by the owner only); False with one message per problem in
    // Errors, and then the old file is kept as it was. A value holding a line break is refused. Never raises.
    bool SaveToFile(const std::string& fileName);

    // Recorded only: the component that created the profile.
    void* Owner() const { return m_owner; }

    bool InProcess = false;
    std::vector<std::string> Errors;
    bool Saved = true;
    std::string Name;
    TDriveDestination DriveDestination;
    TFTPDestination FTPDestination;
    TEmailDestination EmailDestination;
    TEmailDestination EmailNotification;
    bool EmailNotifyErrorsOnly = false;
    std::uint8_t EmailNotifyLogFlags = 0; // 1 errors, 2 warnings, 4 successes
    TBackupAttributes BackupAttributes;
    TBackupSchedule Schedule;
    std::vector<std::string> Sources; // a file path, or a folder path followed by "/*"
    TDateTime LastBackup = 0.0;

private:
    void* m_owner = nullptr;
};

// Splits a line of the profile file at its first "=": Name before it, Value after it (further "=" stay in
// the value). A line without "=" gives an empty name and an empty value. Neither part is trimmed.
void SplitNameValue(const std::string& line, std::string& name, std::string& value);
