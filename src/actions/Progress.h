// How far a long action has come, for whoever shows it (a page's progress line, the
// store tool's bar).
//
// The work functions that walk all users or a whole folder take an optional callback
// and call it on the calling thread: once when a stage begins (counts at zero, totals
// where known), after every item and every user, and once when the stage ends. The
// callback only looks: it must not throw and must not touch the session. Calls are
// cheap; whoever shows the figures decides how often to redraw.
#pragma once

#include <cstdint>
#include <functional>

namespace actions {

struct Progress {
    // What the run does now: "copy", "delete", "install" or "remove".
    const char *stage = "";
    // Mail users walked so far, of usersTotal (-1: not a walk over users, or unknown).
    std::int64_t usersDone = 0;
    std::int64_t usersTotal = -1;
    // Items (calendar items, or bindings for the script actions) done so far, of
    // itemsTotal (-1: unknown).
    std::int64_t itemsDone = 0;
    std::int64_t itemsTotal = -1;
};

using ProgressCallback = std::function<void(const Progress &)>;

// Calls the callback when there is one.
inline void report(const ProgressCallback &callback, const Progress &progress)
{
    if (callback)
        callback(progress);
}

} // namespace actions
