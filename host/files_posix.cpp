#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "host/encoding.h"
#include "host/file_system.h"
#include "host/files.h"

namespace qm {
namespace {

// GBK to UTF-8 first: a GBK trail byte may be 0x5C, which must not be taken
// for a separator. In UTF-8 a backslash is always one.
std::string NativePath(const Text& path) {
  std::string native = Utf8FromGbk(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

Bytes ReadFileBytes(const Text& path) {
  if (path.empty()) return {};
  Fd fd(open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return {};
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return {};
  Bytes bytes(static_cast<std::size_t>(info.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

bool WriteFileBytes(const Text& path, const std::vector<Bytes>& blocks) {
  if (path.empty()) return false;
  host_detail::FileWriter file(path);
  if (!file.IsOpen()) return false;
  for (const Bytes& block : blocks) {
    if (!file.Write(block)) return false;
  }
  return true;
}

bool RemoveFile(const Text& path) {
  if (path.empty()) return false;
  return unlink(NativePath(path).c_str()) == 0;
}

namespace host_detail {

FileWriter::FileWriter(const Text& path)
    : handle_(open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {}

FileWriter::~FileWriter() {
  if (IsOpen()) close(static_cast<int>(handle_));
}

bool FileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (!IsOpen()) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool IsFolder(const Text& path) {
  struct stat info {};
  return stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const Text& path) {
  struct stat info {};
  return lstat(NativePath(path).c_str(), &info) == 0;
}

bool CreateFolders(const Text& path) {
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  for (std::size_t i = 1; i < native.size(); ++i) {
    if (native[i] == '/' && native[i - 1] != '/') mkdir(native.substr(0, i).c_str(), 0777);
  }
  mkdir(native.c_str(), 0777);
  struct stat info {};
  return stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void ResetFileAttributes(const Text& path) {
  std::string native = NativePath(path);
  struct stat info {};
  if (lstat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    chmod(native.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR);
  }
}

}  // namespace host_detail
}  // namespace qm
