// The engine's fixed texts that a run shows in its status slot or writes into its run log from more than one
// place, and that the window and the tests compare.
#pragma once

namespace engine_texts {

// What a run is doing, as its status slot shows it.
inline constexpr const char* GatheringInformation = "Gathering information...";
inline constexpr const char* PreparingCompression = "Preparing to begin compression...";
inline constexpr const char* CopyingFile = "Copying File";
inline constexpr const char* SynchronizingDestination = "Synchronizing destination with source";
inline constexpr const char* SendingEmailBackup = "Sending email backup";
inline constexpr const char* SendingEmailNotification = "Sending email notification";
inline constexpr const char* Deleting = "Deleting - ";

// Run-log entries.
inline constexpr const char* FileUnavailable = "File Error - File Unavailable";
inline constexpr const char* FileError = "File Error - ";
inline constexpr const char* FileCopied = "File Copied";
inline constexpr const char* ExcludedFromBackup = "Excluded from backup";
inline constexpr const char* FailedToCreateDestinationFile = "Failed to create destination file";
inline constexpr const char* DestinationUnavailable = "Destination Invalid/Unavailable";
inline constexpr const char* DeletedFileBySync = "Deleted file due to synchronization.";
inline constexpr const char* DeletedFolderBySync = "Deleted directory due to synchronization.";
inline constexpr const char* FileDeleteFailedBySync = "Failed to delete file during synchronization.";
inline constexpr const char* FolderDeleteFailedBySync = "Failed to delete directory during synchronization.";
inline constexpr const char* ProfileNotInitialized = "Profile Not Initialized.";
inline constexpr const char* EmailNotificationSource = "Email Notification";
inline constexpr const char* EmailInvalidTempFile = "Email - invalid temp file";
inline constexpr const char* ErrorConnectingToHost = "Error connecting to host - ";

} // namespace engine_texts
