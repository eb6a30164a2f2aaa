// Pages of look-alike slices, as long product-detail pages hold them:
// section-title bars of one design with different words, service icons of
// one style in a row, product shots that differ by a price tag or a colour
// badge, strips cut from one background (fog, a dark gradient, a blue glow
// on navy), transparent logos (PNG) and icons (GIF), text blocks on light
// grounds, in rows of one to five cells; and what image hosts do to their
// uploads. Drawn with ImageMagick's convert and the WenQuanYi Micro Hei
// font (fonts-wqy-microhei).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qm::bench {

struct LookAlikeSlice {
  std::string kind;    // "title", "icon", "product", "strip", "logo", "gif icon", "text", "spacer"
  std::string format;  // the file's ending as the slicing tool saved it: jpg, png or gif
  int width = 0, height = 0;
  std::filesystem::path file;
};

// Page `seed`'s slices in document order, drawn into `dir` (reused when
// already there). Pages of one seed modulo 3 share their designs; a page
// of seed + 1000 is of other designs, for links of another page.
std::vector<LookAlikeSlice> MakeLookAlikePage(unsigned seed, const std::filesystem::path& dir);

// What a host does to an upload.
enum class HostTreatment {
  kReencode,     // JPEG re-encoded at quality 75; PNG and GIF kept as they are
  kJpegOnWhite,  // everything to JPEG q75, transparency flattened on white
  kJpegOnBlack,  // the same on black
  kWatermark,    // a 50% shop-name watermark in the lower right corner, then as kReencode
  kSharpened,    // mild unsharp mask and 10% more saturation, then as kReencode
  kServed790,    // scaled to a page 790 wide (Lanczos), then as kReencode
};
inline constexpr HostTreatment kHostTreatments[] = {
    HostTreatment::kReencode,  HostTreatment::kJpegOnWhite, HostTreatment::kJpegOnBlack,
    HostTreatment::kWatermark, HostTreatment::kSharpened,   HostTreatment::kServed790};
const char* TreatmentName(HostTreatment treatment);

// The upload the host makes of `slice`, written to `out` less its ending;
// returns the file written (its ending the format the host serves).
std::filesystem::path TreatUpload(HostTreatment treatment, const LookAlikeSlice& slice,
                                  const std::filesystem::path& out);

}  // namespace qm::bench
