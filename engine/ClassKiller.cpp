#include "engine/ClassKiller.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

#include "base/Text.h"
#include "base/Trace.h"
#include "platform/Files.h"

namespace zorvex {

TZorvex* Engine = nullptr;

namespace {

// Names that are part of the files' and the registry's format; never translated.
namespace names {
constexpr const char* kOptions = "Options";
constexpr const char* kRules = "Rules";
constexpr const char* kRule = "Rule";
constexpr const char* kOldTitle = "Title";
constexpr const char* kRunEntry = "Zorvex";
}  // namespace names

constexpr auto kScannerStopTimeout = std::chrono::seconds(3);


// Keeps the newer half of a log that grew too large, at a line start; the older half replaces the
// ".old" file, so the log and its old part together never hold much more than twice the limit.
void HalveLog(const std::string& path) {
  const std::string content = ReadWholeFile(path);
  std::size_t cut = content.find('\n', content.size() / 2);
  cut = cut == std::string::npos ? content.size() : cut + 1;
  ReplaceFileContents(path + ".old", content.substr(0, cut));
  ReplaceFileContents(path, content.substr(cut));
}

bool HasElementChildren(TSimpleXmlElem& elem) {
  TSimpleXmlElems& children = elem.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    if (dynamic_cast<TSimpleXmlElemClassic*>(children.Item(i)) != nullptr) return true;
  }
  return false;
}

}  // namespace

std::string FormatTrayHint(const std::string& format, std::int32_t count) { return WithNumbers(format, {count}); }

bool ExportRuleList(const std::string& path, const std::vector<std::string>& rules) {
  bool written = false;
  DropFailure("rule list export", [&] {
    ReplaceFileContents(path, LinesWithBreaks(rules));
    written = true;
  });
  return written;
}

bool ImportRuleList(const std::string& path, std::vector<std::string>& list) {
  std::string content;
  bool read = false;
  DropFailure("rule list import", [&] {
    content = ReadWholeFile(path);
    read = true;
  });
  if (!read) return false;
  for (std::string line : SplitLines(content)) {
    line = WithoutControlCharacters(std::move(line));
    if (std::find(list.begin(), list.end(), line) == list.end()) list.push_back(line);
  }
  return true;
}

TZorvex::TZorvex(EngineServices services)
    : services_(std::move(services)), tracker_(services_.closer.tracker) {
  if (!tracker_) tracker_ = std::make_shared<ScannerTracker>();
  services_.closer.tracker = tracker_;
  services_.closer.scanner.host = this;
}

TZorvex::~TZorvex() {
  closer_.reset();
  // Scanners still finishing their cycle may wait for the main thread, which is here: release them,
  // then wait until none can touch this object any more.
  if (services_.closer.scanner.mainThread) services_.closer.scanner.mainThread->End();
  tracker_->StopAll(kScannerStopTimeout);
  if (Engine == this) Engine = nullptr;
}

std::string TZorvex::LogPath() const {
  const std::string& path = services_.programPath;
  const std::size_t slash = path.find_last_of("\\/");
  const std::size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? path.substr(0, dot) : path) + ".log";
}

void TZorvex::SetActive(bool on) {
  if (on == AutoDetect) return;
  AutoDetect = on;
  if (on) {
    closer_ = std::make_unique<TSPopup>(services_.closer);
    // The rules first, so that the scanner's first pass has them.
    closer_->SetRules(LinesWithBreaks(RuleList()));
    closer_->SetDetection(detection_);
  } else {
    closer_.reset();
  }
}

void TZorvex::SetDetection(const DetectionOptions& options) {
  detection_ = options;
  // Told even when nothing changed.
  if (closer_) closer_->SetDetection(detection_);
}

void TZorvex::SetOpera(bool on) { ChangeDetection([on](DetectionOptions& d) { d.families.opera = on; }); }
void TZorvex::SetNetscape(bool on) { ChangeDetection([on](DetectionOptions& d) { d.families.netscape = on; }); }
void TZorvex::SetExplorer(bool on) { ChangeDetection([on](DetectionOptions& d) { d.families.explorer = on; }); }
void TZorvex::SetChromium(bool on) { ChangeDetection([on](DetectionOptions& d) { d.families.chromium = on; }); }
void TZorvex::SetAgressive(bool on) { ChangeDetection([on](DetectionOptions& d) { d.agressive = on; }); }

void TZorvex::ChangeDetection(const std::function<void(DetectionOptions&)>& change) {
  DetectionOptions options = detection_;
  change(options);
  SetDetection(options);
}

void TZorvex::SetCount(std::int32_t count) {
  Count = count;
  if (tray_) tray_->SetHint(FormatTrayHint(tray_->TrayHint(), count));
}

void TZorvex::ApplyDefaults() {
  SetOpera(true);
  SetExplorer(true);
  SetNetscape(true);
  SetChromium(true);
  PlaySound = true;
  SetAgressive(true);
  SetCount(0);
  SetStartWindows(true);
  PlaySoundVal.clear();
  LimitExplorer = 0;
  UseLog = true;
  SetActive(true);
}

void TZorvex::SetStartWindows(bool on) {
  StartWindows = on;
  if (!services_.startup) return;
  if (on) {
    // A refused write leaves the option as asked; the next start tries again.
    services_.startup->Write(names::kRunEntry, "\"" + services_.programPath + "\"");
  } else {
    services_.startup->Remove(names::kRunEntry);
  }
}

void TZorvex::WriteLog(const std::string& text) {
  if (!UseLog) return;
  const std::string path = LogPath();
  if (IsReadOnlyFile(path)) return;
  const std::string stamp = services_.localTime ? services_.localTime->LogStamp() : std::string();
  DropFailure("kill log", [&] {
    if (AppendLine(path, "[" + stamp + "] " + WithoutControlCharacters(text)) >= kMaxLogBytes) HalveLog(path);
  });
}

void TZorvex::PlayAlarm() {
  // The count stops at its largest value rather than wrapping to a negative one.
  SetCount(Count == std::numeric_limits<std::int32_t>::max() ? Count : Count + 1);
  if (PlaySound && services_.sound) {
    if (!PlaySoundVal.empty() && FileExists(PlaySoundVal)) {
      services_.sound->PlayName(PlaySoundVal);
    } else {
      services_.sound->PlayBuiltIn();
    }
  }
  if (tray_) tray_->FlashKillIcon();
}

void TZorvex::MarkUnreadable(Unreadable& state, const std::string& path, const std::string& reason) {
  state = {true, reason};
  TraceDropped("settings file", "cannot load \"" + path + "\": " + reason);
}

bool TZorvex::KeepUnreadable(const std::string& path, Unreadable& state) {
  if (!state.pending) return true;
  if (!FileExists(path)) {  // gone meanwhile: nothing left to keep
    state.pending = false;
    return true;
  }
  // An earlier copy is never replaced: it may be the only one of the user's settings.
  std::string aside = path + ".unreadable";
  for (int n = 2; FileExists(aside); ++n) {
    if (n > 1000) {
      TraceDropped("settings file", "not overwritten, no free name to keep \"" + path + "\"");
      return false;
    }
    aside = path + ".unreadable." + std::to_string(n);
  }
  try {
    ReplaceFileContents(aside, ReadWholeFile(path));
  } catch (const std::exception& e) {
    TraceDropped("settings file", "not overwritten, cannot keep \"" + path + "\": " + e.what());
    return false;
  }
  state.pending = false;
  WriteLog("Settings file that could not be loaded kept as " + aside);
  return true;
}

void TZorvex::LoadOptions() {
  LoadRules();
  DropFailure("save recovery", [&] { RecoverInterruptedSave(OptionsPath()); });
  optionsUnreadable_ = {};
  try {
    if (!FileExists(OptionsPath())) {
      ApplyDefaults();
    } else {
      TSimpleXml doc;
      try {
        doc.LoadFromFile(OptionsPath());
      } catch (const std::exception& e) {
        MarkUnreadable(optionsUnreadable_, OptionsPath(), e.what());
        throw;
      }
      TSimpleXmlElems& o = doc.Root().Elems();
      SetOpera(o.ReadBool("Opera", true));
      SetNetscape(o.ReadBool("Netscape", true));
      SetExplorer(o.ReadBool("Explorer", true));
      // Files written before this family existed lack the element: it is then watched.
      SetChromium(o.ReadBool("Chromium", true));
      PlaySound = o.ReadBool("PlaySound", true);
      PlaySoundVal = o.ReadText("PlaySoundVal", "");
      SetStartWindows(o.ReadBool("StartWindows", true));
      // The low 32 bits, as the count is stored.
      SetCount(static_cast<std::int32_t>(static_cast<std::uint32_t>(o.ReadInt("Count", 0))));
      SetAgressive(o.ReadBool("Agressive", true));
      SetActive(o.ReadBool("AutoDetect", true));
      UseLog = o.ReadBool("UseLog", true);
      Language = o.ReadText("Language", "");
      LimitExplorer = static_cast<std::int32_t>(static_cast<std::uint32_t>(o.ReadInt("LimitExplorer", 0)));
    }
  } catch (const std::exception&) {
    // A broken options.xml: the defaults apply, and the file is kept aside at the next save.
    ApplyDefaults();
  }
  // Only now is it known whether to log.
  const std::pair<const Unreadable*, std::string> files[] = {{&rulesUnreadable_, RulesPath()},
                                                             {&optionsUnreadable_, OptionsPath()}};
  for (const auto& [state, path] : files) {
    if (state->pending) WriteLog("Cannot load settings file " + path + ": " + state->reason);
  }
}

void TZorvex::LoadRules() {
  DropFailure("save recovery", [&] { RecoverInterruptedSave(RulesPath()); });
  rulesUnreadable_ = {};
  TSimpleXmlElemClassic& root = RulesDoc.Root();
  try {
    RulesDoc.LoadFromFile(RulesPath());
    // Older files kept each rule as an element with a "Title" child.
    TSimpleXmlElems& children = root.Elems();
    for (std::size_t i = children.Count(); i-- > 0;) {
      TSimpleXmlElem* child = children.Item(i);
      if (!HasElementChildren(*child)) continue;
      child->SetName(names::kRule);
      child->Value = child->Elems().ReadText(names::kOldTitle, "");
      child->Elems().Clear();
    }
    // A rule edited into the file by hand may hold a line break; the scanner would see two rules.
    for (std::size_t i = 0; i < children.Count(); ++i) {
      TSimpleXmlElem* child = children.Item(i);
      child->Value = WithoutControlCharacters(child->Value);
    }
  } catch (const std::exception& e) {
    root.Clear();
    if (FileExists(RulesPath())) MarkUnreadable(rulesUnreadable_, RulesPath(), e.what());
  }
  root.SetName(names::kRules);
}

void TZorvex::SaveOptions() {
  DropFailure("saving options", [&] {
    if (!KeepUnreadable(OptionsPath(), optionsUnreadable_)) return;
    TSimpleXml doc;
    doc.Root().SetName(names::kOptions);
    TSimpleXmlElems& o = doc.Root().Elems();
    o.Add("Opera", detection_.families.opera);
    o.Add("Netscape", detection_.families.netscape);
    o.Add("Explorer", detection_.families.explorer);
    o.Add("Chromium", detection_.families.chromium);
    o.Add("PlaySound", PlaySound);
    o.Add("PlaySoundVal", PlaySoundVal);
    o.Add("StartWindows", StartWindows);
    o.Add("Count", Count);
    o.Add("Agressive", detection_.agressive);
    o.Add("AutoDetect", AutoDetect);
    o.Add("UseLog", UseLog);
    o.Add("LimitExplorer", LimitExplorer.load());
    o.Add("Language", Language);
    doc.SaveToFile(OptionsPath());
  });
  SaveRules();
}

void TZorvex::SaveRules() {
  DropFailure("saving rules", [&] {
    if (KeepUnreadable(RulesPath(), rulesUnreadable_)) RulesDoc.SaveToFile(RulesPath());
  });
}

std::vector<std::string> TZorvex::RuleList() {
  std::vector<std::string> rules;
  TSimpleXmlElems& children = RulesDoc.Root().Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    const TSimpleXmlElem* child = children.Item(i);
    if (child->Name() == names::kRule) rules.push_back(child->Value);
  }
  return rules;
}

void TZorvex::SetRules(const std::vector<std::string>& rules) {
  TSimpleXmlElemClassic& root = RulesDoc.Root();
  root.Clear();
  for (const std::string& rule : rules) root.Elems().Add(names::kRule, WithoutControlCharacters(rule));
  if (closer_) closer_->SetRules(LinesWithBreaks(RuleList()));
}

void TZorvex::AddRule(const std::string& text) {
  const std::string rule = WithoutControlCharacters(text);
  DropFailure("adding a rule", [&] {
    RulesDoc.Root().Elems().Add(names::kRule, rule);
    SaveOptions();
    if (closer_) closer_->SetRules(LinesWithBreaks(RuleList()));
  });
  if (RuleAdded) RuleAdded(rule);
}

void TZorvex::KeepDetecting() {
  if (closer_) closer_->KeepScanning();
}

// --- The add-rule dialog seam. ---

void TZorvex::AddRuleFromDialog() {
  if (!RuleDialog) return;
  const TRuleDialogResult result = RuleDialog(true);
  if (!result.Ok) return;
  if (result.Selected.size() > 1) {
    for (const std::string& title : result.Selected) AddRule(title);
  } else if (!result.Edit.empty()) {
    // With one entry selected the edit box holds its title as the user left it.
    AddRule(result.Edit);
  }
}

std::string TZorvex::PickRuleTitle() {
  if (!RuleDialog) return std::string();
  const TRuleDialogResult result = RuleDialog(false);
  return result.Ok ? WithoutControlCharacters(result.Edit) : std::string();
}

}  // namespace zorvex
