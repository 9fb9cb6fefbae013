#include <gtest/gtest.h>

#include "base/Text.h"
#include "popups/ClassPopupsThread.h"
#include "popups/WindowRuleActions.h"
#include "tests/fakes/FakeDde.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;
using zorvex::fake::FakeDesktop;
using zorvex::fake::FakeMainThread;
using zorvex::fake::WindowRecord;

namespace {

WindowRule Compiled(const WindowRuleText& text) {
  std::string fault;
  std::optional<WindowRule> rule = CompileWindowRule(text, fault);
  EXPECT_TRUE(rule) << fault;
  return rule ? *rule : WindowRule{};
}

class RecordingHost : public IKillHost {
 public:
  void WriteLog(const std::string& line) override { lines.push_back(line); }
  void PlayAlarm() override { ++alarms; }
  void RuleFitted(const RuleHit& hit) override { hits.push_back(hit.windowRule ? hit.windowRule->title : hit.titleRule); }
  int alarms = 0;
  std::vector<std::string> lines;
  std::vector<std::string> hits;
};

}  // namespace

TEST(WindowRules, FactsAndRulesGiveTheVerdict) {
  struct Case {
    const char* cls;
    const char* title;
    const char* path;
    // 'h' hidden, 'o' this program's own window.
    const char* traits;
    std::vector<WindowRuleText> rules;
    int fits;  // index of the rule that takes the window; -1 none
    bool act;
  };
  const WindowRuleText nag{"winrar.exe", "#32770", "*licen?e*", "press", "Close"};
  const char* winrar = "C:\\Program Files\\WinRAR\\WinRAR.exe";
  const Case cases[] = {
      {"#32770", "Please purchase a license", winrar, "", {nag}, 0, true},
      {"#32770", "PLEASE PURCHASE A LICENCE", winrar, "", {nag}, 0, true},
      {"#32770", "Extracting", winrar, "", {nag}, -1, false},
      {"#32771", "Please purchase a license", winrar, "", {nag}, -1, false},
      {"#32770", "Please purchase a license", "C:\\Other\\other.exe", "", {nag}, -1, false},
      // Empty fields fit anything; a program mask with a backslash is matched on the full path.
      {"Any", "x", "C:\\Tools\\app.exe", "", {{"", "", "x", "close", ""}}, 0, true},
      {"Any", "x", "C:\\Tools\\app.exe", "", {{"c:\\tools\\*", "", "", "close", ""}}, 0, true},
      {"Any", "x", "D:\\Tools\\app.exe", "", {{"c:\\tools\\*", "", "", "close", ""}}, -1, false},
      {"Any", "x", "C:\\Tools\\app.exe", "", {{"tools*", "", "", "close", ""}}, -1, false},
      // Brackets make sets; the place that makes a rule from a title escapes them.
      {"Any", "a offer", "", "", {{"", "", "[ad] *", "close", ""}}, 0, true},
      {"Any", "[ad] offer", "", "", {{"", "", "[ad] *", "close", ""}}, -1, false},
      {"Any", "[ad] offer", "", "", {{"", "", MaskForText("[ad]") + " *", "close", ""}}, 0, true},
      {"Any", "Win? *now*", "", "", {{"", "", MaskForText("Win? *now*"), "close", ""}}, 0, true},
      {"Any", "Win! *now*", "", "", {{"", "", MaskForText("Win? *now*"), "close", ""}}, -1, false},
      // A mask ends at a zero byte ("&#0;" in rules.xml), whether the rule is found by its class or program or not.
      {"#32770", "x", "", "", {{"", std::string("#32770\0x", 8), "", "close", ""}}, 0, true},
      {"Any", "x", "C:\\nag.exe", "", {{std::string("NAG.exe\0x", 9), "", "", "close", ""}}, 0, true},
      {"Any", "x", "", "", {{"", std::string("\0Any", 4), "", "close", ""}}, -1, false},
      // The first rule that fits wins, and leave shields without acting.
      {"Any", "x", "", "", {{"", "Other", "", "close", ""}, {"", "", "x", "leave", ""}, {"", "", "*", "close", ""}}, 1, false},
      {"Any", "x", "", "", {{"", "", "*", "WATCH", ""}, {"", "", "x", "leave", ""}}, 0, true},
      // An invisible window: a leave rule still shields it; no other acts on it.
      {"Any", "x", "", "h", {{"", "", "x", "close", ""}}, -1, false},
      {"Any", "x", "", "h", {{"", "", "x", "leave", ""}}, 0, false},
      // Never judged: this program's own windows and the shell's.
      {"Any", "x", "", "o", {{"", "", "*", "close", ""}}, -1, false},
      {"Shell_TrayWnd", "", "", "", {{"", "*", "", "close", ""}}, -1, false},
      {"Progman", "Program Manager", "", "", {{"", "", "*", "close", ""}}, -1, false},
  };
  for (const Case& c : cases) {
    std::vector<WindowRule> rules;
    for (const WindowRuleText& text : c.rules) rules.push_back(Compiled(text));
    KnownWindow known;
    known.className = c.cls;
    known.title = c.title;
    known.program.path = c.path;
    const std::string path = c.path;
    known.program.name = AsciiLower(path.substr(path.find_last_of('\\') + 1));
    known.visible = std::string(c.traits).find('h') == std::string::npos;
    known.processId = std::string(c.traits).find('o') == std::string::npos ? 5 : 7;
    const WindowRuleSet set(rules);
    const WindowRuleVerdict verdict = DecideByWindowRules(WindowFacts(known), set, 7);
    const int fits = verdict.rule == nullptr ? -1 : static_cast<int>(verdict.rule - set.Rules().data());
    EXPECT_EQ(fits, c.fits) << c.cls << " / " << c.title << " / " << c.path;
    EXPECT_EQ(verdict.act, c.act) << c.cls << " / " << c.title;
  }
}

TEST(WindowRules, OnlyUsableRulesCompileAndEachSaysWhy) {
  struct Case {
    WindowRuleText text;
    const char* fault;  // empty: it compiles
    const char* readable;
  };
  const Case cases[] = {
      {{"winrar.exe", "#32770", "*license*", "press", "&Close"}, "",
       "program \"winrar.exe\", class \"#32770\", title \"*license*\", press \"&Close\""},
      {{"", "", "Rate us", "Minimize", ""}, "", "title \"Rate us\", minimize"},
      {{"", "#32770", "", "explode", ""}, "the action \"explode\" is unknown", ""},
      {{"", "", "", "close", ""}, "it names no program, class or title", ""},
      {{"", "", "[abc", "close", ""}, "title: '[abc' is an invalid mask at (5)", ""},
      {{"", "X", "", "press", "[]"}, "button: '[]' is an invalid mask at (2)", ""},
  };
  for (const Case& c : cases) {
    std::string fault;
    const std::optional<WindowRule> rule = CompileWindowRule(c.text, fault);
    EXPECT_EQ(fault, c.fault);
    EXPECT_EQ(rule.has_value(), fault.empty());
    EXPECT_EQ(rule ? rule->readable : "", c.readable);
  }
  EXPECT_EQ(CaptionWithoutMarks("&Close && quit&"), "Close & quit");
}

class WindowRuleScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scanner = TSPopupThread::Create(ScannerServices{desktop, mainThread, std::make_shared<fake::FakeSleeper>(), &host, clock});
    DetectionOptions options;
    options.families = BrowserFamilies{false, false, true, false};
    scanner->SetDetection(options);
    desktop->SetProgram(5, "C:\\Apps\\nagger.exe");
  }
  void TearDown() override {
    desktop->AnswerAllCloses();
    mainThread->End();
  }
  void Rules(const std::vector<WindowRuleText>& texts) {
    auto rules = std::make_shared<std::vector<WindowRule>>();
    for (const WindowRuleText& text : texts) rules->push_back(Compiled(text));
    scanner->SetWindowRules(rules);
  }
  WindowHandle Nag(const std::string& cls, const std::string& title, bool visible = true) {
    WindowRecord record{cls, title, visible};
    record.processId = 5;
    return desktop->Add(record);
  }
  WindowHandle Button(WindowHandle dialog, const std::string& caption, bool enabled) {
    WindowRecord record{"Button", caption};
    record.pushButton = true;
    record.enabled = enabled;
    return desktop->AddChild(dialog, record);
  }
  // One pass, and every report it makes reaches the host.
  void Pass(std::size_t lines) {
    Probe::RunPass(*scanner);
    EXPECT_TRUE(mainThread->PumpUntil([&] { return host.lines.size() >= lines; })) << host.lines.size();
    mainThread->Pump();
    EXPECT_EQ(host.lines.size(), lines);
  }

  std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
  std::shared_ptr<FakeMainThread> mainThread = std::make_shared<FakeMainThread>();
  std::shared_ptr<fake::FakeClock> clock = std::make_shared<fake::FakeClock>();
  RecordingHost host;
  std::shared_ptr<TSPopupThread> scanner;
};

TEST_F(WindowRuleScannerTest, EachActionIsDoneOnceAndReported) {
  const WindowHandle license = Nag("#32770", "License");
  const WindowHandle later = Button(license, "&Later", true);
  const WindowHandle sponsored = Nag("Plain", "Sponsored session");
  const WindowHandle update = Nag("Plain", "Update ready");
  const WindowHandle rate = Nag("Plain", "Rate us");
  const WindowHandle noButton = Nag("#32770", "No buttons");
  // A browser popup a title rule would close, shielded by a leave rule.
  const WindowHandle shielded = desktop->Add("IEFrame", "Ad popup");
  const WindowHandle elevated = Nag("Plain", "Admin nag");
  desktop->Edit(elevated, [](WindowRecord& r) { r.higherRights = true; });
  scanner->SetRules("*popup*");
  Rules({{"nagger.exe", "#32770", "License", "press", "Later"},
         {"", "#32770", "No buttons", "press", "OK"},
         {"", "", "Sponsored*", "close", ""},
         {"nagger.exe", "", "Update*", "minimize", ""},
         {"", "", "Rate us", "watch", ""},
         {"", "IEFrame", "", "leave", ""},
         {"", "", "Admin nag", "close", ""}});
  Pass(6);
  EXPECT_EQ(desktop->Pressed(), std::vector<WindowHandle>{later});
  EXPECT_EQ(desktop->Closed(), std::vector<WindowHandle>{sponsored});
  EXPECT_EQ(desktop->Minimised(), std::vector<WindowHandle>{update});
  EXPECT_TRUE(desktop->Exists(rate) && desktop->Exists(noButton) && desktop->Exists(shielded) && desktop->Exists(elevated));
  std::vector<std::string> lines = host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Button Pressed: Later in License (program \"nagger.exe\", class \"#32770\", title \"License\", press \"Later\")",
                       "Window Closed: Sponsored session (title \"Sponsored*\", close)",
                       "Window Left Open: Admin nag (title \"Admin nag\", close), it runs with higher rights",
                       "Window Left Open: No buttons (class \"#32770\", title \"No buttons\", press \"OK\"), no button fits",
                       "Window Minimized: Update ready (program \"nagger.exe\", title \"Update*\", minimize)",
                       "Window Seen: Rate us (title \"Rate us\", watch)"}));
  EXPECT_EQ(host.alarms, 3) << "close, minimise and press count; watch and leave do not";
  EXPECT_EQ(host.hits.size(), 5u) << "every rule that fitted and did its part, the shield included";

  // Nothing twice, though every window but one is still there; a window brought back after its
  // minimise is left alone until its title changes.
  desktop->Edit(update, [](WindowRecord& r) { r.minimised = false; });
  Pass(6);
  desktop->Edit(update, [](WindowRecord& r) { r.title = "Update ready (2)"; });
  Pass(7);
  EXPECT_EQ(desktop->Minimised(), (std::vector<WindowHandle>{update, update}));
  EXPECT_EQ(desktop->Pressed().size(), 1u);
}

TEST_F(WindowRuleScannerTest, APressWaitsForItsButtonAMinuteAtMost) {
  const WindowHandle countdown = Nag("#32770", "Trial");
  const WindowHandle cont = Button(countdown, "Continue", false);
  const WindowHandle stuck = Nag("#32770", "Stuck trial");
  Button(stuck, "Continue", false);
  // Not shown yet: not acted on until it is.
  const WindowHandle hidden = Nag("#32770", "Hidden trial", false);
  const WindowHandle hiddenButton = Button(hidden, "Continue", true);
  Rules({{"", "#32770", "*trial", "press", "continue"}});
  Pass(0);
  clock->Advance(std::chrono::seconds(2));
  desktop->Edit(cont, [](WindowRecord& r) { r.enabled = true; });
  desktop->Edit(hidden, [](WindowRecord& r) { r.visible = true; });
  Pass(2);
  EXPECT_EQ(desktop->Pressed(), (std::vector<WindowHandle>{cont, hiddenButton}));
  clock->Advance(std::chrono::seconds(57));
  Pass(2);
  clock->Advance(std::chrono::seconds(1));
  Pass(3);
  EXPECT_EQ(host.lines.back(), "Window Left Open: Stuck trial (class \"#32770\", title \"*trial\", press \"continue\"), its button stayed disabled");
  Pass(3);
}

TEST(WindowRules, AProgramIsReadOncePerProcessAndAReusedIdIsANewProcess) {
  FakeDesktop desktop;
  desktop.SetProgram(40, "C:\\A\\first.exe", 100);
  WindowRecord record{"C", "t"};
  record.processId = 40;
  const WindowHandle window = desktop.Add(record);
  ProgramNames names(desktop);
  for (int walk = 0; walk < 3; ++walk, names.NewWalk()) {
    EXPECT_EQ(WindowFacts(desktop, window, true, &names).Program().name, "first.exe");
  }
  EXPECT_EQ(desktop.ProgramReads(), 1);
  desktop.SetProgram(40, "C:\\B\\Second.exe", 200);
  EXPECT_EQ(WindowFacts(desktop, window, true, &names).Program().name, "second.exe");

  // A Store app's frame is judged by the app inside it.
  desktop.SetProgram(41, "C:\\Windows\\System32\\ApplicationFrameHost.exe");
  desktop.SetProgram(42, "C:\\Apps\\Calculator.exe");
  record.processId = 41;
  const WindowHandle frame = desktop.Add(record);
  record.processId = 42;
  desktop.AddChild(frame, record);
  EXPECT_EQ(WindowFacts(desktop, frame, true, &names).Program().name, "calculator.exe");
}
