// The commands of larkspur-store. Each registers its subcommand on the application;
// its callback does the work and throws CommandError (or messaging::Error) for bad input,
// which main reports on stderr with a non-zero exit status.
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

// What every command shares: the store path given with --store.
struct Context {
    std::string storeOption;
    int exitCode = 0;
    std::filesystem::path storePath() const;
    // Throws CommandError when the store file does not exist.
    std::filesystem::path existingStore() const;
};

void addInitCommand(CLI::App &app, Context &ctx);
void addUserCommands(CLI::App &app, Context &ctx);
void addItemCommands(CLI::App &app, Context &ctx);
void addDumpCommands(CLI::App &app, Context &ctx);
void addCheckCommand(CLI::App &app, Context &ctx);
void addIcsCommands(CLI::App &app, Context &ctx);
void addIcsImportCommand(CLI::App &ics, Context &ctx);
void addIcsExportCommand(CLI::App &ics, Context &ctx);

} // namespace larkspur
