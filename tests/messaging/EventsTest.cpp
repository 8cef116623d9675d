// The event binding service: a binding's rules before and after it is saved, and the
// script left pending on its hidden message. (Installing and removing scripts is tested
// with the script actions.)
#include "TestStore.h"

using namespace larkspur::test;

namespace {

TEST_F(StoreFixture, BindingRulesBeforeAndAfterSavingAndItsPendingScript)
{
    Session session = logon();
    const Folder inbox = mailboxFolder(session, "Ann Lee", "Inbox");
    const auto events = Events::Create("MSExchange.Events");
    EXPECT_EQ(errorOf([&] { events->BoundFolder(inbox, true); }), ErrorCode::InvalidArgument); // no session yet
    events->SetSession(session);
    const auto bindings = [&] { return events->BoundFolder(inbox, true).Bindings(); };
    Binding b = bindings().Add();
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
    Bindings all = bindings();
    ASSERT_EQ(all.Count(), 1);
    EXPECT_EQ(all.Item(1).Name(), "Renamed");
    session.GetMessage(b.EntryID()).Delete();
    EXPECT_EQ(errorOf([&] { b.SaveChanges(); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { all.Item(1); }), ErrorCode::NotFound);
}

} // namespace
