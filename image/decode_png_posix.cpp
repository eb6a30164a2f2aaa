// PNG through the system's PNG library, read as a stream: each row, and
// each pass of an interlaced file, goes to the sink as it is inflated, so
// no full-size buffer is needed. The library's failures land, through
// longjmp, back in DecodePng; the frames in between hold nothing that needs
// destroying.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>

#include "image/format_decoders.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm::image_detail {
namespace {

// The library's words for image data that goes on inflating after the last
// row a header declares. Such a file is refused: its pixels are not what its
// header says, and reading on could inflate without end.
constexpr char kInflatesBeyondHeader[] = "Extra compressed data in IDAT";

struct Reader {
  PixelRowSink* sink = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  int width = 0;
  bool interlaced = false;
  long rows_expected = 0;  // over all passes
  long rows_seen = 0;
  bool ended = false;
  bool beyond_header = false;

  ~Reader() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

Reader& ReaderOf(png_structp png) {
  return *static_cast<Reader*>(png_get_progressive_ptr(png));
}

[[noreturn]] void Fail(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void Warn(png_structp png, png_const_charp message) {
  if (std::strcmp(message, kInflatesBeyondHeader) == 0) {
    static_cast<Reader*>(png_get_error_ptr(png))->beyond_header = true;
  }
}

long RowsOverPasses(png_uint_32 width, png_uint_32 height, bool interlaced) {
  if (!interlaced) return static_cast<long>(height);
  long rows = 0;
  for (int pass = 0; pass < 7; ++pass) {
    if (PNG_PASS_COLS(width, pass) > 0) rows += static_cast<long>(PNG_PASS_ROWS(height, pass));
  }
  return rows;
}

// Every kind of PNG becomes 8-bit grey, RGB or RGBA; transparency from a
// tRNS chunk becomes alpha. Gamma and colour profiles are not applied.
void OnInfo(png_structp png, png_infop info) {
  Reader& r = ReaderOf(png);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colour = png_get_color_type(png, info);
  if (!IsAcceptableImageSize(width, height)) png_error(png, "too large");
  png_set_strip_16(png);
  png_set_expand(png);
  const bool transparent =
      (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if ((colour & PNG_COLOR_MASK_COLOR) == 0 && transparent) png_set_gray_to_rgb(png);
  png_read_update_info(png, info);

  PixelLayout layout = PixelLayout::kRgba;
  switch (png_get_channels(png, info)) {
    case 1:
      layout = PixelLayout::kGrey;
      break;
    case 3:
      layout = PixelLayout::kRgb;
      break;
    case 4:
      break;
    default:
      png_error(png, "unexpected channels");
  }
  r.width = static_cast<int>(width);
  r.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  r.rows_expected = RowsOverPasses(width, height, r.interlaced);
  if (!r.sink->BeginImage(r.width, static_cast<int>(height), layout)) png_error(png, "refused");
}

// Without the library's interlace handling a pass arrives as its own
// pixels only, which land where the pass puts them.
void OnRow(png_structp png, png_bytep row, png_uint_32 row_number, int pass) {
  Reader& r = ReaderOf(png);
  if (!row) return;
  ++r.rows_seen;
  if (!r.interlaced) {
    r.sink->TakePixels(static_cast<int>(row_number), 0, 1, r.width, row);
    return;
  }
  const auto width = static_cast<png_uint_32>(r.width);
  r.sink->TakePixels(static_cast<int>(PNG_ROW_FROM_PASS_ROW(row_number, pass)),
                     static_cast<int>(PNG_PASS_START_COL(pass)), 1 << PNG_PASS_COL_SHIFT(pass),
                     static_cast<int>(PNG_PASS_COLS(width, pass)), row);
}

void OnEnd(png_structp png, png_infop) {
  ReaderOf(png).ended = true;
}

}  // namespace

int DecodePng(const Bytes& bytes, PixelRowSink& sink) {
  auto reader = std::make_unique<Reader>();
  Reader* r = reader.get();
  r->sink = &sink;
  r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r, Fail, Warn);
  if (!r->png) return kImageOutOfMemory;
  r->info = png_create_info_struct(r->png);
  if (!r->info) return kImageOutOfMemory;
  if (setjmp(png_jmpbuf(r->png))) return kImageUnknownFormat;

  png_set_user_limits(r->png, kMaxImageSide, kMaxImageSide);
  // Only the chunks that shape the pixels are read; text, profiles and the
  // rest are skipped unread, compressed ones included.
  png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  static const png_byte kTransparency[] = "tRNS";
  png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_AS_DEFAULT, kTransparency, 1);
  png_set_progressive_read_fn(r->png, r, OnInfo, OnRow, OnEnd);
  // The library only reads from the buffer it is given.
  png_process_data(r->png, r->info, const_cast<png_bytep>(bytes.data()), bytes.size());

  if (r->beyond_header || !r->ended || r->rows_seen != r->rows_expected) {
    return kImageUnknownFormat;
  }
  return kImageOk;
}

}  // namespace qm::image_detail
