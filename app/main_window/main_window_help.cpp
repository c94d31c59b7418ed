// Help: the page that matches the active tab, from the help folder beside the program.
#include "app/main_window/main_window.h"
#include "widgets/text_conversion.h"

#include "app/app_texts.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "ui_main_window.h"
#include "widgets/dialogs.h"

#include <QDesktopServices>
#include <QUrl>

void TfrmMain::ConnectHelp() {
    ConnectGuarded(m_ui->cmdHelp, &QPushButton::clicked, &TfrmMain::cmdHelpClick);
}

void TfrmMain::cmdHelpClick() {
    const std::string helpDir = platform::ResourceDir() + "help/";
    if (!platform::DirectoryExists(helpDir)) {
        dialogs::MessageBox(this, texts::HelpNotFound, texts::HelpErrorCaption, dialogs::Icon::None,
                            QMessageBox::Ok);
        return;
    }
    const bool logTab = m_ui->pagMain->currentWidget() == m_ui->tabLog;
    const std::string topic = logTab ? "docs/log.htm" : "docs/intro.htm";
    // What the viewer does with the page (or a missing one) is its own business.
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(helpDir + topic)));
}
