// Temporary probe: distance distributions on look-alike pages.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/near_match.h"
#include "image/image_key.h"
#include "support/look_alike.h"
#include "support/page_design.h"

namespace fs = std::filesystem;
using namespace qm;
using namespace qm::bench;

struct Item {
  ImageMeasures m;
  std::string kind;
  int picture;  // same id = identical bytes
};

double Dist(const ColourCells& a, const ColourCells& b, int, int, double chroma) {
  int y = 0;
  double c = 0;
  for (int i = 0; i < kLumaCells; ++i) y += std::abs(a[i] - b[i]);
  double g = 1;
  if (std::getenv("GAIN")) {
    double num = 0, den = 0;
    for (int i = kLumaCells; i < kLumaCells + 2 * kChromaCells; ++i) {
      num += (a[i] - 128.0) * (b[i] - 128.0);
      den += (b[i] - 128.0) * (b[i] - 128.0);
    }
    g = den > 0 ? std::clamp(num / den, 0.8, 1.25) : 1;
  }
  for (int i = kLumaCells; i < kLumaCells + 2 * kChromaCells; ++i)
    c += std::abs(a[i] - (128 + g * (b[i] - 128.0)));
  return double(y) / kLumaCells + chroma * double(c) / kChromaCells;
}

int g_min_cell = 0;

double g_chroma = 1.0;

double PairDist(const ImageMeasures& up, const ImageMeasures& sl) {
  int w = std::min(std::abs(up.width), std::abs(sl.width));
  int h = std::min(std::abs(up.height), std::abs(sl.height));
  int fx = 1, fy = 1;
  (void)w;
  (void)h;
  double best = 1e9;
  std::vector<const ColourCells*> us{&up.cells->on_black}, ss{&sl.cells->on_black};
  if (up.cells->on_white) us.push_back(&*up.cells->on_white);
  if (sl.cells->on_white) ss.push_back(&*sl.cells->on_white);
  for (auto* a : us)
    for (auto* b : ss) best = std::min(best, Dist(*a, *b, fx, fy, g_chroma));
  return best;
}

bool Comparable(const ImageMeasures& up, const ImageMeasures& sl) {
  return InProportion(sl.width, sl.height, up.width, up.height);
}

int DebugMain(int argc, char** argv);
int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "debug") return DebugMain(argc, argv);
  g_min_cell = argc > 1 ? std::atoi(argv[1]) : 0;
  g_chroma = argc > 2 ? std::atof(argv[2]) : 1.0;
  const fs::path dir = "/tmp/qm-la";
  const unsigned pages = 12;
  std::map<std::string, std::vector<double>> own, other, margin, ratios;
  for (HostTreatment t : kHostTreatments) {
    double own_max = 0, other_min = 1e9, margin_min = 1e9;
    std::string own_max_at, other_min_at, margin_min_at;
    int lost = 0, count = 0;
    for (unsigned p = 1; p <= pages; ++p) {
      auto slices = MakeLookAlikePage(p, dir / ("page" + std::to_string(p)));
      std::vector<Item> s, u;
      std::map<Bytes, int> ids;
      for (auto& sl : slices) {
        Bytes b = ReadFile(sl.file);
        int id = ids.emplace(b, int(ids.size())).first->second;
        s.push_back({MeasureImage(b), sl.kind, id});
      }
      fs::path up_dir = dir / ("up" + std::to_string(p) + "-" + std::to_string(int(t)));
      fs::create_directories(up_dir);
      for (std::size_t k = 0; k < slices.size(); ++k) {
        fs::path f;
        fs::path stem = up_dir / ("u" + std::to_string(k));
        bool found = false;
        for (const char* e : {".jpg", ".png", ".gif"})
          if (fs::exists(stem.string() + e)) f = stem.string() + e, found = true;
        if (!found) f = TreatUpload(t, slices[k], stem);
        u.push_back({MeasureImage(ReadFile(f)), slices[k].kind, s[k].picture});
      }
      for (std::size_t k = 0; k < u.size(); ++k) {
        double d_own = PairDist(u[k].m, s[k].m);
        double d_other = 1e9;
        std::size_t at = 0;
        for (std::size_t j = 0; j < s.size(); ++j) {
          if (s[j].picture == u[k].picture || !Comparable(u[k].m, s[j].m)) continue;
          double d = PairDist(u[k].m, s[j].m);
          if (d < d_other) d_other = d, at = j;
        }
        // slice side: second nearest upload
        double d_other_u = 1e9;
        for (std::size_t j = 0; j < u.size(); ++j) {
          if (u[j].picture == s[k].picture || !Comparable(u[j].m, s[k].m)) continue;
          d_other_u = std::min(d_other_u, PairDist(u[j].m, s[k].m));
        }
        ++count;
        double m = std::min(d_other, d_other_u) - d_own;
        if (d_other < 1e8) {
          double sep = PairDist(s[at].m, s[k].m);
          double ratio = (d_other - d_own) / sep;
          ratios[std::string(TreatmentName(t)) + " " + u[k].kind].push_back(ratio);
        }
        if (m <= 0.02 && std::getenv("LOST")) {
          ++lost;
          std::printf("  lost p%u #%zu %s own %.3f other-slice %.3f (#%zu) other-upload %.3f\n", p,
                      k + 1, u[k].kind.c_str(), d_own, d_other, at + 1, d_other_u);
        }
        char where[128];
        std::snprintf(where, sizeof where, "p%u #%zu %s vs #%zu", p, k + 1, u[k].kind.c_str(),
                      at + 1);
        if (d_own > own_max) own_max = d_own, own_max_at = where;
        if (d_other < other_min) other_min = d_other, other_min_at = where;
        if (m < margin_min) margin_min = m, margin_min_at = where;
        own[u[k].kind].push_back(d_own);
        other[u[k].kind].push_back(d_other);
      }
    }
    std::printf(
        "%-20s own max %6.2f (%s)  other min %6.2f (%s)  margin min %6.2f (%s) lost %d/%d\n",
        TreatmentName(t), own_max, own_max_at.c_str(), other_min, other_min_at.c_str(), margin_min,
        margin_min_at.c_str(), lost, count);
    std::fflush(stdout);
  }
  for (auto& [name, v] : ratios) {
    std::sort(v.begin(), v.end());
    int below = 0;
    for (double r : v) below += r < 0.5;
    std::printf("%-30s ratio min %.2f p5 %.2f p50 %.2f below0.5 %d/%zu\n", name.c_str(), v[0], v[v.size() / 20], v[v.size() / 2], below, v.size());
  }
  for (auto& [kind, v] : own) {
    auto& o = other[kind];
    std::sort(v.begin(), v.end());
    std::sort(o.begin(), o.end());
    std::printf("%-10s own p50 %.2f p99 %.2f max %.2f | other min %.2f p1 %.2f p50 %.2f\n",
                kind.c_str(), v[v.size() / 2], v[v.size() * 99 / 100], v.back(), o.front(),
                o[o.size() / 100], o[o.size() / 2]);
  }
}
// debug: probe_debug page k j treatment
int DebugMain(int argc, char** argv) {
  unsigned p = std::atoi(argv[2]);
  int k = std::atoi(argv[3]) - 1, j = std::atoi(argv[4]) - 1, t = std::atoi(argv[5]);
  const fs::path dir = "/tmp/qm-la";
  auto slices = MakeLookAlikePage(p, dir / ("page" + std::to_string(p)));
  fs::path up_dir = dir / ("up" + std::to_string(p) + "-" + std::to_string(t));
  fs::path f;
  for (const char* e : {".jpg", ".png", ".gif"})
    if (fs::exists((up_dir / ("u" + std::to_string(k))).string() + e))
      f = (up_dir / ("u" + std::to_string(k))).string() + e;
  auto u = MeasureImage(ReadFile(f));
  auto a = MeasureImage(ReadFile(slices[k].file)), b = MeasureImage(ReadFile(slices[j].file));
  struct C {
    int diff, ch, cell, u, a, b;
  };
  std::vector<C> cs;
  for (int ch = 0; ch < 3; ++ch)
    for (int c = 0; c < (ch ? kChromaCells : kLumaCells); ++c) {
      int i = ch == 0 ? c : kLumaCells + (ch - 1) * kChromaCells + c;
      int uu = u.cells->on_black[i], aa = a.cells->on_black[i], bb = b.cells->on_black[i];
      int d = std::abs(uu - bb) - std::abs(uu - aa);
      if (d != 0) cs.push_back({d, ch, c, uu, aa, bb});
    }
  std::sort(cs.begin(), cs.end(),
            [](auto& x, auto& y) { return std::abs(x.diff) > std::abs(y.diff); });
  int total = 0;
  for (auto& c : cs) total += c.diff;
  std::printf("%s: total margin %d (%.3f)\n", f.c_str(), total, total / 1024.0);
  for (std::size_t i = 0; i < std::min<std::size_t>(cs.size(), 30); ++i)
    std::printf("ch %d cell r%d c%d: up %d own %d other %d -> %+d\n", cs[i].ch,
                cs[i].cell / (cs[i].ch ? 32 : 64), cs[i].cell % (cs[i].ch ? 32 : 64), cs[i].u,
                cs[i].a, cs[i].b, cs[i].diff);
  return 0;
}
struct DebugHook {
  DebugHook() {}
} hook;
