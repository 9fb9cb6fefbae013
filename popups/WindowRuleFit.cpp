#include "popups/WindowRuleFit.h"

#include <optional>

#include "base/Text.h"
#include "popups/BrowserTable.h"
#include "popups/Masks.h"

namespace zorvex {

namespace {

// A field that only holds wildcards fits everything.
bool OnlyStars(const std::string& mask) { return mask.find_first_not_of('*') == std::string::npos; }

// The first field whose mask does not compile, with the position its fault names.
bool FindFault(const WindowRuleText& rule, WindowRuleFit& fit) {
  const std::pair<WindowRuleField, const std::string*> fields[] = {{WindowRuleField::Program, &rule.program},
                                                                   {WindowRuleField::Class, &rule.className},
                                                                   {WindowRuleField::Title, &rule.title},
                                                                   {WindowRuleField::Button, &rule.button}};
  for (const auto& [field, text] : fields) {
    if (text->empty()) continue;
    try {
      TMask mask(*text);
    } catch (const EMaskException& e) {
      fit.field = field;
      fit.faultAt = e.Position();
      return true;
    }
  }
  return false;
}

bool HoldsTabs(const WindowFacts& window) {
  BrowserFamilies all{true, true, true, true};
  return MayHoldTabs(window.ClassName()) &&
         ClassifyBrowserWindow(window, all, BrowserAsker::Scanner).kind == WindowKind::Browser;
}

}  // namespace

WindowRuleFit FitWindowRule(const WindowRuleText& rule, const std::vector<WindowFacts>& windows,
                            std::uint32_t ownProcess) {
  WindowRuleFit fit;
  fit.open = windows.size();
  fit.fits.assign(windows.size(), false);
  if (FindFault(rule, fit)) {
    fit.warning = WindowRuleWarning::Invalid;
    return fit;
  }
  std::string fault;
  const std::optional<WindowRule> compiled = CompileWindowRule(rule, fault);
  if (!compiled) {
    // The dialog offers only known actions: what is left is a rule without program, class or title.
    fit.warning = WindowRuleWarning::Empty;
    return fit;
  }
  bool tabs = false, shell = false, own = false;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const WindowFacts& window = windows[i];
    if (!RuleFits(*compiled, window)) continue;
    fit.fits[i] = true;
    ++fit.count;
    tabs = tabs || (compiled->action == WindowAction::Close && HoldsTabs(window));
    shell = shell || IsShellWindowClass(window.ClassName());
    own = own || window.ProcessId() == ownProcess;
  }
  const bool wildcardsOnly = OnlyStars(rule.program) && OnlyStars(rule.className) && OnlyStars(rule.title);
  if (wildcardsOnly || (fit.open >= 2 && fit.count == fit.open)) {
    fit.warning = WindowRuleWarning::FitsAll;
  } else if (tabs) {
    fit.warning = WindowRuleWarning::FrontTab;
  } else if (shell) {
    fit.warning = WindowRuleWarning::Shell;
  } else if (own) {
    fit.warning = WindowRuleWarning::Own;
  }
  return fit;
}

std::string WindowRuleFitMessage(const WindowRuleFit& fit, const WindowRuleFitTexts& texts) {
  switch (fit.warning) {
    case WindowRuleWarning::Invalid: {
      std::string line = WithNumbers(texts.invalid, {static_cast<long long>(fit.faultAt)});
      const std::size_t at = line.find("%s");
      if (at != std::string::npos) line.replace(at, 2, texts.fieldNames[static_cast<int>(fit.field)]);
      return line;
    }
    case WindowRuleWarning::Empty: return WithNumbers(texts.empty, {});
    case WindowRuleWarning::FitsAll: return WithNumbers(texts.fitsAll, {});
    case WindowRuleWarning::FrontTab: return WithNumbers(texts.frontTab, {});
    case WindowRuleWarning::Shell: return WithNumbers(texts.shell, {});
    case WindowRuleWarning::Own: return WithNumbers(texts.own, {});
    case WindowRuleWarning::None: break;
  }
  return WithNumbers(texts.fits, {static_cast<long long>(fit.count), static_cast<long long>(fit.open)});
}

bool IsWarning(const WindowRuleFit& fit) {
  return fit.warning != WindowRuleWarning::None && fit.warning != WindowRuleWarning::Empty;
}

}  // namespace zorvex
