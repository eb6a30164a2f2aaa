#include "cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include "base/text_rules.h"
#include "engine/memory_window.h"
#include "engine/runs.h"
#include "host/encoding.h"
#include "host/fetch.h"
#include "host/files.h"
#include "image/image_key.h"

namespace qm {
namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  quillmar replace --code FILE --links FILE (--by-number | --smart --image PATH [--exact])\n"
    "                   [--out FILE] [--links-out FILE] [--encoding gbk|utf-8]\n"
    "  quillmar key FILE_OR_URL...\n"
    "\n"
    "replace  puts each uploaded link (one per line in --links) in place of the local\n"
    "         image path it belongs to in the slice mark-up (--code): by sequence number,\n"
    "         or --smart by recognising each downloaded image among the local slices in\n"
    "         the folder of --image, one of the slice images. The result goes to --out\n"
    "         or standard output, the unused links to --links-out; progress to standard\n"
    "         error. Files are GBK unless --encoding utf-8; a file whose text GBK cannot\n"
    "         hold exactly (a NUL byte, a character GBK lacks) is refused, never changed.\n"
    "         --smart also pairs an upload whose fingerprint differs from a slice's\n"
    "         of the same size in a few cells, when each is the other's one nearest;\n"
    "         --exact pairs equal keys only. Slices left unpaired get a placeholder\n"
    "         (mivron and the slice number), listed on standard error.\n"
    "key      prints the recognition key of each image file or http(s) link, tab, the\n"
    "         argument: two images pair when their keys are equal.\n"
    "\n"
    "exit status: 0 done, 1 input refused or no slice image path found, 2 wrong usage,\n"
    "             3 file not readable or writable, 4 done, some images left to replace by hand\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "quillmar: %s\n", problem);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// Command-line texts arrive as UTF-8; the program's paths are GBK texts.
Text PathText(const std::string& utf8) {
  return GbkFromUtf8(utf8);
}

// An empty read is either an empty file or none at all; only the latter is
// an error.
bool Exists(const std::string& utf8) {
  std::error_code error;
  return std::filesystem::is_regular_file(
      std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), error);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A file's text as the engine holds it (GBK), and whether it began with a
// byte-order mark, which the matching output gets back.
struct InputText {
  Text text;
  bool byte_order_mark = false;
};

// The line (from 1) that holds position `at`.
std::size_t LineAt(std::u16string_view text, std::size_t at) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + at, u'\n'));
}

// Why UTF-8 text cannot pass through GBK unchanged: the first character
// that does not come back as it went, with its line.
std::string Utf8Refusal(std::string_view utf8) {
  const std::u16string wide = WideFromUtf8(utf8);
  if (Utf8FromWide(wide) != utf8) return "is not valid UTF-8";
  for (std::size_t at = 0; at < wide.size();) {
    const bool pair = at + 1 < wide.size() && wide[at] >= 0xD800 && wide[at] < 0xDC00;
    const std::u16string_view character(wide.data() + at, pair ? 2 : 1);
    if (WideFromGbk(GbkFromWide(character)) != character) {
      const char32_t code =
          pair ? 0x10000 + ((character[0] - 0xD800) << 10) + (character[1] - 0xDC00) : character[0];
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
      return "line " + std::to_string(LineAt(wide, at)) + " holds " + name +
             (code == 0 ? " (NUL)" : "") + ", which GBK cannot hold";
    }
    at += character.size();
  }
  return "cannot be held as GBK";
}

// Files hand in and out what the engine holds: GBK texts. Whatever the run
// does not replace must leave exactly as it came, so a file whose text
// cannot make the round trip is refused rather than changed.
class Encoding {
 public:
  explicit Encoding(bool utf8) : utf8_(utf8) {}

  // The file's text, or nothing after saying on standard error why it is
  // refused.
  std::optional<InputText> Decode(const std::string& path, const Bytes& bytes) const {
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string problem;
    InputText input;
    if (!utf8_) {
      // The text boxes end a text at its first NUL byte.
      const std::size_t nul = raw.find('\0');
      if (nul == std::string_view::npos) {
        input.text = Text(raw);
        return input;
      }
      problem = "line " + std::to_string(1 + std::count(raw.begin(), raw.begin() + nul, '\n')) +
                " holds a NUL byte, which the text boxes cannot hold";
    } else {
      input.byte_order_mark = raw.starts_with(kByteOrderMark);
      if (input.byte_order_mark) raw.remove_prefix(kByteOrderMark.size());
      input.text = GbkFromUtf8(raw);
      if (Utf8FromGbk(input.text) == raw) return input;
      problem = Utf8Refusal(raw);
    }
    WriteTerminalLine(stderr, "quillmar: " + PathText(path) + ": " + problem + "; nothing written");
    return std::nullopt;
  }

  Bytes Encode(const Text& text, bool byte_order_mark) const {
    if (!utf8_) return BytesFromText(text);
    return BytesFromText((byte_order_mark ? std::string(kByteOrderMark) : std::string()) +
                         Utf8FromGbk(text));
  }

 private:
  bool utf8_;
};

// A Windows text box holds pasted lines with CR LF; a lone LF becomes one.
Text WindowsLineEnds(const Text& text) {
  Text out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

struct ReplaceOptions {
  std::string code, links, image, out, links_out;
  bool by_number = false, smart = false, exact = false, utf8 = false;
};

std::optional<ReplaceOptions> ParseReplace(const std::vector<std::string>& args,
                                           const char** problem) {
  ReplaceOptions o;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    std::string encoding;
    bool ok = true;
    if (a == "--code")
      ok = value(o.code);
    else if (a == "--links")
      ok = value(o.links);
    else if (a == "--image")
      ok = value(o.image);
    else if (a == "--out")
      ok = value(o.out);
    else if (a == "--links-out")
      ok = value(o.links_out);
    else if (a == "--by-number")
      o.by_number = true;
    else if (a == "--smart")
      o.smart = true;
    else if (a == "--exact")
      o.exact = true;
    else if (a == "--encoding") {
      ok = value(encoding) && (encoding == "gbk" || encoding == "utf-8");
      o.utf8 = encoding == "utf-8";
    } else {
      *problem = "unknown option";
      return std::nullopt;
    }
    if (!ok) {
      *problem = "an option lacks its value";
      return std::nullopt;
    }
  }
  if (o.code.empty() || o.links.empty())
    *problem = "--code and --links are required";
  else if (o.by_number == o.smart)
    *problem = "choose one of --by-number and --smart";
  else if (o.smart && o.image.empty())
    *problem = "--smart needs --image";
  else if (o.exact && !o.smart)
    *problem = "--exact belongs to --smart";
  else
    return o;
  return std::nullopt;
}

// The host/ library behind the engine's seam; the command line has no
// clipboard: the result goes to a file or stdout.
class CliHost : public HostServices {
 public:
  Bytes FetchUrlBytes(const Text& url) override { return qm::FetchUrlBytes(url); }
  Bytes ReadFileBytes(const Text& path) override { return qm::ReadFileBytes(path); }
  bool SetClipboardText(const Text&) override { return true; }
  int ConcurrentFetches() const override { return kConcurrentFetchesPerServer; }
};

bool ReadInput(const std::string& path, Bytes& bytes) {
  bytes = ReadFileBytes(PathText(path));
  if (!bytes.empty() || Exists(path)) return true;
  WriteTerminalLine(stderr, "quillmar: cannot read " + PathText(path));
  return false;
}

bool WriteOutput(const std::string& path, const Bytes& bytes) {
  if (path.empty()) {
    WriteStandardOutput(bytes);
    return true;
  }
  if (WriteFileBytes(PathText(path), {bytes})) return true;
  WriteTerminalLine(stderr, "quillmar: cannot write " + PathText(path));
  return false;
}

int Replace(const std::vector<std::string>& args) {
  const char* problem = nullptr;
  std::optional<ReplaceOptions> o = ParseReplace(args, &problem);
  if (!o) return Usage(problem);

  Bytes code_bytes, links_bytes;
  if (!ReadInput(o->code, code_bytes) || !ReadInput(o->links, links_bytes)) return kExitFile;
  const Encoding encoding(o->utf8);
  const std::optional<InputText> code = encoding.Decode(o->code, code_bytes);
  const std::optional<InputText> links = encoding.Decode(o->links, links_bytes);
  if (!code || !links) return kExitRefused;

  MemoryWindow window;
  window.SetEditText(EditBox::kSliceCode, code->text);
  window.SetEditText(EditBox::kLinkList, WindowsLineEnds(links->text));
  window.SetEditText(EditBox::kImagePath, PathText(o->image));
  window.SelectRadio(o->smart ? RadioBox::kSmart : RadioBox::kByNumber);
  window.on_status = [](const Text& text) { WriteTerminalLine(stderr, text); };

  SmartRunOptions smart;
  smart.near_match = !o->exact;
  smart.on_near_pair = [](const NearPair& pair) {
    WriteTerminalLine(stderr, "near match: link " + DecimalText(pair.link) + ", slice " +
                                  DecimalText(pair.slice) + ", " + DecimalText(pair.distance) +
                                  " of 64 cells differ");
  };
  CliHost host;
  ReplaceCommand command(window, host, std::move(smart));
  PressResult result = command.ReplaceAndCopy();
  command.WaitForRun();
  // A refused press and a run that found nothing write no output.
  if (result != PressResult::kStarted || command.LastOutcome() != RunOutcome::kDone) {
    return kExitRefused;
  }

  bool written = WriteOutput(
      o->out, encoding.Encode(window.EditText(EditBox::kSliceCode), code->byte_order_mark));
  if (!o->links_out.empty()) {
    written = WriteOutput(o->links_out, encoding.Encode(window.EditText(EditBox::kLinkList),
                                                        links->byte_order_mark)) &&
              written;
  }
  if (!written) return kExitFile;
  const Text notice = window.Notice();
  for (const Text& line : SplitLines(notice)) WriteTerminalLine(stderr, line);
  return notice.empty() ? kExitDone : kExitUnmatched;
}

int Keys(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage("key needs at least one file or link");
  int status = kExitDone;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const Text argument = PathText(args[i]);
    Bytes bytes = IsWebLink(argument) ? FetchUrlBytes(argument) : ReadFileBytes(argument);
    if (bytes.empty() && !IsWebLink(argument) && !Exists(args[i])) status = kExitFile;
    WriteTerminalLine(stdout, ImageKey(bytes) + "\t" + argument);
  }
  return status;
}

}  // namespace

int RunCli(const std::vector<std::string>& args) {
  if (args.empty()) return Usage(nullptr);
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  CliPlatform platform;
  if (args[0] == "replace") return Replace(args);
  if (args[0] == "key") return Keys(args);
  return Usage("unknown command");
}

}  // namespace qm
