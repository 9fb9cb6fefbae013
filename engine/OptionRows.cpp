#include "engine/OptionRows.h"

#include <stdexcept>
#include <utility>

#include "engine/ClassKiller.h"

namespace zorvex {

namespace {

template <typename T>
OptionRow Row(const char* element, T byDefault, std::function<T(const TZorvex&)> get,
              std::function<void(TZorvex&, T)> set, bool keptByDefaults = false) {
  return {element, OptionValue(std::move(byDefault)), [get](const TZorvex& e) { return OptionValue(get(e)); },
          [set](TZorvex& e, const OptionValue& value) { set(e, std::get<T>(value)); }, keptByDefaults};
}

// An option the engine holds as a plain field, with no setter.
template <typename T>
OptionRow Field(const char* element, T byDefault, T TZorvex::*field, bool keptByDefaults = false) {
  return Row<T>(element, std::move(byDefault), field, [field](TZorvex& e, T value) { e.*field = std::move(value); },
                keptByDefaults);
}

OptionValue ReadElement(const TSimpleXmlElems& options, const char* element, bool byDefault) {
  return options.ReadBool(element, byDefault);
}
OptionValue ReadElement(const TSimpleXmlElems& options, const char* element, std::int32_t byDefault) {
  // The low 32 bits, as the number is stored.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(options.ReadInt(element, byDefault)));
}
OptionValue ReadElement(const TSimpleXmlElems& options, const char* element, const std::string& byDefault) {
  return options.ReadText(element, byDefault);
}

std::vector<OptionRow> MakeRows() {
  return {
      Row<bool>("Opera", true, [](const TZorvex& e) { return e.Detection().families.opera; }, &TZorvex::SetOpera),
      Row<bool>("Netscape", true, [](const TZorvex& e) { return e.Detection().families.netscape; },
                &TZorvex::SetNetscape),
      Row<bool>("Explorer", true, [](const TZorvex& e) { return e.Detection().families.explorer; },
                &TZorvex::SetExplorer),
      // Files written before this family existed lack the element: it is then watched.
      Row<bool>("Chromium", true, [](const TZorvex& e) { return e.Detection().families.chromium; },
                &TZorvex::SetChromium),
      Field<bool>("PlaySound", true, &TZorvex::PlaySound),
      Field<std::string>("PlaySoundVal", "", &TZorvex::PlaySoundVal),
      Row<bool>("StartWindows", true, &TZorvex::StartWindows, &TZorvex::SetStartWindows),
      Row<std::int32_t>("Count", 0, &TZorvex::Count, &TZorvex::SetCount),
      Row<bool>("Agressive", true, [](const TZorvex& e) { return e.Detection().agressive; }, &TZorvex::SetAgressive),
      // After every detection option, so that the closer it starts has them all.
      Row<bool>("AutoDetect", true, &TZorvex::AutoDetect, &TZorvex::SetActive),
      Field<bool>("UseLog", true, &TZorvex::UseLog),
      Row<std::int32_t>("LimitExplorer", 0, [](const TZorvex& e) { return e.LimitExplorer(); },
                        [](TZorvex& e, std::int32_t limit) { e.SetLimitExplorer(limit); }),
      // The language the user chose outlives a return to the defaults.
      Field<std::string>("Language", "", &TZorvex::Language, true),
  };
}

}  // namespace

const std::vector<OptionRow>& OptionRows() {
  static const std::vector<OptionRow> rows = MakeRows();
  return rows;
}

const OptionRow& FindOptionRow(const std::string& element) {
  for (const OptionRow& row : OptionRows()) {
    if (element == row.element) return row;
  }
  throw std::out_of_range("no option \"" + element + "\"");
}

void ReadOptionRows(TZorvex& engine, const TSimpleXmlElems& options) {
  for (const OptionRow& row : OptionRows()) {
    row.set(engine, std::visit([&](const auto& byDefault) { return ReadElement(options, row.element, byDefault); },
                               row.byDefault));
  }
}

void WriteOptionRows(const TZorvex& engine, TSimpleXmlElems& options) {
  for (const OptionRow& row : OptionRows()) {
    std::visit([&](const auto& value) { options.Add(row.element, value); }, row.get(engine));
  }
}

void ApplyOptionDefaults(TZorvex& engine) {
  for (const OptionRow& row : OptionRows()) {
    if (!row.keptByDefaults) row.set(engine, row.byDefault);
  }
}

}  // namespace zorvex
