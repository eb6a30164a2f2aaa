#include <cstddef>
#include <cstdint>

#include "fuzz/text/exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::fuzz::ExerciseTextHandling(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
