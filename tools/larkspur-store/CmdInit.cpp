// init: a new store with its standard layout, optionally filled with demo data.
#include "Commands.h"
#include "Demo.h"

#include "messaging/ServerAdmin.h"
#include "textfile/PrivateFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>

namespace larkspur {

namespace {

// Builds a store with `build` and puts it at `path` only when it is whole. A failed build
// (a full disk, an interrupted demo) leaves nothing, so the next init is not refused: the
// store is made in a private folder of its own beside `path` (the same file system) and
// moved into place at the end, never over a store that appeared meanwhile.
void buildStore(const std::filesystem::path &path, const std::function<void(const std::filesystem::path &)> &build)
{
    const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (!textfile::createPrivateFolders(parent))
        throw CommandError("cannot create the folder \"" + parent.string() + "\" (" + std::strerror(errno) + ")");
    std::string work = (parent / ".larkspur-init-XXXXXX").string();
    if (!::mkdtemp(work.data()))
        throw CommandError("cannot create a store in \"" + parent.string() + "\" (" + std::strerror(errno) + ")");
    const std::filesystem::path built = std::filesystem::path(work) / "store.db";
    std::error_code ignored;
    try {
        build(built);
        // Every connection is closed: a write-ahead log still there holds what the file lacks.
        if (std::filesystem::exists(built.string() + "-wal", ignored))
            throw CommandError("the new store could not be completed");
        if (!textfile::moveIntoPlace(built, path)) {
            const int error = errno;
            throw CommandError(error == EEXIST ? "a store already exists at \"" + path.string() + "\""
                                               : "cannot create \"" + path.string() + "\" (" + std::strerror(error) + ")");
        }
    } catch (...) {
        std::filesystem::remove_all(work, ignored);
        throw;
    }
    std::filesystem::remove_all(work, ignored);
}

} // namespace

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
        if (messaging::ServerAdmin::onServer(path)) {
            // A database is made whole or emptied again: it held no tables before.
            messaging::ServerAdmin::createStore(path);
            try {
                if (opt->demo)
                    generateDemo(path, demo);
            } catch (...) {
                messaging::ServerAdmin::removeStore(path);
                throw;
            }
        } else {
            if (std::filesystem::exists(path, ec))
                throw CommandError("a store already exists at \"" + path.string() + "\"");
            buildStore(path, [&](const std::filesystem::path &built) {
                messaging::ServerAdmin::createStore(built);
                if (opt->demo)
                    generateDemo(built, demo);
            });
        }
        std::cout << "created " << path.string();
        if (opt->demo)
            std::cout << " with " << demo.users << " demo users of " << demo.items << " items each";
        std::cout << "\n";
    });
}

} // namespace larkspur
