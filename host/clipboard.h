// Putting the program's texts on the system clipboard.
#pragma once

#include <string>

#include "base/text.h"

namespace qm {

// Replaces the clipboard's contents with `text` (up to its first NUL) as plain
// GBK text and as its Unicode form, so programs that read either get the same
// characters. Needs no window and works from any thread. False when the
// clipboard cannot be opened or the memory not allocated. Where there is no
// desktop clipboard (the Linux build) it is always false.
bool SetClipboardText(const Text& text);

// The clipboard's text in its Unicode form, up to its first NUL; false when
// it holds no text (always, where there is no desktop clipboard).
bool GetClipboardUnicodeText(std::u16string& text);

}  // namespace qm
