// scripts add, add-all, remove, remove-mailbox, remove-all: the switchboard's event-script
// actions, unattended, through the pages' own work functions.
#include "ActionRun.h"
#include "Commands.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/Session.h"

#include <memory>

namespace larkspur {

namespace {

const std::string Installed = "The script has been successfully installed";
const std::string AllRemoved = "All scripts for the Mailbox have been deleted";

std::string scriptCount(std::int64_t n)
{
    return std::to_string(n) + (n == 1 ? " script" : " scripts");
}

struct ScriptCommand {
    ActionOptions options;
    std::string mailbox;
    std::string folder;
    std::string name;
    std::string file;
    std::vector<std::string> events;
};

// The page's checks, in the page's order, with the page's texts; a failed one is a
// usage error. Returns the ticked boxes.
scripts::EventBoxes checkInstall(const ScriptCommand &command, bool takesMailbox)
{
    if (takesMailbox && command.mailbox.empty())
        throw UsageError("You must choose a Mailbox from the list");
    if (command.file.empty())
        throw UsageError("You must enter the file name and path of the script file.");
    scripts::EventBoxes boxes;
    for (const std::string &event : command.events) {
        if (event == "new")
            boxes.isNew = true;
        else if (event == "changed")
            boxes.changed = true;
        else if (event == "delete")
            boxes.deleted = true;
        else if (event == "schedule")
            boxes.schedule = true;
        else if (!event.empty())
            throw UsageError("unknown event \"" + event + "\" (events: new, changed, delete, schedule)");
    }
    if (!boxes.isNew && !boxes.changed && !boxes.deleted && !boxes.schedule)
        throw UsageError("You have not checked any events for your script");
    return boxes;
}

// The install options; the script name starts as the pages' does for the folder.
CLI::App *addInstallCommand(CLI::App &parent, Context &ctx, const std::string &name, const std::string &help,
                            const std::shared_ptr<ScriptCommand> &command, bool takesMailbox)
{
    CLI::App *cmd = parent.add_subcommand(name, help);
    if (takesMailbox)
        cmd->add_option("MAILBOX", command->mailbox, "The mailbox as listed, \"Mailbox - <display name>\"")
            ->required();
    cmd->add_option("FOLDER", command->folder, "A folder directly below the mailbox's root (\"Calendar\")")
        ->required();
    cmd->add_option("--name", command->name,
                    "The script's name (default: \"Larkspur Calendar - Deleted Items Folder\" for \"Deleted Items\", "
                    "else \"Larkspur Calendar - Personal Calendar Folder\")");
    cmd->add_option("--file", command->file, "The script file");
    cmd->add_option("--events", command->events, "The events that run the script: new,changed,delete,schedule")
        ->delimiter(',');
    addActionOptions(*cmd, ctx, command->options, false);
    return cmd;
}

scripts::ScriptInstall installOf(const ScriptCommand &command, CLI::App *cmd, std::int16_t mask)
{
    scripts::ScriptInstall install;
    install.folderName = command.folder;
    if (cmd->count("--name") > 0)
        install.scriptName = command.name;
    else
        install.scriptName = command.folder == "Deleted Items" ? "Larkspur Calendar - Deleted Items Folder"
                                                                : "Larkspur Calendar - Personal Calendar Folder";
    install.eventMask = mask;
    install.scriptPath = command.file;
    return install;
}

ActionResult removed(const std::string &message, int count)
{
    ActionResult result{message};
    result.counts["removed"] = count;
    result.summary = "removed " + scriptCount(count);
    return result;
}

} // namespace

void addScriptCommands(CLI::App &app, Context &ctx)
{
    CLI::App *group = app.add_subcommand("scripts", "The event-script actions, run unattended");
    group->require_subcommand(1);

    auto add = std::make_shared<ScriptCommand>();
    CLI::App *addCmd = addInstallCommand(*group, ctx, "add", "Install a script on one folder of one mailbox", add, true);
    addCmd->callback([add, addCmd, &ctx] {
        const scripts::ScriptInstall install = installOf(*add, addCmd, scripts::oneUserEventMask(checkInstall(*add, true)));
        runAction(ctx, add->options, {"scripts add"}, [&](messaging::Session &session, const actions::ProgressCallback &) {
            scripts::installScript(session, add->mailbox, install);
            ActionResult result{Installed};
            result.counts["installed"] = 1;
            result.counts["event_mask"] = install.eventMask;
            result.summary = "installed 1 script on " + add->mailbox + "/" + add->folder;
            return result;
        });
    });

    auto addAll = std::make_shared<ScriptCommand>();
    CLI::App *addAllCmd = addInstallCommand(*group, ctx, "add-all",
                                            "Install a script on one folder of every mail user but Administrator",
                                            addAll, false);
    addAllCmd->callback([addAll, addAllCmd, &ctx] {
        const scripts::ScriptInstall install =
            installOf(*addAll, addAllCmd, scripts::allUsersEventMask(checkInstall(*addAll, false)));
        runAction(ctx, addAll->options, {"scripts add-all"},
                  [&](messaging::Session &session, const actions::ProgressCallback &progress) {
                      const int installed = scripts::installScriptForAllUsers(session, install, progress);
                      ActionResult result{Installed};
                      result.counts["installed"] = installed;
                      result.counts["event_mask"] = install.eventMask;
                      result.summary = "installed " + scriptCount(installed);
                      return result;
                  });
    });

    auto remove = std::make_shared<ScriptCommand>();
    CLI::App *removeCmd = group->add_subcommand("remove", "Remove every script of one folder of one mailbox");
    removeCmd->add_option("MAILBOX", remove->mailbox, "The mailbox as listed, \"Mailbox - <display name>\"")
        ->required();
    removeCmd->add_option("FOLDER", remove->folder, "A folder directly below the mailbox's root")->required();
    addActionOptions(*removeCmd, ctx, remove->options, false);
    removeCmd->callback([remove, &ctx] {
        if (remove->mailbox.empty())
            throw UsageError("You must choose a Mailbox from the list");
        runAction(ctx, remove->options, {"scripts remove"}, [&](messaging::Session &session, const actions::ProgressCallback &) {
            return removed("The script has been successfully deleted",
                           scripts::deleteFolderScripts(session, remove->mailbox, remove->folder));
        });
    });

    auto removeMailbox = std::make_shared<ScriptCommand>();
    CLI::App *removeMailboxCmd =
        group->add_subcommand("remove-mailbox", "Remove every script of the top-level folders of one mailbox");
    removeMailboxCmd->add_option("MAILBOX", removeMailbox->mailbox, "The mailbox as listed, \"Mailbox - <display name>\"")
        ->required();
    addActionOptions(*removeMailboxCmd, ctx, removeMailbox->options, false);
    removeMailboxCmd->callback([removeMailbox, &ctx] {
        if (removeMailbox->mailbox.empty())
            throw UsageError("You must choose a Mailbox from the list");
        runAction(ctx, removeMailbox->options, {"scripts remove-mailbox"},
                  [&](messaging::Session &session, const actions::ProgressCallback &) {
                      return removed(AllRemoved, scripts::deleteMailboxScripts(session, removeMailbox->mailbox));
                  });
    });

    auto removeAll = std::make_shared<ScriptCommand>();
    CLI::App *removeAllCmd = group->add_subcommand(
        "remove-all", "Remove every script of the top-level folders of every mail user's mailbox but Administrator's");
    addActionOptions(*removeAllCmd, ctx, removeAll->options, false);
    removeAllCmd->callback([removeAll, &ctx] {
        runAction(ctx, removeAll->options, {"scripts remove-all"},
                  [](messaging::Session &session, const actions::ProgressCallback &progress) {
                      return removed(AllRemoved, scripts::deleteAllMailboxScripts(session, progress));
                  });
    });
}

} // namespace larkspur
