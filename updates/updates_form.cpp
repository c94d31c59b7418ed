// The updates window: panels, link lists, downloads and closing.
#include "updates/updates_form.h"
#include "widgets/text_conversion.h"

#include "engine/net/http_client.h"
#include "platform/file_io.h"
#include "ui_updates_form.h"
#include "updates/download_thread.h"
#include "updates/update_feed.h"
#include "updates/update_texts.h"
#include "updates/updates_thread.h"
#include "widgets/dialogs.h"
#include "widgets/form_sizing.h"
#include "widgets/hyper_link.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <limits>

namespace {

// The image index of a link: its kind.
constexpr int DocumentImage = 0;
constexpr int FileImage = 1;
constexpr int ImageRole = Qt::UserRole;
constexpr int AddressColumn = 1;

bool SameVersion(const TVersionNumbers& a, const TVersionNumbers& b) {
    return a.Major == b.Major && a.Minor == b.Minor && a.Release == b.Release && a.Build == b.Build;
}

// A name that can be created inside the chosen folder and nowhere else.
bool IsUsableFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 32 || c.unicode() == 127)
            return false;
    }
    return true;
}

struct TPanel {
    QLabel* Text;
    QLabel* Version;
    QLabel* Update;
    QLabel* Caption;
    QTreeWidget* List;
};

} // namespace

TfrmUpdates::TfrmUpdates(QWidget* owner) : TModalForm(owner), m_ui(std::make_unique<Ui::TfrmUpdates>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    FeedTimeouts = TUpdatesThread::DefaultTimeouts();
    DownloadTimeouts = TDownloadThread::DefaultTimeouts();
    for (QTreeWidget* list : {m_ui->lvwUpdateDownload, m_ui->lvwUpgradeDownload})
        list->hideColumn(AddressColumn);
    for (QWidget* panel : {m_ui->pnlUpdateVersion, m_ui->pnlUpgradeVersion})
        panel->setFixedHeight(m_ui->lblUpdateVersion->sizeHint().height());
    // The hidden gauge keeps its room, so that the Close button keeps its size and place.
    QSizePolicy gaugePolicy = m_ui->prgDownload->sizePolicy();
    gaugePolicy.setRetainSizeWhenHidden(true);
    m_ui->prgDownload->setSizePolicy(gaugePolicy);
    m_ui->prgDownload->setVisible(false);
    m_ui->lnkUpgradeOrder->OnMouseOver = [this](THyperLink* sender) { LinkOver(sender); };
    m_ui->lnkUpgradeOrder->OnMouseOut = [this](THyperLink* sender) { LinkOut(sender); };
    ConnectControls();
    chkAutoCheckUpdatesClick();
    chkAutoCheckUpgradesClick();
    ShowUpgrade(CurrentVersion);
    ShowUpdate(CurrentVersion);
    FormCreate();
}

TfrmUpdates::~TfrmUpdates() {
    EndWorkers();
}

void TfrmUpdates::ConnectControls() {
    connect(m_ui->lvwUpdateDownload, &QTreeWidget::itemDoubleClicked, this,
            [this] { dialogs::RunGuarded(this, [this] { lvwUpdateDownloadDblClick(); }); });
    connect(m_ui->lvwUpgradeDownload, &QTreeWidget::itemDoubleClicked, this,
            [this] { dialogs::RunGuarded(this, [this] { lvwUpgradeDownloadDblClick(); }); });
    connect(m_ui->cmdClose, &QPushButton::clicked, this, [this] { cmdCloseClick(); });
    connect(m_ui->chkAutoCheckUpdates, &QCheckBox::toggled, this, [this] { chkAutoCheckUpdatesClick(); });
    connect(m_ui->chkAutoCheckUpgrades, &QCheckBox::toggled, this, [this] { chkAutoCheckUpgradesClick(); });
}

void TfrmUpdates::FormCreate() {
    FitClientToControl(this, m_ui->cmdClose);
    setFixedSize(size());
}

void TfrmUpdates::showEvent(QShowEvent* event) {
    TModalForm::showEvent(event);
    FormShow();
}

void TfrmUpdates::FormShow() {
    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
}

QLabel* TfrmUpdates::imgSplash() const {
    return m_ui->imgSplash;
}
QCheckBox* TfrmUpdates::chkAutoCheckUpdates() const {
    return m_ui->chkAutoCheckUpdates;
}
QComboBox* TfrmUpdates::cboUpdatesInterval() const {
    return m_ui->cboUpdatesInterval;
}
QCheckBox* TfrmUpdates::chkAutoCheckUpgrades() const {
    return m_ui->chkAutoCheckUpgrades;
}
QComboBox* TfrmUpdates::cboUpgradesInterval() const {
    return m_ui->cboUpgradesInterval;
}

void TfrmUpdates::SetProductName(const QString& name) {
    ProductName = name;
    setWindowTitle(name + Q(update_texts::TitleSuffix));
    m_ui->lblTitle->setText(name + Q(update_texts::TitleSuffix));
}

QString TfrmUpdates::FormatVersion(const TVersionNumbers& version) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(version.Major)
        .arg(version.Minor)
        .arg(version.Release)
        .arg(version.Build);
}

void TfrmUpdates::SetCurrentVersion(const TVersionNumbers& version) {
    CurrentVersion = version;
    QString text = Q(update_texts::CurrentVersion) + FormatVersion(version) + QLatin1String(")");
    if (version.Release > 0)
        text += QLatin1String(" ") + Q(update_texts::UpdateLabel) + QString::number(version.Release);
    m_ui->lblVersion->setText(text);
}

void TfrmUpdates::ShowUpgrade(const TVersionNumbers& version) {
    UpgradeVersion = version;
    ShowPanel(true, version);
}

void TfrmUpdates::ShowUpdate(const TVersionNumbers& version) {
    UpdateVersion = version;
    ShowPanel(false, version);
}

void TfrmUpdates::ShowPanel(bool upgrade, const TVersionNumbers& version) {
    const TPanel panel = upgrade
                             ? TPanel{m_ui->lblUpgradeText, m_ui->lblUpgradeVersion, m_ui->lblUpgradeUpdate,
                                      m_ui->lblUpgradeDownload, m_ui->lvwUpgradeDownload}
                             : TPanel{m_ui->lblUpdateText, m_ui->lblUpdateVersion, m_ui->lblUpdateUpdate,
                                      m_ui->lblUpdateDownload, m_ui->lvwUpdateDownload};
    const bool offered = !SameVersion(version, CurrentVersion);
    if (offered) {
        panel.Text->setText(Q(upgrade ? update_texts::UpgradeAvailable : update_texts::UpdateAvailable));
        panel.Version->setText(FormatVersion(version));
        panel.Version->adjustSize();
        panel.Version->setVisible(true);
        if (version.Release > 0) {
            panel.Update->setText(Q(update_texts::UpdateLabel) + QString::number(version.Release));
            panel.Update->adjustSize();
            panel.Update->move(panel.Version->geometry().right() + 1 + 10, panel.Version->y());
            panel.Update->setVisible(true);
        } else {
            panel.Update->setVisible(false);
        }
    } else {
        const bool checked = upgrade ? CheckUpgrades : CheckUpdates;
        if (upgrade)
            panel.Text->setText(Q(checked ? update_texts::NoUpgrades : update_texts::UpgradesNotChecked));
        else
            panel.Text->setText(Q(checked ? update_texts::NoUpdates : update_texts::UpdatesNotChecked));
        panel.Version->setVisible(false);
        panel.Update->setVisible(false);
    }
    panel.Caption->setEnabled(offered);
    panel.List->setEnabled(offered);
    if (upgrade) {
        m_ui->lnkUpgradeOrder->setVisible(offered);
        m_ui->lblUpgradeCost->setVisible(offered);
    }
}

void TfrmUpdates::AddLink(QTreeWidget* list, const TFeedPart& linkTag, const QString& address) {
    const QString type = linkTag.Attribute(QLatin1String("type"));
    const int image = type == QLatin1String("file")  ? FileImage
                      : type == QLatin1String("doc") ? DocumentImage
                                                     : -1;
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, linkTag.Attribute(QLatin1String("caption")));
    item->setText(AddressColumn, address);
    item->setData(0, ImageRole, image);
    if (image == FileImage)
        item->setIcon(0, style()->standardIcon(QStyle::SP_ArrowDown));
    else if (image == DocumentImage)
        item->setIcon(0, style()->standardIcon(QStyle::SP_FileDialogDetailedView));
}

QString TfrmUpdates::ExtractURLFileName(const QString& url) {
    return url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
}

void TfrmUpdates::lvwUpdateDownloadDblClick() {
    LinkDblClick(m_ui->lvwUpdateDownload);
}

void TfrmUpdates::lvwUpgradeDownloadDblClick() {
    LinkDblClick(m_ui->lvwUpgradeDownload);
}

void TfrmUpdates::LinkDblClick(QTreeWidget* list) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty())
        return;
    const QString address = selected.first()->text(AddressColumn);
    if (selected.first()->data(0, ImageRole).toInt() == FileImage) {
        // Only what the HTTP client fetches is downloaded; anything else is left alone.
        if (IsHttpAddress(S(address)))
            StartDownload(address);
    } else {
        OpenWebAddress(address);
    }
}

void TfrmUpdates::StartDownload(const QString& url) {
    const QString folder = dialogs::ChooseFolder(this, ProductName + Q(update_texts::DownloadCaptionSuffix),
                                                 Q(update_texts::DownloadFolderTitle));
    if (folder.isEmpty())
        return;
    const QString name = ExtractURLFileName(url);
    if (!IsUsableFileName(name)) {
        dialogs::MessageBox(this, Q(update_texts::DownloadError) + Q(update_texts::UnusableFileName),
                            Q(AppTitle));
        return;
    }
    DownloadThread = std::make_unique<TDownloadThread>();
    DownloadThread->URL = S(url);
    DownloadThread->FileName = platform::IncludeTrailingPathDelimiter(S(folder)) + S(name);
    DownloadThread->Timeouts = DownloadTimeouts;

    m_ui->prgDownload->setValue(0);
    m_ui->prgDownload->setVisible(true);
    m_ui->cmdClose->setText(Q(update_texts::Cancel));
    for (QTreeWidget* list : {m_ui->lvwUpdateDownload, m_ui->lvwUpgradeDownload}) {
        list->clearSelection();
        list->setEnabled(false);
    }
    setCursor(Qt::BusyCursor);
    CloseAfterDownload = false;
    QCoreApplication::processEvents();

    DownloadThread->FreeOnTerminate = true;
    DownloadThread->OnProgress = [this](std::int64_t total, std::int64_t received) {
        DownloadProgress(total, received);
    };
    DownloadThread->OnTerminate = [this](TThread* sender) { DownloadThreadTerminate(sender); };
    try {
        DownloadThread->Resume();
    } catch (...) {
        DownloadThread.reset();
        ShowIdle();
        throw;
    }
}

void TfrmUpdates::DownloadProgress(std::int64_t total, std::int64_t received) {
    // The gauge counts in int; larger files are shown in proportion.
    std::int64_t scale = 1;
    while (total / scale > std::numeric_limits<int>::max())
        scale *= 2;
    m_ui->prgDownload->setMaximum(static_cast<int>(total / scale));
    m_ui->prgDownload->setValue(static_cast<int>(std::min(received, total) / scale));
    m_ui->prgDownload->setToolTip(QString::number(received) + Q(update_texts::ProgressOf) +
                                  QString::number(total));
    QCoreApplication::processEvents();
}

void TfrmUpdates::DownloadThreadTerminate(TThread* /*sender*/) {
    const std::string message = DownloadThread->ErrorMessage;
    if (!message.empty())
        dialogs::MessageBox(this, Q(message), Q(AppTitle));
    if (CloseAfterDownload)
        done(mrOk);
    DownloadThread.reset();
    ShowIdle();
}

void TfrmUpdates::ShowIdle() {
    m_ui->prgDownload->setVisible(false);
    m_ui->cmdClose->setText(Q(update_texts::Close));
    m_ui->lvwUpdateDownload->setEnabled(true);
    m_ui->lvwUpgradeDownload->setEnabled(true);
    unsetCursor();
}

bool TfrmUpdates::Downloading() const {
    return m_ui->cmdClose->text() == Q(update_texts::Cancel);
}

void TfrmUpdates::cmdCloseClick() {
    if (!Downloading()) {
        done(mrOk);
        return;
    }
    if (dialogs::MessageBox(this, Q(update_texts::CancelDownloadQuestion), Q(AppTitle),
                            dialogs::Icon::Information,
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (DownloadThread)
        DownloadThread->Terminate();
    else
        m_ui->cmdClose->setText(Q(update_texts::Close));
}

bool TfrmUpdates::FormClose() {
    if (!Downloading())
        return true;
    if (dialogs::MessageBox(this, Q(update_texts::CloseDuringDownloadQuestion), Q(AppTitle),
                            dialogs::Icon::Information,
                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
        if (DownloadThread)
            DownloadThread->Terminate();
        CloseAfterDownload = true;
    }
    return false;
}

void TfrmUpdates::closeEvent(QCloseEvent* event) {
    if (!FormClose()) {
        event->ignore();
        return;
    }
    TModalForm::closeEvent(event);
}

void TfrmUpdates::reject() {
    if (FormClose())
        TModalForm::reject();
}

void TfrmUpdates::ShowFailedCheck() {
    const QString reason = Q(FeedError);
    m_ui->lblUpdateText->setText(Q(update_texts::UpdateCheckFailed) + reason);
    m_ui->lblUpgradeText->setText(Q(update_texts::UpgradeCheckFailed) + reason);
}

void TfrmUpdates::Abandon() {
    if (m_updatesThread)
        m_updatesThread->Terminate();
    if (DownloadThread)
        DownloadThread->Terminate();
    CloseAfterDownload = false;
    if (isVisible())
        done(QDialog::Rejected);
}

void TfrmUpdates::LinkOver(THyperLink* sender) {
    sender->SetFontColor(QColor(255, 0, 0));
}

void TfrmUpdates::LinkOut(THyperLink* sender) {
    sender->SetFontColor(QColor(0, 0, 255));
}

void TfrmUpdates::chkAutoCheckUpdatesClick() {
    m_ui->cboUpdatesInterval->setEnabled(m_ui->chkAutoCheckUpdates->isChecked());
}

void TfrmUpdates::chkAutoCheckUpgradesClick() {
    m_ui->cboUpgradesInterval->setEnabled(m_ui->chkAutoCheckUpgrades->isChecked());
}

void TfrmUpdates::EndWorkers() {
    if (m_updatesThread)
        m_updatesThread->Terminate();
    if (DownloadThread) {
        // The window is going: the download's end frees the thread and touches nothing else.
        DownloadThread->OnTerminate = [this](TThread*) { DownloadThread.reset(); };
        DownloadThread->OnProgress = nullptr;
        DownloadThread->Terminate();
    }
    while (m_updatesThread || DownloadThread)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
