// ActionRun: what every switchboard action run from the command line shares.
//
// The options: --json (the result as a JSON object on standard output), --dry-run (the
// action runs and everything it wrote is rolled back), --quiet (no progress, no result
// message), --force (write to a store that fails its check) and, for the actions that
// work on the shared calendar, --wait SECONDS (wait for another bulk action to finish
// instead of exiting with status 4 at once).
//
// A run: the store is checked, the shared calendar's lock taken (calendar actions),
// the session logged on with "Administrator", the work done (inside one write group
// when it must land whole, and always with --dry-run), the session logged off, then the
// page's result message on standard error and the result on standard output. A work
// failure leaves as messaging::Error; with a group open the group is abandoned, so
// nothing of it lands.
#pragma once

#include "Commands.h"
#include "actions/Progress.h"
#include "actions/calendar/CalendarActions.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace messaging {
class Session;
}

namespace larkspur {

struct ActionOptions {
    bool json = false;
    bool dryRun = false;
    bool quiet = false;
    double waitSeconds = 0;
};

// What a run did, for the summary line, the JSON object and the exit status.
struct ActionResult {
    std::string message;                  // the page's result message
    nlohmann::ordered_json counts = nlohmann::ordered_json::object();
    std::string summary{};                // "deleted 12 items" ("would have ..." in a dry run)
    std::vector<calendar::SkippedFailure> skipped{};
};

struct ActionKind {
    std::string name;          // "calendar refresh"
    bool sharedCalendar = false; // takes the shared calendar's lock
    bool wholeOrNothing = false; // one write group, committed only when the work completes
    bool skips = false;          // may skip failures (the all-users copy): JSON lists them always
};

using ActionWork = std::function<ActionResult(messaging::Session &, const actions::ProgressCallback &)>;

// Adds the options above to an action's subcommand.
void addActionOptions(CLI::App &cmd, Context &ctx, ActionOptions &options, bool sharedCalendar);
// Runs one action as described above; sets ctx.exitCode to 3 when failures were skipped.
void runAction(Context &ctx, const ActionOptions &options, const ActionKind &kind, const ActionWork &work);

// The skipped failures and counts of an all-users copy, into a result.
void addCopyAllReport(ActionResult &result, const calendar::CopyAllReport &report);

} // namespace larkspur
