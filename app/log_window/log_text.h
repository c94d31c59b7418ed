// TLogText: a run log's text as the log window shows it, with the start of every line, built in one
// pass over the log's bytes.
#pragma once

#include <QString>
#include <QStringView>

#include <atomic>
#include <string_view>
#include <vector>

class TLogText {
public:
    // One empty line.
    TLogText();

    // Bytes read as UTF-8 with invalid bytes replaced, every CR LF and lone CR made a line feed, and
    // without the final line break (which would show an empty last line). Time and memory grow with the
    // size of Bytes. An empty text when Cancelled became true on the way.
    static TLogText FromBytes(std::string_view bytes, const std::atomic<bool>* cancelled = nullptr);
    // Text with its line breaks made line feeds, as FromBytes does.
    static TLogText FromString(const QString& text);

    const QString& Text() const { return m_text; }
    bool IsEmpty() const { return m_text.isEmpty(); }
    // At least 1.
    int LineCount() const { return static_cast<int>(m_starts.size()); }
    // Without its line feed. Line must lie in 0 .. LineCount() - 1.
    QStringView Line(int line) const;
    qsizetype LineStart(int line) const { return m_starts[static_cast<std::size_t>(line)]; }
    qsizetype LineEnd(int line) const;
    // The line that holds the character at Position (a line's end belongs to it).
    int LineOf(qsizetype position) const;
    // The widest line's width in columns, tabs expanded to the next multiple of TabColumns.
    qsizetype WidestLine() const { return m_widest; }

    static constexpr int TabColumns = 8;

private:
    // Normalises the characters of m_text from From on in place, carrying a CR that ended the previous
    // piece, and records the lines that begin in them.
    void TakeLines(qsizetype from);
    void Finish();

    QString m_text;
    std::vector<qsizetype> m_starts;
    qsizetype m_widest = 0;
    qsizetype m_column = 0;
    bool m_afterCR = false;
};

// A character of a line and the display column it starts at.
struct TLogColumn {
    qsizetype Index = 0;
    qsizetype Column = 0;
};
// The first of Line's characters that reaches beyond display column Column (tabs expanded); the line's
// length and width when none does.
TLogColumn LogCharacterAtColumn(QStringView line, qsizetype column);
// The display column at which Line's character Index starts (its width when Index is its length).
qsizetype LogColumnOf(QStringView line, qsizetype index);
