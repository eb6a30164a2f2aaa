// quillmar_fill SLICES LINKS [IMAGE] [--by-number] [--press [--wait]]: puts
// the two files' bytes into the slice-code and link boxes of the running
// Quillmar window (after choosing 按序号 with --by-number), drops IMAGE on it
// as the chosen slice image and presses 替换并复制, for screenshots and
// trying the program by hand. With --wait it waits for the run to end and
// prints how long the run took.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "window_driver.h"

namespace {

// Puts `text` into the control as pasting does. Wine's cross-process
// WM_SETTEXT faults inside the system call for texts of a megabyte or more
// and takes the program down with it; a paste carries no data across.
void Paste(const qm::test::QuillmarWindow& window, int id, const qm::Text& text) {
  const std::wstring wide = qm::WideString(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory || !OpenClipboard(nullptr)) {
    if (memory) GlobalFree(memory);
    return;
  }
  std::copy_n(wide.c_str(), wide.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
  GlobalUnlock(memory);
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  CloseClipboard();
  SendMessageW(window.Control(id), EM_SETSEL, 0, -1);
  SendMessageW(window.Control(id), WM_PASTE, 0, 0);
}

bool Running(const qm::Text& status) {
  return status.rfind("正在处理", 0) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> files;
  bool by_number = false, press = false, wait = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--by-number") {
      by_number = true;
    } else if (argument == L"--press") {
      press = true;
    } else if (argument == L"--wait") {
      wait = true;
    } else {
      files.push_back(argument);
    }
  }
  if (files.size() < 2 || files.size() > 3 || (wait && !press)) return 2;
  qm::test::QuillmarWindow window;
  if (!window.Attach()) return 1;
  if (by_number) window.Click(qm::kIdByNumberRadio);
  const int boxes[] = {qm::kIdSliceCodeEdit, qm::kIdLinkEdit};
  for (int i = 0; i < 2; ++i) {
    std::ifstream in(std::filesystem::path(files[static_cast<std::size_t>(i)]), std::ios::binary);
    const qm::Text text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Paste(window, boxes[i], text);
  }
  if (files.size() == 3) window.DropFile(files[2]);
  if (!press) return 0;
  const auto start = std::chrono::steady_clock::now();
  window.PostClick(qm::kIdReplaceButton);
  if (!wait) return 0;
  // The press shows its progress status at once; the run has ended when
  // another status stands.
  qm::test::WaitUntil([&] { return Running(window.StatusText(1)); }, 5);
  qm::test::WaitUntil([&] { return !Running(window.StatusText(1)); }, 600);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.2f s\n", took.count());
  return 0;
}
