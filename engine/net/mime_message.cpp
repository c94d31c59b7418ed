// Mail addresses, header encoding and the header text of a message.
#include "engine/net/mime_message.h"

#include "engine/helpers.h"
#include "engine/text.h"
#include "platform/file_io.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ctime>

namespace {

// libcurl's boundary: 24 hyphens and 16 random hexadecimal digits.
constexpr std::size_t BoundaryLength = 40;
// Lines of a header are kept to this length where a fold is allowed (RFC 5322 recommends 78).
constexpr std::size_t FoldAt = 78;
// Bytes of text per encoded word: "=?UTF-8?B?" + 56 base64 characters + "?=" is 68 characters, so a word
// fits on a line after "Reply-To: " or a fold.
constexpr std::size_t EncodedWordBytes = 42;

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

std::string Trim(const std::string& text) {
    return std::string(TrimText(text));
}

// Control characters, line breaks among them, become blanks: a header value stays on its line.
std::string OneLine(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (IsControl(static_cast<unsigned char>(c)))
            c = ' ';
    return result;
}

bool IsPlainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

std::string Base64(const std::string& bytes) {
    static constexpr char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string result;
    result.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            result += k <= n ? Digits[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return result;
}

// Splits UTF-8 text into chunks of at most MaxBytes without cutting a character (a stray byte that
// belongs to no character counts as one).
std::vector<std::string> SplitUtf8(const std::string& text, std::size_t maxBytes) {
    std::vector<std::string> chunks;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.size(), start + maxBytes);
        if (end < text.size()) {
            std::size_t cut = end;
            while (cut > start && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
                --cut;
            if (cut > start)
                end = cut;
        }
        chunks.push_back(text.substr(start, end - start));
        start = end;
    }
    return chunks;
}

std::vector<std::string> EncodedWords(const std::string& text) {
    std::vector<std::string> words;
    for (const std::string& chunk : SplitUtf8(text, EncodedWordBytes))
        words.push_back("=?UTF-8?B?" + Base64(chunk) + "?=");
    return words;
}

// One piece of a header value where a fold may come, and what separates it from the piece before.
struct THeaderToken {
    std::string Text;
    std::string Before;
};

// "Name: " and the tokens, folding before a token that would make the line too long; the blank that
// ends a separator becomes the blank that starts the folded line.
std::string FoldedHeader(const std::string& name, const std::vector<THeaderToken>& tokens) {
    std::string header = name + ":";
    std::size_t lineLength = header.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string before = i == 0 ? std::string(" ") : tokens[i].Before;
        const std::string& text = tokens[i].Text;
        if (i > 0 && lineLength + before.size() + text.size() > FoldAt) {
            header += before.substr(0, before.size() - (before.empty() || before.back() != ' ' ? 0 : 1));
            header += "\r\n ";
            lineLength = 1;
        } else {
            header += before;
            lineLength += before.size();
        }
        header += text;
        lineLength += text.size();
    }
    return header;
}

std::string QuotedName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The tokens of one address: its display name (quoted, or as encoded words, which may not stand inside
// quotes), then the address in angle brackets; a bare address without a name.
void AddAddressTokens(const TMailAddress& item, const std::string& before,
                      std::vector<THeaderToken>& tokens) {
    const std::string address = CleanMailAddress(item.Address);
    const std::string name = Trim(OneLine(item.Name));
    if (name.empty()) {
        tokens.push_back({address, before});
        return;
    }
    if (IsPlainAscii(name)) {
        tokens.push_back({QuotedName(name), before});
    } else {
        const std::vector<std::string> words = EncodedWords(name);
        for (std::size_t i = 0; i < words.size(); ++i)
            tokens.push_back({words[i], i == 0 ? before : " "});
    }
    tokens.push_back({"<" + address + ">", " "});
}

std::string AddressHeader(const std::string& name, const std::vector<TMailAddress>& list) {
    std::vector<THeaderToken> tokens;
    for (const TMailAddress& item : list)
        if (!CleanMailAddress(item.Address).empty())
            AddAddressTokens(item, tokens.empty() ? "" : ", ", tokens);
    return tokens.empty() ? std::string() : FoldedHeader(name, tokens);
}

std::string Unquote(const std::string& text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return text;
    std::string result;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size())
            ++i;
        result += text[i];
    }
    return result;
}

// A valid msg-id: repeated dots made one and no dot at either end (the parsers of mail readers flag
// both), and a domain when the identifier has none.
std::string MessageIdHeader(const std::string& msgId, const std::string& from) {
    std::string id;
    for (char c : CleanMailAddress(msgId))
        if (c != '.' || (!id.empty() && id.back() != '.' && id.back() != '@'))
            id += c;
    if (!id.empty() && id.back() == '.')
        id.pop_back();
    if (id.empty())
        return {};
    if (id.find('@') == std::string::npos) {
        const std::size_t at = from.rfind('@');
        const std::string domain = at == std::string::npos ? std::string() : from.substr(at + 1);
        id += "@" + (domain.empty() ? std::string("localhost") : domain);
    }
    return "Message-ID: <" + id + ">";
}

std::string TwoDigits(int value) {
    return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

std::string Decimal(long value) {
    std::array<char, 24> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), end);
}

} // namespace

std::string CleanMailAddress(const std::string& text) {
    std::string address;
    for (unsigned char c : text)
        if (c > ' ' && c != 0x7f && c != '<' && c != '>')
            address += static_cast<char>(c);
    return address;
}

TMailAddress ParseMailAddress(const std::string& text) {
    const std::string entry = Trim(text);
    const std::size_t open = entry.rfind('<');
    const std::size_t close = open == std::string::npos ? std::string::npos : entry.find('>', open);
    if (close == std::string::npos)
        return {"", CleanMailAddress(entry)};
    return {Unquote(Trim(entry.substr(0, open))), CleanMailAddress(entry.substr(open + 1, close - open - 1))};
}

std::vector<TMailAddress> ParseMailAddressList(const std::string& text) {
    std::vector<TMailAddress> list;
    std::string entry;
    bool inQuotes = false;
    bool inAngles = false;
    auto flush = [&] {
        TMailAddress item = ParseMailAddress(entry);
        if (!item.Address.empty())
            list.push_back(std::move(item));
        entry.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes && c == '\\' && i + 1 < text.size()) {
            entry += c;
            entry += text[++i];
            continue;
        }
        if (c == '"' && !inAngles)
            inQuotes = !inQuotes;
        else if (c == '<' && !inQuotes)
            inAngles = true;
        else if (c == '>' && !inQuotes)
            inAngles = false;
        else if (c == ',' && !inQuotes && !inAngles) {
            flush();
            continue;
        }
        entry += c;
    }
    flush();
    return list;
}

std::string TTextPart::Text() const {
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\r\n";
    return text;
}

TMimeMessage::TMimeMessage() : Date(Now()) {}

TTextPart& TMimeMessage::AddTextPart(const std::string& contentType, std::vector<std::string> lines) {
    TextParts.push_back({contentType, std::move(lines)});
    return TextParts.back();
}

void TMimeMessage::AddAttachment(const std::string& fileName) {
    Attachments.push_back(fileName);
}

std::vector<std::string> TMimeMessage::OwnHeaders() const {
    std::vector<std::string> headers;
    auto add = [&headers](std::string header) {
        if (!header.empty())
            headers.push_back(std::move(header));
    };
    add("Date: " + MailDate(Date));
    add(AddressHeader("From", {From}));
    add(AddressHeader("Reply-To", ReplyTo));
    add(AddressHeader("To", To));
    add(AddressHeader("Cc", CC));
    const std::string subject = OneLine(Subject);
    if (IsPlainAscii(subject))
        add("Subject: " + subject);
    else {
        std::vector<THeaderToken> words;
        for (std::string& word : EncodedWords(subject))
            words.push_back({std::move(word), " "});
        add(FoldedHeader("Subject", words));
    }
    add(MessageIdHeader(MsgId, From.Address));
    return headers;
}

std::string TMimeMessage::HeaderText() const {
    std::string text = "Content-Type: multipart/mixed; boundary=" + std::string(BoundaryLength, '-') +
                       "\r\nMime-Version: 1.0\r\n";
    for (const std::string& header : OwnHeaders())
        text += header + "\r\n";
    return text;
}

std::string EncodeHeaderText(const std::string& text) {
    const std::string line = OneLine(text);
    if (IsPlainAscii(line))
        return line;
    std::string encoded;
    for (const std::string& word : EncodedWords(line))
        encoded += (encoded.empty() ? "" : " ") + word;
    return encoded;
}

std::string AttachmentDisposition(const std::string& fileName) {
    const std::string name = OneLine(platform::ExtractFileName(fileName));
    if (IsPlainAscii(name))
        return "attachment; filename=" + QuotedName(name);
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        if (plain)
            encoded += static_cast<char>(c);
        else
            encoded += std::string{'%', Hex[c >> 4], Hex[c & 0xf]};
    }
    return "attachment; filename*=UTF-8''" + encoded;
}

std::string MailDate(TDateTime value) {
    static constexpr const char* Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = platform::UnixFromDateTime(value);
    std::tm local{};
    localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60;
    const long offsetMinutes = offset < 0 ? -offset : offset;
    return std::string(Days[local.tm_wday]) + ", " + TwoDigits(local.tm_mday) + " " + Months[local.tm_mon] +
           " " + Decimal(local.tm_year + 1900) + " " + TwoDigits(local.tm_hour) + ":" +
           TwoDigits(local.tm_min) + ":" + TwoDigits(local.tm_sec) + " " + (offset < 0 ? "-" : "+") +
           TwoDigits(static_cast<int>(offsetMinutes / 60)) + TwoDigits(static_cast<int>(offsetMinutes % 60));
}
