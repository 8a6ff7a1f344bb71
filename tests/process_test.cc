// The platform's process services: child programs, temporary files, and
// what an interrupted run leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "platform/output_file.h"
#include "platform/temporary_file.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn;
using quarn::testing::readFile;
using quarn::testing::stillRuns;
using quarn::testing::TempDir;
using quarn::testing::writeFile;

TEST(ChildProcess, PassesArgumentsUnchangedAndCollectsOutput) {
  const platform::ChildResult r = platform::runChild(
      {"sh", "-c", "printf '%s|' \"$@\"; echo err >&2; exit 3", "sh", "a b", "юникод", ""},
      platform::ChildOutput::kCapture);
  EXPECT_TRUE(r.started);
  EXPECT_EQ(3, r.exitStatus);
  EXPECT_EQ("a b|юникод||err\n", r.output);

  const platform::ChildResult missing =
      platform::runChild({"/nonexistent/quarn-no-such-tool", "x"}, platform::ChildOutput::kCapture);
  EXPECT_FALSE(missing.started);
  const platform::ChildResult quiet = platform::runChild({"sh", "-c", "echo x"}, platform::ChildOutput::kDiscard);
  EXPECT_TRUE(quiet.started);
  EXPECT_EQ(0, quiet.exitStatus);
  EXPECT_EQ("", quiet.output);
}

// The ways this process can end early: exit() (as a library may call it)
// and each interrupting signal.
constexpr int kByExit = 0;
const int kWaysOut[] = {kByExit, SIGTERM, SIGINT, SIGHUP};

// Ends this process as `wayOut` says, the interruption handled as the
// program handles it.
[[noreturn]] void endBy(int wayOut) {
  if (wayOut == kByExit) std::exit(3);
  kill(getpid(), wayOut);
  while (true) pause();
}

// A new T that stays in reach to the process's end (for the leak
// checker), as the objects of a program ended from deep inside its work.
template <typename T>
T* keptToTheEnd() {
  static auto* kept = new std::vector<void*>;  // never destroyed
  T* made = new T;
  kept->push_back(made);
  return made;
}

// Runs `work` in a child process of the test, which must end by
// endBy(wayOut). The child must end just so.
void doThenEnd(int wayOut, const std::function<void()>& work) {
  const auto run = [&] {
    if (wayOut != kByExit) ::signal(wayOut, SIG_DFL);  // whatever the test's own caller set
    platform::installInterruptHandling();
    work();
  };
  if (wayOut == kByExit) {
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(3), "");
  } else {
    EXPECT_EXIT(run(), ::testing::KilledBySignal(wayOut), "");
  }
}

// The pids a fake tool wrote, one a line, into `path`.
std::vector<int> pidsIn(const std::string& path) {
  std::vector<int> pids;
  const std::vector<uint8_t> bytes = readFile(path);
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  for (int pid = 0; lines >> pid;) pids.push_back(pid);
  return pids;
}

// Fake tools ($1: a scratch folder) that hang, leave a program behind
// holding their output, work quietly or print without end: each run ends
// in bounded time with what the limits say, and no process of it remains.
TEST(ChildProcess, EveryChildIsBoundedInTimeAndOutputAndLeavesNoProcess) {
  using std::chrono::milliseconds;
  struct Case {
    const char* what;
    std::string script;
    platform::ChildLimits limits;
    bool endedForSilence;
    int exitStatus;
    std::string output;  // the kept tail; "*": 64 KiB of zero bytes
    uint64_t leftOut;
  };
  const size_t kept = 64 << 10;
  const platform::ChildLimits none, oneSecond{milliseconds(1000), "", SIZE_MAX},
      watchingItsFile{milliseconds(1000), "FILE", SIZE_MAX}, tail{milliseconds(5000), "", kept};
  const uint64_t printed = 600'000'000;
  const Case cases[] = {
      {"hangs without a word", "echo $$ > \"$1/pids\"; exec sleep 600", oneSecond, true, -1, "", 0},
      {"hangs after a line, in a program of its own", "echo working; sleep 600 & echo $! > \"$1/pids\"; wait",
       oneSecond, true, -1, "working\n", 0},
      {"leaves a program behind holding its output", "sleep 600 & echo $! > \"$1/pids\"; echo done", none, false, 0,
       "done\n", 0},
      {"works quietly, its file growing", "for i in 1 2 3 4 5 6 7 8; do printf x >> \"$1/file\"; sleep 0.25; done",
       watchingItsFile, false, 0, "", 0},
      {"works quietly, its file not watched", "for i in 1 2 3 4 5 6 7 8; do printf x >> \"$1/file\"; sleep 0.25; done",
       oneSecond, true, -1, "", 0},
      {"prints 600 MB", "head -c " + std::to_string(printed) + " /dev/zero; exit 4", tail, false, 4, "*", printed - kept},
  };
  for (const Case& c : cases) {
    TempDir scratch;
    platform::ChildLimits limits = c.limits;
    if (limits.watchedFile == "FILE") limits.watchedFile = scratch.file("file");
    const auto start = std::chrono::steady_clock::now();
    const platform::ChildResult r =
        platform::runChild({"sh", "-c", c.script, "sh", scratch.path()}, platform::ChildOutput::kCapture, limits);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20) << c.what;
    EXPECT_TRUE(r.started) << c.what;
    EXPECT_EQ(c.endedForSilence, r.endedForSilence) << c.what;
    EXPECT_EQ(c.exitStatus, r.exitStatus) << c.what;
    EXPECT_TRUE(r.output == (c.output == "*" ? std::string(kept, '\0') : c.output)) << c.what << ": " << r.output.size();
    EXPECT_EQ(c.leftOut, r.outputLeftOut) << c.what;
    if (platform::pathExists(scratch.file("pids"))) {
      for (const int pid : pidsIn(scratch.file("pids"))) EXPECT_FALSE(stillRuns(pid, 5)) << c.what << ": " << pid;
    }
  }
}

TEST(ChildProcess, TheUserSeesHowMuchOutputWasLeftOut) {
  platform::ChildResult r;
  r.output = "last\n";
  EXPECT_EQ("last\n", platform::outputForUser(r));
  r.outputLeftOut = 123456;
  EXPECT_EQ(" ... (propusnati 123456 baita ot izhoda)\nlast\n", platform::outputForUser(r));
}

// However this process ends while a child runs, the child's group goes
// with it.
TEST(ChildProcess, EndsWithTheProcessThatStartedIt) {
  for (const int wayOut : kWaysOut) {
    TempDir scratch;
    doThenEnd(wayOut, [&] {
      std::thread([&] {
        platform::runChild({"sh", "-c", "sleep 600 & echo $! > \"$1/pids\"; exec sleep 600", "sh", scratch.path()},
                           platform::ChildOutput::kDiscard);
      }).detach();
      while (!platform::pathExists(scratch.file("pids")) || readFile(scratch.file("pids")).empty()) usleep(1000);
      endBy(wayOut);
    });
    const std::vector<int> pids = pidsIn(scratch.file("pids"));
    ASSERT_EQ(1u, pids.size()) << wayOut;
    EXPECT_FALSE(stillRuns(pids[0], 5)) << wayOut;
  }
}

TEST(TemporaryFile, FreshNameRemovedByItsOwnerOnly) {
  TempDir dir;
  setenv("TMPDIR", dir.path().c_str(), 1);
  writeFile(dir.file("mine.wav"), {'u'});
  std::string first;
  {
    platform::TemporaryFile a, b;
    ASSERT_TRUE(a.create(".wav"));
    ASSERT_TRUE(b.create(".wav"));
    first = a.path();
    EXPECT_NE(a.path(), b.path());
    EXPECT_EQ(0u, a.path().rfind(dir.path() + "/quarn-", 0));
    EXPECT_EQ(".wav", a.path().substr(a.path().size() - 4));
    EXPECT_EQ(3u, dir.list().size());
    b.remove();
    EXPECT_EQ(2u, dir.list().size());
  }
  unsetenv("TMPDIR");
  EXPECT_FALSE(platform::pathExists(first));
  EXPECT_EQ((std::vector<std::string>{"mine.wav"}), dir.list());
}

// Every way out (exit(), as a library may call it, and each interrupting
// signal) goes through the one clean-up registry: the files this run was
// making go, the ones it did not make stay, a finished result stays.
TEST(Interruption, RemovesOnlyTheFilesThisRunIsMakingAndEndsBySignal) {
  TempDir dir;
  writeFile(dir.file("theirs"), {'k'});
  for (const int wayOut : kWaysOut) {
    doThenEnd(wayOut, [&] {
      setenv("TMPDIR", dir.path().c_str(), 1);
      // Never destroyed: the ending comes first.
      auto* result = keptToTheEnd<platform::OutputFile>();  // never finished
      result->create(dir.file("result"));
      result->write("half", 4);
      auto* taken = keptToTheEnd<platform::OutputFile>();
      taken->create(dir.file("theirs"));  // exists: not this run's
      auto* temporary = keptToTheEnd<platform::TemporaryFile>();
      temporary->create(".wav");
      auto* finished = keptToTheEnd<platform::OutputFile>();
      finished->create(dir.file("finished"));
      finished->write("whole", 5);
      finished->commit();
      auto* removed = keptToTheEnd<platform::TemporaryFile>();
      removed->create(".mp3");
      removed->remove();
      endBy(wayOut);
    });
    EXPECT_EQ((std::vector<std::string>{"finished", "theirs"}), dir.list()) << wayOut;
    EXPECT_EQ((std::vector<uint8_t>{'k'}), readFile(dir.file("theirs")));
    std::filesystem::remove(dir.file("finished"));
  }
}
