// What the scanner makes of a top-level window by the window rules, and the acts that follow: the
// verdict is a plain function of the window's facts; the actor keeps, per window, what it did, so
// that each rule acts once on each window and a press waits for its button.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "popups/KillReport.h"
#include "popups/WindowFacts.h"
#include "popups/WindowRules.h"

namespace zorvex {

// How the window rules take a window.
struct WindowRuleVerdict {
  // The rule that took it; null when none did, and the browser logic judges it.
  const WindowRule* rule = nullptr;
  // Its action is to be done (a visible window, a rule other than leave).
  bool act = false;
};

// The first rule that fits the window wins. This program's own windows and the shell's are never
// judged; an invisible window is shielded by a leave rule but not acted on by any other, and goes
// on to the browser logic.
WindowRuleVerdict DecideByWindowRules(const WindowFacts& window, const WindowRuleSet& rules,
                                      std::uint32_t ownProcess);

// How long a press waits for its button to be enabled (a countdown) before the window is left.
inline constexpr auto kPressWait = std::chrono::seconds(60);

// The log lines of the acts.
std::string RuleActionLine(const char* what, const std::string& title, const WindowRule& rule);
std::string ButtonPressedLine(const std::string& caption, const std::string& title, const WindowRule& rule);
std::string RuleLeftOpenLine(const std::string& title, const WindowRule& rule, const std::string& why);

// Does what the rules say to the windows they took. Scanner thread, but Forget from any.
class WindowRuleActor {
 public:
  // One act to report on the main thread: its log line, whether it counts as a kill (count, sound,
  // flash), and the rule whose statistics count it.
  struct Report {
    std::string line;
    bool kill = false;
    std::optional<RuleHit> hit;
  };
  using Tell = std::function<void(Report)>;

  WindowRuleActor(IDesktop& desktop, Tell tell);

  // Does rule's action on window once: a minimise or a press again only after the title changed;
  // a watch, a leave and a window left open once for as long as the window lives. A close is
  // returned, to go to the closing threads at every judging as a popup's does (they keep it to one
  // report, and pace a window that hangs).
  std::optional<KillReport> Act(WindowHandle window, const WindowFacts& facts, const WindowRule& rule,
                                std::chrono::steady_clock::time_point now);
  // The window is gone or its handle names a new window. Any thread.
  void Forget(WindowHandle window);
  // Forgets the windows that are gone.
  void Prune();

 private:
  // What was done to a window, by which rule, under which title.
  struct Done {
    std::string rule;
    std::string title;
    // A new title asks again (minimise, press).
    bool byTitle = false;
  };
  struct Waiting {
    std::string rule;
    std::chrono::steady_clock::time_point since;
  };
  void Press(WindowHandle window, const std::string& title, const WindowRule& rule,
             std::chrono::steady_clock::time_point now);
  void Remember(WindowHandle window, const WindowRule& rule, const std::string& title, bool byTitle);
  void LeaveOpen(WindowHandle window, const std::string& title, const WindowRule& rule, const char* why);
  RuleHit HitOf(const WindowRule& rule) const { return RuleHit{rule.text, {}}; }

  IDesktop& desktop_;
  Tell tell_;
  std::mutex mutex_;
  std::unordered_map<WindowHandle, Done> done_;
  std::unordered_map<WindowHandle, Waiting> waiting_;
};

}  // namespace zorvex
