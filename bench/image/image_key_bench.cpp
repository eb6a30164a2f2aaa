// How well image keys survive what an image host does to uploaded slices,
// how long one key takes beside OpenCV, and what hostile files cost.
//
// Page-like designs (photo-like texture, flat areas, blocks of text) are cut
// into slices of one size and of mixed sizes. Each slice is saved as JPEG
// quality 90, as a slicing tool would; its key is then compared with the
// keys of that file re-encoded as JPEG quality 95, 90, 80 and 60 and as PNG.
// The encoding is done by ImageMagick's convert, which must be on the path.
//
// A 750x1000 photograph-like JPEG (smooth texture with grain, quality 90)
// is timed here and, in the same run, by OpenCV's decode and average hash
// (opencv_average_hash.py beside this file, through Debian's python3-opencv;
// bench/image/run.sh installs it). Each hostile file of the tests is keyed by
// the command-line tool in a process of its own, whose time and peak memory
// are reported. The reports go to standard output before the timing
// benchmarks run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "image/image_key.h"
#include "support/page_design.h"
#include "support/test_images.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using qm::bench::Convert;
using qm::bench::Design;
using qm::bench::MakeDesign;
using qm::bench::MakePhotograph;
using qm::bench::MixedSlices;
using qm::bench::ReadFile;
using qm::bench::Slice;
using qm::bench::UniformSlices;
using qm::bench::WritePpm;

const char* const kVariants[] = {"jpg:-quality 95", "jpg:-quality 90", "jpg:-quality 80",
                                 "jpg:-quality 60", "png:"};

void RobustnessReport(const fs::path& dir) {
  std::map<std::string, int> unchanged;
  std::map<std::string, std::vector<int>> by_key;  // key -> slices
  int slices = 0;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    Design design = MakeDesign(seed);
    fs::path ppm = dir / "design.ppm";
    WritePpm(design, ppm);
    for (bool mixed : {false, true}) {
      auto cuts = mixed ? MixedSlices(design, seed * 7) : UniformSlices(design);
      for (const Slice& s : cuts) {
        fs::path local = dir / "slice.jpg";
        qm::bench::CropJpeg(ppm, s, 90, local);
        qm::Text key = qm::ImageKey(ReadFile(local));
        by_key[key].push_back(slices++);
        for (const char* variant : kVariants) {
          std::string v = variant;
          std::string format = v.substr(0, v.find(':'));
          fs::path out = dir / ("again." + format);
          Convert(local.string() + " " + v.substr(v.find(':') + 1) + " " + out.string());
          if (qm::ImageKey(ReadFile(out)) == key) ++unchanged[v];
        }
      }
    }
  }
  std::printf(
      "Slices: %d (4 designs of 750x3000, cut in 250-pixel rows and in mixed cells), saved as JPEG "
      "q90\n",
      slices);
  for (const char* variant : kVariants) {
    std::printf("  re-encoded as %-16s key unchanged: %5.1f%% (%d of %d)\n", variant,
                100.0 * unchanged[variant] / slices, unchanged[variant], slices);
  }
  int sharing = 0, keys_shared = 0;
  for (const auto& [key, members] : by_key) {
    if (members.size() > 1) {
      sharing += static_cast<int>(members.size());
      ++keys_shared;
    }
  }
  std::printf("Distinct slices sharing a key with another slice: %d (%d keys shared)\n\n", sharing,
              keys_shared);
}

qm::Bytes& PageJpeg() {
  static qm::Bytes jpeg;
  return jpeg;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Our key of the page beside OpenCV's decode and hash of the same file.
void OpenCvComparison(const fs::path& page) {
  constexpr int kRounds = 200;
  for (int i = 0; i < 10; ++i) qm::ImageKey(PageJpeg());
  std::vector<double> ms;
  for (int i = 0; i < kRounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(qm::ImageKey(PageJpeg()));
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::printf("750x1000 photograph, JPEG q90 (%zu bytes), %d rounds each:\n", PageJpeg().size(),
              kRounds);
  std::printf("  quillmar ImageKey        median %.3f ms, best %.3f ms\n", Median(ms),
              *std::min_element(ms.begin(), ms.end()));
  std::string command = "/usr/bin/python3 " + std::string(QM_BENCH_DIR) +
                        "/opencv_average_hash.py " + page.string() + " " + std::to_string(kRounds) +
                        " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  char line[512] = "";
  if (pipe) {
    if (!std::fgets(line, sizeof line, pipe)) line[0] = '\0';
    pclose(pipe);
  }
  double median = 0, best = 0, hash_only = 0;
  if (std::sscanf(line, "opencv decode+hash %lf %lf hash-only %lf", &median, &best, &hash_only) ==
      3) {
    std::printf(
        "  OpenCV imdecode+AverageHash median %.3f ms, best %.3f ms (hash alone %.3f ms)\n\n",
        median, best, hash_only);
  } else {
    std::printf("  OpenCV: not measured (apt-get install python3-opencv): %s\n", line);
  }
}

// Each hostile file keyed by the command-line tool in its own process.
void HostileReport(const fs::path& dir) {
  std::printf("Hostile files, keyed by %s:\n", QM_CLI_PATH);
  for (const qm::test::NamedImage& image : qm::test::HostileImages()) {
    fs::path file = dir / "hostile";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.bytes.data()),
               static_cast<std::streamsize>(image.bytes.size()));
    std::string tool = QM_CLI_PATH, key = "key", path = file.string(), out = (dir / "key").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* args[] = {tool.data(), key.data(), path.data(), nullptr};
    auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, tool.c_str(), &actions, nullptr, args, environ) != 0) {
      std::printf("  cannot start %s\n", tool.c_str());
      return;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    std::string key_line;
    std::getline(std::ifstream(out), key_line);
    key_line = key_line.substr(0, key_line.find('\t'));
    std::printf("  %-48s %7zu bytes %6.2f s %7.1f MiB  %s\n", image.name, image.bytes.size(),
                seconds, usage.ru_maxrss / 1024.0,
                key_line.size() > 64
                    ? (key_line.substr(0, key_line.size() - 64) +
                       (key_line.compare(key_line.size() - 64, 64, std::string(64, '1')) == 0
                            ? " + 64 ones"
                            : " + fingerprint"))
                          .c_str()
                    : "(no key)");
  }
  std::printf("\n");
}

void BM_ImageKey750x1000Jpeg(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qm::ImageKey(PageJpeg()));
}
BENCHMARK(BM_ImageKey750x1000Jpeg)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = fs::temp_directory_path() / ("qm-image-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const bool quick = argc > 1 && std::string(argv[1]) == "--no-robustness";
  if (quick) {
    argv[1] = argv[0];
    --argc;
    ++argv;
  } else {
    RobustnessReport(dir);
  }

  WritePpm(MakePhotograph(1000), dir / "page.ppm");
  Convert((dir / "page.ppm").string() + " -quality 90 " + (dir / "page.jpg").string());
  PageJpeg() = ReadFile(dir / "page.jpg");
  OpenCvComparison(dir / "page.jpg");
  HostileReport(dir);
  fs::remove_all(dir);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
