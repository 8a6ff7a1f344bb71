// The two conversions: the BMP file conversion and the in-memory one, with
// the header check and the automatic depth they share.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "engine/auto_depth.h"
#include "engine/bitmap_check.h"
#include "engine/bmp_file.h"
#include "engine/memory_conversion.h"
#include "support/bmp_fixture.h"
#include "support/fuzz_input.h"
#include "support/temp_dir.h"

using namespace quarn::engine;
using quarn::platform::RecordingConsole;
using quarn::testing::makeBitmap;
using quarn::testing::makePatternBitmap;
using quarn::testing::Pixel;
using quarn::testing::readFile;
using quarn::testing::TempDir;
using quarn::testing::writeFile;

namespace {

ConversionSettings given(int32_t depth, bool negative = false) {
  ConversionSettings s;
  s.depth = depth;
  s.negativeDepth = negative;
  return s;
}

int32_t headerWidth(const std::vector<uint8_t>& b) { return loadLe32Signed(b.data() + field::kWidth); }
int32_t headerHeight(const std::vector<uint8_t>& b) { return loadLe32Signed(b.data() + field::kHeight); }

// Converts in memory; the destination is exactly as large as the source.
struct MemoryResult {
  ConversionResult code;
  std::vector<uint8_t> out;
};
MemoryResult convertInMemory(std::vector<uint8_t> source, const ConversionSettings& settings) {
  std::vector<uint8_t> destination(source.size(), 0xEE);
  const ConversionResult code = convertBitmapBuffer(source, destination.data(), destination.size(), settings);
  if (code == kConverted) destination.resize(loadLe32(destination.data() + field::kFileSize));
  return {code, destination};
}

const uint8_t* pixelAt(const std::vector<uint8_t>& b, int32_t x, int32_t row) {
  const uint32_t offset = b[field::kPixelOffset];
  const unsigned p = b[field::kBitsPerPixel] / 8;
  return b.data() + offset + rowStride(uint32_t(headerWidth(b)), p) * size_t(row) + size_t(x) * p;
}

}  // namespace

TEST(AutoDepth, ForImages) {
  const int32_t widths[] = {2, 10, 100, 320, 640, 800, 1024, 1280, 1920, 2048, 3000, 4096, 4097, 5000, 8000};
  const int32_t depths[] = {1, 2, 6, 9, 12, 13, 14, 16, 19, 19, 22, 25, 46, 51, 63};
  for (size_t i = 0; i < std::size(widths); ++i) EXPECT_EQ(depths[i], autoDepthForImage(widths[i])) << widths[i];
  EXPECT_EQ(0, autoDepthForImage(0));
  EXPECT_EQ(0, autoDepthForImage(-5));
}

TEST(AutoDepth, ForVideos) {
  const int32_t widths[] = {0, 1, 2, 3, 4, 720, 2048, 2049, -4};
  const int32_t depths[] = {0, 0, 0, 0, 4, 4, 4, 0, 0};
  for (size_t i = 0; i < std::size(widths); ++i) EXPECT_EQ(depths[i], autoDepthForVideo(widths[i])) << widths[i];
}

TEST(CheckBitmapHeader, CodesInTheirOrder) {
  const std::vector<uint8_t> good = makePatternBitmap(4, 4, 24);
  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
    ConversionResult code;
  } cases[] = {
      {"signature", 1, 'N', kNotBmp},
      {"pixel offset 122", 10, 122, kUnsupportedHeader},
      {"8 bits per pixel", 28, 8, kUnsupportedBitDepth},
      {"RLE compression", 30, 1, kCompressed},
      {"width 1", 18, 1, kTooSmall},
      {"height 1", 22, 1, kTooSmall},
      {"top-down height", 25, 0xFF, kTooSmall},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = good;
    b[c.offset] = c.value;
    ConversionState s;
    EXPECT_EQ(c.code, checkBitmapHeader(b, s)) << c.what;
  }
  // The first failing test decides: a bad signature wins over everything.
  std::vector<uint8_t> b = good;
  b[0] = 'X';
  b[28] = 8;
  ConversionState s;
  EXPECT_EQ(kNotBmp, checkBitmapHeader(b, s));
  b = good;
  b[28] = 8;
  b[30] = 1;
  EXPECT_EQ(kUnsupportedBitDepth, checkBitmapHeader(b, s));
}

TEST(CheckBitmapHeader, RefusesBuffersShorterThanTheyDeclare) {
  const std::vector<uint8_t> good = makePatternBitmap(5, 3, 24);  // 54 + 3 x 16
  ConversionState s;
  for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{30}, size_t{53}, size_t{54}, good.size() - 1}) {
    std::vector<uint8_t> b(good.begin(), good.begin() + long(size));
    EXPECT_EQ(kNotBmp, checkBitmapHeader(b, s)) << size;
  }
  std::vector<uint8_t> exact = good;
  EXPECT_EQ(kConverted, checkBitmapHeader(exact, s));
  // A height near 2^31 with a tiny file, and the largest width.
  std::vector<uint8_t> huge = good;
  storeLe32(huge.data() + field::kHeight, 0x7FFFFFFF);
  EXPECT_EQ(kNotBmp, checkBitmapHeader(huge, s));
  huge = good;
  storeLe32(huge.data() + field::kWidth, 0x7FFFFFFF);
  EXPECT_EQ(kNotBmp, checkBitmapHeader(huge, s));
  // With masks the header is 66 bytes.
  std::vector<uint8_t> masked(good.begin(), good.begin() + 60);
  masked[10] = 66;
  EXPECT_EQ(kNotBmp, checkBitmapHeader(masked, s));
}

TEST(CheckBitmapHeader, FillsTheGeometryAndExpandsSixteenBits) {
  std::vector<uint8_t> b(66 + 2 * 4 * 3, 0);  // 4 x 3 pixels, 5-6-5 with masks
  writeBitmapHeader(b.data(), 4, 3, 16);
  b[10] = 66;
  b[30] = 3;
  storeLe32(b.data() + 54, 0xF800);
  storeLe32(b.data() + 58, 0x07E0);
  storeLe32(b.data() + 62, 0x001F);
  ConversionState s;
  ASSERT_EQ(kConverted, checkBitmapHeader(b, s));
  EXPECT_EQ(66u, s.pixelOffset);
  EXPECT_EQ(4, s.width);
  EXPECT_EQ(3, s.sourceHeight);
  EXPECT_EQ(3u, s.bytesPerPixel);
  EXPECT_EQ(0xF800u, s.redMask);
  EXPECT_EQ(66u + 12 * 3, b.size());
  EXPECT_EQ(24, b[28]);
  // A 24-bit image with compression 3 and masks is accepted as it is.
  std::vector<uint8_t> c = makePatternBitmap(4, 4, 24);
  c[30] = 3;
  EXPECT_EQ(kConverted, checkBitmapHeader(c, s));
}

TEST(MemoryConversion, RoundsTheDepthAndRows) {
  struct Case {
    int32_t width, height, depth;
    bool autoDepth;
    int32_t outWidth, outHeight;
  } cases[] = {
      {640, 480, 10, false, 632, 480}, {640, 480, 3, false, 636, 480}, {640, 480, 0, false, 640, 480},
      {641, 480, 0, true, 629, 480},   {640, 482, 8, false, 632, 480}, {10, 8, 50, false, 2, 8},
      {3, 8, 2, false, 3, 8},          {2, 8, 0, true, 1, 8},          {4, 8, 3, false, 1, 8},
      {5, 8, 1, false, 1, 8},          {20, 4, 4, false, 16, 4},
  };
  for (const Case& c : cases) {
    ConversionSettings settings = given(c.depth);
    settings.autoDepth = c.autoDepth;
    const MemoryResult r = convertInMemory(makePatternBitmap(c.width, c.height, 24), settings);
    ASSERT_EQ(kConverted, r.code) << c.width << "x" << c.height;
    EXPECT_EQ(c.outWidth, headerWidth(r.out)) << c.width << "x" << c.height << " depth " << c.depth;
    EXPECT_EQ(c.outHeight, headerHeight(r.out)) << c.width << "x" << c.height;
    const uint64_t image = rowStride(uint32_t(c.outWidth), 3) * uint64_t(c.outHeight);
    EXPECT_EQ(image, loadLe32(r.out.data() + field::kImageSize));
    EXPECT_EQ(54 + image, r.out.size());
  }
  const MemoryResult big = convertInMemory(makePatternBitmap(640, 480, 24), given(10));
  EXPECT_EQ(910134u, big.out.size());
  EXPECT_EQ(1896u, rowStride(632, 3));
}

TEST(MemoryConversion, ThreeDPlusDropsFourOrMoreRows) {
  struct Case {
    int32_t height, outHeight, redFrom;
  } cases[] = {{482, 476, 6}, {480, 476, 4}, {8, 4, 4}, {7, 4, -1}};
  for (const Case& c : cases) {
    ConversionSettings settings = given(4);
    settings.plus3D = true;
    const std::vector<uint8_t> source = makePatternBitmap(8, c.height, 24);
    const MemoryResult r = convertInMemory(source, settings);
    ASSERT_EQ(kConverted, r.code);
    EXPECT_EQ(c.outHeight, headerHeight(r.out)) << c.height;
    const int32_t v = c.redFrom < 0 ? 0 : c.redFrom;
    // Output (0, 0): blue and green of source (0, 0), red of (4, v).
    EXPECT_EQ(source[54 + 0], r.out[54 + 0]);
    EXPECT_EQ(source[54 + rowStride(8, 3) * size_t(v) + 4 * 3 + 2], r.out[54 + 2]) << c.height;
  }
  // Negative depth with 3D+: rows dropped, red from the same row.
  ConversionSettings settings = given(4, true);
  settings.plus3D = true;
  const std::vector<uint8_t> source = makePatternBitmap(8, 12, 24);
  const MemoryResult r = convertInMemory(source, settings);
  EXPECT_EQ(8, headerHeight(r.out));
  EXPECT_EQ(source[54 + 4 * 3], r.out[54]);
  EXPECT_EQ(source[54 + 2], r.out[54 + 2]);
}

TEST(MemoryConversion, ThirtyTwoBitsKeepTheFourthByteWithBlueAndGreen) {
  const std::vector<uint8_t> source = makePatternBitmap(9, 4, 32);
  for (bool negative : {false, true}) {
    const MemoryResult r = convertInMemory(source, given(4, negative));
    ASSERT_EQ(kConverted, r.code);
    for (int32_t x = 0; x < 5; ++x) {
      const uint8_t* out = r.out.data() + 54 + size_t(x) * 4;
      const uint8_t* cyan = source.data() + 54 + size_t(x + (negative ? 4 : 0)) * 4;
      const uint8_t* red = source.data() + 54 + size_t(x + (negative ? 0 : 4)) * 4;
      EXPECT_EQ(cyan[0], out[0]);
      EXPECT_EQ(cyan[1], out[1]);
      EXPECT_EQ(red[2], out[2]);
      EXPECT_EQ(cyan[3], out[3]);
    }
  }
}

TEST(MemoryConversion, FailuresLeaveBothBuffersUntouched) {
  std::vector<uint8_t> tiny = makePatternBitmap(1, 8, 24);
  const std::vector<uint8_t> before = tiny;
  std::vector<uint8_t> destination(tiny.size(), 0xEE);
  EXPECT_EQ(kTooSmall, convertBitmapBuffer(tiny, destination.data(), destination.size(), given(4)));
  EXPECT_EQ(before, tiny);
  EXPECT_EQ(std::vector<uint8_t>(tiny.size(), 0xEE), destination);

  std::vector<uint8_t> truncated = makePatternBitmap(8, 8, 24);
  truncated.resize(truncated.size() - 1);
  destination.assign(truncated.size(), 0xEE);
  EXPECT_EQ(kNotBmp, convertBitmapBuffer(truncated, destination.data(), destination.size(), given(4)));

  // Two or three rows round down to none: refused, as is a 16-bit source of
  // that height, which stays unexpanded.
  const std::vector<uint8_t> sixteen = [] {
    std::vector<uint8_t> b = makePatternBitmap(20, 3, 24);
    b.resize(54 + 40 * 3);
    b[field::kBitsPerPixel] = 16;
    return b;
  }();
  for (const std::vector<uint8_t>& few : {makePatternBitmap(20, 3, 24), makePatternBitmap(20, 2, 32), sixteen}) {
    std::vector<uint8_t> source = few;
    destination.assign(2 * few.size(), 0xEE);
    EXPECT_EQ(kTooSmall, convertBitmapBuffer(source, destination.data(), destination.size(), given(4)));
    EXPECT_EQ(few, source);
    EXPECT_EQ(std::vector<uint8_t>(2 * few.size(), 0xEE), destination);
  }

  // A destination too small for the result is refused before anything changes.
  std::vector<uint8_t> source = makePatternBitmap(8, 8, 24);
  const std::vector<uint8_t> original = source;
  destination.assign(54 + 12 * 8 - 1, 0xEE);
  EXPECT_EQ(kOutOfMemory, convertBitmapBuffer(source, destination.data(), destination.size(), given(4)));
  EXPECT_EQ(original, source);
}

TEST(MemoryConversion, ColourOptimisationTakesRedFromTheRedViewPixel) {
  // Pure red picture: green = blue = 0, so the red channel becomes black.
  const std::vector<uint8_t> red = makeBitmap(8, 4, 24, [](int32_t, int32_t) { return Pixel{0, 0, 255, 0}; });
  ConversionSettings settings = given(4);
  settings.colourOptimisation = true;
  const MemoryResult r = convertInMemory(red, settings);
  for (size_t i = 54; i < r.out.size(); ++i) ASSERT_EQ(0, r.out[i]) << i;
}

// Header fields the check reads only a byte of, or not at all, as forged
// inputs have them: each result still carries what viewers require.
TEST(ResultHeader, FieldsTheCheckSkipsAreValidInEveryResult) {
  struct Case {
    size_t offset;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {field::kInfoSize, {0, 0, 0, 0}},        {field::kInfoSize, {0xff, 0xff, 0xff, 0xff}},
      {field::kInfoSize, {124, 0, 0, 0}},      {field::kPlanes, {0, 0}},
      {field::kPlanes, {0xff, 0xff}},          {field::kPixelOffset + 1, {1, 0, 0x80}},
      {field::kBitsPerPixel + 1, {1}},         {field::kCompression + 1, {0xff, 0xff, 0xff}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    for (const unsigned bits : {24u, 32u}) {
      std::vector<uint8_t> input = makePatternBitmap(9, 8, bits);
      std::copy(c.bytes.begin(), c.bytes.end(), input.begin() + c.offset);
      const MemoryResult r = convertInMemory(input, given(4));
      ASSERT_EQ(kConverted, r.code) << c.offset;
      EXPECT_EQ("", quarn::testing::bmpResultFault(r.out.data(), r.out.size())) << c.offset;

      writeFile(dir.file("in.bmp"), input);
      RecordingConsole console;
      ASSERT_EQ(kConverted, convertBmpFile(dir.file("in.bmp"), dir.file("out.bmp"), given(4), console));
      const std::vector<uint8_t> out = readFile(dir.file("out.bmp"));
      EXPECT_EQ("", quarn::testing::bmpResultFault(out.data(), out.size())) << c.offset;
      // The fields the format leaves free stay as they were.
      EXPECT_EQ(0, std::memcmp(input.data() + field::kReserved, out.data() + field::kReserved, 4));
      EXPECT_EQ(0, std::memcmp(input.data() + 38, out.data() + 38, 16)) << "resolution and colour counts";
      std::remove(dir.file("out.bmp").c_str());
    }
  }
}

class BmpFile : public ::testing::Test {
 protected:
  ConversionResult convert(const std::vector<uint8_t>& input, const ConversionSettings& settings) {
    writeFile(dir.file("in.bmp"), input);
    return convertBmpFile(dir.file("in.bmp"), dir.file("out.bmp"), settings, console);
  }
  std::vector<uint8_t> output() { return readFile(dir.file("out.bmp")); }

  TempDir dir;
  RecordingConsole console;
};

TEST_F(BmpFile, HundredByFiftyWithDepthTen) {
  const std::vector<uint8_t> input = makePatternBitmap(100, 50, 24);
  ASSERT_EQ(kConverted, convert(input, given(10)));
  EXPECT_EQ(
      " Izpolzvana dulbochina: 10\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
      " Zarejdane & konvertirane .........",
      console.text());
  const std::vector<uint8_t> out = output();
  ASSERT_EQ(13654u, out.size());
  EXPECT_EQ(90, headerWidth(out));
  EXPECT_EQ(50, headerHeight(out));
  EXPECT_EQ(13600u, loadLe32(out.data() + field::kImageSize));
  EXPECT_EQ(13654u, loadLe32(out.data() + field::kFileSize));
  for (int32_t row = 0; row < 50; ++row) {
    for (int32_t x = 0; x < 90; ++x) {
      const uint8_t* o = pixelAt(out, x, row);
      const uint8_t* cyan = pixelAt(input, x, row);
      const uint8_t* red = pixelAt(input, x + 10, row);
      ASSERT_EQ(cyan[0], o[0]);
      ASSERT_EQ(cyan[1], o[1]);
      ASSERT_EQ(red[2], o[2]) << x << "," << row;
    }
    const uint8_t* pad = pixelAt(out, 90, row);
    ASSERT_EQ(0, pad[0] | pad[1]) << "padding of row " << row;
  }
  EXPECT_EQ(input, readFile(dir.file("in.bmp")));
}

TEST_F(BmpFile, NegativeDepthKeepsTheRightColumnsOfTheCyanView) {
  const std::vector<uint8_t> input = makePatternBitmap(100, 50, 24);
  ASSERT_EQ(kConverted, convert(input, given(10, true)));
  EXPECT_EQ(0u, console.text().find(" Izpolzvana dulbochina: -10\n"));
  const std::vector<uint8_t> out = output();
  ASSERT_EQ(13654u, out.size());
  for (int32_t row = 0; row < 50; ++row) {
    for (int32_t x = 0; x < 90; ++x) {
      ASSERT_EQ(pixelAt(input, x + 10, row)[0], pixelAt(out, x, row)[0]);
      ASSERT_EQ(pixelAt(input, x + 10, row)[1], pixelAt(out, x, row)[1]);
      ASSERT_EQ(pixelAt(input, x, row)[2], pixelAt(out, x, row)[2]);
    }
  }
}

TEST_F(BmpFile, DepthIsLimitedToWidthMinusOneAndNotRounded) {
  const std::vector<uint8_t> input = makePatternBitmap(100, 4, 24);
  ASSERT_EQ(kConverted, convert(input, given(500)));
  EXPECT_EQ(0u, console.text().find(" Izpolzvana dulbochina: 99\n"));
  const std::vector<uint8_t> out = output();
  EXPECT_EQ(1, headerWidth(out));
  EXPECT_EQ(pixelAt(input, 99, 0)[2], pixelAt(out, 0, 0)[2]);
  EXPECT_EQ(pixelAt(input, 0, 0)[0], pixelAt(out, 0, 0)[0]);
}

TEST_F(BmpFile, ThreeDPlusDropsExactlyThreeRowsFromSixUp) {
  ConversionSettings settings = given(1);
  settings.plus3D = true;
  const std::vector<uint8_t> six = makePatternBitmap(4, 6, 24);
  ASSERT_EQ(kConverted, convert(six, settings));
  EXPECT_NE(std::string::npos, console.text().find(" Izpolzvane na 3D+: da\n"));
  std::vector<uint8_t> out = output();
  EXPECT_EQ(3, headerHeight(out));
  EXPECT_EQ(pixelAt(six, 1, 3)[2], pixelAt(out, 0, 0)[2]);  // red from (x + 1, row 3)
  EXPECT_EQ(pixelAt(six, 0, 0)[1], pixelAt(out, 0, 0)[1]);

  TempDir other;
  RecordingConsole second;
  writeFile(other.file("in.bmp"), makePatternBitmap(4, 5, 24));
  ASSERT_EQ(kConverted, convertBmpFile(other.file("in.bmp"), other.file("out.bmp"), settings, second));
  EXPECT_NE(std::string::npos, second.text().find(" Izpolzvane na 3D+: ne\n"));
  EXPECT_EQ(5, headerHeight(readFile(other.file("out.bmp"))));
}

TEST_F(BmpFile, SixteenBitWithMasksBecomesTwentyFourBitKeepingTheMasks) {
  std::vector<uint8_t> b(66 + 4 * 2, 0);  // 2 x 2 pixels: 4 bytes per 16-bit row
  writeBitmapHeader(b.data(), 2, 2, 16);
  b[10] = 66;
  b[30] = 3;
  storeLe32(b.data() + 54, 0xF800);
  storeLe32(b.data() + 58, 0x07E0);
  storeLe32(b.data() + 62, 0x001F);
  storeLe16(b.data() + 66, 0xFFFF);
  ASSERT_EQ(kConverted, convert(b, given(0)));
  const std::vector<uint8_t> out = output();
  EXPECT_EQ(24, out[28]);
  EXPECT_EQ(0, out[30]);
  EXPECT_EQ(66, out[10]);
  EXPECT_EQ(0, std::memcmp(out.data() + 54, b.data() + 54, 12));
  EXPECT_EQ(66u + 8 * 2, out.size());
  EXPECT_EQ((std::vector<uint8_t>{248, 252, 248}), std::vector<uint8_t>(out.begin() + 66, out.begin() + 69));
}

TEST_F(BmpFile, HeaderErrorsComeBeforeAnyLine) {
  std::vector<uint8_t> eight = makePatternBitmap(4, 4, 24);
  eight[28] = 8;
  EXPECT_EQ(kUnsupportedBitDepth, convert(eight, given(1)));
  EXPECT_EQ("", console.text());
  EXPECT_EQ(kInputNotFound, convertBmpFile(dir.file("none.bmp"), dir.file("out.bmp"), given(1), console));
  EXPECT_EQ((std::vector<std::string>{"in.bmp"}), dir.list());
}

TEST_F(BmpFile, AnExistingOutputIsNeverReplaced) {
  writeFile(dir.file("out.bmp"), {'k', 'e', 'e', 'p'});
  EXPECT_EQ(kOutputExists, convert(makePatternBitmap(4, 4, 24), given(1)));
  EXPECT_EQ((std::vector<uint8_t>{'k', 'e', 'e', 'p'}), output());
  EXPECT_NE(std::string::npos, console.text().find(" Zarejdane & konvertirane ........."));
  ASSERT_EQ(0, symlink("/nonexistent/target", dir.file("link.bmp").c_str()));
  EXPECT_EQ(kOutputExists, convertBmpFile(dir.file("in.bmp"), dir.file("link.bmp"), given(1), console));
}

TEST_F(BmpFile, AnOutputThatCannotBeCreated) {
  writeFile(dir.file("in.bmp"), makePatternBitmap(4, 4, 24));
  EXPECT_EQ(kCannotCreateOutput,
            convertBmpFile(dir.file("in.bmp"), dir.file("no/such/dir/out.bmp"), given(1), console));
  EXPECT_EQ(kCannotCreateOutput,
            convertBmpFile(dir.file("in.bmp"), dir.file(std::string(300, 'n') + ".bmp"), given(1), console));
}
