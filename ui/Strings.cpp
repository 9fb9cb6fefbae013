#include "ui/Strings.h"

namespace zorvex::strings {

std::string MenuRules = "Rules";
std::string MenuOptions = "Options";
std::string MenuAbout = "About";
std::string TrayHint = "Zorvex - %d Popups Killed";

}  // namespace zorvex::strings
