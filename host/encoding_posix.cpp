#include <errno.h>
#include <iconv.h>

#include <memory>

#include "host/encoding.h"

namespace qm {
namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

// Converts as much as iconv accepts; an unconvertible unit is replaced by
// `substitute` and skipped (`skip` bytes at a time), so the walk always ends.
std::string Convert(const char* to, const char* from, std::string_view in, std::size_t skip,
                    std::string_view substitute) {
  std::string out;
  IconvHandle cd = OpenIconv(to, from);
  if (!cd) return out;
  out.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  std::size_t used = 0;
  while (src_left > 0) {
    char* dst = out.data() + used;
    std::size_t dst_left = out.size() - used;
    std::size_t r = iconv(static_cast<iconv_t>(cd.get()), &src, &src_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL (a truncated sequence at the end).
    std::size_t n = std::min(skip, src_left);
    src += n;
    src_left -= n;
    if (out.size() - used < substitute.size()) out.resize(out.size() * 2 + substitute.size());
    out.replace(used, substitute.size(), substitute);
    used += substitute.size();
  }
  out.resize(used);
  return out;
}

}  // namespace

std::u16string WideFromGbk(std::string_view gbk) {
  static constexpr char kQuestionLe[] = {'?', 0};
  std::string bytes = Convert("UTF-16LE", "CP936", gbk, 1, std::string_view(kQuestionLe, 2));
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

Text GbkFromWide(std::u16string_view wide) {
  std::size_t end = wide.find(u'\0');
  if (end != std::u16string_view::npos) wide = wide.substr(0, end);
  std::string le(wide.size() * 2, '\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    le[2 * i] = static_cast<char>(wide[i] & 0xFF);
    le[2 * i + 1] = static_cast<char>(wide[i] >> 8);
  }
  return Convert("CP936", "UTF-16LE", le, 2, "?");
}

}  // namespace qm
