// exif_data.h: EXIF blocks, read and rewritten through libexif. A block is
// a TIFF header and its directories (byte order, 42, the offset of the
// first directory...), as PNG's eXIf chunk, WebP's EXIF chunk and HEIF's
// Exif item hold it; JPEG's APP1 segment puts "Exif\0\0" before it.
//
// Works on memory only; the bytes given are only read. libexif is quiet
// (no log is attached) and its loader bounds every offset and count by the
// block's size; blocks past 65534 bytes are read only up to there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codecs/orientation.h"

namespace quarn::codecs {

// The most TIFF-structured bytes a JPEG APP1 segment holds after "Exif\0\0":
// 65535 less the length field and the six bytes.
inline constexpr size_t kMaxExifInJpeg = 65535 - 2 - 6;

// `block` without the "Exif\0\0" some writers put before the TIFF header.
std::span<const uint8_t> withoutExifPrefix(std::span<const uint8_t> block);

// The Orientation tag of the block's first directory; kTopLeft when there
// is none, the block cannot be read, or the value is outside 1 to 8.
Orientation exifOrientation(std::span<const uint8_t> block);

// The block as an upright result of width × height pixels carries it:
// Orientation 1 where the tag is present, PixelXDimension and
// PixelYDimension set to the result's size where present, the embedded
// thumbnail and its directory dropped; every other tag as it was. Empty
// when libexif cannot read the block or what it writes would not fit a JPEG
// APP1 segment (kMaxExifInJpeg).
std::vector<uint8_t> exifForUprightResult(std::span<const uint8_t> block, uint32_t width, uint32_t height);

}  // namespace quarn::codecs
