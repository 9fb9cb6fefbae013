// Tab strips of the fake desktop's browser windows: what each window's accessibility tree would
// show, and a browser that stops answering in the middle of the walk.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/fakes/FakeDesktop.h"

namespace zorvex::fake {

// The strip of one window.
struct StripRecord {
  // What a read gives; Read with tabs, or None, Error, Timeout.
  TabStripState state = TabStripState::Read;
  std::vector<PageTab> tabs;
  // A read blocks until Release(), as a browser caught hanging in the middle of the walk, then
  // gives Timeout; with answersLate it gives the strip, as a walk past its last check would.
  bool hangs = false;
  bool answersLate = false;
  // A read answers in this many slow steps, as a browser on a loaded machine.
  int slowSteps = 0;
  // The close button does nothing.
  bool closeFails = false;
  // The press is taken, yet the tab stays: a page that asks "leave this page?", or a last button
  // that is not the close button.
  bool pressKeeps = false;
  // Titles of tabs that have no close button.
  std::set<std::string> buttonless = {};
};

// Windows without a record have no strip. Closing a tab removes it, brings the next visible tab
// to the front and gives the window that tab's title, as a browser does; the last tab takes the
// window with it. Thread-safe.
class FakeTabStrips : public ITabStrips, public std::enable_shared_from_this<FakeTabStrips> {
 public:
  explicit FakeTabStrips(std::shared_ptr<FakeDesktop> desktop) : desktop_(std::move(desktop)) {}

  // A window with several visible tabs, the one at selected in front, which the window is titled.
  void SetTabs(WindowHandle window, const std::vector<std::string>& titles, std::size_t selected = 0);
  void Set(WindowHandle window, const StripRecord& record);
  StripRecord Get(WindowHandle window) const;
  // Ends every hanging read of the window, which then answers Timeout; later reads do not hang.
  void Release(WindowHandle window);
  void ReleaseAll();
  // Reads of a window so far, ended or not.
  int Reads(WindowHandle window) const;
  int HangingReads() const;
  // Titles of the tabs closed so far, in order.
  std::vector<std::string> ClosedTabs() const;
  // Reads and closes done on a thread that had not entered, or whose entry ended on another thread.
  int Faults() const;
  // Threads that entered and have not left yet.
  int Entered() const;

  std::shared_ptr<void> EnterThread() override;
  TabStripRead Read(WindowHandle window, ReadWatch& watch) override;

  // Closes a tab for a strip that was read (called by the strip the read gave).
  bool CloseTab(WindowHandle window, const std::string& title);

 private:
  std::shared_ptr<FakeDesktop> desktop_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::map<WindowHandle, StripRecord> strips_;
  std::map<WindowHandle, int> reads_;
  std::set<WindowHandle> releasedWindows_;
  int hanging_ = 0;
  int faults_ = 0;
  int entered_ = 0;
  std::vector<std::string> closedTabs_;
};

}  // namespace zorvex::fake
