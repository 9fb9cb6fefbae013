// One kill as it is reported, whichever path closed the window, and the one place that writes
// its log line.
#pragma once

#include <optional>
#include <string>

#include "popups/WindowRules.h"

namespace zorvex {

// A rule that fitted a window and did what it says, for the rule's statistics.
struct RuleHit {
  // A window rule, as stored; none for a title rule.
  std::optional<WindowRuleText> windowRule;
  // A title rule, as the scanner prepared it (see PrepareRule), or as the DDE path matched it.
  std::string titleRule;
};

// Where the scanner and the closer report their kills.
class IKillHost {
 public:
  virtual ~IKillHost() = default;
  // Writes one kill report line to the log; main thread only.
  virtual void WriteLog(const std::string& line) = 0;
  // Counts a kill and announces it; main thread only.
  virtual void PlayAlarm() = 0;
  // Counts a rule's fit in its statistics; main thread only. Hosts that keep none ignore it.
  virtual void RuleFitted(const RuleHit& hit) { static_cast<void>(hit); }
};

enum class KillKind {
  Popup,         // "Popup Killed: ..."
  WindowClosed,  // "Window Closed: ...", by a window rule
};

struct KillReport {
  // The window's title as it was read (the log blanks its control characters).
  std::string title;
  // Why: the rule that fitted, "Heuristic" or "Explorer limit".
  std::string reason;
  // The page's address, for a window closed through the browser's DDE link; none for the scanner.
  std::optional<std::string> address;
  KillKind kind = KillKind::Popup;
  // The rule that picked it, counted once the close is taken; none for the size test and the limit.
  std::optional<RuleHit> hit;
};

// The log line of a kill: "Popup Killed: " + title + " (" + reason + ")", with "address => "
// before the title when the DDE link closed it; "Window Closed: " for a window rule.
std::string KillLogLine(const KillReport& report);
// The line of a window rule's close that the window took but stayed open after.
std::string WindowStayedLine(const KillReport& report);
// Writes the kill's line to the host's log and counts its rule's fit. Main thread.
void LogKill(IKillHost& host, const KillReport& report);

}  // namespace zorvex
