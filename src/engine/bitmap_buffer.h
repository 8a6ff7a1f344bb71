// bitmap_buffer.h: the one form in which images reach the engine.
//
// A BitmapBuffer holds an image exactly as a BMP file holds it: the 14-byte
// file header, the 40-byte info header, optionally three 32-bit bit masks,
// then the pixel rows, bottom row first, blue-green-red(-fourth) pixels,
// every row padded to a multiple of 4 bytes. All fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/pixels.h"

namespace quarn::engine {

using BitmapBuffer = std::vector<uint8_t>;

inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kInfoHeaderSize = 40;
inline constexpr size_t kHeaderSize = kFileHeaderSize + kInfoHeaderSize;  // 54
inline constexpr size_t kMasksSize = 12;
inline constexpr size_t kHeaderWithMasksSize = kHeaderSize + kMasksSize;  // 66

// Byte offsets of the header fields.
namespace field {
inline constexpr size_t kSignature = 0;     // "BM"
inline constexpr size_t kFileSize = 2;      // header bytes plus image size
inline constexpr size_t kReserved = 6;      // two 16-bit fields
inline constexpr size_t kPixelOffset = 10;  // only its low byte is used
inline constexpr size_t kInfoSize = 14;     // 40
inline constexpr size_t kWidth = 18;        // signed
inline constexpr size_t kHeight = 22;       // signed, positive: bottom-up
inline constexpr size_t kPlanes = 26;       // 1
inline constexpr size_t kBitsPerPixel = 28; // only its low byte is used
inline constexpr size_t kCompression = 30;  // only its low byte is used
inline constexpr size_t kImageSize = 34;
inline constexpr size_t kRedMask = 54;      // masks only when pixel offset is 66
inline constexpr size_t kGreenMask = 58;
inline constexpr size_t kBlueMask = 62;
}  // namespace field

inline constexpr uint8_t kCompressionNone = 0;       // BI_RGB
inline constexpr uint8_t kCompressionBitFields = 3;  // BI_BITFIELDS

inline uint16_t loadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t loadLe32Signed(const uint8_t* p) { return static_cast<int32_t>(loadLe32(p)); }
inline void storeLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

using platform::rowStride;  // bytes of a row, padded to 4

// Total size of a BitmapBuffer with a 54-byte header and no masks; nullopt
// when it would not fit in 32 bits (the header's size fields).
std::optional<uint32_t> bitmapBufferSize(uint32_t width, uint32_t height, unsigned bitsPerPixel);

// Writes the 54-byte header of an uncompressed bottom-up image: "BM", file
// size, pixel offset 54, info header size 40, width, height, 1 plane, the
// bits per pixel, compression 0, image size; every other field 0. The
// caller has checked the size with bitmapBufferSize.
void writeBitmapHeader(uint8_t* header, uint32_t width, uint32_t height, unsigned bitsPerPixel);

// Grows or shrinks `buffer` to `size` bytes; false (buffer unchanged) when
// the memory cannot be had.
bool tryResize(BitmapBuffer& buffer, size_t size);

}  // namespace quarn::engine
