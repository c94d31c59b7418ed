// What the update tests share: the program's dispatcher to the main thread,
// dialogs answered from a script, a temporary folder and a loopback HTTP server.
#pragma once

#include "tests/support/http_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/url_recorder.h"
#include "widgets/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

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
