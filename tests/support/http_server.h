// A loopback HTTP server for tests (tests/support/http_server.py), stopped when the object goes. It
// serves the files of its own folder and a few paths that misbehave on purpose: "/status/<code>",
// "/redirect", "/big/<n>", "/close/<n>" (no length, ended by closing), "/short/<n>" (cut short),
// "/stall/<n>" (stops sending after n bytes) and "/silent" (never answers).
#pragma once

#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"

#include <string>

namespace testing_support {

class HttpTestServer {
public:
    HttpTestServer();

    // "http://127.0.0.1:<port>" + Path ("/feed.xml").
    std::string Url(const std::string& path) const;
    // Puts a file to serve at Path ("feed.xml").
    void Serve(const std::string& path, const std::string& content);

private:
    TempDir m_root;
    ChildProcess m_process;
    int m_port = 0;
};

} // namespace testing_support
