// The profile editor: which profile is selected, and showing a profile in the editor pages.
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

void TfrmMain::ShowProfileInEditor(TBackupProfile& profile) {
    // Filling a control runs its change handler, which marks the profile modified: showing a profile
    // must leave the mark as it found it.
    const bool saved = profile.Saved;

    // Each editor page fills its controls here, in this order: sources, destinations, compression,
    // filter, advanced, schedule.

    ShowSchedule(profile);
    profile.Saved = saved;
    m_uiProfiles->cmdSave->setEnabled(!saved);
}
