#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/CaseFold.h"
#include "base/Utf8.h"
#include "engine/ClassKiller.h"
#include "engine/OptionRows.h"
#include "platform/Files.h"
#include "popups/RuleFit.h"
#include "tests/fakes/FakePlatform.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;
using namespace std::chrono_literals;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorvex-engine-XXXXXX";
    folder = std::string(::mkdtemp(pattern)) + "/";
  }
  void TearDown() override {
    engine.reset();
    std::system(("chmod -R u+w '" + folder + "' && rm -rf '" + folder + "'").c_str());
  }
  TZorvex& Make() {
    engine = std::make_unique<TZorvex>(fakes.Engine(folder));
    return *engine;
  }
  TZorvex& Loaded() {
    Make().LoadOptions();
    return *engine;
  }
  std::string Options(const std::string& children) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Options>\r\n" + children + "</Options>\r\n";
  }

  std::string folder;
  fake::FakePlatform fakes;
  std::shared_ptr<fake::FakeDesktop> desktop = fakes.desktop;
  std::shared_ptr<fake::FakeMainThread> mainThread = fakes.mainThread;
  std::shared_ptr<fake::FakeSound> sound = fakes.sound;
  std::shared_ptr<fake::FakeStartupRegistry> registry = fakes.registry;
  fake::FakeTray tray;
  std::unique_ptr<TZorvex> engine;
};

}  // namespace

TEST_F(EngineTest, AFreshEngineHasNothingSetUntilLoaded) {
  TZorvex& e = Make();
  EXPECT_FALSE(e.AutoDetect || e.PlaySound || e.Detection().families.opera || e.Detection().families.netscape || e.Detection().families.explorer || e.Detection().agressive || e.StartWindows ||
               e.UseLog);
  EXPECT_EQ(e.Count, 0);
  EXPECT_EQ(Probe::Closer(e), nullptr);
  EXPECT_TRUE(e.RuleList().empty());
  EXPECT_EQ(e.LogPath(), folder + "zorvex.log");
}

TEST_F(EngineTest, FirstStartTakesTheDefaultsAndTheNextSaveWritesAllThirteenOptions) {
  TZorvex& e = Loaded();
  EXPECT_TRUE(e.AutoDetect && e.PlaySound && e.Detection().families.opera && e.Detection().families.netscape && e.Detection().families.explorer && e.Detection().families.chromium && e.Detection().agressive &&
              e.StartWindows && e.UseLog);
  EXPECT_EQ(e.Count, 0);
  EXPECT_EQ(e.LimitExplorer(), 0);
  EXPECT_EQ(e.PlaySoundVal, "");
  ASSERT_NE(Probe::Closer(e), nullptr);
  EXPECT_TRUE(Probe::Detection(*Probe::Closer(e)).families.explorer && Probe::Detection(*Probe::Closer(e)).families.opera && Probe::Detection(*Probe::Closer(e)).families.netscape && Probe::Detection(*Probe::Closer(e)).families.chromium &&
              Probe::Detection(*Probe::Closer(e)).agressive);
  EXPECT_EQ(registry->entries["Zorvex"], "\"" + folder + "zorvex.exe\"");
  EXPECT_FALSE(FileExists(e.OptionsPath())) << "loading writes nothing";

  e.SaveOptions();
  EXPECT_EQ(Read(e.OptionsPath()),
            Options(" <Opera>-1</Opera>\r\n <Netscape>-1</Netscape>\r\n <Explorer>-1</Explorer>\r\n"
                    " <Chromium>-1</Chromium>\r\n <PlaySound>-1</PlaySound>\r\n <PlaySoundVal/>\r\n <StartWindows>-1</StartWindows>\r\n"
                    " <Count>0</Count>\r\n <Agressive>-1</Agressive>\r\n <AutoDetect>-1</AutoDetect>\r\n"
                    " <UseLog>-1</UseLog>\r\n <LimitExplorer>0</LimitExplorer>\r\n <Language/>\r\n"));
  EXPECT_EQ(Read(e.RulesPath()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules/>\r\n");
}

TEST_F(EngineTest, OptionValuesAreReadByTheirRules) {
  struct Case {
    std::string opera;  // element as written, or "" for missing
    bool expected;
  };
  const Case booleans[] = {{"", true},
                           {"<Opera/>", true},
                           {"<Opera></Opera>", true},
                           {"<Opera>0</Opera>", false},
                           {"<Opera>false</Opera>", false},
                           {"<Opera>FALSE</Opera>", false},
                           {"<Opera>yes</Opera>", false},
                           {"<Opera>2</Opera>", true},
                           {"<Opera>TrUe</Opera>", true},
                           {"<Opera>-1</Opera><opera>0</opera>", false}};
  for (const Case& c : booleans) {
    Write(folder + "options.xml", Options(c.opera));
    EXPECT_EQ(Loaded().Detection().families.opera, c.expected) << c.opera;
  }
  // Written before the family existed: watched. Switched off: stays off after a restart.
  Write(folder + "options.xml", Options(" <Opera>0</Opera>\r\n"));
  EXPECT_TRUE(Loaded().Detection().families.chromium);
  EXPECT_TRUE(Probe::Detection(*Probe::Closer(*engine)).families.chromium);
  engine->SetChromium(false);
  engine->SaveOptions();
  EXPECT_NE(Read(folder + "options.xml").find(" <Explorer>-1</Explorer>\r\n <Chromium>0</Chromium>\r\n"),
            std::string::npos);
  EXPECT_FALSE(Loaded().Detection().families.chromium);
  const std::pair<std::string, std::int32_t> counts[] = {
      {"", 0}, {"<Count>abc</Count>", -1}, {"<Count/>", -1}, {"<Count>42</Count>", 42},
      {"<Count>-7</Count>", -7}, {"<Count>4294967297</Count>", 1}, {"<Count> 12</Count>", 12}};
  for (const auto& [element, expected] : counts) {
    Write(folder + "options.xml", Options(element));
    EXPECT_EQ(Loaded().Count, expected) << element;
  }
}

// Each option in the table travels alone from its element to the engine, back to the file and to
// its default, touching no other option: a row wired to another field or setter shows here.
TEST_F(EngineTest, EachOptionRowReadsWritesAndDefaultsItsOwnOptionOnly) {
  const struct Case {
    const char* element;
    const char* read;     // the element's text in options.xml
    OptionValue value;    // what the engine then holds
    const char* written;  // the element's text at the next save
  } cases[] = {
      {"Opera", "0", false, "0"},
      {"Netscape", "false", false, "0"},
      {"Explorer", "0", false, "0"},
      {"Chromium", "0", false, "0"},
      {"PlaySound", "0", false, "0"},
      {"PlaySoundVal", "C:\\ding.wav", std::string("C:\\ding.wav"), "C:\\ding.wav"},
      {"StartWindows", "0", false, "0"},
      {"Count", "4294967338", std::int32_t{42}, "42"},
      {"Agressive", "0", false, "0"},
      {"AutoDetect", "0", false, "0"},
      {"UseLog", "0", false, "0"},
      {"LimitExplorer", "-5", std::int32_t{-5}, "-5"},
      {"Language", "C:\\L\\de.xml", std::string("C:\\L\\de.xml"), "C:\\L\\de.xml"},
  };
  std::set<std::string> covered;
  for (const Case& c : cases) covered.insert(c.element);
  for (const OptionRow& row : OptionRows()) EXPECT_EQ(covered.count(row.element), 1u) << row.element << " has no case";

  for (const Case& c : cases) {
    const std::string element = c.element;
    Write(folder + "options.xml", Options("<" + element + ">" + c.read + "</" + element + ">"));
    TZorvex& e = Loaded();
    for (const OptionRow& row : OptionRows()) {
      EXPECT_EQ(row.get(e), element == row.element ? c.value : row.byDefault) << c.element << " read; " << row.element;
    }
    e.SaveOptions();
    const std::string saved = Read(e.OptionsPath());
    EXPECT_NE(saved.find(" <" + element + ">" + c.written + "</" + element + ">\r\n"), std::string::npos)
        << c.element << "\n" << saved;
    e.ApplyDefaults();
    for (const OptionRow& row : OptionRows()) {
      const bool kept = row.keptByDefaults && element == row.element;
      EXPECT_EQ(row.get(e), kept ? c.value : row.byDefault) << c.element << " after the defaults; " << row.element;
    }
  }
}

TEST_F(EngineTest, APartialOptionsFileTakesDefaultsForWhatIsMissing) {
  Write(folder + "options.xml",
        Options(" <Explorer>0</Explorer>\r\n <AutoDetect>0</AutoDetect>\r\n <Language>C:\\L\\de.xml</Language>\r\n"
                " <LimitExplorer>3</LimitExplorer>\r\n <StartWindows>0</StartWindows>\r\n <Other>x</Other>\r\n"));
  registry->entries["Zorvex"] = "\"old path\"";
  TZorvex& e = Loaded();
  EXPECT_FALSE(e.Detection().families.explorer);
  EXPECT_FALSE(e.AutoDetect);
  EXPECT_EQ(Probe::Closer(e), nullptr);
  EXPECT_TRUE(e.Detection().families.opera && e.Detection().families.netscape && e.PlaySound && e.Detection().agressive && e.UseLog);
  EXPECT_EQ(e.Language, "C:\\L\\de.xml");
  EXPECT_EQ(e.LimitExplorer(), 3);
  EXPECT_EQ(e.Count, 0);
  EXPECT_EQ(registry->entries.count("Zorvex"), 0u) << "start with Windows off removes the entry";
}

TEST_F(EngineTest, BrokenOptionsFallBackToDefaultsWithoutLosingTheRules) {
  Write(folder + "rules.xml", "<Rules><Rule>*casino*</Rule><Rule>ad [1]</Rule></Rules>");
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  const std::string broken[] = {
      Options(" <Opera>0</Opera>\r\n").substr(0, 60),                           // truncated
      std::string("\xEF\xBB\xBF") + Options(" <Opera>0</Opera>\r\n").substr(0, 60),  // truncated after a byte-order mark
      std::string("\x00\x01\xFF\xFEgarbage<<<>>>", 17),                        // binary garbage
      "<Options><Opera>0</Opera>" + deep,                                      // deeply nested
      "<Options>" + std::string(3 << 20, 'x') + "</Option>",                   // huge and unclosed
      "<Options><Opera>0</Opera><Count>5</Count></Optionz>",                   // wrong end tag
  };
  for (const std::string& bytes : broken) {
    Write(folder + "options.xml", bytes);
    TZorvex& e = Loaded();
    EXPECT_TRUE(e.Detection().families.opera) << "the defaults apply, also over values read before the failure";
    EXPECT_EQ(e.Count, 0);
    EXPECT_TRUE(e.AutoDetect);
    EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"*casino*", "ad [1]"}));
    ASSERT_NE(Probe::Closer(e), nullptr);
    EXPECT_EQ(Probe::Rules(*Probe::Closer(e)), (std::vector<std::string>{"*casino*", "ad [1]"}));
    e.SaveOptions();
    EXPECT_NE(Read(e.OptionsPath()).find("<Opera>-1</Opera>"), std::string::npos) << "overwritten at the next save";
  }
}

TEST_F(EngineTest, RulesFilesOfOtherShapesLoadAndSaveInTheCurrentLayout) {
  Write(folder + "rules.xml",
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- mine -->\r\n<PopupList version=\"2\">\r\n"
        " <Item><Title>Old One</Title><Added>2003</Added></Item>\r\n <Rule>new &#60;one&#62;</Rule>\r\n"
        " <rule>wrong case</rule>\r\n <!-- note -->\r\n <Item><Other>x</Other></Item>\r\n</PopupList>\r\n");
  TZorvex& e = Loaded();
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"Old One", "new <one>", ""}));
  e.SaveRules();
  EXPECT_EQ(Read(e.RulesPath()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- mine -->\r\n<Rules version=\"2\">\r\n"
            " <Rule>Old One</Rule>\r\n <Rule>new &#60;one&#62;</Rule>\r\n <rule>wrong case</rule>\r\n"
            " <!-- note -->\r\n <Rule/>\r\n</Rules>\r\n");

  // A broken or hostile rules file leaves an empty list named "Rules", and loading ends normally.
  std::string deep = "<Rules>";
  for (int i = 0; i < 100000; ++i) deep += "<Rule>";
  const std::string broken[] = {"<Rules><Rule>a</Rule>", "\xEF\xBB\xBF<Rules><Rule>a</Rule>", std::string("\x00\xFF<<&&;;", 7), deep,
                                "<Rules>" + std::string(4 << 20, 'x'), "<Rules a='1 b='2'/>"};
  for (const std::string& bytes : broken) {
    Write(folder + "rules.xml", bytes);
    TZorvex& broken = Loaded();
    EXPECT_TRUE(broken.RuleList().empty());
    EXPECT_EQ(broken.RulesDoc.Root().Name(), "Rules");
    EXPECT_EQ(broken.RulesDoc.Root().Props().Count(), 0u);
  }
}

TEST_F(EngineTest, AddRuleSavesBothFilesAndReachesTheCloserWhileSetRulesOnlyChangesMemory) {
  TZorvex& e = Loaded();
  e.AddRule("Casino [Night]");
  e.AddRule("Casino [Night]");
  e.AddRule("");
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"Casino [Night]", "Casino [Night]", ""}));
  EXPECT_EQ(Probe::Rules(*Probe::Closer(e)), (std::vector<std::string>{"casino [night]", "casino [night]", ""}));
  EXPECT_EQ(Read(e.RulesPath()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules>\r\n <Rule>Casino [Night]</Rule>\r\n"
            " <Rule>Casino [Night]</Rule>\r\n <Rule/>\r\n</Rules>\r\n");
  EXPECT_TRUE(FileExists(e.OptionsPath()));

  const std::string before = Read(e.RulesPath());
  e.SetRules({"one", "Two"});
  EXPECT_EQ(Read(e.RulesPath()), before);
  EXPECT_EQ(Probe::Rules(*Probe::Closer(e)), (std::vector<std::string>{"one", "two"}));
  // Reloading proves the document itself was replaced, other content included.
  e.SaveRules();
  EXPECT_EQ(Loaded().RuleList(), (std::vector<std::string>{"one", "Two"}));
}

TEST_F(EngineTest, DetectionSwitchesKeepTheCloserInStepWithTheOptions) {
  TZorvex& e = Loaded();
  TSPopup* first = Probe::Closer(e);
  e.SetActive(true);
  EXPECT_EQ(Probe::Closer(e), first) << "switching on again keeps the closer";
  e.SetActive(false);
  EXPECT_EQ(Probe::Closer(e), nullptr);
  e.SetActive(false);
  e.SetOpera(false);
  e.SetAgressive(false);
  e.SetRules({"Rule A"});
  e.SetActive(true);
  ASSERT_NE(Probe::Closer(e), nullptr);
  EXPECT_FALSE(Probe::Detection(*Probe::Closer(e)).families.opera);
  EXPECT_FALSE(Probe::Detection(*Probe::Closer(e)).agressive);
  e.SetLimitExplorer(3);
  EXPECT_EQ(Probe::Detection(*Probe::Closer(e)).explorerLimit, 3) << "the limit reaches the scanner with the other options";
  EXPECT_EQ(Probe::Rules(*Probe::Closer(e)), std::vector<std::string>{"rule a"});

  const std::string keep = "C:\\lang.xml";
  e.Language = keep;
  e.SetActive(false);
  e.ApplyDefaults();
  EXPECT_EQ(e.Language, keep);
  EXPECT_TRUE(e.AutoDetect && e.Detection().families.opera);
  EXPECT_NE(Probe::Closer(e), nullptr);
}

TEST_F(EngineTest, KillsAreLoggedCountedAnnouncedAndFlashed) {
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  e.WriteLog("Popup Killed: Evil\r\n[fake] line\x07 (rule)");
  e.PlayAlarm();
  EXPECT_EQ(Read(e.LogPath()), "[07.12.2026 09:30:00] Popup Killed: Evil  [fake] line  (rule)\r\n");
  EXPECT_EQ(e.Count, 1);
  EXPECT_EQ(tray.hints.back(), "Zorvex - 1 Popups Killed");
  EXPECT_EQ(sound->played, std::vector<std::string>{"<ALARM>"});
  EXPECT_EQ(tray.icons, (std::vector<std::string>{"kill"}));

  // A named sound file that exists is played by name; a missing one falls back to the alarm.
  Write(folder + "ding.wav", "RIFF");
  e.PlaySoundVal = folder + "ding.wav";
  e.WriteLog("second");
  e.PlayAlarm();
  e.PlaySoundVal = folder + "missing.wav";
  e.PlayAlarm();
  EXPECT_EQ(sound->played, (std::vector<std::string>{"<ALARM>", folder + "ding.wav", "<ALARM>"}));
  EXPECT_EQ(Read(e.LogPath()).size(), std::string("[07.12.2026 09:30:00] Popup Killed: Evil  [fake] line  (rule)\r\n"
                                                  "[07.12.2026 09:30:00] second\r\n")
                                           .size());

  // Logging and sound off: nothing written or heard, but the kill still counts and flashes.
  e.UseLog = false;
  e.PlaySound = false;
  const std::string log = Read(e.LogPath());
  e.WriteLog("silent");
  e.PlayAlarm();
  EXPECT_EQ(Read(e.LogPath()), log);
  EXPECT_EQ(sound->played.size(), 3u);
  EXPECT_EQ(e.Count, 4);
  EXPECT_EQ(tray.icons.size(), 4u);

  // A read-only log stays untouched.
  e.UseLog = true;
  ::chmod(e.LogPath().c_str(), 0444);
  e.WriteLog("refused");
  EXPECT_EQ(Read(e.LogPath()), log);

  // The count stops at its largest value.
  e.SetCount(2147483647);
  e.PlayAlarm();
  EXPECT_EQ(e.Count, 2147483647);
}

TEST_F(EngineTest, NoLogFileIsMadeWhileLoggingIsOffAndNoHintBeforeTheTrayExists) {
  TZorvex& e = Loaded();
  e.UseLog = false;
  e.WriteLog("x");
  EXPECT_FALSE(FileExists(e.LogPath()));
  e.SetCount(7);
  EXPECT_TRUE(tray.hints.empty());
  e.PlayAlarm();
  EXPECT_EQ(e.Count, 8);
}

TEST_F(EngineTest, ScannerKillsReachTheLogOnTheMainThread) {
  desktop->Add("IEFrame", "Buy Now");
  Write(folder + "rules.xml", "<Rules><Rule>*buy*</Rule></Rules>");
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return e.Count == 1; }));
  EXPECT_EQ(Read(e.LogPath()), "[07.12.2026 09:30:00] Popup Killed: Buy Now (*buy*)\r\n");
  // Releasing the engine while its scanner runs stops and joins it first.
  engine.reset();
}

TEST_F(EngineTest, StartWithWindowsWritesAndRemovesTheEntry) {
  TZorvex& e = Make();
  e.SetStartWindows(false);
  EXPECT_TRUE(registry->entries.empty());
  e.SetStartWindows(true);
  e.SetStartWindows(true);
  EXPECT_EQ(registry->entries.size(), 1u);
  EXPECT_EQ(registry->writes, 2);
  registry->refuse = true;
  e.SetStartWindows(false);
  e.SetStartWindows(true);
  EXPECT_TRUE(e.StartWindows) << "the option follows the request even when the system refuses";
}

TEST(TrayHint, FormatTakesTheFirstCountOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"Zorvex - %d Popups Killed", "Zorvex - 12 Popups Killed"},
      {"%d%% done, %d again", "12% done, %d again"},
      {"%s %x %", "%s %x %"},
      {"no count", "no count"},
      {"", ""},
  };
  for (const auto& [format, hint] : cases) EXPECT_EQ(FormatTrayHint(format, 12), hint) << format;
}

TEST_F(EngineTest, RuleListFilesExportAndImport) {
  const std::string path = folder + "list.zvl";
  ASSERT_TRUE(ExportRuleList(path, {"*casino*", "Ad [1]", "", "*café*"}));
  EXPECT_EQ(Read(path), "\xEF\xBB\xBF*casino*\r\nAd [1]\r\n\r\n*café*\r\n") << "UTF-8 with a byte-order mark";
  std::vector<std::string> back;
  ASSERT_TRUE(ImportRuleList(path, back));
  EXPECT_EQ(back, (std::vector<std::string>{"*casino*", "Ad [1]", "", "*café*"}));
  ASSERT_TRUE(ExportRuleList(path, {}));
  EXPECT_EQ(Read(path), "\xEF\xBB\xBF");
  // An older export in the code page, and one a user saved in UTF-8 without a byte-order mark.
  for (const std::string& bytes : {std::string("*caf\xE9*\r\n\x80 offer\r\n"), std::string("*café*\r\n€ offer")}) {
    Write(path, bytes);
    std::vector<std::string> imported;
    ASSERT_TRUE(ImportRuleList(path, imported));
    EXPECT_EQ(imported, (std::vector<std::string>{"*café*", "€ offer"})) << bytes;
  }

  Write(path, "*Casino*\r\n*casino*\nnew one\rnew one\r\n\r\nlast");
  std::vector<std::string> list = {"*casino*"};
  ASSERT_TRUE(ImportRuleList(path, list));
  EXPECT_EQ(list, (std::vector<std::string>{"*casino*", "*Casino*", "new one", "", "last"}));
  EXPECT_FALSE(ImportRuleList(folder + "missing.zvl", list));
  EXPECT_FALSE(ExportRuleList(folder + "no/such/folder/x.zvl", list));
}

TEST_F(EngineTest, ATitleBecomesOneRuleWhereverItEnters) {
  Write(folder + "rules.xml", "<Rules><Rule>From file&#13;&#10;*</Rule></Rules>");
  TZorvex& e = Loaded();
  EXPECT_EQ(e.RuleList(), std::vector<std::string>{"From file  *"});
  std::vector<std::string> told;
  e.RuleAdded = [&](const std::string& rule) { told.push_back(rule); };

  // Submenu and hot key: the title as the window had it.
  e.AddRule("Free prize\r\n*");
  // Add Rule dialog: typed or picked.
  e.RuleDialog = [](bool) { return TRuleDialogResult{true, "Typed\tin\x01one", {}}; };
  e.AddRuleFromDialog();
  EXPECT_EQ(e.PickRuleTitle(), "Typed in one");
  // Options dialog and import.
  Write(folder + "list.zvl", "Imported\tone\r\nsecond\n");
  std::vector<std::string> list;
  ASSERT_TRUE(ImportRuleList(folder + "list.zvl", list));
  EXPECT_EQ(list, (std::vector<std::string>{"Imported one", "second"}));

  const std::vector<std::string> expected{"From file  *", "Free prize  *", "Typed in one"};
  EXPECT_EQ(e.RuleList(), expected);
  EXPECT_EQ(told, (std::vector<std::string>{"Free prize  *", "Typed in one"}));
  // The closer (and so its scanner) holds exactly as many rules as the user sees; none is a lone "*".
  EXPECT_EQ(Probe::Rules(*Probe::Closer(e)),
            (std::vector<std::string>{"from file  *", "free prize  *", "typed in one"}));
  e.SetRules({"Set\r\nby dialog"});
  EXPECT_EQ(Probe::Rules(*Probe::Closer(e)), std::vector<std::string>{"set  by dialog"});
}

TEST_F(EngineTest, TheLogIsHalvedIntoTheOldFileAtItsLimit) {
  TZorvex& e = Loaded();
  std::string big;
  for (int i = 0; big.size() < kMaxLogBytes; ++i) big += "[old] line " + std::to_string(i) + "\r\n";
  Write(e.LogPath(), big);
  e.WriteLog("newest");
  const std::string log = Read(e.LogPath());
  const std::string old = Read(e.LogPath() + ".old");
  EXPECT_EQ(old + log, big + "[07.12.2026 09:30:00] newest\r\n") << "nothing lost, nothing doubled";
  EXPECT_LT(log.size(), kMaxLogBytes / 2 + 100);
  EXPECT_EQ(log.compare(0, 6, "[old] "), 0) << "cut at a line start";
  EXPECT_EQ(old.substr(old.size() - 2), "\r\n");

  // Small logs are left whole.
  e.WriteLog("next");
  EXPECT_EQ(Read(e.LogPath()), log + "[07.12.2026 09:30:00] next\r\n");
  EXPECT_EQ(Read(e.LogPath() + ".old"), old);
}

TEST_F(EngineTest, AScannerThatEndedIsStartedAgainWhileDetectionIsOn) {
  // Armed only once the test holds the running scanner: a scanner that ends while the options are
  // still being set is replaced at once by that set-up, and the one held would never end.
  std::atomic<bool> fail{false};
  fakes.sleeper->onSleep = [&] {
    if (fail.exchange(false)) throw std::runtime_error("the wait itself failed");
  };
  TZorvex& e = Loaded();
  std::shared_ptr<TSPopupThread> first = Probe::Thread(*Probe::Closer(e));
  ASSERT_TRUE(first);
  fail = true;
  ASSERT_TRUE(mainThread->PumpUntil([&] { return first->Finished(); }));
  e.KeepDetecting();
  std::shared_ptr<TSPopupThread> second = Probe::Thread(*Probe::Closer(e));
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);
  const WindowHandle popup = desktop->Add("IEFrame", "Casino");
  e.SetRules({"casino"});
  EXPECT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(popup); }));
  e.KeepDetecting();
  EXPECT_EQ(Probe::Thread(*Probe::Closer(e)), second) << "a running scanner is kept";
  engine.reset();  // joins the scanner, which still calls the hook on this frame
}

TEST_F(EngineTest, ReleasingTheEngineWhileACloseIsPendingLeavesTheCloseNothingToTouch) {
  Write(folder + "rules.xml", "<Rules><Rule>slow*</Rule></Rules>");
  const WindowHandle slow = desktop->Add("IEFrame", "Slow popup");
  desktop->HoldClose(slow);
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return desktop->CloseAttempts(slow) == 1; }));
  engine.reset();  // stops and joins the scanner; the close still waits on its worker
  desktop->AnswerClose(slow);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(slow); }));
  mainThread->Pump();
  EXPECT_TRUE(tray.hints.empty()) << "the late report never reached the released engine";
}

TEST_F(EngineTest, KillsReportedInTheLastMomentBeforeExitAreLoggedAndCountedInSilence) {
  Write(folder + "rules.xml", "<Rules><Rule>last*</Rule></Rules>");
  const WindowHandle queued = desktop->Add("IEFrame", "Last one");
  const WindowHandle late = desktop->Add("IEFrame", "Last but slow");
  desktop->HoldClose(late);
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  // A new Explorer arms the closer's check, which must not run once the closer is gone.
  ASSERT_TRUE(fakes.monitor->Announce("IEXPLORE", "IEXPLORE(0x9)"));
  // One report waits on the main thread's queue, which the ended loop will never pump; the other
  // close ends while the program is on its way out. Beside the report, the scanner's check is
  // queued, once: no second one while it waits.
  const auto settled = [&] {
    return !desktop->Exists(queued) && desktop->CloseAttempts(late) == 1 && mainThread->Posted() >= 2;
  };
  // Waits without pumping: the scanner's first report stays queued.
  ASSERT_TRUE(mainThread->WaitUntil(settled));
  EXPECT_EQ(mainThread->Posted(), 2);
  std::thread answer([&] { desktop->AnswerClose(late); });
  e.FinishDetection();
  answer.join();
  EXPECT_EQ(fakes.peer->opened, 0) << "the check ran after its closer was gone";
  EXPECT_EQ(Probe::Closer(e), nullptr);
  EXPECT_TRUE(e.AutoDetect) << "the option stays as the user set it";
  ASSERT_TRUE(e.FinishSaves(0ms));
  EXPECT_EQ(e.Count, 2);
  const std::string log = Read(e.LogPath());
  EXPECT_NE(log.find("Popup Killed: Last one (last*)"), std::string::npos) << log;
  EXPECT_NE(log.find("Popup Killed: Last but slow (last*)"), std::string::npos) << log;
  EXPECT_TRUE(sound->played.empty()) << "no alarm on the way out";
  EXPECT_TRUE(std::find(tray.icons.begin(), tray.icons.end(), "kill") == tray.icons.end());
  EXPECT_NE(Read(e.OptionsPath()).find("<Count>2</Count>"), std::string::npos);
  e.SetActive(false);
  e.SetActive(true);
  EXPECT_EQ(Probe::Closer(e), nullptr) << "no detection starts after the end";
}

TEST_F(EngineTest, FilesOfAnInterruptedSaveArePutBackBeforeLoading) {
  // Killed between moving the held files aside and the new ones in: only whole copies beside them.
  Write(folder + "options.xml.~99999999_4.old", Options(" <Count>42</Count>\r\n"));
  Write(folder + "rules.xml.~99999999_5.new", "<Rules><Rule>*casino*</Rule></Rules>");
  Write(folder + "rules.xml.~99999999_6.part", "<Rules><Rule>*cas");
  TZorvex& e = Loaded();
  EXPECT_EQ(e.Count, 42);
  EXPECT_EQ(e.RuleList(), std::vector<std::string>{"*casino*"});
  EXPECT_TRUE(FileExists(e.OptionsPath()) && FileExists(e.RulesPath()));
  EXPECT_FALSE(FileExists(folder + "rules.xml.~99999999_6.part"));
}

// A package manager makes an empty file for each name it keeps between versions, before the first
// start: that is the defaults, with nothing kept aside, logged or shown.
TEST_F(EngineTest, EmptySettingsFilesAreTheDefaultsQuietly) {
  Write(folder + "options.xml", "");
  Write(folder + "rules.xml", "");
  TZorvex& e = Make();
  e.SetTray(&tray);
  e.LoadOptions();
  EXPECT_TRUE(e.AutoDetect && e.PlaySound && e.UseLog);
  EXPECT_TRUE(e.RuleList().empty());
  e.AddRule("*new*");
  EXPECT_NE(Read(e.RulesPath()).find("<Rule>*new*</Rule>"), std::string::npos);
  EXPECT_NE(Read(e.OptionsPath()).find("<Count>0</Count>"), std::string::npos);
  EXPECT_FALSE(FileExists(folder + "rules.xml.unreadable") || FileExists(folder + "options.xml.unreadable"));
  EXPECT_EQ(Read(e.LogPath()).find("ettings file"), std::string::npos) << Read(e.LogPath());
  EXPECT_TRUE(tray.notices.empty());
}

// A settings file that exists but does not load was replaced by defaults or an empty rule list at
// the next save. Now it is kept aside first, and the log says so.
TEST_F(EngineTest, SettingsFilesThatDoNotLoadAreKeptBeforeNewOnesAreWritten) {
  const std::string damagedRules = "<Rules><Rule>*casino*</Rule><Rule>ad [1";
  const std::string damagedOptions = Options(" <Count>42</Count>\r\n").substr(0, 70);
  Write(folder + "rules.xml", damagedRules);
  Write(folder + "options.xml", damagedOptions);
  Write(folder + "options.xml.unreadable", "an earlier copy");  // never replaced
  TZorvex& e = Loaded();
  EXPECT_TRUE(e.RuleList().empty());
  EXPECT_EQ(e.Count, 0);
  EXPECT_EQ(Read(e.RulesPath()), damagedRules) << "nothing is written before the next save";
  const std::string loadLog = Read(e.LogPath());
  EXPECT_NE(loadLog.find("] Cannot load settings file " + e.RulesPath() + ": Invalid XML"), std::string::npos)
      << loadLog;
  EXPECT_NE(loadLog.find("] Cannot load settings file " + e.OptionsPath() + ": Invalid XML"), std::string::npos)
      << loadLog;

  e.AddRule("*new*");
  EXPECT_EQ(Read(folder + "rules.xml.unreadable"), damagedRules);
  EXPECT_EQ(Read(folder + "options.xml.unreadable"), "an earlier copy");
  EXPECT_EQ(Read(folder + "options.xml.unreadable.2"), damagedOptions);
  EXPECT_NE(Read(e.RulesPath()).find("<Rule>*new*</Rule>"), std::string::npos);
  EXPECT_NE(Read(e.OptionsPath()).find("<Count>0</Count>"), std::string::npos);
  const std::string log = Read(e.LogPath());
  EXPECT_NE(log.find("kept as " + folder + "rules.xml.unreadable\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("kept as " + folder + "options.xml.unreadable.2\r\n"), std::string::npos) << log;

  // Kept once: later saves simply write, and a file that loads is never kept aside.
  e.AddRule("*more*");
  EXPECT_FALSE(FileExists(folder + "rules.xml.unreadable.2"));
  EXPECT_FALSE(FileExists(folder + "options.xml.unreadable.3"));
  TZorvex& again = Loaded();
  again.SaveOptions();
  EXPECT_EQ(again.RuleList(), (std::vector<std::string>{"*new*", "*more*"}));
  EXPECT_FALSE(FileExists(folder + "rules.xml.unreadable.2"));
  EXPECT_EQ(Read(again.LogPath()), log);
}

TEST_F(EngineTest, OlderSettingsInTheCodePageLoadWithTheSameRulesAndAreWrittenBackInUtf8) {
  const std::string oldHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";
  Write(folder + "rules.xml", oldHeader + "<Rules>\r\n <Rule>*caf\xE9*</Rule>\r\n <Rule>*casino*</Rule>\r\n</Rules>\r\n");
  Write(folder + "options.xml", oldHeader + "<Options>\r\n <PlaySoundVal>C:\\Kl\xE4nge\\gl\xFC" "ck.wav</PlaySoundVal>\r\n"
                                            " <Language>C:\\Zorvex\\Languages\\Fran\xE7" "ais.xml</Language>\r\n</Options>\r\n");
  const WindowHandle accented = desktop->Add("IEFrame", "Café promo");
  const WindowHandle plain = desktop->Add("IEFrame", "Cafe promo");
  TZorvex& e = Loaded();
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"*café*", "*casino*"}));
  EXPECT_EQ(e.PlaySoundVal, "C:\\Klänge\\glück.wav");
  EXPECT_EQ(e.Language, "C:\\Zorvex\\Languages\\Français.xml");

  // The scanner closes the title that the rule names, and only that one.
  e.SetTray(&tray);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return e.Count == 1; }));
  EXPECT_FALSE(desktop->Exists(accented));
  EXPECT_TRUE(desktop->Exists(plain));
  EXPECT_EQ(Read(e.LogPath()), "[07.12.2026 09:30:00] Popup Killed: Café promo (*café*)\r\n");

  e.SaveOptions();
  // The kill counted in the statistics of the rule that made it.
  EXPECT_EQ(Read(e.RulesPath()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules>\r\n"
                                 " <Rule hits=\"1\" last=\"1999-12-25T00:00:00Z\">*café*</Rule>\r\n"
                                 " <Rule>*casino*</Rule>\r\n</Rules>\r\n");
  const std::string options = Read(e.OptionsPath());
  EXPECT_EQ(options.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Options>\r\n", 0), 0u) << options;
  EXPECT_NE(options.find("<PlaySoundVal>C:\\Klänge\\glück.wav</PlaySoundVal>"), std::string::npos) << options;
  EXPECT_NE(options.find("<Language>C:\\Zorvex\\Languages\\Français.xml</Language>"), std::string::npos) << options;
  TZorvex& again = Loaded();
  EXPECT_EQ(again.RuleList(), (std::vector<std::string>{"*café*", "*casino*"}));
  EXPECT_EQ(again.PlaySoundVal, "C:\\Klänge\\glück.wav");

  // A file saved in UTF-8 with a byte-order mark, as editors do, loads as well.
  Write(folder + "options.xml", "\xEF\xBB\xBF" + Options(" <Opera>0</Opera>\r\n <PlaySoundVal>ding ♪.wav</PlaySoundVal>\r\n"));
  TZorvex& marked = Loaded();
  EXPECT_FALSE(marked.Detection().families.opera);
  EXPECT_EQ(marked.PlaySoundVal, "ding ♪.wav");
}

TEST_F(EngineTest, TheLogTakesUtf8LinesAndAnOlderLogInTheCodePageIsMovedAsideFirst) {
  const std::string older = "[01.02.2020 10:00:00] Popup Killed: caf\xE9 (*caf\xE9*)\r\n";
  TZorvex& e = Loaded();
  Write(e.LogPath(), older);
  e.WriteLog("Popup Killed: Café promo (*café*)");
  EXPECT_EQ(Read(e.LogPath() + ".old"), older);
  EXPECT_EQ(Read(e.LogPath()), "[07.12.2026 09:30:00] Popup Killed: Café promo (*café*)\r\n");

  // Bytes that are not UTF-8 never reach the file as they are.
  e.WriteLog("broken \xE9 byte");
  EXPECT_EQ(Read(e.LogPath()), "[07.12.2026 09:30:00] Popup Killed: Café promo (*café*)\r\n"
                               "[07.12.2026 09:30:00] broken \xEF\xBF\xBD byte\r\n");

  // A log in UTF-8 goes on at the next start; the old file stays as it was.
  const std::string log = Read(e.LogPath());
  TZorvex& next = Loaded();
  next.WriteLog("next 猫");
  EXPECT_EQ(Read(next.LogPath()), log + "[07.12.2026 09:30:00] next 猫\r\n");
  EXPECT_EQ(Read(next.LogPath() + ".old"), older);

  // While the code-page log cannot be moved aside, no UTF-8 line is added to it.
  Write(next.LogPath(), older);
  ::unlink((next.LogPath() + ".old").c_str());
  ::mkdir((next.LogPath() + ".old").c_str(), 0755);
  TZorvex& blocked = Loaded();
  blocked.WriteLog("held back");
  EXPECT_EQ(Read(blocked.LogPath()), older);
  ::rmdir((blocked.LogPath() + ".old").c_str());
  blocked.WriteLog("now");
  EXPECT_EQ(Read(blocked.LogPath() + ".old"), older);
  EXPECT_EQ(Read(blocked.LogPath()), "[07.12.2026 09:30:00] now\r\n");
}

// On POSIX a file cannot be held open against a save or a read; a folder in its place fails both
// the same way (it exists, but can be neither read nor replaced), and removing it lets go.
namespace {
void Hold(const std::string& path) {
  ::unlink(path.c_str());
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}
void LetGo(const std::string& path) { ASSERT_EQ(::rmdir(path.c_str()), 0) << path; }
std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}
}  // namespace

// A save that met a held file was only traced: the user's new rule was not on disk until some
// later save. Now it is tried again at once, then every second and at exit, and after 30 s the
// user is told, once.
TEST_F(EngineTest, ASaveThatMeetsAHeldFileIsTriedAgainUntilItLandsAndTheUserIsTold) {
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  e.SaveOptions();
  Hold(e.RulesPath());
  e.AddRule("*casino*");
  EXPECT_TRUE(e.SavesPending());
  EXPECT_TRUE(FileExists(e.OptionsPath()));
  for (int second = 1; second < 30; ++second) {
    fakes.clock->Advance(1s);
    e.RetrySettingsFiles();
  }
  EXPECT_TRUE(tray.notices.empty()) << "told too early";
  fakes.clock->Advance(1s);
  e.RetrySettingsFiles();
  fakes.clock->Advance(1s);
  e.RetrySettingsFiles();
  ASSERT_EQ(tray.notices.size(), 1u);
  EXPECT_EQ(tray.notices[0].rfind("Cannot save settings file " + e.RulesPath() + " (", 0), 0u) << tray.notices[0];
  EXPECT_EQ(Occurrences(Read(e.LogPath()), "] Cannot save settings file " + e.RulesPath()), 1u);

  LetGo(e.RulesPath());
  fakes.clock->Advance(1s);
  e.RetrySettingsFiles();
  EXPECT_FALSE(e.SavesPending());
  EXPECT_NE(Read(e.RulesPath()).find("<Rule>*casino*</Rule>"), std::string::npos);
  EXPECT_NE(Read(e.LogPath()).find("] Settings file " + e.RulesPath() + " saved\r\n"), std::string::npos);

  // A holder that lets go within a moment costs no wait for the timer; at exit a held file gets
  // a few seconds more, and what did not land is logged.
  std::function<void()> onPause;
  EngineServices services = fakes.Engine(folder);
  services.pause = [&](std::chrono::milliseconds span) {
    fakes.clock->Advance(span);
    if (onPause) onPause();
  };
  engine = std::make_unique<TZorvex>(services);
  engine->LoadOptions();
  auto letGoAfter = [&](int pauses) {
    Hold(folder + "rules.xml");
    onPause = [&, pauses, seen = 0]() mutable {
      if (++seen == pauses) LetGo(folder + "rules.xml");
    };
  };
  letGoAfter(2);
  engine->AddRule("*poker*");
  EXPECT_FALSE(engine->SavesPending());
  EXPECT_NE(Read(engine->RulesPath()).find("<Rule>*poker*</Rule>"), std::string::npos);

  letGoAfter(1000);
  engine->SetRules({"*exit*"});
  EXPECT_FALSE(engine->FinishSaves(std::chrono::seconds(3)));
  EXPECT_NE(Read(engine->LogPath()).find("] Settings file " + engine->RulesPath() + " not saved: "), std::string::npos);
  LetGo(folder + "rules.xml");
  letGoAfter(30);  // three seconds of tries
  EXPECT_TRUE(engine->FinishSaves(std::chrono::seconds(5)));
  EXPECT_NE(Read(engine->RulesPath()).find("<Rule>*exit*</Rule>"), std::string::npos);
  onPause = nullptr;
}

// Any load failure, a sharing violation too, marked the file unreadable, and the next save wrote
// the in-memory list over it: three rules became one. Now a file that cannot be read is tried
// again, never written over before it has loaded, and what was added meanwhile joins it.
TEST_F(EngineTest, AFileThatCannotBeReadIsTriedAgainAndNeverWrittenOver) {
  Hold(folder + "rules.xml");
  Hold(folder + "options.xml");
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  EXPECT_TRUE(e.RuleList().empty());
  EXPECT_TRUE(e.Detection().families.opera) << "the defaults apply meanwhile";
  EXPECT_NE(Read(e.LogPath()).find("] Cannot load settings file " + e.RulesPath() + ": "), std::string::npos);
  e.PlayAlarm();
  e.AddRule("*hot key*");
  EXPECT_TRUE(e.SavesPending());

  // The other program lets go; the files hold what they held.
  LetGo(folder + "rules.xml");
  LetGo(folder + "options.xml");
  const std::string rules = "<Rules><Rule>one</Rule><Rule>two</Rule><Rule>*hot key*</Rule><Rule>three</Rule></Rules>";
  Write(folder + "rules.xml", rules);
  Write(folder + "options.xml", Options(" <Opera>0</Opera>\r\n <Count>41</Count>\r\n"));
  e.SaveOptions();
  EXPECT_EQ(Read(e.RulesPath()), rules) << "never written over before it has loaded";
  fakes.clock->Advance(1s);
  e.RetrySettingsFiles();
  EXPECT_FALSE(e.SavesPending());
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"one", "two", "*hot key*", "three"}));
  EXPECT_EQ(Probe::Rules(*Probe::Closer(e)), (std::vector<std::string>{"one", "two", "*hot key*", "three"}));
  EXPECT_FALSE(e.Detection().families.opera);
  EXPECT_EQ(e.Count, 42) << "the kill counted meanwhile is added";
  EXPECT_NE(Read(e.OptionsPath()).find("<Count>42</Count>"), std::string::npos);
  EXPECT_NE(Read(e.RulesPath()).find("<Rule>three</Rule>"), std::string::npos);
  EXPECT_FALSE(FileExists(folder + "rules.xml.unreadable"));
  EXPECT_TRUE(tray.notices.empty());

  // A file that stays unreadable is shown after 30 s, as a save is.
  engine.reset();
  ::unlink((folder + "rules.xml").c_str());
  Hold(folder + "rules.xml");
  TZorvex& again = Loaded();
  again.SetTray(&tray);
  for (int second = 0; second < 31; ++second) {
    fakes.clock->Advance(1s);
    again.RetrySettingsFiles();
  }
  ASSERT_EQ(tray.notices.size(), 1u);
  EXPECT_EQ(tray.notices[0].rfind("Cannot read settings file " + again.RulesPath(), 0), 0u) << tray.notices[0];
}

// One code-page byte in a UTF-8 rules file made the whole file read in the code page: *казино*
// became *ÐºÐ°Ð·Ð¸Ð½Ð¾*, and the next save kept it so. Now that byte alone is read in the code
// page, and the log says once per load that the file mixed encodings.
TEST_F(EngineTest, AStrayCodePageByteGarblesNoRuleAndTheLogSaysOnceThatTheFileMixedEncodings) {
  const std::string header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  const std::string cleanRules = header + "<Rules>\r\n <Rule>*казино*</Rule>\r\n</Rules>\r\n";
  const std::string mixedRules = header + "<Rules>\r\n <Rule>*казино*</Rule>\r\n <Rule>*caf\xE9*</Rule>\r\n</Rules>\r\n";
  const std::string cleanOptions = Options(" <PlaySoundVal>C:\\Klänge\\glück.wav</PlaySoundVal>\r\n");
  const std::string mixedOptions = Options(" <PlaySoundVal>C:\\Klänge\\gl\xFC" "ck.wav</PlaySoundVal>\r\n");
  const std::vector<std::string> both = {"*казино*", "*café*"};
  struct Case {
    const char* why;
    std::string rules;
    std::string options;
    std::vector<std::string> loaded;
    bool rulesMixed;
    bool optionsMixed;
  };
  const Case cases[] = {
      {"rules.xml mixed", mixedRules, cleanOptions, both, true, false},
      {"options.xml mixed", cleanRules, mixedOptions, {"*казино*"}, false, true},
      {"both, rules.xml with a byte-order mark", "\xEF\xBB\xBF" + mixedRules, mixedOptions, both, true, true},
      {"older files, wholly code page", header + "<Rules><Rule>*caf\xE9*</Rule></Rules>",
       "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Options><PlaySoundVal>C:\\Kl\xE4nge\\gl\xFC" "ck.wav"
       "</PlaySoundVal></Options>",
       {"*café*"}, false, false},
  };
  const std::string said = " mixed encodings: bytes that are not UTF-8 were read in the system code page\r\n";
  for (const Case& c : cases) {
    engine.reset();
    ::unlink((folder + "zorvex.log").c_str());
    Write(folder + "rules.xml", c.rules);
    Write(folder + "options.xml", c.options);
    TZorvex& e = Loaded();
    EXPECT_EQ(e.RuleList(), c.loaded) << c.why;
    EXPECT_EQ(e.PlaySoundVal, "C:\\Klänge\\glück.wav") << c.why;
    const std::string log = Read(e.LogPath());
    EXPECT_EQ(Occurrences(log, "] Settings file " + e.RulesPath() + said), c.rulesMixed ? 1u : 0u) << c.why << "\n" << log;
    EXPECT_EQ(Occurrences(log, "] Settings file " + e.OptionsPath() + said), c.optionsMixed ? 1u : 0u) << c.why << "\n" << log;

    // Saved in UTF-8 and loaded again: the same rules, and nothing mixed any more.
    e.SaveOptions();
    EXPECT_TRUE(IsValidUtf8(Read(e.RulesPath()))) << c.why;
    EXPECT_NE(Read(e.RulesPath()).find("<Rule>" + c.loaded[0] + "</Rule>"), std::string::npos) << c.why;
    TZorvex& again = Loaded();
    EXPECT_EQ(again.RuleList(), c.loaded) << c.why;
    EXPECT_EQ(Read(again.LogPath()), log) << c.why;
  }

  // A file loaded late, once another program lets go of it, is told of at that load.
  engine.reset();
  ::unlink((folder + "zorvex.log").c_str());
  Hold(folder + "rules.xml");
  TZorvex& late = Loaded();
  LetGo(folder + "rules.xml");
  Write(folder + "rules.xml", mixedRules);
  fakes.clock->Advance(1s);
  late.RetrySettingsFiles();
  EXPECT_EQ(late.RuleList(), both);
  EXPECT_EQ(Occurrences(Read(late.LogPath()), "] Settings file " + late.RulesPath() + said), 1u) << Read(late.LogPath());
  late.RetrySettingsFiles();
  EXPECT_EQ(Occurrences(Read(late.LogPath()), said), 1u);
}

// After 1005 failed starts there were 1000 kept-aside copies, and from then on every save was
// refused without a word. Now only the newest few stay, and each new one is shown.
TEST_F(EngineTest, OnlyTheNewestKeptAsideCopiesStayAndEachNewOneIsShown) {
  const std::string damaged = "<Rules><Rule>*casino*</Rule><Rule>ad [1";
  Write(folder + "rules.xml", damaged);
  const std::time_t now = ::time(nullptr);
  for (int n = 1; n <= 1000; ++n) {
    const std::string name = folder + "rules.xml.unreadable" + (n == 1 ? "" : "." + std::to_string(n));
    Write(name, "copy " + std::to_string(n));
    const timespec times[2] = {{now - 5000 + n, 0}, {now - 5000 + n, 0}};  // higher numbers are newer
    ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
  }
  TZorvex& e = Loaded();
  e.SetTray(&tray);
  e.AddRule("*new*");
  EXPECT_FALSE(e.SavesPending());
  EXPECT_NE(Read(e.RulesPath()).find("<Rule>*new*</Rule>"), std::string::npos);
  std::vector<std::string> kept;
  for (int n = 1; n <= 1000; ++n) {
    const std::string name = "rules.xml.unreadable" + (n == 1 ? std::string() : "." + std::to_string(n));
    if (FileExists(folder + name)) kept.push_back(name + "=" + Read(folder + name));
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"rules.xml.unreadable=" + damaged, "rules.xml.unreadable.997=copy 997",
                                            "rules.xml.unreadable.998=copy 998", "rules.xml.unreadable.999=copy 999",
                                            "rules.xml.unreadable.1000=copy 1000"}));
  EXPECT_EQ(static_cast<int>(kept.size()), kKeptCopies);
  EXPECT_EQ(tray.notices, std::vector<std::string>{"Settings file that could not be loaded kept as " + folder +
                                                   "rules.xml.unreadable"});
}

// When the log's old part could not be replaced, every line re-read the whole log to try again,
// and the log grew without bound. Now halving waits a minute after a failure, and a log four times
// the limit loses its older half.
TEST_F(EngineTest, AFailedLogHalvingWaitsAndTheLogStaysBounded) {
  TZorvex& e = Loaded();
  std::string big;
  for (int i = 0; big.size() < kMaxLogBytes; ++i) big += "[old] line " + std::to_string(i) + "\r\n";
  Write(e.LogPath(), big);
  Hold(e.LogPath() + ".old");
  e.WriteLog("first");
  LetGo(e.LogPath() + ".old");
  e.WriteLog("second");
  EXPECT_FALSE(FileExists(e.LogPath() + ".old")) << "tried again on the very next line";
  fakes.clock->Advance(kLogHalvingRetry);
  e.WriteLog("third");
  ASSERT_TRUE(FileExists(e.LogPath() + ".old"));
  EXPECT_EQ(Read(e.LogPath() + ".old") + Read(e.LogPath()),
            big + "[07.12.2026 09:30:00] first\r\n[07.12.2026 09:30:00] second\r\n[07.12.2026 09:30:00] third\r\n");

  // Held for good: the log still stays under a bound.
  ::unlink((e.LogPath() + ".old").c_str());
  Hold(e.LogPath() + ".old");
  std::string huge;
  for (int i = 0; huge.size() < kLogHardLimitFactor * kMaxLogBytes; ++i) huge += "[old] line " + std::to_string(i) + "\r\n";
  Write(e.LogPath(), huge);
  fakes.clock->Advance(kLogHalvingRetry);
  e.WriteLog("last");
  const std::string log = Read(e.LogPath());
  EXPECT_LT(log.size(), huge.size() / 2 + 100);
  EXPECT_EQ(log.substr(log.size() - 28), "[07.12.2026 09:30:00] last\r\n");

  // The hard bound was checked only once the pause was over, and the log grew past it meanwhile.
  // Now every line that takes the log to it drops the older half at once, inside the pause too.
  const std::size_t hardBound = kLogHardLimitFactor * kMaxLogBytes;
  std::string nearBound;
  for (int i = 0; nearBound.size() < hardBound - 64; ++i) nearBound += "[old] line " + std::to_string(i) + "\r\n";
  struct Case {
    const char* when;
    std::chrono::seconds intoPause;
  };
  const Case cases[] = {{"right after the failed halving", 0s}, {"at the end of the pause", kLogHalvingRetry - 1s}};
  for (const Case& c : cases) {
    Write(e.LogPath(), big);
    e.WriteLog("halving fails");  // the old part is still held: the pause begins
    fakes.clock->Advance(c.intoPause);
    Write(e.LogPath(), nearBound);
    for (int i = 0; i < 3; ++i) {
      e.WriteLog("line " + std::to_string(i));
      ASSERT_LT(Read(e.LogPath()).size(), hardBound) << c.when << ", line " << i;
    }
    const std::string bounded = Read(e.LogPath());
    EXPECT_LT(bounded.size(), hardBound / 2 + 200) << c.when;
    EXPECT_EQ(bounded.compare(0, 6, "[old] "), 0) << c.when << ": cut at a line start";
    EXPECT_EQ(bounded.substr(bounded.size() - 30), "[07.12.2026 09:30:00] line 2\r\n") << c.when;
  }
}

TEST_F(EngineTest, ARulesFileWithANameItsWriterRefusesStillTakesNewRules) {
  // A name cut by a colon reads, but would not read back as itself: saved as it is, the file would
  // be refused, and no later rule would ever reach the disk.
  const std::string damaged = "<Rules><Rule>*one*</Rule><a:/><Rule>*two*</Rule></Rules>";
  Write(folder + "rules.xml", damaged);
  TZorvex& e = Loaded();
  const std::vector<std::string> loaded = e.RuleList();
  EXPECT_EQ(loaded, (std::vector<std::string>{"*one*", "*two*"}));
  e.AddRule("*three*");
  std::vector<std::string> expected = loaded;
  expected.push_back("*three*");
  EXPECT_EQ(Loaded().RuleList(), expected) << Read(folder + "rules.xml");
  EXPECT_EQ(Read(folder + "rules.xml.unreadable"), damaged) << "the damaged file is kept aside first";
}

// --- Window rules and every rule's statistics in rules.xml. ---

namespace {
const std::string kXmlHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
std::vector<std::string> WindowRuleNames(const TZorvex& engine) {
  std::vector<std::string> names;
  for (const WindowRule& rule : Probe::WindowRules(*Probe::Closer(engine))) names.push_back(rule.readable);
  return names;
}
}  // namespace

TEST_F(EngineTest, AFileMixingRulesAndWindowRulesIsWrittenBackAsRead) {
  const std::string file = kXmlHeader + "<Rules mine=\"1\">\r\n <Rule hits=\"2\" x=\"y\">*ad*</Rule>\r\n"
      " <WindowRule program=\"a.exe\" class=\"#32770\" action=\"press\" button=\"Close\" x=\"y\"/>\r\n <!-- mine -->\r\n"
      " <Extra a=\"b\"/>\r\n <WindowRule title=\"*nag*\" action=\"close\">\r\n  <Note>not an older rule</Note>\r\n"
      " </WindowRule>\r\n <Rule>Ad [1]</Rule>\r\n</Rules>\r\n";
  Write(folder + "rules.xml", file);
  TZorvex& e = Loaded();
  EXPECT_EQ(WindowRuleNames(e), (std::vector<std::string>{"program \"a.exe\", class \"#32770\", press \"Close\"",
                                                          "title \"*nag*\", close"}));
  e.SetRules(e.RuleList());
  e.SaveRules();
  EXPECT_EQ(Read(e.RulesPath()), file);
  // A name the writer refuses: the rules stay, with the attributes this version writes itself.
  Write(folder + "rules.xml", "<Rules><a:/><WindowRule title=\"*nag*\" b:c=\"x\" action=\"close\" hits=\"2\"/></Rules>");
  Loaded().SaveRules();
  EXPECT_EQ(Read(folder + "rules.xml"), kXmlHeader + "<Rules>\r\n <WindowRule title=\"*nag*\" action=\"close\" hits=\"2\"/>\r\n</Rules>\r\n");
}

TEST_F(EngineTest, TheDialogsTitlesKeepEachStayingRulesElementAndEveryWindowRuleInPlace) {
  // The titles, then each element: a title rule's text and hits, a window rule's title. Title rules take the
  // list's order in the places title rules held.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"c", "a", "new"}, "c one two a3 new"}, {{"a", "a", "a"}, "a3 one a1 two a"}, {{}, "one two"}};
  for (const auto& [titles, outline] : cases) {
    Write(folder + "rules.xml", "<Rules><Rule hits=\"3\">a</Rule><WindowRule title=\"one\" action=\"close\"/><Rule>b</Rule>"
                                "<Rule hits=\"1\">a</Rule><WindowRule title=\"two\" action=\"leave\"/><Rule>c</Rule></Rules>");
    TZorvex& e = Loaded();
    e.SetRules(titles);
    std::string seen;
    TSimpleXmlElems& children = e.RulesDoc.Root().Elems();
    for (std::size_t i = 0; i < children.Count(); ++i) {
      TSimpleXmlProps& props = children.Item(i)->Props();
      seen += (i ? " " : "") + children.Item(i)->Value + props.ReadText("hits", "") + props.ReadText("title", "");
    }
    EXPECT_EQ(seen, outline);
    EXPECT_EQ(WindowRuleNames(e), (std::vector<std::string>{"title \"one\", close", "title \"two\", leave"}));
  }
}

TEST_F(EngineTest, AWindowRuleThatCannotBeUsedStaysInTheFileIsNeverAppliedAndIsLoggedOncePerLoad) {
  const std::string rules = " <WindowRule class=\"[abc\" action=\"close\" x=\"y\"/>\r\n <Rule>*ad*</Rule>\r\n"
                            " <WindowRule class=\"#32770\" action=\"Watch\"/>\r\n";
  const std::string file = kXmlHeader + "<Rules>\r\n" + rules + "</Rules>\r\n";
  Write(folder + "rules.xml", file);
  TZorvex& e = Loaded();
  e.SetRules(e.RuleList());
  e.AddRule("*new*");
  EXPECT_EQ(WindowRuleNames(e), std::vector<std::string>{"class \"#32770\", watch"});
  EXPECT_EQ(Read(e.LogPath()), "[07.12.2026 09:30:00] Window Rule Not Used: (class \"[abc\", close), class: '[abc' is "
                               "an invalid mask at (5)\r\n");
  EXPECT_EQ(Read(e.RulesPath()), kXmlHeader + "<Rules>\r\n" + rules + " <Rule>*new*</Rule>\r\n</Rules>\r\n");
  // Held at the start, the file is told of when it loads late, once.
  Hold(folder + "rules.xml");
  TZorvex& late = Loaded();
  LetGo(folder + "rules.xml");
  Write(folder + "rules.xml", file);
  late.RetrySettingsFiles();
  late.RetrySettingsFiles();
  EXPECT_EQ(Occurrences(Read(late.LogPath()), "] Window Rule Not Used: "), 2u);
  EXPECT_EQ(WindowRuleNames(late), std::vector<std::string>{"class \"#32770\", watch"});
}

TEST_F(EngineTest, FitsCountInTheirRulesHitsAndLastAndLandWithTheNextSave) {
  fakes.clock->time = std::chrono::system_clock::time_point(std::chrono::seconds(1796691723));
  const std::string press = "<WindowRule program=\"a.exe\" action=\"press\" button=\"Close\" hits=\"";
  const std::string file = kXmlHeader + "<Rules>\r\n <Rule hits=\"many\">Ad [1]</Rule>\r\n " + press + "41\"/>\r\n"
                           " <Rule>*buy*</Rule>\r\n <Rule>Ad [1]</Rule>\r\n</Rules>\r\n";
  Write(folder + "rules.xml", file);
  TZorvex& e = Loaded();
  // The scanner names a title rule as it prepared it, the DDE path in lower case.
  e.RuleFitted(RuleHit{std::nullopt, PrepareRule("Ad [1]").text});
  e.RuleFitted(RuleHit{std::nullopt, FoldCase("Ad [1]")});
  e.RuleFitted(RuleHit{WindowRuleText{"a.exe", "", "", "press", "Close"}, ""});
  e.RuleFitted(RuleHit{WindowRuleText{"a.exe", "", "", "press", ""}, ""});
  EXPECT_EQ(Read(e.RulesPath()), file) << "counted in memory only";
  desktop->Add("IEFrame", "Buy Now");
  ASSERT_TRUE(mainThread->PumpUntil([&] { return e.Count == 1; }));
  e.FinishDetection();
  ASSERT_TRUE(e.FinishSaves(1s));
  const std::string last = "last=\"2026-12-08T01:02:03Z\"";
  EXPECT_EQ(Read(e.RulesPath()), kXmlHeader + "<Rules>\r\n <Rule hits=\"2\" " + last + ">Ad [1]</Rule>\r\n " + press +
                                     "42\" " + last + "/>\r\n <Rule hits=\"1\" " + last + ">*buy*</Rule>\r\n"
                                     " <Rule>Ad [1]</Rule>\r\n</Rules>\r\n");
}

TEST_F(EngineTest, TheDialogsWindowRulesTakeTheWindowRulesPlacesInTheirOrderAndKeepTheirElements) {
  // The entries (origin or -1 for a new rule, title), then each element: a title rule's text, a
  // window rule's title with its x attribute and hits.
  struct Case {
    std::vector<std::pair<int, std::string>> entries;
    std::string outline;
  };
  const Case cases[] = {
      {{{0, "one"}, {1, "two"}, {2, "three"}}, "a one|y|3 b two|| three||1"},
      {{{2, "three"}, {0, "one"}, {1, "two"}}, "a three||1 b one|y|3 two||"},
      {{{1, "2nd"}, {-1, "new"}}, "a 2nd|| b new||"},
      {{{0, "one"}, {-1, "x"}, {-1, "y"}, {0, "copy"}, {2, "three"}}, "a one|y|3 b x|| y|| copy|| three||1"},
      {{}, "a b"},
  };
  for (const Case& c : cases) {
    Write(folder + "rules.xml", "<Rules><Rule>a</Rule><WindowRule title=\"one\" action=\"close\" x=\"y\" hits=\"3\"/>"
                                "<Rule>b</Rule><WindowRule title=\"two\" action=\"leave\"/>"
                                "<WindowRule title=\"three\" action=\"close\" hits=\"1\"/></Rules>");
    TZorvex& e = Loaded();
    std::vector<StoredWindowRule> rules;
    for (const auto& [origin, title] : c.entries) {
      rules.push_back(StoredWindowRule{WindowRuleText{"", "", title, "close", ""}, {},
                                       origin < 0 ? StoredWindowRule::kNew : static_cast<std::size_t>(origin)});
    }
    e.SetWindowRules(rules);
    std::string seen;
    TSimpleXmlElems& children = e.RulesDoc.Root().Elems();
    for (std::size_t i = 0; i < children.Count(); ++i) {
      TSimpleXmlProps& props = children.Item(i)->Props();
      seen += (i ? " " : "") + children.Item(i)->Value;
      if (children.Item(i)->Name() == "WindowRule") {
        seen += props.ReadText("title", "") + "|" + props.ReadText("x", "") + "|" + props.ReadText("hits", "");
      }
    }
    EXPECT_EQ(seen, c.outline);
    std::vector<std::string> names;
    for (const StoredWindowRule& rule : e.WindowRuleList()) names.push_back("title \"" + rule.text.title + "\", close");
    EXPECT_EQ(WindowRuleNames(e), names) << "the closer has the rules in the new order";
  }
}

TEST_F(EngineTest, TheDialogReadsEveryRulesStatisticsAndAnEmptiedFieldLeavesTheFile) {
  Write(folder + "rules.xml", "<Rules><Rule hits=\"4\" last=\"2026-12-08T01:02:03Z\">a</Rule><Rule>b</Rule>"
                              "<WindowRule program=\"p.exe\" class=\"#32770\" action=\"press\" button=\"OK\" hits=\"7\"/></Rules>");
  TZorvex& e = Loaded();
  const std::vector<RuleStatistics> stats = e.RuleStatisticsList();
  ASSERT_EQ(stats.size(), 2u);
  EXPECT_EQ(stats[0].hits + " " + stats[0].last + " " + stats[1].hits + stats[1].last, "4 2026-12-08T01:02:03Z ");
  std::vector<StoredWindowRule> rules = e.WindowRuleList();
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_TRUE(rules[0].text == (WindowRuleText{"p.exe", "#32770", "", "press", "OK"}));
  EXPECT_EQ(rules[0].stats.hits, "7");
  rules[0].text = WindowRuleText{"p.exe", "", "Nag\tscreen", "minimize", ""};
  e.SetWindowRules(rules);
  e.AddWindowRule(WindowRuleText{"", "Nag", "", "close", ""});
  EXPECT_EQ(Read(e.RulesPath()), kXmlHeader + "<Rules>\r\n <Rule hits=\"4\" last=\"2026-12-08T01:02:03Z\">a</Rule>\r\n"
                                 " <Rule>b</Rule>\r\n <WindowRule program=\"p.exe\" action=\"minimize\" hits=\"7\" "
                                 "title=\"Nag screen\"/>\r\n <WindowRule class=\"Nag\" action=\"close\"/>\r\n</Rules>\r\n");
}
