#include "image/image_object.h"

#include "image/image_header.h"

namespace qm {

bool ImageObject::Load(const Bytes& bytes) {
  Dispose();
  DecodedImage decoded;
  int status = DecodeImage(bytes, decoded);
  if (status == kImageOk && !IsAcceptableImageSize(decoded.width, decoded.height)) {
    status = kImageOutOfMemory;
  }
  if (status != kImageOk) return false;
  image_ = std::move(decoded);
  loaded_ = true;
  return true;
}

bool ImageObject::Dispose() {
  if (!loaded_) return false;
  image_ = DecodedImage{};
  loaded_ = false;
  return true;
}

}  // namespace qm
