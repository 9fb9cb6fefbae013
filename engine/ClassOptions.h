// What the options dialog edits, apart from its windows: the engine's options and rules as the
// dialog's controls hold them, read from and written back to the engine in a fixed order, and the
// rules page's export and import.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ClassKiller.h"

namespace zorvex {

// Range of the "Limit to" spin edit.
inline constexpr std::int32_t kLimitMin = 1;
inline constexpr std::int32_t kLimitMax = 100000;

// The options dialog's controls, one field per control that shows an engine option.
struct TOptionsValues {
  // The browser families and the size heuristic, as the engine holds them.
  DetectionOptions Detection;
  bool StartWindows = false;
  bool UseLog = false;
  bool PlaySound = false;
  // The "Internal Sound" radio button; "File" when false.
  bool InternalSound = true;
  // The value the sound file box hands back.
  std::string SoundFile;
  // "Limit to" and its spin edit, always within kLimitMin..kLimitMax.
  bool Limit = false;
  std::int32_t LimitValue = kLimitMin;
  // The rule titles in the order of the dialog's list.
  std::vector<std::string> Rules;
};

// What the dialog's controls show of the engine's options and rules; LimitExplorer 0 shows as 1.
TOptionsValues ShowOptionsInDialog(TZorvex& engine);

// Takes what the dialog's controls hold into the engine: the detection options whole,
// SetStartWindows, then UseLog, PlaySound, PlaySoundVal, LimitExplorer, and SetRules.
void TakeOptionsFromDialog(TZorvex& engine, const TOptionsValues& values);

// The titles an export writes: those marked in selected, in list order, or all when none is marked.
std::vector<std::string> RulesToExport(const std::vector<std::string>& titles, const std::vector<bool>& selected);

// The lines of the rule list file at path that the list does not hold yet, in file order, each
// once; empty when the file cannot be read.
std::vector<std::string> RulesToImport(const std::string& path, const std::vector<std::string>& held);

}  // namespace zorvex
