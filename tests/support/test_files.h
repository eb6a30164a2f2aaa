// Scratch folders and path conversions for the tests.
#pragma once

#include <filesystem>
#include <string>

#include "base/text.h"

namespace qm::test {

namespace fs = std::filesystem;

// The program's GBK form of a file-system path.
Text GbkPath(const fs::path& path);

// A file below the source tree (QM_SOURCE_DIR), also under Wine.
fs::path SourcePath(const std::string& relative);

std::string ReadAll(const fs::path& path);
void WriteAll(const fs::path& path, const std::string& bytes);

// A fresh folder below the system's temporary folder, removed at the end.
// Its name has a space and Chinese characters: every path the program
// builds must survive them.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& relative) const { return path_ / relative; }
  Text Gbk(const fs::path& relative) const { return GbkPath(path_ / relative); }
  // The GBK forms the program itself uses: the folder, and a file in it.
  Text Path() const { return GbkPath(path_); }
  Text File(const char* name) const { return Path() + "\\" + name; }

 private:
  fs::path path_;
};

}  // namespace qm::test
