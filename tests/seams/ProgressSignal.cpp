// A progress seam of larkspur-store-test: LARKSPUR_SIGNAL_AT="<stage>:<items>:<STOP|KILL>"
// makes the run send itself SIGSTOP or SIGKILL once the stage ("copy", "delete" ...) has
// done that many items, so a test can hold a run at a known point (the lock held, its
// transaction open) or end it there as a crash would.
#include "TerminalProgress.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool installSignalFromEnvironment()
{
    const char *variable = std::getenv("LARKSPUR_SIGNAL_AT");
    char stage[32] = {}, action[8] = {};
    long long items = 0;
    if (!variable || std::sscanf(variable, "%31[^:]:%lld:%7s", stage, &items, action) != 3)
        return false;
    const int signal = std::strcmp(action, "KILL") == 0 ? SIGKILL : SIGSTOP;
    larkspur::setProgressObserver([=, sent = false](const actions::Progress &progress) mutable {
        if (!sent && std::strcmp(stage, progress.stage) == 0 && progress.itemsDone >= items) {
            sent = true;
            std::raise(signal);
        }
    });
    return true;
}

[[maybe_unused]] const bool installed = installSignalFromEnvironment();

} // namespace
