// TfrmUpdates: the updates window. It runs the feed check, shows the best update and upgrade found with
// their links, the upgrade's price and order link and the automatic-check settings, and downloads an
// offered file into a folder the user picks.
#pragma once

#include "engine/helpers.h"
#include "engine/net/http_client.h"
#include "widgets/modal_form.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class TfrmUpdates;
}
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TDownloadThread;
class TFeedReader;
struct TFeedPart;
class THyperLink;
class TThread;
class TUpdatesThread;

// Four unsigned numbers, Major first.
using TVersionNumbers = TAppVersion;

class TfrmUpdates : public TModalForm {
    Q_OBJECT
public:
    explicit TfrmUpdates(QWidget* owner);
    // Ends a feed request or download still running (cancelling it) before the window goes.
    ~TfrmUpdates() override;

    QString ProductName;
    TVersionNumbers CurrentVersion;
    TVersionNumbers UpgradeVersion;
    TVersionNumbers UpdateVersion;
    // Whether this check looks for updates and for upgrades.
    bool CheckUpdates = false;
    bool CheckUpgrades = false;

    // Time limits of the feed request and of downloads (tests shorten them).
    THttpTimeouts FeedTimeouts;
    THttpTimeouts DownloadTimeouts;

    void SetProductName(const QString& name);
    void SetCurrentVersion(const TVersionNumbers& version);
    static QString FormatVersion(const TVersionNumbers& version);
    // Store Version as the best upgrade (update) and fill its panel.
    void ShowUpgrade(const TVersionNumbers& version);
    void ShowUpdate(const TVersionNumbers& version);

    // Fetches the feed at Url on a worker thread and takes what it offers into the window; window
    // messages are served meanwhile. True when an update or upgrade newer than CurrentVersion was taken.
    bool CheckFeed(const std::string& url);
    // Takes what the feed document Xml offers into the window; the result as for CheckFeed.
    bool ParseFeed(const std::string& xml);
    // Why the last CheckFeed got no document, in the client's words; empty when one arrived.
    std::string FeedError;
    // Both panels say that the check failed and why (FeedError).
    void ShowFailedCheck();
    // The program is ending: the feed request and a download are cancelled without asking and the
    // window closes; the workers' ends are awaited when the window goes.
    void Abandon();

    // Asks for a folder and downloads Url into it.
    void StartDownload(const QString& url);
    // The text after the last "/" (all of it without one).
    static QString ExtractURLFileName(const QString& url);

    QLabel* imgSplash() const;
    QCheckBox* chkAutoCheckUpdates() const;
    QComboBox* cboUpdatesInterval() const;
    QCheckBox* chkAutoCheckUpgrades() const;
    QComboBox* cboUpgradesInterval() const;

    // Esc during a download asks as the close box does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void ConnectControls();
    void ShowPanel(bool upgrade, const TVersionNumbers& version);
    void ProcessVersion(TFeedReader& reader, const TFeedPart& versionTag);
    void AddLink(QTreeWidget* list, const TFeedPart& linkTag, const QString& address);

    void UpdatesThreadTerminate(TThread* sender);
    void LinkDblClick(QTreeWidget* list);
    void lvwUpdateDownloadDblClick();
    void lvwUpgradeDownloadDblClick();
    void DownloadProgress(std::int64_t total, std::int64_t received);
    void DownloadThreadTerminate(TThread* sender);
    void cmdCloseClick();
    // The close box or Esc while a download runs: true when the window may close now.
    bool FormClose();
    void LinkOver(THyperLink* sender);
    void LinkOut(THyperLink* sender);
    void chkAutoCheckUpdatesClick();
    void chkAutoCheckUpgradesClick();
    bool Downloading() const;
    // Back from a download: gauge hidden, "Close", both lists enabled, the default cursor.
    void ShowIdle();
    // Cancels a running worker and waits for its end, serving its synchronised calls.
    void EndWorkers();

    std::unique_ptr<Ui::TfrmUpdates> m_ui;
    // The running feed request and download; each is freed by its terminate handler.
    std::unique_ptr<TUpdatesThread> m_updatesThread;
    std::unique_ptr<TDownloadThread> DownloadThread;
    bool Checking = false;
    std::string FeedText;
    bool CloseAfterDownload = false;
};
