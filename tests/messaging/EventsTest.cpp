// The event binding service: bound folders, bindings and their hidden messages.
#include "TestStore.h"

#include "messaging/Events.h"
#include "messaging/PropTags.h"

using namespace messaging;
using larkspur::test::errorOf;
using larkspur::test::StoreFixture;

namespace {

class EventsTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        ServerAdmin(storePath()).addUser("Ann Lee", std::string("AL"));
        session = logon();
        inbox = larkspur::test::mailboxFolder(session, "Ann Lee", "Inbox");
        events = Events::Create("MSExchange.Events");
        events->SetSession(session);
    }
    // Installs a binding the way the script pages do; returns its entry id.
    std::string install(const std::string &name, const std::string &script, std::int16_t mask = 5)
    {
        BoundFolder bound = events->BoundFolder(inbox, true);
        Binding b = bound.Bindings().Add();
        b.SetName(name);
        b.SetActive(true);
        b.SetEventMask(mask);
        b.SetHandlerClassID(std::string(ScriptHandlerClassId));
        b.SaveChanges();
        Message m = session.GetMessage(b.EntryID(), "");
        m.Fields().Item(PropTag::ScriptText).SetValue(script);
        m.Update();
        b.SaveCustomChanges(m);
        bound.SaveChanges();
        return b.EntryID();
    }

    Session session{std::filesystem::path()};
    Folder inbox{nullptr, 0};
    std::unique_ptr<Events> events;
};

TEST(EventsCreate, OnlyTheRegisteredClassName)
{
    EXPECT_NE(Events::Create("MSExchange.Events"), nullptr);
    for (const char *name : {"MSExchange.Event", "msexchange.events", "", "MAPI.Session"})
        EXPECT_EQ(errorOf([&] { Events::Create(name); }), ErrorCode::CannotCreateObject) << name;
}

TEST_F(EventsTest, BoundFolderRecordIsCreatedOnDemandAndSavedOnRequest)
{
    auto fresh = Events::Create("MSExchange.Events");
    EXPECT_EQ(errorOf([&] { fresh->BoundFolder(inbox, true); }), ErrorCode::InvalidArgument);  // no session yet
    EXPECT_EQ(errorOf([&] { events->BoundFolder(inbox, false); }), ErrorCode::NotFound);
    BoundFolder bound = events->BoundFolder(inbox, true);
    EXPECT_FALSE(bound.saved());
    EXPECT_EQ(bound.Bindings().Count(), 0);
    bound.SaveChanges();
    EXPECT_TRUE(events->BoundFolder(inbox, false).saved());
}

TEST_F(EventsTest, InstalledBindingIsStoredWithItsScriptAndHiddenFromMessages)
{
    larkspur::test::addItem(inbox, "Visible mail");
    std::string id = install("Auto reply", "\r\nSub Folder_OnMessageCreated\r\nEnd Sub", 5);
    session.Logoff();
    session.Logon("Administrator");
    events->SetSession(session);
    inbox = larkspur::test::mailboxFolder(session, "Ann Lee", "Inbox");

    EXPECT_EQ(larkspur::test::subjects(inbox), std::vector<std::string>{"Visible mail"});
    Bindings bindings = events->BoundFolder(inbox, false).Bindings();
    ASSERT_EQ(bindings.Count(), 1);
    Binding b = bindings.Item(1);
    EXPECT_EQ(b.EntryID(), id);
    EXPECT_EQ(b.Name(), "Auto reply");
    EXPECT_TRUE(b.Active());
    EXPECT_EQ(b.EventMask(), 5);
    EXPECT_EQ(b.HandlerClassID(), ScriptHandlerClassId);
    EXPECT_EQ(session.GetMessage(id).Fields().Item(PropTag::ScriptText).Text(),
              "\r\nSub Folder_OnMessageCreated\r\nEnd Sub");
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}

TEST_F(EventsTest, DeletingEveryBindingMessageWhileEnumeratingReachesAll)
{
    for (int i = 0; i < 5; ++i)
        install("Script " + std::to_string(i), "x");
    int reached = 0;
    for (Binding b : events->BoundFolder(inbox, true).Bindings()) {
        session.GetMessage(b.EntryID(), "").Delete();
        ++reached;
    }
    EXPECT_EQ(reached, 5);
    EXPECT_EQ(events->BoundFolder(inbox, true).Bindings().Count(), 0);
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}

TEST_F(EventsTest, BindingRulesBeforeAndAfterSaving)
{
    Binding b = events->BoundFolder(inbox, true).Bindings().Add();
    EXPECT_EQ(errorOf([&] { b.EntryID(); }), ErrorCode::InvalidArgument);
    Message unrelated = larkspur::test::addItem(inbox, "Mail");
    EXPECT_EQ(errorOf([&] { b.SaveCustomChanges(unrelated); }), ErrorCode::InvalidArgument);
    b.SetName("First");
    b.SaveChanges();
    EXPECT_EQ(errorOf([&] { b.SaveCustomChanges(unrelated); }), ErrorCode::InvalidArgument);
    b.SetName("Renamed");
    b.SaveChanges();   // a second save updates the same binding
    Bindings all = events->BoundFolder(inbox, true).Bindings();
    ASSERT_EQ(all.Count(), 1);
    EXPECT_EQ(all.Item(1).Name(), "Renamed");
    session.GetMessage(b.EntryID()).Delete();
    EXPECT_EQ(errorOf([&] { b.SaveChanges(); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { all.Item(1); }), ErrorCode::NotFound);
}

TEST_F(EventsTest, ScriptLeftPendingOnTheMessageIsSavedWithTheBinding)
{
    Binding b = events->BoundFolder(inbox, true).Bindings().Add();
    b.SetName("Pending");
    b.SaveChanges();
    Message m = session.GetMessage(b.EntryID());
    m.Fields().Item(PropTag::ScriptText).SetValue(std::string("script"));
    b.SaveCustomChanges(m);
    EXPECT_EQ(session.GetMessage(b.EntryID()).Fields().Item(PropTag::ScriptText).Text(), "script");
}

TEST_F(EventsTest, BindingsBelongToTheirFolder)
{
    install("Inbox script", "x");
    Folder calendar = larkspur::test::mailboxFolder(session, "Ann Lee");
    EXPECT_EQ(events->BoundFolder(calendar, true).Bindings().Count(), 0);
    EXPECT_EQ(events->BoundFolder(inbox, true).Bindings().Count(), 1);
}

} // namespace
