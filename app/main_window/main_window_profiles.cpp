// The profile list on the Profiles page.
#include "app/main_window/main_window.h"

#include "ui_page_profiles.h"

void TfrmMain::ConnectProfilesPage() {
    // The profile list's second column holds each profile's index and is never shown.
    m_uiProfiles->lstProfiles->setColumnHidden(1, true);
    m_uiProfiles->lstProfiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TfrmMain::LoadProfiles() {
    m_uiProfiles->lstProfiles->clear();
    m_uiProfiles->cmdSave->setEnabled(false);
    m_uiProfiles->cmdDelete->setEnabled(m_uiProfiles->lstProfiles->topLevelItemCount() > 0);
}
