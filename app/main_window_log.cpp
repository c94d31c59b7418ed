// The Log page: the list of run logs.
#include "app/main_window.h"

#include "engine/backup_log_list.h"
#include "ui_main_window.h"

void TfrmMain::RefreshLog() {
    m_ui->lvwLog->setRowCount(0);
}
