// Failures only a database server has: a commit the server refuses, a tablespace that
// fills up. The copy loop meets them; the error carries its number, what the session
// saved before it lands unless the error says the store undid it, a group lands whole or
// not at all, and the store stays sound.
#include "TestStore.h"

using namespace larkspur::test;

namespace {

using larkspur::test::PrintTo;

// A check the server makes only at commit: a copy of "Item 150" fails it with `state`.
std::vector<std::string> refuseAtCommit(const char *state)
{
    return {std::string("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                        "IF NEW.subject = 'AL- Item 150' THEN RAISE EXCEPTION 'refused at commit' USING ERRCODE = '") +
                state + "'; END IF; RETURN NULL; END $$",
            "CREATE CONSTRAINT TRIGGER refuse AFTER INSERT OR UPDATE ON messages DEFERRABLE INITIALLY DEFERRED "
            "FOR EACH ROW EXECUTE FUNCTION refuse()"};
}

// The messages move to the small tablespace (a tmpfs of the test server), which a
// filler then fills to the last page.
const std::vector<std::string> FillTablespace{
    "ALTER TABLE messages SET TABLESPACE small", "ALTER TABLE message_fields SET TABLESPACE small",
    "CREATE TABLE filler(t text) TABLESPACE small", "ALTER TABLE filler ALTER t SET STORAGE PLAIN",
    "DO $$ BEGIN LOOP BEGIN INSERT INTO filler SELECT repeat('x', 4000) FROM generate_series(1, 16); "
    "EXCEPTION WHEN disk_full THEN EXIT; END; END LOOP; END $$"};

struct ServerFault {
    const char *name;
    std::vector<std::string> sql; // run on the store before the work (empty: the tablespace fills up)
    bool group;
    std::int32_t number;
};

class ServerFaults : public StoreFixture, public ::testing::WithParamInterface<ServerFault> {};

TEST_P(ServerFaults, TheErrorSaysWhatLandedAndNothingLandsHalf)
{
    if (!teststores::onServer())
        GTEST_SKIP() << "a database server";
    const ServerFault &c = GetParam();
    fillCalendar(mailboxFolder(logon()), 300);
    try {
        for (const std::string &sql : c.sql.empty() ? FillTablespace : c.sql)
            teststores::runSql(file(), sql);
    } catch (const std::exception &e) {
        if (c.sql.empty())
            GTEST_SKIP() << "no small tablespace on the test server: " << e.what();
        throw;
    }
    const int copies = copyLoopFails(c.group, c.number, [] {}, [&] {
        if (c.sql.empty())
            teststores::runSql(file(), "DROP TABLE filler");
    });
    EXPECT_LT(copies, 300);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ServerFaults,
    ::testing::Values(ServerFault{"CommitRefused", refuseAtCommit("P0001"), false, ErrorCode::StoreFailure},
                      ServerFault{"DiskFullAtCommit", refuseAtCommit("53100"), false, ErrorCode::DiskFull},
                      ServerFault{"CommitOfAGroupRefused", refuseAtCommit("P0001"), true, ErrorCode::StoreFailure},
                      ServerFault{"TablespaceFull", {}, false, ErrorCode::DiskFull}),
    ParamName());

} // namespace
