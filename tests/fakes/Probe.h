// Reaches the members that only the tests drive or read directly: one pass run on the test's own
// thread, what a closer holds, what a tab closer has given up on. The product never calls these.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/ClassKiller.h"
#include "popups/ClassPopups.h"
#include "popups/ClassPopupsThread.h"
#include "popups/TabClose.h"

namespace zorvex {

struct Probe {
  static void RunPass(TSPopupThread& scanner) { scanner.RunPass(); }
  static void JudgeNoticed(TSPopupThread& scanner) { scanner.JudgeNoticed(); }
  static void KillWindow(TSPopupThread& scanner, WindowHandle window, KillReport report) {
    scanner.KillWindow(window, std::move(report));
  }
  static const std::vector<WindowHandle>& ExplorerWindows(const TSPopupThread& scanner) {
    return scanner.ExplorerWindows;
  }

  static const DetectionOptions& Detection(const TSPopup& closer) { return closer.detection_; }
  static const std::vector<std::string>& Rules(const TSPopup& closer) { return closer.rules_; }
  static const std::vector<WindowRule>& WindowRules(const TSPopup& closer) { return *closer.windowRules_; }
  static const std::shared_ptr<TSPopupThread>& Thread(const TSPopup& closer) { return closer.thread_; }
  static bool MatchTitle(TSPopup& closer, const std::string& title) { return closer.MatchTitle(title); }
  static const std::string& MatchedRule(const TSPopup& closer) { return closer.MatchedRule; }

  static TSPopup* Closer(const TZorvex& engine) { return engine.closer_.get(); }
  static int Abandoned(const TabCloser& closer) { return closer.Abandoned(); }
};

}  // namespace zorvex
