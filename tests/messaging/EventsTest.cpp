// The event binding service: bound folders, bindings and their hidden messages.
#include "TestStore.h"

using namespace larkspur::test;

namespace {

class EventsTest : public StoreFixture {
protected:
    void SetUp() override
    {
        session = logon();
        inbox = mailboxFolder(session, "Ann Lee", "Inbox");
        events = Events::Create("MSExchange.Events");
        events->SetSession(session);
    }
    std::string install(const std::string &name, const std::string &script = "x")
    {
        int done = 0;
        return installScript(*events, session, inbox, name, script, done);
    }
    Bindings bindings(const Folder &f) { return events->BoundFolder(f, true).Bindings(); }

    Session session{std::filesystem::path()};
    Folder inbox{nullptr, 0};
    std::unique_ptr<Events> events;
};

TEST_F(EventsTest, BoundFolderRecordIsCreatedOnDemandAndSavedOnRequest)
{
    auto fresh = Events::Create("MSExchange.Events");
    EXPECT_EQ(errorOf([&] { fresh->BoundFolder(inbox, true); }), ErrorCode::InvalidArgument); // no session yet
    EXPECT_EQ(errorOf([&] { events->BoundFolder(inbox, false); }), ErrorCode::NotFound);
    BoundFolder bound = events->BoundFolder(inbox, true);
    EXPECT_FALSE(bound.saved());
    EXPECT_EQ(bound.Bindings().Count(), 0);
    bound.SaveChanges();
    EXPECT_TRUE(events->BoundFolder(inbox, false).saved());
}

TEST_F(EventsTest, DeletingEveryBindingMessageWhileEnumeratingReachesAll)
{
    for (int i = 0; i < 5; ++i)
        install("Script " + std::to_string(i));
    int reached = 0;
    for (Binding b : bindings(inbox)) {
        session.GetMessage(b.EntryID(), "").Delete();
        ++reached;
    }
    EXPECT_EQ(reached, 5);
    EXPECT_EQ(bindings(inbox).Count(), 0);
    EXPECT_TRUE(consistent());
}

TEST_F(EventsTest, BindingRulesBeforeAndAfterSavingAndItsPendingScript)
{
    Binding b = bindings(inbox).Add();
    EXPECT_EQ(errorOf([&] { b.EntryID(); }), ErrorCode::InvalidArgument);
    Message unrelated = addItem(inbox, "Mail");
    EXPECT_EQ(errorOf([&] { b.SaveCustomChanges(unrelated); }), ErrorCode::InvalidArgument);
    b.SetName("First");
    b.SaveChanges();
    EXPECT_EQ(errorOf([&] { b.SaveCustomChanges(unrelated); }), ErrorCode::InvalidArgument);
    b.SetName("Renamed");
    b.SaveChanges(); // a second save updates the same binding
    // A script left pending on the binding's message is saved with the binding.
    Message m = session.GetMessage(b.EntryID());
    m.Fields().Item(PropTag::ScriptText).SetValue(std::string("script"));
    b.SaveCustomChanges(m);
    EXPECT_EQ(session.GetMessage(b.EntryID()).Fields().Item(PropTag::ScriptText).Text(), "script");
    Bindings all = bindings(inbox);
    ASSERT_EQ(all.Count(), 1);
    EXPECT_EQ(all.Item(1).Name(), "Renamed");
    session.GetMessage(b.EntryID()).Delete();
    EXPECT_EQ(errorOf([&] { b.SaveChanges(); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { all.Item(1); }), ErrorCode::NotFound);
}

} // namespace
