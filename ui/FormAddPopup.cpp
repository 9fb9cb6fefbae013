#include "ui/FormAddPopup.h"

#include "base/Text.h"
#include "base/Trace.h"
#include "platform/win32/WideText.h"
#include "resources/resource.h"

namespace zorvex {

using namespace widgets;

namespace {

constexpr int kEntryHeight = 14;

// Locale-aware and without regard to letter case, as the user reads titles.
bool SameTitle(const std::string& a, const std::string& b) {
  return ::lstrcmpiW(win32::Widen(a).c_str(), win32::Widen(b).c_str()) == 0;
}

}  // namespace

TfoAddPopup::TfoAddPopup(IDesktop& desktop, std::function<DetectionOptions()> detection)
    : TSForm("foAddPopup", TFormParams{351, 236, ::GetDesktopWindow(), TBorderStyle::Dialog, true, true}),
      desktop_(desktop),
      detection_(std::move(detection)) {
  DeclareClass("TfoAddPopup");
  SetCaption("Add Popup Rule");
  Position = TPosition::ScreenCenter;
  SetIcon(IDI_APP);
  ListBox1.SetItemHeight(kEntryHeight);
  ListBox1.SetMarks({});
  ListBox1.OnClick = [this] { ListBox1Click(); };
  ListBox1.SetTabOrder(0);
  Edit1.SetTabOrder(1);
  OkButton.SetTabOrder(2);
  CancelButton.SetTabOrder(3);
  HintLabel.SetTabOrder(4);
  OkButton.SetDefault(true);
  OkButton.ModalResult = mrOk;
  CancelButton.Cancel = true;
  CancelButton.ModalResult = mrCancel;
  RefreshTimer.OnTimer = [this] { RefreshList(); };
  Edit1.OnChange = [this] { ShowFit(); };
  ShowFit();
}

void TfoAddPopup::RefreshList() {
  TStrings& items = ListBox1.Items();
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < items.Count(); ++i) {
    if (ListBox1.Selected(static_cast<int>(i))) kept.push_back(items.Get(i));
  }
  const int top = ListBox1.TopIndex();

  std::vector<std::string> titles;
  // Listing fails only as a whole when the desktop cannot be read: the list is then empty.
  try {
    TEnum(desktop_, detection_).ListWindows(titles);
  } catch (...) {
    TraceCurrentFailure("window list");
    titles.clear();
  }
  std::string text;
  for (const std::string& title : titles) text += title + "\r\n";

  // Drawn once when done, so that the list does not flicker every two seconds.
  ::SendMessageW(ListBox1.Handle(), WM_SETREDRAW, FALSE, 0);
  items.SetText(text);
  const bool multi = ListBox1.MultiSelect();
  for (std::size_t i = 0; i < items.Count(); ++i) {
    const std::string title = items.Get(i);
    bool again = false;
    for (const std::string& k : kept) again = again || SameTitle(title, k);
    if (!again) continue;
    ListBox1.SetSelected(static_cast<int>(i), true);
    if (!multi) break;
  }
  ListBox1.SetTopIndex(top);
  titles_ = std::move(titles);
  ShowFit();
  ::SendMessageW(ListBox1.Handle(), WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(ListBox1.Handle(), nullptr, TRUE);
}

void TfoAddPopup::ListBox1Click() {
  TStrings& items = ListBox1.Items();
  const int index = ListBox1.ItemIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= items.Count()) return;
  if (!ListBox1.MultiSelect() || ListBox1.Selected(index)) {
    Edit1.SetText(items.Get(static_cast<std::size_t>(index)));
    return;
  }
  // The click took its entry out of the selection: its title must not be what Ok adds.
  if (ListBox1.SelCount() != 1) return;
  for (std::size_t i = 0; i < items.Count(); ++i) {
    if (ListBox1.Selected(static_cast<int>(i))) Edit1.SetText(items.Get(i));
  }
}

void TfoAddPopup::ShowFit() {
  // Ok adds nothing for an empty title, so there is no rule to speak of yet.
  if (Edit1.Text().empty()) {
    ListBox1.SetMarks({});
    FitLabel.Clear();
    return;
  }
  const RuleFit fit = FitRule(Edit1.Text(), titles_);
  std::vector<bool> marks;
  for (std::size_t i = 0; i < titles_.size(); ++i) {
    // A title with line breaks shows as one entry per line, as the list took it.
    marks.insert(marks.end(), SplitLines(titles_[i] + "\r\n").size(), fit.fits[i]);
  }
  ListBox1.SetMarks(std::move(marks));
  FitLabel.Show(fit);
}

TRuleDialogResult TfoAddPopup::Result() const {
  TRuleDialogResult result;
  result.Ok = ModalResult() == mrOk;
  result.Edit = Edit1.Text();
  if (ListBox1.MultiSelect()) {
    for (std::size_t i = 0; i < ListBox1.Items().Count(); ++i) {
      if (ListBox1.Selected(static_cast<int>(i))) result.Selected.push_back(ListBox1.Items().Get(i));
    }
  }
  return result;
}

TRuleDialogResult RunAddPopupDialog(TApplication& application, IDesktop& desktop,
                                    const std::function<DetectionOptions()>& detection, bool multiSelect) {
  // One usable dialog at a time: a hot key pressed twice must not stack two of them. One that a
  // later modal dialog has disabled does not count, so that dialog can still open its own.
  for (std::size_t i = 0; i < application.ComponentCount(); ++i) {
    auto* open = dynamic_cast<TfoAddPopup*>(&application.Component(i));
    if (open != nullptr && open->Visible() && open->Enabled()) {
      ::SetForegroundWindow(open->Handle());
      return TRuleDialogResult{};
    }
  }
  TfoAddPopup& form = application.Create<TfoAddPopup>(desktop, detection);
  struct Free {
    TApplication& application;
    TComponent& form;
    ~Free() { application.Remove(form).reset(); }
  } free{application, form};
  form.ListBox1.SetMultiSelect(multiSelect);
  form.RefreshList();
  form.ShowModal();
  return form.Result();
}

}  // namespace zorvex
