// The window lister: titles of the browser windows open now, for the user to pick rules from.
// Closes nothing; runs on the main thread whether detection is on or not.
#pragma once

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Platform.h"
#include "popups/BrowserTable.h"

namespace zorvex {

class TEnum {
 public:
  // families is asked again at every window, so option changes count at once.
  TEnum(IDesktop& desktop, std::function<BrowserFamilies()> families);

  // Appends the titles of the open browser windows to list, in z-order, descendants right after
  // their container. Neither clears nor sorts list.
  void ListWindows(std::vector<std::string>& list);
  // Considers one window and, for containers, its descendants.
  void ConsiderWindow(WindowHandle window, bool topLevel = true);

 private:
  IDesktop& desktop_;
  std::function<BrowserFamilies()> families_;
  std::vector<std::string>* target_ = nullptr;
  // Descendants considered in this listing: nested containers would list them again, exponentially.
  std::unordered_set<WindowHandle> seen_;
};

// True when a browser title is worth offering as a rule.
bool IsListableTitle(const std::string& title);

}  // namespace zorvex
