// TLogPrinter: prints the text of a log view page by page, with header lines carrying the page number
// and count, line numbers in the left margin, the lines' colours and tabs of fixed width.
#pragma once

#include <QString>
#include <Qt>

#include <vector>

class TLogView;
class QPrinter;

// One header line; "$PAGENUM$" and "$PAGECOUNT$" in its text are replaced on every page.
struct THeaderLine {
    QString Text;
    Qt::Alignment Alignment = Qt::AlignLeft;
};

class TLogPrinter {
public:
    // Distances from the paper's edges, in millimetres: the text's margins and the header's top.
    double LeftMargin = 25;
    double RightMargin = 15;
    double TopMargin = 25;
    double BottomMargin = 25;
    double HeaderMargin = 15;
    // How far header lines keep from the left and right margins, in millimetres.
    double LeftHFTextIndent = 2;
    double RightHFTextIndent = 2;
    int TabWidth = 8;
    bool Colors = true;
    bool LineNumbers = true;

    // The print job's name.
    QString Title;
    // Replaced as a whole, so that every print carries exactly these lines.
    std::vector<THeaderLine> Header;

    // The editor whose lines, font and colours are printed; it must outlive the printing.
    void SetEditor(const TLogView* editor) { m_editor = editor; }

    // The number of pages the text takes on Printer's paper (at least 1).
    int PageCount(QPrinter& printer) const;
    // Prints every page, or pages FromPage to ToPage (from 1, kept within the page count).
    // False when the printer could not be started.
    bool Print(QPrinter& printer) const;
    bool PrintRange(QPrinter& printer, int fromPage, int toPage) const;

private:
    const TLogView* m_editor = nullptr;
};
