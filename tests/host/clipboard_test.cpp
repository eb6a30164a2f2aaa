#include "host/clipboard.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace qm {
namespace {

// Both text forms as they are on the clipboard now.
struct ClipboardTexts {
  std::string ansi;
  std::u16string unicode;
};

ClipboardTexts ReadClipboard() {
  ClipboardTexts texts;
  if (!OpenClipboard(nullptr)) return texts;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    texts.ansi = static_cast<const char*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    texts.unicode = static_cast<const char16_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return texts;
}

TEST(SetClipboardText, PlacesGbkAndUnicodeForms) {
  // A literal in this file is GBK at run time.
  Text markup = "<img src=\"http://x/1.jpg\"> 切片代码";
  ASSERT_TRUE(SetClipboardText(markup));
  ClipboardTexts texts = ReadClipboard();
  EXPECT_EQ(texts.ansi, markup);
  EXPECT_EQ(texts.unicode, u"<img src=\"http://x/1.jpg\"> 切片代码");
}

TEST(GetClipboardUnicodeText, ReadsTheTextAsPlaced) {
  ASSERT_TRUE(SetClipboardText("http://h/1.jpg\nhttp://h/2.jpg 链接"));
  std::u16string text;
  ASSERT_TRUE(GetClipboardUnicodeText(text));
  EXPECT_EQ(text, u"http://h/1.jpg\nhttp://h/2.jpg 链接");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_FALSE(GetClipboardUnicodeText(text));
}

TEST(SetClipboardText, EmptyTextReplacesThePreviousOne) {
  ASSERT_TRUE(SetClipboardText("previous"));
  ASSERT_TRUE(SetClipboardText(""));
  ClipboardTexts texts = ReadClipboard();
  EXPECT_EQ(texts.ansi, "");
  EXPECT_EQ(texts.unicode, u"");
}

TEST(SetClipboardText, StopsAtTheFirstNul) {
  ASSERT_TRUE(SetClipboardText(std::string("before\0after", 12)));
  ClipboardTexts texts = ReadClipboard();
  EXPECT_EQ(texts.ansi, "before");
  EXPECT_EQ(texts.unicode, u"before");
}

TEST(SetClipboardText, FailsWhileAnotherHolderHasItOpen) {
  HWND holder =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(holder);
  ASSERT_TRUE(SetClipboardText("kept"));
  ASSERT_TRUE(OpenClipboard(holder));
  // OpenClipboard from the same thread succeeds again on some systems, so the
  // failure is checked from another thread.
  bool placed = true;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* result) -> DWORD {
        *static_cast<bool*>(result) = SetClipboardText("lost");
        return 0;
      },
      &placed, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseClipboard();
  DestroyWindow(holder);
  EXPECT_FALSE(placed);
  EXPECT_EQ(ReadClipboard().ansi, "kept");
}

}  // namespace
}  // namespace qm
