#include "base/Trace.h"

#include <atomic>
#include <cstdio>
#include <exception>

#ifdef _WIN32
// Declared here rather than through the system header, which the portable layers never include.
extern "C" __declspec(dllimport) void __stdcall OutputDebugStringA(const char* text);
#endif

namespace zorvex {

namespace {
std::atomic<unsigned long> g_dropped{0};
}  // namespace

void TraceDropped(const char* where, const std::string& what) noexcept {
  g_dropped.fetch_add(1, std::memory_order_relaxed);
  try {
    const std::string line = std::string("zorvex: dropped failure in ") + where + ": " + what + "\n";
#ifdef _WIN32
    OutputDebugStringA(line.c_str());
#else
    std::fputs(line.c_str(), stderr);
#endif
  } catch (...) {
    // Out of memory while describing a failure: the count above still holds it.
  }
}

void TraceCurrentFailure(const char* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    TraceDropped(where, e.what());
  } catch (...) {
    TraceDropped(where, "unknown failure");
  }
}

bool DropFailure(const char* where, const std::function<void()>& work) noexcept {
  try {
    work();
    return true;
  } catch (...) {
    TraceCurrentFailure(where);
  }
  return false;
}

unsigned long DroppedFailures() noexcept { return g_dropped.load(std::memory_order_relaxed); }

}  // namespace zorvex
