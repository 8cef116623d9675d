// Message collections (positions, enumeration while deleting, the subject filter) and
// the life of one message (properties, Update, Delete, CopyTo).
#include "TestStore.h"

using namespace larkspur::test;

namespace {

using larkspur::test::PrintTo;

class MessagesTest : public StoreFixture {
protected:
    void SetUp() override
    {
        session = logon();
        calendar = mailboxFolder(session);
        shared = sharedCalendar(session);
    }
    void fill(int n)
    {
        for (int i = 1; i <= n; ++i)
            addItem(shared, "Item " + std::to_string(i));
    }

    Session session{std::filesystem::path()};
    Folder calendar{nullptr, 0};
    Folder shared{nullptr, 0};
};

TEST_F(MessagesTest, DeletingKeepsThePositionsOfTheOthers)
{
    fill(5);
    Messages messages = shared.Messages();
    messages.Item(2).Delete();
    EXPECT_EQ(messages.Count(), 5); // the snapshot keeps its size
    EXPECT_EQ(messages.Item(1).Subject(), "Item 1");
    EXPECT_EQ(messages.Item(3).Subject(), "Item 3");
    EXPECT_EQ(errorOf([&] { messages.Item(2); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { messages.Item(6); }), ErrorCode::InvalidArgument);
    EXPECT_EQ(errorOf([&] { messages.Item(0); }), ErrorCode::InvalidArgument);
    EXPECT_EQ(shared.Messages().Count(), 4); // a new collection sees the folder as it is
}

struct DeletionPattern {
    const char *name;
    // Which members (0-based positions) the loop deletes when it reaches member i of 8.
    std::vector<int> (*deleteAt)(int i);
    std::vector<int> visited;
};

class EnumerationWhileDeleting : public MessagesTest, public ::testing::WithParamInterface<DeletionPattern> {};

TEST_P(EnumerationWhileDeleting, VisitsEachRemainingMemberOnce)
{
    fill(8);
    std::vector<Message> handles;
    for (Message m : shared.Messages())
        handles.push_back(m);
    std::vector<int> visited;
    for (Message m : shared.Messages()) {
        int i = std::stoi(m.Subject().substr(5)) - 1;
        visited.push_back(i);
        for (int d : GetParam().deleteAt(i))
            if (d >= 0 && d < 8)
                errorOf([&] { handles[static_cast<std::size_t>(d)].Delete(); });
    }
    EXPECT_EQ(visited, GetParam().visited);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, EnumerationWhileDeleting,
    ::testing::Values(
        DeletionPattern{"DeleteEachWhenReached", [](int i) { return std::vector<int>{i}; }, {0, 1, 2, 3, 4, 5, 6, 7}},
        DeletionPattern{"DeleteTheNextOne", [](int i) { return std::vector<int>{i + 1}; }, {0, 2, 4, 6}},
        DeletionPattern{"DeleteEverythingAtTheStart",
                        [](int i) { return i == 0 ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7} : std::vector<int>{}; },
                        {0}},
        DeletionPattern{"DeleteTheLastOneEarly", [](int i) { return i == 1 ? std::vector<int>{7} : std::vector<int>{}; },
                        {0, 1, 2, 3, 4, 5, 6}},
        DeletionPattern{"DeleteEarlierOnes", [](int i) { return std::vector<int>{i - 1, i - 2}; },
                        {0, 1, 2, 3, 4, 5, 6, 7}}),
    ParamName());

TEST_F(MessagesTest, MessagesAddedDuringEnumerationAreNotVisited)
{
    fill(3);
    int visited = 0;
    for (Message m : shared.Messages()) {
        ++visited;
        addItem(shared, "late " + m.Subject());
    }
    EXPECT_EQ(visited, 3);
    EXPECT_EQ(shared.Messages().Count(), 6);
}

TEST_F(MessagesTest, CopyHoldsEverySavedPropertyButTheImportUid)
{
    const std::vector<std::string> categories{"Work", "Holiday", "with:colon", ""};
    Message source = calendar.Messages().Add();
    source.SetSubject("Offsite");
    source.SetText("Bring boots");
    source.SetSensitivity(2);
    source.SetCategories(categories);
    source.SetAllDayEvent(1);
    source.SetLocation("Ridge");
    source.SetStartTime(45000.375);
    source.SetEndTime(45000.5);
    source.SetStamp("Y:Ridge:45000.375:Offsite");
    for (const auto &[tag, value] : std::vector<std::pair<std::uint32_t, PropValue>>{
             {0x80010003, std::int64_t(42)}, {0x80020005, 2.5}, {0x8003000B, true},
             {PropTag::ICalendarSource, std::string("BEGIN:VEVENT")}})
        source.Fields().Item(tag).SetValue(value);
    source.Fields().Item(PropTag::ICalendarUid).SetValue(std::string("uid-1"));
    source.Update();
    source.SetSubject("Unsaved change"); // not saved: the copy does not see it
    Message copy = source.CopyTo(shared.ID());
    copy.Update();

    // All the saved item holds, its fields by tag and text; the item's own uid apart.
    const auto saved = [&](const Message &m) {
        std::vector<std::pair<std::uint32_t, std::string>> fields;
        for (std::uint32_t tag : m.Fields().Tags())
            fields.emplace_back(tag, tag == PropTag::ICalendarUid ? "" : m.Fields().Item(tag).Text());
        return std::tuple(m.Subject(), m.Text(), m.Sensitivity(), m.Categories(), m.AllDayEvent(), m.Location(),
                          m.StartTime(), m.EndTime(), m.Stamp(), fields);
    };
    auto expected = saved(session.GetMessage(source.ID()));
    EXPECT_EQ(std::get<3>(expected), categories);
    std::get<9>(expected).pop_back();
    const Message back = session.GetMessage(copy.ID());
    EXPECT_EQ(back.FolderID(), shared.ID());
    EXPECT_EQ(saved(back), expected);
    EXPECT_EQ(session.GetMessage(source.ID()).Fields().Item(PropTag::ICalendarUid).Text(), "uid-1");
}

TEST_F(MessagesTest, AnEmptyCategoryListIsKeptApartFromNone)
{
    Message m = addItem(calendar, "Bare");
    EXPECT_EQ(session.GetMessage(m.ID()).Categories(), std::nullopt);
    m.SetCategories(std::vector<std::string>{});
    m.Update();
    EXPECT_EQ(session.GetMessage(m.ID()).Categories(), std::vector<std::string>{});
}

TEST_F(MessagesTest, HandlesOfOneMessageShareUnsavedChanges)
{
    Message a = addItem(calendar, "Original");
    Message b = a;
    b.SetSubject("Changed");
    EXPECT_EQ(a.Subject(), "Changed");
    EXPECT_EQ(session.GetMessage(a.ID()).Subject(), "Original");
    a.Update();
    EXPECT_EQ(session.GetMessage(a.ID()).Subject(), "Changed");
}

TEST_F(MessagesTest, DeletedMessageCannotBeSavedReadOrCopied)
{
    Message a = addItem(calendar, "Gone");
    Message stale = session.GetMessage(a.ID());
    a.Delete();
    stale.SetSubject("Revived?");
    stale.SetStamp("stamp");
    EXPECT_EQ(errorOf([&] { stale.Update(); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { a.Subject(); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { a.Delete(); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { a.CopyTo(shared.ID()); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { session.GetMessage(a.ID()); }), ErrorCode::NotFound);
    EXPECT_EQ(calendar.Messages().Count(), 0);
}

TEST_F(MessagesTest, GetMessageFindsAMessageInAnyVisibleStore)
{
    Message mine = addItem(calendar, "Mine");
    Message pub = addItem(shared, "Public");
    EXPECT_EQ(session.GetMessage(mine.ID()).Subject(), "Mine");
    EXPECT_EQ(session.GetMessage(pub.ID(), "").Subject(), "Public");
    std::string annStore = session.InfoStores().Item("Mailbox - Ann Lee").ID();
    EXPECT_EQ(session.GetMessage(mine.ID(), annStore).Subject(), "Mine");
    EXPECT_EQ(errorOf([&] { session.GetMessage(pub.ID(), annStore); }), ErrorCode::NotFound);
}

} // namespace
