// What the update tests share: the program's fixture with the Qt dispatcher installed, a loopback HTTP
// server, and a recorder of the addresses handed to the web browser.
#pragma once

#include "app/qt_dispatcher.h"
#include "tests/app/app_fixture.h"
#include "tests/support/http_server.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace testing_support {

// Takes the place of the web browser for http, https and every other scheme a test hands out.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;

    QStringList opened;

public slots:
    void Open(const QUrl& url);
};

class UpdatesTest : public AppTest {
protected:
    static void SetUpTestSuite();
    UpdatesTest();
    ~UpdatesTest() override;

    TQtDispatcher m_dispatcher;
    HttpTestServer m_server;
};

} // namespace testing_support
