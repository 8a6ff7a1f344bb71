// Whole runs on AVIs that are damaged or forged: a run's memory follows
// what the file really holds, rates are kept exactly or refused, refused
// pictures keep their place, and sound is never lost without a word.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/child_process.h"
#include "platform/dialogs.h"
#include "support/avi_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/video_fixture.h"

using namespace quarn;
using namespace quarn::testing;

namespace {

constexpr const char* kOutOfMemory = " greshka! Nqma dostatachno svobodna pamet!";
constexpr const char* kUnreadable = " greshka! Problem s razchitane na videoto!";
constexpr const char* kUndecodable = " \nne moje da se dekompresira";

// Ten Motion JPEG frames of 64 x 48 at `rate`, with a second of PCM sound.
void makeClip(const std::string& path, const std::string& rate = "10") {
  ASSERT_TRUE(runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=" + rate, "-f", "lavfi", "-i",
                         "sine=duration=1", "-frames:v", "10", "-c:v", "mjpeg", "-c:a", "pcm_s16le", path}));
}

Bytes::iterator find(Bytes& file, const char* text, Bytes::iterator from) {
  return std::search(from, file.end(), text, text + 4);
}

void putLe32(Bytes::iterator at, uint32_t value) {
  const Bytes bytes = le32(value);
  std::copy(bytes.begin(), bytes.end(), at);
}

// The video stream header's dwScale and dwRate set.
std::function<void(Bytes&)> videoRate(uint32_t rate, uint32_t scale) {
  return [=](Bytes& file) {
    const auto vids = find(file, "vids", file.begin());
    putLe32(vids + 20, scale);
    putLe32(vids + 24, rate);
  };
}

// The sound format's nSamplesPerSec set.
std::function<void(Bytes&)> soundRate(uint32_t rate) {
  return [=](Bytes& file) { putLe32(find(file, "strf", find(file, "auds", file.begin())) + 8 + 4, rate); };
}

// Every other picture's data overwritten with bytes no decoder takes.
void spoilEveryOtherPicture(Bytes& file) {
  const auto movi = find(file, "movi", file.begin());
  int n = 0;
  for (auto at = find(file, "00dc", movi); at != file.end(); at = find(file, "00dc", at + 4)) {
    const uint32_t size = uint32_t(at[4]) | uint32_t(at[5]) << 8 | uint32_t(at[6]) << 16 | uint32_t(at[7]) << 24;
    if (size == 0 || size > uint64_t(file.end() - at)) break;  // the index's entries follow the movie
    if (n++ % 2 == 1) std::fill(at + 8, at + 8 + size, 0x55);
  }
}

// A picture stream claiming 16000 x 16000 Motion JPEG frames, holding a
// garbage chunk of 10 bytes.
Bytes hugeClaim() {
  const Bytes bitmap = le32(40) + le32(16000) + le32(16000) + le16(1) + le16(24) + chars("MJPG") + Bytes(20, 0);
  Bytes strh = streamHeader("vids");
  std::copy_n(chars("MJPG").begin(), 4, strh.begin() + 4);  // fccHandler
  RiffBuilder b;
  b.list("RIFF", "AVI ").list("LIST", "hdrl").chunk("avih", mainHeader(1));
  b.list("LIST", "strl").chunk("strh", strh).chunk("strf", bitmap).end().end();
  b.list("LIST", "movi").chunk("00dc", pattern(10, 1)).end();
  return b.bytes() + Bytes(190000, 0);
}

struct Outcome {
  int status;
  const char* says;         // in the output
  int frames = -1;          // of the result; -1: no result
  bool sound = false;       // the result has a sound stream
  const char* rate = nullptr;  // the result's frames per second, when given
};

struct Case {
  const char* what;
  std::function<void(Bytes&)> change;  // on a clip made by makeClip
  Outcome want;
  std::map<std::string, std::string> env = {};
};

}  // namespace

TEST(HostileAvi, EachFaultEndsAsItShould) {
  const Case cases[] = {
      {"a rate above 1000 frames a second: refused, not changed", videoRate(1200, 1), {255, kUnreadable}},
      {"1001 frames a second", videoRate(1001, 1), {255, kUnreadable}},
      {"a scale past 31 bits that does not reduce", videoRate(2147483647, 2147483649u), {255, kUnreadable}},
      {"large terms that reduce: kept exactly", videoRate(3000000000u, 100000000u), {0, "", 10, true, "30/1"}},
      {"30000/1001", videoRate(30000, 1001), {0, "", 10, true, "30000/1001"}},
      {"refused pictures: the one before stands in, the time is kept", spoilEveryOtherPicture,
       {0, kUndecodable, 10, true}},
      {"a sound rate of 0: the video converts, the sound stays out with its message", soundRate(0),
       {0, " tip - neizvesten audio format!", 10, false}},
      {"a sound rate past 31 bits", soundRate(0x80000000u), {0, " tip - neizvesten audio format!", 10, false}},
      {"a RIFF length of 0", [](Bytes& f) { putLe32(f.begin() + 4, 0); }, {0, " tip - pcm - poddurjano!", 10, true}},
      {"a movi length of 0", [](Bytes& f) { putLe32(find(f, "movi", f.begin()) - 4, 0); },
       {0, " tip - pcm - poddurjano!", 10, true}},
      {"no picture decodes: the ending of a stream without pictures",
       [](Bytes& f) {
         for (auto at = find(f, "00dc", find(f, "movi", f.begin())); at != f.end(); at = find(f, "00dc", at + 4)) {
           const uint32_t size = uint32_t(at[4]) | uint32_t(at[5]) << 8;
           if (size == 0 || size > uint64_t(f.end() - at)) break;
           std::fill(at + 8, at + 8 + size, 0x55);
         }
       },
       {255, " greshka! Lipsvat video danni!"}},
      {"PCM with no temporary folder", nullptr, {0, " Finalizirane ... gotovo!", 10, true},
       {{"TMPDIR", "/nonexistent/quarn"}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string input = dir.file("in.avi");
    makeClip(input);
    if (c.change) {
      Bytes file = readFile(input);
      c.change(file);
      writeFile(input, file);
    }
    ProgramRun run;
    run.args = {"4", "ne", "ne", "0", "0000", "0", "A", input};
    run.env = c.env;
    run.timeoutSeconds = 60;
    const ProgramResult r = runQuarn(run);
    EXPECT_EQ(c.want.status, r.exitCode) << c.what << "\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.want.says)) << c.what << "\n" << r.out;
    const std::string result = onlyOutput(dir);
    EXPECT_EQ(c.want.frames >= 0, !result.empty()) << c.what;
    if (result.empty() || c.want.frames < 0) continue;
    EXPECT_EQ(std::to_string(c.want.frames), probeStream(dir.file(result))["nb_frames"]) << c.what;
    EXPECT_EQ(c.want.sound, !probeStream(dir.file(result), "a:0").empty()) << c.what;
    if (c.want.rate != nullptr) {
      EXPECT_EQ(c.want.rate, probeStream(dir.file(result))["r_frame_rate"]) << c.what;
    }
  }
}

TEST(HostileAvi, AFrameLargerThanTheProgramHoldsIsRefusedBeforeAnyAllocation) {
  TempDir dir;
  writeFile(dir.file("huge.avi"), hugeClaim());
  ProgramRun run;
  run.args = {"4", "ne", "ne", "0", "0000", "0", "A", dir.file("huge.avi")};
  long peakKb = 0;
  const ProgramResult r = runMeasuringPeakMemory(quarnBinary(), run, peakKb);
  EXPECT_EQ(255, r.exitCode) << r.out;
  EXPECT_NE(std::string::npos, r.out.find(kOutOfMemory)) << r.out;
  EXPECT_TRUE(dir.list().size() == 1) << "a result was left";
  if (!sanitizedBuild()) {
    EXPECT_LT(peakKb, 200 * 1024) << "peak " << peakKb << " KB";
  }
}

// MP3 sound decoded into a temporary folder too small for it (a small
// memory file system in a mount namespace of the run's own): the sound is
// reported lost with its reason, and the pictures convert. Needs the right
// to mount; skipped without it.
TEST(HostileAvi, Mp3SoundOnAFullTemporaryFolderIsReportedLost) {
  const std::string unshare = platform::findOnPath("unshare");
  if (unshare.empty()) GTEST_SKIP() << "no unshare";
  TempDir dir, mountPoint;
  const std::string input = dir.file("in.avi");
  ASSERT_TRUE(runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=10", "-f", "lavfi", "-i", "sine=duration=3",
                         "-frames:v", "30", "-c:v", "mjpeg", "-c:a", "libmp3lame", "-ac", "2", input}));
  const std::string script =
      "m=$1; shift\n"
      "mount -t tmpfs -o size=128k quarn-full \"$m\" || exit 77\n"
      "TMPDIR=$m exec \"$@\"\n";
  ProgramRun run;
  run.args = {"--mount", "/bin/sh", "-c", script, "sh", mountPoint.path(), quarnBinary(), "4", "ne", "ne", "0",
              "0000", "0", "A", input};
  const ProgramResult r = runProgram(unshare, run);
  if (r.exitCode == 77) GTEST_SKIP() << "cannot mount here: " << r.err;
  EXPECT_EQ(0, r.exitCode) << r.out;
  const size_t lost = r.out.find("proval! Videoto e konvertirano bez zvuk!");
  ASSERT_NE(std::string::npos, lost) << r.out;
  const std::string before = r.out.substr(0, lost);
  EXPECT_TRUE(before.ends_with(" - ")) << "no reason before the failure line:\n" << r.out;
  const std::string result = onlyOutput(dir);
  ASSERT_NE("", result);
  EXPECT_TRUE(probeStream(dir.file(result), "a:0").empty());
  EXPECT_EQ(probeStream(input)["nb_frames"], probeStream(dir.file(result))["nb_frames"]);
}
