// quillmar_fill SLICES LINKS [IMAGE [--press]]: puts the two files' bytes
// into the slice-code and link boxes of the running Quillmar window, drops
// IMAGE on it as the chosen slice image and presses 替换并复制, for
// screenshots and trying the program by hand.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/control_ids.h"
#include "window_driver.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc > 5) return 2;
  qm::test::QuillmarWindow window;
  if (!window.Attach()) return 1;
  const int boxes[] = {qm::kIdSliceCodeEdit, qm::kIdLinkEdit};
  for (int i = 0; i < 2; ++i) {
    std::ifstream in(argv[i + 1], std::ios::binary);
    const qm::Text text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    window.SetText(boxes[i], text);
  }
  if (argc >= 4) window.DropFile(argv[3]);
  if (argc == 5 && std::wstring(argv[4]) == L"--press") window.PostClick(qm::kIdReplaceButton);
  return 0;
}
