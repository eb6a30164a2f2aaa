#include "engine/slice_page.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/text_rules.h"
#include "engine/scanning.h"
#include "host/encoding.h"

namespace qm {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A page declares its charset in its head; this much of it is looked at.
constexpr std::size_t kHeadBytes = 4096;

enum class Charset { kUndeclared, kUtf8, kOther };

bool IsBlankOrQuote(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'';
}

// What the first "charset=" of the page's head names.
Charset DeclaredCharset(std::string_view page) {
  const std::string_view head = page.substr(0, kHeadBytes);
  const int at = FindFolded(head, "charset", 1);
  if (at == kNotFound) return Charset::kUndeclared;
  std::size_t i = static_cast<std::size_t>(at) - 1 + 7;
  while (i < head.size() && IsBlankOrQuote(head[i])) ++i;
  if (i >= head.size() || head[i] != '=') return Charset::kUndeclared;
  ++i;
  while (i < head.size() && IsBlankOrQuote(head[i])) ++i;
  const std::string_view name = head.substr(i);
  return StartsWithNoCase(name, "utf-8") || StartsWithNoCase(name, "utf8") ? Charset::kUtf8
                                                                           : Charset::kOther;
}

bool IsPlainAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsUtf8(std::string_view text) {
  return Utf8FromWide(WideFromUtf8(text)) == text;
}

bool IsUtf8Page(std::string_view page) {
  switch (DeclaredCharset(page)) {
    case Charset::kUtf8:
      return true;
    case Charset::kOther:
      return false;
    case Charset::kUndeclared:
      break;
  }
  return !IsPlainAscii(page) && IsUtf8(page);
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX as the byte it stands for; "?" ends the file name.
Text FileNamePart(std::string_view source) {
  Text out;
  std::size_t i = 0;
  while (i < source.size() && source[i] != '?') {
    if (source[i] == '%' && i + 2 < source.size() && HexValue(source[i + 1]) >= 0 &&
        HexValue(source[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(source[i + 1]) * 16 + HexValue(source[i + 2]));
      i += 3;
      continue;
    }
    const std::size_t length = std::min(CharLength(source, i), source.size() - i);
    out.append(source.substr(i, length));
    i += length;
  }
  return out;
}

// The pieces between separators, stepping over two-byte characters.
std::vector<Text> Segments(std::string_view path) {
  std::vector<Text> segments(1);
  for (std::size_t i = 0; i < path.size(); i += CharLength(path, i)) {
    if (IsSeparator(path[i])) {
      segments.emplace_back();
      continue;
    }
    segments.back().append(path.substr(i, std::min(CharLength(path, i), path.size() - i)));
  }
  return segments;
}

bool IsAbsolute(std::string_view path) {
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return drive || (!path.empty() && IsSeparator(path[0]));
}

// A file: address as a path: file:///D:/x.jpg is D:/x.jpg, file://host/x
// the share \\host\x, file:/x the path /x.
Text PathOfFileAddress(std::string_view address) {
  std::string_view rest = address.substr(5);
  // Built piece by piece: GCC 12 warns falsely on "literal" + text.
  Text path;
  if (rest.starts_with("///")) {
    rest.remove_prefix(3);
    if (!IsAbsolute(rest)) path = "/";
  } else if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    path = "\\\\";
  }
  return path.append(rest);
}

}  // namespace

SlicePageText DecodeSlicePage(const Bytes& bytes) {
  if (bytes.size() > kMaxSlicePageBytes) return {{}, SlicePageProblem::kTooLarge};
  std::string_view page(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const bool marked = page.starts_with(kByteOrderMark);
  if (marked) page.remove_prefix(kByteOrderMark.size());
  // The text boxes end a text at its first NUL: such a file is no page.
  if (page.empty() || page.find('\0') != std::string_view::npos) {
    return {{}, SlicePageProblem::kNotText};
  }
  if (!marked && !IsUtf8Page(page)) return {Text(page), SlicePageProblem::kNone};
  Text text = GbkFromUtf8(page);
  if (Utf8FromGbk(text) != page) return {{}, SlicePageProblem::kNotGbk};
  return {std::move(text), SlicePageProblem::kNone};
}

Text FolderOf(const Text& path) {
  const std::size_t name = FileNameOffset(path);
  return name == 0 ? Text() : path.substr(0, name - 1);
}

Text FileNameOf(const Text& path) {
  return path.substr(FileNameOffset(path));
}

Text ResolveSliceFile(const Text& page_folder, const Text& source) {
  if (StartsWithNoCase(source, "file:")) return PathOfFileAddress(FileNamePart(source));
  const Text path = FileNamePart(source);
  if (path.empty() || IsAbsolute(path)) return path;

  const char separator = page_folder.find('\\') != Text::npos ? '\\' : '/';
  // The root stays: a drive ("D:"), or the empty pieces before a leading
  // separator ("/home", "\\\\server").
  std::vector<Text> segments;
  std::size_t root = 0;
  for (Text& segment : page_folder.empty() ? std::vector<Text>() : Segments(page_folder)) {
    const bool leading = segments.size() == root;
    if (leading && (segment.empty() || IsAbsolute(segment))) {
      segments.push_back(std::move(segment));
      ++root;
    } else if (!segment.empty()) {
      segments.push_back(std::move(segment));
    }
  }
  for (Text& segment : Segments(path)) {
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (segments.size() <= root) return {};
      segments.pop_back();
      continue;
    }
    segments.push_back(std::move(segment));
  }
  Text resolved;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) resolved += separator;
    resolved += segments[i];
  }
  return resolved;
}

}  // namespace qm
