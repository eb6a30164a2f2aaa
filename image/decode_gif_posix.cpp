// GIF through the system's GIF library, record by record: the picture is
// the first frame alone, at its own size, read one line at a time. Where
// the frame stands on the logical screen, and the screen's size and
// background, do not count: so the Windows build's library shows a GIF,
// also one whose frame reaches past the screen.
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "image/format_decoders.h"
#include "image/image_decoder.h"

namespace qm::image_detail {
namespace {

using Rgba = std::array<std::uint8_t, 4>;
constexpr Rgba kClear{0, 0, 0, 0};

struct Input {
  const Bytes* bytes;
  std::size_t at = 0;
};

int ReadInput(GifFileType* gif, GifByteType* into, int wanted) {
  auto* input = static_cast<Input*>(gif->UserData);
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(wanted, 0)),
                                        input->bytes->size() - input->at);
  if (n > 0) std::memcpy(into, input->bytes->data() + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// Colours of the frame's table; an index beyond it, and the transparent
// one, draw nothing.
std::array<Rgba, 256> Palette(const ColorMapObject* map, int transparent) {
  std::array<Rgba, 256> palette;
  palette.fill(kClear);
  const int count = std::min(map->ColorCount, 256);
  for (int i = 0; i < count; ++i) {
    const GifColorType& c = map->Colors[i];
    palette[static_cast<std::size_t>(i)] = {c.Red, c.Green, c.Blue, 255};
  }
  if (transparent >= 0 && transparent < 256)
    palette[static_cast<std::size_t>(transparent)] = kClear;
  return palette;
}

// Reads one extension to its end; a graphic control block sets the
// transparent index (-1 for none).
bool ReadExtension(GifFileType* gif, int& transparent) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4) {
    transparent = (block[1] & 0x01) ? block[4] : -1;
  }
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Frame line k's row: interlaced frames store every 8th line from 0, every
// 8th from 4, every 4th from 2, then every 2nd from 1.
std::vector<int> LineOrder(int height, bool interlaced) {
  std::vector<int> order;
  order.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) order.push_back(y);
  }
  return order;
}

int DrawFrame(GifFileType* gif, int transparent, PixelRowSink& sink) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) return kImageUnknownFormat;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map) return kImageUnknownFormat;
  if (!sink.BeginImage(frame.Width, frame.Height, PixelLayout::kRgba)) return kImageOutOfMemory;

  const std::array<Rgba, 256> palette = Palette(map, transparent);
  thread_local std::vector<GifPixelType> indexes;
  thread_local std::vector<std::uint8_t> pixels;
  indexes.resize(static_cast<std::size_t>(frame.Width));
  pixels.resize(static_cast<std::size_t>(frame.Width) * 4);
  for (int line : LineOrder(frame.Height, frame.Interlace)) {
    if (DGifGetLine(gif, indexes.data(), frame.Width) == GIF_ERROR) return kImageUnknownFormat;
    for (std::size_t x = 0; x < indexes.size(); ++x) {
      std::memcpy(&pixels[x * 4], palette[indexes[x]].data(), 4);
    }
    sink.TakePixels(line, 0, 1, frame.Width, pixels.data());
  }
  return kImageOk;
}

}  // namespace

int DecodeGif(const Bytes& bytes, PixelRowSink& sink) {
  Input input{&bytes};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, ReadInput, &error));
  if (!gif) return kImageUnknownFormat;
  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return kImageUnknownFormat;
    switch (record) {
      case IMAGE_DESC_RECORD_TYPE:
        return DrawFrame(gif.get(), transparent, sink);
      case EXTENSION_RECORD_TYPE:
        if (!ReadExtension(gif.get(), transparent)) return kImageUnknownFormat;
        break;
      default:
        return kImageUnknownFormat;  // the end, or garbage, before any frame
    }
  }
}

}  // namespace qm::image_detail
