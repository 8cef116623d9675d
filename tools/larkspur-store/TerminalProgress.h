// TerminalProgress: how far an action run is, on standard error.
//
// On a terminal a bar redrawn in place (at most ten times a second): the stage, users
// and items done with their totals where known, the rate and the time left. Anywhere
// else (a log, the journal of a timer's service) plain lines: one when a stage begins,
// one every few seconds, and the last state of every stage. Nothing at all when quiet.
//
// setProgressObserver() lets a test build watch the same reports (tests/seams); the
// shipped program never sets it.
#pragma once

#include "actions/Progress.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

namespace larkspur {

class TerminalProgress {
public:
    enum class Mode { Quiet, Bar, Lines };
    // Bar when standard error is a terminal, else Lines; Quiet when asked.
    static Mode modeFor(bool quiet);

    TerminalProgress(Mode mode, std::ostream &out);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // The callback for the work functions; empty when nobody watches.
    actions::ProgressCallback callback();
    // Ends the run's display: the last state of the last stage, the bar's line closed.
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    void update(const actions::Progress &progress);
    std::string describe(const actions::Progress &progress, Clock::time_point now) const;
    void show(Clock::time_point now);

    Mode m_mode;
    std::ostream &m_out;
    actions::Progress m_last;
    bool m_any = false;
    bool m_barOpen = false;
    Clock::time_point m_stageStart;
    Clock::time_point m_shown;
};

using ProgressObserver = std::function<void(const actions::Progress &)>;
// Test builds only: sees every report of every run. Returns the previous observer.
ProgressObserver setProgressObserver(ProgressObserver observer);

} // namespace larkspur
