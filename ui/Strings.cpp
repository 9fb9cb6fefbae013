#include "ui/Strings.h"

namespace zorvex::strings {

std::string MenuRules = "Rules";
std::string MenuOptions = "Options";
std::string MenuAbout = "About";
std::string TrayHint = "Zorvex - %d Popups Killed";
std::string RuleFits = "Fits %d of %d open browser windows";
std::string RuleClosesAll = "This rule closes every browser window";
std::string RuleInvalid = "Not a valid rule at character %d";

}  // namespace zorvex::strings
