// Nothing the user has is ever lost, whatever happens around a run of each
// kind of picture: existing results and the names of temporary files and
// tools beside the input, a read-only directory, a full disk, a signal
// while the result is written, paths with blanks and non-ASCII letters. No
// user file is changed or removed, every failure is reported, and nothing
// half-written remains.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/dialogs.h"
#include "support/robustness.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;

namespace {

// Each picture kind with each way its result can be written: a JPEG input
// once to JPEG and once to BMP; the photos of phones and the web (HEIC,
// AVIF, WebP) one way each.
struct Conversion {
  std::string kind;
  unsigned variant;  // of eightParameters: even gives a JPEG result, odd a BMP one
};
const Conversion kConversions[] = {{"bmp", 0},  {"bmp16", 1}, {"png", 0},  {"jpeg", 0}, {"jpeg", 1}, {"tiff", 1},
                                   {"heic", 0}, {"avif", 1},  {"webp", 0}, {"avi", 0}};

std::string describe(const Conversion& c) { return c.kind + " variant " + std::to_string(c.variant); }

// Files a user may well have beside a picture, some of them names a
// program like this one could be tempted to use for itself.
void putUserFiles(const TempDir& dir) {
  for (const char* name : {"tmp.wav", "tmp.mp3", "lame.exe", "lame_enc.dll", "notes.txt"}) {
    writeFile(dir.file(name), {'u', 's', 'e', 'r', uint8_t(name[0])});
  }
}

// A run either made one complete result and said " gotovo!", or made none
// and said what went wrong.
void expectResultOrReport(const ProgramResult& r, const std::vector<std::string>& results, const std::string& what) {
  EXPECT_TRUE(endsWithProgramMessage(r)) << what << ": " << r.out;
  EXPECT_LE(results.size(), 1u) << what;
  EXPECT_EQ(!results.empty(), r.out.ends_with(" gotovo!")) << what << ": " << r.out;
}

// Runs every conversion on a small picture named `name` (plus the kind's
// extension) in `folder`: nothing there may be lost, and each run makes a
// result or says why not. Returns how many results were made.
size_t convertEachKind(const std::string& folder, const std::string& name) {
  size_t made = 0;
  for (const Conversion& c : kConversions) {
    const FileKind& kind = fileKind(c.kind);
    const std::string input = folder + "/" + name + kind.extension;
    kind.write(input, 40, 24);
    const DirectoryRecord before = recordDirectory(folder);
    const ProgramResult r = runQuarn(eightParameters(input, c.variant));
    std::vector<std::string> results;
    EXPECT_EQ("", lostOrDamaged(before, folder, &results)) << describe(c);
    expectResultOrReport(r, results, describe(c));
    made += results.size();
    for (const std::string& result : results) std::filesystem::remove(folder + "/" + result);
    std::filesystem::remove(input);
  }
  return made;
}

TEST(NothingLost, FilesBesideTheInputAreLeftAlone) {
  TempDir dir;
  putUserFiles(dir);
  EXPECT_EQ(std::size(kConversions), convertEachKind(dir.path(), "in"));
}

TEST(NothingLost, ExistingResultsAreKept) {
  TempDir dir;
  putUserFiles(dir);
  for (const char* extension : {".bmp", ".jpg", ".tif"}) occupyOutputNames(dir, extension, {"", "_2"});
  convertEachKind(dir.path(), "in");
}

TEST(NothingLost, PathsWithBlanksAndNonAsciiLetters) {
  TempDir top;
  const std::string folder = top.file("снимки с интервали ü");
  std::filesystem::create_directory(folder);
  EXPECT_EQ(std::size(kConversions), convertEachKind(folder, "картина едно – é"));
  EXPECT_EQ((std::vector<std::string>{"снимки с интервали ü"}), top.list());
}

// The superuser may write into any directory; without the capabilities
// that allow it, root meets the directory's permissions like anyone else.
ProgramResult runWithoutOverridingPermissions(const std::vector<std::string>& args) {
  if (geteuid() != 0) return runQuarn(args);
  ProgramRun run;
  run.args = {"--bounding-set=-dac_override,-dac_read_search,-fowner", "--", quarnBinary()};
  run.args.insert(run.args.end(), args.begin(), args.end());
  return runProgram(quarn::platform::findOnPath("setpriv"), run);
}

TEST(NothingLost, AReadOnlyDirectoryGetsNoResultAndTheRunSaysSo) {
  if (geteuid() == 0 && quarn::platform::findOnPath("setpriv").empty()) GTEST_SKIP() << "root without setpriv";
  TempDir dir;
  putUserFiles(dir);
  for (const Conversion& c : kConversions) {
    const FileKind& kind = fileKind(c.kind);
    kind.write(dir.file("in" + kind.extension), 40, 24);
    const DirectoryRecord before = recordDirectory(dir.path());
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0555));
    const ProgramResult r = runWithoutOverridingPermissions(eightParameters(dir.file("in" + kind.extension), c.variant));
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
    std::vector<std::string> results;
    EXPECT_EQ("", lostOrDamaged(before, dir.path(), &results)) << describe(c);
    EXPECT_TRUE(results.empty()) << describe(c);
    expectResultOrReport(r, results, describe(c));
    std::filesystem::remove(dir.file("in" + kind.extension));
  }
}

// The input on a small memory file system that is full: writing the result
// fails. The file system is mounted in a mount namespace of the run's own,
// which ends with it, so the script copies what remains on it to a report
// directory. Needs the right to mount; skipped without it.
TEST(NothingLost, AFullDiskLeavesNoPartOfAResultAndTheRunSaysSo) {
  const std::string unshare = quarn::platform::findOnPath("unshare");
  if (unshare.empty()) GTEST_SKIP() << "no unshare";
  // $1 mount point, $2 input, $3 its name there, $4 report; then the
  // program and its arguments but the input.
  const std::string script =
      "m=$1 input=$2 name=$3 report=$4; shift 4\n"
      "mount -t tmpfs -o size=1m quarn-full \"$m\" || exit 0\n"
      ": > \"$report/mounted\"; mkdir \"$report/fs\"\n"
      "cp \"$input\" \"$m/$name\" && cat /dev/zero > \"$m/filler\" 2>/dev/null\n"
      "\"$@\" \"$m/$name\"; status=$?\n"
      "rm -f \"$m/filler\"; cp -a \"$m\"/. \"$report/fs\"/; exit $status\n";
  for (const Conversion& c : kConversions) {
    const FileKind& kind = fileKind(c.kind);
    const std::string name = "in" + kind.extension;
    TempDir mountPoint, report, source;
    kind.write(source.file(name), 40, 24);
    ProgramRun run;
    run.args = {"--mount", "/bin/sh", "-c", script, "sh", mountPoint.path(), source.file(name), name, report.path(),
                quarnBinary()};
    std::vector<std::string> eight = eightParameters("", c.variant);
    run.args.insert(run.args.end(), eight.begin(), eight.end() - 1);
    const ProgramResult r = runProgram(unshare, run);
    if (!std::filesystem::exists(report.file("mounted"))) GTEST_SKIP() << "cannot mount here: " << r.err;
    std::vector<std::string> results;
    EXPECT_EQ("", lostOrDamaged(recordDirectory(source.path()), report.file("fs"), &results)) << describe(c);
    EXPECT_TRUE(results.empty()) << describe(c);
    expectResultOrReport(r, results, describe(c));
  }
}

// A signal while the result is being written: the run removes its partial
// result and ends by that signal. A preloaded helper stops the run once it
// has written part of its result; the signal is sent then.
TEST(NothingLost, AnInterruptedRunLeavesNoPartOfItsResult) {
  TempDir dir, temporary;
  putUserFiles(dir);
  for (const Conversion& c : kConversions) {
    const FileKind& kind = fileKind(c.kind);
    const std::string input = dir.file("in" + kind.extension);
    kind.write(input, 800, 600);  // results of far more than the 64 KB before the stop
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      const std::string what = describe(c) + ", signal " + std::to_string(signal);
      const DirectoryRecord before = recordDirectory(dir.path());
      ProgramRun run;
      run.args = eightParameters(input, c.variant);
      run.env = {{"TMPDIR", temporary.path()}};  // a video's sound on its way
      bool interrupted = false;
      const ProgramResult r = runInterruptedWhileWriting(run, signal, interrupted);
      EXPECT_TRUE(interrupted) << what << ": never stopped while writing: " << r.out;
      EXPECT_EQ(signal, r.signal) << what << ": " << r.out;
      EXPECT_FALSE(sanitizerReported(r)) << what << ": " << r.err;
      std::vector<std::string> results;
      EXPECT_EQ("", lostOrDamaged(before, dir.path(), &results)) << what;
      EXPECT_TRUE(results.empty()) << what;
      EXPECT_TRUE(temporary.list().empty()) << what;
    }
    std::filesystem::remove(input);
  }
}

// A signal the caller set to be ignored stays ignored: a run under nohup
// outlives the closed terminal, and a script's background job (whose
// SIGINT the shell ignores) the Ctrl-C meant for the script. Either run
// ends with its whole result.
TEST(NothingLost, ASignalTheCallerIgnoresLetsTheRunFinish) {
  struct Case {
    int signal;
    std::vector<std::string> caller;  // starts the program with its arguments after these
  };
  const Case cases[] = {
      {SIGHUP, {"nohup"}},
      {SIGINT, {"/bin/sh", "-c", "trap '' INT; exec \"$0\" \"$@\""}},
  };
  TempDir dir, temporary;
  for (const Case& c : cases) {
    for (const char* kindName : {"bmp", "avi"}) {
      const FileKind& kind = fileKind(kindName);
      const std::string input = dir.file("in" + kind.extension);
      kind.write(input, 800, 600);
      const std::string what = c.caller[0] + ", " + kindName;
      const DirectoryRecord before = recordDirectory(dir.path());
      ProgramRun run;
      run.args.assign(c.caller.begin() + 1, c.caller.end());
      run.args.push_back(quarnBinary());
      for (const std::string& a : eightParameters(input, 0)) run.args.push_back(a);
      run.env = {{"TMPDIR", temporary.path()}};
      bool interrupted = false;
      const ProgramResult r = runInterruptedWhileWriting(run, c.signal, interrupted, c.caller[0]);
      EXPECT_TRUE(interrupted) << what << ": never stopped while writing: " << r.out;
      EXPECT_EQ(0, r.exitCode) << what << ": signal " << r.signal << ": " << r.out;
      std::vector<std::string> results;
      EXPECT_EQ("", lostOrDamaged(before, dir.path(), &results)) << what;
      EXPECT_EQ(1u, results.size()) << what << ": " << r.out;
      EXPECT_TRUE(r.out.ends_with(" gotovo!")) << what << ": " << r.out;
      EXPECT_TRUE(temporary.list().empty()) << what;
      for (const std::string& result : results) std::filesystem::remove(dir.file(result));
      std::filesystem::remove(input);
    }
  }
}

}  // namespace
