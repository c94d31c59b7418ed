// The POP3 client for the log-in before sending: a session with log-in, the mailbox status, QUIT.
//
//     TPop3Client client;     // Host, Username, Password, Timeouts, AbortRequested
//     client.Connect();       // raises: refused, unreachable, silent server, log-in refused
//     if (client.Connected()) { client.MailboxStatus(); client.Disconnect(); }
#pragma once

#include "engine/net/mail_client.h"

#include <cstdint>

struct TMailboxStatus {
    std::int64_t MessageCount = 0;
    std::int64_t Size = 0; // bytes of all messages
};

class TPop3Client : public TMailClient {
public:
    // The standard port is 110.
    TPop3Client();

    // Opens the session: reads the greeting and logs in with Username and Password by the best method
    // the server offers. Raises Exception on failure.
    void Connect();
    // STAT on the session. Raises Exception on failure.
    TMailboxStatus MailboxStatus();

protected:
    void ConfigureSession(TSession& session) override;
};
