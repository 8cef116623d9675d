// larkspur-dav as its clients see it: the real program on a real store, asked by
// Debian's python3-caldav, vdirsyncer and curl over loopback.
#include "CalendarActions.h"
#include "ToolTestSupport.h"
#include "WorkStore.h"

#include "ical/IcsStore.h"
#include "dav/Passwords.h"
#include "messaging/PropTags.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

namespace fs = std::filesystem;
using tooltest::readFile;
using tooltest::runProgram;

const std::string Ann = "Ann%20Lee", Chen = "Chen%20Wei";
const std::string AnnAuth = "Ann Lee:ann-pw", ChenAuth = "Chen Wei:chen-pw", AdminAuth = "Administrator:admin-pw";

std::string vevent(const std::string &uid, const std::string &summary, const std::string &start,
                   const std::string &end, const std::string &more = "")
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:" + start + "\r\nDTEND:" + end
           + "\r\nSUMMARY:" + summary + "\r\n" + more + "END:VEVENT\r\n";
}

std::string calendar(const std::string &events)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + events + "END:VCALENDAR\r\n";
}

// Ann's calendar: one event just before the searched range (in UTC, whatever the zone),
// one inside, one weekly that recurs into it. Chen's: one event.
const std::string AnnEvents = calendar(
    vevent("early@t", "Early", "20240310T233000Z", "20240310T234500Z")
    + vevent("inside@t", "Inside", "20240311T090000Z", "20240311T100000Z")
    + vevent("weekly@t", "Weekly", "20240201T120000Z", "20240201T130000Z", "RRULE:FREQ=WEEKLY;COUNT=10\r\n"));
const std::string ChenEvents = calendar(vevent("chen@t", "Chen alone", "20240312T080000Z", "20240312T090000Z"));
const std::vector<std::string> Secrets{"Sapphire", "Ruby", "Emerald", "Topaz", "Opal", "Garnet"};
const std::string PrivateEvent = calendar(vevent(
    "secret@t", "Sapphire meeting", "20240312T090000Z", "20240312T100000Z",
    "DESCRIPTION:Ruby notes\r\nCLASS:PRIVATE\r\nLOCATION:Emerald room\r\nATTENDEE;CN=Topaz Person:mailto:t@example.org\r\n"
    "COMMENT:Opal comment\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Garnet alarm\r\nTRIGGER:-PT15M\r\n"
    "END:VALARM\r\n"));

// The real server on a free loopback port, stopped with SIGTERM at the end.
class DavServer {
public:
    DavServer(const fs::path &store, const fs::path &log, const std::vector<std::string> &more = {}) : m_log(log)
    {
        std::vector<std::string> args{LARKSPUR_DAV_EXE, "--store", store.string(), "--listen", "127.0.0.1:0"};
        args.insert(args.end(), more.begin(), more.end());
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn(&m_pid, LARKSPUR_DAV_EXE, &files, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&files);
        const std::regex serving("on (https?://127\\.0\\.0\\.1:[0-9]+)/");
        for (int i = 0; i < 400 && m_base.empty(); ++i) {
            std::smatch m;
            const std::string text = readFile(log);
            if (std::regex_search(text, m, serving))
                m_base = m[1].str();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        EXPECT_FALSE(m_base.empty()) << readFile(log);
    }
    ~DavServer() { stop(); }
    // SIGTERM; the exit status.
    int stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            m_pid = -1;
        }
        return m_status;
    }
    const std::string &base() const { return m_base; }

private:
    fs::path m_log;
    pid_t m_pid = -1;
    int m_status = -1;
    std::string m_base;
};

struct Reply {
    int status = 0;
    std::string headers;
    std::string body;
};

// Starts curl without waiting: many of them talk to the server at once.
pid_t startCurl(const std::vector<std::string> &args, const fs::path &out)
{
    std::vector<char *> argv{const_cast<char *>("curl")};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    posix_spawn(&pid, "/usr/bin/curl", &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

class DavTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        work.addUser("Ann Lee", "AL");
        work.addUser("Chen Wei", "CW");
        messaging::ServerAdmin admin(work.store.file());
        // Hashed once per run: each hash costs a fifth of a second on purpose.
        static const std::vector<std::pair<std::string, std::string>> hashes{
            {"Ann Lee", dav::hashPassword("ann-pw")}, {"Chen Wei", dav::hashPassword("chen-pw")},
            {"Administrator", dav::hashPassword("admin-pw")}};
        for (const auto &[name, hash] : hashes)
            admin.setEntryField(name, messaging::PropTag::PasswordHash, hash);
        importInto("Mailbox - Ann Lee", AnnEvents);
        importInto("Mailbox - Chen Wei", ChenEvents);
        server = std::make_unique<DavServer>(work.store.file(), dir / "server.log");
    }

    void importInto(const std::string &mailbox, const std::string &ics)
    {
        messaging::Session s = work.store.logon();
        larkspur::ics::importData(s, worktest::calendarOf(s, mailbox), ics, "test.ics");
    }

    // Resource names of a calendar's items ("<ENTRY ID>.ics"); only those whose subject
    // starts with the prefix.
    std::vector<std::string> names(const std::string &mailbox, const std::string &prefix = "")
    {
        messaging::Session s = work.store.logon();
        std::vector<std::string> out;
        auto folder = mailbox.empty() ? messaging::sharedCalendar(s) : worktest::calendarOf(s, mailbox);
        for (const messaging::Message m : folder.Messages())
            if (m.Subject().rfind(prefix, 0) == 0)
                out.push_back(m.ID() + ".ics");
        std::sort(out.begin(), out.end());
        return out;
    }

    void copyAll()
    {
        messaging::Session s = work.store.logon();
        calendar::copyAllCalendars(s);
    }

    Reply curl(const std::string &path, const std::vector<std::string> &args = {}, const std::string &auth = AnnAuth)
    {
        std::vector<std::string> all{"-s", "--max-time", "20", "--path-as-is", "-D", (dir / "h").string(), "-o",
                                     (dir / "b").string(), "-w", "%{http_code}"};
        if (!auth.empty())
            all.insert(all.end(), {"-u", auth});
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(server->base() + path);
        const auto r = runProgram("/usr/bin/curl", all);
        return Reply{std::atoi(r.out.c_str()), readFile(dir / "h"), readFile(dir / "b")};
    }

    nlohmann::json python(const std::vector<std::string> &args, const std::string &auth = AnnAuth)
    {
        std::vector<std::string> all{"60", SYSTEM_PYTHON, CALDAV_CLIENT, server->base() + "/",
                                     auth.substr(0, auth.find(':')), auth.substr(auth.find(':') + 1)};
        all.insert(all.end(), args.begin(), args.end());
        const auto r = runProgram("/usr/bin/timeout", all);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.exitCode == 0 ? nlohmann::json::parse(r.out) : nlohmann::json();
    }

    static std::string header(const std::string &headers, const std::string &name)
    {
        std::smatch m;
        return std::regex_search(headers, m, std::regex("\r\n" + name + ": ([^\r]*)\r", std::regex::icase)) ? m[1].str()
                                                                                                          : "";
    }

    worktest::StoreWork work;
    tooltest::TempDir dir;
    std::unique_ptr<DavServer> server;
};

// Discovery from the root, both calendars, a time range (recurrence included, the event
// just before it left out in every zone), then sync by token across a copy of every
// calendar and a delete of one user's copies.
TEST_F(DavTest, CaldavClientDiscoversSearchesAndSyncs)
{
    const auto survey = python({"survey", "20240311T000000", "20240315T000000"});
    EXPECT_EQ(survey, nlohmann::json::parse(R"({"Calendar": ["Inside", "Weekly"], "Larkspur Calendar": []})"));

    const auto start = python({"sync", "Larkspur Calendar"});
    EXPECT_TRUE(start["updated"].empty());
    copyAll();
    const auto added = python({"sync", "Larkspur Calendar", start["token"]});
    EXPECT_EQ(added["updated"].get<std::vector<std::string>>(), names(""));
    EXPECT_TRUE(added["deleted"].empty());

    const std::vector<std::string> annCopies = names("", "AL- ");
    ASSERT_EQ(annCopies.size(), 3u);
    {
        messaging::Session s = work.store.logon();
        calendar::deleteUserItems(s, "Mailbox - Ann Lee");
    }
    const auto removed = python({"sync", "Larkspur Calendar", added["token"]});
    EXPECT_TRUE(removed["updated"].empty());
    EXPECT_EQ(removed["deleted"].get<std::vector<std::string>>(), annCopies);
    // Tokens outlive the server: a new one answers an old token from the store's log.
    server.reset();
    server = std::make_unique<DavServer>(work.store.file(), dir / "server.log");
    const auto restarted = python({"sync", "Larkspur Calendar", added["token"]});
    EXPECT_EQ(restarted["deleted"].get<std::vector<std::string>>(), annCopies);
    EXPECT_EQ(restarted["token"], removed["token"]);
    // A token of another calendar, or one never given, asks for a fresh start.
    const std::string token = removed["token"];
    for (const auto &[calendar, bad] : {std::pair{"calendar", token},
                                        {"larkspur-calendar", token.substr(0, token.rfind(':') + 1) + "999999"},
                                        {"larkspur-calendar", token + "x"}}) {
        const auto r = curl("/dav/calendars/" + Ann + "/" + calendar + "/",
                            {"-X", "REPORT", "--data", "<D:sync-collection xmlns:D='DAV:'><D:sync-token>" + bad +
                             "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop>"
                             "</D:sync-collection>"});
        EXPECT_EQ(r.status, 403) << bad;
        EXPECT_NE(r.body.find("valid-sync-token"), std::string::npos);
    }
}

TEST_F(DavTest, VdirsyncerSyncsBothCalendarsReadOnly)
{
    copyAll();
    const std::string config = "[general]\nstatus_path = \"" + (dir / "status").string() + "\"\n"
                               "[pair cal]\na = \"server\"\nb = \"local\"\ncollections = [\"from a\"]\n"
                               "conflict_resolution = \"a wins\"\n"
                               "[storage server]\ntype = \"caldav\"\nread_only = true\nurl = \"" + server->base()
                               + "/\"\nusername = \"Ann Lee\"\npassword = \"ann-pw\"\n"
                               "[storage local]\ntype = \"filesystem\"\npath = \"" + (dir / "local").string()
                               + "/\"\nfileext = \".ics\"\n";
    tooltest::writeFile(dir / "config", config);
    // Local collections made beforehand: vdirsyncer would ask before making them.
    fs::create_directories(dir / "local" / "larkspur-calendar");
    fs::create_directories(dir / "local" / "calendar");
    for (const char *step : {"discover", "sync"}) {
        const auto r = runProgram("/usr/bin/timeout", {"60", "/usr/bin/vdirsyncer", "-c", (dir / "config").string(), step},
                                  {"HOME=" + dir.path().string(), "LANG=C.UTF-8"});
        ASSERT_EQ(r.exitCode, 0) << step << ": " << r.out << r.err;
    }
    for (const auto &[collection, mailbox] : {std::pair{"larkspur-calendar", ""}, {"calendar", "Mailbox - Ann Lee"}}) {
        std::set<std::string> files;
        for (const auto &f : fs::directory_iterator(dir / "local" / collection))
            files.insert(tooltest::readFile(f.path()).find("BEGIN:VEVENT") != std::string::npos ? "event" : "other");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "local" / collection), fs::directory_iterator()),
                  static_cast<long>(names(mailbox).size())) << collection;
        EXPECT_EQ(files, std::set<std::string>{"event"});
    }
}

// The feed: what `ics export` writes, the same bytes while nothing changes, validators
// answered with 304, HEAD without a body, a window of local days, a new ETag after a change,
// a refusal after a change of password.
TEST_F(DavTest, FeedValidatorsAndWindow)
{
    copyAll();
    const Reply full = curl("/feeds/larkspur-calendar.ics");
    ASSERT_EQ(full.status, 200);
    const std::string etag = header(full.headers, "ETag");
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics").body, full.body);
    const auto exported = tooltest::runStore(work.store.file(), {"ics", "export", tooltest::kSharedCalendar, "-"});
    EXPECT_EQ(std::regex_replace(full.body, std::regex("REFRESH-INTERVAL;VALUE=DURATION:PT1H\r\nX-PUBLISHED-TTL:PT1H\r\n"), ""),
              exported.out);
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics", {"-H", "If-None-Match: " + etag}).status, 304);
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics", {"-H", "If-Modified-Since: " + header(full.headers, "Last-Modified")}).status, 304);
    const Reply head = curl("/feeds/larkspur-calendar.ics", {"-I"});
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(header(head.headers, "Content-Length"), std::to_string(full.body.size()));
    EXPECT_EQ(header(head.headers, "ETag"), etag);

    // 11 March, local days: the event at 23:30 UTC on the 10th is on the 11th only east of UTC.
    const Reply day = curl("/feeds/larkspur-calendar.ics?start=20240311&end=20240311");
    const std::time_t early = 1710113400; // 2024-03-10T23:30:00Z
    std::tm local{};
    localtime_r(&early, &local);
    const bool east = local.tm_mday == 11;
    EXPECT_NE(day.body.find("AL- Inside"), std::string::npos);
    EXPECT_EQ(day.body.find("AL- Early") != std::string::npos, east);
    EXPECT_EQ(day.body.find("CW- Chen alone"), std::string::npos);
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics?start=2024-03-11").status, 400);

    const std::string event = "/dav/calendars/" + Ann + "/calendar/" + names("Mailbox - Ann Lee")[0];
    const Reply one = curl(event);
    EXPECT_EQ(curl(event, {"-H", "If-None-Match: " + header(one.headers, "ETag")}).status, 304);
    importInto("Mailbox - Ann Lee", ChenEvents);
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics", {"-H", "If-None-Match: " + etag}).status, 304);
    copyAll();
    const Reply changed = curl("/feeds/larkspur-calendar.ics", {"-H", "If-None-Match: " + etag});
    EXPECT_EQ(changed.status, 200);
    // A password changed by another program ends the old one at once, answers from memory too.
    const std::string now = header(changed.headers, "ETag");
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics", {"-H", "If-None-Match: " + now}).status, 304);
    messaging::ServerAdmin(work.store.file()).setEntryField("Ann Lee", messaging::PropTag::PasswordHash,
                                                           dav::hashPassword("new-pw"));
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics", {"-H", "If-None-Match: " + now}).status, 401);
}

// allprop names only properties the target has: the shared calendar's owner too.
TEST_F(DavTest, AllpropAnswersEveryPropertyItNames)
{
    copyAll();
    for (const std::string &path : {"/dav/calendars/" + Ann + "/", "/dav/calendars/" + Ann + "/larkspur-calendar/"}) {
        const Reply r = curl(path, {"-X", "PROPFIND", "-H", "Depth: 1", "--data",
                                    "<D:propfind xmlns:D='DAV:'><D:allprop/></D:propfind>"});
        EXPECT_EQ(r.status, 207);
        EXPECT_EQ(r.body.find(" 404 "), std::string::npos) << r.body; // a status, not a digit run of an ETag
        auto count = [&](const std::string &text) {
            int n = 0;
            for (auto at = r.body.find(text); at != std::string::npos; at = r.body.find(text, at + 1))
                ++n;
            return n;
        };
        EXPECT_GT(count("<D:response>"), 2);
        EXPECT_EQ(count("<D:owner"), count("<D:response>")) << path;
    }
}

enum class Auth { None, Owner, Wrong, ChensPassword, Other, Admin };
enum class Body { None, Big, Bomb, Doctype, Garbage };

struct Row {
    const char *name;
    const char *method;
    std::string path;
    Auth auth;
    Body body;
    int expected;
};

// Every route asked the wrong way: the status, nothing written, the server still answers.
// All rows go at once (more than 32 clients), each from its own loopback address so
// the slowing of one address's failures does not pile up.
TEST_F(DavTest, SecurityTable)
{
    const std::string event = names("Mailbox - Ann Lee")[0], chenEvent = names("Mailbox - Chen Wei")[0];
    const std::string home = "/dav/calendars/" + Ann + "/", chenHome = "/dav/calendars/" + Chen + "/";
    const std::vector<std::pair<const char *, std::string>> routes{
        {"GET", "/feeds/larkspur-calendar.ics"}, {"PROPFIND", "/"}, {"PROPFIND", "/dav/principals/" + Ann + "/"},
        {"PROPFIND", home}, {"PROPFIND", home + "larkspur-calendar/"}, {"PROPFIND", home + "calendar/"},
        {"GET", home + "calendar/" + event}, {"GET", "/.well-known/caldav"}};
    std::vector<Row> rows;
    for (const auto &[method, path] : routes)
        for (const Auth a : {Auth::None, Auth::Wrong, Auth::ChensPassword})
            rows.push_back({"login", method, path, a, Body::None, 401});
    rows.insert(rows.end(), {
        {"other principal", "PROPFIND", "/dav/principals/" + Chen + "/", Auth::Owner, Body::None, 404},
        {"other home", "PROPFIND", chenHome, Auth::Owner, Body::None, 404},
        {"other calendar", "PROPFIND", chenHome + "calendar/", Auth::Owner, Body::None, 404},
        {"other event", "GET", chenHome + "calendar/" + chenEvent, Auth::Owner, Body::None, 404},
        {"other calendar, administrator", "GET", home + "calendar/", Auth::Admin, Body::None, 404},
        {"nobody's calendar", "PROPFIND", "/dav/calendars/Nobody/calendar/", Auth::Owner, Body::None, 404},
        {"event of another calendar", "GET", home + "larkspur-calendar/" + event, Auth::Owner, Body::None, 404},
        {"dot-dot", "PROPFIND", home + "../" + Chen + "/calendar/", Auth::Owner, Body::None, 400},
        {"encoded dot-dot", "PROPFIND", home + "calendar/%2e%2e/", Auth::Owner, Body::None, 400},
        {"encoded slash", "PROPFIND", "/dav/calendars/" + Ann + "%2F..%2F" + Chen + "/calendar/", Auth::Owner, Body::None, 400},
        {"encoded backslash", "PROPFIND", home + "calendar%5C..%5C/", Auth::Owner, Body::None, 400},
        {"double slash", "PROPFIND", "//dav/calendars/" + Chen + "/calendar/", Auth::Owner, Body::None, 400},
        {"inner double slash", "PROPFIND", home + "/calendar/", Auth::Owner, Body::None, 400},
        {"2 MiB body", "PROPFIND", home + "calendar/", Auth::Owner, Body::Big, 413},
        {"2 MiB body without login", "REPORT", home + "calendar/", Auth::None, Body::Big, 413},
        {"XML bomb", "REPORT", home + "calendar/", Auth::Owner, Body::Bomb, 400},
        {"document type", "PROPFIND", home + "calendar/", Auth::Owner, Body::Doctype, 400},
        {"garbage report", "REPORT", home + "calendar/", Auth::Owner, Body::Garbage, 400},
        {"garbage propfind", "PROPFIND", home, Auth::Owner, Body::Garbage, 400},
        {"unknown method", "BREW", home + "calendar/", Auth::Owner, Body::None, 405},
        {"put", "PUT", home + "calendar/" + event, Auth::Owner, Body::Garbage, 403},
        {"delete", "DELETE", home + "calendar/", Auth::Owner, Body::None, 403},
        {"mkcalendar", "MKCALENDAR", home, Auth::Owner, Body::None, 403},
        {"mkcol", "MKCOL", home, Auth::Owner, Body::None, 403},
        {"proppatch", "PROPPATCH", home + "larkspur-calendar/", Auth::Owner, Body::Garbage, 403},
        {"move", "MOVE", home + "calendar/" + event, Auth::Owner, Body::None, 403},
        {"copy", "COPY", home + "calendar/" + event, Auth::Owner, Body::None, 403},
        {"lock", "LOCK", home + "calendar/" + event, Auth::Owner, Body::None, 403},
        {"put into another calendar", "PUT", chenHome + "calendar/" + chenEvent, Auth::Owner, Body::Garbage, 404},
        {"delete the feed", "DELETE", "/feeds/larkspur-calendar.ics", Auth::Owner, Body::None, 403},
    });
    tooltest::writeFile(dir / "big", std::string(2 * 1024 * 1024, 'x'));
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i < 10; ++i)
        bomb += "<!ENTITY lol" + std::to_string(i) + " \"" + std::string(10, '&') + "\">";
    tooltest::writeFile(dir / "bomb", bomb + "]><C:calendar-query xmlns:C=\"urn:ietf:params:xml:ns:caldav\">&lol9;</C:calendar-query>");
    tooltest::writeFile(dir / "doctype", "<!DOCTYPE x SYSTEM \"file:///etc/passwd\"><D:propfind xmlns:D=\"DAV:\"><D:allprop/></D:propfind>");
    tooltest::writeFile(dir / "garbage", "<D:propfind xmlns:D=\"DAV:\"><D:prop><<");
    const std::map<Body, std::string> bodies{{Body::Big, "big"}, {Body::Bomb, "bomb"}, {Body::Doctype, "doctype"},
                                             {Body::Garbage, "garbage"}};
    const std::map<Auth, std::string> logins{{Auth::Owner, AnnAuth}, {Auth::Wrong, "Ann Lee:ann-pW"},
                                             {Auth::ChensPassword, "Ann Lee:chen-pw"}, {Auth::Other, ChenAuth},
                                             {Auth::Admin, AdminAuth}};

    const auto contents = [&] {
        messaging::Session before = work.store.logon();
        return worktest::dumpAll(before);
    }();
    std::vector<pid_t> running;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row &row = rows[i];
        std::vector<std::string> args{"-s", "--max-time", "20", "--path-as-is", "-o", "/dev/null", "-w", "%{http_code}",
                                      "--interface", "127.0.0." + std::to_string(10 + i), "-X", row.method,
                                      "-H", "Depth: 0"};
        if (row.auth != Auth::None)
            args.insert(args.end(), {"-u", logins.at(row.auth)});
        if (row.body != Body::None)
            args.insert(args.end(), {"--data-binary", "@" + (dir / bodies.at(row.body)).string()});
        args.push_back(server->base() + row.path);
        running.push_back(startCurl(args, dir / ("row" + std::to_string(i))));
    }
    // On a database server, however many ask at once, the server's connections stay within
    // the sessions it keeps (16), counted from a connection of the test's own.
    PGconn *counter = teststores::onServer() ? PQconnectdb(work.store.file().c_str()) : nullptr;
    long long most = 0;
    for (pid_t pid : running)
        while (::waitpid(pid, nullptr, counter ? WNOHANG : 0) == 0) {
            PGresult *r = PQexec(counter, "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                          "AND pid <> pg_backend_pid()");
            most = std::max(most, PQresultStatus(r) == PGRES_TUPLES_OK ? std::atoll(PQgetvalue(r, 0, 0)) : 99);
            PQclear(r);
        }
    PQfinish(counter);
    EXPECT_LE(most, 16);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(std::atoi(readFile(dir / ("row" + std::to_string(i))).c_str()), rows[i].expected)
            << rows[i].name << ": " << rows[i].method << " " << rows[i].path;
    messaging::Session after = work.store.logon();
    EXPECT_EQ(worktest::dumpAll(after), contents);
    EXPECT_EQ(curl("/feeds/larkspur-calendar.ics").status, 200);
}

// A private event copied by both copy actions: none of its private text in any answer
// the shared calendar gives, only its masked form.
TEST_F(DavTest, PrivateTextIsNeverServed)
{
    importInto("Mailbox - Ann Lee", PrivateEvent);
    {
        messaging::Session s = work.store.logon();
        calendar::copyUserCalendar(s, "Mailbox - Ann Lee");
    }
    copyAll();
    const std::string shared = "/dav/calendars/" + Chen + "/larkspur-calendar/";
    std::string hrefs;
    for (const std::string &n : names(""))
        hrefs += "<D:href>" + shared + n + "</D:href>";
    const std::string props = "<D:prop><D:getetag/><C:calendar-data/></D:prop>";
    const std::string ns = " xmlns:D='DAV:' xmlns:C='urn:ietf:params:xml:ns:caldav'";
    std::vector<Reply> replies{
        curl("/feeds/larkspur-calendar.ics", {}, ChenAuth),
        curl(shared, {"-X", "REPORT", "--data", "<C:calendar-multiget" + ns + ">" + props + hrefs + "</C:calendar-multiget>"},
             ChenAuth),
        curl(shared, {"-X", "REPORT", "--data", "<C:calendar-query" + ns + ">" + props +
                      "<C:filter><C:comp-filter name='VCALENDAR'><C:comp-filter name='VEVENT'/></C:comp-filter></C:filter>"
                      "</C:calendar-query>"}, ChenAuth)};
    for (const std::string &n : names(""))
        replies.push_back(curl(shared + n, {}, ChenAuth));
    std::string all;
    for (const Reply &r : replies)
        all += r.body;
    EXPECT_NE(all.find("AL- Private"), std::string::npos);
    for (const Reply &r : replies) {
        for (const std::string &secret : Secrets)
            EXPECT_EQ(r.body.find(secret), std::string::npos) << secret;
    }
}

// HTTPS with a certificate made here: the feed and PROPFIND with the right password,
// 401 with a wrong one, and the certificate checked by the client.
TEST_F(DavTest, HttpsServesWithTheRightPasswordOnly)
{
    const auto made = runProgram("/usr/bin/openssl",
                                 {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                  "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", (dir / "key.pem").string(), "-out", (dir / "cert.pem").string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    DavServer tls(work.store.file(), dir / "tls.log",
                  {"--cert", (dir / "cert.pem").string(), "--key", (dir / "key.pem").string()});
    ASSERT_EQ(tls.base().rfind("https://", 0), 0u) << readFile(dir / "tls.log");
    const std::string propfind = "<D:propfind xmlns:D='DAV:'><D:prop><D:displayname/></D:prop></D:propfind>";
    const std::string home = "/dav/calendars/" + Ann + "/";
    const std::vector<std::tuple<std::string, std::vector<std::string>, std::string, int>> rows{
        {"/feeds/larkspur-calendar.ics", {}, AnnAuth, 200},
        {home, {"-X", "PROPFIND", "-H", "Depth: 1", "--data", propfind}, AnnAuth, 207},
        {"/feeds/larkspur-calendar.ics", {}, "Ann Lee:ann-pW", 401},
        {home, {"-X", "PROPFIND", "-H", "Depth: 1", "--data", propfind}, "Ann Lee:chen-pw", 401},
    };
    for (const auto &[path, extra, auth, expected] : rows) {
        std::vector<std::string> args{"-s", "--max-time", "20", "--cacert", (dir / "cert.pem").string(), "-o",
                                      (dir / "b").string(), "-w", "%{http_code}", "-u", auth};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(tls.base() + path);
        EXPECT_EQ(std::atoi(runProgram("/usr/bin/curl", args).out.c_str()), expected) << path << " " << auth;
    }
    // The certificate is what the client checks: without it, no answer at all.
    EXPECT_EQ(std::atoi(runProgram("/usr/bin/curl", {"-s", "--max-time", "20", "-o", "/dev/null", "-w", "%{http_code}",
                                                     "-u", AnnAuth, tls.base() + "/feeds/larkspur-calendar.ics"})
                            .out.c_str()),
              0);
}

// Takes the store away, or puts it back: a file moved aside, a database that takes no
// connections and has lost those it had (as a server going down would).
void setReachable(const fs::path &store, bool reachable)
{
    if (!teststores::onServer()) {
        const fs::path aside = store.string() + ".aside";
        reachable ? fs::rename(aside, store) : fs::rename(store, aside);
        return;
    }
    const std::string database = fs::path(store.native().substr(0, store.native().find('?'))).filename();
    teststores::runSql(std::getenv("LARKSPUR_TEST_POSTGRES"), "ALTER DATABASE " + database + " ALLOW_CONNECTIONS "
                                                                  + (reachable ? "true" : "false"));
    if (!reachable)
        teststores::killConnections(store);
}

// 503 while there is no store yet, served as soon as it is there; 503 while it is gone,
// served again once it is back; a lost connection unnoticed by clients; plain HTTP
// refused off loopback, a clean end on SIGTERM.
TEST(DavProgram, StoreComesBackAndSigtermEnds)
{
    tooltest::TempDir dir;
    worktest::TempStore store;
    messaging::ServerAdmin(store.file()).setEntryField("Administrator", messaging::PropTag::PasswordHash,
                                                       dav::hashPassword("admin-pw"));
    const fs::path later = teststores::newLocation(dir.path(), "later.db");
    DavServer server(later, dir / "log");
    auto status = [&] {
        const auto r = runProgram("/usr/bin/curl", {"-s", "--max-time", "20", "-o", "/dev/null", "-w", "%{http_code}",
                                                    "-u", AdminAuth, server.base() + "/feeds/larkspur-calendar.ics"});
        return std::atoi(r.out.c_str());
    };
    EXPECT_EQ(status(), 503);
    teststores::copyStore(store.file(), later);
    EXPECT_EQ(status(), 200);
    setReachable(later, false);
    EXPECT_EQ(status(), 503);
    setReachable(later, true);
    EXPECT_EQ(status(), 200);
    if (teststores::onServer()) {
        teststores::killConnections(later);
        EXPECT_EQ(status(), 200);
    }
    EXPECT_EQ(server.stop(), 0);
    teststores::release(later);
    EXPECT_NE(readFile(dir / "log").find("\"GET /feeds/larkspur-calendar.ics\" 503"), std::string::npos);

    const auto open = runProgram(LARKSPUR_DAV_EXE, {"--store", store.file().string(), "--listen", "0.0.0.0:0"});
    EXPECT_EQ(open.exitCode, 2) << open.err;
}

} // namespace
