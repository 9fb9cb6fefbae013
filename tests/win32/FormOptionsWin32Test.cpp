// The options dialog in this process, driven by the messages a user's mouse and keys send: its
// layout, the page tree, the rules page with its file dialogs, the options page's linked controls,
// the round trip to the engine, the modal run, and the language files against the real forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>

#include "ModalScript.h"
#include "Win32TestSupport.h"
#include "platform/Files.h"
#include "tests/fakes/FakePlatform.h"
#include "tests/fakes/Probe.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "ui/FormAddPopup.h"
#include "ui/FormMain.h"
#include "ui/FormOptions.h"
#include "ui/FormWindowRule.h"
#include "ui/Strings.h"
#include "i18n/ClassForm.h"

using namespace zorvex;
using namespace zorvex::testing;
using namespace zorvex::widgets;

namespace {


void Click(HWND window) { ::SendMessageA(window, BM_CLICK, 0, 0); }

// What the user's keys send to a focused edit, one character at a time.
void Type(HWND window, const std::string& text) {
  for (char c : text) ::SendMessageA(window, WM_CHAR, static_cast<unsigned char>(c), 1);
}

BOOL CALLBACK FindCommonDialog(HWND window, LPARAM found) {
  char cls[64] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) == "#32770" && ::IsWindowVisible(window)) *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

// A visible common file dialog of this thread; null when none shows.
HWND VisibleCommonDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), FindCommonDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool IsSortedByLstrcmp(const std::vector<std::string>& v) {
  return std::is_sorted(v.begin(), v.end(),
                        [](const std::string& a, const std::string& b) { return ::lstrcmpA(a.c_str(), b.c_str()) < 0; });
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class FormOptionsWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zorvex-options-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    engine = std::make_unique<TZorvex>(platform.Engine(folder));
  }
  void TearDown() override {
    if (form != nullptr) application.Remove(*form).reset();
    engine.reset();
    SetFormTranslator(nullptr);
    for (const std::string& name : made) ::DeleteFileA((folder + name).c_str());
    ::RemoveDirectoryA(folder.c_str());
  }

  TfoOptions& Make() {
    form = &application.Create<TfoOptions>(*engine);
    return *form;
  }
  TfoOptions& Loaded() {
    Make().LoadFromEngine();
    return *form;
  }
  // A path in the test folder, removed at the end.
  std::string Path(const std::string& name) {
    made.push_back(name);
    return folder + name;
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // Makes the file dialogs answer path (nothing: cancelled) and counts how often they are asked.
  void Answer(TFileDialog& dialog, std::optional<std::string> path) {
    dialog.Chooser = [this, path](HWND) {
      ++asked;
      return path;
    };
  }
  // The open options dialog, or null.
  TfoOptions* Open() { return dynamic_cast<TfoOptions*>(application.FindComponent("foOptions")); }

  std::string folder;
  std::vector<std::string> made;
  fake::FakePlatform platform;
  std::unique_ptr<TZorvex> engine;
  TApplication application;
  TfoOptions* form = nullptr;
  int asked = 0;
};

}  // namespace

TEST_F(FormOptionsWin32, FrameAndPagesAreLaidOutAsDesigned) {
  TfoOptions& f = Make();
  EXPECT_EQ(f.Name(), "foOptions");
  EXPECT_TRUE(TTranslator::IsKindOf(&f, "TSForm"));
  EXPECT_EQ(f.Caption(), "Options");
  EXPECT_EQ(f.ClientWidth(), 538);
  EXPECT_EQ(f.ClientHeight(), 388);
  EXPECT_EQ(f.BorderStyle(), TBorderStyle::Dialog);
  EXPECT_EQ(f.Position, TPosition::ScreenCenter);
  const LONG style = ::GetWindowLongA(f.Handle(), GWL_STYLE);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(f.Font().Height, -12);
  EXPECT_EQ(f.ExplorerBox.Font().Height, -12) << "controls follow the form's font";
  EXPECT_EQ(f.TitleLabel.Font().Height, -21);

  const struct {
    TWinControl& control;
    int left, top, width, height;
  } places[] = {
      {f.Panel1, 0, 0, 538, 45},          {f.Image1, 8, 4, 32, 32},          {f.Bevel1, 0, 45, 538, 2},
      {f.MenuList, 5, 50, 121, 291},      {f.Pages, 132, 48, 401, 294},      {f.Bevel2, 0, 346, 538, 2},
      {f.Panel2, 0, 348, 538, 40},        {f.OkButton, 363, 8, 75, 25},      {f.CancelButton, 455, 8, 75, 25},
      {f.AddButton, 2, 0, 75, 25},        {f.RemoveButton, 100, 0, 75, 25},  {f.ImportButton, 209, 0, 75, 25},
      {f.ExportButton, 318, 0, 75, 25},   {f.Rules, 0, 44, 401, 250},        {f.BrowserBox, 2, 0, 190, 129},
      {f.GeneralBox, 2, 132, 190, 101},   {f.SoundGroup, 200, 0, 190, 129},  {f.ExplorerGroup, 200, 132, 190, 59},
      {f.SoundFileBox, 78, 70, 103, 20},  {f.LimitSpin, 74, 23, 45, 23},     {f.Panel3, 2, 0, 131, 131},
      {f.Image2, 3, 3, 124, 124},         {f.GroupBox7, 140, -6, 251, 65},   {f.GroupBox8, 140, 60, 251, 205},
      {f.Memo1, 6, 18, 237, 181},
  };
  for (const auto& p : places) {
    const TBounds b = p.control.Bounds();
    EXPECT_EQ((std::vector<int>{b.Left, b.Top, b.Width, b.Height}),
              (std::vector<int>{p.left, p.top, p.width, p.height}))
        << p.control.Name();
  }
  for (TWinControl* c : std::initializer_list<TWinControl*>{&f.ExplorerBox, &f.NetscapeBox, &f.OperaBox, &f.ChromiumBox, &f.AgressiveBox,
                                                            &f.StartBox, &f.LogBox, &f.SoundBox, &f.InternalRadio,
                                                            &f.ExternalRadio, &f.LimitCheck, &f.LimitLabel,
                                                            &f.VersionLabel, &f.Label6, &f.SiteLabel, &f.HotLink1}) {
    const TBounds b = c->Bounds();
    // Nothing sticks out of its group box.
    EXPECT_LE(b.Left + b.Width, c->Parent()->Bounds().Width - 4) << c->Name();
  }
  EXPECT_LE(f.ExternalRadio.Bounds().Left + f.ExternalRadio.Bounds().Width, 78) << "clear of the file box";
  EXPECT_LE(f.LimitCheck.Bounds().Left + f.LimitCheck.Bounds().Width, 74) << "clear of the spin edit";

  const struct {
    TWinControl& control;
    int order;
  } orders[] = {{f.Panel1, 0},       {f.MenuList, 1},      {f.Pages, 2},         {f.Panel2, 3},
                {f.OkButton, 0},     {f.CancelButton, 1},  {f.AddButton, 0},     {f.RemoveButton, 1},
                {f.ImportButton, 2}, {f.ExportButton, 3},  {f.Rules, 4},         {f.ExplorerBox, 0},
                {f.NetscapeBox, 1},  {f.OperaBox, 2},      {f.ChromiumBox, 3},   {f.AgressiveBox, 0},  {f.StartBox, 1},
                {f.LogBox, 2},       {f.SoundBox, 0},      {f.InternalRadio, 1}, {f.ExternalRadio, 2},
                {f.SoundFileBox, 3}, {f.LimitCheck, 0},    {f.LimitSpin, 1}};
  for (const auto& o : orders) EXPECT_EQ(o.control.TabOrder(), o.order) << o.control.Name();

  EXPECT_TRUE(f.OkButton.Default());
  EXPECT_EQ(f.OkButton.ModalResult, mrOk);
  EXPECT_TRUE(f.CancelButton.Cancel);
  EXPECT_EQ(f.CancelButton.ModalResult, mrCancel);
  EXPECT_EQ(f.OpenDialog.Filter, "Zorvex List (*.zvl)|*.zvl");
  EXPECT_EQ(f.SaveDialog.Filter, "Zorvex List (*.zvl)|*.zvl");
  EXPECT_EQ(f.SaveDialog.DefaultExt, "zvl");
  EXPECT_EQ(f.SoundFileBox.Filter, "Wave (*.wav)|*.wav");
  // The about page and the version resource show the same version, the project's.
  EXPECT_EQ(TextOf(f.Label6.Handle()), std::to_string(ZORVEX_VERSION_MAJOR) + "." + std::to_string(ZORVEX_VERSION_MINOR) +
                                           "." + std::to_string(ZORVEX_VERSION_PATCH));
  EXPECT_EQ(f.HotLink1.Url, TextOf(f.HotLink1.Handle()));
  EXPECT_NE(f.Image1.Icon(), nullptr);
  EXPECT_NE(f.Image2.Icon(), nullptr);
  EXPECT_GT(f.Memo1.Lines().Count(), 3u);
  EXPECT_TRUE(f.InternalRadio.Checked());
  EXPECT_FALSE(f.LimitSpin.Enabled());

  // The rules list: title, hits and last columns under headers, grid, whole rows, several
  // selected, no editing.
  const LONG listStyle = ::GetWindowLongA(f.Rules.Handle(), GWL_STYLE);
  EXPECT_FALSE(listStyle & LVS_NOCOLUMNHEADER);
  EXPECT_FALSE(listStyle & LVS_SINGLESEL);
  EXPECT_TRUE(listStyle & LVS_SHOWSELALWAYS);
  EXPECT_FALSE(listStyle & LVS_EDITLABELS);
  const LRESULT extended = ::SendMessageA(f.Rules.Handle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_TRUE(extended & LVS_EX_GRIDLINES);
  EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
  ASSERT_EQ(f.Rules.Columns().Count(), 3u);
  EXPECT_EQ(::SendMessageA(f.Rules.Handle(), LVM_GETCOLUMNWIDTH, 0, 0), 250);
  // The tree: no label editing, hot tracking, indent 19, a soft edge instead of a border.
  const LONG treeStyle = ::GetWindowLongA(f.MenuList.Handle(), GWL_STYLE);
  EXPECT_TRUE(treeStyle & TVS_TRACKSELECT);
  EXPECT_FALSE(treeStyle & TVS_EDITLABELS);
  EXPECT_EQ(::SendMessageA(f.MenuList.Handle(), TVM_GETINDENT, 0, 0), 19);
  const LONG treeEx = ::GetWindowLongA(f.MenuList.Handle(), GWL_EXSTYLE);
  EXPECT_TRUE(treeEx & WS_EX_STATICEDGE);
  EXPECT_FALSE(treeEx & WS_EX_CLIENTEDGE);
}

TEST_F(FormOptionsWin32, TheTreeNamesThePagesFromTheNamedStringsAndSwitchesThem) {
  const std::string before = strings::MenuRules;
  strings::MenuRules = "Regeln";
  TfoOptions& f = Make();
  strings::MenuRules = before;
  ASSERT_EQ(f.MenuList.Items().Count(), 4u);
  EXPECT_EQ(f.MenuList.Items().Text(0), "Regeln");
  EXPECT_EQ(f.MenuList.Items().Text(1), "Windows");
  EXPECT_EQ(f.MenuList.Items().Text(2), "Options");
  EXPECT_EQ(f.MenuList.Items().Text(3), "About");
  EXPECT_EQ(f.MenuList.Selected(), nullptr);
  EXPECT_EQ(f.Pages.ActivePage(), &f.AboutSheet) << "the about page shows first";

  const TTabSheet* expected[] = {&f.RulesSheet, &f.WindowsSheet, &f.OptionSheet, &f.AboutSheet};
  for (std::size_t i : {0u, 1u, 2u, 3u, 0u}) {
    f.MenuList.Select(f.MenuList.Items().Node(i));
    EXPECT_EQ(f.Pages.ActivePage(), expected[i]) << i;
    EXPECT_TRUE(::IsWindowVisible(f.Pages.ActivePage()->Handle()) || !::IsWindowVisible(f.Handle()));
  }
  // No entry: the page stays.
  f.MenuList.Select(nullptr);
  EXPECT_EQ(f.Pages.ActivePage(), &f.RulesSheet);
  int hidden = 0;
  for (TTabSheet* page : f.Pages.Pages()) hidden += (::GetWindowLongA(page->Handle(), GWL_STYLE) & WS_VISIBLE) ? 0 : 1;
  EXPECT_EQ(hidden, 3);
}

TEST_F(FormOptionsWin32, ExportWritesTheSelectedRulesOrAllOrNone) {
  engine->SetRules({"e", "a", "d", "b", "c"});
  TfoOptions& f = Loaded();
  ASSERT_EQ(f.RuleTitles(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  const std::string path = Path("out.zvl");
  Answer(f.SaveDialog, path);

  f.Rules.SetSelected(3, true);
  f.Rules.SetSelected(1, true);
  Click(f.ExportButton.Handle());
  EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF" "b\r\nd\r\n");

  f.Rules.SetSelected(1, false);
  f.Rules.SetSelected(3, false);
  Click(f.ExportButton.Handle());
  EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF" "a\r\nb\r\nc\r\nd\r\ne\r\n");

  f.Rules.Items().Clear();
  Click(f.ExportButton.Handle());
  EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF");

  // Cancelled: the file stays; an unwritable target fails silently.
  Answer(f.SaveDialog, std::nullopt);
  f.Rules.Items().Add("x");
  Click(f.ExportButton.Handle());
  EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF");
  Answer(f.SaveDialog, folder + "no such folder\\out.zvl");
  Click(f.ExportButton.Handle());
  EXPECT_EQ(asked, 5);
  EXPECT_EQ(f.RuleTitles(), std::vector<std::string>{"x"});
}

TEST_F(FormOptionsWin32, ImportAddsNewLinesOnceCaseCountingAndOneEmptyRule) {
  engine->SetRules({"*casino*", "Ad"});
  TfoOptions& f = Loaded();
  Answer(f.OpenDialog, Write("in.zvl", "*Casino*\r\n*casino*\r\nNew\r\n\r\nNew\nlast\r\r\n"));
  Click(f.ImportButton.Handle());
  const std::vector<std::string> titles = f.RuleTitles();
  EXPECT_EQ(Sorted(titles), Sorted({"*casino*", "Ad", "*Casino*", "New", "", "last"}));
  EXPECT_TRUE(IsSortedByLstrcmp(titles));

  // Again: everything is held now, the blank lines included.
  Click(f.ImportButton.Handle());
  EXPECT_EQ(f.RuleTitles(), titles);

  // Cancelled or unreadable: nothing changes.
  Answer(f.OpenDialog, std::nullopt);
  Click(f.ImportButton.Handle());
  Answer(f.OpenDialog, folder + "missing.zvl");
  Click(f.ImportButton.Handle());
  EXPECT_EQ(f.RuleTitles(), titles);
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(engine->RuleList(), (std::vector<std::string>{"*casino*", "Ad"})) << "only Ok reaches the engine";
}

TEST_F(FormOptionsWin32, AddPicksOneTitleAndAddsItEvenTwice) {
  std::vector<TRuleDialogResult> answers = {{true, "Same", {}}, {true, "Same", {}}, {false, "Cancelled", {}},
                                            {true, "", {}},      {true, "*a*", {}}};
  std::vector<bool> multi;
  engine->RuleDialog = [&](bool multiSelect) {
    multi.push_back(multiSelect);
    TRuleDialogResult r = answers.front();
    answers.erase(answers.begin());
    return r;
  };
  TfoOptions& f = Loaded();
  for (int i = 0; i < 5; ++i) Click(f.AddButton.Handle());
  EXPECT_EQ(multi, std::vector<bool>(5, false)) << "single-select mode";
  EXPECT_EQ(Sorted(f.RuleTitles()), (std::vector<std::string>{"*a*", "Same", "Same"}));
  EXPECT_TRUE(IsSortedByLstrcmp(f.RuleTitles()));
}

TEST_F(FormOptionsWin32, RemoveDeletesTheSelectedRulesAndRulesGoBackSorted) {
  engine->SetRules({"b", "C", "a", "d"});
  TfoOptions& f = Loaded();
  Click(f.RemoveButton.Handle());
  EXPECT_EQ(f.RuleTitles().size(), 4u) << "no selection: nothing removed";
  f.Rules.SetSelected(0, true);
  f.Rules.SetSelected(3, true);
  const std::string first = f.Rules.Items().Caption(0);
  const std::string last = f.Rules.Items().Caption(3);
  Click(f.RemoveButton.Handle());
  std::vector<std::string> left = f.RuleTitles();
  EXPECT_EQ(left.size(), 2u);
  EXPECT_EQ(std::count(left.begin(), left.end(), first) + std::count(left.begin(), left.end(), last), 0);

  f.Rules.Items().Add("B2");
  f.SaveToEngine();
  const std::vector<std::string> stored = engine->RuleList();
  EXPECT_EQ(Sorted(stored), Sorted(f.RuleTitles()));
  EXPECT_TRUE(IsSortedByLstrcmp(stored));
  EXPECT_EQ(stored, f.RuleTitles());
}

TEST_F(FormOptionsWin32, LimitOfZeroShowsOneDisabledAndCheckingStoresOne) {
  engine->SetLimitExplorer(0);
  TfoOptions& f = Loaded();
  EXPECT_FALSE(f.LimitCheck.Checked());
  EXPECT_FALSE(f.LimitSpin.Enabled());
  EXPECT_EQ(TextOf(f.LimitSpin.Handle()), "1");
  Click(f.LimitCheck.Handle());
  EXPECT_TRUE(f.LimitSpin.Enabled());
  f.SaveToEngine();
  EXPECT_EQ(engine->LimitExplorer(), 1);

  // Typed beyond the range: clamped; unchecked again: disabled and stored as no limit.
  ::SetWindowTextA(f.LimitSpin.Handle(), "250000");
  f.SaveToEngine();
  EXPECT_EQ(engine->LimitExplorer(), 100000);
  Click(f.LimitCheck.Handle());
  EXPECT_FALSE(f.LimitSpin.Enabled());
  f.SaveToEngine();
  EXPECT_EQ(engine->LimitExplorer(), 0);

  engine->SetLimitExplorer(7);
  f.LoadFromEngine();
  EXPECT_TRUE(f.LimitCheck.Checked());
  EXPECT_TRUE(f.LimitSpin.Enabled());
  EXPECT_EQ(f.LimitSpin.Value(), 7);
}

TEST_F(FormOptionsWin32, CheckBoxesCarryTheirOptionsBothWays) {
  engine->SetOpera(true);
  engine->StartWindows = false;
  engine->UseLog = true;
  engine->PlaySound = false;
  TfoOptions& f = Loaded();
  EXPECT_TRUE(f.OperaBox.Checked());
  EXPECT_FALSE(f.NetscapeBox.Checked());
  EXPECT_FALSE(f.ExplorerBox.Checked());
  EXPECT_FALSE(f.ChromiumBox.Checked());
  EXPECT_FALSE(f.AgressiveBox.Checked());
  EXPECT_FALSE(f.StartBox.Checked());
  EXPECT_TRUE(f.LogBox.Checked());
  EXPECT_FALSE(f.SoundBox.Checked());
  for (TCheckBox* box : {&f.OperaBox, &f.NetscapeBox, &f.ExplorerBox, &f.ChromiumBox, &f.AgressiveBox, &f.StartBox,
                         &f.LogBox, &f.SoundBox}) {
    Click(box->Handle());
  }
  f.SaveToEngine();
  EXPECT_FALSE(engine->Detection().families.opera);
  EXPECT_TRUE(engine->Detection().families.netscape);
  EXPECT_TRUE(engine->Detection().families.explorer);
  EXPECT_TRUE(engine->Detection().families.chromium);
  EXPECT_TRUE(Probe::Closer(*engine) == nullptr || Probe::Detection(*Probe::Closer(*engine)).families.chromium) << "through the setter";
  EXPECT_TRUE(engine->Detection().agressive);
  EXPECT_TRUE(engine->StartWindows);
  EXPECT_EQ(platform.registry->entries.count("Zorvex"), 1u) << "through the setter";
  EXPECT_FALSE(engine->UseLog);
  EXPECT_TRUE(engine->PlaySound);
}

TEST_F(FormOptionsWin32, SoundIsInternalOrAFileAndTypingChoosesTheFile) {
  const std::string wave = Write("ding.wav", "RIFF");
  engine->PlaySoundVal = wave;
  TfoOptions& f = Loaded();
  EXPECT_TRUE(f.ExternalRadio.Checked());
  EXPECT_FALSE(f.InternalRadio.Checked());
  EXPECT_EQ(TextOf(f.SoundFileBox.Handle()), wave);

  // The internal sound forgets the path.
  Click(f.InternalRadio.Handle());
  EXPECT_FALSE(f.ExternalRadio.Checked());
  f.SaveToEngine();
  EXPECT_EQ(engine->PlaySoundVal, "");

  // Typing selects "File" at once; emptied, "File" stores nothing, as the internal sound.
  Click(f.InternalRadio.Handle());
  Type(f.SoundFileBox.Handle(), "x");
  EXPECT_TRUE(f.ExternalRadio.Checked());
  ::SetWindowTextA(f.SoundFileBox.Handle(), "");
  EXPECT_TRUE(f.ExternalRadio.Checked());
  f.SaveToEngine();
  EXPECT_EQ(engine->PlaySoundVal, "");

  // A path with blanks typed without quotes that names no file: up to its first blank.
  Click(f.SoundFileBox.Handle());
  Type(f.SoundFileBox.Handle(), "C:\\no such\\x.wav");
  f.SaveToEngine();
  EXPECT_EQ(engine->PlaySoundVal, "C:\\no");
}

TEST_F(FormOptionsWin32, BrowsedPathsWithBlanksOrBracketsAreShownQuotedAndStoredWhole) {
  TfoOptions& f = Loaded();
  std::vector<std::string> offered;
  std::string answer = "C:\\My Sounds\\ding.wav";
  f.SoundChooser = [&](const std::string& current) -> std::optional<std::string> {
    offered.push_back(current);
    return answer;
  };
  Click(f.SoundFileBox.BrowseButton());
  EXPECT_EQ(TextOf(f.SoundFileBox.Handle()), "\"C:\\My Sounds\\ding.wav\"");
  EXPECT_TRUE(f.ExternalRadio.Checked());
  f.SaveToEngine();
  EXPECT_EQ(engine->PlaySoundVal, "C:\\My Sounds\\ding.wav");

  // Square brackets are allowed in file names: a chosen one is shown, not dropped.
  answer = "C:\\Sounds\\[loud].wav";
  Click(f.SoundFileBox.BrowseButton());
  EXPECT_EQ(offered, (std::vector<std::string>{"", "C:\\My Sounds\\ding.wav"}));
  EXPECT_EQ(TextOf(f.SoundFileBox.Handle()), answer);
  f.SaveToEngine();
  EXPECT_EQ(engine->PlaySoundVal, answer);

  // Cancelled: the box keeps its text.
  f.SoundChooser = [](const std::string&) { return std::optional<std::string>(); };
  Click(f.SoundFileBox.BrowseButton());
  EXPECT_EQ(TextOf(f.SoundFileBox.Handle()), answer);
}

TEST_F(FormOptionsWin32, OkWritesBackAndCancelOrEscLeavesTheEngineUntouched) {
  engine->SetRules({"keep 1", "keep 2"});
  engine->SetOpera(true);
  auto shown = [this] { return Open() != nullptr && ::IsWindowVisible(Open()->Handle()); };
  auto edit = [this] {
    TfoOptions& f = *Open();
    for (std::size_t i = 0; i < f.Rules.Items().Count(); ++i) f.Rules.SetSelected(i, true);
    Click(f.RemoveButton.Handle());
    Click(f.OperaBox.Handle());
    return true;
  };
  auto key = [this](WPARAM vk) {
    return [this, vk] {
      HWND focus = ::GetFocus();
      ::PostMessageA(focus != nullptr ? focus : Open()->Handle(), WM_KEYDOWN, vk, 1);
      return true;
    };
  };
  {
    ModalScript script({shown, edit, key(VK_ESCAPE)});
    EXPECT_FALSE(RunOptionsDialog(application, *engine));
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  {
    ModalScript script({shown, edit, [this] {
                          Click(Open()->CancelButton.Handle());
                          return true;
                        }});
    EXPECT_FALSE(RunOptionsDialog(application, *engine));
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  {
    ModalScript script({shown, edit, [this] {
                          ::PostMessageA(Open()->Handle(), WM_CLOSE, 0, 0);
                          return true;
                        }});
    EXPECT_FALSE(RunOptionsDialog(application, *engine));
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_EQ(Open(), nullptr) << "freed after each run";
  EXPECT_EQ(engine->RuleList(), (std::vector<std::string>{"keep 1", "keep 2"}));
  EXPECT_TRUE(engine->Detection().families.opera);

  {
    ModalScript script({shown, edit, key(VK_RETURN)});
    EXPECT_TRUE(RunOptionsDialog(application, *engine));
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{});
  EXPECT_FALSE(engine->Detection().families.opera);
  EXPECT_EQ(Open(), nullptr);
}

TEST_F(FormOptionsWin32, SelectingARuleSaysWhatItWouldCloseOfTheOpenBrowserWindows) {
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Daily News - Browser|700|500|v",
                                             "IEFrame|Casino Bonus - Browser|700|500|v",
                                             "MozillaWindowClass|Mail Reader|700|500|v"});
  engine->SetExplorer(true);
  engine->SetNetscape(true);
  engine->SetRules({"*casino*", "daily*", "*", "*e*", "[nothing]"});
  win32::Win32Desktop desktop;
  int listings = 0;
  auto openWindows = [&] {
    ++listings;
    std::vector<std::string> titles;
    TEnum(desktop, [this] { return engine->Detection(); })
        .ListWindows(titles);
    return titles;
  };
  // Selects the rule as the keys do: it alone selected, with the focus.
  auto select = [this](const std::string& rule) {
    TfoOptions& f = *Open();
    const std::vector<std::string> titles = f.RuleTitles();
    const auto at = std::find(titles.begin(), titles.end(), rule);
    EXPECT_NE(at, titles.end()) << rule;
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED;
    ::SendMessageA(f.Rules.Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(f.Rules.Handle(), LVM_SETITEMSTATE, at - titles.begin(), reinterpret_cast<LPARAM>(&item));
  };
  auto line = [this] { return TextOf(Open()->FitLabel.Handle()); };
  struct Seen {
    std::string line;
    bool warning;
  };
  std::vector<Seen> seen;
  auto look = [&] {
    seen.push_back({line(), Open()->FitLabel.Warning()});
    return true;
  };
  ModalScript script({[this] { return Open() != nullptr && ::IsWindowVisible(Open()->Handle()); }, [&] {
                        seen.push_back({line(), false});
                        select("*casino*");
                        return true;
                      },
                      look, [&] { select("daily*"); return true; }, look,
                      [&] { select("*"); return true; }, look,
                      [&] { select("*e*"); return true; }, look,
                      [&] { select("[nothing]"); return true; }, look,
                      [&] {
                        // Selecting every rule at once lists the windows once more at most.
                        const int before = listings;
                        for (std::size_t i = 0; i < Open()->RuleTitles().size(); ++i) Open()->Rules.SetSelected(i, true);
                        EXPECT_LE(listings - before, 1);
                        Click(Open()->RemoveButton.Handle());
                        return true;
                      },
                      look, [this] {
                        Click(Open()->CancelButton.Handle());
                        return true;
                      }});
  EXPECT_FALSE(RunOptionsDialog(application, *engine, openWindows));
  ASSERT_TRUE(script.Finished()) << script.Failure();
  const std::vector<Seen> expected = {{"", false},
                                      {"Fits 1 of 3 open browser windows", false},
                                      {"Fits 1 of 3 open browser windows", false},
                                      {"This rule closes every browser window", true},
                                      {"This rule closes every browser window", true},
                                      // The scanner reads brackets as "?": "?nothing?" fits none.
                                      {"Fits 0 of 3 open browser windows", false},
                                      {"", false}};
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].line, expected[i].line) << i;
    EXPECT_EQ(seen[i].warning, expected[i].warning) << i;
  }
  EXPECT_EQ(engine->RuleList().size(), 5u) << "the line changes no rule";
}

TEST_F(FormOptionsWin32, AStoredSoundPathTheBoxRefusesStillOpensAUsableDialog) {
  engine->SetRules({"rule"});
  engine->PlaySoundVal = "C:\\Sounds\\ding|1.wav";
  std::string shownText;
  bool external = false;
  std::vector<std::string> titles;
  {
    ModalScript script({[this] { return Open() != nullptr && ::IsWindowVisible(Open()->Handle()); },
                        [&] {
                          TfoOptions& f = *Open();
                          shownText = TextOf(f.SoundFileBox.Handle());
                          external = f.ExternalRadio.Checked();
                          titles = f.RuleTitles();
                          Click(f.OkButton.Handle());
                          return true;
                        }});
    EXPECT_TRUE(RunOptionsDialog(application, *engine));
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_EQ(shownText, "C:\\Sounds\\ding|1.wav");
  EXPECT_TRUE(external);
  EXPECT_EQ(titles, std::vector<std::string>{"rule"}) << "the rules are loaded after the sound";
  EXPECT_EQ(engine->PlaySoundVal, "C:\\Sounds\\ding|1.wav") << "kept as stored until the user corrects it";
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"rule"});

  // The user can correct it.
  TfoOptions& f = Loaded();
  ::SetWindowTextA(f.SoundFileBox.Handle(), "C:\\fixed.wav");
  f.SaveToEngine();
  EXPECT_EQ(engine->PlaySoundVal, "C:\\fixed.wav");
}

TEST_F(FormOptionsWin32, TheSaveDialogAddsTheListExtensionToANameTypedWithoutOne) {
  engine->SetRules({"r"});
  TfoOptions& f = Loaded();
  const std::string typed = folder + "typed";
  made.push_back("typed.zvl");
  // The common dialog runs its own modal loop: find it, type the name, press Save.
  HWND dialog = nullptr;
  ModalScript script({[&] {
                        ::PostMessageA(f.ExportButton.Handle(), BM_CLICK, 0, 0);
                        return true;
                      },
                      [&] {
                        dialog = VisibleCommonDialog();
                        return dialog != nullptr;
                      },
                      [&] {
                        // The file name box is a combo box (cmb13) or an edit (edt1), by system version.
                        HWND name = ::GetDlgItem(dialog, 0x47C);
                        if (name == nullptr) name = ::GetDlgItem(dialog, 0x480);
                        EXPECT_NE(name, nullptr);
                        ::SetWindowTextA(name, typed.c_str());
                        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                        return true;
                      },
                      [&] { return ::IsWindow(dialog) == FALSE || ::IsWindowVisible(dialog) == FALSE; }});
  while (!script.Finished() && script.Failure().empty()) {
    MSG msg{};
    if (::GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    ::DispatchMessageA(&msg);
  }
  EXPECT_TRUE(script.Finished()) << script.Failure();
  EXPECT_EQ(ReadWholeFile(typed + ".zvl"), "\xEF\xBB\xBF" "r\r\n");
}

namespace {

// What a language file reaches on the real forms: every attribute and named string by its path
// ("foOptions/ExplorerBox@Caption"), and the paths that reach nothing.
struct LanguageReach {
  std::set<std::string> paths;
  std::vector<std::string> missing;

  void Element(TPersistent& object, TSimpleXmlElem& element, const std::string& path, bool indexed = false) {
    for (std::size_t i = 0; i < element.Props().Count(); ++i) {
      const std::string name = element.Props().Item(i).Name();
      if (indexed && SameTextAscii(name, "Index")) continue;
      paths.insert(path + "@" + name);
      const TPropInfo* info = object.FindProperty(name);
      if (info == nullptr || !info->Writable() || info->Kind() == PropKind::Object) missing.push_back(path + "@" + name);
    }
    auto* strings = dynamic_cast<TTranslatorStrings*>(&object);
    auto* component = dynamic_cast<TComponent*>(&object);
    for (std::size_t i = 0; i < element.Elems().Count(); ++i) {
      auto* child = dynamic_cast<TSimpleXmlElemClassic*>(element.Elems().Item(i));
      if (child == nullptr) continue;
      if (strings != nullptr) {
        const std::string name = child->Props().ReadText("Name", "");
        paths.insert(path + "/" + name);
        if (strings->Find(name) == nullptr) missing.push_back(path + "/" + name);
        continue;
      }
      const std::string childPath = path + "/" + child->Name();
      if (TComponent* owned = component != nullptr ? component->FindComponent(child->Name()) : nullptr) {
        Element(*owned, *child, childPath);
        continue;
      }
      const TPropInfo* info = object.FindProperty(child->Name());
      TPersistent* sub = info != nullptr && info->Kind() == PropKind::Object ? info->SubObject() : nullptr;
      if (sub == nullptr) {
        missing.push_back(childPath);
      } else if (auto* collection = dynamic_cast<TCollection*>(sub)) {
        for (std::size_t j = 0; j < child->Elems().Count(); ++j) {
          auto* item = dynamic_cast<TSimpleXmlElemClassic*>(child->Elems().Item(j));
          if (item == nullptr) continue;
          const std::int64_t index = item->Props().ReadInt("Index", -1);
          const std::string itemPath = childPath + "/" + std::to_string(index);
          if (index < 0 || static_cast<std::size_t>(index) >= collection->Count()) {
            missing.push_back(itemPath);
          } else {
            Element(collection->Item(static_cast<std::size_t>(index)), *item, itemPath, true);
          }
        }
      } else if (dynamic_cast<TStrings*>(sub) != nullptr) {
        paths.insert(childPath);
        if (child->Elems().Count() == 0 || dynamic_cast<TSimpleXmlElemCData*>(child->Elems().Item(0)) == nullptr) {
          missing.push_back(childPath + " (no CDATA)");
        }
      } else {
        Element(*sub, *child, childPath);
      }
    }
  }
};

class LanguageFilesWin32 : public FormOptionsWin32 {
 protected:
  void SetUp() override {
    FormOptionsWin32::SetUp();
    for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) saved.push_back(*strings::kNamedStrings[i].value);
    main = &application.Create<TfoMain>(*engine, *desktop, MainFormDialogs{}, folder);
    SetFormTranslator([this] { return &main->ZorvexTranslator(); });
  }
  void TearDown() override {
    for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) *strings::kNamedStrings[i].value = saved[i];
    FormOptionsWin32::TearDown();
  }
  static std::string File(const std::string& language) {
    return ProgramFolder() + "Languages\\" + language + ".xml";
  }
  LanguageReach Reach(const std::string& language) {
    TSimpleXml document;
    document.LoadFromFile(File(language));
    LanguageReach reach;
    TSimpleXmlElems& forms = document.Root().Elems();
    for (std::size_t i = 0; i < forms.Count(); ++i) {
      auto* element = dynamic_cast<TSimpleXmlElemClassic*>(forms.Item(i));
      if (element == nullptr) continue;
      if (TComponent* form = application.FindComponent(element->Name())) {
        reach.Element(*form, *element, element->Name());
      } else {
        reach.missing.push_back(element->Name());
      }
    }
    return reach;
  }

  std::shared_ptr<win32::Win32Desktop> desktop = std::make_shared<win32::Win32Desktop>();
  std::vector<std::string> saved;
  TfoMain* main = nullptr;
};

// The texts a user reads on a form: captions of its components that a language should change.
std::vector<std::string> CaptionPaths(TComponent& form, const std::set<std::string>& untranslated) {
  std::vector<std::string> paths;
  if (form.FindProperty("Caption") != nullptr && untranslated.count(form.Name()) == 0) paths.push_back(form.Name() + "@Caption");
  for (std::size_t i = 0; i < form.ComponentCount(); ++i) {
    TComponent& c = form.Component(i);
    const TPropInfo* caption = c.FindProperty("Caption");
    if (caption == nullptr || caption->GetString().empty() || caption->GetString() == "-") continue;
    if (untranslated.count(c.Name()) == 0) paths.push_back(form.Name() + "/" + c.Name() + "@Caption");
  }
  return paths;
}

// Every text the user reads on the forms now, by component and property.
std::vector<std::string> Texts(TComponent& application) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) texts.push_back(*strings::kNamedStrings[i].value);
  for (std::size_t f = 0; f < application.ComponentCount(); ++f) {
    TComponent& form = application.Component(f);
    for (std::size_t i = 0; i <= form.ComponentCount(); ++i) {
      TComponent& c = i < form.ComponentCount() ? form.Component(i) : form;
      for (const char* name : {"Caption", "Hint", "Filter"}) {
        if (const TPropInfo* p = c.FindProperty(name)) texts.push_back(c.Name() + "@" + name + "=" + p->GetString());
      }
    }
  }
  if (auto* options = dynamic_cast<TfoOptions*>(application.FindComponent("foOptions"))) {
    texts.push_back(options->Memo1.Lines().Text());
    texts.push_back(static_cast<TListColumn&>(options->Rules.Columns().Item(0)).Caption());
  }
  return texts;
}

}  // namespace

TEST_F(LanguageFilesWin32, TheTemplateHoldsTheBuiltInTexts) {
  Make();
  application.Create<TfoAddPopup>(*desktop, [] { return DetectionOptions{}; });
  application.Create<TfoWindowRule>(*desktop, WindowRuleText{});
  const std::vector<std::string> builtIn = Texts(application);
  main->ZorvexTranslator().LoadLanguage(File("English"));
  EXPECT_EQ(Texts(application), builtIn);
  main->ZorvexTranslator().LoadLanguage(File("Deutsch"));
  EXPECT_NE(Texts(application), builtIn) << "a translation reaches the open forms";
}

TEST_F(LanguageFilesWin32, TheTemplateNamesEveryTextAndTheTranslationsTheSameOnes) {
  Make();
  application.Create<TfoAddPopup>(*desktop, [] { return DetectionOptions{}; });
  application.Create<TfoWindowRule>(*desktop, WindowRuleText{});
  application.Create<TfoPickWindow>(std::vector<std::vector<std::string>>{});
  const LanguageReach english = Reach("English");
  EXPECT_EQ(english.missing, std::vector<std::string>{});

  // Every caption of the three forms (the hidden main form's is the program's name), the list filters, the column, the memo and the named strings.
  std::vector<std::string> expected;
  for (const char* form : {"foMain", "foOptions", "foAddPopup", "foWindowRule", "foPickWindow"}) {
    const std::vector<std::string> captions = CaptionPaths(*application.FindComponent(form),
                                                           {"foMain", "actAddPopupDirect", "Label6", "HotLink1", "FitLabel"});
    expected.insert(expected.end(), captions.begin(), captions.end());
  }
  for (const char* name : {"actCloseMenu", "actExit", "actOptions", "actAddRule", "actAddWindowRule", "actActive", "actLanguage"}) {
    expected.push_back(std::string("foMain/") + name + "@Hint");
  }
  for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) {
    expected.push_back(std::string("foMain/Variables/") + strings::kNamedStrings[i].name);
  }
  for (const char* path : {"foOptions/OpenDialog@Filter", "foOptions/SaveDialog@Filter", "foOptions/SoundFileBox@Filter",
                           "foOptions/Memo1/Lines"}) {
    expected.push_back(path);
  }
  const std::pair<const char*, int> columns[] = {
      {"foOptions/Rules", 3}, {"foOptions/WindowRuleList", 6}, {"foPickWindow/Windows", 3}};
  for (const auto& [list, count] : columns) {
    for (int i = 0; i < count; ++i) expected.push_back(std::string(list) + "/Columns/" + std::to_string(i) + "@Caption");
  }
  for (const std::string& path : expected) EXPECT_EQ(english.paths.count(path), 1u) << path;
  EXPECT_EQ(english.paths.size(), expected.size()) << "nothing beyond the texts";

  for (const char* language : {"Deutsch", "Francais"}) {
    const LanguageReach translated = Reach(language);
    EXPECT_EQ(translated.missing, std::vector<std::string>{}) << language;
    EXPECT_EQ(translated.paths, english.paths) << language;
  }
}

TEST_F(LanguageFilesWin32, ATranslationReachesTheMenuTheNamedStringsAndEveryNewDialog) {
  main->ZorvexTranslator().LoadLanguage(File("Deutsch"));
  EXPECT_EQ(main->ZorvexTranslator().DroppedErrors(TTranslatorGuard::Load), 0u);
  EXPECT_EQ(main->FindAction("actExit")->Caption, "&Beenden");
  EXPECT_EQ(strings::TrayHint, "Zorvex - %d Popups geschlossen");

  TfoOptions& f = Make();
  EXPECT_EQ(f.Caption(), "Optionen");
  EXPECT_EQ(TextOf(f.NetscapeBox.Handle()), "Netscape/Mozilla prüfen");
  EXPECT_EQ(f.Rules.Columns().Count(), 3u);
  EXPECT_EQ(static_cast<TListColumn&>(f.Rules.Columns().Item(0)).Caption(), "Titel");
  EXPECT_EQ(static_cast<TListColumn&>(f.WindowRuleList.Columns().Item(4)).Caption(), "Treffer");
  EXPECT_EQ(f.Memo1.Lines().Get(0), "Danke, dass Sie Zorvex verwenden!");
  EXPECT_EQ(f.SaveDialog.Filter, "Zorvex-Liste (*.zvl)|*.zvl");
  EXPECT_EQ(f.SaveDialog.DefaultExt, "zvl");
  EXPECT_EQ(f.MenuList.Items().Text(0), "Regeln") << "the tree takes the named strings";
  EXPECT_EQ(f.MenuList.Items().Text(1), "Fenster");
  EXPECT_EQ(f.MenuList.Items().Text(3), "Info");
  TfoWindowRule& rule = application.Create<TfoWindowRule>(*desktop, WindowRuleText{});
  EXPECT_EQ(rule.Caption(), "Fensterregel");
  EXPECT_EQ(rule.ActionBox.Items().Get(2), "Knopf drücken") << "the actions take the named strings";
  EXPECT_EQ(TextOf(rule.FitLabel.Handle()), "Programm, Klasse oder Titel angeben");
  for (auto guard : {TTranslatorGuard::Component, TTranslatorGuard::Attribute, TTranslatorGuard::ChildProperty}) {
    EXPECT_EQ(main->ZorvexTranslator().DroppedErrors(guard), 0u);
  }
}

// --- The window rules page. ---

namespace {

std::vector<std::string> Row(TListView& list, std::size_t row) {
  std::vector<std::string> cells{list.Items().Caption(row)};
  for (std::size_t c = 0; c + 1 < list.Columns().Count(); ++c) cells.push_back(list.Items().SubItem(row, c));
  return cells;
}

// The titles of the window rules in rules.xml, in file order, each with its hits.
std::string WindowRulesInFile(const std::string& path) {
  TSimpleXml doc;
  doc.LoadFromFile(path);
  std::string out;
  for (std::size_t i = 0; i < doc.Root().Elems().Count(); ++i) {
    TSimpleXmlElem& e = *doc.Root().Elems().Item(i);
    if (e.Name() != "WindowRule") continue;
    out += (out.empty() ? "" : " ") + e.Props().ReadText("title", "") + e.Props().ReadText("hits", "");
  }
  return out;
}

}  // namespace

TEST_F(FormOptionsWin32, TheWindowsPageListsTheRulesWithTheirHitsAndItsButtonsChangeTheOrderInTheFile) {
  Write("rules.xml", "<Rules><Rule hits=\"4\" last=\"2026-12-08T01:02:03Z\">ad</Rule>"
                     "<WindowRule program=\"a.exe\" title=\"one\" action=\"close\" hits=\"5\" last=\"2026-12-08T01:02:03Z\"/>"
                     "<WindowRule class=\"#32770\" title=\"two\" action=\"press\" button=\"OK\"/>"
                     "<Rule>b</Rule><WindowRule title=\"three\" action=\"leave\" x=\"kept\"/></Rules>");
  engine->LoadOptions();
  // Fitted since the load, as the scanner reports it: the page shows the count it reached.
  engine->RuleFitted(RuleHit{WindowRuleText{"", "", "three", "leave", ""}, ""});
  TfoOptions& f = Loaded();
  ASSERT_EQ(f.WindowRuleList.Items().Count(), 3u);
  EXPECT_EQ(Row(f.WindowRuleList, 0),
            (std::vector<std::string>{"a.exe", "", "one", "Close it", "5", "2026-12-08 01:02"}));
  EXPECT_EQ(Row(f.WindowRuleList, 1), (std::vector<std::string>{"", "#32770", "two", "Press a button: OK", "", ""}));
  EXPECT_EQ(Row(f.WindowRuleList, 2)[4], "1");
  EXPECT_EQ(Row(f.Rules, 0), (std::vector<std::string>{"ad", "4", "2026-12-08 01:02"}));

  std::vector<WindowRuleText> edited;
  f.EditWindowRule = [&](const WindowRuleText& rule) -> std::optional<WindowRuleText> {
    edited.push_back(rule);
    if (rule.title.empty()) return WindowRuleText{"", "", "four", "watch", ""};
    WindowRuleText changed = rule;
    changed.title += "!";
    return changed;
  };
  // Select a row (-1: none), click a button; the list's titles after it.
  struct Case {
    int row;
    char button;  // Add, Edit, Remove, Up, Down
    std::string titles;
  };
  const Case cases[] = {
      {2, 'U', "one three two"},   {1, 'U', "three one two"},
      {0, 'U', "three one two"},   {0, 'D', "one three two"},
      {2, 'D', "one three two"}, {-1, 'A', "one three two four"},
      {0, 'E', "one! three two four"}, {2, 'R', "one! three four"},
      {-1, 'R', "one! three four"},
  };
  for (const Case& c : cases) {
    for (std::size_t i = 0; i < f.WindowRuleList.Items().Count(); ++i) f.WindowRuleList.SetSelected(i, false);
    if (c.row >= 0) f.WindowRuleList.SetSelected(static_cast<std::size_t>(c.row), true);
    const std::pair<char, TButton*> buttons[] = {{'A', &f.WindowAddButton}, {'E', &f.WindowEditButton},
                                                 {'R', &f.WindowRemoveButton}, {'U', &f.WindowUpButton},
                                                 {'D', &f.WindowDownButton}};
    for (const auto& [key, button] : buttons) {
      if (key == c.button) Click(button->Handle());
    }
    std::string titles;
    for (std::size_t i = 0; i < f.WindowRuleList.Items().Count(); ++i) {
      titles += (i ? " " : "") + f.WindowRuleList.Items().SubItem(i, 1);
    }
    EXPECT_EQ(titles, c.titles) << c.row;
  }
  EXPECT_EQ(edited.size(), 2u) << "Add and Edit ask the dialog";
  EXPECT_TRUE(edited.back() == (WindowRuleText{"a.exe", "", "one", "close", ""}));
  EXPECT_EQ(WindowRulesInFile(folder + "rules.xml"), "one5 two three") << "nothing is written before Ok";
  f.SaveToEngine();
  engine->SaveRules();
  EXPECT_EQ(WindowRulesInFile(folder + "rules.xml"), "one!5 three1 four");
  TSimpleXml doc;
  doc.LoadFromFile(folder + "rules.xml");
  EXPECT_EQ(doc.Root().Elems().Item(2)->Props().ReadText("x", ""), "kept") << "a moved rule keeps its element";
  EXPECT_EQ(engine->RuleList(), (std::vector<std::string>{"ad", "b"}));
}

TEST_F(FormOptionsWin32, TheWindowsPagesAddRunsTheWindowRuleDialogAndOkWritesItsRule) {
  engine->LoadOptions();
  win32::Win32Desktop desktop;
  TfoOptions& f = Loaded();
  f.EditWindowRule = [&](const WindowRuleText& rule) { return RunWindowRuleDialog(application, desktop, rule); };
  auto dialog = [this] { return dynamic_cast<TfoWindowRule*>(application.FindComponent("foWindowRule")); };
  ModalScript script({[&] { return dialog() != nullptr && ::IsWindowVisible(dialog()->Handle()); },
                      [&] {
                        ::SendMessageW(dialog()->TitleEdit.Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"*Rate us*"));
                        ::SendMessageA(dialog()->OkButton.Handle(), BM_CLICK, 0, 0);
                        return true;
                      }});
  Click(f.WindowAddButton.Handle());
  EXPECT_TRUE(script.Finished()) << script.Failure();
  ASSERT_EQ(f.WindowRuleList.Items().Count(), 1u);
  EXPECT_EQ(Row(f.WindowRuleList, 0)[2], "*Rate us*");
  f.SaveToEngine();
  engine->SaveRules();
  std::ifstream in(folder + "rules.xml", std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(file.find("<WindowRule title=\"*Rate us*\" action=\"close\"/>"), std::string::npos) << file;
}

TEST_F(FormOptionsWin32, TheWindowsPageShowsTheHitsOfARuleThatFiredOnARealWindow) {
  Write("rules.xml", "<Rules><WindowRule class=\"ZvxWatched\" action=\"watch\"/></Rules>");
  EngineServices services = platform.Engine(folder);
  services.closer.scanner = ScannerServices{std::make_shared<win32::Win32Desktop>(),
                                            std::make_shared<win32::Win32MainThread>(),
                                            std::make_shared<SystemSleeper>(), nullptr, nullptr};
  services.closer.clock = std::make_shared<SystemClock>();
  engine = std::make_unique<TZorvex>(services);
  engine->LoadOptions();
  ASSERT_TRUE(engine->AutoDetect) << "a first start detects";
  ChildProcess helper = OpenHelperWindows({"ZvxWatched|Watched|300|200|v"});
  ASSERT_TRUE(PumpUntil([&] {
    const std::vector<StoredWindowRule> rules = engine->WindowRuleList();
    return !rules.empty() && rules[0].stats.hits == "1";
  }, std::chrono::seconds(30)));
  TfoOptions& f = Loaded();
  ASSERT_EQ(f.WindowRuleList.Items().Count(), 1u);
  EXPECT_EQ(Row(f.WindowRuleList, 0)[4], "1");
  EXPECT_FALSE(Row(f.WindowRuleList, 0)[5].empty()) << "the time of the fit";
  engine->SetActive(false);
}

TEST_F(FormOptionsWin32, TheWindowsPageKeepsTheHitsInViewByCuttingALongTitleButNeverAProgram) {
  const std::string longTitle(120, 'T'), longProgram = std::string(20, 'p') + ".exe";
  struct Case {
    std::string program;
    bool fits;  // every column in view
  };
  for (const Case& c : {Case{"a.exe", true}, Case{longProgram, false}}) {
    Write("rules.xml", "<Rules><WindowRule program=\"" + c.program + "\" title=\"" + longTitle +
                           "\" action=\"close\" hits=\"12345\"/></Rules>");
    engine->LoadOptions();
    TfoOptions& f = Loaded();
    TListView& list = f.WindowRuleList;
    int total = 0;
    for (std::size_t i = 0; i < list.Columns().Count(); ++i) total += static_cast<TListColumn&>(list.Columns().Item(i)).Width();
    RECT client{};
    ::GetClientRect(list.Handle(), &client);
    EXPECT_EQ(total <= client.right, c.fits) << c.program;
    const std::wstring program = win32::Widen(c.program);
    const int programWidth = static_cast<int>(::SendMessageW(list.Handle(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(program.c_str())));
    EXPECT_GT(static_cast<TListColumn&>(list.Columns().Item(0)).Width(), programWidth) << "the program is never cut";
    application.Remove(f).reset();
    form = nullptr;
  }
}
