// The editor page "6. Filter": the folder and the file filter of the selected profile.
#include "app/main_window/main_window.h"

#include "ui_page_filter.h"

void TfrmMain::ConnectFilterPage() {}

void TfrmMain::ShowFilter(const TBackupProfile& /*profile*/) {}
