// Reading ZIP archives held in memory: the central directory, the entries'
// contents and a safe path for each entry. Portable and free of file access,
// so the fuzzer can drive it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/text.h"

namespace qm::zip_detail {

struct ZipEntry {
  Text name;  // GBK; names flagged as UTF-8 are converted
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t size = 0;
  std::uint32_t external_attributes = 0;
  std::uint64_t local_header = 0;  // position in the archive bytes
};

// The entries in central-directory order; nothing when the bytes are not a
// complete single-volume ZIP archive.
std::optional<std::vector<ZipEntry>> ReadZipDirectory(std::span<const std::uint8_t> archive);

// Takes the next piece of an entry's contents; false stops the reading.
using ZipChunkSink = std::function<bool(std::span<const std::uint8_t>)>;

// Hands the entry's contents to `sink` in pieces of at most 64 KiB, never
// holding more. False for encrypted entries, methods other than stored (0)
// and deflate (8), data outside the archive, a size other than the declared
// one, a CRC mismatch (known only after the last piece) or a refusing sink.
bool InflateZipEntry(std::span<const std::uint8_t> archive, const ZipEntry& entry,
                     const ZipChunkSink& sink);

// A folder entry's name ends in a separator.
bool IsFolderEntry(const ZipEntry& entry);

// The entry's path relative to the destination as its folder names and file
// name; nothing when the name could reach outside the destination (absolute,
// drive letter, "..") or is not a usable file name (a device such as "NUL"
// or "com1.txt", or a name ending in a dot or a space, which Windows would
// write under another name). No parts for a name that denotes the
// destination itself.
std::optional<std::vector<Text>> SafeRelativePath(const Text& name);

}  // namespace qm::zip_detail
