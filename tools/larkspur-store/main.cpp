// larkspur-store: the administrator's way to make and inspect a server store.
#include "Commands.h"

#include "core/Error.h"
#include "ical/IcsText.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string_view>

namespace larkspur {

namespace {

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong forms, no
// surrogates, nothing past U+10FFFF.
bool validUtf8(std::string_view s)
{
    static constexpr std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t more = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2
                                             : c >= 0xF0 && c <= 0xF4 ? 3 : 4;
        if (more == 4 || s.size() - i <= more)
            return false;
        std::uint32_t cp = more == 0 ? c : c & (0x3Fu >> more);
        for (std::size_t k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        if (cp < least[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

// The argument with its bytes outside printable ASCII as \xHH, for an error message.
std::string escaped(std::string_view s)
{
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

} // namespace

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
    // A database on a server is looked for when it is opened.
    if (!messaging::ServerAdmin::onServer(path) && !std::filesystem::is_regular_file(path, ec))
        throw CommandError("no store at \"" + path.string() + "\" (create one with: larkspur-store init)");
    return path;
}

std::filesystem::path Context::storeToWrite() const
{
    const std::filesystem::path path = existingStore();
    const std::vector<std::string> faults = messaging::ServerAdmin(path).check();
    if (faults.empty())
        return path;
    const std::string fault = faults.front() + (faults.size() > 1 ? " and " + std::to_string(faults.size() - 1)
                                                                        + " more" : std::string());
    if (!force)
        throw CommandError("the store \"" + path.string() + "\" fails its check (" + fault
                           + "); nothing was written (see: larkspur-store check; --force writes anyway)");
    std::cerr << "warning: writing to a store that fails its check (" << fault << ")\n";
    return path;
}

void addForceFlag(CLI::App &cmd, Context &ctx)
{
    cmd.add_flag("--force", ctx.force, "Write even to a store that fails its check");
}

} // namespace larkspur

int main(int argc, char **argv)
{
    using namespace larkspur;
    // Every argument may end up in the store or in a JSON document: text that is not
    // UTF-8 is refused before anything is opened.
    for (int i = 1; i < argc; ++i) {
        if (!validUtf8(argv[i])) {
            std::cerr << "larkspur-store: the argument \"" << escaped(argv[i]) << "\" is not valid UTF-8\n";
            return 2;
        }
    }
    CLI::App app{"Creates and inspects a Larkspur server store, and imports and exports iCalendar files.",
                 "larkspur-store"};
    Context ctx;
    app.add_option("--store", ctx.storeOption,
                   "The store file (default: $LARKSPUR_STORE, else ~/.local/share/larkspur/store.db)")
        ->check([](const std::string &path) { return path.empty() ? std::string("the store path is empty") : ""; });
    app.require_subcommand(1);
    addInitCommand(app, ctx);
    addUserCommands(app, ctx);
    addItemCommands(app, ctx);
    addDumpCommands(app, ctx);
    addCheckCommand(app, ctx);
    addRevisionCommands(app, ctx);
    addIcsCommands(app, ctx);
    addCalendarCommands(app, ctx);
    addScriptCommands(app, ctx);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? 0 : 2;
    } catch (const UsageError &e) {
        std::cerr << "larkspur-store: " << e.what() << "\n";
        return ExitCode::Usage;
    } catch (const BusyError &e) {
        std::cerr << "larkspur-store: " << e.what() << "\n";
        return ExitCode::Busy;
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
