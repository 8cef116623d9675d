// The work of the four shared-calendar pages (first cut: entry points only).
#include "CalendarActions.h"

#include "messaging/Error.h"
#include "messaging/Folder.h"

namespace calendar {

namespace {
[[noreturn]] void notYet(const char *what)
{
    throw messaging::Error(messaging::ErrorCode::StoreFailure, std::string(what) + " is not available yet");
}
} // namespace

std::string mailboxNameFromPicker(std::string_view pickerText)
{
    if (pickerText.size() <= 10)
        return {};
    return std::string(pickerText.substr(10, 99));
}

std::string ownerPrefix(std::string_view ownerTag) { return std::string(ownerTag) + "- "; }

std::string copyStamp(const messaging::Message &, const std::locale &) { notYet("copyStamp"); }
std::string dayNumberText(double, const std::locale &) { notYet("dayNumberText"); }
bool isHoliday(const messaging::Message &) { notYet("isHoliday"); }
void copyUserCalendar(messaging::Session &, std::string_view, const std::locale &) { notYet("copyUserCalendar"); }
CopyAllReport copyAllCalendars(messaging::Session &, const std::locale &) { notYet("copyAllCalendars"); }
std::string copyAllResultText(const CopyAllReport &) { return "Larkspur Calendar has been updated"; }
std::int64_t deleteAllItems(messaging::Session &) { notYet("deleteAllItems"); }
std::int64_t deleteUserItems(messaging::Session &, std::string_view) { notYet("deleteUserItems"); }
messaging::Folder sharedCalendar(messaging::Session &) { notYet("sharedCalendar"); }

} // namespace calendar
