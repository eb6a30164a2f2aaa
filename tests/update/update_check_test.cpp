// The start-up check: which files it touches, when it asks for the download
// address, and how the manifest source behaves when the service misbehaves.
#include "app/update_check.h"

#include <gtest/gtest.h>

#include "host/files.h"
#include "host/ini.h"
#include "tests/host/zip_builder.h"
#include "tests/update/answer_server.h"
#include "tests/update/update_test_support.h"
#include "updater/failed_release.h"
#include "updater/payload.h"

namespace qm {
namespace {

using test::FileExists;
using test::IniValue;
using test::ScratchFolder;
namespace fs = std::filesystem;

const Text kAddress =
    "https://example.test/"
    "Quillmar.exe#sha256=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class FakeSource final : public UpdateSource {
 public:
  explicit FakeSource(Text version) : version_(std::move(version)) {}
  Text LatestVersion() override { return version_; }
  Text DownloadAddress() override {
    ++address_asked;
    return kAddress;
  }
  int address_asked = 0;

 private:
  Text version_;
};

// An archive whose xz.exe is the stand-in program, so a started updater
// leaves its mark instead of updating anything.
Bytes StandInArchive() {
  return test::BuiltFile("stand_in_xz.zip");
}

void PlaceLeftoverAndSettings(const ScratchFolder& folder) {
  WriteFileBytes(folder.File("Quillmar更新.exe"), {BytesFromText("half a download")});
  WriteFileBytes(folder.File("gx.ini"),
                 {BytesFromText("[other]\r\nkeep=yes\r\n[gx]\r\nold=kept\r\n")});
}

TEST(UpdateCheck, NoGreaterVersionNumberOnlyRemovesTheLeftover) {
  // The same or an older version, and anything that is not a plain decimal
  // number, never hands over: no downgrades, no hand-over by accident.
  for (const Text version :
       {"1", "0", "", "1 ", "1\r\n", "01", "-2", "+2", "2.0", "1e3", "0x10", "1000000000"}) {
    SCOPED_TRACE("version \"" + version + "\"");
    ScratchFolder folder;
    PlaceLeftoverAndSettings(folder);
    const Bytes settings = ReadFileBytes(folder.File("gx.ini"));
    FakeSource source(version);

    EXPECT_FALSE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
    EXPECT_FALSE(FileExists(folder.File("Quillmar更新.exe")));
    EXPECT_EQ(source.address_asked, 0);
    EXPECT_EQ(ReadFileBytes(folder.File("gx.ini")), settings);
    EXPECT_FALSE(FileExists(folder.File("xz.zip")));
    EXPECT_FALSE(FileExists(folder.File("xz.exe")));
  }
}

TEST(UpdateCheck, NewerVersionHandsOverToTheUpdater) {
  ASSERT_FALSE(StandInArchive().empty());
  for (const Text version : {"2", "10", "002", "999999999"}) {
    SCOPED_TRACE("version \"" + version + "\"");
    ScratchFolder folder;
    PlaceLeftoverAndSettings(folder);
    FakeSource source(version);

    EXPECT_TRUE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
    EXPECT_EQ(source.address_asked, 1);
    EXPECT_FALSE(FileExists(folder.File("Quillmar更新.exe")));
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "xz"), kAddress);
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "gx"), "1");
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "old"), "kept");
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "other", "keep"), "yes");
    EXPECT_TRUE(FileExists(folder.File("xz.exe")));
    EXPECT_FALSE(FileExists(folder.File("xz.zip")));
    EXPECT_TRUE(
        test::WaitFor([&] { return test::StartedSizes(folder.Path()).size() == 1; }, 10'000))
        << "the updater was not started";
  }
}

TEST(UpdateCheck, AHandOverThatCannotStartCleansUpAndStartUpGoesOn) {
  struct Case {
    const char* what;
    Bytes archive;
    bool xz_is_a_folder = false;
  };
  const std::vector<Case> cases = {
      {"not an archive: nothing to unpack", BytesFromText("not a zip archive")},
      {"no archive at all", {}},
      {"xz.exe is a folder: cannot be written", StandInArchive(), true},
      {"xz.exe is no program: cannot be started",
       BytesFromText(test::BuildZip({{.name = "xz.exe", .data = "plain text, not a program"}}))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    PlaceLeftoverAndSettings(folder);
    if (c.xz_is_a_folder) fs::create_directory(folder / "xz.exe");
    FakeSource source("2");

    EXPECT_FALSE(HandOverToUpdater(folder.Path(), source, c.archive));
    EXPECT_FALSE(FileExists(folder.File("xz.zip")));
    // A folder in the way is left alone; a written updater is removed.
    EXPECT_EQ(FileExists(folder.File("xz.exe")), c.xz_is_a_folder);
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "xz"), "<missing>");
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "gx"), "<missing>");
    EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "old"), "kept");
    EXPECT_TRUE(ReleaseFailedToday(folder.File("gx.ini"), kAddress))
        << "the same release must not be tried again at every start today";
    EXPECT_TRUE(test::StartedSizes(folder.Path()).empty());

    // The next start goes straight on to the window.
    EXPECT_FALSE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
    EXPECT_EQ(FileExists(folder.File("xz.exe")), c.xz_is_a_folder);
  }
}

TEST(UpdateCheck, AReleaseAlreadyInstalledIsNotHandedOver) {
  ScratchFolder folder;
  // The address's hash is that of these three bytes.
  ASSERT_TRUE(WriteFileBytes(folder.File("Quillmar.exe"), {BytesFromText("abc")}));
  FakeSource source("2");
  EXPECT_FALSE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
  EXPECT_FALSE(FileExists(folder.File("xz.exe")));
  EXPECT_FALSE(FileExists(folder.File("gx.ini")));
}

TEST(UpdateCheck, AReleaseThatFailedTodayIsNotHandedOverAgain) {
  ScratchFolder folder;
  FakeSource source("2");
  RecordFailedRelease(folder.File("gx.ini"), kAddress);
  EXPECT_FALSE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
  EXPECT_EQ(source.address_asked, 1);
  EXPECT_FALSE(FileExists(folder.File("xz.exe")));

  // Another day, or another release, is tried again.
  WriteIniText(folder.File("gx.ini"), "gx", Text("failedon"), Text("20000101"));
  EXPECT_TRUE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
  RecordFailedRelease(folder.File("gx.ini"), kAddress + "0");
  EXPECT_TRUE(HandOverToUpdater(folder.Path(), source, StandInArchive()));
}

TEST(ManifestSource, AnswersFromAWellFormedManifestAskedOnce) {
  test::AnswerServer server;
  server.SetAnswer({200, BytesFromText("2\r\n" + kAddress + "\r\n")});
  ManifestUpdateSource source(server.Url("/latest.txt"));
  EXPECT_EQ(source.LatestVersion(), "2");
  EXPECT_EQ(source.DownloadAddress(), kAddress);
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"GET /latest.txt HTTP/1.0"});
}

TEST(ManifestSource, AMisbehavingServiceMeansNoUpdate) {
  test::AnswerServer server;
  struct Case {
    const char* what;
    test::Answer answer;
  };
  const std::vector<Case> cases = {
      {"error status", {500, BytesFromText("<html>Internal Server Error</html>")}},
      {"garbage", {200, BytesFromText("\x89PNG\r\n\x1a\n garbage")}},
      {"empty", {200, {}}},
      {"cut short", {200, BytesFromText("2\r\n" + kAddress), 20}},
      {"too slow", {200, BytesFromText("2\r\n" + kAddress), static_cast<std::size_t>(-1), 20'000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.SetAnswer(c.answer);
    ManifestUpdateSource source(server.Url("/latest.txt"));
    EXPECT_EQ(source.LatestVersion(), "1");
    EXPECT_EQ(source.DownloadAddress(), "");
  }
}

TEST(ManifestSource, ARedirectToPlainHttpIsNotFollowed) {
  test::AnswerServer server;
  test::Answer redirect{302, BytesFromText("moved")};
  redirect.location = server.Url("/plain.txt");
  server.SetAnswer(redirect);
  ManifestUpdateSource source(server.Url("/latest.txt"));
  EXPECT_EQ(source.LatestVersion(), "1");
  EXPECT_EQ(source.DownloadAddress(), "");
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"GET /latest.txt HTTP/1.0"});
}

TEST(ManifestSource, AnUnreachableServiceMeansNoUpdate) {
  Text url;
  {
    test::AnswerServer closed_again;
    url = closed_again.Url("/latest.txt");
  }
  ManifestUpdateSource source(url);
  EXPECT_EQ(source.LatestVersion(), "1");
}

TEST(UpdaterArchive, IsCarriedAsOneDeflatedXzExe) {
  const Bytes archive = EmbeddedUpdaterArchive();
  ASSERT_GT(archive.size(), 30u);
  // Local file header: signature, method 8 (deflate), name "xz.exe".
  EXPECT_EQ(Text(archive.begin(), archive.begin() + 4), Text("PK\x03\x04", 4));
  EXPECT_EQ(archive[8], 8);
  EXPECT_EQ(Text(archive.begin() + 30, archive.begin() + 36), "xz.exe");
}

// Runs the start-up check in its own process for `folder`, against a
// manifest naming `version` and kAddress; the probe's exit code (3: the
// main window would open), its message boxes answered.
int RunCheckProgram(const ScratchFolder& folder, const Text& version,
                    std::vector<std::wstring>& messages) {
  test::AnswerServer server;
  server.SetAnswer({200, BytesFromText(version + "\n" + kAddress + "\n")});
  const Text probe =
      "update_check_probe.exe \"" + folder.Path() + "\" " + server.Url("/latest.txt");
  return test::RunAndAnswer(probe, folder.File("update_check_probe.exe"), messages);
}

// The whole start-up check as the program runs it, in its own process,
// with the real updater from the carried archive. The release address
// cannot be fetched, so the updater reports the failure and starts the
// installed program again.
TEST(UpdateCheckProgram, EndsWithCodeZeroAfterStartingTheUpdater) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder.File("Quillmar.exe"), {test::BuiltFile("stand_in.exe")}));
  std::vector<std::wstring> probe_messages;
  EXPECT_EQ(RunCheckProgram(folder, "2", probe_messages), 0);
  EXPECT_EQ(IniValue(folder.File("gx.ini"), "gx", "xz"), kAddress);
  EXPECT_FALSE(FileExists(folder.File("xz.zip")));
  EXPECT_EQ(ReadFileBytes(folder.File("xz.exe")), test::BuiltFile("xz.exe"));

  const std::vector<std::wstring> messages = test::AnswerMessageBoxes(
      folder.File("xz.exe"), [&] { return !test::StartedSizes(folder.Path()).empty(); }, 30'000);
  EXPECT_EQ(test::StartedSizes(folder.Path()).size(), 1u)
      << "the installed program was not started again";
  EXPECT_LE(messages.size(), 1u);
  if (!messages.empty()) {
    EXPECT_NE(messages[0].find(L"更新失败"), std::wstring::npos);
  }
}

TEST(UpdateCheckProgram, ReturnsToStartUpWhenUpToDate) {
  ScratchFolder folder;
  std::vector<std::wstring> messages;
  EXPECT_EQ(RunCheckProgram(folder, "1", messages), 3);
  EXPECT_FALSE(FileExists(folder.File("gx.ini")));
  EXPECT_FALSE(FileExists(folder.File("xz.exe")));
}

TEST(UpdateCheckProgram, ReturnsToStartUpWhenTheUpdaterCannotBeUnpacked) {
  ScratchFolder folder;
  fs::create_directory(folder / "xz.exe");
  std::vector<std::wstring> messages;
  EXPECT_EQ(RunCheckProgram(folder, "2", messages), 3);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(FileExists(folder.File("xz.zip")));
  EXPECT_TRUE(ReleaseFailedToday(folder.File("gx.ini"), kAddress));
}

}  // namespace
}  // namespace qm
