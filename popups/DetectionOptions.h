// What the user chose to detect. The engine fills it through its setters and hands it whole to
// the closer, which hands it whole to the scanner; a pass reads one copy from start to end.
#pragma once

#include <cstdint>

#include "popups/BrowserTable.h"

namespace zorvex {

// A new detection option is a field here, read where it counts (the decision, the browser
// table); the engine's file element and the options dialog's control carry it, and nothing in
// between needs to know it.
struct DetectionOptions {
  // The browser families watched.
  BrowserFamilies families;
  // "Agressive": a browser window whose size marks it as a popup is closed without a rule.
  bool agressive = false;
  // "LimitExplorer": the most Explorer frame windows open at once; 0 (or less) for no limit.
  std::int32_t explorerLimit = 0;
};

}  // namespace zorvex
