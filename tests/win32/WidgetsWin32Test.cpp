// The Win32 controls of the component model over real windows: what their published properties
// do to the windows, what a language file reaches, and the modal loop with its keys.
#include <gtest/gtest.h>

#include <fstream>

#include "ModalScript.h"
#include "Win32TestSupport.h"
#include "ui/widgets/win32/SForm.h"
#include "ui/widgets/win32/Widgets.h"
#include "i18n/Translator.h"

using namespace zorvex;
using namespace zorvex::widgets;
using namespace zorvex::testing;

namespace {


LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

RECT PlaceOf(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void Set(TPersistent& object, const char* property, const std::string& text) {
  const TPropInfo* info = object.FindProperty(property);
  ASSERT_NE(info, nullptr) << property;
  switch (info->Kind()) {
    case PropKind::Integer:
      EXPECT_TRUE(info->SetInteger(std::stoi(text))) << property;
      break;
    case PropKind::Enumeration:
      EXPECT_TRUE(info->SetEnum(info->EnumType()->IndexOf(text))) << property;
      break;
    default:
      EXPECT_TRUE(info->SetString(text)) << property;
  }
}

// A form with one control of each kind, laid out like a small options page.
class SampleForm : public TForm {
 public:
  SampleForm() : TForm("foSample", TFormParams{420, 300}) { SetCaption("Sample"); }

  TLabel& Label1 = Create<TLabel>(*this, "Label1", TBounds{8, 8, 0, 0}, "Title ");
  TEdit& Edit1 = Create<TEdit>(*this, "Edit1", TBounds{60, 6, 150, 22});
  TButton& OkButton = Create<TButton>(*this, "OkButton", TBounds{250, 265, 75, 25}, "&Ok");
  TButton& CancelButton = Create<TButton>(*this, "CancelButton", TBounds{335, 265, 75, 25}, "&Cancel");
  TGroupBox& Box = Create<TGroupBox>(*this, "Box", TBounds{8, 40, 190, 105}, "Browsers");
  TCheckBox& Check1 = Create<TCheckBox>(Box, "Check1", TBounds{8, 23, 150, 17}, "Support Explorer");
  TRadioButton& Radio1 = Create<TRadioButton>(Box, "Radio1", TBounds{8, 47, 150, 17}, "Internal Sound");
  TRadioButton& Radio2 = Create<TRadioButton>(Box, "Radio2", TBounds{8, 72, 150, 17}, "File");
  TListBox& List1 = Create<TListBox>(*this, "List1", TBounds{210, 40, 200, 105});
  TMemo& Memo1 = Create<TMemo>(*this, "Memo1", TBounds{8, 150, 190, 60});
  TTreeView& Tree1 = Create<TTreeView>(*this, "Tree1", TBounds{210, 150, 100, 100});
  TListView& View1 = Create<TListView>(*this, "View1", TBounds{315, 150, 100, 100});
};

}  // namespace

TEST(WidgetsWin32, PublishedPropertiesActOnTheWindows) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();

  Set(form.OkButton, "Caption", "&Go");
  Set(form.OkButton, "Left", "100");
  Set(form.OkButton, "Width", "90");
  EXPECT_EQ(TextOf(form.OkButton.Handle()), "&Go");
  const RECT place = PlaceOf(form.OkButton.Handle());
  EXPECT_EQ(place.left, 100);
  EXPECT_EQ(place.top, 265);
  EXPECT_EQ(place.right - place.left, 90);
  EXPECT_EQ(form.OkButton.FindProperty("Top")->GetInteger(), 265);

  Set(form.Edit1, "Enabled", "False");
  Set(form.Check1, "Visible", "False");
  Set(form.Check1, "Checked", "True");
  EXPECT_FALSE(::IsWindowEnabled(form.Edit1.Handle()));
  EXPECT_FALSE(::GetWindowLongA(form.Check1.Handle(), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(::SendMessageA(form.Check1.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);

  // Radio buttons of one parent exclude each other, set by code or by the user.
  form.Radio1.SetChecked(true);
  form.Radio2.SetChecked(true);
  EXPECT_FALSE(form.Radio1.Checked());
  ::SendMessageA(form.Radio1.Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.Radio1.Checked());
  EXPECT_FALSE(form.Radio2.Checked());

  // A label's size follows its caption.
  const int narrow = form.Label1.Bounds().Width;
  Set(form.Label1, "Caption", "A much longer title");
  EXPECT_GT(form.Label1.Bounds().Width, narrow + 40);

  // The form's client area and caption.
  EXPECT_EQ(form.ClientWidth(), 420);
  EXPECT_EQ(form.ClientHeight(), 300);
  Set(form, "Caption", "Renamed");
  EXPECT_EQ(TextOf(form.Handle()), "Renamed");
  Set(form, "ClientHeight", "250");
  RECT client{};
  ::GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.bottom, 250);

  // A hint becomes a tooltip of the control, and goes again when emptied.
  Set(form.Edit1, "Hint", "Type a title");
  EXPECT_EQ(::SendMessageA(form.ToolTips(), TTM_GETTOOLCOUNT, 0, 0), 1);
  char tip[64] = {};
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = form.Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(form.Edit1.Handle());
  tool.lpszText = tip;
  ::SendMessageA(form.ToolTips(), TTM_GETTEXTA, sizeof tip, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(tip, "Type a title");
  Set(form.Edit1, "Hint", "");
  EXPECT_EQ(::SendMessageA(form.ToolTips(), TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST(WidgetsWin32, FontsFollowTheParentUntilAControlHasItsOwn) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();
  EXPECT_STREQ(FontOf(form.Check1.Handle()).lfFaceName, "Arial");
  EXPECT_EQ(FontOf(form.Check1.Handle()).lfHeight, -11);

  TFont& own = form.Label1.Font();
  own.FindProperty("Size")->SetInteger(16);
  own.FindProperty("Style")->SetSet(TFont::kBold);
  EXPECT_FALSE(form.Label1.ParentFont());
  // Through the group box down to its check box, but not to the label with a font of its own.
  form.Font().FindProperty("Name")->SetString("Courier New");
  form.Font().FindProperty("Height")->SetInteger(-13);
  EXPECT_STREQ(FontOf(form.Check1.Handle()).lfFaceName, "Courier New");
  EXPECT_EQ(FontOf(form.Check1.Handle()).lfHeight, -13);
  EXPECT_EQ(FontOf(form.Label1.Handle()).lfHeight, -21);
  EXPECT_EQ(FontOf(form.Label1.Handle()).lfWeight, FW_BOLD);
  EXPECT_STREQ(FontOf(form.Label1.Handle()).lfFaceName, "Arial");
  form.Label1.SetParentFont(true);
  EXPECT_STREQ(FontOf(form.Label1.Handle()).lfFaceName, "Courier New");
  // Fields assigned in code reach the window when applied.
  form.Edit1.Font().Name = "Arial";
  form.Edit1.Font().Height = -12;
  form.Edit1.ApplyFontFields();
  EXPECT_EQ(FontOf(form.Edit1.Handle()).lfHeight, -12);
  EXPECT_FALSE(form.Edit1.ParentFont());
}

TEST(WidgetsWin32, TabOrderIsTheOrderTheDialogKeysWalk) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();
  EXPECT_EQ(form.Edit1.TabOrder(), 1);
  Set(form.List1, "TabOrder", "0");
  Set(form.CancelButton, "TabOrder", "1");
  EXPECT_EQ(form.List1.TabOrder(), 0);
  EXPECT_EQ(form.Label1.TabOrder(), 2);
  HWND first = ::GetNextDlgTabItem(form.Handle(), nullptr, FALSE);
  EXPECT_EQ(first, form.List1.Handle());
  EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), first, FALSE), form.CancelButton.Handle());
  // Beyond the end: the last place.
  Set(form.List1, "TabOrder", "99");
  EXPECT_EQ(form.List1.TabOrder(), static_cast<int>(form.Controls().size()) - 1);
}

TEST(WidgetsWin32, ALanguageFileReachesTheRealControls) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();
  form.List1.Items().SetText("one\r\ntwo\r\nthree");
  form.Memo1.Lines().SetText("first\r\nsecond");
  HTREEITEM rules = form.Tree1.AddNode(nullptr, "Rules");
  form.Tree1.AddNode(rules, "Inner");
  form.Tree1.AddNode(nullptr, "About");
  form.View1.AddColumn("Title", 60);
  form.View1.AddColumn("Count", 30);
  form.View1.Items().Add("a rule");

  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "zorvex-widgets-language.xml";
  // An older language file: code-page bytes without a header.
  std::ofstream(path, std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         "<Zorvex><foSample Caption='Beispiel'><Font Size='10'/>"
         "<OkButton Caption='&amp;Gut'/><Check1 Caption='Explorer unterstützen'/>"
         "<List1><Items><L Index='1' Value='zwei'/></Items></List1>"
         "<Memo1><Lines><![CDATA[erste\nzweite\ndritte]]></Lines></Memo1>"
         "<Tree1><Items><N Index='1' Value='Innen'/><N Index='2' Value='Über'/></Items></Tree1>"
         "<View1><Columns><C Index='0' Caption='Titel'/><C Index='1' Width='45'/></Columns>"
         "<Items><I Index='0' Column='0' Value='eine Regel'/><I Index='0' Column='1' Value='3'/></Items></View1>"
         "</foSample></Zorvex>";
  TComponent owner("foMain");
  TTranslator& translator = owner.Create<TTranslator>("ZorvexTranslator");
  translator.LoadLanguage(path);
  translator.ApplyToForm(form);
  ::DeleteFileA(path.c_str());

  EXPECT_EQ(TextOf(form.Handle()), "Beispiel");
  EXPECT_EQ(TextOf(form.OkButton.Handle()), "&Gut");
  EXPECT_EQ(TextOf(form.Check1.Handle()), "Explorer unterstützen");
  EXPECT_EQ(FontOf(form.OkButton.Handle()).lfHeight, -13);
  char entry[32] = {};
  ::SendMessageA(form.List1.Handle(), LB_GETTEXT, 1, reinterpret_cast<LPARAM>(entry));
  EXPECT_STREQ(entry, "zwei");
  EXPECT_EQ(::SendMessageA(form.List1.Handle(), LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(TextOf(form.Memo1.Handle()), "erste\r\nzweite\r\ndritte");
  EXPECT_EQ(form.Tree1.Items().Text(0), "Rules");
  EXPECT_EQ(form.Tree1.Items().Text(1), "Innen");
  EXPECT_EQ(form.Tree1.Items().Text(2), "Über");
  EXPECT_EQ(static_cast<TListColumn&>(form.View1.Columns().Item(0)).Caption(), "Titel");
  EXPECT_EQ(::SendMessageA(form.View1.Handle(), LVM_GETCOLUMNWIDTH, 1, 0), 45);
  EXPECT_EQ(form.View1.Items().Caption(0), "eine Regel");
  EXPECT_EQ(form.View1.Items().SubItem(0, 0), "3");
  EXPECT_EQ(translator.DroppedErrors(TTranslatorGuard::Component), 0u);
}

TEST(WidgetsWin32, ModalLoopEndsByEnterEscCloseAndButtons) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();
  form.OkButton.SetDefault(true);
  form.OkButton.ModalResult = mrOk;
  form.CancelButton.Cancel = true;
  form.CancelButton.ModalResult = mrCancel;
  int clicks = 0;
  form.OkButton.OnClick = [&] { ++clicks; };
  auto key = [&](HWND window, WPARAM vk) {
    return [=] {
      ::PostMessageA(window, WM_KEYDOWN, vk, 1);
      return true;
    };
  };
  auto shown = [&] { return ::IsWindowVisible(form.Handle()) != FALSE; };

  {
    ModalScript script({shown, key(form.Edit1.Handle(), VK_RETURN)});
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_TRUE(script.Finished()) << script.Failure();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
  }
  {
    ModalScript script({shown, key(form.List1.Handle(), VK_ESCAPE)});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  {
    // Tab to a button makes Enter press that button, not the default one.
    ModalScript script({shown, [&] {
                          form.Edit1.SetFocus();
                          return true;
                        },
                        key(form.Edit1.Handle(), VK_TAB), [&] { return form.OkButton.Focused(); },
                        key(form.OkButton.Handle(), VK_TAB), [&] { return form.CancelButton.Focused(); },
                        key(form.CancelButton.Handle(), VK_RETURN)});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Failure();
    EXPECT_EQ(clicks, 1);
  }
  {
    // A disabled default button takes no Enter; the title bar's close does end the loop.
    ModalScript script({shown, [&] {
                          form.OkButton.SetEnabled(false);
                          return true;
                        },
                        key(form.Edit1.Handle(), VK_RETURN),
                        [&] {
                          EXPECT_EQ(form.ModalResult(), mrNone);
                          ::PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
                          return true;
                        }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Failure();
    EXPECT_EQ(clicks, 1);
    form.OkButton.SetEnabled(true);
  }
}

TEST(WidgetsWin32, ModalLoopDisablesTheOtherWindowsAndPassesQuitOn) {
  TApplication application;
  SampleForm& other = application.Create<SampleForm>();
  SampleForm& form = application.Create<SampleForm>();
  EXPECT_EQ(form.Name(), "foSample_1");
  other.Show();
  bool otherDisabled = false;
  {
    ModalScript script({[&] { return ::IsWindowVisible(form.Handle()) != FALSE; },
                        [&] {
                          otherDisabled = !::IsWindowEnabled(other.Handle());
                          ::PostQuitMessage(7);
                          return true;
                        }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_TRUE(otherDisabled);
  EXPECT_TRUE(::IsWindowEnabled(other.Handle()));
  MSG msg{};
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);

  // A second modal run of the same form is refused while the first is on.
  bool refused = false;
  {
    ModalScript script({[&] {
      try {
        form.ShowModal();
      } catch (const std::logic_error&) {
        refused = true;
      }
      form.Close();
      return true;
    }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
  }
  EXPECT_TRUE(refused);
}

namespace {

// A click of the left button on entry index of a list box, as the mouse sends it.
void ClickEntry(HWND list, int index, bool ctrl = false) {
  RECT r{};
  ::SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  const LPARAM point = MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2);
  ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON | (ctrl ? MK_CONTROL : 0), point);
  ::SendMessageA(list, WM_LBUTTONUP, ctrl ? MK_CONTROL : 0, point);
}

class InputsForm : public TForm {
 public:
  InputsForm() : TForm("foInputs", TFormParams{400, 300}) {}

  TSpinEdit& Spin = Create<TSpinEdit>(*this, "Spin", TBounds{10, 10, 45, 23}, 1, 100000);
  TFileNameEdit& File = Create<TFileNameEdit>(*this, "File", TBounds{10, 40, 103, 20});
  TLinkLabel& Link = Create<TLinkLabel>(*this, "Link", TBounds{10, 70, 0, 0}, "http://zorvex.example/");
  TImage& Picture = Create<TImage>(*this, "Picture", TBounds{10, 90, 32, 32});
  TPageControl& Pages = Create<TPageControl>(*this, "Pages", TBounds{150, 10, 240, 200});
  TTabSheet& First = Create<TTabSheet>(Pages, "First");
  TTabSheet& Second = Create<TTabSheet>(Pages, "Second");
  TTabSheet& Third = Create<TTabSheet>(Pages, "Third");
  TButton& OnSecond = Create<TButton>(Second, "OnSecond", TBounds{5, 5, 75, 25}, "Second");
  TTimer& Ticker = Create<TTimer>(*this, "Ticker", 30, false);
};

}  // namespace

TEST(WidgetsWin32, ListBoxEntriesSelectionAndTheMultiSelectSwitch) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();
  TListBox& list = form.List1;
  int clicks = 0;
  list.OnClick = [&] { ++clicks; };
  list.Items().SetText("alpha\r\nbeta\n\ngamma");
  EXPECT_EQ(list.Items().Count(), 4u);
  EXPECT_EQ(list.Items().Get(3), "gamma");
  EXPECT_THROW(list.Items().Get(4), std::out_of_range);

  // Code selects without a click event; a replaced entry keeps its selection.
  list.SetItemIndex(1);
  EXPECT_EQ(clicks, 0);
  list.Items().Put(1, "BETA");
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_EQ(list.Items().Get(1), "BETA");
  ClickEntry(list.Handle(), 3);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(list.ItemIndex(), 3);

  // Switched to multi-select the window is made again around the same entries, selection, place,
  // tab position, font and hint.
  list.SetHint("titles");
  list.SetItemHeight(14);
  const int tab = list.TabOrder();
  HWND old = list.Handle();
  list.SetMultiSelect(true);
  EXPECT_NE(list.Handle(), old);
  EXPECT_FALSE(::IsWindow(old));
  EXPECT_EQ(TWinControl::FromHandle(list.Handle()), &list);
  EXPECT_TRUE(::GetWindowLongA(list.Handle(), GWL_STYLE) & LBS_EXTENDEDSEL);
  EXPECT_EQ(list.Items().Count(), 4u);
  EXPECT_TRUE(list.Selected(3));
  EXPECT_EQ(list.SelCount(), 1);
  EXPECT_EQ(list.TabOrder(), tab);
  EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), form.Edit1.Handle(), FALSE), form.OkButton.Handle())
      << "the z-order stays the tab order";
  EXPECT_EQ(::SendMessageA(list.Handle(), LB_GETITEMHEIGHT, 0, 0), 14);
  EXPECT_STREQ(FontOf(list.Handle()).lfFaceName, "Arial");
  EXPECT_EQ(::SendMessageA(form.ToolTips(), TTM_GETTOOLCOUNT, 0, 0), 1);

  // Ctrl+click adds to the selection; the current entry is the one clicked last.
  ClickEntry(list.Handle(), 0, true);
  EXPECT_EQ(list.SelCount(), 2);
  EXPECT_EQ(list.ItemIndex(), 0);
  EXPECT_EQ(clicks, 2);
  ClickEntry(list.Handle(), 1);
  EXPECT_EQ(list.SelCount(), 1) << "a plain click selects only its entry";

  list.SetSelected(3, true);
  list.SetMultiSelect(false);
  EXPECT_EQ(list.SelCount(), 1);
  EXPECT_EQ(list.ItemIndex(), 1) << "the first selected entry stays";
  list.Items().Clear();
  EXPECT_EQ(list.ItemIndex(), -1);
}

TEST(WidgetsWin32, ListViewSortsByCaptionAndTreeViewReportsItsSelection) {
  TApplication application;
  SampleForm& form = application.Create<SampleForm>();
  TListView& view = form.View1;
  view.AddColumn("Title", 60);
  view.AddColumn("Count", 30);
  view.SetSortByCaption(true);
  for (const char* caption : {"beta", "Alpha", "co-op", "alpha", "coop"}) view.Items().Add(caption);
  std::vector<std::string> captions;
  for (std::size_t i = 0; i < view.Items().Count(); ++i) captions.push_back(view.Items().Caption(i));
  // lstrcmpA: letter case counts after the letters, and a hyphen weighs less than a letter.
  EXPECT_EQ(captions, (std::vector<std::string>{"alpha", "Alpha", "beta", "coop", "co-op"}));

  // A caption set anew sorts again; selection and sub-items move with their item.
  view.Items().SetSubItem(2, 0, "7");
  view.SetSelected(2, true);
  view.Items().SetCaption(2, "aardvark");
  EXPECT_EQ(view.Items().Caption(0), "aardvark");
  EXPECT_EQ(view.Items().SubItem(0, 0), "7");
  EXPECT_TRUE(view.Selected(0));
  EXPECT_EQ(view.SelCount(), 1);
  EXPECT_EQ(view.Items().SubItemCount(0), 1u);
  EXPECT_THROW(view.Items().SubItem(0, 1), std::out_of_range);
  view.Items().Delete(0);
  EXPECT_EQ(view.Items().Count(), 4u);

  Set(view, "MultiSelect", "False");
  Set(view, "ShowColumnHeaders", "False");
  Set(view, "GridLines", "True");
  EXPECT_TRUE(::GetWindowLongA(view.Handle(), GWL_STYLE) & LVS_SINGLESEL);
  EXPECT_TRUE(::GetWindowLongA(view.Handle(), GWL_STYLE) & LVS_NOCOLUMNHEADER);
  EXPECT_TRUE(::SendMessageA(view.Handle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES);

  TTreeView& tree = form.Tree1;
  std::vector<std::uintptr_t> changes;
  tree.OnChange = [&](HTREEITEM node) { changes.push_back(node != nullptr ? tree.NodeData(node) : 0); };
  HTREEITEM rules = tree.AddNode(nullptr, "Rules", 11);
  HTREEITEM options = tree.AddNode(nullptr, "Options", 22);
  tree.AddNode(rules, "Inner", 33);
  EXPECT_EQ(tree.Items().Count(), 3u);
  EXPECT_EQ(tree.Items().Text(2), "Options");
  tree.Select(options);
  tree.Select(rules);
  EXPECT_EQ(tree.Selected(), rules);
  EXPECT_EQ(changes, (std::vector<std::uintptr_t>{22, 11}));
  Set(tree, "Indent", "19");
  Set(tree, "HotTrack", "True");
  EXPECT_EQ(::SendMessageA(tree.Handle(), TVM_GETINDENT, 0, 0), 19);
  EXPECT_TRUE(::GetWindowLongA(tree.Handle(), GWL_STYLE) & TVS_TRACKSELECT);
}

TEST(WidgetsWin32, SpinAndFileEditsPagesLinksPicturesTimersAndMemos) {
  TApplication application;
  InputsForm& form = application.Create<InputsForm>();

  // The spin edit clamps what it is given and what is typed; its arrows sit inside its bounds.
  TSpinEdit& spin = form.Spin;
  EXPECT_EQ(spin.Value(), 1);
  spin.SetValue(0);
  EXPECT_EQ(spin.Text(), "1");
  spin.SetValue(200000);
  EXPECT_EQ(spin.Value(), 100000);
  spin.SetText("42");
  EXPECT_EQ(spin.Value(), 42);
  spin.SetText("many");
  EXPECT_EQ(spin.Value(), 1);
  spin.SetValue(42);
  ::SendMessageA(spin.Handle(), WM_KEYDOWN, VK_UP, 1);
  ::SendMessageA(spin.Handle(), WM_KEYUP, VK_UP, 1);
  EXPECT_EQ(spin.Value(), 43) << "the arrow key steps the value";
  HWND arrows = ::GetWindow(spin.Handle(), GW_HWNDPREV);
  RECT spinPlace = PlaceOf(spin.Handle());
  RECT arrowPlace = PlaceOf(arrows);
  EXPECT_EQ(spinPlace.left, 10);
  EXPECT_EQ(arrowPlace.right, 55);
  EXPECT_EQ(arrowPlace.bottom - arrowPlace.top, 23);
  EXPECT_EQ(spinPlace.right, arrowPlace.left + ::GetSystemMetrics(SM_CXEDGE)) << "the arrows cover the edit's edge";
  EXPECT_EQ(spin.Bounds().Width, 45);
  Set(spin, "Left", "12");
  EXPECT_EQ(spin.Bounds().Width, 45) << "moving keeps the size";
  EXPECT_EQ(PlaceOf(arrows).right, 57);
  spin.SetEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(arrows));

  // The file box: quotes shown around a value with blanks, the first word handed back, a refused
  // value leaves the text, the browse button asks the chooser with the current value.
  TFileNameEdit& file = form.File;
  int changes = 0;
  file.OnChange = [&] { ++changes; };
  file.SetFileName("C:\\Sounds\\my bell.wav");
  EXPECT_EQ(file.Text(), "\"C:\\Sounds\\my bell.wav\"");
  EXPECT_EQ(file.FileName(), "C:\\Sounds\\my bell.wav");
  EXPECT_THROW(file.SetFileName("bell|ring.wav"), EInvalidFileName);
  EXPECT_EQ(file.Text(), "\"C:\\Sounds\\my bell.wav\"");
  file.SetText("C:\\Sounds\\my bell.wav");
  EXPECT_EQ(file.FileName(), "C:\\Sounds\\my") << "no such file: the first word";
  std::string asked;
  file.Chooser = [&](const std::string& current) {
    asked = current;
    return std::optional<std::string>("D:\\new sound.wav");
  };
  changes = 0;
  ::SendMessageA(file.BrowseButton(), BM_CLICK, 0, 0);
  EXPECT_EQ(asked, "C:\\Sounds\\my");
  EXPECT_EQ(file.Text(), "\"D:\\new sound.wav\"");
  EXPECT_EQ(changes, 1);
  // The button lies inside the edit's right end.
  const RECT button = PlaceOf(file.BrowseButton());
  const RECT edit = PlaceOf(file.Handle());
  EXPECT_LE(button.right, edit.right);
  EXPECT_GE(button.left, edit.left);
  EXPECT_TRUE(::IsWindowVisible(file.BrowseButton()) || !::IsWindowVisible(file.Handle()));

  // Pages: the first made shows; switching shows one and hides the rest.
  EXPECT_EQ(form.Pages.ActivePage(), &form.First);
  EXPECT_FALSE(form.Second.Visible());
  int pageChanges = 0;
  form.Pages.OnChange = [&] { ++pageChanges; };
  Set(form.Pages, "ActivePageIndex", "1");
  EXPECT_TRUE(form.Second.Visible());
  EXPECT_FALSE(form.First.Visible());
  EXPECT_EQ(form.Second.Bounds().Width, 240);
  form.Pages.SetActivePage(&form.Second);
  EXPECT_EQ(pageChanges, 1);

  // The link opens its address on a click and is underlined under the mouse.
  std::vector<std::string> opened;
  form.Link.Opener = [&](const std::string& address) { opened.push_back(address); };
  ::SendMessageA(form.Link.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
  form.Link.Url = "http://zorvex.example/thanks";
  form.Link.Click();
  EXPECT_EQ(opened, (std::vector<std::string>{"http://zorvex.example/", "http://zorvex.example/thanks"}));
  ::SendMessageA(form.Link.Handle(), WM_MOUSEMOVE, 0, 0);
  EXPECT_TRUE(form.Link.Hot());
  EXPECT_TRUE(FontOf(form.Link.Handle()).lfUnderline);
  ::SendMessageA(form.Link.Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(FontOf(form.Link.Handle()).lfUnderline);

  EXPECT_TRUE(form.Picture.LoadIcon(1));
  EXPECT_NE(form.Picture.Icon(), nullptr);
  EXPECT_FALSE(form.Picture.LoadIcon(9999));

  // The timer ticks on the form while enabled, and not after.
  int ticks = 0;
  form.Ticker.OnTimer = [&] { ++ticks; };
  form.Ticker.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }, std::chrono::seconds(5)));
  form.Ticker.SetInterval(0);
  const int stopped = ticks;
  PumpUntil([] { return false; }, std::chrono::milliseconds(150));
  EXPECT_EQ(ticks, stopped);

  // Memo lines over the window text; an edit reports only real changes.
  SampleForm& sample = application.Create<SampleForm>();
  sample.Memo1.Lines().Add("one");
  sample.Memo1.Lines().Add("two");
  sample.Memo1.Lines().Put(0, "first");
  EXPECT_EQ(sample.Memo1.Text(), "first\r\ntwo");
  EXPECT_EQ(sample.Memo1.Lines().Count(), 2u);
  Set(sample.Memo1, "ReadOnly", "True");
  EXPECT_TRUE(::GetWindowLongA(sample.Memo1.Handle(), GWL_STYLE) & ES_READONLY);
  int edits = 0;
  sample.Edit1.OnChange = [&] { ++edits; };
  sample.Edit1.SetText("x");
  sample.Edit1.SetText("x");
  EXPECT_EQ(edits, 1);
}
