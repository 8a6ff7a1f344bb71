// The PNG decoder: pixels against libpng for every supported format, the
// transparency rules, the chunk rules, and damaged files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "codecs/png_decoder.h"
#include "support/png_fixture.h"
#include "support/reference_inflater.h"
#include "support/temp_dir.h"

using quarn::codecs::PngDecodeResult;
using quarn::codecs::SinkAnswer;
using quarn::codecs::VkGenericPngDecoder;
using quarn::codecs::VkRawPngDecoder;
using namespace quarn::testing;

namespace {

struct Decoded {
  PngDecodeResult result = PngDecodeResult::kUnreadable;
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
  std::string console;
};

Decoded decode(const std::vector<uint8_t>& file) {
  quarn::platform::RecordingConsole console;
  VkRawPngDecoder d(console);
  Decoded r;
  r.result = d.DecodeMemory(file.data(), file.size());
  r.width = d.outWidth();
  r.height = d.outHeight();
  if (d.pixels() != nullptr) r.rgba.assign(d.pixels(), d.pixels() + size_t(r.width) * r.height * 4);
  r.console = console.text();
  return r;
}

struct Rgba {
  uint8_t r, g, b, a;
  bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Rgba& p) {
  return o << int(p.r) << "," << int(p.g) << "," << int(p.b) << "," << int(p.a);
}
Rgba pixelAt(const std::vector<uint8_t>& rgba, size_t i) { return {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]}; }

// This decoder's alpha: a 1-bit grey pixel is always transparent, palette
// indices are matched against the first tRNS bytes; the rest as libpng.
uint8_t expectedAlpha(const PngPicture& p, size_t i, const std::vector<uint8_t>& trns, uint8_t libpngAlpha) {
  const uint16_t* s = p.samples.data() + i * p.channels();
  switch (p.colourType) {
    case 0:
      if (p.bitDepth == 1) return 0;
      return trns.size() >= 2 && s[0] == ((trns[0] << 8) | trns[1]) ? 0 : 255;
    case 2:
      return trns.size() >= 6 && s[0] == ((trns[0] << 8) | trns[1]) && s[1] == ((trns[2] << 8) | trns[3]) &&
                     s[2] == ((trns[4] << 8) | trns[5])
                 ? 0
                 : 255;
    case 3:
      for (size_t k = 0; k < std::min<size_t>(3, trns.size()); ++k)
        if (s[0] == trns[k]) return 0;
      return 255;
    default:
      return libpngAlpha;
  }
}

void expectLikeLibpng(const PngPicture& p, const PngOptions& o, const std::string& what) {
  const std::vector<uint8_t> file = encodePng(p, o);
  const LibpngImage lib = decodeWithLibpng(file);
  ASSERT_TRUE(lib.ok) << what;
  const Decoded ours = decode(file);
  ASSERT_EQ(PngDecodeResult::kDecoded, ours.result) << what;
  ASSERT_EQ(int32_t(p.width), ours.width) << what;
  ASSERT_EQ(int32_t(p.height), ours.height) << what;
  for (size_t i = 0; i < size_t{p.width} * p.height; ++i) {
    Rgba want = pixelAt(lib.rgba, i);
    want.a = expectedAlpha(p, i, o.transparency, want.a);
    ASSERT_EQ(want, pixelAt(ours.rgba, i)) << what << ", pixel " << i % p.width << "," << i / p.width;
  }
}

struct Format {
  uint8_t colourType, bitDepth;
};
const Format kFormats[] = {{0, 1}, {0, 8}, {2, 8}, {2, 16}, {3, 4}, {3, 8}, {4, 8}, {6, 8}};

// A palette of 2^depth entries and, for keyed formats, a tRNS naming colours
// the picture has.
PngOptions optionsFor(const PngPicture& p, uint32_t seed) {
  PngOptions o;
  std::mt19937 rng(seed);
  if (p.colourType == 3) {
    o.palette.resize(3u << p.bitDepth);
    for (uint8_t& b : o.palette) b = uint8_t(rng());
  }
  const uint16_t* first = p.samples.data();
  if (seed % 2 == 0 && !p.samples.empty()) {
    if (p.colourType == 0 && p.bitDepth == 8) o.transparency = {0, uint8_t(first[0])};
    if (p.colourType == 2) {
      for (int c = 0; c < 3; ++c) {
        o.transparency.push_back(uint8_t(first[c] >> 8));
        o.transparency.push_back(uint8_t(first[c]));
      }
    }
    if (p.colourType == 3) o.transparency = {uint8_t(first[0]), 1};
  }
  o.gamma = seed % 3 == 0;
  return o;
}

}  // namespace

TEST(PngDecoder, EveryFormatMatchesLibpngAtEveryCompressionAndFilter) {
  struct Size {
    uint32_t w, h;
  };
  const Size sizes[] = {{1, 1}, {1, 9}, {9, 1}, {13, 11}, {40, 17}};
  struct Compression {
    int level, strategy;
  };
  const Compression compressions[] = {{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY},
                                      {9, Z_DEFAULT_STRATEGY}, {6, Z_FIXED}};
  uint32_t seed = 1;
  for (const Format& f : kFormats) {
    for (bool adam7 : {false, true}) {
      for (const Size& s : sizes) {
        const PngPicture p = randomPicture(s.w, s.h, f.colourType, f.bitDepth, adam7, ++seed);
        for (const Compression& c : compressions) {
          for (int filter : {kFilterByRow, kFilterRandomly, 0, 1, 2, 3, 4}) {
            PngOptions o = optionsFor(p, seed + filter);
            o.level = c.level;
            o.strategy = c.strategy;
            o.filter = filter;
            o.idatSize = 1 + seed % 50;
            expectLikeLibpng(p, o,
                             "type " + std::to_string(f.colourType) + "/" + std::to_string(f.bitDepth) +
                                 (adam7 ? " adam7 " : " plain ") + std::to_string(s.w) + "x" + std::to_string(s.h) +
                                 " level " + std::to_string(c.level) + " strategy " + std::to_string(c.strategy) +
                                 " filter " + std::to_string(filter));
          }
        }
      }
    }
  }
}

TEST(PngDecoder, ALargerPictureMatchesLibpngBothLayouts) {
  for (const Format& f : kFormats) {
    for (bool adam7 : {false, true}) {
      const PngPicture p = randomPicture(301, 77, f.colourType, f.bitDepth, adam7, 5);
      PngOptions o = optionsFor(p, 4);
      o.filter = kFilterRandomly;
      expectLikeLibpng(p, o, "301x77 type " + std::to_string(f.colourType) + "/" + std::to_string(f.bitDepth));
    }
  }
}

TEST(PngDecoder, OneByteAtATimeGivesTheSamePixelsAndStopsAfterTheLastScanline) {
  for (const Format& f : kFormats) {
    for (bool adam7 : {false, true}) {
      const PngPicture p = randomPicture(23, 9, f.colourType, f.bitDepth, adam7, 11);
      const PngOptions o = optionsFor(p, 2);
      const Decoded whole = decode(encodePng(p, o));

      // The same file without its image data prepares the store; then the
      // scanlines go in one byte per call.
      std::vector<uint8_t> file = pngSignature();
      for (const auto& c : {pngChunk("IHDR", ihdrData(p.width, p.height, p.bitDepth, p.colourType, adam7)),
                            pngChunk("PLTE", o.palette.empty() ? std::vector<uint8_t>{} : o.palette),
                            pngChunk("tRNS", o.transparency), pngChunk("IEND", {})}) {
        file.insert(file.end(), c.begin(), c.end());
      }
      quarn::platform::RecordingConsole console;
      VkRawPngDecoder d(console);
      ASSERT_EQ(PngDecodeResult::kDecoded, d.DecodeMemory(file.data(), file.size()));
      const std::vector<uint8_t> lines = filteredScanlines(p, kFilterByRow);
      for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(SinkAnswer::kMore, d.PutByte(lines[i])) << i;
      EXPECT_EQ(SinkAnswer::kStop, d.PutByte(0));
      EXPECT_EQ(0u, d.PutBytes(lines.data(), lines.size()));
      const std::vector<uint8_t> got(d.pixels(), d.pixels() + whole.rgba.size());
      EXPECT_TRUE(whole.rgba == got) << int(f.colourType) << "/" << int(f.bitDepth) << " adam7 " << adam7;
    }
  }
}

TEST(PngDecoder, AOnePixelAdam7PictureCarriesOnlyPassOne) {
  PngPicture p = randomPicture(1, 1, 2, 8, true, 3);
  p.samples = {10, 20, 30};
  // One filter byte and three samples: nothing for passes 2 to 7.
  EXPECT_EQ(4u, filteredScanlines(p, 0).size());
  const Decoded d = decode(encodePng(p));
  EXPECT_EQ((std::vector<uint8_t>{10, 20, 30, 255}), d.rgba);
}

TEST(PngDecoder, OneBitGreyIsTransparentAndIgnoresPaddingBits) {
  // Width 10: the second byte's six low bits are padding, set on purpose.
  std::vector<uint8_t> raw = {0, 0b10110000, 0b01111111};
  std::vector<uint8_t> file = pngSignature();
  for (const auto& c : {pngChunk("IHDR", ihdrData(10, 1, 1, 0)), pngChunk("IDAT", zlibCompress(raw, 9)),
                        pngChunk("IEND", {})}) {
    file.insert(file.end(), c.begin(), c.end());
  }
  const Decoded d = decode(file);
  const uint8_t bits[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 10; ++x) {
    const uint8_t v = bits[x] ? 255 : 0;
    EXPECT_EQ((Rgba{v, v, v, 0}), pixelAt(d.rgba, x)) << x;
  }
}

// A file of one chunk list with the given raw scanlines.
std::vector<uint8_t> fileWith(const std::vector<std::vector<uint8_t>>& chunksBeforeData, const std::vector<uint8_t>& raw,
                              int level = 6) {
  std::vector<uint8_t> file = pngSignature();
  for (const auto& c : chunksBeforeData) file.insert(file.end(), c.begin(), c.end());
  for (const auto& c : {pngChunk("IDAT", zlibCompress(raw, level)), pngChunk("IEND", {})}) {
    file.insert(file.end(), c.begin(), c.end());
  }
  return file;
}

TEST(PngDecoder, PaletteRulesOfThisDecoder) {
  const std::vector<uint8_t> palette = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  // 4-bit, odd width: the last byte's low nibble (an index out of range
  // here) is ignored. Index 3 is out of range and leaves 0, 0, 0, 0.
  const Decoded four = decode(fileWith({pngChunk("IHDR", ihdrData(3, 1, 4, 3)), pngChunk("PLTE", palette)},
                                       {0, 0x12, 0x3F}));
  EXPECT_EQ((Rgba{4, 5, 6, 255}), pixelAt(four.rgba, 0));
  EXPECT_EQ((Rgba{7, 8, 9, 255}), pixelAt(four.rgba, 1));
  EXPECT_EQ((Rgba{0, 0, 0, 0}), pixelAt(four.rgba, 2));

  // tRNS bytes are indices to make transparent, not alpha values.
  const std::vector<uint8_t> raw = {0, 0, 1, 2, 255};
  std::vector<uint8_t> big(256 * 3, 50);
  const Decoded zero = decode(fileWith({pngChunk("IHDR", ihdrData(4, 1, 8, 3)), pngChunk("PLTE", big),
                                        pngChunk("tRNS", {0})}, raw));
  EXPECT_EQ((std::vector<uint8_t>{0, 255, 255, 255}), (std::vector<uint8_t>{zero.rgba[3], zero.rgba[7], zero.rgba[11], zero.rgba[15]}));
  const Decoded three = decode(fileWith({pngChunk("IHDR", ihdrData(4, 1, 8, 3)), pngChunk("PLTE", big),
                                         pngChunk("tRNS", {255, 255, 0})}, raw));
  EXPECT_EQ((std::vector<uint8_t>{0, 255, 255, 0}), (std::vector<uint8_t>{three.rgba[3], three.rgba[7], three.rgba[11], three.rgba[15]}));

  // A second PLTE replaces the first; more than 256 entries are kept whole.
  quarn::platform::RecordingConsole console;
  VkRawPngDecoder d(console);
  const std::vector<uint8_t> file = fileWith({pngChunk("IHDR", ihdrData(1, 1, 8, 3)), pngChunk("PLTE", palette),
                                              pngChunk("PLTE", std::vector<uint8_t>(300 * 3, 77))}, {0, 0});
  ASSERT_EQ(PngDecodeResult::kDecoded, d.DecodeMemory(file.data(), file.size()));
  EXPECT_EQ(300u, d.paletteCount());
  EXPECT_EQ((std::vector<uint8_t>{77, 77, 77, 255}), std::vector<uint8_t>(d.pixels(), d.pixels() + 4));

  // A palette length that is not a multiple of 3 refuses the file.
  const Decoded bad = decode(fileWith({pngChunk("IHDR", ihdrData(1, 1, 8, 3)), pngChunk("PLTE", {1, 2, 3, 4})}, {0, 0}));
  EXPECT_EQ(PngDecodeResult::kNotPng, bad.result);
  EXPECT_TRUE(bad.rgba.empty());
}

TEST(PngDecoder, ColourKeysCompareWholeSamples) {
  // Grey 8 with key 0: exactly the black pixels are transparent.
  const Decoded grey = decode(fileWith({pngChunk("IHDR", ihdrData(3, 1, 8, 0)), pngChunk("tRNS", {0, 0})}, {0, 0, 1, 0}));
  EXPECT_EQ((Rgba{0, 0, 0, 0}), pixelAt(grey.rgba, 0));
  EXPECT_EQ((Rgba{1, 1, 1, 255}), pixelAt(grey.rgba, 1));
  EXPECT_EQ((Rgba{0, 0, 0, 0}), pixelAt(grey.rgba, 2));

  // RGB 8, key magenta.
  const Decoded rgb = decode(fileWith({pngChunk("IHDR", ihdrData(2, 1, 8, 2)), pngChunk("tRNS", {0, 255, 0, 0, 0, 255})},
                                      {0, 255, 0, 255, 255, 1, 255}));
  EXPECT_EQ((Rgba{255, 0, 255, 0}), pixelAt(rgb.rgba, 0));
  EXPECT_EQ((Rgba{255, 1, 255, 255}), pixelAt(rgb.rgba, 1));

  // RGB 16: equal high bytes are not enough, in both layouts.
  for (uint8_t interlace : {0, 1}) {
    const Decoded wide = decode(fileWith({pngChunk("IHDR", ihdrData(2, 1, 16, 2, interlace)),
                                          pngChunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC})},
                                         interlace ? std::vector<uint8_t>{0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0,
                                                                          0x12, 0x35, 0x56, 0x78, 0x9A, 0xBC}
                                                   : std::vector<uint8_t>{0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC,
                                                                          0x12, 0x35, 0x56, 0x78, 0x9A, 0xBC}));
    EXPECT_EQ((Rgba{0x12, 0x56, 0x9A, 0}), pixelAt(wide.rgba, 0)) << int(interlace);
    EXPECT_EQ((Rgba{0x12, 0x56, 0x9A, 255}), pixelAt(wide.rgba, 1)) << int(interlace);
  }

  // tRNS before IHDR is read as grey (the colour type of a fresh decoder):
  // its 16-bit value 2 then names palette index 2.
  const Decoded early = decode(fileWith({pngChunk("tRNS", {0, 2}), pngChunk("IHDR", ihdrData(3, 1, 8, 3)),
                                         pngChunk("PLTE", std::vector<uint8_t>(9, 9))},
                                        {0, 0, 1, 2}));
  EXPECT_EQ((std::vector<uint8_t>{255, 255, 0}), (std::vector<uint8_t>{early.rgba[3], early.rgba[7], early.rgba[11]}));
}

TEST(PngDecoder, ChunkRules) {
  const PngPicture p = randomPicture(6, 5, 2, 8, false, 8);
  PngOptions o;
  const Decoded plain = decode(encodePng(p, o));
  // gAMA is stored, never applied.
  o.gamma = true;
  const std::vector<uint8_t> withGamma = encodePng(p, o);
  EXPECT_EQ(plain.rgba, decode(withGamma).rgba);
  quarn::platform::RecordingConsole console;
  VkRawPngDecoder d(console);
  d.DecodeMemory(withGamma.data(), withGamma.size());
  EXPECT_EQ(45455u, d.gamma());

  // Chunk names are matched with their case; an unknown one is skipped.
  std::vector<uint8_t> renamed = encodePng(p);
  renamed[8 + 25 + 4] = 'i';  // the first IDAT becomes "iDAT"
  EXPECT_EQ(std::vector<uint8_t>(6 * 5 * 4, 0), decode(renamed).rgba);

  // Nothing after IEND is read; a file without IEND decodes what it has.
  std::vector<uint8_t> early = pngSignature();
  for (const auto& c : {pngChunk("IHDR", ihdrData(6, 5, 8, 2)), pngChunk("IEND", {})}) early.insert(early.end(), c.begin(), c.end());
  const std::vector<uint8_t> rest = encodePng(p);
  early.insert(early.end(), rest.begin() + 8 + 25, rest.end());
  EXPECT_EQ(std::vector<uint8_t>(6 * 5 * 4, 0), decode(early).rgba);
  std::vector<uint8_t> noEnd = encodePng(p);
  noEnd.resize(noEnd.size() - 12);
  EXPECT_EQ(plain.rgba, decode(noEnd).rgba);

  // IHDR shorter than 13 bytes is ignored: no header, nothing prepared.
  std::vector<uint8_t> header = ihdrData(6, 5, 8, 2);
  header.pop_back();
  const Decoded shortHeader = decode(fileWith({pngChunk("IHDR", header)}, {0}));
  EXPECT_EQ(PngDecodeResult::kDecoded, shortHeader.result);
  EXPECT_EQ(0, shortHeader.width);
}

TEST(PngDecoder, RefusedFilesAndPictures) {
  EXPECT_EQ(PngDecodeResult::kNotPng, decode({}).result);
  EXPECT_EQ(PngDecodeResult::kNotPng, decode({137, 80, 78, 71, 13, 10, 26}).result);
  EXPECT_EQ(PngDecodeResult::kNotPng, decode({137, 80, 78, 71, 13, 10, 26, 11}).result);
  EXPECT_EQ(PngDecodeResult::kDecoded, decode(pngSignature()).result);

  quarn::platform::RecordingConsole console;
  VkRawPngDecoder d(console);
  TempDir dir;
  EXPECT_EQ(PngDecodeResult::kUnreadable, d.Decode(dir.file("missing.png")));
  EXPECT_EQ(PngDecodeResult::kUnreadable, d.Decode(dir.path()));
  writeFile(dir.file("a.png"), encodePng(randomPicture(3, 2, 6, 8, false, 1)));
  EXPECT_EQ(PngDecodeResult::kDecoded, d.Decode(dir.file("a.png")));
  EXPECT_EQ(3, d.outWidth());

  // Every other colour type and depth: Decode succeeds with an empty picture.
  for (int type = 0; type < 256; ++type) {
    for (int depth = 0; depth < 256; ++depth) {
      if (std::any_of(std::begin(kFormats), std::end(kFormats),
                      [&](const Format& f) { return f.colourType == type && f.bitDepth == depth; })) {
        continue;
      }
      const Decoded r = decode(fileWith({pngChunk("IHDR", ihdrData(9, 2, uint8_t(depth), uint8_t(type)))},
                                        std::vector<uint8_t>(200, 1), 0));
      ASSERT_EQ(PngDecodeResult::kDecoded, r.result);
      ASSERT_EQ(0, r.width) << type << "/" << depth;
      ASSERT_EQ(0, r.height) << type << "/" << depth;
    }
  }
  // Stores beyond 32 bits, and pictures far larger than their data could fill.
  for (const auto& [w, h] : {std::pair{65536u, 16384u}, std::pair{0x80000000u, 1u}, std::pair{30000u, 30000u}}) {
    const Decoded r = decode(fileWith({pngChunk("IHDR", ihdrData(w, h, 8, 6))}, std::vector<uint8_t>(1000)));
    EXPECT_EQ(PngDecodeResult::kDecoded, r.result);
    EXPECT_EQ(0, r.width) << w << "x" << h;
  }
  // Interlace method 2: only the first filter byte is taken; the store stays clear.
  const Decoded other = decode(fileWith({pngChunk("IHDR", ihdrData(2, 2, 8, 0, 2))}, {0, 9, 9, 0, 9, 9}));
  EXPECT_EQ(std::vector<uint8_t>(16, 0), other.rgba);
  // Width 0: an empty store.
  const Decoded empty = decode(fileWith({pngChunk("IHDR", ihdrData(0, 5, 8, 0))}, {0, 0, 0, 0, 0}));
  EXPECT_EQ(PngDecodeResult::kDecoded, empty.result);
  EXPECT_EQ(0, empty.width);
  EXPECT_EQ(5, empty.height);
}

// Deflate gives at most 1032 bytes per byte: a picture whose scanlines, or
// whose store beyond 64 MB, its data could never fill is refused; zeros
// compressed as far as zlib goes are not.
TEST(PngDecoder, APictureIsNoLargerThanItsDataCouldFill) {
  struct Case {
    uint32_t width, height, declaredHeight;
    uint8_t depth, colourType;
    bool decoded;
  } cases[] = {
      {1500, 1500, 1500, 8, 6, true},     // RGBA zeros: 9 MB from about 9 KB
      {1500, 1500, 3000, 8, 6, false},    // twice the rows for the same data
      {4000, 4000, 4000, 1, 0, true},     // a blank page of 1-bit grey: a 64 MB store
      {12000, 12000, 12000, 1, 0, false}, // 18 MB of 1-bit scanlines for a 576 MB store
  };
  for (const Case& c : cases) {
    const size_t scanline = c.depth == 1 ? (c.width + 7) / 8 : size_t{4} * c.width;
    const std::vector<uint8_t> raw(c.height * (1 + scanline), 0);
    const Decoded r = decode(fileWith({pngChunk("IHDR", ihdrData(c.width, c.declaredHeight, c.depth, c.colourType))}, raw, 9));
    EXPECT_EQ(PngDecodeResult::kDecoded, r.result);
    EXPECT_EQ(c.decoded ? int32_t(c.width) : 0, r.width) << c.width << "x" << c.declaredHeight;
  }
}

TEST(PngDecoder, FilterTypesAboveFourAndDataBeyondTheLastScanline) {
  const Decoded d = decode(fileWith({pngChunk("IHDR", ihdrData(2, 2, 8, 0))}, {7, 10, 20, 200, 30, 40, 1, 2, 3}));
  EXPECT_EQ((std::vector<uint8_t>{10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255}), d.rgba);
}

TEST(PngDecoder, DamagedDataLeavesTheRestClear) {
  const PngPicture p = randomPicture(50, 40, 6, 8, false, 21);
  const std::vector<uint8_t> raw = filteredScanlines(p, kFilterByRow);
  const std::vector<uint8_t> z = zlibCompress(raw, 6);
  const LibpngImage lib = decodeWithLibpng(encodePng(p));
  // The data cut in half: the rows it reaches match, the others are clear.
  const std::vector<uint8_t> half(z.begin(), z.begin() + z.size() / 2);
  std::vector<uint8_t> file = pngSignature();
  for (const auto& c : {pngChunk("IHDR", ihdrData(50, 40, 8, 6)), pngChunk("IDAT", half), pngChunk("IEND", {})}) {
    file.insert(file.end(), c.begin(), c.end());
  }
  const Decoded cut = decode(file);
  size_t reached = 0;
  referenceInflate(half.data(), half.size(), [&](uint8_t) { return ++reached, SinkAnswer::kMore; });
  const size_t fullRows = reached / (1 + 50 * 4);
  ASSERT_GT(fullRows, 5u);
  ASSERT_LT(fullRows, 39u);
  EXPECT_TRUE(std::equal(lib.rgba.begin(), lib.rgba.begin() + fullRows * 200, cut.rgba.begin()));
  EXPECT_EQ(std::vector<uint8_t>(cut.rgba.begin() + (fullRows + 1) * 200, cut.rgba.end()),
            std::vector<uint8_t>(cut.rgba.size() - (fullRows + 1) * 200, 0));
}

// Every truncation and every single-byte change of small files: a result,
// never a crash (the sanitizer build checks the reads), and the same
// pixels as the decoder fed by the bit-by-bit inflater one byte at a time.
TEST(PngDecoder, CorruptionSweep) {
  std::vector<std::vector<uint8_t>> files;
  for (const Format& f : kFormats) {
    const PngPicture p = randomPicture(7, 5, f.colourType, f.bitDepth, f.bitDepth == 8, 31);
    files.push_back(encodePng(p, optionsFor(p, 6)));
  }
  std::mt19937 rng(5);
  auto check = [](const std::vector<uint8_t>& file, const std::string& what) {
    const Decoded fast = decode(file);
    // The slow path: the same decoder, fed by the reference inflater.
    class SlowDecoder {
     public:
      static Decoded run(const std::vector<uint8_t>& file) {
        quarn::platform::RecordingConsole console;
        VkRawPngDecoder d(console);
        Decoded r;
        // Gather the IDAT data as the decoder does, then feed it by hand.
        std::vector<uint8_t> z;
        size_t at = 8;
        std::vector<uint8_t> head(file.begin(), file.begin() + std::min<size_t>(8, file.size()));
        while (file.size() >= 8 && at + 12 <= file.size()) {
          const uint32_t len = (uint32_t(file[at]) << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
          if (file.size() - at - 12 < len) break;
          const std::string type(file.begin() + at + 4, file.begin() + at + 8);
          if (type == "IEND") break;
          if (type == "IDAT") z.insert(z.end(), file.begin() + at + 8, file.begin() + at + 8 + len);
          else head.insert(head.end(), file.begin() + at, file.begin() + at + 12 + len);
          at += 12 + size_t{len};
        }
        // Without its data, Prepare's size check would see no compressed bytes.
        if (!z.empty()) {
          const std::vector<uint8_t> placeholder(z.size(), 0);
          const std::vector<uint8_t> c = pngChunk("IDAT", placeholder);
          head.insert(head.end(), c.begin(), c.end());
        }
        // The placeholder is not a zlib stream (method 0): nothing is inflated.
        r.result = d.DecodeMemory(head.data(), head.size());
        if (r.result == PngDecodeResult::kDecoded && d.pixels() != nullptr) {
          referenceInflate(z.data(), z.size(), [&](uint8_t b) { return d.PutByte(b); });
        }
        r.width = d.outWidth();
        r.height = d.outHeight();
        if (d.pixels() != nullptr) r.rgba.assign(d.pixels(), d.pixels() + size_t(r.width) * r.height * 4);
        return r;
      }
    };
    const Decoded slow = SlowDecoder::run(file);
    EXPECT_EQ(slow.result, fast.result) << what;
    EXPECT_EQ(slow.width, fast.width) << what;
    EXPECT_TRUE(slow.rgba == fast.rgba) << what;
  };
  for (size_t n = 0; n < files.size(); ++n) {
    const std::vector<uint8_t>& good = files[n];
    for (size_t cut = 0; cut < good.size(); ++cut) {
      check(std::vector<uint8_t>(good.begin(), good.begin() + cut), "file " + std::to_string(n) + " cut " + std::to_string(cut));
    }
    for (size_t i = 8; i < good.size(); ++i) {
      std::vector<uint8_t> bad = good;
      bad[i] ^= uint8_t(1 + rng() % 255);
      check(bad, "file " + std::to_string(n) + " byte " + std::to_string(i));
    }
  }
}

TEST(PngDecoder, FlipAndSwapGiveBottomUpBgra) {
  PngPicture p = randomPicture(3, 3, 6, 8, false, 1);
  const std::vector<uint8_t> file = encodePng(p);
  quarn::platform::RecordingConsole console;
  VkRawPngDecoder d(console);
  ASSERT_EQ(PngDecodeResult::kDecoded, d.DecodeMemory(file.data(), file.size()));
  const std::vector<uint8_t> before(d.pixels(), d.pixels() + 36);
  d.FlipRows();
  quarn::codecs::SwapRedBlue(d);
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 3; ++x) {
      const uint8_t* was = before.data() + ((2 - row) * 3 + x) * 4;
      const uint8_t* now = d.pixels() + (row * 3 + x) * 4;
      EXPECT_EQ((std::vector<uint8_t>{was[2], was[1], was[0], was[3]}), std::vector<uint8_t>(now, now + 4));
    }
  }
}

// Inputs the fuzzer found, each with what decoding it must give.
TEST(PngDecoder, FuzzerFindings) {
  struct Case {
    const char* file;
    PngDecodeResult result;
    int32_t width, height;
  } cases[] = {
      // No rows, but 16-bit RGB rows of 150994944 pixels: no 2.7 GB of scanline buffers.
      {"oom_zero_rows_huge_scanline.png", PngDecodeResult::kDecoded, 0, 0},
      // Colour type 1, depth 208: once taken for palette 8 with no scanline buffer.
      {"crash_colour1_depth208.png", PngDecodeResult::kDecoded, 0, 0},
  };
  for (const Case& c : cases) {
    const Decoded d = decode(readFile(std::string(QUARN_REGRESS_DIR) + "/" + c.file));
    EXPECT_EQ(c.result, d.result) << c.file;
    EXPECT_EQ(c.width, d.width) << c.file;
    EXPECT_EQ(c.height, d.height) << c.file;
  }
}
