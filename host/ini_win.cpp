#include <windows.h>

#include <string>

#include "host/encoding.h"
#include "host/ini.h"
#include "host/win32/handle.h"
#include "host/win32/wide_text.h"

namespace qm {
namespace {

// The profile functions keep the form a file already has; a new file would
// otherwise be written in the system's ANSI code page, losing every
// character outside it. A byte-order mark makes it a Unicode file.
void CreateUnicodeFileIfMissing(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  static constexpr unsigned char kBom[] = {0xFF, 0xFE};
  DWORD wrote = 0;
  WriteFile(file.get(), kBom, sizeof kBom, &wrote, nullptr);
}

}  // namespace

bool WriteIniText(const Text& file, const Text& section, const std::optional<Text>& key,
                  const std::optional<Text>& value) {
  if (file.empty() || section.empty()) return false;
  std::wstring path = WideString(file);
  std::wstring wide_section = WideString(section);
  std::wstring wide_key = key ? WideString(*key) : std::wstring();
  std::wstring wide_value = value ? WideString(*value) : std::wstring();
  if (key && value) CreateUnicodeFileIfMissing(path);
  return WritePrivateProfileStringW(wide_section.c_str(), key ? wide_key.c_str() : nullptr,
                                    key && value ? wide_value.c_str() : nullptr, path.c_str()) != 0;
}

Text ReadIniText(const Text& file, const Text& section, const Text& key) {
  if (file.empty() || section.empty() || key.empty()) return {};
  std::wstring path = WideString(file);
  std::wstring wide_section = WideString(section);
  std::wstring wide_key = WideString(key);
  std::wstring value(4096, L'\0');
  DWORD length = GetPrivateProfileStringW(wide_section.c_str(), wide_key.c_str(), L"", value.data(),
                                          static_cast<DWORD>(value.size()), path.c_str());
  value.resize(length);
  return GbkFromWide(std::u16string(value.begin(), value.end()));
}

}  // namespace qm
