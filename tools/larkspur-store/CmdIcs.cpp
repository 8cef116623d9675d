// ics import / ics export: iCalendar files into a folder, a folder as one iCalendar file.
#include "Commands.h"
#include "FolderPath.h"
#include "IcsStore.h"
#include "IcsText.h"

#include "messaging/Session.h"

#include <fstream>
#include <iostream>
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

void addIcsCommands(CLI::App &app, Context &ctx)
{
    CLI::App *ics = app.add_subcommand("ics", "Import or export iCalendar (RFC 5545) files");
    ics->require_subcommand(1);

    struct ImportOptions {
        std::string folder;
        std::vector<std::string> files;
    };
    auto in = std::make_shared<ImportOptions>();
    CLI::App *importCmd = ics->add_subcommand("import", "Import the events of each file as items of FOLDER");
    importCmd->add_option("FOLDER", in->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    importCmd->add_option("FILE", in->files, "iCalendar files; each is imported whole or not at all")->required();
    importCmd->callback([in, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        messaging::Folder folder = resolveFolder(session, in->folder);
        int rejected = 0;
        for (const std::string &file : in->files) {
            try {
                const ics::ImportOutcome outcome = ics::importFile(folder, file);
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

    struct ExportOptions {
        std::string folder;
        std::string file;
    };
    auto out = std::make_shared<ExportOptions>();
    CLI::App *exportCmd = ics->add_subcommand("export", "Export FOLDER as one iCalendar file");
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
        // Written beside the target and renamed over it, so a failed export never
        // leaves a half-written calendar behind.
        const std::filesystem::path target(out->file);
        std::filesystem::path temp = target;
        temp += ".part";
        {
            std::ofstream f(temp, std::ios::binary | std::ios::trunc);
            f << text;
            f.flush();
            if (!f)
                throw CommandError("cannot write \"" + temp.string() + "\"");
        }
        std::error_code ec;
        std::filesystem::rename(temp, target, ec);
        if (ec) {
            std::filesystem::remove(temp, ec);
            throw CommandError("cannot write \"" + target.string() + "\"");
        }
    });
}

} // namespace larkspur
