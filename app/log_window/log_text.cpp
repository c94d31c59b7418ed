// The run-log text of the log window: decoding, line ends and the line index in one pass.
#include "app/log_window/log_text.h"

#include <algorithm>

namespace {

// Decoded a piece at a time so that the bytes and the whole text are never held twice over.
constexpr std::size_t PieceBytes = 1 << 20;

// Where a piece that should end at End may end without cutting a UTF-8 sequence: before the lead byte
// of the sequence that End falls into.
std::size_t PieceEnd(std::string_view bytes, std::size_t start, std::size_t end) {
    if (end >= bytes.size())
        return bytes.size();
    std::size_t cut = end;
    const auto continuation = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
    };
    while (cut > start && end - cut < 3 && continuation(cut))
        --cut;
    return continuation(cut) || cut == start ? end : cut;
}

qsizetype NextColumn(QChar c, qsizetype column) {
    return c == u'\t' ? (column / TLogText::TabColumns + 1) * TLogText::TabColumns : column + 1;
}

} // namespace

TLogText::TLogText() : m_starts{0} {}

TLogText TLogText::FromBytes(std::string_view bytes, const std::atomic<bool>* cancelled) {
    TLogText result;
    // Never more UTF-16 units than bytes.
    result.m_text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t start = 0; start < bytes.size();) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return {};
        const std::size_t end = PieceEnd(bytes, start, start + PieceBytes);
        const qsizetype from = result.m_text.size();
        result.m_text.append(QString::fromUtf8(bytes.data() + start, static_cast<qsizetype>(end - start)));
        result.TakeLines(from);
        start = end;
    }
    result.Finish();
    return result;
}

TLogText TLogText::FromString(const QString& text) {
    TLogText result;
    result.m_text = text;
    result.TakeLines(0);
    result.Finish();
    return result;
}

void TLogText::TakeLines(qsizetype from) {
    QChar* const characters = m_text.data();
    const qsizetype size = m_text.size();
    qsizetype out = from;
    for (qsizetype in = from; in < size; ++in) {
        QChar c = characters[in];
        if (c == u'\n' && m_afterCR) {
            m_afterCR = false;
            continue;
        }
        m_afterCR = c == u'\r';
        if (c == u'\r')
            c = u'\n';
        characters[out++] = c;
        if (c == u'\n') {
            m_widest = std::max(m_widest, m_column);
            m_column = 0;
            m_starts.push_back(out);
        } else {
            m_column = NextColumn(c, m_column);
        }
    }
    m_text.truncate(out);
}

void TLogText::Finish() {
    m_widest = std::max(m_widest, m_column);
    if (m_text.endsWith(u'\n')) {
        m_text.chop(1);
        m_starts.pop_back();
    }
    // The text keeps its room: giving it back would copy the whole text once more.
    m_starts.shrink_to_fit();
}

qsizetype TLogText::LineEnd(int line) const {
    return line + 1 < LineCount() ? LineStart(line + 1) - 1 : m_text.size();
}

QStringView TLogText::Line(int line) const {
    return QStringView(m_text).mid(LineStart(line), LineEnd(line) - LineStart(line));
}

int TLogText::LineOf(qsizetype position) const {
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    return static_cast<int>(std::max<std::ptrdiff_t>(0, after - m_starts.begin() - 1));
}

qsizetype LogColumnOf(QStringView line, qsizetype index) {
    qsizetype column = 0;
    const qsizetype end = std::min(index, line.size());
    for (qsizetype i = 0; i < end; ++i)
        column = NextColumn(line[i], column);
    return column;
}

TLogColumn LogCharacterAtColumn(QStringView line, qsizetype column) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const qsizetype next = NextColumn(line[i], start);
        if (next > column)
            return {i, start};
        start = next;
    }
    return {line.size(), start};
}
