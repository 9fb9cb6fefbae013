// Load and save of a rules.xml with 10,000 rules, in memory and through files; name look-up.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/Files.h"
#include "xml/SimpleXml.h"

namespace {

using zorvex::TSimpleXml;

constexpr int kRules = 10000;

void FillRules(TSimpleXml& doc) {
  doc.Root().SetName("Rules");
  for (int i = 0; i < kRules; ++i)
    doc.Root().Elems().Add("Rule", "*Free offer no. " + std::to_string(i) + " - Tom & Jerry <Popup>*");
}

std::string RulesText() {
  TSimpleXml doc;
  FillRules(doc);
  std::ostringstream out;
  doc.SaveToStream(out);
  return out.str();
}

std::string TempPath() { return (std::filesystem::temp_directory_path() / "zorvex-bench-rules.xml").string(); }

void BM_LoadRules(benchmark::State& state) {
  const std::string text = RulesText();
  TSimpleXml doc;
  for (auto _ : state) {
    std::istringstream in(text);
    doc.LoadFromStream(in);
    benchmark::DoNotOptimize(doc.Root().Elems().Count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadRules)->Unit(benchmark::kMillisecond);

void BM_SaveRules(benchmark::State& state) {
  TSimpleXml doc;
  FillRules(doc);
  for (auto _ : state) {
    std::ostringstream out;
    doc.SaveToStream(out);
    benchmark::DoNotOptimize(out.str().size());
  }
}
BENCHMARK(BM_SaveRules)->Unit(benchmark::kMillisecond);

void BM_LoadRulesFile(benchmark::State& state) {
  const std::string path = TempPath();
  zorvex::ReplaceFileContents(path, RulesText());
  TSimpleXml doc;
  for (auto _ : state) doc.LoadFromFile(path);
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadRulesFile)->Unit(benchmark::kMillisecond);

// Includes the temporary file, its flush to disk and the replacement.
void BM_SaveRulesFile(benchmark::State& state) {
  const std::string path = TempPath();
  TSimpleXml doc;
  FillRules(doc);
  for (auto _ : state) doc.SaveToFile(path);
  std::remove(path.c_str());
}
BENCHMARK(BM_SaveRulesFile)->Unit(benchmark::kMillisecond);

// ReadText on a 10,000-child list with distinct names: one index build, then hash look-ups.
void BM_FindAmongRules(benchmark::State& state) {
  TSimpleXml doc;
  for (int i = 0; i < kRules; ++i) doc.Root().Elems().Add("Rule" + std::to_string(i), i);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(doc.Root().Elems().ReadInt("RULE" + std::to_string(i), -1));
    i = (i + 7919) % kRules;
  }
}
BENCHMARK(BM_FindAmongRules);

}  // namespace

BENCHMARK_MAIN();
