#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "i18n/Translator.h"

namespace zorvex {
namespace {

using widgets::PropKind;
using widgets::TEnumType;
using widgets::TPlainComponent;

const TEnumType kAnchors{{"akLeft", "akTop", "akRight", "akBottom"}};

TEST(TranslatorConvert, ShortCuts) {
  const std::pair<const char*, int> cases[] = {
      {"Ctrl+Shift+Ins", 0x602D}, {"shift+CTRL+ins", 0x602D}, {"24621", 0},       {"^A", 0x4041},
      {"Alt+F4", 0x8073},         {"Ctrl+Ctrl+A", 0x4041},     {"Shift+^Alt+Del", 0xE02E},
      {"BkSp", 0x08},             {"tab", 0x09},               {"Enter", 0x0D},   {"Esc", 0x1B},
      {"Space", 0x20},            {"PgUp", 0x21},              {"PgDn", 0x22},    {"End", 0x23},
      {"Home", 0x24},             {"Left", 0x25},              {"Up", 0x26},      {"Right", 0x27},
      {"Down", 0x28},             {"Del", 0x2E},               {"0", 0x30},       {"9", 0x39},
      {"z", 0x5A},                {"F1", 0x70},                {"f10", 0x79},     {"F24", 0x87},
      {"F25", 0},                 {"F0", 0},                   {"F01", 0},        {"", 0},
      {"Ctrl+", 0},               {"Ctrl + A", 0},             {"Insert", 0},     {"AB", 0},
      {"A+", 0},                  {"Ctrl+Num 5", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(TextToShortCut(text), value) << text;

  int asked = 0;
  const TKeyNameHook keyName = [&](int vk) {
    ++asked;
    return vk == 0x65 ? std::string("Num 5") : vk == 0x41 ? std::string("Insert") : std::string();
  };
  EXPECT_EQ(TextToShortCut("Ctrl+num 5", keyName), 0x4065);
  // A key with a built-in name is never renamed by the hook.
  EXPECT_EQ(TextToShortCut("Insert", keyName), 0);
  asked = 0;
  EXPECT_EQ(TextToShortCut("Ins", keyName), 0x2D);
  EXPECT_EQ(asked, 0);
}

TEST(TranslatorConvert, Enumerations) {
  const TEnumType align{{"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};
  const std::pair<const char*, std::int64_t> cases[] = {
      {"alClient", 5}, {"ALTOP", 1}, {"3", 3},         {"$4", 4},  {"0x2", 2},        {" 2", 2},
      {"0", 0},        {"00", 0},    {"-1", -1},       {"99", 99}, {"4294967297", 0}, {"2 ", 0},
      {"nothing", 0},  {"", 0},      {"-2147483648", INT32_MIN},
  };
  for (const auto& [text, ordinal] : cases) EXPECT_EQ(TextToEnum(text, align), ordinal) << text;
  EXPECT_EQ(TextToEnum("tRuE", widgets::BooleanType()), 1);
}

TEST(TranslatorConvert, Sets) {
  const std::pair<const char*, std::optional<widgets::TSetValue>> cases[] = {
      {"", 0u},
      {"[]", 0u},
      {"[akLeft, akTop]", 3u},
      {"akRight", 4u},
      {" [ akBottom,akleft ]", 9u},
      {"[[akTop", 2u},
      {",,,", 0u},
      {"[akLeft]\r\n\takTop", 3u},
      {"[akLeft, nothing]", std::nullopt},
      {"[akLeft]junk", std::nullopt},
      {"akLeft;akTop", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(TextToSet(text, kAnchors), value) << text;
}

// The conversion table as properties see it, through attributes and through child element text.
class Target : public TPlainComponent {
 public:
  Target() : TPlainComponent("Target") {
    PublishSet("Anchors", kAnchors, [this] { return Anchors; }, [this](widgets::TSetValue v) { Anchors = v; });
    PublishString("Wide", [this] { return Wide; }, [this](const std::string& s) { Wide = s; }, PropKind::WideString);
    PublishObject("Action", [this] { return &Action; });
    Action.PublishString("Wide", [this] { return ActionWide; }, [this](const std::string& s) { ActionWide = s; },
                         PropKind::WideString);
  }
  widgets::TSetValue Anchors = 1;
  std::string Wide = "design";
  std::string ActionWide = "design";
  TPlainComponent Action{"actAddRule"};
};

struct Fixture {
  widgets::TApplication app;
  Target& form = app.Create<Target>();
  TTranslator& translator = form.Create<TTranslator>("Translator");

  void Apply(const std::string& body) {
    std::istringstream in("<L>" + body + "</L>");
    translator.Document().LoadFromStream(in);
    translator.ApplyToComponent(form, *translator.Document().Root().Elems().Item(0));
  }
};

TEST(TranslatorConvert, IntegersTakeTheLow32BitsOfTheXmlIntegerRule) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"12", 12},        {"+7", 7}, {"$10", 16},       {"0x1F", 31},       {"-5", -5},
      {"abc", -1},       {"", -1},  {"4294967297", 1}, {"-2147483649", INT32_MAX},
      {"99999999999999999999", -1}, {"1.5", -1},
  };
  for (const auto& [text, value] : cases) {
    Fixture f;
    f.Apply(std::string("<x Width='") + text + "'><Action><Left>" + text + "</Left></Action></x>");
    EXPECT_EQ(f.form.Width, value) << text;
    EXPECT_EQ(f.form.Action.Left, value) << text;
  }
}

TEST(TranslatorConvert, ShortCutRuleOnlyForAttributes) {
  Fixture f;
  f.Apply("<x ShortCut='Ctrl+Shift+Ins'><Action ShortCut='^Q'><Hint>h</Hint></Action></x>");
  EXPECT_EQ(f.form.ShortCut, 0x602D);
  EXPECT_EQ(f.form.Action.ShortCut, 0x4051);
  f.Apply("<x shortcut='24621'><Action><ShortCut>24621</ShortCut></Action></x>");
  EXPECT_EQ(f.form.ShortCut, 0);
  EXPECT_EQ(f.form.Action.ShortCut, 24621);
  // -1 does not fit the 16-bit property: the old value stays.
  f.Apply("<x><Action><ShortCut>-1</ShortCut></Action></x>");
  EXPECT_EQ(f.form.Action.ShortCut, 24621);
}

TEST(TranslatorConvert, StringsBooleansEnumerationsAndSets) {
  Fixture f;
  f.Apply("<x Caption='one\\ntwo\\nthree' Wide='w\\nx' Enabled='false' Visible='tRUE' Checked='1' Anchors='[akTop, akBottom]'>"
          "<Action><Caption>a\\nb\\nc</Caption><Wide>ignored</Wide><Enabled>0</Enabled></Action></x>");
  EXPECT_EQ(f.form.Caption, "one\r\ntwo\\nthree");
  EXPECT_EQ(f.form.Wide, "w\r\nx");
  EXPECT_FALSE(f.form.Enabled);
  EXPECT_TRUE(f.form.Visible);
  EXPECT_TRUE(f.form.Checked);
  EXPECT_EQ(f.form.Anchors, 0b1010u);
  EXPECT_EQ(f.form.Action.Caption, "a\r\nb\\nc");
  EXPECT_FALSE(f.form.Action.Enabled);
  EXPECT_EQ(f.form.ActionWide, "design");

  // Unknown names give 0; numbers out of range and sets with an unknown name change nothing.
  f.Apply("<x Enabled='1' Visible='maybe' Checked='-1' Anchors='[akTop, akMiddle]'/>");
  EXPECT_TRUE(f.form.Enabled);
  EXPECT_FALSE(f.form.Visible);
  EXPECT_TRUE(f.form.Checked);
  EXPECT_EQ(f.form.Anchors, 0b1010u);
  f.Apply("<x Checked='2' Anchors=''/>");
  EXPECT_TRUE(f.form.Checked);
  EXPECT_EQ(f.form.Anchors, 0u);
}

}  // namespace
}  // namespace zorvex
