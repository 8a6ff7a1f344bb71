// End-to-end runs of phone-like pictures: every orientation of JPEG (EXIF),
// PNG (eXIf) and TIFF (its tag) converted upright, so that the depth shift
// is horizontal as the viewer sees the picture; the colour profile and the
// EXIF block carried into JPEG and TIFF results, upright and without the
// thumbnail; nothing added where the input has nothing.
#include <gtest/gtest.h>

#include <optional>

#include "codecs/jpeg_codec.h"
#include "codecs/tiff_codec.h"
#include "engine/auto_depth.h"
#include "engine/bitmap_buffer.h"
#include "support/exif_fixture.h"
#include "support/picture_fixture.h"
#include "support/picture_runs.h"
#include "support/png_fixture.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/upright_model.h"

using namespace quarn::testing;
namespace codecs = quarn::codecs;
namespace engine = quarn::engine;

namespace {

// The stored picture stood upright by the model and converted with depth
// 10: what the BMP result must hold.
std::vector<uint8_t> convertedUpright(const std::vector<uint8_t>& stored, int orientation) {
  const unsigned bits = engine::loadLe16(stored.data() + engine::field::kBitsPerPixel);
  return convertedWithDepthTen(bitmapOf(shownUpright(gridOf(stored), orientation), bits));
}

std::vector<uint8_t> storedJpeg(const std::string& path) {
  const std::optional<uint32_t> size = codecs::GetJpegBitmapSize(path);
  std::vector<uint8_t> bitmap(size.value_or(0));
  EXPECT_EQ(codecs::kPictureRead, codecs::ReadJpegBitmap(path, bitmap.data(), bitmap.size()));
  return bitmap;
}

std::vector<uint8_t> withChunkAfterHeader(std::vector<uint8_t> png, const std::vector<uint8_t>& chunk) {
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // signature 8, IHDR 25
  return png;
}

class UprightRun : public ::testing::Test {
 protected:
  TempDir dir;
};

}  // namespace

TEST_F(UprightRun, JpegsOfEveryOrientationStandUpInBmpResults) {
  for (int tag = 0; tag <= 8; ++tag) {
    JpegPicture picture{41, 23};
    picture.exif = makeExif({tag});
    writeJpeg(dir.file("in.jpg"), picture);
    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.jpg"), false));
    EXPECT_EQ(0, r.exitCode) << tag;
    const std::string out = onlyOutput(dir);
    ASSERT_TRUE(isOutputName(out, ".bmp")) << tag << ": " << r.out;
    EXPECT_EQ(convertedUpright(storedJpeg(dir.file("in.jpg")), tag), readFile(dir.file(out))) << "tag " << tag;
    std::remove(dir.file(out).c_str());
  }
}

TEST_F(UprightRun, ThePortraitPhotoOfTheIssueIsThreeHundredWideAndTheAutomaticDepthUsesThatWidth) {
  // 400 x 300 stored, Orientation 6: upright 300 x 400, less the automatic
  // depth of 300 pixels (9) in width.
  JpegPicture picture{400, 300};
  picture.exif = makeExif({6});
  writeJpeg(dir.file("IMG_2231.JPG"), picture);
  const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("IMG_2231.JPG"), true, "0"));
  EXPECT_EQ(0, r.exitCode);
  EXPECT_NE(std::string::npos, r.out.find(" Izpolzvana dulbochina: " + std::to_string(engine::autoDepthForImage(300)) + "\n"))
      << r.out;
  const RgbImage result = decodeJpegRgb(dir.file(onlyOutput(dir)));
  EXPECT_EQ(300u - uint32_t(engine::autoDepthForImage(300)), result.width);
  EXPECT_EQ(400u, result.height);
  EXPECT_EQ("Top-left", exifTags(jpegCarried(dir.file(onlyOutput(dir))).exif).at("0 Orientation"));
}

TEST_F(UprightRun, AJpegResultCarriesTheProfileAndTheExifUprightWithoutTheThumbnail) {
  const struct {
    const char* what;
    std::vector<uint8_t> exif;
    size_t iccBytes;
  } cases[] = {
      {"turned, thumbnail, small profile", makeExif({6, false, 41, 23, 3000}), 560},
      {"big-endian, mirrored, a profile over two segments", makeExif({2, true, 0, 0, 0}), 100000},
      {"upright, no profile", makeExif({1}), 0},
      {"no orientation tag", makeExif({}), 3000},
  };
  for (const auto& c : cases) {
    JpegPicture picture{41, 23};
    picture.exif = c.exif;
    picture.icc = c.iccBytes != 0 ? makeIccProfile(c.iccBytes) : std::vector<uint8_t>{};
    writeJpeg(dir.file("in.jpg"), picture);
    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.jpg"), true));
    ASSERT_EQ(0, r.exitCode) << c.what << ": " << r.out;
    const std::string out = dir.file(onlyOutput(dir));
    EXPECT_EQ("", jpegFault(out)) << c.what;
    const CarriedData carried = jpegCarried(out);
    EXPECT_EQ(picture.icc, carried.icc) << c.what;
    EXPECT_EQ(1, carried.exifSegments) << c.what;
    std::map<std::string, std::string> before = exifTags(c.exif), after = exifTags(carried.exif);
    EXPECT_EQ(before.count("0 Orientation") ? "Top-left" : "absent",
              after.count("0 Orientation") ? after.at("0 Orientation") : "absent")
        << c.what;
    EXPECT_EQ(0u, after.count("thumbnail bytes")) << c.what;
    for (const char* kept : {"0 Make", "EXIF DateTimeOriginal", "EXIF ExposureTime", "GPS GPSLatitude"}) {
      EXPECT_EQ(before.at(kept), after.at(kept)) << c.what << ": " << kept;
    }
    if (before.count("EXIF PixelXDimension")) {
      const RgbImage pixels = decodeJpegRgb(out);
      EXPECT_EQ(std::to_string(pixels.width), after.at("EXIF PixelXDimension")) << c.what;
      EXPECT_EQ(std::to_string(pixels.height), after.at("EXIF PixelYDimension")) << c.what;
    }
    std::remove(out.c_str());
  }
}

TEST_F(UprightRun, InputsWithoutExifOrProfileGiveResultsWithout) {
  writeJpeg(dir.file("in.jpg"), {41, 23});
  ASSERT_EQ(0, runQuarn(eightParametersWithDepth(dir.file("in.jpg"), true)).exitCode);
  const CarriedData carried = jpegCarried(dir.file(onlyOutput(dir)));
  EXPECT_EQ(0, carried.exifSegments);
  EXPECT_TRUE(carried.icc.empty());
}

TEST_F(UprightRun, PngsWithAnExifChunkStandUp) {
  const std::vector<uint8_t> plain = encodePng(randomPicture(29, 17, 6, 8, false, 4));
  const LibpngImage decoded = decodeWithLibpng(plain);
  Grid stored{decoded.width, decoded.height, {}};
  for (size_t i = 0; i < decoded.rgba.size(); i += 4) {
    stored.pixels.push_back({decoded.rgba[i + 2], decoded.rgba[i + 1], decoded.rgba[i], decoded.rgba[i + 3]});
  }
  for (int tag = 1; tag <= 8; ++tag) {
    writeFile(dir.file("in.png"), withChunkAfterHeader(plain, pngChunk("eXIf", makeExif({tag, tag % 2 == 0}))));
    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.png"), false));
    EXPECT_EQ(0, r.exitCode) << tag;
    const std::string out = onlyOutput(dir);
    ASSERT_TRUE(isOutputName(out, ".bmp")) << tag << ": " << r.out;
    EXPECT_EQ(convertedUpright(bitmapOf(stored, 32), tag), readFile(dir.file(out))) << "tag " << tag;
    std::remove(dir.file(out).c_str());
  }
}

TEST_F(UprightRun, TiffsOfEveryOrientationStandUpAndKeepTheirProfile) {
  for (const uint16_t tag : {1, 2, 3, 4, 5, 6, 7, 8}) {
    TiffPicture picture;
    picture.width = 37;
    picture.height = 21;
    picture.orientation = tag;
    picture.icc = makeIccProfile(900);
    writeTiff(dir.file("in.tif"), picture);
    // What the viewer sees: the stored rows (an upright file of the same
    // pixels) turned by the model.
    picture.orientation = 1;
    writeTiff(dir.file("upright.tif"), picture);
    const std::optional<uint32_t> size = codecs::GetTiffBitmapSize(dir.file("upright.tif"));
    std::vector<uint8_t> stored(size.value_or(0));
    ASSERT_EQ(codecs::kPictureRead, codecs::ReadTiffBitmap(dir.file("upright.tif"), stored.data(), stored.size()));
    std::remove(dir.file("upright.tif").c_str());

    const ProgramResult r = runQuarn(eightParametersWithDepth(dir.file("in.tif"), false));
    ASSERT_EQ(0, r.exitCode) << tag << ": " << r.out;
    const std::string out = dir.file(onlyOutput(dir));
    const std::vector<uint8_t> want = convertedUpright(stored, tag);
    const RgbaImage have = readTiffRgba(out);
    ASSERT_EQ(engine::loadLe32(want.data() + engine::field::kWidth), have.width) << "tag " << tag;
    ASSERT_EQ(engine::loadLe32(want.data() + engine::field::kHeight), have.height) << "tag " << tag;
    for (size_t i = 0; i < have.rgba.size(); i += 4) {
      ASSERT_EQ(want[54 + i + 2], have.rgba[i]) << "tag " << tag << ", pixel " << i / 4;
      ASSERT_EQ(want[54 + i], have.rgba[i + 2]) << "tag " << tag << ", pixel " << i / 4;
    }
    EXPECT_EQ(picture.icc, tiffCarried(out).icc) << tag;
    std::remove(out.c_str());
  }
}
