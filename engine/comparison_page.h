// The comparison page of a smart run: every slice file beside the upload it
// was paired with, how it was paired, the links left unused and the links
// that gave no image, as one HTML page any browser shows without anything
// else installed.
#pragma once

#include <string>

#include "base/text.h"
#include "engine/runs.h"

namespace qm {

// The page's name where the program keeps it (beside itself, else in the
// temporary folder).
inline constexpr char kComparisonPageFileName[] = "dz.html";

// The page of a smart run's records: UTF-8, declared by its <meta charset>.
// Local pictures are shown by their file: addresses, uploads by the address
// the run downloaded.
std::string ComparisonPage(const RunReport& report);

// The file: address a browser opens `path` by (a GBK path, "\" or "/"
// separated: "D:\店铺\a b.jpg", "\\server\share\x.jpg", "/home/x.jpg"),
// percent-encoded UTF-8: file:///D:/%E5%BA%97%E9%93%BA/a%20b.jpg. A relative
// path gives a relative reference, encoded the same way.
std::string FileAddress(const Text& path);

}  // namespace qm
