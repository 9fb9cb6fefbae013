#include "popups/ClassPopupsThread.h"

#include <algorithm>
#include <thread>

#include "popups/WindowClasses.h"

namespace zorvex {

namespace {

namespace bc = browser_classes;

constexpr unsigned kCycleSleepMs = 500;
// Reason logged for a window closed because too many Explorer windows were open.
constexpr const char* kLimitReason = "Explorer limit";
constexpr const char* kHeuristicReason = "Heuristic";

bool Between(int value, int low, int high) { return value >= low && value <= high; }

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

std::vector<std::string> SplitRuleLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(line);
  return lines;
}

namespace {

// A rule that does not compile fits nothing, so one bad rule cannot stop the others.
std::optional<TMask> CompileRule(const std::string& rule) {
  try {
    return TMask(rule);
  } catch (const EMaskException&) {
    return std::nullopt;
  }
}

void ClassifyDescendants(TSPopupThread& context, WindowHandle window) {
  for (WindowHandle child : context.Desktop().Descendants(window)) ClassifyWindow(context, child);
}

}  // namespace

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void ScannerTracker::Add(const std::shared_ptr<TSPopupThread>& scanner) {
  std::lock_guard<std::mutex> lock(mutex_);
  scanners_.erase(std::remove_if(scanners_.begin(), scanners_.end(), [](const auto& s) { return s.expired(); }),
                  scanners_.end());
  scanners_.push_back(scanner);
}

bool ScannerTracker::StopAll(std::chrono::milliseconds timeout) {
  std::vector<std::shared_ptr<TSPopupThread>> running;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& weak : scanners_) {
      if (auto scanner = weak.lock()) running.push_back(scanner);
    }
    scanners_.clear();
  }
  for (const auto& scanner : running) scanner->Terminate();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool all = true;
  for (const auto& scanner : running) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    all = scanner->WaitFor(std::max(left, std::chrono::milliseconds(0))) && all;
  }
  return all;
}

std::shared_ptr<TSPopupThread> TSPopupThread::Create(ScannerServices services) {
  return std::shared_ptr<TSPopupThread>(new TSPopupThread(std::move(services)));
}

TSPopupThread::TSPopupThread(ScannerServices services)
    : services_(std::move(services)), rules_(std::make_shared<const ScannerRules>()) {}

TSPopupThread::~TSPopupThread() = default;

void TSPopupThread::SetRules(const std::string& text) {
  auto rules = std::make_shared<ScannerRules>();
  for (std::string& line : SplitRuleLines(text)) {
    for (char& c : line) {
      if (c == '[' || c == ']') c = '?';
    }
    ScannerRule rule{line, CompileRule(line)};
    rules->push_back(std::move(rule));
  }
  std::lock_guard<std::mutex> lock(rulesMutex_);
  rules_ = std::move(rules);
}

std::vector<std::string> TSPopupThread::Rules() const {
  std::shared_ptr<const ScannerRules> rules;
  {
    std::lock_guard<std::mutex> lock(rulesMutex_);
    rules = rules_;
  }
  std::vector<std::string> texts;
  for (const ScannerRule& rule : *rules) texts.push_back(rule.text);
  return texts;
}

void TSPopupThread::Start() {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (started_) return;
    started_ = true;
  }
  std::thread([self = shared_from_this()] {
    // Nothing may leave a thread body; a failure that reaches here ends this scanner, and the
    // next option change starts a new one.
    try {
      self->Execute();
    } catch (...) {
    }
    std::lock_guard<std::mutex> lock(self->stateMutex_);
    self->finished_ = true;
    self->finishedCv_.notify_all();
  }).detach();
}

void TSPopupThread::Terminate() { terminated_ = true; }

bool TSPopupThread::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(stateMutex_);
  if (!started_) return true;
  return finishedCv_.wait_for(lock, timeout, [this] { return finished_; });
}

void TSPopupThread::Execute() {
  while (!terminated_) {
    IDesktop& desktop = *services_.desktop;
    if (!desktop.IsCtrlDown() && !desktop.IsScrollLockOn()) RunPass();
    services_.sleeper->Sleep(kCycleSleepMs);
    services_.mainThread->Run([this] {
      if (OnCheck) OnCheck();
    });
  }
  ExplorerWindows.clear();
}

void TSPopupThread::RunPass() {
  {
    std::lock_guard<std::mutex> lock(rulesMutex_);
    passRules_ = rules_;
  }
  ExplorerWindows.clear();
  for (WindowHandle window : services_.desktop->TopLevelWindows()) ClassifyWindow(*this, window);

  const int limit = services_.host ? services_.host->ExplorerLimit() : 0;
  if (limit > 0) {
    while (ExplorerWindows.size() > static_cast<std::size_t>(limit)) {
      Reason = kLimitReason;
      KillWindow(ExplorerWindows.front());
      ExplorerWindows.erase(ExplorerWindows.begin());
    }
  }
  passRules_.reset();
}

const ScannerRules& TSPopupThread::PassRules() {
  if (!passRules_) {
    std::lock_guard<std::mutex> lock(rulesMutex_);
    passRules_ = rules_;
  }
  return *passRules_;
}

void TSPopupThread::KillWindow(WindowHandle window) {
  KilledTitle = services_.desktop->Title(window);
  // A window that is gone or did not take the command was not killed by us.
  if (!services_.desktop->Close(window)) return;
  services_.mainThread->Run([this] { ReportKill(); });
}

void TSPopupThread::ReportKill() {
  if (services_.host == nullptr) return;
  services_.host->WriteLog("Popup Killed: " + KilledTitle + " (" + Reason + ")");
  services_.host->PlayAlarm();
}

bool IsPopupBySize(IDesktop& desktop, WindowHandle window) {
  if (!desktop.IsVisible(window) || desktop.IsMinimised(window)) return false;
  const Rect r = desktop.WindowRect(window);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const bool wide = Between(height, 50, 200) && Between(width, 350, 650);
  const bool square = Between(height, 200, 250) && Between(width, 200, 250);
  return wide || square;
}

void ClassifyWindow(TSPopupThread& context, WindowHandle window) {
  IDesktop& desktop = context.Desktop();
  const std::string cls = desktop.ClassName(window);
  const bool explorer = context.Explorer;
  const bool netscape = context.Netscape;
  const bool opera = context.Opera;

  bool browser = cls == bc::kOperaMdi || cls == bc::kOperaUi || cls == bc::kOperaWindow;
  if (!browser && explorer) {
    browser = cls == bc::kIEFrame || cls == bc::kMsn || cls == bc::kAfxFrameOrView || cls == bc::kCabinet ||
              cls == bc::kUbc || cls == bc::kUbcPopup || cls == bc::kAolChild || cls == bc::kTfrmPage ||
              (cls == bc::kDialog && Contains(desktop.Title(window), bc::kNeoPlanetWord));
  }
  if (!browser && netscape) {
    browser = (StartsWith(cls, bc::kAfxPrefix) && Contains(desktop.Title(window), bc::kNetscapeWord)) ||
              cls == bc::kMozilla;
  }

  if (browser) {
    if (context.Agressive && cls != bc::kAolChild && IsPopupBySize(desktop, window)) {
      context.Reason = kHeuristicReason;
      context.KillWindow(window);
      return;
    }
    if (cls == bc::kIEFrame || cls == bc::kCabinet) context.ExplorerWindows.push_back(window);

    const std::string title = AsciiLower(desktop.Title(window));
    for (const ScannerRule& rule : context.PassRules()) {
      if (rule.mask && rule.mask->Fits(title)) {
        context.Reason = rule.text;
        context.KillWindow(window);
        return;
      }
    }
    if (opera && cls == bc::kOperaWindow) ClassifyDescendants(context, window);
    return;
  }

  if ((opera && cls == bc::kOperaMain) || (explorer && (cls == bc::kAolStatic || cls == bc::kAolFrame)) ||
      (explorer && cls == bc::kAvant)) {
    ClassifyDescendants(context, window);
  }
}

}  // namespace zorvex
