#include "IcsStore.h"

#include "IcsReader.h"
#include "IcsText.h"
#include "IcsWriter.h"

#include "ical/PrivateMask.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"
#include "messaging/InfoStores.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"

#include <fstream>
#include <set>

namespace larkspur::ics {

namespace {

std::optional<std::string> textField(const messaging::Message &m, std::uint32_t tag)
{
    messaging::Field f = m.Fields().Item(tag);
    if (!f.Exists())
        return std::nullopt;
    return f.Text();
}

} // namespace

IcsEvent eventFromMessage(const messaging::Message &m)
{
    IcsEvent e;
    e.uid = textField(m, messaging::PropTag::ICalendarUid).value_or("");
    e.source = textField(m, messaging::PropTag::ICalendarSource).value_or("");
    e.summary = m.Subject();
    e.description = m.Text();
    e.location = m.Location();
    e.categories = m.Categories();
    e.sensitivity = m.Sensitivity();
    e.start = m.StartTime();
    e.end = m.EndTime();
    e.allDay = m.AllDayEvent() != 0;
    e.stamp = m.Stamp();
    e.changedAt = m.ChangedAt();
    return e;
}

void eventToMessage(const IcsEvent &e, messaging::Message &m)
{
    m.SetSubject(e.summary);
    m.SetText(e.description);
    m.SetLocation(e.location);
    m.SetCategories(e.categories);
    m.SetSensitivity(e.sensitivity);
    m.SetStartTime(e.start);
    m.SetEndTime(e.end);
    m.SetAllDayEvent(e.allDay ? 1 : 0);
    m.SetStamp(e.stamp);
    if (!e.uid.empty())
        m.Fields().Item(messaging::PropTag::ICalendarUid).SetValue(e.uid);
    if (!e.source.empty())
        m.Fields().Item(messaging::PropTag::ICalendarSource).SetValue(e.source);
}

ImportOutcome importData(messaging::Session &session, const messaging::Folder &folder, std::string_view data,
                         const std::string &name)
{
    IcsReadResult read = readIcs(data, name);
    ImportOutcome outcome;
    outcome.skipped = std::move(read.skipped);
    outcome.warnings = std::move(read.warnings);

    int made = 0;
    try {
        session.beginGroup();
        messaging::Messages messages = folder.Messages();
        for (const IcsEvent &e : read.events) {
            messaging::Message m = messages.Add();
            eventToMessage(e, m);
            m.Update();
            ++made;
        }
        session.commitGroup();
    } catch (const messaging::Error &err) {
        session.abandonGroup();
        throw IcsError(name + ": the store failed after " + std::to_string(made) + " of "
                       + std::to_string(read.events.size()) + " events: " + err.description() + " ("
                       + std::to_string(err.number()) + "); nothing of the file was imported");
    }
    outcome.imported = made;
    return outcome;
}

ImportOutcome importFile(messaging::Session &session, const messaging::Folder &folder,
                         const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw IcsError(file.string() + ": cannot be opened");
    // Read with a bound, whatever the file claims to be (a device such as /dev/zero never
    // ends): one byte past the limit is enough to refuse it.
    std::string data;
    char chunk[65536];
    while (data.size() <= kMaxIcsFileSize && in.read(chunk, sizeof chunk).gcount() > 0)
        data.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        throw IcsError(file.string() + ": cannot be read");
    if (data.size() > kMaxIcsFileSize)
        throw IcsError(file.string() + ": larger than " + std::to_string(kMaxIcsFileSize >> 20)
                       + " MiB, the most an iCalendar file may hold here");
    return importData(session, folder, data, file.string());
}

std::string derivedUid(const std::string &entryId)
{
    return entryId + "@larkspur";
}

namespace {

// The owner tags of the directory, which tell an owner prefix in a masked subject.
std::vector<std::string> ownerTags(const messaging::Folder &folder)
{
    std::vector<std::string> tags;
    for (messaging::AddressEntry entry :
         messaging::AddressLists(folder.session()).Item("Global Address List").AddressEntries()) {
        messaging::Field tag = entry.Fields().Item(messaging::PropTag::OwnerTag);
        if (tag.Exists())
            tags.push_back(tag.Text());
    }
    return tags;
}

// A private item of the public store is written from its masked form and its time
// structure alone, whatever the store holds for it; its UID is derived like a copy's.
void maskPrivate(IcsEvent &e, const std::vector<std::string> &ownerTags)
{
    e.uid.clear();
    e.summary = ical::maskedSubject(e.summary, ownerTags);
    e.description = ical::PrivateText;
    if (e.stamp)
        e.stamp = ical::maskedStamp(*e.stamp, e.location.value_or(std::string()), e.allDay);
    e.location.reset();
    e.categories.reset();
    e.source = ical::timeStructure(e.source);
}

} // namespace

std::vector<ExportedItem> exportItems(const messaging::Folder &folder)
{
    const bool publicStore = folder.StoreID() == messaging::InfoStores(folder.session()).Item("Public Folders").ID();
    const std::vector<std::string> tags = publicStore ? ownerTags(folder) : std::vector<std::string>();
    std::vector<ExportedItem> items;
    std::set<std::string> uids;
    for (messaging::Message m : folder.Messages()) {
        ExportedItem item{m.ID(), eventFromMessage(m)};
        IcsEvent &e = item.event;
        if (publicStore && e.sensitivity == 2)
            maskPrivate(e, tags);
        if (e.uid.empty() || uids.count(e.uid)) {
            e.uid = derivedUid(item.entryId);
            for (int n = 2; uids.count(e.uid); ++n)
                e.uid = derivedUid(item.entryId) + "-" + std::to_string(n);
        }
        uids.insert(e.uid);
        items.push_back(std::move(item));
    }
    return items;
}

std::string exportFolder(const messaging::Folder &folder, std::vector<std::string> &warnings)
{
    std::vector<IcsEvent> events;
    for (ExportedItem &item : exportItems(folder))
        events.push_back(std::move(item.event));
    return writeIcs(events, warnings);
}

} // namespace larkspur::ics
