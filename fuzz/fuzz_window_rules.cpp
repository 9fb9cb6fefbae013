// Whatever rules a hostile rules.xml holds and whatever a window is called, the rule set's index
// picks the same rule as trying every rule in file order would. Input: lines; the first three are
// the window's program path, class and title, then each three lines are one rule's program, class
// and title masks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/CaseFold.h"
#include "popups/WindowRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (std::size_t from = 0;;) {
    const std::size_t cut = input.find('\n', from);
    lines.push_back(input.substr(from, cut == std::string::npos ? std::string::npos : cut - from));
    if (cut == std::string::npos) break;
    from = cut + 1;
  }
  lines.resize(std::max<std::size_t>(3, lines.size()));

  zorvex::KnownWindow known;
  known.program.path = lines[0];
  const std::size_t slash = known.program.path.find_last_of("\\/");
  known.program.name = zorvex::FoldCase(slash == std::string::npos ? lines[0] : lines[0].substr(slash + 1));
  known.className = lines[1];
  known.title = lines[2];
  const zorvex::WindowFacts window(known);

  std::vector<zorvex::WindowRule> rules;
  for (std::size_t i = 3; i + 2 < lines.size(); i += 3) {
    std::string fault;
    if (auto rule = zorvex::CompileWindowRule({lines[i], lines[i + 1], lines[i + 2], "close", ""}, fault)) {
      rules.push_back(std::move(*rule));
    } else if (fault.empty()) {
      std::abort();
    }
  }
  const zorvex::WindowRuleSet set(rules);
  const zorvex::WindowRule* linear = nullptr;
  for (const zorvex::WindowRule& rule : set.Rules()) {
    if (zorvex::RuleFits(rule, window)) {
      linear = &rule;
      break;
    }
  }
  if (set.FirstFit(window) != linear) std::abort();
  return 0;
}
