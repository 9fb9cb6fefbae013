// How long popups stay on screen: zorvex.exe runs with a rule that fits them, and this program
// opens 20 of them one after another, 300 ms apart, measuring from each window's creation to its
// destruction. Run by bench/popup-latency.sh under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "../../tests/e2e/E2eSupport.h"

using namespace zorvex::testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPopups = 20;
constexpr auto kApart = std::chrono::milliseconds(300);

struct Popup {
  HWND window = nullptr;
  Clock::time_point created;
  Clock::time_point destroyed;
  bool gone = false;
};
std::vector<Popup> g_popups(kPopups);

LRESULT CALLBACK PopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    for (Popup& p : g_popups) {
      if (p.window == window) {
        p.destroyed = Clock::now();
        p.gone = true;
      }
    }
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main() {
  RunningZorvex zorvex;
  zorvex.WriteFile("rules.xml", "<Rules><Rule>*bench popup*</Rule></Rules>");
  zorvex.WriteFile("options.xml", "<Options><StartWindows>0</StartWindows><Agressive>0</Agressive></Options>");
  if (!zorvex.Start()) {
    std::puts("zorvex.exe did not start");
    return 2;
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = PopupProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "IEFrame";
  ::RegisterClassA(&wc);

  for (int i = 0; i < kPopups; ++i) {
    const auto due = Clock::now() + kApart;
    const std::string title = "Bench popup " + std::to_string(i + 1);
    g_popups[i].created = Clock::now();
    g_popups[i].window = ::CreateWindowExA(0, "IEFrame", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100 + 10 * i,
                                           100 + 10 * i, 800, 600, nullptr, nullptr, wc.hInstance, nullptr);
    PumpUntil([&] { return Clock::now() >= due; }, kApart);
  }
  const bool allGone = PumpUntil(
      [] { return std::all_of(g_popups.begin(), g_popups.end(), [](const Popup& p) { return p.gone; }); },
      std::chrono::seconds(10));
  zorvex.Close();

  std::vector<long long> ms;
  for (const Popup& p : g_popups) {
    if (p.gone) ms.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(p.destroyed - p.created).count());
  }
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) {
    std::puts("no popup was closed");
    return 1;
  }
  std::printf("%d popups 300 ms apart: %zu closed; from creation to close: median %lld ms, slowest %lld ms\n",
              kPopups, ms.size(), ms[ms.size() / 2], ms.back());
  return allGone ? 0 : 1;
}
