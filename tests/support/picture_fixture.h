// picture_fixture.h: JPEG and TIFF files made with the libraries themselves,
// and the libraries' own decodes to compare with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn::testing {

enum class JpegKind { kColour, kGrey, kCmyk };

struct JpegPicture {
  uint32_t width = 16;
  uint32_t height = 16;
  JpegKind kind = JpegKind::kColour;
  bool progressive = false;
  int quality = 90;
};

// A JPEG of a smooth pattern with some noise, at `path`.
void writeJpeg(const std::string& path, const JpegPicture& picture);

// The library's decode with its RGB output: top-down rows of 3 × width bytes.
struct RgbImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};
RgbImage decodeJpegRgb(const std::string& path);

// Encodes top-down RGB rows as a baseline JPEG of quality 100 through the
// library's stdio destination, the plain way.
void encodeJpegRgb(const std::string& path, const RgbImage& image);

enum class TiffKind { kRgb, kRgba, kGrey, kPalette, kCmyk };

struct TiffPicture {
  uint32_t width = 17;
  uint32_t height = 11;
  TiffKind kind = TiffKind::kRgb;
  uint16_t orientation = 1;   // 1: top-down, 4: bottom-up
  uint32_t rowsPerStrip = 3;  // strips, unless tiled
  uint32_t tileSize = 0;      // tiles of tileSize × tileSize (a multiple of 16) when nonzero
  bool lzw = true;            // else uncompressed
};

void writeTiff(const std::string& path, const TiffPicture& picture);

// The library's RGBA reader on the first image: rows in `orientation`
// order (4: bottom-up), pixels as bytes red, green, blue, alpha.
struct RgbaImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
};
RgbaImage readTiffRgba(const std::string& path, int orientation = 4);

// What the libraries say against the JPEG or TIFF file at `path` when they
// decode it whole: their first error or warning, "" when there is none.
std::string jpegFault(const std::string& path);
std::string tiffFault(const std::string& path);

}  // namespace quarn::testing
