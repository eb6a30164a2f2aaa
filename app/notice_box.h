// The box a run leaves the user when it could not do everything: the slices
// that wait for a link by hand, the links that gave no image. A box of the
// window's own rather than a message box, so that it breaks its lines where
// they read well and never grows past the screen, however long the lists.
#pragma once

#include <windows.h>

#include <functional>

#include "base/text.h"

namespace qm {

// Shows `notice` - lines separated by CR LF: a title line and its list, and
// perhaps a second list headed by kFailedLinksTitle - in a modal box
// owned by `owner`. With `view`, a second button "查看对照" runs it and
// leaves the box open. Returns once the user has closed the box.
void ShowNoticeBox(HWND owner, const Text& notice, const std::function<void()>& view = {});

}  // namespace qm
