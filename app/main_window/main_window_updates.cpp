// The update check: when the feed is asked, and the updates window.
#include "app/main_window/main_window.h"

#include "ui_page_application.h"

void TfrmMain::ConnectUpdates() {
    QPushButton* checkNow = m_uiApplication->cmdCheckUpdates;
    ConnectGuarded(checkNow, &QPushButton::clicked, [this, checkNow] { CheckForUpdates(checkNow); });
}

void TfrmMain::CheckForUpdates(QObject* /*sender*/) {
    // Nothing is fetched yet; the guard field stays clear.
    FUpdatesForm = nullptr;
}
