// The standard paths the actions walk, on a freshly created store.
#include "TestStore.h"

#include "messaging/AddressLists.h"
#include "messaging/Events.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"

using namespace messaging;
using larkspur::test::StoreFixture;

class SmokeTest : public StoreFixture {};

TEST_F(SmokeTest, StandardPathsAndCopyLoop)
{
    {
        ServerAdmin admin(storePath());
        admin.addUser("Ann Lee", std::string("AL"));
        EXPECT_TRUE(admin.check().empty());
    }
    Session session = logon();
    InfoStores stores = session.InfoStores();
    ASSERT_EQ(stores.Count(), 3);
    EXPECT_EQ(stores.Item(1).Name(), "Public Folders");
    EXPECT_EQ(stores.Item(2).Name(), "Mailbox - Administrator");
    EXPECT_EQ(stores.Item(3).Name(), "Mailbox - Ann Lee");

    Folder shared = stores.Item("Public Folders").RootFolder().Folders().Item(2).Folders().Item("Larkspur Calendar");
    Folder calendar = stores.Item("Mailbox - Ann Lee").RootFolder().Folders().Item("Calendar");
    for (int i = 0; i < 3; ++i) {
        Message m = calendar.Messages().Add();
        m.SetSubject("Item " + std::to_string(i));
        m.SetSensitivity(i == 1 ? 2 : 0);
        m.Update();
    }
    AddressEntry ann = session.AddressLists().Item("Global Address List").AddressEntries().Item("Ann Lee");
    std::string tag = ann.Fields().Item(PropTag::OwnerTag).Text();
    EXPECT_EQ(tag, "AL");

    for (Message item : calendar.Messages()) {
        item.SetStamp("N::0:" + item.Subject());
        item.Update();
        Message copy = item.CopyTo(shared.ID());
        copy.SetSubject(tag + "- " + copy.Subject());
        copy.Update();
    }
    Messages copies = shared.Messages();
    ASSERT_EQ(copies.Count(), 3);
    EXPECT_EQ(copies.Item(2).Subject(), "AL- Item 1");
    EXPECT_EQ(copies.Item(2).Stamp(), "N::0:Item 1");

    auto events = Events::Create("MSExchange.Events");
    events->SetSession(session);
    BoundFolder bound = events->BoundFolder(calendar, true);
    Binding binding = bound.Bindings().Add();
    binding.SetName("Script");
    binding.SetActive(true);
    binding.SetEventMask(3);
    binding.SetHandlerClassID(std::string(ScriptHandlerClassId));
    binding.SaveChanges();
    Message bindingMessage = session.GetMessage(binding.EntryID(), "");
    bindingMessage.Fields().Item(PropTag::ScriptText).SetValue(std::string("\r\nline"));
    bindingMessage.Update();
    binding.SaveCustomChanges(bindingMessage);
    bound.SaveChanges();
    EXPECT_EQ(calendar.Messages().Count(), 3);
    session.Logoff();

    Session again = logon();
    Folder cal2 = again.InfoStores().Item("Mailbox - Ann Lee").RootFolder().Folders().Item("Calendar");
    auto events2 = Events::Create("MSExchange.Events");
    events2->SetSession(again);
    Bindings bindings = events2->BoundFolder(cal2, false).Bindings();
    ASSERT_EQ(bindings.Count(), 1);
    Message saved = again.GetMessage(bindings.Item(1).EntryID());
    EXPECT_EQ(saved.Fields().Item(PropTag::ScriptText).Text(), "\r\nline");
    again.Logoff();
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}
