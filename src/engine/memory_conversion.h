// memory_conversion.h: one BitmapBuffer converted into a second buffer; the
// path of decoded pictures and video frames.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/bitmap_buffer.h"
#include "engine/conversion_result.h"
#include "engine/conversion_settings.h"

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

}  // namespace quarn::engine
