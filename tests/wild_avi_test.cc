// Whole runs on AVIs as common tools write them: streamed and cut files,
// pictures reordered by B-frames, HD colours, sound of every common kind
// and more than one track, intra-only results.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/child_process.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/video_fixture.h"

using namespace quarn;
using namespace quarn::testing;

namespace {

constexpr const char* kUndecodable = "ne moje da se dekompresira";

// Pictures of 160 x 120 (or `size`), then `extra` ffmpeg arguments and the output.
bool makeAvi(const std::string& path, double seconds, const std::vector<std::string>& extra,
             const std::string& size = "160x120") {
  std::vector<std::string> args = {"-f", "lavfi", "-i",
                                   "testsrc2=size=" + size + ":rate=25:duration=" + std::to_string(seconds)};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(path);
  return runFfmpeg(args);
}

std::string ffprobeField(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"ffprobe", "-v", "error"};
  all.insert(all.end(), args.begin(), args.end());
  std::string out = platform::runChild(all, platform::ChildOutput::kCaptureStandardOutput).output;
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

int decodedFrames(const std::string& path) {
  return std::atoi(ffprobeField({"-select_streams", "v:0", "-count_frames", "-show_entries",
                                 "stream=nb_read_frames", "-of", "csv=p=0", path})
                       .c_str());
}

// The packets of one stream as ffprobe lists them: time, size and flags.
std::string packetList(const std::string& path, const std::string& stream) {
  return ffprobeField({"-select_streams", stream, "-show_entries", "packet=pts,size,flags", "-of", "csv=p=0", path});
}

// The bytes of every packet of one stream, in order.
std::string packetBytes(const std::string& path, const std::string& stream) {
  return platform::runChild({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:" + stream, "-c", "copy",
                             "-f", "data", "-"},
                            platform::ChildOutput::kCaptureStandardOutput)
      .output;
}

// What ffmpeg warns of while decoding every stream, but for the channel
// layout it guesses for formats that do not state one.
std::string warnings(const std::string& path) {
  const std::string all = platform::runChild({"ffmpeg", "-nostdin", "-v", "warning", "-i", path, "-map", "0", "-f",
                                              "null", "-"},
                                             platform::ChildOutput::kCapture)
                              .output;
  std::istringstream lines(all);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Guessed Channel Layout") == std::string::npos) kept += line + "\n";
  }
  return kept;
}

struct Converted {
  ProgramResult run;
  std::string result;  // path, "" when none
};

Converted convert(const TempDir& dir, const std::string& input, const char* kodek, const char* depth = "16") {
  Converted c;
  c.run = runQuarn({depth, "ne", "ne", "0", kodek, "5000", "A", input});
  const std::string name = onlyOutput(dir);
  c.result = name.empty() ? "" : dir.file(name);
  return c;
}

}  // namespace

TEST(WildAvi, FramesAreThoseTheFileHoldsWithoutFalseAlarms) {
  struct Case {
    const char* what;
    std::vector<std::string> make;
    int frames;  // -1: as many as ffmpeg decodes from the input
    double cutAt = 1.0;
  } cases[] = {
      {"written to a pipe: the header keeps its placeholder length",
       {"-c:v", "mpeg4", "-vtag", "XVID", "-f", "avi", "pipe:1"}, 75},
      {"cut at 70 %: no frozen frames after the last real one", {"-c:v", "mpeg4"}, -1, 0.7},
      {"x264 with B-frames", {"-c:v", "libx264"}, 75},
      {"XviD-tagged MPEG-4 with B-frames", {"-c:v", "mpeg4", "-bf", "2", "-vtag", "XVID"}, 75},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string input = dir.file("in.avi");
    if (c.make.back() == "pipe:1") {
      const std::string command =
          "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=3 -c:v mpeg4 -vtag XVID "
          "-f avi pipe:1 > \"$0\"";
      ASSERT_EQ(0, platform::runChild({"sh", "-c", command, input}, platform::ChildOutput::kDiscard).exitStatus);
    } else {
      ASSERT_TRUE(makeAvi(input, 3, c.make)) << c.what;
    }
    if (c.cutAt < 1.0) {
      std::vector<uint8_t> whole = readFile(input);
      whole.resize(size_t(double(whole.size()) * c.cutAt));
      writeFile(input, whole);
    }
    const int want = c.frames >= 0 ? c.frames : decodedFrames(input);
    const Converted r = convert(dir, input, "0000");
    EXPECT_EQ(0, r.run.exitCode) << c.what << "\n" << r.run.out;
    EXPECT_EQ(std::string::npos, r.run.out.find(kUndecodable)) << c.what;
    ASSERT_NE("", r.result) << c.what;
    EXPECT_EQ(want, decodedFrames(r.result)) << c.what;
  }
}

TEST(WildAvi, ColoursAreTheStreamsOwn) {
  // The uncompressed result against FFmpeg's own decoding of the input:
  // blue and green where they were, red from 16 pixels to the right.
  struct Case {
    const char* what;
    std::vector<std::string> make;
  } cases[] = {
      {"H.264 in BT.709, limited range",
       {"-vf", "scale=out_color_matrix=bt709:out_range=tv", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-colorspace",
        "bt709", "-color_range", "tv"}},
      {"VP9 in full range", {"-vf", "scale=out_range=pc,format=yuv420p", "-c:v", "libvpx-vp9", "-color_range", "pc"}},
      {"Motion JPEG (full range by its nature)", {"-c:v", "mjpeg"}},
  };
  constexpr int kWidth = 160, kHeight = 120, kDepth = 16, kOutWidth = kWidth - kDepth;
  for (const Case& c : cases) {
    TempDir dir;
    const std::string input = dir.file("in.avi");
    ASSERT_TRUE(makeAvi(input, 0.2, c.make)) << c.what;
    const Converted r = convert(dir, input, "0000");
    ASSERT_NE("", r.result) << c.what << "\n" << r.run.out;
    const std::vector<uint8_t> want = decodeToBgr(input), have = decodeToBgr(r.result);
    ASSERT_EQ(want.size() / (kWidth * kHeight), have.size() / (kOutWidth * kHeight)) << c.what;
    int worst = 0;
    for (size_t i = 0; i < have.size(); ++i) {
      const size_t frame = i / (kOutWidth * kHeight * 3), at = i % (kOutWidth * kHeight * 3);
      const size_t y = at / (kOutWidth * 3), x = at % (kOutWidth * 3) / 3, channel = at % 3;
      const size_t from = (frame * kHeight + y) * kWidth * 3 + (x + (channel == 2 ? kDepth : 0)) * 3 + channel;
      worst = std::max(worst, std::abs(int(have[i]) - int(want[from])));
    }
    EXPECT_LE(worst, 2) << c.what;
  }
}

TEST(WildAvi, EverySoundTrackIsCarriedAsItIs) {
  const std::vector<std::string> sine = {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=2"};
  struct Case {
    const char* what;
    std::vector<std::string> sound;
    std::string says;
    int tracks = 1;
  } cases[] = {
      {"AC-3", {"-c:a", "ac3"}, " tip - ac3 - kopirano!\n"},
      {"MP2", {"-c:a", "mp2"}, " tip - mp2 - kopirano!\n"},
      {"AAC", {"-c:a", "aac"}, " tip - aac - kopirano!\n"},
      {"IMA ADPCM", {"-c:a", "adpcm_ima_wav", "-ac", "2"}, " tip - adpcm_ima_wav - kopirano!\n"},
      {"MS ADPCM", {"-c:a", "adpcm_ms", "-ac", "2"}, " tip - adpcm_ms - kopirano!\n"},
      {"mu-law", {"-c:a", "pcm_mulaw"}, " tip - waveformatex - poddurjano!\n"},
      {"24-bit PCM in WAVE_FORMAT_EXTENSIBLE", {"-c:a", "pcm_s24le", "-ac", "2"}, " tip - pcm - poddurjano!\n"},
      {"PCM and a second track of AC-3",
       {"-map", "0:v", "-map", "1:a", "-map", "1:a", "-c:a:0", "pcm_s16le", "-c:a:1", "ac3"},
       " Izvlichane na audio dannite ... tip - ac3 - kopirano!\n", 2},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string input = dir.file("in.avi");
    std::vector<std::string> make = sine;
    make.insert(make.end(), {"-c:v", "mpeg4"});
    make.insert(make.end(), c.sound.begin(), c.sound.end());
    ASSERT_TRUE(makeAvi(input, 2, make)) << c.what;
    const Converted r = convert(dir, input, "FMP4");
    ASSERT_NE("", r.result) << c.what << "\n" << r.run.out;
    EXPECT_NE(std::string::npos, r.run.out.find(c.says)) << c.what << "\n" << r.run.out;
    for (int t = 0; t < c.tracks; ++t) {
      const std::string stream = "a:" + std::to_string(t);
      EXPECT_EQ(packetBytes(input, stream), packetBytes(r.result, stream)) << c.what << ", track " << t;
      EXPECT_EQ(ffprobeField({"-select_streams", stream, "-show_entries", "stream=codec_name,sample_rate,channels",
                              "-of", "csv=p=0", input}),
                ffprobeField({"-select_streams", stream, "-show_entries", "stream=codec_name,sample_rate,channels",
                              "-of", "csv=p=0", r.result}))
          << c.what << ", track " << t;
    }
    EXPECT_EQ("", ffprobeField({"-select_streams", "a:" + std::to_string(c.tracks), "-show_entries",
                                "stream=index", "-of", "csv=p=0", r.result}))
        << c.what << ": more tracks than the input";
    EXPECT_EQ(warnings(input), warnings(r.result)) << c.what;
  }
}

TEST(WildAvi, CopiedSoundKeepsItsTimes) {
  TempDir dir;
  const std::string input = dir.file("in.avi");
  ASSERT_TRUE(makeAvi(input, 2,
                      {"-f", "lavfi", "-i", "sine=sample_rate=48000:duration=2", "-c:v", "mpeg4", "-c:a", "aac"}));
  const Converted r = convert(dir, input, "FMP4");
  ASSERT_NE("", r.result);
  // The first packet's duration is the demuxer's guess either way.
  const auto fromSecond = [](std::string list) { return list.substr(list.find('\n')); };
  EXPECT_EQ(fromSecond(packetList(input, "a:0")), fromSecond(packetList(r.result, "a:0")));
}

TEST(WildAvi, ResultsStartAndSeekAtKeyFrames) {
  struct Case {
    const char* kodek;
    bool allKey;
  } cases[] = {{"FMP4", false}, {"MJPG", true}, {"azpr", false}};
  for (const Case& c : cases) {
    TempDir dir;
    const std::string input = dir.file("in.avi");
    ASSERT_TRUE(makeAvi(input, 3, {"-c:v", "mpeg4"}));
    const Converted r = convert(dir, input, c.kodek);
    ASSERT_NE("", r.result) << c.kodek << "\n" << r.run.out;
    const std::vector<PacketFacts> packets = probePackets(r.result);
    ASSERT_FALSE(packets.empty()) << c.kodek;
    EXPECT_TRUE(packets.front().key) << c.kodek;
    if (c.allKey) {
      for (const PacketFacts& p : packets) EXPECT_TRUE(p.key) << c.kodek << ", packet at " << p.dts;
    }
    const std::string seeked = platform::runChild({"ffmpeg", "-nostdin", "-v", "error", "-ss", "1.5", "-i", r.result,
                                                   "-frames:v", "1", "-f", "framecrc", "-"},
                                                  platform::ChildOutput::kCaptureStandardOutput)
                                   .output;
    EXPECT_NE(std::string::npos, seeked.find("0,")) << c.kodek << ": no frame at 1.5 s";
  }
}
