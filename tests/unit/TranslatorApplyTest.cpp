#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "i18n/Translator.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;
using namespace widgets;

const TEnumType kAlign{{"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};

// A string list that fails on every replaced line, to break the work on its component.
class FailingLines : public TStringList {
 public:
  void Put(std::size_t, const std::string&) override { throw std::runtime_error("cannot set line"); }
};

// A control with one property or sub-object of every kind the translator knows.
class Control : public TPlainComponent {
 public:
  explicit Control(std::string name) : TPlainComponent(std::move(name)) {
    PublishEnum("Align", kAlign, [this] { return Align; }, [this](int v) { Align = v; });
    PublishInteger("Fails", [] { return 0; }, [](std::int32_t) { throw std::runtime_error("setter failed"); });
    PublishOther("OnClick");
    PublishObject("Images", [] { return nullptr; });
    Columns.Add<TPlainCollectionItem>("Title", 350);
    Columns.Add<TPlainCollectionItem>("Count", 50);
  }
  int Align = 0;
  TFont& Font = PublishOwned("Font", std::make_unique<TFont>());
  TStringList& Lines = PublishOwned("Lines", std::make_unique<TStringList>(std::vector<std::string>{"l0", "l1"}));
  FailingLines& BadLines = PublishOwned("BadLines", std::make_unique<FailingLines>());
  TPlainTreeNodes& Nodes = PublishOwned("Nodes", std::make_unique<TPlainTreeNodes>());
  TPlainListItems& Items = PublishOwned("Items", std::make_unique<TPlainListItems>());
  TCollection& Columns = PublishOwned("Columns", std::make_unique<TCollection>());
};

// Every property value, sub-object content and owned component, one per line, for before/after checks.
std::string Dump(const TPersistent& object, const std::string& path = "") {
  std::string out;
  for (const TPropInfo& p : object.Properties()) {
    const std::string at = path + "." + p.Name();
    switch (p.Kind()) {
      case PropKind::Object:
        if (const TPersistent* sub = p.SubObject()) out += Dump(*sub, at);
        break;
      case PropKind::Other:
        break;
      default:
        out += at + "=" + p.GetString() + std::to_string(p.GetInteger() + p.GetEnum() + p.GetSet()) + "\n";
    }
  }
  if (auto* lines = dynamic_cast<const TStrings*>(&object)) out += path + "=" + lines->Text() + "\n";
  if (auto* nodes = dynamic_cast<const TTreeNodes*>(&object)) {
    for (std::size_t i = 0; i < nodes->Count(); ++i) out += path + "#" + nodes->Text(i) + "\n";
  }
  if (auto* items = dynamic_cast<const TListItems*>(&object)) {
    for (std::size_t i = 0; i < items->Count(); ++i) out += path + "#" + items->Caption(i) + "\n";
  }
  if (auto* collection = dynamic_cast<const TCollection*>(&object)) {
    for (std::size_t i = 0; i < collection->Count(); ++i) out += Dump(collection->Item(i), path + "[]");
  }
  if (auto* component = dynamic_cast<const TComponent*>(&object)) {
    for (std::size_t i = 0; i < component->ComponentCount(); ++i) {
      const TComponent& c = component->Component(i);
      out += Dump(c, path + "/" + c.Name() + ":" + c.ClassName());
    }
  }
  return out;
}

class TranslatorApply : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorvex-tr-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    strings.RegisterString("MenuRules", &menuRules);
    strings.RegisterString("TrayHint", &trayHint);
    options.Nodes.Add(&options.Nodes.Add(nullptr, "Rules"), "Sub");
    options.Nodes.Add(nullptr, "Options");
    options.Items.Add("r0", {"s0"});
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // Writes a language file and loads it.
  void Load(const std::string& body, const std::string& name = "lang.xml") {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << body;
    translator.LoadLanguage(path);
  }
  // Loads a file whose root holds body.
  void LoadRoot(const std::string& body) { Load("<?xml version=\"1.0\"?><Language>" + body + "</Language>"); }

  fs::path dir_;
  TApplication app;
  Control& main = app.Create<Control>("foMain");
  TTranslator& translator = main.Create<TTranslator>("ZorvexTranslator");
  TTranslatorStrings& strings = main.Create<TTranslatorStrings>("Variables");
  Control& options = app.Create<Control>("foOptions");
  Control& browserBox = options.Create<Control>("BrowserBox");
  Control& explorerBox = options.Create<Control>("ExplorerBox");
  std::string menuRules = "Rules";
  std::string trayHint = "Zorvex - %d Popups Killed";
};

TEST_F(TranslatorApply, FormsAndComponentsAreFoundIgnoringCaseOnlyUnderTheirOwner) {
  LoadRoot("<FOOPTIONS Caption='Optionen'><browserbox Caption='Browser'><ExplorerBox Caption='wrong'/></browserbox>"
           "<EXPLORERBOX Caption='Explorer unterstuetzen' Align='alClient'/></FOOPTIONS>"
           "<foMain Caption='main'/><foMain Hint='last section wins for dialogs'/>");
  EXPECT_EQ(options.Caption, "Optionen");
  EXPECT_EQ(browserBox.Caption, "Browser");
  EXPECT_EQ(explorerBox.Caption, "Explorer unterstuetzen");
  EXPECT_EQ(explorerBox.Align, 5);
  EXPECT_EQ(main.Caption, "main");
  EXPECT_EQ(main.Hint, "last section wins for dialogs");

  // A dialog made later is translated from its section by the name before "_"; the last of equal names counts.
  auto& copy = app.Create<Control>("foOptions");
  ASSERT_EQ(copy.Name(), "foOptions_1");
  translator.ApplyToForm(copy);
  EXPECT_EQ(copy.Caption, "Optionen");
  auto& second = app.Create<Control>("foMain");
  translator.ApplyToForm(second);
  EXPECT_EQ(second.Caption, "");
  EXPECT_EQ(second.Hint, "last section wins for dialogs");
  // LoadLanguage reaches an open copy only under its full name.
  LoadRoot("<foOptions Caption='B'/><foOptions_1 Hint='full name'/>");
  EXPECT_EQ(copy.Caption, "Optionen");
  EXPECT_EQ(copy.Hint, "full name");
}

TEST_F(TranslatorApply, SubObjectsListsTreesItemsAndCollections) {
  LoadRoot("<foOptions><Font Name='Tahoma' Size='12' Style='[fsBold, fsItalic]'><Pitch>fpFixed</Pitch>"
           "<Color>$FF</Color><Style>fsUnderline</Style></Font>"
           "<Lines><x Index='1' Value='L1'/><x Index='0'/><x Value='no index'/><x Index='2' Value='beyond'/>"
           "<x Index='-1' Value='negative'/></Lines>"
           "<Nodes><n Index='1' Value='Sub\\n'/><n Index='2' Value='Optionen'/><n Index='3' Value='x'/></Nodes>"
           "<Items><i Index='0' Value='no column'/><i Index='0' Column='1' Value='S0'/>"
           "<i Index='0' Column='2' Value='x'/><i Index='1' Column='0' Value='x'/></Items>"
           "<Columns><c Index='1' Caption='Anzahl'><Width>60</Width></c><c Index='2' Caption='x'/>"
           "<c Caption='no index'/></Columns><Images Caption='none'/><Caption>text is no sub-object</Caption>"
           "</foOptions><foMain><Lines><![CDATA[one\r\ntwo\nthree]]></Lines></foMain>");
  EXPECT_EQ(options.Font.Name, "Tahoma");
  EXPECT_EQ(options.Font.Height, -16);
  EXPECT_EQ(options.Font.Style, TFont::kUnderline);
  EXPECT_EQ(options.Font.Pitch, 2);
  EXPECT_EQ(options.Font.Color, 255);
  EXPECT_EQ(options.Lines.Lines(), (std::vector<std::string>{"", "L1"}));
  EXPECT_EQ(options.Nodes.Text(1), "Sub\\n");
  EXPECT_EQ(options.Nodes.Text(2), "Optionen");
  EXPECT_EQ(options.Items.Caption(0), "r0");
  EXPECT_EQ(options.Items.SubItem(0, 0), "S0");
  EXPECT_EQ(Dump(options.Columns), "[].Caption=Title0\n[].Width=350\n[].Caption=Anzahl0\n[].Width=60\n");
  EXPECT_EQ(options.Caption, "");
  EXPECT_EQ(main.Lines.Lines(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(TranslatorApply, NamedStringsTakeEveryLineBreakAndTheLatestRegistration) {
  std::string later = "x";
  strings.RegisterString("MENURULES", &later);
  LoadRoot("<foMain><Variables><s Name='menurules' Value='Regeln'/><s Name='TrayHint' Value='a\\nb\\nc'/>"
           "<s Name='Unknown' Value='x'/><s Value='no name'/></Variables></foMain>");
  EXPECT_EQ(menuRules, "Rules");
  EXPECT_EQ(later, "Regeln");
  EXPECT_EQ(trayHint, "a\r\nb\r\nc");
  // The same text in a property breaks the line once.
  LoadRoot("<foMain Caption='a\\nb\\nc'/>");
  EXPECT_EQ(main.Caption, "a\r\nb\\nc");
  EXPECT_THROW(strings.RegisterString("x", nullptr), std::invalid_argument);
}

TEST_F(TranslatorApply, LaterLanguagesOnlyOverwriteWhatTheyName) {
  LoadRoot("<foOptions Caption='A' Hint='hint A'><ExplorerBox Caption='box A'/></foOptions>"
           "<foMain><Variables><s Name='MenuRules' Value='rules A'/></Variables></foMain>");
  LoadRoot("<foOptions Caption='B'/>");
  EXPECT_EQ(options.Caption, "B");
  EXPECT_EQ(options.Hint, "hint A");
  EXPECT_EQ(explorerBox.Caption, "box A");
  EXPECT_EQ(menuRules, "rules A");

  // A missing file, or one that fails to parse, keeps the document of the last good file for later dialogs.
  const std::string before = Dump(app);
  translator.LoadLanguage((dir_ / "missing.xml").string());
  Load("<Language><foOptions Caption='C'/><foOptions>", "broken.xml");
  EXPECT_EQ(Dump(app), before);
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Load), 2u);
  auto& later = app.Create<Control>("foOptions");
  translator.ApplyToForm(later);
  EXPECT_EQ(later.Caption, "B");
}

TEST_F(TranslatorApply, LanguageFilesInUtf8AndOlderOnesInTheCodePageGiveTheSameTexts) {
  // An older file as earlier versions wrote it: code-page bytes under an "iso-8859-1" header.
  Load("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Language><foOptions Caption='R\xE8gles'/>"
       "<foMain><Variables><S Name='MenuRules' Value='R\xE8gles \x80'/></Variables></foMain></Language>");
  EXPECT_EQ(options.Caption, "Règles");
  EXPECT_EQ(menuRules, "Règles €");
  Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Language><foOptions Caption='Правила 規則'/></Language>");
  EXPECT_EQ(options.Caption, "Правила 規則");
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Load), 0u);
}

TEST_F(TranslatorApply, EachGuardEndsOnlyItsOwnWork) {
  int fontChanges = 0;
  options.Font.OnChange = [&] {
    if (fontChanges++ == 0) throw std::runtime_error("font refused");
  };
  options.BadLines.Add("l0");
  LoadRoot("<foOptions Fails='1' Caption='before' OnClick='x' Font='x'>"
           "<Font><Name>bad</Name><Height>-20</Height></Font>"
           "<BrowserBox Caption='applied'/>"
           "<BadLines><x Index='0' Value='x'/></BadLines>"
           "<ExplorerBox Caption='skipped'/><Caption>skipped</Caption></foOptions>"
           "<foMain Caption='next form'/>");
  EXPECT_EQ(options.Caption, "before");
  EXPECT_EQ(options.Font.Height, -20);
  EXPECT_EQ(browserBox.Caption, "applied");
  EXPECT_EQ(explorerBox.Caption, "");
  EXPECT_EQ(main.Caption, "next form");
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Attribute), 1u);
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::ChildProperty), 1u);
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Component), 1u);
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Load), 0u);
}

TEST_F(TranslatorApply, HostileFilesChangeNothingTheyShouldNot) {
  const std::string design = Dump(app);
  std::mt19937 random(20240607);
  std::string garbage(1 << 16, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  std::string unknown = "<Language>";
  for (int i = 0; i < 5000; ++i) {
    unknown += "<foOptions Nope='1' caption2='x'><Ghost" + std::to_string(i) + " Caption='x'><Lines Index='0'/>" +
               "</Ghost" + std::to_string(i) + "><Font><Unknown>1</Unknown><Nodes Index='0' Value='x'/></Font>" +
               "<Columns><c Index='99' Caption='x'/><c Index='x'/></Columns><OnClick>x</OnClick><Images/>" +
               "<foMain Caption='not owned here'/></foOptions>";
  }
  unknown += "</Language>";
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<foOptions Caption='deep'>";
  const std::pair<const std::string*, std::size_t> files[] = {{&garbage, 1}, {&unknown, 1}, {&deep, 2}};
  for (const auto& [file, failedLoads] : files) {
    Load(*file);
    translator.ApplyToForm(options);
    EXPECT_EQ(Dump(app), design);
    EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Load), failedLoads);
  }

  // Random damage to a valid file never stores a value a property cannot hold.
  const std::string valid =
      "<L><foOptions Caption='c' Align='3' Enabled='True' ShortCut='Ctrl+A'><ExplorerBox Checked='1' Align='alTop'/>"
      "<Font Style='[fsBold]' Pitch='fpFixed' Charset='2'/><Lines><x Index='1' Value='v'/></Lines>"
      "<Columns><c Index='0' Width='9'><Caption>t</Caption></c></Columns></foOptions></L>";
  for (int round = 0; round < 400; ++round) {
    std::string text = valid;
    for (int cut = 0; cut < 3; ++cut) text[random() % text.size()] = "<>/='[]0123456789-$xX, \\n"[random() % 25];
    Load(text);
    translator.ApplyToForm(options);
    for (const Control* c : {&options, &explorerBox}) {
      ASSERT_GE(c->Align, 0);
      ASSERT_LT(c->Align, kAlign.Count());
    }
    ASSERT_LE(options.Font.Pitch, 2);
    ASSERT_EQ(options.Font.Style & ~0xFu, 0u);
    ASSERT_LE(options.Font.Charset, 255);
    ASSERT_EQ(options.Lines.Count(), 2u);
    ASSERT_EQ(options.Columns.Count(), 2u);
    ASSERT_EQ(options.ComponentCount(), 2u);
    ASSERT_EQ(explorerBox.Name(), "ExplorerBox");
  }

  // A sub-object that leads back to its holder is followed only as deep as the file nests.
  options.PublishObject("Self", [this] { return &options; });
  std::string nested;
  for (int i = 0; i < 250; ++i) nested += "<Self Caption='" + std::to_string(i) + "'>";
  for (int i = 0; i < 250; ++i) nested += "</Self>";
  LoadRoot("<foOptions>" + nested + "</foOptions>");
  EXPECT_EQ(options.Caption, "249");
}

}  // namespace
}  // namespace zorvex
