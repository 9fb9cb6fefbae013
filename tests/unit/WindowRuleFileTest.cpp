// Window rules and rule statistics in rules.xml, through the engine over the in-memory platform.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/CaseFold.h"
#include "engine/ClassKiller.h"
#include "popups/RuleFit.h"
#include "tests/fakes/FakePlatform.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class WindowRuleFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorvex-window-rules-XXXXXX";
    folder = std::string(::mkdtemp(pattern)) + "/";
  }
  void TearDown() override {
    engine.reset();
    std::system(("rm -rf '" + folder + "'").c_str());
  }
  // An engine loaded from a rules.xml of these bytes; no bytes, no file written.
  TZorvex& Loaded(const std::string& bytes) {
    engine.reset();
    if (!bytes.empty()) std::ofstream(folder + "rules.xml", std::ios::binary) << bytes;
    engine = std::make_unique<TZorvex>(fakes.Engine(folder));
    engine->LoadOptions();
    return *engine;
  }
  std::string Saved() {
    engine->SaveRules();
    return Read(engine->RulesPath());
  }
  // The closer's window rules as the log names them.
  std::vector<std::string> CloserWindowRules() {
    std::vector<std::string> names;
    for (const WindowRule& rule : Probe::WindowRules(*Probe::Closer(*engine))) names.push_back(rule.readable);
    return names;
  }

  std::string folder;
  fake::FakePlatform fakes;
  std::unique_ptr<TZorvex> engine;
};

}  // namespace

TEST_F(WindowRuleFileTest, AMixedFileIsWrittenBackAsReadAndWhatCannotBeWrittenCostsNoWindowRule) {
  const std::string file = kHeader + "<Rules mine=\"1\">\r\n"
      " <Rule hits=\"2\" last=\"2026-12-08T01:02:03Z\" note=\"x\">*casino*</Rule>\r\n"
      " <WindowRule program=\"winrar.exe\" class=\"#32770\" title=\"*license*\" action=\"press\" button=\"Close\" color=\"red\"/>\r\n"
      " <!-- mine -->\r\n <Rule>Ad [1]</Rule>\r\n <Extra a=\"b\"/>\r\n"
      " <WindowRule program=\"a.exe\" action=\"close\">\r\n  <Note>not an older rule</Note>\r\n </WindowRule>\r\n"
      "</Rules>\r\n";
  TZorvex& e = Loaded(file);
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"*casino*", "Ad [1]"}));
  EXPECT_EQ(CloserWindowRules(), (std::vector<std::string>{
                                     "program \"winrar.exe\", class \"#32770\", title \"*license*\", press \"Close\"",
                                     "program \"a.exe\", close"}));
  EXPECT_EQ(Saved(), file);
  e.SetRules(e.RuleList());
  EXPECT_EQ(Saved(), file);

  // A name the writer refuses: the rules stay, with the attributes this version writes itself.
  Loaded("<Rules><a:/><WindowRule title=\"*nag*\" b:c=\"x\" action=\"close\" color=\"red\" hits=\"2\"/></Rules>");
  EXPECT_EQ(Saved(), kHeader + "<Rules>\r\n <WindowRule title=\"*nag*\" action=\"close\" hits=\"2\"/>\r\n</Rules>\r\n");
  EXPECT_EQ(CloserWindowRules(), std::vector<std::string>{"title \"*nag*\", close"});
}

TEST_F(WindowRuleFileTest, TheDialogsTitlesKeepEachStayingRulesElementAndEveryWindowRuleInPlace) {
  const std::string file = "<Rules><Rule hits=\"3\">a</Rule><WindowRule title=\"one\" action=\"close\"/><Rule x=\"1\">b</Rule>"
                           "<Rule hits=\"1\">a</Rule><WindowRule title=\"two\" action=\"leave\"/><Rule>c</Rule></Rules>";
  const struct {
    std::vector<std::string> titles;
    const char* outline;  // each element: a title rule's text or a window rule's title, then its attributes
  } cases[] = {
      {{"a", "b", "a", "c"}, "a@3 one b@1 a@1 two c"},
      {{"c", "a", "new"}, "a@3 one two c new"},
      {{"a", "a", "a"}, "a@3 one a@1 two a"},
      {{}, "one two"},
  };
  for (const auto& c : cases) {
    TZorvex& e = Loaded(file);
    e.SetRules(c.titles);
    std::string outline;
    TSimpleXmlElems& children = e.RulesDoc.Root().Elems();
    for (std::size_t i = 0; i < children.Count(); ++i) {
      TSimpleXmlElem& child = *children.Item(i);
      outline += (i ? " " : "") + (child.Name() == "WindowRule" ? child.Props().ReadText("title", "") : child.Value);
      if (child.Name() == "Rule" && child.Props().Count()) outline += "@" + child.Props().Item(0).Value;
    }
    EXPECT_EQ(outline, c.outline);
    EXPECT_EQ(Probe::Rules(*Probe::Closer(e)).size(), c.titles.size()) << c.outline;
    EXPECT_EQ(CloserWindowRules(), (std::vector<std::string>{"title \"one\", close", "title \"two\", leave"}));
  }
}

TEST_F(WindowRuleFileTest, AWindowRuleThatCannotBeUsedStaysInTheFileIsNeverAppliedAndIsLoggedOncePerLoad) {
  const std::string rules =
      " <WindowRule title=\"*nag*\" action=\"Explode\"/>\r\n <WindowRule action=\"close\" hits=\"4\"/>\r\n"
      " <WindowRule program=\"app.exe\" title=\"*nag*\" action=\"Minimize\"/>\r\n <Rule>*ad*</Rule>\r\n"
      " <WindowRule class=\"[abc\" action=\"close\"/>\r\n <WindowRule class=\"#32770\" action=\"watch\"/>\r\n";
  const std::string file = kHeader + "<Rules>\r\n" + rules + "</Rules>\r\n";
  const std::string notUsed = "[07.12.2026 09:30:00] Window Rule Not Used: ";
  const std::string lines = notUsed + "(title \"*nag*\", explode), the action \"Explode\" is unknown\r\n" + notUsed +
                            "(close), it names no program, class or title\r\n" + notUsed +
                            "(class \"[abc\", close), class: '[abc' is an invalid mask at (5)\r\n";
  TZorvex& e = Loaded(file);
  const std::vector<std::string> usable{"program \"app.exe\", title \"*nag*\", minimize", "class \"#32770\", watch"};
  EXPECT_EQ(CloserWindowRules(), usable);
  EXPECT_EQ(Read(e.LogPath()), lines);
  e.SetRules(e.RuleList());
  e.SetActive(false);
  e.SetActive(true);
  EXPECT_EQ(CloserWindowRules(), usable);
  e.AddRule("*new*");
  EXPECT_EQ(Read(e.LogPath()), lines) << "once per load";
  EXPECT_EQ(Read(e.RulesPath()), kHeader + "<Rules>\r\n" + rules + " <Rule>*new*</Rule>\r\n</Rules>\r\n");

  // A file held at the start is told of when it loads late, once.
  const std::string path = folder + "rules.xml";
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  Loaded("");
  ASSERT_EQ(::rmdir(path.c_str()), 0);
  std::ofstream(path, std::ios::binary) << file;
  engine->RetrySettingsFiles();
  engine->RetrySettingsFiles();
  EXPECT_EQ(Occurrences(Read(engine->LogPath()), notUsed), 6u);
  EXPECT_EQ(CloserWindowRules(), usable);
}

TEST_F(WindowRuleFileTest, FitsCountInTheirRulesHitsAndLastAndLandWithTheNextSave) {
  fakes.clock->time = std::chrono::system_clock::time_point(std::chrono::seconds(1796691723));
  const std::string file = kHeader + "<Rules>\r\n <Rule hits=\"many\">Ad [1]</Rule>\r\n"
      " <WindowRule program=\"winrar.exe\" title=\"*license*\" action=\"press\" button=\"Close\" hits=\"41\"/>\r\n"
      " <Rule>*buy*</Rule>\r\n <Rule>Ad [1]</Rule>\r\n</Rules>\r\n";
  TZorvex& e = Loaded(file);
  // The scanner names a title rule as it prepared it, the DDE path in lower case.
  e.RuleFitted(RuleHit{std::nullopt, PrepareRule("Ad [1]").text});
  e.RuleFitted(RuleHit{std::nullopt, FoldCase("Ad [1]")});
  e.RuleFitted(RuleHit{WindowRuleText{"winrar.exe", "", "*license*", "press", "Close"}, ""});
  e.RuleFitted(RuleHit{WindowRuleText{"winrar.exe", "", "*license*", "close", ""}, ""});
  e.RuleFitted(RuleHit{std::nullopt, "no such rule"});
  EXPECT_EQ(Read(e.RulesPath()), file) << "counted in memory only";
  const std::string stamp = "last=\"2026-12-08T01:02:03Z\"";
  const std::string counted = kHeader + "<Rules>\r\n <Rule hits=\"2\" " + stamp + ">Ad [1]</Rule>\r\n"
      " <WindowRule program=\"winrar.exe\" title=\"*license*\" action=\"press\" button=\"Close\" hits=\"42\" " + stamp +
      "/>\r\n <Rule>*buy*</Rule>\r\n <Rule>Ad [1]</Rule>\r\n</Rules>\r\n";
  EXPECT_EQ(Saved(), counted);

  // A kill of the scanner's is counted too, and lands at exit.
  fakes.desktop->Add("IEFrame", "Buy Now");
  ASSERT_TRUE(fakes.mainThread->PumpUntil([&] { return e.Count == 1; }));
  e.FinishDetection();
  ASSERT_TRUE(e.FinishSaves(std::chrono::seconds(1)));
  std::string exit = counted;
  exit.insert(exit.find(">*buy*"), " hits=\"1\" " + stamp);
  EXPECT_EQ(Read(e.RulesPath()), exit);
}
