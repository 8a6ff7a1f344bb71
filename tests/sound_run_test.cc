// Whole runs of the built program on AVI videos with sound: every sample
// carried and interleaved with the frames, the tracks that are not carried,
// the texts in their order, and nothing of the user's touched.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/child_process.h"

#include "support/avi_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/video_fixture.h"

using namespace quarn;
using namespace quarn::testing;

namespace {

std::vector<std::string> eight(const std::string& path, const char* kodek = "0000") {
  return {"4", "ne", "ne", "0", kodek, "8000", "A", path};
}

// Sample frames of sound before each video packet, in file order.
std::vector<int64_t> soundBeforeEachFrame(const std::string& path, int64_t blockAlign) {
  const platform::ChildResult r =
      platform::runChild({"ffprobe", "-v", "error", "-show_entries", "packet=stream_index,size", "-of", "csv=p=0", path},
                         platform::ChildOutput::kCaptureStandardOutput);
  std::vector<int64_t> before;
  int64_t sound = 0;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    if (line.substr(0, comma) == "0") {
      before.push_back(sound);
    } else {
      sound += std::stoll(line.substr(comma + 1)) / blockAlign;
    }
  }
  return before;
}

// Sets wBitsPerSample of the first sound stream's format block to 0: a
// compression the program does not know.
void forgetBitsPerSample(const std::string& path) {
  std::vector<uint8_t> file = readFile(path);
  const char auds[] = "auds";
  const auto stream = std::search(file.begin(), file.end(), auds, auds + 4);
  const char strf[] = "strf";
  const auto format = std::search(stream, file.end(), strf, strf + 4);
  ASSERT_NE(file.end(), format);
  const size_t bits = size_t(format - file.begin()) + 8 + 14;
  file[bits] = file[bits + 1] = 0;
  writeFile(path, file);
}

}  // namespace

TEST(SoundRun, EverySampleIsCarriedJustBeforeTheFrameItBelongsTo) {
  struct Case {
    const char* what;
    std::vector<std::string> sound;
    const char* rate;
    int64_t rateNum, rateDen, blockAlign;
    const char* rawFormat;
  } cases[] = {
      {"16-bit stereo at 25", {"-c:a", "pcm_s16le", "-ac", "2"}, "25", 25, 1, 4, "s16le"},
      {"16-bit stereo at 30000/1001", {"-c:a", "pcm_s16le", "-ac", "2"}, "30000/1001", 30000, 1001, 4, "s16le"},
      {"8-bit mono at 15", {"-c:a", "pcm_u8", "-ac", "1"}, "15", 15, 1, 1, "u8"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    makeSoundAvi(dir.file("in.avi"), c.sound, c.rate);
    const ProgramResult r = runQuarn(eight(dir.file("in.avi")));
    ASSERT_EQ(0, r.exitCode) << c.what << "\n" << r.out;
    const std::string out = dir.file(onlyOutput(dir));
    const Bytes in = ffmpegSoundBytes(dir.file("in.avi"), c.rawFormat);
    ASSERT_FALSE(in.empty()) << c.what;
    EXPECT_TRUE(in == ffmpegSoundBytes(out, c.rawFormat)) << c.what;
    const int64_t total = int64_t(in.size()) / c.blockAlign;
    EXPECT_EQ(std::to_string(total), probeStream(out, "a:0")["nb_frames"]) << c.what;
    const std::vector<int64_t> before = soundBeforeEachFrame(out, c.blockAlign);
    ASSERT_FALSE(before.empty()) << c.what;
    for (size_t i = 0; i < before.size(); ++i) {
      const int64_t frameEnd = int64_t(i + 1) * 44100 * c.rateDen / c.rateNum;
      EXPECT_EQ(std::min(total, frameEnd), before[i]) << c.what << ", frame " << i;
    }
    EXPECT_EQ("", checkDecoding(out).warnings.find("rror") == std::string::npos ? "" : "errors") << c.what;
  }
}

TEST(SoundRun, TracksNotCarriedLeaveNoSoundStreamAndSayWhy) {
  struct Case {
    const char* what;
    std::vector<std::string> sound;
    std::map<std::string, std::string> env;
    const char* says;
    uint16_t formatTag = 0;  // put in place of the track's own
  } cases[] = {
      {"no sound track", {}, {}, " Izvlichane na audio dannite ... lipsvat audio danni!"},
      {"a format nothing here knows", {"-c:a", "adpcm_ima_wav"}, {},
       " tip - neizvesten audio format!\n Videoto e konvertirano bez zvuk!\n", 0x1234},
      {"MP3 without lame", {"-c:a", "libmp3lame"}, {{"PATH", "/nonexistent"}},
       "proval! Videoto e konvertirano bez zvuk!\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    makeSoundAvi(dir.file("in.avi"), c.sound);
    if (c.formatTag != 0) {
      Bytes avi = readFile(dir.file("in.avi"));
      const auto auds = std::search(avi.begin(), avi.end(), std::begin("auds"), std::end("auds") - 1);
      const auto strf = std::search(auds, avi.end(), std::begin("strf"), std::end("strf") - 1);
      ASSERT_NE(avi.end(), strf);
      strf[8] = static_cast<uint8_t>(c.formatTag);  // wFormatTag
      strf[9] = static_cast<uint8_t>(c.formatTag >> 8);
      writeFile(dir.file("in.avi"), avi);
    }
    ProgramRun run;
    run.args = eight(dir.file("in.avi"));
    run.env = c.env;
    const ProgramResult r = runQuarn(run);
    EXPECT_EQ(0, r.exitCode) << c.what << "\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.says)) << c.what << "\n" << r.out;
    const std::string out = onlyOutput(dir);
    ASSERT_FALSE(out.empty()) << c.what;
    EXPECT_TRUE(probeStream(dir.file(out), "a:0").empty()) << c.what;
    EXPECT_EQ(probeStream(dir.file("in.avi"))["nb_frames"], probeStream(dir.file(out))["nb_frames"]) << c.what;
  }
}

TEST(SoundRun, Mp3IsDecodedByLameAndCarriedAsPcm) {
  TempDir dir;
  makeSoundAvi(dir.file("in.avi"), {"-c:a", "libmp3lame", "-ac", "2"});
  const ProgramResult r = runQuarn(eight(dir.file("in.avi")));
  ASSERT_EQ(0, r.exitCode) << r.out;
  EXPECT_NE(std::string::npos, r.out.find(" tip - mp3 - poddurjano!\n Izvlichane ... gotovo!\n Konvertirane na mp3"))
      << r.out;
  const auto sound = probeStream(dir.file(onlyOutput(dir)), "a:0");
  EXPECT_EQ("pcm_s16le", sound.at("codec_name"));
  EXPECT_EQ("44100", sound.at("sample_rate"));
  // One second of sound; lame adds its decoder delay.
  EXPECT_NEAR(44100, std::stoll(sound.at("nb_frames")), 2000);
}

TEST(SoundRun, TextsComeInTheirOrderAndTheUsersFilesStay) {
  TempDir dir, temporary;
  makeSoundAvi(dir.file("in.avi"), {"-c:a", "pcm_s16le", "-ac", "2"});
  const std::vector<std::string> theirs = {"tmp.wav", "tmp.mp3", "lame.exe", "lame_enc.dll"};
  for (const std::string& name : theirs) writeFile(dir.file(name), chars("the user's " + name));
  ProgramRun run;
  run.args = eight(dir.file("in.avi"));
  run.env = {{"TMPDIR", temporary.path()}};
  const ProgramResult r = runQuarn(run);
  ASSERT_EQ(0, r.exitCode) << r.out;
  const std::string tail =
      " Zarejdane & konvertirane .........\n"
      " ============================================================================\n"
      " Vsichki kadri bqha obraboteni!                                                \n"
      " Obrabotvaneto ~otne: ";
  const size_t at = r.out.find(tail);
  ASSERT_NE(std::string::npos, at) << r.out;
  const size_t after = r.out.find(" sekundi.    \n", at);
  ASSERT_NE(std::string::npos, after) << r.out;
  EXPECT_EQ(
      " sekundi.    \n"
      " ============================================================================"
      "\n Izvlichane na audio dannite ... tip - pcm - poddurjano!\n"
      " Izvlichane ... gotovo!\n Finalizirane ... gotovo!\n"
      " Izchistvane na vremennite falove ... gotovo!",
      r.out.substr(after));
  for (const std::string& name : theirs) EXPECT_EQ(chars("the user's " + name), readFile(dir.file(name))) << name;
  EXPECT_TRUE(temporary.list().empty());
}

TEST(SoundRun, DragAndDropAsksAboutAnUnknownCompressionBeforeTheFrames) {
  for (const bool dropIt : {true, false}) {
    TempDir dir;
    makeSoundAvi(dir.file("in.avi"), {"-c:a", "pcm_alaw", "-ac", "2"});
    forgetBitsPerSample(dir.file("in.avi"));
    ProgramRun run;
    run.args = {dir.file("in.avi")};
    run.terminalInput = true;
    run.input = "ne\nne\n";
    run.dialogue = {{"Отказ на аудио обработката?", dropIt ? "da\n" : "ne\n"}, {"(празно = отказ): ", "MJPG\n"}};
    const ProgramResult r = runQuarn(run);
    ASSERT_EQ(0, r.exitCode) << r.out;
    // The hint box, then the question about the sound, then the codec chooser.
    const size_t hint = r.out.find("Изберете кодек"), question = r.out.find("Отказ на аудио обработката?"),
                 chooser = r.out.find("(празно = отказ): ");
    EXPECT_LT(hint, question);
    EXPECT_LT(question, chooser);
    EXPECT_NE(std::string::npos, r.out.find(dropIt ? " Audio izvlichaneto e otkazano!\n"
                                                   : " Izvlichane na audio s nepoznata kompresiq ...\n"))
        << r.out;
    EXPECT_EQ(dropIt, probeStream(dir.file(onlyOutput(dir)), "a:0").empty());
  }
}

// Fake `lame` programs: one that hangs, one that decodes and leaves a
// program behind holding its output, one that prints 600 MB. Each run
// ends by itself within its bounds, keeps its memory small, says what
// happened to the sound, and leaves no process and no temporary file.
TEST(SoundRun, ALameThatHangsLingersOrFloodsIsBounded) {
  const std::string dashes = " --------------------------------------------------------\n";
  const std::string failed = "proval! Videoto e konvertirano bez zvuk!\n";
  const uint64_t flood = 600'000'000;
  struct Case {
    const char* what;
    const char* script;  // $PIDS: where it notes the processes it leaves
    double seconds;      // the run's bound
    bool carried;
    std::string says;
  } cases[] = {
      {"hangs", "echo $$ >> \"$PIDS\"\nexec sleep 600\n", 30 + 20, false,
       dashes + " lame ne napredna 30 sekundi i beshe sprqn - " + failed},
      {"leaves a program holding its output", "/usr/bin/lame \"$@\"\ns=$?\nsleep 600 &\necho $! >> \"$PIDS\"\nexit $s\n",
       20, true, " Izvlichane na audio dannite ... tip - mp3 - poddurjano!"},
      {"prints 600 MB", "yes | head -c 600000000\nexit 1\n", 20, false,
       "\n ... (propusnati " + std::to_string(flood - (64 << 10)) + " baita ot izhoda)\ny\ny\ny\n"},
  };
  TempDir dir, tools, temporary;
  makeSoundAvi(dir.file("in.avi"), {"-c:a", "libmp3lame", "-ac", "2"});
  // The peak of a run whose lame fails at once, for comparison.
  writeFile(tools.file("lame"), chars("#!/bin/sh\nexit 1\n"));
  chmod(tools.file("lame").c_str(), 0755);
  ProgramRun run;
  run.args = eight(dir.file("in.avi"));
  run.env = {{"PATH", tools.path() + ":/usr/bin:/bin"}, {"TMPDIR", temporary.path()}, {"PIDS", tools.file("pids")}};
  long quickKb = 0;
  ASSERT_EQ(0, runMeasuringPeakMemory(quarnBinary(), run, quickKb).exitCode);
  std::filesystem::remove(dir.file(onlyOutput(dir)));
  for (const Case& c : cases) {
    writeFile(tools.file("lame"), chars(std::string("#!/bin/sh\n") + c.script));
    writeFile(tools.file("pids"), {});
    const auto start = std::chrono::steady_clock::now();
    long peakKb = 0;
    const ProgramResult r = runMeasuringPeakMemory(quarnBinary(), run, peakKb);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(0, r.exitCode) << c.what << "\n" << r.out.substr(0, 4000);
    EXPECT_LT(seconds, c.seconds) << c.what;
    EXPECT_LT(peakKb, quickKb + 16 * 1024) << c.what;
    EXPECT_LT(r.out.size(), size_t{200} << 10) << c.what;
    EXPECT_NE(std::string::npos, r.out.find(c.says)) << c.what << "\n" << r.out.substr(0, 4000);
    const std::string out = onlyOutput(dir);
    ASSERT_FALSE(out.empty()) << c.what;
    EXPECT_EQ(c.carried, !probeStream(dir.file(out), "a:0").empty()) << c.what;
    std::filesystem::remove(dir.file(out));
    const Bytes noted = readFile(tools.file("pids"));
    std::istringstream pids(std::string(noted.begin(), noted.end()));
    for (int pid = 0; pids >> pid;) EXPECT_FALSE(stillRuns(pid, 5)) << c.what << ": " << pid;
    EXPECT_TRUE(temporary.list().empty()) << c.what;
  }
}
