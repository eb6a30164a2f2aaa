#include "image/image_key.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "image/convert_image.h"
#include "image/drawing_surface.h"
#include "support/test_images.h"

namespace qm {
namespace {

using test::MakePicture;
using test::Picture;
using test::PngKind;
using test::Rgba;

const Text kAllOnes(64, '1');
const Text kLeftHalf = Text(32, '1') + Text(32, '0');

Text Repeat(const Text& part, int times) {
  Text out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

Picture Uniform(int width, int height, Rgba colour) {
  return MakePicture(width, height, [colour](int, int) { return colour; });
}

// Bright where `bright(x, y)`, dark elsewhere; few colours, so every format can hold it.
Picture TwoTone(int width, int height, bool (*bright)(int, int, int, int)) {
  return MakePicture(width, height, [=](int x, int y) {
    return bright(x, y, width, height) ? Rgba{240, 200, 90, 255} : Rgba{30, 60, 20, 255};
  });
}

bool LeftHalf(int x, int, int width, int) {
  return 2 * x < width;
}
bool TopHalf(int, int y, int, int height) {
  return 2 * y < height;
}
bool LeftFourColumns(int x, int, int, int) {
  return x < 4;
}

// Every lossless encoding of a picture the tests can write.
std::vector<std::pair<const char*, Bytes>> Encodings(const Picture& p) {
  return {{"png rgba", test::Png(p, PngKind::kRgba)},
          {"png rgb", test::Png(p, PngKind::kRgb)},
          {"png 16-bit", test::Png(p, PngKind::kRgb16)},
          {"png palette", test::Png(p, PngKind::kPalette)},
          {"png interlaced", test::Png(p, PngKind::kRgbaInterlaced)},
          {"gif", test::Gif(p)},
          {"bmp 24 bottom-up", test::Bmp24(p)},
          {"bmp 24 top-down", test::Bmp24(p, true)},
          {"bmp 32", test::Bmp32(p, 0)},
          {"bmp 32 padded", test::Bmp32(p, 0x5A, true)},
          {"bmp 8 colour table", test::BmpPalette(p, 8)},
          {"bmp 4 colour table", test::BmpPalette(p, 4)},
          {"bmp 1 colour table", test::BmpPalette(p, 1)},
          {"bmp 16 bit fields", test::Bmp565(p)},
          {"bmp 32 alpha mask", test::BmpV5Alpha(p)},
          {"bmp 8 run-length", test::BmpRunLength(p, 8)},
          {"bmp 4 run-length", test::BmpRunLength(p, 4)},
          {"bmp core header", test::BmpCoreHeader(p)}};
}

TEST(ImageFingerprintTest, GoldenPatternsInEveryLosslessFormat) {
  struct Case {
    const char* name;
    Picture picture;
    Text expected;
  } cases[] = {
      {"uniform", Uniform(16, 16, Rgba{90, 120, 200, 255}), kAllOnes},
      {"bright columns 0-3", TwoTone(16, 16, LeftHalf), kLeftHalf},
      {"bright rows 0-3", TwoTone(16, 16, TopHalf), Repeat("11110000", 8)},
      {"odd size", TwoTone(13, 7, LeftFourColumns), Text(24, '1') + Text(40, '0')},
  };
  for (const Case& c : cases) {
    for (const auto& [format, bytes] : Encodings(c.picture)) {
      EXPECT_EQ(MakeImageFingerprint(bytes), c.expected) << c.name << ", " << format;
    }
  }
}

TEST(ImageFingerprintTest, GreyPngAndCellsOnTheMeanGiveOne) {
  Picture grey = MakePicture(8, 8, [](int x, int) {
    std::uint8_t v = x < 4 ? 200 : 100;
    return Rgba{v, v, v, 255};
  });
  EXPECT_EQ(MakeImageFingerprint(test::Png(grey, PngKind::kGrey)), kLeftHalf);
  // A single bright cell among equal ones: the others sit below the mean.
  Picture spot = MakePicture(
      8, 8, [](int x, int y) { return x == 7 && y == 7 ? test::kWhite : test::kBlack; });
  EXPECT_EQ(MakeImageFingerprint(test::Png(spot)), Text(63, '0') + "1");
}

// Scaled uploads are compared with their slices by these levels: the same
// from every format, in the fingerprint's order, after the grey conversion
// that rounds down.
TEST(ImageFingerprintTest, GreyLevelsAreTheCellsTheFingerprintIsCutFrom) {
  // Cell k of the fingerprint has red = green = 3k and blue = 3k + 2.
  Picture cells = MakePicture(16, 16, [](int x, int y) {
    const auto level = static_cast<std::uint8_t>(3 * (x / 2 * 8 + y / 2));
    return Rgba{level, level, static_cast<std::uint8_t>(level + 2), 255};
  });
  GreyLevels expected;
  for (std::size_t k = 0; k < expected.size(); ++k) expected[k] = static_cast<std::uint8_t>(3 * k);
  for (const Bytes& bytes : {test::Png(cells), test::Gif(cells), test::Bmp24(cells)}) {
    const ImageMeasures measures = MeasureImage(bytes);
    EXPECT_EQ(measures.grey, expected);
    EXPECT_EQ(measures.fingerprint, Text(32, '0') + Text(32, '1'));
  }
}

// The fingerprint's grey levels as a drawing of the whole decoded picture
// onto an 8x8 rectangle gives them: the key as it always was, which the
// finer cells must not change. Nothing decoded leaves the surface black.
GreyLevels GreyLevelsDrawn(const Bytes& bytes) {
  GreyLevels grey{};
  ImageObject image;
  if (!image.Load(bytes)) return grey;
  DrawingSurface surface;
  surface.DrawImageScaled(image, 0, 0, 8, 8);
  surface.ToGrey();
  for (int k = 0; k < kFingerprintLength; ++k) {
    grey[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(surface.Pixel(k / 8, k % 8));
  }
  return grey;
}

// Every picture the tests know: the measure's 8x8 levels are those of the
// drawing, for sizes that divide by neither grid and sizes below them.
TEST(ImageFingerprintTest, FinerCellsLeaveTheKeyAsTheDrawingGivesIt) {
  std::vector<std::pair<std::string, Bytes>> images;
  const auto noisy = [](int width, int height) {
    return MakePicture(width, height, [](int x, int y) {
      const auto v = static_cast<std::uint8_t>((x * 37 + y * 91 + x * y) % 251);
      return Rgba{v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(v / 2),
                  static_cast<std::uint8_t>(x % 3 == 0 ? 255 : 128)};
    });
  };
  for (const Picture& p : {noisy(750, 90), noisy(13, 7), noisy(1, 23), noisy(65, 129),
                           TwoTone(16, 16, LeftHalf), Uniform(12, 3, test::kWhite)}) {
    for (auto& [format, bytes] : Encodings(p)) {
      images.push_back({std::to_string(p.width) + "x" + std::to_string(p.height) + " " + format,
                        std::move(bytes)});
    }
  }
  for (test::NamedImage& hostile : test::HostileImages()) {
    images.push_back({hostile.name, std::move(hostile.bytes)});
  }
  for (const auto& [name, bytes] : images) {
    const ImageMeasures measures = MeasureImage(bytes);
    EXPECT_EQ(measures.grey, GreyLevelsDrawn(bytes)) << name;
    EXPECT_EQ(measures.cells != nullptr, measures.decoded) << name;
  }
}

// Cells in the JPEG's luminance and colour differences: a blue glow and the
// navy around it differ in every channel, greys only in luminance.
TEST(ImageFingerprintTest, CellsHoldLuminanceAndColourDifferences) {
  struct Case {
    Rgba colour;
    int y, cb, cr;
  } cases[] = {
      {{0, 0, 0, 255}, 0, 128, 128},     {{255, 255, 255, 255}, 255, 128, 128},
      {{255, 0, 0, 255}, 76, 85, 255},   {{61, 116, 224, 255}, 112, 191, 92},
      {{10, 24, 56, 255}, 23, 146, 118}, {{128, 128, 128, 255}, 128, 128, 128},
  };
  for (const Case& c : cases) {
    const ImageMeasures m = MeasureImage(test::Bmp24(Uniform(10, 6, c.colour)));
    ASSERT_TRUE(m.cells);
    const ColourCells& cells = m.cells->on_black;
    EXPECT_EQ(std::count(cells.begin(), cells.begin() + kLumaCells, c.y), kLumaCells) << c.y;
    EXPECT_EQ(
        std::count(cells.begin() + kLumaCells, cells.begin() + kLumaCells + kChromaCells, c.cb),
        kChromaCells)
        << c.cb;
    EXPECT_EQ(std::count(cells.begin() + kLumaCells + kChromaCells, cells.end(), c.cr),
              kChromaCells)
        << c.cr;
    EXPECT_FALSE(m.cells->on_white) << "opaque";
  }
}

// A transparent picture is measured as it would look flattened on black
// and on white, exactly as those flattened files measure, from one decode.
TEST(ImageFingerprintTest, TransparencyIsMeasuredOnBlackAndOnWhite) {
  const Picture logo = MakePicture(40, 24, [](int x, int y) {
    const bool mark = (x - 12) * (x - 12) + (y - 12) * (y - 12) < 64 || (x > 24 && y % 6 < 3);
    const auto edge = static_cast<std::uint8_t>(x * 255 / 39);  // antialiased into the ground
    return mark ? Rgba{200, 16, 46, 255} : Rgba{200, 16, 46, static_cast<std::uint8_t>(edge / 3)};
  });
  const auto flattened = [&](std::uint8_t ground) {
    return MakePicture(logo.width, logo.height, [&](int x, int y) {
      const Rgba p = logo.At(x, y);
      const auto over = [&](std::uint8_t c) {
        return static_cast<std::uint8_t>((c * p.a + 127) / 255 + (ground ? 255 - p.a : 0));
      };
      return Rgba{over(p.r), over(p.g), over(p.b), 255};
    });
  };
  const ImageMeasures on_black = MeasureImage(test::Bmp24(flattened(0)));
  const ImageMeasures on_white = MeasureImage(test::Bmp24(flattened(255)));
  // Interlaced, the rows arrive in passes of scattered pixels.
  for (const auto& [format, bytes] :
       {std::pair{"png", test::Png(logo)},
        std::pair{"png interlaced", test::Png(logo, PngKind::kRgbaInterlaced)}}) {
    const ImageMeasures m = MeasureImage(bytes);
    ASSERT_TRUE(m.cells && m.cells->on_white) << format;
    EXPECT_EQ(m.cells->on_black, on_black.cells->on_black) << format;
    EXPECT_EQ(*m.cells->on_white, on_white.cells->on_black) << format;
    EXPECT_EQ(m.fingerprint, on_black.fingerprint) << "the key reads it on black, as ever";
  }
  // A GIF's transparent colour is transparent too.
  const Picture icon = MakePicture(16, 16, [](int x, int) {
    return x < 8 ? Rgba{42, 122, 226, 255} : Rgba{0, 0, 0, 0};
  });
  const ImageMeasures gif = MeasureImage(test::Gif(icon));
  ASSERT_TRUE(gif.cells && gif.cells->on_white);
  EXPECT_EQ(gif.cells->on_white->front(), gif.cells->on_black.front()) << "opaque on the left";
  EXPECT_EQ(gif.cells->on_white->at(kLumaSide - 1), 255) << "white on the right";
  EXPECT_EQ(gif.cells->on_black.at(kLumaSide - 1), 0) << "black on the right";
}

TEST(ImageFingerprintTest, TransparentAreaCountsAsBlack) {
  Picture half_clear = MakePicture(16, 16, [](int x, int) {
    return x < 8 ? test::kWhite : Rgba{255, 255, 255, 0};
  });
  EXPECT_EQ(MakeImageFingerprint(test::Png(half_clear)), kLeftHalf);
  EXPECT_EQ(MakeImageFingerprint(test::Png(half_clear, PngKind::kPalette)), kLeftHalf);
  EXPECT_EQ(MakeImageFingerprint(test::Gif(half_clear)), kLeftHalf);
}

// The picture is the first frame alone, at its own size, as the Windows
// build's library shows it: where the frame stands on the logical screen,
// and the screen's size and background, do not count.
TEST(GifFrameTest, ThePictureIsTheFirstFrameWhereverItStands) {
  const Picture tall = TwoTone(8, 16, LeftHalf);
  const Picture small = MakePicture(2, 2, [](int x, int y) {
    return x + y == 0 ? test::kWhite : Rgba{0, 0, 200, 255};
  });
  const Text tall_key = "816" + kLeftHalf;
  const Text small_key = "22" + Repeat("11110000", 4) + Text(32, '0');
  const struct {
    const char* name;
    Bytes gif;
    const Text& key;
  } cases[] = {
      {"alone", test::Gif(tall), tall_key},
      {"on a larger screen", test::GifOnScreen(tall, 16, 16, 8, 0, std::nullopt), tall_key},
      {"with a background", test::GifOnScreen(tall, 16, 16, 0, 0, test::kWhite), tall_key},
      {"partly outside the screen", test::GifOnScreen(small, 4, 4, 3, 3, std::nullopt), small_key},
      {"larger than the screen", test::GifOnScreen(small, 1, 1, 0, 0, test::kBlack), small_key},
      {"outside the screen", test::GifOnScreen(small, 4, 4, 10, 10, std::nullopt), small_key},
  };
  for (const auto& c : cases) EXPECT_EQ(ImageKey(c.gif), c.key) << c.name;
}

TEST(ImageKeyTest, JoinsSizeAndFingerprintWithoutSeparator) {
  Picture wide = TwoTone(750, 300, LeftHalf);
  EXPECT_EQ(ImageKey(test::Png(wide)), "750300" + kLeftHalf);
  EXPECT_EQ(ImageKey(test::Bmp24(wide)), "750300" + kLeftHalf);
  // 12 x 3 and 1 x 23 both start with the digits 123.
  Bytes a = test::Png(Uniform(12, 3, test::kWhite));
  Bytes b = test::Gif(Uniform(1, 23, test::kBlack));
  EXPECT_EQ(ImageKey(a), "123" + kAllOnes);
  EXPECT_EQ(ImageKey(a), ImageKey(b));
}

TEST(ImageSizeTest, BmpIsMeasuredFromItsHeaderAsStored) {
  Picture p = TwoTone(5, 4, LeftHalf);
  EXPECT_EQ(ImageWidth(test::Bmp24(p)), 5);
  EXPECT_EQ(ImageHeight(test::Bmp24(p)), 4);
  Bytes top_down = test::Bmp24(p, true);
  EXPECT_EQ(ImageHeight(top_down), -4);
  EXPECT_EQ(ImageKey(top_down).substr(0, 3), "5-4");

  EXPECT_EQ(ImageWidth(BytesFromText("BM")), 0);
  EXPECT_EQ(ImageHeight(BytesFromText("BM")), 0);
  // Missing bytes count as 0: only the low byte of the width is present.
  Bytes cut(top_down.begin(), top_down.begin() + 19);
  EXPECT_EQ(ImageWidth(cut), 5);
  EXPECT_EQ(ImageHeight(cut), 0);
  EXPECT_EQ(ImageKey(cut), "50" + kAllOnes);

  // The oldest BMPs keep 16-bit sizes in a 12-byte header.
  Bytes core = test::BmpCoreHeader(TwoTone(64, 48, LeftHalf));
  EXPECT_EQ(ImageWidth(core), 64);
  EXPECT_EQ(ImageHeight(core), 48);
  EXPECT_EQ(ImageKey(core), "6448" + kLeftHalf);

  // A header that lies is still read as stored, but nothing is decoded.
  Bytes huge = test::Bmp24(p);
  huge[19] = 0x40;  // width 0x4005
  huge[23] = 0x40;
  EXPECT_EQ(ImageWidth(huge), 0x4005);
  EXPECT_EQ(MakeImageFingerprint(huge), kAllOnes);
}

TEST(ImageSizeTest, OtherDataIsMeasuredByItsDecodedSize) {
  Picture p = TwoTone(7, 9, TopHalf);
  for (const Bytes& bytes : {test::Png(p), test::Gif(p)}) {
    EXPECT_EQ(ImageWidth(bytes), 7);
    EXPECT_EQ(ImageHeight(bytes), 9);
  }
}

TEST(BmpRunLengthTest, LiteralStretchesGiveThePictureAndCutDataNothing) {
  // Every pixel differs from its neighbours, so the rows go as literal
  // stretches; light on the left, dark on the right.
  Picture dither = MakePicture(16, 12, [](int x, int y) {
    const std::uint8_t v = static_cast<std::uint8_t>((x < 8 ? 200 : 10) + (x + y) % 2 * 40);
    return Rgba{v, v, v, 255};
  });
  for (int bits : {8, 4}) {
    SCOPED_TRACE(bits);
    Bytes rle = test::BmpRunLength(dither, bits);
    EXPECT_EQ(ImageKey(rle), "1612" + kLeftHalf);
    // Without its end mark, but with every row, the picture is whole.
    EXPECT_EQ(ImageKey(Bytes(rle.begin(), rle.end() - 2)), "1612" + kLeftHalf);
    // Without the top row it is not, as uncompressed rows missing.
    const std::size_t top_row = bits == 8 ? 2 + 16 + 2 : 2 + 8 + 2;
    EXPECT_EQ(ImageKey(Bytes(rle.begin(), rle.end() - 2 - top_row)), "1612" + kAllOnes);
  }
}

TEST(ImageKeyTest, UndecodableDataGivesZeroSizeAndAllOnes) {
  const Bytes png = test::Png(Uniform(4, 4, test::kWhite));
  const Bytes inputs[] = {
      {},
      BytesFromText("ab"),
      BytesFromText("GIF89a nonsense"),
      BytesFromText("<html>not an image</html>"),
      Bytes(png.begin(), png.begin() + 30),
      test::PngHeaderOnly(20000, 20000),  // 400 million pixels
      test::PngHeaderOnly(30001, 1),      // one side too long
      // A frame beyond the limits is refused before the library decodes
      // it, however small the screen it stands on.
      test::GifHeaderOnly(1, 1, 30000, 30000),
      // Scans whose work or kept coefficients go beyond the limits, read
      // from their headers before any library decodes them.
      test::JpegEndOfBandScans(10000, 10000, 1, 100, 0x10),
      test::JpegEndOfBandScans(10000, 10000, 3, 1, 0x00),
  };
  for (const Bytes& bytes : inputs) {
    EXPECT_EQ(ImageWidth(bytes), 0);
    EXPECT_EQ(ImageHeight(bytes), 0);
    EXPECT_EQ(MakeImageFingerprint(bytes), kAllOnes);
    EXPECT_EQ(ImageKey(bytes), "00" + kAllOnes);
    EXPECT_EQ(MeasureImage(bytes).grey, GreyLevels{});
  }
}

// Refinement scans are refused by the work they cost, not by their number:
// the hundred scans that are refused over 10000x10000 decode over a small
// picture, to one grey.
TEST(ImageKeyTest, JpegScansCountByTheirWork) {
  EXPECT_EQ(ImageKey(test::JpegEndOfBandScans(1000, 1000, 1, 100, 0x10)), "10001000" + kAllOnes);
}

TEST(ConvertImageTest, ReencodesAsBmpOfTheDecodedSize) {
  Bytes png = test::Png(TwoTone(6, 5, LeftHalf));
  Bytes bmp;
  ASSERT_TRUE(ConvertImage(png, ImageFormat::kBmp, bmp));
  ASSERT_GE(bmp.size(), 2u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(ImageWidth(bmp), 6);
  EXPECT_EQ(ImageHeight(bmp), 5);
  EXPECT_EQ(MakeImageFingerprint(bmp), MakeImageFingerprint(png));

  Bytes untouched{1, 2, 3};
  EXPECT_FALSE(ConvertImage(Bytes{0x89, 'P'}, ImageFormat::kBmp, untouched));
  EXPECT_FALSE(ConvertImage(BytesFromText("not an image"), ImageFormat::kBmp, untouched));
  EXPECT_EQ(untouched, (Bytes{1, 2, 3}));
}

// The fuzz target's seed corpus: files written by a common image tool, among
// them the lossy and interlaced kinds the tests cannot build themselves.
class SeedCorpusTest : public ::testing::Test {
 protected:
  static std::filesystem::path Folder() {
    const char* root = std::getenv("QM_SOURCE_DIR");
    return std::filesystem::path(root ? root : ".") / "fuzz" / "image" / "corpus";
  }
  static Bytes Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(SeedCorpusTest, EveryFileGivesAWellFormedKey) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
    Text key = ImageKey(Read(entry.path()));
    ASSERT_GE(key.size(), 66u) << entry.path();
    EXPECT_EQ(key.find_first_not_of("01", key.size() - 64), Text::npos) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 10);
}

// Every file of the corpus, the example and the end-to-end test: the key
// as the drawing of the decoded picture gives it.
TEST_F(SeedCorpusTest, FinerCellsLeaveEveryFilesKeyAsItWas) {
  const std::filesystem::path root = Folder().parent_path().parent_path().parent_path();
  int files = 0;
  for (const std::filesystem::path& folder :
       {Folder(), root / "examples" / "shop" / "images", root / "examples" / "shop" / "uploaded",
        root / "tests" / "e2e" / "data"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const Bytes bytes = Read(entry.path());
      EXPECT_EQ(MeasureImage(bytes).grey, GreyLevelsDrawn(bytes)) << entry.path();
      ++files;
    }
  }
  EXPECT_GE(files, 40);
}

TEST_F(SeedCorpusTest, EveryFormatOfOnePictureGivesOneKey) {
  // 32 x 24: a light left half with an orange square, a dark right half
  // (transparent in the GIF).
  // The CMYK files hold only the halves, as ink: one inverted behind an
  // Adobe marker, one as it is without.
  for (const char* name :
       {"jpeg_baseline.jpg", "jpeg_progressive.jpg", "jpeg_grey.jpg", "jpeg_cmyk_adobe.jpg",
        "jpeg_cmyk_plain.jpg", "png_interlaced.png", "png_palette.png", "png_16bit.png",
        "gif_transparent.gif", "bmp_24bit.bmp", "bmp_32bit.bmp"}) {
    EXPECT_EQ(ImageKey(Read(Folder() / name)), "3224" + kLeftHalf) << name;
  }
}

TEST_F(SeedCorpusTest, CmykInkIsInvertedOnlyBehindAnAdobeMarker) {
  Bytes jpeg = Read(Folder() / "jpeg_cmyk_adobe.jpg");
  for (std::size_t at = 2; at + 4 < jpeg.size();) {
    const std::size_t length = jpeg[at + 2] << 8 | jpeg[at + 3];
    if (jpeg[at + 1] == 0xEE) {
      jpeg.erase(jpeg.begin() + at, jpeg.begin() + at + 2 + length);
      break;
    }
    at += 2 + length;
  }
  // The same stored values read as plain ink: light and dark change sides.
  EXPECT_EQ(ImageKey(jpeg), "3224" + Text(32, '0') + Text(32, '1'));
}

TEST_F(SeedCorpusTest, TableLikeBytesInsideAColourProfileAreNotATable) {
  Bytes jpeg = Read(Folder() / "jpeg_baseline.jpg");
  // An APP2 colour profile whose payload reads like the start of a Huffman
  // table with far too many codes.
  Bytes payload{'I', 'C', 'C', '_', 'P',  'R',  'O', 'F', 'I', 'L',
                'E', 0,   1,   1,   0xFF, 0xC4, 0,   40,  0};
  payload.insert(payload.end(), 16, 200);
  const auto length = static_cast<std::uint8_t>(payload.size() + 2);
  Bytes segment{0xFF, 0xE2, 0, length};
  segment.insert(segment.end(), payload.begin(), payload.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  EXPECT_EQ(ImageKey(jpeg), "3224" + kLeftHalf);
}

// Keys are made on several threads at once; no decoder may share state
// between calls.
TEST_F(SeedCorpusTest, KeysAreTheSameFromSeveralThreadsAtOnce) {
  std::vector<Bytes> files;
  for (const char* name :
       {"jpeg_baseline.jpg", "jpeg_progressive.jpg", "jpeg_grey.jpg", "jpeg_truncated.jpg",
        "png_interlaced.png", "png_palette.png", "png_16bit.png", "png_truncated.png",
        "gif_transparent.gif", "bmp_24bit.bmp", "bmp_32bit.bmp"}) {
    files.push_back(Read(Folder() / name));
  }
  std::vector<Text> expected;
  for (const Bytes& file : files) expected.push_back(ImageKey(file));
  std::vector<std::vector<Text>> seen(4);
  std::vector<std::thread> threads;
  for (std::vector<Text>& keys : seen) {
    threads.emplace_back([&files, &keys] {
      for (int round = 0; round < 5; ++round) {
        for (const Bytes& file : files) keys.push_back(ImageKey(file));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::vector<Text>& keys : seen) {
    ASSERT_EQ(keys.size(), files.size() * 5);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      EXPECT_EQ(keys[i], expected[i % files.size()]) << i;
    }
  }
}

TEST_F(SeedCorpusTest, JpegWithAnOverlongHuffmanTableIsRefused) {
  Bytes jpeg = Read(Folder() / "jpeg_baseline.jpg");
  for (std::size_t at = 0; at + 21 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xC4) {  // then length, class, 16 counts
      jpeg[at + 19] = 200;  // codes of lengths 15 and 16: over 256 in one table
      jpeg[at + 20] = 200;
      break;
    }
  }
  EXPECT_EQ(ImageKey(jpeg), "00" + kAllOnes);
}

}  // namespace
}  // namespace qm
