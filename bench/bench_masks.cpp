// Title masks: FitsMask (compile and test, as the scanner calls it) against glibc fnmatch with FNM_CASEFOLD in
// a UTF-8 locale on the same pairs, and FitsMask on hostile masks over 1024-character titles, which must stay far
// below the scanner's half-second budget. The summary at the end gives the ratios.
#include "popups/Masks.h"

#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Pair {
  std::string name, mask, text;
};

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Rules and titles as both callers pass them: lower-cased.
const std::vector<Pair>& Realistic() {
  static const std::vector<Pair> pairs{
      {"casino_hit", "*casino*", "online casino - play slots and win big tonight - microsoft internet explorer"},
      {"casino_miss", "*casino*", "bbc news - world - europe - microsoft internet explorer"},
      {"free_prize_hit", "*free*prize*", "claim your free gift and win a prize now! - mozilla firefox"},
      {"free_prize_miss", "*free*prize*", "free software foundation - working together for free software - mozilla"},
      {"digits_hit", "win a [0-9]* today", "win a 500$ shopping voucher today"},
      {"digits_miss", "win a [0-9]* today", "windows update - microsoft internet explorer"},
      {"suffix_hit", "*- microsoft internet explorer", "google - microsoft internet explorer"},
      {"suffix_miss", "*- microsoft internet explorer", "slashdot: news for nerds, stuff that matters - opera"},
      {"whole_title", "hot singles in your area!!! - microsoft internet explorer",
       "hot singles in your area!!! - microsoft internet explorer"},
      {"lottery_miss", "*lottery*winner*", "the weather channel - local forecast for your town - netscape"},
      {"set_miss", "*[!a-z0-9 ]deal*", "amazon.com: online shopping for electronics, apparel, computers, books"},
  };
  return pairs;
}

// Pairs with characters beyond ASCII, rules as the callers pass them (folded), titles as windows give them.
const std::vector<Pair>& NonAscii() {
  static const std::vector<Pair> pairs{
      {"cyrillic_hit", "*\u043A\u0430\u0437\u0438\u043D\u043E*",
       "\u041E\u043D\u043B\u0430\u0439\u043D \u041A\u0410\u0417\u0418\u041D\u041E - \u0438\u0433\u0440\u0430\u0439 "
       "\u0441\u0435\u0439\u0447\u0430\u0441 - Mozilla Firefox"},
      {"cyrillic_miss", "*\u043A\u0430\u0437\u0438\u043D\u043E*",
       "\u041D\u043E\u0432\u043E\u0441\u0442\u0438 - \u043F\u043E\u0433\u043E\u0434\u0430 \u0432 "
       "\u041C\u043E\u0441\u043A\u0432\u0435 - Mozilla Firefox"},
      {"greek_set_hit", "[\u03B1-\u03C9]*\u03C0\u03C1\u03BF\u03C3\u03C6\u03BF\u03C1\u03AC*",
       "\u039C\u03B5\u03B3\u03AC\u03BB\u03B7 \u03C0\u03C1\u03BF\u03C3\u03C6\u03BF\u03C1\u03AC "
       "\u03C3\u03AE\u03BC\u03B5\u03C1\u03B1 - Google Chrome"},
      {"cjk_miss", "*\u514D\u8D39*\u5927\u5956*", "\u65B0\u95FB\u9891\u9053 - \u4ECA\u65E5\u5934\u6761 - Microsoft Edge"},
      {"emoji_hit", "*\U0001F381*free*", "\U0001F381 claim your free gift now \U0001F381 - google chrome"},
      {"accented_hit", "*cr\u00E9dit gratuit*", "obtenez un cr\u00E9dit gratuit aujourd'hui - mozilla firefox"},
      {"edge_zwsp_hit", "*- microsoft\u200Bedge", "casino royale - microsoft\u200Bedge"},
  };
  return pairs;
}

// Each with a title of 1024 characters.
const std::vector<Pair>& Hostile() {
  static const std::string a1024(1024, 'a');
  static const std::vector<Pair> pairs{
      {"30_stars_miss", Repeat("*a", 29) + "*b", a1024},
      {"30_stars_fit", Repeat("*a", 30), a1024},
      {"30_stars_last_byte", Repeat("*a", 30), std::string(1023, 'a') + "b"},
      {"30_neg_sets_miss", Repeat("*[!b]", 29) + "*b", a1024},
      {"30_stars_pairs_miss", Repeat("*a?", 28) + "*ab*", a1024},
      {"long_tail_miss", "*" + std::string(500, 'a') + "b", a1024},
      {"long_middle_miss", "*" + std::string(500, 'a') + "b*", a1024},
      {"long_middle_after_any_miss", "*a?" + std::string(500, 'a') + "b*", a1024},
      {"long_middle_set_miss", "*[ab]" + std::string(500, 'a') + "b*", a1024},
      {"30_long_runs_miss", Repeat("*" + std::string(30, 'a'), 29) + "b*", a1024},
      {"long_middle_cyrillic_miss", "*" + Repeat("\u044F", 500) + "b*", Repeat("\u042F", 1024)},
      {"1024_byte_rule", "*" + std::string(1022, 'a') + "*", a1024},
      {"many_short_pieces_miss", "*" + Repeat("a?", 250) + "b*", a1024},
      {"many_short_cyrillic_miss", "*" + Repeat("\u044F?", 250) + "b*", Repeat("\u042F", 1024)},
      {"many_sets_cyrillic_miss", "*" + Repeat("[\u0430-\u044F]", 250) + "b*", Repeat("\u042F", 1024)},
  };
  return pairs;
}

void BM_FitsMask(benchmark::State& state, const Pair* pair) {
  for (auto _ : state) benchmark::DoNotOptimize(zorvex::FitsMask(pair->text, pair->mask));
}

void BM_fnmatch(benchmark::State& state, const Pair* pair) {
  for (auto _ : state) benchmark::DoNotOptimize(fnmatch(pair->mask.c_str(), pair->text.c_str(), FNM_CASEFOLD));
}

// A rule compiled once and kept, as the scanner does with its rule list.
void BM_TMaskFits(benchmark::State& state, const Pair* pair) {
  const zorvex::TMask mask(pair->mask);
  for (auto _ : state) benchmark::DoNotOptimize(mask.Fits(pair->text));
}

// One pass over all realistic pairs: what a scanner pass pays per window and rule, on average.
void BM_AllFitsMask(benchmark::State& state) {
  for (auto _ : state) {
    for (const Pair& pair : Realistic()) benchmark::DoNotOptimize(zorvex::FitsMask(pair.text, pair.mask));
  }
}

void BM_Allfnmatch(benchmark::State& state) {
  for (auto _ : state) {
    for (const Pair& pair : Realistic()) {
      benchmark::DoNotOptimize(fnmatch(pair.mask.c_str(), pair.text.c_str(), FNM_CASEFOLD));
    }
  }
}

// Keeps the median time of each repeated case for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        const std::string name = run.benchmark_name();
        medians[name.substr(0, name.find("/repeats:"))] = run.GetAdjustedCPUTime() * Nanoseconds(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;  // nanoseconds of CPU time

private:
  static double Nanoseconds(benchmark::TimeUnit unit) {
    return unit == benchmark::kMicrosecond ? 1e3 : unit == benchmark::kMillisecond ? 1e6 : unit == benchmark::kSecond ? 1e9 : 1;
  }
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median over the pairs of FitsMask / fnmatch, and the median FitsMask time itself.
void Summarise(const std::map<std::string, double>& medians, const char* label, const std::vector<Pair>& pairs,
               double* medianTime) {
  std::vector<double> ratios, times;
  for (const Pair& pair : pairs) {
    const auto ours = medians.find("FitsMask/" + pair.name);
    const auto theirs = medians.find("fnmatch/" + pair.name);
    if (ours == medians.end() || theirs == medians.end()) continue;
    ratios.push_back(ours->second / theirs->second);
    times.push_back(ours->second);
  }
  if (ratios.empty()) return;
  std::printf("%s: median ratio FitsMask/fnmatch %.2f over %zu pairs (min %.2f, max %.2f); median FitsMask %.0f ns\n",
              label, Median(ratios), ratios.size(), *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()), Median(times));
  if (medianTime) *medianTime = Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  // fnmatch reads characters, and folds case, by the locale.
  if (!std::setlocale(LC_ALL, "C.UTF-8")) {
    std::fprintf(stderr, "no C.UTF-8 locale\n");
    return 1;
  }
  std::vector<const Pair*> compared;
  for (const auto* list : {&Realistic(), &NonAscii()}) {
    for (const Pair& pair : *list) compared.push_back(&pair);
  }
  for (const Pair* pair : compared) {
    // Both must give the same answer, or the comparison is meaningless.
    if (zorvex::FitsMask(pair->text, pair->mask) != (fnmatch(pair->mask.c_str(), pair->text.c_str(), FNM_CASEFOLD) == 0)) {
      std::fprintf(stderr, "answers differ on %s\n", pair->name.c_str());
      return 1;
    }
    for (auto [label, fn] :
         {std::pair{"FitsMask", BM_FitsMask}, {"fnmatch", BM_fnmatch}, {"TMask.Fits", BM_TMaskFits}}) {
      benchmark::RegisterBenchmark((std::string(label) + "/" + pair->name).c_str(), fn, pair)
          ->Repetitions(9)
          ->ReportAggregatesOnly(true);
    }
  }
  for (auto [label, fn] : {std::pair{"FitsMask/all_realistic", BM_AllFitsMask}, {"fnmatch/all_realistic", BM_Allfnmatch}}) {
    benchmark::RegisterBenchmark(label, fn)->Repetitions(9)->ReportAggregatesOnly(true);
  }
  for (const Pair& pair : Hostile()) {
    for (auto [label, fn] : {std::pair{"FitsMask", BM_FitsMask}, {"fnmatch", BM_fnmatch}, {"TMask.Fits", BM_TMaskFits}}) {
      benchmark::RegisterBenchmark((std::string(label) + "/hostile/" + pair.name).c_str(), fn, &pair)
          ->Unit(benchmark::kMicrosecond)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  double realisticMedian = 0;
  std::printf("\nMedian CPU times over the repetitions.\n");
  Summarise(reporter.medians, "realistic pairs", Realistic(), &realisticMedian);
  Summarise(reporter.medians, "pairs beyond ASCII", NonAscii(), nullptr);
  std::string slowest;
  double slowestTime = 0;
  for (const Pair& pair : Hostile()) {
    const auto it = reporter.medians.find("FitsMask/hostile/" + pair.name);
    if (it != reporter.medians.end() && it->second > slowestTime) {
      slowest = pair.name;
      slowestTime = it->second;
    }
  }
  if (!slowest.empty()) {
    std::printf("slowest hostile mask: %s, %.2f us", slowest.c_str(), slowestTime / 1e3);
    if (realisticMedian > 0) std::printf(", %.0f times the median realistic pair", slowestTime / realisticMedian);
    std::printf("\n");
  }
  return 0;
}
