// What this platform's own decoders promise beyond what both platforms
// share: bounded cost on hostile files, and PNG data that must end where
// its header says.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "image/image_key.h"
#include "support/test_images.h"

namespace qm {
namespace {

const Text kAllOnes(64, '1');

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
      {"gif 1x1 frame, screen 30000x3333", "300003333"},
      {"jpeg without scan, 10000x10000", "00"},
      {"jpeg dc steps, data cut, 10000x10000", "00"},
      {"jpeg dc steps, 10000x10000", "1000010000"},
      {"jpeg progressive dc steps, data cut, 30000x3333", "00"},
      {"jpeg progressive dc steps, colour 10000x10000", "00"},
      {"jpeg progressive dc steps, 10000x10000", "1000010000"},
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

// The picture is the logical screen: what the first frame leaves uncovered
// takes the background colour, or stays transparent (black) when the
// background index is 0.
TEST(GifScreenTest, UncoveredScreenTakesTheBackground) {
  const test::Picture dark = test::MakePicture(8, 16, [](int, int) { return test::kBlack; });
  const test::Picture light = test::MakePicture(8, 16, [](int, int) { return test::kWhite; });
  const Text left_bright = Text(32, '1') + Text(32, '0');
  EXPECT_EQ(ImageKey(test::GifOnScreen(dark, 16, 16, 0, 0, test::kWhite)),
            "1616" + Text(32, '0') + Text(32, '1'));
  EXPECT_EQ(ImageKey(test::GifOnScreen(light, 16, 16, 0, 0, std::nullopt)), "1616" + left_bright);
  EXPECT_EQ(ImageKey(test::GifOnScreen(dark, 16, 16, 8, 0, test::kWhite)), "1616" + left_bright);
  // A frame reaching past the screen is not drawn.
  EXPECT_EQ(ImageKey(test::GifOnScreen(dark, 16, 16, 9, 0, test::kWhite)), "00" + kAllOnes);
}

}  // namespace
}  // namespace qm
