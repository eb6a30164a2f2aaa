#include "zip_builder.h"

#include <zlib.h>

namespace qm::test {
namespace {

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::string RawDeflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::string BuildZip(const std::vector<ZipItem>& items) {
  std::string body;
  std::string directory;
  for (const ZipItem& item : items) {
    std::string packed = item.packed.value_or(item.method == 8 ? RawDeflate(item.data) : item.data);
    std::uint32_t crc = item.crc.value_or(static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(item.data.data()), static_cast<uInt>(item.data.size()))));
    std::uint32_t size = item.size.value_or(static_cast<std::uint32_t>(item.data.size()));
    auto header = [&](std::string& out, bool central, std::uint32_t offset) {
      Put32(out, central ? 0x02014b50 : 0x04034b50);
      if (central) Put16(out, 20);  // made by
      Put16(out, 20);               // needed
      Put16(out, item.flags);
      Put16(out, item.method);
      Put32(out, 0);  // time and date
      Put32(out, crc);
      Put32(out, static_cast<std::uint32_t>(packed.size()));
      Put32(out, size);
      Put16(out, static_cast<std::uint32_t>(item.name.size()));
      Put16(out, 0);  // extra
      if (central) {
        Put16(out, 0);  // comment
        Put16(out, 0);  // disk
        Put16(out, 0);  // internal attributes
        Put32(out, 0);  // external attributes
        Put32(out, offset);
      }
      out += item.name;
    };
    std::uint32_t offset = static_cast<std::uint32_t>(body.size());
    header(body, false, 0);
    body += packed;
    header(directory, true, offset);
  }
  std::string out = body + directory;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(items.size()));
  Put16(out, static_cast<std::uint32_t>(items.size()));
  Put32(out, static_cast<std::uint32_t>(directory.size()));
  Put32(out, static_cast<std::uint32_t>(body.size()));
  Put16(out, 0);
  return out;
}

}  // namespace qm::test
