#include "engine/scanning.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fuzz/text/exercise.h"
#include "support/test_files.h"

namespace qm {
namespace {

using Sources = std::vector<Text>;

constexpr char kSliceCode[] =
    "<html>\r\n<body>\r\n"
    "<table id=\"__01\" width=\"750\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\r\n"
    "\t<tr>\r\n"
    "\t\t<td>\r\n"
    "\t\t\t<img src=\"images/shop_01.jpg\" width=\"750\" height=\"300\" alt=\"\"></td>\r\n"
    "\t</tr>\r\n"
    "\t<tr>\r\n"
    "\t\t<td>\r\n"
    "\t\t\t<IMG SRC=\"images/spacer.gif\" WIDTH=\"1\" HEIGHT=\"1\" ALT=\"\"></td>\r\n"
    "\t\t<td>\r\n"
    "\t\t\t<img src=\"images/店铺_02.jpg\" width=\"749\" height=\"200\" alt=\"\"></td>\r\n"
    "\t</tr>\r\n"
    "</table>\r\n"
    "<img src=\"images/after_03.jpg\" width=\"1\">\r\n"
    "</body>\r\n</html>\r\n";

Sources SourcesOf(const std::vector<SliceReference>& references) {
  Sources sources;
  for (const SliceReference& reference : references) sources.push_back(reference.source);
  return sources;
}

TEST(Scanning, FindsUnderscoredSourcesInTheFirstTableWhereTheyStand) {
  const std::string_view code = kSliceCode;
  const std::vector<SliceReference> references = FindReferences(code);
  EXPECT_EQ(SourcesOf(references), (Sources{"images/shop_01.jpg", "images/店铺_02.jpg"}));
  for (const SliceReference& reference : references) {
    EXPECT_EQ(code.substr(reference.offset, reference.source.size()), reference.source);
  }
}

// The table scan: a src value up to its closing quote, in a tag with a
// width attribute after it.
TEST(Scanning, TableScanReadsEachTagOnItsOwn) {
  struct Case {
    const char* name;
    const char* table;
    Sources expected;
  } cases[] = {
      {"two tags on one line",
       R"(<img src="a_01.jpg" width="1"><img src="a_02.jpg" width="2">)",
       {"a_01.jpg", "a_02.jpg"}},
      {"attributes between src and width",
       R"(<img src="images/x_03.jpg" name="Image5" width="20" height="9">)",
       {"images/x_03.jpg"}},
      {"a whole minified row",
       R"(<tr><td><img src="a_01.jpg" width=1></td><td><img src="a_02.jpg" width=1></td></tr>)",
       {"a_01.jpg", "a_02.jpg"}},
      {"capital names", R"(<IMG SRC="A_01.JPG" WIDTH=1>)", {"A_01.JPG"}},
      {"no width in its tag", R"(<img src="a_01.jpg"><img src="a_02.jpg" width=1>)", {"a_02.jpg"}},
      {"width only inside another value", R"(<img src="a_01.jpg" alt="x width=1">)", {}},
      {"a lazy-loading attribute is no src",
       R"(<img data-src="a_01.jpg" src="a_02.jpg" width=1>)",
       {"a_02.jpg"}},
      {"the value ends on its line", "<img src=\"a_01.jpg\r\n\" width=1>", {}},
      {"empty and underscore-less values", R"(<img src="" width=1><img src="s.gif" width=1>)", {}},
  };
  for (const Case& c : cases) {
    const Text code = Text("<table>") + c.table + "</table>";
    EXPECT_EQ(SourcesOf(FindReferences(code)), c.expected) << c.name;
  }
}

TEST(Scanning, CapitalTableMarkersAreNotFound) {
  EXPECT_EQ(TableBody("<TABLE><tr><td><img src=\"a_01.jpg\" width=1></TABLE>"), "");
  EXPECT_TRUE(FindReferences("<TABLE><img src=\"a_01.jpg\" width=1></TABLE>").empty());
  EXPECT_TRUE(FindReferences("<table><img src=\"a_01.jpg\" width=1>").empty()) << "no end";
}

TEST(Scanning, OutermostTableCountsNestedTables) {
  EXPECT_EQ(OutermostTable("<p><TABLE a><tr><table>x</table></tr>y</Table >z</table>"),
            " a><tr><table>x</table></tr>y");
  EXPECT_EQ(OutermostTable("<tablex><table>open to the end"), ">open to the end");
  EXPECT_EQ(OutermostTable("<table><table><table>x</table>"), "><table><table>x</table>");
  EXPECT_EQ(OutermostTable("no table"), "");
}

TEST(Scanning, ImageTagReferencesReadAnyAttributeSpelling) {
  struct Case {
    const char* text;
    Sources expected;
  } cases[] = {
      {"<img src=\"a_01.jpg\"><IMG\r\nalt=\"<img src=x>\" SRC = 'b_02.jpg' >",
       {"a_01.jpg", "b_02.jpg"}},
      {"<img src=店铺_03.jpg width=1><img alt src=c_04.gif/>", {"店铺_03.jpg", "c_04.gif/"}},
      {"<image src=\"x_01.jpg\"><imgs src=\"y_01.jpg\"><img src=\"z_01.jpg\" src=\"w.jpg\">",
       {"z_01.jpg"}},
      {"<img width=1><img src=\"open_01.jpg", {"open_01.jpg"}},
      // Stray signs are read past; they never stop the reading.
      {"<img =x / src=\"d_05.jpg\"><img / = / >", {"d_05.jpg"}},
  };
  for (const Case& c : cases) {
    const std::string_view text = c.text;
    const std::vector<SliceReference> references = ImageTagReferences(text, text);
    EXPECT_EQ(SourcesOf(references), c.expected) << c.text;
    for (const SliceReference& reference : references) {
      EXPECT_EQ(text.substr(reference.offset, reference.source.size()), reference.source);
    }
  }
}

TEST(Scanning, SliceSuffixIsReadFromTheFileNameOnly) {
  RegexObject regex;
  struct Case {
    const char* path;
    const char* suffix;
    const char* stem;
  } cases[] = {
      {"images/shop_01.jpg", "01.jpg", "images/shop_"},
      {"images/shop_001.png", "001.png", "images/shop_"},
      {"x_01.jpeg", "01.jpeg", "x_"},
      {"D:\\shop\\x_07.JPEG", "07.JPEG", "D:\\shop\\x_"},
      {"x_01.jpg?v=2", "01.jpg", "x_?v=2"},
      {"x_1.jpg", "", "x_1.jpg"},
      {"x_1234.jpg", "234.jpg", "x_1"},
      {"C:\\design\\v12.final\\shop_01.jpg", "01.jpg", "C:\\design\\v12.final\\shop_"},
      {"D:\\店铺\\06.首页\\images\\店铺_03.jpg", "03.jpg", "D:\\店铺\\06.首页\\images\\店铺_"},
      {"C:\\v12.final\\cover.jpg", "", "C:\\v12.final\\cover.jpg"},
      {"D:\\切片\\店铺_07.图片格", "07.图片格", "D:\\切片\\店铺_"},
      // 誠 is D5 5C in GBK: its second byte is a backslash's, no separator.
      {"D:\\\xD5\x5C_01.jpg", "01.jpg", "D:\\\xD5\x5C_"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SliceSuffixOf(regex, c.path), c.suffix) << c.path;
    EXPECT_EQ(SliceStemOf(regex, c.path), c.stem) << c.path;
  }
}

TEST(Scanning, LinkLinesAreTrimmedAndWhatIsNoLinkIsCounted) {
  const Text list =
      "使用说明：\r\n1.请将切片代码放在上面框中\r\n\r\n  http://h/a.jpg \t\r\n"
      "\xA1\xA1HTTPS://h/b.jpg\xA1\xA1\r\n//h/c.jpg\r\n \r\nftp://h/d.jpg\r\nhttps:/h/e.jpg";
  const LinkLines lines = ReadLinkLines(list);
  ASSERT_EQ(lines.links.size(), 3u);
  EXPECT_EQ(lines.links[0].link, "http://h/a.jpg");
  EXPECT_EQ(lines.links[0].line, 3u);
  EXPECT_EQ(lines.links[1].link, "HTTPS://h/b.jpg");
  EXPECT_EQ(lines.links[2].link, "//h/c.jpg");
  EXPECT_EQ(lines.links[2].line, 5u);
  EXPECT_EQ(lines.not_links, 4) << "two usage lines, ftp and a malformed scheme";
}

TEST(Scanning, WithoutLinesTakesWholeLinesAndNothingElse) {
  const Text list = "http://h/a.jpg_400x400.jpg\r\n  http://h/a.jpg  \r\nhttp://h/B.jpg\r\nlast";
  EXPECT_EQ(WithoutLines(list, {1}), "http://h/a.jpg_400x400.jpg\r\nhttp://h/B.jpg\r\nlast");
  EXPECT_EQ(WithoutLines(list, {0, 3}), "  http://h/a.jpg  \r\nhttp://h/B.jpg\r\n");
  EXPECT_EQ(WithoutLines(list, {}), list);
  EXPECT_EQ(WithoutLines("a\r\n\r\nb\r\n", {0, 2}), "\r\n");
}

// The text fuzzer's seeds: the example's mark-up, links and path, and
// generated mark-up; every rule it checks holds for each.
TEST(TextFuzzCorpus, ReplaysWithoutFaults) {
  namespace fs = std::filesystem;
  const fs::path corpus = test::SourcePath("fuzz/text/corpus");
  ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    fuzz::ExerciseTextHandling(bytes);
    ++count;
  }
  EXPECT_GE(count, 8);
}

}  // namespace
}  // namespace qm
