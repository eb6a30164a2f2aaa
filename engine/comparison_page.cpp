#include "engine/comparison_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string_view>

#include "engine/run_steps.h"
#include "host/encoding.h"
#include "host/fetch.h"

namespace qm {
namespace {

// Pictures are shown at most this wide, in their proportions.
constexpr int kMostPictureWidth = 200;

constexpr char kHead[] = R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>Quillmar 对照页</title>
<style>
body { font: 14px/1.5 "Microsoft YaHei", "PingFang SC", "Noto Sans CJK SC", sans-serif;
       color: #222; margin: 16px 20px; }
p.about { font-size: 16px; margin: 0 0 4px; }
p.summary { color: #555; margin: 0 0 16px; }
h2 { font-size: 15px; margin: 24px 0 8px; }
table { border-collapse: collapse; }
th, td { border: 1px solid #d0d0d0; padding: 6px 10px; text-align: left; vertical-align: top; }
th { background: #f2f2f2; font-weight: normal; color: #555; }
td.number { text-align: right; color: #555; }
img { display: block; max-width: 200px; height: auto; background: #eee; }
.note { color: #666; font-size: 12px; max-width: 200px; overflow-wrap: anywhere; margin-top: 4px; }
.missing { color: #a33; max-width: 200px; }
.placeholder { font-family: Consolas, monospace; font-size: 15px; color: #a33; }
td.kind { font-weight: bold; }
td.kind .note { font-weight: normal; width: 9em; }
tr.near td.kind, tr.scaled td.kind { background: #fff3cd; }
tr.none td.kind { background: #fde2e2; color: #a33; }
</style>
</head>
<body>
<p class="about">Quillmar 对照页：每张切片配上了哪个链接。请逐行核对左右两张图是不是同一张。</p>
)";

constexpr char kTail[] = "</body>\n</html>\n";

// The page is put together in the program's texts (GBK, as its literals
// are at run time) and made UTF-8 as a whole at the end. No byte escaped
// here is ever the second byte of a two-byte GBK character (those are 0x40
// and above), so the text can be escaped byte by byte.
Text Escaped(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A path or a link as text that a narrow column breaks behind a "/" or
// "\\" (the last of a run: "http://") rather than inside a name. Character
// by character: "\\" may be the second byte of one.
Text Breakable(std::string_view text) {
  const Text escaped = Escaped(text);
  Text out;
  for (std::size_t i = 0; i < escaped.size();) {
    const std::size_t length = std::min(CharLength(escaped, i), escaped.size() - i);
    const char c = escaped[i];
    out.append(escaped, i, length);
    i += length;
    const bool separator = length == 1 && (c == '/' || c == '\\');
    if (separator && (i == escaped.size() || escaped[i] != c)) out += "<wbr>";
  }
  return out;
}

Text Number(long long value) {
  return DecimalText(value);
}

Text SizeText(int width, int height) {
  return Number(width) + "×" + Number(height);
}

// The picture at `address`, at most kMostPictureWidth wide; the size when
// it is known, so the page keeps its layout while pictures load.
Text Picture(const Text& address, int width, int height) {
  Text tag = "<img src=\"" + Escaped(address) + "\" alt=\"\"";
  if (width > 0 && height > 0) {
    const int shown = std::min(width, kMostPictureWidth);
    const auto tall = static_cast<long long>(
        std::max(1.0, std::round(static_cast<double>(height) * shown / width)));
    tag += " width=\"" + Number(shown) + "\" height=\"" + Number(tall) + "\"";
  }
  return tag + ">";
}

Text Note(const Text& line) {
  return "<div class=\"note\">" + line + "</div>";
}

// An upload as the run downloaded it, so the browser asks for the same
// bytes.
Text LinkPicture(const Text& link, int width, int height) {
  return Picture(RequestAddress(LinkAddress(link)), width, height) +
         Note(Breakable(link) + "<br>" + SizeText(width, height));
}

Text SliceCell(const SliceOutcome& slice) {
  Text cell = "<td>";
  if (slice.decoded) {
    cell += Picture(FileAddress(slice.file), slice.width, slice.height);
    cell += Note(Breakable(slice.source) + "<br>" + SizeText(slice.width, slice.height));
  } else {
    cell += "<div class=\"missing\">" +
            Text(slice.file.empty() ? "读不到这张切片的文件" : "这个文件不是图片") + "</div>";
    cell += Note(Breakable(slice.file.empty() ? slice.source : slice.file));
  }
  return cell + "</td>";
}

Text FactorText(double factor) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", factor);
  return text;
}

struct Kind {
  const char* row_class;
  Text text;
  const char* note = "";
};

Kind KindOf(const SliceOutcome& slice) {
  switch (slice.kind) {
    case PairKind::kSame:
      return {"same", "相同"};
    case PairKind::kNear:
      return {"near", "近似", "尺寸相同，画面略有不同：图片空间重新压缩或处理过"};
    case PairKind::kScaled:
      return {"scaled", "缩放 ×" + FactorText(slice.factor), "比例相同：图片空间改过尺寸"};
    case PairKind::kNone:
      break;
  }
  return {"none", "未配对"};
}

Text UploadCell(const SliceOutcome& slice, const std::map<Text, const LinkOutcome*>& links) {
  if (slice.link.empty()) {
    return "<td><div class=\"placeholder\">" + Escaped(slice.placeholder) + "</div>" +
           Note("没有配上链接，结果中暂以这段文字代替，请手工换成这张切片的链接") + "</td>";
  }
  const auto found = links.find(slice.link);
  const LinkOutcome* link = found == links.end() ? nullptr : found->second;
  return "<td>" + LinkPicture(slice.link, link ? link->width : 0, link ? link->height : 0) +
         "</td>";
}

Text SliceRows(const RunReport& report, const std::map<Text, const LinkOutcome*>& links) {
  Text rows =
      "<h2>切片和配上的链接</h2>\n<table>\n"
      "<tr><th>序号</th><th>电脑上的切片</th><th>配上的链接</th><th>配对</th></tr>\n";
  for (std::size_t i = 0; i < report.slice_outcomes.size(); ++i) {
    const SliceOutcome& slice = report.slice_outcomes[i];
    const Kind kind = KindOf(slice);
    rows += "<tr class=\"" + Text(kind.row_class) + "\"><td class=\"number\">" +
            SliceNumberText(i + 1) + "</td>" + SliceCell(slice) + UploadCell(slice, links) +
            "<td class=\"kind\">" + kind.text + (*kind.note ? Note(kind.note) : Text()) +
            "</td></tr>\n";
  }
  return rows + "</table>\n";
}

Text ProblemText(LinkProblem problem) {
  switch (problem) {
    case LinkProblem::kNotImage:
      return "下载到的不是图片（可能是错误页或已删除的图片）";
    case LinkProblem::kTooLarge:
      return "超过 " + Number(static_cast<long long>(FetchLimits{}.max_body_bytes >> 20)) +
             " MB 的下载上限";
    case LinkProblem::kUnreachable:
    case LinkProblem::kNone:
      break;
  }
  return "没有下载到内容：连不上、没有回应或回应为空";
}

Text UnusedLinks(const std::vector<const LinkOutcome*>& unused) {
  if (unused.empty()) return {};
  Text rows = "<h2>没有用上的链接（" + Number(static_cast<long long>(unused.size())) +
              " 个）</h2>\n<table>\n";
  for (const LinkOutcome* link : unused) {
    rows += "<tr><td>" + LinkPicture(link->link, link->width, link->height) + "</td></tr>\n";
  }
  return rows + "</table>\n";
}

Text FailedLinks(const std::vector<const LinkOutcome*>& failed) {
  if (failed.empty()) return {};
  Text rows = "<h2>没有得到图片的链接（" + Number(static_cast<long long>(failed.size())) +
              " 个）</h2>\n<table>\n<tr><th>链接</th><th>原因</th></tr>\n";
  for (const LinkOutcome* link : failed) {
    rows += "<tr><td class=\"note\">" + Breakable(link->link) + "</td><td>" +
            ProblemText(link->problem) + "</td></tr>\n";
  }
  return rows + "</table>\n";
}

Text Summary(const RunReport& report, std::size_t unused, std::size_t failed) {
  std::size_t paired = 0, near = 0;
  for (const SliceOutcome& slice : report.slice_outcomes) {
    if (slice.kind != PairKind::kNone) ++paired;
    if (slice.kind == PairKind::kNear || slice.kind == PairKind::kScaled) ++near;
  }
  const auto count = [](std::size_t n) { return Number(static_cast<long long>(n)); };
  const std::size_t slices = report.slice_outcomes.size();
  const std::size_t links = report.link_outcomes.size();
  Text line = count(slices) + " 张切片：";
  line += paired == slices ? Text("全部配上了链接") : count(paired) + " 张配上了链接";
  if (near > 0) line += "（其中 " + count(near) + " 张为近似匹配）";
  if (paired < slices) line += "，" + count(slices - paired) + " 张未配对";
  line += "。" + count(links) + " 个链接：" + count(links - unused - failed) + " 个用上了";
  if (unused > 0) line += "，" + count(unused) + " 个没有用上";
  if (failed > 0) line += "，" + count(failed) + " 个没有得到图片";
  return "<p class=\"summary\">" + line + "。</p>\n";
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string FileAddress(const Text& path) {
  std::string utf8 = Utf8FromGbk(path);
  std::replace(utf8.begin(), utf8.end(), '\\', '/');
  std::string address;
  std::size_t from = 0;
  if (utf8.size() >= 2 && IsDriveLetter(utf8[0]) && utf8[1] == ':') {
    // The drive's colon stays: file:///D:/...
    address = "file:///" + utf8.substr(0, 2);
    from = 2;
  } else if (utf8.starts_with("//")) {
    address = "file:";  // a share: file://server/share/...
  } else if (utf8.starts_with("/")) {
    address = "file://";
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = from; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (IsUnreserved(c) || c == '/') {
      address += static_cast<char>(c);
    } else {
      address += '%';
      address += kHex[c >> 4];
      address += kHex[c & 15];
    }
  }
  return address;
}

std::string ComparisonPage(const RunReport& report) {
  std::map<Text, const LinkOutcome*> links;
  std::vector<const LinkOutcome*> unused, failed;
  for (const LinkOutcome& link : report.link_outcomes) {
    links.emplace(link.link, &link);
    if (link.problem != LinkProblem::kNone) {
      failed.push_back(&link);
    } else if (!link.used) {
      unused.push_back(&link);
    }
  }
  return Utf8FromGbk(kHead + Summary(report, unused.size(), failed.size()) +
                     SliceRows(report, links) + UnusedLinks(unused) + FailedLinks(failed) + kTail);
}

}  // namespace qm
