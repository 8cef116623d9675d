// Property tags this program reads and writes through Fields. The low 16 bits give the
// type (0x001E: 8-bit string, 0x0003: 32-bit integer, 0x000B: boolean, 0x0005: double).
#pragma once

#include <cstdint>

namespace messaging::PropTag {

// Address entry: the owner tag (first extension attribute, "custom attribute 1").
inline constexpr std::uint32_t OwnerTag = 0x802D001E;
// Binding message: the script text that the event service's script handler runs.
inline constexpr std::uint32_t ScriptText = 0x7102001E;
// Calendar item: the original iCalendar VEVENT text(s) an item was imported from, so
// that what the store does not model survives a round trip. Copies inherit it.
inline constexpr std::uint32_t ICalendarSource = 0x8100001E;
// Calendar item: the UID the item was imported under. Never inherited by CopyTo: a copy
// is a different calendar object and exports under a UID of its own.
inline constexpr std::uint32_t ICalendarUid = 0x8101001E;
// Address entry: the Argon2id hash of the account's calendar server password. Written
// by `larkspur-store user passwd`, read by larkspur-dav; never shown by the tools.
inline constexpr std::uint32_t PasswordHash = 0x8102001E;

} // namespace messaging::PropTag
