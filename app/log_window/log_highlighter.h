// TQMLogHighlighter: colours every line of a run log by the kind of entry it belongs to, told by the
// line's first characters.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringView>

// A named colour the highlighter gives one kind of line; an invalid colour leaves the editor's own.
struct TSynHighlighterAttributes {
    QString Name;
    QColor Foreground;
};

// The kinds of line (and of the one-character tokens the editor paints).
enum TLogTokenKind : unsigned char { tkEol = 0, tkSuccess = 1, tkWarning = 2, tkError = 3, tkOther = 4 };

// The kind of Line: the first of the success, warning and error prefixes that Line begins with,
// compared case-sensitively; an empty prefix matches every line. tkOther when none does.
TLogTokenKind LogLineKind(QStringView line, const QString& successPrefix, const QString& warningPrefix,
                          const QString& errorPrefix);

// The log view asks it for the colour of each line it paints, so only the lines shown are ever coloured.
class TQMLogHighlighter : public QObject {
    Q_OBJECT
public:
    explicit TQMLogHighlighter(QObject* owner);

    // The prefixes start empty. Changing a prefix or an attribute's colour repaints.
    void SetSuccessPrefix(const QString& prefix);
    void SetWarningPrefix(const QString& prefix);
    void SetErrorPrefix(const QString& prefix);

    const TSynHighlighterAttributes& LogSuccess() const { return m_logSuccess; }
    const TSynHighlighterAttributes& LogWarning() const { return m_logWarning; }
    const TSynHighlighterAttributes& LogError() const { return m_logError; }
    void SetForeground(TLogTokenKind kind, const QColor& color);

    TLogTokenKind LineKind(QStringView line) const;
    // The colour of the lines of Kind; invalid for the editor's own.
    QColor KindForeground(TLogTokenKind kind) const;

signals:
    // A prefix or a colour changed: the lines must be painted again.
    void Changed();

private:
    // The attribute of Kind; null for lines that keep the editor's colours.
    const TSynHighlighterAttributes* Attribute(TLogTokenKind kind) const;

    QString m_successPrefix;
    TSynHighlighterAttributes m_logSuccess{QStringLiteral("LogSuccess"), {}};
    QString m_warningPrefix;
    TSynHighlighterAttributes m_logWarning{QStringLiteral("LogWarning"), {}};
    QString m_errorPrefix;
    TSynHighlighterAttributes m_logError{QStringLiteral("LogError"), {}};
};
