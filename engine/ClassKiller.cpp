#include "engine/ClassKiller.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <functional>
#include <limits>
#include <thread>
#include <unordered_map>
#include <utility>

#include "base/CaseFold.h"
#include "base/Text.h"
#include "base/Trace.h"
#include "base/UtcTime.h"
#include "engine/OptionRows.h"
#include "i18n/TextFiles.h"
#include "platform/Files.h"
#include "popups/RuleFit.h"
#include "popups/WindowRules.h"

namespace zorvex {

namespace {

// Names that are part of the files' and the registry's format; never translated.
namespace names {
constexpr const char* kOptions = "Options";
constexpr const char* kRules = "Rules";
constexpr const char* kRule = "Rule";
constexpr const char* kWindowRule = "WindowRule";
constexpr const char* kOldTitle = "Title";
// A window rule's fields.
constexpr const char* kProgram = "program";
constexpr const char* kClass = "class";
constexpr const char* kTitle = "title";
constexpr const char* kAction = "action";
constexpr const char* kButton = "button";
// Every rule's statistics.
constexpr const char* kHits = "hits";
constexpr const char* kLast = "last";
constexpr const char* kRunEntry = "Zorvex";
}  // namespace names

constexpr auto kScannerStopTimeout = std::chrono::seconds(3);

// Between tries at exit.
constexpr auto kExitPause = std::chrono::milliseconds(100);

// Keeps the newer half of a log that grew too large, at a line start; the older half replaces the
// ".old" file, so the log and its old part together never hold much more than twice the limit.
// When the old part cannot be replaced and dropOlderHalf is set, the older half is dropped.
void HalveLog(const std::string& path, bool dropOlderHalf) {
  const std::string content = ReadWholeFile(path);
  std::size_t cut = content.find('\n', content.size() / 2);
  cut = cut == std::string::npos ? content.size() : cut + 1;
  try {
    ReplaceFileContents(path + ".old", content.substr(0, cut));
  } catch (const std::exception& e) {
    if (!dropOlderHalf) throw;
    // Held for long: a log that grew without end would fill the disk.
    TraceDropped("kill log", std::string("older half dropped: ") + e.what());
  }
  ReplaceFileContents(path, content.substr(cut));
}

bool HasElementChildren(TSimpleXmlElem& elem) {
  TSimpleXmlElems& children = elem.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    if (dynamic_cast<TSimpleXmlElemClassic*>(children.Item(i)) != nullptr) return true;
  }
  return false;
}

WindowRuleText StoredRuleText(TSimpleXmlElem& elem) {
  const TSimpleXmlProps& props = elem.Props();
  return WindowRuleText{props.ReadText(names::kProgram, ""), props.ReadText(names::kClass, ""),
                        props.ReadText(names::kTitle, ""), props.ReadText(names::kAction, ""),
                        props.ReadText(names::kButton, "")};
}

RuleStatistics StatisticsOf(TSimpleXmlElem& elem) {
  const TSimpleXmlProps& props = elem.Props();
  return RuleStatistics{props.ReadText(names::kHits, ""), props.ReadText(names::kLast, "")};
}

// Sets an attribute, or removes it when value is empty, so an unused field leaves no trace.
void SetOrDrop(TSimpleXmlProps& props, const char* name, const std::string& value) {
  if (!value.empty()) {
    if (TSimpleXmlProp* prop = props.Find(name)) {
      prop->Value = value;
    } else {
      props.Add(name, value);
    }
    return;
  }
  for (std::size_t i = props.Count(); i-- > 0;) {
    if (SameTextAscii(props.Item(i).Name(), name)) props.Delete(i);
  }
}

void StoreWindowRule(TSimpleXmlElem& elem, const WindowRuleText& text) {
  TSimpleXmlProps& props = elem.Props();
  SetOrDrop(props, names::kProgram, WithoutControlCharacters(text.program));
  SetOrDrop(props, names::kClass, WithoutControlCharacters(text.className));
  SetOrDrop(props, names::kTitle, WithoutControlCharacters(text.title));
  SetOrDrop(props, names::kAction, WithoutControlCharacters(text.action));
  SetOrDrop(props, names::kButton, WithoutControlCharacters(text.button));
}

// The window rules of root that can be used, compiled, in document order; for each other one the
// line that says why goes to unused, when given.
std::vector<WindowRule> UsableWindowRules(TSimpleXmlElem& root, std::vector<std::string>* unused) {
  std::vector<WindowRule> rules;
  TSimpleXmlElems& children = root.Elems();
  // A compiled rule takes kilobytes: the list is made once at its size, not grown by copying.
  std::size_t count = 0;
  for (std::size_t i = 0; i < children.Count(); ++i) count += children.Item(i)->Name() == names::kWindowRule;
  rules.reserve(count);
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlElem* child = children.Item(i);
    if (child->Name() != names::kWindowRule) continue;
    const WindowRuleText text = StoredRuleText(*child);
    std::string fault;
    if (std::optional<WindowRule> rule = CompileWindowRule(text, fault)) {
      rules.push_back(std::move(*rule));
    } else if (unused) {
      unused->push_back("Window Rule Not Used: (" + ReadableRule(text) + "), " + fault);
    }
  }
  return rules;
}

// The element of the rule that fitted: the first window rule with the same fields, or the first
// title rule that the scanner or the DDE path would have prepared to the same text.
TSimpleXmlElem* FittedRuleElement(TSimpleXmlElem& root, const RuleHit& hit) {
  TSimpleXmlElems& children = root.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlElem* child = children.Item(i);
    const bool fits = hit.windowRule ? child->Name() == names::kWindowRule && StoredRuleText(*child) == *hit.windowRule
                                     : child->Name() == names::kRule &&
                                           (PrepareRule(child->Value).text == hit.titleRule ||
                                            FoldCase(WithoutControlCharacters(child->Value)) == hit.titleRule);
    if (fits) return child;
  }
  return nullptr;
}

// The count a hits attribute holds; one that is not a plain decimal count counts as none.
std::uint64_t StoredHits(const std::string& text) {
  std::uint64_t hits = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, hits);
  return error == std::errc() && stop == end ? hits : 0;
}

void SetProp(TSimpleXmlProps& props, const char* name, const std::string& value) {
  if (TSimpleXmlProp* prop = props.Find(name)) {
    prop->Value = value;
  } else {
    props.Add(name, value);
  }
}

bool IsOwnRuleAttribute(const std::string& name) {
  for (const char* own : {names::kProgram, names::kClass, names::kTitle, names::kAction, names::kButton, names::kHits,
                          names::kLast}) {
    if (name == own) return true;
  }
  return false;
}

// Leaves in root only its rules, each with the attributes this version writes itself: what else
// the file held may be what cannot be written back.
void KeepOnlyRules(TSimpleXmlElemClassic& root) {
  struct Kept {
    std::string name, value;
    std::vector<std::pair<std::string, std::string>> props;
  };
  std::vector<Kept> kept;
  TSimpleXmlElems& children = root.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlElem* child = children.Item(i);
    if (child->Name() != names::kRule && child->Name() != names::kWindowRule) continue;
    Kept rule{child->Name(), child->Value, {}};
    const TSimpleXmlProps& props = child->Props();
    for (std::size_t j = 0; j < props.Count(); ++j) {
      const TSimpleXmlProp& prop = props.Item(j);
      if (prop.Prefix.empty() && IsOwnRuleAttribute(prop.Name())) rule.props.emplace_back(prop.Name(), prop.Value);
    }
    kept.push_back(std::move(rule));
  }
  root.Clear();
  for (const Kept& rule : kept) {
    TSimpleXmlElemClassic& elem = root.Elems().Add(rule.name, rule.value);
    for (const auto& [name, value] : rule.props) elem.Props().Add(name, value);
  }
}

}  // namespace

std::string FormatTrayHint(const std::string& format, std::int32_t count) { return WithNumbers(format, {count}); }

bool ExportRuleList(const std::string& path, const std::vector<std::string>& rules) {
  bool written = false;
  DropFailure("rule list export", [&] {
    ReplaceFileContents(path, RuleListFileBytes(rules));
    written = true;
  });
  return written;
}

bool ImportRuleList(const std::string& path, std::vector<std::string>& list) {
  std::string content;
  bool read = false;
  DropFailure("rule list import", [&] {
    content = DecodeRuleListFile(ReadWholeFile(path)).text;
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
    : services_(std::move(services)),
      rules_(*this, {services_.folder + "rules.xml", [this](bool brief) { ReadRulesFile(brief); },
                     [this] { WriteRulesFile(); },
                     [this] {
                       HandRulesToCloser();
                       TellOfUnusedRules();
                     }}),
      options_(*this, {services_.folder + "options.xml", [this](bool brief) { ReadOptionsFile(brief); },
                       [this] { WriteOptionsFile(); }, nullptr}),
      tracker_(services_.closer.tracker) {
  if (!tracker_) tracker_ = std::make_shared<ScannerTracker>();
  services_.closer.tracker = tracker_;
  services_.closer.scanner.host = this;
}

TZorvex::~TZorvex() {
  FinishDetection();
}

void TZorvex::FinishDetection() {
  if (finished_) return;
  finished_ = true;
  closer_.reset();
  tracker_->AskAllToStop();
  // Real time: the threads waited for run on it, whatever clock the engine is given.
  const auto deadline = std::chrono::steady_clock::now() + kScannerStopTimeout;
  // The scanners and closing threads post to the main thread, which is here: it runs every report
  // posted until none can post again, so that no kill made is lost (a check posted by a scanner
  // finds its closer gone and does nothing).
  if (IMainThread* main = services_.closer.scanner.mainThread.get()) {
    main->RunUntil([this] { return tracker_->AllEnded(); }, kScannerStopTimeout);
    // What a close still held by a hung window reports later is dropped from here on.
    main->End();
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  // Released, a scanner ends at once; none may touch this object after its end.
  tracker_->StopAll(std::max(left, kExitPause));
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
  if (on && !finished_) {
    closer_ = std::make_unique<TSPopup>(services_.closer);
    // The rules first, so that the scanner's first pass has them.
    HandRulesToCloser();
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
void TZorvex::SetLimitExplorer(std::int32_t limit) {
  ChangeDetection([limit](DetectionOptions& d) { d.explorerLimit = limit; });
}

void TZorvex::ChangeDetection(const std::function<void(DetectionOptions&)>& change) {
  DetectionOptions options = detection_;
  change(options);
  SetDetection(options);
}

void TZorvex::SetCount(std::int32_t count) {
  Count = count;
  if (tray_) tray_->SetHint(FormatTrayHint(tray_->TrayHint(), count));
}

void TZorvex::ApplyDefaults() { ApplyOptionDefaults(*this); }

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
    if (!logInUtf8_) KeepLogInUtf8(path);
    logInUtf8_ = true;
    const std::uint64_t size = AppendLine(path, ValidUtf8("[" + stamp + "] " + WithoutControlCharacters(text)));
    if (size < kMaxLogBytes) return;
    // Halving reads the whole log: after a failure it waits, rather than costing every line; but
    // not past the hard bound, which the size alone tells.
    const bool atHardBound = size >= kLogHardLimitFactor * kMaxLogBytes;
    if (!atHardBound && logHalvingFailed_ && Steady() - *logHalvingFailed_ < kLogHalvingRetry) return;
    try {
      HalveLog(path, atHardBound);
      logHalvingFailed_.reset();
    } catch (...) {
      logHalvingFailed_ = Steady();
      throw;
    }
  });
}

void TZorvex::PlayAlarm() {
  // The count stops at its largest value rather than wrapping to a negative one.
  SetCount(Count == std::numeric_limits<std::int32_t>::max() ? Count : Count + 1);
  if (PlaySound && services_.sound && !finished_) {
    if (!PlaySoundVal.empty() && FileExists(PlaySoundVal)) {
      services_.sound->PlayName(PlaySoundVal);
    } else {
      services_.sound->PlayBuiltIn();
    }
  }
  // At exit the kills still reported are counted in silence.
  if (finished_) return;
  if (tray_) tray_->FlashKillIcon();
}

void TZorvex::Pause(std::chrono::milliseconds span) {
  if (services_.pause) {
    services_.pause(span);
  } else {
    std::this_thread::sleep_for(span);
  }
}

std::chrono::steady_clock::time_point TZorvex::Steady() const {
  return services_.closer.clock ? services_.closer.clock->Steady() : std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point TZorvex::Now() const {
  return services_.closer.clock ? services_.closer.clock->Now() : std::chrono::system_clock::now();
}

void TZorvex::Notice(const std::string& text) {
  WriteLog(text);
  if (tray_) tray_->ShowNotice(text);
}

void TZorvex::LoadOptions() {
  LoadRules();
  options_.Start();
  // Only now is it known whether to log.
  for (SettingsFile* file : {&rules_, &options_}) file->TellOfLoad();
  TellOfUnusedRules();
}

void TZorvex::ReadOptionsFile(bool brief) {
  const bool late = options_.Unloaded();
  const std::int32_t countedMeanwhile = Count;
  TSimpleXml doc;
  if (options_.Load(doc, brief) != SettingsFile::LoadResult::Loaded) {
    // The first time the defaults apply; later, memory keeps what the user has set meanwhile.
    if (!late) ApplyDefaults();
    return;
  }
  try {
    ReadOptionRows(*this, doc.Root().Elems());
  } catch (const std::exception&) {
    ApplyDefaults();
  }
  if (late) {
    // Kills counted while the file could not be read add to its count; the largest value stays.
    const std::int64_t sum = static_cast<std::int64_t>(Count) + countedMeanwhile;
    SetCount(static_cast<std::int32_t>(std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max())));
    if (tray_) tray_->ShowStateIcon();
  }
}

void TZorvex::LoadRules() { rules_.Start(); }

void TZorvex::ReadRulesFile(bool brief) {
  // Rules added while the file could not be read are the user's too.
  const std::vector<std::string> added = rules_.Unloaded() ? RuleList() : std::vector<std::string>();
  unusedRules_.clear();
  TSimpleXmlElemClassic& root = RulesDoc.Root();
  const SettingsFile::LoadResult result = rules_.Load(RulesDoc, brief);
  if (result == SettingsFile::LoadResult::CannotRead) {  // the document was not touched
    root.SetName(names::kRules);
    return;
  }
  if (result == SettingsFile::LoadResult::Loaded) {
    // Older files kept each rule as an element with a "Title" child. A window rule is never one,
    // whatever a hand may have put inside it, nor is one whose name's case went wrong.
    TSimpleXmlElems& children = root.Elems();
    for (std::size_t i = children.Count(); i-- > 0;) {
      TSimpleXmlElem* child = children.Item(i);
      if (SameTextAscii(child->Name(), names::kWindowRule) || !HasElementChildren(*child)) continue;
      child->SetName(names::kRule);
      child->Value = child->Elems().ReadText(names::kOldTitle, "");
      child->Elems().Clear();
    }
    // A rule edited into the file by hand may hold a line break; the scanner would see two rules.
    for (std::size_t i = 0; i < children.Count(); ++i) {
      TSimpleXmlElem* child = children.Item(i);
      child->Value = WithoutControlCharacters(child->Value);
    }
    // A damaged file may hold a node that reads but would not be written back as itself; kept as
    // it is, every later save would be refused. The file is kept aside and the rules alone stay.
    try {
      RulesDoc.SaveToBuffer();
    } catch (const TSimpleXmlInvalid& e) {
      KeepOnlyRules(root);
      rules_.KeepAside(e.what());
    }
    UsableWindowRules(root, &unusedRules_);
  } else {
    root.Clear();
  }
  root.SetName(names::kRules);
  const std::vector<std::string> loaded = RuleList();
  for (const std::string& rule : added) {
    if (std::find(loaded.begin(), loaded.end(), rule) == loaded.end()) root.Elems().Add(names::kRule, rule);
  }
}

void TZorvex::WriteOptionsFile() {
  TSimpleXml doc;
  doc.Root().SetName(names::kOptions);
  WriteOptionRows(*this, doc.Root().Elems());
  SaveXmlFile(doc, OptionsPath());
}

void TZorvex::WriteRulesFile() { SaveXmlFile(RulesDoc, RulesPath()); }

void TZorvex::SaveOptions() {
  options_.Save(true);
  SaveRules();
}

void TZorvex::SaveRules() { rules_.Save(true); }

void TZorvex::RetrySettingsFiles() {
  // Loads in the order of the start: options that load late may switch the log off.
  for (SettingsFile* file : {&rules_, &options_}) file->RetryLoad();
  for (SettingsFile* file : {&options_, &rules_}) file->RetrySave();
  for (SettingsFile* file : {&options_, &rules_}) file->TellOfTrouble();
}

bool TZorvex::FinishSaves(std::chrono::milliseconds patience) {
  SaveOptions();
  const auto end = Steady() + patience;
  while (SavesPending() && Steady() < end) {
    Pause(kExitPause);
    RetrySettingsFiles();
  }
  for (SettingsFile* file : {&options_, &rules_}) file->TellIfUnsaved();
  return !SavesPending();
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
  TSimpleXmlElems& children = RulesDoc.Root().Elems();
  // Each text's elements in document order; each time the list names it, it takes the next one,
  // with its attributes.
  std::unordered_map<std::string, std::deque<TSimpleXmlElem*>> untaken;
  for (std::size_t i = 0; i < children.Count(); ++i) {
    if (children.Item(i)->Name() == names::kRule) untaken[children.Item(i)->Value].push_back(children.Item(i));
  }
  std::vector<TSimpleXmlElem*> order;
  for (const std::string& text : rules) {
    const std::string rule = WithoutControlCharacters(text);
    const auto found = untaken.find(rule);
    if (found != untaken.end() && !found->second.empty()) {
      order.push_back(found->second.front());
      found->second.pop_front();
    } else {
      order.push_back(nullptr);
    }
  }
  for (std::size_t i = children.Count(); i-- > 0;) {
    const auto found = untaken.find(children.Item(i)->Value);
    if (children.Item(i)->Name() == names::kRule && found != untaken.end() &&
        std::find(found->second.begin(), found->second.end(), children.Item(i)) != found->second.end()) {
      children.Delete(i);
    }
  }
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (order[k] == nullptr) order[k] = &children.Add(names::kRule, WithoutControlCharacters(rules[k]));
  }
  // The title rules take the list's order in the places title rules hold; the window rules and
  // whatever else the file holds stay where they are.
  std::vector<std::size_t> slots;
  std::unordered_map<const TSimpleXmlElem*, std::size_t> at;
  for (std::size_t i = 0; i < children.Count(); ++i) {
    if (children.Item(i)->Name() != names::kRule) continue;
    slots.push_back(i);
    at[children.Item(i)] = i;
  }
  for (std::size_t k = 0; k < order.size() && k < slots.size(); ++k) {
    const std::size_t from = at[order[k]];
    if (from == slots[k]) continue;
    at[children.Item(slots[k])] = from;
    at[order[k]] = slots[k];
    children.Swap(from, slots[k]);
  }
  HandRulesToCloser();
}

std::vector<RuleStatistics> TZorvex::RuleStatisticsList() {
  std::vector<RuleStatistics> stats;
  TSimpleXmlElems& children = RulesDoc.Root().Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlElem* child = children.Item(i);
    if (child->Name() == names::kRule) stats.push_back(StatisticsOf(*child));
  }
  return stats;
}

std::vector<StoredWindowRule> TZorvex::WindowRuleList() {
  std::vector<StoredWindowRule> rules;
  TSimpleXmlElems& children = RulesDoc.Root().Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlElem* child = children.Item(i);
    if (child->Name() == names::kWindowRule) {
      rules.push_back(StoredWindowRule{StoredRuleText(*child), StatisticsOf(*child), rules.size()});
    }
  }
  return rules;
}

void TZorvex::SetWindowRules(const std::vector<StoredWindowRule>& rules) {
  TSimpleXmlElems& children = RulesDoc.Root().Elems();
  std::vector<std::size_t> places;
  for (std::size_t i = 0; i < children.Count(); ++i) {
    if (children.Item(i)->Name() == names::kWindowRule) places.push_back(i);
  }
  // The element each entry takes: its own while no earlier entry took it, else a new one.
  const std::size_t old = children.Count();
  std::vector<bool> taken(places.size(), false);
  std::vector<std::size_t> elements;
  for (const StoredWindowRule& rule : rules) {
    std::size_t index;
    if (rule.origin < places.size() && !taken[rule.origin]) {
      taken[rule.origin] = true;
      index = places[rule.origin];
    } else {
      children.Add(names::kWindowRule, "");
      index = children.Count() - 1;
    }
    StoreWindowRule(*children.Item(index), rule.text);
    elements.push_back(index);
  }
  // The entries fill the old places in order, the rest follow at the end; what no entry took
  // goes last, to be deleted.
  std::vector<std::size_t> order;
  std::size_t place = 0;
  for (std::size_t i = 0; i < old; ++i) {
    if (children.Item(i)->Name() != names::kWindowRule) {
      order.push_back(i);
    } else if (place < elements.size()) {
      order.push_back(elements[place++]);
    }
  }
  for (; place < elements.size(); ++place) order.push_back(elements[place]);
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (!taken[i]) order.push_back(places[i]);
  }
  children.Reorder(order);
  const auto left = static_cast<std::size_t>(std::count(taken.begin(), taken.end(), false));
  for (std::size_t i = 0; i < left; ++i) children.Delete(children.Count() - 1);
  HandRulesToCloser();
}

void TZorvex::AddWindowRule(const WindowRuleText& rule) {
  DropFailure("adding a window rule", [&] {
    StoreWindowRule(RulesDoc.Root().Elems().Add(names::kWindowRule, ""), rule);
    SaveOptions();
    HandRulesToCloser();
  });
}

void TZorvex::AddRule(const std::string& text) {
  const std::string rule = WithoutControlCharacters(text);
  DropFailure("adding a rule", [&] {
    RulesDoc.Root().Elems().Add(names::kRule, rule);
    SaveOptions();
    HandRulesToCloser();
  });
  if (RuleAdded) RuleAdded(rule);
}

void TZorvex::HandRulesToCloser() {
  if (!closer_) return;
  closer_->SetRules(LinesWithBreaks(RuleList()));
  closer_->SetWindowRules(UsableWindowRules(RulesDoc.Root(), nullptr));
}

void TZorvex::TellOfUnusedRules() {
  for (const std::string& line : unusedRules_) WriteLog(line);
  unusedRules_.clear();
}

void TZorvex::RuleFitted(const RuleHit& hit) {
  TSimpleXmlElem* rule = FittedRuleElement(RulesDoc.Root(), hit);
  if (!rule) return;
  TSimpleXmlProps& props = rule->Props();
  const std::uint64_t hits = StoredHits(props.ReadText(names::kHits, ""));
  SetProp(props, names::kHits, std::to_string(hits == std::numeric_limits<std::uint64_t>::max() ? hits : hits + 1));
  SetProp(props, names::kLast, UtcStamp(Now()));
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
