#include "popups/BrowserTable.h"

#include "base/Text.h"
#include "popups/WindowClasses.h"

namespace zorvex {

namespace {

namespace bc = browser_classes;

// Which family must be watched for a row to count; Always and Never need none.
enum class Need { Never, Always, Opera, Netscape, Explorer, Chromium };

// A row's condition on the program behind a class that others share.
enum class Check {
  None,
  Chromium,  // owner, style, title and program decide
  NotMail,   // the mail program on the same engine shares the class
};

struct Row {
  const char* cls;
  bool prefix;            // cls is a prefix of the class name rather than the whole of it
  const char* titleWord;  // the title must hold this word, letter case counting; null for any title
  WindowKind kind;
  Need scanner;
  Need lister;  // the lister counts the classic Opera rows only while Opera is watched
  Need hotKey;
  bool limited;
  bool sizeJudged;
  bool searchedWithOpera;  // a browser window whose descendants are searched while Opera is watched
  bool tabs;               // its windows may hold several pages: closed tab by tab
  Check check;
};

using K = WindowKind;
using N = Need;
using C = Check;

// clang-format off
constexpr Row kRows[] = {
  // class                  prefix title word          kind          scanner     lister      hot key     limit  size   desc.  tabs   program
  {bc::kOperaMdi,           false, nullptr,            K::Browser,   N::Always,   N::Opera,    N::Always,   false, true,  false, false, C::None},
  {bc::kOperaUi,            false, nullptr,            K::Browser,   N::Always,   N::Opera,    N::Always,   false, true,  false, false, C::None},
  {bc::kOperaWindow,        false, nullptr,            K::Browser,   N::Always,   N::Opera,    N::Never,    false, true,  true,  false, C::None},
  {bc::kIEFrame,            false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   true,  true,  false, false, C::None},
  {bc::kMsn,                false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   false, true,  false, false, C::None},
  {bc::kAfxFrameOrView,     false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   false, true,  false, false, C::None},
  {bc::kCabinet,            false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   true,  true,  false, false, C::None},
  {bc::kUbc,                false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   false, true,  false, false, C::None},
  {bc::kUbcPopup,           false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   false, true,  false, false, C::None},
  {bc::kAolChild,           false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   false, false, false, false, C::None},
  {bc::kTfrmPage,           false, nullptr,            K::Browser,   N::Explorer, N::Explorer, N::Always,   false, true,  false, false, C::None},
  {bc::kDialog,             false, bc::kNeoPlanetWord, K::Browser,   N::Explorer, N::Explorer, N::Never,    false, true,  false, false, C::None},
  {bc::kAfxPrefix,          true,  bc::kNetscapeWord,  K::Browser,   N::Netscape, N::Netscape, N::Never,    false, true,  false, false, C::None},
  {bc::kMozilla,            false, nullptr,            K::Browser,   N::Netscape, N::Netscape, N::Always,   false, true,  false, true,  C::NotMail},
  {kChromiumFrameClass,     false, nullptr,            K::Browser,   N::Chromium, N::Chromium, N::Chromium, false, true,  false, true,  C::Chromium},
  {bc::kOperaMain,          false, nullptr,            K::Container, N::Opera,    N::Opera,    N::Never,    false, false, false, false, C::None},
  {bc::kAolStatic,          false, nullptr,            K::Container, N::Explorer, N::Always,   N::Never,    false, false, false, false, C::None},
  {bc::kAolFrame,           false, nullptr,            K::Container, N::Explorer, N::Always,   N::Never,    false, false, false, false, C::None},
  {bc::kAvant,              false, nullptr,            K::Container, N::Explorer, N::Explorer, N::Never,    false, false, false, false, C::None},
};
// clang-format on

// File names of the programs of today's browsers on the shared engine; compared in lower case.
constexpr const char* kChromiumPrograms[] = {"chrome.exe", "msedge.exe", "brave.exe", "vivaldi.exe", "opera.exe",
                                             "chromium.exe"};

// File names of the mail programs on the Firefox engine, which share its window class.
constexpr const char* kMailPrograms[] = {"thunderbird.exe", "betterbird.exe"};

bool Watched(Need need, const BrowserFamilies& f) {
  switch (need) {
    case Need::Never: return false;
    case Need::Always: return true;
    case Need::Opera: return f.opera;
    case Need::Netscape: return f.netscape;
    case Need::Explorer: return f.explorer;
    case Need::Chromium: return f.chromium;
  }
  return false;
}

bool ClassFits(const Row& row, const std::string& cls) { return row.prefix ? StartsWith(cls, row.cls) : cls == row.cls; }

Need NeedOf(const Row& row, BrowserAsker asker) {
  switch (asker) {
    case BrowserAsker::Scanner: return row.scanner;
    case BrowserAsker::Lister: return row.lister;
    case BrowserAsker::HotKey: return row.hotKey;
  }
  return Need::Never;
}

// Editors and chat programs share the class, and so do the browsers' own bubbles and menus: only
// an unowned, titled, ordinary top-level window of a browser's program counts.
bool IsChromiumBrowserWindow(const WindowFacts& window) {
  if (!window.TopLevel() || window.Owner() != 0 || window.IsToolWindow() || window.Title().empty()) return false;
  return IsChromiumBrowserProgram(window.Program().name);
}

}  // namespace

bool IsMailProgram(const std::string& fileName) {
  for (const char* program : kMailPrograms) {
    if (SameTextAscii(fileName, program)) return true;
  }
  return false;
}

bool IsChromiumBrowserProgram(const std::string& fileName) {
  for (const char* program : kChromiumPrograms) {
    if (SameTextAscii(fileName, program)) return true;
  }
  return false;
}

bool MayHoldTabs(const std::string& className) {
  for (const Row& row : kRows) {
    if (row.tabs && ClassFits(row, className)) return true;
  }
  return false;
}

BrowserVerdict ClassifyBrowserWindow(const WindowFacts& window, const BrowserFamilies& families, BrowserAsker asker) {
  const std::string& cls = window.ClassName();
  for (const Row& row : kRows) {
    if (!ClassFits(row, cls)) continue;
    if (!Watched(NeedOf(row, asker), families)) continue;
    if (row.titleWord != nullptr && !Contains(window.Title(), row.titleWord)) continue;
    if (row.check == Check::Chromium && !IsChromiumBrowserWindow(window)) continue;
    if (row.check == Check::NotMail && IsMailProgram(window.Program().name)) continue;
    BrowserVerdict verdict;
    verdict.kind = row.kind;
    verdict.limited = row.limited;
    verdict.sizeJudged = row.sizeJudged;
    verdict.searchDescendants = row.searchedWithOpera && families.opera;
    return verdict;
  }
  return BrowserVerdict{};
}

}  // namespace zorvex
