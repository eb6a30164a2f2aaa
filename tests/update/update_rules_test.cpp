// The release hash, the release address and the update manifest: the rules
// that decide what the updater may fetch and install.
#include <gtest/gtest.h>

#include "updater/hand_over.h"
#include "updater/release_address.h"
#include "updater/sha256.h"
#include "updater/update_source.h"

namespace qm {
namespace {

const std::string kHashOfAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

Bytes Of(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(Sha256, MatchesPublishedVectors) {
  EXPECT_EQ(HexDigest(Sha256({})),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexDigest(Sha256(Of("abc"))), kHashOfAbc);
  EXPECT_EQ(HexDigest(Sha256(Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(HexDigest(Sha256(Bytes(1'000'000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingBoundariesDiffer) {
  // 55, 56 and 64 bytes straddle the one-or-two-last-blocks boundary.
  EXPECT_EQ(HexDigest(Sha256(Bytes(55, 'a'))),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(HexDigest(Sha256(Bytes(56, 'a'))),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(HexDigest(Sha256(Bytes(64, 'a'))),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(ReleaseAddress, TakesHttpsWithHashAndDropsTheFragment) {
  const auto address =
      ParseReleaseAddress("https://example.test/r/Quillmar.exe#sha256=" + kHashOfAbc);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->url, "https://example.test/r/Quillmar.exe");
  EXPECT_EQ(address->sha256, Sha256(Of("abc")));
  // Upper-case hex and scheme are the same address.
  std::string upper = kHashOfAbc;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(ParseReleaseAddress("HTTPS://example.test/Quillmar.exe#sha256=" + upper));
}

TEST(ReleaseAddress, RefusesWhatCouldInstallUncheckedCode) {
  const std::string hash = "#sha256=" + kHashOfAbc;
  for (const std::string& bad : {
           "http://example.test/Quillmar.exe" + hash,         // plain http
           std::string("https://example.test/Quillmar.exe"),  // no hash
           "https://example.test/Quillmar.exe#sha256=" + kHashOfAbc.substr(1),
           "https://example.test/Quillmar.exe#sha256=" + kHashOfAbc + "0",
           "https://example.test/Quillmar.exe#sha256=" + kHashOfAbc.substr(1) + "g",
           "https://example.test/Quillmar.exe#md5=" + kHashOfAbc,
           "https:///Quillmar.exe" + hash,                // no host
           "https://example.test/Quill mar.exe" + hash,   // space
           "https://example.test/Quillmar.exe\r" + hash,  // control byte
           "file://C:/Quillmar.exe" + hash,
           std::string(),
       }) {
    EXPECT_FALSE(ParseReleaseAddress(bad)) << bad;
  }
  EXPECT_FALSE(ParseReleaseAddress("http://127.0.0.1/Q.exe" + hash));
  EXPECT_TRUE(
      ParseReleaseAddress("http://127.0.0.1/Q.exe" + hash, SchemeRule::kAlsoPlainHttpForTests));
}

TEST(UpdateManifest, ReadsTwoLinesWithEitherLineBreak) {
  const std::string address = "https://example.test/Quillmar.exe#sha256=" + kHashOfAbc;
  for (const std::string& body :
       {"2\n" + address, "2\n" + address + "\n", "2\r\n" + address + "\r\n"}) {
    const auto manifest = ParseUpdateManifest(Of(body));
    ASSERT_TRUE(manifest) << body;
    EXPECT_EQ(manifest->latest_version, "2");
    EXPECT_EQ(manifest->download_address, address);
  }
}

TEST(UpdateManifest, RefusesAnythingElse) {
  const std::string address = "https://example.test/Quillmar.exe#sha256=" + kHashOfAbc;
  for (const std::string& body : {
           std::string(),
           std::string("2"),
           "2\n" + address + "\nthird line",
           "2\n\n" + address,
           "v2\n" + address,
           " 2\n" + address,
           "1234567890\n" + address,
           "2\nhttp://example.test/Quillmar.exe#sha256=" + kHashOfAbc,
           std::string("<html><body>500 Internal Server Error</body></html>"),
           "2\n" + address + std::string(5000, ' '),
       }) {
    EXPECT_FALSE(ParseUpdateManifest(Of(body))) << body;
  }
}

TEST(UpdateManifest, OnlyAGreaterDecimalNumberIsNewer) {
  const Text running = std::to_string(kRunningVersion);
  const Text next = std::to_string(kRunningVersion + 1);
  EXPECT_TRUE(IsNewerVersion(next));
  EXPECT_TRUE(IsNewerVersion("0" + next));
  EXPECT_TRUE(IsNewerVersion("999999999"));
  for (const Text& version :
       {running, Text("0"), "0" + running, Text(""), next + " ", " " + next, "-" + next, "+" + next,
        next + ".0", Text("1e9"), Text("0x10"), Text("1000000000"), Text("99999999999999999999")}) {
    EXPECT_FALSE(IsNewerVersion(version)) << '"' << version << '"';
  }
}

TEST(ManifestUpdateSource, AnUnusableAddressMeansNoUpdate) {
  ManifestUpdateSource source("ftp://127.0.0.1/latest.txt");
  EXPECT_EQ(source.LatestVersion(), "1");
  EXPECT_EQ(source.DownloadAddress(), "");
}

// Both programs find their folder, and with it every hand-over file, from
// their own path.
TEST(HandOver, TheProgramFolderEndsAtTheLastBackslash) {
  struct Case {
    Text path, folder, file_name;
  };
  for (const Case& c : {
           Case{"C:\\Program Files\\Quillmar\\Quillmar.exe", "C:\\Program Files\\Quillmar",
                "Quillmar.exe"},
           Case{"C:\\Quillmar.exe", "C:", "Quillmar.exe"},
           Case{"\\\\server\\share\\q.exe", "\\\\server\\share", "q.exe"},
           Case{"Quillmar.exe", "", "Quillmar.exe"},
           Case{"", "", ""},
           // The second byte of "誠" is 0x5C: no backslash.
           Case{"D:\\工具\\誠信.exe", "D:\\工具", "誠信.exe"},
           Case{"D:\\誠\\q.exe", "D:\\誠", "q.exe"},
       }) {
    const ProgramLocation location = SplitProgramPath(c.path);
    EXPECT_EQ(location.folder, c.folder) << c.path;
    EXPECT_EQ(location.file_name, c.file_name) << c.path;
  }
  EXPECT_EQ(FileInFolder("C:\\工具", kHandOverIniFile), "C:\\工具\\gx.ini");
  // An unreachable manifest answers the running version: it must never
  // read as a newer one.
  EXPECT_EQ(Text(kRunningVersionText), std::to_string(kRunningVersion));
}

}  // namespace
}  // namespace qm
