// The SMTP client: a session with greeting and LOGIN authentication, and the sending of a message.
//
// The sending sequence maps onto it like this:
//     TSmtpClient client;                 // Host, Username, Password, Timeouts, OnWork, AbortRequested
//     client.Connect();                   // raises: refused, unreachable, silent server, log-in refused
//     if (!client.Connected()) ...        // not reached after a Connect that returned; kept as the guard
//     ... build the message, estimate its size from HeaderText() ...
//     try { client.Send(message); } catch (const Exception&) { ... }  // the transfer's own outcome
//     if (client.Connected()) client.Disconnect();                     // QUIT
// Connect and Send are one session: Send goes out on the connection Connect opened and logged in. So a
// failure of Connect is a connection or log-in failure, and a failure of Send is a failure of the
// transfer (a refused sender or recipient, a broken connection, a time-out, an abort).
#pragma once

#include "engine/net/mail_client.h"
#include "engine/net/mime_message.h"

class TSmtpClient : public TMailClient {
public:
    // The standard port is 25.
    TSmtpClient();

    // Opens the session: reads the greeting, says EHLO and authenticates with AUTH LOGIN; with an empty
    // Username there is no AUTH at all (a relay that needs none). Raises Exception on failure.
    void Connect();
    // Sends Message: MAIL FROM its sender, RCPT TO each address of To, CC and BCC, then the headers and
    // parts. Opens a session first when there is none. Raises Exception when no recipient has an
    // address, when an attachment cannot be read, and when the transfer fails.
    void Send(const TMimeMessage& message);

protected:
    std::string UrlPath() const override;
    void ConfigureSession(TSession& session) override;
};
