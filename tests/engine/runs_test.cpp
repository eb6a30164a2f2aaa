#include "engine/runs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>

#include "app/usage_texts.h"
#include "base/text_rules.h"
#include "engine/memory_window.h"
#include "engine/scanning.h"
#include "fake_host.h"
#include "host/fetch.h"
#include "image/image_key.h"
#include "support/loopback_server.h"
#include "support/test_images.h"

namespace qm {
namespace {

using test::FakeHost;
using test::PatternBmp;

Text Img(const Text& src) {
  return "\t\t<img src=\"" + src + "\" width=\"750\" height=\"100\" alt=\"\"></td>\r\n";
}

Text SliceCode(const std::vector<Text>& sources) {
  Text code = "<html>\r\n<table id=\"__01\" width=\"750\" border=\"0\">\r\n";
  for (const Text& s : sources) code += "\t<tr>\r\n\t\t<td>\r\n" + Img(s) + "\t</tr>\r\n";
  return code + "</table>\r\n</html>\r\n";
}

Text FillExport(const char* page, const Text& first, const Text& second) {
  return ReplaceAll(ReplaceAll(page, "{1}", first), "{2}", second);
}

class RunsTest : public ::testing::Test {
 protected:
  // Presses the button and waits for the run, as the command-line tool does.
  PressResult Press(SmartRunOptions options = {}) {
    ReplaceCommand command(window, host, std::move(options));
    PressResult result = command.ReplaceAndCopy();
    command.WaitForRun();
    return result;
  }
  // Slice k of the design: a local file under the stem and its uploaded copy.
  void AddSlice(const Text& suffix, std::uint64_t pattern, const Text& link) {
    Bytes image = PatternBmp(16, 8, pattern);
    host.files["D:\\店铺\\images\\shop_" + suffix] = image;
    if (!link.empty()) host.links[link] = image;
  }
  Text Code() { return window.EditText(EditBox::kSliceCode); }
  Text Links() { return window.EditText(EditBox::kLinkList); }
  Text Status() { return window.StatusText(kStatusMessagePart); }

  MemoryWindow window;
  FakeHost host;
};

// --- The press and its checks -------------------------------------------

TEST_F(RunsTest, SliceCodeWithout01IsRefusedBeforeTheLinksAreLookedAt) {
  window.SetEditText(EditBox::kSliceCode, "");
  window.SetEditText(EditBox::kLinkList, "no links");
  EXPECT_EQ(Press(), PressResult::kBadSliceCode);
  EXPECT_EQ(Status(), "软件无法识别切片代码，请检查上面的代码是否为切片代码...");
  EXPECT_EQ(Links(), "no links");
}

// Slice code holds "01." or names a slice another way: row and column
// names, an export reworked until it lost slice 01.
TEST_F(RunsTest, SliceCodeIsKnownByItsSlices) {
  window.SelectRadio(RadioBox::kByNumber);
  struct Case {
    const char* code;
    PressResult result;
  } cases[] = {
      {"<table><tr><td><img src=\"images/index_r1_c1.gif\" width=\"9\"></td></tr></table>",
       PressResult::kStarted},
      {"<td background=\"images/shop_07.jpg\"><img src=\"images/shop_08.jpg\">",
       PressResult::kStarted},
      {"<p>01. Spring sale</p>", PressResult::kStarted},
      {"<img src=\"images/logo.gif\"><a href=\"images/x_07.jpg\">x_07.jpg</a>",
       PressResult::kBadSliceCode},
  };
  for (const Case& c : cases) {
    window.SetEditText(EditBox::kSliceCode, c.code);
    window.SetEditText(EditBox::kLinkList, "http://h/1.jpg");
    EXPECT_EQ(Press(), c.result) << c.code;
  }
}

// A character the box shows but its GBK text cannot hold would leave the
// run as "?": the press is refused, naming the box and the character, and
// nothing changes.
TEST_F(RunsTest, TextGbkCannotHoldIsRefused) {
  window.SelectRadio(RadioBox::kByNumber);
  struct Case {
    EditBox box;
    UnheldCharacter character;
    const char* status;
  } cases[] = {
      {EditBox::kSliceCode,
       {2, 0x1F600},
       "切片代码框第 2 行含有 GBK 无法表示的字符（U+1F600），未替换：请删去或换掉这个字符后再试"},
      {EditBox::kLinkList,
       {1, 0x2764},
       "已上传的图片链接框第 1 行含有 GBK 无法表示的字符（U+2764），未替换：请删去或换掉这个字符后"
       "再试"},
  };
  for (const Case& c : cases) {
    const Text code = SliceCode({"images/s_01.jpg"});
    window.SetEditText(EditBox::kSliceCode, code);
    window.SetEditText(EditBox::kLinkList, "http://h/1.jpg");
    window.SetUnheldCharacter(c.box, c.character);
    EXPECT_EQ(Press(), PressResult::kUnheldText);
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(Code(), code);
    EXPECT_EQ(Links(), "http://h/1.jpg");
    EXPECT_EQ(host.clipboard, "(untouched)");
  }
}

TEST_F(RunsTest, LinksNeedAWebSchemeInAnyLetterCase) {
  window.SelectRadio(RadioBox::kByNumber);
  window.SetEditText(EditBox::kSliceCode, SliceCode({"images/a_01.jpg"}));
  for (const char* links : {"", "ftp://h/1.jpg", "//h/1.jpg", kSmartUsageText}) {
    window.SetEditText(EditBox::kLinkList, links);
    EXPECT_EQ(Press(), PressResult::kBadLinks) << links;
    EXPECT_EQ(Status(), "已上传的图片链接 有误，请复制链接，不是复制代码哦...");
    EXPECT_EQ(Links(), links);
  }
  for (const char* links : {"https://h/1.jpg\r\nhttps://h/2.jpg", "HTTP://H/1.JPG", "hTtPs://h"}) {
    window.SetEditText(EditBox::kSliceCode, SliceCode({"images/a_01.jpg"}));
    window.SetEditText(EditBox::kLinkList, links);
    EXPECT_EQ(Press(), PressResult::kStarted) << links;
  }
}

TEST_F(RunsTest, EveryPassingPressAppendsALineBreakEvenWithoutAMode) {
  window.SetEditText(EditBox::kSliceCode, "prose with 01. in it");
  window.SetEditText(EditBox::kLinkList, "http://h/1.jpg");
  window.DeselectRadios();
  EXPECT_EQ(Press(), PressResult::kNoMode);
  EXPECT_EQ(Press(), PressResult::kNoMode);
  EXPECT_EQ(Links(), "http://h/1.jpg\r\n\r\n");
  EXPECT_EQ(host.clipboard, "(untouched)");
}

TEST_F(RunsTest, APressDuringARunChangesNothingAndTheWindowKnowsOfTheRun) {
  window.SelectRadio(RadioBox::kSmart);
  window.SetEditText(EditBox::kSliceCode, SliceCode({"images/a_01.jpg"}));
  window.SetEditText(EditBox::kImagePath, "D:\\s\\a_01.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/slow.jpg");
  host.BlockOn("http://h/slow.jpg");

  ReplaceCommand command(window, host);
  ASSERT_EQ(command.ReplaceAndCopy(), PressResult::kStarted);
  EXPECT_TRUE(window.RunActive());
  while (host.FetchCount() == 0) std::this_thread::yield();  // the run waits in the download
  const Text code = Code();
  const Text links = Links();
  EXPECT_TRUE(command.RunInProgress());
  EXPECT_EQ(command.ReplaceAndCopy(), PressResult::kBusy);
  EXPECT_EQ(Status(), "正在处理，请稍候...");
  EXPECT_EQ(Code(), code);
  EXPECT_EQ(Links(), links);

  host.Release();
  command.WaitForRun();
  EXPECT_FALSE(command.RunInProgress());
  EXPECT_FALSE(window.RunActive());
  EXPECT_EQ(Status(), "处理完成...共替换了：0 张图片....并已复制处理结果...");
}

// --- By number -----------------------------------------------------------

class ByNumberTest : public RunsTest {
 protected:
  void SetUp() override { window.SelectRadio(RadioBox::kByNumber); }
  void Run(const std::vector<Text>& sources, const Text& links) {
    window.SetEditText(EditBox::kSliceCode, SliceCode(sources));
    window.SetEditText(EditBox::kLinkList, links);
    ASSERT_EQ(Press(), PressResult::kStarted);
  }
};

TEST_F(ByNumberTest, PairsInOrderAndEmptiesTheLinkBox) {
  window.SetEditText(EditBox::kSliceCode, SliceCode({"images/s_01.jpg", "images/spacer.gif",
                                                     "images/s_02.jpg", "images/s_03.jpg"}));
  window.SetEditText(EditBox::kLinkList, "http://h/L1.jpg\r\nhttp://h/L2.jpg\r\nhttp://h/L3.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), SliceCode({"http://h/L1.jpg", "images/spacer.gif", "http://h/L2.jpg",
                               "http://h/L3.jpg"}));
  EXPECT_EQ(Links(), "");
  EXPECT_EQ(window.WorkList(),
            (std::vector<Text>{"images/s_01.jpg", "images/s_02.jpg", "images/s_03.jpg"}));
  EXPECT_EQ(host.clipboard, Code());
  EXPECT_EQ(Status(), "替换完成并已复制...");
}

// How the link list is read: what a link is, what is passed over, what the
// status says and what stays in the box.
TEST_F(ByNumberTest, LinkLinesAsUsersPasteThem) {
  const Text L1 = "http://h/1.jpg", L2 = "https://h/2.jpg", L3 = "//h/3.jpg";
  struct Case {
    const char* name;
    Text list;
    std::vector<Text> sources;  // what the three slices hold afterwards
    Text left;                  // the link box afterwards
    Text status;
  } cases[] = {
      {"https links", L2 + "\r\n" + L2 + "\r\n" + L2, {L2, L2, L2}, "", "替换完成并已复制..."},
      {"blank lines and blanks around links",
       L1 + "\r\n\r\n  " + L2 + " \t\r\n\t\r\n\xA1\xA1" + L3 + "\xA1\xA1\r\n",
       {L1, L2, L3},
       "\r\n\t\r\n\r\n",
       "替换完成并已复制..."},
      {"the usage text left above the links",
       Text(kByNumberUsageText) + "\r\n" + L1 + "\r\n" + L2 + "\r\n" + L3,
       {L1, L2, L3},
       Text(kByNumberUsageText) + "\r\n",
       "替换完成并已复制...（8 行不是链接，已跳过）"},
      {"one link short, the list ending in line breaks",
       L1 + "\r\n" + L2 + "\r\n\r\n",
       {L1, L2, "images/s_03.jpg"},
       "\r\n\r\n",
       "已复制，但链接少了 1 个，最后 1 "
       "张图片未替换；中间缺一张上传会让其后每张都配错，请核对或改用按智能"},
      {"one link and a line that is none",
       "<img src=\"" + L1 + "\">\r\n" + L2,
       {L2, "images/s_02.jpg", "images/s_03.jpg"},
       "<img src=\"" + L1 + "\">\r\n",
       "已复制，但链接少了 2 个，最后 2 "
       "张图片未替换；中间缺一张上传会让其后每张都配错，请核对或改用按智能（1 "
       "行不是链接，已跳过）"},
      {"lines ending in a lone LF or CR, as copied from elsewhere",
       L1 + "\n" + L2 + "\r" + L3 + "\n",
       {L1, L2, L3},
       "\r\n",
       "替换完成并已复制..."},
  };
  for (const Case& c : cases) {
    Run({"images/s_01.jpg", "images/s_02.jpg", "images/s_03.jpg"}, c.list);
    EXPECT_EQ(Code(), SliceCode(c.sources)) << c.name;
    EXPECT_EQ(Links(), c.left) << c.name;
    EXPECT_EQ(Status(), c.status) << c.name;
    EXPECT_EQ(host.clipboard, Code()) << c.name;
  }
}

TEST_F(ByNumberTest, AUsedLinkTakesItsWholeLineAndNothingElse) {
  Run({"images/s_01.jpg"}, "http://h/a.jpg_400x400.jpg\r\n  HTTP://h/A.jpg  ");
  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg_400x400.jpg"}));
  EXPECT_EQ(Links(), "  HTTP://h/A.jpg  \r\n");
  Run({"images/s_01.jpg", "images/s_02.jpg"}, "x\r\nhttp://h/1.jpg\r\ny\r\nhttp://h/2.jpg\r\nz");
  EXPECT_EQ(Links(), "x\r\ny\r\nz\r\n");
}

// Each reference is replaced where the scan found it, and every other
// place that names its file as a whole value with it; {1} and {2} stand for
// the two slices' paths, then for their links.
TEST_F(ByNumberTest, EveryPlaceOfASliceFileTakesItsLink) {
  struct Case {
    const char* name;
    const char* code;
  } cases[] = {
      {"the path earlier in a style rule and a link, and in a comment",
       "<style>td { background: url({1}) }</style><a href=\"{1}\">"
       "<!-- images/s_01.jpg -->\r\n<table>\r\n<tr><td><img src=\"{1}\" width=\"9\"></td></tr>\r\n"
       "<tr><td><img src=\"{2}\" width=\"9\"></td></tr>\r\n</table>"},
      {"two tags on one line",
       "<table>\r\n<tr><td><img src=\"{1}\" width=\"1\"></td><td><img src=\"{2}\" "
       "width=\"2\"></td></tr>\r\n</table>"},
      {"an attribute between src and width",
       "<table><tr><td><img src=\"{1}\" name=\"Image5\" width=\"9\"></td>\r\n"
       "<td><img src=\"{2}\" width=\"9\"></td></tr></table>"},
  };
  // A link holding another reference's text is taken as it is.
  const Text first = "http://h/images/s_02.jpg", second = "http://h/2.jpg";
  for (const Case& c : cases) {
    window.SetEditText(EditBox::kSliceCode,
                       FillExport(c.code, "images/s_01.jpg", "images/s_02.jpg"));
    window.SetEditText(EditBox::kLinkList, first + "\r\n" + second);
    ASSERT_EQ(Press(), PressResult::kStarted);
    EXPECT_EQ(Code(), FillExport(c.code, first, second)) << c.name;
  }
}

// By number, the k-th link goes to the k-th slice file: a file named twice
// takes one link, and the links say what is left over.
TEST_F(ByNumberTest, OneLinkASliceFile) {
  const Text L1 = "http://h/1.jpg", L2 = "http://h/2.jpg", L3 = "http://h/3.jpg";
  struct Case {
    const char* name;
    std::vector<Text> sources;
    Text links;
    std::vector<Text> expected;
    Text left, status;
    int slices;
  } cases[] = {
      {"a file in two cells",
       {"images/s_01.jpg", "images/s_02.jpg", "images/s_01.jpg", "images/s_03.jpg"},
       L1 + "\r\n" + L2 + "\r\n" + L3,
       {L1, L2, L1, L3},
       "",
       "替换完成并已复制...",
       3},
      {"the same file written another way",
       {"images/s_01.jpg", "IMAGES\\S_01.JPG", "images/s_02.jpg"},
       L1 + "\r\n" + L2,
       {L1, L1, L2},
       "",
       "替换完成并已复制...",
       2},
      {"more links than files",
       {"images/s_01.jpg", "images/s_01.jpg"},
       L1 + "\r\n" + L2 + "\r\n" + L3,
       {L1, L1},
       L2 + "\r\n" + L3 + "\r\n",
       "替换完成并已复制...（2 个链接未使用）",
       1},
      {"fewer links than files",
       {"images/s_01.jpg", "images/s_02.jpg", "images/s_02.jpg", "images/s_03.jpg"},
       L1 + "\r\n" + L2,
       {L1, L2, L2, "images/s_03.jpg"},
       "",
       "已复制，但链接少了 1 个，最后 1 "
       "张图片未替换；中间缺一张上传会让其后每张都配错，请核对或改用按智能",
       3},
  };
  for (const Case& c : cases) {
    Run(c.sources, c.links);
    EXPECT_EQ(Code(), SliceCode(c.expected)) << c.name;
    EXPECT_EQ(Links(), c.left) << c.name;
    EXPECT_EQ(Status(), c.status) << c.name;
    EXPECT_EQ(window.WorkList().size(), static_cast<std::size_t>(c.slices)) << c.name;
  }
}

// A rollover page: each slice with the picture shown while the pointer is
// over it. {1} and {2} stand for the slices, {3} and {4} for their states.
constexpr char kRolloverPage[] =
    "<script>MM_preloadImages('{3}','{4}');</script>\r\n<table>\r\n"
    "<tr><td><a href=\"#\" onMouseOver=\"MM_swapImage('a','','{3}',1)\"><img name=\"a\" "
    "src=\"{1}\" width=\"16\"></a></td></tr>\r\n<tr><td><a href=\"#\" "
    "onMouseOver=\"MM_swapImage('b','','{4}',1)\"><img name=\"b\" src=\"{2}\" "
    "width=\"16\"></a></td></tr>\r\n</table>";

Text FillRolloverPage(const std::vector<Text>& texts) {
  Text page = kRolloverPage;
  for (std::size_t k = 0; k < texts.size(); ++k) {
    // Appended piece by piece: GCC 12 warns falsely on "literal" + text.
    page = ReplaceAll(
        page, Text("{").append(DecimalText(static_cast<long long>(k) + 1)).append("}"), texts[k]);
  }
  return page;
}

const std::vector<Text> kRolloverSources = {"images/shop_01.jpg", "images/shop_02.jpg",
                                            "images/shop_01_f2.jpg", "images/shop_02-over.jpg"};

// A rollover picture has no slice number, so no place in a list of links in
// slice order: it keeps its path, and the run says so instead of success.
TEST_F(ByNumberTest, RolloverPicturesKeepTheirPathsAndTheStatusSaysSo) {
  const Text L1 = "http://h/1.jpg", L2 = "http://h/2.jpg";
  struct Case {
    const char* name;
    Text links;
    std::vector<Text> expected;
    Text status;
  } cases[] = {
      {"a link a slice",
       L1 + "\r\n" + L2,
       {L1, L2, kRolloverSources[2], kRolloverSources[3]},
       "已复制，但 2 张鼠标经过时显示的图片未替换：按序号配不上这些图片，请改用按智能"},
      {"too few links",
       L1,
       {L1, kRolloverSources[1], kRolloverSources[2], kRolloverSources[3]},
       "已复制，但链接少了 1 个，最后 1 张图片未替换；中间缺一张上传会让其后每张都配错，请核对或"
       "改用按智能（另有 2 张鼠标经过时显示的图片未替换）"},
  };
  for (const Case& c : cases) {
    window.SetEditText(EditBox::kSliceCode, FillRolloverPage(kRolloverSources));
    window.SetEditText(EditBox::kLinkList, c.links);
    ReplaceCommand command(window, host);
    ASSERT_EQ(command.ReplaceAndCopy(), PressResult::kStarted);
    command.WaitForRun();
    EXPECT_EQ(Code(), FillRolloverPage(c.expected)) << c.name;
    EXPECT_EQ(Status(), c.status) << c.name;
    EXPECT_EQ(command.LastReport().outcome, RunOutcome::kLeftOver) << c.name;
    EXPECT_EQ(command.LastReport().local_rollovers, 2) << c.name;
    EXPECT_EQ(window.WorkList().size(), 2u) << c.name;
  }
}

// --- Reading the slice code ------------------------------------------------

// Exports as image editors write them: the table scan reads the first two,
// the second reading the others. {1} and {2} stand for the two slices.
struct ExportKind {
  const char* name;
  const char* page;
};
constexpr ExportKind kExports[] = {
    {"table scan",
     "<table id=\"__01\">\r\n<tr><td>\r\n<img src=\"{1}\" width=\"16\" height=\"8\"></td>\r\n"
     "<td>\r\n<img src=\"images/spacer.gif\" width=\"1\" height=\"1\"></td>\r\n<td>\r\n"
     "<img src=\"{2}\" width=\"16\" height=\"8\"></td></tr>\r\n</table>"},
    {"table scan, style above",
     "<style>td { background: url(bg.gif) }</style>\r\n<table>\r\n<tr><td>\r\n"
     "<img src=\"{1}\" width=\"16\">\r\n<img src=\"{2}\" width=\"16\"></td></tr>\r\n</table>"},
    {"capital tags",
     "<TABLE WIDTH=750 BORDER=0>\r\n<TR><TD><IMG SRC=\"{1}\" WIDTH=16 HEIGHT=8></TD></TR>\r\n"
     "<TR><TD><IMG SRC=\"{2}\" WIDTH=16 HEIGHT=8></TD></TR>\r\n</TABLE>"},
    {"slice table inside layout tables",
     "<table width=\"100%\"><tr><td><table><tr><td>Logo</td></tr></table></td></tr>\r\n"
     "<tr><td><table id=\"slices\">\r\n<tr><td><img src=\"{1}\" width=\"16\"></td></tr>\r\n"
     "<tr><td><img src=\"{2}\" width=\"16\"></td></tr>\r\n</table></td></tr></table>"},
    {"images in divs",
     "<div id=\"Table_01\">\r\n\t<div id=\"p-01_\">\r\n\t\t<img id=\"p_01\" src=\"{1}\" "
     "width=\"16\" height=\"8\" alt=\"\" />\r\n\t</div>\r\n\t<div id=\"p-02_\">\r\n\t\t"
     "<img id=\"p_02\" src=\"{2}\" width=\"16\" height=\"8\" alt=\"\" />\r\n\t</div>\r\n</div>"},
    {"wrapped tags, attributes between",
     "<table>\r\n<tr><td><img\r\n  src=\"{1}\"\r\n  tppabs=\"http://x/old/p_1.jpg\" "
     "width=\"16\"\r\n  height=\"8\"></td></tr>\r\n<tr><td><img\r\n  src=\"{2}\"\r\n  "
     "width=\"16\" height=\"8\"></td></tr>\r\n</table>"},
    {"single quotes and none",
     "<table><tr><td><img src='{1}' width=16 alt=''></td>\r\n"
     "<td><img width=16 alt='a > b' SRC={2}></td></tr></table>"},
    {"a cell's background numbered with the images",
     "<table>\r\n<tr><td background=\"{1}\" width=\"16\" height=\"8\">&nbsp;</td>\r\n"
     "<td><img src=\"images/spacer.gif\" width=\"1\" height=\"8\"></td></tr>\r\n"
     "<tr><td colspan=\"2\"><img src=\"{2}\" width=\"16\" height=\"8\"></td></tr>\r\n</table>"},
    {"tables one after another, a table the server wrote inside",
     "<table><tr><td><img src=\"{1}\" width=\"16\"></td></tr></table>\r\n<p>店铺公告</p>\r\n"
     "<table><tr><td><table><tr><td>x</td></tr></table></td></tr>\r\n"
     "<tr><td><img src=\"{2}\" width=\"16\"></td></tr></table>"},
    {"a file in a cell's background, its image and its rollover",
     "<script>MM_preloadImages('{2}');</script>\r\n<table><tr><td background=\"{1}\">"
     "<a href=\"#\" onMouseOver=\"MM_swapImage('i','','{2}',1)\"><img name=\"i\" src=\"{1}\" "
     "width=\"16\"></a></td>\r\n<td style=\"background:url({2})\"><img src=\"{2}\" "
     "width=\"16\"></td></tr></table>"},
};

class ExportReadingTest : public RunsTest {
 protected:
  void SetUp() override {
    AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/L1.jpg");
    AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "http://h/L2.jpg");
  }
  void Run(RadioBox mode, const Text& code) {
    window.SelectRadio(mode);
    window.SetEditText(EditBox::kSliceCode, code);
    window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_02.jpg");
    // Smart runs take the links in any order.
    window.SetEditText(EditBox::kLinkList, mode == RadioBox::kSmart
                                               ? "http://h/L2.jpg\r\nhttp://h/L1.jpg"
                                               : "http://h/L1.jpg\r\nhttp://h/L2.jpg");
    ASSERT_EQ(Press(), PressResult::kStarted);
  }
};

TEST_F(ExportReadingTest, EveryKindIsReplacedCompletelyInBothModes) {
  for (const ExportKind& kind : kExports) {
    for (RadioBox mode : {RadioBox::kByNumber, RadioBox::kSmart}) {
      Run(mode, FillExport(kind.page, "images/shop_01.jpg", "images/shop_02.jpg"));
      const char* mode_name = mode == RadioBox::kSmart ? "smart" : "by number";
      EXPECT_EQ(Code(), FillExport(kind.page, "http://h/L1.jpg", "http://h/L2.jpg"))
          << kind.name << ", " << mode_name;
      EXPECT_EQ(Links(), "") << kind.name << ", " << mode_name;
    }
  }
}

TEST_F(ExportReadingTest, NothingFoundChangesNothingAndCopiesNothing) {
  // "01." passes the press's check, but no image path is in the code; an
  // image without "_" or without a numbered ending is no slice either.
  const Text code =
      "<p>01. Spring sale</p><div><img src='images/logo.gif'>"
      "<img src='images/bg_top.png'></div>";
  for (RadioBox mode : {RadioBox::kByNumber, RadioBox::kSmart}) {
    window.AppendWorkListRow("from before");
    Run(mode, code);
    EXPECT_EQ(Code(), code);
    EXPECT_EQ(Status(), "没有找到切片图片路径，请检查切片代码是否完整...");
    EXPECT_EQ(host.clipboard, "(untouched)");
    EXPECT_EQ(window.WorkList().size(), 1u);
    EXPECT_EQ(window.EditText(EditBox::kImagePath), "D:\\店铺\\images\\shop_02.jpg")
        << "the user need not choose the image again";
    window.ClearWorkList();
  }
  EXPECT_TRUE(host.fetched.empty());
}

// --- Smart -----------------------------------------------------------------

class SmartTest : public RunsTest {
 protected:
  void SetUp() override { window.SelectRadio(RadioBox::kSmart); }

  void Run(const std::vector<Text>& sources, const Text& links) {
    window.SetEditText(EditBox::kSliceCode, SliceCode(sources));
    window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_02.jpg");
    window.SetEditText(EditBox::kLinkList, links);
    ASSERT_EQ(Press(), PressResult::kStarted);
  }
};

TEST_F(SmartTest, PairsByContentWhateverTheLinkOrder) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "http://h/b.jpg");
  AddSlice("03.jpg", 0x3333333333333333ull, "http://h/c.jpg");
  Run({"images/shop_01.jpg", "images/shop_02.jpg", "images/shop_03.jpg"},
      "http://h/c.jpg\r\nhttp://h/b.jpg\r\nhttp://h/a.jpg");

  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "http://h/b.jpg", "http://h/c.jpg"}));
  EXPECT_EQ(Links(), "");
  EXPECT_EQ(host.clipboard, Code());
  EXPECT_EQ(Status(), "处理完成...共替换了：3 张图片....并已复制处理结果...");
  EXPECT_EQ(window.GroupCaption(GroupBox::kSliceCode), "切片代码(共计：3 第图片）");
  EXPECT_EQ(window.GroupCaption(GroupBox::kCommands), "图片路径为:D:\\店铺\\images\\shop_");
  EXPECT_EQ(window.EditText(EditBox::kImagePath), "");
  ASSERT_EQ(window.WorkList().size(), 3u);
  EXPECT_EQ(window.WorkList()[0], ImageKey(host.files["D:\\店铺\\images\\shop_01.jpg"]));
  EXPECT_EQ(host.read.front(), "D:\\店铺\\images\\shop_01.jpg")
      << "only the suffix of a source is used";
}

TEST_F(SmartTest, IdenticalSlicesPairInDocumentOrder) {
  AddSlice("01.jpg", 0xFF00FF00FF00FF00ull, "");
  AddSlice("02.jpg", 0xFF00FF00FF00FF00ull, "");
  host.links["http://h/first.jpg"] = host.files["D:\\店铺\\images\\shop_01.jpg"];
  host.links["http://h/second.jpg"] = host.files["D:\\店铺\\images\\shop_01.jpg"];
  Run({"images/shop_01.jpg", "images/shop_02.jpg"}, "http://h/first.jpg\r\nhttp://h/second.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/first.jpg", "http://h/second.jpg"}));
}

TEST_F(SmartTest, UnmatchedSlicesBecomeNumberedPlaceholdersAndAreListed) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "");
  AddSlice("03.jpg", 0x3333333333333333ull, "");  // its file is missing
  host.files.erase("D:\\店铺\\images\\shop_03.jpg");
  host.links["http://h/other.jpg"] = PatternBmp(16, 8, 0x5555555555555555ull);
  Run({"images/shop_01.jpg", "images/shop_02.jpg", "images/shop_03.jpg"},
      "http://h/other.jpg\r\nhttp://h/a.jpg");

  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "mivron02", "mivron03"}));
  EXPECT_EQ(host.clipboard, Code());
  EXPECT_EQ(Links(), "http://h/other.jpg\r\n");
  EXPECT_EQ(Status(), "处理完成...共替换了：1 张图片....并已复制处理结果...");
  EXPECT_EQ(window.Notice(),
            "以下为不能识别的图片，请手工替换以 mivron + 数字的内容\r\n"
            "mivron02  images/shop_02.jpg\r\n"
            "mivron03  images/shop_03.jpg");
  // The work list keeps the keys the slices were recognised by.
  EXPECT_EQ(window.WorkList()[1], ImageKey(host.files["D:\\店铺\\images\\shop_02.jpg"]));
}

// A slice file that is missing or no image and a link that gave no image
// all have the key of undecodable data; they must never pair.
TEST_F(SmartTest, UnreadableImagesNeverPair) {
  struct Case {
    const char* name;
    bool slice_file_is_a_page;  // else the file is missing
    Text list;
    Text failed;  // the links the notice lists as giving no image
  } cases[] = {
      {"a missing file and a dead link", false, "http://h/gone.jpg\r\nhttp://h/a.jpg",
       "http://h/gone.jpg"},
      {"a missing file and a blank last line", false, "http://h/a.jpg\r\n", ""},
      {"no image on either side", true,
       "http://h/error.jpg\r\nhttp://h/a.jpg\r\nhttp://h/error.jpg", "http://h/error.jpg"},
  };
  for (const Case& c : cases) {
    host.files.clear();
    AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
    if (c.slice_file_is_a_page)
      host.files["D:\\店铺\\images\\shop_02.jpg"] = BytesFromText("<html>");
    host.links["http://h/error.jpg"] = BytesFromText("<html>404 Not Found</html>");
    Run({"images/shop_01.jpg", "images/shop_02.jpg"}, c.list);
    EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "mivron02"})) << c.name;
    EXPECT_EQ(Status(), "处理完成...共替换了：1 张图片....并已复制处理结果...") << c.name;
    Text notice =
        "以下为不能识别的图片，请手工替换以 mivron + 数字的内容\r\nmivron02  images/shop_02.jpg";
    if (!c.failed.empty()) notice += "\r\n以下链接无法下载或不是图片：\r\n" + c.failed;
    EXPECT_EQ(window.Notice(), notice) << c.name;
    EXPECT_EQ(ReadLinkLines(Links()).links.size(), SplitLines(c.list).size() - 1) << c.name;
  }
}

// Links as users paste them: the usage text left above, blank lines,
// blanks around a link, a link without its scheme, capital letters.
TEST_F(SmartTest, LinkLinesAsUsersPasteThem) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "https://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "HTTPS://h/b.jpg");
  Run({"images/shop_01.jpg", "images/shop_02.jpg"},
      Text(kSmartUsageText) + "\r\n  //h/a.jpg \r\n\r\nHTTPS://h/b.jpg");
  EXPECT_EQ(Code(), SliceCode({"//h/a.jpg", "HTTPS://h/b.jpg"}));
  EXPECT_EQ(Links(), Text(kSmartUsageText) + "\r\n\r\n");
  // In whichever order the downloads start.
  EXPECT_THAT(host.fetched, ::testing::UnorderedElementsAre("https://h/a.jpg", "HTTPS://h/b.jpg"))
      << "only links are downloaded, one without its scheme over https";
  EXPECT_EQ(Status(),
            "处理完成...共替换了：2 张图片....并已复制处理结果...（8 行不是链接，已跳过）");
  EXPECT_EQ(window.Notice(), "");
}

// The slice files are found by the number and the whole extension of
// their own file names, whatever the folder of the chosen image is called.
TEST_F(SmartTest, SliceFilesAreFoundByTheirWholeEnding) {
  const Text folder = "D:\\店铺\\06.首页\\images\\";
  host.files[folder + "店铺_01.jpeg"] = PatternBmp(16, 8, 0x00000000FFFFFFFFull);
  host.files[folder + "店铺_02.jpeg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
  host.links["http://h/a.jpg"] = host.files[folder + "店铺_01.jpeg"];
  host.links["http://h/b.jpg"] = host.files[folder + "店铺_02.jpeg"];
  window.SetEditText(EditBox::kSliceCode,
                     SliceCode({"images/店铺_01.jpeg", "images/店铺_02.jpeg"}));
  window.SetEditText(EditBox::kImagePath, folder + "店铺_02.jpeg");
  window.SetEditText(EditBox::kLinkList, "http://h/b.jpg\r\nhttp://h/a.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "http://h/b.jpg"}));
  EXPECT_EQ(window.GroupCaption(GroupBox::kCommands), "图片路径为:" + folder + "店铺_");
}

TEST_F(SmartTest, StemFromAThreeDigitNameAndFromANameWithoutSuffix) {
  // "shop_012.jpg" holds no "01.", which the press requires somewhere.
  const Text marker = "<!-- 01. -->";
  host.files["D:\\店铺\\images\\shop_012.jpg"] = PatternBmp(16, 8, 0xF0F0F0F0F0F0F0F0ull);
  host.links["http://h/x.jpg"] = host.files["D:\\店铺\\images\\shop_012.jpg"];
  window.SetEditText(EditBox::kSliceCode, marker + SliceCode({"images/shop_012.jpg"}));
  window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_003.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/x.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), marker + SliceCode({"http://h/x.jpg"}));

  host.read.clear();
  window.SetEditText(EditBox::kSliceCode, marker + SliceCode({"images/shop_012.jpg"}));
  window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\cover.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/x.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  // The stem names no file; the reference's own name beside the image does.
  EXPECT_EQ(host.read, (std::vector<Text>{"D:\\店铺\\images\\cover.jpg012.jpg",
                                          "D:\\店铺\\images\\shop_012.jpg"}));
  EXPECT_EQ(window.GroupCaption(GroupBox::kCommands), "图片路径为:D:\\店铺\\images\\cover.jpg");
  EXPECT_EQ(Code(), marker + SliceCode({"http://h/x.jpg"}));
}

// A page cut under two names: the stem and a reference's number name no
// file, the reference's own name beside the chosen image does.
TEST_F(SmartTest, ASliceOfAnotherNameIsFoundBesideTheChosenImage) {
  host.files["D:\\邮件\\DEV-(1)_01.jpg"] = PatternBmp(16, 8, 0x00000000FFFFFFFFull);
  host.files["D:\\邮件\\DEV-(2)_02.jpg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
  host.links["http://h/a.jpg"] = host.files["D:\\邮件\\DEV-(1)_01.jpg"];
  host.links["http://h/b.jpg"] = host.files["D:\\邮件\\DEV-(2)_02.jpg"];
  window.SetEditText(EditBox::kSliceCode,
                     SliceCode({"images/DEV-(1)_01.jpg", "images/DEV-(2)_02.jpg"}));
  window.SetEditText(EditBox::kImagePath, "D:\\邮件\\DEV-(1)_01.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/b.jpg\r\nhttp://h/a.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "http://h/b.jpg"}));
}

// A dropped page names its slice files itself, from its own folder, for as
// long as the code box holds the page's text.
TEST_F(SmartTest, ADroppedPageFindsItsSlicesFromItsOwnFolder) {
  host.files["D:\\店铺\\首页\\images\\店铺_01.jpg"] = PatternBmp(16, 8, 0x00000000FFFFFFFFull);
  host.files["D:\\店铺\\shared\\横幅_01.jpg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
  host.links["http://h/a.jpg"] = host.files["D:\\店铺\\首页\\images\\店铺_01.jpg"];
  host.links["http://h/b.jpg"] = host.files["D:\\店铺\\shared\\横幅_01.jpg"];
  const Text page = SliceCode({"images/店铺_01.jpg", "../shared/横幅_01.jpg"});
  window.SetSlicePage("D:\\店铺\\首页", page);
  window.SetEditText(EditBox::kImagePath, "");
  window.SetEditText(EditBox::kLinkList, "http://h/b.jpg\r\nhttp://h/a.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "http://h/b.jpg"}));
  EXPECT_EQ(window.GroupCaption(GroupBox::kCommands), "图片路径为:D:\\店铺\\首页");

  // Edited, the code is the user's own: the chosen image names the files.
  host.read.clear();
  window.SetEditText(EditBox::kSliceCode, page + " ");
  window.SetEditText(EditBox::kImagePath, "D:\\店铺\\首页\\images\\店铺_01.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/b.jpg\r\nhttp://h/a.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(std::count(host.read.begin(), host.read.end(), "D:\\店铺\\首页\\images\\店铺_01.jpg"),
            2)
      << "both references name it by the stem and their number";
  EXPECT_EQ(window.GroupCaption(GroupBox::kCommands), "图片路径为:D:\\店铺\\首页\\images\\店铺_");
}

// One picture a slice file: it is read and paired once, and every place
// that names it gets its link, or its one placeholder.
TEST_F(SmartTest, ASliceFileIsReadAndPairedOnce) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "");
  AddSlice("03.jpg", 0x3333333333333333ull, "http://h/c.jpg");
  const Text page =
      "<table><tr><td background=\"{1}\"><img src=\"{1}\" width=\"16\"></td></tr>\r\n"
      "<tr><td><a href=\"{2}\"><img src=\"{2}\" width=\"16\"></a></td></tr>\r\n"
      "<tr><td><img src=\"{3}\" width=\"16\"><img src=\"{4}\" width=\"16\"></td></tr></table>";
  const auto fill = [&](const Text& first, const Text& second, const Text& third,
                        const Text& fourth) {
    return ReplaceAll(ReplaceAll(FillExport(page.c_str(), first, second), "{3}", third), "{4}",
                      fourth);
  };
  window.SetEditText(EditBox::kSliceCode, fill("images/shop_01.jpg", "images/shop_02.jpg",
                                               "images\\shop_03.jpg", "IMAGES\\SHOP_01.JPG"));
  window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_02.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/c.jpg\r\nhttp://h/a.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), fill("http://h/a.jpg", "mivron02", "http://h/c.jpg", "http://h/a.jpg"));
  EXPECT_EQ(host.read.size(), 3u) << "each file read once";
  EXPECT_EQ(window.WorkList().size(), 3u);
  EXPECT_EQ(window.GroupCaption(GroupBox::kSliceCode), "切片代码(共计：3 第图片）");
  EXPECT_EQ(
      window.Notice(),
      "以下为不能识别的图片，请手工替换以 mivron + 数字的内容\r\nmivron02  images/shop_02.jpg");
  EXPECT_EQ(Status(), "处理完成...共替换了：2 张图片....并已复制处理结果...");
}

// The rollover pictures were uploaded with the slices: each is paired by
// its picture like a slice, found by its own name beside the chosen image,
// and every place that names it gets its link; one not uploaded becomes a
// placeholder numbered after the slices.
TEST_F(SmartTest, RolloverPicturesArePairedByTheirPictures) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "http://h/b.jpg");
  AddSlice("01_f2.jpg", 0x3333333333333333ull, "http://h/a2.jpg");
  AddSlice("02-over.jpg", 0x5555555555555555ull, "http://h/b2.jpg");
  struct Case {
    const char* name;
    Text links;
    std::vector<Text> expected;
    Text notice;
  } cases[] = {
      {"all uploaded",
       "http://h/b2.jpg\r\nhttp://h/b.jpg\r\nhttp://h/a2.jpg\r\nhttp://h/a.jpg",
       {"http://h/a.jpg", "http://h/b.jpg", "http://h/a2.jpg", "http://h/b2.jpg"},
       ""},
      {"a state not uploaded",
       "http://h/b.jpg\r\nhttp://h/a2.jpg\r\nhttp://h/a.jpg",
       {"http://h/a.jpg", "http://h/b.jpg", "http://h/a2.jpg", "mivron04"},
       "以下为不能识别的图片，请手工替换以 mivron + 数字的内容\r\n"
       "mivron04  images/shop_02-over.jpg"},
  };
  for (const Case& c : cases) {
    window.SetEditText(EditBox::kSliceCode, FillRolloverPage(kRolloverSources));
    window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_02.jpg");
    window.SetEditText(EditBox::kLinkList, c.links);
    window.ShowNotice("");
    ASSERT_EQ(Press(), PressResult::kStarted);
    EXPECT_EQ(Code(), FillRolloverPage(c.expected)) << c.name;
    EXPECT_EQ(Links(), "") << c.name;
    EXPECT_EQ(window.WorkList().size(), 4u) << c.name;
    EXPECT_EQ(window.Notice(), c.notice) << c.name;
  }
}

// A row and column name has no sequence number for the stem: it is found
// by its own name beside the chosen image, never as the numbered file its
// last digits would give.
TEST_F(SmartTest, RowAndColumnSlicesAreFoundByTheirOwnNames) {
  const Text folder = "D:\\店铺\\images\\";
  host.files[folder + "index_r1_c1.gif"] = PatternBmp(16, 8, 0x00000000FFFFFFFFull);
  host.files[folder + "index_r10_c12.gif"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
  host.files[folder + "shop_12.gif"] = PatternBmp(16, 8, 0x3333333333333333ull);
  host.files[folder + "shop_03.gif"] = PatternBmp(16, 8, 0x5555555555555555ull);
  host.links["http://h/a.gif"] = host.files[folder + "index_r1_c1.gif"];
  host.links["http://h/b.gif"] = host.files[folder + "index_r10_c12.gif"];
  host.links["http://h/c.gif"] = host.files[folder + "shop_03.gif"];
  const std::vector<Text> sources = {"images/index_r1_c1.gif", "images/index_r10_c12.gif",
                                     "images/shop_03.gif"};
  for (const char* chosen : {"index_r10_c12.gif", "shop_12.gif"}) {
    window.SetEditText(EditBox::kSliceCode, SliceCode(sources));
    window.SetEditText(EditBox::kImagePath, folder + chosen);
    window.SetEditText(EditBox::kLinkList, "http://h/c.gif\r\nhttp://h/b.gif\r\nhttp://h/a.gif");
    host.read.clear();
    ASSERT_EQ(Press(), PressResult::kStarted);
    EXPECT_EQ(Code(), SliceCode({"http://h/a.gif", "http://h/b.gif", "http://h/c.gif"})) << chosen;
    EXPECT_EQ(std::count(host.read.begin(), host.read.end(), folder + "shop_12.gif"), 0) << chosen;
  }
}

TEST_F(SmartTest, LinksLeftOverStayOneToALine) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "http://h/b.jpg");
  Run({"images/shop_01.jpg", "images/shop_02.jpg"},
      "http://h/u.jpg\r\nhttp://h/a.jpg\r\nhttp://h/m.jpg\r\nhttp://h/b.jpg");
  EXPECT_EQ(Links(), "http://h/u.jpg\r\nhttp://h/m.jpg\r\n");
}

TEST_F(SmartTest, NoNoticeWhenEverySliceIsPaired) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  Run({"images/shop_01.jpg"}, "http://h/a.jpg");
  EXPECT_EQ(window.Notice(), "");
}

// A key has no separator: a shorter key can stand inside a longer one, and
// two sizes can give the same digits. Pictures pair by size and fingerprint.
TEST_F(SmartTest, PicturesPairBySizeNotByKeyText) {
  struct Case {
    const char* name;
    int width1, height1, width2, height2;
  } cases[] = {
      {"one key inside the other", 750, 100, 50, 100},  // 750100… ends in 50100…
      {"the same key text", 75, 1200, 751, 200},        // both 751200…
  };
  for (const Case& c : cases) {
    host.files["D:\\店铺\\images\\shop_01.jpg"] = PatternBmp(c.width1, c.height1, 0);
    host.files["D:\\店铺\\images\\shop_02.jpg"] = PatternBmp(c.width2, c.height2, 0);
    host.links["http://h/one.jpg"] = host.files["D:\\店铺\\images\\shop_01.jpg"];
    host.links["http://h/two.jpg"] = host.files["D:\\店铺\\images\\shop_02.jpg"];
    for (const char* links :
         {"http://h/two.jpg\r\nhttp://h/one.jpg", "http://h/one.jpg\r\nhttp://h/two.jpg"}) {
      Run({"images/shop_01.jpg", "images/shop_02.jpg"}, links);
      EXPECT_EQ(Code(), SliceCode({"http://h/one.jpg", "http://h/two.jpg"})) << c.name << links;
      EXPECT_EQ(Links(), "") << c.name << links;
    }
  }
}

// Uploads as hosts change them, among slices alike as pages hold them.
class NearMatchTest : public SmartTest {
 protected:
  // A section-title bar of one design: a dark rule along the top, a light
  // ground, and a word in the middle cells; every word gives the same key.
  static test::Picture Bar(unsigned word, int corner = 200) {
    return test::WordedCells(
        128, 64,
        [corner](int column, int row) { return row == 0             ? 60
                                               : column + row == 14 ? corner
                                                                    : 200; },
        [](int column, int row) { return column >= 2 && column < 6 && row >= 3 && row < 5; }, word);
  }
  // A logo on a transparent ground, its disc's edge antialiased into it.
  static test::Picture Logo(unsigned word) {
    const test::Picture marks = Bar(word);
    return test::MakePicture(128, 64, [&](int x, int y) {
      const int d2 = (x - 20) * (x - 20) + (y - 32) * (y - 32);
      if (d2 < 16 * 16)
        return test::Rgba{200, 16, 46, static_cast<std::uint8_t>(d2 < 14 * 14 ? 255 : 128)};
      const test::Rgba m = marks.At(x, y);
      return m.r < 200 && y >= 24 && y < 40 ? test::Rgba{200, 16, 46, 255} : test::Rgba{0, 0, 0, 0};
    });
  }
  static Bytes Reencoded(const test::Picture& p, unsigned seed = 1) {
    return test::Bmp24(test::Reencoded(p, seed));
  }

  void AddLocal(const Text& suffix, std::uint64_t pattern) { AddSlice(suffix, pattern, ""); }
  // Slice k (from 1) as a PNG, which keeps transparency.
  void AddLocalPicture(std::size_t k, const test::Picture& picture) {
    host.files["D:\\店铺\\images\\shop_" + Two(k) + ".png"] = test::Png(picture);
  }
  static Text Two(std::size_t k) {
    Text digits = DecimalText(static_cast<long long>(k));
    return digits.size() < 2 ? "0" + digits : digits;
  }
  static std::vector<Text> PngSources(std::size_t count) {
    std::vector<Text> sources;
    for (std::size_t k = 1; k <= count; ++k) sources.push_back("images/shop_" + Two(k) + ".png");
    return sources;
  }
  std::vector<NearPair> RunCollecting(const std::vector<Text>& sources, const Text& links,
                                      bool near_match = true) {
    std::vector<NearPair> pairs;
    scaled.clear();
    SmartRunOptions options;
    options.near_match = near_match;
    options.on_near_pair = [&](const NearPair& pair) { pairs.push_back(pair); };
    options.on_scaled_pair = [&](const NearPair& pair, double factor) {
      scaled.push_back({pair, factor});
    };
    options.keep_comparison_page = keep_page;
    window.SetEditText(EditBox::kSliceCode, SliceCode(sources));
    window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_01.jpg");
    window.SetEditText(EditBox::kLinkList, links);
    EXPECT_EQ(Press(std::move(options)), PressResult::kStarted);
    return pairs;
  }

  struct ScaledPair {
    NearPair pair;
    double factor;
  };
  std::vector<ScaledPair> scaled;  // the last run's
  // What the window would keep the comparison page with.
  std::function<bool(const RunReport&)> keep_page;
};

TEST_F(NearMatchTest, SameNearAndScaledUploadsPairInListOrderAndAreCounted) {
  host.files["D:\\店铺\\images\\shop_01.jpg"] = test::Bmp24(Bar(1));
  host.files["D:\\店铺\\images\\shop_02.jpg"] = test::Bmp24(Bar(2, 180));
  host.files["D:\\店铺\\images\\shop_03.jpg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
  host.links["http://h/same.jpg"] = Reencoded(Bar(1));
  // The mark lightens the corner cell across the mean: another key.
  host.links["http://h/near.jpg"] = test::Bmp24(test::Watermarked(Bar(2, 180)));
  host.links["http://h/scaled.jpg"] = PatternBmp(32, 16, 0x0F0F0F0F0F0F0F0Full);
  ASSERT_EQ(ImageKey(host.links["http://h/same.jpg"]), ImageKey(test::Bmp24(Bar(2))));
  ASSERT_NE(MeasureImage(host.links["http://h/near.jpg"]).fingerprint,
            MeasureImage(host.files["D:\\店铺\\images\\shop_02.jpg"]).fingerprint);
  std::vector<Text> statuses;
  window.on_status = [&](const Text& text) { statuses.push_back(text); };
  auto pairs = RunCollecting({"images/shop_01.jpg", "images/shop_02.jpg", "images/shop_03.jpg"},
                             "http://h/scaled.jpg\r\nhttp://h/near.jpg\r\nhttp://h/same.jpg");

  EXPECT_EQ(Code(), SliceCode({"http://h/same.jpg", "http://h/near.jpg", "http://h/scaled.jpg"}));
  EXPECT_EQ(Links(), "");
  EXPECT_EQ(host.clipboard, Code());
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].link, 2);
  EXPECT_EQ(pairs[0].slice, 2);
  EXPECT_DOUBLE_EQ(pairs[0].distance,
                   PictureDistance(MeasureImage(host.links["http://h/near.jpg"]),
                                   MeasureImage(host.files["D:\\店铺\\images\\shop_02.jpg"])));
  EXPECT_GE(pairs[0].margin, kMinPictureMargin);
  ASSERT_EQ(scaled.size(), 1u);
  EXPECT_EQ(scaled[0].pair.link, 1);
  EXPECT_EQ(scaled[0].pair.slice, 3);
  EXPECT_EQ(scaled[0].factor, 2.0);
  EXPECT_EQ(statuses,
            (std::vector<Text>{"正在处理...", "正在处理...下载链接 1/3", "正在处理...下载链接 2/3",
                               "正在处理...下载链接 3/3", "正在处理第：1 第图片...",
                               "正在处理第：2 第图片...", "正在处理第：3 第图片...",
                               "处理完成...共替换了：3 张图片....并已复制处理结果...（其中 2 "
                               "张为近似匹配）"}));
}

// What the comparison page is made of: every slice file in document order
// with the file it was read from, its upload or placeholder and how it was
// paired; every link once, in list order, used or not and why it gave no
// image. It is kept once the result is in place, before the last status and
// the notice.
TEST_F(NearMatchTest, TheRunKeepsARecordOfEverySliceFileAndLinkForItsPage) {
  host.files["D:\\店铺\\images\\shop_01.jpg"] = test::Bmp24(Bar(1));
  host.files["D:\\店铺\\images\\shop_02.jpg"] = test::Bmp24(Bar(2, 180));
  host.files["D:\\店铺\\images\\shop_03.jpg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
  host.files["D:\\店铺\\images\\shop_04.jpg"] = PatternBmp(16, 8, 0x3333333333333333ull);
  host.links["http://h/same.jpg"] = Reencoded(Bar(1));
  host.links["http://h/near.jpg"] = test::Bmp24(test::Watermarked(Bar(2, 180)));
  host.links["http://h/scaled.jpg"] = PatternBmp(32, 16, 0x0F0F0F0F0F0F0F0Full);
  host.links["http://h/other.jpg"] = PatternBmp(8, 16, 0x5555555555555555ull);
  host.links["http://h/error.jpg"] = BytesFromText("<html>404</html>");
  host.problems["http://h/huge.jpg"] = FetchProblem::kTooLarge;
  host.problems["http://h/late.jpg"] = FetchProblem::kTimedOut;
  RunReport kept;
  Text status_when_kept, clipboard_when_kept, code_when_kept, notice_when_kept = "(none)";
  keep_page = [&](const RunReport& report) {
    kept = report;
    status_when_kept = Status();
    clipboard_when_kept = host.clipboard;
    code_when_kept = Code();
    notice_when_kept = window.Notice();
    return true;
  };
  RunCollecting({"images/shop_01.jpg", "images/shop_02.jpg", "images/shop_03.jpg",
                 "images/shop_04.jpg", "images/shop_05.jpg", "images/shop_01.jpg"},
                "http://h/scaled.jpg\r\nhttp://h/near.jpg\r\nhttp://h/gone.jpg\r\n"
                "http://h/same.jpg\r\nhttp://h/other.jpg\r\nhttp://h/error.jpg\r\n"
                "http://h/huge.jpg\r\nhttp://h/late.jpg\r\nhttp://h/near.jpg");

  EXPECT_EQ(code_when_kept, Code());
  EXPECT_EQ(clipboard_when_kept, Code());
  EXPECT_EQ(status_when_kept.rfind("正在处理第：", 0), 0u) << status_when_kept;
  EXPECT_EQ(notice_when_kept, "");
  EXPECT_NE(window.Notice(), "");
  EXPECT_EQ(kept.outcome, RunOutcome::kLeftOver);

  const struct {
    const char* source;
    const char* file;
    int width, height;
    const char* link;
    PairKind kind;
    const char* placeholder;
  } slices[] = {
      {"images/shop_01.jpg", "D:\\店铺\\images\\shop_01.jpg", 128, 64, "http://h/same.jpg",
       PairKind::kSame, ""},
      {"images/shop_02.jpg", "D:\\店铺\\images\\shop_02.jpg", 128, 64, "http://h/near.jpg",
       PairKind::kNear, ""},
      {"images/shop_03.jpg", "D:\\店铺\\images\\shop_03.jpg", 16, 8, "http://h/scaled.jpg",
       PairKind::kScaled, ""},
      {"images/shop_04.jpg", "D:\\店铺\\images\\shop_04.jpg", 16, 8, "", PairKind::kNone,
       "mivron04"},
      {"images/shop_05.jpg", "", 0, 0, "", PairKind::kNone, "mivron05"},
  };
  ASSERT_EQ(kept.slice_outcomes.size(), std::size(slices)) << "one record a slice file";
  for (std::size_t k = 0; k < std::size(slices); ++k) {
    SCOPED_TRACE(slices[k].source);
    const SliceOutcome& slice = kept.slice_outcomes[k];
    EXPECT_EQ(slice.source, slices[k].source);
    EXPECT_EQ(slice.file, slices[k].file);
    EXPECT_EQ(slice.decoded, slices[k].width > 0);
    EXPECT_EQ(slice.width, slices[k].width);
    EXPECT_EQ(slice.height, slices[k].height);
    EXPECT_EQ(slice.link, slices[k].link);
    EXPECT_EQ(slice.kind, slices[k].kind);
    EXPECT_EQ(slice.placeholder, slices[k].placeholder);
  }
  EXPECT_EQ(kept.slice_outcomes[2].factor, 2.0);
  EXPECT_GE(kept.slice_outcomes[1].margin, kMinPictureMargin);

  const struct {
    const char* link;
    bool used;
    LinkProblem problem;
    int width, height;
  } links[] = {
      {"http://h/scaled.jpg", true, LinkProblem::kNone, 32, 16},
      {"http://h/near.jpg", true, LinkProblem::kNone, 128, 64},
      {"http://h/gone.jpg", false, LinkProblem::kUnreachable, 0, 0},
      {"http://h/same.jpg", true, LinkProblem::kNone, 128, 64},
      {"http://h/other.jpg", false, LinkProblem::kNone, 8, 16},
      {"http://h/error.jpg", false, LinkProblem::kNotImage, 0, 0},
      {"http://h/huge.jpg", false, LinkProblem::kTooLarge, 0, 0},
      {"http://h/late.jpg", false, LinkProblem::kUnreachable, 0, 0},
  };
  ASSERT_EQ(kept.link_outcomes.size(), std::size(links)) << "a link listed twice is one";
  for (std::size_t i = 0; i < std::size(links); ++i) {
    SCOPED_TRACE(links[i].link);
    const LinkOutcome& link = kept.link_outcomes[i];
    EXPECT_EQ(link.link, links[i].link);
    EXPECT_EQ(link.used, links[i].used);
    EXPECT_EQ(link.problem, links[i].problem);
    EXPECT_EQ(link.width, links[i].width);
    EXPECT_EQ(link.height, links[i].height);
  }
}

// The last status of today stays, but for two notes: where near pairs can
// be checked when no notice is left to offer the page, and that the page
// could not be kept.
TEST_F(NearMatchTest, TheLastStatusTellsOfTheComparisonPage) {
  struct Case {
    const char* name;
    bool near;      // slice 2's upload is a watermarked copy, else missing
    bool left;      // slice 3's upload is missing
    int keeps = 0;  // 0: no page asked for, 1: kept, -1: not kept
    const char* ending;
  } cases[] = {
      {"no page asked for", true, false, 0, "（其中 1 张为近似匹配）"},
      {"kept, nothing left", true, false, 1, "（其中 1 张为近似匹配，可在对照页中查看）"},
      {"kept, the notice offers it", true, true, 1, "（其中 1 张为近似匹配）"},
      {"kept, no near pair", false, false, 1, ""},
      {"not kept", true, false, -1, "（其中 1 张为近似匹配）（无法保存对照页）"},
      {"not kept, no near pair", false, true, -1, "（无法保存对照页）"},
  };
  for (const Case& c : cases) {
    host.files.clear();
    host.links.clear();
    host.files["D:\\店铺\\images\\shop_01.jpg"] = test::Bmp24(Bar(1));
    host.files["D:\\店铺\\images\\shop_02.jpg"] = test::Bmp24(Bar(2, 180));
    host.files["D:\\店铺\\images\\shop_03.jpg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
    host.links["http://h/a.jpg"] = test::Bmp24(Bar(1));
    host.links["http://h/c.jpg"] = PatternBmp(16, 8, 0x0F0F0F0F0F0F0F0Full);
    if (c.near) host.links["http://h/b.jpg"] = test::Bmp24(test::Watermarked(Bar(2, 180)));
    keep_page = nullptr;
    if (c.keeps != 0) keep_page = [&](const RunReport&) { return c.keeps > 0; };
    RunCollecting({"images/shop_01.jpg", "images/shop_02.jpg", "images/shop_03.jpg"},
                  Text("http://h/a.jpg\r\n") + (c.near ? "http://h/b.jpg\r\n" : "") +
                      (c.left ? "" : "http://h/c.jpg"));
    const int replaced = 1 + (c.near ? 1 : 0) + (c.left ? 0 : 1);
    EXPECT_EQ(Status(), "处理完成...共替换了：" + DecimalText(replaced) +
                            " 张图片....并已复制处理结果..." + c.ending)
        << c.name;
  }
}

// Each way a look-alike's upload used to take a slice's place, and what the
// host does to uploads: the pictures decide, and a slice whose own upload
// is missing keeps its placeholder.
TEST_F(NearMatchTest, LookAlikeSlicesAreNeverSwapped) {
  const test::Rgba white = test::kWhite, black = test::kBlack;
  struct Upload {
    Text link;
    Bytes bytes;
  };
  struct Case {
    const char* name;
    std::vector<test::Picture> slices;
    std::vector<Upload> uploads;  // in list order
    std::vector<Text> expected;   // what the slices hold afterwards
  } cases[] = {
      {"equal keys of different pictures, uploads as they were",
       {Bar(1), Bar(2), Bar(3)},
       {{"http://h/c", test::Bmp24(Bar(3))},
        {"http://h/a", test::Bmp24(Bar(1))},
        {"http://h/b", test::Bmp24(Bar(2))}},
       {"http://h/a", "http://h/b", "http://h/c"}},
      {"equal keys of different pictures, re-encoded",
       {Bar(1), Bar(2), Bar(3)},
       {{"http://h/c", Reencoded(Bar(3))},
        {"http://h/b", Reencoded(Bar(2))},
        {"http://h/a", Reencoded(Bar(1))}},
       {"http://h/a", "http://h/b", "http://h/c"}},
      // The corner cell sits on either side of the mean; re-encoding moves
      // the first bar's across it, onto the second's key.
      {"a bit flipped onto a neighbour's key",
       {Bar(1, 185), Bar(2, 180)},
       {{"http://h/a", Reencoded(Bar(1, 180))}},
       {"http://h/a", "mivron02"}},
      {"own upload missing, a look-alike of another page listed",
       {Bar(1), Bar(2), Bar(3)},
       {{"http://h/a", Reencoded(Bar(1))},
        {"http://h/x", Reencoded(Bar(4))},
        {"http://h/c", Reencoded(Bar(3))}},
       {"http://h/a", "mivron02", "http://h/c"}},
      {"own upload missing, only look-alikes listed",
       {Bar(2)},
       {{"http://h/a", Reencoded(Bar(1))}, {"http://h/c", Reencoded(Bar(3))}},
       {"mivron01"}},
      {"a watermark on every upload",
       {Bar(1), Bar(2), Bar(3)},
       {{"http://h/b", test::Bmp24(test::Watermarked(Bar(2)))},
        {"http://h/c", test::Bmp24(test::Watermarked(Bar(3)))},
        {"http://h/a", test::Bmp24(test::Watermarked(Bar(1)))}},
       {"http://h/a", "http://h/b", "http://h/c"}},
      {"transparency flattened on white",
       {Logo(1), Logo(2)},
       {{"http://h/b", Reencoded(test::Flattened(Logo(2), white))},
        {"http://h/a", Reencoded(test::Flattened(Logo(1), white))}},
       {"http://h/a", "http://h/b"}},
      {"transparency flattened on black",
       {Logo(1), Logo(2)},
       {{"http://h/b", Reencoded(test::Flattened(Logo(2), black))},
        {"http://h/a", Reencoded(test::Flattened(Logo(1), black))}},
       {"http://h/a", "http://h/b"}},
      {"transparency kept",
       {Logo(1), Logo(2)},
       {{"http://h/b", test::Png(Logo(2))}, {"http://h/a", test::Gif(Logo(1))}},
       {"http://h/a", "http://h/b"}},
      {"identical slices take their picture's uploads in document order",
       {Bar(1), Bar(2), Bar(1)},
       {{"http://h/b", test::Bmp24(test::Watermarked(Bar(2)))},
        {"http://h/a1", test::Bmp24(test::Watermarked(Bar(1)))},
        {"http://h/a2", test::Bmp24(test::Watermarked(Bar(1)))}},
       {"http://h/a1", "http://h/b", "http://h/a2"}},
  };
  ASSERT_EQ(ImageKey(test::Bmp24(Bar(1))), ImageKey(test::Bmp24(Bar(4))));
  ASSERT_NE(ImageKey(test::Bmp24(Bar(1, 185))), ImageKey(test::Bmp24(Bar(2, 180))));
  ASSERT_EQ(ImageKey(Reencoded(Bar(1, 180))), ImageKey(test::Bmp24(Bar(2, 180))));
  for (const Case& c : cases) {
    host.files.clear();
    host.links.clear();
    for (std::size_t k = 1; k <= c.slices.size(); ++k) AddLocalPicture(k, c.slices[k - 1]);
    Text links;
    for (const Upload& upload : c.uploads) {
      host.links[upload.link] = upload.bytes;
      links += upload.link + "\r\n";
    }
    RunCollecting(PngSources(c.slices.size()), links);
    EXPECT_EQ(Code(), SliceCode(c.expected)) << c.name;
    for (const Upload& upload : c.uploads) {
      const bool used = std::count(c.expected.begin(), c.expected.end(), upload.link) > 0;
      EXPECT_EQ(Find(Links(), upload.link + "\r\n", 1) != -1, !used) << c.name << upload.link;
    }
  }
}

TEST_F(NearMatchTest, PairsOnlyWhereUnambiguous) {
  const auto blank_word = test::WordedCells(
      128, 64, [](int, int row) { return row == 0 ? 60 : 200; },
      [](int column, int row) { return column >= 2 && column < 6 && row >= 3 && row < 5; }, 0, 0);
  struct Case {
    const char* name;
    Bytes upload;
    Text expected_01, expected_02;  // what the two bars hold afterwards
  } cases[] = {
      {"the first's", Reencoded(Bar(1)), "http://h/u.jpg", "mivron02"},
      {"the second's", Reencoded(Bar(2)), "mivron01", "http://h/u.jpg"},
      {"as near to both: no word",
       test::Bmp24(test::MakePicture(128, 64,
                                     [&](int x, int y) {
                                       const test::Rgba p = blank_word.At(x, y);
                                       return p.r == 200 ? test::Rgba{200, 200, 200, 255} : p;
                                     })),
       "mivron01", "mivron02"},
      {"too far from both", PatternBmp(128, 64, 0x5555555555555555ull), "mivron01", "mivron02"},
      {"the first's of another size", test::Bmp24(test::Scaled(Bar(1), 136, 64)), "mivron01",
       "mivron02"},
  };
  for (const Case& c : cases) {
    host.links.clear();
    AddLocalPicture(1, Bar(1));
    AddLocalPicture(2, Bar(2));
    host.links["http://h/u.jpg"] = c.upload;
    RunCollecting(PngSources(2), "http://h/u.jpg");
    EXPECT_EQ(Code(), SliceCode({c.expected_01, c.expected_02})) << c.name;
  }
}

TEST_F(NearMatchTest, OnlyMutualNearestPairAndIdenticalUploadsPairInOrder) {
  // Two uploads near one slice, its own and a look-alike's: the own one
  // takes it, the other stays.
  AddLocalPicture(1, Bar(1, 180));
  host.links["http://h/two.jpg"] = test::Bmp24(test::Watermarked(Bar(2, 180)));
  host.links["http://h/one.jpg"] = test::Bmp24(test::Watermarked(Bar(1, 180)));
  RunCollecting(PngSources(1), "http://h/two.jpg\r\nhttp://h/one.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/one.jpg"}));
  EXPECT_EQ(Links(), "http://h/two.jpg\r\n");

  // Two identical slices and two identical marked uploads: one picture on
  // each side, paired in document and list order.
  AddLocalPicture(2, Bar(1, 180));
  host.links["http://h/copy.jpg"] = host.links["http://h/one.jpg"];
  auto pairs = RunCollecting(PngSources(2), "http://h/copy.jpg\r\nhttp://h/one.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/copy.jpg", "http://h/one.jpg"}));
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[1].link, 2);
  EXPECT_EQ(pairs[1].slice, 2);
}

// The nearest is looked for among all decoded images of the other side,
// paired ones included: an upload nearest to a slice that already has its
// link is not a picture of another slice.
TEST_F(NearMatchTest, AnUploadNearestToAPairedSliceTakesNoOther) {
  AddLocalPicture(1, Bar(1));
  AddLocalPicture(2, Bar(2, 180));
  host.links["http://h/copy.jpg"] = test::Png(Bar(1));
  // An exact copy of slice 1, listed twice: the second listing is a copy.
  RunCollecting(PngSources(2), "http://h/copy.jpg\r\nhttp://h/copy.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/copy.jpg", "mivron02"}));
  EXPECT_EQ(Links(), "http://h/copy.jpg\r\n");
  // A re-encoded upload of slice 1 besides: nearer to it than to slice 2.
  host.links["http://h/again.jpg"] = Reencoded(Bar(1));
  RunCollecting(PngSources(2), "http://h/copy.jpg\r\nhttp://h/again.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/copy.jpg", "mivron02"}));
  // Slice 2's own upload, nearer to it than to anything else, still pairs.
  host.links["http://h/own.jpg"] = test::Bmp24(test::Watermarked(Bar(2, 180)));
  auto pairs =
      RunCollecting(PngSources(2), "http://h/copy.jpg\r\nhttp://h/own.jpg\r\nhttp://h/copy.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/copy.jpg", "http://h/own.jpg"}));
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].slice, 2);
}

// --exact pairs pictures of equal size and key only, and never two
// different pictures that share a key.
TEST_F(NearMatchTest, ExactRunPairsOnlyTheSamePictures) {
  AddLocalPicture(1, Bar(1, 180));
  AddLocalPicture(2, Bar(2));
  AddLocalPicture(3, Bar(3));
  host.links["http://h/near.jpg"] = test::Bmp24(test::Watermarked(Bar(1, 180)));
  host.links["http://h/scaled.jpg"] = test::Bmp24(test::Scaled(Bar(2), 64, 32));
  // The key of all three, the picture of the third.
  host.links["http://h/same.jpg"] = Reencoded(Bar(3));
  auto pairs = RunCollecting(
      PngSources(3), "http://h/near.jpg\r\nhttp://h/scaled.jpg\r\nhttp://h/same.jpg", false);
  EXPECT_TRUE(pairs.empty());
  EXPECT_TRUE(scaled.empty());
  EXPECT_EQ(Code(), SliceCode({"mivron01", "mivron02", "http://h/same.jpg"}));
  EXPECT_EQ(Links(), "http://h/near.jpg\r\nhttp://h/scaled.jpg\r\n");
  EXPECT_EQ(Status(), "处理完成...共替换了：1 张图片....并已复制处理结果...");
}

// Smooth pictures, drawn cell by cell, keep their cells' grey levels within
// a level at any size, as photographs a host scaled do.
int Rising(int column, int row) {
  return 40 + 20 * column + 5 * row;
}
int Falling(int column, int row) {
  return Rising(7 - column, row);
}
int Downward(int column, int row) {
  return Rising(row, column);
}
// A flat graphic whose cells sit a level either side of the mean, and the
// same after a conversion moved every cell by that level.
int Flat(int column, int row) {
  return 100 + (column + row) % 2;
}
int FlatConverted(int column, int row) {
  return 101 - (column + row) % 2;
}
int Blank(int, int) {
  return 255;
}

// Uploads a host scaled or converted: one factor for both sides within
// pixel rounding, grey levels close, and each the other's one nearest.
TEST_F(NearMatchTest, ScaledUploadsPairByProportionAndGreyLevels) {
  struct Image {
    int width, height;
    int (*level)(int column, int row);
  };
  const Text u1 = "http://h/u1.jpg", u2 = "http://h/u2.jpg";
  struct Case {
    const char* name;
    std::vector<Image> slices, uploads;  // uploads u1, u2, ... in list order
    std::vector<Text> expected;          // what the slices hold afterwards
    double factor;                       // of the first scaled pair; 0: none
  } cases[] = {
      {"scaled down, beside another picture of the slice's size",
       {{750, 100, Rising}, {750, 100, Falling}},
       {{640, 85, Rising}},
       {u1, "mivron02"},
       640.0 / 750},
      {"scaled up", {{750, 100, Rising}}, {{790, 105, Rising}}, {u1}, 790.0 / 750},
      {"odd sides halved, rounded down",
       {{301, 99, Rising}},
       {{150, 49, Rising}},
       {u1},
       150.0 / 301},
      {"odd sides halved, rounded up", {{301, 99, Rising}}, {{151, 50, Rising}}, {u1}, 151.0 / 301},
      {"odd sides, a pixel out of proportion",
       {{301, 99, Rising}},
       {{151, 51, Rising}},
       {"mivron01"},
       0},
      // Of the same size: a near pair, not a scaled one.
      {"converted at its own size", {{800, 96, Flat}}, {{800, 96, FlatConverted}}, {u1}, 0},
      {"scaled to the size of another slice",
       {{750, 100, Rising}, {640, 85, Falling}},
       {{640, 85, Rising}},
       {u1, "mivron02"},
       640.0 / 750},
      {"identical slices take identical uploads in order",
       {{750, 100, Rising}, {750, 100, Rising}},
       {{640, 85, Rising}, {640, 85, Rising}},
       {u1, u2},
       640.0 / 750},
      {"one picture at two sizes the upload may come from",
       {{750, 50, Blank}, {750, 51, Blank}},
       {{640, 43, Blank}},
       {"mivron01", "mivron02"},
       0},
      // The upload of the 287-wide strip is also in proportion with the other.
      {"blank strips of two widths, with nothing to tell how the host serves them",
       {{750, 69, Blank}, {287, 26, Blank}},
       {{375, 35, Blank}, {144, 13, Blank}},
       {"mivron01", "mivron02"},
       0},
      {"blank strips of two widths, another slice served at half its width",
       {{750, 100, Rising}, {750, 69, Blank}, {287, 26, Blank}},
       {{375, 50, Rising}, {375, 35, Blank}, {144, 13, Blank}},
       {u1, u2, "http://h/u3.jpg"},
       0.5},
      {"a foreign picture of the right proportions",
       {{750, 100, Rising}},
       {{640, 85, Downward}},
       {"mivron01"},
       0},
  };
  for (const Case& c : cases) {
    host.files.clear();
    host.links.clear();
    std::vector<Text> sources;
    for (std::size_t k = 1; k <= c.slices.size(); ++k) {
      const Image& slice = c.slices[k - 1];
      const Text suffix = Text("0").append(DecimalText(static_cast<long long>(k))) + ".jpg";
      host.files["D:\\店铺\\images\\shop_" + suffix] =
          test::GreyCellsBmp(slice.width, slice.height, slice.level);
      sources.push_back("images/shop_" + suffix);
    }
    Text links;
    for (std::size_t k = 1; k <= c.uploads.size(); ++k) {
      const Image& upload = c.uploads[k - 1];
      const Text link = Text("http://h/u").append(DecimalText(static_cast<long long>(k))) + ".jpg";
      host.links[link] = test::GreyCellsBmp(upload.width, upload.height, upload.level);
      links += link + "\r\n";
    }
    RunCollecting(sources, links);
    EXPECT_EQ(Code(), SliceCode(c.expected)) << c.name;
    EXPECT_DOUBLE_EQ(scaled.empty() ? 0.0 : scaled[0].factor, c.factor) << c.name;
  }
}

// Downloads overlap and finish out of order; what the run writes must not
// show it. The server answers later links first, with jittered delays.
class ConcurrentSmartTest : public SmartTest {
 protected:
  // Real downloads from the loopback server; files and clipboard in memory.
  class LoopbackHost : public FakeHost {
   public:
    Bytes FetchUrlBytes(const Text& url) override { return qm::FetchUrlBytes(url); }
  };

  struct Outcome {
    Text code, links, clipboard;
    std::vector<Text> statuses;
    std::vector<NearPair> near_pairs;
    Text notice;
  };

  void SetUp() override {
    SmartTest::SetUp();
    std::vector<Text> lines;
    // Slices 1-10 distinct, 11 and 12 alike; every upload is served, 7's
    // with three cells moved, 4's not at all.
    for (int k = 1; k <= 12; ++k) {
      const std::uint64_t pattern = k <= 10 ? 0x9E3779B97F4A7C15ull * k : 0x00FF00FF00FF00FFull;
      // Appended piece by piece: GCC 12 warns falsely on "literal" + text.
      Text number = k < 10 ? Text("0") : Text();
      number += DecimalText(k);
      files_[Text("D:\\店铺\\images\\shop_").append(number).append(".jpg")] =
          PatternBmp(16, 8, pattern);
      sources_.push_back(Text("images/shop_").append(number).append(".jpg"));
      if (k != 4) served_["/u" + number] = PatternBmp(16, 8, k == 7 ? pattern ^ 0x7 : pattern);
      lines.push_back("/u" + number);
    }
    lines.push_back("/u03");  // listed twice
    lines.push_back("");      // a blank line
    std::shuffle(lines.begin(), lines.end(), std::mt19937(11));
    server_ = std::make_unique<test::LoopbackServer>(
        [this](const std::string& head, test::LoopbackServer::Connection& c) { Answer(head, c); });
    ASSERT_TRUE(server_->ok());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!lines[i].empty()) {
        position_[lines[i]] = static_cast<int>(i);
        lines[i] = server_->Url(lines[i]);
      }
      list_ += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
    }
  }

  void Answer(const std::string& head, test::LoopbackServer::Connection& c) {
    const std::size_t start = head.find(' ') + 1;
    const std::string path = head.substr(start, head.find(' ', start) - start);
    {
      std::lock_guard lock(mutex_);
      max_in_flight_ = std::max(max_in_flight_, ++in_flight_);
    }
    // Later links answer sooner.
    const auto position = position_.find(path);
    const int later = position == position_.end() ? 0 : position->second;
    std::this_thread::sleep_for(std::chrono::milliseconds(
        5 * (20 - later) + static_cast<int>(std::hash<std::string>{}(path) % 15)));
    auto found = served_.find(path);
    const Text body = found == served_.end() ? "<html>gone</html>"
                                             : Text(found->second.begin(), found->second.end());
    {
      // Before the answer: once it is sent, the client's next request may
      // arrive before this thread runs again.
      std::lock_guard lock(mutex_);
      --in_flight_;
    }
    c.Send("HTTP/1.0 " + Text(found == served_.end() ? "404 Not Found" : "200 OK") +
           "\r\nContent-Length: " + DecimalText(static_cast<long long>(body.size())) + "\r\n\r\n" +
           body);
  }

  Outcome RunWith(int threads) {
    LoopbackHost host;
    host.files = files_;
    MemoryWindow window;
    Outcome outcome;
    window.on_status = [&](const Text& text) { outcome.statuses.push_back(text); };
    window.SetEditText(EditBox::kSliceCode, SliceCode(sources_));
    window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_01.jpg");
    window.SetEditText(EditBox::kLinkList, list_);
    SmartRunOptions options;
    options.read_threads = threads;
    options.download_threads = threads;
    options.on_near_pair = [&](const NearPair& pair) { outcome.near_pairs.push_back(pair); };
    ReplaceCommand command(window, host, options);
    EXPECT_EQ(command.ReplaceAndCopy(), PressResult::kStarted);
    command.WaitForRun();
    outcome.code = window.EditText(EditBox::kSliceCode);
    outcome.links = window.EditText(EditBox::kLinkList);
    outcome.clipboard = host.clipboard;
    outcome.notice = window.Notice();
    return outcome;
  }

  std::map<Text, Bytes> files_;
  std::vector<Text> sources_;
  // Written before the server starts, only read while it answers.
  std::map<std::string, Bytes> served_;
  std::map<std::string, int> position_;
  Text list_;
  std::unique_ptr<test::LoopbackServer> server_;
  std::mutex mutex_;
  int in_flight_ = 0;
  int max_in_flight_ = 0;
};

TEST_F(ConcurrentSmartTest, OverlappingDownloadsGiveWhatOneByOneGives) {
  const Outcome one_by_one = RunWith(1);
  ASSERT_EQ(max_in_flight_, 1);
  const Outcome overlapping = RunWith(6);
  EXPECT_GT(max_in_flight_, 1) << "the downloads did not overlap";

  EXPECT_EQ(overlapping.code, one_by_one.code);
  EXPECT_EQ(overlapping.links, one_by_one.links);
  EXPECT_EQ(overlapping.clipboard, one_by_one.clipboard);
  EXPECT_EQ(overlapping.statuses, one_by_one.statuses);
  EXPECT_EQ(overlapping.notice, one_by_one.notice);
  ASSERT_EQ(overlapping.near_pairs.size(), 1u);
  EXPECT_EQ(overlapping.near_pairs[0].slice, 7);
  // What the case holds: all but slice 4 paired, one of them near; the
  // second listing of one link is left over, with the blank line and the 404.
  EXPECT_EQ(overlapping.statuses.back(),
            "处理完成...共替换了：11 张图片....并已复制处理结果...（其中 1 张为近似匹配）");
  EXPECT_EQ(
      overlapping.notice,
      "以下为不能识别的图片，请手工替换以 mivron + 数字的内容\r\nmivron04  images/shop_04.jpg\r\n"
      "以下链接无法下载或不是图片：\r\n" +
          server_->Url("/u04"));
  EXPECT_EQ(SplitLines(overlapping.links).size(), 3u) << "the second listing, the blank, the 404";
}

// Every link counts as it comes in, lines that are no link do not; a
// pair is shown by its link's position in the list.
TEST_F(SmartTest, ProgressCountsTheDownloadsThenReportsEachMatchedLinkByPosition) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  std::vector<Text> statuses;
  window.on_status = [&](const Text& text) { statuses.push_back(text); };
  Run({"images/shop_01.jpg"}, "http://h/none.jpg\r\nnot a link\r\nhttp://h/a.jpg");
  EXPECT_EQ(statuses, (std::vector<Text>{"正在处理...", "正在处理...下载链接 1/2",
                                         "正在处理...下载链接 2/2", "正在处理第：2 第图片...",
                                         "处理完成...共替换了：1 张图片....并已复制处理结果..."
                                         "（1 行不是链接，已跳过）"}));
}

}  // namespace
}  // namespace qm
