// Writes ZIP archives for the tests, including broken ones: any name, method,
// CRC or size can be forced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

struct ZipItem {
  std::string name;
  std::string data;
  std::uint16_t method = 8;  // 0 stored, 8 deflate; others are written stored
  std::uint16_t flags = 0;
  std::optional<std::uint32_t> crc = std::nullopt;   // forced CRC-32
  std::optional<std::uint32_t> size = std::nullopt;  // forced uncompressed size
  std::optional<std::string> packed = std::nullopt;  // forced compressed bytes
};

std::string BuildZip(const std::vector<ZipItem>& items);

}  // namespace qm::test
