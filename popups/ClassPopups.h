// The closer: switches detection on for the browser families, owns the scanner while any family is
// watched, and catches new Internet Explorer windows through the DDE service registry.
//
// Lifecycle: made and destroyed on the main thread by the engine, at most one at a time. The DDE
// link lives while Explorer is watched; the window events while the scanner runs. Destroying the
// closer leaves DDE, empties the scanner's check and asks it to end without waiting; the scanner
// finishes its cycle, and a check it posted before finds nothing to run.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "popups/ClassPopupsThread.h"

namespace zorvex {

// Everything a closer works with. monitor, ddeClient and tracker may be empty.
struct CloserServices {
  ScannerServices scanner;
  std::shared_ptr<IDdeMonitor> monitor;
  std::shared_ptr<IDdeClient> ddeClient;
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IMessagePump> pump;
  std::shared_ptr<ScannerTracker> tracker;
  // Announces new windows to the scanner while it runs; may be empty.
  std::shared_ptr<IWindowEvents> events;
};

class TSPopup {
 public:
  // Nothing watched, no rules.
  explicit TSPopup(CloserServices services);
  ~TSPopup();
  TSPopup(const TSPopup&) = delete;
  TSPopup& operator=(const TSPopup&) = delete;

  // Takes the detection options whole: joins or leaves DDE as Explorer is watched or not, runs the
  // scanner while any family is watched, and hands the options on to it.
  void SetDetection(const DetectionOptions& options);
  // Takes the rules as one text of lines; they are kept lower-cased.
  void SetRules(const std::string& text);
  // Takes the window rules, in file order; the scanner runs while there are any, families watched
  // or not.
  void SetWindowRules(std::vector<WindowRule> rules);

  // Starts, updates or stops the scanner; a scanner that has ended by itself is replaced.
  void UpdateThread(bool run);
  // Replaces a scanner that has ended although a family is watched. Main thread.
  void KeepScanning() { UpdateThread(WantsScanner()); }
  // Posted by the scanner to the main thread once a cycle: asks a newly registered Internet
  // Explorer for its newest window. Pumps messages while it waits for the answer (2 s at most).
  void CheckNewBrowser();
  // Closes the window named by the window-info reply when its title fits a rule.
  void ClosePopup(const std::string& reply, const std::string& windowId);
  // A service registration told by the DDE registry.
  void OnRegister(const std::string& service, const std::string& instance);

 private:
  friend struct Probe;
  // True when the title fits a rule; MatchedRule then names it. Unlike the scanner, "[" and "]"
  // keep their meaning here (a character set), so one rule may fit different titles in the two.
  bool MatchTitle(const std::string& title);
  // Joins or leaves the DDE service registry.
  void JoinDde(bool on);
  // Starts or stops the window events that wake the scanner.
  void Listen(bool on);
  // A family is watched or a window rule is there.
  bool WantsScanner() const { return detection_.families.Any() || !windowRules_->empty(); }

  CloserServices services_;
  DetectionOptions detection_;
  std::shared_ptr<TSPopupThread> thread_;
  std::vector<std::string> rules_;
  std::shared_ptr<const std::vector<WindowRule>> windowRules_ = std::make_shared<const std::vector<WindowRule>>();
  bool ddeJoined_ = false;
  bool listening_ = false;
  bool pendingCheck_ = false;
  std::string pendingWindowId_;
  // The rule found by the last successful MatchTitle.
  std::string MatchedRule;
  std::chrono::system_clock::time_point lastOperaRegistration_{};
  // Expires with the closer; work that pumps messages checks it before touching the closer again.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Splits comma-separated text: quoted fields may hold commas and blanks ("" is one quote),
// unquoted ones end at a comma or a blank; a final comma adds an empty field.
std::vector<std::string> SplitCommaText(const std::string& text);

}  // namespace zorvex
