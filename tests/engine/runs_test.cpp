#include "engine/runs.h"

#include <gtest/gtest.h>

#include "engine/memory_window.h"
#include "fake_host.h"
#include "image/image_key.h"
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
  PressResult Press() {
    ReplaceCommand command(window, host);
    PressResult result = command.ReplaceAndCopy();
    command.WaitForRun();
    return result;
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
  while (host.fetched.empty()) std::this_thread::yield();  // the run waits in the download
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

TEST_F(ByNumberTest, NoTableReplacesNothingButStillCopies) {
  const Text code = "<TABLE>" + Img("images/s_01.jpg") + "</TABLE>";
  window.SetEditText(EditBox::kSliceCode, code);
  window.SetEditText(EditBox::kLinkList, "http://h/L1.jpg");
  ASSERT_EQ(Press(), PressResult::kStarted);
  EXPECT_EQ(Code(), code);
  EXPECT_EQ(host.clipboard, code);
  EXPECT_EQ(Status(), "替换完成并已复制...");
  EXPECT_TRUE(window.WorkList().empty());
}

// --- Smart -----------------------------------------------------------------

class SmartTest : public RunsTest {
 protected:
  void SetUp() override { window.SelectRadio(RadioBox::kSmart); }

  // Slice k of the design: a local file under the stem and its uploaded copy.
  void AddSlice(const Text& suffix, std::uint64_t pattern, const Text& link) {
    Bytes image = PatternBmp(16, 8, pattern);
    host.files["D:\\店铺\\images\\shop_" + suffix] = image;
    if (!link.empty()) host.links[link] = image;
  }
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
  EXPECT_EQ(window.GroupCaption(GroupBox::kLinkList), "图片路径为:D:\\店铺\\images\\shop_");
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

TEST_F(SmartTest, UnmatchedLinksStayAndUnmatchedSlicesKeepTheirKeys) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  AddSlice("02.jpg", 0x0F0F0F0F0F0F0F0Full, "");
  host.links["http://h/other.jpg"] = PatternBmp(16, 8, 0x5555555555555555ull);
  Run({"images/shop_01.jpg", "images/shop_02.jpg"}, "http://h/other.jpg\r\nhttp://h/a.jpg");

  const Text key2 = ImageKey(host.files["D:\\店铺\\images\\shop_02.jpg"]);
  EXPECT_EQ(Code(), SliceCode({"http://h/a.jpg", key2}));
  EXPECT_EQ(Links(), "http://h/other.jpg\r\n");
  // The progress names the link's position in the list, not the count.
  EXPECT_EQ(Status(), "处理完成...共替换了：1 张图片....并已复制处理结果...");
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
  EXPECT_EQ(window.GroupCaption(GroupBox::kLinkList), "图片路径为:D:\\店铺\\images\\cover.jpg");
}

TEST_F(SmartTest, ProgressReportsEachMatchedLinkByPosition) {
  AddSlice("01.jpg", 0x00000000FFFFFFFFull, "http://h/a.jpg");
  std::vector<Text> statuses;
  window.onStatus = [&](const Text& text) { statuses.push_back(text); };
  Run({"images/shop_01.jpg"}, "http://h/none.jpg\r\nhttp://h/a.jpg");
  EXPECT_EQ(statuses, (std::vector<Text>{"正在处理第：2 第图片...",
                                         "处理完成...共替换了：1 张图片....并已复制处理结果..."}));
}

}  // namespace
}  // namespace qm
