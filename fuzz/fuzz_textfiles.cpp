// Whatever bytes a file holds, what the readers make of them is well-formed UTF-8, and text that
// is UTF-8 already comes through unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "i18n/TextFiles.h"
#include "platform/CodePage.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string valid = zorvex::ValidUtf8(bytes);
  Require(zorvex::IsValidUtf8(valid));
  Require(zorvex::IsValidUtf8(bytes) == (valid == bytes));
  Require(zorvex::ValidUtf8(valid) == valid);
  Require(zorvex::IsValidUtf8(zorvex::AnsiToUtf8(bytes)));
  const zorvex::DecodedText settings = zorvex::DecodeSettingsFile(bytes);
  Require(zorvex::IsValidUtf8(settings.text));
  const zorvex::DecodedText list = zorvex::DecodeRuleListFile(bytes);
  Require(zorvex::IsValidUtf8(list.text));
  if (zorvex::IsValidUtf8(bytes) && bytes.substr(0, 3) != zorvex::kUtf8Bom) Require(list.text == bytes);
  // Only bytes that are not UTF-8 make a file mixed.
  if (zorvex::IsValidUtf8(bytes)) Require(!settings.mixed && !list.mixed);
  return 0;
}
