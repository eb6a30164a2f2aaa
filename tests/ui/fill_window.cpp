// quillmar_fill SLICES LINKS: puts the two files' bytes into the slice-code
// and link boxes of the running Quillmar window, for screenshots.
#include <windows.h>

#include <fstream>
#include <iterator>

#include "app/control_ids.h"
#include "window_driver.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  qm::test::QuillmarWindow window;
  if (!window.Attach()) return 1;
  const int boxes[] = {qm::kIdSliceCodeEdit, qm::kIdLinkEdit};
  for (int i = 0; i < 2; ++i) {
    std::ifstream in(argv[i + 1], std::ios::binary);
    const qm::Text text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    window.SetText(boxes[i], text);
  }
  return 0;
}
