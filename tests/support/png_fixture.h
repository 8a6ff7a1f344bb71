// png_fixture.h: PNG files built in code for tests (scanlines filtered here,
// deflated by zlib), and libpng's decode of a file for comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn::testing {

// An image as samples: one value per channel per pixel, rows top to bottom
// (grey and palette 1 channel, grey+alpha 2, RGB 3, RGBA 4).
struct PngPicture {
  uint32_t width = 0, height = 0;
  uint8_t colourType = 2, bitDepth = 8;
  bool adam7 = false;
  std::vector<uint16_t> samples;
  unsigned channels() const;
};

// Random samples within the depth; palette indices below `paletteSize`.
PngPicture randomPicture(uint32_t width, uint32_t height, uint8_t colourType, uint8_t bitDepth, bool adam7,
                         uint32_t seed, unsigned paletteSize = 256);

inline constexpr int kFilterByRow = -1;     // filter type = scanline index % 5
inline constexpr int kFilterRandomly = -2;  // a random type per scanline

struct PngOptions {
  int level = 6;
  int strategy = 0;         // zlib's strategy (Z_DEFAULT_STRATEGY, Z_FIXED, ...)
  int filter = kFilterByRow;
  std::vector<uint8_t> palette;       // PLTE data; empty: no chunk
  std::vector<uint8_t> transparency;  // tRNS data; empty: no chunk
  bool gamma = false;                 // a gAMA chunk of 45455
  size_t idatSize = 8192;             // IDAT chunks hold at most this much
};

// The raw scanlines (filter byte + bytes, every pass for Adam7), unfiltered
// data the decoder must reproduce.
std::vector<uint8_t> filteredScanlines(const PngPicture& picture, int filter, uint32_t seed = 7);
std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data, int level, int strategy = 0);
std::vector<uint8_t> encodePng(const PngPicture& picture, const PngOptions& options = {});

// A chunk with its length and CRC, for building odd files by hand.
std::vector<uint8_t> pngChunk(const std::string& type, const std::vector<uint8_t>& data);
std::vector<uint8_t> pngSignature();
std::vector<uint8_t> ihdrData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType,
                              uint8_t interlace = 0);

struct LibpngImage {
  bool ok = false;
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;  // 8 bits per channel, high byte of 16-bit samples
};
// libpng's decode with palette and tRNS expanded to alpha, grey to RGB.
LibpngImage decodeWithLibpng(const std::vector<uint8_t>& file);

}  // namespace quarn::testing
