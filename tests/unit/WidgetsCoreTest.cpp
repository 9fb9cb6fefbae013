#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Dpi.h"
#include "components/Bounds.h"
#include "components/Component.h"
#include "components/SubObjects.h"

namespace zorvex::widgets {
namespace {

const TEnumType kColour{{"Red", "Green", "Blue"}};

// Records the order of Loaded calls and of destruction.
class Traced : public TPlainComponent {
 public:
  Traced(std::string name, std::vector<std::string>& log) : TPlainComponent(std::move(name)), log_(log) {
    DeclareClass("TTraced");
  }
  ~Traced() override { log_.push_back("~" + Name()); }
  int Colour = 1;
  TSetValue Mix = 0;
  std::string Short;

 protected:
  void Loaded() override { log_.push_back("Loaded " + Name() + (Owner() ? " in " + Owner()->Name() : "")); }

 private:
  std::vector<std::string>& log_;
};

TEST(WidgetsCore, PropertiesRefuseWhatTheyCannotHold) {
  std::vector<std::string> log;
  Traced c("c", log);
  c.PublishEnum("Colour", kColour, [&] { return c.Colour; }, [&](int v) { c.Colour = v; });
  c.PublishSet("Mix", kColour, [&] { return c.Mix; }, [&](TSetValue v) { c.Mix = v; });
  c.PublishString("Short", [&] { return c.Short; }, [&](const std::string& s) { c.Short = s; }, PropKind::ShortString);

  const TPropInfo* colour = c.FindProperty("cOLOUR");
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(colour->Name(), "Colour");
  for (std::int64_t bad : {-1LL, 3LL, 256LL, 1LL << 40}) EXPECT_FALSE(colour->SetEnum(bad)) << bad;
  EXPECT_EQ(c.Colour, 1);
  EXPECT_TRUE(colour->SetEnum(2));
  EXPECT_EQ(colour->GetEnum(), 2);

  const TPropInfo* mix = c.FindProperty("Mix");
  EXPECT_FALSE(mix->SetSet(0b1000));
  EXPECT_TRUE(mix->SetSet(0b101));
  EXPECT_EQ(c.Mix, 0b101u);

  const TPropInfo* shortCut = c.FindProperty("shortcut");
  EXPECT_FALSE(shortCut->SetInteger(-1));
  EXPECT_FALSE(shortCut->SetInteger(0x10000));
  EXPECT_TRUE(shortCut->SetInteger(0x602D));
  EXPECT_EQ(c.ShortCut, 0x602D);

  c.FindProperty("Short")->SetString(std::string(300, 'x'));
  EXPECT_EQ(c.Short.size(), 255u);

  // Asking a property for another kind's value changes nothing.
  EXPECT_FALSE(c.FindProperty("Caption")->SetInteger(5));
  EXPECT_FALSE(colour->SetString("Red"));
  EXPECT_FALSE(c.FindProperty("Enabled")->SetEnum(2));
  EXPECT_TRUE(c.Enabled);
  EXPECT_EQ(c.FindProperty("Nothing"), nullptr);
}

TEST(WidgetsCore, ClassAncestryAndRepublishing) {
  std::vector<std::string> log;
  Traced c("c", log);
  EXPECT_EQ(c.ClassNames(), (std::vector<std::string>{"TPersistent", "TComponent", "TPlainComponent", "TTraced"}));
  EXPECT_EQ(c.ClassName(), "TTraced");
  EXPECT_TRUE(c.InheritsFrom("TComponent"));
  EXPECT_FALSE(c.InheritsFrom("tcomponent"));
  const std::size_t count = c.Properties().size();
  c.PublishString("CAPTION", [] { return std::string("fixed"); }, nullptr);
  EXPECT_EQ(c.Properties().size(), count);
  EXPECT_EQ(c.FindProperty("Caption")->GetString(), "fixed");
  EXPECT_FALSE(c.FindProperty("Caption")->Writable());
  EXPECT_THROW(c.PublishString("X", nullptr, nullptr, PropKind::Integer), std::invalid_argument);
}

TEST(WidgetsCore, OwnersLoadFindRemoveAndDestroyInReverse) {
  std::vector<std::string> log;
  {
    TApplication app;
    auto& form = app.Create<Traced>("foOptions", log);
    form.Create<Traced>("OkButton", log);
    form.Create<Traced>("CancelButton", log);
    EXPECT_EQ(form.FindComponent("cancelbutton"), &form.Component(1));
    EXPECT_EQ(form.FindComponent("Cancel"), nullptr);
    EXPECT_THROW(form.Component(2), std::out_of_range);

    auto taken = form.Remove(form.Component(0));
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->Owner(), nullptr);
    EXPECT_EQ(form.Remove(*taken), nullptr);
    EXPECT_THROW(form.Insert(nullptr), std::invalid_argument);
    form.Insert(std::move(taken));
    EXPECT_EQ(form.Component(1).Name(), "OkButton");
  }
  EXPECT_EQ(log, (std::vector<std::string>{"Loaded foOptions in Application", "Loaded OkButton in foOptions",
                                           "Loaded CancelButton in foOptions", "~foOptions", "~OkButton",
                                           "~CancelButton"}));
}

TEST(WidgetsCore, ApplicationRenamesASecondFormOfTheSameName) {
  TApplication app;
  auto& first = app.Create<TPlainComponent>("foAddPopup");
  auto& second = app.Create<TPlainComponent>("FOADDPOPUP");
  auto& third = app.Create<TPlainComponent>("foAddPopup");
  auto& other = app.Create<TPlainComponent>("foOptions");
  EXPECT_EQ(first.Name(), "foAddPopup");
  EXPECT_EQ(second.Name(), "FOADDPOPUP_1");
  EXPECT_EQ(third.Name(), "foAddPopup_2");
  EXPECT_EQ(other.Name(), "foOptions");
  // Inside a form duplicates stay as they are: only forms are renamed.
  first.Create<TPlainComponent>("Edit1");
  EXPECT_EQ(first.Create<TPlainComponent>("Edit1").Name(), "Edit1");
}

TEST(WidgetsCore, SplitLines) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\r", {"a", ""}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLines(text), lines) << text;
  TStringList list({"x"});
  list.SetText("one\rtwo\r\n");
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\n");
  EXPECT_THROW(list.Put(2, "z"), std::out_of_range);
}

TEST(WidgetsCore, TreeNodesCountEachNodeBeforeItsChildren) {
  TPlainTreeNodes tree;
  auto& a = tree.Add(nullptr, "a");
  auto& b = tree.Add(nullptr, "b");
  auto& a1 = tree.Add(&a, "a1");
  tree.Add(&a1, "a1x");
  tree.Add(&a, "a2");
  tree.Add(&b, "b1");
  std::string order;
  for (std::size_t i = 0; i < tree.Count(); ++i) order += tree.Text(i) + " ";
  EXPECT_EQ(order, "a a1 a1x a2 b b1 ");
  tree.SetText(3, "A2");
  EXPECT_EQ(a.Children[1]->Text, "A2");
  EXPECT_THROW(tree.Text(6), std::out_of_range);
}

TEST(WidgetsCore, CollectionsListItemsAndFonts) {
  TCollection columns;
  auto& title = columns.Add<TPlainCollectionItem>("Title", 350);
  EXPECT_EQ(title.Collection(), &columns);
  EXPECT_EQ(&columns.Item(0), &title);
  EXPECT_TRUE(columns.Item(0).FindProperty("width")->SetInteger(100));
  EXPECT_EQ(title.Width, 100);

  TPlainListItems items;
  items.Add("r1", {"s1", "s2"});
  items.SetSubItem(0, 1, "S2");
  EXPECT_EQ(items.SubItem(0, 1), "S2");
  EXPECT_THROW(items.SetSubItem(0, 2, "x"), std::out_of_range);

  TFont font;
  int changes = 0;
  font.OnChange = [&] { ++changes; };
  EXPECT_EQ(font.Size(), 8);
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{8, -11}, {9, -12}, {16, -21}, {-9, 12}};
  for (const auto& [points, height] : sizes) {
    font.FindProperty("Size")->SetInteger(points);
    EXPECT_EQ(font.Height, height) << points;
  }
  font.FindProperty("Size")->SetInteger(INT32_MIN);
  font.FindProperty("Height")->SetInteger(INT32_MIN);
  EXPECT_GT(font.Size(), 0);
  EXPECT_FALSE(font.FindProperty("Charset")->SetInteger(256));
  EXPECT_EQ(changes, 6);
}

TEST(WidgetsCore, ALayoutScalesByItsEdgesSoThatNeighboursStayNeighbours) {
  // A row of buttons that touch, a box nested in a group box, a place above the parent's top, and
  // a font height; at 120, 144, 168 and 192 DPI and back.
  const TBounds row[] = {{2, 0, 75, 25}, {77, 0, 75, 25}, {160, 0, 75, 25}};
  const TBounds group{2, 132, 190, 101};
  const TBounds inside{6, 74, 178, 17};
  for (int dpi : {120, 144, 168, 192}) {
    SCOPED_TRACE(dpi);
    const TBounds a = ScaleBounds(row[0], 96, dpi), b = ScaleBounds(row[1], 96, dpi), c = ScaleBounds(row[2], 96, dpi);
    EXPECT_EQ(a.Left + a.Width, b.Left) << "touching stays touching";
    EXPECT_NEAR(c.Left - (b.Left + b.Width), 8.0 * dpi / 96, 1.0) << "a gap stays a gap";
    EXPECT_NEAR(a.Width, 75.0 * dpi / 96, 1.0);
    const TBounds g = ScaleBounds(group, 96, dpi), i = ScaleBounds(inside, 96, dpi);
    EXPECT_LE(i.Left + i.Width, g.Width) << "nested stays inside";
    EXPECT_LE(i.Top + i.Height, g.Height);
    EXPECT_EQ(ScaleBounds(ScaleBounds(group, 96, dpi), dpi, 96), group) << "and comes back whole";
  }
  EXPECT_EQ(ScaleBounds(TBounds{140, -6, 251, 65}, 96, 144), (TBounds{210, -9, 377, 98}));
  EXPECT_EQ(ScaleBounds(TBounds{7, 114, 337, 31}, 96, 120), (TBounds{9, 143, 421, 38}));
  EXPECT_EQ(ScaleLength(-12, 96, 144), -18);
  EXPECT_EQ(ScaleLength(-11, 96, 120), -14);
  EXPECT_EQ(ScaleLength(21, 144, 96), 14);
  EXPECT_EQ(ScaleLength(7, 0, 144), 11) << "an unknown density counts as 96";
}

}  // namespace
}  // namespace zorvex::widgets
