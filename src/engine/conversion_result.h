// conversion_result.h: the result codes of the BMP file conversion and the
// in-memory conversion, with the console message of each.
#pragma once

namespace quarn::engine {

enum ConversionResult : int {
  kConverted = 0,
  kInputNotFound = -1,
  kOutOfMemory = -2,
  kNotBmp = -3,             // also: shorter than its header or its rows
  kUnsupportedHeader = -4,  // pixel offset neither 54 nor 66
  kUnsupportedBitDepth = -5,
  kCompressed = -6,
  kOutputExists = -7,
  kCannotCreateOutput = -8,
  kWriteFailed = -9,
  kTooSmall = -10,
};

// The message printed for `result`; for kOutputExists it is a printf format
// with one "%s" for the output path. nullptr for a value outside the table.
const char* conversionMessage(ConversionResult result);

}  // namespace quarn::engine
