// The loopback HTTP test server.
#include "tests/support/http_server.h"

#include <stdexcept>

namespace testing_support {

HttpTestServer::HttpTestServer() {
    m_process.Start({"/usr/bin/python3", "-W", "ignore", BRIMVALE_HTTP_SERVER_SCRIPT, m_root.Path()}, false,
                    true);
    const std::string line = m_process.ReadLine(20000);
    if (line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the HTTP test server did not start");
    m_port = std::stoi(line.substr(5));
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::Serve(const std::string& path, const std::string& content) {
    WriteFile(m_root / path, content);
}

} // namespace testing_support
