// Points in time as the settings files store them: UTC, so that a file moved between machines or
// read across a daylight saving change still orders its stamps right.
#pragma once

#include <chrono>
#include <string>

namespace zorvex {

// ISO 8601 in UTC to the second, "2026-12-08T01:02:03Z". Reads no time zone and no C library
// state, so it is the same on every system and thread.
std::string UtcStamp(std::chrono::system_clock::time_point time);

}  // namespace zorvex
