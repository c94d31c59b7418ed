// The update tests' fixture.
#include "tests/updates/updates_fixture.h"

#include "engine/helpers.h"
#include "engine/net/mail_client.h"
#include "engine/thread.h"

namespace testing_support {
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
