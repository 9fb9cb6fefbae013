#include "popups/ClassEnum.h"

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

TEnum::TEnum(IDesktop& desktop, std::function<BrowserFamilies()> families)
    : desktop_(desktop), families_(std::move(families)) {}

void TEnum::ListWindows(std::vector<std::string>& list) {
  target_ = &list;
  seen_.clear();
  for (WindowHandle window : desktop_.TopLevelWindows()) {
    // A window that fails us adds nothing more; the walk goes on with the next one.
    DropFailure("window lister", [&] { ConsiderWindow(window); });
  }
  seen_.clear();
  target_ = nullptr;
}

void TEnum::ConsiderWindow(WindowHandle window, bool topLevel) {
  const BrowserVerdict verdict = ClassifyBrowserWindow(desktop_, window, families_(), BrowserAsker::Lister, topLevel);
  auto searchDescendants = [&] {
    for (WindowHandle child : desktop_.Descendants(window)) {
      if (seen_.insert(child).second) ConsiderWindow(child, false);
    }
  };
  if (verdict.kind == WindowKind::Browser) {
    const std::string title = desktop_.Title(window);
    if (IsListableTitle(title) && target_ != nullptr) target_->push_back(title);
    if (verdict.searchDescendants) searchDescendants();
  } else if (verdict.kind == WindowKind::Container) {
    searchDescendants();
  }
}

}  // namespace zorvex
