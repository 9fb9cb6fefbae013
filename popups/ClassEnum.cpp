#include "popups/ClassEnum.h"

#include "base/Text.h"
#include "base/Trace.h"
#include "popups/WindowClasses.h"

namespace zorvex {

namespace {

namespace bc = browser_classes;

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

void TEnum::ConsiderWindow(WindowHandle window) {
  const std::string cls = desktop_.ClassName(window);
  const BrowserFamilies f = families_();
  std::string title;
  bool browser = false;
  if (f.opera && (cls == bc::kOperaMdi || cls == bc::kOperaUi || cls == bc::kOperaWindow)) {
    browser = true;
  } else if (f.explorer && (cls == bc::kIEFrame || cls == bc::kMsn || cls == bc::kAfxFrameOrView ||
                            cls == bc::kCabinet || cls == bc::kUbc || cls == bc::kUbcPopup || cls == bc::kAolChild ||
                            cls == bc::kTfrmPage)) {
    browser = true;
  } else if (f.explorer && cls == bc::kDialog) {
    title = desktop_.Title(window);
    browser = Contains(title, bc::kNeoPlanetWord);
  } else if (f.netscape && StartsWith(cls, bc::kAfxPrefix)) {
    title = desktop_.Title(window);
    browser = Contains(title, bc::kNetscapeWord);
  } else if (f.netscape && cls == bc::kMozilla) {
    browser = true;
  }

  auto searchDescendants = [&] {
    for (WindowHandle child : desktop_.Descendants(window)) {
      if (seen_.insert(child).second) ConsiderWindow(child);
    }
  };
  if (browser) {
    if (title.empty()) title = desktop_.Title(window);
    if (IsListableTitle(title) && target_ != nullptr) target_->push_back(title);
    if (families_().opera && cls == bc::kOperaWindow) searchDescendants();
    return;
  }
  if ((cls == bc::kOperaMain && families_().opera) || cls == bc::kAolStatic || cls == bc::kAolFrame ||
      (cls == bc::kAvant && families_().explorer)) {
    searchDescendants();
  }
}

}  // namespace zorvex
