// Path helpers the host services share; not part of their public face.
#pragma once

#include <cstdint>
#include <span>

#include "base/text.h"

namespace qm::host_detail {

bool IsFolder(const Text& path);
bool PathExists(const Text& path);
// Creates the folder and every missing parent; true when it exists afterwards.
bool CreateFolders(const Text& path);
// Makes an existing file plainly writable again (clears read-only, hidden and
// similar marks) so that it can be replaced.
void ResetFileAttributes(const Text& path);

// A file written piece by piece: created, or truncated when it exists, on
// construction; closed by the destructor.
class FileWriter {
 public:
  explicit FileWriter(const Text& path);
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  bool IsOpen() const { return handle_ != kClosed; }
  // False when the file is not open or not every byte could be written.
  bool Write(std::span<const std::uint8_t> bytes);

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // the platform's file handle
};

}  // namespace qm::host_detail
