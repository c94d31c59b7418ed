// The log window: showing, searching and printing one run log.
#include "app/log_window/log_form.h"

#include "app/log_window/log_highlighter.h"
#include "app/log_window/log_view.h"
#include "ui_log_form.h"
#include "widgets/dialogs.h"
#include "widgets/form_sizing.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// How close the editor's bottom may come to the search edit's top, in pixels.
constexpr int EditorSearchDistance = 82;
constexpr int SearchResultItemHeight = 16;
constexpr int DefaultFontSize = 10;

// The Courier New of the run log's design, or another fixed-pitch face where it is not installed.
QFont LogFont() {
    QFont font(QStringLiteral("Courier New"), DefaultFontSize);
    font.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(font).fixedPitch())
        return font;
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(DefaultFontSize);
    if (QFontInfo(font).fixedPitch())
        return font;
    const QStringList families = QFontDatabase::families();
    const auto fixed = std::find_if(families.begin(), families.end(), [](const QString& family) {
        return QFontDatabase::isFixedPitch(family);
    });
    if (fixed != families.end())
        font.setFamily(*fixed);
    return font;
}

} // namespace

// A search result: its line's text with the searched text in bold; the line and column numbers in front
// of the first ":" are not shown.
class TSearchResultDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void SetSearchText(const QString& text) { m_searchText = text; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const QColor background = selected ? option.palette.color(QPalette::Highlight) : QColor(Qt::white);
        const QColor foreground =
            selected ? option.palette.color(QPalette::HighlightedText) : QColor(Qt::black);
        painter->save();
        painter->fillRect(option.rect, background);
        painter->setPen(foreground);
        const QString item = index.data(Qt::DisplayRole).toString();
        const qsizetype colon = item.indexOf(u':');
        // Only what fits the row is drawn, so that a line of many megabytes costs no more than a short one.
        const qsizetype room =
            option.rect.width() / std::max(1, option.fontMetrics.averageCharWidth() / 2) + 1;
        const QStringView line = QStringView(item).mid(colon + 1);
        const QStringView shown = line.left(room);
        const qsizetype match =
            m_searchText.isEmpty() ? -1 : shown.indexOf(m_searchText, 0, Qt::CaseInsensitive);
        QRect rect = option.rect;
        QFont bold = option.font;
        bold.setBold(true);
        const auto drawPart = [&](QStringView part, const QFont& font) {
            painter->setFont(font);
            const QString text = part.toString();
            painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
            rect.setLeft(rect.left() + QFontMetrics(font).horizontalAdvance(text));
        };
        if (match < 0) {
            drawPart(shown, option.font);
        } else {
            drawPart(shown.left(match), option.font);
            drawPart(shown.mid(match, m_searchText.size()), bold);
            drawPart(shown.mid(match + m_searchText.size()), option.font);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // The width of a few hundred characters at most: measuring a line of many megabytes would take
        // longer than the search. Never lower than the font, so that a large system font is not clipped.
        const QString item = index.data(Qt::DisplayRole).toString();
        const int width = option.fontMetrics.horizontalAdvance(item.mid(item.indexOf(u':') + 1, 500));
        return {width, std::max(SearchResultItemHeight, option.fontMetrics.height())};
    }

private:
    QString m_searchText;
};

TfrmLog::TfrmLog(QWidget* owner) : TModalForm(owner), m_ui(std::make_unique<Ui::TfrmLog>()) {
    m_ui->setupUi(this);
    SetModalResult(m_ui->cmdOK, mrOk);

    QFont font = LogFont();
    m_ui->txtLog->setFont(font);
    QPalette palette = m_ui->txtLog->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, Qt::yellow);
        palette.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    m_ui->txtLog->setPalette(palette);
    m_ui->splMain->setStretchFactor(0, 0);
    m_ui->splMain->setStretchFactor(1, 1);
    m_resultDelegate = new TSearchResultDelegate(m_ui->lstSearchResults);
    m_ui->lstSearchResults->setItemDelegate(m_resultDelegate);
    m_ui->txtSearch->installEventFilter(this);

    FormCreate();

    connect(m_ui->cmdSearch, &QPushButton::clicked, this, &TfrmLog::cmdSearchClick);
    connect(m_ui->lstSearchResults, &QListWidget::itemDoubleClicked, this,
            &TfrmLog::lstSearchResultsDblClick);
    connect(m_ui->cboFontSize, &QComboBox::currentIndexChanged, this, &TfrmLog::cboFontSizeChange);
    connect(m_ui->splMain, &QSplitter::splitterMoved, this, &TfrmLog::splMainMoved);
    connect(m_ui->cmdPrintLog, &QPushButton::clicked, this, &TfrmLog::cmdPrintLogClick);
}

TfrmLog::~TfrmLog() = default;

TLogView* TfrmLog::txtLog() const {
    return m_ui->txtLog;
}

void TfrmLog::FormCreate() {
    FitClientToControl(this, m_ui->cmdOK);

    Highlighter = new TQMLogHighlighter(this);
    Highlighter->SetSuccessPrefix(QStringLiteral("-"));
    Highlighter->SetForeground(tkSuccess, Qt::black);
    Highlighter->SetWarningPrefix(QStringLiteral("?"));
    Highlighter->SetForeground(tkWarning, QColor(128, 0, 128));
    Highlighter->SetErrorPrefix(QStringLiteral("!"));
    Highlighter->SetForeground(tkError, QColor(255, 0, 0));
    m_ui->txtLog->SetHighlighter(Highlighter);
    // Shows "10" without touching the editor's font, which already has that size.
    m_ui->cboFontSize->setCurrentIndex(3);
}

void TfrmLog::showEvent(QShowEvent* event) {
    TModalForm::showEvent(event);
    FormShow();
}

void TfrmLog::resizeEvent(QResizeEvent* event) {
    TModalForm::resizeEvent(event);
    FormResize();
}

bool TfrmLog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->txtSearch) {
        if (event->type() == QEvent::FocusIn)
            txtSearchEnter();
        else if (event->type() == QEvent::FocusOut)
            txtSearchExit();
    }
    return TModalForm::eventFilter(watched, event);
}

void TfrmLog::FormShow() {
    CentreOnScreen();
    layout()->activate();
    LayoutSearchResults();
    // The editor starts as tall as it may be.
    const int editorTop = m_ui->txtLog->mapTo(this, QPoint(0, 0)).y();
    const int searchTop = m_ui->txtSearch->mapTo(this, QPoint(0, 0)).y();
    const int editorHeight = std::max(0, searchTop - EditorSearchDistance - editorTop);
    const int available = m_ui->splMain->height() - m_ui->splMain->handleWidth();
    m_ui->splMain->setSizes({editorHeight, std::max(0, available - editorHeight)});
}

void TfrmLog::FormResize() {
    LayoutSearchResults();
}

void TfrmLog::splMainMoved() {
    LayoutSearchResults();
}

// The splitter lays the result list out under the editor; what is left here is the editor's limit: its
// bottom keeps EditorSearchDistance pixels above the search edit, so the list never gets smaller than
// what lies between that line and the splitter's bottom.
void TfrmLog::LayoutSearchResults() {
    const int splitterBottom = m_ui->splMain->mapTo(this, QPoint(0, 0)).y() + m_ui->splMain->height();
    const int searchTop = m_ui->txtSearch->mapTo(this, QPoint(0, 0)).y();
    const int listMinimum =
        splitterBottom - (searchTop - EditorSearchDistance) - m_ui->splMain->handleWidth();
    m_ui->lstSearchResults->setMinimumHeight(std::max(0, listMinimum));
}

void TfrmLog::CentreOnScreen() {
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(shownOn->availableGeometry().center());
    move(frame.topLeft());
}

void TfrmLog::cboFontSizeChange() {
    bool isNumber = false;
    int size = m_ui->cboFontSize->currentText().trimmed().toInt(&isNumber);
    if (!isNumber || size <= 0)
        size = DefaultFontSize;
    QFont font = m_ui->txtLog->font();
    font.setPointSize(size);
    m_ui->txtLog->setFont(font);
}

void TfrmLog::txtSearchEnter() {
    m_ui->cmdOK->setDefault(false);
    m_ui->cmdSearch->setDefault(true);
}

void TfrmLog::txtSearchExit() {
    m_ui->cmdSearch->setDefault(false);
    m_ui->cmdOK->setDefault(true);
}

// Search, drawing and the jump all compare with Qt's case folding, so a listed line shows its match and
// the jump finds it. One pass over the whole text: after a line's first match the search goes on at the
// next line, so neither many matches nor one very long line cost more than the text's length.
void TfrmLog::cmdSearchClick() {
    m_ui->lstSearchResults->clear();
    SearchText = m_ui->txtSearch->text();
    m_resultDelegate->SetSearchText(SearchText);
    if (SearchText.isEmpty())
        return;
    const TLogText& log = m_ui->txtLog->Text();
    const QStringView text(log.Text());
    QStringList items;
    for (qsizetype from = 0; from <= text.size();) {
        const qsizetype found = text.indexOf(QStringView(SearchText), from, Qt::CaseInsensitive);
        if (found < 0)
            break;
        const int line = log.LineOf(found);
        const qsizetype column = found - log.LineStart(line);
        items << QString::number(line + 1) + u',' + QString::number(column + 1) + u':' +
                     log.Line(line).toString();
        from = log.LineEnd(line) + 1;
    }
    m_ui->lstSearchResults->addItems(items);
}

void TfrmLog::lstSearchResultsDblClick() {
    const QListWidgetItem* item = m_ui->lstSearchResults->currentItem();
    if (!item)
        return;
    const QString text = item->text();
    const qsizetype comma = text.indexOf(u',');
    const qsizetype colon = comma < 0 ? -1 : text.indexOf(u':', comma + 1);
    if (colon < 0)
        return;
    bool lineValid = false;
    bool columnValid = false;
    const int line = text.left(comma).trimmed().toInt(&lineValid);
    const int column = text.mid(comma + 1, colon - comma - 1).trimmed().toInt(&columnValid);
    if (!lineValid || !columnValid || line < 1 || line > m_ui->txtLog->Text().LineCount())
        return;
    m_ui->txtLog->SetCursor(line - 1, column - 1);
    m_ui->txtLog->EnsureCursorVisible();
    m_ui->txtLog->setFocus();
    m_ui->txtLog->Find(SearchText);
}

void TfrmLog::cmdPrintLogClick() {
    QPrinter printer(QPrinter::HighResolution);
    objPrinter.SetEditor(m_ui->txtLog);
    const int pageCount = objPrinter.PageCount(printer);
    QPrintDialog dlgPrint(&printer, this);
    dlgPrint.setObjectName(QStringLiteral("dlgPrint"));
    dlgPrint.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dlgPrint.setMinMax(1, pageCount);
    printer.setFromTo(1, pageCount);
    if (dialogs::ExecDialog(dlgPrint) != QDialog::Accepted)
        return;
    const QString title = QStringLiteral("Brimvale Profile - ") + ProfileName;
    objPrinter.Title = title;
    objPrinter.Header = {{title, Qt::AlignHCenter},
                         {QStringLiteral("Page: $PAGENUM$ of $PAGECOUNT$"), Qt::AlignLeft}};
    // The page count is taken again from the printer and paper chosen in the dialog.
    const bool printed = printer.printRange() == QPrinter::PageRange
                             ? objPrinter.PrintRange(printer, printer.fromPage(), printer.toPage())
                             : objPrinter.Print(printer);
    if (!printed)
        dialogs::ShowError(this, QStringLiteral("Unable to print the log."));
}
