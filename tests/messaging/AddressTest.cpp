// The address list: entry order, and how a display name resolves to an entry.
#include "TestStore.h"

using namespace larkspur::test;

namespace {

using larkspur::test::PrintTo;

class AddressTest : public StoreFixture {
protected:
    void SetUp() override
    {
        ServerAdmin admin(file());
        admin.beginBatch();
        for (const char *name : {"ann Lee", "Ann Lee Jr", "Bob Stone", "Bob Stoner", "Carla Diaz", "Dan", "Dana",
                                 "Daniel", "Eve"})
            admin.addUser(name, std::string(name).substr(0, 2));
        admin.addUser("Sales", std::nullopt, DisplayType::DistList);
        admin.addUser("Sales", std::string("S2"), DisplayType::DistList); // a second entry of the same name
        admin.addUser("eve", std::nullopt, DisplayType::RemoteUser);
        admin.commitBatch();
    }
    AddressEntries entries(const Session &s) { return s.AddressLists().Item("Global Address List").AddressEntries(); }
};

TEST_F(AddressTest, EntriesComeInDisplayNameOrderIgnoringCaseTiesByCreation)
{
    Session s = logon();
    std::vector<std::string> names;
    for (AddressEntry e : entries(s))
        names.push_back(e.Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Administrator", "Ann Lee", "ann Lee", "Ann Lee Jr", "Bob Stone",
                                                "Bob Stoner", "Carla Diaz", "Dan", "Dana", "Daniel", "Eve", "eve",
                                                "Sales", "Sales"}));
}

struct Resolution {
    const char *name;
    std::string text;
    std::string expectedTag; // empty: not found
};

class NameResolution : public AddressTest, public ::testing::WithParamInterface<Resolution> {};

TEST_P(NameResolution, ExactElseTheOnePrefixMatch)
{
    Session s = logon();
    std::string description;
    std::string tag;
    std::int32_t error = errorOf([&] { tag = entries(s).Item(GetParam().text).Fields().Item(PropTag::OwnerTag).Text(); },
                                 &description);
    if (GetParam().expectedTag.empty()) {
        EXPECT_EQ(error, ErrorCode::NotFound);
        EXPECT_NE(description.find("\"" + GetParam().text + "\""), std::string::npos) << description;
    } else {
        EXPECT_EQ(tag, GetParam().expectedTag);
    }
}

INSTANTIATE_TEST_SUITE_P(Address, NameResolution,
                         ::testing::Values(Resolution{"Exact", "Ann Lee", "AL"},
                                           Resolution{"ExactIsCaseSensitive", "ann Lee", "an"},
                                           Resolution{"ExactBeatsLongerNames", "Bob Stone", "Bo"},
                                           Resolution{"UniquePrefix", "Carla", "Ca"},
                                           Resolution{"UniquePrefixOfLongerName", "Ann Lee J", "An"},
                                           Resolution{"AmbiguousPrefix", "Dan", "Da"}, // exact "Dan" exists
                                           Resolution{"AmbiguousWithoutExact", "Da", ""},
                                           Resolution{"PrefixIsCaseSensitive", "carla", ""},
                                           Resolution{"Empty", "", ""},
                                           Resolution{"NoMatch", "Zoe", ""},
                                           Resolution{"LongerThanAnyName", "Eve Adams", ""}),
                         ParamName());

TEST_F(AddressTest, DuplicateExactNamesResolveToTheFirstCreated)
{
    AddressEntry e = entries(logon()).Item("Sales");
    EXPECT_EQ(e.DisplayType(), DisplayType::DistList);
    EXPECT_FALSE(e.Fields().Item(PropTag::OwnerTag).Exists());
    std::string description;
    EXPECT_EQ(errorOf([&] { e.Fields().Item(PropTag::OwnerTag).Value(); }, &description), ErrorCode::NotFound);
    EXPECT_NE(description.find("0x802D001E"), std::string::npos) << description;
}

} // namespace
