// larkspur-store: the administrator's way to make and inspect a server store.
#include "Commands.h"

#include "messaging/Error.h"
#include "messaging/Session.h"

#include "IcsText.h"

#include <iostream>

namespace larkspur {

std::filesystem::path Context::storePath() const
{
    if (!storeOption.empty())
        return storeOption;
    return messaging::Session::defaultStorePath();
}

std::filesystem::path Context::existingStore() const
{
    const std::filesystem::path path = storePath();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw CommandError("no store at \"" + path.string() + "\" (create one with: larkspur-store init)");
    return path;
}

} // namespace larkspur

int main(int argc, char **argv)
{
    using namespace larkspur;
    CLI::App app{"Creates and inspects a Larkspur server store, and imports and exports iCalendar files.",
                 "larkspur-store"};
    Context ctx;
    app.add_option("--store", ctx.storeOption,
                   "The store file (default: $LARKSPUR_STORE, else ~/.local/share/larkspur/store.db)");
    app.require_subcommand(1);
    addInitCommand(app, ctx);
    addUserCommands(app, ctx);
    addItemCommands(app, ctx);
    addDumpCommands(app, ctx);
    addCheckCommand(app, ctx);
    addIcsCommands(app, ctx);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    } catch (const messaging::Error &e) {
        std::cerr << "larkspur-store: " << e.description() << " (" << e.number() << ")\n";
        return 1;
    } catch (const ics::IcsError &e) {
        std::cerr << "larkspur-store: " << e.what() << "\n";
        return 1;
    } catch (const std::exception &e) {
        std::cerr << "larkspur-store: " << e.what() << "\n";
        return 1;
    }
    return ctx.exitCode;
}
