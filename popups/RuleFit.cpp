#include "popups/RuleFit.h"

#include <algorithm>

#include "base/Text.h"

namespace zorvex {

namespace {

std::string WithNumbers(const std::string& format, const std::vector<std::size_t>& numbers) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (format[i + 1] == 'd' && next < numbers.size()) {
        out += std::to_string(numbers[next++]);
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace

PreparedRule PrepareRule(const std::string& rule) {
  PreparedRule prepared;
  prepared.text = AsciiLower(WithoutControlCharacters(rule));
  std::replace(prepared.text.begin(), prepared.text.end(), '[', '?');
  std::replace(prepared.text.begin(), prepared.text.end(), ']', '?');
  // A rule that does not compile fits nothing, so one bad rule cannot stop the others.
  try {
    prepared.mask.emplace(prepared.text);
  } catch (const EMaskException& e) {
    prepared.fault = e.what();
    prepared.faultAt = e.Position();
  }
  return prepared;
}

std::string PreparedTitle(const std::string& title) { return AsciiLower(title); }

RuleFit FitRule(const std::string& rule, const std::vector<std::string>& titles) {
  const PreparedRule prepared = PrepareRule(rule);
  RuleFit fit;
  fit.open = titles.size();
  for (const std::string& title : titles) {
    const bool fits = prepared.mask && prepared.mask->Fits(PreparedTitle(title));
    fit.fits.push_back(fits);
    fit.count += fits ? 1 : 0;
  }
  // These warn whatever is open now: "*" fits every title, and a blank line is the slip the
  // warning is for (it fits the untitled frames, which the lister leaves out).
  const bool blank = prepared.text.find_first_not_of(' ') == std::string::npos;
  const bool onlyStars = !blank && prepared.text.find_first_not_of('*') == std::string::npos;
  if (blank || onlyStars || (fit.open >= 2 && fit.count == fit.open)) {
    fit.verdict = RuleVerdict::ClosesAll;
  } else if (!prepared.mask) {
    fit.verdict = RuleVerdict::Invalid;
    fit.fault = prepared.fault;
    fit.faultAt = prepared.faultAt;
  }
  return fit;
}

std::string RuleFitMessage(const RuleFit& fit, const RuleFitTexts& texts) {
  switch (fit.verdict) {
    case RuleVerdict::ClosesAll:
      return WithNumbers(texts.closesAll, {});
    case RuleVerdict::Invalid:
      return WithNumbers(texts.invalid, {fit.faultAt});
    case RuleVerdict::Fits:
      break;
  }
  return WithNumbers(texts.fits, {fit.count, fit.open});
}

}  // namespace zorvex
