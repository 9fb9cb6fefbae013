// The one place where a failure that the program drops on purpose is recorded: a browser that
// misbehaves over DDE, a scanner pass that failed, a file that could not be written. The user is
// never disturbed by these, but each leaves a trace (the debugger output on Windows, visible under
// Wine with WINEDEBUG=+debugstr; standard error elsewhere) and is counted.
#pragma once

#include <functional>
#include <string>

namespace zorvex {

// Records one dropped failure: where names the place ("scanner pass", "DDE check"), what the reason.
// Any thread; never throws.
void TraceDropped(const char* where, const std::string& what) noexcept;

// Inside a catch block: records the exception being handled as dropped, through TraceDropped.
void TraceCurrentFailure(const char* where) noexcept;

// Runs work and drops whatever it throws, through TraceDropped. True when work returned normally.
bool DropFailure(const char* where, const std::function<void()>& work) noexcept;

// How many failures were dropped since the program started.
unsigned long DroppedFailures() noexcept;

}  // namespace zorvex
