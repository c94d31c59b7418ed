// The update feed: its address, and a reader that hands the feed's XML out part by part.
#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamAttributes>
#include <QXmlStreamReader>

#include <cstdint>
#include <optional>
#include <string>

// The address of the update feed; the environment variable BRIMVALE_UPDATE_FEED replaces it.
std::string UpdateFeedAddress();

// The decimal number Text as an unsigned 32-bit value: digits only, at most 4294967295; anything
// else ("", "-1", "0x10", "2a", a number too large) gives 0.
std::uint32_t ParseVersionNumber(QStringView text);

enum class TFeedPartKind { StartTag, EmptyTag, EndTag, Text, CData };

struct TFeedPart {
    TFeedPartKind Kind = TFeedPartKind::Text;
    // The tag's name exactly as written (with any prefix).
    QString Name;
    QXmlStreamAttributes Attributes;
    // Text and CDATA content, trimmed; text of white space alone is never handed out.
    QString Text;

    bool IsStart(QLatin1StringView name) const { return Kind == TFeedPartKind::StartTag && Name == name; }
    bool IsEnd(QLatin1StringView name) const { return Kind == TFeedPartKind::EndTag && Name == name; }
    bool IsEmpty(QLatin1StringView name) const { return Kind == TFeedPartKind::EmptyTag && Name == name; }
    QString Attribute(QLatin1StringView name) const { return Attributes.value(name).toString(); }
};

// Reads a document as start tags, empty-element tags, end tags and text. An empty-element tag "<a/>"
// is one part of its own; "<a></a>" gives a start and an end tag. Reading ends at the end of the
// document or where the document stops being well-formed.
class TFeedReader {
public:
    explicit TFeedReader(const QByteArray& xml);

    // The next part; false once there is none.
    bool Next(TFeedPart& part);

private:
    struct TToken {
        QXmlStreamReader::TokenType Type = QXmlStreamReader::NoToken;
        QString Name;
        QXmlStreamAttributes Attributes;
        QString Text;
        bool IsCData = false;
        qint64 Offset = 0;
    };
    bool Fetch(TToken& token);

    QXmlStreamReader m_reader;
    std::optional<TToken> m_ahead;
};
