#include "image/convert_image.h"

#include "host/files.h"

namespace qm {

void SaveConvertedImage(const Text& output_path, const Bytes& result) {
  if (output_path.find_first_not_of(' ') == Text::npos) return;
  WriteFileBytes(output_path, {result});
}

}  // namespace qm
