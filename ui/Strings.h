// The program's named run-time strings: texts that live in no form and that a language file may
// replace by name. They live as long as the program.
#pragma once

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

}  // namespace zorvex::strings
