#include <windows.h>

#include "host/encoding.h"

namespace qm {
namespace {
constexpr UINT kGbkCodePage = 936;
}

std::u16string WideFromGbk(std::string_view gbk) {
  if (gbk.empty()) return {};
  int n =
      MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()),
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

Text GbkFromWide(std::u16string_view wide) {
  std::size_t end = wide.find(u'\0');
  if (end != std::u16string_view::npos) wide = wide.substr(0, end);
  if (wide.empty()) return {};
  auto src = reinterpret_cast<const wchar_t*>(wide.data());
  int n = WideCharToMultiByte(kGbkCodePage, 0, src, static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return {};
  Text out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kGbkCodePage, 0, src, static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

}  // namespace qm
