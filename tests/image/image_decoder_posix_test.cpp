// What this platform's own decoders promise beyond what both platforms
// share: bounded cost on hostile files, PNG data that must end where its
// header says, run-length pixels left out staying black.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "image/decoder_memory.h"
#include "image/image_key.h"
#include "support/test_images.h"

namespace qm {
namespace {

const Text kAllOnes(64, '1');

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Rows(const Bytes& row, int count) {
  return count == 0 ? Bytes{} : Join({row, Rows(row, count - 1)});
}

// A fingerprint whose eight columns all read `column`, top to bottom.
Text EveryColumn(const Text& column) {
  Text out;
  for (int i = 0; i < 8; ++i) out += column;
  return out;
}

Bytes Hostile(const std::string& name) {
  for (test::NamedImage& image : test::HostileImages()) {
    if (image.name == name) return std::move(image.bytes);
  }
  return {};
}

bool WellFormed(const Text& key) {
  if (key.size() < 2 + 64) return false;
  const Text size = key.substr(0, key.size() - 64);
  return key.find_first_not_of("01", size.size()) == Text::npos &&
         size.find_first_not_of("-0123456789") == Text::npos;
}

TEST(HostileImageTest, EachGivesAWellFormedKeyOrTheUndecodableOne) {
  // The size digits each key starts with; "00" with an all-ones
  // fingerprint is the undecodable key, a BMP header is read as stored.
  const std::map<std::string, Text> expected = {
      {"png 1x1 inflating to 1 GiB", "00"},
      {"png header only, 10000x10000", "00"},
      {"bmp header only, 10000x10000", "1000010000"},
      {"bmp header only, top-down 30000x3333", "30000-3333"},
      {"gif header only, screen 30000x3333", "00"},
      {"gif 1x1 frame, screen 30000x3333", "11"},
      {"gif header only, frame 30000x30000 on a 1x1 screen", "00"},
      {"jpeg without scan, 10000x10000", "00"},
      {"jpeg dc steps, data cut, 10000x10000", "00"},
      {"jpeg dc steps, 10000x10000", "1000010000"},
      {"jpeg progressive dc steps, data cut, 30000x3333", "00"},
      {"jpeg progressive dc steps, colour 10000x10000", "00"},
      {"jpeg progressive dc steps, 10000x10000", "1000010000"},
      {"jpeg progressive cmyk, ac scans, 7000x7000", "70007000"},
      {"jpeg 100 refinement scans, 10000x10000", "00"},
      {"png 16-bit rgba of zeros, 30000x3333", "00"},
      {"bmp rle8 runs, 10000x10000", "1000010000"},
      {"bmp rle8 end only, 30000x3333", "300003333"},
      {"bmp rle8 runs, data cut, 10000x10000", "1000010000"},
  };
  const std::vector<test::NamedImage> images = test::HostileImages();
  ASSERT_EQ(images.size(), expected.size());
  for (const test::NamedImage& image : images) {
    const ImageMeasures m = MeasureImage(image.bytes);
    const Text key = m.Key();
    ASSERT_TRUE(expected.count(image.name)) << image.name;
    EXPECT_TRUE(WellFormed(key)) << image.name << ": " << key;
    EXPECT_EQ(key.substr(0, key.size() - 64), expected.at(image.name)) << image.name;
    if (!m.decoded) {
      EXPECT_EQ(m.fingerprint, kAllOnes) << image.name;
    }
  }
}

TEST(HostileImageTest, PngDataMustEndWhereTheHeaderSays) {
  // 1x1 grey: one filter byte and one pixel.
  EXPECT_EQ(ImageKey(test::PngInflatingTo(2)), "11" + kAllOnes);
  EXPECT_EQ(ImageKey(test::PngInflatingTo(3)), "00" + kAllOnes);
  EXPECT_EQ(ImageKey(test::PngInflatingTo(1 << 20)), "00" + kAllOnes);
}

// Several decodes that each hold hundreds of megabytes wait for one
// another, give the key they give alone, and give the memory back.
TEST(HostileImageTest, LargeDecodesShareOneMemoryBudget) {
  const Bytes cmyk = Hostile("jpeg progressive cmyk, ac scans, 7000x7000");
  const Bytes grey = Hostile("jpeg progressive dc steps, 10000x10000");
  const Text alone = ImageKey(grey);
  std::vector<Text> keys(4);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    threads.emplace_back([&, i] { keys[i] = ImageKey(i % 2 ? cmyk : grey); });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(keys[0], alone);
  EXPECT_EQ(keys[1], "70007000" + kAllOnes);
  EXPECT_EQ(keys[2], alone);
  EXPECT_EQ(keys[3], "70007000" + kAllOnes);
  EXPECT_EQ(DecoderMemoryInUse(), 0u);
}

// Pixels the data skips, by the end of a row, a move or the end of the
// picture, are never drawn: they stay black. The Windows build's library
// leaves them undefined.
TEST(BmpRunLengthTest, SkippedPixelsStayBlack) {
  const std::vector<test::Rgba> white = {test::kWhite};
  const struct {
    const char* name;
    Bytes data;
    Text fingerprint;
  } cases[] = {
      // The bottom four rows white, then the end: the top half is black.
      {"end of picture", Join({Rows({8, 0, 0, 0}, 4), {0, 1}}), EveryColumn("00001111")},
      // Each row's left half white, then the end of the row.
      {"end of row", Rows({4, 0, 0, 0}, 8), Text(32, '1') + Text(32, '0')},
      // Up four rows first, then the top four rows white.
      {"move", Join({{0, 2, 0, 4}, Rows({8, 0, 0, 0}, 4)}), EveryColumn("11110000")},
      // Runs past the end of a row are dropped, not carried to the next.
      {"run past the row", {12, 0, 0, 0, 0, 1}, EveryColumn("00000001")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImageKey(test::BmpRunLengthData(8, 8, 8, white, c.data)), "88" + c.fingerprint)
        << c.name;
  }
}

}  // namespace
}  // namespace qm
