// End-to-end runs of the built program on JPEG and TIFF pictures: the
// console text, the file it leaves, and the files it must not touch.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "codecs/jpeg_branch.h"
#include "codecs/jpeg_codec.h"
#include "codecs/tiff_branch.h"
#include "codecs/tiff_codec.h"
#include "engine/bitmap_buffer.h"
#include "engine/memory_conversion.h"
#include "support/picture_fixture.h"
#include "support/picture_runs.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;
namespace codecs = quarn::codecs;
namespace engine = quarn::engine;

namespace {

// The same run under a file size limit of 4 KB: writes past it fail.
ProgramResult runOnFullDisk(const std::vector<std::string>& args) {
  ProgramRun run;
  run.args = {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", quarnBinary()};
  run.args.insert(run.args.end(), args.begin(), args.end());
  return runProgram("/bin/sh", run);
}

class PictureRun : public ::testing::Test {
 protected:
  // What the program should have converted: the decoded picture through
  // the in-memory conversion with depth 10, its header's size.
  std::vector<uint8_t> expected(const std::string& path, bool tiff) {
    const std::optional<uint32_t> size = tiff ? codecs::GetTiffBitmapSize(path) : codecs::GetJpegBitmapSize(path);
    std::vector<uint8_t> source(size.value_or(0));
    EXPECT_EQ(codecs::kPictureRead, tiff ? codecs::ReadTiffBitmap(path, source.data(), source.size())
                      : codecs::ReadJpegBitmap(path, source.data(), source.size()));
    return convertedWithDepthTen(source);
  }

  TempDir dir;
};

TEST_F(PictureRun, JpegToJpeg) {
  writeJpeg(dir.file("in.jpg"), {101, 61});
  const std::vector<uint8_t> input = readFile(dir.file("in.jpg"));
  const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.jpg"), true));
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ... gotovo!\n" + kSettingsTen +
                " gotovo!\n Suhranenie kato JPEG ... gotovo!",
            r.out);
  EXPECT_EQ("", r.err);
  const std::string out = onlyOutput(dir);
  EXPECT_TRUE(isOutputName(out, ".jpg")) << out;
  EXPECT_EQ(input, readFile(dir.file("in.jpg")));

  std::vector<uint8_t> want = expected(dir.file("in.jpg"), false);
  TempDir other;
  ASSERT_EQ(codecs::kPictureWritten, codecs::WriteJpegBitmap(other.file("w.jpg"), want.data(), want.size()));
  EXPECT_EQ(readFile(other.file("w.jpg")), readFile(dir.file(out)));
  const RgbImage written = decodeJpegRgb(dir.file(out));
  EXPECT_EQ(93u, written.width);  // 101 less the depth rounded to 8
  EXPECT_EQ(60u, written.height);
}

TEST_F(PictureRun, JpegToBmpAndGreyJpegs) {
  for (const JpegKind kind : {JpegKind::kColour, JpegKind::kGrey}) {
    writeJpeg(dir.file("in.jpg"), {101, 61, kind, kind == JpegKind::kGrey});
    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.jpg"), false));
    EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ... gotovo!\n" + kSettingsTen + " gotovo!", r.out);
    const std::string out = onlyOutput(dir);
    ASSERT_TRUE(isOutputName(out, ".bmp")) << out;
    const std::vector<uint8_t> bmp = readFile(dir.file(out));
    EXPECT_EQ(expected(dir.file("in.jpg"), false), bmp);
    EXPECT_EQ(54u + 280 * 60, bmp.size());  // 93 pixels: rows of 279 bytes and 1 pad byte
    std::remove(dir.file(out).c_str());
  }
}

TEST_F(PictureRun, TiffToTiff) {
  TiffPicture picture;
  picture.width = 203;
  picture.height = 41;
  picture.kind = TiffKind::kRgba;
  writeTiff(dir.file("in.tif"), picture);
  const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.tif"), false));
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na TIFF ... gotovo!\n" + kSettingsTen +
                " gotovo!\n Suhranenie kato TIFF ... gotovo!",
            r.out);
  EXPECT_EQ("", r.err);
  const std::string out = onlyOutput(dir);
  ASSERT_TRUE(isOutputName(out, ".tif")) << out;
  // Read back: the converted picture, red and blue in their TIFF places.
  const std::vector<uint8_t> want = expected(dir.file("in.tif"), true);
  const RgbaImage have = readTiffRgba(dir.file(out));
  ASSERT_EQ(engine::loadLe32(want.data() + engine::field::kWidth), have.width);
  ASSERT_EQ(40u, have.height);
  for (size_t i = 0; i < have.rgba.size(); i += 4) {
    ASSERT_EQ(want[54 + i + 2], have.rgba[i]) << "pixel " << i / 4;
    ASSERT_EQ(want[54 + i + 1], have.rgba[i + 1]) << "pixel " << i / 4;
    ASSERT_EQ(want[54 + i], have.rgba[i + 2]) << "pixel " << i / 4;
  }
}

// A name taken after the run chose it: kept, and named in the message.
TEST_F(PictureRun, AnExistingOutputIsNeverReplaced) {
  writeJpeg(dir.file("in.jpg"), {64, 32});
  writeTiff(dir.file("in.tif"), TiffPicture{});
  engine::ConversionSettings settings;
  settings.depth = 10;
  struct Case {
    const char* taken;
    std::function<engine::RunOutcome(const std::string&, quarn::platform::Console&)> run;
    std::string lead;
  } cases[] = {
      {"o.jpg", [&](auto& out, auto& c) { return codecs::runJpegBranch(dir.file("in.jpg"), out, true, settings, c); },
       " Dekompresirane na JPEG ... gotovo!\n" + std::string(kSettingsTen) + " gotovo!\n Suhranenie kato JPEG ..."},
      {"o.bmp", [&](auto& out, auto& c) { return codecs::runJpegBranch(dir.file("in.jpg"), out, false, settings, c); },
       " Dekompresirane na JPEG ... gotovo!\n" + std::string(kSettingsTen) + " gotovo!"},
      {"o.tif", [&](auto& out, auto& c) { return codecs::runTiffBranch(dir.file("in.tif"), out, settings, c); },
       " Dekompresirane na TIFF ... gotovo!\n" + std::string(kSettingsTen) + " gotovo!\n Suhranenie kato TIFF ..."},
  };
  for (const Case& c : cases) {
    writeFile(dir.file(c.taken), kOldOutput);
    quarn::platform::RecordingConsole console;
    EXPECT_EQ(engine::RunOutcome::kOutputFailed, c.run(dir.file(c.taken), console)) << c.taken;
    std::string before, shown;
    ASSERT_TRUE(splitExistingOutputMessage(console.text(), before, shown)) << console.text();
    EXPECT_EQ(c.lead, before);
    EXPECT_EQ(dir.file(c.taken), shown);
    EXPECT_EQ(kOldOutput, readFile(shown));
  }
  EXPECT_EQ((std::vector<std::string>{"in.jpg", "in.tif", "o.bmp", "o.jpg", "o.tif"}), dir.list());
}

TEST_F(PictureRun, PicturesThatCannotBeDecoded) {
  writeJpeg(dir.file("cmyk.jpg"), {16, 16, JpegKind::kCmyk});
  ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("cmyk.jpg"), true));
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ... proval pri dekompresiraneto!", r.out);

  writeFile(dir.file("bad.tif"), {'M', 'M', 0, 42, 0, 0, 0, 0});
  r = runQuarn(eightParametersWithDepth(dir.file("bad.tif"), false));
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na TIFF ... proval pri purvonachalno otvarqne na faila!", r.out);

  // Not a JPEG at all: a fatal error of the library ends the run with 1.
  writeFile(dir.file("text.jpg"), {'h', 'e', 'l', 'l', 'o'});
  r = runQuarn(eightParametersWithDepth(dir.file("text.jpg"), true));
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ...", r.out);
  EXPECT_NE(std::string::npos, r.err.find("Not a JPEG file"));
  EXPECT_EQ("", onlyOutput(dir));
}

TEST_F(PictureRun, AJpegCutInItsEntropyCodedDataIsStillConverted) {
  writeJpeg(dir.file("p.jpg"), {120, 80});
  std::vector<uint8_t> bytes = readFile(dir.file("p.jpg"));
  bytes.resize(bytes.size() / 2);
  writeFile(dir.file("cut.jpg"), bytes);
  const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("cut.jpg"), true));
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ... gotovo!\n" + kSettingsTen +
                " gotovo!\n Suhranenie kato JPEG ... gotovo!",
            r.out);
  EXPECT_NE(std::string::npos, r.err.find("Premature end of JPEG file"));
}

TEST_F(PictureRun, AFullDiskLeavesNoPartialOutput) {
  writeJpeg(dir.file("in.jpg"), {300, 200});
  TiffPicture picture;
  picture.width = 300;
  picture.height = 200;
  writeTiff(dir.file("in.tif"), picture);
  ProgramResult r = runOnFullDisk(eightParametersWithDepth(dir.file("in.jpg"), true));
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ... gotovo!\n" + kSettingsTen +
                " gotovo!\n Suhranenie kato JPEG ... proval!",
            r.out);
  r = runOnFullDisk(eightParametersWithDepth(dir.file("in.jpg"), false));
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na JPEG ... gotovo!\n" + kSettingsTen +
                " gotovo! greshka! Nqma dostatachno svobodno diskovo prostranstvo!",
            r.out);
  r = runOnFullDisk(eightParametersWithDepth(dir.file("in.tif"), false));
  EXPECT_EQ(expectedPreamble() + " Dekompresirane na TIFF ... gotovo!\n" + kSettingsTen +
                " gotovo!\n Suhranenie kato TIFF ... proval!",
            r.out);
  EXPECT_EQ((std::vector<std::string>{"in.jpg", "in.tif"}), dir.list());
}

}  // namespace
