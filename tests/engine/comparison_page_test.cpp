#include "engine/comparison_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/encoding.h"

namespace qm {
namespace {

// The tests' literals are GBK at run time, as the program's; the page is UTF-8.
std::string U(const char* gbk) {
  return Utf8FromGbk(gbk);
}

// The page's rows that hold `marker`, each whole from <tr to </tr>.
std::vector<std::string> RowsHolding(const std::string& page, const std::string& marker) {
  std::vector<std::string> rows;
  for (std::size_t at = page.find("<tr"); at != std::string::npos; at = page.find("<tr", at + 1)) {
    const std::string row = page.substr(at, page.find("</tr>", at) + 5 - at);
    if (row.find(marker) != std::string::npos) rows.push_back(row);
  }
  return rows;
}

SliceOutcome Slice(const char* source, const char* file, int width, int height) {
  SliceOutcome slice;
  slice.source = source;
  slice.file = file;
  slice.decoded = width > 0;
  slice.width = width;
  slice.height = height;
  return slice;
}

SliceOutcome Paired(SliceOutcome slice, const char* link, PairKind kind, double factor = 1.0) {
  slice.link = link;
  slice.kind = kind;
  slice.factor = factor;
  return slice;
}

SliceOutcome Unpaired(SliceOutcome slice, const char* placeholder) {
  slice.placeholder = placeholder;
  return slice;
}

LinkOutcome Link(const char* link, bool used, int width, int height,
                 LinkProblem problem = LinkProblem::kNone) {
  return {link, used, problem, width, height};
}

// A run of the shop example's kind: one slice of each pairing, a slice
// whose file could not be read, a link left unused and three that gave no
// image.
RunReport ExampleRun() {
  RunReport report;
  report.slice_outcomes = {
      Paired(Slice("images/店铺_01.jpg", "D:\\店铺 首页\\images\\店铺_01.jpg", 750, 250),
             "http://img.example/u01.jpg", PairKind::kSame),
      Paired(Slice("images/店铺_02.jpg", "D:\\店铺 首页\\images\\店铺_02.jpg", 375, 300),
             "http://img.example/u02.jpg", PairKind::kNear),
      Paired(Slice("images/店铺_03.jpg", "D:\\店铺 首页\\images\\店铺_03.jpg", 750, 250),
             "//img.example/u03.jpg", PairKind::kScaled, 0.853),
      Unpaired(Slice("images/店铺_04.jpg", "D:\\店铺 首页\\images\\店铺_04.jpg", 100, 50),
               "mivron04"),
      Unpaired(Slice("images/店铺_05.jpg", "", 0, 0), "mivron05"),
  };
  report.link_outcomes = {
      Link("//img.example/u03.jpg", true, 640, 213),
      Link("http://img.example/u01.jpg", true, 750, 250),
      Link("http://img.example/gone.jpg", false, 0, 0, LinkProblem::kUnreachable),
      Link("http://img.example/u02.jpg", true, 375, 300),
      Link("http://img.example/其它.jpg", false, 320, 160),
      Link("http://img.example/404.jpg", false, 0, 0, LinkProblem::kNotImage),
      Link("http://img.example/huge.jpg", false, 0, 0, LinkProblem::kTooLarge),
  };
  return report;
}

TEST(ComparisonPageTest, OneRowPerSliceFileInDocumentOrder) {
  const std::string page = ComparisonPage(ExampleRun());
  const std::string folder = "file:///D:/%E5%BA%97%E9%93%BA%20%E9%A6%96%E9%A1%B5/images/";
  const struct {
    const char* number;
    std::vector<std::string> holds;
  } rows[] = {
      {"01",
       {"class=\"same\"", U("相同"), "src=\"" + folder + "%E5%BA%97%E9%93%BA_01.jpg\"",
        "width=\"200\" height=\"67\"", "src=\"http://img.example/u01.jpg\"", U("750×250")}},
      {"02",
       {"class=\"near\"", U("近似"), "src=\"http://img.example/u02.jpg\"",
        "width=\"200\" height=\"160\""}},
      // The upload's own size; a link without its scheme is shown over https.
      {"03",
       {"class=\"scaled\"", U("缩放 ×0.853"), "src=\"https://img.example/u03.jpg\"",
        "width=\"200\" height=\"67\"", U("640×213"), "//<wbr>img.example/<wbr>u03.jpg<br>"}},
      // Narrower than 200: its own size.
      {"04",
       {"class=\"none\"", U("未配对"), "width=\"100\" height=\"50\"", ">mivron04<",
        U("没有配上链接")}},
      {"05",
       {"class=\"none\"", U("读不到这张切片的文件"), U("images/<wbr>店铺_05.jpg"), ">mivron05<"}},
  };
  const std::vector<std::string> slice_rows = RowsHolding(page, "class=\"number\"");
  ASSERT_EQ(slice_rows.size(), std::size(rows));
  for (std::size_t i = 0; i < slice_rows.size(); ++i) {
    SCOPED_TRACE(rows[i].number);
    EXPECT_NE(slice_rows[i].find(std::string(">") + rows[i].number + "<"), std::string::npos)
        << slice_rows[i];
    for (const std::string& part : rows[i].holds) {
      EXPECT_NE(slice_rows[i].find(part), std::string::npos)
          << "no " << part << " in " << slice_rows[i];
    }
  }
  std::size_t pictures = 0;
  for (std::size_t at = page.find("<img"); at != std::string::npos;
       at = page.find("<img", at + 1)) {
    ++pictures;
  }
  EXPECT_EQ(pictures, 8u) << "four slices, three uploads, one unused link";
}

TEST(ComparisonPageTest, LinksNotUsedAndLinksWithoutAnImageAreListedBelow) {
  const std::string page = ComparisonPage(ExampleRun());
  const std::vector<std::string> unused = RowsHolding(page, "img.example/%C6%E4%CB%FC.jpg");
  ASSERT_EQ(unused.size(), 1u) << "the unused link is shown as the run downloaded it";
  EXPECT_NE(unused[0].find(U("http://<wbr>img.example/<wbr>其它.jpg<br>320×160")),
            std::string::npos)
      << "a narrow column breaks links after a slash";
  EXPECT_NE(page.find(U("没有用上的链接（1 个）")), std::string::npos);
  EXPECT_LT(page.find(U("切片和配上的链接")), page.find(U("没有用上的链接")));

  EXPECT_NE(page.find(U("没有得到图片的链接（3 个）")), std::string::npos);
  const struct {
    const char* link;
    const char* reason;
  } failed[] = {
      {"gone.jpg", "没有下载到内容"},
      {"404.jpg", "下载到的不是图片"},
      {"huge.jpg", "超过 64 MB 的下载上限"},
  };
  for (const auto& f : failed) {
    SCOPED_TRACE(f.link);
    const std::vector<std::string> rows = RowsHolding(page, f.link);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0].find(U(f.reason)), std::string::npos) << rows[0];
    EXPECT_EQ(rows[0].find("<img"), std::string::npos);
  }
  EXPECT_NE(page.find(U("5 张切片：3 张配上了链接（其中 2 张为近似匹配），2 张未配对。"
                        "7 个链接：3 个用上了，1 个没有用上，3 个没有得到图片。")),
            std::string::npos);
}

TEST(ComparisonPageTest, AUtf8PageThatSaysWhatItIs) {
  RunReport all_paired;
  all_paired.slice_outcomes = {
      Paired(Slice("images/a_01.jpg", "/tmp/a_01.jpg", 750, 1), "http://h/a.jpg", PairKind::kSame)};
  all_paired.link_outcomes = {Link("http://h/a.jpg", true, 750, 1)};
  const std::string page = ComparisonPage(all_paired);
  EXPECT_EQ(
      page.rfind("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">", 0),
      0u);
  EXPECT_NE(page.find(U("<p class=\"about\">Quillmar 对照页：")), std::string::npos);
  EXPECT_NE(page.find(U("1 张切片：全部配上了链接。1 个链接：1 个用上了。")), std::string::npos)
      << "no counts of nothing";
  EXPECT_NE(page.find("width=\"200\" height=\"1\""), std::string::npos) << "a strip stays visible";
  EXPECT_NE(page.find("src=\"file:///tmp/a_01.jpg\""), std::string::npos);
  // Nothing left: no lists below the slices.
  EXPECT_EQ(page.find(U("没有用上的链接")), std::string::npos);
  EXPECT_EQ(page.find(U("没有得到图片的链接")), std::string::npos);
  EXPECT_TRUE(page.ends_with("</body>\n</html>\n"));
}

// Whatever the mark-up and the links hold stands in the page as text.
TEST(ComparisonPageTest, TextsAreEscaped) {
  RunReport report;
  report.slice_outcomes = {
      Unpaired(Slice("images/<b>\"x\"&'y'_01.jpg", "C:\\a&b\\<x>_01.jpg", 10, 10), "mivron01"),
      // The second byte of 誠 is "\\": no break inside it.
      Unpaired(Slice("images\\誠_02.jpg", "", 0, 0), "mivron02")};
  report.link_outcomes = {Link("http://h/a.jpg?x=1&y=\"<script>\"", false, 10, 10)};
  const std::string page = ComparisonPage(report);
  EXPECT_NE(page.find("images/<wbr>&lt;b&gt;&quot;x&quot;&amp;&#39;y&#39;_01.jpg"),
            std::string::npos);
  EXPECT_NE(page.find("src=\"http://h/a.jpg?x=1&amp;y=&quot;&lt;script&gt;&quot;\""),
            std::string::npos);
  EXPECT_NE(page.find("src=\"file:///C:/a%26b/%3Cx%3E_01.jpg\""), std::string::npos);
  EXPECT_NE(page.find(U("images\\<wbr>誠_02.jpg")), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
}

TEST(ComparisonPageTest, FileAddressesArePercentEncodedUtf8) {
  const struct {
    const char* path;
    const char* address;
  } cases[] = {
      {"D:\\店铺首页\\images\\店铺_01.jpg",
       "file:///D:/%E5%BA%97%E9%93%BA%E9%A6%96%E9%A1%B5/images/%E5%BA%97%E9%93%BA_01.jpg"},
      {"C:\\My Shop\\a b.jpg", "file:///C:/My%20Shop/a%20b.jpg"},
      {"d:/x/y.png", "file:///d:/x/y.png"},
      {"\\\\server\\共享\\a.jpg", "file://server/%E5%85%B1%E4%BA%AB/a.jpg"},
      {"/home/设计/a_01.jpg", "file:///home/%E8%AE%BE%E8%AE%A1/a_01.jpg"},
      // What a browser would read as the end of the path, a query or an
      // escape is escaped itself.
      {"C:\\a#1\\b?c%d;e.jpg", "file:///C:/a%231/b%3Fc%25d%3Be.jpg"},
      {"Z:\\", "file:///Z:/"},
      {"images\\店_01.jpg", "images/%E5%BA%97_01.jpg"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileAddress(c.path), c.address) << c.path;
  }
}

}  // namespace
}  // namespace qm
