#include "updater/release_address.h"

#include <string_view>

#include "host/files.h"
#include "updater/hand_over.h"

namespace qm {
namespace {

constexpr std::string_view kHashMarker = "#sha256=";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<Sha256Digest> ParseDigest(std::string_view hex) {
  if (hex.size() != 64) return std::nullopt;
  Sha256Digest digest{};
  for (std::size_t i = 0; i < 32; ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

// Printable ASCII only: an address is never shown to anyone, and a space or
// line break inside one means the text is not an address.
bool IsPlainAddressText(std::string_view text) {
  for (unsigned char c : text) {
    if (c <= 0x20 || c >= 0x7f) return false;
  }
  return true;
}

}  // namespace

std::optional<ReleaseAddress> ParseReleaseAddress(const Text& address, SchemeRule rule) {
  std::string_view text = address;
  if (!IsPlainAddressText(text)) return std::nullopt;
  std::size_t scheme_length = 0;
  if (StartsWithNoCase(text, "https://")) {
    scheme_length = 8;
  } else if (rule == SchemeRule::kAlsoPlainHttpForTests && StartsWithNoCase(text, "http://")) {
    scheme_length = 7;
  } else {
    return std::nullopt;
  }
  const std::size_t fragment = text.find('#');
  if (fragment == std::string_view::npos) return std::nullopt;
  if (text.compare(fragment, kHashMarker.size(), kHashMarker) != 0) return std::nullopt;
  const std::optional<Sha256Digest> digest =
      ParseDigest(text.substr(fragment + kHashMarker.size()));
  if (!digest) return std::nullopt;
  const std::string_view url = text.substr(0, fragment);
  const std::size_t host_end = url.find_first_of("/?", scheme_length);
  if (url.substr(scheme_length, host_end - scheme_length).empty()) return std::nullopt;
  return ReleaseAddress{Text(url), *digest};
}

bool IsInstalled(const Text& program_folder, const ReleaseAddress& release) {
  const Bytes installed = ReadFileBytes(FileInFolder(program_folder, kProgramFile));
  return !installed.empty() && Sha256(installed) == release.sha256;
}

}  // namespace qm
