// The profile editor: which profile is selected, showing a profile in the editor pages, the modified
// mark, and the pages "2. Sources", "4. Compression" and "7. Advanced".
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "engine/helpers.h"
#include "ui_page_advanced.h"
#include "ui_page_compression.h"
#include "ui_page_filter.h"
#include "ui_page_profiles.h"
#include "ui_page_schedule.h"
#include "ui_page_sources.h"
#include "widgets/caption_clicks.h"
#include "widgets/dialogs.h"
#include "widgets/focus_leave.h"
#include "widgets/text_conversion.h"

#include <QRegularExpression>
#include <QSignalBlocker>

#include <algorithm>

namespace {

void SetChecked(QCheckBox* box, bool checked) {
    const QSignalBlocker block(box);
    box->setChecked(checked);
}

bool IsRefusedDestinationName(const QString& name) {
    return name.contains(QRegularExpression(R"([\\/:*?"<>|])"));
}

} // namespace

TBackupProfile* TfrmMain::ProfileAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= FProfiles.size())
        return nullptr;
    return FProfiles[static_cast<std::size_t>(index)].get();
}

TBackupProfile* TfrmMain::SelectedProfile() const {
    return ProfileAt(SelectedProfileIndex());
}

void TfrmMain::ShowProfile(int index, int mode) {
    TBackupProfile* profile = ProfileAt(index);
    if (!profile)
        return;
    switch (mode) {
    case 0:
        ShowProfileInEditor(*profile);
        break;
    case 1:
        ShowRestoreProfile(*profile);
        break;
    default:
        break;
    }
}

void TfrmMain::MarkModified(TBackupProfile& profile) {
    profile.Saved = false;
    m_uiProfiles->cmdSave->setEnabled(true);
}

void TfrmMain::ShowProfileInEditor(TBackupProfile& profile) {
    // Each page fills its controls with their signals blocked, so showing a profile never edits it.
    ShowSources(profile);
    ShowDestinations(profile);
    ShowCompression(profile);
    ShowFilter(profile);
    ShowAdvanced(profile);
    ShowSchedule(profile);
    m_uiProfiles->cmdSave->setEnabled(!profile.Saved);
}

void TfrmMain::ConnectEditorPages() {
    Ui::PageSources& sources = *m_uiSources;
    ConnectGuarded(sources.cmdAddFile, &QPushButton::clicked, &TfrmMain::cmdAddFileClick);
    ConnectGuarded(sources.cmdAddDir, &QPushButton::clicked, &TfrmMain::cmdAddDirClick);
    ConnectGuarded(sources.cmdRemove, &QPushButton::clicked, &TfrmMain::cmdRemoveClick);
    ConnectGuarded(sources.lstSource, &QListWidget::itemSelectionChanged, &TfrmMain::EnableRemoveSource);
    ConnectGuarded(sources.chkDesktop, &QCheckBox::toggled,
                   [this] { FlagBoxClick(&TBackupAttributes::Desktop, m_uiSources->chkDesktop); });
    ConnectGuarded(sources.chkMyDocuments, &QCheckBox::toggled,
                   [this] { FlagBoxClick(&TBackupAttributes::MyDocuments, m_uiSources->chkMyDocuments); });
    ConnectGuarded(sources.chkFavorites, &QCheckBox::toggled,
                   [this] { FlagBoxClick(&TBackupAttributes::Favorites, m_uiSources->chkFavorites); });

    Ui::PageCompression& compression = *m_uiCompression;
    ConnectGuarded(compression.chkCompression, &QCheckBox::toggled, &TfrmMain::chkCompressionClick);
    ConnectGuarded(compression.spnGenerations, &QSpinBox::valueChanged, &TfrmMain::spnGenerationsChange);
    ConnectGuarded(compression.txtPassword, &QLineEdit::textChanged, &TfrmMain::txtPasswordChange);
    ConnectGuarded(compression.chkSelfExtract, &QCheckBox::toggled, &TfrmMain::chkSelfExtractClick);
    new CaptionClicks(compression.lblSelfExtract, compression.chkSelfExtract);
    m_focusLeave->Watch(compression.txtPassword, [this](QWidget*) { txtPasswordExit(); });
    m_focusLeave->Watch(compression.txtVerifyPassword, [this](QWidget* to) { txtVerifyPasswordExit(to); });
    for (QWidget* control :
         std::initializer_list<QWidget*>{compression.spnGenerations, compression.chkSelfExtract})
        m_focusLeave->Watch(control, [this](QWidget* to) { grpCompressOptionsExit(to); });

    Ui::PageAdvanced& advanced = *m_uiAdvanced;
    ConnectGuarded(advanced.txtAdvancedDestName, &QLineEdit::textChanged,
                   &TfrmMain::txtAdvancedDestNameChange);
    m_focusLeave->Watch(advanced.txtAdvancedDestName, [this](QWidget*) { txtAdvancedDestNameExit(); });
    ConnectGuarded(advanced.cboAdvancedDestStructure, &QComboBox::currentIndexChanged,
                   &TfrmMain::cboAdvancedDestStructureChange);
    ConnectGuarded(advanced.chkAdvancedExcludeMatching, &QCheckBox::toggled,
                   &TfrmMain::chkAdvancedExcludeMatchingClick);
    ConnectGuarded(advanced.chkAdvancedSyncDest, &QCheckBox::toggled, &TfrmMain::chkAdvancedSyncDestClick);

    for (QListWidget* list : {m_uiSchedule->chklstWhenOptions, m_uiFilter->chklstFilterAttributes})
        m_focusLeave->Watch(list, [list](QWidget*) { CheckListExit(list); });
}

void TfrmMain::CheckListExit(QListWidget* list) {
    list->setCurrentRow(-1, QItemSelectionModel::Clear);
}

// Sources.

void TfrmMain::ShowSources(const TBackupProfile& profile) {
    Ui::PageSources& page = *m_uiSources;
    {
        const QSignalBlocker block(page.lstSource);
        page.lstSource->clear();
        for (const std::string& source : profile.Sources)
            page.lstSource->addItem(Q(source));
    }
    page.cmdRemove->setEnabled(false);
    const TBackupAttributes& attributes = profile.BackupAttributes;
    SetChecked(page.chkDesktop, attributes.Desktop);
    SetChecked(page.chkMyDocuments, attributes.MyDocuments);
    SetChecked(page.chkFavorites, attributes.Favorites);
}

void TfrmMain::cmdAddFileClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    for (const QString& file : dialogs::ChooseFiles(this))
        AddSource(*p, S(file));
    EndAddSources();
}

void TfrmMain::cmdAddDirClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    const QString folder = dialogs::ChooseFolder(this, texts::BrowseFolderCaption, texts::BrowseFolderTitle);
    if (!folder.isEmpty())
        AddSource(*p, S(folder.endsWith('/') ? folder + "*" : folder + "/*"));
    EndAddSources();
}

void TfrmMain::AddSource(TBackupProfile& profile, const std::string& entry) {
    QListWidget* list = m_uiSources->lstSource;
    // Paths differing in letter case are different files here.
    const auto listed = std::find(profile.Sources.begin(), profile.Sources.end(), entry);
    if (listed != profile.Sources.end()) {
        list->item(static_cast<int>(listed - profile.Sources.begin()))->setSelected(true);
        return;
    }
    list->addItem(Q(entry));
    list->item(list->count() - 1)->setSelected(true);
    profile.Sources.push_back(entry);
    MarkModified(profile);
}

void TfrmMain::EndAddSources() {
    m_uiSources->lstSource->setFocus();
    EnableRemoveSource();
}

void TfrmMain::EnableRemoveSource() {
    m_uiSources->cmdRemove->setEnabled(!m_uiSources->lstSource->selectedItems().isEmpty());
}

void TfrmMain::cmdRemoveClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    QListWidget* list = m_uiSources->lstSource;
    bool removed = false;
    // The list mirrors Sources in order, so an entry goes by its position.
    for (int row = list->count() - 1; row >= 0; --row) {
        if (!list->item(row)->isSelected())
            continue;
        delete list->takeItem(row);
        if (static_cast<std::size_t>(row) < p->Sources.size())
            p->Sources.erase(p->Sources.begin() + row);
        removed = true;
    }
    if (list->count() > 0 && list->selectedItems().isEmpty())
        list->item(0)->setSelected(true);
    EnableRemoveSource();
    if (removed)
        MarkModified(*p);
}

void TfrmMain::FlagBoxClick(bool TBackupAttributes::*flag, const QCheckBox* box) {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->BackupAttributes.*flag = box->isChecked();
    MarkModified(*p);
}

// Compression.

void TfrmMain::ShowCompression(const TBackupProfile& profile) {
    Ui::PageCompression& page = *m_uiCompression;
    const TBackupAttributes& attributes = profile.BackupAttributes;
    SetChecked(page.chkCompression, attributes.Compress);
    EnableCompressOptions(attributes.Compress);
    {
        const QSignalBlocker block(page.spnGenerations);
        // A stored count outside the box's range shows at its limit and stays as stored.
        page.spnGenerations->setValue(
            static_cast<int>(std::clamp<std::uint32_t>(attributes.Generations, 1, 999)));
    }
    {
        const QSignalBlocker block(page.txtPassword);
        page.txtPassword->setText(Q(attributes.Password));
    }
    page.txtVerifyPassword->setText(page.txtPassword->text());
    SetChecked(page.chkSelfExtract, attributes.SelfExtracting);
}

void TfrmMain::EnableCompressOptions(bool enabled) {
    Ui::PageCompression& page = *m_uiCompression;
    page.grpCompressOptions->setEnabled(enabled);
    for (QWidget* control : std::initializer_list<QWidget*>{
             page.lblKeep, page.lblCopies, page.lblPassword, page.lblVerifyPassword, page.spnGenerations,
             page.txtPassword, page.txtVerifyPassword, page.chkSelfExtract, page.lblSelfExtract})
        control->setEnabled(enabled);
}

void TfrmMain::chkCompressionClick() {
    const bool compress = m_uiCompression->chkCompression->isChecked();
    EnableCompressOptions(compress);
    TBackupProfile* p = SelectedProfile();
    if (!p || p->BackupAttributes.Compress == compress)
        return;
    p->BackupAttributes.Compress = compress;
    MarkModified(*p);
}

void TfrmMain::spnGenerationsChange() {
    TBackupProfile* p = SelectedProfile();
    const auto generations = static_cast<std::uint32_t>(m_uiCompression->spnGenerations->value());
    if (!p || p->BackupAttributes.Generations == generations)
        return;
    p->BackupAttributes.Generations = generations;
    MarkModified(*p);
}

void TfrmMain::txtPasswordChange() {
    TBackupProfile* p = SelectedProfile();
    // Stored as typed, matching the verify box or not: the verify box is only ever compared.
    const std::string password = S(m_uiCompression->txtPassword->text());
    if (!p || p->BackupAttributes.Password == password)
        return;
    p->BackupAttributes.Password = password;
    MarkModified(*p);
}

void TfrmMain::txtPasswordExit() {
    m_uiCompression->txtVerifyPassword->setFocus();
}

void TfrmMain::txtVerifyPasswordExit(QWidget* newFocus) {
    Ui::PageCompression& page = *m_uiCompression;
    if (newFocus != page.txtPassword && page.txtPassword->text() != page.txtVerifyPassword->text()) {
        dialogs::MessageBox(this, texts::PasswordsDiffer, Q(AppTitle));
        page.txtVerifyPassword->setFocus();
        return;
    }
    grpCompressOptionsExit(newFocus);
}

void TfrmMain::grpCompressOptionsExit(QWidget* newFocus) {
    Ui::PageCompression& page = *m_uiCompression;
    if (newFocus && page.grpCompressOptions->isAncestorOf(newFocus))
        return;
    if (page.txtPassword->text() == page.txtVerifyPassword->text())
        return;
    dialogs::ShowError(this, texts::PasswordsDifferTryAgain);
    page.txtPassword->setFocus();
    page.txtPassword->selectAll();
}

void TfrmMain::chkSelfExtractClick() {
    FlagBoxClick(&TBackupAttributes::SelfExtracting, m_uiCompression->chkSelfExtract);
}

// Advanced.

void TfrmMain::ShowAdvanced(const TBackupProfile& profile) {
    Ui::PageAdvanced& page = *m_uiAdvanced;
    const TBackupAttributes& attributes = profile.BackupAttributes;
    {
        const QSignalBlocker block(page.txtAdvancedDestName);
        page.txtAdvancedDestName->setText(Q(attributes.DestinationName));
    }
    {
        const QSignalBlocker block(page.cboAdvancedDestStructure);
        page.cboAdvancedDestStructure->setCurrentIndex(std::min<int>(attributes.DirectoryStructure, 2));
    }
    SetChecked(page.chkAdvancedExcludeMatching, attributes.ExcludeMatching);
    SetChecked(page.chkAdvancedSyncDest, attributes.Synchronize);
}

void TfrmMain::txtAdvancedDestNameChange() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    const QString name = m_uiAdvanced->txtAdvancedDestName->text();
    if (S(name) == p->BackupAttributes.DestinationName)
        return;
    if (IsRefusedDestinationName(name)) {
        RefuseDestinationName(*p, texts::DestinationNameCharacters);
        return;
    }
    // "." and ".." would put the copy, and what its synchronisation deletes, into the parent folder. They
    // are refused when the edit is left, since a name may begin with a dot while it is being typed.
    if (name == "." || name == "..")
        return;
    p->BackupAttributes.DestinationName = S(name);
    MarkModified(*p);
}

void TfrmMain::txtAdvancedDestNameExit() {
    const TBackupProfile* p = SelectedProfile();
    const QString name = m_uiAdvanced->txtAdvancedDestName->text();
    if (p && (name == "." || name == ".."))
        RefuseDestinationName(*p, texts::DestinationNameDots);
}

void TfrmMain::RefuseDestinationName(const TBackupProfile& profile, const char* message) {
    dialogs::ShowError(this, message);
    QLineEdit* edit = m_uiAdvanced->txtAdvancedDestName;
    {
        const QSignalBlocker block(edit);
        edit->setText(Q(profile.BackupAttributes.DestinationName));
    }
    edit->setFocus();
    edit->selectAll();
}

void TfrmMain::cboAdvancedDestStructureChange() {
    TBackupProfile* p = SelectedProfile();
    const int structure = m_uiAdvanced->cboAdvancedDestStructure->currentIndex();
    if (!p || structure < 0)
        return;
    p->BackupAttributes.DirectoryStructure = static_cast<std::uint8_t>(structure);
    MarkModified(*p);
}

void TfrmMain::chkAdvancedExcludeMatchingClick() {
    FlagBoxClick(&TBackupAttributes::ExcludeMatching, m_uiAdvanced->chkAdvancedExcludeMatching);
}

void TfrmMain::chkAdvancedSyncDestClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    QCheckBox* box = m_uiAdvanced->chkAdvancedSyncDest;
    p->BackupAttributes.Synchronize = box->isChecked();
    MarkModified(*p);
    // Deleting from the destination what is not at the source is only sound for one source folder.
    if (box->isChecked() && m_uiSources->lstSource->count() > 1) {
        dialogs::ShowError(this, texts::SyncNeedsOneSource);
        box->setChecked(false);
    }
}
