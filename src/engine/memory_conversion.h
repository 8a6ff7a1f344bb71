// memory_conversion.h: pictures converted in memory: a BitmapBuffer into a
// second buffer (decoded pictures), and a frame's rows in place (video).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/bitmap_buffer.h"
#include "engine/conversion_result.h"
#include "engine/conversion_settings.h"
#include "platform/pixels.h"

namespace quarn::engine {

// Converts `source` and writes the result, a complete BitmapBuffer of
// pixelOffset + height × outputStride bytes, to `destination`. A given
// depth is rounded to a multiple of 4 (1 to 3 become 4 on pictures of 5
// pixels or wider; pictures of 2 or 3 pixels get 0), the row count down to
// a multiple of 4, and 3D+ (from 8 rows) drops 4 more.
//
// The source is changed in place (its red channel and header; a 16-bit one
// becomes its 24-bit expansion). Returns kConverted, or kOutOfMemory,
// kNotBmp, kUnsupportedHeader, kUnsupportedBitDepth, kCompressed or
// kTooSmall, with source and destination untouched. kTooSmall also for 2 or
// 3 rows, which would give a result without any; kOutOfMemory also when
// `destinationSize` is smaller than the result. Prints nothing; frees nothing.
ConversionResult convertBitmapBuffer(BitmapBuffer& source, uint8_t* destination, size_t destinationSize,
                                     const ConversionSettings& settings);

// Converts a frame's picture in place, by the same rules. On kConverted
// `frame` becomes the result: the same memory, narrowed to the rows and
// columns that are output (their padding is not cleared). kTooSmall, with
// the frame untouched, for fewer than 2 columns or 4 rows.
ConversionResult convertFrame(platform::PixelView& frame, const ConversionSettings& settings);

}  // namespace quarn::engine
