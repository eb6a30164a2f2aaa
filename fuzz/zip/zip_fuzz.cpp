#include <cstddef>
#include <cstdint>

#include "fuzz/zip/exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::fuzz::ExerciseZipReader(std::span<const std::uint8_t>(data, size));
  return 0;
}
