// The window lister: titles of the browser windows open now, for the user to pick rules from.
// Closes nothing; runs on the main thread whether detection is on or not.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "popups/DetectionOptions.h"

namespace zorvex {

class TEnum {
 public:
  // detection (the engine's options) is asked at each listing, so option changes count at once.
  TEnum(IDesktop& desktop, std::function<DetectionOptions()> detection);

  // Appends the titles of the open browser windows to list, in z-order, descendants right after
  // their container; each window is judged by the scanner's decision, asked as the lister. Neither
  // clears nor sorts list.
  void ListWindows(std::vector<std::string>& list);

 private:
  IDesktop& desktop_;
  std::function<DetectionOptions()> detection_;
};

// True when a browser title is worth offering as a rule.
bool IsListableTitle(const std::string& title);

}  // namespace zorvex
