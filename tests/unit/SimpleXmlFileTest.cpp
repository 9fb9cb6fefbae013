#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/Files.h"
#include "xml/SimpleXml.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

class SimpleXmlFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorvex-xml-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  // Names in the folder: no temporary file may be left behind.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::error_code ErrorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const EFileError& e) {
      EXPECT_NE(std::string(e.what()).find('"'), std::string::npos) << "names the file: " << e.what();
      return e.Code();
    }
    return {};
  }

  fs::path dir_;
};

TEST_F(SimpleXmlFile, SaveReplacesALongerFileWholeAndLoadsBack) {
  const std::string path = Path("rules.xml");
  Write(path, std::string(100000, 'x'));
  TSimpleXml doc;
  doc.Root().SetName("Rules");
  doc.Root().Elems().Add("Rule", "*popup*");
  doc.SaveToFile(path);
  EXPECT_EQ(ReadWholeFile(path), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Rules>\r\n"
                                 " <Rule>*popup*</Rule>\r\n</Rules>\r\n");
  EXPECT_EQ(Listing(), std::vector<std::string>{"rules.xml"});
  TSimpleXml back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Root().Elems().ReadText("rule", ""), "*popup*");
}

TEST_F(SimpleXmlFile, LoadErrorsLeaveTheDocumentAsItWas) {
  TSimpleXml doc;
  doc.Root().SetName("Keep");
  doc.Root().Elems().Add("Child", 1);
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromFile(Path("missing.xml")); }), std::errc::no_such_file_or_directory);
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromFile(dir_.string()); }), std::errc::is_a_directory);
  EXPECT_EQ(doc.Root().Name(), "Keep");
  EXPECT_EQ(doc.Root().Elems().Count(), 1u);
}

TEST_F(SimpleXmlFile, ReadOnlyOrUnwritableTargetIsRefusedUntouched) {
  const std::string path = Path("options.xml");
  Write(path, "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(ErrorOf([&] { ReplaceFileContents(path, "new"); }), std::errc::permission_denied);
  EXPECT_EQ(ReadWholeFile(path), "old");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(ErrorOf([&] { ReplaceFileContents(Path("no/such/dir.xml"), "new"); }),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(ErrorOf([&] { ReplaceFileContents(dir_.string(), "new"); }), std::errc::is_a_directory);
  EXPECT_EQ(Listing(), std::vector<std::string>{"options.xml"});
}

// A write that fails half-way (here the file size limit, as a full disk would) keeps the old file.
TEST_F(SimpleXmlFile, FailedWriteLeavesTheOldFileWhole) {
  const std::string path = Path("rules.xml");
  Write(path, "old content");
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::error_code error = ErrorOf([&] { ReplaceFileContents(path, std::string(1 << 20, 'n')); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error, std::errc::file_too_large);
  EXPECT_EQ(ReadWholeFile(path), "old content");
  EXPECT_EQ(Listing(), std::vector<std::string>{"rules.xml"});
}

TEST_F(SimpleXmlFile, ReplacementKeepsModeAndSymbolicLinks) {
  fs::create_directory(dir_ / "real");
  const std::string real = Path("real/rules.xml");
  Write(real, "old");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, dir_ / "link.xml");
  ReplaceFileContents(Path("link.xml"), "new");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.xml"));
  EXPECT_EQ(ReadWholeFile(real), "new");
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"link.xml", "real"}));
}

// A tree the writer refuses is never half written: the file on disk stays as it was.
TEST_F(SimpleXmlFile, RefusedTreeLeavesTheFileAsItWas) {
  const std::string path = Path("rules.xml");
  Write(path, "<Rules><Rule>kept</Rule></Rules>");
  TSimpleXml doc;
  doc.Root().SetName("Rules");
  doc.Root().Elems().Add("Rule", "new");
  doc.Root().Elems().Add("bad name", "x");
  EXPECT_THROW(doc.SaveToFile(path), TSimpleXmlInvalid);
  EXPECT_EQ(ReadWholeFile(path), "<Rules><Rule>kept</Rule></Rules>");
  EXPECT_EQ(Listing(), std::vector<std::string>{"rules.xml"});
}

}  // namespace
}  // namespace zorvex
