#include "engine/runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>

#include "base/text_rules.h"
#include "engine/memory_window.h"
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

TEST_F(RunsTest, LinksWithoutPlainHttpAreRefused) {
  window.SetEditText(EditBox::kSliceCode, SliceCode({"images/a_01.jpg"}));
  for (const char* links : {"", "https://h/1.jpg\r\nhttps://h/2.jpg", "HTTP://H/1.JPG"}) {
    window.SetEditText(EditBox::kLinkList, links);
    EXPECT_EQ(Press(), PressResult::kBadLinks) << links;
    EXPECT_EQ(Status(), "已上传的图片链接 有误，请复制链接，不是复制代码哦...");
    EXPECT_EQ(Links(), links);
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

TEST_F(RunsTest, APressDuringARunChangesNothing) {
  window.SelectRadio(RadioBox::kSmart);
  window.SetEditText(EditBox::kSliceCode, SliceCode({"images/a_01.jpg"}));
  window.SetEditText(EditBox::kImagePath, "D:\\s\\a_01.jpg");
  window.SetEditText(EditBox::kLinkList, "http://h/slow.jpg");
  host.BlockOn("http://h/slow.jpg");

  ReplaceCommand command(window, host);
  ASSERT_EQ(command.ReplaceAndCopy(), PressResult::kStarted);
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
  // The failed download pairs with the missing local file: both undecodable.
  EXPECT_EQ(Status(), "处理完成...共替换了：1 张图片....并已复制处理结果...");
}

// --- By number -----------------------------------------------------------

class ByNumberTest : public RunsTest {
 protected:
  void SetUp() override { window.SelectRadio(RadioBox::kByNumber); }
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

TEST_F(ByNumberTest, FewerLinksStopAtTheLastLinkAndSaySo) {
  window.SetEditText(EditBox::kSliceCode,
                     SliceCode({"images/s_01.jpg", "images/s_02.jpg", "images/s_03.jpg"}));
  window.SetEditText(EditBox::kLinkList, "http://h/L1.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), SliceCode({"http://h/L1.jpg", "images/s_02.jpg", "images/s_03.jpg"}));
  EXPECT_EQ(Status(), "替换完成并已复制...链接数量不足，还有 2 张图片未替换");
  EXPECT_EQ(host.clipboard, Code());
}

TEST_F(ByNumberTest, ExtraLinksAndBlankLines) {
  window.SetEditText(EditBox::kSliceCode, SliceCode({"images/s_01.jpg", "images/s_02.jpg"}));
  // The blank line pairs with the second slice and empties its src.
  window.SetEditText(EditBox::kLinkList, "http://h/L1.jpg\r\n\r\nhttp://h/L3.jpg\r\n");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), SliceCode({"http://h/L1.jpg", ""}));
  EXPECT_EQ(Links(), "http://h/L3.jpg\r\n\r\n");
}

TEST_F(ByNumberTest, SearchesRestartAtTheTopAndIgnoreLetterCase) {
  // A link holding a later source's text receives that replacement inside
  // itself; an upper-case copy of a source is matched too.
  Text code = SliceCode({"images/s_01.jpg", "images/s_02.jpg"});
  window.SetEditText(EditBox::kSliceCode, "<style>IMAGES/S_02.JPG</style>" + code);
  window.SetEditText(EditBox::kLinkList, "http:x/images/s_02.jpg\r\nL2");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), "<style>L2</style>" + SliceCode({"http:x/images/s_02.jpg", "images/s_02.jpg"}));
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
};

Text FillExport(const char* page, const Text& first, const Text& second) {
  return ReplaceAll(ReplaceAll(page, "{1}", first), "{2}", second);
}

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

TEST_F(SmartTest, AFailedDownloadPairsWithAnUnreadableSlice) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  // shop_02.jpg does not exist locally; http://h/gone.jpg gives nothing.
  Run({"images/shop_01.jpg", "images/shop_02.jpg"}, "http://h/gone.jpg\r\nhttp://h/a.jpg");
  EXPECT_EQ(ImageKey(Bytes()), "00" + Text(64, '1'));
  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", "http://h/gone.jpg"}));
  EXPECT_EQ(Links(), "");
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
  EXPECT_EQ(host.read, std::vector<Text>{"D:\\店铺\\images\\cover.jpg012.jpg"});
  EXPECT_EQ(window.GroupCaption(GroupBox::kCommands), "图片路径为:D:\\店铺\\images\\cover.jpg");
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

// A key has no separator, so a shorter key can stand inside a longer one.
// A link takes only an occurrence that is a whole key.
TEST_F(SmartTest, AKeyInsideAnotherKeyIsNotTaken) {
  const Bytes wide_white = PatternBmp(750, 100, 0);   // 750100 + 64 "1"
  const Bytes narrow_white = PatternBmp(50, 100, 0);  // 50100 + 64 "1"
  host.files["D:\\店铺\\images\\shop_01.jpg"] = wide_white;
  host.files["D:\\店铺\\images\\shop_02.jpg"] = narrow_white;
  host.links["http://h/wide.jpg"] = wide_white;
  host.links["http://h/narrow.jpg"] = narrow_white;
  const std::vector<Text> sources = {"images/shop_01.jpg", "images/shop_02.jpg"};
  const Text expected = SliceCode({"http://h/wide.jpg", "http://h/narrow.jpg"});
  for (const char* links :
       {"http://h/narrow.jpg\r\nhttp://h/wide.jpg", "http://h/wide.jpg\r\nhttp://h/narrow.jpg"}) {
    Run(sources, links);
    EXPECT_EQ(Code(), expected) << links;
    EXPECT_EQ(Links(), "") << links;
  }

  // The undecodable key (00 + 64 "1") ends the key of any plain slice whose
  // height ends in 00: a dead link, or the empty line the press adds after
  // a list that already ended in a line break, must leave it alone.
  host.files.erase("D:\\店铺\\images\\shop_02.jpg");
  for (const char* links : {"http://h/dead.jpg\r\nhttp://h/wide.jpg", "http://h/wide.jpg\r\n"}) {
    Run({"images/shop_01.jpg"}, links);
    EXPECT_EQ(Code(), SliceCode({"http://h/wide.jpg"})) << links;
    EXPECT_EQ(window.Notice(), "") << links;
  }
}

// Uploads a host re-encoded differ from their slice in a few fingerprint
// cells; patterns stand for them here, a flipped bit for a cell that moved.
class NearMatchTest : public SmartTest {
 protected:
  static constexpr std::uint64_t kText1 = 0x00FF00FF00FF00FFull;
  static constexpr std::uint64_t kText2 = kText1 ^ 0x000000000000003Full;  // 6 cells apart

  void AddUpload(const Text& link, std::uint64_t pattern, int width = 16) {
    host.links[link] = PatternBmp(width, 8, pattern);
  }
  void AddLocal(const Text& suffix, std::uint64_t pattern) { AddSlice(suffix, pattern, ""); }
  std::vector<NearPair> RunCollecting(const std::vector<Text>& sources, const Text& links,
                                      bool near_match = true) {
    std::vector<NearPair> pairs;
    SmartRunOptions options;
    options.near_match = near_match;
    options.on_near_pair = [&](const NearPair& pair) { pairs.push_back(pair); };
    window.SetEditText(EditBox::kSliceCode, SliceCode(sources));
    window.SetEditText(EditBox::kImagePath, "D:\\店铺\\images\\shop_01.jpg");
    window.SetEditText(EditBox::kLinkList, links);
    EXPECT_EQ(Press(std::move(options)), PressResult::kStarted);
    return pairs;
  }
};

TEST_F(NearMatchTest, ANearUploadPairsAfterTheExactOnesAndIsCounted) {
  AddLocal("01.jpg", 0x00000000FFFFFFFFull);
  AddLocal("02.jpg", kText1);
  AddUpload("http://h/exact.jpg", 0x00000000FFFFFFFFull);
  AddUpload("http://h/near.jpg", kText1 ^ 0x8100000000000000ull);  // 2 cells moved
  std::vector<Text> statuses;
  window.on_status = [&](const Text& text) { statuses.push_back(text); };
  auto pairs = RunCollecting({"images/shop_01.jpg", "images/shop_02.jpg"},
                             "http://h/near.jpg\r\nhttp://h/exact.jpg");

  EXPECT_EQ(Code(), SliceCode({"http://h/exact.jpg", "http://h/near.jpg"}));
  EXPECT_EQ(Links(), "");
  EXPECT_EQ(host.clipboard, Code());
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].link, 1);
  EXPECT_EQ(pairs[0].slice, 2);
  EXPECT_EQ(pairs[0].distance, 2);
  EXPECT_EQ(statuses,
            (std::vector<Text>{"正在处理第：2 第图片...", "正在处理第：1 第图片...",
                               "处理完成...共替换了：2 张图片....并已复制处理结果...（其中 1 "
                               "张为近似匹配）"}));
}

TEST_F(NearMatchTest, PairsOnlyWhereUnambiguous) {
  struct Case {
    const char* name;
    std::uint64_t upload;
    int width;
    Text expected_01, expected_02;  // what the two text-like slices hold afterwards
  } cases[] = {
      {"nearer to the first", kText1 ^ 0x4000000000000000ull, 16, "http://h/u.jpg", "mivron02"},
      {"nearer to the second", kText2 ^ 0x4000000000000000ull, 16, "mivron01", "http://h/u.jpg"},
      {"as near to both", kText1 ^ 0x0000000000000007ull, 16, "mivron01", "mivron02"},
      {"too far from both", ~kText1, 16, "mivron01", "mivron02"},
      {"near but of another size", kText1 ^ 0x4000000000000000ull, 24, "mivron01", "mivron02"},
  };
  for (const Case& c : cases) {
    host.links.clear();
    AddLocal("01.jpg", kText1);
    AddLocal("02.jpg", kText2);
    AddUpload("http://h/u.jpg", c.upload, c.width);
    RunCollecting({"images/shop_01.jpg", "images/shop_02.jpg"}, "http://h/u.jpg");
    EXPECT_EQ(Code(), SliceCode({c.expected_01, c.expected_02})) << c.name;
  }
}

TEST_F(NearMatchTest, OnlyMutualNearestPairAndIdenticalUploadsPairInOrder) {
  // Two uploads near one slice: the nearer takes it, the other stays.
  AddLocal("01.jpg", kText1);
  AddUpload("http://h/two.jpg", kText1 ^ 0x3ull);
  AddUpload("http://h/one.jpg", kText1 ^ 0x1ull);
  RunCollecting({"images/shop_01.jpg"}, "http://h/two.jpg\r\nhttp://h/one.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/one.jpg"}));
  EXPECT_EQ(Links(), "http://h/two.jpg\r\n");

  // Two identical slices and two identical near uploads: one candidate on
  // each side, paired in document and list order.
  AddLocal("02.jpg", kText1);
  AddUpload("http://h/copy.jpg", kText1 ^ 0x1ull);
  auto pairs = RunCollecting({"images/shop_01.jpg", "images/shop_02.jpg"},
                             "http://h/copy.jpg\r\nhttp://h/one.jpg");
  EXPECT_EQ(Code(), SliceCode({"http://h/copy.jpg", "http://h/one.jpg"}));
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[1].link, 2);
  EXPECT_EQ(pairs[1].slice, 2);
}

TEST_F(NearMatchTest, ExactRunLeavesNearUploadsAlone) {
  AddLocal("01.jpg", kText1);
  AddUpload("http://h/near.jpg", kText1 ^ 0x1ull);
  auto pairs = RunCollecting({"images/shop_01.jpg"}, "http://h/near.jpg", false);
  EXPECT_TRUE(pairs.empty());
  EXPECT_EQ(Code(), SliceCode({"mivron01"}));
  EXPECT_EQ(Links(), "http://h/near.jpg\r\n");
  EXPECT_EQ(Status(), "处理完成...共替换了：0 张图片....并已复制处理结果...");
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
      // Counted out before the answer goes: once it has arrived, the next
      // download of a single thread may come in before this thread runs on.
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
      "以下为不能识别的图片，请手工替换以 mivron + 数字的内容\r\nmivron04  images/shop_04.jpg");
  EXPECT_EQ(SplitLines(overlapping.links).size(), 3u) << "the second listing, the blank, the 404";
}

TEST_F(SmartTest, ProgressReportsEachMatchedLinkByPosition) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  std::vector<Text> statuses;
  window.on_status = [&](const Text& text) { statuses.push_back(text); };
  Run({"images/shop_01.jpg"}, "http://h/none.jpg\r\nhttp://h/a.jpg");
  EXPECT_EQ(statuses, (std::vector<Text>{"正在处理第：2 第图片...",
                                         "处理完成...共替换了：1 张图片....并已复制处理结果..."}));
}

}  // namespace
}  // namespace qm
