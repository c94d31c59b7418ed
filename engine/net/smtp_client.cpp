// The SMTP client over libcurl: the session, and a message turned into libcurl MIME parts.
#include "engine/net/smtp_client.h"

#include "engine/exception.h"
#include "engine/net/mail_curl.h"
#include "platform/file_io.h"

#include <unistd.h>

#include <memory>

namespace {

struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

struct TMimeDeleter {
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
using TMime = std::unique_ptr<curl_mime, TMimeDeleter>;

void Append(TSlist& list, const std::string& text) {
    curl_slist* longer = curl_slist_append(list.get(), text.c_str());
    if (!longer)
        throw Exception(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    list.release();
    list.reset(longer);
}

void Check(CURLcode code) {
    if (code != CURLE_OK)
        throw Exception(curl_easy_strerror(code));
}

curl_mimepart* AddPart(curl_mime* mime) {
    curl_mimepart* part = curl_mime_addpart(mime);
    if (!part)
        throw Exception(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    return part;
}

std::string TextContentType(const std::string& contentType) {
    const bool isText = contentType.rfind("text/", 0) == 0;
    return isText && contentType.find("charset") == std::string::npos ? contentType + "; charset=UTF-8"
                                                                      : contentType;
}

std::string AttachmentContentType(const std::string& fileName) {
    const std::string extension = platform::ExtractFileExt(fileName);
    if (extension == ".zip")
        return "application/zip";
    if (extension == ".log" || extension == ".txt")
        return "text/plain; charset=UTF-8";
    return "application/octet-stream";
}

// The name we greet the server with: this machine's name when it is a plain host name.
std::string HeloName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    for (const char* c = name; *c; ++c) {
        const bool plain = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') ||
                           *c == '.' || *c == '-';
        if (!plain)
            return "localhost";
    }
    return name;
}

// multipart/mixed around a multipart/alternative of the text parts, then the attachments in base64.
TMime BuildMime(CURL* curl, const TMimeMessage& message) {
    TMime mime(curl_mime_init(curl));
    if (!mime)
        throw Exception(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    if (!message.TextParts.empty()) {
        TMime alternative(curl_mime_init(curl));
        if (!alternative)
            throw Exception(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
        for (const TTextPart& text : message.TextParts) {
            curl_mimepart* part = AddPart(alternative.get());
            const std::string body = text.Text();
            Check(curl_mime_data(part, body.data(), body.size()));
            Check(curl_mime_type(part, TextContentType(text.ContentType).c_str()));
            Check(curl_mime_encoder(part, "quoted-printable"));
        }
        curl_mimepart* part = AddPart(mime.get());
        Check(curl_mime_subparts(part, alternative.get()));
        alternative.release(); // the part owns it now
        Check(curl_mime_type(part, "multipart/alternative"));
    }
    for (const std::string& fileName : message.Attachments) {
        curl_mimepart* part = AddPart(mime.get());
        if (curl_mime_filedata(part, fileName.c_str()) != CURLE_OK)
            throw Exception(std::string(curl_easy_strerror(CURLE_READ_ERROR)) + ": " + fileName);
        Check(curl_mime_type(part, AttachmentContentType(fileName).c_str()));
        Check(curl_mime_encoder(part, "base64"));
        // Our own disposition: libcurl would write a name that is not ASCII as it stands.
        TSlist headers;
        Append(headers, "Content-Disposition: " + AttachmentDisposition(fileName));
        Check(curl_mime_headers(part, headers.get(), 1));
        headers.release();
    }
    return mime;
}

} // namespace

TSmtpClient::TSmtpClient() : TMailClient("smtp", 25) {}

std::string TSmtpClient::UrlPath() const {
    // libcurl greets with the URL's path.
    return "/" + HeloName();
}

void TSmtpClient::ConfigureSession(TSession& session) {
    if (!Username.empty())
        curl_easy_setopt(session.Curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
}

void TSmtpClient::Connect() {
    // libcurl logs in as part of a command; NOOP is the command that changes nothing.
    CURL* curl = Session().Curl;
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    Perform();
}

void TSmtpClient::Send(const TMimeMessage& message) {
    TSlist recipients;
    for (const auto* list : {&message.To, &message.CC, &message.BCC})
        for (const TMailAddress& item : *list)
            if (const std::string address = CleanMailAddress(item.Address); !address.empty())
                Append(recipients, address);
    if (!recipients)
        throw Exception("No recipients specified");

    CURL* curl = Session().Curl;
    TMime mime = BuildMime(curl, message);
    TSlist headers;
    for (const std::string& header : message.OwnHeaders())
        Append(headers, header);

    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    const std::string sender = CleanMailAddress(message.From.Address);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());
    // The handle outlives this message: it must not keep pointers to what is freed here.
    struct TForget {
        TSmtpClient& client;
        ~TForget() {
            if (!client.HasSession())
                return;
            CURL* curl = client.Session().Curl;
            curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
            curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
            curl_easy_setopt(curl, CURLOPT_MAIL_FROM, nullptr);
        }
    } forget{*this};
    Perform();
}
