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
    // The contents pass through in pieces and are dropped, as extraction
    // writes them: an entry may declare up to 4 GiB.
    zip_detail::InflateZipEntry(archive, entry, [](std::span<const std::uint8_t>) { return true; });
  }
}

}  // namespace qm::fuzz
