#include "engine/ClassOptions.h"

#include <algorithm>
#include <utility>

#include "engine/OptionRows.h"

namespace zorvex {

namespace {

// The spin edit's range; a stored value outside it is shown at its nearest end.
std::int32_t Clamped(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, kLimitMin, kLimitMax));
}

// The check boxes that show a flag option as the engine holds it, each with its option's row.
const std::pair<const char*, bool TOptionsValues::*> kFlagBoxes[] = {
    {"StartWindows", &TOptionsValues::StartWindows},
    {"UseLog", &TOptionsValues::UseLog},
    {"PlaySound", &TOptionsValues::PlaySound},
};

}  // namespace

TOptionsValues ShowOptionsInDialog(TZorvex& engine) {
  TOptionsValues values;
  values.Detection = engine.Detection();
  for (const auto& [element, box] : kFlagBoxes) values.*box = std::get<bool>(FindOptionRow(element).get(engine));
  values.InternalSound = engine.PlaySoundVal.empty();
  values.SoundFile = engine.PlaySoundVal;
  const std::int32_t limit = engine.LimitExplorer();
  values.Limit = limit != 0;
  values.LimitValue = Clamped(limit);
  values.Rules = engine.RuleList();
  return values;
}

void TakeOptionsFromDialog(TZorvex& engine, const TOptionsValues& values) {
  DetectionOptions detection = values.Detection;
  detection.explorerLimit = values.Limit ? Clamped(values.LimitValue) : 0;
  engine.SetDetection(detection);
  for (const auto& [element, box] : kFlagBoxes) FindOptionRow(element).set(engine, values.*box);
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
