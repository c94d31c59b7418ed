// The run-log view: painting the lines in sight, the caret and selection, keys, mouse and search.
#include "app/log_window/log_view.h"

#include "app/log_window/log_highlighter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// Tabs as the blanks up to the next tab stop, counted from the line's display column Column.
QString Shown(QStringView characters, qsizetype column) {
    QString shown;
    shown.reserve(characters.size());
    for (const QChar c : characters) {
        if (c == u'\t') {
            const qsizetype stop = (column / TLogText::TabColumns + 1) * TLogText::TabColumns;
            shown.append(QString(stop - column, u' '));
            column = stop;
        } else {
            shown.append(c);
            ++column;
        }
    }
    return shown;
}

int ClampedInt(qsizetype value) {
    return static_cast<int>(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

} // namespace

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    UpdateScrollBars();
}

void TLogView::SetText(TLogText text) {
    m_text = std::move(text);
    m_anchor = m_position = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

void TLogView::SetHighlighter(const TQMLogHighlighter* highlighter) {
    if (m_highlighter)
        disconnect(m_highlighter, nullptr, this, nullptr);
    m_highlighter = highlighter;
    if (m_highlighter)
        connect(m_highlighter, &TQMLogHighlighter::Changed, viewport(), qOverload<>(&QWidget::update));
    viewport()->update();
}

QColor TLogView::LineForeground(int line) const {
    if (!m_highlighter || line < 0 || line >= m_text.LineCount())
        return {};
    const QStringView text = m_text.Line(line);
    return text.isEmpty() ? QColor() : m_highlighter->KindForeground(m_highlighter->LineKind(text));
}

QString TLogView::SelectedText() const {
    return m_text.Text().mid(SelectionStart(), SelectionEnd() - SelectionStart());
}

qsizetype TLogView::PositionInLine(int line, qsizetype column) const {
    const int shown = std::clamp(line, 0, m_text.LineCount() - 1);
    return m_text.LineStart(shown) + std::clamp<qsizetype>(column, 0, m_text.Line(shown).size());
}

void TLogView::SetCursor(int line, qsizetype column) {
    MoveCursor(PositionInLine(line, column), false);
}

void TLogView::MoveCursor(qsizetype position, bool keepAnchor) {
    m_position = std::clamp<qsizetype>(position, 0, m_text.Text().size());
    if (!keepAnchor)
        m_anchor = m_position;
    viewport()->update();
}

void TLogView::SelectAll() {
    m_anchor = 0;
    m_position = m_text.Text().size();
    viewport()->update();
}

void TLogView::Copy() const {
    if (SelectionEnd() > SelectionStart())
        QGuiApplication::clipboard()->setText(SelectedText());
}

bool TLogView::Find(const QString& text) {
    if (text.isEmpty())
        return false;
    const qsizetype found =
        QStringView(m_text.Text()).indexOf(QStringView(text), SelectionEnd(), Qt::CaseInsensitive);
    if (found < 0)
        return false;
    m_anchor = found;
    m_position = found + text.size();
    EnsureCursorVisible();
    viewport()->update();
    return true;
}

int TLogView::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

double TLogView::CharWidth() const {
    return std::max(1.0, QFontMetricsF(font()).horizontalAdvance(u' '));
}

int TLogView::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int TLogView::VisibleLines() const {
    return std::max(1, viewport()->height() / LineHeight());
}

qsizetype TLogView::VisibleColumns() const {
    return std::max<qsizetype>(1, static_cast<qsizetype>(viewport()->width() / CharWidth()));
}

void TLogView::UpdateScrollBars() {
    const int lines = VisibleLines();
    verticalScrollBar()->setRange(0, std::max(0, m_text.LineCount() - lines));
    verticalScrollBar()->setPageStep(lines);
    verticalScrollBar()->setSingleStep(1);
    const qsizetype columns = VisibleColumns();
    // One column more than the widest line, for the caret at its end.
    horizontalScrollBar()->setRange(0, ClampedInt(m_text.WidestLine() + 1 - columns));
    horizontalScrollBar()->setPageStep(ClampedInt(columns));
    horizontalScrollBar()->setSingleStep(1);
}

void TLogView::EnsureCursorVisible() {
    const int line = CursorLine();
    const int first = FirstVisibleLine();
    const int lines = VisibleLines();
    if (line < first)
        verticalScrollBar()->setValue(line);
    else if (line >= first + lines)
        verticalScrollBar()->setValue(line - lines + 1);
    const qsizetype column = LogColumnOf(m_text.Line(line), CursorColumn());
    const qsizetype firstColumn = horizontalScrollBar()->value();
    const qsizetype columns = VisibleColumns();
    if (column < firstColumn)
        horizontalScrollBar()->setValue(ClampedInt(column));
    else if (column >= firstColumn + columns)
        horizontalScrollBar()->setValue(ClampedInt(column - columns + 1));
}

void TLogView::PaintLine(QPainter& painter, int line, double top) const {
    const QStringView text = m_text.Line(line);
    const qsizetype start = m_text.LineStart(line);
    const qsizetype firstColumn = horizontalScrollBar()->value();
    const TLogColumn from = LogCharacterAtColumn(text, firstColumn);
    const TLogColumn to = LogCharacterAtColumn(text, firstColumn + VisibleColumns() + 1);
    const qsizetype end = std::min(text.size(), to.Index + 1);
    const double width = CharWidth();
    const double baseline = top + fontMetrics().ascent();
    const QColor own = LineForeground(line);
    const QColor foreground = own.isValid() ? own : palette().color(QPalette::Text);
    // Before the selection, the selection, after it.
    const qsizetype selectedFrom = std::clamp(SelectionStart() - start, from.Index, end);
    const qsizetype selectedTo = std::clamp(SelectionEnd() - start, selectedFrom, end);
    const qsizetype bounds[] = {from.Index, selectedFrom, selectedTo, end};
    qsizetype column = from.Column;
    for (int part = 0; part < 3; ++part) {
        const QStringView characters = text.mid(bounds[part], bounds[part + 1] - bounds[part]);
        if (characters.isEmpty())
            continue;
        const QString shown = Shown(characters, column);
        const double x = static_cast<double>(column - firstColumn) * width;
        const bool selected = part == 1;
        if (selected) {
            painter.fillRect(QRectF(x, top, static_cast<double>(shown.size()) * width, LineHeight()),
                             palette().color(QPalette::Highlight));
        }
        painter.setPen(selected ? palette().color(QPalette::HighlightedText) : foreground);
        painter.drawText(QPointF(x, baseline), shown);
        column += shown.size();
    }
}

void TLogView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    painter.setFont(font());
    const int first = FirstVisibleLine();
    const int last = std::min(m_text.LineCount() - 1, first + VisibleLines());
    const int height = LineHeight();
    for (int line = first; line <= last; ++line)
        PaintLine(painter, line, static_cast<double>((line - first) * height));
    if (hasFocus()) {
        const int line = CursorLine();
        const qsizetype column = LogColumnOf(m_text.Line(line), CursorColumn());
        const double x = static_cast<double>(column - horizontalScrollBar()->value()) * CharWidth();
        const double top = static_cast<double>((line - first) * height);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawLine(QPointF(x, top), QPointF(x, top + height - 1));
    }
}

void TLogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TLogView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateScrollBars();
        viewport()->update();
    }
}

void TLogView::scrollContentsBy(int, int) {
    viewport()->update();
}

void TLogView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TLogView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

qsizetype TLogView::PositionAt(QPoint point) const {
    const int line = std::clamp(FirstVisibleLine() + point.y() / LineHeight(), 0, m_text.LineCount() - 1);
    const auto column = horizontalScrollBar()->value() +
                        static_cast<qsizetype>(std::lround(std::max(0, point.x()) / CharWidth()));
    return m_text.LineStart(line) + LogCharacterAtColumn(m_text.Line(line), column).Index;
}

void TLogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    MoveCursor(PositionAt(event->position().toPoint()), event->modifiers().testFlag(Qt::ShiftModifier));
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
    if (!event->buttons().testFlag(Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    MoveCursor(PositionAt(event->position().toPoint()), true);
    EnsureCursorVisible();
}

void TLogView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy)
        return Copy();
    if (event == QKeySequence::SelectAll)
        return SelectAll();
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool whole = event->modifiers().testFlag(Qt::ControlModifier);
    const int line = CursorLine();
    const qsizetype column = CursorColumn();
    qsizetype position = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        position = m_position - 1;
        break;
    case Qt::Key_Right:
        position = m_position + 1;
        break;
    case Qt::Key_Up:
        position = PositionInLine(line - 1, column);
        break;
    case Qt::Key_Down:
        position = PositionInLine(line + 1, column);
        break;
    case Qt::Key_PageUp:
        position = PositionInLine(line - VisibleLines(), column);
        break;
    case Qt::Key_PageDown:
        position = PositionInLine(line + VisibleLines(), column);
        break;
    case Qt::Key_Home:
        position = whole ? 0 : m_text.LineStart(line);
        break;
    case Qt::Key_End:
        position = whole ? m_text.Text().size() : m_text.LineEnd(line);
        break;
    default:
        // Enter and Escape reach the window's buttons.
        return QAbstractScrollArea::keyPressEvent(event);
    }
    MoveCursor(position, extend);
    EnsureCursorVisible();
}
