// Linear behaviour of the text rules and scanning on inputs far larger than
// a real page: a 5 MB slice code, a 1 MB line without a line break, and
// 10,000 image tags. Compare the per-byte times across sizes.
#include <benchmark/benchmark.h>

#include "engine/scanning.h"
#include "base/text_rules.h"

namespace qm {
namespace {

Text Tags(int count) {
  Text code = "<table id=\"__01\" width=\"750\">\r\n";
  for (int i = 1; i <= count; ++i) {
    code += "\t<tr>\r\n\t\t<td>\r\n\t\t\t<img src=\"images/店铺_" + std::to_string(i) +
            ".jpg\" width=\"750\" height=\"100\" alt=\"\"></td>\r\n\t</tr>\r\n";
  }
  return code + "</table>\r\n";
}

// Mixed Chinese and ASCII, with the needle only at the very end.
Text Filler(std::size_t bytes) {
  Text text;
  while (text.size() < bytes) text += "切片代码 slice code 图片链接 ";
  return text;
}

void BM_FindAtEnd(benchmark::State& state) {
  Text text = Filler(static_cast<std::size_t>(state.range(0))) + "images/shop_99.jpg";
  for (auto _ : state) benchmark::DoNotOptimize(Find(text, "images/shop_99.jpg", 1));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_FindAtEnd)->Arg(1 << 20)->Arg(5 << 20);

// A needle that almost matches everywhere: the worst case of a naive search.
void BM_FindRepetitive(benchmark::State& state) {
  Text text(static_cast<std::size_t>(state.range(0)), 'a');
  Text needle = Text(1000, 'a') + "b";
  for (auto _ : state) benchmark::DoNotOptimize(Find(text, needle, 1));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_FindRepetitive)->Arg(1 << 20)->Arg(5 << 20);

void BM_ReplaceFirstAtEnd(benchmark::State& state) {
  Text text = Filler(static_cast<std::size_t>(state.range(0))) + "IMAGES/SHOP_99.JPG";
  for (auto _ : state)
    benchmark::DoNotOptimize(ReplaceFirst(text, "images/shop_99.jpg", "http://x"));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceFirstAtEnd)->Arg(1 << 20)->Arg(5 << 20);

void BM_ReplaceAll(benchmark::State& state) {
  Text text = Filler(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReplaceAll(text, "图片", "#引号"));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceAll)->Arg(1 << 20)->Arg(5 << 20);

void BM_SplitLines(benchmark::State& state) {
  Text text;
  while (text.size() < static_cast<std::size_t>(state.range(0)))
    text += "http://img.example/a/店铺_01.jpg\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(SplitLines(text));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SplitLines)->Arg(1 << 20)->Arg(5 << 20);

void BM_SplitOneLongLine(benchmark::State& state) {
  Text text = Filler(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(SplitLines(text));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SplitOneLongLine);

void BM_FindReferences(benchmark::State& state) {
  Text code = Tags(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(FindReferences(code));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FindReferences)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_FindReferencesOnOneLongLine(benchmark::State& state) {
  Text line = "<table>" + Filler(1 << 20) + "<img src=\"images/long_01.jpg\" width=\"1\"></table>";
  for (auto _ : state) benchmark::DoNotOptimize(FindReferences(line));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_FindReferencesOnOneLongLine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qm

BENCHMARK_MAIN();
