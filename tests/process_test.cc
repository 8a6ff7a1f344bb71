// The platform's process services: child programs, temporary files, and
// what an interrupted run leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/interruption.h"
#include "platform/output_file.h"
#include "platform/temporary_file.h"
#include "support/temp_dir.h"

using namespace quarn;
using quarn::testing::readFile;
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
  for (const int signal : {0, SIGTERM, SIGINT, SIGHUP}) {  // 0: exit()
    const auto run = [&] {
      if (signal != 0) {
        ::signal(signal, SIG_DFL);  // whatever the test's own caller set
        platform::installInterruptHandling();
      }
      setenv("TMPDIR", dir.path().c_str(), 1);
      auto* result = new platform::OutputFile;  // never finished: the ending comes first
      result->create(dir.file("result"));
      result->write("half", 4);
      auto* taken = new platform::OutputFile;
      taken->create(dir.file("theirs"));  // exists: not this run's
      auto* temporary = new platform::TemporaryFile;
      temporary->create(".wav");
      auto* finished = new platform::OutputFile;
      finished->create(dir.file("finished"));
      finished->write("whole", 5);
      finished->commit();
      auto* removed = new platform::TemporaryFile;
      removed->create(".mp3");
      removed->remove();
      if (signal == 0) std::exit(3);
      kill(getpid(), signal);
      while (true) pause();
    };
    if (signal == 0) {
      EXPECT_EXIT(run(), ::testing::ExitedWithCode(3), "");
    } else {
      EXPECT_EXIT(run(), ::testing::KilledBySignal(signal), "");
    }
    EXPECT_EQ((std::vector<std::string>{"finished", "theirs"}), dir.list()) << signal;
    EXPECT_EQ((std::vector<uint8_t>{'k'}), readFile(dir.file("theirs")));
    std::filesystem::remove(dir.file("finished"));
  }
}
