// The update check: when the feed is asked, and the updates window.
#include "app/main_window.h"

#include "ui_main_window.h"

void TfrmMain::CheckForUpdates(QObject* /*sender*/) {
    // Nothing is fetched yet; the guard field stays clear.
    FUpdatesForm = nullptr;
}
