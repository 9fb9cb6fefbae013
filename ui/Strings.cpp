#include "ui/Strings.h"

namespace zorvex::strings {

std::string MenuRules = "Rules";
std::string MenuOptions = "Options";
std::string MenuAbout = "About";
std::string TrayHint = "Zorvex - %d Popups Killed";
std::string RuleFits = "Fits %d of %d open browser windows";
std::string RuleClosesAll = "This rule closes every browser window";
std::string RuleInvalid = "Not a valid rule at character %d";
std::string MenuWindows = "Windows";
std::string ActionClose = "Close it";
std::string ActionMinimise = "Minimise it";
std::string ActionPress = "Press a button";
std::string ActionWatch = "Only log it";
std::string ActionLeave = "Leave it alone";
std::string WindowRuleFits = "Fits %d of %d open windows";
std::string WindowRuleFitsAll = "This rule fits every open window";
std::string WindowRuleFrontTab = "Closes a browser window of tabs: only its front tab goes";
std::string WindowRuleShell = "This rule fits a window of the Windows shell";
std::string WindowRuleOwn = "This rule fits a window of Zorvex itself";
std::string WindowRuleEmpty = "Give a program, a class or a title";
std::string WindowRuleInvalid = "%s: not a valid mask at character %d";
std::string FieldProgram = "Program";
std::string FieldClass = "Class";
std::string FieldTitle = "Title";
std::string FieldButton = "Button";

const NamedString kNamedStrings[] = {
    {"MenuRules", &MenuRules},
    {"MenuOptions", &MenuOptions},
    {"MenuAbout", &MenuAbout},
    {"TrayHint", &TrayHint},
    {"RuleFits", &RuleFits},
    {"RuleClosesAll", &RuleClosesAll},
    {"RuleInvalid", &RuleInvalid},
    {"MenuWindows", &MenuWindows},
    {"ActionClose", &ActionClose},
    {"ActionMinimise", &ActionMinimise},
    {"ActionPress", &ActionPress},
    {"ActionWatch", &ActionWatch},
    {"ActionLeave", &ActionLeave},
    {"WindowRuleFits", &WindowRuleFits},
    {"WindowRuleFitsAll", &WindowRuleFitsAll},
    {"WindowRuleFrontTab", &WindowRuleFrontTab},
    {"WindowRuleShell", &WindowRuleShell},
    {"WindowRuleOwn", &WindowRuleOwn},
    {"WindowRuleEmpty", &WindowRuleEmpty},
    {"WindowRuleInvalid", &WindowRuleInvalid},
    {"FieldProgram", &FieldProgram},
    {"FieldClass", &FieldClass},
    {"FieldTitle", &FieldTitle},
    {"FieldButton", &FieldButton},
};
const std::size_t kNamedStringCount = sizeof kNamedStrings / sizeof kNamedStrings[0];

}  // namespace zorvex::strings
