// bitmap_check.h: the header check both conversions apply, in one order
// with one set of codes.
#pragma once

#include "engine/anaglyph.h"
#include "engine/bitmap_buffer.h"
#include "engine/conversion_result.h"

namespace quarn::engine {

// Checks `buffer` and fills pixelOffset, width, sourceHeight, the masks and
// bytesPerPixel of `state`. The first failing test decides the code:
//   kNotBmp              not "BM", or shorter than its header
//   kUnsupportedHeader   pixel offset byte neither 54 nor 66
//   kUnsupportedBitDepth bits per pixel not 16, 24 or 32
//   kCompressed          compression neither 0 nor 3
//   kNotBmp              shorter than its 66 header bytes (with masks)
//   kTooSmall            width below 2, height below `minimumHeight` (top-down
//                        rows included)
//   kNotBmp              shorter than the rows the header declares
//   kOutOfMemory         no memory for the 16-bit expansion
// A 16-bit image is replaced by its 24-bit expansion on success; on any
// failure `buffer` is unchanged. Nothing past buffer.size() is read.
ConversionResult checkBitmapHeader(BitmapBuffer& buffer, ConversionState& state, int32_t minimumHeight = 2);

// Rewrites the header of a converted image for its output geometry: width,
// height, image size and file size. The fields the check read only a byte
// of (pixel offset, bits per pixel, compression) get the whole value it
// used, and the info header size and planes fields their only valid values
// (40 and 1), whatever the input had there: viewers refuse anything else.
// The masks, when present, and every other field stay as they are.
void writeResultHeader(uint8_t* header, const ConversionState& state);

}  // namespace quarn::engine
