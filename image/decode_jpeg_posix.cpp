// JPEG through the system's JPEG library with its default decoding
// settings, so the pixels are the ones the usual decoders produce. Every
// failure of the library lands, through longjmp, back in DecodeJpeg; the
// frames it jumps over hold nothing that needs destroying.
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>
// After <cstdio>: the library's header uses FILE without including it.
#include <jerror.h>
#include <jpeglib.h>

#include "image/decoder_memory.h"
#include "image/format_decoders.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm::image_detail {
namespace {

// The header check lets a file keep this much in coefficients; the rest
// is room for the rows.
constexpr long kMemoryLimit = kMaxJpegCoefficientBytes + (32L << 20);
// The library never hands out more rows at once than this.
constexpr int kMaxRowsAtOnce = 16;

struct Session {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  jpeg_source_mgr source{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump{};
  int scans_counted = 0;
  std::int64_t coefficient_visits = 0;
  // Given back after the library's allocations, which the destroy call frees.
  std::optional<DecoderMemory> memory;
};

[[noreturn]] void Fail(j_common_ptr info) {
  std::longjmp(static_cast<Session*>(info->client_data)->jump, 1);
}
void Quiet(j_common_ptr) {}
void Nothing(j_decompress_ptr) {}

// Data that ends early fails the decode rather than being padded out: a
// picture cut short is not the picture its size says.
boolean OutOfData(j_decompress_ptr info) {
  ERREXIT(info, JERR_INPUT_EOF);
  return FALSE;
}

void Skip(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = info->src;
  if (static_cast<unsigned long>(count) > source->bytes_in_buffer) ERREXIT(info, JERR_INPUT_EOF);
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

// The header check counted the scans' work before the library saw the
// file; this counts what the library itself reads, in case the two read a
// damaged file differently. Called before every step of the input, a scan
// is counted at the first call after its header, before any of its data.
void LimitScanWork(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* s = static_cast<Session*>(info->client_data);
  if (info->input_scan_number > kMaxJpegScans) ERREXIT(info, JERR_BAD_PROGRESSION);
  if (info->input_scan_number == s->scans_counted) return;
  s->scans_counted = info->input_scan_number;
  const std::int64_t blocks =
      std::int64_t{info->MCUs_per_row} * info->MCU_rows_in_scan * info->blocks_in_MCU;
  const std::int64_t coefficients = std::max(0, info->Se - info->Ss + 1);
  s->coefficient_visits += blocks * coefficients;
  if (s->coefficient_visits > kMaxJpegCoefficientVisits) ERREXIT(info, JERR_BAD_PROGRESSION);
}

// A file read scan by scan keeps every coefficient of the picture until the
// last scan is in: two bytes each, in whole blocks of the components'
// sampling units. A single interleaved scan needs only a row of blocks.
std::size_t CoefficientBytes(const jpeg_decompress_struct& info) {
  if (!info.progressive_mode && info.comps_in_scan == info.num_components) return 0;
  std::size_t bytes = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    auto round_up = [](JDIMENSION n, int unit) {
      return (static_cast<std::size_t>(n) + unit - 1) / unit * unit;
    };
    bytes += round_up(component.width_in_blocks, component.h_samp_factor) *
             round_up(component.height_in_blocks, component.v_samp_factor) * DCTSIZE2 *
             sizeof(JCOEF);
  }
  return bytes;
}

// The rest the library allocates scales with a row: sample rows of every
// component for the upsampling context, and the output rows.
std::size_t RowBytes(const jpeg_decompress_struct& info) {
  constexpr std::size_t kTables = std::size_t{1} << 20;
  const std::size_t samples =
      static_cast<std::size_t>(info.output_width) * static_cast<std::size_t>(info.num_components);
  return kTables + samples * static_cast<std::size_t>(info.max_v_samp_factor) * DCTSIZE * 4;
}

// Colour from ink, for files whose four channels the library hands out as
// CMYK. With an Adobe marker the ink is stored inverted (R = C * K / 255);
// without one it is stored as it is (R = (255 - C) * (255 - K) / 255).
void InkToRgb(std::uint8_t* row, JDIMENSION width, bool inverted) {
  auto scale = [](unsigned x, unsigned k) {
    unsigned t = x * k + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
  };
  const std::uint8_t flip = inverted ? 0 : 255;
  for (JDIMENSION i = 0; i < width; ++i) {
    const std::uint8_t* in = row + i * 4;
    const unsigned k = in[3] ^ flip;
    const std::uint8_t r = scale(in[0] ^ flip, k), g = scale(in[1] ^ flip, k),
                       b = scale(in[2] ^ flip, k);
    row[i * 3] = r;
    row[i * 3 + 1] = g;
    row[i * 3 + 2] = b;
  }
}

int ReadPicture(Session& s, const Bytes& bytes, PixelRowSink& sink,
                std::vector<std::uint8_t>& buffer) {
  j_decompress_ptr info = &s.info;
  info->mem->max_memory_to_use = kMemoryLimit;
  s.source.next_input_byte = bytes.data();
  s.source.bytes_in_buffer = bytes.size();
  s.source.init_source = Nothing;
  s.source.fill_input_buffer = OutOfData;
  s.source.skip_input_data = Skip;
  s.source.resync_to_restart = jpeg_resync_to_restart;
  s.source.term_source = Nothing;
  info->src = &s.source;
  s.progress.progress_monitor = LimitScanWork;
  info->progress = &s.progress;

  jpeg_read_header(info, TRUE);
  PixelLayout layout = PixelLayout::kRgb;
  const bool ink = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  if (info->num_components == 1) {
    info->out_color_space = JCS_GRAYSCALE;
    layout = PixelLayout::kGrey;
  } else {
    info->out_color_space = ink ? JCS_CMYK : JCS_RGB;
  }
  jpeg_calc_output_dimensions(info);
  if (!sink.BeginImage(static_cast<int>(info->output_width), static_cast<int>(info->output_height),
                       layout)) {
    return kImageOutOfMemory;
  }
  const std::size_t coefficients = CoefficientBytes(*info);
  if (coefficients > static_cast<std::size_t>(kMaxJpegCoefficientBytes)) return kImageOutOfMemory;
  s.memory.emplace(coefficients + RowBytes(*info));
  if (!s.memory->Held()) return kImageOutOfMemory;
  jpeg_start_decompress(info);

  const std::size_t row_bytes = static_cast<std::size_t>(info->output_width) *
                                static_cast<std::size_t>(info->output_components);
  const int at_once = info->rec_outbuf_height < kMaxRowsAtOnce ? info->rec_outbuf_height : 1;
  buffer.resize(row_bytes * static_cast<std::size_t>(at_once));
  JSAMPROW rows[kMaxRowsAtOnce];
  for (int i = 0; i < at_once; ++i)
    rows[i] = buffer.data() + row_bytes * static_cast<std::size_t>(i);

  const int width = static_cast<int>(info->output_width);
  while (info->output_scanline < info->output_height) {
    JDIMENSION first = info->output_scanline;
    JDIMENSION got = jpeg_read_scanlines(info, rows, static_cast<JDIMENSION>(at_once));
    if (got == 0) return kImageUnknownFormat;
    for (JDIMENSION i = 0; i < got; ++i) {
      if (ink) InkToRgb(rows[i], info->output_width, info->saw_Adobe_marker);
      sink.TakePixels(static_cast<int>(first + i), 0, 1, width, rows[i]);
    }
  }
  return kImageOk;
}

}  // namespace

int DecodeJpeg(const Bytes& bytes, PixelRowSink& sink) {
  // Reused for the next image this thread decodes.
  thread_local std::vector<std::uint8_t> buffer;
  auto session = std::make_unique<Session>();
  Session* s = session.get();
  s->info.err = jpeg_std_error(&s->errors);
  s->errors.error_exit = Fail;
  s->errors.output_message = Quiet;
  s->info.client_data = s;
  if (setjmp(s->jump)) {
    jpeg_destroy_decompress(&s->info);
    return kImageUnknownFormat;
  }
  jpeg_create_decompress(&s->info);
  const int status = ReadPicture(*s, bytes, sink, buffer);
  jpeg_destroy_decompress(&s->info);
  return status;
}

}  // namespace qm::image_detail
