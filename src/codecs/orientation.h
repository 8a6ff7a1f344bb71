// orientation.h: the eight ways a stored picture may have to be turned to
// stand upright, numbered as the Orientation tag of TIFF and EXIF numbers
// them, and the turn itself on a BitmapBuffer.
#pragma once

#include <cstdint>
#include <optional>

namespace quarn::codecs {

// Where the stored picture's first row and first column are seen.
enum class Orientation : uint8_t {
  kTopLeft = 1,      // top row, left column: stored upright
  kTopRight = 2,     // mirrored left to right
  kBottomRight = 3,  // turned half round
  kBottomLeft = 4,   // mirrored top to bottom
  kLeftTop = 5,      // first row on the left: mirrored along the main diagonal
  kRightTop = 6,     // first row on the right: needs a quarter turn clockwise
  kRightBottom = 7,  // first row on the right, first column at the bottom: mirrored along the other diagonal
  kLeftBottom = 8,   // first row on the left, first column at the bottom: needs a quarter turn anticlockwise
};

// The orientation a tag value names; kTopLeft for values outside 1..8,
// which mean nothing.
Orientation orientationFromTag(uint32_t value);

// True when the upright picture's width is the stored height.
bool swapsSides(Orientation orientation);

// The size of the BitmapBuffer (54-byte header, rows padded to 4 bytes) of
// the upright form of a stored width × height picture; nullopt when it
// would not fit in 32 bits.
std::optional<uint32_t> uprightBitmapSize(uint32_t width, uint32_t height, unsigned bitsPerPixel,
                                          Orientation orientation);

// Writes the upright form of `stored`, a complete 24- or 32-bit BitmapBuffer
// with a 54-byte header, to `upright`: its header and its rows, pad bytes
// zero. `upright` holds uprightBitmapSize bytes and does not overlap
// `stored`, which is only read.
void writeUpright(const uint8_t* stored, Orientation orientation, uint8_t* upright);

}  // namespace quarn::codecs
