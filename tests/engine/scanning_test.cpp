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

TEST(Scanning, FindsUnderscoredSourcesInTheFirstTable) {
  RegexObject regex;
  EXPECT_EQ(FindReferences(regex, TableBody(kSliceCode)),
            (Sources{"images/shop_01.jpg", "images/店铺_02.jpg"}));
}

TEST(Scanning, CapitalTableMarkersAreNotFound) {
  RegexObject regex;
  EXPECT_EQ(TableBody("<TABLE><tr><td><img src=\"a_01.jpg\" width=1></TABLE>"), "");
  EXPECT_EQ(FindReferences(regex, ""), Sources{});
}

TEST(Scanning, TwoTagsOnOneLineAreOneSource) {
  RegexObject regex;
  EXPECT_EQ(
      FindReferences(regex, R"(<img src="a_01.jpg" width="1"><img src="a_02.jpg" width="2">)"),
      Sources{R"(a_01.jpg" width="1"><img src="a_02.jpg)"});
}

TEST(Scanning, OutermostTableCountsNestedTables) {
  EXPECT_EQ(OutermostTable("<p><TABLE a><tr><table>x</table></tr>y</Table >z</table>"),
            " a><tr><table>x</table></tr>y");
  EXPECT_EQ(OutermostTable("<tablex><table>open to the end"), ">open to the end");
  EXPECT_EQ(OutermostTable("no table"), "");
}

TEST(Scanning, ImageTagSourcesReadAnyAttributeSpelling) {
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
  for (const Case& c : cases) EXPECT_EQ(ImageTagSources(c.text), c.expected) << c.text;
}

TEST(Scanning, SliceSuffix) {
  RegexObject regex;
  EXPECT_EQ(SliceSuffixOf(regex, "images/shop_01.jpg"), "01.jpg");
  EXPECT_EQ(SliceSuffixOf(regex, "images/shop_001.png"), "001.png");
  EXPECT_EQ(SliceSuffixOf(regex, "x_01.jpeg"), "01.jpe");
  EXPECT_EQ(SliceSuffixOf(regex, "x_1.jpg"), "");
  EXPECT_EQ(SliceSuffixOf(regex, "x_1234.jpg"), "234.jpg");
  EXPECT_EQ(SliceSuffixOf(regex, "C:\\design\\v12.final\\shop_01.jpg"), "12.fin")
      << "a folder with digits, a dot and three non-digits wins";
  EXPECT_EQ(SliceSuffixOf(regex, "D:\\切片\\店铺_07.图片格"), "07.图片格");
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
