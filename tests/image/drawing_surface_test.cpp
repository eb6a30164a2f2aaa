#include "image/drawing_surface.h"

#include <gtest/gtest.h>

#include <random>

#include "image/area_average.h"
#include "support/test_images.h"

namespace qm {
namespace {

using test::MakePicture;
using test::Rgba;

ImageObject Loaded(const test::Picture& picture) {
  ImageObject image;
  EXPECT_TRUE(image.Load(test::Png(picture)));
  return image;
}

constexpr std::uint32_t Colour(int r, int g, int b) {
  return r | g << 8 | b << 16;
}

TEST(DrawingSurfaceTest, StartsBlackAndReportsInvalidColourOutside) {
  DrawingSurface surface;
  EXPECT_EQ(surface.Width(), 120);
  EXPECT_EQ(surface.Height(), 88);
  EXPECT_EQ(surface.Pixel(0, 0), 0u);
  EXPECT_EQ(surface.Pixel(119, 87), 0u);
  EXPECT_EQ(surface.Pixel(120, 0), kInvalidColour);
  EXPECT_EQ(surface.Pixel(0, -1), kInvalidColour);
  EXPECT_EQ(DrawingSurface(2, 3).Width(), 8);
}

TEST(DrawingSurfaceTest, DrawingTouchesOnlyTheRectangle) {
  DrawingSurface surface;
  ImageObject white = Loaded(MakePicture(5, 5, [](int, int) { return test::kWhite; }));
  ASSERT_TRUE(surface.DrawImageScaled(white, 0, 0, 8, 8));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(surface.Pixel(i, 7), Colour(255, 255, 255));
    EXPECT_EQ(surface.Pixel(7, i), Colour(255, 255, 255));
    EXPECT_EQ(surface.Pixel(8, i), 0u);
    EXPECT_EQ(surface.Pixel(i, 8), 0u);
  }
}

TEST(DrawingSurfaceTest, AreaAverageWeighsOverlapsExactly) {
  // Three source columns into eight: destination column 2 covers two
  // parts of source column 0 and one part of column 1 on the common scale.
  ImageObject image = Loaded(MakePicture(3, 1, [](int x, int) {
    return x == 1 ? Rgba{255, 30, 3, 255} : Rgba{0, 0, 0, 255};
  }));
  DrawingSurface surface;
  ASSERT_TRUE(surface.DrawImageScaled(image, 0, 0, 8, 8));
  EXPECT_EQ(surface.Pixel(0, 5), 0u);
  EXPECT_EQ(surface.Pixel(2, 5), Colour(85, 10, 1));
  EXPECT_EQ(surface.Pixel(3, 0), Colour(255, 30, 3));
  EXPECT_EQ(surface.Pixel(5, 0), Colour(85, 10, 1));

  // Twenty-four columns into eight: plain three-pixel means, rounded half up.
  ImageObject stripes = Loaded(MakePicture(24, 8, [](int x, int) {
    std::uint8_t v = x % 3 == 0 ? 100 : 0;
    return Rgba{v, static_cast<std::uint8_t>(x % 3 == 0 ? 1 : 0), 0, 255};
  }));
  ASSERT_TRUE(surface.DrawImageScaled(stripes, 0, 0, 8, 8));
  EXPECT_EQ(surface.Pixel(4, 4), Colour(33, 0, 0));  // 100/3 and 1/3, rounded
}

// Decoders deliver whole rows, single pixels (interlaced passes, frames
// inside a screen) and runs of one colour; the cells must not depend on how
// the pixels came.
TEST(DrawingSurfaceTest, CellsDoNotDependOnHowThePixelsArrive) {
  std::mt19937 random(5);
  struct Case {
    int width, height, columns, rows;
    CellWindow window;
    PixelLayout layout;
  } cases[] = {
      {750, 20, 8, 8, {0, 8, 0, 8}, PixelLayout::kRgb},
      {13, 7, 8, 8, {0, 8, 0, 8}, PixelLayout::kRgba},
      {3, 2, 8, 8, {0, 8, 0, 8}, PixelLayout::kGrey},
      {101, 9, 40, 40, {2, 9, 5, 40}, PixelLayout::kRgba},
  };
  for (const Case& c : cases) {
    const int bytes = BytesPerPixel(c.layout);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(c.width) * c.height * bytes);
    for (auto& p : pixels) p = static_cast<std::uint8_t>(random());
    AreaAverage whole(c.columns, c.rows, c.window), single(c.columns, c.rows, c.window),
        runs(c.columns, c.rows, c.window);
    for (AreaAverage* a : {&whole, &single, &runs}) {
      ASSERT_TRUE(a->BeginImage(c.width, c.height, c.layout));
    }
    for (int y = 0; y < c.height; ++y) {
      const std::uint8_t* row = &pixels[static_cast<std::size_t>(y) * c.width * bytes];
      whole.TakePixels(y, 0, 1, c.width, row);
      // Odd pixels first, then even ones, as interlaced passes would.
      for (int first : {1, 0}) {
        std::vector<std::uint8_t> every_other;
        for (int x = first; x < c.width; x += 2) {
          every_other.insert(every_other.end(), row + x * bytes, row + (x + 1) * bytes);
        }
        single.TakePixels(y, first, 2, (c.width - first + 1) / 2, every_other.data());
      }
      for (int x = 0; x < c.width; ++x) runs.TakeRun(y, x, 1, row + x * bytes);
    }
    for (int r = 0; r < c.window.last_row - c.window.first_row; ++r) {
      for (int col = 0; col < c.window.last_column - c.window.first_column; ++col) {
        EXPECT_EQ(single.Mean(col, r), whole.Mean(col, r)) << c.width << " " << col << "," << r;
        EXPECT_EQ(runs.Mean(col, r), whole.Mean(col, r)) << c.width << " " << col << "," << r;
      }
    }
  }
}

TEST(DrawingSurfaceTest, TransparencyIsCompositedOverBlack) {
  ImageObject image = Loaded(MakePicture(8, 8, [](int x, int) {
    return x < 4 ? Rgba{200, 100, 255, 128} : Rgba{255, 255, 255, 0};
  }));
  DrawingSurface surface;
  ASSERT_TRUE(surface.DrawImageScaled(image, 0, 0, 8, 8));
  EXPECT_EQ(surface.Pixel(0, 0), Colour(100, 50, 128));
  EXPECT_EQ(surface.Pixel(4, 0), 0u);
}

TEST(DrawingSurfaceTest, ClipsAtTheSurfaceEdgeAndRefusesNothingToDraw) {
  ImageObject image = Loaded(MakePicture(2, 2, [](int, int) { return test::kWhite; }));
  DrawingSurface surface(8, 8);
  EXPECT_TRUE(surface.DrawImageScaled(image, 6, -3, 40, 40));
  EXPECT_EQ(surface.Pixel(6, 0), Colour(255, 255, 255));
  EXPECT_EQ(surface.Pixel(5, 0), 0u);

  ImageObject empty;
  EXPECT_FALSE(surface.DrawImageScaled(empty, 0, 0, 8, 8));
  EXPECT_FALSE(surface.DrawImageScaled(image, 0, 0, 0, 8));
}

TEST(DrawingSurfaceTest, GreyIsTheTruncatedMeanOfTheChannels) {
  ImageObject image = Loaded(MakePicture(1, 1, [](int, int) { return Rgba{10, 20, 32, 255}; }));
  DrawingSurface surface;
  ASSERT_TRUE(surface.DrawImageScaled(image, 0, 0, 8, 8));
  surface.ToGrey();
  EXPECT_EQ(surface.Pixel(3, 3), Colour(20, 20, 20));
  EXPECT_EQ(surface.Pixel(50, 50), 0u);
}

}  // namespace
}  // namespace qm
