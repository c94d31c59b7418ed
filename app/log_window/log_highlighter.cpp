// The run-log line colouring.
#include "app/log_window/log_highlighter.h"

TLogTokenKind LogLineKind(QStringView line, const QString& successPrefix, const QString& warningPrefix,
                          const QString& errorPrefix) {
    if (line.startsWith(successPrefix, Qt::CaseSensitive))
        return tkSuccess;
    if (line.startsWith(warningPrefix, Qt::CaseSensitive))
        return tkWarning;
    if (line.startsWith(errorPrefix, Qt::CaseSensitive))
        return tkError;
    return tkOther;
}

TQMLogHighlighter::TQMLogHighlighter(QObject* owner) : QObject(owner) {}

void TQMLogHighlighter::SetSuccessPrefix(const QString& prefix) {
    m_successPrefix = prefix;
    emit Changed();
}

void TQMLogHighlighter::SetWarningPrefix(const QString& prefix) {
    m_warningPrefix = prefix;
    emit Changed();
}

void TQMLogHighlighter::SetErrorPrefix(const QString& prefix) {
    m_errorPrefix = prefix;
    emit Changed();
}

const TSynHighlighterAttributes* TQMLogHighlighter::Attribute(TLogTokenKind kind) const {
    switch (kind) {
    case tkSuccess:
        return &m_logSuccess;
    case tkWarning:
        return &m_logWarning;
    case tkError:
        return &m_logError;
    case tkEol:
    case tkOther:
        break;
    }
    return nullptr;
}

void TQMLogHighlighter::SetForeground(TLogTokenKind kind, const QColor& color) {
    switch (kind) {
    case tkSuccess:
        m_logSuccess.Foreground = color;
        break;
    case tkWarning:
        m_logWarning.Foreground = color;
        break;
    case tkError:
        m_logError.Foreground = color;
        break;
    case tkEol:
    case tkOther:
        return;
    }
    emit Changed();
}

TLogTokenKind TQMLogHighlighter::LineKind(QStringView line) const {
    return LogLineKind(line, m_successPrefix, m_warningPrefix, m_errorPrefix);
}

QColor TQMLogHighlighter::KindForeground(TLogTokenKind kind) const {
    const TSynHighlighterAttributes* attribute = Attribute(kind);
    return attribute ? attribute->Foreground : QColor();
}
