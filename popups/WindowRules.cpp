#include "popups/WindowRules.h"

#include <array>
#include <utility>

#include "base/Text.h"

namespace zorvex {

namespace {

constexpr std::array<std::pair<WindowAction, const char*>, 5> kActions{{
    {WindowAction::Close, "close"},
    {WindowAction::Minimise, "minimize"},
    {WindowAction::Press, "press"},
    {WindowAction::Watch, "watch"},
    {WindowAction::Leave, "leave"},
}};

// Compiles one field into mask; false with fault set when it does not compile.
bool CompileField(const char* name, const std::string& text, std::optional<TMask>& mask, std::string& fault) {
  if (text.empty()) return true;
  try {
    mask.emplace(text);
    return true;
  } catch (const EMaskException& e) {
    fault = std::string(name) + ": " + e.what();
    return false;
  }
}

bool FitsIfSet(const std::optional<TMask>& mask, const std::string& text) { return !mask || mask->Fits(text); }

}  // namespace

bool WindowRuleText::operator==(const WindowRuleText& other) const {
  return program == other.program && className == other.className && title == other.title &&
         action == other.action && button == other.button;
}

const char* ActionName(WindowAction action) {
  for (const auto& [value, name] : kActions) {
    if (value == action) return name;
  }
  return "";
}

std::string ReadableRule(const WindowRuleText& text) {
  std::string out;
  const auto add = [&](const char* name, const std::string& value) {
    if (value.empty()) return;
    if (!out.empty()) out += ", ";
    out += name;
    out += " \"" + value + "\"";
  };
  add("program", text.program);
  add("class", text.className);
  add("title", text.title);
  if (!out.empty()) out += ", ";
  out += AsciiLower(text.action);
  if (!text.button.empty()) out += " \"" + text.button + "\"";
  return out;
}

std::optional<WindowRule> CompileWindowRule(const WindowRuleText& text, std::string& fault) {
  WindowRule rule;
  rule.text = text;
  const std::string action = AsciiLower(text.action);
  bool known = false;
  for (const auto& [value, name] : kActions) {
    if (action == name) {
      rule.action = value;
      known = true;
    }
  }
  if (!known) {
    fault = "the action \"" + text.action + "\" is unknown";
    return std::nullopt;
  }
  if (text.program.empty() && text.className.empty() && text.title.empty()) {
    fault = "it names no program, class or title";
    return std::nullopt;
  }
  if (!CompileField("program", text.program, rule.program, fault) ||
      !CompileField("class", text.className, rule.className, fault) ||
      !CompileField("title", text.title, rule.title, fault) ||
      !CompileField("button", text.button, rule.button, fault)) {
    return std::nullopt;
  }
  rule.programByPath = text.program.find('\\') != std::string::npos;
  rule.readable = ReadableRule(text);
  return rule;
}

bool RuleFits(const WindowRule& rule, const WindowFacts& window) {
  if (!FitsIfSet(rule.className, window.ClassName())) return false;
  if (rule.program) {
    const ProgramFile& program = window.Program();
    if (!rule.program->Fits(rule.programByPath ? program.path : program.name)) return false;
  }
  return FitsIfSet(rule.title, WithoutControlCharacters(window.Title()));
}

const WindowRule* FirstFittingRule(const std::vector<WindowRule>& rules, const WindowFacts& window) {
  for (const WindowRule& rule : rules) {
    if (RuleFits(rule, window)) return &rule;
  }
  return nullptr;
}

std::string CaptionWithoutMarks(const std::string& caption) {
  std::string out;
  out.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') out += caption[++i];
      continue;
    }
    out += caption[i];
  }
  return out;
}

ButtonPick PickButton(const WindowRule& rule, const std::vector<PushButton>& buttons) {
  for (const PushButton& button : buttons) {
    if (!button.visible || !FitsIfSet(rule.button, CaptionWithoutMarks(button.caption))) continue;
    return ButtonPick{&button, button.enabled};
  }
  return ButtonPick{};
}

bool IsShellWindowClass(const std::string& className) {
  for (const char* shell : {"Progman", "WorkerW", "Shell_TrayWnd", "Shell_SecondaryTrayWnd"}) {
    if (className == shell) return true;
  }
  return false;
}

std::string MaskForText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '[': out += "[[]"; break;
      case ']': out += "[]]"; break;
      case '*': out += "[*]"; break;
      case '?': out += "[?]"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace zorvex
