// Closing in today's browsers, where one window holds many pages: before a window of such a
// browser is sent the close command, its tab strip is read; a window that holds several tabs loses
// only its front tab, and a window whose strip cannot be read is left open.
//
// Lifecycle: a TabCloser belongs to one scanner's closing threads and lives as long as they do.
// The strip is read on a kept strip worker, never on the closing thread itself: a browser that
// stops answering in the middle of the walk holds its worker without limit, so a closing thread
// waits for it only up to a bound, then abandons that worker (it ends, and releases what it
// entered, when the browser answers again) and the next read gets a new one.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Platform.h"

namespace zorvex {

// Why a window was picked for closing.
enum class PickedBy {
  Rule,  // a title rule fitted its title, that is the title of its front tab
  Size,  // aggressive mode's size test
};

// What to do with a window of today's browsers once its strip has been read.
enum class TabVerdict {
  CloseWindow,    // no strip, or one tab: a popup; closed whole as before
  CloseFrontTab,  // several tabs, hidden ones too: only the selected one goes (left open if it cannot)
  LeaveOpen,      // it may hold other tabs that cannot be told apart: left open, and said once
  LeaveQuietly,   // several tabs, picked by size only: a window of the user's, not a popup
};

struct TabPlan {
  TabVerdict verdict = TabVerdict::LeaveOpen;
  // The tab to close (an index into the strip's tabs) for CloseFrontTab.
  std::size_t tab = 0;
};

// The decision: what to close in a window of today's browsers, from what reading its strip gave.
// Every tab counts, hidden ones (a collapsed group, a crowded or hidden strip) too. fullScreen:
// the window fills its monitor, where a browser hides its strip; no strip then proves nothing.
TabPlan PlanTabClose(const TabStripRead& read, PickedBy by, bool fullScreen = false);

// The selected tab, named tab, is the page that rule fitted in a window titled windowTitle: the
// rule fits the tab's name, or the window is titled by that name (alone, or followed by the
// browser's name after a dash, which a rule made from a window title carries).
bool FrontTabIsPicked(const std::string& tab, const std::string& rule, const std::string& windowTitle);

// Why a window was left open, as its log line says.
inline constexpr const char* kTabsUnreadable = "its tabs could not be read";
inline constexpr const char* kFullScreenNoTabs = "it fills its screen and shows no tabs";
inline constexpr const char* kTabStayed = "its tab did not close";
inline constexpr const char* kBrowsersNotAnswering = "too many browsers are not answering";

// The log line for a window left open, with why.
std::string LeftOpenLogLine(const std::string& title, const std::string& rule, const std::string& why = kTabsUnreadable);

// One window to close, as the scanner picked it.
struct CloseRequest {
  WindowHandle window = 0;
  // The window's title when it was picked; a window whose title changed since is not touched.
  std::string title;
  std::string reason;
  PickedBy by = PickedBy::Rule;
  // Picked by size: a rule that fits as well, which still takes the front tab of a window that
  // holds several; empty when none does.
  std::string sizeAndRule;
};

// What a close did.
struct CloseOutcome {
  // The close command went to the whole window; taken tells whether it took it. Only a window
  // sent the command can have failed to answer it: one that lost a tab, was left open or was not
  // touched has not timed out.
  bool sent = false;
  // The window took the close command.
  bool taken = false;
  // Only its front tab was closed, titled tabTitle, for the rule tabReason; the window stays.
  // Every such tab is a kill.
  bool tabClosed = false;
  std::string tabTitle;
  std::string tabReason;
  // A line to log once (not a kill): the window was left open.
  std::string leftLine;
};

class TabCloser {
 public:
  // strips may be empty: every window is then closed whole. bound: how long a closing thread waits
  // for a strip to be read and its tab closed before it abandons the worker. confirm: how long a
  // pressed close button has to take its tab away (the window's title changes, or the strip
  // holds one tab fewer) before the press counts as having closed nothing.
  TabCloser(std::shared_ptr<IDesktop> desktop, std::shared_ptr<ITabStrips> strips,
            std::chrono::milliseconds bound = std::chrono::seconds(5),
            std::chrono::milliseconds confirm = std::chrono::seconds(2));
  ~TabCloser();
  TabCloser(const TabCloser&) = delete;
  TabCloser& operator=(const TabCloser&) = delete;

  // Closes the window, or its front tab, or leaves it, as its strip says. A window left open is
  // not read again while it keeps its title, nor while a reader of it that was abandoned still
  // runs. Any closing thread; waits up to the bound for a strip and as long as the desktop's close
  // takes for a window.
  CloseOutcome Close(const CloseRequest& request);
  // The window is gone (its handle may come back for a new window): forgets it. Any thread.
  void Forget(WindowHandle window);
  // Forgets the windows left open that are gone.
  void Prune();

  struct Workers;
  struct Reading;

 private:
  friend struct Probe;
  // Strip workers that were abandoned, caught by a browser that stopped answering.
  int Abandoned() const;
  // Remembers a window left open under title, as picked.
  void Leave(WindowHandle window, const std::string& picked);
  bool LeftUnchanged(WindowHandle window, const std::string& picked);

  std::shared_ptr<IDesktop> desktop_;
  std::shared_ptr<ITabStrips> strips_;
  std::chrono::milliseconds bound_;
  std::chrono::milliseconds confirm_;
  std::shared_ptr<Workers> workers_;
  // Shared with the reads, which may outlive the closer.
  std::shared_ptr<Reading> reading_;
  std::mutex mutex_;
  std::map<WindowHandle, std::string> left_;
};

}  // namespace zorvex
