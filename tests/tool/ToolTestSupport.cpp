#include "ToolTestSupport.h"

#include "IcalPtr.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>

namespace tooltest {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    m_path = fs::temp_directory_path()
             / ("larkspur-tool-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env)
{
    TempDir io;
    const fs::path outPath = io / "out";
    const fs::path errPath = io / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("LARKSPUR_STORE");
        ::unsetenv("LARKSPUR_FAULT");
        for (const std::string &e : env)
            ::putenv(const_cast<char *>(e.c_str()));
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    RunResult r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

RunResult runTool(const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    return runProgram(LARKSPUR_STORE_EXE, args, env);
}

RunResult runStore(const fs::path &store, const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    std::vector<std::string> all{"--store", store.string()};
    all.insert(all.end(), args.begin(), args.end());
    return runTool(all, env);
}

nlohmann::json dumpFolder(const fs::path &store, const std::string &folder)
{
    const RunResult r = runStore(store, {"dump", folder, "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (r.exitCode != 0)
        return nlohmann::json::array();
    return nlohmann::json::parse(r.out);
}

nlohmann::json withoutIds(nlohmann::json items)
{
    for (auto &item : items)
        item.erase("entry_id");
    return items;
}

fs::path sampleDir()
{
    if (fs::is_directory(ICS_DATA_DIR))
        return ICS_DATA_DIR;
    return ICS_SHARED_DIR;
}

fs::path sample(const std::string &name)
{
    return sampleDir() / name;
}

// Checks what a calendar client needs of an exported file.
void expectValidExport(const std::string &text)
{
    EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nVERSION:2.0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPRODID:"), std::string::npos);
    std::size_t pos = 0;
    std::set<std::string> zones;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "line without CRLF at " << pos;
        EXPECT_LE(end - pos, 75u);
        EXPECT_EQ(text.substr(pos, end - pos).find('\n'), std::string::npos);
        pos = end + 2;
    }
    larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(text);
    ASSERT_TRUE(cal);
    EXPECT_EQ(icalcomponent_isa(cal.get()), ICAL_VCALENDAR_COMPONENT);
    for (icalcomponent *z = icalcomponent_get_first_component(cal.get(), ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(cal.get(), ICAL_VTIMEZONE_COMPONENT)) {
        const std::string tzid = icalproperty_get_tzid(icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY));
        EXPECT_TRUE(zones.insert(tzid).second) << "two definitions of " << tzid;
        // Each part starts at a local date-time.
        for (icalcomponent *part = icalcomponent_get_first_component(z, ICAL_ANY_COMPONENT); part;
             part = icalcomponent_get_next_component(z, ICAL_ANY_COMPONENT)) {
            const icaltimetype start = icalcomponent_get_dtstart(part);
            EXPECT_TRUE(!start.is_date && !icaltime_is_utc(start) && !icaltime_is_null_time(start)) << tzid;
            EXPECT_FALSE(icalcomponent_get_first_property(part, ICAL_XLICERROR_PROPERTY)) << tzid;
        }
    }
    for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
        // libical notes an empty LOCATION, which the store keeps, as "No value"; nothing else may fail.
        for (icalproperty *e = icalcomponent_get_first_property(ev, ICAL_XLICERROR_PROPERTY); e;
             e = icalcomponent_get_next_property(ev, ICAL_XLICERROR_PROPERTY))
            EXPECT_EQ(std::string(icalproperty_get_xlicerror(e)).rfind("No value for LOCATION", 0), 0u)
                << icalproperty_get_xlicerror(e);
        EXPECT_TRUE(icalcomponent_get_first_property(ev, ICAL_UID_PROPERTY));
        EXPECT_TRUE(icalcomponent_get_first_property(ev, ICAL_DTSTAMP_PROPERTY));
        for (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY))
            if (icalparameter *tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER)) {
                EXPECT_TRUE(zones.count(icalparameter_get_tzid(tz))) << icalparameter_get_tzid(tz);
            }
    }
}


} // namespace tooltest
