// One window as the decision sees it: a value whose facts are each read at most once per judging,
// and only when the browser table or the rules ask for them. A window that no family could claim
// costs its class and nothing more. A new fact for the rules is a field of KnownWindow, its
// accessor and its read here, and its use in the decision.
//
// Lifecycle: a WindowFacts read through the desktop lives for one judging on one thread (the facts
// it has read are cached in it unguarded); the desktop and the program cache must outlive it.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace zorvex {

// The program file behind a process.
struct ProgramFile {
  // Full path; empty when it cannot be read.
  std::string path;
  // File name without its folder, case folded (lower-cased, as FoldCase does).
  std::string name;
  // The window rules indexed under this name, kept with the walk's cached record by the rule set
  // (WindowRuleSet) whose serial is ruleSet: a process's windows all meet the same rules.
  mutable std::uint64_t ruleSet = 0;
  mutable const std::vector<std::size_t>* ruleCandidates = nullptr;
};

// Program files by process, read once for each process's life: a process id the system gives
// again is told apart by its start time, read once a walk.
class ProgramNames {
 public:
  explicit ProgramNames(IDesktop& desktop) : desktop_(desktop) {}
  // The program of a process; empty when unreadable. sameProcess tells that the process is the
  // one met before under its id (a window of it was met before, and a window dies with its
  // process): its start time need not be checked.
  const ProgramFile& Of(std::uint32_t processId, bool sameProcess = false);
  // A new walk: each process's start time is checked again on its first use, and processes not
  // met for a while are forgotten.
  void NewWalk();

 private:
  struct Known {
    std::uint64_t started = 0;
    std::uint64_t walk = 0;
    ProgramFile file;
  };
  IDesktop& desktop_;
  std::unordered_map<std::uint32_t, Known> files_;
  std::uint64_t walk_ = 1;
};

// What a window keeps for its whole life, its class and its process, remembered from one walk to
// the next: a window met before costs no read of either, and a walk over windows that stay costs
// the walk itself. Everything else a judging needs is read anew each time. A handle is forgotten
// once a walk of the whole desktop no longer meets it, or when the system says its window is
// destroyed (Forget), so that a new window given the handle is read as new. One thread.
class WindowIdentities {
 public:
  struct Identity {
    std::string className;
    std::uint32_t processId = 0;
  };
  // What is remembered of window (empty fields when nothing is); marks it met in this walk.
  Identity& Of(WindowHandle window);
  void Forget(WindowHandle window);
  // A walk of the whole desktop has met every window there is: the others are forgotten.
  void EndWalk();

 private:
  struct Known {
    Identity identity;
    std::uint64_t walk = 0;
  };
  std::unordered_map<WindowHandle, Known> windows_;
  std::uint64_t walk_ = 1;
};

// Every fact of a window, as plain values.
struct KnownWindow {
  bool exists = true;
  std::string className;
  // The seam reads an unreadable title as empty, as the system does: no flag would be more than a guess.
  std::string title;
  ProgramFile program;
  std::uint32_t processId = 0;
  // The window that owns it; 0 for none.
  WindowHandle owner = 0;
  // The tool-window style: small caption, no task-bar button.
  bool toolWindow = false;
  bool visible = true;
  bool minimised = false;
  Rect rect;
  // The density its pixels are scaled by.
  int dpi = 96;
  // It came from the top-level walk, not from a container's descendants.
  bool topLevel = true;
};

class WindowFacts {
 public:
  // A window known whole: nothing is read.
  explicit WindowFacts(KnownWindow known) : known_(std::move(known)), read_(~0u) {}
  // window as desktop shows it, each fact read on first use; programs, when given, shares the program
  // reads of a walk, and identities the class and process of windows met before.
  WindowFacts(IDesktop& desktop, WindowHandle window, bool topLevel, ProgramNames* programs = nullptr,
              WindowIdentities* identities = nullptr);

  // It came from the top-level walk, not from a container's descendants.
  bool TopLevel() const { return known_.topLevel; }
  // The window is still there; the facts of one that is gone read empty, false and 0.
  bool Exists() const;
  // Its class name; empty when gone.
  const std::string& ClassName() const;
  // Its title as the seam reads it (UTF-8, cut at kMaxWindowText).
  const std::string& Title() const;
  // The program of the process that made it, through the walk's cache when there is one. A Store
  // app's frame (ApplicationFrameHost.exe) answers with the program of the app it holds.
  const ProgramFile& Program() const;
  // The process that made it; 0 when gone.
  std::uint32_t ProcessId() const;
  // The window that owns it; 0 for none.
  WindowHandle Owner() const;
  // It carries the tool-window style.
  bool IsToolWindow() const;
  // It is shown; a minimised window may still be.
  bool IsVisible() const;
  bool IsMinimised() const;
  // Its rectangle on the screen, in pixels.
  const Rect& WindowRect() const;
  // The density those pixels are scaled by (96 at 100 percent).
  int Dpi() const;

 private:
  // The field, read through read the first time it is asked for (bit marks it read).
  template <typename T, typename Read>
  const T& Fact(unsigned bit, T& field, const Read& read) const;

  IDesktop* desktop_ = nullptr;
  WindowHandle window_ = 0;
  ProgramNames* programs_ = nullptr;
  WindowIdentities::Identity* identity_ = nullptr;
  // Its process was known before this judging, through the identities.
  bool processKnown_ = false;
  // The program, in the walk's cache (which outlives the judging) or in known_.
  mutable const ProgramFile* program_ = nullptr;
  mutable KnownWindow known_;
  // The facts read so far, one bit each.
  mutable unsigned read_ = 0;
};

}  // namespace zorvex
