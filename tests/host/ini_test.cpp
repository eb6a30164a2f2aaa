#include "host/ini.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "support/test_files.h"

namespace qm {
namespace {

using test::ScratchFolder;

std::wstring ReadKey(const std::filesystem::path& file, const wchar_t* section,
                     const wchar_t* key) {
  wchar_t buffer[512] = {};
  GetPrivateProfileStringW(section, key, L"<none>", buffer, 512, file.wstring().c_str());
  return buffer;
}

TEST(WriteIniText, WritesChangesAndRemovesOnlyWhatIsNamed) {
  ScratchFolder folder;
  auto file = folder / "gx.ini";
  Text path = folder.Gbk("gx.ini");
  test::WriteAll(file, "[other]\r\nkeep=1\r\n[gx]\r\nold=2\r\n");

  EXPECT_TRUE(WriteIniText(path, "gx", Text("xz"), Text("C:\\Quillmar\\xz.exe")));
  EXPECT_TRUE(WriteIniText(path, "gx", Text("gx"), Text("2.0")));
  EXPECT_TRUE(WriteIniText(path, "gx", Text("gx"), Text("2.1")));
  EXPECT_EQ(ReadKey(file, L"gx", L"xz"), L"C:\\Quillmar\\xz.exe");
  EXPECT_EQ(ReadKey(file, L"gx", L"gx"), L"2.1");
  EXPECT_EQ(ReadKey(file, L"gx", L"old"), L"2");
  EXPECT_EQ(ReadKey(file, L"other", L"keep"), L"1");

  EXPECT_TRUE(WriteIniText(path, "gx", Text("old")));
  EXPECT_EQ(ReadKey(file, L"gx", L"old"), L"<none>");
  EXPECT_EQ(ReadKey(file, L"gx", L"gx"), L"2.1");

  EXPECT_TRUE(WriteIniText(path, "gx"));
  EXPECT_EQ(ReadKey(file, L"gx", L"xz"), L"<none>");
  EXPECT_EQ(ReadKey(file, L"other", L"keep"), L"1");
}

TEST(WriteIniText, NewFileKeepsChineseTextsOnAnySystem) {
  ScratchFolder folder;
  std::filesystem::create_directories(folder / u8"程序");
  Text path = folder.Gbk(u8"程序") + "\\gx.ini";
  EXPECT_TRUE(WriteIniText(path, "gx", Text("xz"), Text("D:\\工具\\Quillmar.exe")));
  EXPECT_EQ(ReadKey(folder / u8"程序" / "gx.ini", L"gx", L"xz"), L"D:\\工具\\Quillmar.exe");
}

TEST(WriteIniText, EmptyValueIsWrittenNotRemoved) {
  ScratchFolder folder;
  Text path = folder.Gbk("a.ini");
  EXPECT_TRUE(WriteIniText(path, "s", Text("k"), Text("")));
  EXPECT_EQ(ReadKey(folder / "a.ini", L"s", L"k"), L"");
}

TEST(WriteIniText, UnwritableFileGivesFalse) {
  ScratchFolder folder;
  EXPECT_FALSE(WriteIniText(folder.Gbk("missing\\a.ini"), "s", Text("k"), Text("v")));
}

}  // namespace
}  // namespace qm
