#include "support/test_files.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "host/encoding.h"

namespace qm::test {

Text GbkPath(const fs::path& path) {
#ifdef _WIN32
  std::wstring wide = path.wstring();
  return GbkFromWide(std::u16string(wide.begin(), wide.end()));
#else
  return GbkFromUtf8(path.string());
#endif
}

fs::path SourcePath(const std::string& relative) {
  const char* root = std::getenv("QM_SOURCE_DIR");
  std::string base = root ? root : ".";
#ifdef _WIN32
  // Wine passes the Unix path through; its Z: drive is the Unix root.
  if (!base.empty() && base[0] == '/') base = "Z:" + base;
#endif
  return fs::path(base) / fs::path(relative);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  std::random_device random;
  const std::string unique = std::to_string(random()) + "-" + std::to_string(counter++);
  path_ = fs::temp_directory_path() /
          fs::path(u8"Quillmar 测试 " + std::u8string(unique.begin(), unique.end()));
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  // Read-only files would stop the removal on Windows.
  for (auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

}  // namespace qm::test
