// SHA-256 of a byte block, for checking a downloaded release against the
// hash its address carries.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/text.h"

namespace qm {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(const Bytes& data);

// 64 lower-case hexadecimal digits.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace qm
