#include "ui/FormWindowRule.h"

#include <algorithm>

#include "base/CaseFold.h"
#include "base/Trace.h"
#include "resources/resource.h"
#include "ui/Strings.h"

namespace zorvex {

using namespace widgets;

namespace {

constexpr WindowAction kActions[] = {WindowAction::Close, WindowAction::Minimise, WindowAction::Press,
                                     WindowAction::Watch, WindowAction::Leave};

int ActionIndex(const std::string& stored) {
  for (int i = 0; i < 5; ++i) {
    if (AsciiLower(stored) == ActionName(kActions[i])) return i;
  }
  return 0;
}

HCURSOR Crosshair() { return ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32515)); }  // IDC_CROSS

}  // namespace

// ---- TWindowFinder -------------------------------------------------------------------------------

TWindowFinder::TWindowFinder(TWinControl& parent, std::string name, TBounds bounds) : TWinControl(parent, std::move(name)) {
  DeclareClass("TWindowFinder");
  // SS_NOTIFY: a static control lets the mouse through without it.
  CreateHandle(TWindowParams{"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0, bounds, ""});
}

bool TWindowFinder::Notified(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_DRAWITEM) return false;
  const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  ::FillRect(draw->hDC, &draw->rcItem, BackgroundBrush());
  ::DrawEdge(draw->hDC, const_cast<RECT*>(&draw->rcItem), EDGE_SUNKEN, BF_RECT);
  // While dragging, the crosshair is at the cursor, not here.
  if (!dragging_) {
    const int size = std::min(draw->rcItem.right - draw->rcItem.left, draw->rcItem.bottom - draw->rcItem.top) - 4;
    ::DrawIconEx(draw->hDC, draw->rcItem.left + 2, draw->rcItem.top + 2, Crosshair(), size, size, 0, nullptr, DI_NORMAL);
  }
  result = TRUE;
  return true;
}

LRESULT TWindowFinder::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    // A second press soon after the first comes as a double click: a drag all the same.
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      dragging_ = true;
      ::SetCapture(window);
      ::SetCursor(Crosshair());
      ::InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_SETCURSOR:
      if (dragging_) {
        ::SetCursor(Crosshair());
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (dragging_) ::SetCursor(Crosshair());
      break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      if (!dragging_) break;
      dragging_ = false;
      if (message == WM_LBUTTONUP) ::ReleaseCapture();
      ::InvalidateRect(window, nullptr, TRUE);
      if (message != WM_LBUTTONUP) return 0;
      POINT at{};
      ::GetCursorPos(&at);
      HWND under = ::WindowFromPoint(at);
      HWND root = under != nullptr ? ::GetAncestor(under, GA_ROOT) : nullptr;
      if (root != nullptr && OnPick) OnPick(root);
      return 0;
    }
    default:
      break;
  }
  return TWinControl::WndProc(window, message, wParam, lParam);
}

// ---- TfoWindowRule -------------------------------------------------------------------------------

TfoWindowRule::TfoWindowRule(IDesktop& desktop, const WindowRuleText& rule)
    : TSForm("foWindowRule", TFormParams{417, 336, ::GetDesktopWindow(), TBorderStyle::Dialog, true, true}),
      desktop_(desktop),
      start_(rule),
      programs_(desktop) {
  DeclareClass("TfoWindowRule");
  SetCaption("Window Rule");
  Position = TPosition::ScreenCenter;
  SetIcon(IDI_APP);
  ProgramEdit.SetText(rule.program);
  ClassEdit.SetText(rule.className);
  TitleEdit.SetText(rule.title);
  ButtonBox.SetText(rule.button);
  OkButton.SetDefault(true);
  OkButton.ModalResult = mrOk;
  CancelButton.Cancel = true;
  CancelButton.ModalResult = mrCancel;
  int order = 0;
  for (TWinControl* control : std::initializer_list<TWinControl*>{&ProgramEdit, &ClassEdit, &TitleEdit, &ActionBox, &ButtonBox,
                                                                   &FitList, &OkButton, &CancelButton, &PickButton}) {
    control->SetTabOrder(order++);
  }
  for (TEdit* edit : {&ProgramEdit, &ClassEdit, &TitleEdit}) edit->OnChange = [this] { ShowFit(); };
  ActionBox.OnChange = [this] { ShowFit(); };
  ButtonBox.OnChange = [this] { ShowFit(); };
  Finder.OnPick = [this](HWND window) { TakeWindow(reinterpret_cast<WindowHandle>(window)); };
  PickButton.OnClick = [this] { PickButtonClick(); };
  RefreshTimer.OnTimer = [this] { RefreshWindows(); };
}

void TfoWindowRule::FormCreate() {
  for (const std::string* name : {&strings::ActionClose, &strings::ActionMinimise, &strings::ActionPress,
                                  &strings::ActionWatch, &strings::ActionLeave}) {
    ActionBox.Items().Add(*name);
  }
  ActionBox.SetItemIndex(ActionIndex(start_.action.empty() ? "close" : start_.action));
  RefreshWindows();
}

WindowRuleText TfoWindowRule::Rule() const {
  const int action = std::max(0, ActionBox.ItemIndex());
  const bool press = kActions[action] == WindowAction::Press;
  return WindowRuleText{ProgramEdit.Text(), ClassEdit.Text(), TitleEdit.Text(), ActionName(kActions[action]),
                        press ? ButtonBox.Text() : std::string()};
}

std::string TfoWindowRule::WindowLine(const WindowFacts& window) {
  return window.Program().name + "  |  " + window.ClassName() + "  |  " + window.Title();
}

void TfoWindowRule::RefreshWindows() {
  handles_.clear();
  windows_.clear();
  programs_.NewWalk();
  // A desktop that cannot be read lists nothing; the line then counts no windows.
  DropFailure("window list", [&] {
    for (const WindowHandle window : desktop_.TopLevelWindows()) {
      // The dialog counts itself before it shows, as it will stand among the open windows.
      if (!desktop_.IsVisible(window) && window != reinterpret_cast<WindowHandle>(Handle())) continue;
      handles_.push_back(window);
      windows_.emplace_back(desktop_, window, true, &programs_);
    }
  });
  ShowFit();
}

void TfoWindowRule::ShowFit() {
  const WindowRuleText rule = Rule();
  ButtonBox.SetEnabled(kActions[std::max(0, ActionBox.ItemIndex())] == WindowAction::Press);
  fit_ = FitWindowRule(rule, windows_, desktop_.OwnProcessId());
  const WindowRuleFitTexts texts{strings::WindowRuleFits, strings::WindowRuleFitsAll, strings::WindowRuleFrontTab,
                                 strings::WindowRuleShell, strings::WindowRuleOwn, strings::WindowRuleEmpty,
                                 strings::WindowRuleInvalid,
                                 {strings::FieldProgram, strings::FieldClass, strings::FieldTitle, strings::FieldButton}};
  FitLabel.ShowLine(WindowRuleFitMessage(fit_, texts), IsWarning(fit_));
  std::string lines;
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (fit_.fits[i]) lines += WindowLine(windows_[i]) + "\r\n";
  }
  // The list is filled anew every refresh; a user who scrolled it keeps their place.
  const LRESULT top = ::SendMessageW(FitList.Handle(), LB_GETTOPINDEX, 0, 0);
  ::SendMessageW(FitList.Handle(), WM_SETREDRAW, FALSE, 0);
  FitList.Items().SetText(lines);
  if (top > 0) ::SendMessageW(FitList.Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
  ::SendMessageW(FitList.Handle(), WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FitList.Handle(), nullptr, TRUE);
  OkButton.SetEnabled(fit_.warning != WindowRuleWarning::Invalid && fit_.warning != WindowRuleWarning::Empty);
}

void TfoWindowRule::TakeWindow(WindowHandle window) {
  if (window == 0 || desktop_.ProcessId(window) == desktop_.OwnProcessId()) return;
  const WindowFacts facts(desktop_, window, true, &programs_);
  if (!facts.Exists()) return;
  ProgramEdit.SetText(MaskForText(facts.Program().name));
  ClassEdit.SetText(MaskForText(facts.ClassName()));
  TitleEdit.SetText(MaskForText(facts.Title()));
  const std::string typed = ButtonBox.Text();
  ButtonBox.Items().Clear();
  DropFailure("push buttons", [&] {
    for (const PushButton& button : desktop_.PushButtons(window)) {
      if (button.visible) ButtonBox.Items().Add(CaptionWithoutMarks(button.caption));
    }
  });
  ButtonBox.SetText(typed);
  ShowFit();
}

void TfoWindowRule::PickButtonClick() {
  RefreshWindows();
  std::vector<std::vector<std::string>> rows;
  std::vector<WindowHandle> shown;
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (windows_[i].ProcessId() == desktop_.OwnProcessId()) continue;
    rows.push_back({windows_[i].Program().name, windows_[i].ClassName(), windows_[i].Title()});
    shown.push_back(handles_[i]);
  }
  TApplication* application = dynamic_cast<TApplication*>(Owner());
  if (application == nullptr) return;
  TfoPickWindow& pick = application->Create<TfoPickWindow>(std::move(rows));
  struct Free {
    TApplication& application;
    TComponent& form;
    ~Free() { application.Remove(form).reset(); }
  } free{*application, pick};
  if (pick.ShowModal() != mrOk) return;
  const int chosen = pick.Chosen();
  if (chosen >= 0 && static_cast<std::size_t>(chosen) < shown.size()) TakeWindow(shown[static_cast<std::size_t>(chosen)]);
}

// ---- TfoPickWindow -------------------------------------------------------------------------------

TfoPickWindow::TfoPickWindow(std::vector<std::vector<std::string>> rows)
    : TSForm("foPickWindow", TFormParams{520, 296, nullptr, TBorderStyle::Dialog}), rows_(std::move(rows)) {
  DeclareClass("TfoPickWindow");
  SetCaption("Open Windows");
  Position = TPosition::ScreenCenter;
  Windows.AddColumn("Program", 110);
  Windows.AddColumn("Class", 150);
  Windows.AddColumn("Title", 220);
  if (const TPropInfo* prop = Windows.FindProperty("RowSelect")) prop->SetEnum(1);
  if (const TPropInfo* prop = Windows.FindProperty("ReadOnly")) prop->SetEnum(1);
  if (const TPropInfo* prop = Windows.FindProperty("HideSelection")) prop->SetEnum(0);
  OkButton.SetDefault(true);
  OkButton.ModalResult = mrOk;
  CancelButton.Cancel = true;
  CancelButton.ModalResult = mrCancel;
}

void TfoPickWindow::FormCreate() {
  TListViewItems& items = Windows.Items();
  for (const std::vector<std::string>& row : rows_) {
    items.Add(row[0]);
    for (std::size_t c = 1; c < row.size(); ++c) items.SetSubItem(items.Count() - 1, c - 1, row[c]);
  }
}

int TfoPickWindow::Chosen() const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (Windows.Selected(i)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<WindowRuleText> RunWindowRuleDialog(TApplication& application, IDesktop& desktop, const WindowRuleText& rule) {
  TfoWindowRule& form = application.Create<TfoWindowRule>(desktop, rule);
  struct Free {
    TApplication& application;
    TComponent& form;
    ~Free() { application.Remove(form).reset(); }
  } free{application, form};
  if (form.ShowModal() != mrOk) return std::nullopt;
  return form.Rule();
}

}  // namespace zorvex
