#include "host/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <iterator>

#include "host/encoding.h"

namespace qm::zip_detail {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;

using ByteSpan = std::span<const std::uint8_t>;

std::uint16_t Read16(ByteSpan bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t Read32(ByteSpan bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// The last end-of-directory record, searched backwards over the largest
// comment the format allows.
std::optional<std::size_t> FindEndRecord(ByteSpan archive) {
  if (archive.size() < kEndSize) return std::nullopt;
  std::size_t lowest =
      archive.size() - kEndSize > kMaxComment ? archive.size() - kEndSize - kMaxComment : 0;
  for (std::size_t at = archive.size() - kEndSize + 1; at-- > lowest;) {
    if (Read32(archive, at) == kEndSignature) return at;
  }
  return std::nullopt;
}

// The running CRC-32 of the bytes seen so far.
class Crc32 {
 public:
  void Add(ByteSpan bytes) {
    value_ = crc32(value_, bytes.data(), static_cast<uInt>(bytes.size()));
  }
  std::uint32_t Value() const { return static_cast<std::uint32_t>(value_); }

 private:
  uLong value_ = crc32(0L, Z_NULL, 0);
};

constexpr std::size_t kChunk = 64 * 1024;

class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Raw deflate data to exactly `size` bytes, handed on a chunk at a time:
  // more output than that, or a stream that ends early or is damaged, fails.
  // Only one chunk is ever held, so a lying size cannot make it allocate.
  bool Run(ByteSpan input, std::uint32_t size, const ZipChunkSink& sink) {
    if (!ok_) return false;
    // An empty file may be stored as no deflate data at all.
    if (input.empty()) return size == 0;
    stream_.next_in = const_cast<Bytef*>(input.data());
    stream_.avail_in = static_cast<uInt>(input.size());
    std::vector<std::uint8_t> chunk(kChunk);
    std::uint64_t produced = 0;
    for (;;) {
      stream_.next_out = chunk.data();
      stream_.avail_out = static_cast<uInt>(chunk.size());
      const int status = inflate(&stream_, Z_NO_FLUSH);
      const std::size_t got = chunk.size() - stream_.avail_out;
      produced += got;
      if (produced > size) return false;
      if (got > 0 && !sink(ByteSpan(chunk.data(), got))) return false;
      if (status == Z_STREAM_END) break;
      if (status != Z_OK) return false;  // damaged, or input ran out
    }
    return produced == size;
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

bool Stored(ByteSpan input, std::uint32_t size, const ZipChunkSink& sink) {
  if (input.size() != size) return false;
  for (std::size_t at = 0; at < input.size(); at += kChunk) {
    if (!sink(input.subspan(at, std::min(kChunk, input.size() - at)))) return false;
  }
  return true;
}

bool IsForbiddenChar(char16_t c) {
  return c < 0x20 || c == u':' || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' ||
         c == u'*';
}

// Names Windows takes for devices, whatever follows a dot ("nul.txt" is
// the device too), in any case, with trailing spaces or dots ignored.
bool IsDeviceName(std::u16string_view part) {
  std::u16string_view base = part.substr(0, part.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  std::u16string upper(base);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  static constexpr std::u16string_view kFixed[] = {u"CON", u"PRN",    u"AUX",
                                                   u"NUL", u"CONIN$", u"CONOUT$"};
  if (std::find(std::begin(kFixed), std::end(kFixed), upper) != std::end(kFixed)) return true;
  if (upper.size() != 4) return false;
  const std::u16string_view stem = std::u16string_view(upper).substr(0, 3);
  const char16_t digit = upper[3];
  // Superscript one to three count as digits here as well.
  const bool is_digit = (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' ||
                        digit == u'\u00B2' || digit == u'\u00B3';
  return (stem == u"COM" || stem == u"LPT") && is_digit;
}

// Windows strips dots and spaces from the end of a name, so "Quillmar.exe."
// would write Quillmar.exe, another file than the one checked; names that
// are nothing else ("..", ". ") would reach outside.
bool EndsInDotOrSpace(std::u16string_view part) {
  return !part.empty() && (part.back() == u'.' || part.back() == u' ');
}

}  // namespace

std::optional<std::vector<ZipEntry>> ReadZipDirectory(ByteSpan archive) {
  std::optional<std::size_t> end = FindEndRecord(archive);
  if (!end) return std::nullopt;
  std::uint16_t disk = Read16(archive, *end + 4);
  std::uint16_t directory_disk = Read16(archive, *end + 6);
  std::uint16_t count_here = Read16(archive, *end + 8);
  std::uint16_t count = Read16(archive, *end + 10);
  std::uint64_t directory_size = Read32(archive, *end + 12);
  std::uint64_t directory_offset = Read32(archive, *end + 16);
  if (disk != 0 || directory_disk != 0 || count_here != count) return std::nullopt;
  // Bytes in front of the archive (a program it is appended to) shift every
  // offset by the same amount.
  if (directory_size + directory_offset > *end) return std::nullopt;
  std::uint64_t shift = *end - directory_size - directory_offset;
  std::uint64_t at = shift + directory_offset;

  std::vector<ZipEntry> entries;
  entries.reserve(count);
  for (std::uint16_t i = 0; i < count; ++i) {
    if (at + kCentralSize > *end || Read32(archive, at) != kCentralSignature) return std::nullopt;
    ZipEntry entry;
    entry.flags = Read16(archive, at + 8);
    entry.method = Read16(archive, at + 10);
    entry.crc = Read32(archive, at + 16);
    entry.compressed_size = Read32(archive, at + 20);
    entry.size = Read32(archive, at + 24);
    std::size_t name_length = Read16(archive, at + 28);
    std::size_t extra_length = Read16(archive, at + 30);
    std::size_t comment_length = Read16(archive, at + 32);
    entry.external_attributes = Read32(archive, at + 38);
    entry.local_header = shift + Read32(archive, at + 42);
    std::uint64_t next = at + kCentralSize + name_length + extra_length + comment_length;
    if (next > *end) return std::nullopt;
    auto name = archive.subspan(at + kCentralSize, name_length);
    entry.name.assign(name.begin(), name.end());
    if (entry.flags & kFlagUtf8) entry.name = GbkFromUtf8(entry.name);
    entries.push_back(std::move(entry));
    at = next;
  }
  return entries;
}

bool InflateZipEntry(ByteSpan archive, const ZipEntry& entry, const ZipChunkSink& sink) {
  if (entry.flags & kFlagEncrypted) return false;
  if (entry.method != kMethodStored && entry.method != kMethodDeflate) return false;
  std::uint64_t at = entry.local_header;
  if (at + kLocalSize > archive.size() || Read32(archive, at) != kLocalSignature) return false;
  std::uint64_t data = at + kLocalSize + Read16(archive, at + 26) + Read16(archive, at + 28);
  if (data + entry.compressed_size > archive.size()) return false;
  ByteSpan input = archive.subspan(data, entry.compressed_size);

  Crc32 crc;
  const ZipChunkSink checked = [&](ByteSpan chunk) {
    crc.Add(chunk);
    return sink(chunk);
  };
  const bool whole = entry.method == kMethodStored ? Stored(input, entry.size, checked)
                                                   : Inflater().Run(input, entry.size, checked);
  return whole && crc.Value() == entry.crc;
}

bool IsFolderEntry(const ZipEntry& entry) {
  std::u16string wide = WideFromGbk(entry.name);
  return !wide.empty() && (wide.back() == u'/' || wide.back() == u'\\');
}

std::optional<std::vector<Text>> SafeRelativePath(const Text& name) {
  // Checked in UTF-16, where a separator is always a separator (in GBK a
  // trail byte may equal "\"); the name must survive the round trip, so the
  // path the file system sees is the path checked here.
  std::u16string wide = WideFromGbk(name);
  if (wide.empty() || GbkFromWide(wide) != name) return std::nullopt;
  if (wide.front() == u'/' || wide.front() == u'\\') return std::nullopt;
  std::vector<Text> parts;
  std::size_t start = 0;
  while (start <= wide.size()) {
    std::size_t stop = wide.find_first_of(u"/\\", start);
    if (stop == std::u16string::npos) stop = wide.size();
    std::u16string_view part(wide.data() + start, stop - start);
    start = stop + 1;
    if (part.empty() || part == u".") continue;
    if (EndsInDotOrSpace(part)) return std::nullopt;
    if (std::any_of(part.begin(), part.end(), IsForbiddenChar)) return std::nullopt;
    if (IsDeviceName(part)) return std::nullopt;
    parts.push_back(GbkFromWide(part));
  }
  return parts;
}

}  // namespace qm::zip_detail
