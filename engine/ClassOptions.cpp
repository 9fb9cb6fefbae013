#include "engine/ClassOptions.h"

#include <algorithm>

namespace zorvex {

namespace {

// The spin edit's range; a stored value outside it is shown at its nearest end.
std::int32_t Clamped(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, kLimitMin, kLimitMax));
}

}  // namespace

TOptionsValues ReadOptions(TZorvex& engine) {
  TOptionsValues values;
  values.Detection = engine.Detection();
  values.StartWindows = engine.StartWindows;
  values.UseLog = engine.UseLog;
  values.PlaySound = engine.PlaySound;
  values.InternalSound = engine.PlaySoundVal.empty();
  values.SoundFile = engine.PlaySoundVal;
  const std::int32_t limit = engine.LimitExplorer();
  values.Limit = limit != 0;
  values.LimitValue = Clamped(limit);
  values.Rules = engine.RuleList();
  return values;
}

void WriteOptions(TZorvex& engine, const TOptionsValues& values) {
  DetectionOptions detection = values.Detection;
  detection.explorerLimit = values.Limit ? Clamped(values.LimitValue) : 0;
  engine.SetDetection(detection);
  engine.SetStartWindows(values.StartWindows);
  engine.UseLog = values.UseLog;
  engine.PlaySound = values.PlaySound;
  engine.PlaySoundVal = values.InternalSound ? std::string() : values.SoundFile;
  engine.SetRules(values.Rules);
}

std::vector<std::string> RulesToExport(const std::vector<std::string>& titles, const std::vector<bool>& selected) {
  std::vector<std::string> chosen;
  for (std::size_t i = 0; i < titles.size(); ++i) {
    if (i < selected.size() && selected[i]) chosen.push_back(titles[i]);
  }
  return chosen.empty() ? titles : chosen;
}

std::vector<std::string> RulesToImport(const std::string& path, const std::vector<std::string>& held) {
  std::vector<std::string> merged = held;
  if (!ImportRuleList(path, merged)) return {};
  return std::vector<std::string>(merged.begin() + static_cast<std::ptrdiff_t>(held.size()), merged.end());
}

}  // namespace zorvex
