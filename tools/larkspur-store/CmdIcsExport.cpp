// ics export: a folder as one iCalendar file (or standard output).
#include "Commands.h"
#include "FolderPath.h"

#include "ical/IcsStore.h"
#include "messaging/Session.h"
#include "textfile/PrivateFiles.h"

#include <iostream>
#include <memory>
#include <vector>

namespace larkspur {

void addIcsExportCommand(CLI::App &ics, Context &ctx)
{
    struct ExportOptions {
        std::string folder;
        std::string file;
    };
    auto out = std::make_shared<ExportOptions>();
    CLI::App *exportCmd = ics.add_subcommand("export", "Export FOLDER as one iCalendar file");
    exportCmd->add_option("FOLDER", out->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    exportCmd->add_option("FILE", out->file, "Output file, \"-\" for standard output")->required();
    exportCmd->callback([out, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        messaging::Folder folder = resolveFolder(session, out->folder);
        std::vector<std::string> warnings;
        const std::string text = ics::exportFolder(folder, warnings);
        session.Logoff();
        for (const std::string &w : warnings)
            std::cerr << "warning: " << w << "\n";
        if (out->file == "-") {
            std::cout << text << std::flush;
            return;
        }
        // The export holds private items: it is the administrator's alone (or keeps the
        // modes of the file it replaces), and a failed export leaves the old file as it was.
        textfile::replaceFile(out->file, text);
    });
}

void addIcsCommands(CLI::App &app, Context &ctx)
{
    CLI::App *ics = app.add_subcommand("ics", "Import or export iCalendar (RFC 5545) files");
    ics->require_subcommand(1);
    addIcsImportCommand(*ics, ctx);
    addIcsExportCommand(*ics, ctx);
}

} // namespace larkspur
