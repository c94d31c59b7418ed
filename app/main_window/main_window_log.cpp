// The Log page: the list of run logs and its grid lines.
#include "app/main_window/main_window.h"

#include "engine/backup_log_list.h"
#include "ui_page_log.h"

void TfrmMain::ConnectLogPage() {
    ConnectGuarded(m_uiLog->chkShowLogGrid, &QCheckBox::toggled, &TfrmMain::chkShowLogGridClick);
}

void TfrmMain::RefreshLog() {
    m_uiLog->lvwLog->setRowCount(0);
}

void TfrmMain::chkShowLogGridClick() {
    m_uiLog->lvwLog->setShowGrid(m_uiLog->chkShowLogGrid->isChecked());
}
