// When writes become visible to others and survive: at Logoff, at the release of the
// last handle, and before an error leaves the object model.
#include "TestStore.h"

#include <optional>

using namespace larkspur::test;

namespace {

using larkspur::test::PrintTo;

struct CommitPoint {
    const char *name;
    // Ends the work of the session that saved the items; returns how many it added.
    int (*end)(std::optional<Session> &session, Folder &calendar);
    std::int32_t error; // of the call that ends the work, 0 for none
};

class CommitPoints : public StoreFixture, public ::testing::WithParamInterface<CommitPoint> {};

TEST_P(CommitPoints, AnotherConnectionSeesEveryWriteAndCanWriteItself)
{
    const int n = 2500;
    std::optional<Session> s(logon());
    Folder calendar = sharedCalendar(*s);
    for (int i = 0; i < n; ++i)
        addItem(calendar, std::to_string(i));
    int added = 0;
    EXPECT_EQ(errorOf([&] { added = GetParam().end(s, calendar); }), GetParam().error);
    Session other = logon();
    EXPECT_EQ(sharedCalendar(other).Messages().Count(), n + added);
    addItem(sharedCalendar(other), "other");
    other.Logoff();
    EXPECT_TRUE(consistent());
}

INSTANTIATE_TEST_SUITE_P(
    Durability, CommitPoints,
    ::testing::Values(CommitPoint{"Logoff", [](std::optional<Session> &s, Folder &) { s->Logoff(); return 0; }, 0},
                      // The folder handle holds the session open after the session itself is gone.
                      CommitPoint{"ReleaseOfTheLastHandle",
                                  [](std::optional<Session> &s, Folder &calendar) {
                                      s.reset();
                                      addItem(calendar, "late");
                                      calendar = Folder(nullptr, 0);
                                      return 1;
                                  },
                                  0},
                      CommitPoint{"ErrorLeavingTheModel",
                                  [](std::optional<Session> &s, Folder &) {
                                      s->GetMessage("0000");
                                      return 0;
                                  },
                                  ErrorCode::NotFound}),
    ParamName());

TEST_F(StoreFixture, StoreFileIsOwnerOnlyAndNeverMadeByAccident)
{
    // On a server: a database that already holds a store is refused the same way.
    EXPECT_EQ(errorOf([&] { ServerAdmin::createStore(file()); }), ErrorCode::InvalidArgument);
    if (!teststores::onServer()) {
        ServerAdmin::createStore(dir() / "made.db");
        EXPECT_EQ(std::filesystem::status(dir() / "made.db").permissions(), std::filesystem::perms(0600));
    }
    EXPECT_EQ(errorOf([&] { ServerAdmin(dir() / "none.db"); }), ErrorCode::LogonFailed);
    EXPECT_FALSE(std::filesystem::exists(dir() / "none.db"));
}

} // namespace
