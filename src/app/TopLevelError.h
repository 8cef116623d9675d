// The top-level error report: the last stop of an error that no page traps.
//
// Every handler of the program (button clicks, page opening, the minimise icon) runs
// through runHandler(). An error that leaves the handler has already unwound it, so the
// handler's messaging session has been released and the store has committed what was
// done before the failure. The report then shows the error's number and description in
// a critical box and ends the program with exit status 1. shell::AdminApplication::notify
// catches whatever still escapes (a last resort; it should never be needed).
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace app {

// Runs one handler; an error escaping it goes to reportUnhandled().
void runHandler(const std::function<void()> &handler);

// Shows "Run-time error '<number>':" and the description, then ends the program. Only
// the first report of a run is shown: after it the program is on its way out.
void reportUnhandled(std::int32_t number, const QString &description);

// Reports the exception being handled (call inside a catch block only).
void reportCurrentException();

// True once an error has been reported; main() then returns 1 whatever exec() said.
bool unhandledErrorReported();

// How the program is ended after a report; the default leaves every event loop with
// exit code 1. Tests replace it to record the report instead. Returns the previous one.
using EndProgram = std::function<void(int exitCode)>;
EndProgram setEndProgram(EndProgram endProgram);
// Forgets an earlier report (tests).
void resetUnhandledError();

} // namespace app
