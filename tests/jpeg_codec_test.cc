// The JPEG adapter: decoded BitmapBuffers against the library's own RGB
// decode, written files against the library's plain RGB encode.
#include <gtest/gtest.h>

#include <optional>

#include "codecs/exif_data.h"
#include "codecs/jpeg_codec.h"
#include "codecs/picture_size.h"
#include "engine/bitmap_buffer.h"
#include "support/bitmap_rows.h"
#include "support/bmp_fixture.h"
#include "support/exif_fixture.h"
#include "support/picture_fixture.h"
#include "support/temp_dir.h"

using namespace quarn::testing;
using namespace quarn::codecs;
namespace engine = quarn::engine;

namespace {

// The library's RGB rows turned into a BitmapBuffer the plain way: header,
// rows copied top first with zero pads, then reversed and swapped.
std::vector<uint8_t> plainBitmap(const RgbImage& image) {
  const size_t stride = engine::rowStride(image.width, 3);
  const uint32_t pad = static_cast<uint32_t>(stride - 3 * image.width);
  std::vector<uint8_t> b(engine::kHeaderSize + stride * image.height, 0);
  engine::writeBitmapHeader(b.data(), image.width, image.height, 24);
  for (uint32_t y = 0; y < image.height; ++y) {
    std::copy_n(image.rgb.data() + size_t{3} * image.width * y, 3 * image.width,
                b.data() + engine::kHeaderSize + stride * y);
  }
  ReverseRows24(b.data(), b.size(), pad, image.width, image.height);
  SwapRedBlue24(b.data(), pad, image.width, image.height);
  return b;
}

std::vector<uint8_t> readJpeg(const std::string& path) {
  const std::optional<uint32_t> size = GetJpegBitmapSize(path);
  EXPECT_TRUE(size);
  std::vector<uint8_t> buffer(size.value_or(0), 0xAA);
  EXPECT_EQ(kPictureRead, ReadJpegBitmap(path, buffer.data(), buffer.size()));
  return buffer;
}

}  // namespace

TEST(JpegRead, MatchesTheLibrarysDecodeForEveryKindAndWidth) {
  TempDir dir;
  for (const bool progressive : {false, true}) {
    for (const JpegKind kind : {JpegKind::kColour, JpegKind::kGrey}) {
      for (const uint32_t width : {1u, 4u, 5u, 37u}) {
        const std::string path = dir.file("p.jpg");
        writeJpeg(path, {width, 19, kind, progressive});
        const std::vector<uint8_t> have = readJpeg(path);
        const RgbImage want = decodeJpegRgb(path);
        const size_t stride = (3 * width + 3) & ~size_t{3};
        SCOPED_TRACE(::testing::Message() << "width " << width << (progressive ? " progressive" : " baseline")
                                          << (kind == JpegKind::kGrey ? " grey" : " colour"));
        ASSERT_EQ(54 + stride * 19, have.size());
        EXPECT_EQ(plainBitmap(want), have);
        EXPECT_EQ(have.size() - 54, engine::loadLe32(have.data() + engine::field::kImageSize));
        EXPECT_EQ(have.size(), engine::loadLe32(have.data() + engine::field::kFileSize));
      }
    }
  }
}

TEST(JpegRead, FirstPixelIsTheBottomLeftInBlueGreenRedAndWidthFiveRowsAreSixteenBytes) {
  TempDir dir;
  writeJpeg(dir.file("p.jpg"), {5, 3});
  const std::vector<uint8_t> have = readJpeg(dir.file("p.jpg"));
  const RgbImage want = decodeJpegRgb(dir.file("p.jpg"));
  ASSERT_EQ(54u + 16 * 3, have.size());
  const uint8_t* bottomLeft = want.rgb.data() + 3 * 5 * 2;
  EXPECT_EQ(bottomLeft[2], have[54]);
  EXPECT_EQ(bottomLeft[1], have[55]);
  EXPECT_EQ(bottomLeft[0], have[56]);
  EXPECT_EQ(0, have[54 + 15]);  // the pad byte
}

TEST(JpegRead, RefusesCmykBeforeWritingAnyRow) {
  TempDir dir;
  writeJpeg(dir.file("c.jpg"), {8, 8, JpegKind::kCmyk});
  const std::optional<uint32_t> size = GetJpegBitmapSize(dir.file("c.jpg"));
  ASSERT_EQ(54u + 24 * 8, size);
  std::vector<uint8_t> buffer(*size, 0xAA);
  EXPECT_EQ(kPictureUnreadable, ReadJpegBitmap(dir.file("c.jpg"), buffer.data(), buffer.size()));
  EXPECT_EQ(std::vector<uint8_t>(buffer.size(), 0xAA), buffer);
}

TEST(JpegRead, MissingFileAndWrongBufferSize) {
  TempDir dir;
  EXPECT_EQ(std::nullopt, GetJpegBitmapSize(dir.file("none.jpg")));
  uint8_t byte = 0;
  EXPECT_EQ(kPictureUnreadable, ReadJpegBitmap(dir.file("none.jpg"), &byte, 1));
  writeJpeg(dir.file("p.jpg"), {8, 8});
  std::vector<uint8_t> small(54 + 24 * 7);
  EXPECT_EQ(kPictureUnreadable, ReadJpegBitmap(dir.file("p.jpg"), small.data(), small.size()));
}

TEST(JpegRead, DataCutInTheEntropyCodedPartStillDecodes) {
  TempDir dir;
  writeJpeg(dir.file("p.jpg"), {64, 64});
  std::vector<uint8_t> bytes = readFile(dir.file("p.jpg"));
  bytes.resize(bytes.size() * 2 / 3);  // headers are in the first few hundred bytes
  writeFile(dir.file("cut.jpg"), bytes);
  const std::vector<uint8_t> have = readJpeg(dir.file("cut.jpg"));
  EXPECT_EQ(54u + 192 * 64, have.size());
}

TEST(PictureSize, RefusesWhatDoesNotFitOrIsAbsurdForItsFile) {
  EXPECT_EQ(54u + 8 * 2, plausibleBitmapSize(2, 2, 32, 100));
  EXPECT_EQ(54u + 16 * 3, plausibleBitmapSize(5, 3, 24, 100));
  EXPECT_FALSE(plausibleBitmapSize(65500, 65500, 24, uint64_t{1} << 40));  // past 32 bits
  EXPECT_FALSE(plausibleBitmapSize(uint64_t{1} << 32, 1, 24, uint64_t{1} << 40));
  // 100 MB from a 1 KB file is refused, from 100 KB it is not.
  EXPECT_FALSE(plausibleBitmapSize(5000, 5000, 32, 1000));
  EXPECT_TRUE(plausibleBitmapSize(5000, 5000, 32, 100000));
  EXPECT_TRUE(plausibleBitmapSize(4000, 3000, 32, 10));  // small enough to accept from any file
}

TEST(JpegWrite, WritesWhatThePlainRgbEncodeWritesAndLeavesTheBitmap) {
  TempDir dir;
  for (const int32_t width : {1, 5, 4, 333}) {
    std::vector<uint8_t> bitmap = makePatternBitmap(width, 21, 24, 7);
    const std::vector<uint8_t> before = bitmap;
    ASSERT_EQ(kPictureWritten, WriteJpegBitmap(dir.file("o.jpg"), bitmap.data(), bitmap.size()));
    EXPECT_EQ(before, bitmap);

    // Top-down red-green-blue rows of the same picture, encoded the plain way.
    RgbImage rgb{uint32_t(width), 21, {}};
    const size_t stride = engine::rowStride(uint32_t(width), 3);
    for (int32_t y = 20; y >= 0; --y) {
      const uint8_t* row = bitmap.data() + 54 + stride * size_t(y);
      for (int32_t x = 0; x < width; ++x) rgb.rgb.insert(rgb.rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    encodeJpegRgb(dir.file("plain.jpg"), rgb);
    EXPECT_EQ(readFile(dir.file("plain.jpg")), readFile(dir.file("o.jpg"))) << "width " << width;
    std::remove(dir.file("o.jpg").c_str());
  }
}

TEST(JpegWrite, NeverReplacesAFileAndRefusesOtherDepths) {
  TempDir dir;
  std::vector<uint8_t> bitmap = makePatternBitmap(8, 8, 24);
  writeFile(dir.file("o.jpg"), {'o', 'l', 'd'});
  EXPECT_EQ(kPictureOutputExists, WriteJpegBitmap(dir.file("o.jpg"), bitmap.data(), bitmap.size()));
  EXPECT_EQ((std::vector<uint8_t>{'o', 'l', 'd'}), readFile(dir.file("o.jpg")));

  std::vector<uint8_t> deep = makePatternBitmap(8, 8, 32);
  EXPECT_EQ(kPictureWrongBitmap, WriteJpegBitmap(dir.file("n.jpg"), deep.data(), deep.size()));
  EXPECT_EQ(kPictureWrongBitmap, WriteJpegBitmap(dir.file("n.jpg"), bitmap.data(), bitmap.size() - 1));
  EXPECT_EQ(kPictureCannotCreate, WriteJpegBitmap(dir.file("no/such/dir.jpg"), bitmap.data(), bitmap.size()));
  EXPECT_EQ((std::vector<std::string>{"o.jpg"}), dir.list());
}

TEST(JpegWrite, CarriesTheExifBlockAndTheProfileOnlyWhereTheirSegmentsHoldThem) {
  TempDir dir;
  std::vector<uint8_t> bitmap = makePatternBitmap(9, 7, 24);
  const std::vector<uint8_t> exif = makeExif({1, false, 9, 7});
  const struct {
    const char* what;
    size_t exifBytes, iccBytes;
    bool exifCarried, iccCarried;
  } cases[] = {
      {"both", exif.size(), 70000, true, true},
      {"the largest profile", 0, size_t{255} * 65519, false, true},
      {"a profile past 255 segments", 0, size_t{255} * 65519 + 1, false, false},
      {"an EXIF block past one segment", kMaxExifInJpeg + 1, 0, false, false},
      {"an EXIF block filling one", kMaxExifInJpeg, 0, true, false},
  };
  for (const auto& c : cases) {
    PictureMetadata carried;
    carried.exif = exif;
    carried.exif.resize(c.exifBytes, 0);  // whatever follows the directories is carried as it is
    carried.iccProfile = c.iccBytes != 0 ? makeIccProfile(c.iccBytes) : std::vector<uint8_t>{};
    ASSERT_EQ(kPictureWritten, WriteJpegBitmap(dir.file("c.jpg"), bitmap.data(), bitmap.size(), carried)) << c.what;
    EXPECT_EQ("", jpegFault(dir.file("c.jpg"))) << c.what;
    const CarriedData have = jpegCarried(dir.file("c.jpg"));
    EXPECT_EQ(c.exifCarried ? carried.exif : std::vector<uint8_t>{}, have.exif) << c.what;
    EXPECT_EQ(c.iccCarried ? carried.iccProfile : std::vector<uint8_t>{}, have.icc) << c.what;
    std::remove(dir.file("c.jpg").c_str());
  }
}
