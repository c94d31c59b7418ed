// Printing a log: the view's lines, tabs expanded and too long lines wrapped at their blanks, are cut into
// pages of the printer's paper; every page gets its header lines and every text line its number.
#include "app/log_window/log_printer.h"

#include "app/log_window/log_view.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace {

// One printed line: a whole text line or the continuation of a wrapped one (Number 0).
struct TPrintLine {
    int Number = 0;
    QString Text;
    QColor Color;
};

// Where things go on the page, in device pixels.
struct TPageLayout {
    double PaperWidth = 0;
    double PaperHeight = 0;
    double TextLeft = 0;
    double TextTop = 0;
    double TextBottom = 0;
    double HeaderTop = 0;
    double HeaderLeft = 0;
    double HeaderRight = 0;
    int Columns = 1;
    int LinesPerPage = 1;
};

double Millimetres(const QPrinter& printer, double mm) {
    return mm * printer.resolution() / 25.4;
}

QString TabsExpanded(QStringView text, int tabWidth) {
    QString expanded;
    expanded.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\t')
            expanded.append(QString(tabWidth - expanded.size() % tabWidth, u' '));
        else
            expanded.append(c);
    }
    return expanded;
}

// Where the piece of Text that begins at Start ends on a line of Columns characters: after its last
// blank, so that words stay whole, or at Columns where the piece has no blank to break at.
qsizetype PieceEnd(const QString& text, qsizetype start, int columns) {
    const qsizetype limit = start + columns;
    if (limit >= text.size())
        return text.size();
    if (text[limit] == u' ')
        return limit;
    const qsizetype blank = text.lastIndexOf(u' ', limit - 1);
    return blank > start ? blank + 1 : limit;
}

// Text with its tabs expanded and cut into lines of at most Columns characters.
std::vector<TPrintLine> PrintLinesOf(QStringView text, int number, int columns, int tabWidth,
                                     const QColor& color) {
    const QString expanded = TabsExpanded(text, tabWidth);
    std::vector<TPrintLine> lines;
    qsizetype start = 0;
    do {
        const qsizetype end = PieceEnd(expanded, start, columns);
        lines.push_back({start == 0 ? number : 0, expanded.mid(start, end - start), color});
        start = end;
    } while (start < expanded.size());
    return lines;
}

// The lines of the editor cut into pages for one printer.
class TPrintPlan {
public:
    TPrintPlan(const TLogPrinter& options, const TLogView* editor, QPrinter& printer)
        : m_options(options), m_font(editor ? editor->font() : QFont()), m_textMetrics(m_font, &printer),
          m_headerMetrics(m_headerFont, &printer) {
        printer.setFullPage(true);
        const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
        m_layout.PaperWidth = paper.width();
        m_layout.PaperHeight = paper.height();
        m_layout.TextLeft = Millimetres(printer, options.LeftMargin);
        const double textRight = m_layout.PaperWidth - Millimetres(printer, options.RightMargin);
        m_layout.HeaderTop = Millimetres(printer, options.HeaderMargin);
        m_layout.HeaderLeft = m_layout.TextLeft + Millimetres(printer, options.LeftHFTextIndent);
        m_layout.HeaderRight = textRight - Millimetres(printer, options.RightHFTextIndent);
        // A header taller than the space above the text pushes the text down.
        const double headerBottom =
            m_layout.HeaderTop + static_cast<double>(options.Header.size()) * m_headerMetrics.lineSpacing();
        m_layout.TextTop = std::max(Millimetres(printer, options.TopMargin), headerBottom);
        m_layout.TextBottom = m_layout.PaperHeight - Millimetres(printer, options.BottomMargin);
        const double charWidth = std::max(1.0, m_textMetrics.horizontalAdvance(QChar(u'M')));
        m_layout.Columns =
            std::max(1, static_cast<int>(std::floor((textRight - m_layout.TextLeft) / charWidth)));
        m_layout.LinesPerPage =
            std::max(1, static_cast<int>(std::floor((m_layout.TextBottom - m_layout.TextTop) /
                                                    m_textMetrics.lineSpacing())));
        if (editor) {
            const TLogText& text = editor->Text();
            for (int line = 0; line < text.LineCount(); ++line) {
                const QColor color = editor->LineForeground(line);
                std::vector<TPrintLine> pieces =
                    PrintLinesOf(text.Line(line), line + 1, m_layout.Columns, std::max(1, options.TabWidth),
                                 options.Colors && color.isValid() ? color : QColor(Qt::black));
                m_lines.insert(m_lines.end(), std::make_move_iterator(pieces.begin()),
                               std::make_move_iterator(pieces.end()));
            }
        }
    }

    int PageCount() const {
        const auto perPage = static_cast<std::size_t>(m_layout.LinesPerPage);
        return std::max(1, static_cast<int>((m_lines.size() + perPage - 1) / perPage));
    }

    void PaintPage(QPainter& painter, int page) const {
        PaintHeader(painter, page);
        painter.setFont(m_font);
        const double charWidth = m_textMetrics.horizontalAdvance(QChar(u'M'));
        const auto first =
            static_cast<std::size_t>(page - 1) * static_cast<std::size_t>(m_layout.LinesPerPage);
        const std::size_t last =
            std::min(m_lines.size(), first + static_cast<std::size_t>(m_layout.LinesPerPage));
        double baseline = m_layout.TextTop + m_textMetrics.ascent();
        for (std::size_t i = first; i < last; ++i, baseline += m_textMetrics.lineSpacing()) {
            const TPrintLine& line = m_lines[i];
            if (m_options.LineNumbers && line.Number > 0) {
                const QString number = QString::number(line.Number);
                painter.setPen(Qt::black);
                painter.drawText(
                    QPointF(m_layout.TextLeft - charWidth - m_textMetrics.horizontalAdvance(number),
                            baseline),
                    number);
            }
            painter.setPen(line.Color);
            painter.drawText(QPointF(m_layout.TextLeft, baseline), line.Text);
        }
    }

private:
    void PaintHeader(QPainter& painter, int page) const {
        painter.setFont(m_headerFont);
        painter.setPen(Qt::black);
        double top = m_layout.HeaderTop;
        for (const THeaderLine& header : m_options.Header) {
            QString text = header.Text;
            text.replace(QStringLiteral("$PAGENUM$"), QString::number(page));
            text.replace(QStringLiteral("$PAGECOUNT$"), QString::number(PageCount()));
            const QRectF box(m_layout.HeaderLeft, top, m_layout.HeaderRight - m_layout.HeaderLeft,
                             m_headerMetrics.lineSpacing());
            painter.drawText(box, static_cast<int>(header.Alignment | Qt::AlignTop | Qt::TextSingleLine),
                             text);
            top += m_headerMetrics.lineSpacing();
        }
    }

    const TLogPrinter& m_options;
    QFont m_font;
    QFont m_headerFont;
    QFontMetricsF m_textMetrics;
    QFontMetricsF m_headerMetrics;
    TPageLayout m_layout;
    std::vector<TPrintLine> m_lines;
};

} // namespace

int TLogPrinter::PageCount(QPrinter& printer) const {
    return TPrintPlan(*this, m_editor, printer).PageCount();
}

bool TLogPrinter::Print(QPrinter& printer) const {
    return PrintRange(printer, 1, PageCount(printer));
}

bool TLogPrinter::PrintRange(QPrinter& printer, int fromPage, int toPage) const {
    printer.setDocName(Title);
    const TPrintPlan plan(*this, m_editor, printer);
    const int first = std::max(1, fromPage);
    const int last = std::min(plan.PageCount(), toPage);
    if (first > last)
        return true;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    for (int page = first; page <= last; ++page) {
        if (page > first)
            printer.newPage();
        plan.PaintPage(painter, page);
    }
    return painter.end();
}
