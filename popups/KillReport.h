// One kill as it is reported, whichever path closed the window, and the one place that writes
// its log line.
#pragma once

#include <optional>
#include <string>

namespace zorvex {

// Where the scanner and the closer report their kills.
class IKillHost {
 public:
  virtual ~IKillHost() = default;
  // Writes one kill report line to the log; main thread only.
  virtual void WriteLog(const std::string& line) = 0;
  // Counts a kill and announces it; main thread only.
  virtual void PlayAlarm() = 0;
};

struct KillReport {
  // The window's title as it was read (the log blanks its control characters).
  std::string title;
  // Why: the rule that fitted, "Heuristic" or "Explorer limit".
  std::string reason;
  // The page's address, for a window closed through the browser's DDE link; none for the scanner.
  std::optional<std::string> address;
};

// The log line of a kill: "Popup Killed: " + title + " (" + reason + ")", with "address => "
// before the title when the DDE link closed it.
std::string KillLogLine(const KillReport& report);
// Writes the kill's line to the host's log. Main thread.
void LogKill(IKillHost& host, const KillReport& report);

}  // namespace zorvex
