#include "base/Trace.h"

#include <atomic>
#include <cstdio>
#include <exception>

#ifdef _WIN32
// Declared here rather than through the system header, which the portable layers never include.
extern "C" __declspec(dllimport) int __stdcall MultiByteToWideChar(unsigned codePage, unsigned long flags,
                                                                   const char* text, int size, wchar_t* wide,
                                                                   int units);
extern "C" __declspec(dllimport) void __stdcall OutputDebugStringW(const wchar_t* text);
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
    // The program's text is UTF-8; the debugger takes UTF-16.
    constexpr unsigned kUtf8 = 65001;
    const int size = static_cast<int>(line.size()) + 1;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    const int units = MultiByteToWideChar(kUtf8, 0, line.c_str(), size, &wide[0], size);
    if (units > 0) OutputDebugStringW(wide.c_str());
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
