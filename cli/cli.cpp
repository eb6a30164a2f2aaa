#include "cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>

#include "base/text_rules.h"
#include "engine/comparison_page.h"
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
    "  quillmar replace --code FILE --links FILE\n"
    "                   (--by-number | --smart [--image PATH] [--exact] [--report FILE])\n"
    "                   [--out FILE] [--links-out FILE] [--encoding gbk|utf-8]\n"
    "  quillmar key FILE_OR_URL...\n"
    "Options may also be written --name=value; each is given once.\n"
    "\n"
    "replace  puts each uploaded link (one per line in --links) in place of the local\n"
    "         image path it belongs to in the slice mark-up (--code): by sequence number,\n"
    "         or --smart by recognising each downloaded image among the local slices.\n"
    "         Slices are the images and the cell backgrounds of every table and outside\n"
    "         them, numbered (shop_01.jpg) or by row and column (index_r1_c2.gif). A\n"
    "         slice file takes one link, which goes to each place the mark-up names it:\n"
    "         its images and backgrounds, rollover scripts, style rules, links to it.\n"
    "         A rollover picture (index_r2_c2_f2.jpg, index_03-over.gif: a slice file's\n"
    "         name with a state behind it, named in scripts or style rules) is paired\n"
    "         by --smart like a slice; by number it keeps its local path.\n"
    "         Without --image each slice file is found by the path its reference names,\n"
    "         from the folder of --code; with --image (any one slice image) by that\n"
    "         image's folder and name with the reference's number, or else by the\n"
    "         reference's own file name in that folder.\n"
    "         Links start with http://, https:// or //; blank lines are passed over,\n"
    "         other lines are skipped and counted. The result goes to --out or standard\n"
    "         output, the unused links to --links-out; progress and a summary to standard\n"
    "         error. Files are GBK unless --encoding utf-8; a file whose text GBK cannot\n"
    "         hold exactly (a NUL byte, a character GBK lacks, a UTF-8 byte-order mark)\n"
    "         is refused.\n"
    "         --smart pairs by the pictures: an upload takes a slice's place only when\n"
    "         it is clearly the nearest picture to that slice and the slice clearly the\n"
    "         nearest to it, of the same size or, scaled by the host, in proportion;\n"
    "         a look-alike's upload never takes a slice whose own upload is missing.\n"
    "         --exact pairs only pictures of equal size and key.\n"
    "         Slices left unpaired get a placeholder (mivron and the slice number),\n"
    "         listed on standard error with the links that gave no image.\n"
    "         --report writes the comparison page to FILE once the result is written:\n"
    "         each slice file beside the upload it was paired with and how (equal,\n"
    "         near, scaled, unpaired), the links not used and why links gave no\n"
    "         image, as an HTML page (UTF-8) for a browser. A page that cannot be\n"
    "         written is said on standard error; the exit status stays the run's.\n"
    "key      prints the key of each image file or http(s) link, tab, the argument:\n"
    "         its width, height and 64-cell fingerprint, as the smart run shows them.\n"
    "\n"
    "exit status: 0 done, 1 input refused or no slice image path found, 2 wrong usage,\n"
    "             3 a file, a link (key) or standard output not readable or writable,\n"
    "             4 done, but images are left to replace by hand or links gave no image\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "quillmar: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a == "--help" || a == "-h" || a == "help";
  });
}

// Command-line texts arrive as UTF-8; the program's paths are GBK texts.
Text PathText(const std::string& utf8) {
  return GbkFromUtf8(utf8);
}

std::filesystem::path AbsolutePath(const std::string& utf8) {
  std::error_code error;
  return std::filesystem::absolute(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())),
                                   error);
}

Text GbkPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return PathText(std::string(utf8.begin(), utf8.end()));
}

// The absolute folder of a file named on the command line, as a GBK path.
Text FolderOfFile(const std::string& utf8) {
  return GbkPath(AbsolutePath(utf8).parent_path());
}

// A chosen image as an absolute path, so the comparison page can show
// every slice file found from it wherever the page is written.
Text ImagePathText(const std::string& utf8) {
  return utf8.empty() ? Text() : GbkPath(AbsolutePath(utf8));
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

// Why UTF-8 text cannot pass through GBK unchanged: the first character
// that does not come back as it went, with its line.
std::string Utf8Refusal(std::string_view utf8) {
  const std::u16string wide = WideFromUtf8(utf8);
  if (Utf8FromWide(wide) != utf8) return "is not valid UTF-8";
  const UnheldCharacter unheld = FirstCharacterGbkLacks(wide);
  if (unheld.line == 0) return "cannot be held as GBK";
  return "line " + std::to_string(unheld.line) + " holds " + CodePointName(unheld.code_point) +
         (unheld.code_point == 0 ? " (NUL)" : "") + ", which GBK cannot hold";
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
      if (raw.starts_with(kByteOrderMark)) {
        // As GBK the mark is three characters glued to the first link.
        problem = "begins with a UTF-8 byte-order mark: give --encoding utf-8";
      } else if (nul == std::string_view::npos) {
        input.text = Text(raw);
        return input;
      } else {
        problem = "line " + std::to_string(1 + std::count(raw.begin(), raw.begin() + nul, '\n')) +
                  " holds a NUL byte, which the text boxes cannot hold";
      }
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

struct ReplaceOptions {
  std::string code, links, image, out, links_out, encoding, report;
  bool by_number = false, smart = false, exact = false;
};

// Each option once, as "--name value" or "--name=value".
class OptionReader {
 public:
  explicit OptionReader(ReplaceOptions& options) : options_(options) {}

  // False with `problem` set when the arguments cannot be taken.
  bool Read(const std::vector<std::string>& args, std::string& problem) {
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string& argument = args[i];
      const std::size_t equals = argument.find('=');
      const std::string name = argument.substr(0, equals);
      if (!seen_.insert(name).second) {
        problem = name + " is given twice";
        return false;
      }
      if (bool* flag = Flag(name)) {
        if (equals != std::string::npos) {
          problem = name + " takes no value";
          return false;
        }
        *flag = true;
        continue;
      }
      std::string* value = Value(name);
      if (!value) {
        problem = "unknown option " + name;
        return false;
      }
      if (equals != std::string::npos) {
        *value = argument.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        *value = args[++i];
      } else {
        problem = name + " lacks its value";
        return false;
      }
    }
    return true;
  }

 private:
  bool* Flag(const std::string& name) {
    if (name == "--by-number") return &options_.by_number;
    if (name == "--smart") return &options_.smart;
    if (name == "--exact") return &options_.exact;
    return nullptr;
  }
  std::string* Value(const std::string& name) {
    if (name == "--code") return &options_.code;
    if (name == "--links") return &options_.links;
    if (name == "--image") return &options_.image;
    if (name == "--out") return &options_.out;
    if (name == "--links-out") return &options_.links_out;
    if (name == "--encoding") return &options_.encoding;
    if (name == "--report") return &options_.report;
    return nullptr;
  }

  ReplaceOptions& options_;
  std::set<std::string> seen_;
};

std::optional<ReplaceOptions> ParseReplace(const std::vector<std::string>& args,
                                           std::string& problem) {
  ReplaceOptions o;
  if (!OptionReader(o).Read(args, problem)) return std::nullopt;
  if (o.code.empty() || o.links.empty())
    problem = "--code and --links are required";
  else if (o.by_number == o.smart)
    problem = "choose one of --by-number and --smart";
  else if (o.exact && !o.smart)
    problem = "--exact belongs to --smart";
  else if (!o.report.empty() && !o.smart)
    problem = "--report belongs to --smart";
  else if (!o.encoding.empty() && o.encoding != "gbk" && o.encoding != "utf-8")
    problem = "--encoding is gbk or utf-8";
  else
    return o;
  return std::nullopt;
}

// The host/ library behind the engine's seam. The command line has no
// clipboard: the result goes to a file or stdout.
class CliHost : public HostServices {
 public:
  Bytes FetchUrlBytes(const Text& url) override { return qm::FetchUrlBytes(url); }
  FetchResult FetchUrl(const Text& url) override { return qm::FetchUrl(url); }
  Bytes ReadFileBytes(const Text& path) override { return qm::ReadFileBytes(path); }
  bool SetClipboardText(const Text&) override { return false; }
  int ConcurrentFetches() const override { return kConcurrentFetchesPerServer; }
};

bool ReadInput(const std::string& path, Bytes& bytes) {
  bytes = ReadFileBytes(PathText(path));
  if (!bytes.empty() || Exists(path)) return true;
  WriteTerminalLine(stderr, "quillmar: cannot read " + PathText(path));
  return false;
}

// Where a result goes: a file, or standard output when no file is named.
Text Destination(const std::string& path) {
  return path.empty() ? Text("standard output") : PathText(path);
}

bool WriteOutput(const std::string& path, const Bytes& bytes) {
  if (path.empty() ? WriteStandardOutput(bytes) : WriteFileBytes(PathText(path), {bytes})) {
    return true;
  }
  WriteTerminalLine(stderr, "quillmar: cannot write " + Destination(path) +
                                "; the result is lost, the input files are unchanged");
  return false;
}

Text Plural(int count, const char* one, const char* many) {
  return DecimalText(count) + " " + (count == 1 ? one : many);
}

// How near a pair's pictures are, and how much nearer than any other.
Text PairMeasures(const NearPair& pair) {
  char text[128];
  std::snprintf(text, sizeof text,
                "pictures %.2f levels apart a cell, nearer than any other by %s%.2f", pair.distance,
                pair.margin >= kMarginShown ? "at least " : "", pair.margin);
  return text;
}

// What the run did, told once its result is safely written.
void ReportDone(const RunReport& report, const ReplaceOptions& o) {
  Text line = "quillmar: " + DecimalText(report.replaced) + " of " +
              Plural(report.slices, "image", "images") + " replaced";
  if (report.near_pairs > 0)
    line += " (" + DecimalText(report.near_pairs) + " by near or scaled match)";
  WriteTerminalLine(stderr, line + ", result written to " + Destination(o.out));
  if (report.left > 0 && o.by_number) {
    WriteTerminalLine(stderr,
                      "quillmar: " + Plural(report.left, "link", "links") + " too few: the last " +
                          Plural(report.left, "slice file keeps its", "slice files keep their") +
                          " local path; an upload missing from the middle of the list moves "
                          "every later link onto the next slice: check the list, or pair by "
                          "picture with --smart");
  } else if (report.left > 0) {
    WriteTerminalLine(stderr, "quillmar: " + Plural(report.left, "image is", "images are") +
                                  " left to replace by hand (the placeholders listed above)");
  }
  if (report.local_rollovers > 0) {
    WriteTerminalLine(stderr, "quillmar: " +
                                  Plural(report.local_rollovers, "rollover picture keeps its",
                                         "rollover pictures keep their") +
                                  " local path: links in slice order cannot place rollovers; "
                                  "--smart pairs them by picture");
  }
  if (report.failed_links > 0) {
    WriteTerminalLine(stderr, "quillmar: " + Plural(report.failed_links, "link", "links") +
                                  " gave no image (listed above)");
  }
  if (report.unused_links > 0) {
    WriteTerminalLine(stderr, "quillmar: " + Plural(report.unused_links, "link", "links") +
                                  " not used: more links than slice files" +
                                  (o.links_out.empty() ? "; --links-out keeps them" : ""));
  }
  if (report.not_links > 0) {
    WriteTerminalLine(stderr, "quillmar: skipped " + Plural(report.not_links, "line", "lines") +
                                  " of the link list that hold no link");
  }
  if (!o.links_out.empty()) {
    WriteTerminalLine(stderr, "quillmar: the links not used are in " + PathText(o.links_out));
  }
}

// Once the result is safe: the page is extra, and a page that cannot be
// written changes nothing of the run's outcome.
void WriteReport(const RunReport& report, const std::string& path) {
  if (path.empty()) return;
  if (WriteFileBytes(PathText(path), {BytesFromText(ComparisonPage(report))})) {
    WriteTerminalLine(stderr, "quillmar: the comparison page is " + PathText(path));
  } else {
    WriteTerminalLine(stderr, "quillmar: cannot write the comparison page " + PathText(path));
  }
}

int Replace(const std::vector<std::string>& args) {
  if (AsksForHelp(args)) {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  std::string problem;
  std::optional<ReplaceOptions> o = ParseReplace(args, problem);
  if (!o) return Usage(problem);

  Bytes code_bytes, links_bytes;
  if (!ReadInput(o->code, code_bytes) || !ReadInput(o->links, links_bytes)) return kExitFile;
  const Encoding encoding(o->encoding == "utf-8");
  const std::optional<InputText> code = encoding.Decode(o->code, code_bytes);
  const std::optional<InputText> links = encoding.Decode(o->links, links_bytes);
  if (!code || !links) return kExitRefused;

  MemoryWindow window;
  window.SetEditText(EditBox::kSliceCode, code->text);
  // Without a chosen image the slices are found as the page names them.
  if (o->smart && o->image.empty()) window.SetSlicePage(FolderOfFile(o->code), code->text);
  window.SetEditText(EditBox::kLinkList, WithWindowsLineEnds(links->text));
  window.SetEditText(EditBox::kImagePath, ImagePathText(o->image));
  window.SelectRadio(o->smart ? RadioBox::kSmart : RadioBox::kByNumber);

  SmartRunOptions smart;
  smart.near_match = !o->exact;
  smart.scaled_match = !o->exact;
  smart.on_progress = [](const Text& status) { WriteTerminalLine(stderr, status); };
  smart.on_near_pair = [](const NearPair& pair) {
    WriteTerminalLine(stderr, "near match: link " + DecimalText(pair.link) + ", slice " +
                                  DecimalText(pair.slice) + ", " + PairMeasures(pair));
  };
  smart.on_scaled_pair = [](const NearPair& pair, double factor) {
    char scale[32];
    std::snprintf(scale, sizeof scale, "scaled by %.3f, ", factor);
    WriteTerminalLine(stderr, "scaled match: link " + DecimalText(pair.link) + ", slice " +
                                  DecimalText(pair.slice) + ", " + scale + PairMeasures(pair));
  };
  CliHost host;
  ReplaceCommand command(window, host, std::move(smart));
  const PressResult result = command.ReplaceAndCopy();
  command.WaitForRun();
  const RunReport& report = command.LastReport();
  // A refused press and a run that found nothing write no output; the
  // status says why.
  if (result != PressResult::kStarted || report.outcome == RunOutcome::kNothingFound) {
    WriteTerminalLine(stderr, window.StatusText(kStatusMessagePart));
    return kExitRefused;
  }

  bool written = WriteOutput(
      o->out, encoding.Encode(window.EditText(EditBox::kSliceCode), code->byte_order_mark));
  if (!o->links_out.empty()) {
    written =
        written && WriteOutput(o->links_out, encoding.Encode(window.EditText(EditBox::kLinkList),
                                                             links->byte_order_mark));
  }
  if (!written) return kExitFile;
  for (const Text& line : SplitLines(report.notice)) WriteTerminalLine(stderr, line);
  ReportDone(report, *o);
  WriteReport(report, o->report);
  return report.outcome == RunOutcome::kDone ? kExitDone : kExitUnmatched;
}

Text DownloadProblemText(FetchProblem problem) {
  switch (problem) {
    case FetchProblem::kTimedOut:
      return "the download timed out";
    case FetchProblem::kEmpty:
      return "the server answered with nothing";
    case FetchProblem::kTooLarge:
      return "the download is larger than " +
             DecimalText(static_cast<long long>(FetchLimits{}.max_body_bytes >> 20)) + " MiB";
    case FetchProblem::kUnreachable:
    case FetchProblem::kNone:
      break;
  }
  return "the server cannot be reached";
}

// An argument of `key`: a file's bytes, or a download's with why it gave none.
FetchResult KeySource(const Text& argument) {
  if (IsWebLink(argument)) return FetchUrl(argument);
  return {ReadFileBytes(argument), FetchProblem::kNone};
}

// Why an argument of `key` gives no key; empty when it gives one.
Text KeyProblem(const Text& argument, const std::string& utf8, const FetchResult& source,
                const ImageMeasures& measures) {
  if (measures.decoded) return {};
  if (IsWebLink(argument)) {
    return source.problem == FetchProblem::kNone ? Text("the download is not an image")
                                                 : DownloadProblemText(source.problem);
  }
  if (source.body.empty() && !Exists(utf8)) return "cannot read the file";
  return "not an image";
}

int Keys(const std::vector<std::string>& args) {
  if (AsksForHelp(args)) {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  if (args.size() < 2) return Usage("key needs at least one file or link");
  int status = kExitDone;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const Text argument = PathText(args[i]);
    const FetchResult source = KeySource(argument);
    const ImageMeasures measures = MeasureImage(source.body);
    const Text problem = KeyProblem(argument, args[i], source, measures);
    if (!problem.empty()) {
      WriteTerminalLine(stderr, "quillmar: " + argument + ": " + problem + ", no key");
      status = kExitFile;
      continue;
    }
    WriteTerminalLine(stdout, measures.Key() + "\t" + argument);
  }
  return status;
}

}  // namespace

int RunCli(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("");
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
