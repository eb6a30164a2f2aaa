#include "support/look_alike.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/page_design.h"

namespace qm::bench {
namespace {

namespace fs = std::filesystem;

constexpr char kFont[] = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr int kPageWidth = 750;
constexpr int kServedWidth = 790;

// The program's narrow literals are GBK; convert's arguments are UTF-8.
std::string Utf8(const char8_t* text) {
  return reinterpret_cast<const char*>(text);
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

std::string Font() {
  static const bool present = fs::exists(kFont);
  if (!present) {
    std::fprintf(stderr, "%s is missing: apt-get install fonts-wqy-microhei\n", kFont);
    std::exit(1);
  }
  return std::string("-font ") + kFont;
}

std::string Size(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Draws `out` with convert's `args` unless an earlier run left it there.
void Draw(const std::string& args, const fs::path& out) {
  if (fs::exists(out)) return;
  const fs::path part = out.string() + ".part." + out.extension().string().substr(1);
  if (!Convert(args + " " + part.string())) {
    std::fprintf(stderr, "convert failed drawing %s\n", out.string().c_str());
    std::exit(1);
  }
  fs::rename(part, out);
}

class PageDrawer {
 public:
  PageDrawer(unsigned seed, const fs::path& dir)
      : seed_(seed), style_(seed + seed / 1000), dir_(dir) {
    fs::create_directories(dir_);
  }

  std::vector<LookAlikeSlice> Draw() {
    const unsigned design = style_ % 3;
    Title(design, 0);
    ProductRow({375, 375}, 375, true);
    Title(design, 1);
    IconRow(0);
    IconRow(5);
    Title(design, 2);
    Strips();
    Title(design, 3);
    ProductRow({250, 250, 250}, 300, false);
    Spacer();
    Title(design, 4);
    ProductRow({188, 187, 188, 187}, 240, true);
    Title(design, 5);
    TextBlocks();
    Spacer();
    Title(design, 6);
    Logos();
    GifIcons();
    Title(design, 7);
    return std::move(slices_);
  }

 private:
  fs::path Next(const std::string& format) {
    char name[32];
    std::snprintf(name, sizeof name, "slice_%03zu.%s", slices_.size() + 1, format.c_str());
    return dir_ / name;
  }
  void Add(const std::string& kind, const std::string& format, int width, int height,
           const std::string& args) {
    const fs::path file = Next(format);
    const std::string quality = format == "jpg" ? " -quality 90" : "";
    qm::bench::Draw(args + quality, file);
    slices_.push_back({kind, format, width, height, file});
  }
  // The k-th of a pool, turned by the page's seed.
  template <typename T, std::size_t N>
  const T& Pick(const T (&pool)[N], unsigned k) const {
    return pool[(seed_ * 5 + k) % N];
  }

  void Title(unsigned design, unsigned k) {
    static const char8_t* const kWords[] = {
        u8"售后服务", u8"搭配推荐", u8"产品详情", u8"尺码说明", u8"品牌故事", u8"买家秀场",
        u8"温馨提示", u8"洗涤说明", u8"细节展示", u8"模特展示", u8"包装清单", u8"物流配送",
        u8"价格说明", u8"正品保障", u8"面料成分", u8"新品上市", u8"店长推荐", u8"热卖爆款",
        u8"限时特惠", u8"会员专享", u8"关于我们", u8"售后保障", u8"颜色展示", u8"规格参数"};
    const std::string word = Quoted(Utf8(Pick(kWords, k)));
    std::string args;
    switch (design) {
      case 0:  // a red rule on top, dashes either side, a line of small capitals below
        args =
            "-size 750x90 xc:'#f7f3ec' -fill '#c8102e' -draw 'rectangle 0,0 749,5' "
            "-draw 'rectangle 230,44 290,46' -draw 'rectangle 460,44 520,46' " +
            Font() + " -fill '#333333' -pointsize 30 -gravity center -annotate +0-8 " + word +
            " -pointsize 12 -fill '#999999' -annotate +0+24 'MUSEN HOME'";
        break;
      case 1:  // gold words between gold lines on navy
        args =
            "-size 750x90 xc:'#14213d' -fill '#e0b860' -draw 'rectangle 180,44 280,45' "
            "-draw 'rectangle 470,44 570,45' " +
            Font() + " -pointsize 32 -gravity center -annotate +0+0 " + word;
        break;
      default:  // a blue mark on the left, the words beside it, a grey rule below
        args =
            "-size 750x90 xc:white -fill '#1e6fd9' -draw 'rectangle 20,22 27,68' "
            "-fill '#e5e5e5' -draw 'rectangle 20,84 729,85' " +
            Font() + " -fill '#222222' -pointsize 28 -gravity west -annotate +42+0 " + word;
        break;
    }
    Add("title", "jpg", kPageWidth, 90, args);
  }

  void IconRow(unsigned first) {
    static const char8_t* const kIcons[][2] = {
        {u8"退", u8"七天退换"}, {u8"保", u8"正品保障"}, {u8"邮", u8"全国包邮"},
        {u8"快", u8"极速发货"}, {u8"换", u8"免费换货"}, {u8"赔", u8"假一赔十"},
        {u8"修", u8"一年保修"}, {u8"送", u8"送运费险"}, {u8"客", u8"专属客服"},
        {u8"票", u8"提供发票"}, {u8"验", u8"验货签收"}, {u8"装", u8"免费安装"}};
    for (unsigned k = first; k < first + 5; ++k) {
      const auto& icon = Pick(kIcons, k);
      const std::string glyph = Quoted(Utf8(icon[0])), caption = Quoted(Utf8(icon[1]));
      std::string args;
      if (style_ % 2 == 0) {
        args =
            "-size 150x150 xc:white -fill none -stroke '#c8102e' -strokewidth 3 "
            "-draw 'circle 75,58 75,24' -stroke none -fill '#c8102e' " +
            Font() + " -pointsize 34 -gravity north -annotate +0+38 " + glyph +
            " -fill '#555555' -pointsize 16 -annotate +0+108 " + caption;
      } else {
        args =
            "-size 150x150 xc:'#f5f5f5' -fill '#ff6a00' -draw 'roundrectangle 45,20 105,80 "
            "12,12' " +
            Font() + " -fill white -pointsize 32 -gravity north -annotate +0+28 " + glyph +
            " -fill '#333333' -pointsize 15 -annotate +0+104 " + caption;
      }
      Add("icon", "jpg", 150, 150, args);
    }
  }

  // One photograph for every cell of a size: a warm textured ground and
  // the product on it, in a colour of the page's.
  fs::path ProductBase(int width, int height) {
    static const char* const kProducts[] = {"#7a4b2a", "#2f4f6f", "#6b2d4a", "#3f6b3a", "#444444"};
    const fs::path base = dir_ / ("product-" + Size(width, height) + ".png");
    const int x0 = width * 3 / 10, x1 = width * 7 / 10, y0 = height / 5, y1 = height * 4 / 5;
    qm::bench::Draw(
        "-seed " + std::to_string(seed_ * 31 + width) + " -size " + Size(width, height) +
            " plasma:grey60-grey95 -blur 0x6 -colorspace gray +level-colors '#8a7660','#f1e9de' "
            "-fill '" +
            kProducts[seed_ % 5] + "' -draw 'roundrectangle " + std::to_string(x0) + "," +
            std::to_string(y0) + " " + std::to_string(x1) + "," + std::to_string(y1) +
            " 20,20' -fill 'rgba(255,255,255,0.25)' -draw 'roundrectangle " +
            std::to_string(x0 + 12) + "," + std::to_string(y0 + 12) + " " +
            std::to_string(x0 + (x1 - x0) / 3) + "," + std::to_string(y1 - 12) + " 12,12'",
        base);
    return base;
  }

  // A row of one product: a price tag in the lower left corner of each
  // cell, or a badge of another colour in the upper right one.
  void ProductRow(const std::vector<int>& widths, int height, bool prices) {
    static const char* const kPrices[] = {"128", "138", "168", "198", "59", "69", "79", "89"};
    static const char* const kBadges[] = {"#e53935", "#1e88e5", "#43a047", "#fb8c00"};
    for (std::size_t k = 0; k < widths.size(); ++k) {
      const int width = widths[k];
      const fs::path base = ProductBase(width, height);
      const int text = std::max(14, width / 14);
      std::string args = base.string() + " " + Font();
      if (prices) {
        const std::string price =
            Utf8(u8"¥") + kPrices[(seed_ + k + (widths.size() == 4 ? 4 : 0)) % 8];
        args += " -fill '#d7261e' -draw 'roundrectangle 10," +
                std::to_string(height - 12 - 2 * text) + " " + std::to_string(10 + 4 * text) + "," +
                std::to_string(height - 10) + " 6,6' -fill white -pointsize " +
                std::to_string(text * 3 / 2) + " -annotate +" + std::to_string(10 + text / 2) +
                "+" + std::to_string(height - 10 - text / 2) + " " + Quoted(price);
      } else {
        const int r = width / 10, cx = width - r - 10, cy = r + 10;
        args += " -fill '" + std::string(kBadges[(seed_ + k) % 4]) + "' -draw 'circle " +
                std::to_string(cx) + "," + std::to_string(cy) + " " + std::to_string(cx + r) + "," +
                std::to_string(cy) + "' -fill white -pointsize " + std::to_string(r * 2 / 3) +
                " -annotate +" + std::to_string(cx - r * 2 / 3) + "+" + std::to_string(cy + r / 4) +
                " " + Quoted(Utf8(u8"新品"));
      }
      Add("product", "jpg", width, height, args);
    }
  }

  // One background cut into strips of one size.
  void Strips() {
    constexpr int kStrips = 12, kHeight = 80;
    const fs::path background = dir_ / "background.png";
    const std::string size = Size(kPageWidth, kStrips * kHeight);
    switch (style_ % 3) {
      case 0:
        qm::bench::Draw("-seed " + std::to_string(seed_) + " -size " + size +
                            " plasma:'#d8dee2-#f2f5f7' -blur 0x30 -modulate 100,40",
                        background);
        break;
      case 1:
        qm::bench::Draw("-size " + size + " gradient:'#161616-#3a3a3a'", background);
        break;
      default:
        qm::bench::Draw("-size " + size + " radial-gradient:'#3d74e0-#0a1838'", background);
        break;
    }
    for (int k = 0; k < kStrips; ++k) {
      Add("strip", "jpg", kPageWidth, kHeight,
          background.string() + " -crop " + Size(kPageWidth, kHeight) + "+0+" +
              std::to_string(k * kHeight) + " +repage");
    }
  }

  void TextBlocks() {
    static const char8_t* const kTexts[] = {
        u8"本店所有商品均为实物拍摄，因显示器设置不同，颜色可能略有差异，请以实物为准。",
        u8"收到商品后如有任何问题，请先联系客服，我们会在二十四小时内为您处理。",
        u8"面料柔软亲肤，透气性好，四季皆宜；建议冷水手洗，不可漂白，阴凉处晾干。",
        u8"尺码为平铺测量，误差在一到三厘米之内属正常范围，请参考尺码表选择。",
        u8"每件商品出库前都经过质检，包装完好，支持七天无理由退换货。",
        u8"节假日期间发货时间顺延，偏远地区物流时效以快递公司为准。"};
    for (unsigned k = 0; k < 3; ++k) {
      Add("text", "jpg", kPageWidth, 160,
          "-size 690x -background '" + std::string(seed_ < 1000 ? "#fbf8f3" : "#f2f6f9") +
              "' -fill '#444444' " + Font() + " -pointsize 18 -interline-spacing 8 caption:" +
              Quoted(Utf8(Pick(kTexts, k))) + " -gravity center -extent " + Size(kPageWidth, 160));
    }
  }

  // Identical white separators: one picture, several slices.
  void Spacer() { Add("spacer", "jpg", kPageWidth, 30, "-size 750x30 xc:white"); }

  // Logos of one brand on a transparent ground, antialiased into it.
  void Logos() {
    static const char8_t* const kNames[] = {u8"木森家居", u8"木森生活", u8"木森童装", u8"木森家纺"};
    const std::string colour = seed_ < 1000 ? "'#c8102e'" : "'#1b5e20'";
    for (unsigned k = 0; k < 3; ++k) {
      Add("logo", "png", 250, 90,
          "-size 250x90 xc:none -fill " + colour + " -draw 'circle 45,45 45,15' -fill white " +
              Font() + " -pointsize 28 -annotate +31+55 " + Quoted(Utf8(u8"木")) + " -fill " +
              colour + " -pointsize 28 -annotate +85+56 " + Quoted(Utf8(Pick(kNames, k))));
    }
  }

  // Icons of one style on a transparent ground, as GIF.
  void GifIcons() {
    static const char8_t* const kGlyphs[] = {u8"邮", u8"退", u8"换", u8"保", u8"快", u8"赠"};
    for (unsigned k = 0; k < 5; ++k) {
      Add("gif icon", "gif", 150, 120,
          "-size 150x120 xc:none -fill '" + std::string(seed_ < 1000 ? "#2a7ae2" : "#8e24aa") +
              "' -draw 'roundrectangle 35,20 115,100 18,18' -fill white " + Font() +
              " -pointsize 40 -gravity center -annotate +0+0 " + Quoted(Utf8(Pick(kGlyphs, k))));
    }
  }

  unsigned seed_;
  unsigned style_;  // picks the designs; another for seed + 1000
  fs::path dir_;
  std::vector<LookAlikeSlice> slices_;
};

bool Opaque(const LookAlikeSlice& slice) {
  return slice.format == "jpg";
}

}  // namespace

std::vector<LookAlikeSlice> MakeLookAlikePage(unsigned seed, const fs::path& dir) {
  return PageDrawer(seed, dir).Draw();
}

const char* TreatmentName(HostTreatment treatment) {
  switch (treatment) {
    case HostTreatment::kReencode:
      return "re-encode JPEG q75";
    case HostTreatment::kJpegOnWhite:
      return "to JPEG on white";
    case HostTreatment::kJpegOnBlack:
      return "to JPEG on black";
    case HostTreatment::kWatermark:
      return "50% watermark";
    case HostTreatment::kSharpened:
      return "sharpen, +10% sat.";
    case HostTreatment::kServed790:
      return "served 790 wide";
  }
  return "";
}

fs::path TreatUpload(HostTreatment treatment, const LookAlikeSlice& slice, const fs::path& out) {
  const std::string in = slice.file.string();
  const bool to_jpeg = Opaque(slice) || treatment == HostTreatment::kJpegOnWhite ||
                       treatment == HostTreatment::kJpegOnBlack;
  const fs::path file = out.string() + "." + (to_jpeg ? "jpg" : slice.format);
  const std::string save = to_jpeg ? " -quality 75 " : " ";
  std::string args;
  switch (treatment) {
    case HostTreatment::kReencode:
      if (!Opaque(slice)) {
        fs::copy_file(slice.file, file, fs::copy_options::overwrite_existing);
        return file;
      }
      args = in;
      break;
    case HostTreatment::kJpegOnWhite:
      args = in + " -background white -flatten";
      break;
    case HostTreatment::kJpegOnBlack:
      args = in + " -background black -flatten";
      break;
    case HostTreatment::kWatermark: {
      const int points = std::clamp(slice.width / 28, 9, 20);
      args = in + " " + Font() + " -pointsize " + std::to_string(points) +
             " -gravity southeast -fill 'rgba(255,255,255,0.5)' -stroke 'rgba(0,0,0,0.5)' "
             "-strokewidth 1 -annotate +8+6 " +
             Quoted(Utf8(u8"木森家居旗舰店"));
      break;
    }
    case HostTreatment::kSharpened:
      args = in + " -unsharp 0x0.8+0.6+0 -modulate 100,110";
      break;
    case HostTreatment::kServed790: {
      const double factor = static_cast<double>(kServedWidth) / kPageWidth;
      args = in + " -filter Lanczos -resize " +
             Size(std::max(1, static_cast<int>(std::lround(slice.width * factor))),
                  std::max(1, static_cast<int>(std::lround(slice.height * factor)))) +
             "!";
      break;
    }
  }
  if (!Convert(args + save + file.string())) {
    std::fprintf(stderr, "convert failed on %s\n", in.c_str());
    std::exit(1);
  }
  return file;
}

}  // namespace qm::bench
