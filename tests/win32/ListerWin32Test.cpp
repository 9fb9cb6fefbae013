// The lister over the real desktop: titles of another process's browser windows, in z-order.
#include <gtest/gtest.h>

#include <algorithm>

#include "Win32TestSupport.h"
#include "platform/win32/Win32Desktop.h"
#include "popups/ClassEnum.h"

using namespace zorvex;
using namespace zorvex::testing;

TEST(ListerWin32, ListsTheOpenBrowserWindowsOfOtherProcesses) {
  ChildProcess helper = OpenHelperWindows({"IEFrame|First Page|800|600|v", "MozillaWindowClass|Fox Page|800|600|v",
                                           "IEFrame|Download Window|800|600|v", "ToolWindowClass|Not a browser|300|300|v",
                                           "AOL Frame25|AOL|800|600|v", "AOL Child|AOL Inner Page|700|500|v|4"});
  ASSERT_NE(FindWindowOf(helper.Id(), "AOL Inner Page"), nullptr);
  win32::Win32Desktop desktop;
  std::vector<std::string> titles;
  TEnum(desktop, [] { return DetectionOptions{BrowserFamilies{false, false, true}}; }).ListWindows(titles);
  std::vector<std::string> expected = {"First Page", "AOL Inner Page"};
  std::sort(titles.begin(), titles.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(titles, expected);

  titles.clear();
  TEnum(desktop, [] { return DetectionOptions{BrowserFamilies{false, true, false}}; }).ListWindows(titles);
  EXPECT_EQ(titles, std::vector<std::string>{"Fox Page"});
}
