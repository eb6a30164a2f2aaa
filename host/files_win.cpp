#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "host/encoding.h"
#include "host/file_system.h"
#include "host/files.h"
#include "host/win32/handle.h"
#include "host/win32/wide_text.h"

namespace qm {
namespace {

UniqueHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  return UniqueHandle(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

Bytes ReadFileBytes(const Text& path) {
  if (path.empty()) return {};
  UniqueHandle file = OpenFile(WideString(path), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (!file) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > MAXDWORD) {
    return {};
  }
  Bytes bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
    got = 0;
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
  return DeleteFileW(WideString(path).c_str()) != 0;
}

namespace host_detail {

FileWriter::FileWriter(const Text& path) {
  UniqueHandle file = OpenFile(WideString(path), GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (file) handle_ = reinterpret_cast<std::intptr_t>(file.release());
}

FileWriter::~FileWriter() {
  if (IsOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

// WriteFile takes at most 4 GiB at once; pieces that large never occur, but
// a wrong length must not be written silently.
bool FileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (!IsOpen()) return false;
  constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD want = static_cast<DWORD>(std::min(kMostAtOnce, bytes.size() - done));
    DWORD wrote = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data() + done, want, &wrote, nullptr) ||
        wrote != want) {
      return false;
    }
    done += wrote;
  }
  return true;
}

bool IsFolder(const Text& path) {
  DWORD attributes = GetFileAttributesW(WideString(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const Text& path) {
  return GetFileAttributesW(WideString(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateFolders(const Text& path) {
  std::wstring wide = WideString(path);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  if (wide.empty()) return false;
  // Each prefix that ends before a separator is a parent; creating one that
  // exists (or a drive root) fails harmlessly.
  for (std::size_t i = 1; i < wide.size(); ++i) {
    if (wide[i] != L'\\' && wide[i] != L'/') continue;
    if (wide[i - 1] == L':' || wide[i - 1] == L'\\' || wide[i - 1] == L'/') continue;
    CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
  }
  CreateDirectoryW(wide.c_str(), nullptr);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ResetFileAttributes(const Text& path) {
  SetFileAttributesW(WideString(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace host_detail
}  // namespace qm
