#include "popups/ClassPopups.h"

#include <functional>
#include <optional>

#include "base/CaseFold.h"
#include "base/Text.h"
#include "base/Trace.h"

namespace zorvex {

namespace {

// DDE names of the browser's interface and our own; part of the system, never translated.
namespace dde {
constexpr const char* kOwnService = "ZORVEXSPY";
constexpr const char* kBrowserService = "IEXPLORE";
constexpr const char* kInstancePrefix = "IEXPLORE(";
constexpr const char* kOperaInstancePrefix = "OPERA(";
constexpr const char* kWindowInfoTopic = "WWW_GetWindowInfo";
constexpr const char* kWindowInfoItem = "0xFFFFFFFF,sUrl,xsTitle";
constexpr const char* kOpenUrlTopic = "WWW_OpenURL";
constexpr const char* kCloseScript = "javascript:window.close();";
constexpr const char* kNothingYet = "\"\"";  // the browser's answer while it has nothing to tell
}  // namespace dde

constexpr const char* kBlankPage = "about:blank";
constexpr long long kOperaQuietSeconds = 10;
constexpr std::chrono::seconds kReplyWait{2};
// Between refused requests: long enough not to hammer a busy server, short beside the wait.
constexpr std::chrono::milliseconds kRefusedPause{50};

long long WholeSeconds(std::chrono::system_clock::duration d) {
  return std::chrono::duration_cast<std::chrono::seconds>(d).count();
}

bool IsBlank(char c) { return c >= 1 && c <= 32; }


}  // namespace

std::vector<std::string> SplitCommaText(const std::string& input) {
  const std::string text = input.substr(0, input.find('\0'));
  std::vector<std::string> fields;
  std::size_t p = 0;
  const std::size_t n = text.size();
  while (p < n && IsBlank(text[p])) ++p;
  while (p < n) {
    std::string field;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            field += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        field += text[p++];
      }
    } else {
      const std::size_t start = p;
      while (p < n && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
      field = text.substr(start, p - start);
    }
    fields.push_back(field);
    while (p < n && IsBlank(text[p])) ++p;
    if (p < n && text[p] == ',') {
      if (p + 1 == n) fields.emplace_back();
      do {
        ++p;
      } while (p < n && IsBlank(text[p]));
    }
  }
  return fields;
}

TSPopup::TSPopup(CloserServices services) : services_(std::move(services)) {}

TSPopup::~TSPopup() {
  JoinDde(false);
  Listen(false);
  if (thread_) {
    thread_->OnCheck = nullptr;
    thread_->Terminate();
    thread_.reset();
  }
}

void TSPopup::Listen(bool on) {
  if (on == listening_ || !services_.events) return;
  if (!on) {
    services_.events->Stop();
    listening_ = false;
    return;
  }
  // Without events detection still works, at the pace of the passes.
  listening_ = services_.events->Start([this](WindowHandle window, WindowEvent event) {
    if (!thread_) return;
    // A handle made anew may have named a window left open before: that one is gone.
    if (event != WindowEvent::Appeared) thread_->Forget(window);
    if (event != WindowEvent::Gone) thread_->Notice(window);
  });
  if (!listening_) TraceDropped("closer", "window events refused; the passes alone detect popups");
}

void TSPopup::JoinDde(bool on) {
  DropFailure("DDE link", [&] {
    if (on && !ddeJoined_) {
      ddeJoined_ = services_.monitor &&
                   services_.monitor->Join(dde::kOwnService, [this](const std::string& service,
                                                                    const std::string& instance) {
                     OnRegister(service, instance);
                   });
    } else if (!on && ddeJoined_) {
      ddeJoined_ = false;
      services_.monitor->Leave();
    }
  });
}

void TSPopup::SetDetection(const DetectionOptions& options) {
  // Switching Explorer on again after a refused join tries again; on twice in a row does not.
  if (options.families.explorer != detection_.families.explorer) JoinDde(options.families.explorer);
  detection_ = options;
  UpdateThread(WantsScanner());
}

void TSPopup::SetRules(const std::string& text) {
  rules_ = SplitLines(FoldCase(text));
  if (thread_) thread_->SetRules(LinesWithBreaks(rules_));
}

void TSPopup::SetWindowRules(std::vector<WindowRule> rules) {
  windowRules_ = std::make_shared<const std::vector<WindowRule>>(std::move(rules));
  if (thread_) thread_->SetWindowRules(windowRules_);
  UpdateThread(WantsScanner());
}

void TSPopup::UpdateThread(bool run) {
  if (run && thread_ && thread_->Finished()) {
    TraceDropped("closer", "the scanner had ended; a new one starts");
    thread_->OnCheck = nullptr;
    thread_.reset();
  }
  if (run && thread_) {
    thread_->SetDetection(detection_);
  } else if (run) {
    auto scanner = TSPopupThread::Create(services_.scanner);
    scanner->SetRules(LinesWithBreaks(rules_));
    scanner->SetWindowRules(windowRules_);
    scanner->SetDetection(detection_);
    // Whoever holds a copy of the check, it never reaches a closer that is gone.
    scanner->OnCheck = [this, alive = std::weak_ptr<bool>(alive_)] {
      if (!alive.expired()) CheckNewBrowser();
    };
    scanner->Start();
    if (services_.tracker) services_.tracker->Add(scanner);
    thread_ = std::move(scanner);
    Listen(true);
  } else if (thread_) {
    Listen(false);
    thread_->OnCheck = nullptr;
    thread_->Terminate();
    thread_.reset();
  }
}

void TSPopup::OnRegister(const std::string& service, const std::string& instance) {
  const auto now = services_.clock->Now();
  std::string candidate;
  const std::string upperInstance = AsciiUpper(instance);
  if (StartsWith(upperInstance, dde::kInstancePrefix)) {
    candidate = instance.substr(instance.find('(') + 1);
    if (!candidate.empty()) candidate.pop_back();
  } else if (StartsWith(upperInstance, dde::kOperaInstancePrefix)) {
    lastOperaRegistration_ = now;
  }
  // Opera registers an "IEXPLORE" service of its own when it starts; that one is not a new browser.
  if (AsciiUpper(service) == dde::kBrowserService &&
      std::llabs(WholeSeconds(now - lastOperaRegistration_)) > kOperaQuietSeconds) {
    pendingCheck_ = true;
    pendingWindowId_ = candidate;
  }
}

void TSPopup::CheckNewBrowser() {
  if (!pendingCheck_) return;
  const std::weak_ptr<bool> alive = alive_;
  {
    std::unique_ptr<IDdeConversation> conversation =
        services_.ddeClient ? services_.ddeClient->NewConversation() : nullptr;
    // Steady time: a wall clock set back while we wait must not keep the scanner waiting.
    const auto start = services_.clock->Steady();
    if (conversation && conversation->Open(dde::kBrowserService, dde::kWindowInfoTopic)) {
      std::optional<std::string> reply;
      for (;;) {
        const std::optional<std::string> answer = conversation->RequestText(dde::kWindowInfoItem);
        // A refused request (busy, not processed, timed out) is no answer: the browser may still
        // tell us, so only a real reply ends the wait early.
        if (answer && *answer != dde::kNothingYet) reply = answer;
        if (answer) {
          services_.pump->ProcessMessages();
        } else {
          services_.pump->ProcessMessagesFor(kRefusedPause);
        }
        // The pump may have run the engine switching detection off: this closer is then gone.
        if (alive.expired()) return;
        if (reply || services_.clock->Steady() - start >= kReplyWait) break;
      }
      if (reply) ClosePopup(*reply, pendingWindowId_);
    }
  }
  pendingCheck_ = false;
}

void TSPopup::ClosePopup(const std::string& reply, const std::string& windowId) {
  DropFailure("DDE link", [&] {
    const std::vector<std::string> fields = SplitCommaText(reply);
    if (fields.size() != 2) return;
    const std::string& address = fields[0];
    const std::string& title = fields[1];
    if (address.empty() || address == kBlankPage) return;
    if (!MatchTitle(title)) return;
    std::unique_ptr<IDdeConversation> conversation =
        services_.ddeClient ? services_.ddeClient->NewConversation() : nullptr;
    IKillHost* host = services_.scanner.host;
    if (host) LogKill(*host, KillReport{title, MatchedRule, address, KillKind::Popup, RuleHit{std::nullopt, MatchedRule}});
    if (conversation && conversation->Open(dde::kBrowserService, dde::kOpenUrlTopic)) {
      conversation->RequestText(std::string("\"") + dde::kCloseScript + "\",," + windowId + ",0x0,,,,");
    }
    if (host) host->PlayAlarm();
  });
}

bool TSPopup::MatchTitle(const std::string& title) {
  const std::string lowered = PreparedTitle(title);
  if (lowered.empty() || lowered == kBlankPage) return false;
  for (const std::string& rule : rules_) {
    bool fits = false;
    // A rule that is not a valid mask fits nothing; the rules after it still count.
    try {
      fits = FitsMask(lowered, rule);
    } catch (const EMaskException&) {
      continue;
    }
    if (fits) {
      MatchedRule = rule;
      return true;
    }
  }
  return false;
}

}  // namespace zorvex
