// The work of the four shared-calendar pages.
//
// Copying stamps each personal item, saves it, and only then makes its copy in the
// shared calendar; the copy is saved once, with its final subject and body, so a
// failure on the way leaves no copy behind and a private item is never seen unmasked.
#include "CalendarActions.h"

#include "ical/PrivateMask.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "textfile/TextFile.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <system_error>

namespace calendar {

namespace {

constexpr std::string_view GlobalAddressList = "Global Address List";
constexpr std::string_view PublicFolders = "Public Folders";
constexpr std::string_view SharedCalendarName = "Larkspur Calendar";
constexpr std::string_view CalendarFolderName = "Calendar";
constexpr std::string_view MailboxPrefix = "Mailbox - ";
constexpr std::int32_t SensitivityPrivate = 2;
constexpr std::size_t FailuresShown = 10;
constexpr const char *CopyStage = "copy";
constexpr const char *DeleteStage = "delete";

// Byte offset of character `n` (counting from 0) of a UTF-8 text, or the text's size
// when it has fewer characters. Continuation bytes never start a character, so a cut
// never splits one.
std::size_t utf8Offset(std::string_view text, std::size_t n)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80)
            continue;
        if (chars == n)
            return i;
        ++chars;
    }
    return text.size();
}

std::string flagLetter(const messaging::Message &item) { return item.AllDayEvent() == 0 ? "N" : "Y"; }

// The stamp from an already read flag letter and the item's location, start and subject.
std::string stampWithFlag(const std::string &flag, const messaging::Message &item, const std::locale &locale)
{
    std::string stamp = flag;
    stamp += ':';
    stamp += item.Location().value_or(std::string());
    stamp += ':';
    if (const auto start = item.StartTime())
        stamp += dayNumberText(*start, locale);
    stamp += ':';
    stamp += item.Subject();
    return stamp;
}

std::string ownerTagOf(const messaging::AddressEntry &entry)
{
    return entry.Fields().Item(messaging::PropTag::OwnerTag).Text();
}

messaging::Messages userCalendar(messaging::Session &session, std::string_view storeName)
{
    return session.InfoStores().Item(storeName).RootFolder().Folders().Item(CalendarFolderName).Messages();
}

// Leaves the unsaved copy of a private item with its masked form alone: "Private" for
// subject and body, its sensitivity and times, the stamp's flag and day number, and of
// its fields only the time structure of the kept event text. The personal item keeps
// everything; the copy inherited all of it and is cut down before it is first saved.
void maskPrivateCopy(messaging::Message &copy)
{
    if (const std::optional<std::string> stamp = copy.Stamp())
        copy.SetStamp(ical::maskedStamp(*stamp, copy.Location().value_or(std::string()), copy.AllDayEvent() != 0));
    copy.SetSubject(ical::PrivateText);
    copy.SetText(ical::PrivateText);
    copy.SetLocation(std::nullopt);
    copy.SetCategories(std::nullopt);
    const messaging::Fields fields = copy.Fields();
    for (const std::uint32_t tag : fields.Tags()) {
        messaging::Field field = fields.Item(tag);
        if (tag == messaging::PropTag::ICalendarSource) {
            std::string times = ical::timeStructure(field.Text());
            if (!times.empty()) {
                field.SetValue(std::move(times));
                continue;
            }
        }
        field.Delete();
    }
}

// The per-item steps after the holiday test, the same for both copy actions: stamp and
// save the personal item, then copy it, mask a private copy, put the owner prefix in
// front and save the copy once.
void stampAndCopy(messaging::Message &item, const std::string &flag, const std::string &sharedId,
                  const std::string &prefix, const std::locale &locale)
{
    item.SetStamp(stampWithFlag(flag, item, locale));
    item.Update();
    messaging::Message copy = item.CopyTo(sharedId);
    if (copy.Sensitivity() == SensitivityPrivate)
        maskPrivateCopy(copy);
    copy.SetSubject(prefix + copy.Subject());
    copy.Update();
}

// The number of mail users in the address list, for a progress total; -1 when the list
// cannot be read (the walk itself then meets the failure and deals with it).
std::int64_t countMailUsers(const messaging::AddressEntries &entries)
{
    try {
        std::int64_t users = 0;
        for (const messaging::AddressEntry entry : entries)
            users += entry.DisplayType() == messaging::DisplayType::MailUser ? 1 : 0;
        return users;
    } catch (const messaging::Error &) {
        return -1;
    }
}

// The run of the all-users copy: which mode it is in and what it skipped.
class CopyAllRun {
public:
    CopyAllRun(messaging::Session &session, const std::locale &locale, const actions::ProgressCallback &progress)
        : m_session(session), m_locale(locale), m_progressCallback(progress)
    {
        m_progress.stage = CopyStage;
    }

    CopyAllReport run()
    {
        const messaging::Folder shared = sharedCalendar(m_session);
        m_sharedId = shared.ID();
        const messaging::AddressLists lists = m_session.AddressLists();
        const messaging::AddressEntries entries = lists.Item(GlobalAddressList).AddressEntries();
        if (m_progressCallback) {
            // A collection of its own: the walk's snapshot is taken by the walk.
            m_progress.usersTotal = countMailUsers(lists.Item(GlobalAddressList).AddressEntries());
            actions::report(m_progressCallback, m_progress);
        }
        CopyAllReport report = walk(entries);
        actions::report(m_progressCallback, m_progress);
        return report;
    }

private:
    CopyAllReport walk(const messaging::AddressEntries &entries)
    {
        const Where list{std::string(GlobalAddressList), nullptr};
        std::optional<messaging::AddressEntries::iterator> it;
        std::optional<messaging::AddressEntries::iterator> end;
        if (!guard([&] { it = entries.begin(); end = entries.end(); }, list))
            return finishWithListFailure();
        std::int32_t position = 0;
        while (!(*it == *end)) {
            ++position;
            std::optional<messaging::AddressEntry> entry;
            if (guard([&] { entry = **it; }, list))
                handleEntry(entries, *entry, position);
            else
                ++m_report.usersFailed;
            if (!guard([&] { ++*it; }, list))
                return finishWithListFailure();
        }
        return std::move(m_report);
    }

    // What a step works on, for the account of a skipped failure.
    struct Where {
        std::string mailbox;
        const messaging::Message *item;
    };

    CopyAllReport finishWithListFailure()
    {
        ++m_report.usersFailed;
        return std::move(m_report);
    }

    // Runs one step. In the stopping mode a failure leaves at once; in the skipping mode
    // it is kept for the report, and false tells the caller to skip every later step of
    // the same user or item.
    bool guard(const std::function<void()> &step, const Where &where)
    {
        if (!m_skipping) {
            step();
            return true;
        }
        try {
            step();
            return true;
        } catch (const messaging::Error &error) {
            std::string subject;
            if (where.item) {
                m_itemFailed = true;
                try {
                    subject = where.item->Subject();
                } catch (const messaging::Error &) {
                    // The account then names the item's mailbox only.
                }
            } else {
                m_userFailed = true;
            }
            m_report.failures.push_back({where.mailbox, subject, error.number(), error.description()});
            return false;
        }
    }

    void handleEntry(const messaging::AddressEntries &entries, const messaging::AddressEntry &listed,
                     std::int32_t position)
    {
        m_userFailed = false;
        m_mailUser = false;
        handleUser(entries, listed, position);
        if (m_userFailed)
            ++m_report.usersFailed;
        if (m_mailUser) {
            m_report.usersDone = ++m_progress.usersDone;
            actions::report(m_progressCallback, m_progress);
        }
    }

    void handleUser(const messaging::AddressEntries &entries, const messaging::AddressEntry &listed,
                    std::int32_t position)
    {
        Where where{"address entry " + std::to_string(position), nullptr};
        bool isUser = false;
        if (!guard([&] { isUser = listed.DisplayType() == messaging::DisplayType::MailUser; }, where) || !isUser)
            return;
        m_mailUser = true;
        std::string name;
        if (!guard([&] { name = listed.Name(); }, where))
            return;
        where.mailbox = std::string(MailboxPrefix) + name;
        // The owner tag comes from the entry that the look-up of the name returns.
        std::string prefix;
        std::optional<messaging::Messages> messages;
        if (!guard(
                [&] {
                    const messaging::AddressEntry entry = entries.Item(name);
                    prefix = ownerPrefix(ownerTagOf(entry));
                    messages = userCalendar(m_session, where.mailbox);
                },
                where))
            return;

        std::optional<messaging::Messages::iterator> it;
        std::optional<messaging::Messages::iterator> end;
        if (!guard([&] { it = messages->begin(); end = messages->end(); }, where))
            return;
        while (!(*it == *end)) {
            std::optional<messaging::Message> item;
            if (guard([&] { item = **it; }, where))
                handleItem(*item, where.mailbox, prefix);
            if (!guard([&] { ++*it; }, where))
                return;
        }
    }

    void handleItem(messaging::Message &item, const std::string &mailbox, const std::string &prefix)
    {
        m_itemFailed = false;
        copyItem(item, Where{mailbox, &item}, prefix);
        if (m_itemFailed)
            ++m_report.itemsFailed;
    }

    void copyItem(messaging::Message &item, const Where &where, const std::string &prefix)
    {
        std::string flag;
        if (!guard([&] { flag = flagLetter(item); }, where))
            return;
        bool holiday = false;
        if (!guard([&] { holiday = isHoliday(item); }, where) || holiday)
            return;
        // From the first item that gets this far on, failures are skipped, not thrown.
        m_skipping = true;
        if (guard([&] { stampAndCopy(item, flag, m_sharedId, prefix, m_locale); }, where)) {
            m_report.itemsCopied = ++m_progress.itemsDone;
            actions::report(m_progressCallback, m_progress);
        }
    }

    messaging::Session &m_session;
    const std::locale &m_locale;
    const actions::ProgressCallback &m_progressCallback;
    actions::Progress m_progress;
    std::string m_sharedId;
    bool m_skipping = false;
    bool m_userFailed = false;
    bool m_itemFailed = false;
    bool m_mailUser = false;
    CopyAllReport m_report;
};

} // namespace

std::string mailboxNameFromPicker(std::string_view pickerText)
{
    const std::size_t begin = utf8Offset(pickerText, 10);
    const std::string_view rest = pickerText.substr(begin);
    return std::string(rest.substr(0, utf8Offset(rest, 99)));
}

std::string ownerPrefix(std::string_view ownerTag) { return std::string(ownerTag) + "- "; }

const std::locale &workstationLocale()
{
    static const std::locale locale = [] {
        try {
            return std::locale(std::locale::classic(), std::locale(""), std::locale::numeric);
        } catch (const std::runtime_error &) {
            return std::locale::classic();
        }
    }();
    return locale;
}

std::string dayNumberText(double dayNumber, const std::locale &locale)
{
    if (!std::isfinite(dayNumber))
        throw messaging::Error(messaging::ErrorCode::InvalidArgument, "The start time is not a number");
    if (dayNumber == 0.0)
        return "0";
    // Round to 15 significant digits first, then lay the digits out in plain decimal
    // notation: day numbers never need an exponent.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, dayNumber, std::chars_format::scientific, 14);
    if (result.ec != std::errc())
        throw messaging::Error(messaging::ErrorCode::InvalidArgument, "The start time cannot be written");
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t ePos = scientific.find('e');
    std::string_view mantissa = scientific.substr(0, ePos);
    const bool negative = !mantissa.empty() && mantissa.front() == '-';
    if (negative)
        mantissa.remove_prefix(1);
    int exponent = 0;
    const std::string_view exponentText = scientific.substr(ePos + 1);
    std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                    exponentText.data() + exponentText.size(), exponent);

    std::string digits;
    for (const char c : mantissa)
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const char separator = std::use_facet<std::numpunct<char>>(locale).decimal_point();
    std::string text = negative ? "-" : "";
    const int pointAfter = exponent + 1; // digits before the decimal separator
    if (pointAfter <= 0) {
        text += '0';
        text += separator;
        text.append(static_cast<std::size_t>(-pointAfter), '0');
        text += digits;
    } else if (static_cast<std::size_t>(pointAfter) >= digits.size()) {
        text += digits;
        text.append(static_cast<std::size_t>(pointAfter) - digits.size(), '0');
    } else {
        text += digits.substr(0, static_cast<std::size_t>(pointAfter));
        text += separator;
        text += digits.substr(static_cast<std::size_t>(pointAfter));
    }
    return text;
}

std::string copyStamp(const messaging::Message &item, const std::locale &locale)
{
    return stampWithFlag(flagLetter(item), item, locale);
}

bool isHoliday(const messaging::Message &item)
{
    const auto categories = item.Categories();
    return categories && !categories->empty() && categories->front() == "Holiday";
}

messaging::Folder sharedCalendar(messaging::Session &session)
{
    return session.InfoStores()
        .Item(PublicFolders)
        .RootFolder()
        .Folders()
        .Item(2)
        .Folders()
        .Item(SharedCalendarName);
}

std::int64_t copyUserCalendar(messaging::Session &session, std::string_view pickerText, const std::locale &locale,
                              const actions::ProgressCallback &progress)
{
    // Directory first, then both folders: nothing is written before all of them are found.
    const messaging::AddressList list = session.AddressLists().Item(GlobalAddressList);
    const std::string mailboxName = mailboxNameFromPicker(pickerText);
    const messaging::AddressEntry entry = list.AddressEntries().Item(mailboxName);
    const std::string ownerTag = ownerTagOf(entry);
    const messaging::Folder shared = sharedCalendar(session);
    const std::string prefix = ownerPrefix(ownerTag);
    const messaging::Messages messages = userCalendar(session, pickerText);
    const std::string sharedId = shared.ID();

    actions::Progress done{CopyStage};
    actions::report(progress, done);
    for (messaging::Message item : messages) {
        const std::string flag = flagLetter(item);
        if (isHoliday(item))
            continue;
        stampAndCopy(item, flag, sharedId, prefix, locale);
        ++done.itemsDone;
        actions::report(progress, done);
    }
    return done.itemsDone;
}

CopyAllReport copyAllCalendars(messaging::Session &session, const std::locale &locale,
                               const actions::ProgressCallback &progress)
{
    return CopyAllRun(session, locale, progress).run();
}

std::string copyAllResultText(const CopyAllReport &report)
{
    std::string text = "Larkspur Calendar has been updated";
    if (report.failures.empty())
        return text;
    auto plural = [](int n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    text += "\nNot copied because of errors: " + plural(report.usersFailed, "user", "users") + ", "
        + plural(report.itemsFailed, "item", "items") + ".";
    const std::size_t shown = std::min(report.failures.size(), FailuresShown);
    for (std::size_t i = 0; i < shown; ++i) {
        const SkippedFailure &failure = report.failures[i];
        text += "\n" + failure.mailbox;
        if (!failure.subject.empty())
            text += ", \"" + failure.subject + "\"";
        text += ": " + failure.description + " (" + std::to_string(failure.number) + ")";
    }
    if (report.failures.size() > shown)
        text += "\n... and " + std::to_string(report.failures.size() - shown) + " more.";
    return text;
}

std::int64_t deleteAllItems(messaging::Session &session, const actions::ProgressCallback &progress)
{
    const messaging::Messages messages = sharedCalendar(session).Messages();
    // The count is read once; every position comes from it, never from a fresh count.
    const std::int32_t count = messages.Count();
    actions::Progress done{DeleteStage, 0, -1, 0, count};
    actions::report(progress, done);
    for (std::int32_t position = count; position >= 1; --position) {
        messages.Item(position).Delete();
        ++done.itemsDone;
        actions::report(progress, done);
    }
    return count;
}

std::int64_t deleteUserItems(messaging::Session &session, std::string_view pickerText,
                             const actions::ProgressCallback &progress)
{
    const messaging::AddressList list = session.AddressLists().Item(GlobalAddressList);
    const std::string mailboxName = mailboxNameFromPicker(pickerText);
    const messaging::AddressEntry entry = list.AddressEntries().Item(mailboxName);
    // The whole owner prefix selects: users whose tags share their first characters keep
    // each other's items.
    const std::string key = ownerPrefix(ownerTagOf(entry));

    messaging::Messages messages = sharedCalendar(session).Messages();
    messages.Filter().SetSubject(key);
    actions::Progress done{DeleteStage};
    actions::report(progress, done);
    for (messaging::Message item : messages) {
        item.Delete();
        ++done.itemsDone;
        actions::report(progress, done);
    }
    return done.itemsDone;
}

RefreshReport refreshSharedCalendar(messaging::Session &session, const std::locale &locale,
                                    const actions::ProgressCallback &progress)
{
    RefreshReport report;
    report.deleted = deleteAllItems(session, progress);
    report.copied = copyAllCalendars(session, locale, progress);

    // A user whose mailbox cannot be opened is skipped as the copy skips it; a failure of
    // the store itself may have taken part of the transaction with it.
    for (const SkippedFailure &failure : report.copied.failures) {
        if (failure.number == messaging::ErrorCode::StoreFailure || failure.number == messaging::ErrorCode::DiskFull)
            throw messaging::Error(failure.number, "The refresh was abandoned after a failure of the store ("
                                                       + failure.mailbox + ": " + failure.description
                                                       + "); the shared calendar is left as it was");
    }
    if (sharedCalendar(session).Messages().Count() != report.copied.itemsCopied)
        throw messaging::Error(messaging::ErrorCode::StoreFailure,
                               "The store undid part of the refresh on its own; the shared calendar is left as it was");
    return report;
}

messaging::Folder writeFolderIdentifier(messaging::Session &session, const std::string &fileName)
{
    const messaging::Folder calendar = sharedCalendar(session);
    textfile::TextFile file;
    file.WriteLineText(fileName, calendar.ID());
    return calendar;
}

} // namespace calendar
