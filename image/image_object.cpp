#include "image/image_object.h"

#include "image/image_header.h"

namespace qm {
namespace {
// Per thread: runs fingerprint on their worker thread while the window may
// preview another image on its own.
thread_local int last_status = kImageOk;
}  // namespace

int LastImageStatus() {
  return last_status;
}
void SetLastImageStatus(int status) {
  last_status = status;
}

bool ImageObject::Load(const Bytes& bytes) {
  Dispose();
  DecodedImage decoded;
  int status = DecodeImage(bytes, decoded);
  if (status == kImageOk && !IsAcceptableImageSize(decoded.width, decoded.height)) {
    status = kImageOutOfMemory;
  }
  SetLastImageStatus(status);
  if (status != kImageOk) return false;
  image_ = std::move(decoded);
  loaded_ = true;
  return true;
}

bool ImageObject::Dispose() {
  if (!loaded_) return false;
  image_ = DecodedImage{};
  loaded_ = false;
  SetLastImageStatus(kImageOk);
  return true;
}

}  // namespace qm
