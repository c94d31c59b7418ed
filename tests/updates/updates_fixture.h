// What the update tests share: the program's dispatcher to the main thread,
// dialogs answered from a script, a recorder of the addresses handed to the web browser, a temporary
// folder and a loopback HTTP server.
#pragma once

#include "app/widgets/qt_dispatcher.h"
#include "tests/support/http_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

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

class UpdatesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    UpdatesTest();
    ~UpdatesTest() override;

    std::string Temp(const std::string& relative) const { return m_temp / relative; }

    TempDir m_temp;
    TQtDispatcher m_dispatcher;
    ScriptedDialogs m_dialogs;
    HttpTestServer m_server;
};

} // namespace testing_support
