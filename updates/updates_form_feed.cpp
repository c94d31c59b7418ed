// The updates window's feed check: the request on its worker and the reading of the feed.
#include "updates/updates_form.h"

#include "ui_updates_form.h"
#include "updates/update_feed.h"
#include "updates/updates_thread.h"
#include "widgets/hyper_link.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {

bool SameVersion(const TVersionNumbers& a, const TVersionNumbers& b) {
    return a.Major == b.Major && a.Minor == b.Minor && a.Release == b.Release && a.Build == b.Build;
}

TVersionNumbers VersionOf(const TFeedPart& tag) {
    return {ParseVersionNumber(tag.Attribute(QLatin1String("major"))),
            ParseVersionNumber(tag.Attribute(QLatin1String("minor"))),
            ParseVersionNumber(tag.Attribute(QLatin1String("release"))),
            ParseVersionNumber(tag.Attribute(QLatin1String("build")))};
}

bool IsUpgrade(const TVersionNumbers& best, const TVersionNumbers& offered) {
    return best.Major < offered.Major || (best.Major == offered.Major && best.Minor < offered.Minor);
}

bool IsUpdate(const TVersionNumbers& best, const TVersionNumbers& offered) {
    return best.Major == offered.Major && best.Minor == offered.Minor &&
           (best.Release < offered.Release ||
            (best.Release == offered.Release && best.Build < offered.Build));
}

// The text content up to the end tag "link"; a link without text has an empty address.
QString ReadLinkAddress(TFeedReader& reader) {
    QString address;
    TFeedPart part;
    while (reader.Next(part) && !part.IsEnd(QLatin1String("link"))) {
        if (part.Kind == TFeedPartKind::Text)
            address = part.Text;
    }
    return address;
}

} // namespace

bool TfrmUpdates::CheckFeed(const std::string& url) {
    Checking = true;
    FeedText.clear();
    FeedError.clear();
    m_updatesThread = std::make_unique<TUpdatesThread>();
    m_updatesThread->URL = url;
    m_updatesThread->Timeouts = FeedTimeouts;
    m_updatesThread->FreeOnTerminate = true;
    m_updatesThread->OnTerminate = [this](TThread* sender) { UpdatesThreadTerminate(sender); };
    try {
        m_updatesThread->Resume();
    } catch (...) {
        m_updatesThread.reset();
        Checking = false;
        throw;
    }
    // Timers, clicks and repaints are served while the request runs; the loop sleeps until the next of
    // them or the thread's hand-over arrives.
    while (Checking)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);

    if (!FeedText.empty())
        return ParseFeed(FeedText);
    ShowUpgrade(CurrentVersion);
    ShowUpdate(CurrentVersion);
    return false;
}

void TfrmUpdates::UpdatesThreadTerminate(TThread* /*sender*/) {
    Checking = false;
    FeedText = m_updatesThread->FeedText;
    FeedError = m_updatesThread->ErrorMessage;
    m_updatesThread.reset();
}

bool TfrmUpdates::ParseFeed(const std::string& xml) {
    ShowUpgrade(CurrentVersion);
    ShowUpdate(CurrentVersion);

    TFeedReader reader(QByteArray::fromStdString(xml));
    TFeedPart part;
    bool inList = false;
    while (reader.Next(part)) {
        // The end of "versions" does not end the list: every later "version" counts too.
        if (!inList)
            inList = part.IsStart(QLatin1String("versions"));
        else if (part.IsStart(QLatin1String("version")))
            ProcessVersion(reader, part);
    }
    return !SameVersion(UpgradeVersion, CurrentVersion) || !SameVersion(UpdateVersion, CurrentVersion);
}

void TfrmUpdates::ProcessVersion(TFeedReader& reader, const TFeedPart& versionTag) {
    const TVersionNumbers offered = VersionOf(versionTag);
    QTreeWidget* list = nullptr;
    bool upgrade = false;
    if (IsUpgrade(UpgradeVersion, offered)) {
        if (CheckUpgrades) {
            ShowUpgrade(offered);
            list = m_ui->lvwUpgradeDownload;
            upgrade = true;
        }
    } else if (IsUpdate(UpdateVersion, offered)) {
        if (CheckUpdates) {
            ShowUpdate(offered);
            list = m_ui->lvwUpdateDownload;
        }
    }

    const QString runningMajor = QString::number(CurrentVersion.Major);
    const QString runningMinor = QString::number(CurrentVersion.Minor);
    TFeedPart part;
    while (reader.Next(part) && !part.IsEnd(QLatin1String("version"))) {
        if (!list)
            continue;
        if (part.IsStart(QLatin1String("link"))) {
            const TFeedPart linkTag = part;
            AddLink(list, linkTag, ReadLinkAddress(reader));
        } else if (upgrade && part.IsStart(QLatin1String("order"))) {
            m_ui->lblUpgradeCost->setVisible(true);
            m_ui->lblUpgradeCost->setText(QLatin1String("$") + part.Attribute(QLatin1String("price")));
            m_ui->lnkUpgradeOrder->SetHREF(part.Attribute(QLatin1String("url")));
            // The price for users of the running major and minor version replaces the general one.
            while (reader.Next(part) && !part.IsEnd(QLatin1String("order"))) {
                if (part.IsEmpty(QLatin1String("upgrade-price")) &&
                    part.Attribute(QLatin1String("version-major")) == runningMajor &&
                    part.Attribute(QLatin1String("version-minor")) == runningMinor) {
                    m_ui->lblUpgradeCost->setText(QLatin1String("$") +
                                                  part.Attribute(QLatin1String("price")));
                    m_ui->lnkUpgradeOrder->SetHREF(part.Attribute(QLatin1String("url")));
                }
            }
        }
    }
}
