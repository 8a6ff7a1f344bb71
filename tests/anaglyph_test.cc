#include "engine/anaglyph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/anaglyph_kernels.h"
#include "support/optimise_colours.h"

using namespace quarn::engine;
using quarn::testing::optimiseColours;

namespace {

// Each variant's column, written out step by step from the rounding rules.
int plainColumn(int g, int b) {
  double weighted = 0.7 * g + 0.3 * b;
  float w = static_cast<float>(weighted);
  float scaled = static_cast<float>(static_cast<double>(w) / 255.0);
  double exponent = static_cast<double>(static_cast<float>(2.0 / 3.0));
  float power = static_cast<float>(std::pow(static_cast<double>(scaled), exponent));
  float v = static_cast<float>(static_cast<double>(power) * 255.0);
  double whole = std::floor(static_cast<double>(v));
  double fraction = static_cast<double>(v) - whole;
  int r = static_cast<int>(whole) + (fraction > 0.49 ? 1 : 0);
  return std::min(r, 255);
}

int sse2Column(int g, int b) {
  double v = std::pow((0.3 * b + 0.7 * g) * (1.0 / 255.0), 2.0 / 3.0) * 255.0;
  double r = std::nearbyint(v);
  return std::min(static_cast<int>(r), 255);
}

int mmxColumn(int g, int b) {
  float cg = 0.7f, cb = 0.3f;  // the single-precision constants
  float sum = cg * static_cast<float>(g) + cb * static_cast<float>(b);
  float scaled = sum * (1.0f / 255.0f);
  float power = static_cast<float>(std::pow(static_cast<double>(scaled), static_cast<double>(2.0f / 3.0f)));
  float v = power * 255.0f;
  return std::min(static_cast<int>(std::trunc(v)), 255);
}

ConversionState stateFor(int32_t width, int32_t height, unsigned p) {
  ConversionState s;
  s.pixelOffset = 54;
  s.width = width;
  s.sourceHeight = height;
  s.height = height;
  s.bytesPerPixel = p;
  return s;
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

}  // namespace

TEST(OptimisedRed, GivesTheKnownValues) {
  struct Case {
    int g, b, plain, sse2, mmx;
  } cases[] = {{128, 128, 161, 161, 161}, {1, 0, 5, 5, 4}, {0, 91, 58, 57, 57}, {255, 0, 201, 201, 201},
               {0, 255, 114, 114, 114},   {0, 0, 0, 0, 0},  {255, 255, 255, 255, 255}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.plain, optimisedRed(OptimisationVariant::kPlain, 0, c.g, c.b)) << c.g << "," << c.b;
    EXPECT_EQ(c.sse2, optimisedRed(OptimisationVariant::kSse2, 0, c.g, c.b)) << c.g << "," << c.b;
    EXPECT_EQ(c.mmx, optimisedRed(OptimisationVariant::kMmx3DNow, 0, c.g, c.b)) << c.g << "," << c.b;
  }
}

TEST(OptimisedRed, EveryTableMatchesItsColumnForAllPairs) {
  const uint8_t* plain = optimisedRedTable(OptimisationVariant::kPlain);
  const uint8_t* sse2 = optimisedRedTable(OptimisationVariant::kSse2);
  const uint8_t* mmx = optimisedRedTable(OptimisationVariant::kMmx3DNow);
  int mmxLower = 0, plainHigher = 0;
  for (int g = 0; g < 256; ++g) {
    for (int b = 0; b < 256; ++b) {
      const int i = g * 256 + b;
      ASSERT_EQ(plainColumn(g, b), plain[i]) << g << "," << b;
      ASSERT_EQ(sse2Column(g, b), sse2[i]) << g << "," << b;
      ASSERT_EQ(mmxColumn(g, b), mmx[i]) << g << "," << b;
      ASSERT_EQ(plain[i], optimisedRed(OptimisationVariant::kPlain, 77, g, b));
      ASSERT_LE(std::abs(plain[i] - sse2[i]), 1);
      ASSERT_LE(std::abs(mmx[i] - sse2[i]), 1);
      mmxLower += mmx[i] < sse2[i];
      plainHigher += plain[i] > sse2[i];
    }
  }
  // About half of all inputs, and a few hundred.
  EXPECT_GT(mmxLower, 20000);
  EXPECT_LT(mmxLower, 45000);
  EXPECT_GT(plainHigher, 50);
  EXPECT_LT(plainHigher, 2000);
}

TEST(OptimiseColours, ChangesOnlyRedAndSkipsPadding) {
  for (unsigned bpp : {24u, 32u}) {
    const int32_t w = 5, h = 3;
    const size_t stride = rowStride(w, bpp / 8);
    std::vector<uint8_t> buf = randomBytes(54 + stride * h, bpp);
    std::vector<uint8_t> ref = buf;
    optimiseColours(buf.data(), w, h, 54, bpp, OptimisationVariant::kSse2);
    reference::optimiseColours(ref.data(), w, h, 54, bpp, OptimisationVariant::kSse2);
    EXPECT_EQ(ref, buf);
    const uint8_t* px = buf.data() + 54 + stride;  // row 1, pixel 0
    EXPECT_EQ(optimisedRed(OptimisationVariant::kSse2, 0, px[1], px[0]), px[2]);
  }
}

TEST(Kernels, FastShiftMatchesPlainForEveryWidthAndOffset) {
  const kernels::Kernels* sse2 = kernels::sse2Kernels();
  if (sse2 == nullptr) GTEST_SKIP() << "no SSE2 form in this build";
  for (unsigned p : {3u, 4u}) {
    for (size_t pixels = 0; pixels <= 64; ++pixels) {
      for (size_t distance = 0; distance <= 20; distance += (distance < 4 ? 1 : 7)) {
        for (size_t start = 0; start < 3; ++start) {
          const std::vector<uint8_t> original = randomBytes((pixels + distance) * p + 64, uint32_t(pixels * 31 + distance));
          for (bool backward : {false, true}) {
            std::vector<uint8_t> a = original, b = original;
            // Forward: dst before src (positive depth); backward: dst after src.
            const size_t dst = start + (backward ? distance * p : 0);
            const size_t src = start + (backward ? 0 : distance * p);
            kernels::plainKernels().moveRed(a.data() + dst, a.data() + src, pixels, p);
            sse2->moveRed(b.data() + dst, b.data() + src, pixels, p);
            ASSERT_EQ(a, b) << "p " << p << " pixels " << pixels << " distance " << distance << " start " << start
                            << (backward ? " backward" : " forward");
          }
        }
      }
    }
  }
}

TEST(Kernels, FastShiftFromAnotherRowLeavesTheSourceRowAlone) {
  const kernels::Kernels* sse2 = kernels::sse2Kernels();
  if (sse2 == nullptr) GTEST_SKIP() << "no SSE2 form in this build";
  for (size_t pixels = 0; pixels <= 64; ++pixels) {
    const std::vector<uint8_t> source = randomBytes(pixels * 3 + 8, 7);
    std::vector<uint8_t> a = randomBytes(pixels * 3 + 8, 9), b = a;
    kernels::plainKernels().moveRed(a.data(), source.data(), pixels, 3);
    std::vector<uint8_t> copy = source;
    sse2->moveRed(b.data(), copy.data(), pixels, 3);
    ASSERT_EQ(a, b) << pixels;
    ASSERT_EQ(source, copy);
  }
}

TEST(ShiftRedView, MatchesTheOneByteReferenceOnWholeImages) {
  for (unsigned p : {3u, 4u}) {
    for (int32_t width : {2, 3, 5, 17, 33, 64, 101}) {
      for (bool negative : {false, true}) {
        for (int32_t v : {0, 3}) {
          ConversionState s = stateFor(width, 9, p);
          s.effectiveDepth = width / 3;
          s.outputWidth = width - s.effectiveDepth;
          s.height = 9 - v;
          s.verticalOffset = negative ? 0 : v;
          std::vector<uint8_t> a = randomBytes(54 + sourceStride(s) * 9, uint32_t(width));
          std::vector<uint8_t> b = a;
          shiftRedView(a.data(), s, negative);
          reference::shiftRedView(b.data(), s, negative);
          ASSERT_EQ(b, a) << "p " << p << " width " << width << (negative ? " negative" : "") << " v " << v;
        }
      }
    }
  }
}

TEST(Kernels, FastOptimisedRedMatchesPlainForEveryWidthAndOverlap) {
  const kernels::Kernels& fast = kernels::activeKernels();
  const uint8_t* table = optimisedRedTable(OptimisationVariant::kPlain);
  for (unsigned p : {3u, 4u}) {
    for (size_t pixels = 0; pixels <= 64; ++pixels) {
      for (size_t distance : {0, 1, 2, 5, 9}) {
        const std::vector<uint8_t> original = randomBytes((pixels + distance) * p + 16, uint32_t(pixels + 100 * p));
        for (bool backward : {false, true}) {
          std::vector<uint8_t> a = original, b = original;
          const size_t dst = backward ? distance * p : 0, src = backward ? 0 : distance * p;
          kernels::plainKernels().moveOptimisedRed(a.data() + dst, a.data() + src, pixels, p, table);
          fast.moveOptimisedRed(b.data() + dst, b.data() + src, pixels, p, table);
          ASSERT_EQ(a, b) << "p " << p << " pixels " << pixels << " distance " << distance;
        }
      }
    }
  }
}

TEST(ShiftOptimisedRedView, GivesTheOutputOfOptimisingThenShifting) {
  for (OptimisationVariant variant : {OptimisationVariant::kPlain, OptimisationVariant::kSse2,
                                      OptimisationVariant::kMmx3DNow}) {
    for (unsigned p : {3u, 4u}) {
      for (int32_t width : {2, 5, 19, 40}) {
        for (bool negative : {false, true}) {
          ConversionState s = stateFor(width, 8, p);
          s.effectiveDepth = width / 2;
          s.outputWidth = width - s.effectiveDepth;
          s.height = 5;
          s.verticalOffset = negative ? 0 : 3;
          std::vector<uint8_t> fused = randomBytes(54 + sourceStride(s) * 8, uint32_t(width * p));
          std::vector<uint8_t> stepwise = fused;
          shiftOptimisedRedView(fused.data(), s, negative, variant);
          reference::optimiseColours(stepwise.data(), width, 8, 54, p * 8, variant);
          reference::shiftRedView(stepwise.data(), s, negative);
          std::vector<uint8_t> a(outputSize(s)), b(outputSize(s));
          copyOutputRows(fused.data(), a.data(), s, negative);
          copyOutputRows(stepwise.data(), b.data(), s, negative);
          ASSERT_EQ(b, a) << "p " << p << " width " << width << (negative ? " negative" : "");
        }
      }
    }
  }
}

TEST(ShiftRedView, FourPixelRowWithDepthOne) {
  // Reds 10, 20, 30, 40; blue = column, green = 100 + column.
  for (bool negative : {false, true}) {
    ConversionState s = stateFor(4, 1, 3);
    s.effectiveDepth = 1;
    s.outputWidth = 3;
    std::vector<uint8_t> buf(54 + 12);
    for (int x = 0; x < 4; ++x) {
      buf[54 + 3 * x] = uint8_t(x);
      buf[54 + 3 * x + 1] = uint8_t(100 + x);
      buf[54 + 3 * x + 2] = uint8_t(10 * (x + 1));
    }
    shiftRedView(buf.data(), s, negative);
    std::vector<uint8_t> out(12, 0xEE);
    copyOutputRows(buf.data(), out.data(), s, negative);
    const std::vector<uint8_t> want = negative ? std::vector<uint8_t>{1, 101, 10, 2, 102, 20, 3, 103, 30, 0, 0, 0}
                                               : std::vector<uint8_t>{0, 100, 20, 1, 101, 30, 2, 102, 40, 0, 0, 0};
    EXPECT_EQ(want, out) << (negative ? "negative" : "positive");
  }
}

TEST(ShiftRedView, ThreeDPlusTakesRedFromHigherRowsOnlyForPositiveDepth) {
  ConversionState s = stateFor(3, 6, 3);
  s.effectiveDepth = 1;
  s.outputWidth = 2;
  s.height = 3;
  s.verticalOffset = 3;
  const size_t stride = sourceStride(s);
  std::vector<uint8_t> buf(54 + stride * 6);
  for (int r = 0; r < 6; ++r) {
    for (int x = 0; x < 3; ++x) buf[54 + r * stride + 3 * x + 2] = uint8_t(r * 10 + x);
  }
  shiftRedView(buf.data(), s, false);
  EXPECT_EQ(31, buf[54 + 2]);              // row 0, x 0: red of (1, 3)
  EXPECT_EQ(32, buf[54 + 3 + 2]);          // row 0, x 1: red of (2, 3)
  EXPECT_EQ(52, buf[54 + 2 * stride + 5]); // row 2, x 1: red of (2, 5)
}

TEST(CopyOutputRows, PadsWithZerosAndCompactsInPlace) {
  // 5 pixels of 3 bytes: 1 pad byte; 3 output pixels: 3 pad bytes.
  ConversionState s = stateFor(5, 2, 3);
  s.effectiveDepth = 2;
  s.outputWidth = 3;
  std::vector<uint8_t> buf = randomBytes(54 + 16 * 2, 3);
  std::vector<uint8_t> separate(24, 0xEE);
  copyOutputRows(buf.data(), separate.data(), s, false);
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(0, std::memcmp(separate.data() + 12 * r, buf.data() + 54 + 16 * r, 9));
    EXPECT_EQ(0, separate[12 * r + 9] | separate[12 * r + 10] | separate[12 * r + 11]);
  }
  copyOutputRows(buf.data(), buf.data() + 54, s, false);
  EXPECT_EQ(0, std::memcmp(separate.data(), buf.data() + 54, 24));
}

TEST(Unpack, FiveFiveFiveAndFiveSixFive) {
  uint8_t px[3];
  unpack555(0xFF, 0x7F, px);
  EXPECT_EQ((std::vector<uint8_t>{248, 248, 248}), std::vector<uint8_t>(px, px + 3));
  unpack555(0xFF, 0xFF, px);
  EXPECT_EQ((std::vector<uint8_t>{248, 248, 248}), std::vector<uint8_t>(px, px + 3));
  unpack565(0xFF, 0xFF, 0, 0, 0, px);
  EXPECT_EQ((std::vector<uint8_t>{248, 252, 248}), std::vector<uint8_t>(px, px + 3));
  unpack565(0x00, 0xF8, 0, 0, 0, px);
  EXPECT_EQ((std::vector<uint8_t>{0, 0, 248}), std::vector<uint8_t>(px, px + 3));
  // Standard masks give the unmasked result for every value.
  for (unsigned w = 0; w < 65536; ++w) {
    uint8_t a[3], b[3];
    unpack565(uint8_t(w), uint8_t(w >> 8), 0, 0, 0, a);
    unpack565(uint8_t(w), uint8_t(w >> 8), 0xF800, 0x07E0, 0x001F, b);
    ASSERT_EQ(0, std::memcmp(a, b, 3)) << w;
  }
  // 5-5-5 masks on a 5-6-5 image only clear bits at the 5-6-5 positions.
  unpack565(0xFF, 0xFF, 0x7C00, 0x03E0, 0x001F, px);
  EXPECT_EQ((std::vector<uint8_t>{248, 124, 120}), std::vector<uint8_t>(px, px + 3));
}

TEST(ExpandTo24Bit, RewritesTheHeaderAndPadsRows) {
  // 3 x 2 pixels, 5-6-5 with masks at 54..65: 16-bit rows of 6 + 2 bytes.
  ConversionState s = stateFor(3, 2, 2);
  s.pixelOffset = 66;
  s.redMask = 0xF800;
  s.greenMask = 0x07E0;
  s.blueMask = 0x001F;
  std::vector<uint8_t> src(66 + 8 * 2, 0);
  src[0] = 'B';
  src[1] = 'M';
  src[28] = 16;
  src[30] = 3;
  for (int i = 54; i < 66; ++i) src[i] = uint8_t(i);
  src[66] = 0xFF;  // pixel (0,0) = 0xFFFF
  src[67] = 0xFF;
  src[66 + 8] = 0x1F;  // pixel (0,1) = 0x001F, pure blue
  BitmapBuffer out;
  ASSERT_TRUE(expandTo24Bit(src.data(), s, 3, out));
  ASSERT_EQ(66u + 12 * 2, out.size());
  EXPECT_EQ(24, out[28]);
  EXPECT_EQ(0, out[30]);
  EXPECT_EQ(66u + 24, loadLe32(out.data() + 2));
  EXPECT_EQ(24u, loadLe32(out.data() + 34));
  for (int i = 54; i < 66; ++i) EXPECT_EQ(i, out[i]);
  EXPECT_EQ((std::vector<uint8_t>{248, 252, 248, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
            std::vector<uint8_t>(out.begin() + 66, out.begin() + 78));
  EXPECT_EQ(248, out[78]);
  EXPECT_EQ(0, out[79] | out[80]);
}
