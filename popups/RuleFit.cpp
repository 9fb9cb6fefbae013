#include "popups/RuleFit.h"

#include <algorithm>

#include "base/CaseFold.h"
#include "base/Text.h"

namespace zorvex {

PreparedRule PrepareRule(const std::string& rule) {
  PreparedRule prepared;
  prepared.text = FoldCase(WithoutControlCharacters(rule));
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

// Control characters become blanks as they do in rules, so a rule made from a title fits it.
std::string PreparedTitle(const std::string& title) { return FoldCase(WithoutControlCharacters(title)); }

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
      return WithNumbers(texts.invalid, {static_cast<long long>(fit.faultAt)});
    case RuleVerdict::Fits:
      break;
  }
  return WithNumbers(texts.fits, {static_cast<long long>(fit.count), static_cast<long long>(fit.open)});
}

}  // namespace zorvex
