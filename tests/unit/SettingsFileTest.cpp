// One settings file over a host that records what it is told: how each state of the file at start
// is loaded, saved, kept aside or waited for, without the engine.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "engine/SettingsFile.h"
#include "i18n/TextFiles.h"
#include "platform/Files.h"

using namespace zorvex;

namespace {

struct RecordingHost : ISettingsHost {
  void WriteLog(const std::string& text) override { log += text + "\n"; }
  void Notice(const std::string& text) override { notices += text + "\n"; }
  void Pause(std::chrono::milliseconds span) override { now += span; }
  std::chrono::steady_clock::time_point Steady() const override { return now; }
  std::string log, notices;
  std::chrono::steady_clock::time_point now;
};

TEST(SettingsFile, EachStateAtStartIsLoadedSavedKeptAsideOrWaitedFor) {
  using R = SettingsFile::LoadResult;
  const struct Case {
    const char* state;
    const char* bytes;  // nullptr: missing; "/": a folder, which can be neither read nor replaced
    R result;
    bool saved;          // the first save writes
    const char* logged;  // what TellOfLoad logs, the start of it
    bool keptAside;
  } cases[] = {
      {"missing", nullptr, R::Missing, true, "", false},
      {"whole", "<Rules><Rule>a</Rule></Rules>", R::Loaded, true, "", false},
      {"empty", "", R::Missing, true, "", false},  // made by a package manager: the defaults, quietly
      {"damaged", "<Rules><Rule>a", R::CannotParse, true, "Cannot load settings file ", true},
      {"held", "/", R::CannotRead, false, "Cannot load settings file ", false},
  };
  char pattern[] = "/tmp/zorvex-settingsfile-XXXXXX";
  const std::string folder = std::string(::mkdtemp(pattern)) + "/";
  for (const Case& c : cases) {
    const std::string path = folder + c.state + ".xml";
    if (c.bytes && std::string(c.bytes) == "/") {
      ::mkdir(path.c_str(), 0755);
    } else if (c.bytes) {
      std::ofstream(path, std::ios::binary) << c.bytes;
    }
    RecordingHost host;
    TSimpleXml doc;
    R result{};
    int writes = 0, lateLoads = 0;
    SettingsFile file(host, {path, [&](bool brief) { result = file.Load(doc, brief); },
                             [&] {
                               ++writes;
                               SaveXmlFile(doc, path);
                             }, [&] { ++lateLoads; }});
    file.Start();
    EXPECT_EQ(result, c.result) << c.state;
    file.TellOfLoad();
    EXPECT_EQ(host.log.rfind(c.logged, 0), 0u) << c.state << ": " << host.log;
    EXPECT_EQ(file.Save(true), c.saved) << c.state;
    EXPECT_EQ(writes > 0, c.saved) << c.state << ": never written over before it loaded";
    EXPECT_EQ(FileExists(path + ".unreadable"), c.keptAside) << c.state;
    EXPECT_EQ(host.notices.find("kept as " + path + ".unreadable") != std::string::npos, c.keptAside) << c.state;
    EXPECT_EQ(host.notices.empty(), !c.keptAside) << c.state << ": " << host.notices;
    EXPECT_EQ(file.Unsaved(), !c.saved) << c.state;
    if (c.saved) {
      EXPECT_NE(ReadWholeFile(path).find("<?xml"), std::string::npos) << c.state << ": the first save writes it whole";
    }
    if (c.result != R::CannotRead) continue;

    // Let go: the timer loads it, tells the owner once, and the save that waited lands.
    ::rmdir(path.c_str());
    std::ofstream(path, std::ios::binary) << "<Rules/>";
    file.RetryLoad();
    file.RetrySave();
    file.RetryLoad();
    EXPECT_EQ(lateLoads, 1);
    EXPECT_NE(host.log.find("Settings file " + path + " loaded\n"), std::string::npos) << host.log;
    EXPECT_FALSE(file.Unsaved());
    EXPECT_EQ(writes, 1);
  }
  std::system(("rm -rf '" + folder + "'").c_str());
}

}  // namespace
