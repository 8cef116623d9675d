#include "ActionRun.h"

#include "TerminalProgress.h"
#include "actions/calendar/CalendarLock.h"

#include "messaging/Session.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <memory>

namespace larkspur {

namespace {

// Longer than any night: a wait that long is a mistake on the command line.
constexpr double LongestWait = 24 * 60 * 60;

nlohmann::ordered_json skippedJson(const std::vector<calendar::SkippedFailure> &skipped)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const calendar::SkippedFailure &failure : skipped) {
        nlohmann::ordered_json j;
        j["mailbox"] = failure.mailbox;
        j["subject"] = failure.subject;
        j["number"] = failure.number;
        j["description"] = failure.description;
        list.push_back(std::move(j));
    }
    return list;
}

std::unique_ptr<calendar::CalendarLock> takeLock(const std::filesystem::path &store, const ActionOptions &options)
{
    std::unique_ptr<calendar::CalendarLock> lock = calendar::calendarLockFor(store);
    const auto patience = std::chrono::milliseconds(static_cast<long long>(std::ceil(options.waitSeconds * 1000)));
    if (!lock->acquire(patience))
        throw BusyError("the shared calendar is busy: another administrator is changing it (a bulk action holds "
                        + lock->name() + "); nothing was done");
    return lock;
}

} // namespace

void addActionOptions(CLI::App &cmd, Context &ctx, ActionOptions &options, bool sharedCalendar)
{
    cmd.add_flag("--json", options.json, "Print the result as a JSON object");
    cmd.add_flag("--dry-run", options.dryRun, "Run the action, print what would change and roll it all back");
    cmd.add_flag("--quiet", options.quiet, "No progress and no result message (errors are still reported)");
    if (sharedCalendar)
        cmd.add_option("--wait", options.waitSeconds,
                       "Wait up to SECONDS for another bulk action on the shared calendar to finish (default: exit "
                       "with status 4 at once)")
            ->check(CLI::Range(0.0, LongestWait));
    addForceFlag(cmd, ctx);
}

void addCopyAllReport(ActionResult &result, const calendar::CopyAllReport &report)
{
    result.counts["users"] = report.usersDone;
    result.counts["copied"] = report.itemsCopied;
    result.counts["users_failed"] = report.usersFailed;
    result.counts["items_failed"] = report.itemsFailed;
    result.skipped = report.failures;
}

void runAction(Context &ctx, const ActionOptions &options, const ActionKind &kind, const ActionWork &work)
{
    const std::filesystem::path store = ctx.storeToWrite();
    std::unique_ptr<calendar::CalendarLock> lock;
    if (kind.sharedCalendar)
        lock = takeLock(store, options);

    TerminalProgress progress(TerminalProgress::modeFor(options.quiet), std::cerr);
    messaging::Session session(store);
    session.Logon("Administrator");
    const bool grouped = options.dryRun || kind.wholeOrNothing;
    if (grouped)
        session.beginGroup();
    ActionResult result;
    try {
        result = work(session, progress.callback());
    } catch (...) {
        session.abandonGroup();
        progress.finish();
        throw;
    }
    if (options.dryRun)
        session.abandonGroup();
    else if (grouped)
        session.commitGroup();
    session.Logoff();
    progress.finish();

    if (!result.skipped.empty())
        ctx.exitCode = ExitCode::Skipped;
    if (!options.quiet) {
        std::cerr << result.message << "\n";
        if (options.dryRun)
            std::cerr << "larkspur-store: dry run: nothing was changed\n";
    }
    if (options.json) {
        nlohmann::ordered_json out;
        out["action"] = kind.name;
        out["dry_run"] = options.dryRun;
        for (const auto &[key, value] : result.counts.items())
            out[key] = value;
        if (kind.skips)
            out["skipped"] = skippedJson(result.skipped);
        out["exit_code"] = ctx.exitCode;
        std::cout << out.dump(2) << "\n";
    } else {
        std::cout << (options.dryRun ? "would have " : "") << result.summary << "\n";
    }
}

} // namespace larkspur
