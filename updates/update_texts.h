// The update check's fixed texts that more than one place shows or tests compare.
#pragma once

namespace update_texts {

inline constexpr const char* TitleSuffix = " Updates / Upgrades";
inline constexpr const char* CurrentVersion = "Current Version: (";
inline constexpr const char* UpdateLabel = "Update ";

inline constexpr const char* UpdateAvailable = "The following update is available for download.";
inline constexpr const char* NoUpdates = "There are no updates available at this time.";
inline constexpr const char* UpdatesNotChecked = "Not scheduled to check for updates at this time.";
inline constexpr const char* UpgradeAvailable = "The following upgrade is available for download.";
inline constexpr const char* NoUpgrades = "There are no upgrades available at this time.";
inline constexpr const char* UpgradesNotChecked = "Not scheduled to check for upgrades at this time.";
// Followed by the reason the request failed.
inline constexpr const char* UpdateCheckFailed = "Unable to check for updates: ";
inline constexpr const char* UpgradeCheckFailed = "Unable to check for upgrades: ";

inline constexpr const char* Close = "Close";
inline constexpr const char* Cancel = "Cancel";
inline constexpr const char* DownloadCaptionSuffix = " Update Download";
inline constexpr const char* DownloadFolderTitle = "Select the destination directory";
inline constexpr const char* DownloadError = "Error downloading file:\r\n";
inline constexpr const char* UnusableFileName = "The address names no file that can be saved.";
inline constexpr const char* CancelDownloadQuestion = "Are you sure you wish to cancel the download?";
inline constexpr const char* CloseDuringDownloadQuestion =
    "Closing this form will cancel the current download.\r\nAre you sure you wish to do this?";
inline constexpr const char* ProgressOf = " of ";

} // namespace update_texts
