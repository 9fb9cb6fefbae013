// The engine: the one object that holds the options, the kill count and the rules, owns the closer
// while detection is on, and does what follows each kill (log line, count, sound, tray flash).
//
// Lifecycle: made and loaded at process start before any form exists, saved and released at the
// end, all on the main thread. Releasing it ends the main-thread hand-over and stops and joins
// every scanner first, so no scanner ever reads a released engine.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/SettingsFile.h"
#include "platform/Platform.h"
#include "popups/ClassPopups.h"
#include "xml/SimpleXml.h"

namespace zorvex {

// The tray part of the main form, as the engine refreshes it.
class ITrayView {
 public:
  virtual ~ITrayView() = default;
  // The "TrayHint" text in the language in use.
  virtual std::string TrayHint() = 0;
  virtual void SetHint(const std::string& hint) = 0;
  // Shows the kill image for a moment, then the state image again; a kill during a flash extends
  // that flash rather than queueing another. Returns at once.
  virtual void FlashKillIcon() = 0;
  // Shows the image of the detection state.
  virtual void ShowStateIcon() = 0;
  // Tells the user something that needs their attention: a settings file that cannot be saved,
  // or one that was kept aside. Returns at once.
  virtual void ShowNotice(const std::string& text) = 0;
};

// Where the engine keeps its files and what it works with.
struct EngineServices {
  // Folder of options.xml and rules.xml, with its trailing separator.
  std::string folder;
  // Full path of the program file: the log beside it and the start-with-Windows entry name it.
  std::string programPath;
  // The closer's services; the engine fills in itself as their kill host.
  CloserServices closer;
  std::shared_ptr<ISound> sound;
  std::shared_ptr<IStartupRegistry> startup;
  std::shared_ptr<ILocalTime> localTime;
  // Waits between tries of a settings file another program holds; empty: really waits.
  std::function<void(std::chrono::milliseconds)> pause;
};

// --- The add-rule dialog seam: the UI shows the dialog, the engine decides what becomes a rule. ---

// What the add-rule dialog hands back when it closes.
struct TRuleDialogResult {
  bool Ok = false;                     // closed with Ok
  std::string Edit;                    // the edit box's text
  std::vector<std::string> Selected;   // the selected list entries, in list order (multi-select only)
};

// Shows the add-rule dialog modally; several entries may be selected when multiSelect is set.
using TRuleDialog = std::function<TRuleDialogResult(bool multiSelect)>;

// A rule's statistics as its element holds them: how often it fitted and when last (UTC), as
// stored, empty when never.
struct RuleStatistics {
  std::string hits;
  std::string last;
};

// A window rule as the options dialog lists it and hands it back.
struct StoredWindowRule {
  static constexpr std::size_t kNew = static_cast<std::size_t>(-1);
  WindowRuleText text;
  RuleStatistics stats;
  // Its position in the WindowRuleList it was read from, so that an edited rule keeps its element;
  // kNew for a rule the dialog made.
  std::size_t origin = kNew;
};

class TZorvex : public IKillHost, private ISettingsHost {
 public:
  // Every option off or empty, no closer, an empty rule document; LoadOptions fills it.
  explicit TZorvex(EngineServices services);
  ~TZorvex() override;
  TZorvex(const TZorvex&) = delete;
  TZorvex& operator=(const TZorvex&) = delete;

  // Options. Those with a setter are changed through it.
  bool AutoDetect = false;
  std::int32_t Count = 0;
  bool PlaySound = false;
  std::string PlaySoundVal;
  bool StartWindows = false;
  bool UseLog = false;
  std::string Language;
  // The rules: root "Rules" with one "Rule" child per title rule (its text the value) and one
  // "WindowRule" child per window rule (its fields attributes), in the order they apply. Whatever
  // else a file holds, attributes or elements, stays as read.
  TSimpleXml RulesDoc;

  void SetActive(bool on);
  // The detection options ("Opera", "Netscape", "Explorer", "Chromium", "Agressive",
  // "LimitExplorer"): each setter stores its part, SetDetection the whole; the closer, when there
  // is one, is handed the whole.
  const DetectionOptions& Detection() const { return detection_; }
  void SetDetection(const DetectionOptions& options);
  void SetOpera(bool on);
  void SetNetscape(bool on);
  void SetExplorer(bool on);
  // Today's browsers on the shared engine.
  void SetChromium(bool on);
  void SetAgressive(bool on);
  // The most Explorer frames open at once; 0 for no limit.
  std::int32_t LimitExplorer() const { return detection_.explorerLimit; }
  void SetLimitExplorer(std::int32_t limit);
  // Stores the count and refreshes the tray hint.
  void SetCount(std::int32_t count);
  // Every option but Language to its default; switches detection on.
  void ApplyDefaults();
  // Stores the flag and writes or removes the start-with-Windows entry.
  void SetStartWindows(bool on);

  // Appends one line to the kill log, in UTF-8, when logging is on; never fails outward. A log that
  // reached kMaxLogBytes first moves its older half to the ".log.old" file beside it; one that
  // holds an older version's code-page text is moved there whole before the first line.
  void WriteLog(const std::string& text) override;
  // Counts a kill, plays the sound and flashes the tray icon.
  void PlayAlarm() override;
  // Counts the fit in the rule's element: "hits" one up (a missing or garbled count counts from
  // 0), "last" the time now in UTC. Saved with the next save, or at exit; a rule no longer in
  // the document is not counted.
  void RuleFitted(const RuleHit& hit) override;

  // LoadRules, then options.xml or the defaults; never fails outward. Each file is first put back
  // whole if a save of it was interrupted. A file that reads but does not parse is logged (once
  // the options say whether to log) and kept aside under "<name>.unreadable" at its next save. A
  // file that cannot be opened or read (held by another program) is tried again briefly, then by
  // RetrySettingsFiles, and nothing is written over it until it has loaded. A file that mixed
  // encodings (DecodeSettingsFile) is logged once per load.
  void LoadOptions();
  void LoadRules();
  // Writes options.xml, then rules.xml; never fails outward. A file held by another program is
  // tried again briefly at once, then by RetrySettingsFiles, until the save lands. A read-only
  // file is left as it is.
  void SaveOptions();
  void SaveRules();
  // Once a second (the main form's timer): loads a file that could not be read, saves what has not
  // landed, and tells the user, in the log and the tray, of a file still failing after
  // kSettingsNoticeAfter. Main thread.
  void RetrySettingsFiles();
  // At exit, before FinishSaves; main thread, its loop ended. Stops detection (the option stays as
  // it is) and waits, a few seconds at most, until the scanners and their closing threads have
  // ended, meanwhile writing and counting every kill they report, without sound or flash. Once
  // called, detection stays off. A close still held by a window that does not answer when the
  // wait ends reports nothing; and a process killed outright loses every report not yet written.
  void FinishDetection();
  // At exit: saves both files and keeps trying a held one for up to patience. False when a save
  // did not land (logged).
  bool FinishSaves(std::chrono::milliseconds patience);
  // A save waits for its file: held, or not loaded yet.
  bool SavesPending() const { return options_.Unsaved() || rules_.Unsaved(); }
  // The title rule texts in document order.
  std::vector<std::string> RuleList();
  // Makes the title rules those of the list and tells the closer; writes nothing. A rule that
  // stays keeps its element, place and attributes (the list's texts are matched to the elements
  // in order, a repeated text to the next element of that text); the others go, and texts not
  // matched are appended. Window rules and everything else stay where they are.
  void SetRules(const std::vector<std::string>& rules);
  // The statistics of the title rules, in the order of RuleList.
  std::vector<RuleStatistics> RuleStatisticsList();
  // The window rules in document order, each with its statistics and its position as origin.
  std::vector<StoredWindowRule> WindowRuleList();
  // Makes the window rules those of the list, in its order, and tells the closer; writes nothing.
  // An entry whose origin names a rule of the last WindowRuleList keeps that rule's element (its
  // statistics and the attributes this version does not know), its fields set to the entry's.
  // The window rules take the places window rules had, in the list's order; further ones are
  // appended, and places left over go. Title rules and everything else stay where they are.
  void SetWindowRules(const std::vector<StoredWindowRule>& rules);
  // Appends one window rule, saves both files and tells the closer.
  void AddWindowRule(const WindowRuleText& rule);
  // Appends one title rule, saves both files, tells the closer and RuleAdded.
  void AddRule(const std::string& text);
  // Told of every rule AddRule appends, as stored; set by a dialog that edits the rules while it is
  // open, so that a rule added meanwhile (hot key, tray menu) is in its list too. Main thread.
  std::function<void(const std::string&)> RuleAdded;
  // Starts a new scanner when the one of the closer has ended while detection is on. Main thread.
  void KeepDetecting();

  // The add-rule dialog, set by the UI; while empty the two operations below show nothing.
  TRuleDialog RuleDialog;
  // Lets the user pick titles: after Ok, two or more selected entries each become a rule, in list
  // order; otherwise the edit box's text does, unless it is empty.
  void AddRuleFromDialog();
  // Lets the user pick or type one title: the edit box's text after Ok (possibly empty, control
  // characters as blanks), else empty.
  std::string PickRuleTitle();

  // The main form's tray, or nullptr until the form exists.
  void SetTray(ITrayView* tray) { tray_ = tray; }
  ITrayView* Tray() const { return tray_; }

  std::string OptionsPath() const { return options_.Path(); }
  std::string RulesPath() const { return rules_.Path(); }
  // The program path with the extension ".log".
  std::string LogPath() const;

 private:
  friend struct Probe;
  // Changes a copy of the detection options and sets it.
  void ChangeDetection(const std::function<void(DetectionOptions&)>& change);
  // Reads rules.xml into RulesDoc; rules added while it could not be read follow the file's own.
  void ReadRulesFile(bool brief);
  // Reads options.xml and applies it; the defaults when there is none, the first time.
  void ReadOptionsFile(bool brief);
  void WriteOptionsFile();
  void WriteRulesFile();
  // Hands the closer, if any, the title rules and the usable window rules, in document order.
  void HandRulesToCloser();
  // Logs, once, each window rule the last load of rules.xml found unusable.
  void TellOfUnusedRules();
  std::chrono::system_clock::time_point Now() const;
  void Notice(const std::string& text) override;
  void Pause(std::chrono::milliseconds span) override;
  std::chrono::steady_clock::time_point Steady() const override;

  EngineServices services_;
  DetectionOptions detection_;
  SettingsFile rules_;
  SettingsFile options_;
  // When halving the log last failed (its old part held): it is tried again only after a while.
  std::optional<std::chrono::steady_clock::time_point> logHalvingFailed_;
  // The log lines for the window rules that the last load of rules.xml cannot use, until told.
  std::vector<std::string> unusedRules_;
  // The log has been found to hold no code-page text, so UTF-8 lines may follow.
  bool logInUtf8_ = false;
  std::shared_ptr<ScannerTracker> tracker_;
  // The closer, present exactly while AutoDetect is on.
  std::unique_ptr<TSPopup> closer_;
  // FinishDetection has run: no closer starts again, and kills are counted without sound or flash.
  bool finished_ = false;
  ITrayView* tray_ = nullptr;
};

// The tray hint: the first "%d" becomes the count, "%%" a percent sign, anything else stays.
std::string FormatTrayHint(const std::string& format, std::int32_t count);
// The size at which the kill log is halved.
inline constexpr std::size_t kMaxLogBytes = 1024 * 1024;
// While the log's old part cannot be replaced, halving is tried again after this pause; a log that
// reaches kMaxLogBytes times this factor loses its older half at once, pause or not.
inline constexpr auto kLogHalvingRetry = std::chrono::minutes(1);
inline constexpr std::size_t kLogHardLimitFactor = 4;

// Writes the rules to a rule list file, one per line, in UTF-8 with a byte-order mark; false when it
// could not be written.
bool ExportRuleList(const std::string& path, const std::vector<std::string>& rules);
// Appends the lines of a rule list file that list does not hold yet; false when it could not be read.
// Bytes that are not UTF-8 are read in the system's code page, as DecodeRuleListFile says.
bool ImportRuleList(const std::string& path, std::vector<std::string>& list);

}  // namespace zorvex
