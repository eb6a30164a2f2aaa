#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "host/clipboard.h"
#include "host/encoding.h"

namespace qm {
namespace {

constexpr LCID kChineseSimplified = 0x0804;

// Global memory that the clipboard takes over only when SetClipboardData
// succeeds; until then it is ours to free.
struct GlobalFreer {
  void operator()(void* memory) const { GlobalFree(memory); }
};
using GlobalMemory = std::unique_ptr<void, GlobalFreer>;

GlobalMemory CopyToGlobal(const void* data, std::size_t size) {
  GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  if (!memory) return nullptr;
  void* target = GlobalLock(memory.get());
  if (!target) return nullptr;
  std::memcpy(target, data, size);
  GlobalUnlock(memory.get());
  return memory;
}

bool Place(UINT format, const void* data, std::size_t size) {
  GlobalMemory memory = CopyToGlobal(data, size);
  if (!memory || !SetClipboardData(format, memory.get())) return false;
  memory.release();
  return true;
}

class OpenedClipboard {
 public:
  OpenedClipboard() : open_(OpenClipboard(nullptr) != 0) {}
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  explicit operator bool() const { return open_; }

 private:
  bool open_;
};

}  // namespace

bool SetClipboardText(const Text& text) {
  std::string gbk(text.c_str());
  std::u16string wide = WideFromGbk(gbk);
  OpenedClipboard clipboard;
  if (!clipboard) return false;
  EmptyClipboard();
  // The Unicode form goes first so that the system derives any further text
  // formats from it rather than from the GBK bytes; the locale tells readers
  // of the plain form which code page it is in.
  bool placed = Place(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(char16_t)) &&
                Place(CF_TEXT, gbk.c_str(), gbk.size() + 1);
  if (!placed) {
    EmptyClipboard();
    return false;
  }
  Place(CF_LOCALE, &kChineseSimplified, sizeof kChineseSimplified);
  return true;
}

bool GetClipboardUnicodeText(std::u16string& text) {
  OpenedClipboard clipboard;
  if (!clipboard) return false;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return false;
  const auto* locked = static_cast<const char16_t*>(GlobalLock(data));
  if (!locked) return false;
  // The memory may be larger than the text; the text ends at its NUL.
  const std::size_t units = GlobalSize(data) / sizeof(char16_t);
  text.assign(locked, std::find(locked, locked + units, u'\0'));
  GlobalUnlock(data);
  return true;
}

}  // namespace qm
