// The updater: what it installs, what it refuses, and that the installed
// program survives every failure byte for byte.
#include <gtest/gtest.h>

#include "host/files.h"
#include "host/ini.h"
#include "host/shell.h"
#include "tests/update/answer_server.h"
#include "tests/update/update_test_support.h"
#include "updater/failed_release.h"
#include "updater/install.h"
#include "updater/sha256.h"

namespace qm {
namespace {

using test::FileExists;
using test::ScratchFolder;

Bytes Installed() {
  return test::BuiltFile("stand_in.exe");
}

// A different release: the same program with bytes appended, which a
// Windows executable ignores, so it still runs and reports its own size.
Bytes NewRelease() {
  Bytes release = Installed();
  const Text extra = "\nQuillmar release 2\n";
  release.insert(release.end(), extra.begin(), extra.end());
  return release;
}

Text HashFragment(const Bytes& bytes) {
  return "#sha256=" + HexDigest(Sha256(bytes));
}

InstallOptions LoopbackOptions() {
  InstallOptions options;
  options.scheme = SchemeRule::kAlsoPlainHttpForTests;
  options.limits.stall_timeout_ms = 5'000;
  options.replace_patience_ms = 500;
  return options;
}

void ExpectUntouched(const ScratchFolder& folder) {
  EXPECT_EQ(ReadFileBytes(folder.File("Quillmar.exe")), Installed());
  EXPECT_FALSE(FileExists(folder.File("Quillmar更新.exe")));
  EXPECT_FALSE(FileExists(folder.File("Quillmar.exe.old")));
}

TEST(InstallRelease, ReplacesTheProgramWhenTheHashMatches) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder.File("Quillmar.exe"), {Installed()}));
  test::AnswerServer server;
  server.SetAnswer({200, NewRelease()});

  EXPECT_TRUE(InstallRelease(folder.Path(),
                             server.Url("/r/Quillmar.exe") + HashFragment(NewRelease()),
                             LoopbackOptions()));
  EXPECT_EQ(ReadFileBytes(folder.File("Quillmar.exe")), NewRelease());
  EXPECT_FALSE(FileExists(folder.File("Quillmar更新.exe")));
  EXPECT_FALSE(FileExists(folder.File("Quillmar.exe.old")));
  // The hash travels in the fragment, which is never sent.
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"GET /r/Quillmar.exe HTTP/1.0"});

  // Installed already: nothing is fetched, nothing replaced, and the caller
  // just starts the program again.
  EXPECT_TRUE(InstallRelease(folder.Path(),
                             server.Url("/r/Quillmar.exe") + HashFragment(NewRelease()),
                             LoopbackOptions()));
  EXPECT_EQ(ReadFileBytes(folder.File("Quillmar.exe")), NewRelease());
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_FALSE(FileExists(folder.File("Quillmar更新.exe")));
}

TEST(InstallRelease, KeepsTheInstalledProgramOnABadDownload) {
  struct Case {
    const char* what;
    test::Answer answer;
  };
  const std::vector<Case> cases = {
      {"other bytes than the hash names", {200, Installed()}},
      {"cut short", {200, NewRelease(), NewRelease().size() / 2}},
      {"error page", {404, BytesFromText("<html>not found</html>")}},
      {"empty", {200, {}}},
      {"redirect to plain http", {302, NewRelease(), static_cast<std::size_t>(-1), 0, "@SELF@"}},
  };
  test::AnswerServer server;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder.File("Quillmar.exe"), {Installed()}));
    test::Answer answer = c.answer;
    // Every hop must be https, even where the first address may be http.
    if (answer.location == "@SELF@") answer.location = server.Url("/elsewhere/Quillmar.exe");
    const std::size_t asked = server.Requests().size();
    server.SetAnswer(answer);
    EXPECT_FALSE(InstallRelease(folder.Path(),
                                server.Url("/Quillmar.exe") + HashFragment(NewRelease()),
                                LoopbackOptions()));
    EXPECT_EQ(server.Requests().size(), asked + 1);
    ExpectUntouched(folder);
  }
}

// The real updater, as the program leaves it: gx.ini beside it, no
// arguments. Addresses it must refuse are never even asked for.
TEST(Updater, RefusesUncheckableAddressesAndRestartsTheInstalledProgram) {
  test::AnswerServer server;
  server.SetAnswer({200, NewRelease()});
  const Text https_port = server.Url("/Quillmar.exe").replace(0, 4, "https");
  for (const Text& address : {
           server.Url("/Quillmar.exe") + HashFragment(NewRelease()),  // plain http
           https_port,                                                // no hash
           https_port + "#sha256=",                                   // empty hash
       }) {
    SCOPED_TRACE(address);
    ScratchFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder.File("Quillmar.exe"), {Installed()}));
    ASSERT_TRUE(WriteFileBytes(folder.File("xz.exe"), {test::BuiltFile("xz.exe")}));
    WriteIniText(folder.File("gx.ini"), "gx", Text("xz"), address);
    WriteIniText(folder.File("gx.ini"), "gx", Text("gx"), Text("1"));

    std::vector<std::wstring> messages;
    EXPECT_EQ(
        test::RunAndAnswer(QuotedCommand(folder.File("xz.exe")), folder.File("xz.exe"), messages),
        1);
    EXPECT_LE(messages.size(), 1u);
    if (!messages.empty()) {
      EXPECT_NE(messages[0].find(L"更新失败"), std::wstring::npos);
    }
    ExpectUntouched(folder);
    EXPECT_TRUE(ReleaseFailedToday(folder.File("gx.ini"), address))
        << "the next start must not hand over to the same release again today";
    EXPECT_TRUE(
        test::WaitFor([&] { return test::StartedSizes(folder.Path()).size() == 1; }, 10'000));
    EXPECT_EQ(test::StartedSizes(folder.Path()),
              std::vector<std::string>{std::to_string(Installed().size())});
  }
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace qm
