// check: SQLite's integrity check and the store's own invariants.
#include "Commands.h"

#include "messaging/ServerAdmin.h"

#include <iostream>

namespace larkspur {

void addCheckCommand(CLI::App &app, Context &ctx)
{
    CLI::App *cmd = app.add_subcommand("check", "Check the store; exits non-zero on a fault");
    cmd->callback([&ctx] {
        const std::vector<std::string> faults = messaging::ServerAdmin(ctx.existingStore()).check();
        for (const std::string &f : faults)
            std::cerr << "fault: " << f << "\n";
        if (!faults.empty()) {
            std::cerr << faults.size() << " fault(s) in " << ctx.storePath().string() << "\n";
            ctx.exitCode = 1;
            return;
        }
        std::cout << "store is sound\n";
    });
}

} // namespace larkspur
