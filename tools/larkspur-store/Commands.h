// The commands of larkspur-store. Each registers its subcommand on the application;
// its callback does the work and throws CommandError (or messaging::Error) for bad input,
// which main reports on stderr with exit status 1; UsageError for an argument the command
// never accepts, exit status 2; BusyError when another bulk action holds the shared
// calendar, exit status 4. A command that finished with skipped failures sets
// Context::exitCode to 3.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace larkspur {

class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UsageError : public CommandError {
public:
    using CommandError::CommandError;
};

class BusyError : public CommandError {
public:
    using CommandError::CommandError;
};

namespace ExitCode {
inline constexpr int Done = 0;
inline constexpr int Failed = 1;
inline constexpr int Usage = 2;
inline constexpr int Skipped = 3;
inline constexpr int Busy = 4;
} // namespace ExitCode

// What every command shares: the store path given with --store, and --force of the
// commands that write.
struct Context {
    std::string storeOption;
    bool force = false;
    int exitCode = 0;
    std::filesystem::path storePath() const;
    // Throws CommandError when the store file does not exist.
    std::filesystem::path existingStore() const;
    // The existing store, for a command that writes to it. A store that fails its check
    // is not written to: CommandError naming the first fault, unless --force was given.
    std::filesystem::path storeToWrite() const;
};

// Gives a command that writes to the store its --force flag.
void addForceFlag(CLI::App &cmd, Context &ctx);

void addInitCommand(CLI::App &app, Context &ctx);
void addUserCommands(CLI::App &app, Context &ctx);
void addItemCommands(CLI::App &app, Context &ctx);
void addDumpCommands(CLI::App &app, Context &ctx);
void addCheckCommand(CLI::App &app, Context &ctx);
void addRevisionCommands(CLI::App &app, Context &ctx);
void addIcsCommands(CLI::App &app, Context &ctx);
void addIcsImportCommand(CLI::App &ics, Context &ctx);
void addIcsExportCommand(CLI::App &ics, Context &ctx);
// The switchboard's actions, run unattended (CmdCalendar.cpp, CmdScripts.cpp).
void addCalendarCommands(CLI::App &app, Context &ctx);
void addScriptCommands(CLI::App &app, Context &ctx);

} // namespace larkspur
