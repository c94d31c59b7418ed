// The editor page tests are added here.
#include "tests/app/app_fixture.h"
