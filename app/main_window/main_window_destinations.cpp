// The editor page "3. Destinations": where a run puts its backup and who is told about it.
#include "app/main_window/main_window.h"

#include "ui_page_destinations.h"

void TfrmMain::ConnectDestinationsPage() {}

void TfrmMain::ShowDestinations(const TBackupProfile& /*profile*/) {}
