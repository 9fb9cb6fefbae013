#include "popups/ClassEnum.h"

#include "popups/Decision.h"

#include "base/Trace.h"

namespace zorvex {

namespace {

constexpr const char* kHiddenSinkTitle = "MTDBOpSink";
constexpr const char* kWindowSuffix = " Window";

}  // namespace

bool IsListableTitle(const std::string& title) {
  if (title.empty() || title == kHiddenSinkTitle) return false;
  // Helper windows of some browsers are titled "... Window"; a page title only happens to hold it.
  const std::size_t suffix = title.find(kWindowSuffix);
  return suffix == std::string::npos || suffix + std::char_traits<char>::length(kWindowSuffix) != title.size();
}

TEnum::TEnum(IDesktop& desktop, std::function<DetectionOptions()> detection)
    : desktop_(desktop), detection_(std::move(detection)) {}

void TEnum::ListWindows(std::vector<std::string>& list) {
  // No rules: the lister closes nothing, and what the size test says does not change a listing.
  const DetectionOptions options = detection_();
  const PreparedRules noRules;
  WindowWalk walk(desktop_, options, noRules, PassView{BrowserAsker::Lister, nullptr});
  for (WindowHandle window : desktop_.TopLevelWindows()) {
    // A window that fails us adds nothing more; the walk goes on with the next one.
    DropFailure("window lister", [&] {
      walk.Visit(window, [&list](WindowHandle, const Verdict& verdict) {
        if (verdict.browser && IsListableTitle(verdict.title)) list.push_back(verdict.title);
      });
    });
  }
}

}  // namespace zorvex
