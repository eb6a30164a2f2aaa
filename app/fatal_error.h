// The program's fatal-error box: for faults no input may reach, such as
// running out of memory. It shows what happened and ends the process with
// exit code -1.
#pragma once

#include <cstddef>

namespace qm {

// Shows "运行时出错!" with the fault's message (and number, when it has one)
// in a box captioned "错误" with the error icon and an OK button, then ends
// the process with exit code -1. Allocates nothing, so it works when memory
// has run out.
[[noreturn]] void FatalError(int fault_number, const wchar_t* message);

// Memory exhaustion has no fault number; its message names the size asked
// for, in full.
[[noreturn]] void OutOfMemory(std::size_t requested_bytes);

}  // namespace qm
