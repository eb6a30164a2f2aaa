#include "host/files.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace qm {
namespace {

using test::ReadAll;
using test::ScratchFolder;
using test::WriteAll;

std::string AsString(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(ReadFileBytes, GivesWholeFileOrNothing) {
  ScratchFolder folder;
  WriteAll(folder / "data.bin", std::string("x\0y\xff", 4));
  WriteAll(folder / "empty.bin", "");
  EXPECT_EQ(AsString(ReadFileBytes(folder.Gbk("data.bin"))), std::string("x\0y\xff", 4));
  EXPECT_TRUE(ReadFileBytes(folder.Gbk("empty.bin")).empty());
  EXPECT_TRUE(ReadFileBytes(folder.Gbk("missing.bin")).empty());
  EXPECT_TRUE(ReadFileBytes("").empty());
  EXPECT_TRUE(ReadFileBytes(folder.Gbk("")).empty());  // a folder
}

TEST(WriteFileBytes, WritesBlocksInOrderAndTruncates) {
  ScratchFolder folder;
  Text path = folder.Gbk("out.txt");
  WriteAll(folder / "out.txt", "a much longer previous content");
  EXPECT_TRUE(WriteFileBytes(path, {BytesFromText("one"), {}, BytesFromText("-two")}));
  EXPECT_EQ(ReadAll(folder / "out.txt"), "one-two");
  EXPECT_TRUE(WriteFileBytes(path, {}));
  EXPECT_EQ(ReadAll(folder / "out.txt"), "");
}

TEST(WriteFileBytes, FailsWithoutTouchingAnything) {
  ScratchFolder folder;
  EXPECT_FALSE(WriteFileBytes("", {BytesFromText("x")}));
  EXPECT_FALSE(WriteFileBytes(folder.Gbk("no-such-folder/x.txt"), {BytesFromText("x")}));
  EXPECT_FALSE(WriteFileBytes(folder.Gbk(""), {BytesFromText("x")}));
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(Files, ChineseFolderNamesWork) {
  ScratchFolder folder;
  std::filesystem::create_directories(folder / u8"切片图 淺目录");
  // The program's backslash form, as its callers build paths.
  Text path = folder.Gbk(u8"切片图 淺目录") + "\\" + "表格.html";
  EXPECT_TRUE(WriteFileBytes(path, {BytesFromText("<table>")}));
  EXPECT_EQ(ReadAll(folder / u8"切片图 淺目录" / u8"表格.html"), "<table>");
  EXPECT_EQ(AsString(ReadFileBytes(path)), "<table>");
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(std::filesystem::exists(folder / u8"切片图 淺目录" / u8"表格.html"));
}

TEST(RemoveFile, ReportsWhetherAFileWasDeleted) {
  ScratchFolder folder;
  WriteAll(folder / "gone.txt", "x");
  EXPECT_TRUE(RemoveFile(folder.Gbk("gone.txt")));
  EXPECT_FALSE(RemoveFile(folder.Gbk("gone.txt")));
  EXPECT_FALSE(RemoveFile(""));
  EXPECT_FALSE(RemoveFile(folder.Gbk("")));
  EXPECT_TRUE(std::filesystem::exists(folder.path()));
}

}  // namespace
}  // namespace qm
