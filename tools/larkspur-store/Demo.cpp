#include "Demo.h"

#include "core/StoreLayout.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include <array>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace larkspur {

namespace {

struct DemoUser {
    const char *name;
    const char *tag;
};

// Tags of two to five letters; "MART" and "MARTI" share their first four letters.
constexpr std::array<DemoUser, 16> knownUsers{{
    {"Ann Lee", "AL"},
    {"Martin Brook", "MART"},
    {"Martina Brooks", "MARTI"},
    {"Oliver Grant", "OG"},
    {"Priya Nair", "PNAIR"},
    {"Jonas Weber", "JWB"},
    {"Chen Wei", "CHEN"},
    {"Sofia Russo", "SOFR"},
    {"Tom Harding", "TH"},
    {"Grace Okafor", "GRACE"},
    {"Luis Ortega", "LUO"},
    {"Hannah Schmidt", "HS"},
    {"Yuki Tanaka", "YUKI"},
    {"Fatima Zahra", "FZ"},
    {"Erik Lund", "ERIKL"},
    {"Nora Quinn", "NQ"},
}};

struct Template {
    const char *subject;
    const char *text;
};

constexpr std::array<Template, 12> meetings{{
    {"Team meeting", "Weekly status round. Bring your open points."},
    {"Project review", "Review of milestones and risks with the steering group."},
    {"Budget planning", "Draft figures for next quarter."},
    {"Lunch with client", "Table booked for four."},
    {"Training: first aid", "Mandatory refresher course."},
    {"Interview: support engineer", "Second round, technical questions."},
    {"Quarterly all-hands", "Company update by the board."},
    {"1:1 with manager", ""},
    {"Release planning", "Scope and dates of the next release."},
    {"Customer workshop", "Requirements workshop, day one."},
    {"Fire drill", "Everyone leaves the building at the signal."},
    {"Supplier call", "Delivery dates, price list 2027."},
}};

constexpr std::array<const char *, 4> privateSubjects{
    {"Dentist appointment", "Doctor's appointment", "Parents' evening at school", "Bank appointment"}};
constexpr std::array<const char *, 4> holidaySubjects{
    {"Public holiday", "Office closed", "Bank holiday", "Company day off"}};
constexpr std::array<const char *, 4> leaveSubjects{{"Vacation", "Day off", "Long weekend", "Family visit"}};
constexpr std::array<const char *, 4> allDaySubjects{
    {"Trade fair", "Offsite strategy day", "Conference: Groupware Days", "Inventory day"}};
constexpr std::array<const char *, 6> locations{
    {"Room 101", "Room 204", "Main hall", "Online", "Cafeteria", "Client office, Harbour Street 5"}};
constexpr std::array<const char *, 4> workCategories{{"Business", "Meeting", "Project", "Training"}};

std::string generatedName(int index)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "Demo User %03d", index + 1);
    return buf;
}

// Two to five letters, different for every index past the known users.
std::string generatedTag(int index)
{
    std::string tag;
    int n = index;
    do {
        tag.insert(tag.begin(), static_cast<char>('A' + n % 26));
        n /= 26;
    } while (n > 0);
    tag.insert(tag.begin(), 'X');
    while (tag.size() < 2)
        tag += 'X';
    return tag.substr(0, 5);
}

class Rng {
public:
    explicit Rng(std::uint32_t seed) : m_engine(seed) {}
    // mt19937's output is the same everywhere, unlike the standard distributions.
    int below(int n) { return static_cast<int>(m_engine() % static_cast<std::uint32_t>(n)); }
    template <typename A>
    auto pick(const A &a) { return a[static_cast<std::size_t>(below(static_cast<int>(a.size())))]; }

private:
    std::mt19937 m_engine;
};

void addItems(messaging::Messages &calendar, int count, Rng &rng, double firstDay)
{
    for (int k = 0; k < count; ++k) {
        messaging::Message m = calendar.Add();
        const double day = firstDay + rng.below(35);
        const int kind = k % 10;
        if (kind == 3 || kind == 5 || kind == 7) {
            // All-day items: holidays (first category "Holiday"), leave ("Holiday" later)
            // and whole-day events.
            m.SetAllDayEvent(1);
            m.SetStartTime(day);
            const int days = kind == 5 ? 1 + rng.below(3) : 1;
            m.SetEndTime(day + days);
            if (kind == 3) {
                m.SetSubject(rng.pick(holidaySubjects));
                m.SetCategories(std::vector<std::string>{"Holiday"});
            } else if (kind == 5) {
                m.SetSubject(rng.pick(leaveSubjects));
                m.SetCategories(std::vector<std::string>{"Personal", "Holiday"});
                m.SetSensitivity(1);
            } else {
                m.SetSubject(rng.pick(allDaySubjects));
                m.SetLocation(std::string(rng.pick(locations)));
                m.SetCategories(std::vector<std::string>{"Business"});
            }
        } else {
            const double start = day + (8 * 60 + 30 * rng.below(18)) / 1440.0;
            const double minutes = 30.0 * (1 + rng.below(4));
            m.SetStartTime(start);
            m.SetEndTime(start + minutes / 1440.0);
            if (kind == 0) {
                m.SetSubject(rng.pick(privateSubjects));
                m.SetText("Personal: please do not book over this.");
                m.SetSensitivity(2);
            } else {
                const Template t = rng.pick(meetings);
                m.SetSubject(t.subject);
                m.SetText(t.text);
                if (rng.below(3) != 0)
                    m.SetCategories(std::vector<std::string>{rng.pick(workCategories)});
                if (kind == 9)
                    m.SetSensitivity(3);
            }
            if (rng.below(5) < 3)
                m.SetLocation(std::string(rng.pick(locations)));
        }
        m.Update();
    }
}

} // namespace

CivilTime thisMonday()
{
    const CivilTime today = localFromUtc(static_cast<std::int64_t>(std::time(nullptr)));
    const std::int64_t days = daysFromCivil(today.year, today.month, today.day);
    const std::int64_t weekday = ((days % 7) + 7 + 3) % 7; // 1970-01-01 was a Thursday: Monday = 0
    return fromDayNumber(toDayNumber(CivilTime{today.year, today.month, today.day, 0, 0, 0})
                         - static_cast<double>(weekday));
}

void generateDemo(const std::filesystem::path &store, const DemoOptions &options)
{
    std::vector<std::string> names;
    {
        messaging::ServerAdmin admin(store);
        admin.beginBatch();
        for (int i = 0; i < options.users; ++i) {
            const bool known = i < static_cast<int>(knownUsers.size());
            const std::string name = known ? knownUsers[static_cast<std::size_t>(i)].name : generatedName(i);
            const std::string tag = known ? knownUsers[static_cast<std::size_t>(i)].tag : generatedTag(i);
            admin.addUser(name, tag, 0, true);
            names.push_back(name);
        }
        admin.addUser("All Staff", std::nullopt, 1, false);
        admin.addUser("Remote Partner (Acme Ltd)", std::string("ACME"), 6, false);
        admin.commitBatch();
    }
    Rng rng(options.seed);
    const double firstDay = toDayNumber(options.from);
    messaging::Session session(store);
    session.Logon("Administrator");
    for (const std::string &name : names) {
        messaging::Messages calendar =
            session.InfoStores().Item("Mailbox - " + name).RootFolder().Folders().Item(core::PersonalCalendarName).Messages();
        addItems(calendar, options.items, rng, firstDay);
    }
    session.Logoff();
}

} // namespace larkspur
