// The program's named run-time strings: texts that live in no form and that a language file may
// replace by name. They live as long as the program.
#pragma once

#include <cstddef>
#include <string>

namespace zorvex::strings {

// Tree entry of the options dialog's rules page.
extern std::string MenuRules;
// Tree entry of the options dialog's options page.
extern std::string MenuOptions;
// Tree entry of the options dialog's about page.
extern std::string MenuAbout;
// Tray hint; "%d" stands for the kill count.
extern std::string TrayHint;
// The line under a rule in the rule dialogs: how many of the open browser windows it fits (first
// "%d") of how many (second), that it closes every one, or where it stops being valid ("%d").
extern std::string RuleFits;
extern std::string RuleClosesAll;
extern std::string RuleInvalid;
// Tree entry of the options dialog's window rules page.
extern std::string MenuWindows;
// The window-rule dialog's actions, in the order of WindowAction.
extern std::string ActionClose;
extern std::string ActionMinimise;
extern std::string ActionPress;
extern std::string ActionWatch;
extern std::string ActionLeave;
// The line under a window rule: how many of the open windows it fits (first "%d") of how many
// (second), or why it is red; WindowRuleInvalid names the field ("%s") and the character ("%d").
extern std::string WindowRuleFits;
extern std::string WindowRuleFitsAll;
extern std::string WindowRuleFrontTab;
extern std::string WindowRuleShell;
extern std::string WindowRuleOwn;
extern std::string WindowRuleEmpty;
extern std::string WindowRuleInvalid;
// The fields' names in WindowRuleInvalid.
extern std::string FieldProgram;
extern std::string FieldClass;
extern std::string FieldTitle;
extern std::string FieldButton;

// Every named string with its name, as the main form registers them.
struct NamedString {
  const char* name;
  std::string* value;
};
extern const NamedString kNamedStrings[];
extern const std::size_t kNamedStringCount;

}  // namespace zorvex::strings
