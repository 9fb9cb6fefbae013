// Any mask either compiles or raises EMaskException with a position inside it; any text is tested
// without a crash or a read past the end. The answer must not change when the text is folded or its
// invalid UTF-8 is replaced first, as the callers and the masks themselves do.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/CaseFold.h"
#include "base/Utf8.h"
#include "popups/Masks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  const std::string mask = input.substr(0, cut);
  const std::string text = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  try {
    const zorvex::TMask compiled(mask);
    const bool fits = compiled.Fits(text);
    const std::string cleaned = zorvex::ValidUtf8(text.substr(0, text.find('\0')));
    if (compiled.Fits(zorvex::FoldCase(cleaned)) != fits || compiled.Fits(cleaned) != fits) std::abort();
    const zorvex::TMask copy = compiled;
    if (copy.Fits(text) != fits) std::abort();
  } catch (const zorvex::EMaskException& e) {
    const std::size_t chars = zorvex::CodePointCount(mask.substr(0, mask.find('\0')));
    if (e.Position() < 1 || e.Position() > chars + 1) std::abort();
  }
  return 0;
}
