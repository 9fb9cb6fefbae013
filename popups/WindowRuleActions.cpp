#include "popups/WindowRuleActions.h"

#include <utility>

namespace zorvex {

namespace {

constexpr const char* kNoButton = "no button fits";
constexpr const char* kButtonDisabled = "its button stayed disabled";
constexpr const char* kHigherRights = "it runs with higher rights";

}  // namespace

WindowRuleVerdict DecideByWindowRules(const WindowFacts& window, const WindowRuleSet& rules,
                                      std::uint32_t ownProcess) {
  const WindowRule* rule = rules.FirstFit(window);
  // Checked only once a rule fits: most windows fit none, and these reads would be wasted on them.
  if (rule == nullptr || IsShellWindowClass(window.ClassName()) || window.ProcessId() == ownProcess) return {};
  if (rule->action == WindowAction::Leave) return WindowRuleVerdict{rule, false};
  // The browser logic meets a window at its creation, before it shows; a rule acts once it shows.
  if (!window.IsVisible()) return {};
  return WindowRuleVerdict{rule, true};
}

std::string RuleActionLine(const char* what, const std::string& title, const WindowRule& rule) {
  return std::string(what) + ": " + title + " (" + rule.readable + ")";
}

std::string ButtonPressedLine(const std::string& caption, const std::string& title, const WindowRule& rule) {
  return "Button Pressed: " + caption + " in " + title + " (" + rule.readable + ")";
}

std::string RuleLeftOpenLine(const std::string& title, const WindowRule& rule, const std::string& why) {
  return "Window Left Open: " + title + " (" + rule.readable + "), " + why;
}

WindowRuleActor::WindowRuleActor(IDesktop& desktop, Tell tell) : desktop_(desktop), tell_(std::move(tell)) {}

std::optional<KillReport> WindowRuleActor::Act(WindowHandle window, const WindowFacts& facts, const WindowRule& rule,
                          std::chrono::steady_clock::time_point now) {
  const std::string& title = facts.Title();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto done = done_.find(window);
    if (done != done_.end() && done->second.rule == rule.readable &&
        (!done->second.byTitle || done->second.title == title)) {
      return std::nullopt;
    }
  }
  if (rule.action == WindowAction::Leave) {
    // Counted once per window: the shield is no act, but the user sees that the rule works.
    Remember(window, rule, title, false);
    tell_(Report{{}, false, HitOf(rule)});
    return std::nullopt;
  }
  if (rule.action != WindowAction::Watch && desktop_.HigherRights(window)) {
    LeaveOpen(window, title, rule, kHigherRights);
    return std::nullopt;
  }
  switch (rule.action) {
    case WindowAction::Close:
      return KillReport{title, rule.readable, {}, KillKind::WindowClosed, HitOf(rule)};
    case WindowAction::Minimise:
      Remember(window, rule, title, true);
      if (!facts.IsMinimised() && desktop_.Minimise(window)) {
        tell_(Report{RuleActionLine("Window Minimized", title, rule), true, HitOf(rule)});
      }
      break;
    case WindowAction::Press:
      Press(window, title, rule, now);
      break;
    case WindowAction::Watch:
      Remember(window, rule, title, false);
      tell_(Report{RuleActionLine("Window Seen", title, rule), false, HitOf(rule)});
      break;
    case WindowAction::Leave:
      break;
  }
  return std::nullopt;
}

void WindowRuleActor::Press(WindowHandle window, const std::string& title, const WindowRule& rule,
                            std::chrono::steady_clock::time_point now) {
  const std::vector<PushButton> buttons = desktop_.PushButtons(window);
  const ButtonPick pick = PickButton(rule, buttons);
  if (pick.button == nullptr) {
    LeaveOpen(window, title, rule, kNoButton);
    return;
  }
  if (!pick.enabled || !desktop_.Press(pick.button->handle)) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto [waiting, added] = waiting_.try_emplace(window, Waiting{rule.readable, now});
    if (!added && waiting->second.rule != rule.readable) waiting->second = Waiting{rule.readable, now};
    if (now - waiting->second.since < kPressWait) return;
  } else {
    Remember(window, rule, title, true);
    tell_(Report{ButtonPressedLine(CaptionWithoutMarks(pick.button->caption), title, rule), true, HitOf(rule)});
    return;
  }
  LeaveOpen(window, title, rule, kButtonDisabled);
}

void WindowRuleActor::Remember(WindowHandle window, const WindowRule& rule, const std::string& title, bool byTitle) {
  std::lock_guard<std::mutex> lock(mutex_);
  done_[window] = Done{rule.readable, title, byTitle};
  waiting_.erase(window);
}

void WindowRuleActor::LeaveOpen(WindowHandle window, const std::string& title, const WindowRule& rule, const char* why) {
  Remember(window, rule, title, false);
  tell_(Report{RuleLeftOpenLine(title, rule, why), false, std::nullopt});
}

void WindowRuleActor::Forget(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  done_.erase(window);
  waiting_.erase(window);
}

void WindowRuleActor::Prune() {
  std::vector<WindowHandle> known;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : done_) known.push_back(entry.first);
    for (const auto& entry : waiting_) known.push_back(entry.first);
  }
  for (WindowHandle window : known) {
    if (!desktop_.Exists(window)) Forget(window);
  }
}

}  // namespace zorvex
