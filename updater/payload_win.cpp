#include <windows.h>

#include "updater/payload.h"
#include "updater/payload_id.h"

namespace qm {

Bytes EmbeddedUpdaterArchive() {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(kUpdaterArchiveResource), RT_RCDATA);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(self, found);
  const DWORD size = SizeofResource(self, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return Bytes(bytes, bytes + size);
}

}  // namespace qm
