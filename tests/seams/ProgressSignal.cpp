// A progress seam of larkspur-store-test: LARKSPUR_SIGNAL_AT="<stage>:<items>:<STOP|KILL>"
// makes the run send itself SIGSTOP or SIGKILL once the stage ("copy", "delete" ...) has
// done that many items, so a test can hold a run at a known point (and look at the store
// and the lock meanwhile) or end it there as a crash would.
#include "TerminalProgress.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool installSignalFromEnvironment()
{
    const char *variable = std::getenv("LARKSPUR_SIGNAL_AT");
    if (!variable)
        return false;
    const std::string text(variable);
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return false;
    const std::string stage = text.substr(0, first);
    const long long items = std::atoll(text.substr(first + 1, second - first - 1).c_str());
    const int signal = text.substr(second + 1) == "KILL" ? SIGKILL : SIGSTOP;
    auto sent = std::make_shared<bool>(false);
    larkspur::setProgressObserver([=](const actions::Progress &progress) {
        if (*sent || stage != progress.stage || progress.itemsDone < items)
            return;
        *sent = true;
        std::raise(signal);
    });
    return true;
}

[[maybe_unused]] const bool installed = installSignalFromEnvironment();

} // namespace
