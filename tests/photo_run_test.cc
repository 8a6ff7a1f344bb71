// End-to-end runs of the built program on HEIC, HEIF, AVIF and WebP
// pictures: the console text, results that equal the model conversion of
// the picture as it is shown, turns, alpha, the colour profile and EXIF
// carried into JPEG results, and the refusals.
#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/jpeg_codec.h"
#include "engine/bitmap_buffer.h"
#include "support/exif_fixture.h"
#include "support/photo_fixture.h"
#include "support/picture_fixture.h"
#include "support/picture_runs.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/upright_model.h"

using namespace quarn::testing;
namespace codecs = quarn::codecs;
namespace engine = quarn::engine;

namespace {

// What a BMP result of `shown` holds.
std::vector<uint8_t> converted(const Grid& shown, unsigned bitsPerPixel) {
  return convertedWithDepthTen(bitmapOf(shown, bitsPerPixel));
}

class PhotoRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!havePhotoTools()) GTEST_SKIP() << "heif-enc, cwebp, webpmux or img2webp missing";
  }
  // Runs quarn on `name` in the folder; the one result's bytes.
  std::vector<uint8_t> runOn(const std::string& name, bool jpegOutput, std::string* console = nullptr) {
    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file(name), jpegOutput));
    EXPECT_EQ(0, r.exitCode) << name << ": " << r.out << r.err;
    if (console != nullptr) *console = r.out;
    const std::string out = onlyOutput(dir);
    EXPECT_TRUE(isOutputName(out, jpegOutput ? ".jpg" : ".bmp")) << name << ": " << out;
    if (out.empty()) return {};
    lastResult = dir.file(out);
    std::vector<uint8_t> bytes = readFile(lastResult);
    std::filesystem::rename(lastResult, kept.file(std::to_string(++results) + (jpegOutput ? ".jpg" : ".bmp")));
    lastResult = kept.file(std::to_string(results) + (jpegOutput ? ".jpg" : ".bmp"));
    return bytes;
  }
  TempDir dir, kept;
  std::string lastResult;
  int results = 0;
};

}  // namespace

TEST_F(PhotoRun, AHeicToJpegSaysEachStepAndWritesWhatTheJpegWriterWrites) {
  writeHeifByTool(dir.file("IMG_2231.HEIC"), {101, 61});
  std::string console;
  const std::vector<uint8_t> jpeg = runOn("IMG_2231.HEIC", true, &console);
  EXPECT_EQ(expectedPreamble() + " Dekodirane na HEIC ... gotovo!\n" + kSettingsTen +
                " gotovo!\n Suhranenie kato JPEG ... gotovo!",
            console);
  std::vector<uint8_t> want = converted(decodeHeifGrid(dir.file("IMG_2231.HEIC")), 24);
  TempDir other;
  ASSERT_EQ(codecs::kPictureWritten, codecs::WriteJpegBitmap(other.file("w.jpg"), want.data(), want.size()));
  EXPECT_EQ(readFile(other.file("w.jpg")), jpeg);
  EXPECT_EQ("", jpegFault(lastResult));
}

TEST_F(PhotoRun, EveryKindToBmpHoldsTheModelConversion) {
  const struct {
    const char* name;
    const char* line;
  } kinds[] = {{"p.heic", " Dekodirane na HEIC ..."}, {"p.heif", " Dekodirane na HEIF ..."},
               {"p.avif", " Dekodirane na AVIF ..."}, {"P.WEBP", " Dekodirane na WebP ..."}};
  for (const auto& k : kinds) {
    const std::string path = dir.file(k.name);
    Grid shown;
    if (std::string(k.name) == "P.WEBP") {
      shown = photoGrid(45, 27, false);
      writeWebp(path, {shown, true});  // lossless: the pixels themselves
    } else {
      writeHeifByTool(path, {45, 27, std::string(k.name) == "p.avif"});
      shown = decodeHeifGrid(path);
    }
    std::string console;
    EXPECT_EQ(converted(opaque(shown), 24), runOn(k.name, false, &console)) << k.name;
    EXPECT_EQ(expectedPreamble() + k.line + " gotovo!\n" + kSettingsTen + " gotovo!", console) << k.name;
    std::filesystem::remove(path);
  }
}

TEST_F(PhotoRun, TurnedPicturesStandUpright) {
  const Grid stored = photoGrid(37, 21, false);
  for (int tag = 1; tag <= 8; ++tag) {
    // HEIF: the file's irot and imir, which libheif applies.
    writeHeifByLibrary(dir.file("t.heic"), {stored, false, tag});
    EXPECT_EQ(converted(opaque(decodeHeifGrid(dir.file("t.heic"))), 24), runOn("t.heic", false)) << "HEIC " << tag;
    std::filesystem::remove(dir.file("t.heic"));
    // WebP: the EXIF chunk's orientation, which the program applies.
    writeWebp(dir.file("t.webp"), {stored, true, false, makeExif({tag})});
    EXPECT_EQ(converted(opaque(shownUpright(stored, tag)), 24), runOn("t.webp", false)) << "WebP " << tag;
    std::filesystem::remove(dir.file("t.webp"));
  }
}

TEST_F(PhotoRun, AlphaIsKeptInABmpResultAsForPngAndDroppedForJpeg) {
  const Grid grid = photoGrid(33, 20, true);
  writeWebp(dir.file("a.webp"), {grid, true, true});
  EXPECT_EQ(converted(grid, 32), runOn("a.webp", false));
  runOn("a.webp", true);
  EXPECT_EQ("", jpegFault(lastResult));
  EXPECT_EQ(25u, decodeJpegRgb(lastResult).width);  // 33 less the depth of 10 rounded to 8
}

TEST_F(PhotoRun, JpegResultsCarryTheProfileAndTheExifUpright) {
  const std::vector<uint8_t> icc = makeIccProfile(4000);
  const Grid stored = photoGrid(30, 20, false);
  // HEIF: its EXIF says 6, but only irot turns a HEIF picture: not turned.
  writeHeifByLibrary(dir.file("m.heic"), {stored, false, 1, makeExif({6, false, 30, 20, 800}), icc});
  runOn("m.heic", true);
  CarriedData carried = jpegCarried(lastResult);
  EXPECT_EQ(icc, carried.icc);
  std::map<std::string, std::string> tags = exifTags(carried.exif);
  EXPECT_EQ("Top-left", tags.at("0 Orientation"));
  EXPECT_EQ(kExifDateTaken, tags.at("EXIF DateTimeOriginal"));
  EXPECT_EQ(0u, tags.count("thumbnail bytes"));
  EXPECT_EQ(22u, decodeJpegRgb(lastResult).width);  // 30 less 8
  // WebP: its EXIF turns it.
  writeWebp(dir.file("m.webp"), {stored, false, false, makeExif({6, false, 30, 20, 800}), icc});
  runOn("m.webp", true);
  carried = jpegCarried(lastResult);
  EXPECT_EQ(icc, carried.icc);
  tags = exifTags(carried.exif);
  EXPECT_EQ("Top-left", tags.at("0 Orientation"));
  EXPECT_EQ(kExifMake, tags.at("0 Make"));
  const RgbImage pixels = decodeJpegRgb(lastResult);
  EXPECT_EQ(12u, pixels.width);  // 20 less the depth of 10 rounded to 8
  EXPECT_EQ(28u, pixels.height);  // rows in fours
  EXPECT_EQ(std::to_string(pixels.width), tags.at("EXIF PixelXDimension"));
}

TEST_F(PhotoRun, AnAnimatedWebpGivesItsFirstFrame) {
  writeAnimatedWebp(dir.file("a.webp"), 32, 18);
  const std::vector<uint8_t> bmp = runOn("a.webp", false);
  // Whether the canvas has alpha (opaque here) is the encoder's choice.
  ASSERT_GE(bmp.size(), 54u);
  const unsigned bits = engine::loadLe16(bmp.data() + engine::field::kBitsPerPixel);
  EXPECT_EQ(converted(bits == 32 ? photoGrid(32, 18, false) : opaque(photoGrid(32, 18, false)), bits), bmp);
}

TEST_F(PhotoRun, FilesTheLibrariesRefuseEndWithTheirMessageAndStatusTwo) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* text;
    const char* library;  // what standard error starts with
  } cases[] = {
      {"text.heic", {'h', 'e', 'l', 'l', 'o'}, " Dekodirane na HEIC ... proval pri purvonachalno otvarqne na faila!",
       "libheif: "},
      {"text.avif", {}, " Dekodirane na AVIF ... proval pri purvonachalno otvarqne na faila!", "libheif: "},
      {"text.webp", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'},
       " Dekodirane na WebP ... proval pri purvonachalno otvarqne na faila!", ""},
  };
  for (const auto& c : cases) {
    writeFile(dir.file(c.name), c.bytes);
    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file(c.name), true));
    EXPECT_EQ(2, r.exitCode) << c.name;
    EXPECT_EQ(expectedPreamble() + c.text, r.out) << c.name;
    EXPECT_TRUE(r.err.starts_with(c.library)) << c.name << ": " << r.err;
    EXPECT_EQ(c.bytes, readFile(dir.file(c.name)));
    std::filesystem::remove(dir.file(c.name));
    EXPECT_EQ(std::vector<std::string>{}, dir.list()) << c.name;
  }
}
