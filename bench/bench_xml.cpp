// The XML model against pugixml on the same bytes: load (and read every value) and save, for a
// rules.xml of 10,000 rules, about 1 MB of mixed content, and a deep tree. Each iteration runs both
// sides in turn, so both meet the same load on the machine; the counters give each side's time per
// operation and the ratio ours / pugixml, timed on the thread's CPU clock so that other work on a
// busy machine does not count. Run with --benchmark_repetitions=N for medians.
// pugixml is only the yardstick here; the program never links it.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include <pugixml.hpp>

#include "platform/Files.h"
#include "xml/SimpleXml.h"

namespace {

using zorvex::TSimpleXml;
using zorvex::TSimpleXmlElem;

constexpr int kRules = 10000;

// The header the engine writes on its files.
void Utf8Header(TSimpleXml& doc) {
  auto& header = static_cast<zorvex::TSimpleXmlElemHeader&>(
      doc.Prolog().Add(std::make_unique<zorvex::TSimpleXmlElemHeader>()));
  header.Encoding = "UTF-8";
}

void FillRules(TSimpleXml& doc) {
  Utf8Header(doc);
  doc.Root().SetName("Rules");
  for (int i = 0; i < kRules; ++i)
    doc.Root().Elems().Add("Rule", "*Free offer no. " + std::to_string(i) + " - Tom & Jerry <Popup>*");
}

// A language file grown to about 1 MB: attributes, nested items, comments, CDATA, text beside
// elements, escaped bytes and plain ones.
void FillMixed(TSimpleXml& doc) {
  Utf8Header(doc);
  doc.Prolog().Add(std::make_unique<zorvex::TSimpleXmlElemComment>()).Value = " translation of every form ";
  TSimpleXmlElem& root = doc.Root();
  root.SetName("Translation");
  root.Props().Add("Language", "English (\"UK\")");
  for (int form = 0; form < 700; ++form) {
    TSimpleXmlElem& f = root.Elems().Add("foForm" + std::to_string(form), "");
    f.Props().Add("Caption", "Options & settings " + std::to_string(form));
    f.Props().Add("Width", std::to_string(300 + form));
    f.Elems().Add(std::make_unique<zorvex::TSimpleXmlElemComment>()).Value = " controls of form " + std::to_string(form);
    for (int c = 0; c < 6; ++c) {
      TSimpleXmlElem& control = f.Elems().Add("Control" + std::to_string(c), "");
      control.Props().Add("Caption", "&Button <" + std::to_string(c) + ">");
      control.Props().Add("Hint", "Closes the window and keeps what you changed");
      control.Elems().Add("Font", "Tahoma");
      control.Elems().Add("Lines", "first line of a longer help text, plain bytes only");
    }
    f.Elems().Add(std::make_unique<zorvex::TSimpleXmlElemText>()).Value = "text beside the controls: a < b & c";
    f.Elems().Add(std::make_unique<zorvex::TSimpleXmlElemCData>()).Value = "<raw> & unescaped";
    f.Elems().Add("Items", "").Elems().Add("Item", std::int64_t{form});
  }
}

// Chains nested 250 levels deep (the reader takes 256), each level with an attribute and a value.
void FillDeep(TSimpleXml& doc) {
  Utf8Header(doc);
  doc.Root().SetName("Deep");
  for (int chain = 0; chain < 16; ++chain) {
    TSimpleXmlElem* e = &doc.Root();
    for (int level = 0; level < 250; ++level) {
      e = &e->Elems().Add("Level", "");
      e->Props().Add("n", std::to_string(level));
      e->Elems().Add("V", "value " + std::to_string(level));
    }
  }
}

std::string Text(const std::function<void(TSimpleXml&)>& fill) {
  TSimpleXml doc;
  fill(doc);
  return doc.SaveToBuffer();
}

const std::string& Input(int which) {
  static const std::string inputs[] = {Text(FillRules), Text(FillMixed), Text(FillDeep)};
  return inputs[which];
}

// Reads every name, value and attribute, as a caller walking the document would.
std::size_t Walk(TSimpleXmlElem& e) {
  std::size_t n = e.Name().size() + e.Value.size();
  for (std::size_t i = 0; i < e.Props().Count(); ++i) n += e.Props().Item(i).Value.size();
  for (std::size_t i = 0; i < e.Elems().Count(); ++i) n += Walk(*e.Elems().Item(i));
  return n;
}

std::size_t Walk(const pugi::xml_node& node) {
  std::size_t n = std::strlen(node.name()) + std::strlen(node.value());
  for (const pugi::xml_attribute& a : node.attributes()) n += std::strlen(a.value());
  for (const pugi::xml_node& child : node.children()) n += Walk(child);
  return n;
}

// Everything our reader keeps: declaration, comments, CDATA, references decoded, line ends.
constexpr unsigned kPugiParse = pugi::parse_default | pugi::parse_comments | pugi::parse_declaration |
                                pugi::parse_doctype;

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, std::size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// CPU time of the calling thread, in seconds.
double Now() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void Report(benchmark::State& state, double ours, double pugi, std::size_t bytes) {
  const double n = static_cast<double>(state.iterations());
  state.counters["ours_ms"] = ours / n * 1e3;
  state.counters["pugixml_ms"] = pugi / n * 1e3;
  state.counters["ratio"] = ours / pugi;
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_Load(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  double ours = 0, pugi = 0;
  for (auto _ : state) {
    double t = Now();
    {
      TSimpleXml doc;
      doc.LoadFromBuffer(text);
      benchmark::DoNotOptimize(Walk(doc.Root()));
    }
    const double mine = Now() - t;
    t = Now();
    {
      pugi::xml_document doc;
      if (!doc.load_buffer(text.data(), text.size(), kPugiParse, pugi::encoding_utf8)) state.SkipWithError("pugixml");
      benchmark::DoNotOptimize(Walk(doc));
    }
    const double theirs = Now() - t;
    ours += mine;
    pugi += theirs;
    state.SetIterationTime(mine);
  }
  Report(state, ours, pugi, text.size());
}

void BM_Save(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  TSimpleXml doc;
  doc.LoadFromBuffer(text);
  pugi::xml_document pdoc;
  pdoc.load_buffer(text.data(), text.size(), kPugiParse, pugi::encoding_utf8);
  double ours = 0, pugi = 0;
  std::size_t ourBytes = 0;
  for (auto _ : state) {
    double t = Now();
    {
      const std::string out = doc.SaveToBuffer();
      ourBytes = out.size();
      benchmark::DoNotOptimize(out.data());
    }
    const double mine = Now() - t;
    t = Now();
    {
      StringWriter writer;
      pdoc.save(writer, " ", pugi::format_indent, pugi::encoding_utf8);
      benchmark::DoNotOptimize(writer.out.data());
    }
    const double theirs = Now() - t;
    ours += mine;
    pugi += theirs;
    state.SetIterationTime(mine);
  }
  Report(state, ours, pugi, ourBytes);
}

// 0: 10,000 rules; 1: 1 MB of mixed content; 2: a deep tree.
void Inputs(benchmark::internal::Benchmark* b) {
  b->ArgName("input")->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Load)->Apply(Inputs);
BENCHMARK(BM_Save)->Apply(Inputs);

std::string TempPath() { return (std::filesystem::temp_directory_path() / "zorvex-bench-rules.xml").string(); }

void BM_LoadRulesFile(benchmark::State& state) {
  const std::string path = TempPath();
  zorvex::ReplaceFileContents(path, Input(0));
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
