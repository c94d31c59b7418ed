// A mail message: addresses, subject, identifier, text parts and file attachments, and the header text
// that goes out with it. The SMTP client turns it into libcurl MIME parts when it sends it.
//
// Layout as sent: multipart/mixed around one multipart/alternative that holds the text parts in the
// order added (so text/plain before text/html, the last being the richest), then each attachment in
// base64. Every mail reader shows the text or the HTML and lists the attachments.
#pragma once

#include "platform/date_time.h"

#include <string>
#include <vector>

struct TMailAddress {
    std::string Name;    // display name, may be empty
    std::string Address; // the bare address, as it goes into the envelope
};

// A bare address ("joe@example.com") or an address text with a display name
// ("Joe Bloggs <joe@example.com>", "\"Bloggs, Joe\" <joe@example.com>"). Blanks, control characters and
// angle brackets never remain in the address, so it cannot break the protocol's command lines.
TMailAddress ParseMailAddress(const std::string& text);
// The address as it may stand in the envelope and the headers: blanks, control characters and angle
// brackets removed. The client applies it to every address it sends, however the item was filled.
std::string CleanMailAddress(const std::string& address);
// A comma-separated list of address texts; a comma inside double quotes or angle brackets belongs to
// its entry. Empty entries are dropped.
std::vector<TMailAddress> ParseMailAddressList(const std::string& text);

struct TTextPart {
    std::string ContentType; // "text/plain", "text/html"; a text type without a charset gets UTF-8
    std::vector<std::string> Lines;
    // The part's text: every line with its CR LF ending.
    std::string Text() const;
};

class TMimeMessage {
public:
    // Date is Now() (the replaceable clock) at creation.
    TMimeMessage();

    TMailAddress From;
    std::vector<TMailAddress> ReplyTo;
    // The message identifier; written as the Message-ID header between angle brackets, made a valid
    // identifier: repeated dots become one, and "@" and the sender's domain are appended when it has no
    // "@" of its own. Empty: no Message-ID header.
    std::string MsgId;
    std::string Subject;
    TDateTime Date = 0;
    std::vector<TMailAddress> To;
    std::vector<TMailAddress> CC;
    // Only in the envelope, never in a header.
    std::vector<TMailAddress> BCC;

    std::vector<TTextPart> TextParts;
    std::vector<std::string> Attachments; // full file names

    TTextPart& AddTextPart(const std::string& contentType, std::vector<std::string> lines);
    void AddAttachment(const std::string& fileName);

    // The headers the message is sent with, each line ending in CR LF (without the blank line that
    // ends the header). The MIME boundary is chosen by libcurl only when the message is sent, so a
    // placeholder of the same length stands for it: the length is exact, for size estimates.
    std::string HeaderText() const;
    // The headers written by the message itself (libcurl adds Content-Type and Mime-Version in front
    // of them), one entry per header; a long header is folded with CR LF and a blank.
    std::vector<std::string> OwnHeaders() const;
};

// Header text for an unstructured value (a subject, a display name): printable ASCII stays as it is;
// otherwise UTF-8 encoded words (RFC 2047, base64) of 68 characters at most, split only between
// characters and joined by blanks. Control characters, line breaks among them, become blanks first.
std::string EncodeHeaderText(const std::string& text);
// The Content-Disposition value of an attachment named FileName (RFC 2231 for a name that is not plain
// ASCII).
std::string AttachmentDisposition(const std::string& fileName);
// RFC 5322 date: "Wed, 10 Dec 2025 10:31:44 +0100" with English names whatever the locale.
std::string MailDate(TDateTime value);
