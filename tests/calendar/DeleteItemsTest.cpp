// Emptying the shared calendar and deleting one user's copies, on real store files.
#include "StoreFixture.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/Error.h"

#include <gtest/gtest.h>

#include <ostream>

using testsupport::Item;

namespace {

class DeleteItems : public ::testing::Test, public testsupport::StoreFixture {
protected:
    void fillShared(const std::vector<std::string> &subjects)
    {
        std::vector<Item> shared;
        for (const std::string &subject : subjects)
            shared.push_back(Item{subject});
        fill("", shared);
    }
};

class DeleteOrder : public DeleteItems, public ::testing::WithParamInterface<int> {};

// When the k-th deletion fails, the items already gone show the order: the last ones.
TEST_P(DeleteOrder, FromTheLastItemToTheFirst)
{
    fillShared({"one", "two", "three", "four"});
    const int k = GetParam();
    messaging::faults::failCall("Message.Delete", k);
    messaging::Session s = logon();
    EXPECT_THROW(calendar::deleteAllItems(s), messaging::Error);
    const std::vector<std::string> all = {"one", "two", "three", "four"};
    EXPECT_EQ(sharedSubjects(false), std::vector<std::string>(all.begin(), all.begin() + (4 - k + 1)));
}

INSTANTIATE_TEST_SUITE_P(FailingDeletion, DeleteOrder, ::testing::Values(1, 2, 3, 4));

TEST_F(DeleteItems, MoreThan32767ItemsAreAllDeleted)
{
    constexpr int count = 40000;
    messaging::Session s = logon();
    EXPECT_EQ(calendar::deleteAllItems(s), 0);
    const messaging::Messages messages = testsupport::sharedFolder(s).Messages();
    for (int i = 0; i < count; ++i) {
        messaging::Message m = messages.Add();
        m.SetSubject("item " + std::to_string(i));
        m.Update();
    }
    EXPECT_EQ(calendar::deleteAllItems(s), count);
    s.Logoff();
    EXPECT_TRUE(sharedSubjects().empty());
}

// --- one user's items ----------------------------------------------------------------------

struct KeyCase {
    const char *name;
    std::string tag;      // the chosen user's tag
    std::string otherTag; // another user's tag
};
void PrintTo(const KeyCase &c, std::ostream *os) { *os << c.name; }

class DeleteOneUser : public DeleteItems, public ::testing::WithParamInterface<KeyCase> {};

// Copies and items entered directly: only subjects beginning with the whole prefix go.
TEST_P(DeleteOneUser, WholeOwnerPrefixSelects)
{
    const std::string mine = GetParam().tag + "- ";
    const std::string theirs = GetParam().otherTag + "- ";
    addUser("Bob", GetParam().tag);
    addUser("Eve", GetParam().otherTag);
    fillShared({mine + "one", theirs + "two", "Staff meeting", mine + "three", "About " + mine + "x",
                theirs + "four", mine.substr(0, mine.size() - 1) + "five"});
    messaging::Session s = logon();
    EXPECT_EQ(calendar::deleteUserItems(s, "Mailbox - Bob"), 2);
    s.Logoff();
    EXPECT_EQ(sharedSubjects(false), (std::vector<std::string>{theirs + "two", "Staff meeting", "About " + mine + "x",
                                                               theirs + "four", mine.substr(0, mine.size() - 1) + "five"}));
}

INSTANTIATE_TEST_SUITE_P(
    TagLengths, DeleteOneUser,
    ::testing::Values(KeyCase{"Empty", "", "E"}, KeyCase{"One", "A", "AB"}, KeyCase{"Two", "AB", "A"},
                      KeyCase{"Three", "ABC", "ABCD"}, KeyCase{"Four", "ABCD", "ABCDE"},
                      KeyCase{"FiveSharingFour", "ABCDE", "ABCDF"}, KeyCase{"CaseOnly", "abcd", "ABCD"},
                      KeyCase{"NonAscii", "\xC3\x84" "B", "\xC3\x84" "BC"}),
    [](const auto &tc) { return std::string(tc.param.name); });

struct LookUpCase {
    const char *name;
    std::string picker;
    std::optional<std::string> tag;
};
void PrintTo(const LookUpCase &c, std::ostream *os) { *os << c.name; }

class DeleteOneUserLookUp : public DeleteItems, public ::testing::WithParamInterface<LookUpCase> {};

TEST_P(DeleteOneUserLookUp, FailureBeforeTheCalendarDeletesNothing)
{
    addUser("Bob", GetParam().tag);
    fillShared({"BB- one", "- two", "three"});
    messaging::Session s = logon();
    EXPECT_THROW(calendar::deleteUserItems(s, GetParam().picker), messaging::Error);
    EXPECT_EQ(sharedSubjects().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeleteOneUserLookUp,
                         ::testing::Values(LookUpCase{"UnknownUser", "Mailbox - Nobody", "BB"},
                                           LookUpCase{"TenCharactersOnly", "Mailbox - ", "BB"},
                                           LookUpCase{"NoOwnerTag", "Mailbox - Bob", std::nullopt}),
                         [](const auto &tc) { return std::string(tc.param.name); });

TEST_F(DeleteItems, FailedDeletionKeepsWhatIsLeft)
{
    addUser("Bob", "BB");
    fillShared({"BB- 1", "BB- 2", "BB- 3", "other"});
    messaging::faults::failCall("Message.Delete", 2);
    messaging::Session s = logon();
    EXPECT_THROW(calendar::deleteUserItems(s, "Mailbox - Bob"), messaging::Error);
    EXPECT_EQ(sharedSubjects(false), (std::vector<std::string>{"BB- 2", "BB- 3", "other"}));
}

} // namespace
