// exif_fixture.h: EXIF blocks written field by field, as phones write
// them (a camera, a date taken, exposure, a place, the pixel size, often a
// thumbnail), and read back through libexif for checking.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quarn::testing {

struct ExifFixture {
  int orientation = 0;  // the Orientation tag's value; 0: no tag
  bool bigEndian = false;
  uint32_t pixelWidth = 0, pixelHeight = 0;  // PixelXDimension, PixelYDimension; 0: no tags
  size_t thumbnailBytes = 0;                 // an embedded JPEG thumbnail of this size; 0: none
};

// The camera, date and place every fixture names.
inline constexpr const char* kExifMake = "Quarn Phone";
inline constexpr const char* kExifDateTaken = "2024:05:17 14:03:59";

// The TIFF-structured block (no "Exif\0\0" before it).
std::vector<uint8_t> makeExif(const ExifFixture& fixture);

// Every tag of a block, as "<directory> <tag name>" -> libexif's text of
// its value; the thumbnail's size as "thumbnail bytes". Empty when libexif
// reads nothing.
std::map<std::string, std::string> exifTags(const std::vector<uint8_t>& block);

}  // namespace quarn::testing
