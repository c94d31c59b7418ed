// The libcurl side of a mail client's session; included only by the clients' own sources.
#pragma once

#include "engine/net/mail_client.h"

#include <curl/curl.h>

#include <exception>
#include <string>
#include <vector>

struct TMailClient::TSession {
    TSession() = default;
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // The client; the session is handed to libcurl's callbacks, which may still run while the handle is
    // cleaned up.
    TMailClient* Owner = nullptr;
    CURL* Curl = nullptr;
    CURLU* Url = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    // The server's reply lines of the current command, without their line ends.
    std::vector<std::string> Replies;
    curl_off_t SentReported = 0;
    curl_off_t ReceivedReported = 0;
    // An exception of a callback, carried past libcurl and raised again once the command has ended.
    std::exception_ptr CallbackError;
};
