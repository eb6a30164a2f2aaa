// One run of the ZIP reader over untrusted bytes; shared by the fuzzer and
// the test that replays its corpus.
#pragma once

#include <cstdint>
#include <span>

#include "host/zip_reader.h"

namespace qm::fuzz {

inline void ExerciseZipReader(std::span<const std::uint8_t> archive) {
  auto entries = zip_detail::ReadZipDirectory(archive);
  if (!entries) return;
  for (const zip_detail::ZipEntry& entry : *entries) {
    zip_detail::IsFolderEntry(entry);
    zip_detail::SafeRelativePath(entry.name);
    zip_detail::ReadZipEntry(archive, entry);
  }
}

}  // namespace qm::fuzz
