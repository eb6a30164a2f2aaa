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
#include "support/test_images.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Rgb {
  std::uint8_t r, g, b;
};

struct Design {
  int width = 750;
  int height = 0;
  std::vector<Rgb> pixels;
  Rgb& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

std::uint8_t Clamp(double v) {
  return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

// Smooth random texture: a few sine waves and some grain.
void PhotoArea(Design& d, int top, int bottom, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0, 1);
  double f[6], p[6];
  for (int i = 0; i < 6; ++i) {
    f[i] = 0.004 + 0.03 * u(rng);
    p[i] = 6.28 * u(rng);
  }
  std::normal_distribution<double> grain(0, 6);
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < d.width; ++x) {
      double a =
          std::sin(x * f[0] + p[0]) + std::sin(y * f[1] + p[1]) + std::sin((x + y) * f[2] + p[2]);
      double b = std::sin(x * f[3] - y * f[4] + p[3]) + std::sin(y * f[5] + p[4]);
      d.At(x, y) = {Clamp(128 + 40 * a + grain(rng)), Clamp(110 + 35 * b + 20 * a + grain(rng)),
                    Clamp(100 + 45 * std::sin(a + b + p[5]) + grain(rng))};
    }
  }
}

// A flat colour with a gentle vertical gradient and a frame.
void FlatArea(Design& d, int top, int bottom, std::mt19937& rng) {
  std::uniform_int_distribution<int> c(40, 230);
  Rgb base{static_cast<std::uint8_t>(c(rng)), static_cast<std::uint8_t>(c(rng)),
           static_cast<std::uint8_t>(c(rng))};
  for (int y = top; y < bottom; ++y) {
    double t = 12.0 * (y - top) / std::max(1, bottom - top);
    for (int x = 0; x < d.width; ++x) {
      bool frame = x < 20 || x >= d.width - 20;
      d.At(x, y) =
          frame ? Rgb{255, 255, 255} : Rgb{Clamp(base.r + t), Clamp(base.g + t), Clamp(base.b - t)};
    }
  }
}

// Lines of small dark glyph-like marks on a light background.
void TextArea(Design& d, int top, int bottom, std::mt19937& rng) {
  std::uniform_int_distribution<int> glyph(0, 15), gap(0, 9);
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < d.width; ++x) d.At(x, y) = {246, 244, 238};
  }
  for (int line = top + 12; line + 16 < bottom; line += 28) {
    for (int x = 40; x + 14 < d.width - 40; x += 16) {
      if (gap(rng) == 0) continue;
      int shape = glyph(rng);
      for (int gy = 0; gy < 14; ++gy) {
        for (int gx = 0; gx < 12; ++gx) {
          bool ink = (shape & 1 && gy < 2) || (shape & 2 && gx < 2) || (shape & 4 && gy == 7) ||
                     (shape & 8 && gx == 6) || gy == 13;
          if (ink) d.At(x + gx, line + gy) = {40, 36, 30};
        }
      }
    }
  }
}

// The whole picture one photograph-like area.
Design MakePhotograph(int height) {
  std::mt19937 rng(11);
  Design d;
  d.height = height;
  d.pixels.assign(static_cast<std::size_t>(d.width) * d.height, Rgb{});
  PhotoArea(d, 0, height, rng);
  return d;
}

Design MakeDesign(unsigned seed) {
  std::mt19937 rng(seed);
  Design d;
  d.height = 3000;
  d.pixels.assign(static_cast<std::size_t>(d.width) * d.height, Rgb{});
  int y = 0;
  int kind = static_cast<int>(seed % 3);
  std::uniform_int_distribution<int> band(250, 700);
  while (y < d.height) {
    int bottom = std::min(d.height, y + band(rng));
    switch (kind++ % 3) {
      case 0:
        PhotoArea(d, y, bottom, rng);
        break;
      case 1:
        FlatArea(d, y, bottom, rng);
        break;
      case 2:
        TextArea(d, y, bottom, rng);
        break;
    }
    y = bottom;
  }
  return d;
}

void WritePpm(const Design& d, const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << d.width << ' ' << d.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(d.pixels.data()),
            static_cast<std::streamsize>(d.pixels.size() * 3));
}

qm::Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return qm::Bytes(std::istreambuf_iterator<char>(in), {});
}

bool Convert(const std::string& args) {
  std::string command = "convert " + args + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

struct Slice {
  int x, y, w, h;
};

std::vector<Slice> UniformSlices(const Design& d) {
  std::vector<Slice> out;
  for (int y = 0; y + 250 <= d.height; y += 250) out.push_back({0, y, d.width, 250});
  return out;
}

// Rows of varying height, some cut into two or three cells.
std::vector<Slice> MixedSlices(const Design& d, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> height(90, 420), cells(1, 3);
  std::vector<Slice> out;
  for (int y = 0; y < d.height;) {
    int h = std::min(height(rng), d.height - y);
    int n = cells(rng);
    int x = 0;
    for (int i = 0; i < n; ++i) {
      int w = i + 1 == n ? d.width - x : d.width / n + 37 * (i + 1);
      out.push_back({x, y, w, h});
      x += w;
    }
    y += h;
  }
  return out;
}

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
        std::string crop = std::to_string(s.w) + "x" + std::to_string(s.h) + "+" +
                           std::to_string(s.x) + "+" + std::to_string(s.y);
        if (!Convert(ppm.string() + " -crop " + crop + " +repage -quality 90 " + local.string())) {
          std::fprintf(stderr, "convert failed; is ImageMagick installed?\n");
          std::exit(1);
        }
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
