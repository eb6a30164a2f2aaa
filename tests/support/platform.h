// What a test may need to know about where it runs.
#pragma once

namespace qm::test {

// True when the Windows build runs under Wine rather than on Windows.
bool RunningUnderWine();

}  // namespace qm::test
