// The engine: the one object that holds the options, the kill count and the rules, owns the closer
// while detection is on, and does what follows each kill (log line, count, sound, tray flash).
//
// Lifecycle: made and loaded at process start before any form exists, saved and released at the
// end, all on the main thread. Releasing it ends the main-thread hand-over and stops and joins
// every scanner first, so no scanner ever reads a released engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

class TZorvex : public IKillHost {
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
  // Read by the scanner thread.
  std::atomic<std::int32_t> LimitExplorer{0};
  std::string Language;
  // The rules: root "Rules" with one "Rule" child per rule.
  TSimpleXml RulesDoc;

  // The closer, present exactly while AutoDetect is on.
  TSPopup* Closer() const { return closer_.get(); }

  void SetActive(bool on);
  // The detection options ("Opera", "Netscape", "Explorer", "Chromium", "Agressive"): each setter
  // stores its part, SetDetection the whole; the closer, when there is one, is handed the whole.
  const DetectionOptions& Detection() const { return detection_; }
  void SetDetection(const DetectionOptions& options);
  void SetOpera(bool on);
  void SetNetscape(bool on);
  void SetExplorer(bool on);
  // Today's browsers on the shared engine.
  void SetChromium(bool on);
  void SetAgressive(bool on);
  // The families watched, as the options say now.
  BrowserFamilies Families() const { return detection_.families; }
  // Stores the count and refreshes the tray hint.
  void SetCount(std::int32_t count);
  // Every option but Language to its default; switches detection on.
  void ApplyDefaults();
  // Stores the flag and writes or removes the start-with-Windows entry.
  void SetStartWindows(bool on);

  // Appends one line to the kill log when logging is on; never fails outward. A log that reached
  // kMaxLogBytes first moves its older half to the ".log.old" file beside it.
  void WriteLog(const std::string& text) override;
  // Counts a kill, plays the sound and flashes the tray icon.
  void PlayAlarm() override;
  int ExplorerLimit() const override { return LimitExplorer; }

  // LoadRules, then options.xml or the defaults; never fails outward. Each file is first put back
  // whole if a save of it was interrupted. A file that exists but does not load is logged (once the
  // options say whether to log) and kept aside under "<name>.unreadable" at its next save.
  void LoadOptions();
  void LoadRules();
  // Writes options.xml, then rules.xml; failures are ignored. A file that did not load is never
  // overwritten before it has been kept aside.
  void SaveOptions();
  void SaveRules();
  // The rule texts in document order.
  std::vector<std::string> RuleList();
  // Replaces every rule and tells the closer; writes nothing.
  void SetRules(const std::vector<std::string>& rules);
  // Appends one rule, saves both files, tells the closer and RuleAdded.
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

  std::string OptionsPath() const { return services_.folder + "options.xml"; }
  std::string RulesPath() const { return services_.folder + "rules.xml"; }
  // The program path with the extension ".log".
  std::string LogPath() const;

 private:
  // Changes a copy of the detection options and sets it.
  void ChangeDetection(const std::function<void(DetectionOptions&)>& change);
  // A settings file that exists but did not load; it is kept aside before it is written again.
  struct Unreadable {
    bool pending = false;
    std::string reason;
  };
  // Records that path did not load, with a trace.
  static void MarkUnreadable(Unreadable& state, const std::string& path, const std::string& reason);
  // Copies a file that did not load to a free "<path>.unreadable" name and logs it. False when it
  // could not be kept, and then the file must not be overwritten.
  bool KeepUnreadable(const std::string& path, Unreadable& state);

  EngineServices services_;
  DetectionOptions detection_;
  Unreadable rulesUnreadable_;
  Unreadable optionsUnreadable_;
  std::shared_ptr<ScannerTracker> tracker_;
  std::unique_ptr<TSPopup> closer_;
  ITrayView* tray_ = nullptr;
};

// The process-wide engine; set while it exists.
extern TZorvex* Engine;

// The tray hint: the first "%d" becomes the count, "%%" a percent sign, anything else stays.
std::string FormatTrayHint(const std::string& format, std::int32_t count);
// The size at which the kill log is halved.
inline constexpr std::size_t kMaxLogBytes = 1024 * 1024;

// Writes the rules to a rule list file, one per line; false when it could not be written.
bool ExportRuleList(const std::string& path, const std::vector<std::string>& rules);
// Appends the lines of a rule list file that list does not hold yet; false when it could not be read.
bool ImportRuleList(const std::string& path, std::vector<std::string>& list);

}  // namespace zorvex
