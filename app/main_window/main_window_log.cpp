// The Log page: the runs whose logs lie in the logs folder, with their totals, trimmed to the configured
// number; clearing some or all of them; opening one in the log window.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/log_window/log_form.h"
#include "app/log_window/log_loader.h"
#include "app/log_window/log_view.h"
#include "engine/backup_log.h"
#include "engine/backup_log_list.h"
#include "engine/date_time_format.h"
#include "engine/helpers.h"
#include "platform/directory.h"
#include "platform/file_io.h"
#include "platform/format_settings.h"
#include "ui_page_log.h"
#include "widgets/dialogs.h"
#include "widgets/text_conversion.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>
#include <functional>
#include <limits>

namespace {

// The entry's index in the run-log list, kept on the row's first cell; every operation on a row finds
// its run log through it.
constexpr int HiddenIndexRole = Qt::UserRole;

enum TLogColumn : int {
    colStatus,
    colProfile,
    colSize,
    colCompressed,
    colTotalFiles,
    colFilesProcessed,
    colFilesSkipped,
    colErrors,
    colWarnings,
    LogColumnCount
};

QString RunTime(TDateTime time) {
    const platform::TFormatSettings settings = platform::GetFormatSettings();
    return Q(FormatDateTime(settings.ShortDateFormat + " " + settings.LongTimeFormat, time, settings));
}

// Image 2 of the program's small images marks a run without errors, image 3 one with errors.
QIcon RunImage(bool hasErrors) {
    return QApplication::style()->standardIcon(hasErrors ? QStyle::SP_MessageBoxCritical
                                                         : QStyle::SP_DialogApplyButton);
}

struct TLogRun {
    int Index = 0;
    TBackupSummary Summary;
};

// Earlier runs first; a run of unknown time (0) before every other; equal times by file name.
bool RunsBefore(const TLogRun& a, const TLogRun& b, const std::vector<std::string>& files) {
    const auto key = [](TDateTime time) {
        return time == 0 ? -std::numeric_limits<double>::infinity() : time;
    };
    if (key(a.Summary.BeginTime) != key(b.Summary.BeginTime))
        return key(a.Summary.BeginTime) < key(b.Summary.BeginTime);
    return files[static_cast<std::size_t>(a.Index)] < files[static_cast<std::size_t>(b.Index)];
}

void FillRow(QTableWidget& list, int row, const TLogRun& run) {
    const TBackupSummary& s = run.Summary;
    const auto cell = [&](int column, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        list.setItem(row, column, item);
        return item;
    };
    QTableWidgetItem* status =
        cell(colStatus, s.BeginTime == 0 ? QStringLiteral("Unknown Time") : RunTime(s.BeginTime));
    status->setIcon(RunImage(s.Errors >= 1));
    status->setData(HiddenIndexRole, run.Index);
    cell(colProfile, Q(s.Name));
    cell(colSize, Q(FormatFileSize("#,##0", s.BytesTotal)));
    cell(colCompressed, Q(FormatFileSize("#,##0", s.CompressedBytes)));
    cell(colTotalFiles, QString::number(s.FilesTotal));
    cell(colFilesProcessed, QString::number(s.FilesCopied));
    cell(colFilesSkipped, QString::number(s.FilesSkipped));
    cell(colErrors, QString::number(s.Errors));
    cell(colWarnings, QString::number(s.Warnings));
}

// The first selected row in the list's order; -1 when none is selected.
int FirstSelectedRow(const QTableWidget& list) {
    int first = -1;
    for (const QModelIndex& index : list.selectionModel()->selectedRows())
        first = first < 0 ? index.row() : std::min(first, index.row());
    return first;
}

// The Profile column shows whole names and takes the room the list has beyond the other columns.
void FitProfileColumn(QTableWidget& list) {
    int others = 0;
    for (int column = 0; column < LogColumnCount; ++column)
        if (column != colProfile)
            others += list.columnWidth(column);
    // An item's text keeps the style's focus margin and one pixel more on either side.
    const int padding = 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1) + 1;
    int names = list.horizontalHeader()->sectionSizeHint(colProfile);
    for (int row = 0; row < list.rowCount(); ++row)
        if (const QTableWidgetItem* item = list.item(row, colProfile))
            names = std::max(names, list.fontMetrics().horizontalAdvance(item->text()) + padding);
    list.setColumnWidth(colProfile, std::max(names, list.viewport()->width() - others));
}

// Fits the Profile column again whenever the list changes its width.
class TProfileColumnFit : public QObject {
public:
    explicit TProfileColumnFit(QTableWidget* list) : QObject(list), m_list(list) {
        list->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            FitProfileColumn(*m_list);
        return false;
    }

private:
    QTableWidget* m_list;
};

// Puts the cursor back on every way out of the block that set it.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { Restore(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
    void Restore() {
        if (m_set)
            QApplication::restoreOverrideCursor();
        m_set = false;
    }

private:
    bool m_set = true;
};

// Sets a flag for as long as it lives.
class TFlagSet {
public:
    explicit TFlagSet(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TFlagSet() { m_flag = false; }
    TFlagSet(const TFlagSet&) = delete;
    TFlagSet& operator=(const TFlagSet&) = delete;

private:
    bool& m_flag;
};

// A click of the left button anywhere in a list, on a row or below the last one.
class ListClickFilter : public QObject {
public:
    ListClickFilter(QObject* parent, std::function<void()> onClick)
        : QObject(parent), m_onClick(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_onClick();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onClick;
};

} // namespace

void TfrmMain::ConnectLogPage() {
    Ui::PageLog& ui = *m_uiLog;
    // A report list: one text line per row, the order fixed by the start times rather than a header.
    ui.lvwLog->setWordWrap(false);
    ui.lvwLog->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui.lvwLog->verticalHeader()->setDefaultSectionSize(ui.lvwLog->fontMetrics().height() + 6);
    ui.lvwLog->horizontalHeader()->setSectionsClickable(false);
    new TProfileColumnFit(ui.lvwLog);
    ConnectGuarded(ui.chkShowLogGrid, &QCheckBox::toggled, &TfrmMain::chkShowLogGridClick);
    ConnectGuarded(ui.cmdClearAllLog, &QPushButton::clicked, &TfrmMain::cmdClearAllLogClick);
    ConnectGuarded(ui.cmdClearSelectedLog, &QPushButton::clicked, &TfrmMain::cmdClearSelectedLogClick);
    // The list's own click signal comes for a click on a row only.
    ui.lvwLog->viewport()->installEventFilter(
        new ListClickFilter(this, [this] { dialogs::RunGuarded(this, [this] { lvwLogClick(); }); }));
    ConnectGuarded(ui.lvwLog, &QTableWidget::itemSelectionChanged, &TfrmMain::EnableClearSelectedLog);
    ConnectGuarded(ui.lvwLog, &QTableWidget::doubleClicked, &TfrmMain::lvwLogDblClick);
}

void TfrmMain::RefreshLog() {
    QTableWidget& list = *m_uiLog->lvwLog;
    list.setRowCount(0);
    if (!FLogList)
        return;
    FLogList->Pack();
    if (FLogList->Count() > 0) {
        std::vector<TLogRun> runs(static_cast<std::size_t>(FLogList->Count()));
        for (int i = 0; i < FLogList->Count(); ++i) {
            runs[static_cast<std::size_t>(i)].Index = i;
            FLogList->ReadSummary(i, runs[static_cast<std::size_t>(i)].Summary);
        }
        const std::vector<std::string>& files = FLogList->Files();
        std::sort(runs.begin(), runs.end(),
                  [&files](const TLogRun& a, const TLogRun& b) { return RunsBefore(a, b, files); });
        list.setUpdatesEnabled(false);
        list.setRowCount(static_cast<int>(runs.size()));
        for (std::size_t row = 0; row < runs.size(); ++row)
            FillRow(list, static_cast<int>(row), runs[row]);
        list.setUpdatesEnabled(true);
        TrimLog();
    }
    SizeLogColumns();
    EnableClearSelectedLog();
}

// Deletes the oldest runs beyond the configured number. A log still being written keeps its row and
// its file; it is trimmed at a later refresh, once its run has closed it.
void TfrmMain::TrimLog() {
    QTableWidget& list = *m_uiLog->lvwLog;
    const int keep = AppSettings().MaxLogSize;
    int row = 0;
    while (list.rowCount() > keep && row < list.rowCount()) {
        const int index = list.item(row, colStatus)->data(HiddenIndexRole).toInt();
        if (IsRunLogOpen(FLogList->Files()[static_cast<std::size_t>(index)])) {
            ++row;
            continue;
        }
        FLogList->Delete(index);
        list.removeRow(row);
    }
}

// The first column fits its contents, the others their headers; "Size" keeps its width, and Profile
// takes what room the window gives beyond them.
void TfrmMain::SizeLogColumns() {
    QTableWidget& list = *m_uiLog->lvwLog;
    list.resizeColumnToContents(colStatus);
    for (int column = colProfile + 1; column < LogColumnCount; ++column)
        if (column != colSize)
            list.setColumnWidth(column, list.horizontalHeader()->sectionSizeHint(column));
    FitProfileColumn(list);
}

void TfrmMain::cmdClearAllLogClick() {
    m_uiLog->lvwLog->setRowCount(0);
    if (FLogList) {
        const std::string& dir = FLogList->Dir();
        for (const platform::TSearchRec& entry : platform::ListDirectory(dir).Entries) {
            const std::string path = dir + entry.Name;
            if (entry.Kind == platform::EntryKind::File && entry.Name.ends_with(".log") &&
                !IsRunLogOpen(path))
                (void)platform::DeleteFile(path);
        }
        // A log still being written stays listed, so that a later refresh shows and trims it.
        std::vector<std::string> stillOpen;
        for (const std::string& file : FLogList->Files())
            if (!file.empty() && IsRunLogOpen(file))
                stillOpen.push_back(file);
        FLogList->DeleteAll();
        for (const std::string& file : stillOpen)
            FLogList->Add(file);
    }
    m_uiLog->cmdClearSelectedLog->setEnabled(false);
}

// The list's entries stay in place until the next refresh packs them, so the other rows' indexes stay
// valid. A log still being written is left, row and all.
void TfrmMain::cmdClearSelectedLogClick() {
    QTableWidget& list = *m_uiLog->lvwLog;
    std::vector<int> rows;
    for (const QModelIndex& index : list.selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.rbegin(), rows.rend());
    for (const int row : rows) {
        const int index = list.item(row, colStatus)->data(HiddenIndexRole).toInt();
        if (IsRunLogOpen(FLogList->Files()[static_cast<std::size_t>(index)]))
            continue;
        FLogList->Delete(index);
        list.removeRow(row);
    }
    EnableClearSelectedLog();
}

// A click on the list: the user has seen the pending errors.
void TfrmMain::lvwLogClick() {
    AcknowledgeErrors();
    EnableClearSelectedLog();
}

void TfrmMain::EnableClearSelectedLog() {
    m_uiLog->cmdClearSelectedLog->setEnabled(!m_uiLog->lvwLog->selectionModel()->selectedRows().isEmpty());
}

void TfrmMain::lvwLogDblClick() {
    QTableWidget& list = *m_uiLog->lvwLog;
    const int row = FirstSelectedRow(list);
    if (row < 0 || !FLogList || m_openingLog)
        return;
    const int index = list.item(row, colStatus)->data(HiddenIndexRole).toInt();
    if (index < 0)
        return;
    TfrmLog form(this);
    TBackupSummary summary;
    FLogList->ReadSummary(index, summary);
    form.setWindowTitle(QStringLiteral("Log Detail - ") + Q(summary.Name) + QStringLiteral(" - ") +
                        RunTime(summary.BeginTime));
    form.SetProfileName(Q(summary.Name));
    form.resize(m_settings.LogWindowWidth, m_settings.LogWindowHeight);
    TLogLoad load;
    {
        TWaitCursor waiting;
        const TFlagSet opening(m_openingLog);
        // The program goes on meanwhile, and a run that ends may change the list: the reader has a copy.
        load = LoadLogText([logs = *FLogList, index]() mutable {
            std::string text;
            logs.ReadText(index, text);
            return text;
        });
    }
    if (load.Outcome == TLogLoad::TOutcome::Abandoned)
        return;
    if (load.Outcome == TLogLoad::TOutcome::Failed) {
        dialogs::MessageBox(this, Q(load.Error), Q(AppTitle));
        return;
    }
    form.txtLog()->SetText(std::move(load.Text));
    if (form.txtLog()->Text().IsEmpty())
        form.txtLog()->SetPlainText(dialogs::ScreenText(Q(texts::LogWithoutDetails)));
    dialogs::ExecDialog(form);
    m_settings.LogWindowHeight = form.height();
    m_settings.LogWindowWidth = form.width();
}

void TfrmMain::chkShowLogGridClick() {
    m_uiLog->lvwLog->setShowGrid(m_uiLog->chkShowLogGrid->isChecked());
}
