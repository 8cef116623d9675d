// ics import: iCalendar files into a folder, each file whole or not at all.
#include "Commands.h"
#include "FolderPath.h"

#include "ical/IcsStore.h"
#include "ical/IcsText.h"
#include "messaging/Session.h"

#include <iostream>
#include <map>
#include <memory>
#include <vector>

namespace larkspur {

namespace {

std::string skippedText(const std::map<std::string, int> &skipped)
{
    std::string text;
    for (const auto &[name, count] : skipped)
        text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + name;
    return text;
}

} // namespace

void addIcsImportCommand(CLI::App &ics, Context &ctx)
{
    struct ImportOptions {
        std::string folder;
        std::vector<std::string> files;
    };
    auto in = std::make_shared<ImportOptions>();
    CLI::App *importCmd = ics.add_subcommand("import", "Import the events of each file as items of FOLDER");
    importCmd->add_option("FOLDER", in->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    importCmd->add_option("FILE", in->files, "iCalendar files; each is imported whole or not at all")->required();
    addForceFlag(*importCmd, ctx);
    importCmd->callback([in, &ctx] {
        messaging::Session session(ctx.storeToWrite());
        session.Logon("Administrator");
        messaging::Folder folder = resolveFolder(session, in->folder);
        int rejected = 0;
        for (const std::string &file : in->files) {
            try {
                const ics::ImportOutcome outcome = ics::importFile(session, folder, file);
                for (const std::string &w : outcome.warnings)
                    std::cerr << "warning: " << w << "\n";
                std::cout << file << ": " << outcome.imported << " event" << (outcome.imported == 1 ? "" : "s")
                          << " imported";
                if (!outcome.skipped.empty())
                    std::cout << "; skipped " << skippedText(outcome.skipped);
                std::cout << "\n";
            } catch (const ics::IcsError &e) {
                ++rejected;
                std::cerr << "larkspur-store: " << e.what() << "\n"
                          << "larkspur-store: " << file << " was not imported\n";
            }
        }
        session.Logoff();
        if (rejected)
            ctx.exitCode = 1;
    });
}

} // namespace larkspur
