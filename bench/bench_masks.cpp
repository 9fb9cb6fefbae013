// Title masks: FitsMask (compile and test, as the scanner calls it) against glibc fnmatch on the same pairs,
// and FitsMask alone on hostile titles, which must stay far below the scanner's half-second budget.
#include "popups/Masks.h"

#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstdio>
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
      {"1024_byte_rule", "*" + std::string(1022, 'a') + "*", a1024},
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

}  // namespace

int main(int argc, char** argv) {
  for (const Pair& pair : Realistic()) {
    // Both must give the same answer, or the comparison is meaningless.
    if (zorvex::FitsMask(pair.text, pair.mask) != (fnmatch(pair.mask.c_str(), pair.text.c_str(), FNM_CASEFOLD) == 0)) {
      std::fprintf(stderr, "answers differ on %s\n", pair.name.c_str());
      return 1;
    }
    for (auto [label, fn] :
         {std::pair{"FitsMask", BM_FitsMask}, {"fnmatch", BM_fnmatch}, {"TMask.Fits", BM_TMaskFits}}) {
      benchmark::RegisterBenchmark((std::string(label) + "/" + pair.name).c_str(), fn, &pair)
          ->Repetitions(9)
          ->ReportAggregatesOnly(true);
    }
  }
  for (auto [label, fn] : {std::pair{"FitsMask/all_realistic", BM_AllFitsMask}, {"fnmatch/all_realistic", BM_Allfnmatch}}) {
    benchmark::RegisterBenchmark(label, fn)->Repetitions(9)->ReportAggregatesOnly(true);
  }
  for (const Pair& pair : Hostile()) {
    for (auto [label, fn] : {std::pair{"FitsMask", BM_FitsMask}, {"fnmatch", BM_fnmatch}}) {
      benchmark::RegisterBenchmark((std::string(label) + "/hostile/" + pair.name).c_str(), fn, &pair)
          ->Unit(benchmark::kMicrosecond)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
