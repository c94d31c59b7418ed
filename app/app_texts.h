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
// The profile editor.
inline constexpr const char* PasswordsDifferTryAgain =
    "The passwords you entered do not match. Please try again.";
inline constexpr const char* DestinationNameCharacters =
    "The destination name cannot contain any of the following characters:\r\n\t\\ / : * ? \" < > |";
inline constexpr const char* DestinationNameDots = "The destination name cannot be \".\" or \"..\".";
inline constexpr const char* SyncNeedsOneSource = "The directory sync option does not work with more \r\n"
                                                  "than one source directory at a time. Please verify\r\n"
                                                  "that you have only one source directory defined.";
// The e-mail address lists.
inline constexpr const char* EmailAddressInvalid =
    "You must enter a valid Internet email address.\r\nExample: someone@example.com";
inline constexpr const char* EmailReplaceNoSelection = "You must select an email address to replace";
inline constexpr const char* EmailReplaceExists =
    "Cannot replace email address. The email address already exists.";
// The Status page.
inline constexpr const char* BackupNotStarted = "Unable to start the backup";
// The profile list.
inline constexpr const char* ProfileNotSaved = "Unable to save changes to profile.";
inline constexpr const char* ProfileNotSavedCaption = "Save Error";
inline constexpr const char* ProfileDeleteQuestion = "Are you sure you want to delete this profile?";
inline constexpr const char* ProfileDeleteCaption = "Confirm Profile Delete";
// Each followed by a line break and the system's reason.
inline constexpr const char* ProfileNotDeleted = "Unable to delete the profile file.";
inline constexpr const char* ProfileNotRenamed = "Unable to rename the profile file.";
inline constexpr const char* ProfileDeleteRefused =
    "This profile cannot be deleted while its backup is running.";
// The new-profile wizard.
inline constexpr const char* WizardNoProfileName = "Please enter a profile name first.";
inline constexpr const char* WizardProfileExists = "The profile,";
inline constexpr const char* WizardProfileExistsEnd = ", already exists. Please enter a different "
                                                      "profile name.";
inline constexpr const char* ProfileNameUnusable = "The profile name cannot be used as a file name.";
inline constexpr const char* WizardNoSource =
    "You must select a source file or directory before you can continue.";
inline constexpr const char* WizardNoDrivePath = "You mest enter a drive destination path.";
inline constexpr const char* WizardNoToAddress = "You must enter an email address in the TO recipients.";
inline constexpr const char* WizardNoDestination = "You must select a destination before you can continue.";
inline constexpr const char* DrivePathCharacters =
    "The drive destination path cannot contain any of the following characters:\r\n\t * ? \" < > |";
inline constexpr const char* WizardNoDay = "Please select a day.";
inline constexpr const char* DriveDestBrowseTitle = "Select a destination directory below:";
inline constexpr const char* EmailDestinationCaption = "Email Destination";
inline constexpr const char* EmailDestinationBanner =
    "Enter email addresses for the email backup destination.";
inline constexpr const char* EmailNotificationCaption = "Email Notification";
inline constexpr const char* EmailNotificationBanner = "Enter email addresses for email notification.";
inline constexpr const char* RunKeyNotOpened = "Unable to open the autostart folder.";
inline constexpr const char* RunKeyNotOpenedForDelete = "Unable to open the autostart folder";
inline constexpr const char* RunValueNotDeleted = "Unable to delete the autostart entry.";
inline constexpr const char* HelpNotFound = "Help file not found.";
inline constexpr const char* HelpErrorCaption = "Help Error";
inline constexpr const char* SettingsNotSaved = "Unable to save the settings file ";
inline constexpr const char* BrowseFolderTitle = "Select a directory below to add to backup.";
inline constexpr const char* BrowseFolderCaption = "Select Directory";
// What the log window shows for a run that wrote no entries.
inline constexpr const char* LogWithoutDetails =
    "SUCCESS!\r\n\r\n[NOTES]\r\nThe log detail option was not selected on the Application tab\r\n"
    "when this backup was run and no errors were found.\r\nTherefore, details for this backup are not "
    "available.";

// Told once, the first time the window is closed on a desktop without a tray.
inline constexpr const char* KeepsRunning = "Brimvale keeps running in the background to carry out scheduled "
                                            "backups. Start it again to open this window.";

} // namespace texts
