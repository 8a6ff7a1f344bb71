// Every kind of result opens in the standard tool for its format without a
// single warning: what those tools complain about, the viewers and editors
// built on the same libraries would stumble over too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;

namespace {

// Program and arguments; "{sample}" stands for examples/sample.bmp, "{in}"
// for the input of the run and "{out}" for its result.
using Command = std::vector<std::string>;

struct ResultCase {
  const char* name;                     // letters and digits only: it names the test
  const char* input;                    // file name of the input
  Command make;                         // makes the input
  std::vector<std::string> parameters;  // the seven parameters before the path
  const char* extension;                // of the result
  Command open;                         // reads the whole result; any warning goes to standard error
  bool silent;                          // prints nothing on standard output either
};

// Test names and failure messages show the case by its name.
void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }

Command fromSample(std::vector<std::string> options) {
  Command c = {"ffmpeg", "-v", "error", "-nostdin", "-i", "{sample}"};
  c.insert(c.end(), options.begin(), options.end());
  c.push_back("{in}");
  return c;
}

const Command kFfmpegReads = {"ffmpeg", "-v", "warning", "-nostdin", "-i", "{out}", "-f", "null", "-"};
// A PCM sound track's format block (WAVEFORMATEX, as AVI players expect)
// has no channel layout for one or two channels, and FFmpeg's AVI muxer
// writes no other for them; ffmpeg then warns that it guessed one, for its
// own files too. Nothing else may be said.
const Command kFfmpegReadsSound = {"ffmpeg", "-v", "warning", "-nostdin", "-guess_layout_max", "0",
                                   "-i", "{out}", "-f", "null", "-"};
Command aviWithSound(const char* videoCodec, const char* soundCodec) {
  return {"ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=1",
          "-f", "lavfi", "-i", "sine=duration=1", "-c:v", videoCodec, "-c:a", soundCodec, "{in}"};
}

const std::vector<std::string> kAllOptions = {"15", "da", "da", "0", "0000", "0", "A"};
const std::vector<std::string> kJpegResult = {"-12", "ne", "da", "1", "0000", "0", "A"};

const ResultCase kCases[] = {
    {"Bmp24", "in.bmp", fromSample({}), kAllOptions, ".bmp", kFfmpegReads, true},
    {"Bmp565", "in.bmp", fromSample({"-pix_fmt", "rgb565le"}), kAllOptions, ".bmp", kFfmpegReads, true},
    {"Bmp555", "in.bmp", fromSample({"-pix_fmt", "rgb555le"}), kAllOptions, ".bmp", kFfmpegReads, true},
    {"Bmp32", "in.bmp", fromSample({"-pix_fmt", "bgra"}), kAllOptions, ".bmp", kFfmpegReads, true},
    {"PngToBmp", "in.png", fromSample({}), kAllOptions, ".bmp", kFfmpegReads, true},
    {"JpegToBmp", "in.jpg", fromSample({"-q:v", "3"}), kAllOptions, ".bmp", kFfmpegReads, true},
    {"JpegToJpeg", "in.jpg", fromSample({"-q:v", "3"}), kJpegResult, ".jpg",
     {"djpeg", "-outfile", "/dev/null", "{out}"}, true},
    {"TiffInTiffinfo", "in.tif", fromSample({"-pix_fmt", "rgba"}), kAllOptions, ".tif",
     {"tiffinfo", "-D", "{out}"}, false},
    {"TiffInFfmpeg", "in.tif", fromSample({"-pix_fmt", "rgb24"}), kAllOptions, ".tif", kFfmpegReads, true},
    {"AviMpeg4", "in.avi", aviWithSound("mpeg4", "pcm_s16le"), {"15", "da", "da", "0", "FMP4", "8000", "A"}, ".avi",
     kFfmpegReadsSound, true},
    {"AviUncompressed", "in.avi", aviWithSound("mjpeg", "pcm_u8"), kAllOptions, ".avi", kFfmpegReadsSound, true},
    {"AviH264FromMp3", "in.avi", aviWithSound("mpeg4", "libmp3lame"), {"0", "ne", "da", "0", "H264", "6000", "A"},
     ".avi", kFfmpegReadsSound, true},
    {"AviWithoutSound", "in.avi", fromSample({"-c:v", "mjpeg"}), {"15", "da", "da", "0", "MJPG", "8000", "A"}, ".avi",
     kFfmpegReads, true},
};

Command expand(const Command& command, const std::string& in, const std::string& out) {
  Command c;
  for (const std::string& word : command) {
    if (word == "{sample}") {
      c.push_back(QUARN_EXAMPLES_DIR "/sample.bmp");
    } else if (word == "{in}") {
      c.push_back(in);
    } else if (word == "{out}") {
      c.push_back(out);
    } else {
      c.push_back(word);
    }
  }
  return c;
}

ProgramResult runCommand(const Command& command) {
  ProgramRun run;
  run.args.assign(command.begin() + 1, command.end());
  return runProgram(command.front(), run);
}

class ResultOpens : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ResultOpens, InItsStandardToolWithoutAWarning) {
  const ResultCase& c = GetParam();
  for (const Command* tool : {&c.make, &c.open}) {
    if (quarn::platform::findOnPath(tool->front()).empty()) GTEST_SKIP() << tool->front() << " is not installed";
  }
  TempDir dir;
  const std::string in = dir.file(c.input);
  const ProgramResult made = runCommand(expand(c.make, in, ""));
  ASSERT_EQ(0, made.exitCode) << made.err;

  std::vector<std::string> args = c.parameters;
  args.push_back(in);
  const ProgramResult run = runQuarn(args);
  ASSERT_EQ(0, run.exitCode) << run.out;
  const std::string out = onlyOutput(dir);
  ASSERT_TRUE(isOutputName(out, c.extension)) << run.out;

  const ProgramResult opened = runCommand(expand(c.open, in, dir.file(out)));
  EXPECT_EQ(0, opened.exitCode);
  EXPECT_EQ("", opened.err);
  if (c.silent) {
    EXPECT_EQ("", opened.out);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ResultOpens, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ResultCase>& info) { return info.param.name; });

}  // namespace
