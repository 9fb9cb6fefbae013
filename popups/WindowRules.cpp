#include "popups/WindowRules.h"

#include <array>
#include <atomic>
#include <string_view>
#include <utility>

#include "base/CaseFold.h"
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

namespace {

// The texts a window shows the rules, each made ready for the masks once, when a rule first asks.
class RuleSubject {
 public:
  explicit RuleSubject(const WindowFacts& window) : window_(window) {}

  bool Fits(const WindowRule& rule) {
    if (rule.className && !rule.className->Fits(Ready(className_, [&] { return window_.ClassName(); }))) return false;
    if (rule.program) {
      const TMaskText& program = rule.programByPath ? Ready(path_, [&] { return window_.Program().path; })
                                                    : Ready(name_, [&] { return window_.Program().name; });
      if (!rule.program->Fits(program)) return false;
    }
    return !rule.title || rule.title->Fits(Ready(title_, [&] { return WithoutControlCharacters(window_.Title()); }));
  }

 private:
  template <typename Read>
  const TMaskText& Ready(std::optional<TMaskText>& text, const Read& read) {
    if (!text) text.emplace(read());
    return *text;
  }

  const WindowFacts& window_;
  std::optional<TMaskText> className_, name_, path_, title_;
};

}  // namespace

bool RuleFits(const WindowRule& rule, const WindowFacts& window) { return RuleSubject(window).Fits(rule); }

namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::uint64_t NextSerial() {
  static std::atomic<std::uint64_t> serial{0};
  return ++serial;
}

bool IsPlainText(std::string_view mask) { return mask.find_first_of("*?[") == std::string_view::npos; }

// What a mask and the text it tests are made of: the text up to its first zero byte.
std::string_view UpToZero(const std::string& text) { return std::string_view(text.c_str()); }

std::uint64_t LengthBit(std::size_t length) { return std::uint64_t{1} << (length % 64); }

}  // namespace

WindowRuleSet::WindowRuleSet(std::vector<WindowRule> rules)
    : WindowRuleSet(std::make_shared<const std::vector<WindowRule>>(std::move(rules))) {}

WindowRuleSet::WindowRuleSet(std::shared_ptr<const std::vector<WindowRule>> shared)
    : rules_(std::move(shared)), serial_(NextSerial()) {
  const std::vector<WindowRule>& rules = *rules_;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const WindowRuleText& text = rules[i].text;
    // By program first: a program shows few windows, while a dialog class is shared by many.
    if (!text.program.empty() && !rules[i].programByPath && IsPlainText(UpToZero(text.program))) {
      byProgram_[FoldCase(UpToZero(text.program))].push_back(i);
    } else if (!text.className.empty() && IsPlainText(UpToZero(text.className))) {
      const std::string key = FoldCase(UpToZero(text.className));
      byClass_[key].push_back(i);
      classLengths_ |= LengthBit(key.size());
    } else {
      others_.push_back(i);
    }
  }
}

const WindowRule* WindowRuleSet::FirstFit(const WindowFacts& window) const {
  const std::vector<WindowRule>& rules = *rules_;
  if (rules.empty()) return nullptr;
  // The candidates, merged back into file order: the first that fits wins.
  const std::vector<std::size_t>* lists[3] = {&others_, nullptr, nullptr};
  std::size_t count = 1;
  // Folding keeps an ASCII text's length; a text beyond ASCII may change it, and is looked up anyway.
  const std::string_view className = UpToZero(window.ClassName());
  if (!byClass_.empty() && ((classLengths_ & LengthBit(className.size())) != 0 || !IsAscii(className))) {
    const auto found = byClass_.find(FoldCase(className));
    if (found != byClass_.end()) lists[count++] = &found->second;
  }
  if (!byProgram_.empty()) {
    // Looked up once per process and rule set: the program's record outlives the walk.
    const ProgramFile& program = window.Program();
    if (program.ruleSet != serial_) {
      const auto found = byProgram_.find(std::string(UpToZero(program.name)));
      program.ruleCandidates = found != byProgram_.end() ? &found->second : nullptr;
      program.ruleSet = serial_;
    }
    if (program.ruleCandidates != nullptr) lists[count++] = program.ruleCandidates;
  }
  if (count == 1 && others_.empty()) return nullptr;
  std::size_t at[3] = {0, 0, 0};
  RuleSubject subject(window);
  for (;;) {
    std::size_t best = rules.size();
    std::size_t from = 0;
    for (std::size_t l = 0; l < count; ++l) {
      if (at[l] < lists[l]->size() && (*lists[l])[at[l]] < best) {
        best = (*lists[l])[at[l]];
        from = l;
      }
    }
    if (best == rules.size()) return nullptr;
    ++at[from];
    if (subject.Fits(rules[best])) return &rules[best];
  }
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
