// The profile list on the Profiles page.
#include "app/main_window.h"

#include "ui_main_window.h"

void TfrmMain::LoadProfiles() {
    m_ui->lstProfiles->clear();
    m_ui->cmdSave->setEnabled(false);
    m_ui->cmdDelete->setEnabled(m_ui->lstProfiles->topLevelItemCount() > 0);
}
