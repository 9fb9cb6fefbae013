// Where the program's UTF-8 meets the system's UTF-16: the conversion rules, and titles of other
// programs' windows read back through the desktop seam exactly as those programs wrote them.
#include <gtest/gtest.h>

#include <algorithm>

#include "Win32TestSupport.h"
#include "platform/Files.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Desktop.h"

using namespace zorvex;
using namespace zorvex::testing;
using win32::Narrow;
using win32::Widen;

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

// True when text is well-formed UTF-8 (no stray, overlong, surrogate or out-of-range sequence).
bool IsUtf8(const std::string& text) {
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0, n = text.size(); i < n;) {
    std::size_t length = b[i] < 0x80 ? 1 : (b[i] >= 0xC2 && b[i] <= 0xDF) ? 2 : (b[i] & 0xF0) == 0xE0 ? 3
                       : (b[i] >= 0xF0 && b[i] <= 0xF4) ? 4 : 0;
    if (length == 0 || i + length > n) return false;
    char32_t c = length == 1 ? b[i] : b[i] & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (b[i + k] & 0x3F);
    }
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

// A window of this process with a title given through the W call.
win32::UniqueWindow WideTitledWindow(const std::wstring& title) {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZorvexWideTitleTest";
    return ::RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return win32::UniqueWindow(::CreateWindowExW(0, L"ZorvexWideTitleTest", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                               100, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
}

}  // namespace

TEST(WideTextWin32, ValidTextCrossesBothWaysUnchangedAndBrokenTextBecomesReplacementCharacters) {
  for (const ScriptTitle& t : ScriptTitles()) {
    EXPECT_EQ(Narrow(Widen(t.title)), t.title) << t.script;
    EXPECT_EQ(Narrow(Widen(t.rule)), t.rule) << t.script;
  }
  EXPECT_EQ(Widen("Caf\xC3\xA9 \xF0\x9F\x8E\xB0"), std::wstring(L"Caf\u00E9 \xD83C\xDFB0"));
  // Filter lists hold zero bytes between their parts; they pass through.
  EXPECT_EQ(Widen(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(Widen(""), L"");

  // Invalid UTF-8: each maximal bad part is one U+FFFD, and the byte that broke it starts anew.
  const struct {
    const char* bytes;
    std::wstring wide;
  } invalid[] = {
      {"\xFF", L"\xFFFD"},                            // never a UTF-8 byte
      {"a\x80z", L"a\xFFFDz"},                        // a stray continuation byte
      {"caf\xE9 promo", L"caf\xFFFD promo"},          // Windows-1252 text
      {"\xC3", L"\xFFFD"},                            // cut off at the end
      {"\xF0\x9F\x8E", L"\xFFFD"},                    // a four-byte character cut off
      {"\xF0\x9F\x8E" "A", L"\xFFFD" L"A"},           // ... and followed by ASCII
      {"\xC0\xAF", L"\xFFFD\xFFFD"},                  // an overlong slash
      {"\xE0\x80\xAF", L"\xFFFD\xFFFD\xFFFD"},        // an overlong three-byte form
      {"\xED\xA0\x80", L"\xFFFD\xFFFD\xFFFD"},        // an encoded surrogate
      {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // beyond U+10FFFF
      {"\xE2\x82" "x", L"\xFFFD" L"x"},               // a three-byte character missing its last byte
  };
  for (const auto& c : invalid) {
    EXPECT_EQ(Widen(c.bytes), c.wide) << ::testing::PrintToString(std::string(c.bytes));
    EXPECT_TRUE(IsUtf8(Narrow(Widen(c.bytes))));
  }

  // Unpaired surrogates from the system become U+FFFD; a whole pair is one character.
  EXPECT_EQ(Narrow(std::wstring(L"a\xD800z")), "a" + kReplacement + "z");
  EXPECT_EQ(Narrow(std::wstring(L"a\xDC00z")), "a" + kReplacement + "z");
  EXPECT_EQ(Narrow(std::wstring(L"\xD83D")), kReplacement);
  EXPECT_EQ(Narrow(std::wstring(L"\xDC00\xD800")), kReplacement + kReplacement);
  EXPECT_EQ(Narrow(std::wstring(L"\xD83C\xDFB0")), "\xF0\x9F\x8E\xB0");
  // Every single UTF-16 unit gives valid UTF-8, and every one but a surrogate comes back.
  for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
    const std::wstring wide(1, static_cast<wchar_t>(unit));
    const std::string text = Narrow(wide);
    ASSERT_TRUE(IsUtf8(text)) << unit;
    if (unit < 0xD800 || unit > 0xDFFF) {
      ASSERT_EQ(Widen(text), wide) << unit;
    }
  }

  // A cut never parts the halves of a pair.
  EXPECT_EQ(win32::CutWide(L"ab\xD83C\xDFB0", 3), L"ab");
  EXPECT_EQ(win32::CutWide(L"ab\xD83C\xDFB0", 4), L"ab\xD83C\xDFB0");
  EXPECT_EQ(win32::CutWide(L"abc", 2), L"ab");
}

TEST(DesktopWin32, TitlesInEveryScriptReadBackExactlyAndABrokenTitleReadsAsValidUtf8) {
  std::vector<std::string> windows;
  for (const ScriptTitle& t : ScriptTitles()) windows.push_back(std::string("IEFrame|") + t.title + "|400|300|v");
  ChildProcess helper = OpenHelperWindows(windows);
  win32::Win32Desktop desktop;
  for (const ScriptTitle& t : ScriptTitles()) {
    const HWND window = FindWindowOf(helper.Id(), t.title);
    ASSERT_NE(window, nullptr) << t.script;
    EXPECT_EQ(desktop.Title(win32::FromHwnd(window)), t.title) << t.script;
    EXPECT_EQ(desktop.ClassName(win32::FromHwnd(window)), "IEFrame") << t.script;
  }

  // An unpaired surrogate in a title reads as U+FFFD, so no invalid UTF-8 reaches the rules.
  const win32::UniqueWindow broken = WideTitledWindow(L"Bad \xD800 title \xDC01");
  ASSERT_TRUE(broken);
  EXPECT_EQ(desktop.Title(win32::FromHwnd(broken.get())), "Bad " + kReplacement + " title " + kReplacement);

  // A title longer than the limit is cut to kMaxWindowText units, never between a pair's halves.
  std::wstring slot = L"x";
  for (int i = 0; i < 600; ++i) slot += L"\xD83C\xDFB0";
  const win32::UniqueWindow longTitle = WideTitledWindow(slot);
  ASSERT_TRUE(longTitle);
  std::string expected = "x";
  for (int i = 0; i < 511; ++i) expected += "\xF0\x9F\x8E\xB0";
  EXPECT_EQ(desktop.Title(win32::FromHwnd(longTitle.get())), expected);

  // The program path of another process comes whole too.
  EXPECT_NE(desktop.ProgramPath(helper.Id()).find("popup_windows.exe"), std::string::npos);
}

TEST(FilesWin32, FilesInAFolderNamedOutsideTheCodePageAreWrittenReadAndNamedExactly) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::string folder =
      Narrow(std::wstring(temp)) + "zorvex-Żółw 猫-" + std::to_string(::GetCurrentProcessId()) + "\\";
  ASSERT_TRUE(::CreateDirectoryW(Widen(folder).c_str(), nullptr));
  const std::string rules = folder + "правила.xml";
  const std::string log = folder + "日志.log";
  const std::string bytes = "<Rules><Rule>*рояль*</Rule></Rules>";

  ReplaceFileContents(rules, bytes);
  EXPECT_TRUE(FileExists(rules));
  EXPECT_FALSE(IsReadOnlyFile(rules));
  EXPECT_EQ(ReadWholeFile(rules), bytes);
  ReplaceFileContents(rules, bytes + " ");
  EXPECT_EQ(ReadWholeFile(rules), bytes + " ");
  RecoverInterruptedSave(rules);
  EXPECT_EQ(AppendLine(log, "Popup Killed: Казино (*казино*)"), 43u + 2u) << "UTF-8 bytes and CR LF";
  EXPECT_EQ(ReadWholeFile(log), "Popup Killed: Казино (*казино*)\r\n");

  // The system holds the names as written, and only those: no temporary file is left.
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(Widen(folder + "*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    const std::string name = Narrow(std::wstring(found.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"правила.xml", "日志.log"}));

  // A failure names the file as written.
  try {
    ReadWholeFile(folder + "нет.xml");
    ADD_FAILURE() << "a missing file was read";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("нет.xml"), std::string::npos) << e.what();
  }
  for (const std::string& name : names) ::DeleteFileW(Widen(folder + name).c_str());
  EXPECT_TRUE(::RemoveDirectoryW(Widen(folder).c_str()));
}
