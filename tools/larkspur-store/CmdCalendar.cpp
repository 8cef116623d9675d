// calendar copy-user, copy-all, delete-all, delete-user, refresh, id: the switchboard's
// shared-calendar actions, unattended, through the pages' own work functions.
#include "ActionRun.h"
#include "Commands.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/Session.h"

#include <iostream>
#include <memory>

namespace larkspur {

namespace {

const std::string IdentifierFile = "C:\\Larkspur Calendar ID.Txt";
const std::string CopyDone = "Larkspur Calendar has been updated";
const std::string AllDeleted = "All Items have been deleted from the Larkspur Calendar";

std::string items(std::int64_t n)
{
    return std::to_string(n) + (n == 1 ? " item" : " items");
}

std::string users(std::int64_t n)
{
    return std::to_string(n) + (n == 1 ? " user" : " users");
}

// The mailbox as the page's picker would hold it: "Mailbox - <display name>".
void requireMailbox(const std::string &mailbox)
{
    if (mailbox.empty())
        throw UsageError("You must choose a Mailbox from the list");
}

struct CalendarCommand {
    ActionOptions options;
    std::string mailbox;
};

CLI::App *addActionCommand(CLI::App &parent, Context &ctx, const std::string &name, const std::string &help,
                           const std::shared_ptr<CalendarCommand> &command, bool takesMailbox)
{
    CLI::App *cmd = parent.add_subcommand(name, help);
    if (takesMailbox)
        cmd->add_option("MAILBOX", command->mailbox, "The mailbox as listed, \"Mailbox - <display name>\"")
            ->required();
    addActionOptions(*cmd, ctx, command->options, true);
    return cmd;
}

void addIdCommand(CLI::App &calendar, Context &ctx)
{
    auto options = std::make_shared<ActionOptions>();
    CLI::App *cmd = calendar.add_subcommand(
        "id", "Append the shared calendar's identifier to \"C:\\Larkspur Calendar ID.Txt\" (LARKSPUR_DRIVE_C)");
    cmd->add_flag("--json", options->json, "Print the result as a JSON object");
    cmd->add_flag("--dry-run", options->dryRun, "Print the line without writing it");
    cmd->add_flag("--quiet", options->quiet, "No message");
    cmd->callback([options, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        const messaging::Folder folder = options->dryRun ? calendar::sharedCalendar(session)
                                                         : calendar::writeFolderIdentifier(session, IdentifierFile);
        const std::string id = folder.ID();
        session.Logoff();
        if (!options->quiet && !options->dryRun)
            std::cerr << "Larkspur Calendar ID " << id << "\n has been written to the text file " << IdentifierFile
                      << "\n";
        if (options->json) {
            nlohmann::ordered_json out;
            out["action"] = "calendar id";
            out["dry_run"] = options->dryRun;
            out["id"] = id;
            out["file"] = IdentifierFile;
            out["exit_code"] = 0;
            std::cout << out.dump(2) << "\n";
        } else {
            std::cout << id << "\n";
        }
    });
}

} // namespace

void addCalendarCommands(CLI::App &app, Context &ctx)
{
    CLI::App *calendar = app.add_subcommand("calendar", "The shared calendar's actions, run unattended");
    calendar->require_subcommand(1);

    auto copyUser = std::make_shared<CalendarCommand>();
    addActionCommand(*calendar, ctx, "copy-user", "Copy one user's calendar into the shared calendar", copyUser, true)
        ->callback([copyUser, &ctx] {
            requireMailbox(copyUser->mailbox);
            runAction(ctx, copyUser->options, {"calendar copy-user", true},
                      [&](messaging::Session &session, const actions::ProgressCallback &progress) {
                          const std::int64_t copied = calendar::copyUserCalendar(
                              session, copyUser->mailbox, calendar::workstationLocale(), progress);
                          ActionResult result{CopyDone};
                          result.counts["copied"] = copied;
                          result.summary = "copied " + items(copied) + " of " + copyUser->mailbox;
                          return result;
                      });
        });

    auto copyAll = std::make_shared<CalendarCommand>();
    addActionCommand(*calendar, ctx, "copy-all", "Copy every mail user's calendar into the shared calendar (exit 3 "
                                                 "when failures were skipped)", copyAll, false)
        ->callback([copyAll, &ctx] {
            runAction(ctx, copyAll->options, {"calendar copy-all", true, false, true},
                      [](messaging::Session &session, const actions::ProgressCallback &progress) {
                          const calendar::CopyAllReport report =
                              calendar::copyAllCalendars(session, calendar::workstationLocale(), progress);
                          ActionResult result{calendar::copyAllResultText(report)};
                          addCopyAllReport(result, report);
                          result.summary = "copied " + items(report.itemsCopied) + " of " + users(report.usersDone);
                          return result;
                      });
        });

    auto deleteAll = std::make_shared<CalendarCommand>();
    addActionCommand(*calendar, ctx, "delete-all", "Delete every item of the shared calendar", deleteAll, false)
        ->callback([deleteAll, &ctx] {
            runAction(ctx, deleteAll->options, {"calendar delete-all", true},
                      [](messaging::Session &session, const actions::ProgressCallback &progress) {
                          const std::int64_t deleted = calendar::deleteAllItems(session, progress);
                          ActionResult result{AllDeleted};
                          result.counts["deleted"] = deleted;
                          result.summary = "deleted " + items(deleted);
                          return result;
                      });
        });

    auto deleteUser = std::make_shared<CalendarCommand>();
    addActionCommand(*calendar, ctx, "delete-user", "Delete one user's copies from the shared calendar", deleteUser,
                     true)
        ->callback([deleteUser, &ctx] {
            requireMailbox(deleteUser->mailbox);
            runAction(ctx, deleteUser->options, {"calendar delete-user", true},
                      [&](messaging::Session &session, const actions::ProgressCallback &progress) {
                          const std::int64_t deleted =
                              calendar::deleteUserItems(session, deleteUser->mailbox, progress);
                          ActionResult result{"The selected Items have been deleted from the Larkspur Calendar"};
                          result.counts["deleted"] = deleted;
                          result.summary = "deleted " + items(deleted) + " of " + deleteUser->mailbox;
                          return result;
                      });
        });

    auto refresh = std::make_shared<CalendarCommand>();
    addActionCommand(*calendar, ctx, "refresh",
                     "Empty the shared calendar and copy every calendar again, in one transaction: readers see the "
                     "old content until the new one is complete (exit 3 when failures were skipped)",
                     refresh, false)
        ->callback([refresh, &ctx] {
            runAction(ctx, refresh->options, {"calendar refresh", true, true, true},
                      [](messaging::Session &session, const actions::ProgressCallback &progress) {
                          const calendar::RefreshReport report =
                              calendar::refreshSharedCalendar(session, calendar::workstationLocale(), progress);
                          ActionResult result{AllDeleted + "\n" + calendar::copyAllResultText(report.copied)};
                          result.counts["deleted"] = report.deleted;
                          addCopyAllReport(result, report.copied);
                          result.summary = "deleted " + items(report.deleted) + ", copied "
                                           + items(report.copied.itemsCopied) + " of "
                                           + users(report.copied.usersDone);
                          return result;
                      });
        });

    addIdCommand(*calendar, ctx);
}

} // namespace larkspur
