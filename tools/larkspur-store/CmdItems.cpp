// item add and id: one item into a folder, a folder's entry identifier.
#include "Commands.h"
#include "FolderPath.h"

#include "ical/DayNumber.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/Session.h"

#include <iostream>
#include <memory>
#include <vector>

namespace larkspur {

namespace {

double dayNumberOption(const std::string &text, const char *what)
{
    const auto t = parseIso(text);
    if (!t)
        throw CommandError(std::string("malformed date for ") + what + ": \"" + text
                           + "\" (expected YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS)");
    return toDayNumber(*t);
}

} // namespace

void addItemCommands(CLI::App &app, Context &ctx)
{
    CLI::App *item = app.add_subcommand("item", "Add items to a folder");
    item->require_subcommand(1);

    struct AddOptions {
        std::string folder;
        std::string subject;
        std::string text;
        std::string start;
        std::string end;
        bool allDay = false;
        std::string location;
        int sensitivity = 0;
        std::vector<std::string> categories;
    };
    auto o = std::make_shared<AddOptions>();
    CLI::App *add = item->add_subcommand("add", "Add one item");
    add->add_option("FOLDER", o->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    add->add_option("--subject", o->subject, "Subject")->required();
    add->add_option("--text", o->text, "Body text");
    add->add_option("--start", o->start, "Start, local ISO-8601 date or date-time");
    add->add_option("--end", o->end, "End (default: a day after an all-day start, an hour after a timed one)");
    add->add_flag("--all-day", o->allDay, "An all-day item");
    add->add_option("--location", o->location, "Location");
    add->add_option("--sensitivity", o->sensitivity, "0 normal, 1 personal, 2 private, 3 confidential")
        ->check(CLI::Range(0, 3));
    add->add_option("--category", o->categories, "A category (repeat for several, in order)")->allow_extra_args(false);
    addForceFlag(*add, ctx);
    add->callback([o, add, &ctx] {
        std::optional<double> start;
        std::optional<double> end;
        if (!o->start.empty())
            start = dayNumberOption(o->start, "--start");
        if (!o->end.empty()) {
            if (!start)
                throw CommandError("--end needs --start");
            end = dayNumberOption(o->end, "--end");
            if (*end < *start)
                throw CommandError("--end lies before --start");
        } else if (start) {
            end = *start + (o->allDay ? 1.0 : 1.0 / 24.0);
        }
        if (o->allDay && start && (*start != static_cast<double>(static_cast<long long>(*start))))
            throw CommandError("an all-day item starts at midnight: give --start as a date");

        messaging::Session session(ctx.storeToWrite());
        session.Logon("Administrator");
        messaging::Folder folder = resolveFolder(session, o->folder);
        messaging::Message m = folder.Messages().Add();
        m.SetSubject(o->subject);
        m.SetText(o->text);
        m.SetSensitivity(o->sensitivity);
        m.SetAllDayEvent(o->allDay ? 1 : 0);
        if (add->count("--location"))
            m.SetLocation(o->location);
        if (!o->categories.empty())
            m.SetCategories(o->categories);
        m.SetStartTime(start);
        m.SetEndTime(end);
        m.Update();
        const std::string id = m.ID();
        // The item is committed at logoff: its identifier is printed only once it exists.
        session.Logoff();
        std::cout << id << "\n";
    });

    auto folder = std::make_shared<std::string>();
    CLI::App *id = app.add_subcommand("id", "Print a folder's entry identifier");
    id->add_option("FOLDER", *folder, "Folder path \"STORE/FOLDER/...\"")->required();
    id->callback([folder, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        std::cout << resolveFolder(session, *folder).ID() << "\n";
        session.Logoff();
    });
}

} // namespace larkspur
