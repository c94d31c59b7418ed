// The editor page "3. Destinations": where a run puts its backup and who is told about it.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/dialogs/email_form.h"
#include "ui_page_destinations.h"
#include "widgets/caption_clicks.h"
#include "widgets/dialogs.h"
#include "widgets/focus_leave.h"
#include "widgets/text_conversion.h"

#include <QRegularExpression>
#include <QSignalBlocker>

#include <initializer_list>
#include <utility>

namespace {

// Log flags of the notification, one bit per check box.
constexpr std::uint8_t LogErrorsBit = 1;
constexpr std::uint8_t LogWarningsBit = 2;
constexpr std::uint8_t LogSuccessesBit = 4;

// The two address lists the page edits, with what their dialog says and where their text shows.
struct TAddressLists {
    const char* button;
    const char* caption;
    const char* banner;
    TEmailDestination TBackupProfile::*part;
    QLineEdit* Ui::PageDestinations::*shown;
};

const TAddressLists AddressLists[] = {
    {"cmdEmailDest", texts::EmailDestinationCaption, texts::EmailDestinationBanner,
     &TBackupProfile::EmailDestination, &Ui::PageDestinations::txtEmailDest},
    {"cmdEmailNotification", texts::EmailNotificationCaption, texts::EmailNotificationBanner,
     &TBackupProfile::EmailNotification, &Ui::PageDestinations::txtEmailNotification},
};

// Characters that many file systems refuse in a name (a backup disk may be formatted for another
// system); "/" is this system's separator and belongs in a path.
bool HasRefusedPathCharacter(const QString& path) {
    static const QRegularExpression refused(QStringLiteral("[*?\"<>|]"));
    return path.contains(refused);
}

} // namespace

void TfrmMain::ConnectDestinationsPage() {
    Ui::PageDestinations& page = *m_uiDestinations;
    ConnectGuarded(page.chkDriveDest, &QCheckBox::toggled, &TfrmMain::chkDriveDestClick);
    ConnectGuarded(page.txtDriveDest, &QLineEdit::textChanged, &TfrmMain::txtDriveDestChange);
    m_focusLeave->Watch(page.txtDriveDest, [this](QWidget*) { txtDriveDestExit(); });
    ConnectGuarded(page.cmdDriveDest, &QToolButton::clicked, &TfrmMain::cmdDriveDestClick);
    ConnectGuarded(page.chkEmailDest, &QCheckBox::toggled, &TfrmMain::chkEmailDestClick);
    for (QToolButton* button : {page.cmdEmailDest, page.cmdEmailNotification})
        ConnectGuarded(button, &QToolButton::clicked, [this, button] { EmailAddressesClick(button); });
    new CaptionClicks(page.lblEmailNotification, page.chkEmailNotification);
    ConnectGuarded(page.chkEmailNotification, &QCheckBox::toggled, &TfrmMain::chkEmailNotificationClick);
    ConnectGuarded(page.chkNotifyOnError, &QCheckBox::toggled, &TfrmMain::chkNotifyOnErrorClick);
    const std::pair<QCheckBox*, std::uint8_t> logBoxes[] = {{page.chkNotifyLogErrors, LogErrorsBit},
                                                            {page.chkNotifyLogWarnings, LogWarningsBit},
                                                            {page.chkNotifyLogSuccesses, LogSuccessesBit}};
    for (const auto& [box, bit] : logBoxes)
        ConnectGuarded(box, &QCheckBox::toggled,
                       [this, box, bit] { chkNotifyLogClick(bit, box->isChecked()); });
}

void TfrmMain::ShowDestinations(const TBackupProfile& profile) {
    Ui::PageDestinations& page = *m_uiDestinations;
    // Filled with signals blocked, so that showing a profile never writes to it.
    const QSignalBlocker blockDrive(page.chkDriveDest);
    const QSignalBlocker blockPath(page.txtDriveDest);
    const QSignalBlocker blockEmail(page.chkEmailDest);
    const QSignalBlocker blockFTP(page.chkFTPDest);
    const QSignalBlocker blockNotification(page.chkEmailNotification);
    const QSignalBlocker blockOnError(page.chkNotifyOnError);
    const QSignalBlocker blockLogErrors(page.chkNotifyLogErrors);
    const QSignalBlocker blockLogWarnings(page.chkNotifyLogWarnings);
    const QSignalBlocker blockLogSuccesses(page.chkNotifyLogSuccesses);
    page.txtDriveDest->setText(Q(profile.DriveDestination.Path));
    page.txtDriveDest->setToolTip(page.txtDriveDest->text());
    page.txtEmailDest->setText(Q(EmailAddressText(profile.EmailDestination)));
    page.chkDriveDest->setChecked(profile.DriveDestination.Active);
    page.chkEmailDest->setChecked(profile.EmailDestination.Active);
    page.chkFTPDest->setChecked(profile.FTPDestination.Active);
    page.chkEmailNotification->setChecked(profile.EmailNotification.Active);
    EnableNotificationControls(profile.EmailNotification.Active);
    page.chkNotifyOnError->setChecked(profile.EmailNotifyErrorsOnly);
    page.chkNotifyLogErrors->setChecked((profile.EmailNotifyLogFlags & LogErrorsBit) != 0);
    page.chkNotifyLogWarnings->setChecked((profile.EmailNotifyLogFlags & LogWarningsBit) != 0);
    page.chkNotifyLogSuccesses->setChecked((profile.EmailNotifyLogFlags & LogSuccessesBit) != 0);
    page.txtEmailNotification->setText(Q(EmailAddressText(profile.EmailNotification)));
}

void TfrmMain::chkDriveDestClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->DriveDestination.Active = m_uiDestinations->chkDriveDest->isChecked();
    MarkModified(*p);
}

void TfrmMain::txtDriveDestChange() {
    QLineEdit* edit = m_uiDestinations->txtDriveDest;
    // The whole path shows when the mouse rests on a path too long for the edit.
    edit->setToolTip(edit->text());
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->DriveDestination.Path = S(edit->text());
    MarkModified(*p);
}

void TfrmMain::txtDriveDestExit() {
    QLineEdit* edit = m_uiDestinations->txtDriveDest;
    if (!SelectedProfile() || edit->text().isEmpty())
        return;
    // The path is kept as typed even when refused: the user is told and put back into the edit.
    const bool refused = HasRefusedPathCharacter(edit->text());
    if (refused)
        dialogs::ShowError(this, Q(texts::DrivePathCharacters));
    if (!edit->text().endsWith(QLatin1Char('/')))
        edit->setText(edit->text() + QLatin1Char('/'));
    if (refused) {
        edit->setFocus();
        edit->selectAll();
    }
}

void TfrmMain::cmdDriveDestClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    QLineEdit* edit = m_uiDestinations->txtDriveDest;
    const QString folder =
        dialogs::ChooseFolder(this, Q(texts::BrowseFolderCaption), Q(texts::BrowseFolderTitle), edit->text());
    if (folder.isEmpty())
        return;
    edit->setText(folder);
    // Written here too: choosing the folder already shown changes no text.
    p->DriveDestination.Path = S(edit->text());
    MarkModified(*p);
}

void TfrmMain::chkEmailDestClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->EmailDestination.Active = m_uiDestinations->chkEmailDest->isChecked();
    MarkModified(*p);
}

void TfrmMain::EmailAddressesClick(QObject* sender) {
    TBackupProfile* p = SelectedProfile();
    if (!p || !sender)
        return;
    for (const TAddressLists& lists : AddressLists) {
        if (sender->objectName() != QLatin1String(lists.button))
            continue;
        TEmailDestination& part = p->*lists.part;
        TfrmEmail dialog(this);
        dialog.setWindowTitle(Q(lists.caption));
        dialog.lblBanner()->setText(Q(lists.banner));
        dialog.SetAddresses(part.To, part.CC, part.BCC);
        if (dialogs::ExecDialog(dialog) != mrOk)
            return;
        part.To = dialog.ToAddresses();
        part.CC = dialog.CCAddresses();
        part.BCC = dialog.BCCAddresses();
        ((*m_uiDestinations).*lists.shown)->setText(Q(EmailAddressText(part)));
        MarkModified(*p);
        return;
    }
}

void TfrmMain::chkEmailNotificationClick() {
    const bool checked = m_uiDestinations->chkEmailNotification->isChecked();
    EnableNotificationControls(checked);
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->EmailNotification.Active = checked;
    MarkModified(*p);
}

void TfrmMain::EnableNotificationControls(bool enabled) {
    Ui::PageDestinations& page = *m_uiDestinations;
    for (QWidget* control : std::initializer_list<QWidget*>{
             page.txtEmailNotification, page.cmdEmailNotification, page.chkNotifyOnError,
             page.chkNotifyLogErrors, page.chkNotifyLogWarnings, page.chkNotifyLogSuccesses})
        control->setEnabled(enabled);
}

void TfrmMain::chkNotifyOnErrorClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->EmailNotifyErrorsOnly = m_uiDestinations->chkNotifyOnError->isChecked();
    MarkModified(*p);
}

void TfrmMain::chkNotifyLogClick(std::uint8_t bit, bool checked) {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    if (checked)
        p->EmailNotifyLogFlags = static_cast<std::uint8_t>(p->EmailNotifyLogFlags | bit);
    else
        p->EmailNotifyLogFlags = static_cast<std::uint8_t>(p->EmailNotifyLogFlags & ~bit);
    MarkModified(*p);
}
