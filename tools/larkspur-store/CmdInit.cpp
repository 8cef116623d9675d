// init: a new store with its standard layout, optionally filled with demo data.
#include "Commands.h"
#include "Demo.h"

#include "messaging/ServerAdmin.h"

#include <iostream>
#include <memory>

namespace larkspur {

void addInitCommand(CLI::App &app, Context &ctx)
{
    struct Options {
        bool demo = false;
        int users = 12;
        int items = 20;
        std::uint32_t seed = 1;
        std::string from;
    };
    auto opt = std::make_shared<Options>();
    CLI::App *cmd = app.add_subcommand("init", "Create a new store (public folders, address list, Administrator)");
    cmd->add_flag("--demo", opt->demo, "Add demo users with calendar items");
    cmd->add_option("--users", opt->users, "Demo users (default 12)")->check(CLI::Range(0, 100000));
    cmd->add_option("--items", opt->items, "Calendar items per demo user (default 20)")->check(CLI::Range(0, 1000000));
    cmd->add_option("--seed", opt->seed, "Seed of the demo data (default 1)");
    cmd->add_option("--from", opt->from, "First day of the demo items, YYYY-MM-DD (default: this week's Monday)");
    cmd->callback([opt, &ctx] {
        const std::filesystem::path path = ctx.storePath();
        DemoOptions demo;
        demo.users = opt->users;
        demo.items = opt->items;
        demo.seed = opt->seed;
        demo.from = thisMonday();
        if (!opt->from.empty()) {
            const auto from = parseIso(opt->from);
            if (!from)
                throw CommandError("malformed date \"" + opt->from + "\" (expected YYYY-MM-DD)");
            demo.from = CivilTime{from->year, from->month, from->day, 0, 0, 0};
        }
        std::error_code ec;
        if (std::filesystem::exists(path, ec))
            throw CommandError("a store already exists at \"" + path.string() + "\"");
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), ec);
        messaging::ServerAdmin::createStore(path);
        if (opt->demo)
            generateDemo(path, demo);
        std::cout << "created " << path.string();
        if (opt->demo)
            std::cout << " with " << demo.users << " demo users of " << demo.items << " items each";
        std::cout << "\n";
    });
}

} // namespace larkspur
