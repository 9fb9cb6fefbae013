#include "engine/SettingsFile.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/Trace.h"
#include "i18n/TextFiles.h"
#include "platform/Files.h"

namespace zorvex {

namespace {

// Pauses between the brief tries of a held settings file, at once: about a third of a second.
constexpr std::chrono::milliseconds kBriefPauses[] = {std::chrono::milliseconds(20), std::chrono::milliseconds(40),
                                                      std::chrono::milliseconds(80), std::chrono::milliseconds(160)};
// Earlier versions numbered kept-aside copies up to this; names above it were never used.
constexpr int kCopyNames = 1000;

// The name of the n-th kept-aside copy of path.
std::string CopyName(const std::string& path, int n) {
  return n == 1 ? path + ".unreadable" : path + ".unreadable." + std::to_string(n);
}

}  // namespace

SettingsFile::SettingsFile(ISettingsHost& host, Parts parts) : host_(host), parts_(std::move(parts)) {}

void SettingsFile::Start() {
  DropFailure("save recovery", [&] { RecoverInterruptedSave(parts_.path); });
  unloaded_ = keepAside_ = unsaved_ = told_ = mixedEncodings_ = false;
  reason_.clear();
  failingSince_.reset();
  parts_.read(true);
}

SettingsFile::LoadResult SettingsFile::Load(TSimpleXml& doc, bool brief) {
  const std::string& path = parts_.path;
  for (std::size_t attempt = 0;; ++attempt) {
    try {
      const std::string bytes = ReadWholeFile(path);
      // A package manager makes an empty file for a name it keeps between versions: the defaults.
      if (bytes.empty()) {
        unloaded_ = false;
        return LoadResult::Missing;
      }
      bool mixed = false;
      LoadXmlBytes(doc, bytes, &mixed);
      mixedEncodings_ = mixed;
      unloaded_ = false;
      return LoadResult::Loaded;
    } catch (const EFileError& e) {
      if (!FileExists(path)) {
        unloaded_ = false;
        return LoadResult::Missing;
      }
      reason_ = e.what();
    } catch (const std::exception& e) {
      // It reads but does not parse: trying again would not help.
      unloaded_ = false;
      keepAside_ = true;
      reason_ = e.what();
      TraceDropped("settings file", "cannot load \"" + path + "\": " + reason_);
      return LoadResult::CannotParse;
    }
    if (!brief || attempt >= std::size(kBriefPauses)) break;
    host_.Pause(kBriefPauses[attempt]);
  }
  // Held by another program, most likely for a moment: tried again later, never written over.
  if (!unloaded_) failingSince_ = host_.Steady();
  unloaded_ = true;
  TraceDropped("settings file", "cannot read \"" + path + "\" yet: " + reason_);
  return LoadResult::CannotRead;
}

void SettingsFile::KeepAside(const std::string& reason) {
  keepAside_ = true;
  reason_ = reason;
}

void SettingsFile::TellOfLoad() {
  if (keepAside_ || unloaded_) host_.WriteLog("Cannot load settings file " + parts_.path + ": " + reason_);
  TellOfMixedEncodings();
}

void SettingsFile::TellOfMixedEncodings() {
  if (!mixedEncodings_) return;
  mixedEncodings_ = false;
  host_.WriteLog("Settings file " + parts_.path +
                 " mixed encodings: bytes that are not UTF-8 were read in the system code page");
}

void SettingsFile::KeepUnreadable() {
  const std::string& path = parts_.path;
  if (!keepAside_) return;
  if (!FileExists(path)) {  // gone meanwhile: nothing left to keep
    keepAside_ = false;
    return;
  }
  // The copies so far, oldest first; only the newest few stay beside the new one.
  struct Copy {
    std::int64_t time;
    int number;
    bool operator<(const Copy& other) const {
      return time != other.time ? time < other.time : number < other.number;
    }
  };
  std::vector<Copy> copies;
  for (int n = 1; n <= kCopyNames; ++n) {
    if (const std::optional<std::int64_t> time = FileWriteTime(CopyName(path, n))) copies.push_back({*time, n});
  }
  std::sort(copies.begin(), copies.end());
  for (std::size_t i = 0; i + kKeptCopies <= copies.size(); ++i) {
    DropFailure("settings file", [&] { RemoveExistingFile(CopyName(path, copies[i].number)); });
  }
  std::string aside;
  for (int n = 1; n <= kCopyNames && aside.empty(); ++n) {
    if (!FileExists(CopyName(path, n))) aside = CopyName(path, n);
  }
  if (aside.empty()) throw std::runtime_error("no free name to keep \"" + path + "\"");
  ReplaceFileContents(aside, ReadWholeFile(path));
  keepAside_ = false;
  host_.Notice("Settings file that could not be loaded kept as " + aside);
}

bool SettingsFile::Save(bool brief) {
  const std::string& path = parts_.path;
  unsaved_ = true;
  if (unloaded_) return false;  // written once it has loaded
  if (IsReadOnlyFile(path)) {
    unsaved_ = false;
    TraceDropped("settings file", "read-only, left as it is: " + path);
    return true;
  }
  for (std::size_t attempt = 0;; ++attempt) {
    try {
      KeepUnreadable();
      parts_.write();
      unsaved_ = false;
      if (told_) host_.WriteLog("Settings file " + path + " saved");
      failingSince_.reset();
      told_ = false;
      return true;
    } catch (const std::exception& e) {
      reason_ = e.what();
    }
    if (!brief || attempt >= std::size(kBriefPauses)) break;
    host_.Pause(kBriefPauses[attempt]);
  }
  if (!failingSince_) failingSince_ = host_.Steady();
  TraceDropped("settings file", "not saved yet: " + reason_);
  return false;
}

void SettingsFile::RetryLoad() {
  if (!unloaded_) return;
  parts_.read(false);
  if (unloaded_) return;
  host_.WriteLog("Settings file " + parts_.path + " loaded");
  TellOfMixedEncodings();
  told_ = false;
  if (parts_.loadedLate) parts_.loadedLate();
}

void SettingsFile::RetrySave() {
  if (!unloaded_ && !unsaved_) failingSince_.reset();
  if (unsaved_) Save(false);
}

void SettingsFile::TellOfTrouble() {
  if (told_ || !failingSince_ || !(unloaded_ || unsaved_)) return;
  if (host_.Steady() - *failingSince_ < kSettingsNoticeAfter) return;
  told_ = true;
  host_.Notice((unloaded_ ? "Cannot read settings file " : "Cannot save settings file ") + parts_.path + " (" +
               reason_ + "); still trying");
}

void SettingsFile::TellIfUnsaved() {
  if (unsaved_) host_.WriteLog("Settings file " + parts_.path + " not saved: " + reason_);
}

}  // namespace zorvex
