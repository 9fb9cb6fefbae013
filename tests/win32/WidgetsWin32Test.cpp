// The Win32 controls of the component model over real windows: what their published properties
// do to the windows, what a language file reaches, and the modal loop with its keys.
#include <gtest/gtest.h>

#include <fstream>

#include "ModalScript.h"
#include "Win32TestSupport.h"
#include "ui/widgets/win32/SForm.h"
#include "ui/widgets/win32/Widgets.h"
#include "xml/Translator.h"

using namespace zorvex;
using namespace zorvex::widgets;
using namespace zorvex::testing;

namespace {

std::string TextOf(HWND window) {
  char text[1024] = {};
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

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
  std::ofstream(path, std::ios::binary)
      << "<Zorvex><foSample Caption='Beispiel'><Font Size='10'/>"
         "<OkButton Caption='&amp;Gut'/><Check1 Caption='Explorer unterst\xFCtzen'/>"
         "<List1><Items><L Index='1' Value='zwei'/></Items></List1>"
         "<Memo1><Lines><![CDATA[erste\nzweite\ndritte]]></Lines></Memo1>"
         "<Tree1><Items><N Index='1' Value='Innen'/><N Index='2' Value='\xDC" "ber'/></Items></Tree1>"
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
  EXPECT_EQ(TextOf(form.Check1.Handle()), "Explorer unterst\xFCtzen");
  EXPECT_EQ(FontOf(form.OkButton.Handle()).lfHeight, -13);
  char entry[32] = {};
  ::SendMessageA(form.List1.Handle(), LB_GETTEXT, 1, reinterpret_cast<LPARAM>(entry));
  EXPECT_STREQ(entry, "zwei");
  EXPECT_EQ(::SendMessageA(form.List1.Handle(), LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(TextOf(form.Memo1.Handle()), "erste\r\nzweite\r\ndritte");
  EXPECT_EQ(form.Tree1.Items().Text(0), "Rules");
  EXPECT_EQ(form.Tree1.Items().Text(1), "Innen");
  EXPECT_EQ(form.Tree1.Items().Text(2), "\xDC" "ber");
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
