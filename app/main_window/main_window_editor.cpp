// The profile editor: which profile is selected, showing a profile in the editor pages, the modified
// mark, and the pages "2. Sources", "4. Compression" and "7. Advanced".
#include "app/main_window/main_window.h"

#include "ui_page_profiles.h"

TBackupProfile* TfrmMain::ProfileAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= FProfiles.size())
        return nullptr;
    return FProfiles[static_cast<std::size_t>(index)].get();
}

TBackupProfile* TfrmMain::SelectedProfile() const {
    return ProfileAt(SelectedProfileIndex());
}

void TfrmMain::ShowProfile(int index, int mode) {
    TBackupProfile* profile = ProfileAt(index);
    if (!profile)
        return;
    switch (mode) {
    case 0:
        ShowProfileInEditor(*profile);
        break;
    case 1:
        ShowRestoreProfile(*profile);
        break;
    default:
        break;
    }
}

void TfrmMain::MarkModified(TBackupProfile& profile) {
    profile.Saved = false;
    m_uiProfiles->cmdSave->setEnabled(true);
}

void TfrmMain::ConnectEditorPages() {}

void TfrmMain::ShowProfileInEditor(TBackupProfile& profile) {
    // Each page fills its controls with their signals blocked, so showing a profile never edits it.
    ShowDestinations(profile);
    ShowFilter(profile);
    ShowSchedule(profile);
    m_uiProfiles->cmdSave->setEnabled(!profile.Saved);
}
