// Message / Fields / Field: one message and its properties.
//
// Property reads return the saved value overlaid with this handle's unsaved changes;
// setters change only the handle until Update saves them in one atomic write. Handles
// copied from one another share the same unsaved changes.
//
// The calendar properties the copy actions use:
//   AllDayEvent  the flag property  (0 or 1; an item without it reads 0)
//   Location     the detail property (absent: std::nullopt)
//   StartTime    the time property: a local date-time as a day number since
//                30 December 1899 00:00 with the time of day as fraction (9:00 = .375)
//   Stamp        the copy stamp, a named text property that copies inherit
#pragma once

#include "Handles.h"
#include "store/Rows.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace messaging {

// A field value: an 8-bit string, a 32/64-bit integer, a double or a boolean.
using PropValue = store::Value;
// The value as text (integers in decimal, booleans "True"/"False", doubles with up to
// 15 significant digits and '.' as decimal separator).
std::string toText(const PropValue &value);

class Message {
public:
    Message(detail::SessionPtr session, std::shared_ptr<detail::MessageState> state);

    // Entry identifier (opaque upper-case hex, unique across the store). A new message
    // or an unsaved copy has none until its first Update (InvalidArgument before it).
    std::string ID() const;
    std::string FolderID() const;

    std::string Subject() const;
    void SetSubject(std::string_view subject);
    std::string Text() const;
    void SetText(std::string_view text);
    // 0 none, 1 personal, 2 private, 3 confidential.
    std::int32_t Sensitivity() const;
    void SetSensitivity(std::int32_t sensitivity);
    // std::nullopt when the message has no categories value at all; otherwise the list
    // (which may be empty) in its stored order.
    std::optional<std::vector<std::string>> Categories() const;
    void SetCategories(std::optional<std::vector<std::string>> categories);

    std::int32_t AllDayEvent() const;
    void SetAllDayEvent(std::int32_t flag);
    std::optional<std::string> Location() const;
    void SetLocation(std::optional<std::string> location);
    std::optional<double> StartTime() const;
    void SetStartTime(std::optional<double> dayNumber);
    std::optional<double> EndTime() const;
    void SetEndTime(std::optional<double> dayNumber);
    std::optional<std::string> Stamp() const;
    void SetStamp(std::optional<std::string> stamp);

    messaging::Fields Fields() const;

    // When the message was last saved with a change (added, copied, a property or field
    // changed), in UTC seconds since 1970; 0 before its first Update. Messages of a
    // store made before this was kept carry the time their store was upgraded.
    std::int64_t ChangedAt() const;

    // Saves the pending changes in one atomic write; a new message or copy becomes
    // visible in its folder now. Throws (and saves nothing) when the message was deleted.
    void Update();
    // Removes the message at once. A later read or Update throws NotFound.
    void Delete();
    // A new message in the folder with that entry identifier, holding every saved
    // property of this message (fields included, except PropTag::ICalendarUid). It is
    // not in the target folder until its own Update; dropped unsaved it leaves nothing.
    Message CopyTo(std::string_view folderId) const;

    const std::shared_ptr<detail::MessageState> &state() const { return m_state; }

private:
    detail::SessionPtr m_session;
    std::shared_ptr<detail::MessageState> m_state;
};

class Field {
public:
    Field(detail::SessionPtr session, std::shared_ptr<detail::MessageState> message, std::uint32_t tag);
    Field(detail::SessionPtr session, std::int64_t addressEntryRowId, std::uint32_t tag);
    std::uint32_t ID() const { return m_tag; }
    // Throws NotFound (naming the tag in hex) when the property is not set.
    PropValue Value() const;
    // Value() as text.
    std::string Text() const { return toText(Value()); }
    bool Exists() const;
    // On a message: a pending change saved by Update. On an address entry: written at once.
    void SetValue(PropValue value);
    // On a message: removes the field, a pending change saved by Update (an unsaved new
    // message or copy is then saved without it). Fields of address entries are not
    // removed this way (InvalidArgument).
    void Delete();

private:
    detail::SessionPtr m_session;
    std::shared_ptr<detail::MessageState> m_message;
    std::int64_t m_entry = 0;
    std::uint32_t m_tag;
};

class Fields {
public:
    Fields(detail::SessionPtr session, std::shared_ptr<detail::MessageState> message);
    Fields(detail::SessionPtr session, std::int64_t addressEntryRowId);
    // Always yields a field handle; reading an unset one throws NotFound.
    Field Item(std::uint32_t propTag) const;
    // Tags of the fields set, ascending.
    std::vector<std::uint32_t> Tags() const;

private:
    detail::SessionPtr m_session;
    std::shared_ptr<detail::MessageState> m_message;
    std::int64_t m_entry = 0;
};

} // namespace messaging
