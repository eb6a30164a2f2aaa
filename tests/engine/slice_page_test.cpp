#include "engine/slice_page.h"

#include <gtest/gtest.h>

#include "host/encoding.h"

namespace qm {
namespace {

// GBK at run time, as every literal; the test converts it to the file's
// encoding.
constexpr char kPage[] =
    "<html><head><title>店铺首页</title>{meta}</head><body>\r\n"
    "<table><tr><td><img src=\"images/店铺_01.jpg\" width=\"750\"></td></tr></table>";

Text WithMeta(const std::string& meta) {
  Text page = kPage;
  return page.replace(page.find("{meta}"), 6, meta);
}

// `meta` is ASCII, or UTF-8 for a page in UTF-8.
Bytes PageBytes(const std::string& meta, bool utf8, bool byte_order_mark = false) {
  const std::string text = utf8 ? Utf8FromGbk(WithMeta("{meta}")) : WithMeta(meta);
  std::string page = text;
  if (utf8) page.replace(page.find("{meta}"), 6, meta);
  return BytesFromText((byte_order_mark ? "\xEF\xBB\xBF" : "") + page);
}

TEST(SlicePage, ReadsGbkAsStoredAndUtf8AsGbk) {
  const Text expected =
      GbkFromUtf8(std::string(kPage).replace(std::string(kPage).find("{meta}"), 6, ""));
  const std::string utf8_meta = "<meta charset=\"utf-8\">";
  const std::string gbk_meta =
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">";
  struct Case {
    const char* name;
    Bytes bytes;
    std::string meta;
  } cases[] = {
      {"GBK, no declaration", PageBytes("", false), ""},
      {"GBK, declared", PageBytes(gbk_meta, false), gbk_meta},
      {"UTF-8 with a byte-order mark", PageBytes("", true, true), ""},
      {"UTF-8, declared", PageBytes(utf8_meta, true), utf8_meta},
      {"UTF-8, declared the old way",
       PageBytes("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">", true),
       "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">"},
      {"UTF-8, undeclared", PageBytes("", true), ""},
  };
  for (const Case& c : cases) {
    const SlicePageText page = DecodeSlicePage(c.bytes);
    EXPECT_EQ(page.problem, SlicePageProblem::kNone) << c.name;
    EXPECT_EQ(page.text, WithMeta(c.meta)) << c.name;
  }
}

TEST(SlicePage, RefusesWhatIsNoPageOrWhatGbkCannotHold) {
  // An emoji and a copyright sign, in UTF-8.
  EXPECT_EQ(DecodeSlicePage(PageBytes("<meta charset=utf-8><p>\xF0\x9F\x98\x80</p>", true)).problem,
            SlicePageProblem::kNotGbk);
  EXPECT_EQ(DecodeSlicePage(PageBytes("<p>\xC2\xA9</p>", true, true)).problem,
            SlicePageProblem::kNotGbk);
  EXPECT_EQ(DecodeSlicePage(Bytes()).problem, SlicePageProblem::kNotText);
  EXPECT_EQ(DecodeSlicePage(BytesFromText(std::string("<html>\0<table>", 14))).problem,
            SlicePageProblem::kNotText);
  EXPECT_EQ(DecodeSlicePage(Bytes(kMaxSlicePageBytes + 1, 'a')).problem,
            SlicePageProblem::kTooLarge);
  EXPECT_EQ(DecodeSlicePage(Bytes(kMaxSlicePageBytes, 'a')).problem, SlicePageProblem::kNone);
}

TEST(SlicePage, ReferencesNameTheirFilesFromThePagesFolder) {
  struct Case {
    const char* folder;
    const char* source;
    const char* file;
  } cases[] = {
      {"D:\\店铺\\首页", "images/店铺_01.jpg", "D:\\店铺\\首页\\images\\店铺_01.jpg"},
      {"D:\\店铺\\首页", "images\\店铺_01.jpg", "D:\\店铺\\首页\\images\\店铺_01.jpg"},
      {"D:\\店铺\\首页\\", "./images//a_01.jpg", "D:\\店铺\\首页\\images\\a_01.jpg"},
      {"D:\\店铺\\首页", "../shared/a_01.jpg", "D:\\店铺\\shared\\a_01.jpg"},
      {"D:\\店铺", "../../a_01.jpg", ""},
      {"D:\\店铺", "images/my%20page_01.jpg?v=2", "D:\\店铺\\images\\my page_01.jpg"},
      {"D:\\店铺", "E:\\素材\\a_01.jpg", "E:\\素材\\a_01.jpg"},
      {"D:\\店铺", "file:///E:/素材/a_01.jpg", "E:/素材/a_01.jpg"},
      {"D:\\店铺", "file://nas/素材/a_01.jpg", "\\\\nas/素材/a_01.jpg"},
      {"\\\\nas\\店铺", "../a_01.jpg", "\\\\nas\\a_01.jpg"},
      {"/home/u/店铺", "../shared/a_01.jpg", "/home/u/shared/a_01.jpg"},
      {"/home/u/店铺", "/srv/a_01.jpg", "/srv/a_01.jpg"},
      {"", "images/a_01.jpg", "images/a_01.jpg"},
      // 誠 is D5 5C: its second byte is no separator.
      {"D:\\\xD5\x5C", "images/a_01.jpg", "D:\\\xD5\x5C\\images\\a_01.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveSliceFile(c.folder, c.source), c.file) << c.folder << " + " << c.source;
  }
  EXPECT_EQ(FolderOf("D:\\店铺\\a_01.jpg"), "D:\\店铺");
  EXPECT_EQ(FileNameOf("D:\\店铺\\a_01.jpg"), "a_01.jpg");
  EXPECT_EQ(FolderOf("a_01.jpg"), "");
}

}  // namespace
}  // namespace qm
