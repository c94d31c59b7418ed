// The web browser's stand-in: records every address handed to it.
#include "tests/support/url_recorder.h"

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

} // namespace testing_support
