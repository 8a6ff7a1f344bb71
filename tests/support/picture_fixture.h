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
  std::vector<uint8_t> exif = {};  // an EXIF block for an APP1 segment; empty: none
  std::vector<uint8_t> icc = {};   // an ICC profile for APP2 segments; empty: none
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
  std::vector<uint8_t> icc = {};   // an ICC profile; empty: none
};

void writeTiff(const std::string& path, const TiffPicture& picture);

// The library's RGBA reader on the first image: rows in `orientation`
// order (4: bottom-up), pixels as bytes red, green, blue, alpha.
struct RgbaImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
};
RgbaImage readTiffRgba(const std::string& path, int orientation = 4);

// What a JPEG or TIFF file carries beside its pixels: the EXIF block of the
// JPEG's Exif APP1 segment (without the prefix), and the ICC profile.
struct CarriedData {
  std::vector<uint8_t> exif;
  std::vector<uint8_t> icc;
  int exifSegments = 0;  // JPEG only
};
CarriedData jpegCarried(const std::string& path);
CarriedData tiffCarried(const std::string& path);

// An ICC profile's bytes as a wide-gamut camera profile would have them in
// size (over one JPEG segment when `bytes` is large): the header's size
// field, its signature, then a pattern. Readers here carry profiles as
// they are; none checks what is inside.
std::vector<uint8_t> makeIccProfile(size_t bytes);

// What the libraries say against the JPEG or TIFF file at `path` when they
// decode it whole: their first error or warning, "" when there is none.
std::string jpegFault(const std::string& path);
std::string tiffFault(const std::string& path);

}  // namespace quarn::testing
