// One source for both backends: the platform object under Wine/Windows and
// PCRE2 on Linux must agree on everything the engine relies on.
#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <string>

#include "support/platform.h"

namespace qm {
namespace {

constexpr char kSource[] = R"re(src="(.+)" width=)re";
constexpr char kSuffix[] = R"(\d{2,3}\.\D{3,3})";

TEST(RegexObject, EmptySubjectHasNoMatches) {
  RegexObject regex;
  EXPECT_TRUE(regex.Search(kSource, ""));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_TRUE(regex.Search(kSuffix, ""));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), "");
}

TEST(RegexObject, MatchesNeverCrossALineFeed) {
  RegexObject regex;
  regex.Search(kSource,
               "<td><img src=\"images/a_01.jpg\" width=\"750\"></td>\r\n"
               "<td><img src=\"images/a_02.jpg\" width=\"750\"></td>\r\n");
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchText(1, 1), "images/a_01.jpg");
  EXPECT_EQ(regex.SubMatchText(2, 1), "images/a_02.jpg");
  EXPECT_EQ(regex.MatchText(2), "src=\"images/a_02.jpg\" width=");
}

TEST(RegexObject, TwoTagsOnOneLineMakeOneGreedyMatch) {
  RegexObject regex;
  regex.Search(kSource, R"(<img src="a_01.jpg" width="1"><img src="a_02.jpg" width="2">)");
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), R"(a_01.jpg" width="1"><img src="a_02.jpg)");
}

TEST(RegexObject, ChineseCharactersAreCharactersNotBytes) {
  RegexObject regex;
  regex.Search(kSource, "<img src=\"切片/店铺_01.jpg\" width=\"1\">");
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "切片/店铺_01.jpg");

  regex.Search(kSuffix, "店铺_01.图片格式");
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.MatchText(1), "01.图片格");

  regex.Search(kSuffix, "shop_001.png shop_1.jpg x_01.jpeg");
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.MatchText(1), "001.png");
  EXPECT_EQ(regex.MatchText(2), "01.jpe");
}

TEST(RegexObject, DigitClassIsAsciiOnly) {
  RegexObject regex;
  regex.Search(kSuffix, "shop_０１.jpg");
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObject, OptionsAndQuoteToken) {
  RegexObject regex;
  regex.Search(kSource, R"(<IMG SRC="x_01.jpg" WIDTH=1>)");
  EXPECT_EQ(regex.MatchCount(), 1) << "ignores case by default";
  regex.Search(kSource, R"(<IMG SRC="x_01.jpg" WIDTH=1>)", true);
  EXPECT_EQ(regex.MatchCount(), 0);

  regex.Search("a", "aaa", false, true, false);
  EXPECT_EQ(regex.MatchCount(), 1) << "global off finds one";

  const Text quoted = "src=#引号(.+)#引号 width=";
  regex.Search(quoted, R"(src="x_01.jpg" width=)", false, true, true, true);
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "x_01.jpg");
  regex.Search(quoted, R"(src="x_01.jpg" width=)");
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObject, IndexesOutsideTheCollectionGiveEmptyText) {
  RegexObject regex;
  regex.Search("(a)|(b)", "a b");
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.MatchText(0), "");
  EXPECT_EQ(regex.MatchText(3), "");
  EXPECT_EQ(regex.MatchText(-1), "");
  EXPECT_EQ(regex.SubMatchText(0, 1), "");
  EXPECT_EQ(regex.SubMatchText(1, 0), "");
  EXPECT_EQ(regex.SubMatchText(1, 3), "");
  EXPECT_EQ(regex.SubMatchText(1, 1), "a");
  EXPECT_EQ(regex.SubMatchText(1, 2), "") << "group took part in no match";
  EXPECT_EQ(regex.SubMatchText(2, 2), "b");
}

TEST(RegexObject, InvalidPatternFailsQuietly) {
  RegexObject regex;
  regex.Search("a", "a");
  EXPECT_FALSE(regex.Search("src=(", "src=("));
  EXPECT_EQ(regex.MatchCount(), 0) << "the previous collection is gone";
  EXPECT_EQ(regex.MatchText(1), "");
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
}

TEST(RegexObject, DotMatchesALoneCarriageReturn) {
  if (test::RunningUnderWine()) {
    GTEST_SKIP() << "Wine's object stops '.' at a lone CR; Windows does not";
  }
  RegexObject regex;
  regex.Search(kSource, "src=\"a\rb_01.jpg\" width=");
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "a\rb_01.jpg");
}

TEST(RegexObject, BadInputNeverCrashes) {
  RegexObject regex;
  const Text lead_at_end = "src=\"a_01.jpg\" width=\x81";
  regex.Search(kSource, lead_at_end);
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "a_01.jpg");

  const Text not_gbk = "\x81\x20\xff\xff\x80\x7f src=\"\xfe\x30_01.jpg\" width=";
  regex.Search(kSource, not_gbk);
  EXPECT_EQ(regex.MatchCount(), 1);
  regex.Search("\xff(", not_gbk);
  EXPECT_EQ(regex.MatchCount(), 0);

  Text long_line(4 << 20, 'x');
  long_line += "<img src=\"images/long_01.jpg\" width=\"1\">";
  regex.Search(kSource, long_line);
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "images/long_01.jpg");
}

TEST(RegexObject, TenMillionCharacterLineKeepsTheReferencesAfterIt) {
  // The greedy group backs off over the whole line before it finds the
  // attribute: ten million steps and more, for one reference.
  const Text filler(10'000'000, 'x');
  const Text page = "<img src=\"images/a_01.jpg\" width=\"1\">" + filler + "\r\n" +
                    "<img src=\"images/a_02.jpg\" width=\"2\">\r\n" + "<img src=\"" + filler +
                    "_03.jpg\" width=\"3\">" + filler + "\r\n" +
                    "<img src=\"images/a_04.jpg\" width=\"4\">";
  RegexObject regex;
  EXPECT_TRUE(regex.Search(kSource, page));
  ASSERT_EQ(regex.MatchCount(), 4);
  EXPECT_EQ(regex.SubMatchText(1, 1), "images/a_01.jpg");
  EXPECT_EQ(regex.SubMatchText(2, 1), "images/a_02.jpg");
  EXPECT_EQ(regex.SubMatchText(3, 1), filler + "_03.jpg");
  EXPECT_EQ(regex.SubMatchText(4, 1), "images/a_04.jpg");
}

}  // namespace
}  // namespace qm
