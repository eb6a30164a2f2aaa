#include "host/zip.h"

#include "host/file_system.h"
#include "host/files.h"
#include "host/zip_reader.h"

namespace qm {
namespace {

using zip_detail::ZipEntry;

Text JoinPath(Text folder, const std::vector<Text>& parts, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) folder += "\\" + parts[i];
  return folder;
}

// Extraction stops at the first entry that cannot be written faithfully.
bool ExtractEntry(std::span<const std::uint8_t> archive, const ZipEntry& entry,
                  const Text& dest_folder) {
  std::optional<std::vector<Text>> parts = zip_detail::SafeRelativePath(entry.name);
  if (!parts) return false;
  if (zip_detail::IsFolderEntry(entry)) {
    return host_detail::CreateFolders(JoinPath(dest_folder, *parts, parts->size()));
  }
  if (parts->empty()) return false;
  // Checked whole before anything is written, so a damaged entry never
  // replaces a good file; then inflated again straight into the file.
  if (!zip_detail::InflateZipEntry(archive, entry, [](auto) { return true; })) return false;

  // Archives need not list a file's folders before the file.
  if (parts->size() > 1 &&
      !host_detail::CreateFolders(JoinPath(dest_folder, *parts, parts->size() - 1))) {
    return false;
  }
  Text target = JoinPath(dest_folder, *parts, parts->size());
  host_detail::ResetFileAttributes(target);
  {
    host_detail::FileWriter file(target);
    if (!file.IsOpen()) return false;
    if (!zip_detail::InflateZipEntry(archive, entry, [&](std::span<const std::uint8_t> chunk) {
          return file.Write(chunk);
        })) {
      return false;
    }
  }
  host_detail::ResetFileAttributes(target);
  return true;
}

}  // namespace

int ExtractZip(const Text& archive_path, const Text& dest_folder) {
  if (archive_path.empty() || dest_folder.empty()) return -1;
  if (!host_detail::PathExists(archive_path)) return -1;
  if (!host_detail::CreateFolders(dest_folder)) return 0;
  Bytes archive = ReadFileBytes(archive_path);
  std::optional<std::vector<ZipEntry>> entries = zip_detail::ReadZipDirectory(archive);
  if (!entries) return 0;
  for (const ZipEntry& entry : *entries) {
    if (!ExtractEntry(archive, entry, dest_folder)) return 0;
  }
  return 1;
}

}  // namespace qm
