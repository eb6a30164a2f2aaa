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

void ExpectWhereTheyStand(std::string_view code, const std::vector<SliceReference>& references) {
  for (const SliceReference& reference : references) {
    EXPECT_EQ(code.substr(reference.offset, reference.source.size()), reference.source);
  }
}

TEST(Scanning, FindsEverySliceOfTheCodeWhereItStands) {
  const std::string_view code = kSliceCode;
  const std::vector<SliceReference> references = FindReferences(code);
  EXPECT_EQ(SourcesOf(references),
            (Sources{"images/shop_01.jpg", "images/店铺_02.jpg", "images/after_03.jpg"}));
  ExpectWhereTheyStand(code, references);
}

// What is a slice reference and what is not, in pages shaped as exports
// are: {} holds the sources expected, in document order.
TEST(Scanning, ReferencesAsExportsWriteThem) {
  struct Case {
    const char* name;
    const char* code;
    Sources expected;
  } cases[] = {
      {"two tags on one line",
       R"(<table><img src="a_01.jpg" width="1"><img src="a_02.jpg" width="2"></table>)",
       {"a_01.jpg", "a_02.jpg"}},
      {"width before src, attributes between",
       R"(<img width="20" name="Image5" src="images/x_03.jpg" height="9">)",
       {"images/x_03.jpg"}},
      {"capital names",
       R"(<TABLE><TR><TD><IMG SRC="A_01.JPG" WIDTH=1></TD></TR></TABLE>)",
       {"A_01.JPG"}},
      {"no width, but a slice number",
       R"(<div><img src="a_01.jpg"><img src="a_b.jpg"><img src="top_r2_c3.gif"></div>)",
       {"a_01.jpg", "top_r2_c3.gif"}},
      {"numbers that are no slice number",
       R"(<img src="bg_750x30.png"><img src="x_1234.jpg"><img src="x-01.jpg">)"
       R"(<img src="x_01-over.jpg"><img src="x_r1_c2_f2.gif"><img src="x_01.gif.bak">)",
       {}},
      {"background cells numbered with the images",
       "<table background=\"images/i_01.jpg\"><tr><td background='images/i_02.jpg' "
       "width=\"9\"><img src=\"images/i_03.jpg\" width=\"9\"></td>\r\n<TD BACKGROUND=images/"
       "i_04.jpg><img src=\"images/spacer.gif\" width=\"1\"></TD><th background=\"images/"
       "bg.gif\"></th></tr></table>",
       {"images/i_01.jpg", "images/i_02.jpg", "images/i_03.jpg", "images/i_04.jpg"}},
      {"a cell's background and its image in one tag's order",
       R"(<td background="x_r1_c1.jpg"><input type="IMAGE" src="x_r1_c2.jpg"></td>)"
       R"(<input src="x_r1_c3.jpg" width=1><body background="x_r1_c4.jpg">)",
       {"x_r1_c1.jpg", "x_r1_c2.jpg", "x_r1_c4.jpg"}},
      {"nested tables and tables one after another",
       "<table><tr><td><table><tr><td><img src=\"n_01.jpg\" width=1></td></tr></table>"
       "<img src=\"n_02.jpg\" width=1></td></tr></table><p>text</p>\r\n<table><tr><td>"
       "<img src=\"n_03.jpg\" width=1></td></tr></table><img src=\"n_04.jpg\" width=1>",
       {"n_01.jpg", "n_02.jpg", "n_03.jpg", "n_04.jpg"}},
      {"a tag wrapped over lines, single quotes and none",
       "<img\r\n  src='w_01.jpg'\r\n  width=\"16\"><img width=16 alt='a > b' SRC=w_02.jpg>",
       {"w_01.jpg", "w_02.jpg"}},
      {"web addresses are uploads already",
       R"(<img src="http://h/a_01.jpg" width=1><img src="HTTPS://h/a_02.jpg" width=1>)"
       R"(<img src="//h/a_03.jpg" width=1><td background="data:image/gif;base64,R0_01.gif">)",
       {}},
      {"no tags inside scripts and styles, nor in attributes of other tags",
       "<script>if (a<img.length) document.write('<img src=\"s_01.jpg\" width=1>');</script>"
       "<STYLE>p<img src=\"s_02.jpg\" width=1></STYLE><img data-src=\"s_03.jpg\" src=\"s_04.jpg\" "
       "width=1><a href=\"s_05.jpg\" width=1><img src=\"s_06.jpg\" width=1>",
       {"s_04.jpg", "s_06.jpg"}},
      {"the value ends at its quote, and holds no line break",
       "<img src=\"a_01.jpg\r\n\" width=1><img src=\"\" width=1><img src=\"s.gif\" width=1>",
       {}},
      {"a tag never closed", R"(<img src="open_01.jpg)", {"open_01.jpg"}},
  };
  for (const Case& c : cases) {
    const std::vector<SliceReference> references = FindReferences(c.code);
    EXPECT_EQ(SourcesOf(references), c.expected) << c.name;
    ExpectWhereTheyStand(c.code, references);
  }
}

TEST(Scanning, SliceNumbersStandRightBeforeTheExtension) {
  struct Case {
    const char* path;
    bool number, row_column;
  } cases[] = {
      {"images/shop_01.jpg", true, false},
      {"images\\店铺_001.png?v=2", true, false},
      {"x_07.JPEG#top", true, false},
      {"index_r1_c1.gif", true, true},
      {"Index_R12_C3.Jpg", true, true},
      {"index_r1_c1_f2.gif", false, false},
      {"x_1.jpg", false, false},
      {"x_1234.jpg", false, false},
      {"shop01.jpg", false, false},
      {"x_01.7z", false, false},
      {"x_01.", false, false},
      {"06_01.首页/logo.jpg", false, false},
      {"_01.gif", true, false},
      // 綺 is BE 5F in GBK: its second byte is an underscore's, which it is not.
      {"\xBE\x5F"
       "01.jpg",
       false, false},
      {"x\xBE\x5F"
       "r1_c2.jpg",
       false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CarriesSliceNumber(c.path), c.number) << c.path;
    EXPECT_EQ(IsRowColumnName(c.path), c.row_column) << c.path;
  }
}

// One slice file, however many references name it and however they write
// its path: "\" for "/", letters in any case.
TEST(Scanning, ReferencesToOneFileAreOneSliceFile) {
  const Text code =
      "<td background=\"images/x_02.jpg\"><img src=\"images/x_02.jpg\" width=1></td>"
      "<img src=\"images/x_01.jpg\" width=1><img src=\"IMAGES\\X_02.JPG\" width=1>"
      "<img src=\"images/x_01.jpg?v=2\" width=1>";
  const SliceCodeReading reading = ReadSliceCode(code);
  ASSERT_EQ(reading.files.size(), 3u);
  EXPECT_EQ(reading.files[0].source, "images/x_02.jpg");
  EXPECT_EQ(reading.files[0].references, (std::vector<std::size_t>{0, 1, 3}));
  EXPECT_EQ(reading.files[1].source, "images/x_01.jpg");
  EXPECT_EQ(reading.files[2].source, "images/x_01.jpg?v=2") << "a query names another file";
  EXPECT_EQ(reading.references[0].kind, ReferenceKind::kBackground);
  EXPECT_EQ(WithFileContents(code, reading, {"L2", "L1"}),
            "<td background=\"L2\"><img src=\"L2\" width=1></td><img src=\"L1\" width=1>"
            "<img src=\"L2\" width=1><img src=\"images/x_01.jpg?v=2\" width=1>");
  EXPECT_EQ(WithFileContents(code, reading, {}), code);
}

// Every other place that names a slice file as a whole value gets the
// file's text: {1} and {2} stand for the two slices' paths, then for
// their links.
TEST(Scanning, EveryPlaceThatNamesASliceFileGetsItsText) {
  struct Case {
    const char* name;
    const char* code;
  } cases[] = {
      {"a rollover script and its preload",
       "<script>MM_preloadImages('{2}','images/x_02-over.jpg');</script>\r\n<a href=\"#\" "
       "onMouseOver=\"MM_swapImage('Image2','','{2}',1)\"><img name=\"Image2\" src=\"{1}\" "
       "width=\"9\"></a><img src=\"{2}\" width=\"9\">"},
      {"an action attribute and a link to the image",
       "<csaction name=\"s\" class=\"Swap Image\" val1=\"{1}\" val2='{2}'>\r\n<a href={1}>"
       "<img src=\"{1}\" width=\"9\"></a><img src=\"{2}\" width=\"9\">"},
      {"style rules, the path in other letters",
       "<style>td.a { background: url( {1} ) } td.b { background: url(\"{2}\") }</style>"
       "<td style=\"background-image:url({1})\"><img src=\"{1}\" width=1><img src=\"{2}\" "
       "width=1></td>"},
  };
  for (const Case& c : cases) {
    const Text code =
        ReplaceAll(ReplaceAll(c.code, "{1}", "images/x_01.jpg"), "{2}", "images/x_02.jpg");
    const SliceCodeReading reading = ReadSliceCode(code);
    ASSERT_EQ(reading.files.size(), 2u) << c.name;
    EXPECT_EQ(WithFileContents(code, reading, {"http://h/1.jpg", "http://h/2.jpg"}),
              ReplaceAll(ReplaceAll(c.code, "{1}", "http://h/1.jpg"), "{2}", "http://h/2.jpg"))
        << c.name;
  }
  // The path in other letters and with the other slash is the same file.
  const Text folded = "<a href='IMAGES\\x_01.JPG'><img src=\"images/x_01.jpg\" width=1></a>";
  EXPECT_EQ(WithFileContents(folded, ReadSliceCode(folded), {"L"}),
            "<a href='L'><img src=\"L\" width=1></a>");
}

TEST(Scanning, OnlyWholeValuesNameTheFile) {
  const Text code =
      "<a href=\"big/images/x_01.jpg\" title=\"images/x_01.jpg.bak\" alt=\"see images/x_01.jpg\">"
      "<!-- images/x_01.jpg --><img src=\"images/x_01.jpg\" width=1 alt=\"images/x_01.jpg\">"
      "<p>'images/x_01.jpg ' (images/x_01.jpg)</p>";
  const SliceCodeReading reading = ReadSliceCode(code);
  ASSERT_EQ(reading.places.size(), 2u);
  EXPECT_EQ(WithFileContents(code, reading, {"L"}),
            "<a href=\"big/images/x_01.jpg\" title=\"images/x_01.jpg.bak\" alt=\"see "
            "images/x_01.jpg\"><!-- images/x_01.jpg --><img src=\"L\" width=1 alt=\"L\">"
            "<p>'images/x_01.jpg ' (L)</p>");
}

// A rollover's state is "_f" and one or two digits, or "-" and two to ten
// letters, right before the extension; the slice it is a state of is the
// path without it.
TEST(Scanning, RolloverStatesStandRightBeforeTheExtension) {
  struct Case {
    const char* path;
    const char* slice;
  } cases[] = {
      {"images/index_r2_c2_f2.jpg", "images/index_r2_c2.jpg"},
      {"images/shop_03_F12.gif", "images/shop_03.gif"},
      {"images\\shop_03-over.gif", "images\\shop_03.gif"},
      {"店铺_04-Down.png", "店铺_04.png"},
      {"images/shop_03_f123.gif", ""},
      {"images/shop_03-o.gif", ""},
      {"images/shop_03-overandoutnow.gif", ""},
      {"images/shop_03-over2.gif", ""},
      {"images/shop_03.gif", ""},
      {"images/shop-over", ""},
      {"images.over/shop_03", ""},
      {"-over.jpg", ""},
      {"images/_f2.jpg", ""},
      {"images/12.jpg", ""},
      {"images/f2.jpg", ""},
      // 綺 is BE 5F in GBK: its second byte is an underscore's, which it is not.
      {"x\xBE\x5F"
       "f2.jpg",
       ""},
  };
  for (const Case& c : cases) EXPECT_EQ(RolloverSlicePath(c.path), c.slice) << c.path;
}

// Rollover pictures are named by scripts, actions and style rules only, after
// a slice file of the code: {} holds the ones expected, in the order they are
// first named. The slices are images/x_01.jpg and images/x_02.gif.
TEST(Scanning, RolloverPicturesAreNamedAfterASliceFile) {
  struct Case {
    const char* name;
    const char* code;
    Sources expected;
  } cases[] = {
      {"frames of a row and column export's swap and preload",
       "<body onLoad=\"MM_preloadImages('images/x_02_f2.gif','images/x_01_f2.jpg')\">"
       "<a onMouseOver=\"MM_swapImage('a','','images/x_01_f2.jpg',1)\">",
       {"images/x_02_f2.gif", "images/x_01_f2.jpg"}},
      {"states of an image editor's rollover, in other letters",
       "<script>over = newImage(\"images/x_01-over.jpg\"); down = "
       "newImage('IMAGES\\X_01-OVER.JPG');</script><csaction val1=\"images/x_02-down.gif\">",
       {"images/x_01-over.jpg", "images/x_02-down.gif"}},
      {"a style rule's hover",
       "<style>td.a:hover { background: url( images/x_01-over.jpg ) }</style>",
       {"images/x_01-over.jpg"}},
      {"no such slice, another extension, another folder, part of a value",
       "<a href=\"images/x_03_f2.jpg\" title='images/x_01_f2.png'>"
       "<a href=\"big/images/x_01_f2.jpg\" alt=\"see images/x_01_f2.jpg\">",
       {}},
      {"a state that is a slice of its own",
       "<img src=\"images/x_01_f2.jpg\" width=9><a href='images/x_01_f2.jpg'>",
       {}},
      {"a web address", "<a href=\"http://h/images/x_01_f2.jpg\">", {}},
  };
  for (const Case& c : cases) {
    const Text code =
        Text(c.code) + "<img src=\"images/x_01.jpg\" width=9><img src=\"images/x_02.gif\" width=9>";
    const SliceCodeReading reading = ReadSliceCode(code);
    Sources found;
    for (const RolloverFile& rollover : reading.rollovers) {
      found.push_back(rollover.source);
      EXPECT_EQ(SameFileKey(RolloverSlicePath(rollover.source)),
                SameFileKey(reading.files[rollover.slice].source))
          << c.name;
    }
    EXPECT_EQ(found, c.expected) << c.name;
  }
}

// A rollover picture takes the text that follows the slice files' texts, at
// every place it is named; without one it keeps its path.
TEST(Scanning, RolloverPicturesGetTheirOwnText) {
  const Text code =
      "<a onMouseOver=\"MM_swapImage('a','','images/x_02_f2.jpg',1)\">"
      "<img src=\"images/x_01.jpg\" width=9></a><img src=\"images/x_02.jpg\" width=9>"
      "<script>MM_preloadImages('images/x_02_F2.JPG','images/x_01_f2.jpg')</script>";
  const SliceCodeReading reading = ReadSliceCode(code);
  ASSERT_EQ(reading.files.size(), 2u);
  ASSERT_EQ(reading.rollovers.size(), 2u);
  EXPECT_EQ(reading.rollovers[0].slice, 1u);
  EXPECT_EQ(reading.rollovers[1].slice, 0u);
  EXPECT_EQ(WithFileContents(code, reading, {"L1", "L2", "R2", "R1"}),
            "<a onMouseOver=\"MM_swapImage('a','','R2',1)\"><img src=\"L1\" width=9></a>"
            "<img src=\"L2\" width=9><script>MM_preloadImages('R2','R1')</script>");
  EXPECT_EQ(WithFileContents(code, reading, {"L1", "L2"}),
            "<a onMouseOver=\"MM_swapImage('a','','images/x_02_f2.jpg',1)\"><img src=\"L1\" "
            "width=9></a><img src=\"L2\" width=9><script>MM_preloadImages('images/x_02_F2.JPG',"
            "'images/x_01_f2.jpg')</script>");
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

  // Lists copied from a chat window or a file written elsewhere.
  const LinkLines mixed = ReadLinkLines(
      "http://h/1.jpg\nhttp://h/2.jpg\rhttp://h/3.jpg\r\n\n"
      "http://h/4.jpg\n\r\nx\n");
  std::vector<Text> links;
  std::vector<std::size_t> numbers;
  for (const LinkLine& line : mixed.links) {
    links.push_back(line.link);
    numbers.push_back(line.line);
  }
  EXPECT_EQ(links, (std::vector<Text>{"http://h/1.jpg", "http://h/2.jpg", "http://h/3.jpg",
                                      "http://h/4.jpg"}));
  EXPECT_EQ(numbers, (std::vector<std::size_t>{0, 1, 2, 4}));
  EXPECT_EQ(mixed.not_links, 1);
}

TEST(Scanning, WithoutLinesTakesWholeLinesAndNothingElse) {
  const Text list = "http://h/a.jpg_400x400.jpg\r\n  http://h/a.jpg  \r\nhttp://h/B.jpg\r\nlast";
  EXPECT_EQ(WithoutLines(list, {1}), "http://h/a.jpg_400x400.jpg\r\nhttp://h/B.jpg\r\nlast");
  EXPECT_EQ(WithoutLines(list, {0, 3}), "  http://h/a.jpg  \r\nhttp://h/B.jpg\r\n");
  EXPECT_EQ(WithoutLines(list, {}), list);
  EXPECT_EQ(WithoutLines("a\r\n\r\nb\r\n", {0, 2}), "\r\n");
  EXPECT_EQ(WithoutLines("a\nb\rc\r\nd", {0, 2}), "b\rd");
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
