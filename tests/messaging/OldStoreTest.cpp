// A store written by the first version of the program (kept under tests/store/data)
// opens, is upgraded in place and works; its log begins at the upgrade. So does a store
// whose log has the first layout (one row per message and kind).
#include "TestStore.h"

using namespace larkspur::test;

namespace {

TEST_F(StoreFixture, FirstVersionStoreIsUpgradedInPlaceAndWorks)
{
    if (teststores::onServer())
        GTEST_SKIP() << "stores of the first version were files";
    std::filesystem::remove(file());
    std::filesystem::copy_file(STORE_DATA "/demo-v1.db", file());
    {
        Session s = logon();
        EXPECT_EQ(s.InfoStores().Count(), 14);
        Folder calendar = mailboxFolder(s, "Tom Harding");
        Folder shared = sharedCalendar(s);
        EXPECT_EQ(calendar.Messages().Count(), 20);
        EXPECT_EQ(shared.Revision(), 1);
        EXPECT_TRUE(shared.ChangesSince(0).tooOld); // what came before the upgrade is not in the log
        EXPECT_TRUE(shared.ChangesSince(1).changes.empty());

        // The newest message of the file goes; a new one never takes its identifier.
        Messages messages = calendar.Messages();
        Message newest = messages.Item(messages.Count());
        const std::string gone = newest.ID();
        newest.Delete();
        Message source = calendar.Messages().Item(1);
        for (Message m : calendar.Messages()) // a private item's copy would have to be masked
            if (m.Sensitivity() != 2) {
                source = m;
                break;
            }
        Message copy = source.CopyTo(shared.ID());
        copy.Update();
        EXPECT_NE(copy.ID(), gone);
        EXPECT_EQ(errorOf([&] { s.GetMessage(gone); }), ErrorCode::NotFound);

        const FolderChanges changes = shared.ChangesSince(1);
        ASSERT_EQ(changes.changes.size(), 1u);
        EXPECT_EQ(changes.changes[0].entryId, copy.ID());
        EXPECT_EQ(changes.changes[0].kind, ChangeKind::Added);
        EXPECT_EQ(changes.revision, 2);
        EXPECT_EQ(calendar.ChangesSince(1).changes.size(), 1u); // the deletion
    }
    EXPECT_TRUE(consistent());
    Session again = logon();
    EXPECT_EQ(sharedCalendar(again).Messages().Count(), 1);
    EXPECT_EQ(mailboxFolder(again, "Tom Harding").Messages().Count(), 19);
}

TEST_F(StoreFixture, FirstChangeLogLayoutIsReplacedAndAnswersFromTheUpgrade)
{
    std::int64_t before = 0;
    {
        Session s = logon();
        Messages messages = sharedCalendar(s).Messages();
        messages.Add().Update();
        messages.Add().Update();
        before = sharedCalendar(s).Revision();
    }
    // Each engine's first log layout: one row per message and kind.
    const bool server = teststores::onServer();
    teststores::runSql(file(), "DROP TABLE changes");
    teststores::runSql(file(), std::string("CREATE TABLE changes(folder_id BIGINT NOT NULL, revision BIGINT NOT NULL, "
                                           "message_id BIGINT NOT NULL, kind INTEGER NOT NULL, "
                                           "PRIMARY KEY(folder_id, revision, message_id, kind))")
                                   + (server ? "" : " WITHOUT ROWID"));
    teststores::runSql(file(), server ? "UPDATE meta SET value = '4' WHERE key = 'schema_version'"
                                      : "PRAGMA user_version = 3");
    Session s = logon();
    Folder shared = sharedCalendar(s);
    EXPECT_TRUE(shared.ChangesSince(before - 1).tooOld); // the dropped log cannot answer
    EXPECT_TRUE(shared.ChangesSince(before).changes.empty());
    shared.Messages().Add().Update();
    EXPECT_EQ(shared.ChangesSince(before).changes.size(), 1u);
    EXPECT_TRUE(consistent());
}

} // namespace
