// Window rules: rules for any program's windows (nag screens, update prompts), matched on the
// program, the window class and the title, each with an action. A rule is kept as the user wrote it
// (WindowRuleText, the attributes of its element in rules.xml) and compiled once (WindowRule) for
// the scanner, which judges every top-level window by them before the browser logic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "popups/Masks.h"
#include "popups/WindowFacts.h"

namespace zorvex {

enum class WindowAction { Close, Minimise, Press, Watch, Leave };

// A window rule as stored: the attributes of its element, unchecked.
struct WindowRuleText {
  std::string program;
  std::string className;
  std::string title;
  std::string action;
  std::string button;
  bool operator==(const WindowRuleText& other) const;
};

// A window rule ready to judge with. Immutable: one object may be read from several threads.
struct WindowRule {
  WindowRuleText text;
  WindowAction action = WindowAction::Close;
  // Empty fields fit anything.
  std::optional<TMask> program, className, title, button;
  // The program mask holds a backslash: it is matched against the full path.
  bool programByPath = false;
  // The rule in the form the log shows it (ReadableRule).
  std::string readable;
};

// Compiles a stored rule; nullopt with fault telling why when it cannot be used: an unknown
// action, a mask that does not compile, or no program, class or title at all.
std::optional<WindowRule> CompileWindowRule(const WindowRuleText& text, std::string& fault);

// The rule as the log names it: its non-empty fields, `program "x.exe", class "#32770", press
// "Close"`, in that order, the action always.
std::string ReadableRule(const WindowRuleText& text);

// The action's name as stored; the stored names are read with letter case ignored.
const char* ActionName(WindowAction action);

// The program, class and title masks fit the window. The title is read only when the class and the
// program fit.
bool RuleFits(const WindowRule& rule, const WindowFacts& window);

// The rules in file order, indexed so that a window is tried only against the rules that may fit
// it: a rule whose class or program mask is plain text is found by that text. Immutable.
class WindowRuleSet {
 public:
  WindowRuleSet() = default;
  explicit WindowRuleSet(std::vector<WindowRule> rules);
  // Shares the rules rather than copying them: a compiled rule is several kilobytes.
  explicit WindowRuleSet(std::shared_ptr<const std::vector<WindowRule>> rules);
  const std::vector<WindowRule>& Rules() const { return *rules_; }
  bool Empty() const { return rules_->empty(); }
  // The first rule in file order that fits the window; null when none does.
  const WindowRule* FirstFit(const WindowFacts& window) const;

 private:
  std::shared_ptr<const std::vector<WindowRule>> rules_ = std::make_shared<const std::vector<WindowRule>>();
  // Rule positions by folded class, by folded program name, and the rest, each in file order.
  std::unordered_map<std::string, std::vector<std::size_t>> byClass_, byProgram_;
  std::vector<std::size_t> others_;
  // The lengths of the class keys (modulo 64): most classes are ruled out without folding them.
  std::uint64_t classLengths_ = 0;
  // Tells this set from every other for the candidates a program keeps (ProgramFile).
  std::uint64_t serial_ = 0;
};

// A button caption as rules see it: "&" marks removed, "&&" kept as one "&".
std::string CaptionWithoutMarks(const std::string& caption);

// The button a press rule presses: the first visible push button whose caption fits its mask.
// enabled tells whether that one can be pressed now; none when no visible button fits.
struct ButtonPick {
  const PushButton* button = nullptr;
  bool enabled = false;
};
ButtonPick PickButton(const WindowRule& rule, const std::vector<PushButton>& buttons);

// The shell's own top-level windows (the desktop, the task bar), which no window rule judges.
bool IsShellWindowClass(const std::string& className);

// Window titles hold "[" and "]" as text, which rules read as sets: a rule made from a title gets
// "[[]" and "[]]" for them (and "[*]", "[?]" for the wildcards), so that it fits that title.
std::string MaskForText(const std::string& text);

}  // namespace zorvex
