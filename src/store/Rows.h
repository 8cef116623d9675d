// Rows: the values that pass through the storage engine's interface. Plain data, no
// behaviour; every engine reads and writes exactly these.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace store {

// A row id. 0 never names a row ("none" where a reference is optional).
using Id = std::int64_t;

// A field value: an 8-bit string, an integer, a double or a boolean.
using Value = std::variant<std::string, std::int64_t, double, bool>;
// Fields by property tag.
using Fields = std::map<std::uint32_t, Value>;
using FieldTags = std::set<std::uint32_t>;

enum class StoreKind : int { Public = 0, Mailbox = 1 };

// What a profile sees: its own row and the address entry of its owner (0: none).
struct Profile {
    Id id = 0;
    Id ownerEntry = 0;
};

struct StoreRow {
    std::string name;
    StoreKind kind = StoreKind::Public;
    Id ownerEntry = 0;
};

// One of the stores a profile sees, with its name.
struct ProfileStoreRow {
    Id id = 0;
    std::string name;
};

struct FolderRow {
    Id store = 0;
    Id parent = 0; // 0 for a store's root folder
    std::string name;
};

struct MessageRow {
    Id folder = 0;
    bool hidden = false; // binding messages are hidden beside their folder
    std::string subject;
    std::string body;
    std::int32_t sensitivity = 0;
    std::optional<std::vector<std::string>> categories;
    std::int32_t allDay = 0;
    std::optional<std::string> location;
    std::optional<double> start;
    std::optional<double> end;
    std::optional<std::string> stamp;
    // When the message was last saved with a change (UTC seconds since 1970); written
    // with every add and every update that changes something.
    std::int64_t changedAt = 0;
};

// Where a message is: its folder, and whether it is a hidden binding message.
struct MessagePlace {
    Id folder = 0;
    bool hidden = false;
};

// The columns of a MessageRow an update writes (changedAt goes with any change).
enum Column : unsigned {
    ColSubject = 1u << 0,
    ColBody = 1u << 1,
    ColSensitivity = 1u << 2,
    ColCategories = 1u << 3,
    ColAllDay = 1u << 4,
    ColLocation = 1u << 5,
    ColStart = 1u << 6,
    ColEnd = 1u << 7,
    ColStamp = 1u << 8,
};
inline constexpr unsigned ColumnCount = 9;

struct BindingRow {
    std::string name;
    bool active = false;
    std::int16_t eventMask = 0;
    std::string handlerClass;
};

struct AddressListRow {
    Id id = 0;
    std::string name;
};

struct EntryRow {
    Id list = 0;
    std::string name;
    std::int32_t displayType = 0;
};

// One address entry as the store tool lists it.
struct UserRow {
    std::string name;
    std::int32_t displayType = 0;
    std::optional<std::string> tag;     // the owner tag field
    std::optional<std::string> mailbox; // the name of the entry's mailbox store
    bool shared = false;                // the mailbox is seen by the administrator profile
};

// What one committed change did to one message of a folder.
enum class ChangeKind : int {
    Added = 1,
    Changed = 2,
    Deleted = 3,
    BindingAdded = 4,
    BindingChanged = 5,
    BindingRemoved = 6,
};

struct Change {
    Id message = 0;
    std::int64_t revision = 0;
    ChangeKind kind = ChangeKind::Changed;
    bool operator==(const Change &) const = default;
};

// The answer to "what changed in this folder since revision R".
struct FolderChanges {
    // The folder's revision now.
    std::int64_t revision = 0;
    // The log no longer reaches back to R (trimmed, or R is not a revision of this
    // store): the reader must read the whole folder again. `changes` is then empty.
    bool tooOld = false;
    // Every logged change after R, in revision order (a message may appear more than
    // once; its last entry says what became of it).
    std::vector<Change> changes;
};

} // namespace store
