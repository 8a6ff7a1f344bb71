// anaglyph.h: the transform that turns the rows of one bitmap, in place,
// into a red/cyan anaglyph: blue and green (the cyan view) stay, red (the
// red view) is taken from a pixel `effectiveDepth` columns away, with 3D+
// also from `verticalOffset` rows higher up. Optionally red is recomputed
// from green and blue first. Knows nothing of files; prints nothing.
//
// Rows lie bottom-up from `pixelOffset`; row r + k in memory is k rows
// higher in the picture. Pixels are blue, green, red(, fourth byte).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/bitmap_buffer.h"
#include "engine/conversion_settings.h"

namespace quarn::engine {

// The geometry of the image being converted.
struct ConversionState {
  uint32_t pixelOffset = 0;     // 54, or 66 with bit masks
  int32_t width = 0;            // pixels per source row
  int32_t sourceHeight = 0;     // rows of the source
  int32_t height = 0;           // rows that are output
  int32_t effectiveDepth = 0;   // d, 0 .. width - 1
  int32_t outputWidth = 0;      // width - d
  int32_t verticalOffset = 0;   // v (3D+, positive depth only)
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;  // 16-bit 5-6-5 only
  unsigned bytesPerPixel = 0;   // 2, 3 or 4
};

// Bytes per row of `width` pixels after the 16-bit expansion (3 or 4 bytes
// per pixel), i.e. the stride the transform works with.
inline uint64_t sourceStride(const ConversionState& s) { return rowStride(uint32_t(s.width), s.bytesPerPixel); }
// Stride of an output row: outputWidth pixels, zero-padded to 4 bytes.
inline uint64_t outputStride(const ConversionState& s) { return rowStride(uint32_t(s.outputWidth), s.bytesPerPixel); }
// pixelOffset + height output rows.
inline uint64_t outputSize(const ConversionState& s) {
  return s.pixelOffset + outputStride(s) * static_cast<uint64_t>(s.height);
}

// One 16-bit pixel as blue, green, red. Bit 15 is ignored; results have
// their low bits 0 (a field of 31 gives 248).
void unpack555(uint8_t low, uint8_t high, uint8_t bgr[3]);
// Masks only clear bits at the fixed 5-6-5 positions; all 0 means none.
void unpack565(uint8_t low, uint8_t high, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
               uint8_t bgr[3]);

// The 24-bit image of a 16-bit one: the same first pixelOffset header
// bytes, 24-bit rows, and in the header 24 bits per pixel, compression 0,
// file and image size of the new rows. `source` holds at least pixelOffset
// + sourceHeight 16-bit rows (the caller checked). `compression` picks 5-5-5
// (0) or 5-6-5 (3). False when memory for `expanded` cannot be had.
bool expandTo24Bit(const uint8_t* source, const ConversionState& state, uint8_t compression,
                   BitmapBuffer& expanded);

// The recomputed red for green g and blue b in one numeric variant:
// 255 × ((0.7 g + 0.3 b) / 255)^(2/3), each variant rounding its own way.
// Computed from the formula; used to build the tables and by tests.
int optimisedRed(OptimisationVariant variant, int red, int green, int blue);

// optimisedRed of every (green, blue) pair, indexed green × 256 + blue.
// Built once per variant, on first use.
const uint8_t* optimisedRedTable(OptimisationVariant variant);

// The rows the transform works on: row r + k starts k strides after row r
// and lies k rows higher in the picture. The stride may be negative.
struct Rows {
  uint8_t* first = nullptr;
  ptrdiff_t stride = 0;
};

// The rows of a buffer laid out as a BitmapBuffer, from pixelOffset.
inline Rows bitmapRows(uint8_t* buffer, const ConversionState& s) {
  return {buffer + s.pixelOffset, static_cast<ptrdiff_t>(sourceStride(s))};
}

// Fills the output geometry of `state` (its width, sourceHeight and
// bytesPerPixel set) for pictures converted in memory: the depth (automatic
// or given, kept below the width; a given depth rounded to a multiple of 4,
// 1 to 3 becoming 4 on pictures of 5 pixels or wider, pictures of 2 or 3
// pixels getting 0), the output width, the rows rounded down to a multiple
// of 4 and, with 3D+ from 8 rows on, 4 fewer with the vertical offset.
void planConversion(ConversionState& state, const ConversionSettings& settings);

// Moves the red view: writes only red bytes of the first `height` rows.
// Positive depth: red(x, r) = red(x + d, r + v) for x < outputWidth.
// Negative depth: red(x, r) = red(x - d, r) for x >= d (v not used).
void shiftRedView(uint8_t* buffer, const ConversionState& state, bool negativeDepth);

// optimiseColours over all rows followed by shiftRedView, in one pass: the
// same bytes wherever the output reads them (the red of pixels that are not
// output is left as it was). Blue and green are only read, so the red view
// can be recomputed straight from its source pixel.
void shiftOptimisedRedView(uint8_t* buffer, const ConversionState& state, bool negativeDepth,
                           OptimisationVariant variant);

// The colour optimisation (when the settings ask for it) and the shift, as
// both conversions run them.
void convertRows(uint8_t* buffer, const ConversionState& state, const ConversionSettings& settings);
void convertRows(Rows rows, const ConversionState& state, const ConversionSettings& settings);

// Writes the `height` output rows: outputWidth pixels of each shifted row
// from column 0 (positive depth) or d (negative), then zero padding. `out`
// may be buffer + pixelOffset itself (the rows are compacted in place);
// otherwise it must not overlap the rows.
void copyOutputRows(const uint8_t* buffer, uint8_t* out, const ConversionState& state, bool negativeDepth);

// Plain one-byte-at-a-time forms, kept as the reference for the fast ones.
namespace reference {
void optimiseColours(uint8_t* buffer, int32_t width, int32_t rows, uint32_t pixelOffset,
                     unsigned bitsPerPixel, OptimisationVariant variant);
void shiftRedView(uint8_t* buffer, const ConversionState& state, bool negativeDepth);
}  // namespace reference

}  // namespace quarn::engine
