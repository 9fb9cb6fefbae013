#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "i18n/TextFiles.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "tests/unit/Windows1252Table.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

const std::string kOldHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";
const std::string kUtf8Header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

TEST(CodePage, EveryByteOfWindows1252ConvertsAsWindowsDoes) {
  std::string all;
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    EXPECT_EQ(AnsiToUtf8(std::string(1, static_cast<char>(byte))), testing_1252::Expected(byte)) << "byte " << b;
    all += static_cast<char>(byte);
    expected += testing_1252::Expected(byte);
  }
  EXPECT_EQ(AnsiToUtf8(all), expected) << "a whole text converts byte by byte, zero bytes included";
  EXPECT_TRUE(IsValidUtf8(AnsiToUtf8(all)));
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToUtf8("*caf\xE9* \x80 5 \x93quoted\x94"), "*café* € 5 “quoted”");
}

TEST(Utf8, WellFormedTextStaysAndEachIllFormedPartBecomesOneReplacementCharacter) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string text;
    std::string valid;  // what ValidUtf8 makes of it; the text itself when it is well-formed
  };
  const Case cases[] = {
      {"", ""},
      {"plain ASCII\r\n", "plain ASCII\r\n"},
      {std::string("zero\0byte", 9), std::string("zero\0byte", 9)},
      {"café Ωmega 猫 😀 \xF4\x8F\xBF\xBF \xEF\xBF\xBF", "café Ωmega 猫 😀 \xF4\x8F\xBF\xBF \xEF\xBF\xBF"},
      {"\xE2\x80\x8B", "\xE2\x80\x8B"},                                  // zero-width space
      {"caf\xE9", "caf" + r},                                            // a code-page byte
      {"\x80 lone", r + " lone"},                                        // a continuation byte alone
      {"\xC0\xAF\xC1\xBF", r + r + r + r},                               // overlong two-byte forms
      {"\xE0\x80\xAF", r + r + r},                                       // overlong three-byte form
      {"\xF0\x80\x80\xAF", r + r + r + r},                               // overlong four-byte form
      {"\xED\xA0\x80", r + r + r},                                       // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},                               // beyond U+10FFFF
      {"\xF5\x80\xFE\xFF", r + r + r + r},                               // bytes UTF-8 never uses
      {"\xE2\x82", r},                                                   // cut off at the end
      {"\xF0\x9F\x98" "A", r + "A"},                                     // cut off before a character
      {"\xE2\x82\xAC\xE2\x82", "€" + r},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.text), c.valid == c.text) << c.text;
    EXPECT_EQ(ValidUtf8(c.text), c.valid) << c.text;
    EXPECT_TRUE(IsValidUtf8(ValidUtf8(c.text))) << c.text;
  }
}

TEST(SettingsFiles, AByteOrderMarkOrAUtf8HeaderMeansUtf8AndAnythingElseTheCodePage) {
  const std::string body = "<Rules><Rule>*café*</Rule></Rules>";
  const std::string oldBody = "<Rules><Rule>*caf\xE9*</Rule></Rules>";
  struct Case {
    std::string bytes;
    std::string text;
    const char* why;
  };
  const Case cases[] = {
      {kUtf8Header + body, kUtf8Header + body, "a UTF-8 header"},
      {"<?xml version='1.0' encoding = 'utf-8' ?>" + body, "<?xml version='1.0' encoding = 'utf-8' ?>" + body,
       "names are compared without case, either quote"},
      {"\r\n <?xml encoding=\"UTF8\" version=\"1.0\"?>" + body, "\r\n <?xml encoding=\"UTF8\" version=\"1.0\"?>" + body,
       "blanks before the header, the name without its hyphen"},
      {kOldHeader + oldBody, kOldHeader + "<Rules><Rule>*café*</Rule></Rules>", "what older versions wrote"},
      {oldBody, "<Rules><Rule>*café*</Rule></Rules>", "no header"},
      {body, "<Rules><Rule>*cafÃ©*</Rule></Rules>", "no header: code page even when the bytes could be UTF-8"},
      {kOldHeader + body, kOldHeader + "<Rules><Rule>*cafÃ©*</Rule></Rules>", "a code-page header"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\x80", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>€",
       "another code page named"},
      {"<?xml version=\"UTF-8\"?>\xE9", "<?xml version=\"UTF-8\"?>é", "only the encoding attribute counts"},
      {"<?xml-stylesheet encoding=\"UTF-8\"?>\xE9", "<?xml-stylesheet encoding=\"UTF-8\"?>é", "not a header"},
      {"<!-- c --><?xml version=\"1.0\" encoding=\"UTF-8\"?>\xC3\xA9", "<!-- c --><?xml version=\"1.0\" encoding=\"UTF-8\"?>Ã©",
       "a header only counts at the start"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8", "a cut-off header"},
      {kUtf8Header + oldBody, kUtf8Header + "<Rules><Rule>*café*</Rule></Rules>",
       "code-page bytes under a UTF-8 header, as an editor saves them: nothing is lost"},
      {"\xEF\xBB\xBF" + kOldHeader + body, kOldHeader + body, "a UTF-8 byte-order mark wins over the header"},
      {"\xEF\xBB\xBF" "a\xE9", "aé", "after a UTF-8 byte-order mark, a byte that is not UTF-8 is the code page's"},
      {std::string("\xFF\xFE" "<\0\xE9\0=\0\x3D\xD8\x00\xDE", 12), "<é=😀", "UTF-16 LE with a surrogate pair"},
      {std::string("\xFE\xFF\0<\0\xE9\xD8\x3D\0A\0", 11), "<é\xEF\xBF\xBD" "A\xEF\xBF\xBD",
       "UTF-16 BE, an unpaired surrogate and a lone last byte"},
      {"", "", "an empty file"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeSettingsFile(c.bytes).text, c.text) << c.why;
}

TEST(RuleListFiles, ExportHasAByteOrderMarkAndImportTakesUtf8OrElseTheCodePage) {
  EXPECT_EQ(RuleListFileBytes({"*café*", "猫"}), "\xEF\xBB\xBF*café*\r\n猫\r\n");
  EXPECT_EQ(RuleListFileBytes({}), "\xEF\xBB\xBF");
  struct Case {
    std::string bytes;
    std::string text;
    const char* why;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF*café*\r\n", "*café*\r\n", "our own export"},
      {"\xEF\xBB\xBF\xE9", "é", "after a byte-order mark, a byte that is not UTF-8 is the code page's"},
      {"*café*\r\n", "*café*\r\n", "UTF-8 without a byte-order mark"},
      {"*caf\xE9*\r\n\x80", "*café*\r\n€", "an older export in the code page"},
      {"*casino*\r\n", "*casino*\r\n", "ASCII is the same either way"},
      {"*café*\r\n*caf\xE9*", "*café*\r\n*café*", "one byte that is not UTF-8 garbles nothing else"},
      {std::string("\xFF\xFE*\0\xE9\0", 6), "*é", "UTF-16 LE, as Notepad saves \"Unicode\""},
      {std::string("\xFE\xFF\0*\0\xE9", 6), "*é", "UTF-16 BE"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeRuleListFile(c.bytes).text, c.text) << c.why;
}

// One stray code-page byte in a UTF-8 file made the whole file read in the code page, garbling
// every other character; after a byte-order mark the byte became U+FFFD. Now only that byte is read
// in the code page, and the caller learns that the file mixed encodings.
TEST(TextFiles, UnderUtf8EachByteThatIsNotUtf8IsTheCodePagesAndTheFileIsToldMixed) {
  struct Case {
    std::string bytes;  // a rule list; with a UTF-8 header in front (after the mark), a settings file
    std::string text;
    bool mixed;
    const char* why;
  };
  const Case cases[] = {
      {"*казино*\r\n*caf\xE9*", "*казино*\r\n*café*", true, "a stray byte after UTF-8"},
      {"*caf\xE9* \x93*казино*\x94", "*café* “*казино*”", true, "stray bytes before and between"},
      {"\xE2\x82\xAC\xE2\x82 ", "€â‚ ", true, "a sequence cut short: each of its bytes"},
      {"\xC3\xA9\xC3", "éÃ", true, "cut off at the end"},
      {"\xED\xA0\x80ж", "í\xC2\xA0€ж", true, "a surrogate's bytes, none swallowed"},
      {"\xEF\xBF\xBD\xE9", "\xEF\xBF\xBD" "é", true, "U+FFFD is UTF-8 too"},
      {"\xEF\xBB\xBF*caf\xE9*", "*café*", true, "after a byte-order mark: kept, not replaced"},
      {"\xEF\xBB\xBF*казино*", "*казино*", false, "a byte-order mark and UTF-8 alone"},
      {"*caf\xE9* \x93quoted\x94", "*café* “quoted”", false, "no multi-byte UTF-8: an older file, wholly code page"},
  };
  for (const Case& c : cases) {
    const DecodedText list = DecodeRuleListFile(c.bytes);
    EXPECT_EQ(list.text, c.text) << c.why;
    EXPECT_EQ(list.mixed, c.mixed) << c.why;
    const bool marked = c.bytes.rfind(kUtf8Bom, 0) == 0;
    const std::string body = marked ? c.bytes.substr(kUtf8Bom.size()) : c.bytes;
    const DecodedText settings = DecodeSettingsFile((marked ? std::string(kUtf8Bom) : "") + kUtf8Header + body);
    EXPECT_EQ(settings.text, kUtf8Header + c.text) << c.why;
    EXPECT_EQ(settings.mixed, c.mixed) << c.why;
  }
  // Without a UTF-8 header or mark a settings file is code page, however its bytes look.
  EXPECT_FALSE(DecodeSettingsFile(kOldHeader + "*казино*\r\n*caf\xE9*").mixed);
}

class TextFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorvex-text-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

  fs::path dir_;
};

TEST_F(TextFilesOnDisk, OlderFilesLoadAndEveryFileIsWrittenInUtf8WithAHeaderThatSaysSo) {
  const std::string path = Path("rules.xml");
  Write(path, kOldHeader + "<!-- mine -->\r\n<Rules>\r\n <Rule>*caf\xE9*</Rule>\r\n <Rule a=\"\xFC\">x</Rule>\r\n</Rules>\r\n");
  TSimpleXml doc;
  LoadXmlFile(doc, path);
  EXPECT_EQ(doc.Root().Elems().Item(0)->Value, "*café*");
  EXPECT_EQ(doc.Root().Elems().Item(1)->Props().ReadText("a", ""), "ü");
  SaveXmlFile(doc, path);
  const std::string saved = kUtf8Header + "<!-- mine -->\r\n<Rules>\r\n <Rule>*café*</Rule>\r\n <Rule a=\"ü\">x</Rule>\r\n</Rules>\r\n";
  EXPECT_EQ(ReadWholeFile(path), saved);
  TSimpleXml again;
  LoadXmlFile(again, path);
  SaveXmlFile(again, path);
  EXPECT_EQ(ReadWholeFile(path), saved) << "a UTF-8 file loads and saves unchanged";

  // A document made in memory gets the model's header, set to UTF-8.
  TSimpleXml fresh;
  fresh.Root().SetName("Options");
  fresh.Root().Elems().Add("Language", "C:\\Zorvex\\Languages\\Français.xml");
  SaveXmlFile(fresh, path);
  EXPECT_EQ(ReadWholeFile(path), kUtf8Header + "<Options>\r\n <Language>C:\\Zorvex\\Languages\\Français.xml</Language>\r\n</Options>\r\n");

  // A file whose prolog does not begin with a header gets one in front, or the next load would read
  // its UTF-8 as code page; a later header says UTF-8 too.
  Write(path, "<!-- no header -->\r\n<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Rules><Rule>\xE9</Rule></Rules>");
  TSimpleXml headless;
  LoadXmlFile(headless, path);
  SaveXmlFile(headless, path);
  EXPECT_EQ(ReadWholeFile(path), kUtf8Header + "<!-- no header -->\r\n" + kUtf8Header + "<Rules>\r\n <Rule>é</Rule>\r\n</Rules>\r\n");
  TSimpleXml reloaded;
  LoadXmlFile(reloaded, path);
  EXPECT_EQ(reloaded.Root().Elems().Item(0)->Value, "é");

  // Failures are those of the file and of the reader; a missing file leaves the document as it was.
  EXPECT_THROW(LoadXmlFile(reloaded, Path("missing.xml")), EFileError);
  EXPECT_EQ(reloaded.Root().Elems().Item(0)->Value, "é");
  Write(path, kUtf8Header + "<Rules><Rule>");
  EXPECT_THROW(LoadXmlFile(reloaded, path), TSimpleXmlInvalid);
  EXPECT_THROW(SaveXmlFile(fresh, Path("no/such/folder.xml")), EFileError);
}

TEST_F(TextFilesOnDisk, ALogInTheCodePageIsMovedToTheOldFileBeforeUtf8LinesFollow) {
  const std::string log = Path("zorvex.log");
  KeepLogInUtf8(log);
  EXPECT_FALSE(FileExists(log)) << "no log, nothing to do";

  Write(log, "[1] Popup Killed: caf\xE9\r\n");
  Write(log + ".old", "[0] older half\r\n");
  KeepLogInUtf8(log);
  EXPECT_EQ(ReadWholeFile(log + ".old"), "[1] Popup Killed: caf\xE9\r\n") << "moved whole, bytes unchanged";
  EXPECT_EQ(ReadWholeFile(log), "");

  for (const std::string utf8 : {"[2] Popup Killed: café\r\n", "[2] ASCII only\r\n"}) {
    Write(log, utf8);
    KeepLogInUtf8(log);
    EXPECT_EQ(ReadWholeFile(log), utf8);
    EXPECT_EQ(ReadWholeFile(log + ".old"), "[1] Popup Killed: caf\xE9\r\n");
  }
}

TEST(ShippedLanguages, AreUtf8WithAHeaderThatSaysSoAndKeepTheirLetters) {
  const fs::path folder = (fs::path(ZORVEX_TEST_DATA) / ".." / ".." / "Languages").lexically_normal();
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".xml") continue;
    ++files;
    const std::string bytes = ReadWholeFile(entry.path().string());
    EXPECT_EQ(bytes.compare(0, kUtf8Header.size(), kUtf8Header), 0) << entry.path();
    EXPECT_TRUE(IsValidUtf8(bytes)) << entry.path();
    EXPECT_EQ(DecodeSettingsFile(bytes).text, bytes) << entry.path();
    EXPECT_FALSE(DecodeSettingsFile(bytes).mixed) << entry.path();
  }
  EXPECT_EQ(files, 3);
  TSimpleXml german;
  LoadXmlFile(german, (folder / "Deutsch.xml").string());
  TSimpleXmlElem* main = german.Root().Elems().Find("foMain");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->Elems().Find("actCloseMenu")->Props().ReadText("Caption", ""), "Menü &schließen");
}

}  // namespace
}  // namespace zorvex
