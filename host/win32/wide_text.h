// Windows' wide strings (UTF-16 in wchar_t) and the program's GBK texts.
// For the Win32 files only: wchar_t is 16 bits there.
#pragma once

#include <string>
#include <string_view>

#include "host/encoding.h"

namespace qm {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "for Windows builds only");

inline std::wstring WideString(std::string_view gbk) {
  std::u16string wide = WideFromGbk(gbk);
  return std::wstring(wide.begin(), wide.end());
}

inline Text GbkString(std::wstring_view wide) {
  return GbkFromWide(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace qm
