// The names the store tool's and the calendar server's tests know the shared store
// fixture by (see tests/support/StoreFixture.h).
#pragma once

#include "../support/StoreFixture.h"

namespace worktest {
using namespace testsupport;
using TempStore = StoreFixture;
struct StoreWork : StoreFixture {
    StoreFixture &store = *this;
};
} // namespace worktest
