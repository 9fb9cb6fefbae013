#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
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
      {"rules.xml.~9_2.kept", true, Kind::Kept, 9},       // the old content of a save in place
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
      {{{"rules.xml.~" + gone + "_1.old", "old"}, {"rules.xml.~" + gone + "_1.new", "new"},
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

// Recovery at start over made-up leftovers and processes. Before, a leftover was skipped while any
// process of its id ran or when the id was our own, so a reused id cost the user's file.
TEST(SaveRecoveryPlan, IdsCountOnlyForProcessesStartedBeforeTheSaveAndAMissingFileAlwaysComesBack) {
  using leftovers::Kind;
  constexpr std::uint64_t kOwn = 7, kOlderProcess = 20, kNewerProcess = 30, kGonePid = 40;
  // Processes 20 and 30 run; 20 started at time 100, 30 at time 500.
  const leftovers::StartedBefore startedBefore = [](std::uint64_t pid, std::int64_t time) {
    if (pid == kOlderProcess) return 100 < time;
    if (pid == kNewerProcess || pid == kOwn) return 500 < time;
    return false;
  };
  auto found = [](Kind kind, std::uint64_t pid, std::uint64_t n, std::int64_t time) {
    return leftovers::Found{"f", leftovers::Leftover{kind, pid, n}, time};
  };
  const struct {
    const char* what;
    std::vector<leftovers::Found> found;
    bool missing;
    int restored;                    // index, -1 for none
    std::vector<std::size_t> removed;
    int rewritten;                   // index of the copy written back into the target, -1 for none
  } cases[] = {
      {"an id reused by a process started after the save: stale",
       {found(Kind::Part, kNewerProcess, 1, 300)}, false, -1, {0}, -1},
      {"our own id: no save of ours runs at start",
       {found(Kind::Part, kOwn, 1, 900)}, false, -1, {0}, -1},
      {"a process that started before the save may still be saving",
       {found(Kind::Part, kOlderProcess, 1, 300), found(Kind::Part, kGonePid, 2, 300)}, false, -1, {1}, -1},
      {"a missing file comes back even from a save that may still run",
       {found(Kind::Old, kOlderProcess, 1, 200), found(Kind::New, kOlderProcess, 1, 300)}, true, 1, {}, -1},
      {"an id reused while the file is missing: restored, the rest tidied",
       {found(Kind::Old, kNewerProcess, 1, 200), found(Kind::New, kNewerProcess, 1, 300),
        found(Kind::Part, kNewerProcess, 2, 310)}, true, 1, {0, 2}, -1},
      {"a stale new copy older than an old one never wins",
       {found(Kind::New, kGonePid, 1, 100), found(Kind::Old, kGonePid, 3, 400), found(Kind::New, kGonePid, 3, 400)},
       true, 2, {0, 1}, -1},
      {"the old copy is the save's content when its new one is older",
       {found(Kind::New, kGonePid, 1, 100), found(Kind::Old, kGonePid, 3, 400)}, true, 1, {0}, -1},
      {"a moved-aside old copy keeps its content's time: the save's time is its newest file",
       {found(Kind::Old, kOlderProcess, 4, 50), found(Kind::Part, kOlderProcess, 4, 300)}, false, -1, {}, -1},
      {"cut-off parts are never put back", {found(Kind::Part, kGonePid, 1, 300)}, true, -1, {0}, -1},
      // The old content of a save in place cut short goes back into the target that is there.
      {"a stale kept copy is written back, then removed with the rest",
       {found(Kind::Part, kGonePid, 2, 300), found(Kind::Kept, kGonePid, 1, 200)}, false, -1, {0, 1}, 1},
      {"the newest of two stale kept copies",
       {found(Kind::Kept, kGonePid, 1, 200), found(Kind::Kept, kOwn, 5, 600)}, false, -1, {0, 1}, 1},
      {"a kept copy of a save that may still run is left alone",
       {found(Kind::Kept, kOlderProcess, 1, 300)}, false, -1, {}, -1},
      {"a missing target gets a kept copy back by name",
       {found(Kind::Kept, kGonePid, 1, 200), found(Kind::Part, kGonePid, 1, 250)}, true, 0, {1}, -1},
  };
  for (const auto& c : cases) {
    const leftovers::Plan plan = leftovers::PlanRecovery(c.found, c.missing, kOwn, startedBefore);
    EXPECT_EQ(plan.restore ? static_cast<int>(*plan.restore) : -1, c.restored) << c.what;
    EXPECT_EQ(plan.remove, c.removed) << c.what;
    EXPECT_EQ(plan.rewrite ? static_cast<int>(*plan.rewrite) : -1, c.rewritten) << c.what;
  }
}

// A save in place over files in memory whose rewrite fails the first few times, halfway through.
TEST(SaveInPlaceSteps, AFailedRewriteGetsTheOldContentBackOrKeepsItsCopyForTheNextSave) {
  const struct {
    int failures;            // rewrites that fail before one works
    const char* afterFirst;  // the target after the first save failed
    bool copyStays;
  } cases[] = {
      {1, "old content", false},  // the old content went back
      {2, "old c", true},         // even that failed: half a file, and the copy stays for the next save
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> files = {{"t", "old content"}};
    int failures = c.failures, copies = 0;
    leftovers::InPlaceSteps steps;
    steps.read = [&](const std::string& path) { return files.at(path); };
    steps.keepCopy = [&](const std::string& bytes) {
      files["t.kept" + std::to_string(++copies)] = bytes;
      return "t.kept" + std::to_string(copies);
    };
    steps.rewrite = [&](const std::string& bytes) {
      if (failures-- > 0) {
        files["t"] = bytes.substr(0, 5);
        throw std::runtime_error("disk full");
      }
      files["t"] = bytes;
    };
    steps.remove = [&](const std::string& path) { files.erase(path); };
    EXPECT_THROW(leftovers::SaveInPlace("t", "new content", steps), std::runtime_error);
    EXPECT_EQ(files["t"], c.afterFirst);
    EXPECT_EQ(files.count("t.kept1"), c.copyStays ? 1u : 0u);
    leftovers::SaveInPlace("t", "newer content", steps);
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"t", "newer content"}})) << c.failures;
    EXPECT_EQ(copies, c.copyStays ? 1 : 2) << "a half-written target is never kept as the old content";
  }
}

// The same on the real system: the leftovers of a killed save carry the id of a process that is
// alive now but started after them (an id reused), or our own id.
TEST_F(SaveRecovery, ALeftoverWhoseIdWasReusedIsRecoveredAndTidied) {
  const pid_t reuser = ::fork();
  ASSERT_GE(reuser, 0);
  if (reuser == 0) {
    ::pause();
    ::_exit(0);
  }
  for (const std::string& pid : {std::to_string(reuser), std::to_string(::getpid())}) {
    Write("rules.xml.~" + pid + "_1.new", "new");
    Write("rules.xml.~" + pid + "_2.part", "cut");
    // Written an hour ago, before either process started.
    const timespec past[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    for (const char* name : {"_1.new", "_2.part"})
      ASSERT_EQ(::utimensat(AT_FDCWD, Path("rules.xml.~" + pid + name).c_str(), past, 0), 0);
    RecoverInterruptedSave(Path("rules.xml"));
    EXPECT_EQ(Listing(), std::vector<std::string>{"rules.xml"}) << pid;
    EXPECT_EQ(ReadWholeFile(Path("rules.xml")), "new") << pid;
    std::system(("rm -f '" + folder_ + "'*").c_str());
  }
  ::kill(reuser, SIGKILL);
  ::waitpid(reuser, nullptr, 0);
}

const char* g_killAt = "";

}  // namespace

// The tests' own save-step notice, linked instead of the program's empty one: a forked child that
// set g_killAt ends itself there.
void SaveStepReached(const char* step) {
  if (std::string(g_killAt) == step) ::kill(::getpid(), SIGKILL);
}

namespace {

// A save killed at any step leaves the old file whole; the leftover goes at the next start. A file
// with a second name, as a package manager links one to keep it between versions, stays one file
// under both names through that and through a whole save.
TEST_F(SaveRecovery, ASaveKilledAtEachStepLeavesTheOldFileAndRecoveryTidiesUp) {
  const std::string old = "old content, longer than the new";
  const struct {
    const char* step;
    bool linked;
  } cases[] = {{"part", false}, {"complete", false}, {"part", true}, {"kept", true}, {"rewrite", true}};
  for (const auto& c : cases) {
    const std::string what = std::string(c.step) + (c.linked ? ", linked" : "");
    Write("rules.xml", old);
    std::vector<std::string> names = {"rules.xml"};
    if (c.linked) {
      ASSERT_EQ(::link(Path("rules.xml").c_str(), Path("persist.xml").c_str()), 0);
      names.insert(names.begin(), "persist.xml");
    }
    const auto same = [&](const std::string& content) {
      struct stat a {}, b {};
      EXPECT_EQ(ReadWholeFile(Path("rules.xml")), content) << what;
      if (!c.linked) return;
      EXPECT_TRUE(::stat(Path("rules.xml").c_str(), &a) == 0 && ::stat(Path("persist.xml").c_str(), &b) == 0 &&
                  a.st_ino == b.st_ino && a.st_nlink == 2) << what << ": the names are two files now";
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      g_killAt = c.step;
      try {
        ReplaceFileContents(Path("rules.xml"), "new content");
      } catch (...) {
        ::_exit(2);
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << what << ": the save did not reach the step";
    if (std::string(c.step) != "rewrite") same(old);
    EXPECT_EQ(Listing().size(), names.size() + 1) << what << ": the killed save leaves its temporary file";
    RecoverInterruptedSave(Path("rules.xml"));
    EXPECT_EQ(Listing(), names) << what;
    same(old);
    ReplaceFileContents(Path("rules.xml"), "new content");
    EXPECT_EQ(Listing(), names) << what;
    same("new content");
    std::system(("rm -f '" + folder_ + "'*").c_str());
  }
}

}  // namespace
}  // namespace zorvex
