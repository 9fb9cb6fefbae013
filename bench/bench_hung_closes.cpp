// A desktop full of fitting windows that never answer, and one popup that does: how long the
// healthy popup stays open. The close bound is shortened (kHangMs) so that a run takes seconds;
// the figures scale with it (the program's bound is 20 s).
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "popups/ClassPopupsThread.h"
#include "tests/fakes/FakeDesktop.h"

using namespace zorvex;

namespace {

constexpr int kHungWindows = 1000;
constexpr unsigned kHangMs = 1000;

// The fake desktop, but a window that does not answer holds its close for the bound, as a hung
// window holds the real close command until its time-out.
class HangingDesktop : public fake::FakeDesktop {
 public:
  bool Close(WindowHandle window) override {
    if (IsVisible(window) && Title(window).rfind("Hung", 0) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kHangMs));
      return false;
    }
    return fake::FakeDesktop::Close(window);
  }
};

class NullHost : public IKillHost {
 public:
  void WriteLog(const std::string&) override {}
  void PlayAlarm() override {}
};

// Milliseconds until window is gone, pumping the main thread meanwhile; -1 after 30 s.
double MsUntilClosed(fake::FakeDesktop& desktop, fake::FakeMainThread& mainThread, WindowHandle window) {
  const auto start = std::chrono::steady_clock::now();
  const bool closed = mainThread.PumpUntil([&] { return !desktop.Exists(window); }, std::chrono::seconds(30));
  if (!closed) return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// healthyAtStart: the healthy popup is there before the scanner starts (last in the z-order);
// otherwise it is made, and announced, after the hung windows have held the closes for a while.
void Run(benchmark::State& state, bool healthyAtStart) {
  for (auto _ : state) {
    auto desktop = std::make_shared<HangingDesktop>();
    auto mainThread = std::make_shared<fake::FakeMainThread>();
    NullHost host;
    for (int i = 0; i < kHungWindows; ++i) desktop->Add("IEFrame", "Hung ad " + std::to_string(i));
    // The healthy popup belongs to another program than the hung windows.
    fake::WindowRecord record{"IEFrame", "Healthy ad"};
    record.processId = 2;
    WindowHandle healthy = healthyAtStart ? desktop->Add(record) : 0;
    auto scanner = TSPopupThread::Create(
        ScannerServices{desktop, mainThread, std::make_shared<SystemSleeper>(), &host, nullptr});
    scanner->SetDetection(DetectionOptions{BrowserFamilies{false, false, true, false}, false});
    scanner->SetRules("*ad*");
    scanner->Start();
    if (!healthyAtStart) {
      mainThread->PumpUntil([] { return false; }, std::chrono::milliseconds(3 * kHangMs));
      healthy = desktop->Add(record);
      scanner->Notice(healthy);
    }
    const double ms = MsUntilClosed(*desktop, *mainThread, healthy);
    state.counters["closed_after_ms"] = ms;
    scanner->Terminate();
    mainThread->PumpUntil([&] { return scanner->Finished(); });
    mainThread->End();
  }
}

void BM_HealthyPopupAmongHungWindows(benchmark::State& state) { Run(state, true); }
void BM_FreshPopupAfterHungWindows(benchmark::State& state) { Run(state, false); }

}  // namespace

BENCHMARK(BM_HealthyPopupAmongHungWindows)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FreshPopupAfterHungWindows)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
