#include "image/image_decoder.h"

#include "image/decoder_detail.h"
#include "image/image_header.h"

namespace qm {
namespace {

// Stands between a decoder and its consumer: a size beyond the limits is
// refused, and pixels a faulty decoder would place outside the image fail
// the decode instead of reaching the consumer.
class CheckedSink final : public PixelRowSink {
 public:
  explicit CheckedSink(PixelRowSink& sink) : sink_(sink) {}

  bool BeginImage(int width, int height, PixelLayout layout) override {
    if (begun_ || width <= 0 || height <= 0 || !IsAcceptableImageSize(width, height)) {
      return false;
    }
    begun_ = true;
    width_ = width;
    height_ = height;
    return sink_.BeginImage(width, height, layout);
  }
  void TakePixels(int y, int first, int step, int count, const std::uint8_t* pixels) override {
    if (count <= 0) return;
    const std::int64_t last = first + std::int64_t{step} * (count - 1);
    if (!Inside(y, first, count) || step < 1 || last >= width_) return Fault();
    sink_.TakePixels(y, first, step, count, pixels);
  }
  void TakeRun(int y, int first, int count, const std::uint8_t* pixel) override {
    if (count <= 0) return;
    if (!Inside(y, first, count) || first + std::int64_t{count} > width_) return Fault();
    sink_.TakeRun(y, first, count, pixel);
  }

  // Whether a successful decode delivered a picture by the rules.
  bool Delivered() const { return begun_ && !faulted_; }

 private:
  bool Inside(int y, int first, int count) const {
    return begun_ && y >= 0 && y < height_ && first >= 0 && count <= width_;
  }
  void Fault() { faulted_ = true; }

  PixelRowSink& sink_;
  bool begun_ = false;
  bool faulted_ = false;
  int width_ = 0;
  int height_ = 0;
};

// Collects the picture as RGBA rows.
class WholePicture final : public PixelRowSink {
 public:
  explicit WholePicture(DecodedImage& out) : out_(out) {}

  bool BeginImage(int width, int height, PixelLayout layout) override {
    layout_ = layout;
    out_.width = width;
    out_.height = height;
    out_.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
    return true;
  }
  void TakePixels(int y, int first, int step, int count, const std::uint8_t* pixels) override {
    const int bytes = BytesPerPixel(layout_);
    for (int k = 0; k < count; ++k, pixels += bytes) Put(y, first + k * step, pixels);
  }
  void TakeRun(int y, int first, int count, const std::uint8_t* pixel) override {
    for (int k = 0; k < count; ++k) Put(y, first + k, pixel);
  }

 private:
  void Put(int y, int x, const std::uint8_t* p) {
    std::uint8_t* q = &out_.rgba[(static_cast<std::size_t>(y) * out_.width + x) * 4];
    switch (layout_) {
      case PixelLayout::kGrey:
        q[0] = q[1] = q[2] = p[0];
        q[3] = 255;
        break;
      case PixelLayout::kRgb:
        q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = 255;
        break;
      case PixelLayout::kRgba:
        q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = p[3];
        break;
    }
  }

  DecodedImage& out_;
  PixelLayout layout_ = PixelLayout::kRgba;
};

}  // namespace

int DecodeImageRows(const Bytes& bytes, PixelRowSink& sink) {
  if (bytes.empty()) return kImageInvalidParameter;
  if (!DeclaredSizeAcceptable(bytes)) return kImageOutOfMemory;
  CheckedSink checked(sink);
  int status = image_detail::DecodeOnPlatform(bytes, checked);
  if (status == kImageOk && !checked.Delivered()) return kImageGenericError;
  return status;
}

int DecodeImage(const Bytes& bytes, DecodedImage& out) {
  DecodedImage image;
  WholePicture sink(image);
  int status = DecodeImageRows(bytes, sink);
  if (status == kImageOk) out = std::move(image);
  return status;
}

}  // namespace qm
