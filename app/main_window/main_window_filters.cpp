// The editor page "6. Filter": the folder and the file filter of the selected profile, each an attribute
// mask, a switch, an include/exclude flag and a list of name masks.
#include "app/main_window/filter_patterns.h"
#include "app/main_window/main_window.h"
#include "engine/helpers.h"
#include "ui_page_filter.h"
#include "widgets/text_conversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <memory>

namespace {

const QString kEnterAddText = QStringLiteral("Please enter the filter text you wish to add.");
const QString kFilterExists = QStringLiteral("Filter already exists.");
const QString kSelectToReplace = QStringLiteral("You must select an item to replace.");
const QString kEnterReplaceText =
    QStringLiteral("Please enter the filter text you wish to replace the entry with.");
const QString kSelectToDelete = QStringLiteral("You must select an item to delete.");
const QString kInvalidPattern = QStringLiteral("The filter text is not a valid pattern.");

// The profile fields of one filter; the page edits the folder or the file filter with the same code.
struct TFilterFields {
    std::int32_t TBackupAttributes::*Mask;
    bool TBackupAttributes::*Switch;
    std::uint8_t TBackupAttributes::*Flag;
    std::vector<std::string> TBackupAttributes::*Patterns;
    std::array<const char*, 3> AttributeTexts;
    const char* Description;
};

const TFilterFields kDirectoryFields{
    &TBackupAttributes::DirectoryAttributeMask,
    &TBackupAttributes::FilterDirectories,
    &TBackupAttributes::DirectoryFilterFlag,
    &TBackupAttributes::DirectoryFilter,
    {"Include Read-Only directories.", "Include Hidden directories.", "Include System directories."},
    "directories that match:"};
const TFilterFields kFileFields{
    &TBackupAttributes::FileAttributeMask,
    &TBackupAttributes::FilterFiles,
    &TBackupAttributes::FileFilterFlag,
    &TBackupAttributes::FileFilter,
    {"Include Read-Only files.", "Include Hidden files.", "Include System files."},
    "files that match:"};

const TFilterFields& FieldsOf(bool files) {
    return files ? kFileFields : kDirectoryFields;
}

std::string NormalizeFilter(bool files, const std::string& typed) {
    return files ? NormalizeFileFilter(typed) : NormalizeDirFilter(typed);
}

// The attribute bits of the check list's items: read-only, hidden, system. Every edit starts again from
// all six bits allowed.
constexpr std::array<int, 3> kAttributeBits{1, 2, 4};
constexpr int kAllAttributes = 63;

} // namespace

void TfrmMain::ConnectFilterPage() {
    Ui::PageFilter& page = *m_uiFilter;
    ConnectGuarded(page.cboFilterType, &QComboBox::currentIndexChanged, &TfrmMain::cboFilterTypeChange);
    ConnectGuarded(page.chklstFilterAttributes, &QListWidget::itemChanged,
                   &TfrmMain::chklstFilterAttributesClickCheck);
    ConnectGuarded(page.chkFilter, &QCheckBox::toggled, &TfrmMain::chkFilterClick);
    ConnectGuarded(page.cboFilterFlag, &QComboBox::currentIndexChanged, &TfrmMain::cboFilterFlagChange);
    ConnectGuarded(page.cmdAddFilter, &QPushButton::clicked, &TfrmMain::cmdAddFilterClick);
    // A click on the entry already selected copies it again, over whatever was typed since.
    ConnectGuarded(page.lstFilterStrings, &QListWidget::itemSelectionChanged,
                   &TfrmMain::lstFilterStringsClick);
    ConnectGuarded(page.lstFilterStrings, &QListWidget::itemClicked, &TfrmMain::lstFilterStringsClick);
    ConnectGuarded(page.cmdReplaceFilter, &QPushButton::clicked, &TfrmMain::cmdReplaceFilterClick);
    ConnectGuarded(page.cmdDeleteFilter, &QPushButton::clicked, &TfrmMain::cmdDeleteFilterClick);
}

void TfrmMain::ShowFilter(const TBackupProfile& profile) {
    {
        const QSignalBlocker block(m_uiFilter->cboFilterType);
        m_uiFilter->cboFilterType->setCurrentIndex(0);
    }
    FillFilterPage(profile);
}

void TfrmMain::FillFilterPage(const TBackupProfile& profile) {
    Ui::PageFilter& page = *m_uiFilter;
    const TFilterFields& fields = FieldsOf(EditingFileFilter());
    const TBackupAttributes& attributes = profile.BackupAttributes;
    const QSignalBlocker blockAttributes(page.chklstFilterAttributes);
    const QSignalBlocker blockSwitch(page.chkFilter);
    const QSignalBlocker blockFlag(page.cboFilterFlag);
    const QSignalBlocker blockPatterns(page.lstFilterStrings);
    const std::int32_t mask = attributes.*fields.Mask;
    for (int i = 0; i < 3; ++i) {
        QListWidgetItem* item = page.chklstFilterAttributes->item(i);
        item->setText(fields.AttributeTexts[static_cast<std::size_t>(i)]);
        item->setCheckState((mask & kAttributeBits[static_cast<std::size_t>(i)]) ? Qt::Checked
                                                                                 : Qt::Unchecked);
    }
    const bool on = attributes.*fields.Switch;
    page.chkFilter->setChecked(on);
    // A flag the list has no item for is shown as "Exclude" and left as stored.
    page.cboFilterFlag->setCurrentIndex(std::min<int>(attributes.*fields.Flag, 1));
    page.lblFilterDesc->setText(fields.Description);
    page.lstFilterStrings->clear();
    for (const std::string& pattern : attributes.*fields.Patterns)
        page.lstFilterStrings->addItem(Q(pattern));
    EnableFilterControls(on);
}

void TfrmMain::EnableFilterControls(bool on) {
    Ui::PageFilter& page = *m_uiFilter;
    for (QWidget* control :
         {static_cast<QWidget*>(page.cboFilterFlag), static_cast<QWidget*>(page.lblFilterDesc),
          static_cast<QWidget*>(page.lstFilterStrings), static_cast<QWidget*>(page.txtFilterString),
          static_cast<QWidget*>(page.cmdAddFilter), static_cast<QWidget*>(page.cmdReplaceFilter),
          static_cast<QWidget*>(page.cmdDeleteFilter)})
        control->setEnabled(on);
}

bool TfrmMain::EditingFileFilter() const {
    return m_uiFilter->cboFilterType->currentIndex() == 1;
}

int TfrmMain::SelectedFilterRow() const {
    const QList<QListWidgetItem*> selected = m_uiFilter->lstFilterStrings->selectedItems();
    return selected.isEmpty() ? -1 : m_uiFilter->lstFilterStrings->row(selected.front());
}

int TfrmMain::FilterRowOf(const QString& pattern) const {
    const QListWidget* list = m_uiFilter->lstFilterStrings;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().compare(pattern, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

void TfrmMain::SelectFilterRow(int row) {
    // Selecting from code is no pick: the edit keeps its text.
    const QSignalBlocker block(m_uiFilter->lstFilterStrings);
    m_uiFilter->lstFilterStrings->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void TfrmMain::StoreFilterList(TBackupProfile& profile) {
    std::vector<std::string>& patterns = profile.BackupAttributes.*FieldsOf(EditingFileFilter()).Patterns;
    patterns.clear();
    const QListWidget* list = m_uiFilter->lstFilterStrings;
    for (int row = 0; row < list->count(); ++row)
        patterns.push_back(S(list->item(row)->text()));
}

bool TfrmMain::CheckFilterPattern(const std::string& pattern) {
    if (IsValidFilterPattern(pattern))
        return true;
    ShowFilterMessage(kInvalidPattern, true);
    return false;
}

void TfrmMain::ShowFilterMessage(const QString& text, bool focusEdit) {
    dialogs::MessageBox(this, text, Q(AppTitle), dialogs::Icon::None, QMessageBox::Ok);
    if (focusEdit)
        m_uiFilter->txtFilterString->setFocus();
}

void TfrmMain::cboFilterTypeChange() {
    // Filling writes nothing, so switching between the two filters never marks the profile modified.
    if (const TBackupProfile* p = SelectedProfile())
        FillFilterPage(*p);
}

void TfrmMain::chklstFilterAttributesClickCheck() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    int mask = kAllAttributes;
    for (int i = 0; i < 3; ++i) {
        if (m_uiFilter->chklstFilterAttributes->item(i)->checkState() != Qt::Checked)
            mask &= ~kAttributeBits[static_cast<std::size_t>(i)];
    }
    p->BackupAttributes.*FieldsOf(EditingFileFilter()).Mask = mask;
    MarkModified(*p);
}

void TfrmMain::chkFilterClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    const bool on = m_uiFilter->chkFilter->isChecked();
    p->BackupAttributes.*FieldsOf(EditingFileFilter()).Switch = on;
    EnableFilterControls(on);
    MarkModified(*p);
}

void TfrmMain::cboFilterFlagChange() {
    TBackupProfile* p = SelectedProfile();
    const int item = m_uiFilter->cboFilterFlag->currentIndex();
    if (!p || item < 0)
        return;
    p->BackupAttributes.*FieldsOf(EditingFileFilter()).Flag = static_cast<std::uint8_t>(item);
    MarkModified(*p);
}

void TfrmMain::cmdAddFilterClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    Ui::PageFilter& page = *m_uiFilter;
    const std::string typed = S(page.txtFilterString->text());
    if (typed.empty()) {
        ShowFilterMessage(kEnterAddText, true);
        return;
    }
    const bool files = EditingFileFilter();
    const std::string pattern = NormalizeFilter(files, typed);
    if (!CheckFilterPattern(pattern))
        return;
    if (const int existing = FilterRowOf(Q(pattern)); existing >= 0) {
        SelectFilterRow(existing);
        ShowFilterMessage(kFilterExists, false);
        return;
    }
    page.lstFilterStrings->addItem(Q(pattern));
    SelectFilterRow(page.lstFilterStrings->count() - 1);
    (p->BackupAttributes.*FieldsOf(files).Patterns).push_back(pattern);
    MarkModified(*p);
    page.txtFilterString->clear();
}

void TfrmMain::lstFilterStringsClick() {
    if (!SelectedProfile())
        return;
    if (const int row = SelectedFilterRow(); row >= 0)
        m_uiFilter->txtFilterString->setText(m_uiFilter->lstFilterStrings->item(row)->text());
}

void TfrmMain::cmdReplaceFilterClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    Ui::PageFilter& page = *m_uiFilter;
    const int row = SelectedFilterRow();
    if (row < 0) {
        ShowFilterMessage(kSelectToReplace, true);
        return;
    }
    const std::string typed = S(page.txtFilterString->text());
    if (typed.empty()) {
        ShowFilterMessage(kEnterReplaceText, true);
        return;
    }
    // Normalised as Add does, so that a replaced entry matches full paths too and a bare name is found
    // among the stored patterns.
    const std::string pattern = NormalizeFilter(EditingFileFilter(), typed);
    if (!CheckFilterPattern(pattern))
        return;
    if (FilterRowOf(Q(pattern)) >= 0) {
        ShowFilterMessage(kFilterExists, true);
        return;
    }
    page.lstFilterStrings->item(row)->setText(Q(pattern));
    StoreFilterList(*p);
    MarkModified(*p);
    page.txtFilterString->clear();
}

void TfrmMain::cmdDeleteFilterClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    QListWidget* list = m_uiFilter->lstFilterStrings;
    const int row = SelectedFilterRow();
    if (row < 0) {
        ShowFilterMessage(kSelectToDelete, false);
        return;
    }
    {
        // The edit keeps its text, and no other entry becomes selected for a second Delete to remove.
        const QSignalBlocker block(list);
        const std::unique_ptr<QListWidgetItem> removed(list->takeItem(row));
        list->clearSelection();
        list->setCurrentRow(-1);
    }
    StoreFilterList(*p);
    MarkModified(*p);
}
