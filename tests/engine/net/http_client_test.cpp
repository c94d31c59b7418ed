// The HTTP client against a loopback server: bodies, refused statuses, size limit, time-outs,
// cancelling, and what a failed download leaves behind.
#include "engine/exception.h"
#include "engine/net/http_client.h"
#include "engine/net/mail_client.h"
#include "platform/file_io.h"
#include "tests/support/http_server.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

using namespace testing_support;
using ::testing::HasSubstr;

namespace {

THttpTimeouts ShortTimeouts() {
    THttpTimeouts timeouts;
    timeouts.Connect = std::chrono::seconds(5);
    timeouts.Total = std::chrono::seconds(20);
    timeouts.LowSpeedTime = std::chrono::seconds(20);
    return timeouts;
}

std::string FailureOf(const std::function<void()>& request) {
    try {
        request();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no failure)";
}

class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitMailClients(); }

    HttpClientTest() { m_client.Timeouts = ShortTimeouts(); }

    HttpTestServer m_server;
    THttpClient m_client;
    TempDir m_dir;
};

TEST_F(HttpClientTest, GetReturnsTheBodyUpToTheSizeLimit) {
    m_server.Serve("feed.xml", "<versions/>\n");
    EXPECT_EQ(m_client.Get(m_server.Url("/feed.xml"), 1000), "<versions/>\n");
    EXPECT_EQ(m_client.Get(m_server.Url("/big/1000"), 1000), std::string(1000, 'x'));
    EXPECT_EQ(FailureOf([&] { m_client.Get(m_server.Url("/big/1001"), 1000); }),
              "The answer is larger than 1000 bytes.");
    // A body without an announced length counts the same way.
    EXPECT_EQ(m_client.Get(m_server.Url("/close/500"), 1000), std::string(500, 'x'));
}

TEST_F(HttpClientTest, RefusesWhatIsNoCompleteTwoHundredAnswer) {
    const struct {
        const char* name;
        std::string url;
        const char* failure;
    } cases[] = {
        {"not found", m_server.Url("/status/404"), "HTTP/1.1 404 Not Found"},
        {"server error", m_server.Url("/status/500"), "HTTP/1.1 500 Internal Server Error"},
        {"redirect not followed", m_server.Url("/redirect"), "HTTP/1.1 302 Found"},
        {"cut short", m_server.Url("/short/100"), "transfer closed with 100 bytes remaining"},
        {"another scheme", "file:///etc/passwd", "Only http and https addresses can be fetched."},
        {"no host", "http:///feed.xml", "Only http and https addresses can be fetched."},
        {"empty", "", "Only http and https addresses can be fetched."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_THAT(FailureOf([&] { m_client.Get(row.url, 1000); }), HasSubstr(row.failure));
    }
    // Every 2xx answer counts.
    EXPECT_EQ(m_client.Get(m_server.Url("/status/203"), 1000), "status page");
}

TEST_F(HttpClientTest, TimeOutsEndASilentOrStalledServer) {
    m_client.Timeouts.Total = std::chrono::seconds(1);
    EXPECT_THAT(FailureOf([&] { m_client.Get(m_server.Url("/silent"), 1000); }), HasSubstr("timed out"));

    m_client.Timeouts = ShortTimeouts();
    m_client.Timeouts.LowSpeedTime = std::chrono::seconds(1);
    EXPECT_THAT(FailureOf([&] { m_client.GetFile(m_server.Url("/stall/100"), m_dir / "stalled.bin"); }),
                HasSubstr("too slow"));
    EXPECT_TRUE(Entries(m_dir.Path()).empty());
}

TEST_F(HttpClientTest, GetFileWritesTheWholeBodyAndReportsTheAnnouncedLength) {
    std::vector<std::pair<std::int64_t, std::int64_t>> work;
    m_client.OnWork = [&](std::int64_t total, std::int64_t received) { work.emplace_back(total, received); };
    const std::string target = m_dir / "setup.bin";
    m_client.GetFile(m_server.Url("/big/300000"), target);
    EXPECT_EQ(ReadFile(target), std::string(300000, 'x'));
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.back(), std::make_pair(std::int64_t{300000}, std::int64_t{300000}));
    for (const auto& [total, received] : work)
        EXPECT_EQ(total, 300000);

    work.clear();
    m_client.GetFile(m_server.Url("/close/2000"), target);
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.back(), std::make_pair(std::int64_t{-1}, std::int64_t{2000}));
    EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"setup.bin"});
}

TEST_F(HttpClientTest, AFailedDownloadLeavesTheOldFileAndNoTemporaryFile) {
    const std::string target = m_dir / "setup.bin";
    for (const char* path : {"/status/404", "/short/5000", "/redirect"}) {
        SCOPED_TRACE(path);
        WriteFile(target, "old content");
        EXPECT_NE(FailureOf([&] { m_client.GetFile(m_server.Url(path), target); }), "(no failure)");
        EXPECT_EQ(ReadFile(target), "old content");
        EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"setup.bin"});
    }
    EXPECT_THAT(FailureOf([&] { m_client.GetFile(m_server.Url("/big/10"), m_dir / "missing/setup.bin"); }),
                HasSubstr("Unable to create file \"" + m_dir / "missing/setup.bin\". "));
}

TEST_F(HttpClientTest, CancelEndsADownloadAgainstAStalledServer) {
    bool cancel = false;
    m_client.OnWork = [&](std::int64_t, std::int64_t received) { cancel = received > 0; };
    m_client.AbortRequested = [&] { return cancel; };
    EXPECT_NE(FailureOf([&] { m_client.GetFile(m_server.Url("/stall/100"), m_dir / "stalled.bin"); }),
              "(no failure)");
    // Ended by the cancel, not by the low-speed limit.
    EXPECT_TRUE(m_client.Aborted());
    EXPECT_TRUE(Entries(m_dir.Path()).empty());

    // A request is cancelled also while the server says nothing at all.
    cancel = true;
    EXPECT_NE(FailureOf([&] { m_client.Get(m_server.Url("/silent"), 1000); }), "(no failure)");
    EXPECT_TRUE(m_client.Aborted());
}

TEST(HttpAddressTest, OnlyHttpAndHttpsAddressesWithAHost) {
    EXPECT_TRUE(IsHttpAddress("http://example.com/a"));
    EXPECT_TRUE(IsHttpAddress("HTTPS://example.com"));
    for (const char* address : {"", "http://", "http:///a", "ftp://example.com/a", "file:///etc/passwd",
                                "example.com/a", "javascript:alert(1)", "http:// example.com"})
        EXPECT_FALSE(IsHttpAddress(address)) << address;
}

} // namespace
