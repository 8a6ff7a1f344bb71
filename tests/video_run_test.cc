// Whole runs of the built program on AVI videos: every frame, the exact
// rate, the codec asked for, and what each failure prints and leaves.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <future>

#include "app/cpu_features.h"
#include "engine/bitmap_buffer.h"
#include "engine/memory_conversion.h"
#include "platform/files.h"
#include "platform/video_encoders.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/frame_conversion.h"
#include "support/video_fixture.h"

using namespace quarn;
using namespace quarn::testing;

namespace {

std::vector<std::string> eight(const std::string& depth, const std::string& kodek, const std::string& path,
                               const char* plus3D = "ne", const char* colours = "ne") {
  return {depth, plus3D, colours, "0", kodek, "8000", "A", path};
}

}  // namespace

TEST(VideoRun, EveryFrameAtTheExactRateThroughTheNamedCodec) {
  struct Case {
    const char* what;
    std::vector<std::string> codec;  // how the input is encoded
    int width, height;
    const char* rate;
    int frames;
    const char* kodek;
    const char* codecName;
    const char* tag;
    bool everyFrameKey;
  } cases[] = {
      {"MPEG-4 at 25 to FMP4", {"-c:v", "mpeg4", "-q:v", "3"}, 320, 240, "25/1", 30, "FMP4", "mpeg4", "FMP4", false},
      {"MJPEG at 30000/1001 to uncompressed", {"-c:v", "mjpeg"}, 162, 98, "30000/1001", 12, "0000", "rawvideo",
       "[0][0][0][0]", true},
      {"raw odd size at 15 to MJPG", {"-c:v", "rawvideo", "-pix_fmt", "bgr24"}, 161, 97, "15/1", 15, "MJPG", "mjpeg",
       "MJPG", true},
      {"MPEG-4 at 30000/1001 to H264", {"-c:v", "mpeg4"}, 200, 120, "30000/1001", 20, "H264", "h264", "H264", false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<std::string> make = testPictures(c.width, c.height, c.rate, c.frames);
    make.insert(make.end(), c.codec.begin(), c.codec.end());
    make.push_back(dir.file("in.avi"));
    ASSERT_TRUE(runFfmpeg(make)) << c.what;
    const ProgramResult r = runQuarn(eight("8", c.kodek, dir.file("in.avi")));
    EXPECT_EQ(0, r.exitCode) << c.what << "\n" << r.out;
    const std::string out = onlyOutput(dir);
    ASSERT_FALSE(out.empty()) << c.what;
    const auto stream = probeStream(dir.file(out));
    const auto [width, height] = convertedSize(c.width, c.height, settingsFor(8, false, false));
    EXPECT_EQ(c.codecName, stream.at("codec_name")) << c.what;
    EXPECT_EQ(c.tag, stream.at("codec_tag_string")) << c.what;
    EXPECT_EQ(std::to_string(width), stream.at("width")) << c.what;
    EXPECT_EQ(std::to_string(height), stream.at("height")) << c.what;
    EXPECT_EQ(c.rate, stream.at("r_frame_rate")) << c.what;
    EXPECT_EQ(std::to_string(c.frames), stream.at("nb_frames")) << c.what;
    const std::vector<PacketFacts> packets = probePackets(dir.file(out));
    ASSERT_EQ(size_t(c.frames), packets.size()) << c.what;
    size_t keys = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(int64_t(i), packets[i].dts) << c.what << ", packet " << i;
      keys += packets[i].key;
    }
    EXPECT_TRUE(packets[0].key) << c.what;
    if (c.everyFrameKey) {
      EXPECT_EQ(packets.size(), keys) << c.what;
    } else {
      EXPECT_LT(keys, packets.size()) << c.what;
    }
    EXPECT_EQ("", decodeWarnings(dir.file(out))) << c.what;
  }
}

TEST(VideoRun, UncompressedResultIsTheInMemoryConversionOfEveryFrameStoredBottomUp) {
  TempDir dir;
  std::vector<std::string> make = testPictures(161, 97, "25", 5);
  make.insert(make.end(), {"-c:v", "rawvideo", "-pix_fmt", "bgr24", dir.file("in.avi")});
  ASSERT_TRUE(runFfmpeg(make));
  const ProgramResult r = runQuarn(eight("10", "0000", dir.file("in.avi"), "da", "da"));
  ASSERT_EQ(0, r.exitCode) << r.out;
  const std::string out = dir.file(onlyOutput(dir));

  const std::vector<uint8_t> in = decodeToBgr(dir.file("in.avi")), result = decodeToBgr(out);
  const size_t inFrame = 161 * 3 * 97;
  ASSERT_EQ(5 * inFrame, in.size());
  const std::vector<uint8_t> expected = convertFrames(in, 161, 97, settingsFor(10, true, true));
  ASSERT_EQ(expected.size(), result.size());
  const auto differ = std::mismatch(expected.begin(), expected.end(), result.begin());
  EXPECT_TRUE(differ.first == expected.end()) << "first difference at byte " << (differ.first - expected.begin())
                                              << " of " << expected.size();

  // The stream's picture header has a positive height: rows bottom-up.
  const std::vector<uint8_t> file = readFile(out);
  const auto strf = std::search(file.begin(), file.end(), std::begin("strf"), std::end("strf") - 1);
  ASSERT_NE(file.end(), strf);
  EXPECT_GT(engine::loadLe32Signed(&*strf + 16), 0);
}

TEST(VideoRun, DroppedFramesRepeatThePictureBeforeThem) {
  TempDir dir;
  std::vector<std::string> make = testPictures(160, 96, "25", 8, "select='not(eq(n\\,3)+eq(n\\,4))'");
  make.insert(make.end(), {"-vsync", "passthrough", "-c:v", "rawvideo", "-pix_fmt", "bgr24", dir.file("in.avi")});
  ASSERT_TRUE(runFfmpeg(make));
  const ProgramResult r = runQuarn(eight("4", "0000", dir.file("in.avi")));
  ASSERT_EQ(0, r.exitCode) << r.out;
  const std::vector<uint8_t> frames = decodeToBgr(dir.file(onlyOutput(dir)));
  const size_t frame = frames.size() / 10;
  ASSERT_EQ(10 * frame, frames.size());
  auto at = [&](int i) { return std::vector<uint8_t>(frames.begin() + i * frame, frames.begin() + (i + 1) * frame); };
  EXPECT_EQ(at(2), at(3));
  EXPECT_EQ(at(2), at(4));
  EXPECT_NE(at(2), at(5));
  EXPECT_NE(at(1), at(2));
}

TEST(VideoRun, EveryCodeOfTheCodecListConvertsAnOddSizedVideo) {
  const ProgramResult list = runQuarn({"?k"});
  ASSERT_EQ(0, list.exitCode);
  std::vector<std::string> codes;
  size_t aliases = 0;
  for (size_t at = list.out.find(" - kod: "); at != std::string::npos; at = list.out.find(" - kod: ", at + 1)) {
    // The instrumented build tries each encoder once, under its first code;
    // the other codes of an encoder come without a description.
    const size_t line = list.out.rfind('\n', at) + 1;
    if (sanitizedBuild() && list.out.compare(line, 17, "[LIPSVA OPISANIE]") == 0) {
      ++aliases;
      continue;
    }
    codes.push_back(list.out.substr(at + 8, 4));
  }
  ASSERT_GT(codes.size(), 20u);
  if (sanitizedBuild()) EXPECT_GT(aliases, 0u);
  EXPECT_EQ("0000", codes.back());
  TempDir dir;
  std::vector<std::string> make = testPictures(161, 97, "25", 3);
  make.insert(make.end(), {"-c:v", "rawvideo", "-pix_fmt", "bgr24", dir.file("in.avi")});
  ASSERT_TRUE(runFfmpeg(make));
  const std::vector<uint8_t> input = readFile(dir.file("in.avi"));
  // Each code in a directory of its own, a few at a time.
  auto convert = [&input](const std::string& code) {
    TempDir own;
    writeFile(own.file("in.avi"), input);
    const ProgramResult r = runQuarn(eight("4", code, own.file("in.avi")));
    std::string problems;
    if (r.exitCode != 0) problems += "status " + std::to_string(r.exitCode) + "\n" + r.out;
    const std::string out = onlyOutput(own);
    if (out.empty()) return problems + "no result\n";
    const DecodeCheck check = checkDecoding(own.file(out));
    if (check.frames != 3) problems += std::to_string(check.frames) + " frames\n";
    return problems + check.warnings;
  };
  constexpr size_t kAtOnce = 4;
  for (size_t first = 0; first < codes.size(); first += kAtOnce) {
    std::vector<std::future<std::string>> runs;
    for (size_t i = first; i < std::min(codes.size(), first + kAtOnce); ++i) {
      runs.push_back(std::async(std::launch::async, convert, codes[i]));
    }
    for (size_t i = 0; i < runs.size(); ++i) EXPECT_EQ("", runs[i].get()) << codes[first + i];
  }
}

TEST(VideoRun, FailuresPrintTheirTextEndWithTheirStatusAndLeaveNoResult) {
  const std::string loading = " Zarejdane & konvertirane .........";
  struct Case {
    const char* what;
    std::vector<std::string> make;  // ffmpeg arguments before the input's path; empty: "text" is the file
    const char* text;
    const char* kodek;
    int fileSizeLimit;  // KiB, 0: none
    const std::string ending;
    int status;
    std::function<void(std::vector<uint8_t>&)> spoil = {};
  } cases[] = {
      {"not an AVI", {}, "RIFX....AVI LIST", "FMP4", 0,
       " greshka pri zarejdaneto!\n Veroqtno faila e povreden ili e ot nepoddurjan format!", 2},
      {"sound only", {"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "pcm_s16le"}, nullptr, "FMP4", 0,
       loading + " greshka! Lipsvat video danni!", 255},
      {"no such codec", {"-f", "lavfi", "-i", "testsrc2=size=64x48:duration=1", "-c:v", "mjpeg"}, nullptr, "QZQZ",
       0, loading + "\n greshka! Izbraniqt kodek ne moje da se izpolzva!", 255},
      {"full disk", {"-f", "lavfi", "-i", "testsrc2=size=160x120:duration=1", "-c:v", "mjpeg"}, nullptr, "0000", 64,
       " greshka pri zapisvaneto na kadrite!", 255},
      {"a rate of 0", {"-f", "lavfi", "-i", "testsrc2=size=64x48:duration=1", "-c:v", "mjpeg"}, nullptr, "0000", 0,
       loading + " greshka! Problem s razchitane na videoto!", 255,
       [](std::vector<uint8_t>& file) {
         // dwRate of the video stream header, whose data begins with "vids"
         const char vids[] = "vids";
         const auto header = std::search(file.begin(), file.end(), vids, vids + 4);
         ASSERT_NE(file.end(), header);
         std::fill(header + 24, header + 28, 0);
       }},
      {"no decoder for the pictures", {"-f", "lavfi", "-i", "testsrc2=size=64x48:duration=1", "-c:v", "mjpeg"},
       nullptr, "0000", 0, loading + " faila ne moje da se dekompresira!\n Instaliraite si kodeci!", 255,
       [](std::vector<uint8_t>& file) {
         // The codec's FourCC in the stream header and the picture format: one nobody knows.
         const char mjpg[] = "MJPG";
         for (auto at = file.begin(); (at = std::search(at, file.end(), mjpg, mjpg + 4)) != file.end();) {
           std::copy("QZQZ", "QZQZ" + 4, at);
         }
       }},
      {"a video stream without frames", {"-f", "lavfi", "-i", "testsrc2=size=64x48:duration=1", "-c:v", "mjpeg"},
       nullptr, "0000", 0,
       " lipsvat audio danni! greshka! Lipsvat video danni!", 255,
       [](std::vector<uint8_t>& file) {
         // Every picture chunk becomes a chunk of no stream ("99db"), the index too.
         const char picture[] = "00dc";
         for (auto at = file.begin(); (at = std::search(at, file.end(), picture, picture + 4)) != file.end();) {
           std::copy("99db", "99db" + 4, at);
         }
       }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string in = dir.file("in.avi");
    if (c.make.empty()) {
      writeFile(in, std::vector<uint8_t>(c.text, c.text + std::strlen(c.text)));
    } else {
      std::vector<std::string> make = c.make;
      make.push_back(in);
      ASSERT_TRUE(runFfmpeg(make)) << c.what;
    }
    if (c.spoil) {
      std::vector<uint8_t> file = readFile(in);
      c.spoil(file);
      writeFile(in, file);
    }
    const std::vector<uint8_t> before = readFile(in);
    ProgramRun run;
    run.args = eight("8", c.kodek, in);
    if (c.fileSizeLimit != 0) run.args = withFileSizeLimit(c.fileSizeLimit, run.args);
    const ProgramResult r = c.fileSizeLimit != 0 ? runProgram("/bin/sh", run) : runQuarn(run);
    EXPECT_EQ(c.status, r.exitCode) << c.what << "\n" << r.out;
    EXPECT_TRUE(r.out.size() >= c.ending.size() && r.out.compare(r.out.size() - c.ending.size(), std::string::npos,
                                                                  c.ending) == 0)
        << c.what << "\n" << r.out;
    EXPECT_EQ("", onlyOutput(dir)) << c.what;
    EXPECT_EQ(before, readFile(in)) << c.what;
  }
}

TEST(VideoRun, DragAndDropAsksForTheCodecOnTheFirstFrame) {
  struct Case {
    const char* what;
    bool terminal;
    const char* answers;    // colour optimisation and 3D+
    const char* codec;      // the answer to the codec chooser
    const char* codecName;  // nullptr: cancelled
  } cases[] = {
      {"picked by code", true, "da\nne\n", "mjpg\n", "mjpeg"},
      {"picked by number after a wrong answer", true, "ne\nne\n", "xyz\n1\n", ""},
      {"empty answer cancels", true, "ne\nne\n", "\n", nullptr},
      {"nobody to ask", false, "", "", nullptr},
  };
  TempDir source;
  std::vector<std::string> make = testPictures(64, 48, "25", 3);
  make.insert(make.end(), {"-c:v", "mjpeg", source.file("in.avi")});
  ASSERT_TRUE(runFfmpeg(make));
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("in.avi"), readFile(source.file("in.avi")));
    ProgramRun run;
    run.args = {dir.file("in.avi")};
    run.terminalInput = c.terminal;
    run.input = c.answers;
    if (c.terminal) run.dialogue = {{"(празно = отказ): ", c.codec}};
    const ProgramResult r = runQuarn(run);
    const std::string out = onlyOutput(dir);
    if (c.codecName != nullptr && *c.codecName == '\0') {
      // The first line of the list is an encoder: whichever it is, it wrote the video.
      EXPECT_EQ(0, r.exitCode) << c.what << "\n" << r.out;
      EXPECT_FALSE(out.empty()) << c.what;
      EXPECT_NE(std::string::npos, r.out.find("Full Frames (Uncompressed)")) << c.what;
      continue;
    }
    if (c.codecName != nullptr) {
      EXPECT_EQ(0, r.exitCode) << c.what << "\n" << r.out;
      ASSERT_FALSE(out.empty()) << c.what;
      EXPECT_EQ(c.codecName, probeStream(dir.file(out))["codec_name"]) << c.what;
    } else {
      EXPECT_EQ(255, r.exitCode) << c.what << "\n" << r.out;
      EXPECT_EQ("", out) << c.what;
      const std::string cancelled = "\n Otkazano! Mojete da zatvorite tozi prozorec.";
      EXPECT_EQ(cancelled, r.out.substr(r.out.size() - std::min(r.out.size(), cancelled.size()))) << c.what;
    }
  }
}

// On a desktop (a display, zenity, no terminal) the codec is picked in
// zenity's list; a stand-in zenity records what it was shown and picks.
TEST(VideoRun, TheCodecChooserOnADesktopIsZenitysList) {
  TempDir dir, tools;
  const std::string script =
      "#!/bin/sh\n"
      "printf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/asked\"\n"
      "case \"$*\" in *--list*) echo MJPG ;; esac\n";
  writeFile(tools.file("zenity"), std::vector<uint8_t>(script.begin(), script.end()));
  EXPECT_EQ(0, chmod(tools.file("zenity").c_str(), 0755));
  std::vector<std::string> make = testPictures(64, 48, "25", 3);
  make.insert(make.end(), {"-c:v", "mjpeg", dir.file("in.avi")});
  ASSERT_TRUE(runFfmpeg(make));
  ProgramRun run;
  run.args = {dir.file("in.avi")};
  run.env = {{"DISPLAY", ":7"}, {"PATH", tools.path() + ":/usr/bin:/bin"}};
  const ProgramResult r = runQuarn(run);
  EXPECT_EQ(0, r.exitCode) << r.out;
  EXPECT_EQ("mjpeg", probeStream(dir.file(onlyOutput(dir)))["codec_name"]);
  const std::vector<uint8_t> asked = readFile(tools.file("asked"));
  const std::string shown(asked.begin(), asked.end());
  EXPECT_NE(std::string::npos, shown.find("--list\n")) << shown;
  // Each encoder is offered as its code followed by its long name.
  std::string mpeg4;
  for (const platform::VideoEncoderEntry& e : platform::usableVideoEncoders())
    if (platform::fourCCText(e.fourcc) == "FMP4") mpeg4 = e.description;
  ASSERT_NE("", mpeg4);
  EXPECT_NE(std::string::npos, shown.find("FMP4\n" + mpeg4 + "\n")) << shown;
  EXPECT_NE(std::string::npos, shown.find("0000\nFull Frames (Uncompressed)\n")) << shown;
}
