// One settings file's life beside the program: its load with brief retries, later loads from the
// timer, keeping aside a copy that does not parse, its saves (a held file tried again, a read-only
// one left as it is), and what the user is told of it. The owner supplies what differs: the path,
// how the file's document enters memory, and how memory is written.
//
// Lifecycle: owned by the engine, used on the main thread only; its callbacks run inside its calls.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "xml/SimpleXml.h"

namespace zorvex {

// A settings file that still cannot be saved or read after this long is shown to the user.
inline constexpr auto kSettingsNoticeAfter = std::chrono::seconds(30);
// How many copies of settings files that did not parse are kept, the newest.
inline constexpr int kKeptCopies = 5;

// What every settings file asks of the program around it.
class ISettingsHost {
 public:
  virtual ~ISettingsHost() = default;
  // Appends a line to the kill log when logging is on; never fails outward.
  virtual void WriteLog(const std::string& text) = 0;
  // Logs text and shows it to the user at the tray.
  virtual void Notice(const std::string& text) = 0;
  // Waits span between tries of a held file.
  virtual void Pause(std::chrono::milliseconds span) = 0;
  // The steady clock the notices are timed on.
  virtual std::chrono::steady_clock::time_point Steady() const = 0;
};

class SettingsFile {
 public:
  // How one load ended.
  enum class LoadResult { Loaded, Missing, CannotRead, CannotParse };
  // What the owner supplies.
  struct Parts {
    std::string path;
    // Reads the file into memory through Load, trying again briefly when brief; applies what memory
    // keeps instead when it did not load. Never throws.
    std::function<void(bool brief)> read;
    // Writes memory to path whole; throws when it cannot.
    std::function<void()> write;
    // After a load that came late, by RetryLoad; may be empty.
    std::function<void()> loadedLate;
  };

  // A file that has not been read yet; host outlives it.
  SettingsFile(ISettingsHost& host, Parts parts);
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  const std::string& Path() const { return parts_.path; }

  // Puts the file back whole if a save of it was interrupted, forgets every earlier failure and
  // reads it, with brief retries.
  void Start();
  // Loads the file into doc, trying a file that cannot be read again a few times when brief. A
  // missing file is no failure; one that does not parse is kept aside at the next save; one that
  // cannot be read blocks every save until a load succeeds.
  LoadResult Load(TSimpleXml& doc, bool brief);
  // Keeps the loaded file aside at the next save, for reason: memory no longer holds all of it.
  void KeepAside(const std::string& reason);
  // The last load could not open or read the file.
  bool Unloaded() const { return unloaded_; }
  // Memory holds what the file does not yet: a save has not landed, or waits for a load.
  bool Unsaved() const { return unsaved_; }
  // Logs a failed load and mixed encodings of the start's load; once the options say whether to log.
  void TellOfLoad();

  // Writes memory to the file (keeping an unparsable one aside first) unless it has not loaded;
  // tries a held one again a few times when brief. True when it landed or was left read-only.
  bool Save(bool brief);
  // From the timer: loads a file that could not be read, and logs when it did.
  void RetryLoad();
  // From the timer: saves what has not landed, once.
  void RetrySave();
  // Logs and shows a file that has been failing for kSettingsNoticeAfter, once.
  void TellOfTrouble();
  // At exit: logs a save that did not land.
  void TellIfUnsaved();

 private:
  // Copies a file that did not parse to a free "<path>.unreadable" name, keeping only the newest
  // kKeptCopies copies, and tells the user. Throws when it cannot be kept.
  void KeepUnreadable();
  // Logs once that the last load mixed encodings.
  void TellOfMixedEncodings();

  ISettingsHost& host_;
  Parts parts_;
  // It may hold the user's settings, so nothing is written over it until a load has succeeded.
  bool unloaded_ = false;
  // It read but did not parse.
  bool keepAside_ = false;
  bool unsaved_ = false;
  // The last failure, since when the file has been failing, and whether the user has been told.
  std::string reason_;
  std::optional<std::chrono::steady_clock::time_point> failingSince_;
  bool told_ = false;
  // The last load met bytes of two encodings, and the log has not said so yet.
  bool mixedEncodings_ = false;
};

}  // namespace zorvex
