// The one table that says which windows are browser windows and which are containers whose
// descendants are searched. The scanner, the window lister and the direct-add hot key all ask it;
// where they differ, that is a column of the table, not a copy of the code.
#pragma once

#include <string>

#include "popups/WindowFacts.h"

namespace zorvex {

// Which browser families the user watches, as the engine's options say now.
struct BrowserFamilies {
  bool opera = false;
  bool netscape = false;
  bool explorer = false;
  bool chromium = false;
  // At least one family is watched: the scanner runs.
  bool Any() const { return opera || netscape || explorer || chromium; }
};

// Who asks: the three differ in which family a row needs.
enum class BrowserAsker { Scanner, Lister, HotKey };

// What a window is to the one who asked.
enum class WindowKind {
  Other,      // neither: left alone
  Browser,    // a browser window: judged by size and by the rules, listed, taken by the hot key
  Container,  // not judged itself; its descendants are
};

struct BrowserVerdict {
  WindowKind kind = WindowKind::Other;
  // Counted for the Explorer window limit.
  bool limited = false;
  // May be closed by its size in aggressive mode.
  bool sizeJudged = false;
  // A browser window whose descendants are searched as well.
  bool searchDescendants = false;
};

// What window is, for asker, while families are watched. Asks for a window's facts beyond its
// class only where a watched row of that class needs them.
BrowserVerdict ClassifyBrowserWindow(const WindowFacts& window, const BrowserFamilies& families, BrowserAsker asker);

// The class of the frames of today's browsers on one engine; shared by programs that are none.
inline constexpr const char* kChromiumFrameClass = "Chrome_WidgetWin_1";

// True for the window classes whose windows may hold several tabs (today's browsers).
bool MayHoldTabs(const std::string& className);

// True when a program file name (lower case, no folder) is one of the browsers of that engine.
bool IsChromiumBrowserProgram(const std::string& fileName);
// True when a program file name (no folder) is a mail program on the Firefox engine: not a browser.
bool IsMailProgram(const std::string& fileName);

}  // namespace zorvex
