// How long closing one tab takes in today's browsers: from the decision (a rule fitted the front
// tab of a three-tab window) to the tab gone and the window titled by its next tab. The closer
// reads the strip over MSAA from another process's accessibility tree and presses the tab's close
// button, as zorvex.exe does. Run by bench/tab-close.sh under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "../../tests/e2e/E2eSupport.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32TabStrip.h"
#include "popups/TabClose.h"

using namespace zorvex;
using namespace zorvex::testing;
using Clock = std::chrono::steady_clock;

int main() {
  constexpr int kRounds = 15;
  auto desktop = std::make_shared<win32::Win32Desktop>();
  TabCloser closer(desktop, std::make_shared<win32::Win32TabStrips>());
  std::vector<double> ms;
  int failed = 0;
  for (int round = 0; round < kRounds; ++round) {
    TabBrowser chrome =
        StartTabBrowser("chrome.exe", "--class=Chrome_WidgetWin_1 --mode=tabs \"--tabs=Casino|News|Mail\"");
    if (chrome.window == nullptr) {
      ++failed;
      continue;
    }
    const auto decided = Clock::now();
    const CloseOutcome outcome =
        closer.Close(CloseRequest{win32::FromHwnd(chrome.window), "Casino", "*casino*", PickedBy::Rule, {}});
    const bool done = outcome.tabClosed &&
                      PumpUntil([&] { return TextOf(chrome.window) == "News"; }, std::chrono::seconds(10));
    if (!done) {
      ++failed;
      continue;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - decided).count());
  }
  if (ms.empty()) {
    std::printf("no tab was closed (%d rounds failed)\n", failed);
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("three-tab window: front tab closed a median %.0f ms after the decision, fastest %.0f ms, "
              "slowest %.0f ms (%zu rounds, %d failed)\n",
              ms[ms.size() / 2], ms.front(), ms.back(), ms.size(), failed);
  return failed == 0 ? 0 : 1;
}
