#include "popups/Decision.h"

#include "base/Dpi.h"

namespace zorvex {

namespace {

constexpr const char* kHeuristicReason = "Heuristic";

bool Between(int value, int low, int high) { return value >= low && value <= high; }

bool IsPopupBySize(const WindowFacts& window) {
  if (!window.IsVisible() || window.IsMinimised()) return false;
  // The bands are in 96-DPI units: a popup at 200 percent is the same popup.
  const Rect& r = window.WindowRect();
  const int dpi = window.Dpi();
  const int width = ScaleLength(r.right - r.left, dpi, kDesignDpi);
  const int height = ScaleLength(r.bottom - r.top, dpi, kDesignDpi);
  const bool wide = Between(height, 50, 200) && Between(width, 350, 650);
  const bool square = Between(height, 200, 250) && Between(width, 200, 250);
  return wide || square;
}

}  // namespace

Verdict Decide(const WindowFacts& window, const DetectionOptions& options, const PreparedRules& rules,
               BrowserAsker asker) {
  const BrowserVerdict kind = ClassifyBrowserWindow(window, options.families, asker);
  Verdict verdict;
  if (kind.kind == WindowKind::Container) verdict.action = Action::SearchDescendants;
  if (kind.kind != WindowKind::Browser) return verdict;

  verdict.browser = true;
  verdict.title = window.Title();
  // Prepared once for all the rules: most titles are plain ASCII and take the fast path.
  const TMaskText title(PreparedTitle(verdict.title));
  const auto firstFit = [&]() -> const PreparedRule* {
    for (const PreparedRule& rule : rules) {
      if (rule.mask && rule.mask->Fits(title)) return &rule;
    }
    return nullptr;
  };
  if (options.agressive && kind.sizeJudged && IsPopupBySize(window)) {
    // Closed by size: not counted for the limit, no descendant searched; the rules only matter if
    // it holds several tabs.
    verdict.action = Action::Close;
    verdict.reason = kHeuristicReason;
    verdict.bySize = true;
    if (const PreparedRule* rule = firstFit()) verdict.sizeAndRule = rule->text;
    return verdict;
  }
  // Counted before the rules: a frame closed by a rule still counts in the limit of its pass.
  verdict.countForLimit = kind.limited;
  if (const PreparedRule* rule = firstFit()) {
    verdict.action = Action::Close;
    verdict.reason = rule->text;
    return verdict;
  }
  if (kind.searchDescendants) verdict.action = Action::SearchDescendants;
  return verdict;
}

WindowWalk::WindowWalk(IDesktop& desktop, const DetectionOptions& options, const PreparedRules& rules, PassView pass)
    : desktop_(desktop), options_(options), rules_(rules), pass_(pass) {}

void WindowWalk::Visit(WindowHandle window, const Act& act) {
  Judge(window, WindowFacts(desktop_, window, true, pass_.programs), act);
}

void WindowWalk::Visit(WindowHandle window, const WindowFacts& facts, const Act& act) { Judge(window, facts, act); }

void WindowWalk::Judge(WindowHandle window, const WindowFacts& facts, const Act& act) {
  const Verdict verdict = Decide(facts, options_, rules_, pass_.asker);
  act(window, verdict);
  if (verdict.action != Action::SearchDescendants) return;
  for (WindowHandle child : desktop_.Descendants(window)) {
    if (judged_.insert(child).second) Judge(child, WindowFacts(desktop_, child, false, pass_.programs), act);
  }
}

}  // namespace zorvex
