#include "host/zip.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fuzz/zip/exercise.h"
#include "host/zip_reader.h"
#include "support/test_files.h"
#include "zip_builder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::BuildZip;
using test::ReadAll;
using test::ScratchFolder;
using test::WriteAll;
using test::ZipItem;

class ExtractZipTest : public ::testing::Test {
 protected:
  // Writes `items` as an archive and extracts it into dest/.
  int Extract(const std::vector<ZipItem>& items) {
    WriteAll(folder_ / "a.zip", BuildZip(items));
    return ExtractZip(folder_.Gbk("a.zip"), folder_.Gbk("dest"));
  }
  // Everything below the scratch folder apart from the archive itself.
  std::vector<std::string> Written() {
    std::vector<std::string> names;
    for (auto& entry : fs::recursive_directory_iterator(folder_.path())) {
      std::string name = fs::relative(entry.path(), folder_.path()).generic_string();
      if (name != "a.zip") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFolder folder_;
};

TEST_F(ExtractZipTest, UnpacksAnArchiveMadeByZip) {
  fs::path archive = test::SourcePath("tests/host/data/made_by_zip.zip");
  ASSERT_TRUE(fs::exists(archive)) << archive;
  // The destination and its parent do not exist yet.
  EXPECT_EQ(ExtractZip(test::GbkPath(archive), folder_.Gbk("new/dest")), 1);
  fs::path dest = folder_ / "new" / "dest";
  std::string readme;
  for (int i = 0; i < 200; ++i) readme += "Quillmar updater\n";
  EXPECT_EQ(ReadAll(dest / "readme.txt"), readme);
  std::string data;
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 256; ++b) data += static_cast<char>(b);
  }
  EXPECT_EQ(ReadAll(dest / "bin" / "data.bin"), data);
  EXPECT_EQ(ReadAll(dest / "docs" / "deep" / "note.txt"), "deep note\n");
  EXPECT_TRUE(fs::is_directory(dest / "empty"));
}

TEST_F(ExtractZipTest, ReplacesExistingReadOnlyFiles) {
  fs::create_directories(folder_ / "dest");
  WriteAll(folder_ / "dest" / "xz.exe", "old and longer contents");
  fs::permissions(folder_ / "dest" / "xz.exe", fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(Extract({{.name = "xz.exe", .data = "new"}}), 1);
  EXPECT_EQ(ReadAll(folder_ / "dest" / "xz.exe"), "new");
  EXPECT_NE(fs::status(folder_ / "dest" / "xz.exe").permissions() & fs::perms::owner_write,
            fs::perms::none);
}

TEST_F(ExtractZipTest, FilesWithoutFolderEntriesAndUnicodeNames) {
  // Flag bit 11: the name is UTF-8.
  EXPECT_EQ(Extract({{.name = "a/b/c.txt", .data = "c"},
                     {.name = reinterpret_cast<const char*>(u8"更新/说明.txt"),
                      .data = "gbk",
                      .flags = 0x0800},
                     {.name = "stored.txt", .data = "s", .method = 0},
                     {.name = "empty.txt", .data = ""},
                     // Deflate with no compressed bytes at all is an empty file too.
                     {.name = "no-data.txt", .data = "", .packed = ""},
                     // Only the device names themselves are refused.
                     {.name = "console.txt", .data = "k"},
                     {.name = "com10.txt", .data = "k"},
                     {.name = "nul_file", .data = "k"}}),
            1);
  EXPECT_EQ(ReadAll(folder_ / "dest" / "a" / "b" / "c.txt"), "c");
  EXPECT_EQ(ReadAll(folder_ / "dest" / u8"更新" / u8"说明.txt"), "gbk");
  EXPECT_EQ(ReadAll(folder_ / "dest" / "stored.txt"), "s");
  EXPECT_TRUE(fs::exists(folder_ / "dest" / "empty.txt"));
  EXPECT_TRUE(fs::exists(folder_ / "dest" / "no-data.txt"));
  EXPECT_EQ(fs::file_size(folder_ / "dest" / "no-data.txt"), 0u);
  EXPECT_EQ(ReadAll(folder_ / "dest" / "com10.txt"), "k");
}

TEST_F(ExtractZipTest, NamesReachingOutsideStopWithoutWritingThere) {
  for (const std::string& name : std::vector<std::string>{
           "../evil.txt", "a/../../evil.txt", "..\\evil.txt", "a\\..\\..\\evil.txt", "/evil.txt",
           "\\evil.txt", "C:/evil.txt", "C:evil.txt", "a/.. /evil.txt", "a/.../evil.txt",
           "ok/ev:il.txt", std::string("nul\0.txt", 8),
           // Device names: writing there would reach a device, not a file.
           "NUL", "nul.txt", "CON.txt", "com1", "a/LPT9.log", "aux .txt", "Prn.", "conin$",
           "CONOUT$.dat",
           // Windows strips a trailing dot or space: another file than the
           // one checked would be written.
           "Quillmar.exe.", "trail ", "folder./file.txt", "folder /file.txt", "a.txt. ."}) {
    SCOPED_TRACE(name);
    fs::remove_all(folder_ / "dest");
    EXPECT_EQ(Extract({{.name = "first.txt", .data = "1"}, {.name = name, .data = "evil"}}), 0);
    EXPECT_EQ(Written(), (std::vector<std::string>{"dest", "dest/first.txt"}));
  }
  // Superscript digits make device names too; GBK lacks them, so UTF-8.
  fs::remove_all(folder_ / "dest");
  EXPECT_EQ(Extract({{.name = reinterpret_cast<const char*>(u8"com\u00B9.txt"),
                      .data = "evil",
                      .flags = 0x0800}}),
            0);
  EXPECT_EQ(Written(), (std::vector<std::string>{"dest"}));
}

TEST_F(ExtractZipTest, DamagedEntriesStopAtThatEntry) {
  std::string big(5000, 'q');
  std::vector<std::vector<ZipItem>> cases = {
      {{.name = "bad-crc.txt", .data = "data", .crc = 0x12345678}},
      {{.name = "bad-crc-stored.txt", .data = "data", .method = 0, .crc = 1}},
      {{.name = "inflates-beyond.txt", .data = big, .size = 100}},
      {{.name = "inflates-short.txt", .data = "short", .size = 5000}},
      {{.name = "huge-claim.txt", .data = "tiny", .size = 0xFFFFFFF0}},
      {{.name = "stored-size.txt", .data = "abc", .method = 0, .size = 2}},
      {{.name = "method12.txt", .data = "BZh9", .method = 12}},
      {{.name = "no-data-but-a-size.txt", .data = "abc", .packed = ""}},
      {{.name = "encrypted.txt", .data = "data", .flags = 1}},
  };
  for (const auto& items : cases) {
    SCOPED_TRACE(items[0].name);
    fs::remove_all(folder_ / "dest");
    std::vector<ZipItem> with_good = {{.name = "good.txt", .data = "g"}};
    with_good.insert(with_good.end(), items.begin(), items.end());
    with_good.push_back({.name = "after.txt", .data = "a"});
    EXPECT_EQ(Extract(with_good), 0);
    EXPECT_EQ(Written(), (std::vector<std::string>{"dest", "dest/good.txt"}));
  }
}

TEST_F(ExtractZipTest, LargeEntriesArriveInPiecesAndWhole) {
  std::string data;
  for (std::uint32_t i = 0; data.size() < (3u << 20); ++i) {
    data += std::to_string(i * 2654435761u) + (i % 7 ? " " : "\n");
  }
  const std::string archive = BuildZip({{.name = "big.bin", .data = data}});
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(archive.data()),
                                            archive.size());
  auto entries = zip_detail::ReadZipDirectory(bytes);
  ASSERT_TRUE(entries && entries->size() == 1);
  std::string joined;
  std::size_t largest = 0;
  EXPECT_TRUE(zip_detail::InflateZipEntry(bytes, entries->front(), [&](auto piece) {
    largest = std::max(largest, piece.size());
    joined.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    return true;
  }));
  EXPECT_EQ(joined, data);
  EXPECT_LE(largest, std::size_t{64} << 10);
  // A sink that refuses stops the reading.
  EXPECT_FALSE(zip_detail::InflateZipEntry(bytes, entries->front(), [](auto) { return false; }));

  EXPECT_EQ(Extract({{.name = "big.bin", .data = data}}), 1);
  EXPECT_EQ(ReadAll(folder_ / "dest" / "big.bin"), data);
}

TEST_F(ExtractZipTest, TruncatedOrForeignArchivesGiveZero) {
  std::string whole =
      BuildZip({{.name = "one.txt", .data = "1"}, {.name = "two.txt", .data = "2"}});
  std::size_t directory = whole.find("PK\x01\x02");
  ASSERT_NE(directory, std::string::npos);
  // Central directory cut short, with the end record kept.
  std::string cut = whole.substr(0, directory + 20) + whole.substr(whole.size() - 22);
  WriteAll(folder_ / "cut.zip", cut);
  EXPECT_EQ(ExtractZip(folder_.Gbk("cut.zip"), folder_.Gbk("dest")), 0);
  // Cut anywhere: never a crash, never 1.
  for (std::size_t n : {std::size_t{0}, std::size_t{10}, directory, whole.size() - 1}) {
    WriteAll(folder_ / "cut.zip", whole.substr(0, n));
    EXPECT_EQ(ExtractZip(folder_.Gbk("cut.zip"), folder_.Gbk("dest")), 0) << n;
  }
  WriteAll(folder_ / "text.zip", "this is not an archive");
  EXPECT_EQ(ExtractZip(folder_.Gbk("text.zip"), folder_.Gbk("dest")), 0);
  EXPECT_TRUE(fs::is_empty(folder_ / "dest"));
}

TEST_F(ExtractZipTest, MissingArgumentsGiveMinusOne) {
  WriteAll(folder_ / "a.zip", BuildZip({}));
  EXPECT_EQ(ExtractZip("", folder_.Gbk("dest")), -1);
  EXPECT_EQ(ExtractZip(folder_.Gbk("a.zip"), ""), -1);
  EXPECT_EQ(ExtractZip(folder_.Gbk("missing.zip"), folder_.Gbk("dest")), -1);
  EXPECT_FALSE(fs::exists(folder_ / "dest"));
  EXPECT_EQ(ExtractZip(folder_.Gbk("a.zip"), folder_.Gbk("dest")), 1);
}

TEST(ZipFuzzCorpus, ReplaysWithoutFaults) {
  fs::path corpus = test::SourcePath("fuzz/zip/corpus");
  ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
  int count = 0;
  for (auto& entry : fs::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    fuzz::ExerciseZipReader(bytes);
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace qm
