// revision and changes: a folder's revision, and what changed in it since a revision,
// both read from the store's change log.
#include "Commands.h"
#include "FolderPath.h"

#include "messaging/Folder.h"
#include "messaging/Session.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

namespace larkspur {

namespace {

const char *kindName(messaging::ChangeKind kind)
{
    switch (kind) {
    case messaging::ChangeKind::Added:
        return "added";
    case messaging::ChangeKind::Changed:
        return "changed";
    case messaging::ChangeKind::Deleted:
        return "deleted";
    case messaging::ChangeKind::BindingAdded:
        return "binding added";
    case messaging::ChangeKind::BindingChanged:
        return "binding changed";
    case messaging::ChangeKind::BindingRemoved:
        return "binding removed";
    }
    return "changed";
}

} // namespace

void addRevisionCommands(CLI::App &app, Context &ctx)
{
    auto folder = std::make_shared<std::string>();
    CLI::App *revision = app.add_subcommand("revision", "Print a folder's revision");
    revision->add_option("FOLDER", *folder, "Folder path \"STORE/FOLDER/...\"")->required();
    revision->callback([folder, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        std::cout << resolveFolder(session, *folder).Revision() << "\n";
        session.Logoff();
    });

    struct Options {
        std::string folder;
        std::int64_t since = 0;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App *changes = app.add_subcommand(
        "changes", "What changed in a folder since a revision; exit status 3 when the log no longer reaches back "
                   "that far (read the whole folder instead)");
    changes->add_option("FOLDER", o->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    changes->add_option("--since", o->since, "The revision the reader has seen")->required()->check(CLI::NonNegativeNumber);
    changes->add_flag("--json", o->json, "As a JSON object");
    changes->callback([o, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        const messaging::FolderChanges found = resolveFolder(session, o->folder).ChangesSince(o->since);
        session.Logoff();
        if (found.tooOld)
            ctx.exitCode = 3;
        if (o->json) {
            nlohmann::ordered_json j;
            j["folder"] = o->folder;
            j["revision"] = found.revision;
            j["since"] = o->since;
            j["too_old"] = found.tooOld;
            j["changes"] = nlohmann::ordered_json::array();
            for (const messaging::FolderChange &c : found.changes)
                j["changes"].push_back({{"entry_id", c.entryId}, {"revision", c.revision}, {"kind", kindName(c.kind)}});
            std::cout << j.dump(2) << "\n";
            return;
        }
        if (found.tooOld) {
            std::cerr << "larkspur-store: the change log no longer reaches back to revision " << o->since
                      << "; read the whole folder (now at revision " << found.revision << ")\n";
            return;
        }
        for (const messaging::FolderChange &c : found.changes)
            std::cout << c.revision << "\t" << kindName(c.kind) << "\t" << c.entryId << "\n";
    });
}

} // namespace larkspur
