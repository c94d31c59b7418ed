// The program's fixed texts that more than one place shows or tests compare.
#pragma once

namespace texts {

inline constexpr const char* ExitRefused = "Cannot exit Brimvale while a backup is running. \r\n"
                                           "Please either cancel running backup(s) or \r\n"
                                           "wait until backup(s) complete.\r\n\r\n"
                                           "Currently: ";
inline constexpr const char* ExitRefusedCount = " backup(s) running.";
inline constexpr const char* ExitPrompt =
    "You are about to exit the Brimvale application. If you are sure you wish to exit, then select OK.";
inline constexpr const char* ExitPromptConfirm = "Always prompt before exiting Brimvale.";
inline constexpr const char* WrongPassword = "The password you entered is not correct.";
inline constexpr const char* PasswordsDiffer =
    "The passwords you typed do not match. Type the password in both boxes.";
inline constexpr const char* InvalidEmailAddress = " is not a valid email address.";
inline constexpr const char* RunKeyNotOpened = "Unable to open the autostart folder.";
inline constexpr const char* RunKeyNotOpenedForDelete = "Unable to open the autostart folder";
inline constexpr const char* RunValueNotDeleted = "Unable to delete the autostart entry.";
inline constexpr const char* HelpNotFound = "Help file not found.";
inline constexpr const char* HelpErrorCaption = "Help Error";
inline constexpr const char* SettingsNotSaved = "Unable to save the settings file ";
inline constexpr const char* BrowseFolderTitle = "Select a directory below to add to backup.";
inline constexpr const char* BrowseFolderCaption = "Select Directory";

} // namespace texts
