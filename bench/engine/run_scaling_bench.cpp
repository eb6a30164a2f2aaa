// How the time of whole runs grows with the number of slices: by number and
// smart, over pages with one image tag a line, a minified page with every
// tag on one line, one whose tags have no width (read by the second
// reading), and one where each slice has a rollover picture. Each run works on its own copy of the
// text, so the time should grow with the slice count and no faster: compare the 8000-slice rows
// with the 1000-slice ones (the goal is at most 8.5 times). The smart runs read small in-memory
// slices and uploads, so what is timed is the run itself.
#include <benchmark/benchmark.h>

#include <functional>

#include "engine/fake_host.h"
#include "engine/memory_window.h"
#include "engine/runs.h"
#include "engine/slice_page.h"
#include "support/test_images.h"

namespace qm {
namespace {

enum Shape { kOneTagALine, kOneLine, kWithoutWidth, kRollovers };

// A slice file's number has three digits, so a page of thousands of slices
// keeps each thousand in a folder of its own. Every thousand repeats the
// pictures of the first, as identical slices of a long page do: the uploads
// of one picture are its copies, paired in document order.
constexpr int kFiles = 1000;
constexpr char kPageFolder[] = "D:\\店铺";

Text Number(int k) {
  const Text digits = std::to_string(k % kFiles);
  return Text(3 - digits.size(), '0') + digits;
}

Text SourceOf(int k) {
  return "images/p" + std::to_string(k / kFiles) + "/店铺_" + Number(k) + ".jpg";
}

// The picture a slice's rollover swaps in: the slice's name with a frame.
Text RolloverOf(int k) {
  return "images/p" + std::to_string(k / kFiles) + "/店铺_" + Number(k) + "_f2.jpg";
}

Text Page(Shape shape, int slices) {
  Text code =
      shape == kWithoutWidth ? "<div id=\"Table_01\">" : "<table id=\"__01\" width=\"750\">";
  for (int k = 1; k <= slices; ++k) {
    const Text source = SourceOf(k);
    switch (shape) {
      case kOneTagALine:
        code += "\r\n\t<tr>\r\n\t\t<td>\r\n\t\t\t<img src=\"" + source +
                "\" width=\"750\" height=\"8\" alt=\"\"></td>\r\n\t</tr>";
        break;
      case kOneLine:
        code +=
            "<tr><td><img src=\"" + source + "\" width=\"750\" height=\"8\" alt=\"\"></td></tr>";
        break;
      case kWithoutWidth:
        code += "<div><img src=\"" + source + "\" alt=\"\"></div>";
        break;
      case kRollovers:
        code += "\r\n\t<tr>\r\n\t\t<td><a href=\"#\" onMouseOver=\"MM_swapImage('i','','" +
                RolloverOf(k) + "',1)\"><img name=\"i\" src=\"" + source +
                "\" width=\"750\" height=\"8\" alt=\"\"></a></td>\r\n\t</tr>";
        break;
    }
  }
  return code + (shape == kWithoutWidth ? "</div>\r\n" : "</table>\r\n");
}

Text LinkOf(int k) {
  return "https://img.example/shop/u" + std::to_string(k) + ".jpg";
}

Text RolloverLinkOf(int k) {
  return "https://img.example/shop/r" + std::to_string(k) + ".jpg";
}

// The picture of slice file k: a 16x8 pattern of its thousand's.
Bytes SlicePicture(int k) {
  return test::PatternBmp(16, 8, 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(k % kFiles));
}

// Its rollover's: the pattern turned over.
Bytes RolloverPicture(int k) {
  return test::PatternBmp(16, 8, ~(0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(k % kFiles)));
}

void Run(benchmark::State& state, Shape shape, bool smart) {
  const int slices = static_cast<int>(state.range(0));
  const Text page = Page(shape, slices);
  test::FakeHost host;
  Text list;
  // The links come in reverse order, as a smart run may get them.
  for (int k = slices; k >= 1; --k) {
    const int listed = smart ? k : slices + 1 - k;
    list += LinkOf(listed) + "\r\n";
    if (!smart) continue;
    host.files[ResolveSliceFile(kPageFolder, SourceOf(listed))] = SlicePicture(listed);
    host.links[LinkOf(listed)] = SlicePicture(listed);
    if (shape != kRollovers) continue;
    list += RolloverLinkOf(listed) + "\r\n";
    host.files[ResolveSliceFile(kPageFolder, RolloverOf(listed))] = RolloverPicture(listed);
    host.links[RolloverLinkOf(listed)] = RolloverPicture(listed);
  }
  // By number the rollovers keep their paths; smart pairs them too.
  const int pictures = smart && shape == kRollovers ? 2 * slices : slices;
  for (auto _ : state) {
    MemoryWindow window;
    window.SelectRadio(smart ? RadioBox::kSmart : RadioBox::kByNumber);
    window.SetEditText(EditBox::kSliceCode, page);
    window.SetEditText(EditBox::kLinkList, list);
    // The slice files are found from the page's folder, each by its path.
    if (smart) window.SetSlicePage(kPageFolder, page);
    ReplaceCommand command(window, host);
    if (command.ReplaceAndCopy() != PressResult::kStarted) state.SkipWithError("refused");
    command.WaitForRun();
    if (command.LastReport().replaced != pictures) state.SkipWithError("not every slice replaced");
  }
  state.SetItemsProcessed(state.iterations() * slices);
  state.SetComplexityN(slices);
}

void Register(const char* name, Shape shape, bool smart) {
  benchmark::RegisterBenchmark(name, [=](benchmark::State& state) { Run(state, shape, smart); })
      ->Arg(1000)
      ->Arg(2000)
      ->Arg(4000)
      ->Arg(8000)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->Complexity(benchmark::oN);
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
  using namespace qm;
  Register("by_number/one_tag_a_line", kOneTagALine, false);
  Register("by_number/one_line", kOneLine, false);
  Register("by_number/without_width", kWithoutWidth, false);
  Register("smart/one_tag_a_line", kOneTagALine, true);
  Register("smart/one_line", kOneLine, true);
  Register("smart/without_width", kWithoutWidth, true);
  Register("by_number/rollovers", kRollovers, false);
  Register("smart/rollovers", kRollovers, true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
