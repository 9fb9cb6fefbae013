#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/SaveLeftovers.h"

namespace zorvex {
namespace {

// No process can have this id (Linux ids stop at 2^22), so its leftovers are stale.
constexpr const char* kGone = "99999999";

class SaveRecovery : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorvex-recovery-XXXXXX";
    folder_ = std::string(::mkdtemp(pattern)) + "/";
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
  std::string Path(const std::string& name) const { return folder_ + name; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder_.c_str())) {
      while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string folder_;
};

TEST(SaveLeftoverNames, OnlyNamesASaveOfThisFileLeavesAreTaken) {
  using leftovers::Kind;
  const struct {
    const char* name;
    bool taken;
    Kind kind;
    std::uint64_t pid;
  } cases[] = {
      {"rules.xml.~12_0.part", true, Kind::Part, 12},
      {"rules.xml.~12_7.new", true, Kind::New, 12},
      {"rules.xml.~4294967295_3.old", true, Kind::Old, 4294967295u},
      {"rules.xml.tmp345.2", true, Kind::Part, 345},      // earlier versions on POSIX
      {"rules.xml.~8_1.tmp", true, Kind::Part, 8},        // earlier versions on Windows
      {"rules.xml.~8_1.tmp.old", true, Kind::Old, 8},     // the old file they moved aside
      {"rules.xml", false, Kind::Part, 0},
      {"rules.xml.unreadable", false, Kind::Part, 0},
      {"rules.xml.~12_0.new.bak", false, Kind::Part, 0},
      {"rules.xml.~_0.new", false, Kind::Part, 0},
      {"rules.xml.~12.new", false, Kind::Part, 0},
      {"rules.xml.~12_.new", false, Kind::Part, 0},
      {"rules.xml.~x2_0.new", false, Kind::Part, 0},
      {"rules.xml.tmp12", false, Kind::Part, 0},
      {"rules.xml.tmp12.3x", false, Kind::Part, 0},
      {"rules.xml.~99999999999999999999999_0.new", false, Kind::Part, 0},  // overflows
      {"rules.xmlx.~12_0.new", false, Kind::Part, 0},
      {"options.xml.~12_0.new", false, Kind::Part, 0},
  };
  for (const auto& c : cases) {
    leftovers::Leftover got;
    ASSERT_EQ(leftovers::Parse("rules.xml", c.name, got), c.taken) << c.name;
    if (!c.taken) continue;
    EXPECT_EQ(got.kind, c.kind) << c.name;
    EXPECT_EQ(got.pid, c.pid) << c.name;
  }
  EXPECT_EQ(leftovers::Name("/a/rules.xml", 12, 7, ".new"), "/a/rules.xml.~12_7.new");
}

TEST_F(SaveRecovery, AMissingFileComesBackWholeAndStaleLeftoversGo) {
  const std::string gone = kGone;
  const std::string running = std::to_string(::getppid());
  const struct {
    std::vector<std::pair<std::string, std::string>> files;  // name, content
    std::string restored;                                    // rules.xml afterwards; "-" for none
  } cases[] = {
      // The new copy wins over the old one, and a cut-off part is never put back.
      {{{"rules.xml.~" + gone + "_1.new", "new"}, {"rules.xml.~" + gone + "_1.old", "old"},
        {"rules.xml.~" + gone + "_2.part", "cut"}},
       "new"},
      {{{"rules.xml.~" + gone + "_1.old", "old"}, {"rules.xml.~" + gone + "_2.part", "cut"}}, "old"},
      {{{"rules.xml.~" + gone + "_1.tmp.old", "older version's"}, {"rules.xml.~" + gone + "_1.tmp", "cut"}},
       "older version's"},
      {{{"rules.xml.~" + gone + "_2.part", "cut"}, {"rules.xml.tmp" + gone + ".0", "cut"}}, "-"},
      // A target that is there stays as it is.
      {{{"rules.xml", "current"}, {"rules.xml.~" + gone + "_1.new", "new"}, {"rules.xml.~" + gone + "_1.old", "old"},
        {"rules.xml.tmp" + gone + ".5", "cut"}},
       "current"},
  };
  for (const auto& c : cases) {
    for (const auto& [name, bytes] : c.files) Write(name, bytes);
    // Neither another running save's files nor other files are touched.
    const std::vector<std::string> untouched = {"other.xml.~" + gone + "_1.new", "rules.xml.unreadable",
                                                "rules.xml.~" + running + "_1.part"};
    for (const std::string& name : untouched) Write(name, "keep");
    RecoverInterruptedSave(Path("rules.xml"));
    std::vector<std::string> expected = untouched;
    if (c.restored != "-") expected.push_back("rules.xml");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(), expected) << c.restored;
    if (c.restored != "-") {
      EXPECT_EQ(ReadWholeFile(Path("rules.xml")), c.restored);
    }
    std::system(("rm -f '" + folder_ + "'*").c_str());
  }
  RecoverInterruptedSave(Path("missing-folder/rules.xml"));  // nothing to do, no failure
}

const char* g_killAt = "";

void KillSelf(const char* step) {
  if (std::string(g_killAt) == step) ::kill(::getpid(), SIGKILL);
}

// A save killed at any step leaves the old file whole; the leftover goes at the next start.
TEST_F(SaveRecovery, ASaveKilledAtEachStepLeavesTheOldFileAndRecoveryTidiesUp) {
  for (const char* step : {"part", "complete"}) {
    Write("rules.xml", "old content, longer than the new");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      g_killAt = step;
      SetSaveStepHookForTesting(KillSelf);
      try {
        ReplaceFileContents(Path("rules.xml"), "new content");
      } catch (...) {
        ::_exit(2);
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << step << ": the save did not reach the step";
    EXPECT_EQ(ReadWholeFile(Path("rules.xml")), "old content, longer than the new") << step;
    EXPECT_EQ(Listing().size(), 2u) << step << ": the killed save leaves its temporary file";
    RecoverInterruptedSave(Path("rules.xml"));
    EXPECT_EQ(Listing(), std::vector<std::string>{"rules.xml"}) << step;
    EXPECT_EQ(ReadWholeFile(Path("rules.xml")), "old content, longer than the new") << step;
  }
  ReplaceFileContents(Path("rules.xml"), "new content");
  EXPECT_EQ(ReadWholeFile(Path("rules.xml")), "new content");
  EXPECT_EQ(Listing(), std::vector<std::string>{"rules.xml"});
}

}  // namespace
}  // namespace zorvex
