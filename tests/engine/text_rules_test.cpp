#include "base/text_rules.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using Lines = std::vector<Text>;

TEST(Find, PositionsAreOneBasedAndStartIsClamped) {
  EXPECT_EQ(Find("abcabc", "c", 1), 3);
  EXPECT_EQ(Find("abcabc", "c", 4), 6);
  EXPECT_EQ(Find("abcabc", "c", -5), 3);
  EXPECT_EQ(Find("abcabc", "c", 7), kNotFound) << "start beyond the text";
  EXPECT_EQ(Find("abc", "", 1), kNotFound);
  EXPECT_EQ(Find("", "a", 1), kNotFound);
  EXPECT_EQ(Find("abc", "abcd", 1), kNotFound);
  EXPECT_EQ(Find("aaab", "aab", 1), 2) << "needs the fallback of a partial match";
}

TEST(Find, IsCaseSensitiveAndFindFoldedIsNot) {
  EXPECT_EQ(Find("<TABLE><table", "<table", 1), 8);
  EXPECT_EQ(FindFolded("<TABLE><table", "<table", 1), 1);
}

TEST(Find, NeverStartsOnASecondByte) {
  // "\xb0\xa1" is one character; "\xa1\xb0" only exists across two.
  const Text text = "\xb0\xa1\xb0\xa1|\xa1\xb0";
  EXPECT_EQ(Find(text, "\xa1\xb0", 1), 6);
  // The trail byte of a character may be an ASCII letter: "\x81" "A".
  EXPECT_EQ(Find("\x81"
                 "AB",
                 "AB", 1),
            kNotFound);
  EXPECT_EQ(Find("\x81"
                 "AAB",
                 "AB", 1),
            3);
  // Stepping starts at `start`, so a start on a trail byte reads it anew.
  EXPECT_EQ(Find("\x81"
                 "AB",
                 "AB", 2),
            2);
}

TEST(ReplaceFirst, FoldsAsciiLettersOnly) {
  EXPECT_EQ(ReplaceFirst("<IMG SRC=images/A_01.JPG>", "images/a_01.jpg", "http://x/1.jpg"),
            "<IMG SRC=http://x/1.jpg>");
  EXPECT_EQ(ReplaceFirst("a_01 a_01", "A_01", "X"), "X a_01") << "first occurrence only";
  // A trail byte that is a letter folds too: "\x81" "a" matches "\x81" "A".
  EXPECT_EQ(ReplaceFirst("x\x81"
                         "a",
                         "\x81"
                         "A",
                         "y"),
            "xy");
  // Non-letters are compared exactly: '@' (0x40) is not '`' (0x60).
  EXPECT_EQ(ReplaceFirst("`", "@", "y"), "`");
  EXPECT_EQ(ReplaceFirst("abc", "", "y"), "abc");
  EXPECT_EQ(ReplaceFirst("", "a", "y"), "");
  EXPECT_EQ(ReplaceFirst("图片_01.jpg", "图片_01.jpg", "图"), "图");
}

TEST(ReplaceAll, ByteExactWithoutOverlap) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("aAa", "a", "x"), "xAx");
  EXPECT_EQ(ReplaceAll("abab", "ab", "abab"), "abababab") << "never rescans a replacement";
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("#引号x#引号", "#引号", "\""), "\"x\"");
  // Only the character-aligned occurrence is replaced.
  EXPECT_EQ(ReplaceAll("\xb0\xa1\xb0|\xa1\xb0", "\xa1\xb0", "-"), "\xb0\xa1\xb0|-");
}

TEST(WithWindowsLineEnds, EveryBreakBecomesCrLf) {
  EXPECT_EQ(WithWindowsLineEnds(Text("a\nb\rc\r\nd\n\re\r\r\n")),
            "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n\r\n");
  EXPECT_EQ(WithWindowsLineEnds(Text("")), "");
  EXPECT_EQ(WithWindowsLineEnds(std::u16string(u"链接\n链接")), u"链接\r\n链接");
}

TEST(SplitLines, KeepsEmptyPiecesButNoEmptyRemainder) {
  EXPECT_EQ(SplitLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n\r\n"), (Lines{"a", "", ""})) << "k breaks give k-1 empties";
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("\r\n"), Lines{""});
  EXPECT_EQ(SplitLines("a\nb\rc"), Lines{"a\nb\rc"}) << "bare LF and CR do not separate";
  EXPECT_EQ(SplitLines(" a \r\n"), Lines{" a "}) << "nothing is trimmed";
  // A CR that is the second byte of a (broken) character is not a separator.
  EXPECT_EQ(SplitLines("x\x81\r\ny"), Lines{"x\x81\r\ny"});
}

TEST(TextBetween, CutsBetweenMarkers) {
  EXPECT_EQ(TextBetween("x<table a>b</table>c", "<table", "</table>"), " a>b");
  EXPECT_EQ(TextBetween("<table></table>", "<table", "</table>"), ">");
  EXPECT_EQ(TextBetween("<table</table>", "<table", "</table>"), "");
  EXPECT_EQ(TextBetween("<TABLE>b</TABLE>", "<table", "</table>"), "");
  EXPECT_EQ(TextBetween("<TABLE>b</TABLE>", "<table", "</table>", 0, true), ">b");
  EXPECT_EQ(TextBetween("<table>b", "<table", "</table>"), "");
  EXPECT_EQ(TextBetween("</table><table>", "<table", "</table>"), "")
      << "the end marker is searched behind the start marker";
  EXPECT_EQ(TextBetween("a\"b\"c", "#引号", "#引号"), "b");
  EXPECT_EQ(TextBetween("[1][2]", "[", "]", 3), "2");
}

TEST(TextBetween, NestedTableEndsAtTheInnerEnd) {
  const Text code = "<table><tr><td><table><tr><td>in</td></tr></table>after</td></tr></table>";
  EXPECT_EQ(TextBetween(code, "<table", "</table>"), "><tr><td><table><tr><td>in</td></tr>");
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(Literals, ProgramTextsAreStoredInGbk) {
  EXPECT_EQ(Text("提示："), "\xcc\xe1\xca\xbe\xa3\xba");
  EXPECT_EQ(Text("#引号"), "#\xd2\xfd\xba\xc5");
}

}  // namespace
}  // namespace qm
