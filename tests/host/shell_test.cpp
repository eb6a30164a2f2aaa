#include "host/shell.h"

#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <chrono>
#include <thread>

#include "host/win32/com.h"
#include "support/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::GbkPath;
using test::ScratchFolder;

fs::path HelperPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / "host_test_helper.exe";
}

Text Quoted(const fs::path& path) {
  Text quoted(1, '"');
  quoted += GbkPath(path);
  quoted += '"';
  return quoted;
}

// Polls: a program started without waiting finishes in its own time.
bool AppearsWithin(const fs::path& path, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

std::wstring ShortcutTarget(const fs::path& link_path) {
  ComInit com;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.PutVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid())) ||
      FAILED(file->Load(link_path.wstring().c_str(), STGM_READ))) {
    return L"<unreadable>";
  }
  // The item list is the link's Unicode record of the target; the plain path
  // field may be kept in the system code page only.
  PIDLIST_ABSOLUTE item = nullptr;
  wchar_t target[MAX_PATH] = {};
  if (FAILED(link->GetIDList(&item)) || !item || !SHGetPathFromIDListW(item, target)) {
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  }
  CoTaskMemFree(item);
  return target;
}

int CountFiles(const fs::path& folder) {
  int count = 0;
  for ([[maybe_unused]] auto& entry : fs::directory_iterator(folder)) ++count;
  return count;
}

TEST(SpecialFolderPath, KnownFoldersEndInABackslash) {
  for (int kind : {kFolderDesktop, kFolderWindows, kFolderSystem, kFolderTemp}) {
    Text path = SpecialFolderPath(kind);
    ASSERT_FALSE(path.empty()) << kind;
    EXPECT_EQ(path.back(), '\\') << kind;
    EXPECT_NE(path.substr(path.size() - 2), "\\\\") << kind;
  }
  for (int kind = kFolderDocuments; kind <= kFolderTemp; ++kind) {
    Text path = SpecialFolderPath(kind);
    if (!path.empty()) {
      EXPECT_EQ(path.back(), '\\') << kind;
    }
  }
  EXPECT_EQ(SpecialFolderPath(0), "");
  EXPECT_EQ(SpecialFolderPath(12), "");
  EXPECT_EQ(SpecialFolderPath(-3), "");
}

TEST(CreateShortcut, WritesAReadableShortcutAndAppendsLnk) {
  ScratchFolder folder;
  fs::path target = folder / "target.exe";
  test::WriteAll(target, "MZ");
  EXPECT_TRUE(CreateShortcut(folder.Gbk("Quillmar"), GbkPath(target), "Quillmar"));
  EXPECT_TRUE(fs::exists(folder / "Quillmar.lnk"));
  EXPECT_EQ(fs::path(ShortcutTarget(folder / "Quillmar.lnk")), target);
}

TEST(CreateShortcut, SecondShortcutOfTheSameNameReplacesTheFirst) {
  ScratchFolder folder;
  fs::create_directories(folder / u8"桌面");
  fs::path first = folder / "first.exe";
  fs::path second = folder / u8"第二.exe";
  test::WriteAll(first, "MZ");
  test::WriteAll(second, "MZ");
  Text link = folder.Gbk(u8"桌面") + "\\Quillmar.lnk";
  EXPECT_TRUE(CreateShortcut(link, GbkPath(first), "Quillmar"));
  EXPECT_TRUE(CreateShortcut(link, GbkPath(second), "Quillmar"));
  EXPECT_EQ(CountFiles(folder / u8"桌面"), 1);
  EXPECT_EQ(fs::path(ShortcutTarget(folder / u8"桌面" / "Quillmar.lnk")), second);
}

TEST(CreateShortcut, UnwritablePlaceGivesFalse) {
  ScratchFolder folder;
  EXPECT_FALSE(CreateShortcut(folder.Gbk("no\\such\\folder\\x.lnk"), "C:\\x.exe"));
  EXPECT_FALSE(CreateShortcut("", "C:\\x.exe"));
}

TEST(RunProgram, WaitsForTheProgramToEnd) {
  ScratchFolder folder;
  ASSERT_TRUE(fs::exists(HelperPath()));
  EXPECT_TRUE(RunProgram(Quoted(HelperPath()) + " write " + Quoted(folder / "done.txt"), true));
  EXPECT_EQ(test::ReadAll(folder / "done.txt"), "done");
}

TEST(RunProgram, WithoutWaitReturnsWhileAProgramThatNeverIdlesRuns) {
  ScratchFolder folder;
  // Would hang the test for its whole run if RunProgram waited for it.
  EXPECT_TRUE(RunProgram(Quoted(HelperPath()) + " hang 3000", false, 99));
  EXPECT_TRUE(
      RunProgram(Quoted(HelperPath()) + " write " + Quoted(folder / "later.txt"), false, -5));
  EXPECT_TRUE(AppearsWithin(folder / "later.txt", std::chrono::seconds(20)));
}

TEST(RunProgram, MissingProgramGivesFalse) {
  ScratchFolder folder;
  EXPECT_FALSE(RunProgram(Quoted(folder / "missing.exe"), true));
  EXPECT_FALSE(RunProgram("", false));
}

TEST(ShellOpen, OpensTheDocumentWithItsProgramAndSaysWhenItCannot) {
  ScratchFolder folder;
  fs::path probe = folder / "probe.exe";
  fs::copy_file(HelperPath(), probe);
  EXPECT_TRUE(ShellOpen(GbkPath(probe)));
  EXPECT_TRUE(AppearsWithin(folder / "probe.exe.ran", std::chrono::seconds(20)));

  EXPECT_FALSE(ShellOpen(folder.Gbk("missing.html")));
  test::WriteAll(folder / "notes.quillmar-unknown", "no program opens this");
  EXPECT_FALSE(ShellOpen(folder.Gbk("notes.quillmar-unknown")));
}

}  // namespace
}  // namespace qm
