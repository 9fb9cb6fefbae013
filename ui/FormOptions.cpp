#include "ui/FormOptions.h"

#include <commdlg.h>

#include <algorithm>

#include "base/CaseFold.h"
#include "base/Trace.h"
#include "platform/Files.h"
#include "resources/resource.h"
#include "ui/Strings.h"

namespace zorvex {

using namespace widgets;

namespace {

constexpr std::int32_t kWhite = 0x00FFFFFF;
constexpr int kFontHeight = -12;
constexpr int kTitleFontHeight = -21;
constexpr int kMenuIndent = 19;
constexpr int kTitleColumnWidth = 250;
constexpr int kHitsColumnWidth = 45;
constexpr int kLastColumnWidth = 100;
constexpr int kWindowColumnMax = 240;
constexpr const char* kSiteAddress = "http://zorvex.example.org";
constexpr const char* kWaveFilter = "Wave (*.wav)|*.wav";

constexpr const char* kThanks =
    "Thank you for using Zorvex!\r\n"
    "\r\n"
    "Zorvex closes the popup windows that web pages open, so you can read in peace.\r\n"
    "\r\n"
    "Credits\r\n"
    "Program and translations: the Zorvex team\r\n"
    "Icons and sound: the Zorvex build\r\n"
    "Thanks to all who reported a popup that got away.";

// Sets a Boolean property that a control publishes without a typed setter of its own.
void SetFlag(TPersistent& control, const char* name, bool on) {
  if (const TPropInfo* prop = control.FindProperty(name)) prop->SetEnum(on ? 1 : 0);
}

// A stored UTC stamp ("2026-12-08T01:02:03Z") as the lists show it, to the minute: the columns are
// narrow. Anything else is shown as stored.
std::string ShownStamp(const std::string& stored) {
  if (stored.size() != 20 || stored[10] != 'T' || stored[19] != 'Z') return stored;
  return stored.substr(0, 10) + " " + stored.substr(11, 5);
}

// Character height in pixels (negative), through the font's own property so that the control follows.
void SetFontHeight(TWinControl& control, int height) { control.Font().FindProperty("Height")->SetInteger(height); }


}  // namespace

// ---- TFileDialog ---------------------------------------------------------------------------------

TFileDialog::TFileDialog(std::string name, TKind kind, std::string filter, std::string defaultExt)
    : TComponent(std::move(name)), Filter(std::move(filter)), DefaultExt(std::move(defaultExt)), kind_(kind) {
  DeclareClass(kind == TKind::Open ? "TOpenDialog" : "TSaveDialog");
  PublishString("Filter", [this] { return Filter; }, [this](const std::string& v) { Filter = v; });
  PublishString("DefaultExt", [this] { return DefaultExt; }, [this](const std::string& v) { DefaultExt = v; });
  Chooser = [this](HWND owner) { return ChooseFileName(owner, kind_ == TKind::Save, Filter, DefaultExt); };
}

std::optional<std::string> TFileDialog::Execute(HWND owner) const {
  return Chooser ? Chooser(owner) : std::nullopt;
}

// ---- TfoOptions ----------------------------------------------------------------------------------

TfoOptions::TfoOptions(TZorvex& engine)
    : TSForm("foOptions", TFormParams{538, 388, nullptr, TBorderStyle::Dialog}), engine_(engine) {
  DeclareClass("TfoOptions");
  SetCaption("Options");
  Position = TPosition::ScreenCenter;
  SetIcon(IDI_APP);
  SetFontHeight(*this, kFontHeight);

  // The frame: header, page tree, pages, buttons; the bevels come last in the tab order.
  Panel1.SetColor(kWhite);
  Image1.LoadIcon(IDI_APP);
  SetFontHeight(TitleLabel, kTitleFontHeight);
  Panel1.SetTabOrder(0);
  MenuList.SetTabOrder(1);
  Pages.SetTabOrder(2);
  Panel2.SetTabOrder(3);
  MenuList.SetEdge(TEdge::Soft);
  SetFlag(MenuList, "HotTrack", true);
  SetFlag(MenuList, "ReadOnly", true);
  if (const TPropInfo* indent = MenuList.FindProperty("Indent")) indent->SetInteger(kMenuIndent);
  MenuList.OnChange = [this](HTREEITEM node) { MenuListChange(node); };
  OkButton.SetDefault(true);
  OkButton.ModalResult = mrOk;
  CancelButton.Cancel = true;
  CancelButton.ModalResult = mrCancel;

  // The rules page.
  Rules.AddColumn("Title", kTitleColumnWidth);
  Rules.AddColumn("Hits", kHitsColumnWidth);
  Rules.AddColumn("Last", kLastColumnWidth);
  SetFlag(Rules, "GridLines", true);
  SetFlag(Rules, "RowSelect", true);
  SetFlag(Rules, "MultiSelect", true);
  SetFlag(Rules, "HideSelection", false);
  SetFlag(Rules, "ReadOnly", true);
  Rules.SetSortByCaption(true);
  AddButton.OnClick = [this] { AddButtonClick(); };
  RemoveButton.OnClick = [this] { RemoveButtonClick(); };
  ImportButton.OnClick = [this] { ImportButtonClick(); };
  ExportButton.OnClick = [this] { ExportButtonClick(); };
  Rules.OnSelectItem = [this] { RulesSelectItem(); };

  // The window rules page: in the order they apply, one selected at a time.
  for (const auto& [caption, width] : std::initializer_list<std::pair<const char*, int>>{
           {"Program", 56}, {"Class", 56}, {"Title", 60}, {"Action", 62}, {"Hits", 50}, {"Last", 110}}) {
    WindowRuleList.AddColumn(caption, width);
  }
  SetFlag(WindowRuleList, "GridLines", true);
  SetFlag(WindowRuleList, "RowSelect", true);
  SetFlag(WindowRuleList, "HideSelection", false);
  SetFlag(WindowRuleList, "ReadOnly", true);
  WindowAddButton.OnClick = [this] { WindowAddButtonClick(); };
  WindowEditButton.OnClick = [this] { WindowEditButtonClick(); };
  WindowRemoveButton.OnClick = [this] { WindowRemoveButtonClick(); };
  WindowUpButton.OnClick = [this] { WindowUpButtonClick(); };
  WindowDownButton.OnClick = [this] { WindowDownButtonClick(); };

  // The options page.
  InternalRadio.SetChecked(true);
  SoundFileBox.Filter = kWaveFilter;
  SoundFileBox.OnChange = [this] { SoundFileBoxChange(); };
  SoundChooser = SoundFileBox.Chooser;
  // A chosen file the box would refuse (square brackets are allowed in file names) is shown anyway.
  SoundFileBox.Chooser = [this](const std::string& current) -> std::optional<std::string> {
    std::optional<std::string> chosen = SoundChooser ? SoundChooser(current) : std::nullopt;
    if (chosen && !IsValidFileName(*chosen, FileExists)) {
      ShowSoundFile(*chosen);
      return std::nullopt;
    }
    return chosen;
  };
  LimitSpin.SetEnabled(false);
  LimitCheck.OnClick = [this] { LimitSpin.SetEnabled(LimitCheck.Checked()); };

  // The about page.
  Panel3.SetBevel(TPanelBevel::Lowered);
  Image2.LoadIcon(IDI_APP);
  HotLink1.Url = kSiteAddress;
  Memo1.SetEdge(TEdge::None);
  SetFlag(Memo1, "ReadOnly", true);
  Memo1.Lines().SetText(kThanks);
  Pages.SetActivePage(&AboutSheet);
}

void TfoOptions::FormCreate() {
  // Here, after translation: the entries take the named strings, not the form's section.
  MenuList.AddNode(nullptr, strings::MenuRules, reinterpret_cast<std::uintptr_t>(&RulesSheet));
  MenuList.AddNode(nullptr, strings::MenuWindows, reinterpret_cast<std::uintptr_t>(&WindowsSheet));
  MenuList.AddNode(nullptr, strings::MenuOptions, reinterpret_cast<std::uintptr_t>(&OptionSheet));
  MenuList.AddNode(nullptr, strings::MenuAbout, reinterpret_cast<std::uintptr_t>(&AboutSheet));
  Rules.WidenColumnsToCaptions(true);
  WindowRuleList.WidenColumnsToCaptions();
}

void TfoOptions::MenuListChange(HTREEITEM node) {
  if (node == nullptr) return;
  if (auto* page = reinterpret_cast<TTabSheet*>(MenuList.NodeData(node))) Pages.SetActivePage(page);
}

void TfoOptions::LoadFromEngine() {
  TOptionsValues v = ShowOptionsInDialog(engine_);
  for (const auto& [box, field] : CheckBoxes(v)) box->SetChecked(*field);
  InternalRadio.SetChecked(v.InternalSound);
  ExternalRadio.SetChecked(!v.InternalSound);
  LimitCheck.SetChecked(v.Limit);
  LimitSpin.SetEnabled(LimitCheck.Checked());
  LimitSpin.SetValue(v.LimitValue);
  ShowSoundFile(v.SoundFile);
  Rules.Items().Clear();
  AddRules(v.Rules, engine_.RuleStatisticsList());
  windowRules_ = engine_.WindowRuleList();
  ShowWindowRules(-1);
}

void TfoOptions::SaveToEngine() {
  TOptionsValues v;
  for (const auto& [box, field] : CheckBoxes(v)) *field = box->Checked();
  v.InternalSound = InternalRadio.Checked();
  v.SoundFile = SoundFileBox.FileName();
  v.Limit = LimitCheck.Checked();
  v.LimitValue = LimitSpin.Value();
  v.Rules = RuleTitles();
  TakeOptionsFromDialog(engine_, v);
  engine_.SetWindowRules(windowRules_);
}

std::vector<std::pair<widgets::TCheckBox*, bool*>> TfoOptions::CheckBoxes(TOptionsValues& values) {
  return {{&AgressiveBox, &values.Detection.agressive},
          {&OperaBox, &values.Detection.families.opera},
          {&NetscapeBox, &values.Detection.families.netscape},
          {&ExplorerBox, &values.Detection.families.explorer},
          {&ChromiumBox, &values.Detection.families.chromium},
          {&StartBox, &values.StartWindows},
          {&LogBox, &values.UseLog},
          {&SoundBox, &values.PlaySound}};
}

std::vector<std::string> TfoOptions::RuleTitles() {
  std::vector<std::string> titles;
  TListViewItems& items = Rules.Items();
  for (std::size_t i = 0; i < items.Count(); ++i) titles.push_back(items.Caption(i));
  return titles;
}

void TfoOptions::AddRules(const std::vector<std::string>& titles, const std::vector<RuleStatistics>& stats) {
  // Sorting after every item would read the whole list each time: slow for thousands of rules.
  Rules.SetSortByCaption(false);
  struct SortAgain {
    TListView& rules;
    ~SortAgain() { rules.SetSortByCaption(true); }
  } sortAgain{Rules};
  TListViewItems& items = Rules.Items();
  for (std::size_t i = 0; i < titles.size(); ++i) {
    items.Add(titles[i]);
    if (i < stats.size()) {
      items.SetSubItem(items.Count() - 1, 0, stats[i].hits);
      items.SetSubItem(items.Count() - 1, 1, ShownStamp(stats[i].last));
    }
  }
}

namespace {

const std::string& ActionCaption(const std::string& stored) {
  const std::pair<WindowAction, const std::string*> captions[] = {
      {WindowAction::Close, &strings::ActionClose},  {WindowAction::Minimise, &strings::ActionMinimise},
      {WindowAction::Press, &strings::ActionPress},  {WindowAction::Watch, &strings::ActionWatch},
      {WindowAction::Leave, &strings::ActionLeave}};
  for (const auto& [action, caption] : captions) {
    if (SameTextAscii(stored, ActionName(action))) return *caption;
  }
  return stored;
}

}  // namespace

void TfoOptions::ShowWindowRules(int selected) {
  TListViewItems& items = WindowRuleList.Items();
  items.Clear();
  for (const StoredWindowRule& rule : windowRules_) {
    items.Add(rule.text.program);
    const std::size_t row = items.Count() - 1;
    const bool press = SameTextAscii(rule.text.action, ActionName(WindowAction::Press));
    const std::string action = ActionCaption(rule.text.action) + (press && !rule.text.button.empty() ? ": " + rule.text.button : "");
    const std::string cells[] = {rule.text.className, rule.text.title, action, rule.stats.hits, ShownStamp(rule.stats.last)};
    for (std::size_t c = 0; c < 5; ++c) items.SetSubItem(row, c, cells[c]);
  }
  // A cut program or action reads as another, so only the title gives way to keep the hits in view;
  // beyond that the list scrolls sideways.
  WindowRuleList.WidenColumnsToCells(kWindowColumnMax, 2);
  if (selected >= 0 && static_cast<std::size_t>(selected) < items.Count()) {
    WindowRuleList.SetSelected(static_cast<std::size_t>(selected), true);
  }
}

int TfoOptions::SelectedWindowRule() const {
  for (std::size_t i = 0; i < windowRules_.size(); ++i) {
    if (WindowRuleList.Selected(i)) return static_cast<int>(i);
  }
  return -1;
}

void TfoOptions::WindowAddButtonClick() {
  if (!EditWindowRule) return;
  const std::optional<WindowRuleText> rule = EditWindowRule(WindowRuleText{});
  if (!rule) return;
  windowRules_.push_back(StoredWindowRule{*rule, {}, StoredWindowRule::kNew});
  ShowWindowRules(static_cast<int>(windowRules_.size()) - 1);
}

void TfoOptions::WindowEditButtonClick() {
  const int selected = SelectedWindowRule();
  if (selected < 0 || !EditWindowRule) return;
  const std::optional<WindowRuleText> rule = EditWindowRule(windowRules_[static_cast<std::size_t>(selected)].text);
  if (!rule) return;
  windowRules_[static_cast<std::size_t>(selected)].text = *rule;
  ShowWindowRules(selected);
}

void TfoOptions::WindowRemoveButtonClick() {
  const int selected = SelectedWindowRule();
  if (selected < 0) return;
  windowRules_.erase(windowRules_.begin() + selected);
  ShowWindowRules(std::min(selected, static_cast<int>(windowRules_.size()) - 1));
}

void TfoOptions::MoveWindowRule(int by) {
  const int selected = SelectedWindowRule();
  const int to = selected + by;
  if (selected < 0 || to < 0 || static_cast<std::size_t>(to) >= windowRules_.size()) return;
  std::swap(windowRules_[static_cast<std::size_t>(selected)], windowRules_[static_cast<std::size_t>(to)]);
  ShowWindowRules(to);
}

void TfoOptions::WindowUpButtonClick() { MoveWindowRule(-1); }

void TfoOptions::WindowDownButtonClick() { MoveWindowRule(1); }

void TfoOptions::ShowSoundFile(const std::string& value) {
  try {
    SoundFileBox.SetFileName(value);
  } catch (const EInvalidFileName&) {
    // A stored value the box refuses must not keep the dialog from opening: the user corrects it here.
    SoundFileBox.SetText(QuotedFileName(value));
  }
}

void TfoOptions::AddButtonClick() {
  const std::string title = engine_.PickRuleTitle();
  if (!title.empty()) Rules.Items().Add(title);
}

void TfoOptions::RemoveButtonClick() {
  TListViewItems& items = Rules.Items();
  for (std::size_t i = items.Count(); i-- > 0;) {
    if (Rules.Selected(i)) items.Delete(i);
  }
  RulesSelectItem();
}

void TfoOptions::ImportButtonClick() {
  const std::optional<std::string> path = OpenDialog.Execute(Handle());
  if (!path) return;
  AddRules(RulesToImport(*path, RuleTitles()));
}

void TfoOptions::ExportButtonClick() {
  const std::optional<std::string> path = SaveDialog.Execute(Handle());
  if (!path) return;
  const std::vector<std::string> titles = RuleTitles();
  std::vector<bool> selected(titles.size());
  for (std::size_t i = 0; i < titles.size(); ++i) selected[i] = Rules.Selected(i);
  // A file that cannot be written is dropped silently: the dialog shows no messages.
  ExportRuleList(*path, RulesToExport(titles, selected));
}

void TfoOptions::SoundFileBoxChange() { ExternalRadio.SetChecked(true); }

void TfoOptions::RulesSelectItem() {
  int index = Rules.ItemFocused();
  if (index < 0 || !Rules.Selected(static_cast<std::size_t>(index))) {
    index = static_cast<int>(::SendMessageW(Rules.Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  if (index < 0) {
    fitShown_.reset();
    FitLabel.Clear();
    return;
  }
  const std::string rule = Rules.Items().Caption(static_cast<std::size_t>(index));
  // Selecting many rows at once notifies once per row.
  if (fitShown_ == rule) return;
  fitShown_ = rule;
  std::vector<std::string> titles;
  // A desktop that cannot be read lists nothing; the line then counts no windows.
  if (OpenWindows && !DropFailure("window list", [&] { titles = OpenWindows(); })) titles.clear();
  FitLabel.Show(FitRule(rule, titles));
}

bool RunOptionsDialog(TApplication& application, TZorvex& engine, std::function<std::vector<std::string>()> openWindows,
                      std::function<std::optional<WindowRuleText>(const WindowRuleText&)> editWindowRule) {
  TfoOptions& form = application.Create<TfoOptions>(engine);
  form.OpenWindows = std::move(openWindows);
  form.EditWindowRule = std::move(editWindowRule);
  struct Free {
    TApplication& application;
    TComponent& form;
    ~Free() { application.Remove(form).reset(); }
  } free{application, form};
  form.LoadFromEngine();
  // A rule added while the dialog is open (hot key, tray menu) joins its list, or Ok would drop it.
  engine.RuleAdded = [&form](const std::string& rule) { form.Rules.Items().Add(rule); };
  struct StopListening {
    TZorvex& engine;
    ~StopListening() { engine.RuleAdded = nullptr; }
  } stopListening{engine};
  if (form.ShowModal() != mrOk) return false;
  form.SaveToEngine();
  return true;
}

}  // namespace zorvex
