// The TIFF adapter: decoded BitmapBuffers against the library's own RGBA
// reader, written files read back with the library.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <optional>

#include "codecs/tiff_codec.h"
#include "engine/bitmap_buffer.h"
#include "support/bitmap_rows.h"
#include "support/bmp_fixture.h"
#include "support/picture_fixture.h"
#include "support/temp_dir.h"

using namespace quarn::testing;
using namespace quarn::codecs;
namespace engine = quarn::engine;

namespace {

std::vector<uint8_t> readTiff(const std::string& path) {
  const std::optional<uint32_t> size = GetTiffBitmapSize(path);
  EXPECT_TRUE(size);
  std::vector<uint8_t> buffer(size.value_or(0), 0xAA);
  EXPECT_EQ(kPictureRead, ReadTiffBitmap(path, buffer.data(), buffer.size()));
  return buffer;
}

// The library's bottom-up RGBA raster as a BitmapBuffer, the plain way.
std::vector<uint8_t> plainBitmap(const RgbaImage& image) {
  std::vector<uint8_t> b(54 + image.rgba.size());
  engine::writeBitmapHeader(b.data(), image.width, image.height, 32);
  std::copy(image.rgba.begin(), image.rgba.end(), b.begin() + 54);
  SwapRedBlue32(b.data(), image.width, image.height);
  return b;
}

const char* kindName(TiffKind kind) {
  switch (kind) {
    case TiffKind::kRgb: return "RGB";
    case TiffKind::kRgba: return "RGBA";
    case TiffKind::kGrey: return "grey";
    case TiffKind::kPalette: return "palette";
    case TiffKind::kCmyk: return "CMYK";
  }
  return "?";
}

uint32_t field32(TIFF* tif, ttag_t tag) {
  uint32_t v = 0;
  EXPECT_EQ(1, TIFFGetField(tif, tag, &v)) << "tag " << tag;
  return v;
}
uint16_t field16(TIFF* tif, ttag_t tag) {
  uint16_t v = 0;
  EXPECT_EQ(1, TIFFGetField(tif, tag, &v)) << "tag " << tag;
  return v;
}

std::vector<std::vector<uint8_t>> rawStrips(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  std::vector<std::vector<uint8_t>> strips;
  for (uint32_t s = 0; tif != nullptr && s < TIFFNumberOfStrips(tif); ++s) {
    std::vector<uint8_t> raw(static_cast<size_t>(TIFFRawStripSize(tif, s)));
    TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size()));
    strips.push_back(raw);
  }
  if (tif != nullptr) TIFFClose(tif);
  return strips;
}

}  // namespace

TEST(TiffRead, MatchesTheLibrarysReaderForEveryKindAndLayout) {
  TempDir dir;
  const std::string path = dir.file("p.tif");
  for (const TiffKind kind : {TiffKind::kRgb, TiffKind::kRgba, TiffKind::kGrey, TiffKind::kPalette, TiffKind::kCmyk}) {
    for (const uint16_t orientation : {uint16_t{1}, uint16_t{4}}) {
      for (const uint32_t tile : {0u, 16u}) {
        for (const bool lzw : {true, false}) {
          TiffPicture picture;
          picture.kind = kind;
          picture.orientation = orientation;
          picture.tileSize = tile;
          picture.lzw = lzw;
          writeTiff(path, picture);
          SCOPED_TRACE(::testing::Message() << kindName(kind) << ", orientation " << orientation
                                            << (tile ? ", tiles" : ", strips") << (lzw ? ", LZW" : ", none"));
          const std::vector<uint8_t> have = readTiff(path);
          ASSERT_EQ(54u + 4 * 17 * 11, have.size());
          EXPECT_EQ(plainBitmap(readTiffRgba(path)), have);
        }
      }
    }
  }
}

TEST(TiffRead, PicturesOfManyBandsLandInOrderWhicheverWayTheyAreStored) {
  TempDir dir;
  const std::string path = dir.file("p.tif");
  for (const uint16_t orientation : {uint16_t{1}, uint16_t{4}, uint16_t{2}, uint16_t{3}}) {
    for (const uint32_t tile : {0u, 32u}) {
      TiffPicture picture;
      picture.width = 700;
      picture.height = 1203;  // several bands of rows, the last one short
      picture.orientation = orientation;
      picture.rowsPerStrip = 7;
      picture.tileSize = tile;
      writeTiff(path, picture);
      SCOPED_TRACE(::testing::Message() << "orientation " << orientation << (tile ? ", tiles" : ", strips"));
      EXPECT_EQ(plainBitmap(readTiffRgba(path)), readTiff(path));
    }
  }
}

TEST(TiffRead, NotATiffAndMissingFiles) {
  TempDir dir;
  writeFile(dir.file("x.tif"), {'I', 'I', 42, 0, 1, 2, 3});
  EXPECT_EQ(std::nullopt, GetTiffBitmapSize(dir.file("x.tif")));
  EXPECT_EQ(std::nullopt, GetTiffBitmapSize(dir.file("none.tif")));
  uint8_t byte = 0;
  EXPECT_EQ(kPictureUnreadable, ReadTiffBitmap(dir.file("none.tif"), &byte, 1));
}

TEST(TiffRead, RefusesAFileWhoseStripsWouldNeedFarMoreMemoryThanItHolds) {
  // Forged files of a few hundred bytes whose picture is small but whose
  // hundreds or thousands of samples per pixel make one strip decode to
  // gigabytes.
  for (const char* name : {"oom_many_samples_per_pixel.tif", "oom_wide_strip_many_samples.tif"}) {
    EXPECT_EQ(std::nullopt, GetTiffBitmapSize(std::string(QUARN_REGRESS_DIR) + "/" + name)) << name;
  }
}

TEST(TiffRead, DamagedFilesNeverCrash) {
  TempDir dir;
  TiffPicture picture;
  picture.width = 40;
  picture.height = 30;
  writeTiff(dir.file("p.tif"), picture);
  const std::vector<uint8_t> good = readFile(dir.file("p.tif"));
  uint32_t state = 12345;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bad = good;
    state = state * 1664525u + 1013904223u;
    if (round % 3 == 0) {
      bad.resize(state % good.size());
    } else {
      for (int k = 0; k < 4; ++k) {
        state = state * 1664525u + 1013904223u;
        bad[state % bad.size()] ^= static_cast<uint8_t>(1 + (state >> 24) % 255);
      }
    }
    writeFile(dir.file("bad.tif"), bad);
    const std::optional<uint32_t> size = GetTiffBitmapSize(dir.file("bad.tif"));
    if (!size) continue;
    std::vector<uint8_t> buffer(*size);
    const PictureReadResult read = ReadTiffBitmap(dir.file("bad.tif"), buffer.data(), buffer.size());
    EXPECT_TRUE(read == kPictureRead || read == kPictureUnreadable);
  }
}

TEST(TiffWrite, ReadsBackAsTheSamePixelsWithTheTags) {
  TempDir dir;
  for (const int32_t width : {1, 3, 300, 2100}) {
    std::vector<uint8_t> bitmap = makePatternBitmap(width, 37, 32, 3);
    const std::vector<uint8_t> before = bitmap;
    const std::string path = dir.file(std::to_string(width).append(".tif"));
    ASSERT_EQ(kPictureWritten, WriteTiffBitmap(path, bitmap.data(), bitmap.size()));
    EXPECT_EQ(before, bitmap);
    // The library's bottom-up raster is the BitmapBuffer with red and blue swapped.
    EXPECT_EQ(bitmap, plainBitmap(readTiffRgba(path))) << "width " << width;

    // Every tag is what it claims: the library opens the file without a warning.
    static int warnings = 0;
    warnings = 0;
    const TIFFErrorHandler previous = TIFFSetWarningHandler([](const char*, const char*, va_list) { ++warnings; });
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    TIFFSetWarningHandler(previous);
    ASSERT_NE(nullptr, tif);
    EXPECT_EQ(0, warnings) << "width " << width;
    EXPECT_EQ(uint32_t(width), field32(tif, TIFFTAG_IMAGEWIDTH));
    EXPECT_EQ(37u, field32(tif, TIFFTAG_IMAGELENGTH));
    EXPECT_EQ(8, field16(tif, TIFFTAG_BITSPERSAMPLE));
    EXPECT_EQ(COMPRESSION_LZW, field16(tif, TIFFTAG_COMPRESSION));
    EXPECT_EQ(PHOTOMETRIC_RGB, field16(tif, TIFFTAG_PHOTOMETRIC));
    EXPECT_EQ(4, field16(tif, TIFFTAG_SAMPLESPERPIXEL));
    EXPECT_EQ(PLANARCONFIG_CONTIG, field16(tif, TIFFTAG_PLANARCONFIG));
    EXPECT_EQ(RESUNIT_NONE, field16(tif, TIFFTAG_RESOLUTIONUNIT));
    EXPECT_EQ(ORIENTATION_TOPLEFT, field16(tif, TIFFTAG_ORIENTATION));
    // The library's default: strips of about 8 KB, at least one row.
    EXPECT_EQ(std::max(1u, 8192u / (4u * uint32_t(width))), field32(tif, TIFFTAG_ROWSPERSTRIP));
    uint16_t count = 0;
    uint16_t* extra = nullptr;
    ASSERT_EQ(1, TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &extra));
    ASSERT_EQ(1, count);
    EXPECT_EQ(EXTRASAMPLE_ASSOCALPHA, extra[0]);
    uint16_t predictor = 0;
    EXPECT_EQ(0, TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor));
    TIFFClose(tif);
  }
}

TEST(TiffWrite, ParallelStripsAreTheStripsOfAScanlineByScanlineWrite) {
  TempDir dir;
  std::vector<uint8_t> bitmap = makePatternBitmap(2100, 301, 32, 9);  // 301 strips of one row
  ASSERT_EQ(kPictureWritten, WriteTiffBitmap(dir.file("one.tif"), bitmap.data(), bitmap.size(), 1));
  ASSERT_EQ(kPictureWritten, WriteTiffBitmap(dir.file("two.tif"), bitmap.data(), bitmap.size(), 2));
  ASSERT_EQ(kPictureWritten, WriteTiffBitmap(dir.file("five.tif"), bitmap.data(), bitmap.size(), 5));

  // The plain way: tags, then every row top-down, red first, one call each.
  TIFF* tif = TIFFOpen(dir.file("plain.tif").c_str(), "w");
  ASSERT_NE(nullptr, tif);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2100);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 301);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
  const uint16_t associatedAlpha = EXTRASAMPLE_ASSOCALPHA;
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &associatedAlpha);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  std::vector<uint8_t> plain = bitmap;
  SwapRedBlue32(plain.data(), 2100, 301);
  ReverseRows32(plain.data(), plain.size(), 2100, 301);
  for (uint32_t row = 0; row < 301; ++row) {
    ASSERT_EQ(1, TIFFWriteScanline(tif, plain.data() + 54 + size_t{4} * 2100 * row, row, 0));
  }
  TIFFClose(tif);

  const auto want = rawStrips(dir.file("plain.tif"));
  ASSERT_EQ(301u, want.size());
  EXPECT_TRUE(want == rawStrips(dir.file("one.tif")));
  EXPECT_TRUE(want == rawStrips(dir.file("two.tif")));
  EXPECT_TRUE(want == rawStrips(dir.file("five.tif")));
}

TEST(TiffWrite, RefusesOtherDepthsAndNeverReplacesAFile) {
  TempDir dir;
  std::vector<uint8_t> shallow = makePatternBitmap(8, 8, 24);
  EXPECT_EQ(kPictureWrongBitmap, WriteTiffBitmap(dir.file("n.tif"), shallow.data(), shallow.size()));
  std::vector<uint8_t> bitmap = makePatternBitmap(8, 8, 32);
  EXPECT_EQ(kPictureWrongBitmap, WriteTiffBitmap(dir.file("n.tif"), bitmap.data(), bitmap.size() - 1));
  EXPECT_EQ(kPictureCannotCreate, WriteTiffBitmap(dir.file("no/such.tif"), bitmap.data(), bitmap.size()));
  EXPECT_TRUE(dir.list().empty());
  writeFile(dir.file("o.tif"), {'o', 'l', 'd'});
  EXPECT_EQ(kPictureOutputExists, WriteTiffBitmap(dir.file("o.tif"), bitmap.data(), bitmap.size()));
  EXPECT_EQ((std::vector<uint8_t>{'o', 'l', 'd'}), readFile(dir.file("o.tif")));
}
