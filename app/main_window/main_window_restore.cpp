// The Restore page: chosen sources of a profile brought back from one of the archives at its drive
// destination, or copied back from its uncompressed copy there, with progress and cancel.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "engine/copy_restore.h"
#include "engine/helpers.h"
#include "engine/zip/archive_extraction.h"
#include "engine/zip/zip_codes.h"
#include "platform/directory.h"
#include "platform/file_io.h"
#include "platform/user_folders.h"
#include "ui_main_window.h"
#include "ui_page_profiles.h"
#include "ui_page_restore.h"
#include "widgets/dialogs.h"
#include "widgets/text_conversion.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QMenu>

#include <algorithm>
#include <climits>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

using platform::IncludeTrailingPathDelimiter;

namespace {

const QString RestoreNowCaption = QStringLiteral("&Restore Now");
const QString CancelCaption = QStringLiteral("&Cancel");
const QString RestoringFrom = QStringLiteral("Restoring from: ");
const std::string NoArchivesItem = " <- No Archives Found ->";
const std::string LineBreaks = "\r\n\r\n";
const std::string NothingToRestore = "Nothing to restore.";
const std::string NothingProcessed = "No files ended up being processed";
constexpr const char* SelectEntry = "Please select a file/directory to restore from the list above.";
constexpr const char* ProgressCaption = "Restore Progress";
// The combo item's text "index:name" is kept here; the item shows the name.
constexpr int ProfileItemRole = Qt::UserRole;

// A copy lets window events run after each such run of bytes, so that Cancel is served inside a large file.
constexpr std::int64_t EventsEveryBytes = 1 << 20;
constexpr qint64 EventsEveryMs = 20;

std::string WithoutLeadingDelimiters(const std::string& path) {
    const auto first = path.find_first_not_of(platform::PathDelim);
    return first == std::string::npos ? std::string() : path.substr(first);
}

// Where the run put an entry's folder below the destination root, by the destination structure.
std::string PlaceOfEntry(std::uint8_t structure, const std::string& entryPath) {
    switch (structure) {
    case 0:
        return WithoutLeadingDelimiters(entryPath);
    case 1: {
        const std::string last = ExtractLastDirName(entryPath);
        return last.empty() ? std::string() : last + platform::PathDelim;
    }
    default:
        return std::string();
    }
}

// The profile index that an item's text "index:name" begins with; -1 when it is not a number.
int IndexOfProfileItem(const QString& text) {
    bool ok = false;
    const int index = text.section(':', 0, 0).trimmed().toInt(&ok);
    return ok ? index : -1;
}

// The archives offered: the regular files of the folder whose names end in ".zip", by name.
std::vector<std::string> ArchivesIn(const std::string& folder) {
    std::vector<std::string> names;
    static const std::string extension = ".zip";
    for (const platform::TSearchRec& entry : platform::ListDirectory(folder).Entries) {
        const std::string& name = entry.Name;
        if (entry.Kind == platform::EntryKind::File && name.size() > extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            names.push_back(name);
    }
    return names;
}

// The folders of Path that do not exist yet, the deepest first.
std::vector<std::string> MissingFolders(std::string path) {
    std::vector<std::string> missing;
    for (path = platform::ExcludeTrailingPathDelimiter(path); path.size() > 1 && !platform::PathExists(path);
         path = platform::ExcludeTrailingPathDelimiter(platform::ExtractFilePath(path)))
        missing.push_back(path);
    return missing;
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path[0] == platform::PathDelim;
}

// Every show of a page: its tab chosen, or the window shown (or restored) with the page open.
class PageShowFilter : public QObject {
public:
    PageShowFilter(QObject* parent, std::function<void()> onShow)
        : QObject(parent), m_onShow(std::move(onShow)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            m_onShow();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onShow;
};

} // namespace

// What a restore works on, taken when it starts: edits and deletions of profiles meanwhile cannot reach it.
struct TRestoreJob {
    struct TEntry {
        int Number = 0; // position in the whole sorted list, from 1
        std::string Path;
        std::string Name;
    };
    std::vector<TEntry> Entries;
    std::string DrivePath;
    std::string DestinationName;
    std::uint8_t DirectoryStructure = 1;
    std::string ArchivePassword;
    bool FromArchive = false;
    std::string ArchiveName;
    std::string TypedPassword;
    bool ReplaceNewer = false;
    bool OtherLocation = false;
    std::string Location;
};

void TfrmMain::ConnectRestorePage() {
    Ui::PageRestore& ui = *m_uiRestore;
    // The page shows when its tab is chosen and also when the window comes back with the page open, so
    // that a backup made meanwhile is offered at once.
    m_ui->tabRestore->installEventFilter(
        new PageShowFilter(this, [this] { dialogs::RunGuarded(this, [this] { tabRestoreShow(); }); }));
    connect(ui.cboRestoreProfiles, &QComboBox::currentIndexChanged, this,
            [this] { dialogs::RunGuarded(this, [this] { cboRestoreProfilesChange(); }); });
    auto* popRestore = new QMenu(ui.lstRestoreFilesDirs);
    popRestore->setObjectName("popRestore");
    QAction* selectAll = popRestore->addAction("Select All");
    selectAll->setObjectName("mnuRestoreSelectAll");
    QAction* invert = popRestore->addAction("Invert Selection");
    invert->setObjectName("mnuRestoreInvertSelection");
    ConnectGuarded(selectAll, &QAction::triggered, &TfrmMain::mnuRestoreSelectAllClick);
    ConnectGuarded(invert, &QAction::triggered, &TfrmMain::mnuRestoreInvertSelectionClick);
    connect(ui.lstRestoreFilesDirs, &QWidget::customContextMenuRequested, this,
            [this, popRestore](QPoint at) {
                popRestore->popup(m_uiRestore->lstRestoreFilesDirs->viewport()->mapToGlobal(at));
            });
    ConnectGuarded(ui.chkRestoreLoc, &QCheckBox::toggled, &TfrmMain::chkRestoreLocClick);
    ConnectGuarded(ui.cmdRestoreLoc, &QPushButton::clicked, &TfrmMain::cmdRestoreLocClick);
    ConnectGuarded(ui.cmdRestoreNow, &QPushButton::clicked, &TfrmMain::cmdRestoreNowClick);
}

void TfrmMain::ShowRestoreProfile(const TBackupProfile& profile) {
    Ui::PageRestore& ui = *m_uiRestore;
    QListWidget* list = ui.lstRestoreFilesDirs;
    list->clear();
    for (const std::string& source : profile.Sources)
        list->addItem(Q(source));
    const TBackupAttributes& a = profile.BackupAttributes;
    const std::pair<bool, std::uint8_t> specials[] = {{a.Desktop, platform::CSIDL_DESKTOPDIRECTORY},
                                                      {a.MyDocuments, platform::CSIDL_PERSONAL},
                                                      {a.Favorites, platform::CSIDL_FAVORITES}};
    for (const auto& [set, folder] : specials) {
        // A folder that does not exist gives no entry: its "/*" would restore into the root.
        const std::string path = set ? GetSpecialFolderPath(folder) : std::string();
        if (!path.empty())
            list->addItem(Q(IncludeTrailingPathDelimiter(path) + "*"));
    }
    ui.lblRestoreFrom->setText(RestoringFrom + Q(profile.DriveDestination.Path));
    for (QWidget* control :
         {static_cast<QWidget*>(ui.lblRestoreArchive), static_cast<QWidget*>(ui.cboRestoreArchive),
          static_cast<QWidget*>(ui.lblRestorePass), static_cast<QWidget*>(ui.txtRestorePass)})
        control->setEnabled(a.Compress);
}

void TfrmMain::tabRestoreShow() {
    // The inputs stay as they are while a restore runs on them.
    if (m_restoreActive)
        return;
    QComboBox* combo = m_uiRestore->cboRestoreProfiles;
    {
        const QSignalBlocker blocker(combo);
        combo->clear();
        QTreeWidget* profiles = m_uiProfiles->lstProfiles;
        for (int row = 0; row < profiles->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = profiles->topLevelItem(row);
            combo->addItem(windowIcon(), item->text(0));
            combo->setItemData(row, item->text(1) + ":" + item->text(0), ProfileItemRole);
        }
        if (combo->count() > 0)
            combo->setCurrentIndex(0);
    }
    cboRestoreProfilesChange();
}

TBackupProfile* TfrmMain::RestoreProfile() const {
    const QComboBox* combo = m_uiRestore->cboRestoreProfiles;
    if (combo->currentIndex() < 0)
        return nullptr;
    const QString text = combo->currentData(ProfileItemRole).toString();
    TBackupProfile* profile = ProfileAt(IndexOfProfileItem(text));
    // A cell that a deleted profile left and a new one filled holds another profile.
    if (!profile || Q(profile->Name) != text.section(':', 1))
        return nullptr;
    return profile;
}

void TfrmMain::cboRestoreProfilesChange() {
    Ui::PageRestore& ui = *m_uiRestore;
    ui.cboRestoreArchive->clear();
    const TBackupProfile* profile = RestoreProfile();
    if (!profile) {
        // Nothing stays on the page that no profile stands behind.
        ui.lstRestoreFilesDirs->clear();
        ui.lblRestoreFrom->setText(RestoringFrom);
        return;
    }
    ShowProfile(IndexOfProfileItem(ui.cboRestoreProfiles->currentData(ProfileItemRole).toString()), 1);
    if (!profile->BackupAttributes.Compress)
        return;
    for (const std::string& name : ArchivesIn(IncludeTrailingPathDelimiter(profile->DriveDestination.Path)))
        ui.cboRestoreArchive->addItem(Q(name));
    if (ui.cboRestoreArchive->count() == 0)
        ui.cboRestoreArchive->addItem(Q(NoArchivesItem));
    ui.cboRestoreArchive->setCurrentIndex(0);
}

void TfrmMain::mnuRestoreSelectAllClick() {
    m_uiRestore->lstRestoreFilesDirs->selectAll();
}

void TfrmMain::mnuRestoreInvertSelectionClick() {
    QListWidget* list = m_uiRestore->lstRestoreFilesDirs;
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setSelected(!list->item(row)->isSelected());
}

void TfrmMain::chkRestoreLocClick() {
    Ui::PageRestore& ui = *m_uiRestore;
    const bool checked = ui.chkRestoreLoc->isChecked();
    ui.lblRestoreLoc->setEnabled(checked);
    ui.txtRestoreLoc->setEnabled(checked);
    ui.cmdRestoreLoc->setEnabled(checked);
}

void TfrmMain::cmdRestoreLocClick() {
    const QString folder = dialogs::ChooseFolder(this, texts::BrowseFolderCaption, texts::BrowseFolderTitle);
    if (!folder.isEmpty())
        m_uiRestore->txtRestoreLoc->setText(folder);
}

void TfrmMain::cmdRestoreNowClick() {
    Ui::PageRestore& ui = *m_uiRestore;
    if (ui.cmdRestoreNow->text() != RestoreNowCaption) {
        m_restoreCancelled = true;
        return;
    }
    const TBackupProfile* profile = RestoreProfile();
    if (!profile) {
        RestoreMessage(NothingToRestore);
        return;
    }
    QListWidget* list = ui.lstRestoreFilesDirs;
    if (list->selectedItems().isEmpty()) {
        RestoreMessage(SelectEntry);
        list->setFocus();
        return;
    }
    TRestoreJob job;
    for (int row = 0; row < list->count(); ++row) {
        if (!list->item(row)->isSelected())
            continue;
        const std::string entry = S(list->item(row)->text());
        const std::string path = platform::ExtractFilePath(entry);
        job.Entries.push_back({row + 1, path, entry.substr(path.size())});
    }
    job.DrivePath = profile->DriveDestination.Path;
    job.DestinationName = profile->BackupAttributes.DestinationName;
    job.DirectoryStructure = profile->BackupAttributes.DirectoryStructure;
    job.ArchivePassword = profile->BackupAttributes.Password;
    job.FromArchive = ui.cboRestoreArchive->isEnabled();
    job.ArchiveName = S(ui.cboRestoreArchive->currentText());
    job.TypedPassword = S(ui.txtRestorePass->text());
    job.ReplaceNewer = ui.chkRestoreReplace->isChecked();
    job.OtherLocation = ui.chkRestoreLoc->isChecked();
    job.Location = S(ui.txtRestoreLoc->text());

    ui.cmdRestoreNow->setText(CancelCaption);
    m_restoreActive = true;
    m_restoreCancelled = false;
    m_restoreEventsServed = 0;
    EnableRestoreInputs(false, job.FromArchive);
    RestoreEntries(job);
    m_restoreActive = false;
    EnableRestoreInputs(true, job.FromArchive);
    if (std::exchange(m_focusRestorePassword, false))
        ui.txtRestorePass->setFocus();
    if (std::exchange(m_restoreEndPending, false))
        emit ProgramEnded();
}

void TfrmMain::RestoreEntries(const TRestoreJob& job) {
    Ui::PageRestore& ui = *m_uiRestore;
    try {
        for (const TRestoreJob::TEntry& entry : job.Entries) {
            if (m_restoreCancelled)
                break;
            m_restoreEntryNumber = entry.Number;
            const std::string target = job.OtherLocation ? job.Location : entry.Path;
            if (job.FromArchive)
                RestoreFromArchive(job, entry.Path, entry.Name, target);
            else
                RestoreFromFolder(job, entry.Path, entry.Name, target);
        }
        ui.cmdRestoreNow->setText(RestoreNowCaption);
        ui.txtRestorePass->clear();
    } catch (const std::exception& error) {
        RestoreMessage(std::string("ERROR: ") + error.what());
        ResetRestoreProgress();
        ui.cmdRestoreNow->setText(RestoreNowCaption);
        ui.txtRestorePass->clear();
    }
}

void TfrmMain::RestoreFromArchive(const TRestoreJob& job, const std::string& entryPath,
                                  const std::string& entryName, std::string target) {
    const std::string archiveFolder = IncludeTrailingPathDelimiter(job.DrivePath);
    const std::string inArchive = PlaceOfEntry(job.DirectoryStructure, entryPath);
    if (job.ArchiveName == NoArchivesItem) {
        RestoreMessage(NothingToRestore);
        return;
    }
    const std::string archiveFile = archiveFolder + job.ArchiveName;
    if (!platform::FileExists(archiveFile)) {
        RestoreMessage(RestoreSourceMissingText(archiveFile));
        return;
    }
    const std::vector<std::string> created = MissingFolders(target);
    if (!IsAbsolute(target) || !platform::ForceDirectories(target)) {
        RestoreMessage(RestoreInvalidDestinationText(target));
        return;
    }
    // The archive keeps the entry's folders below the in-archive path: a target that ends with that path
    // (at a folder boundary) is where the entry came from, and the extraction goes to the folder above it.
    // Any other target receives the stored folders beneath it. Where the target is cut, the folders of the
    // in-archive path lead to the user's own folder: links among them (~/work -> /data/work) are followed.
    target = IncludeTrailingPathDelimiter(target);
    std::string followed;
    if (!inArchive.empty() && target.size() > inArchive.size() &&
        target.compare(target.size() - inArchive.size(), inArchive.size(), inArchive) == 0 &&
        target[target.size() - inArchive.size() - 1] == platform::PathDelim) {
        target.resize(target.size() - inArchive.size());
        followed = inArchive;
    }

    if (!job.ArchivePassword.empty() && QString(Q(job.TypedPassword)).trimmed().isEmpty()) {
        RestoreMessage("ERROR: You must enter a password to restore this archive.");
        // The box is disabled while the restore runs: it takes the focus once the inputs are back.
        m_focusRestorePassword = true;
        ResetRestoreProgress();
        return;
    }
    std::string errorText;
    m_restoreFilesDone = 0;
    UnzipArchive(
        archiveFile, inArchive + entryName, target, job.TypedPassword, job.ReplaceNewer,
        [this](TZipComponent* sender, std::int64_t, std::int64_t filesProcessed, std::int64_t, int,
               std::int64_t bytesTotal, std::int64_t bytesProcessed, std::int64_t bytesSkipped, int,
               std::int64_t, int) {
            RestoreZipGlobalStatus(sender, bytesTotal, bytesProcessed + bytesSkipped, filesProcessed);
        },
        [this](TZipComponent* sender, const std::string& fileName, std::int64_t, std::int64_t, std::int64_t,
               int, int, bool) { RestoreZipFileStatus(sender, fileName); },
        errorText, followed);
    // A password that opens nothing restores nothing: the target is left as it was found.
    if (errorText == WrongPasswordText)
        for (const std::string& folder : created)
            (void)platform::RemoveDir(folder);
    if (errorText == ZipErrorText(ZipResult::UserAbort))
        RestoreMessage(RestoreCancelledText(m_restoreFilesDone));
    else if (errorText.empty())
        RestoreMessage("Restore completed without errors.");
    else if (errorText == NothingProcessed)
        RestoreMessage(errorText + LineBreaks + "This usually means the files to be restored" + "\r\n" +
                       "already exist and have not changed.");
    else
        RestoreMessage("ERROR: " + errorText);
    ResetRestoreProgress();
}

void TfrmMain::RestoreZipFileStatus(TZipComponent* sender, const std::string& fileName) {
    m_uiRestore->lblRestoreProgress->setText(
        Q("Source #" + std::to_string(m_restoreEntryNumber) + ": Restoring - " + fileName));
    ServeRestoreEvents(true);
    if (m_restoreCancelled)
        AbortZip(sender);
}

void TfrmMain::RestoreZipGlobalStatus(TZipComponent* sender, std::int64_t bytesTotal, std::int64_t bytesDone,
                                      std::int64_t filesDone) {
    m_restoreFilesDone = filesDone;
    SetRestoreGauge(bytesTotal, bytesDone);
    ServeRestoreEvents(true);
    if (m_restoreCancelled)
        AbortZip(sender);
}

void TfrmMain::RestoreFromFolder(const TRestoreJob& job, const std::string& entryPath,
                                 const std::string& entryName, const std::string& target) {
    // The drive copy lies inside the destination-name folder when the profile has one.
    std::string copyFolder = IncludeTrailingPathDelimiter(job.DrivePath);
    if (!job.DestinationName.empty())
        copyFolder += job.DestinationName + platform::PathDelim;
    copyFolder += PlaceOfEntry(job.DirectoryStructure, entryPath);
    TCopyRestore restore;
    restore.ReplaceNewer = job.ReplaceNewer;
    restore.OnFile = [this](const std::string& sourceFile) {
        m_uiRestore->lblRestoreProgress->setText(
            Q("Source #" + std::to_string(m_restoreEntryNumber) + ": Restoring - " + sourceFile));
        ServeRestoreEvents(false);
    };
    std::int64_t servedAt = 0;
    restore.OnProgress = [this, &servedAt](std::int64_t total, std::int64_t done) {
        SetRestoreGauge(total, done);
        if (done - servedAt >= EventsEveryBytes) {
            servedAt = done;
            ServeRestoreEvents(false);
        }
    };
    restore.Cancelled = [this] { return m_restoreCancelled; };
    const TRestoreOutcome outcome = restore.Restore(copyFolder, entryName, target);
    if (outcome.Result != TRestoreResult::SourceMissing &&
        outcome.Result != TRestoreResult::InvalidDestination)
        ResetRestoreProgress();
    RestoreMessage(outcome.Text);
}

void TfrmMain::SetRestoreGauge(std::int64_t max, std::int64_t position) {
    m_restoreMax = max;
    m_restorePosition = position;
    // The bar counts in int: totals beyond its range are scaled down.
    const std::int64_t scale = max > INT_MAX ? max / INT_MAX + 1 : 1;
    QProgressBar* bar = m_uiRestore->prgRestore;
    const int maximum = static_cast<int>(std::max<std::int64_t>(max / scale, 1));
    if (bar->maximum() != maximum)
        bar->setRange(0, maximum);
    bar->setValue(static_cast<int>(std::clamp<std::int64_t>(position / scale, 0, maximum)));
}

void TfrmMain::ResetRestoreProgress() {
    m_uiRestore->lblRestoreProgress->setText(ProgressCaption);
    SetRestoreGauge(m_restoreMax, 0);
}

void TfrmMain::RestoreMessage(const std::string& text) {
    // A program that is ending shows no more results.
    if (m_restoreEndPending)
        return;
    dialogs::MessageBox(this, Q(text), Q(AppTitle), dialogs::Icon::None, QMessageBox::Ok);
}

void TfrmMain::ServeRestoreEvents(bool throttled) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (throttled && m_restoreEventsServed != 0 && now - m_restoreEventsServed < EventsEveryMs)
        return;
    m_restoreEventsServed = now;
    QCoreApplication::processEvents();
}

void TfrmMain::EnableRestoreInputs(bool enabled, bool archive) {
    Ui::PageRestore& ui = *m_uiRestore;
    ui.cboRestoreProfiles->setEnabled(enabled);
    ui.lstRestoreFilesDirs->setEnabled(enabled);
    ui.chkRestoreReplace->setEnabled(enabled);
    ui.chkRestoreLoc->setEnabled(enabled);
    const bool location = enabled && ui.chkRestoreLoc->isChecked();
    ui.txtRestoreLoc->setEnabled(location);
    ui.cmdRestoreLoc->setEnabled(location);
    ui.cboRestoreArchive->setEnabled(enabled && archive);
    ui.txtRestorePass->setEnabled(enabled && archive);
}

bool TfrmMain::DeferEndForRestore() {
    if (!m_restoreActive)
        return false;
    m_restoreCancelled = true;
    m_restoreEndPending = true;
    return true;
}
