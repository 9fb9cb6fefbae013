// The options dialog's logic without windows: the file-name edit's value rules, the spin clamp,
// the controls' values read from and written to the engine, export and import of rule lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <unistd.h>

#include "engine/ClassOptions.h"
#include "tests/fakes/FakePlatform.h"
#include "components/EditValues.h"

using namespace zorvex;
using namespace zorvex::widgets;

namespace {

TFileExists Existing(std::set<std::string> files) {
  return [files](const std::string& path) { return files.count(path) > 0; };
}

TEST(FileNameEditValues, ShownTextQuotesAValueWithBlanksOnce) {
  EXPECT_EQ(QuotedFileName(""), "");
  EXPECT_EQ(QuotedFileName("C:\\a.wav"), "C:\\a.wav");
  EXPECT_EQ(QuotedFileName("C:\\My Sounds\\a.wav"), "\"C:\\My Sounds\\a.wav\"");
  EXPECT_EQ(QuotedFileName("\"C:\\My Sounds\\a.wav\""), "\"C:\\My Sounds\\a.wav\"");
  EXPECT_EQ(QuotedFileName("C:\\tab\there"), "C:\\tab\there") << "only a blank asks for quotes";
}

TEST(FileNameEditValues, HandedBackValueIsTheExistingFileOrTheFirstCommandWord) {
  const struct {
    const char* text;
    const char* word;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"C:\\a.wav", "C:\\a.wav"},
      {"  C:\\a.wav  --loud", "C:\\a.wav"},
      {"C:\\no such\\x.wav", "C:\\no"},
      {"\"C:\\My Sounds\\a.wav\"", "C:\\My Sounds\\a.wav"},
      {"\"C:\\My Sounds\\a.wav\" extra", "C:\\My Sounds\\a.wav"},
      {"C:\\\"My Sounds\"\\a.wav rest", "C:\\My Sounds\\a.wav"},
      {"\"unclosed quote stays one word", "unclosed quote stays one word"},
      {"\"\" b", ""},
      {"a\tb", "a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstCommandWord(c.text), c.word) << c.text;
    EXPECT_EQ(FileNameFromText(c.text, Existing({})), c.word) << c.text;
  }
  // A typed name of an existing file is handed back whole, blanks and all.
  EXPECT_EQ(FileNameFromText("C:\\My Sounds\\a.wav", Existing({"C:\\My Sounds\\a.wav"})), "C:\\My Sounds\\a.wav");
  EXPECT_EQ(FileNameFromText("C:\\My Sounds\\a.wav", nullptr), "C:\\My");
}

TEST(FileNameEditValues, ValueGivenByCodeIsRefusedForSixCharactersInItsFirstWord) {
  EXPECT_TRUE(IsValidFileName("", Existing({})));
  EXPECT_TRUE(IsValidFileName("C:\\Sounds\\ding.wav", Existing({})));
  for (const char* bad : {"a<b.wav", "a>b", "[x].wav", "x].wav", "a|b"}) {
    EXPECT_FALSE(IsValidFileName(bad, Existing({}))) << bad;
  }
  // Quotes vanish in the reduction; only a whole existing name can still hold one.
  EXPECT_TRUE(IsValidFileName("a\"b", Existing({})));
  EXPECT_FALSE(IsValidFileName("a\"b", Existing({"a\"b"})));
  // The reduction decides: what lies beyond the first word is not checked...
  EXPECT_TRUE(IsValidFileName("C:\\a b|c.wav", Existing({})));
  EXPECT_TRUE(IsValidFileName("\"C:\\My Sounds\\a.wav\" <x>", Existing({})));
  // ...unless the whole value names an existing file.
  EXPECT_FALSE(IsValidFileName("C:\\a b[1].wav", Existing({"C:\\a b[1].wav"})));

  try {
    CheckFileName("bad|name.wav", Existing({}));
    FAIL() << "refused value accepted";
  } catch (const EInvalidFileName& e) {
    EXPECT_STREQ(e.what(), "Invalid file name - bad|name.wav");
  }
  EXPECT_NO_THROW(CheckFileName("C:\\good.wav", Existing({})));
}

TEST(SpinEditValues, ClampKeepsEveryValueInItsRange) {
  EXPECT_EQ(ClampSpinValue(0, kLimitMin, kLimitMax), 1);
  EXPECT_EQ(ClampSpinValue(-1, kLimitMin, kLimitMax), 1);
  EXPECT_EQ(ClampSpinValue(1, kLimitMin, kLimitMax), 1);
  EXPECT_EQ(ClampSpinValue(42, kLimitMin, kLimitMax), 42);
  EXPECT_EQ(ClampSpinValue(100000, kLimitMin, kLimitMax), 100000);
  EXPECT_EQ(ClampSpinValue(100001, kLimitMin, kLimitMax), 100000);
  EXPECT_EQ(ClampSpinValue(INT64_MIN, kLimitMin, kLimitMax), 1);
  EXPECT_EQ(ClampSpinValue(INT64_MAX, kLimitMin, kLimitMax), 100000);
}

class OptionsValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorvex-options-XXXXXX";
    folder = std::string(::mkdtemp(pattern)) + "/";
    engine = std::make_unique<TZorvex>(platform.Engine(folder));
  }
  void TearDown() override {
    engine.reset();
    std::system(("rm -rf '" + folder + "'").c_str());
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder + name, std::ios::binary) << bytes;
  }

  std::string folder;
  fake::FakePlatform platform;
  std::unique_ptr<TZorvex> engine;
};

TEST_F(OptionsValuesTest, ReadShowsEveryOptionAndALimitOfZeroAsAnUncheckedOne) {
  engine->SetOpera(true);
  engine->UseLog = true;
  engine->PlaySoundVal = "C:\\ding.wav";
  engine->SetLimitExplorer(0);
  engine->SetRules({"b", "a"});
  TOptionsValues v = ShowOptionsInDialog(*engine);
  EXPECT_TRUE(v.Detection.families.opera);
  EXPECT_FALSE(v.Detection.families.netscape);
  EXPECT_TRUE(v.UseLog);
  EXPECT_FALSE(v.InternalSound);
  EXPECT_EQ(v.SoundFile, "C:\\ding.wav");
  EXPECT_FALSE(v.Limit);
  EXPECT_EQ(v.LimitValue, 1);
  EXPECT_EQ(v.Rules, (std::vector<std::string>{"b", "a"}));

  engine->SetLimitExplorer(-1);  // what an unreadable LimitExplorer element leaves
  v = ShowOptionsInDialog(*engine);
  EXPECT_TRUE(v.Limit);
  EXPECT_EQ(v.LimitValue, 1);
  engine->SetLimitExplorer(250000);
  EXPECT_EQ(ShowOptionsInDialog(*engine).LimitValue, 100000);
}

TEST_F(OptionsValuesTest, WriteStoresTheControlsThroughTheEngine) {
  TOptionsValues v;
  v.Detection.agressive = true;
  v.Detection.families.explorer = true;
  v.StartWindows = true;
  v.PlaySound = true;
  v.InternalSound = false;
  v.SoundFile = "C:\\ding.wav";
  v.Limit = true;
  v.LimitValue = 1;
  v.Rules = {"x", "y"};
  TakeOptionsFromDialog(*engine, v);
  EXPECT_TRUE(engine->Detection().agressive);
  EXPECT_TRUE(engine->Detection().families.explorer);
  EXPECT_FALSE(engine->Detection().families.opera);
  EXPECT_TRUE(engine->StartWindows);
  EXPECT_EQ(platform.registry->entries.count("Zorvex"), 1u) << "StartWindows goes through its setter";
  EXPECT_TRUE(engine->PlaySound);
  EXPECT_EQ(engine->PlaySoundVal, "C:\\ding.wav");
  EXPECT_EQ(engine->LimitExplorer(), 1);
  EXPECT_EQ(engine->RuleList(), (std::vector<std::string>{"x", "y"}));

  // The internal sound forgets the path; no limit stores 0.
  v.InternalSound = true;
  v.Limit = false;
  v.StartWindows = false;
  TakeOptionsFromDialog(*engine, v);
  EXPECT_EQ(engine->PlaySoundVal, "");
  EXPECT_EQ(engine->LimitExplorer(), 0);
  EXPECT_EQ(platform.registry->entries.count("Zorvex"), 0u);
}

TEST_F(OptionsValuesTest, ExportTakesTheSelectionOrEverything) {
  const std::vector<std::string> titles = {"a", "b", "c", "d", "e"};
  EXPECT_EQ(RulesToExport(titles, {false, true, false, true, false}), (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(RulesToExport(titles, {}), titles);
  EXPECT_EQ(RulesToExport(titles, std::vector<bool>(5, false)), titles);
  EXPECT_EQ(RulesToExport({}, {}), std::vector<std::string>{});
}

TEST_F(OptionsValuesTest, ImportAddsOnlyLinesNotHeldYetCaseCounting) {
  Write("in.zvl", "*Casino*\r\n*casino*\r\n\r\nnew\r\nnew\r\n\r\nlast");
  EXPECT_EQ(RulesToImport(folder + "in.zvl", {"*casino*"}), (std::vector<std::string>{"*Casino*", "", "new", "last"}));
  EXPECT_EQ(RulesToImport(folder + "in.zvl", {"", "new"}), (std::vector<std::string>{"*Casino*", "*casino*", "last"}))
      << "a held empty rule takes the blank lines";
  EXPECT_EQ(RulesToImport(folder + "missing.zvl", {"a"}), std::vector<std::string>{});
}

}  // namespace
