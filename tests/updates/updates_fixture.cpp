// The update tests' fixture.
#include "tests/updates/updates_fixture.h"

#include "engine/helpers.h"
#include "engine/net/mail_client.h"
#include "engine/thread.h"

#include <QDesktopServices>

namespace testing_support {
namespace {
const char* const Schemes[] = {"http", "https", "file", "ftp", "javascript"};
}

UrlRecorder::UrlRecorder() {
    for (const char* scheme : Schemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
}

UrlRecorder::~UrlRecorder() {
    for (const char* scheme : Schemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void UrlRecorder::Open(const QUrl& url) {
    opened << url.toString();
}

void UpdatesTest::SetUpTestSuite() {
    InitMailClients();
}

UpdatesTest::UpdatesTest() {
    SetDispatcher(&m_dispatcher);
    AppTitle = "Brimvale 2.0";
}

UpdatesTest::~UpdatesTest() {
    SetDispatcher(nullptr);
    AppTitle.clear();
}

} // namespace testing_support
