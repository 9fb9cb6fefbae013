// One scanner pass over a large desktop: 1000 top-level windows of 40 programs, 100 of them browser
// windows, against 500 title rules and none or 50 window rules that fit none of them (the worst
// case: every rule is tried).
#include <benchmark/benchmark.h>

#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/Probe.h"
#include "popups/ClassPopupsThread.h"

using namespace zorvex;

namespace {

class NullHost : public IKillHost {
 public:
  void WriteLog(const std::string&) override {}
  void PlayAlarm() override {}
};

std::string Rules(int count) {
  static const char* const words[] = {"casino", "prize", "winner", "free", "offer", "cheap", "deal", "poker",
                                      "loan",   "dating", "pills", "lottery", "bonus", "click", "ringtone"};
  std::string text;
  for (int i = 0; i < count; ++i) {
    const std::string w = words[i % 15];
    switch (i % 5) {
      case 0: text += "*" + w + std::to_string(i) + "*"; break;
      case 1: text += "*" + w + "*" + words[(i + 3) % 15] + "*"; break;
      case 2: text += w + " [0-9]* today"; break;
      case 3: text += "*- " + w + std::to_string(i) + " - microsoft internet explorer"; break;
      default: text += "welcome to " + w + "?" + std::to_string(i); break;
    }
    text += "\r\n";
  }
  return text;
}

// Window rules as users write them: by program and class, by class and title, by program alone.
// Ten name programs that run, whose dialogs are read up to their titles, which never fit.
std::shared_ptr<const std::vector<WindowRule>> WindowRules(int count) {
  auto rules = std::make_shared<std::vector<WindowRule>>();
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    WindowRuleText text;
    switch (i % 3) {
      case 0: text = {(i < 30 ? "program" : "absent") + n + ".exe", "#32770", "*licen?e " + n + "*", "press", "Close"}; break;
      case 1: text = {"", "NagScreen" + n, "*sponsored " + n + "*", "close", ""}; break;
      default: text = {"nagware" + n + ".exe", "", "", "minimize", ""}; break;
    }
    std::string fault;
    rules->push_back(*CompileWindowRule(text, fault));
  }
  return rules;
}

void BM_ScannerPass(benchmark::State& state) {
  auto desktop = std::make_shared<fake::FakeDesktop>();
  for (std::uint32_t p = 0; p < 40; ++p) desktop->SetProgram(p + 1, "C:\\Programs\\program" + std::to_string(p) + ".exe");
  for (int i = 0; i < 1000; ++i) {
    fake::WindowRecord record;
    record.processId = static_cast<std::uint32_t>(1 + i % 40);
    if (i % 10 == 0) {
      record.className = "IEFrame";
      record.title = "Daily News " + std::to_string(i) + " - Microsoft Internet Explorer";
      record.rect = Rect{0, 0, 1024, 768};
    } else {
      record.className = i % 3 ? (i % 7 ? "#32770" : "Shell_TrayWnd") : "Notepad";
      record.title = "Document " + std::to_string(i);
    }
    desktop->Add(record);
  }
  NullHost host;
  auto scanner = TSPopupThread::Create(ScannerServices{desktop, std::make_shared<fake::FakeMainThread>(),
                                                       std::make_shared<fake::FakeSleeper>(), &host, nullptr});
  scanner->SetDetection(DetectionOptions{BrowserFamilies{true, true, true, false}, false});
  scanner->SetRules(Rules(static_cast<int>(state.range(0))));
  scanner->SetWindowRules(WindowRules(static_cast<int>(state.range(1))));
  for (auto _ : state) Probe::RunPass(*scanner);
  if (!desktop->Closed().empty() || !desktop->Minimised().empty() || !desktop->Pressed().empty()) {
    state.SkipWithError("a rule fitted; the pass did less than the worst case");
  }
}
BENCHMARK(BM_ScannerPass)->Args({500, 0})->Args({500, 50})->Unit(benchmark::kMillisecond);

// Handing a new list of 500 rules to the scanner (compiled once, then shared by every pass).
void BM_SetRules(benchmark::State& state) {
  NullHost host;
  auto scanner = TSPopupThread::Create(ScannerServices{std::make_shared<fake::FakeDesktop>(),
                                                       std::make_shared<fake::FakeMainThread>(),
                                                       std::make_shared<fake::FakeSleeper>(), &host, nullptr});
  const std::string rules = Rules(500);
  for (auto _ : state) scanner->SetRules(rules);
}
BENCHMARK(BM_SetRules)->Unit(benchmark::kMicrosecond);

// A program may nest container windows deep inside each other: with every window judged once per
// pass, the cost grows with the number of windows, not with 2^depth.
void BM_NestedContainers(benchmark::State& state) {
  auto desktop = std::make_shared<fake::FakeDesktop>();
  WindowHandle parent = desktop->Add("AOL Frame25", "AOL");
  for (int depth = 1; depth < state.range(0); ++depth)
    parent = desktop->AddChild(parent, fake::WindowRecord{"_AOL_Static", "static"});
  desktop->AddChild(parent, fake::WindowRecord{"AOL Child", "Page"});
  NullHost host;
  auto scanner = TSPopupThread::Create(ScannerServices{desktop, std::make_shared<fake::FakeMainThread>(),
                                                       std::make_shared<fake::FakeSleeper>(), &host, nullptr});
  scanner->SetDetection(DetectionOptions{BrowserFamilies{false, false, true, false}, false});
  scanner->SetRules("nothing fits");
  for (auto _ : state) Probe::RunPass(*scanner);
  state.counters["searches/pass"] = static_cast<double>(desktop->Searches()) / state.iterations();
}
BENCHMARK(BM_NestedContainers)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
