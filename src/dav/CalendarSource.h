// CalendarSource / Snapshot: everything the calendar server reads from the store.
//
// A request opens one Snapshot and reads only through it, so everything one answer says
// comes from one consistent state of the store, while the admin program and the store
// tool go on writing. A Snapshot belongs to one thread and lives for one request.
//
// A calendar at one revision is a CalendarState: the feed (the same bytes as `ics
// export` of the folder), and its event resources, one per item (one UID with its
// overridden instances), each a whole VCALENDAR with its ETag. States are immutable
// and shared between requests; a source may keep them while the revision stays.
//
// Every failure of the store (it cannot be opened, it fails part way) leaves as
// Unavailable; the server answers 503 and tries the store afresh on the next request.
#pragma once

#include "ical/IcsModel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dav {

class Unavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by a snapshot answered from memory when it lacks an answer: the request starts
// again on a snapshot of the store itself.
class SnapshotMissed : public std::exception {
public:
    const char *what() const noexcept override { return "not kept in memory"; }
};

// A login: a mail user of the "Global Address List", by its display name exactly.
struct Account {
    std::string name;
    std::int64_t entry = 0;
    std::string passwordHash;   // empty: the account cannot log in
};

enum class CalendarKind { Shared, Personal };

struct Calendar {
    CalendarKind kind = CalendarKind::Shared;
    std::int64_t folder = 0;
    std::string key;            // stable identity across restarts: store and folder
    std::string displayName;
};

struct Resource {
    std::string name;           // the last path segment: "<ENTRY ID>.ics"
    std::string text;           // one VCALENDAR
    std::string etag;           // quoted, strong
    larkspur::ics::IcsEvent event;
    // When it happens, as UTC instants [start, end): one span per VEVENT that does not
    // recur; a recurring one is looked up in its text (see TimeRange.h).
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;
    bool recurring = false;
};

struct CalendarState {
    std::string revision;       // the folder's revision in the store (decimal)
    std::string feed;           // the whole folder as one VCALENDAR
    std::int64_t lastModified = 0;  // UTC seconds: when this revision was first seen
    std::vector<Resource> resources;  // sorted by name

    const Resource *find(std::string_view name) const;
};

// What changed in a calendar between two revisions.
struct Changes {
    bool known = false;         // false: the change log no longer reaches back to it
    std::vector<const Resource *> changed;  // added or changed, of `now`
    std::vector<std::string> removed;       // names
};

class Snapshot {
public:
    virtual ~Snapshot() = default;
    // The mail user of that exact display name; nullopt when there is none.
    virtual std::optional<Account> account(std::string_view login) = 0;
    // The calendars the account may read: the shared calendar, then the account's own
    // "Calendar" when its mailbox has one. Kept by the snapshot while it lives.
    virtual const std::vector<Calendar> &calendars(const Account &account) = 0;
    // The calendar's current revision (cheap: no export).
    virtual std::string revision(const Calendar &calendar) = 0;
    // The calendar at its current revision; kept by the snapshot while it lives.
    virtual const CalendarState *state(const Calendar &calendar) = 0;
    // What changed since `revision` (of this calendar), up to `now`.
    virtual Changes changesSince(const Calendar &calendar, std::string_view revision,
                                 const CalendarState &now) = 0;
};

class CalendarSource {
public:
    virtual ~CalendarSource() = default;
    // Throws Unavailable when the store cannot be read. With `fromMemory`, a source may
    // answer from what it read before while the store has not changed since; such a
    // snapshot throws SnapshotMissed for anything it does not have.
    virtual std::unique_ptr<Snapshot> open(bool fromMemory) = 0;
};

} // namespace dav
