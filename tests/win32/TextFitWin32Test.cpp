// Every text a form shows, in every language file, measured with the control's own font against
// the control's rectangle: a translation that grew, or a caption longer than its box, shows cut.
// The same at the prefix's density (scripts/test runs it at 96, 144 and 192 DPI): every control
// ends inside its parent and the forms grow with the density.
#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "base/Dpi.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Desktop.h"
#include "tests/fakes/FakePlatform.h"
#include "ui/FormAddPopup.h"
#include "ui/FormMain.h"
#include "ui/FormOptions.h"
#include "ui/FormWindowRule.h"
#include "ui/Strings.h"
#include "i18n/ClassForm.h"

using namespace zorvex;
using namespace zorvex::testing;
using namespace zorvex::widgets;

namespace {

// The width and height text takes in window's font, "&" marks as the control draws them.
SIZE Extent(HWND window, const std::wstring& text, int wrapWidth = 0) {
  TWindowDC dc(window);
  HGDIOBJ old = ::SelectObject(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)));
  RECT r{0, 0, wrapWidth, 0};
  ::DrawTextW(dc.get(), text.c_str(), -1, &r, DT_CALCRECT | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  ::SelectObject(dc.get(), old);
  return SIZE{r.right, r.bottom};
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

// Where a control's text does not fit: "Form/Control: needs W of H" lines.
void CheckControl(TWinControl& control, const std::string& path, std::vector<std::string>& cut) {
  HWND window = control.Handle();
  const std::wstring text = WindowText(window);
  wchar_t cls[32] = {};
  ::GetClassNameW(window, cls, 32);
  const std::wstring kind = cls;
  RECT r{};
  ::GetClientRect(window, &r);
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  int room = -1;
  if (!text.empty() && _wcsicmp(kind.c_str(), L"Button") == 0) {
    const LONG type = style & BS_TYPEMASK;
    // The box or circle and the gap before the text, as the system draws them.
    const int mark = CheckMarkRoom(win32::WindowDpi(window));
    if (type == BS_GROUPBOX) {
      room = r.right - 16;
    } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
      room = r.right - mark;
      if (style & BS_MULTILINE) {
        const SIZE need = Extent(window, text, room);
        if (need.cy > r.bottom) cut.push_back(path + ": needs " + std::to_string(need.cy) + " rows of pixels, has " + std::to_string(r.bottom));
        room = -1;
      }
    } else {
      // The edges and the focus rectangle.
      room = r.right - 6;
    }
  } else if (!text.empty() && _wcsicmp(kind.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) != SS_OWNERDRAW) {
    if ((style & SS_TYPEMASK) == SS_LEFT) {
      const SIZE need = Extent(window, text, r.right);
      if (need.cy > r.bottom) cut.push_back(path + ": needs " + std::to_string(need.cy) + " rows of pixels, has " + std::to_string(r.bottom));
    } else {
      room = r.right;
    }
    // A label that sizes itself must still end inside its parent.
    if (control.Parent() != nullptr) {
      RECT parent{};
      ::GetClientRect(control.Parent()->Handle(), &parent);
      const TBounds b = control.Bounds();
      if (b.Left + b.Width > parent.right) cut.push_back(path + ": ends beyond its parent at " + std::to_string(b.Left + b.Width));
    }
  }
  if (room >= 0) {
    const SIZE need = Extent(window, text);
    if (need.cx > room) {
      cut.push_back(path + " \"" + win32::Narrow(text) + "\": needs " + std::to_string(need.cx) + ", has " + std::to_string(room));
    }
  }
  // Children end inside the parent, a group box's frame included; the text of a check box or label
  // runs into no sibling.
  const bool groupBox = _wcsicmp(kind.c_str(), L"Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX;
  const int frame = groupBox ? 2 : 0;
  for (TWinControl* child : control.Controls()) {
    const TBounds b = child->Bounds();
    if (child->Visible() && (b.Left + b.Width > r.right - frame || b.Top + b.Height > r.bottom - frame)) {
      cut.push_back(path + "/" + child->Name() + ": ends at " + std::to_string(b.Left + b.Width) + "," +
                    std::to_string(b.Top + b.Height) + " outside " + std::to_string(r.right - frame) + "," +
                    std::to_string(r.bottom - frame));
    }
    if (!dynamic_cast<TCheckControl*>(child) && !dynamic_cast<TLabel*>(child)) continue;
    const std::wstring childText = WindowText(child->Handle());
    if (childText.empty()) continue;
    const int mark = dynamic_cast<TCheckControl*>(child) ? CheckMarkRoom(win32::WindowDpi(child->Handle())) : 0;
    const int textEnd = b.Left + std::min<int>(b.Width, mark + Extent(child->Handle(), childText).cx);
    const RECT used{b.Left, b.Top, textEnd, b.Top + b.Height};
    for (TWinControl* other : control.Controls()) {
      const TBounds o = other->Bounds();
      const RECT theirs{o.Left, o.Top, o.Left + o.Width, o.Top + o.Height};
      RECT both{};
      if (other != child && other->Visible() && ::IntersectRect(&both, &used, &theirs)) {
        cut.push_back(path + "/" + child->Name() + ": text runs into " + other->Name());
      }
    }
  }
  for (TWinControl* child : control.Controls()) CheckControl(*child, path + "/" + child->Name(), cut);
}

class TextFitWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) saved.push_back(*strings::kNamedStrings[i].value);
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zorvex-textfit-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    engine = std::make_unique<TZorvex>(platform.Engine(folder));
    main = &application.Create<TfoMain>(*engine, *desktop, MainFormDialogs{}, folder);
    SetFormTranslator([this] { return &main->ZorvexTranslator(); });
  }
  void TearDown() override {
    SetFormTranslator(nullptr);
    application.Remove(*main).reset();
    engine.reset();
    for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) *strings::kNamedStrings[i].value = saved[i];
    ::RemoveDirectoryA(folder.c_str());
  }

  std::vector<std::string> saved;
  std::string folder;
  fake::FakePlatform platform;
  std::unique_ptr<TZorvex> engine;
  std::shared_ptr<win32::Win32Desktop> desktop = std::make_shared<win32::Win32Desktop>();
  TApplication application;
  TfoMain* main = nullptr;
};

}  // namespace

TEST_F(TextFitWin32, EveryTextOfEveryFormFitsItsControlInEveryLanguage) {
  for (const char* language : {"English", "Deutsch", "Francais"}) {
    main->ZorvexTranslator().LoadLanguage(ProgramFolder() + "Languages\\" + language + ".xml");
    std::vector<TForm*> forms = {&application.Create<TfoOptions>(*engine),
                                 &application.Create<TfoAddPopup>(*desktop, [] { return DetectionOptions{}; }),
                                 &application.Create<TfoWindowRule>(*desktop, WindowRuleText{}),
                                 &application.Create<TfoPickWindow>(std::vector<std::vector<std::string>>{})};
    std::vector<std::string> cut;
    // The client sizes the forms are designed with at 96 DPI.
    const SIZE designed[] = {{538, 388}, {351, 236}, {417, 336}, {520, 296}};
    for (std::size_t i = 0; i < forms.size(); ++i) {
      TForm* form = forms[i];
      // Pages that do not show still hold their controls at their places.
      CheckControl(*form, form->Name(), cut);
      const int dpi = win32::WindowDpi(form->Handle());
      const int width = ScaleLength(designed[i].cx, kDesignDpi, dpi);
      const int height = ScaleLength(designed[i].cy, kDesignDpi, dpi);
      EXPECT_NEAR(form->ClientWidth(), width, 2) << form->Name() << " at " << dpi;
      EXPECT_NEAR(form->ClientHeight(), height, 2) << form->Name() << " at " << dpi;
      RecordProperty(form->Name() + "-" + std::to_string(dpi),
                     std::to_string(form->ClientWidth()) + "x" + std::to_string(form->ClientHeight()));
    }
    // The window-rule dialog's line holds each of its messages.
    auto& rule = static_cast<TfoWindowRule&>(*forms[2]);
    for (const std::string* line : {&strings::WindowRuleFits, &strings::WindowRuleFitsAll, &strings::WindowRuleFrontTab,
                                    &strings::WindowRuleShell, &strings::WindowRuleOwn, &strings::WindowRuleEmpty,
                                    &strings::WindowRuleInvalid}) {
      rule.FitLabel.ShowLine(*line, false);
      CheckControl(rule.FitLabel, "foWindowRule/FitLabel", cut);
    }
    EXPECT_EQ(cut, std::vector<std::string>{}) << language;
    for (TForm* form : forms) application.Remove(*form).reset();
  }
}

TEST_F(TextFitWin32, AMovedFormTakesTheSuggestedRectangleAndItsImagesFollowTheDensity) {
  const int dpi = win32::WindowDpi(main->Tray().Window());
  HDC screen = ::GetDC(nullptr);
  EXPECT_EQ(dpi, ::GetDeviceCaps(screen, LOGPIXELSY)) << "the prefix's density";
  ::ReleaseDC(nullptr, screen);
  // The tray icon and the kill flash at the small-icon size of the density, again after the shell
  // says the task bar was made anew (as it does after a change of density).
  const auto iconWidth = [](HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !::GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return static_cast<int>(bitmap.bmWidth);
  };
  const int small = win32::MetricForDpi(SM_CXSMICON, dpi);
  EXPECT_EQ(small, ScaleLength(16, kDesignDpi, dpi));
  EXPECT_EQ(iconWidth(main->Tray().Icon()), small);
  main->FlashKillIcon();
  EXPECT_EQ(iconWidth(main->Tray().Icon()), small);
  ::SendMessageW(main->Tray().Window(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_EQ(iconWidth(main->Tray().Icon()), small);
  // The system's windows as the size test sees them: in the monitor's density.
  EXPECT_EQ(desktop->WindowDpi(reinterpret_cast<WindowHandle>(main->Tray().Window())), dpi);

  // Moved to a monitor of twice the density and back: the rectangle the system suggests, places,
  // fonts and list columns scaled, and back where they were.
  auto& form = application.Create<TfoWindowRule>(*desktop, WindowRuleText{});
  auto& pick = application.Create<TfoPickWindow>(std::vector<std::vector<std::string>>{});
  const auto fontHeight = [](TWinControl& control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control.Handle(), WM_GETFONT, 0, 0)), sizeof font, &font);
    return static_cast<int>(font.lfHeight);
  };
  const auto formIcon = [&](TForm& f, WPARAM kind) {
    return iconWidth(reinterpret_cast<HICON>(::SendMessageW(f.Handle(), WM_GETICON, kind, 0)));
  };
  EXPECT_EQ(formIcon(form, ICON_SMALL), small);
  EXPECT_EQ(formIcon(form, ICON_BIG), win32::MetricForDpi(SM_CXICON, dpi));
  const TBounds ok = form.OkButton.Bounds(), edit = form.ProgramEdit.Bounds();
  const int font = fontHeight(form.ProgramEdit);
  const int column = static_cast<int>(::SendMessageW(pick.Windows.Handle(), LVM_GETCOLUMNWIDTH, 0, 0));
  for (TForm* moved : std::initializer_list<TForm*>{&form, &pick}) {
    RECT suggested{40, 30, 40 + moved->Bounds().Width * 2, 30 + moved->Bounds().Height * 2};
    ::SendMessageW(moved->Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi * 2, dpi * 2),
                   reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(moved->Bounds(), (TBounds{40, 30, suggested.right - 40, suggested.bottom - 30})) << moved->Name();
  }
  const TBounds ok2 = form.OkButton.Bounds(), edit2 = form.ProgramEdit.Bounds();
  EXPECT_NEAR(ok2.Left, ok.Left * 2, 1);
  EXPECT_NEAR(ok2.Width, ok.Width * 2, 2);
  EXPECT_NEAR(edit2.Top, edit.Top * 2, 1);
  EXPECT_NEAR(fontHeight(form.ProgramEdit), font * 2, 1);
  EXPECT_EQ(formIcon(form, ICON_SMALL), win32::MetricForDpi(SM_CXSMICON, dpi * 2));
  EXPECT_NEAR(::SendMessageW(pick.Windows.Handle(), LVM_GETCOLUMNWIDTH, 0, 0), column * 2, 1);
  RECT back{40, 30, 40 + form.Bounds().Width / 2, 30 + form.Bounds().Height / 2};
  ::SendMessageW(form.Handle(), 0x02E0, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&back));
  EXPECT_EQ(form.OkButton.Bounds(), ok);
  EXPECT_EQ(form.ProgramEdit.Bounds(), edit);
  EXPECT_EQ(fontHeight(form.ProgramEdit), font);
  application.Remove(pick).reset();
  application.Remove(form).reset();
}
