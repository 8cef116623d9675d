// user add, user list, share, unshare: the directory and the mailboxes.
#include "Commands.h"

#include "dav/Passwords.h"
#include "messaging/PropTags.h"
#include "messaging/ServerAdmin.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <optional>

#include <termios.h>
#include <unistd.h>

namespace larkspur {

void addUserCommands(CLI::App &app, Context &ctx)
{
    CLI::App *user = app.add_subcommand("user", "Add or list address entries");
    user->require_subcommand(1);

    struct AddOptions {
        std::string name;
        std::string tag;
        int displayType = 0;
        bool unshared = false;
    };
    auto add = std::make_shared<AddOptions>();
    CLI::App *addCmd = user->add_subcommand("add", "Add an address entry (a mailbox for display type 0)");
    addCmd->add_option("NAME", add->name, "Display name")->required();
    addCmd->add_option("--tag", add->tag, "Owner tag (field 0x802D001E)");
    addCmd->add_option("--display-type", add->displayType, "0 user, 1 distribution list, 2 public folder, 6 remote user")
        ->check(CLI::Range(0, 100));
    addCmd->add_flag("--unshared", add->unshared, "Do not share the mailbox to the Administrator profile");
    addForceFlag(*addCmd, ctx);
    addCmd->callback([add, addCmd, &ctx] {
        // "Mailbox - <name>" begins folder paths: a slash in it would let "Ann Lee/Calendar"
        // take the paths of Ann Lee's own folders.
        if (add->displayType == 0 && add->name.find('/') != std::string::npos)
            throw UsageError("a user's display name cannot hold \"/\": \"" + add->name + "\"");
        messaging::ServerAdmin admin(ctx.storeToWrite());
        const bool hasTag = addCmd->count("--tag") > 0;
        admin.addUser(add->name, hasTag ? std::optional<std::string>(add->tag) : std::nullopt, add->displayType,
                      !add->unshared);
        std::cout << "added " << add->name;
        if (add->displayType == 0)
            std::cout << " with mailbox \"Mailbox - " << add->name << "\"" << (add->unshared ? " (not shared)" : "");
        std::cout << "\n";
    });

    auto json = std::make_shared<bool>(false);
    CLI::App *list = user->add_subcommand("list", "List the address entries in address-list order");
    list->add_flag("--json", *json, "As a JSON array");
    list->callback([json, &ctx] {
        messaging::ServerAdmin admin(ctx.existingStore());
        const std::vector<messaging::UserInfo> users = admin.users();
        if (*json) {
            nlohmann::ordered_json out = nlohmann::ordered_json::array();
            for (const auto &u : users) {
                nlohmann::ordered_json j;
                j["name"] = u.name;
                j["display_type"] = u.displayType;
                j["tag"] = u.tag ? nlohmann::ordered_json(*u.tag) : nlohmann::ordered_json(nullptr);
                j["mailbox"] = u.mailbox ? nlohmann::ordered_json(*u.mailbox) : nlohmann::ordered_json(nullptr);
                j["shared"] = u.shared;
                out.push_back(std::move(j));
            }
            std::cout << out.dump(2) << "\n";
            return;
        }
        for (const auto &u : users) {
            std::cout << u.name << "\ttype " << u.displayType << "\ttag " << u.tag.value_or("-") << "\t"
                      << u.mailbox.value_or("-") << (u.mailbox ? (u.shared ? " (shared)" : " (not shared)") : "")
                      << "\n";
        }
    });

    // The password never comes from the command line, where other users of the machine
    // could read it: from standard input, without echo when that is a terminal.
    auto passwdName = std::make_shared<std::string>();
    CLI::App *passwd = user->add_subcommand("passwd", "Set the calendar server password of a user (read from standard input)");
    passwd->add_option("NAME", *passwdName, "Display name, exactly as listed")->required();
    passwd->callback([passwdName, &ctx] {
        messaging::ServerAdmin admin(ctx.existingStore());
        bool known = false;
        for (const auto &u : admin.users())
            known = known || (u.name == *passwdName && u.displayType == 0);
        if (!known)
            throw CommandError("no user \"" + *passwdName + "\" (see: larkspur-store user list)");
        const bool terminal = isatty(STDIN_FILENO) == 1;
        termios saved{};
        if (terminal) {
            std::cerr << "Password for " << *passwdName << ": " << std::flush;
            tcgetattr(STDIN_FILENO, &saved);
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
        std::string input;
        char c = 0;
        while (input.size() <= dav::MaxPasswordBytes + 2 && std::cin.get(c)) {
            input += c;
            if (terminal && c == '\n')
                break;
        }
        if (terminal) {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
            std::cerr << "\n";
        }
        const std::string password = dav::passwordFromInput(std::move(input));
        if (password.empty())
            throw CommandError("the password must be one line of 1 to " + std::to_string(dav::MaxPasswordBytes)
                               + " bytes on standard input");
        admin.setEntryField(*passwdName, messaging::PropTag::PasswordHash, dav::hashPassword(password));
        std::cout << "password set for " << *passwdName << "\n";
    });

    for (const bool sharing : {true, false}) {
        auto mailbox = std::make_shared<std::string>();
        CLI::App *cmd = app.add_subcommand(sharing ? "share" : "unshare",
                                           sharing ? "Share a mailbox to the Administrator profile"
                                                   : "Stop sharing a mailbox to the Administrator profile");
        cmd->add_option("MAILBOX", *mailbox, "Store name, \"Mailbox - <display name>\"")->required();
        addForceFlag(*cmd, ctx);
        cmd->callback([mailbox, sharing, &ctx] {
            messaging::ServerAdmin admin(ctx.storeToWrite());
            bool known = false;
            for (const auto &u : admin.users())
                known = known || (u.mailbox && *u.mailbox == *mailbox);
            if (!known)
                throw CommandError("no mailbox \"" + *mailbox + "\" (see: larkspur-store user list)");
            if (sharing)
                admin.share(*mailbox);
            else
                admin.unshare(*mailbox);
            std::cout << (sharing ? "shared " : "unshared ") << *mailbox << "\n";
        });
    }
}

} // namespace larkspur
