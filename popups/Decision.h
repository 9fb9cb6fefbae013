// The per-window decision: what one window is to the one who asks, and what is to be done with
// it. It is a plain function of the window's facts (popups/WindowFacts.h) and acts on nothing; the
// scanner closes what it says, the lister lists what it says, and the direct-add hot key takes
// what it says. The walk into containers, which reads the facts of each window it judges once,
// lives here too, so that all three walk alike.
#pragma once

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Platform.h"
#include "popups/BrowserTable.h"
#include "popups/DetectionOptions.h"
#include "popups/RuleFit.h"
#include "popups/WindowFacts.h"

namespace zorvex {

// The title rules as every rule test applies them (see PrepareRule), in list order.
using PreparedRules = std::vector<PreparedRule>;

// Who walks, and what the walk keeps between its windows.
struct PassView {
  BrowserAsker asker = BrowserAsker::Scanner;
  // Program files read in this walk; null when the caller keeps none.
  ProgramNames* programs = nullptr;
};

enum class Action {
  Leave,              // nothing to do with it
  SearchDescendants,  // a container, or a browser window that holds others: judge its descendants
  Close,              // a popup: close it, for reason
};

struct Verdict {
  Action action = Action::Leave;
  // A browser window of a watched family: the lister lists it, the hot key takes its title.
  bool browser = false;
  // An Explorer frame that counts for the Explorer limit; it may also be closed.
  bool countForLimit = false;
  // Browser windows: the title as read.
  std::string title;
  // Close: "Heuristic" or the rule that fitted, as prepared.
  std::string reason;
  // Close: picked by the size heuristic rather than a rule.
  bool bySize = false;
  // Picked by size: the first rule that fits its title as well, if any. A window that turns out to
  // hold several tabs is not closed for its size, but its front tab still goes for this rule.
  std::string sizeAndRule;
};

// Judges one window for asker: a browser window of a watched family is closed when the size
// heuristic is on and its size in 96-DPI units (visible, not minimised, in one of the two popup
// bands) marks it as a popup, or when a rule fits its title (first fitting rule wins).
Verdict Decide(const WindowFacts& window, const DetectionOptions& options, const PreparedRules& rules,
               BrowserAsker asker = BrowserAsker::Scanner);

// A walk over top-level windows and, where a verdict asks for it, their descendants. Containers
// nest, and each would search the same windows again (exponentially in the depth): in one walk a
// descendant is judged once.
class WindowWalk {
 public:
  using Act = std::function<void(WindowHandle window, const Verdict& verdict)>;
  // The references must outlive the walk.
  WindowWalk(IDesktop& desktop, const DetectionOptions& options, const PreparedRules& rules, PassView pass);
  // Judges a top-level window, tells act its verdict, then walks the descendants it asks for.
  void Visit(WindowHandle window, const Act& act);
  // The same with its facts already read in part.
  void Visit(WindowHandle window, const WindowFacts& facts, const Act& act);

 private:
  void Judge(WindowHandle window, const WindowFacts& facts, const Act& act);

  IDesktop& desktop_;
  const DetectionOptions& options_;
  const PreparedRules& rules_;
  PassView pass_;
  std::unordered_set<WindowHandle> judged_;
};

}  // namespace zorvex
