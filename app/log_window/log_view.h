// TLogView: the read-only view of a run log: it paints only the lines in sight, each in the colour its
// kind of entry has, so a log of hundreds of megabytes shows at once; caret, selection, copy and a
// forward search.
#pragma once

#include "app/log_window/log_text.h"

#include <QAbstractScrollArea>
#include <QColor>

class TQMLogHighlighter;

class TLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TLogView(QWidget* parent = nullptr);

    void SetText(TLogText text);
    void SetPlainText(const QString& text) { SetText(TLogText::FromString(text)); }
    const TLogText& Text() const { return m_text; }
    QString ToPlainText() const { return m_text.Text(); }

    // Tells the colour of each line; it must outlive the view or be replaced by null first.
    void SetHighlighter(const TQMLogHighlighter* highlighter);
    // The colour of Line's kind; invalid for a line in the view's own text colour.
    QColor LineForeground(int line) const;

    // The caret's line and character column, both from 0.
    int CursorLine() const { return m_text.LineOf(m_position); }
    qsizetype CursorColumn() const { return m_position - m_text.LineStart(CursorLine()); }
    qsizetype SelectionStart() const { return std::min(m_anchor, m_position); }
    qsizetype SelectionEnd() const { return std::max(m_anchor, m_position); }
    QString SelectedText() const;
    // The caret at Line and Column (from 0, kept within the text), nothing selected.
    void SetCursor(int line, qsizetype column);
    void EnsureCursorVisible();
    // Selects the next occurrence of Text at or after the caret (after the selection when there is one),
    // ignoring case, and shows it. False, and nothing changed, when there is none.
    bool Find(const QString& text);
    void SelectAll();
    void Copy() const;
    int FirstVisibleLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollBars();
    void MoveCursor(qsizetype position, bool keepAnchor);
    // The text position nearest to Point of the viewport.
    qsizetype PositionAt(QPoint point) const;
    qsizetype PositionInLine(int line, qsizetype column) const;
    void PaintLine(QPainter& painter, int line, double top) const;
    double CharWidth() const;
    int LineHeight() const;
    int VisibleLines() const;
    qsizetype VisibleColumns() const;

    TLogText m_text;
    const TQMLogHighlighter* m_highlighter = nullptr;
    // Text positions: the selection runs from the anchor to the caret.
    qsizetype m_anchor = 0;
    qsizetype m_position = 0;
};
