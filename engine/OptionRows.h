// The options, declared once as rows: each names its element in options.xml, its default and how
// the engine holds it. The rows drive options.xml's load and save, the defaults, and the options
// dialog's plain check boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "xml/SimpleXml.h"

namespace zorvex {

class TZorvex;

// One option's value: a flag (written -1 or 0), a 32-bit number (read as the low 32 bits of the
// number written), or text.
using OptionValue = std::variant<bool, std::int32_t, std::string>;

struct OptionRow {
  // Its element in options.xml; also its name.
  const char* element;
  // What a missing element and ApplyDefaults give; its kind is the option's kind.
  OptionValue byDefault;
  // The engine's value, of the kind of byDefault.
  std::function<OptionValue(const TZorvex&)> get;
  // Stores a value of the kind of byDefault, through the engine's setter where it has one.
  std::function<void(TZorvex&, const OptionValue&)> set;
  // ApplyDefaults leaves it as it is.
  bool keptByDefaults = false;
};

// Every option, in the order of options.xml's elements.
const std::vector<OptionRow>& OptionRows();
// The row of the option with that element name; throws std::out_of_range for an unknown one.
const OptionRow& FindOptionRow(const std::string& element);

// Sets every option from its element among options, its default where the element is missing.
void ReadOptionRows(TZorvex& engine, const TSimpleXmlElems& options);
// Appends one element per option to options, in row order.
void WriteOptionRows(const TZorvex& engine, TSimpleXmlElems& options);
// Sets every option but those kept by defaults to its default, in row order.
void ApplyOptionDefaults(TZorvex& engine);

}  // namespace zorvex
