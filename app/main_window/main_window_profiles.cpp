// The profile list on the Profiles page: loading, selection, sorting, Save, rename in place, New
// through the wizard and Delete.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/dialogs/wizard_form.h"
#include "engine/helpers.h"
#include "platform/directory.h"
#include "platform/file_io.h"
#include "ui_page_profiles.h"
#include "ui_page_sources.h"
#include "widgets/dialogs.h"
#include "widgets/text_conversion.h"

#include <QEvent>
#include <QItemSelection>
#include <QLocale>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

constexpr int IndexColumn = 1;
const std::string ProfileExtension = ".bvf";

// Plain comparison of the captions' code units, no locale collation: capitals sort before small letters.
int lstProfilesCompare(const QString& caption1, const QString& caption2) {
    const int order = caption1.compare(caption2, Qt::CaseSensitive);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

// Passes the mouse releases, double clicks and size changes of a widget to a handler.
class ListEvents : public QObject {
public:
    ListEvents(QWidget* watched, std::function<void(QEvent::Type)> handler)
        : QObject(watched), m_handler(std::move(handler)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick ||
            type == QEvent::Resize)
            m_handler(type);
        return false;
    }

private:
    std::function<void(QEvent::Type)> m_handler;
};

std::string ProfileFileName(const std::string& name) {
    return ProfilesDir + name + ProfileExtension;
}

} // namespace

void TfrmMain::ConnectProfilesPage() {
    Ui::PageProfiles& ui = *m_uiProfiles;
    // The profile list's second column holds each profile's index and is never shown.
    ui.lstProfiles->setColumnHidden(IndexColumn, true);
    ui.lstProfiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.lstProfiles->setSortingEnabled(false);
    connect(ui.lstProfiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                dialogs::RunGuarded(this, [&] { lstProfilesSelectionChanged(selected, deselected); });
            });
    connect(ui.lstProfiles, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == 0 && !m_settingProfileItem)
            dialogs::RunGuarded(this, [&] { lstProfilesEdited(item); });
    });
    new ListEvents(ui.lstProfiles->viewport(), [this](QEvent::Type type) {
        if (type == QEvent::Resize)
            lstProfilesResize();
        else // after the list has handled the click itself
            QMetaObject::invokeMethod(
                this, [this] { dialogs::RunGuarded(this, [this] { lstProfilesClick(); }); },
                Qt::QueuedConnection);
    });
    ConnectGuarded(ui.cmdnew, &QPushButton::clicked, &TfrmMain::cmdNewClick);
    ConnectGuarded(ui.cmdDelete, &QPushButton::clicked, &TfrmMain::cmdDeleteClick);
    ConnectGuarded(ui.cmdSave, &QPushButton::clicked, &TfrmMain::cmdSaveClick);
}

TProfileCell* TfrmMain::ProfileCell(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= FProfiles.size())
        return nullptr;
    return &FProfiles[static_cast<std::size_t>(index)];
}

void TfrmMain::LoadProfiles() {
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    list->clear();
    // The listing comes sorted by name, so indexes and the scheduler's order do not depend on the
    // file system.
    for (const platform::TSearchRec& entry : platform::ListDirectory(ProfilesDir).Entries) {
        const std::string& fileName = entry.Name;
        if (entry.Kind != platform::EntryKind::File || fileName.size() <= ProfileExtension.size() ||
            fileName.compare(fileName.size() - ProfileExtension.size(), ProfileExtension.size(),
                             ProfileExtension) != 0)
            continue;
        auto profile = std::make_unique<TBackupProfile>(this);
        // A file that does not load still gives a profile; its problems stay in Errors.
        profile->LoadFromFile(ProfilesDir + fileName);
        const std::string name = RemoveLastExtension(fileName);
        profile->Name = name;
        FProfiles.push_back(std::move(profile));
        AddProfileItem(name, static_cast<int>(FProfiles.size()) - 1);
    }
    m_uiProfiles->cmdSave->setEnabled(false);
    m_uiProfiles->cmdDelete->setEnabled(list->topLevelItemCount() > 0);
}

QTreeWidgetItem* TfrmMain::AddProfileItem(const std::string& name, int index) {
    auto item = std::make_unique<QTreeWidgetItem>();
    item->setText(0, Q(name));
    item->setText(IndexColumn, QString::number(index));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    int row = 0;
    while (row < list->topLevelItemCount() &&
           lstProfilesCompare(list->topLevelItem(row)->text(0), Q(name)) <= 0)
        ++row;
    m_settingProfileItem = true;
    list->insertTopLevelItem(row, item.get());
    m_settingProfileItem = false;
    return item.release(); // the list owns it now
}

void TfrmMain::SortProfileItem(QTreeWidgetItem* item) {
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    const bool wasSelected = item->isSelected();
    // The item moves as the same profile: taking it out must not show another one for a moment.
    const QSignalBlocker blockSelection(list->selectionModel());
    m_settingProfileItem = true;
    list->takeTopLevelItem(list->indexOfTopLevelItem(item));
    int row = 0;
    while (row < list->topLevelItemCount() &&
           lstProfilesCompare(list->topLevelItem(row)->text(0), item->text(0)) <= 0)
        ++row;
    list->insertTopLevelItem(row, item);
    m_settingProfileItem = false;
    if (wasSelected) {
        list->setCurrentItem(item);
        item->setSelected(true);
    }
    list->viewport()->update();
}

int TfrmMain::SelectedProfileIndex() const {
    const QList<QTreeWidgetItem*> selected = m_uiProfiles->lstProfiles->selectedItems();
    if (selected.isEmpty())
        return -1;
    bool ok = false;
    const int index = selected.front()->text(IndexColumn).trimmed().toInt(&ok);
    return ok ? index : -1;
}

void TfrmMain::lstProfilesSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    for (const QModelIndex& index : deselected.indexes())
        if (index.column() == 0)
            lstProfilesSelectItem(list->topLevelItem(index.row()), false);
    for (const QModelIndex& index : selected.indexes())
        if (index.column() == 0)
            lstProfilesSelectItem(list->topLevelItem(index.row()), true);
}

void TfrmMain::lstProfilesSelectItem(QTreeWidgetItem* item, bool) {
    if (!item)
        return;
    bool ok = false;
    const int index = item->text(IndexColumn).toInt(&ok);
    if (ok)
        ShowProfile(index, 0);
}

void TfrmMain::lstProfilesClick() {
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    if (!list->selectedItems().isEmpty() || list->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem* first = list->topLevelItem(0);
    list->setCurrentItem(first);
    first->setSelected(true);
    list->scrollToItem(first, QAbstractItemView::EnsureVisible);
}

void TfrmMain::lstProfilesResize() {
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    list->setColumnWidth(0, list->viewport()->width() - 1);
}

void TfrmMain::lstProfilesDeletion() {
    m_uiProfiles->cmdDelete->setEnabled(m_uiProfiles->lstProfiles->topLevelItemCount() > 0);
}

void TfrmMain::cmdSaveClick() {
    TBackupProfile* profile = SelectedProfile();
    if (!profile)
        return;
    if (profile->SaveToFile(ProfileFileName(profile->Name))) {
        profile->Saved = true;
        m_uiProfiles->cmdSave->setEnabled(false);
        return;
    }
    dialogs::MessageBox(this, Q(texts::ProfileNotSaved), Q(texts::ProfileNotSavedCaption));
}

void TfrmMain::lstProfilesEdited(QTreeWidgetItem* item) {
    if (FLoading)
        return;
    bool ok = false;
    TBackupProfile* profile = ProfileAt(item->text(IndexColumn).trimmed().toInt(&ok));
    if (!ok || !profile)
        return;
    if (!RenameProfile(*profile, S(item->text(0)))) {
        if (m_renameError != 0)
            dialogs::ShowError(this, QString(texts::ProfileNotRenamed) + "\r\n" +
                                         Q(platform::ErrorText(m_renameError)));
        m_settingProfileItem = true;
        item->setText(0, Q(profile->Name));
        m_settingProfileItem = false;
    }
    m_uiProfiles->cmdSave->setEnabled(true);
    // The item editor is still closing: the item moves to its place once it has closed.
    QMetaObject::invokeMethod(
        this,
        [this, item] {
            if (m_uiProfiles->lstProfiles->indexOfTopLevelItem(item) >= 0)
                SortProfileItem(item);
        },
        Qt::QueuedConnection);
}

bool TfrmMain::RenameProfile(TBackupProfile& profile, const std::string& name) {
    m_renameError = 0;
    if (name == profile.Name)
        return true;
    if (!IsUsableProfileName(name))
        return false;
    // Names are compared as the wizard compares them, so that no two profiles differ only in case.
    const QLocale locale;
    const QString wanted = locale.toUpper(Q(name));
    for (const TProfileCell& cell : FProfiles)
        if (cell && cell.get() != &profile && locale.toUpper(Q(cell->Name)) == wanted)
            return false;
    const std::string oldFile = ProfileFileName(profile.Name);
    if (platform::FileExists(oldFile)) {
        if (const platform::Status renamed = platform::RenameFileNoReplace(oldFile, ProfileFileName(name));
            !renamed) {
            m_renameError = renamed.Code();
            return false;
        }
        const std::string oldLog = LogsDir + profile.Name + ".log";
        if (platform::FileExists(oldLog))
            (void)platform::RenameFileNoReplace(oldLog, LogsDir + name + ".log");
    }
    profile.Name = name;
    return true;
}

void TfrmMain::cmdNewClick() {
    PauseScheduler();
    std::vector<std::string> names;
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        names.push_back(S(list->topLevelItem(row)->text(0)));
    TfrmBVWizard wizard(this, std::move(names));
    if (dialogs::ExecDialog(wizard) == mrOk) {
        std::size_t index = 0;
        while (index < FProfiles.size() && FProfiles[index])
            ++index;
        if (index == FProfiles.size())
            FProfiles.emplace_back();
        const std::string name = wizard.ProfileName();
        QTreeWidgetItem* item = AddProfileItem(name, static_cast<int>(index));
        m_uiProfiles->cmdDelete->setEnabled(true);
        FProfiles[index] = std::make_unique<TBackupProfile>(this);
        TBackupProfile& profile = *FProfiles[index];
        profile.Saved = false;
        wizard.WriteAnswers(profile);
        // A profile whose file could not be written stays unsaved, so that Save can try again.
        const bool saved = profile.SaveToFile(ProfileFileName(name));
        profile.Saved = saved;
        list->setCurrentItem(item);
        item->setSelected(true);
        list->setFocus();
        m_uiProfiles->cmdSave->setEnabled(!saved);
        m_uiProfiles->pagBackup->setEnabled(true);
        m_uiProfiles->cmdBackupNow->setEnabled(true);
        mnuTrayBackupNow->setEnabled(true);
        if (!saved)
            dialogs::MessageBox(this, Q(texts::ProfileNotSaved), Q(texts::ProfileNotSavedCaption));
    }
    ResumeScheduler();
}

void TfrmMain::PauseScheduler() {
    if (timMain)
        timMain->stop();
}

void TfrmMain::ResumeScheduler() {
    if (timMain)
        timMain->start();
}

bool TfrmMain::CellInUse(const TProfileCell* cell) const {
    return std::any_of(FSlots.begin(), FSlots.end(), [cell](const TRunSlot& slot) {
        return slot.Thread && slot.Thread->GetProfile() == cell;
    });
}

void TfrmMain::cmdDeleteClick() {
    QTreeWidget* list = m_uiProfiles->lstProfiles;
    const int index = SelectedProfileIndex();
    TProfileCell* cell = ProfileCell(index);
    if (!cell)
        return;
    // A run reads its profile through the cell until it has ended.
    if (CellInUse(cell) || (*cell && (*cell)->InProcess)) {
        dialogs::ShowError(this, Q(texts::ProfileDeleteRefused));
        return;
    }
    // Deleting cannot be undone: Enter alone never does it.
    if (dialogs::MessageBox(this, Q(texts::ProfileDeleteQuestion), Q(texts::ProfileDeleteCaption),
                            dialogs::Icon::Warning, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) != QMessageBox::Yes)
        return;
    // A profile whose file stays would come back at the next start and run on its schedule: it stays
    // listed until its file is gone.
    if (*cell) {
        const std::string fileName = ProfileFileName((*cell)->Name);
        if (platform::FileExists(fileName))
            if (const platform::Status deleted = platform::DeleteFile(fileName); !deleted) {
                dialogs::ShowError(this, QString(texts::ProfileNotDeleted) + "\r\n" + Q(deleted.Text()));
                return;
            }
    }
    QTreeWidgetItem* item = list->selectedItems().front();
    const int position = list->indexOfTopLevelItem(item);
    std::unique_ptr<QTreeWidgetItem> removed(list->takeTopLevelItem(position));
    removed.reset();
    cell->reset();
    lstProfilesDeletion();
    const int count = list->topLevelItemCount();
    if (count > 0) {
        QTreeWidgetItem* next = list->topLevelItem(position < count ? position : std::max(position - 1, 0));
        list->setCurrentItem(next);
        next->setSelected(true);
        list->scrollToItem(next, QAbstractItemView::EnsureVisible);
        return;
    }
    m_uiProfiles->cmdSave->setEnabled(false);
    m_uiProfiles->cmdDelete->setEnabled(false);
    m_uiProfiles->pagBackup->setCurrentWidget(m_uiProfiles->tabWhat);
    m_uiSources->lstSource->clear();
    m_uiProfiles->pagBackup->setEnabled(false);
    m_uiProfiles->cmdBackupNow->setEnabled(false);
    mnuTrayBackupNow->setEnabled(false);
}
