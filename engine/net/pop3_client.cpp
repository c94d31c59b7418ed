// The POP3 client over libcurl.
#include "engine/net/pop3_client.h"

#include "engine/exception.h"
#include "engine/net/mail_curl.h"

#include <charconv>

namespace {

// "+OK <count> <size>" and whatever follows.
bool ParseStat(const std::string& reply, TMailboxStatus& status) {
    if (reply.rfind("+OK ", 0) != 0)
        return false;
    const char* begin = reply.data() + 4;
    const char* end = reply.data() + reply.size();
    auto [afterCount, countError] = std::from_chars(begin, end, status.MessageCount);
    if (countError != std::errc() || afterCount == end || *afterCount != ' ')
        return false;
    auto [afterSize, sizeError] = std::from_chars(afterCount + 1, end, status.Size);
    return sizeError == std::errc();
}

} // namespace

TPop3Client::TPop3Client() : TMailClient("pop3", 110) {}

void TPop3Client::ConfigureSession(TSession& session) {
    // Commands of our own: their one-line replies arrive in the reply callback, and no listing follows.
    curl_easy_setopt(session.Curl, CURLOPT_NOBODY, 1L);
}

void TPop3Client::Connect() {
    // NOOP after the log-in: libcurl runs a command per transfer, and this one changes nothing.
    curl_easy_setopt(Session().Curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    Perform();
}

TMailboxStatus TPop3Client::MailboxStatus() {
    curl_easy_setopt(Session().Curl, CURLOPT_CUSTOMREQUEST, "STAT");
    Perform();
    TMailboxStatus status;
    const std::vector<std::string>& replies = Session().Replies;
    if (replies.empty() || !ParseStat(replies.back(), status))
        throw Exception("Invalid mailbox status: " + (replies.empty() ? std::string() : replies.back()));
    return status;
}
