// The update feed's address and its reader.
#include "updates/update_feed.h"

#include "platform/environment.h"

#include <cstdlib>
#include <limits>

namespace {

// The maker's feed; tests and private installations point BRIMVALE_UPDATE_FEED elsewhere.
constexpr const char* FeedAddress = "http://www.brimvale.example/brimvale/updates.xml";

} // namespace

std::string UpdateFeedAddress() {
    const std::string address = platform::EnvironmentText("BRIMVALE_UPDATE_FEED");
    return address.empty() ? FeedAddress : address;
}

std::uint32_t ParseVersionNumber(QStringView text) {
    if (text.isEmpty())
        return 0;
    std::uint64_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + static_cast<std::uint64_t>(c.unicode() - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            return 0;
    }
    return static_cast<std::uint32_t>(value);
}

TFeedReader::TFeedReader(const QByteArray& xml) : m_reader(xml) {
    // Names are matched as written, prefixes included; an undeclared prefix is no error.
    m_reader.setNamespaceProcessing(false);
}

bool TFeedReader::Fetch(TToken& token) {
    if (m_ahead) {
        token = std::move(*m_ahead);
        m_ahead.reset();
        return true;
    }
    if (m_reader.atEnd())
        return false;
    token.Type = m_reader.readNext();
    if (token.Type == QXmlStreamReader::Invalid)
        return false;
    token.Name = m_reader.qualifiedName().toString();
    token.Attributes =
        token.Type == QXmlStreamReader::StartElement ? m_reader.attributes() : QXmlStreamAttributes();
    token.Text = token.Type == QXmlStreamReader::Characters ? m_reader.text().toString() : QString();
    token.IsCData = m_reader.isCDATA();
    token.Offset = m_reader.characterOffset();
    return true;
}

bool TFeedReader::Next(TFeedPart& part) {
    TToken token;
    while (Fetch(token)) {
        switch (token.Type) {
        case QXmlStreamReader::StartElement: {
            part = TFeedPart{TFeedPartKind::StartTag, token.Name, token.Attributes, {}};
            // The reader reports "<a/>" as a start and an end element; only there does the end follow
            // without a single character read in between.
            TToken next;
            if (Fetch(next)) {
                if (next.Type == QXmlStreamReader::EndElement && next.Offset == token.Offset)
                    part.Kind = TFeedPartKind::EmptyTag;
                else
                    m_ahead = std::move(next);
            }
            return true;
        }
        case QXmlStreamReader::EndElement:
            part = TFeedPart{TFeedPartKind::EndTag, token.Name, {}, {}};
            return true;
        case QXmlStreamReader::Characters: {
            if (token.IsCData) {
                part = TFeedPart{TFeedPartKind::CData, {}, {}, token.Text.trimmed()};
                return true;
            }
            // Text may reach us in pieces (around entity references): it is one part.
            QString text = token.Text;
            TToken next;
            while (Fetch(next)) {
                if (next.Type != QXmlStreamReader::Characters || next.IsCData) {
                    m_ahead = std::move(next);
                    break;
                }
                text += next.Text;
            }
            text = text.trimmed();
            if (text.isEmpty())
                continue;
            part = TFeedPart{TFeedPartKind::Text, {}, {}, text};
            return true;
        }
        default:
            break;
        }
    }
    return false;
}
