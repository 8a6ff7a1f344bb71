// The platform's process services: child programs, temporary files, and
// what an interrupted run leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

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

TEST(Interruption, RemovesOnlyTheFilesThisRunIsMakingAndEndsBySignal) {
  TempDir dir;
  writeFile(dir.file("theirs"), {'k'});
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    EXPECT_EXIT(
        {
          platform::installInterruptHandling();
          setenv("TMPDIR", dir.path().c_str(), 1);
          auto* result = new platform::OutputFile;  // never finished: the signal comes first
          result->create(dir.file("result"));
          result->write("half", 4);
          auto* taken = new platform::OutputFile;
          taken->create(dir.file("theirs"));  // exists: not this run's
          auto* temporary = new platform::TemporaryFile;
          temporary->create(".wav");
          kill(getpid(), signal);
          while (true) pause();
        },
        ::testing::KilledBySignal(signal), "");
    EXPECT_EQ((std::vector<std::string>{"theirs"}), dir.list()) << signal;
    EXPECT_EQ((std::vector<uint8_t>{'k'}), readFile(dir.file("theirs")));
  }
}
