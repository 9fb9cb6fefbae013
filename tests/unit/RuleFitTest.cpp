#include <gtest/gtest.h>

#include <algorithm>

#include "base/CaseFold.h"
#include "base/Text.h"
#include "popups/ClassPopupsThread.h"
#include "popups/RuleFit.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;

namespace {

const RuleFitTexts kEnglish{"Fits %d of %d open browser windows", "This rule closes every browser window",
                            "Not a valid rule at character %d"};

// 30 "*a" compile; one more "*" gives a 31st element after a star: invalid at 62.
std::string TooManyStars() {
  std::string rule;
  for (int i = 0; i < 30; ++i) rule += "*a";
  return rule + "*";
}

class QuietHost : public IKillHost {
 public:
  void WriteLog(const std::string&) override {}
  void PlayAlarm() override {}
};

}  // namespace

TEST(RuleFit, CountAndWarningForRulesThatFitSomeAllNoneAndForBlankStarAndInvalid) {
  const std::vector<std::string> open = {"Daily News - Browser", "Casino Bonus - Browser", "WIN a Prize - Browser",
                                         "Mail Reader"};
  struct Case {
    std::string rule;
    std::vector<bool> fits;
    RuleVerdict verdict;
    std::string line;
  };
  const Case cases[] = {
      {"*casino*", {false, true, false, false}, RuleVerdict::Fits, "Fits 1 of 4 open browser windows"},
      // Letter case counts in neither rule nor title, as in the scanner.
      {"win A *", {false, false, true, false}, RuleVerdict::Fits, "Fits 1 of 4 open browser windows"},
      {"* - browser", {true, true, true, false}, RuleVerdict::Fits, "Fits 3 of 4 open browser windows"},
      {"nothing like it", {false, false, false, false}, RuleVerdict::Fits, "Fits 0 of 4 open browser windows"},
      {"*e*", {true, true, true, true}, RuleVerdict::ClosesAll, "This rule closes every browser window"},
      {"*", {true, true, true, true}, RuleVerdict::ClosesAll, "This rule closes every browser window"},
      {"***", {true, true, true, true}, RuleVerdict::ClosesAll, "This rule closes every browser window"},
      {"", {false, false, false, false}, RuleVerdict::ClosesAll, "This rule closes every browser window"},
      {"  ", {false, false, false, false}, RuleVerdict::ClosesAll, "This rule closes every browser window"},
      // The scanner reads "[" and "]" as "?": no set, so no invalid set either.
      {"[c]asino*", {false, false, false, false}, RuleVerdict::Fits, "Fits 0 of 4 open browser windows"},
      {"[-a*", {false, false, false, false}, RuleVerdict::Fits, "Fits 0 of 4 open browser windows"},
      {"?asino*", {false, true, false, false}, RuleVerdict::Fits, "Fits 1 of 4 open browser windows"},
      {TooManyStars(), {false, false, false, false}, RuleVerdict::Invalid, "Not a valid rule at character 62"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    const RuleFit fit = FitRule(c.rule, open);
    EXPECT_EQ(fit.fits, c.fits);
    EXPECT_EQ(fit.open, 4u);
    EXPECT_EQ(fit.verdict, c.verdict);
    EXPECT_EQ(RuleFitMessage(fit, kEnglish), c.line);
  }

  const RuleFit invalid = FitRule(TooManyStars(), open);
  EXPECT_EQ(invalid.faultAt, 62u);
  EXPECT_EQ(invalid.fault, "'" + AsciiLower(TooManyStars()) + "' is an invalid mask at (62)") << "the matcher's own";

  // Fitting all warns only when there is a choice: one window, or none, is not "every".
  EXPECT_EQ(FitRule("daily*", {"Daily News"}).verdict, RuleVerdict::Fits);
  EXPECT_EQ(FitRule("daily*", {}).verdict, RuleVerdict::Fits);
  EXPECT_EQ(FitRule("*", {}).verdict, RuleVerdict::ClosesAll);
  EXPECT_EQ(FitRule("daily*", {"Daily News", "daily mail"}).verdict, RuleVerdict::ClosesAll);
  // A control character in a rule is a blank, wherever the rule came from.
  EXPECT_EQ(FitRule("daily\tnews", {"Daily News"}).count, 1u);
  // And in a title: a rule made from a title with a tab fits that title.
  EXPECT_EQ(FitRule("Free\tprize", {"Free\tprize", "Free prize", "Free\nprize"}).count, 3u);
}

TEST(RuleFit, TheLineNeverReadsTheTextAsAPrintfFormat) {
  RuleFit fit = FitRule("d*", {"Daily", "Other", "Dusk"});
  EXPECT_EQ(RuleFitMessage(fit, {"%d/%d = 100%% %s %d", "", ""}), "2/3 = 100% %s %d");
  EXPECT_EQ(RuleFitMessage(fit, {"Passt auf %d von %d offenen Browserfenstern", "", ""}),
            "Passt auf 2 von 3 offenen Browserfenstern");
  fit = FitRule(TooManyStars(), {});
  EXPECT_EQ(RuleFitMessage(fit, {"", "", "bad at %d%"}), "bad at 62%");
}

// The marks must be what the scanner closes: the same rules over the same windows, one pass each.
TEST(RuleFit, MarksAgreeWithWhatAScannerPassCloses) {
  const std::vector<std::string> titles = {"Daily News - Browser", "casino [1] - Browser", "Win a PRIZE", "abc?",
                                           "x\u00C4y", "A\tTab", "\u041F\u0420\u0418\u0412\u0415\u0422 \u043C\u0438\u0440"};
  const std::vector<std::string> rules = {"*casino*", "casino ?1? - *", "casino [1] - *", "WIN A*",   "abc[",
                                          "*?",       "x\u00E4y",         "a b",            "a\tt*",    TooManyStars(),
                                          "*news*|*", "", "\u043F\u0440\u0438\u0432\u0435\u0442*"};
  for (const std::string& rule : rules) {
    SCOPED_TRACE(rule);
    auto desktop = std::make_shared<fake::FakeDesktop>();
    std::vector<WindowHandle> windows;
    for (const std::string& title : titles) windows.push_back(desktop->Add("IEFrame", title));
    QuietHost host;
    auto mainThread = std::make_shared<fake::FakeMainThread>();
    auto scanner = TSPopupThread::Create(ScannerServices{desktop, mainThread, std::make_shared<fake::FakeSleeper>(), &host, nullptr});
    DetectionOptions explorer;
    explorer.families.explorer = true;
    scanner->SetDetection(explorer);
    // As the engine and the closer hand a rule on: control characters blank, case folded, CR LF after.
    scanner->SetRules(LinesWithBreaks({FoldCase(WithoutControlCharacters(rule))}));
    const RuleFit fit = FitRule(rule, titles);
    ASSERT_EQ(fit.fits.size(), windows.size());
    Probe::RunPass(*scanner);
    // As many close commands as marks; each window is checked below.
    const int marks = static_cast<int>(std::count(fit.fits.begin(), fit.fits.end(), true));
    EXPECT_TRUE(mainThread->PumpUntil([&] { return fake::ClosesSettled(*desktop, *mainThread, marks); }))
        << desktop->CloseCalls() << " close commands for " << marks << " marks";
    for (std::size_t i = 0; i < windows.size(); ++i) {
      EXPECT_EQ(fit.fits[i], !desktop->Exists(windows[i])) << titles[i];
    }
    desktop->AnswerAllCloses();
    // As the program's loop does at its end: what is still queued holds the scanner's closes.
    mainThread->End();
  }
}
